#pragma once

#include "files/basTavlo.h"

#include <QAbstractTableModel>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// What the preview found about a row's new name. Only Ok rows are renamed; the others
// are shown so that the user sees why.
enum class RowStatus : quint8 {
    Ok,
    EmptyName,
    DotName,          // "." or ".."
    InvalidCharacter, // a separator, NUL or a character the system refuses
    ReservedName,     // Windows keeps it for a device, or it ends in a dot or a space
    NameTooLong,
    DuplicateTarget, // an earlier row has the same new path
    TargetExists,    // another file holds the new path and is not renamed away
    Unreadable,      // the file is listed but could not be looked up
    BadSetting,      // a tag or a pattern in the settings can't be read: see SettingsProblem
    MissingValue,    // a tag in the new name has no value for this file
    NoDateTaken,     // a tag asks for the date a photo was taken, and the file has none
    PatternTooSlow,  // the pattern took too long on this name
};

// The name fields in which tags stand for values of the file being renamed, and the
// search text, which may be a pattern.
enum class NameField : quint8 {
    Prefix,
    Suffix,
    ReplaceString,
    With,
    SeqPrefix,
    SeqSuffix,
    ChangeExtension,
    AppendExtension,
};

// Why the settings make no names at all: a tag or a pattern that can't be read. Every row
// of the preview is then shown with it, and nothing is renamed.
struct SettingsProblem {
    enum Kind : quint8 {
        UnknownTag,   // "<dat>"
        BadArguments, // "<n:x>", "<name:3>"
        Unclosed,     // "<name"
        BadPattern,   // detail: the pattern's own message, at position
        NoSuchGroup,  // "$3" or "${x}" where the pattern has no such group
    };
    Kind kind = UnknownTag;
    NameField field = NameField::Prefix;
    QString what; // the tag, or the pattern, or the group reference, as typed
    QString detail;
    int position = -1;
};

// What the rename run did with a row.
enum class RowOutcome : quint8 {
    NotRun,
    Renamed,
    Unchanged,      // the new name is the old one: the file keeps it
    AlreadyRenamed, // the row's file already had its new name (a second run)
    // Not renamed, as the preview said:
    TargetExists,
    DuplicateTarget,
    InvalidName,
    Unreadable,
    NotComposed, // a tag or pattern gave it no name: the row's status says why
    // Not renamed, found at run time:
    GoneOrReplaced,  // no file, or another file than the previewed one, at the old path
    ChangedSinceRun, // the same, found by an undo: gone or replaced since the run
    PermissionDenied,
    CycleNotRun,          // another file of its cycle could not move, so none did
    LeftAtTemporary,      // on its way round a cycle or by a temporary name, it could not be put
                          // back: see nowAt()
    OtherFileMoved,       // after its rename another file stood at the new name: nothing was moved
                          // back, as how it got there can't be told
    FolderReplaced,       // another folder stands at the folder's path: nothing was done in it
    OtherFileAtTemporary, // taken from its temporary name round a cycle, another file put
                          // there: see nowAt()
    ChangedSincePreview,  // its size or change time differ from the preview's, on a volume that
                          // can't tell a changed file from a new one in its place
    Failed,
    // Renamed, with something to report:
    RenamedOldNameAside,    // another program's file that took the old name meanwhile could not
                            // stay there: see nowAt()
    RenamedMayHaveReplaced, // the reservation of the new name was taken away just before
};

// Whether the row's file has its new name after what the run did.
inline bool MovedOutcome(RowOutcome o) {
    return o == RowOutcome::Renamed || o == RowOutcome::RenamedOldNameAside ||
           o == RowOutcome::RenamedMayHaveReplaced;
}

// 80 bytes: a preview keeps one per file, 100,000 of them if need be.
struct PreviewRow {
    PreviewRow() = default;
    PreviewRow(QString newPath, QString oldPath, RowStatus status = RowStatus::Ok,
               basTavlo::FileId id = {})
        : newPath(std::move(newPath)), oldPath(std::move(oldPath)), status(status), id(id) {}

    QString newPath; // the row's text
    QString oldPath; // its first sub-item
    RowStatus status = RowStatus::Ok;
    RowOutcome outcome = RowOutcome::NotRun;
    bool timesNotSet = false;
    bool attributesNotSet = false;
    quint8 missingTag = 0; // the tag without a value, where the status says one has none
    qint16 temporary = -1; // the counter of the temporary name a file was left at: the row's
                           // own, or another program's that took its old name
    basTavlo::FileId id{}; // the file the preview planned for

    // Where the file was left when it is at neither path.
    QString nowAt() const {
        return temporary < 0 ? QString() : basTavlo::TemporaryPath(oldPath, temporary);
    }

    bool moved() const { return MovedOutcome(outcome); }
    bool renamedOrKept() const {
        return moved() || outcome == RowOutcome::Unchanged || outcome == RowOutcome::AlreadyRenamed;
    }
    bool failed() const {
        return (outcome != RowOutcome::NotRun && !renamedOrKept()) ||
               (moved() && outcome != RowOutcome::Renamed) || timesNotSet || attributesNotSet;
    }
};

using SharedRows = std::shared_ptr<std::vector<PreviewRow>>;

// The preview list: rows in the order they were added, text in column 0 and the old
// path in column 1.
class PreviewListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role { StatusRole = Qt::UserRole + 1, OutcomeRole, FailedRole };

    using QAbstractTableModel::QAbstractTableModel;

    void clear();
    // folder: the identity of the folder the rows were planned in; problem: why the
    // settings made no names, where they made none.
    void setRows(std::vector<PreviewRow> rows, const basTavlo::FileId& folder = {},
                 std::optional<SettingsProblem> problem = std::nullopt);
    const basTavlo::FileId& folder() const { return m_folder; }
    const std::optional<SettingsProblem>& problem() const { return m_problem; }

    int count() const { return int(m_rows->size()); }
    const PreviewRow& row(int i) const { return (*m_rows)[size_t(i)]; }
    const std::vector<PreviewRow>& rows() const { return *m_rows; }
    // Lets run set the rows' outcomes in place, without a copy of 100,000 rows; it must
    // not change their number or paths. run gets the rows as shared, so that a record of
    // the run can keep them after the list has moved on.
    template <typename Run> auto runOnRows(Run&& run) {
        if (m_rows.use_count() > 1) // still held by a record of an earlier run
            m_rows = std::make_shared<std::vector<PreviewRow>>(*m_rows);
        auto result = run(m_rows);
        if (!m_rows->empty())
            emit dataChanged(index(0, 0), index(count() - 1, 1));
        return result;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    SharedRows m_rows = std::make_shared<std::vector<PreviewRow>>();
    basTavlo::FileId m_folder;
    std::optional<SettingsProblem> m_problem;
};
