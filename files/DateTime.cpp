#include "DateTime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>

#include <algorithm>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace basTavlo {

DateTime DateTime::fromDateAndTime(const QDate& date, const QTime& time) {
    DateTime d;
    d.year = date.year();
    d.month = qint8(date.month());
    d.day = qint8(date.day());
    d.hour = qint8(time.hour());
    d.minute = qint8(time.minute());
    d.second = qint8(time.second());
    return d;
}

// Proleptic Gregorian calendar arithmetic on day counts since 1970-01-01.
qint64 DaysFromCivil(qint32 year, int month, int day) {
    const qint64 y = qint64(year) - (month <= 2 ? 1 : 0);
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 mp = (month + 9) % 12;
    const qint64 doy = (153 * mp + 2) / 5 + day - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

DateTime CivilFromSeconds(qint64 secs) {
    qint64 days = secs / 86400;
    qint64 rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 d = doy - (153 * mp + 2) / 5 + 1;
    const qint64 m = mp < 10 ? mp + 3 : mp - 9;
    DateTime out;
    out.year = qint32(era * 400 + yoe + (m <= 2 ? 1 : 0));
    out.month = qint8(m);
    out.day = qint8(d);
    out.hour = qint8(rem / 3600);
    out.minute = qint8(rem / 60 % 60);
    out.second = qint8(rem % 60);
    return out;
}

namespace {

constexpr qint64 kMinSecs = std::numeric_limits<qint64>::min();
constexpr qint64 kMaxSecs = std::numeric_limits<qint64>::max();

// Spans of UTC time with one offset each, filled on demand from the zone's transitions.
class ZoneCache {
public:
    void refresh() {
        std::lock_guard lock(m_mutex);
        m_loaded = false; // read again at the next conversion
        m_spans.clear();
    }

    int offsetAt(qint64 utcSecs) {
        std::lock_guard lock(m_mutex);
        if (!m_loaded) {
            m_zone = QTimeZone::systemTimeZone();
            m_loaded = true;
        }
        auto it = std::upper_bound(m_spans.begin(), m_spans.end(), utcSecs,
                                   [](qint64 s, const Span& span) { return s < span.begin; });
        if (it != m_spans.begin() && utcSecs < std::prev(it)->end)
            return std::prev(it)->offset;
        const Span span = lookUp(utcSecs);
        m_spans.insert(std::upper_bound(m_spans.begin(), m_spans.end(), span.begin,
                                        [](qint64 s, const Span& x) { return s < x.begin; }),
                       span);
        return span.offset;
    }

private:
    struct Span {
        qint64 begin;
        qint64 end;
        int offset;
    };

    Span lookUp(qint64 utcSecs) const {
        if (!m_zone.isValid())
            return {kMinSecs, kMaxSecs, 0};
        const QDateTime at = QDateTime::fromSecsSinceEpoch(utcSecs, QTimeZone::utc());
        const int offset = m_zone.offsetFromUtc(at);
        if (!m_zone.hasTransitions())
            return {kMinSecs, kMaxSecs, offset};
        // previousTransition is strictly before its argument: ask from one second on.
        const auto prev = m_zone.previousTransition(at.addSecs(1));
        const auto next = m_zone.nextTransition(at);
        const qint64 begin = prev.atUtc.isValid() ? prev.atUtc.toSecsSinceEpoch() : kMinSecs;
        const qint64 end = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch() : kMaxSecs;
        if (begin > utcSecs || end <= utcSecs) // zone data that does not add up: this second only
            return {utcSecs, utcSecs + 1, offset};
        return {begin, end, offset};
    }

    std::mutex m_mutex;
    QTimeZone m_zone;
    bool m_loaded = false;
    std::vector<Span> m_spans;
};

ZoneCache& zoneCache() {
    static ZoneCache cache;
    return cache;
}

} // namespace

DateTime UtcToLocal(qint64 utcSecs) {
    return CivilFromSeconds(utcSecs + zoneCache().offsetAt(utcSecs));
}

qint64 LocalToUtc(const DateTime& local) {
    const qint64 wall = DaysFromCivil(local.year, local.month, local.day) * 86400 +
                        local.hour * 3600 + local.minute * 60 + local.second;
    // Offsets never pass a day, so the offsets a day either side of the wall time taken
    // as UTC are the ones that can hold it. A time that exists twice (the hour repeated
    // when summer time ends) is taken at its first occurrence in every zone, as the clock
    // showed it first; a time in a gap exists in neither and moves forward.
    const int offsets[] = {zoneCache().offsetAt(wall - 86400), zoneCache().offsetAt(wall),
                           zoneCache().offsetAt(wall + 86400)};
    std::optional<qint64> first;
    for (const int offset : offsets) {
        const qint64 utc = wall - offset;
        if (zoneCache().offsetAt(utc) == offset && (!first || utc < *first))
            first = utc;
    }
    if (first)
        return *first;
    return wall - *std::min_element(std::begin(offsets), std::end(offsets));
}

void RefreshLocalZone() {
    zoneCache().refresh();
}

} // namespace basTavlo
