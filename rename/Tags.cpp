#include "Tags.h"
#include "Compose.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <iterator>

namespace {

using Kind = SettingsProblem::Kind;

bool isTagLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

constexpr qint64 kLargestCounter = 999'999'999'999'999;

// A value in the case its tag asks for, by Unicode's own rules whatever the locale, so that
// a name does not depend on where it was made.
template <typename Case> QString inCase(const QString& value, Case c) {
    switch (c) {
    case Case::Lower:
        return value.toLower();
    case Case::Upper:
        return value.toUpper();
    case Case::Title:
        return ProperCase(value, QLocale::c());
    default:
        return value;
    }
}

// A whole number, with an optional minus sign.
std::optional<qint64> wholeNumber(QStringView text) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || text.startsWith(u'+') || text.contains(u' '))
        return std::nullopt;
    return v;
}

// Whether a date format writes the day alone: no hours, minutes, seconds or zone.
bool writesDayOnly(const QString& format) {
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && QStringView(u"hHmsztaAp").contains(c))
            return false;
    }
    return true;
}

// The length of the run of one letter that starts at i: Qt reads "yyyy" as one field.
qsizetype runAt(const QString& format, qsizetype i) {
    qsizetype n = 1;
    while (i + n < format.size() && format[i + n] == format[i])
        ++n;
    return n;
}

// Whether a date format writes numbers and separators alone, each letter as Qt reads it:
// "yyyy" or "yy", one or two of "MdHms", "zzz". Others (names, 12-hour times, quotes, zones)
// are Qt's to write.
bool writesNumbersOnly(const QString& format) {
    for (qsizetype i = 0, n = 0; i < format.size(); i += n) {
        n = runAt(format, i);
        const QChar c = format[i];
        if (c == u'\'' ||
            (isTagLetter(c) && !(c == u'y'   ? n == 2 || n == 4
                                 : c == u'z' ? n == 3
                                             : QStringView(u"MdHms").contains(c) && n <= 2)))
            return false;
    }
    return true;
}

// Such a format written here: Qt's general formatting costs more than all else in a name.
QString numbersText(const basTavlo::DateTime& d, int ms, const QString& format) {
    QString out;
    out.reserve(format.size() + 4);
    for (qsizetype i = 0, n = 0; i < format.size(); i += n) {
        n = runAt(format, i);
        const char16_t c = format[i].unicode();
        int v = c == u'y'   ? (n == 4 ? d.year : d.year % 100)
                : c == u'M' ? d.month
                : c == u'd' ? d.day
                : c == u'H' ? d.hour
                : c == u'm' ? d.minute
                : c == u's' ? d.second
                : c == u'z' ? ms
                            : -1;
        if (v < 0) {
            out += QStringView(format).sliced(i, n);
            continue;
        }
        char digits[12]; // the field's width at least, as Qt pads it
        int k = 0;
        do {
            digits[k++] = char('0' + v % 10);
            v /= 10;
        } while (v > 0);
        while (k < n)
            digits[k++] = '0';
        while (k > 0)
            out += QLatin1Char(digits[--k]);
    }
    return out;
}

QString localText(const basTavlo::DateTime& d, int ms, const QString& format, bool dayOnly,
                  bool numbersOnly) {
    const QDate date(d.year, d.month, d.day);
    if (dayOnly) {
        // Files of one day, written once for each thread: a folder's files share few days. The
        // thread keeps only plain values: objects to put away at a thread's end are not put
        // away safely on every platform.
        struct DayText {
            QDate date;
            char16_t format[64];
            qsizetype formatSize = -1;
            char16_t text[128];
            qsizetype textSize = 0;
        };
        thread_local DayText last;
        const QStringView lastFormat(last.format, std::max<qsizetype>(last.formatSize, 0));
        if (date == last.date && last.formatSize >= 0 && lastFormat == format)
            return QString(reinterpret_cast<const QChar*>(last.text), last.textSize);
        const QString text = date.toString(format);
        if (format.size() <= qsizetype(std::size(last.format)) &&
            text.size() <= qsizetype(std::size(last.text))) {
            last.date = date;
            last.formatSize = format.size();
            std::copy(format.utf16(), format.utf16() + format.size(), last.format);
            last.textSize = text.size();
            std::copy(text.utf16(), text.utf16() + text.size(), last.text);
        }
        return text;
    }
    if (numbersOnly)
        return numbersText(d, ms, format);
    // Fields alone: the time is local already, and formatting must not move it again.
    return QDateTime(date, QTime(d.hour, d.minute, d.second, ms), QTimeZone::utc())
        .toString(format);
}

} // namespace

