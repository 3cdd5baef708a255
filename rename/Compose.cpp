#include "Compose.h"
#include "NumberText.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <limits>
#include <tuple>

CompositionRun StartComposition(const RenameSettings& s, const QString& folder) {
    CompositionRun run;
    run.counter = RoundToInt32(ReadLeadingNumber(s.txtDigitStartWith)).value_or(0);
    run.digits = GetDigitFormat(RoundToInt16(ReadLeadingNumber(s.txtDigits)).value_or(0)).size();
    // Each field is read here once, and only where its box is on: a tag in a field that
    // is not used can't stop the preview.
    auto read = [&run](FieldText& f, bool used, const QString& text, NameField field,
                       int groups = -1, const QStringList& names = {}) {
        if (!used)
            return;
        f = FieldText::Read(text, field, groups, names);
        if (f.problem() && !run.problem)
            run.problem = f.problem();
        run.needsRows = run.needsRows || f.needsRows();
        run.numbersRows = run.numbersRows || f.numbersRows();
        run.needsDup = run.needsDup || f.needsDup();
        run.needsTimes = run.needsTimes || f.needsTimes();
        run.needsMetadata |= f.needsMetadata();
    };
    const bool modifications = s.optFilenameModifications,
               sequencing = !modifications && s.optSequencing;
    read(run.prefix, modifications && IsOn(s.chkPrefix), TrimSpaces(s.txtPrefix),
         NameField::Prefix);
    read(run.suffix, modifications && IsOn(s.chkSuffix), TrimSpaces(s.txtSuffix),
         NameField::Suffix);
    if (modifications && IsOn(s.chkReplaceString)) {
        if (IsPatternText(s.txtReplaceString)) {
            const bool caseless = s.txtReplaceString.endsWith(QLatin1String("/i"));
            const QString pattern =
                s.txtReplaceString.mid(1, s.txtReplaceString.size() - (caseless ? 3 : 2));
            QRegularExpression re(pattern, caseless ? QRegularExpression::CaseInsensitiveOption
                                                    : QRegularExpression::NoPatternOption);
            if (!re.isValid()) {
                run.problem = SettingsProblem{SettingsProblem::BadPattern, NameField::ReplaceString,
                                              s.txtReplaceString, re.errorString(),
                                              int(re.patternErrorOffset())};
            } else {
                re.optimize();
                read(run.with, true, s.txtWith, NameField::With, re.captureCount(),
                     re.namedCaptureGroups());
                run.pattern = std::move(re);
            }
        } else {
            run.search = s.txtReplaceString;
            read(run.with, true, s.txtWith, NameField::With);
        }
    }
    read(run.seqPrefix, sequencing && IsOn(s.chkSeqPrefix), s.txtSeqPrefix, NameField::SeqPrefix);
    read(run.seqSuffix, sequencing && IsOn(s.chkSeqSuffix), s.txtSeqSuffix, NameField::SeqSuffix);
    read(run.changeExtension, IsOn(s.chkChangeExtension), TrimSpaces(s.txtChangeExtension),
         NameField::ChangeExtension);
    read(run.appendExtension, IsOn(s.chkAppendExtension), TrimSpaces(s.txtAppendExtension),
         NameField::AppendExtension);
    QString own = folder;
    while (own.size() > 1 && (own.endsWith(u'/') || own.endsWith(basTavlo::PathSeparator())))
        own.chop(1);
    run.tags.folder = basTavlo::FileNameOf(own);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    run.tags.now = (now + basTavlo::kFileTimeEpochOffsetSecs * 1000) * 10000;
    return run;
}

QString GetDigitFormat(qint16 digits) {
    return digits > 0 ? QString(digits, u'0') : QString();
}

QString FormatCounter(qint64 value, qint64 digits) {
    // The magnitude unsigned, so that the smallest value has one too.
    const quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    QString number = QString::number(magnitude);
    if (number.size() < digits)
        number.prepend(QString(digits - number.size(), u'0'));
    return value < 0 ? u'-' + number : number;
}

namespace {

bool startsWord(QChar previous) {
    switch (previous.unicode()) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'\0':
        return true;
    default:
        return false;
    }
}

QString insertedAtExtension(const QString& name, const QString& text) {
    const qsizetype dot = ExtensionDot(name);
    return dot < 0 ? name + text : name.left(dot) + text + name.mid(dot);
}

} // namespace

QString ProperCase(const QString& text, const QLocale& locale) {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        // One word: its first code point, then up to the next word start.
        const qsizetype first = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        qsizetype end = i + first;
        while (end < text.size() && !startsWord(text[end - 1]))
            ++end;
        out += locale.toUpper(text.mid(i, first));
        out += locale.toLower(text.mid(i + first, end - i - first));
        i = end;
    }
    return out;
}

qsizetype ExtensionDot(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? dot : -1;
}

QString ComposeNewName(const QString& oldName, const RenameSettings& s, CompositionRun& run) {
    QString name = ComposeNewName(oldName, s, run, 0);
    if (run.counter < std::numeric_limits<qint32>::max())
        ++run.counter;
    return name;
}

