#pragma once

#include "Settings.h"
#include "listing/FileLists.h"
#include "listing/PreviewListModel.h"

#include <functional>
#include <optional>
#include <vector>

class CheckListModel;
struct FileLists;

// Whether a new file name can stand in the folder as it is: not empty, not "." or "..",
// no separator or character the system refuses, not too long.
RowStatus CheckNewName(const QString& name, int maxNameLength);

// A name Windows keeps for a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or
// without an extension) or refuses (one that ends in a dot or a space).
bool IsReservedOnWindows(QStringView name);

// Marks the rows that the rename could not carry out safely: a later row with the same
// new path as an earlier one, and a new path held by a file that stays where it is. Paths
// are compared by the folder's rule: where it folds case, "A.txt" and "a.TXT" are one.
void MarkConflicts(std::vector<PreviewRow>& rows, bool foldCase);
void MarkConflicts(std::vector<PreviewRow>& rows); // by the rule of the rows' folder

// Whether a row is left alone for a value its file lacks, or can't be read for.
bool LacksAValue(RowStatus status);

// The number "<dup>" gives each row: none (0) for the first row of each new name, 2, 3, ...
// for the later ones in list order, by the folder's case rule. A file that keeps its name is
// its group's first; a name held by a file outside the plan makes the first row 2.
std::vector<qint64> NumbersWhereNamesClash(const std::vector<PreviewRow>& rows);

// What a plan knows besides its rows: the identity of the folder the files were looked up
// in, and why the settings made no names, where they made none.
struct PlanNotes {
    basTavlo::FileId folder;
    std::optional<SettingsProblem> problem;
};

// Where the tags read what the files hold.
using PreviewProgress = ReadingProgress;

// The plan of a rename: one row per checked file that still exists and passes the
// filters, in list order, with its new and old full path and its status; nullopt where
// progress stopped it.
std::optional<std::vector<PreviewRow>>
PlanPreview(const CheckListModel& original, const CheckListModel& include,
            const CheckListModel& exclude, const RenameSettings& rename,
            const FilterSettings& filters, PlanNotes* notes = nullptr,
            const PreviewProgress& progress = {});

// Fills the preview list and its count text.
// False, with the lists as they were, where progress stopped it.
bool PreviewFiles(FileLists& lists, const RenameSettings& rename, const FilterSettings& filters,
                  const PreviewProgress& progress = {});