QString SafeInName(QString value) {
    // A switch, not a search of the set: this runs on every character of every value.
    const auto unsafe = [](char16_t u) {
        switch (u) {
        case u'\\':
        case u'/':
        case u':':
        case u'*':
        case u'?':
        case u'"':
        case u'<':
        case u'>':
        case u'|':
            return true;
        default:
            return u < 32 || u == 127;
        }
    };
    for (QChar& c : value)
        if (unsafe(c.unicode()))
            c = u'_';
    return value;
}

bool IsPatternText(const QString& text) {
    return text.size() >= 2 && text.startsWith(u'/') &&
           (text.endsWith(u'/') || (text.size() >= 3 && text.endsWith(QLatin1String("/i"))));
}

std::span<const FieldText::KnownTag> FieldText::tagNames() {
    static constexpr KnownTag kTags[] = {
        {"name", Part::Name},
        {"ext", Part::Ext},
        {"folder", Part::Folder},
        {"n", Part::Number},
        {"created", Part::Created},
        {"modified", Part::Modified},
        {"accessed", Part::Accessed},
        {"now", Part::Now},
        {"taken", Part::Taken},
        {"camera", Part::Camera},
        {"lens", Part::Lens},
        {"width", Part::Width},
        {"height", Part::Height},
        {"artist", Part::Artist},
        {"albumartist", Part::AlbumArtist},
        {"album", Part::Album},
        {"title", Part::Title},
        {"genre", Part::Genre},
        {"track", Part::Track},
        {"disc", Part::Disc},
        {"year", Part::Year},
        {"dup", Part::Dup},
    };
    return kTags;
}

QString FieldText::TagName(quint8 code) {
    for (const KnownTag& t : tagNames())
        if (t.kind == code)
            return u'<' + QLatin1String(t.name) + u'>';
    return {};
}

QStringList FieldText::KnownTags() {
    QStringList names;
    for (const KnownTag& t : tagNames())
        names << QLatin1String(t.name);
    return names;
}

