#include "FileLists.h"
#include "files/BoundedFile.h"
#include "files/Parallel.h"
#include "files/basTavlo.h"
#include "media/Metadata.h"

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
        if (!basTavlo::ListFolderFiles(strPath, names)) {
            // errno, or the last Windows error, whose text brings a full stop of its own.
            lists.listingError = qt_error_string().trimmed();
            while (lists.listingError.endsWith(u'.'))
                lists.listingError.chop(1);
        }
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

bool SortOriginalList(CheckListModel& list, SortKey key, bool descending,
                      const ReadingProgress& progress) {
    const size_t n = size_t(list.count());
    std::vector<QString> names(n);
    std::vector<qint64> values(n, 0);
    std::vector<char> known(n, 1);
    const basTavlo::Folder held(n ? basTavlo::FolderOf(list.text(0)) : QString());
    const bool reads = key == SortKey::Taken || key == SortKey::AlbumDiscTrack;
    if (reads)
        PrepareMetadataReading();
    std::atomic<bool> stopped{false};
    const auto each = [&](size_t i) {
        const BoundedFile::StopWhen stop(stopped);
        const QString text = list.text(int(i));
        const QString name = basTavlo::FileNameOf(text);
        // Each key ends in the name's own order, so that equal values keep it.
        names[i] = key == SortKey::Extension ? CheckListModel::foldedKey(ExtensionOf(name)) +
                                                   QChar(0) + CheckListModel::foldedKey(text)
                                             : CheckListModel::foldedKey(text);
        if (key == SortKey::Name || key == SortKey::Extension)
            return;
        if (key == SortKey::AlbumDiscTrack) {
            const FileMetadata m = ReadMetadata(text, MusicMetadata);
            known[i] = !m.album.isEmpty() || m.track > 0;
            names[i] = CheckListModel::foldedKey(m.album) + QChar(0) +
                       QString::number(m.disc).rightJustified(6, u'0') +
                       QString::number(m.track).rightJustified(6, u'0') + QChar(0) + names[i];
            return;
        }
        if (key == SortKey::Taken) {
            const FileMetadata m = ReadMetadata(text);
            known[i] = m.taken.has_value();
            if (m.taken)
                values[i] =
                    (basTavlo::DaysFromCivil(m.taken->year, m.taken->month, m.taken->day) * 86400 +
                     m.taken->hour * 3600 + m.taken->minute * 60 + m.taken->second) *
                        1000 +
                    m.takenMs;
            return;
        }
        const basTavlo::FindData f = held.infoOf(text);
        known[i] = f.found;
        values[i] = key == SortKey::Size       ? f.size
                    : key == SortKey::Modified ? f.lastWriteTime
                                               : f.creationTime;
        if (key == SortKey::Created && values[i] <= 0)
            known[i] = 0;
    };
    const size_t inFlight = n ? basTavlo::RequestsInFlight(basTavlo::FolderOf(list.text(0))) : 0;
    if (!reads || !progress)
        ParallelFor(n, each, inFlight);
    else if (!ParallelForReporting(n, stopped, each, progress, inFlight))
        return false;
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = int(i);
    auto less = [&](int a, int b) {
        const size_t x = size_t(a), y = size_t(b);
        if (values[x] != values[y])
            return values[x] < values[y];
        const int c = QString::compare(names[x], names[y], Qt::CaseSensitive);
        return c != 0 ? c < 0 : QString::compare(list.text(a), list.text(b)) < 0;
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        // Files that could not be looked up go last, whichever way, in name order.
        if (known[size_t(a)] != known[size_t(b)])
            return known[size_t(a)] > known[size_t(b)];
        return descending && known[size_t(a)] ? less(b, a) : less(a, b);
    });
    list.reorder(order);
    return true;
}
