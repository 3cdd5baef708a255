#include "FileLists.h"
#include "files/Parallel.h"
#include "files/basTavlo.h"

#include <QSet>

#ifdef __GLIBC__
#include <malloc.h>
#endif

QString ExtensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.mid(dot + 1);
}

QString SelectionCountText(int checked, int count) {
    return QString::number(checked) + QLatin1String(" of ") + QString::number(count) +
           QLatin1String(" files selected");
}

QString PreviewCountText(int rows) {
    return QString::number(rows) + QLatin1String(" files in preview.");
}

void FillOriginalList(FileLists& lists, const QString& strPath, std::vector<QString> names) {
    lists.extensions.clear();
    QSet<QString> seen;
    for (const QString& name : names) {
        const QString ext = ExtensionOf(name);
        if (!seen.contains(ext)) {
            seen.insert(ext);
            lists.extensions.append(ext);
        }
    }
    std::vector<QString> paths(names.size());
    ParallelFor(names.size(), [&](size_t i) {
        paths[i] = basTavlo::JoinName(strPath, names[i]); // exact room, for 100,000 paths
    });
    names = std::vector<QString>(); // gone before the sort needs its room
    // One sort gives the order that inserting each item at its place would.
    lists.original.setItems(std::move(paths));
#ifdef __GLIBC__
    malloc_trim(0); // the sort's scratch room goes back, not kept for the next list
#endif
    lists.originalCountText = SelectionCountText(0, lists.original.count());
}

void DisplayFiles(FileLists& lists, const QString& strPath) {
    lists.extensions.clear();
    lists.listingError.clear();
    if (!strPath.trimmed().isEmpty()) {
        // The old lists go first: two lists of 100,000 paths side by side are the peak.
        lists.changed.clear();
        lists.original.clear();
        std::vector<QString> names;
        // A folder that can't be read must not pass for an empty one.
        if (!basTavlo::ListFolderFiles(strPath, names))
            lists.listingError = qt_error_string(); // errno, or the last Windows error
        FillOriginalList(lists, strPath, std::move(names));
    }
    lists.changed.clear();
    std::vector<QString> entries;
    entries.reserve(size_t(lists.extensions.size()));
    for (const QString& ext : std::as_const(lists.extensions))
        entries.push_back(QLatin1String("*.") + ext);
    lists.include.setItems(entries);
    lists.exclude.setItems(std::move(entries));
    lists.previewCountText = PreviewCountText(0);
}

void SetAllMarks(CheckListModel& list, int selectAllValue) {
    list.setAllChecked(selectAllValue == 1 || selectAllValue == 2);
}

bool MoveCurrentUp(CheckListModel& list) {
    const int k = list.currentIndex();
    if (k <= 0)
        return false;
    list.swapItems(k - 1, k);
    list.setCurrentIndex(k - 1);
    return true;
}

bool MoveCurrentDown(CheckListModel& list) {
    const int k = list.currentIndex();
    if (k < 0 || k + 1 >= list.count())
        return false;
    list.swapItems(k, k + 1);
    list.setCurrentIndex(k + 1);
    return true;
}