FieldText FieldText::Read(const QString& text, NameField field, int groups,
                          const QStringList& groupNames) {
    FieldText f;
    f.m_text = text;
    auto known = [](QStringView name) -> std::optional<Part::Kind> {
        for (const KnownTag& t : tagNames())
            if (name == QLatin1String(t.name))
                return Part::Kind(t.kind);
        return std::nullopt;
    };
    auto fail = [&](Kind kind, QString what) {
        f.m_problem = SettingsProblem{kind, field, std::move(what), {}, -1};
        f.m_parts.clear();
        return f;
    };
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty())
            f.m_parts.push_back(
                Part{Part::Text, literal, 0, 1, 1, false, false, {}, Part::Case::AsIs});
        literal.clear();
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        // "$1", "${name}" and "$$" in the replacement of a pattern's matches.
        if (c == u'$' && groups >= 0 && i + 1 < n) {
            const QChar d = text[i + 1];
            if (d == u'$') {
                literal += u'$';
                i += 2;
                continue;
            }
            if (d.isDigit()) {
                // Two digits where the pattern has that many groups, else one: "$12" with
                // two groups is group 1 and a "2".
                int number = d.digitValue(), used = 2;
                if (i + 2 < n && text[i + 2].isDigit() &&
                    number * 10 + text[i + 2].digitValue() <= groups) {
                    number = number * 10 + text[i + 2].digitValue();
                    used = 3;
                }
                if (number > groups)
                    return fail(Kind::NoSuchGroup, text.mid(i, used));
                flush();
                f.m_parts.push_back(
                    Part{Part::Group, {}, 0, number, 1, false, false, {}, Part::Case::AsIs});
                i += used;
                continue;
            }
            if (d == u'{') {
                const qsizetype close = text.indexOf(u'}', i + 2);
                const QString name = close < 0 ? QString() : text.mid(i + 2, close - i - 2);
                if (close < 0 || !groupNames.contains(name) || name.isEmpty())
                    return fail(Kind::NoSuchGroup, text.mid(i, close < 0 ? n - i : close + 1 - i));
                flush();
                f.m_parts.push_back(
                    Part{Part::Group, name, 0, -1, 1, false, false, {}, Part::Case::AsIs});
                i = close + 1;
                continue;
            }
        }
        if (c != u'<') {
            literal += c;
            ++i;
            continue;
        }
        // A tag: names of letters (several joined by "|" are fallbacks), then ":" and its
        // arguments, then ">". A "<" before anything else is text, as is one before a word
        // that is no tag and is not closed like one ("a<b").
        qsizetype j = i + 1;
        while (j < n && (isTagLetter(text[j]) || (text[j] == u'|' && j > i + 1)))
            ++j;
        const QStringView names = QStringView(text).mid(i + 1, j - i - 1);
        const QStringView first =
            names.left(names.indexOf(u'|') < 0 ? names.size() : names.indexOf(u'|'));
        const bool closesLikeATag = j < n && (text[j] == u'>' || text[j] == u':');
        if (first.isEmpty() || (!known(first) && !closesLikeATag)) {
            literal += c;
            ++i;
            continue;
        }
        const qsizetype close = text.indexOf(u'>', j);
        if (close < 0)
            return fail(Kind::Unclosed, text.mid(i));
        const QString tag = text.mid(i, close + 1 - i);
        Part part;
        bool firstName = true;
        for (QStringView name : names.split(u'|')) {
            const auto kind = known(name);
            if (!kind)
                return fail(Kind::UnknownTag, tag);
            if (firstName)
                part.kind = *kind;
            else if (isTime(*kind) && isTime(part.kind))
                part.fallbacks.push_back(*kind);
            else
                return fail(Kind::BadArguments, tag); // only times fall back on times
            firstName = false;
        }
        const bool hasArguments = j < close;
        const QStringView arguments =
            hasArguments ? QStringView(text).mid(j + 1, close - j - 1) : QStringView();
        switch (part.kind) {
        case Part::Name:
        case Part::Ext:
        case Part::Folder:
        case Part::Camera:
        case Part::Lens:
        case Part::Artist:
        case Part::AlbumArtist:
        case Part::Album:
        case Part::Title:
        case Part::Genre:
            // A text value in its own case, or lower, upper or title case.
            if (arguments == QLatin1String("lower"))
                part.textCase = Part::Case::Lower;
            else if (arguments == QLatin1String("upper"))
                part.textCase = Part::Case::Upper;
            else if (arguments == QLatin1String("title"))
                part.textCase = Part::Case::Title;
            else if (hasArguments)
                return fail(Kind::BadArguments, tag);
            break;
        case Part::Year:
            if (hasArguments)
                return fail(Kind::BadArguments, tag);
            break;
        case Part::Number: {
            const QList<QStringView> a = arguments.split(u':');
            if (hasArguments && (a.size() > 3))
                return fail(Kind::BadArguments, tag);
            qint64* fields[] = {&part.digits, &part.start, &part.step};
            for (qsizetype k = 0; hasArguments && k < a.size(); ++k) {
                // A start or step of more than 15 digits would leave the 64-bit range at
                // some row: that is no counter.
                const auto v = wholeNumber(a[k]);
                if (!v || (k == 0 && (*v < 0 || *v > 255)) || *v > kLargestCounter ||
                    *v < -kLargestCounter)
                    return fail(Kind::BadArguments, tag);
                *fields[k] = *v;
            }
            f.m_rows = f.m_numbers = true;
            break;
        }
        case Part::Dup:
            // The number goes where "#" stands, with as many digits as there are "#".
            part.text = hasArguments ? arguments.toString() : QStringLiteral(" (#)");
            if (!part.text.contains(u'#'))
                return fail(Kind::BadArguments, tag);
            f.m_rows = f.m_dup = true;
            break;
        case Part::Width:
        case Part::Height:
        case Part::Track:
        case Part::Disc: {
            const auto v = hasArguments ? wholeNumber(arguments) : std::optional<qint64>(0);
            if (!v || *v < 0 || *v > 255)
                return fail(Kind::BadArguments, tag);
            part.digits = *v;
            break;
        }
        default: // a time, with the format of Qt's dates; none or an empty one is the day
            part.text = arguments.isEmpty() ? QStringLiteral("yyyy-MM-dd") : arguments.toString();
            part.dayOnly = writesDayOnly(part.text);
            part.numbersOnly = writesNumbersOnly(part.text);
            break;
        }
        std::vector<Part::Kind> kinds = part.fallbacks;
        kinds.push_back(part.kind);
        for (const Part::Kind k : kinds) {
            if (k >= Part::Taken && k <= Part::Height)
                f.m_metadata |= PhotoMetadata;
            else if (k >= Part::Artist && k <= Part::Year)
                f.m_metadata |= MusicMetadata;
            f.m_times = f.m_times || (isTime(k) && k != Part::Taken && k != Part::Now);
        }
        flush();
        f.m_parts.push_back(std::move(part));
        f.m_tags = true;
        i = close + 1;
    }
    flush();
    return f;
}

