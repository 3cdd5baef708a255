#pragma once

#include "files/basTavlo.h"
#include "listing/PreviewListModel.h"
#include "media/Metadata.h"

#include <QRegularExpression>
#include <QString>

#include <optional>
#include <span>
#include <vector>

// What a preview shares for its tags: the folder's own name and the moment it began, as
// local time.
struct TagContext {
    QString folder;
    qint64 now = 0; // file time: 100-ns units since 1601
};

// What one file gives its tags.
struct TagFile {
    QStringView oldName;                       // the name on disk, with its extension
    qint64 row = 0;                            // its place among the preview's rows, from 0
    const basTavlo::FindData* found = nullptr; // its look-up, for the times
    const FileMetadata* meta = nullptr;        // what its content says, where a tag needs it
    qint64 dup = 0; // its number among the rows that get its new name: 2 from the second on
};

// One field's text, read once for a whole preview: literal text, tags and, in the
// replacement of a pattern, references to the pattern's groups. Tags are in angle
// brackets, which no file name on Windows can hold; a "<" that opens no tag is text.
class FieldText {
public:
    FieldText() = default;
    // groups: the number of groups of the pattern, with their names, where text replaces
    // a pattern's matches ("$1", "${name}", "$$"); -1 where it doesn't.
    static FieldText Read(const QString& text, NameField field, int groups = -1,
                          const QStringList& groupNames = {});

    // The name of every tag, as written between "<" and ">" or ":".
    static QStringList KnownTags();

    bool hasTags() const { return m_tags; }
    bool needsRows() const { return m_rows; }             // names wait for the preview's rows
    bool numbersRows() const { return m_numbers; }        // a number by the row's place in them
    bool needsDup() const { return m_dup; }               // a number where new names clash
    bool needsTimes() const { return m_times; }           // the file's own times
    unsigned needsMetadata() const { return m_metadata; } // MetadataKind bits: the content
    const std::optional<SettingsProblem>& problem() const { return m_problem; }
    const QString& text() const { return m_text; } // the text as typed, where it has no tags

    // Appends the text with each tag's value for file, and each group from match; false
    // where a tag has no value for the file (nothing is appended then), with missing set
    // to that tag's code.
    bool fill(QString& out, const TagContext& context, const TagFile& file,
              const QRegularExpressionMatch* match = nullptr, quint8* missing = nullptr) const;
    QString filled(const TagContext& context, const TagFile& file, bool* ok,
                   quint8* missing = nullptr) const;

    // The tag a code of fill's names, as written: "<camera>"; and whether it is the date
    // a photo was taken.
    static QString TagName(quint8 code);
    static bool IsTaken(quint8 code) { return code == Part::Taken; }

private:
    struct Part {
        enum Kind : quint8 {
            Text,
            Name,
            Ext,
            Folder,
            Number,
            Created,
            Modified,
            Accessed,
            Now,
            Taken, // the times end here
            Camera,
            Lens,
            Width,
            Height,
            Artist,
            AlbumArtist,
            Album,
            Title,
            Genre,
            Track,
            Disc,
            Year,
            Dup,
            Group
        };
        Kind kind = Text;
        QString text; // the literal text, the date format, or the group's name
        qint64 digits = 0, start = 1, step = 1; // a number; a group's number in start
        bool dayOnly = false;                   // a date format without the time of day
        bool numbersOnly = false;               // a date format of numbers and separators
        std::vector<Kind> fallbacks;            // further times, where this one is missing
        enum class Case : quint8 { AsIs, Lower, Upper, Title };
        Case textCase = Case::AsIs; // of a text value
    };

    struct KnownTag {
        const char* name;
        quint8 kind; // a part's kind
    };
    static std::span<const KnownTag> tagNames();

    static bool isTime(Part::Kind k) { return k >= Part::Created && k <= Part::Taken; }

    std::vector<Part> m_parts;
    QString m_text;
    std::optional<SettingsProblem> m_problem;
    bool m_tags = false;
    bool m_rows = false;
    bool m_numbers = false;
    bool m_dup = false;
    bool m_times = false;
    unsigned m_metadata = 0;
};

// A search text written /PATTERN/ or /PATTERN/i is a pattern; anything else is text.
bool IsPatternText(const QString& text);

// Each character a value can bring that a file name can't hold on Windows or Linux,
// replaced by "_".
QString SafeInName(QString value);
