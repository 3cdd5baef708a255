#include "TestFolder.h"
#include "files/DateTime.h"

#include <gtest/gtest.h>

using namespace basTavlo;

namespace {

DateTime dt(int y, int mo, int d, int h, int mi, int s) {
    return DateTime{y, qint8(mo), qint8(d), qint8(h), qint8(mi), qint8(s)};
}

} // namespace

TEST(DateTime, LocalTimeUsesTheOffsetOfThatDate) {
    UseTimeZone("Europe/Berlin");
    // Winter and summer of one year: one hour apart, whatever today's offset is.
    EXPECT_EQ(UtcToLocal(utc(2024, 1, 15, 12, 0, 0)), dt(2024, 1, 15, 13, 0, 0));
    EXPECT_EQ(UtcToLocal(utc(2024, 7, 15, 12, 0, 0)), dt(2024, 7, 15, 14, 0, 0));
    // Either side of the spring transition (01:00 UTC on 31 March 2024).
    EXPECT_EQ(UtcToLocal(utc(2024, 3, 31, 0, 59, 59)), dt(2024, 3, 31, 1, 59, 59));
    EXPECT_EQ(UtcToLocal(utc(2024, 3, 31, 1, 0, 0)), dt(2024, 3, 31, 3, 0, 0));
    // And back, in every direction.
    EXPECT_EQ(LocalToUtc(dt(2024, 1, 15, 13, 0, 0)), utc(2024, 1, 15, 12, 0, 0));
    EXPECT_EQ(LocalToUtc(dt(2024, 7, 15, 14, 0, 0)), utc(2024, 7, 15, 12, 0, 0));
    EXPECT_EQ(LocalToUtc(dt(2004, 3, 31, 14, 5, 9)), utc(2004, 3, 31, 12, 5, 9));
    // A time that the spring gap skips moves forward: 02:30 is 03:30 summer time.
    EXPECT_EQ(LocalToUtc(dt(2024, 3, 31, 2, 30, 0)), utc(2024, 3, 31, 1, 30, 0));

    UseTimeZone("America/St_Johns"); // half-hour offsets, transitions at local 02:00
    EXPECT_EQ(UtcToLocal(utc(2024, 1, 10, 12, 0, 0)), dt(2024, 1, 10, 8, 30, 0));
    EXPECT_EQ(UtcToLocal(utc(2024, 7, 10, 12, 0, 0)), dt(2024, 7, 10, 9, 30, 0));
    EXPECT_EQ(LocalToUtc(dt(2024, 7, 10, 9, 30, 0)), utc(2024, 7, 10, 12, 0, 0));

    UseTimeZone("UTC");
    EXPECT_EQ(UtcToLocal(utc(2024, 7, 15, 12, 0, 0)), dt(2024, 7, 15, 12, 0, 0));

    // The hour repeated when summer time ends is taken at its first occurrence in every
    // zone, west or east of UTC, north or south.
    const struct {
        const char* zone;
        DateTime local;
        qint64 first;
    } repeated[] = {
        {"America/New_York", dt(2020, 11, 1, 1, 30, 0), utc(2020, 11, 1, 5, 30, 0)},
        {"Europe/Berlin", dt(2020, 10, 25, 2, 30, 0), utc(2020, 10, 25, 0, 30, 0)},
        {"Australia/Sydney", dt(2020, 4, 5, 2, 30, 0), utc(2020, 4, 4, 15, 30, 0)},
    };
    for (const auto& r : repeated) {
        UseTimeZone(r.zone);
        EXPECT_EQ(LocalToUtc(r.local), r.first) << r.zone;
        EXPECT_EQ(UtcToLocal(r.first), r.local) << r.zone;
        EXPECT_EQ(UtcToLocal(r.first + 3600), r.local) << r.zone; // the second occurrence
    }
    UseTimeZone("UTC");
}
