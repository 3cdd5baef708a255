#pragma once

#include "CheckListModel.h"
#include "PreviewListModel.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The lists of the main window and the two count texts shown above them.
struct FileLists {
    CheckListModel original{CheckListModel::Order::Sorted};
    CheckListModel include;
    CheckListModel exclude;
    PreviewListModel changed;
    QString originalCountText = QStringLiteral(" 0 of 0 files selected");
    QString previewCountText = QStringLiteral(" 0 files in preview");
    QStringList extensions; // first met first, exact case
    QString listingError;   // why the last listing could not read the folder, else empty
};

// The text after the last "." of a name; a name without one is its own extension.
QString ExtensionOf(const QString& name);

// "3 of 12 files selected"
QString SelectionCountText(int checked, int count);
// "3 files in preview."
QString PreviewCountText(int rows);

// The original list and the extension set from the names of one folder, taken in the
// order given (the platform's enumeration order decides the extension order).
void FillOriginalList(FileLists& lists, const QString& strPath, std::vector<QString> names);

// Lists the files of the folder strPath (a folder text ending in its separator) into
// the original list, unchecked, rebuilds both extension lists and empties the preview.
// An empty or blank path keeps the original list as it is.
void DisplayFiles(FileLists& lists, const QString& strPath);

// The Select All box: value 1 (checked) or 2 (grayed) marks every item, 0 clears them.
void SetAllMarks(CheckListModel& list, int selectAllValue);

// Up and Down: move the current item one place with its mark; the highlight follows.
// False when there is nothing to move.
bool MoveCurrentUp(CheckListModel& list);
bool MoveCurrentDown(CheckListModel& list);

// What the original list can be sorted by: its own order (names), the extension, or what
// a look-up of each file finds.
enum class SortKey { Name, Extension, Size, Modified, Created, Taken, AlbumDiscTrack };

// Where what the files hold is read, which takes long on a slow disk: progress gets how many
// of the files are read, now and then, on the calling thread, and false from it stops the
// reading.
using ReadingProgress = std::function<bool(qint64 done, qint64 total)>;

// Sorts the original list by key, ascending or descending; a file that can't be looked up,
// a photo without a date taken or a file without song tags, goes last, in name order. Marks and the
// current item travel with their files. The look-ups run over the cores; where the key reads
// what the files hold, on threads of their own while progress reports. False where progress
// stopped it: the list stays as it was.
bool SortOriginalList(CheckListModel& list, SortKey key, bool descending,
                      const ReadingProgress& progress = {});