bool FieldText::fill(QString& out, const TagContext& context, const TagFile& file,
                     const QRegularExpressionMatch* match, quint8* missing) const {
    const qsizetype was = out.size();
    // Where a tag has no value: nothing of the field, and which tag it was.
    auto none = [&](Part::Kind kind) {
        out.truncate(was);
        if (missing && !*missing) // the first tag without a value is the one named
            *missing = kind;
        return false;
    };
    for (const Part& p : m_parts) {
        switch (p.kind) {
        case Part::Text:
            out += p.text;
            break;
        case Part::Group:
            if (match)
                out +=
                    p.start >= 0 ? match->capturedView(int(p.start)) : match->capturedView(p.text);
            break;
        case Part::Dup:
            if (file.dup >= 2) {
                const qsizetype first = p.text.indexOf(u'#');
                qsizetype end = first;
                while (end < p.text.size() && p.text[end] == u'#')
                    ++end;
                out += SafeInName(p.text.left(first) + FormatCounter(file.dup, end - first) +
                                  p.text.mid(end));
            }
            break;
        case Part::Name:
        case Part::Ext: {
            const qsizetype dot = ExtensionDot(file.oldName);
            const QStringView name = file.oldName;
            const QStringView v = p.kind == Part::Name
                                      ? (dot < 0 ? name : name.left(dot))
                                      : (dot < 0 ? QStringView() : name.mid(dot + 1));
            out += SafeInName(inCase(v.toString(), p.textCase));
            break;
        }
        case Part::Folder:
            out += SafeInName(inCase(context.folder, p.textCase));
            break;
        case Part::Number:
        case Part::Width:
        case Part::Height:
        case Part::Track:
        case Part::Disc:
        case Part::Year: {
            const FileMetadata* m = file.meta;
            qint64 counted = 0;
            const bool overflows =
                p.kind == Part::Number && (__builtin_mul_overflow(file.row, p.step, &counted) ||
                                           __builtin_add_overflow(counted, p.start, &counted));
            if (overflows)
                return none(p.kind);
            const qint64 v = p.kind == Part::Number   ? counted
                             : !m                     ? 0
                             : p.kind == Part::Width  ? m->width
                             : p.kind == Part::Height ? m->height
                             : p.kind == Part::Track  ? m->track
                             : p.kind == Part::Disc   ? m->disc
                                                      : m->year;
            if (p.kind != Part::Number && v <= 0)
                return none(p.kind);
            out += FormatCounter(v, p.digits);
            break;
        }
        case Part::Camera:
        case Part::Lens:
        case Part::Artist:
        case Part::AlbumArtist:
        case Part::Album:
        case Part::Title:
        case Part::Genre: {
            const FileMetadata* m = file.meta;
            const QString v = !m                            ? QString()
                              : p.kind == Part::Camera      ? m->camera
                              : p.kind == Part::Lens        ? m->lens
                              : p.kind == Part::Artist      ? m->artist
                              : p.kind == Part::AlbumArtist ? m->albumArtist
                              : p.kind == Part::Album       ? m->album
                              : p.kind == Part::Title       ? m->title
                                                            : m->genre;
            if (v.isEmpty())
                return none(p.kind);
            out += SafeInName(inCase(v, p.textCase));
            break;
        }
        default: {
            // The first of the times named that the file has, as local wall-clock time.
            auto timeOf = [&](Part::Kind k) -> std::optional<std::pair<basTavlo::DateTime, int>> {
                if (k == Part::Taken) {
                    if (!file.meta || !file.meta->taken)
                        return std::nullopt;
                    return std::make_pair(*file.meta->taken, file.meta->takenMs);
                }
                const qint64 t = k == Part::Now        ? context.now
                                 : !file.found         ? 0
                                 : k == Part::Created  ? file.found->creationTime
                                 : k == Part::Modified ? file.found->lastWriteTime
                                                       : file.found->lastAccessTime;
                if (t <= 0)
                    return std::nullopt;
                const qint64 secs = t / 10000000 - basTavlo::kFileTimeEpochOffsetSecs;
                return std::make_pair(basTavlo::UtcToLocal(secs), int(t % 10000000 / 10000));
            };
            auto time = timeOf(p.kind);
            for (size_t k = 0; !time && k < p.fallbacks.size(); ++k)
                time = timeOf(p.fallbacks[k]);
            if (!time)
                return none(p.kind);
            out +=
                SafeInName(localText(time->first, time->second, p.text, p.dayOnly, p.numbersOnly));
        }
        }
    }
    return true;
}

QString FieldText::filled(const TagContext& context, const TagFile& file, bool* ok,
                          quint8* missing) const {
    if (!m_tags) {
        *ok = true;
        return m_text;
    }
    QString out;
    out.reserve(m_text.size() + 64);
    *ok = fill(out, context, file, nullptr, missing);
    return out;
}
