#include "Compose.h"
#include "NumberText.h"

#include <algorithm>
#include <limits>

CompositionRun StartComposition(const RenameSettings& s) {
    CompositionRun run;
    run.counter = RoundToInt32(ReadLeadingNumber(s.txtDigitStartWith)).value_or(0);
    run.digits = GetDigitFormat(RoundToInt16(ReadLeadingNumber(s.txtDigits)).value_or(0)).size();
    if (IsOn(s.chkSeqPrefix))
        run.seqPrefix = s.txtSeqPrefix;
    if (IsOn(s.chkSeqSuffix))
        run.seqSuffix = s.txtSeqSuffix;
    return run;
}

QString GetDigitFormat(qint16 digits) {
    return digits > 0 ? QString(digits, u'0') : QString();
}

QString FormatCounter(qint32 value, int digits) {
    const qint64 v = value;
    QString number = QString::number(v < 0 ? -v : v);
    if (number.size() < digits)
        number.prepend(QString(digits - number.size(), u'0'));
    return v < 0 ? u'-' + number : number;
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

qsizetype ExtensionDot(const QString& name) {
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
    QString name = oldName;
    if (s.optFilenameModifications) {
        if (IsOn(s.chkPrefix))
            name = TrimSpaces(s.txtPrefix) + name;
        if (IsOn(s.chkSuffix))
            name = insertedAtExtension(name, TrimSpaces(s.txtSuffix));
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
        if (IsOn(s.chkReplaceString) && !s.txtReplaceString.isEmpty())
            name.replace(s.txtReplaceString, s.txtWith, Qt::CaseSensitive);
    } else if (s.optSequencing) {
        QString sequence;
        if (s.optNumeric) {
            // The counter stops at the largest value it can hold.
            const qint32 counter =
                qint32(std::min<qint64>(run.counter + index, std::numeric_limits<qint32>::max()));
            sequence = run.seqPrefix + FormatCounter(counter, run.digits) + run.seqSuffix;
        }
        if (s.optPrefixSequence)
            name = sequence + name;
        else if (s.optSuffixSequence)
            name = insertedAtExtension(name, sequence);
    }
    if (IsOn(s.chkChangeExtension)) {
        // A name without an extension gets one rather than becoming the extension alone.
        const qsizetype dot = ExtensionDot(name);
        const QString ext = TrimSpaces(s.txtChangeExtension);
        name = dot < 0 ? name + u'.' + ext : name.left(dot + 1) + ext;
    }
    if (IsOn(s.chkAppendExtension))
        name += TrimSpaces(s.txtAppendExtension);
    return name;
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