QString ComposeNewName(const QString& oldName, const RenameSettings& s, const CompositionRun& run,
                       qint64 index) {
    return ComposeNewName(oldName, s, run, index, TagFile{oldName, index, nullptr}).name;
}

namespace {

// Each match of the pattern, left to right and without overlap, replaced by with. An
// empty match right where a match ended is no match of its own, so that ".*" takes a
// name once, not twice.
QString replaceMatches(const QString& name, const CompositionRun& run, const TagFile& file,
                       bool& ok, bool& slow, quint8& missing) {
    // A pattern that has taken too long on a few names is not tried on more.
    if (run.slowNames->load(std::memory_order_relaxed) >= 8) {
        slow = true;
        return name;
    }
    auto replace = [&](qint64& took) {
        QElapsedTimer timer;
        timer.start();
        QString out;
        out.reserve(name.size() + 64);
        qsizetype last = 0, previousEnd = -1;
        bool filled = true;
        QRegularExpressionMatchIterator it = run.pattern->globalMatch(name);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength() == 0 && m.capturedStart() == previousEnd)
                continue;
            out += QStringView(name).mid(last, m.capturedStart() - last);
            filled = run.with.fill(out, run.tags, file, &m, &missing) && filled;
            last = previousEnd = m.capturedEnd();
        }
        out += QStringView(name).mid(last);
        took = timer.elapsed();
        return std::make_pair(out, filled);
    };
    // The pattern engine gives up past a limit of steps and says only "no match": a name
    // that takes this long is one it gave up on, or as good as. Once more, so that a thread
    // the system held up for a moment is not taken for it.
    qint64 took = 0;
    auto [out, filled] = replace(took);
    if (took >= 10)
        std::tie(out, filled) = replace(took);
    ok = ok && filled;
    if (took >= 10) {
        slow = true;
        run.slowNames->fetch_add(1, std::memory_order_relaxed);
    }
    return out;
}

} // namespace

Composed ComposeNewName(const QString& oldName, const RenameSettings& s, const CompositionRun& run,
                        qint64 index, const TagFile& file) {
    if (run.problem)
        return {{}, RowStatus::BadSetting};
    bool ok = true, slow = false;
    quint8 missing = 0;
    auto value = [&](const FieldText& f) {
        if (!f.hasTags())
            return f.text();
        bool filled = false;
        QString v = f.filled(run.tags, file, &filled, &missing);
        ok = ok && filled;
        return v;
    };
    QString name = oldName;
    if (s.optFilenameModifications) {
        if (IsOn(s.chkPrefix))
            name = value(run.prefix) + name;
        if (IsOn(s.chkSuffix))
            name = insertedAtExtension(name, value(run.suffix));
        if (IsOn(s.chkChangeCase)) {
            switch (s.cboChangeCase) {
            case 0:
                name = run.locale.toLower(name);
                break;
            case 1:
                name = ProperCase(name, run.locale);
                break;
            case 2:
                name = run.locale.toUpper(name);
                break;
            default:
                break;
            }
        }
        if (run.pattern)
            name = replaceMatches(name, run, file, ok, slow, missing);
        else if (IsOn(s.chkReplaceString) && !run.search.isEmpty())
            name.replace(run.search, value(run.with), Qt::CaseSensitive);
    } else if (s.optSequencing) {
        QString counter;
        if (s.optNumeric) {
            // The counter stops at the largest value it can hold.
            const qint32 c =
                qint32(std::min<qint64>(run.counter + index, std::numeric_limits<qint32>::max()));
            counter = FormatCounter(c, run.digits);
        }
        const bool keepName = IsOn(s.chkKeepName);
        const QString sequence = s.optNumeric || !keepName
                                     ? value(run.seqPrefix) + counter + value(run.seqSuffix)
                                     : QString();
        if (!keepName) {
            // The sequence takes the old name's place in front of its extension.
            const qsizetype dot = ExtensionDot(name);
            name = sequence + (dot < 0 ? QString() : name.mid(dot));
        } else if (s.optPrefixSequence) {
            name = sequence + name;
        } else if (s.optSuffixSequence) {
            name = insertedAtExtension(name, sequence);
        }
    }
    if (IsOn(s.chkChangeExtension)) {
        // A name without an extension gets one rather than becoming the extension alone.
        const qsizetype dot = ExtensionDot(name);
        const QString ext = value(run.changeExtension);
        name = dot < 0 ? name + u'.' + ext : name.left(dot + 1) + ext;
    }
    if (IsOn(s.chkAppendExtension))
        name += value(run.appendExtension);
    if (slow)
        return {name, RowStatus::PatternTooSlow};
    if (ok)
        return {name};
    return {name, FieldText::IsTaken(missing) ? RowStatus::NoDateTaken : RowStatus::MissingValue,
            missing};
}

NumericDefaults NumericSequenceDefaults(const QString& startWith, const QString& digits,
                                        int itemCount) {
    NumericDefaults d{startWith, digits};
    if (TrimSpaces(startWith).isEmpty())
        d.txtDigitStartWith = QStringLiteral("1");
    if (TrimSpaces(digits).isEmpty())
        d.txtDigits = QString::number(QString::number(itemCount).size());
    return d;
}
