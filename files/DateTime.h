#pragma once

#include <QtGlobal>

#include <compare>

class QDate;
class QTime;

namespace basTavlo {

// A local wall-clock date and time of day to whole seconds. Plain fields, so that
// 100,000 of them cost nothing and compare without any time-zone work.
struct DateTime {
    qint32 year = 1601;
    qint8 month = 1;
    qint8 day = 1;
    qint8 hour = 0;
    qint8 minute = 0;
    qint8 second = 0;

    auto operator<=>(const DateTime&) const = default;

    static DateTime fromDateAndTime(const QDate& date, const QTime& time);
};

// 100-ns intervals between 1601-01-01 and 1970-01-01 (both UTC).
inline constexpr qint64 kFileTimeEpochOffsetSecs = 11644473600LL;

qint64 DaysFromCivil(qint32 year, int month, int day);
DateTime CivilFromSeconds(qint64 secs); // seconds since 1970 on a clock without zones

// UTC seconds since 1970 to local wall-clock time, with the offset in force at that
// instant. The zone is read once and its offsets are cached, so converting a folder
// of files makes no system calls.
DateTime UtcToLocal(qint64 utcSecs);

// Local wall-clock time to UTC seconds since 1970, with the offset in force on that
// date. A time inside a daylight-saving gap moves forward as the zone rules say; a time
// that exists twice is the first of the two.
qint64 LocalToUtc(const DateTime& local);

// Reads the system time zone afresh (TZ or the system setting).
void RefreshLocalZone();

} // namespace basTavlo
