#pragma once

#include "Settings.h"
#include "Tags.h"

#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <atomic>
#include <memory>

// What one preview run shares between its files, set up once when the run starts: the
// sequence counter and the digit count, and every field's text as read from the page,
// trimmed where the page trims it, with its tags.
struct CompositionRun {
    qint32 counter = 0;
    int digits = 0; // 0: the counter in plain decimal
    FieldText prefix, suffix, with, seqPrefix, seqSuffix, changeExtension, appendExtension;
    QString search;                            // the text to replace, where it is no pattern
    std::optional<QRegularExpression> pattern; // the search text, where it is a pattern
    std::optional<SettingsProblem> problem;    // a field that can't be read: no names at all
    TagContext tags;
    bool needsRows = false;     // names wait for the rows of the preview
    bool numbersRows = false;   // a tag numbers them
    bool needsDup = false;      // a tag numbers the rows whose new names clash
    bool needsTimes = false;    // a tag reads the file's times
    unsigned needsMetadata = 0; // MetadataKind bits: tags read what the file's content says
    QLocale locale = QLocale::system();
    // Names on which the pattern took too long; past a few, it is not tried again.
    std::shared_ptr<std::atomic<int>> slowNames = std::make_shared<std::atomic<int>>(0);
};

// folder: the source folder, whose own name the tags may use.
CompositionRun StartComposition(const RenameSettings& s, const QString& folder = {});

// A new name, or why the settings give the file none.
struct Composed {
    QString name;
    RowStatus status = RowStatus::Ok; // BadSetting, MissingValue, NoDateTaken, PatternTooSlow
    quint8 missing = 0;               // the tag without a value (FieldText::TagName)
};

// As many "0" as digits says; empty for 0 or less.
QString GetDigitFormat(qint16 digits);

// The counter with at least digits digits, zero-padded, a minus sign in front.
QString FormatCounter(qint64 value, qint64 digits);

// The proper case of a text: the first character of each word upper case, the rest
// lower case; words start at the beginning and after white space or NUL.
QString ProperCase(const QString& text, const QLocale& locale);

// Where a suffix goes: in front of the last "." unless that dot is the name's first
// character, else at the end.
qsizetype ExtensionDot(QStringView name);

// The new file name for oldName. Uses, and advances, the run's counter.
QString ComposeNewName(const QString& oldName, const RenameSettings& s, CompositionRun& run);
// The same for the index-th name of the run (from 0), as that call would give it, without
// advancing anything: names of many files can be composed at once, each by its index.
QString ComposeNewName(const QString& oldName, const RenameSettings& s, const CompositionRun& run,
                       qint64 index);
// The same, with what the file gives the tags: its place among the preview's rows and its
// look-up.
Composed ComposeNewName(const QString& oldName, const RenameSettings& s, const CompositionRun& run,
                        qint64 index, const TagFile& file);

// optNumeric's defaults: Start with "1" and Digits the number of decimal digits of the
// item count, each only where the field is blank.
struct NumericDefaults {
    QString txtDigitStartWith;
    QString txtDigits;
};
NumericDefaults NumericSequenceDefaults(const QString& startWith, const QString& digits,
                                        int itemCount);
