#pragma once

#include "Settings.h"

#include <QLocale>
#include <QString>

// What one preview run shares between its files: the sequence counter, the digit count
// and the sequence texts, set up once when the run starts.
struct CompositionRun {
    qint32 counter = 0;
    int digits = 0; // 0: the counter in plain decimal
    QString seqPrefix;
    QString seqSuffix;
    QLocale locale = QLocale::system();
};

CompositionRun StartComposition(const RenameSettings& s);

// As many "0" as digits says; empty for 0 or less.
QString GetDigitFormat(qint16 digits);

// The counter with at least digits digits, zero-padded, a minus sign in front.
QString FormatCounter(qint32 value, int digits);

// The proper case of a text: the first character of each word upper case, the rest
// lower case; words start at the beginning and after white space or NUL.
QString ProperCase(const QString& text, const QLocale& locale);

// Where a suffix goes: in front of the last "." unless that dot is the name's first
// character, else at the end.
qsizetype ExtensionDot(const QString& name);

// The new file name for oldName. Uses, and advances, the run's counter.
QString ComposeNewName(const QString& oldName, const RenameSettings& s, CompositionRun& run);
// The same for the index-th name of the run (from 0), as that call would give it, without
// advancing anything: names of many files can be composed at once, each by its index.
QString ComposeNewName(const QString& oldName, const RenameSettings& s, const CompositionRun& run,
                       qint64 index);

// optNumeric's defaults: Start with "1" and Digits the number of decimal digits of the
// item count, each only where the field is blank.
struct NumericDefaults {
    QString txtDigitStartWith;
    QString txtDigits;
};
NumericDefaults NumericSequenceDefaults(const QString& startWith, const QString& digits,
                                        int itemCount);
