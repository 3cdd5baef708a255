#include "Preview.h"
#include "Compose.h"
#include "Filters.h"
#include "RowIndex.h"
#include "files/BoundedFile.h"
#include "files/Parallel.h"
#include "files/basTavlo.h"
#include "listing/FileLists.h"
#include "media/Metadata.h"

#include <atomic>
#include <future>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

RowStatus CheckNewName(const QString& name, int maxNameLength) {
    if (name.isEmpty())
        return RowStatus::EmptyName;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return RowStatus::DotName;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\0')
            return RowStatus::InvalidCharacter;
#ifdef Q_OS_WIN
        if (u < 32 || QStringView(u"\\:*?\"<>|").contains(c))
            return RowStatus::InvalidCharacter;
#endif
    }
#ifdef Q_OS_WIN
    if (IsReservedOnWindows(name))
        return RowStatus::ReservedName;
#endif
    if (basTavlo::NameLengthAtMost(name) > maxNameLength &&
        basTavlo::NameLength(name) > maxNameLength)
        return RowStatus::NameTooLong;
    return RowStatus::Ok;
}

bool IsReservedOnWindows(QStringView name) {
    if (name.endsWith(u' ') || name.endsWith(u'.'))
        return true;
    // The device names hold before the first dot, and blanks before it don't count.
    QStringView base = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    while (base.endsWith(u' '))
        base.chop(1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (base.compare(QLatin1String(device), Qt::CaseInsensitive) == 0)
            return true;
    if (base.size() != 4 || !(base.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ||
                              base.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive)))
        return false;
    // COM1 to COM9, and the superscript digits Windows also counts; not COM0.
    const char16_t d = base[3].unicode();
    return (d >= u'1' && d <= u'9') || d == u'\u00B9' || d == u'\u00B2' || d == u'\u00B3';
}

namespace {

// The folder's names, read on a thread of their own where one can be had and many
// questions will be asked, while the caller does other work.
std::future<basTavlo::NameHashes> namesMeanwhile(const basTavlo::Folder& folder, size_t questions) {
    return std::async(questions >= 1000 ? std::launch::async | std::launch::deferred
                                        : std::launch::deferred,
                      [&folder, questions] { return folder.names(questions); });
}

// Whether anything stands at path: the names read once answer for the many that are free.
bool standsAt(const basTavlo::Folder& folder, const basTavlo::NameHashes& names,
              const QString& path) {
    const auto name = folder.nameOf(path);
    return name ? names.mayHold(*name) && folder.exists(*name) : basTavlo::PathExists(path);
}

// The file at a row's new path is the row's own file under another spelling of the same
// name, on a file system that ignores case. A hard link under another name is not.
bool sameNameOfTheFile(const PreviewRow& r) {
    return basTavlo::FileNameOf(r.oldPath).compare(basTavlo::FileNameOf(r.newPath),
                                                   Qt::CaseInsensitive) == 0 &&
           basTavlo::SameFile(r.oldPath, r.newPath);
}

} // namespace

void MarkConflicts(std::vector<PreviewRow>& rows) {
    MarkConflicts(rows, RowsFoldCase(rows));
}

void MarkConflicts(std::vector<PreviewRow>& rows, bool foldCase) {
    const int n = int(rows.size());
    auto candidate = [&](int i) { // a row that still plans to move its file
        const PreviewRow& r = rows[size_t(i)];
        return r.status == RowStatus::Ok && r.newPath != r.oldPath;
    };
    // Where many new names will be asked about, the folder's names are read meanwhile, on a
    // thread of their own where one can be had.
    size_t moving = 0;
    for (int i = 0; i < n; ++i)
        moving += candidate(i);
    const basTavlo::Folder folder(n > 0 ? basTavlo::FolderOf(rows.front().oldPath) : QString());
    std::future<basTavlo::NameHashes> present = namesMeanwhile(folder, moving);
    RowIndex byNew(rows, &PreviewRow::newPath, foldCase); // the row that gets a new path
    RowIndex byOld(rows, &PreviewRow::oldPath, foldCase);
    byNew.keyAll();
    byOld.keyAll();
    // A file that keeps its name holds it before any other row can claim it.
    for (int i = 0; i < n; ++i) {
        const PreviewRow& r = rows[size_t(i)];
        byOld.insert(i);
        if (r.status == RowStatus::Ok && r.newPath == r.oldPath)
            byNew.insert(i);
    }
    for (int i = 0; i < n; ++i) {
        if (!candidate(i))
            continue;
        PreviewRow& r = rows[size_t(i)];
        const int taken = byNew.insert(i);
        if (taken == i)
            continue;
        const PreviewRow& holder = rows[size_t(taken)];
        r.status =
            holder.newPath == holder.oldPath ? RowStatus::TargetExists : RowStatus::DuplicateTarget;
    }

    // A row moves when its new path is free, or held by a row that moves (a chain), or
    // when it is part of a cycle. Walk each chain once and give all of it one verdict.
    enum class State : char { Unknown, Visiting, Moves, Stays };
    std::vector<State> state(size_t(n), State::Unknown);
    // The moving row whose old path is each candidate's new path, once for all. Where a
    // chain ends, its new path is no row's old path: ask the folder whether anything stands
    // there (hidden entries and folders too), all such paths at once over the cores. Where the
    // folder compares names by their bytes, its names read in one pass answer for the many
    // that are not there; the rest are the folder's own answer, by its own case rule.
    constexpr int kFree = -1, kHeld = -2;
    std::vector<int> next(size_t(n), kFree);
    for (int i = 0; i < n; ++i)
        if (candidate(i))
            next[size_t(i)] = byOld.find(rows[size_t(i)].newPath, byNew.key(i));
    const basTavlo::NameHashes names = present.get();
    // Where each question waits for a network, many wait at once.
    const size_t inFlight = n > 0 ? basTavlo::RequestsInFlight(folder.path()) : 0;
    ParallelFor(
        size_t(n),
        [&](size_t i) {
            if (next[i] != kFree || !candidate(int(i)))
                return;
            if (standsAt(folder, names, rows[i].newPath))
                next[i] = kHeld;
        },
        inFlight);
    std::vector<int> chain;
    for (int i = 0; i < n; ++i) {
        if (state[size_t(i)] != State::Unknown || !candidate(i))
            continue;
        chain.clear();
        State verdict = State::Stays;
        for (int j = i;;) {
            state[size_t(j)] = State::Visiting;
            chain.push_back(j);
            const PreviewRow& r = rows[size_t(j)];
            const int h = next[size_t(j)];
            if (h < 0) {
                const bool free = h == kFree || sameNameOfTheFile(r);
                verdict = free ? State::Moves : State::Stays;
                break;
            }
            const State hs = state[size_t(h)];
            if (hs == State::Visiting || hs == State::Moves) {
                verdict = State::Moves;
                break;
            }
            if (hs == State::Stays || !candidate(h)) {
                verdict = State::Stays;
                break;
            }
            j = h;
        }
        for (const int j : chain) {
            state[size_t(j)] = verdict;
            if (verdict == State::Stays)
                rows[size_t(j)].status = RowStatus::TargetExists;
        }
    }
}

bool LacksAValue(RowStatus status) {
    return status == RowStatus::MissingValue || status == RowStatus::NoDateTaken ||
           status == RowStatus::Unreadable;
}

std::vector<qint64> NumbersWhereNamesClash(const std::vector<PreviewRow>& rows) {
    const int n = int(rows.size());
    std::vector<qint64> dup(rows.size(), 0);
    if (rows.empty())
        return dup;
    const bool foldCase = RowsFoldCase(rows);
    auto named = [&](int i) { return rows[size_t(i)].status == RowStatus::Ok; };
    const basTavlo::Folder folder(basTavlo::FolderOf(rows.front().oldPath));
    std::future<basTavlo::NameHashes> present = namesMeanwhile(folder, size_t(n));
    RowIndex byNew(rows, &PreviewRow::newPath, foldCase);
    RowIndex byOld(rows, &PreviewRow::oldPath, foldCase);
    byNew.keyAll();
    byOld.keyAll();
    // A file that keeps its name is its group's first, wherever it is in the list.
    for (int i = 0; i < n; ++i)
        if (named(i) && rows[size_t(i)].newPath == rows[size_t(i)].oldPath)
            byNew.insert(i);
    std::vector<int> first(rows.size(), -1);
    std::vector<int> firsts;
    for (int i = 0; i < n; ++i) {
        if (!named(i))
            continue;
        const int f = byNew.insert(i);
        first[size_t(i)] = f;
        if (f == i)
            firsts.push_back(i);
    }
    // A name held by a file outside the plan counts as its group's first. Only a group's
    // first row can find one: the folder's names, read once, answer for the many that are
    // free.
    std::vector<char> held(rows.size(), 0);
    for (int i = 0; i < n; ++i)
        byOld.insert(i);
    const basTavlo::NameHashes names = present.get();
    if (!firsts.empty()) {
        ParallelFor(
            firsts.size(),
            [&](size_t k) {
                const PreviewRow& r = rows[size_t(firsts[k])];
                if (r.newPath == r.oldPath || byOld.find(r.newPath) >= 0)
                    return; // the row's own file, or one that the plan moves
                held[size_t(firsts[k])] = standsAt(folder, names, r.newPath);
            },
            basTavlo::RequestsInFlight(folder.path()));
    }
    std::vector<qint64> next(rows.size(), 0);
    for (int i = 0; i < n; ++i) {
        const int f = first[size_t(i)];
        if (f < 0)
            continue;
        if (f == i) {
            dup[size_t(i)] = held[size_t(i)] ? 2 : 0;
            next[size_t(i)] = held[size_t(i)] ? 3 : 2;
        } else {
            dup[size_t(i)] = next[size_t(f)]++;
        }
    }
    return dup;
}

std::optional<std::vector<PreviewRow>>
PlanPreview(const CheckListModel& original, const CheckListModel& include,
            const CheckListModel& exclude, const RenameSettings& rename,
            const FilterSettings& filters, PlanNotes* notes, const PreviewProgress& progress) {
    basTavlo::RefreshLocalZone();
    const FilterRun filterRun(filters, include, exclude);
    std::vector<int> checked;
    const int n = original.count();
    for (int i = 0; i < n; ++i)
        if (original.isChecked(i))
            checked.push_back(i);
    // The listing's one folder, and its name length limit, asked once.
    const QString listFolder =
        checked.empty() ? QString() : basTavlo::FolderOf(original.text(checked.front()));
    const int listMax = checked.empty() ? 255 : basTavlo::MaxNameLength(listFolder);
    const CompositionRun run = StartComposition(rename, listFolder);
    // One look-up per file serves for the on-disk name, the identity, the attributes and
    // times. Each file's row is made where it was looked up, over the cores, each name
    // composed by its place among the checked files; the files the preview leaves out are
    // dropped after, keeping list order. Where a tag numbers the rows of the preview, the
    // names wait for that order: the row keeps the name on disk, and the times it needs.
    const basTavlo::Folder held(listFolder);
    if (notes) {
        notes->folder = checked.empty() ? basTavlo::FileId{} : held.id();
        notes->problem = run.problem;
    }
    std::vector<PreviewRow> rows(checked.size());
    std::vector<char> kept(checked.size(), 0);
    struct Times {
        qint64 creation, lastWrite, lastAccess;
    };
    std::vector<Times> times(run.needsRows && run.needsTimes ? checked.size() : 0);
    // What the files' contents say, read once each, where a tag needs it.
    if (run.needsMetadata)
        PrepareMetadataReading();
    std::vector<FileMetadata> metas(run.needsRows && run.needsMetadata ? checked.size() : 0);
    auto compose = [&](PreviewRow& row, const QString& oldName, qint64 k, qint64 number,
                       const basTavlo::FindData* found, const FileMetadata* meta, qint64 dup = 0) {
        const QString folder = row.oldPath.left(row.oldPath.size() - oldName.size());
        const Composed c =
            ComposeNewName(oldName, rename, run, k, TagFile{oldName, number, found, meta, dup});
        const int maxLength = folder == listFolder ? listMax : basTavlo::MaxNameLength(folder);
        row.newPath = basTavlo::JoinName(folder, c.name);
        if (row.status == RowStatus::Ok)
            row.status = c.status != RowStatus::Ok ? c.status : CheckNewName(c.name, maxLength);
        row.missingTag = c.missing;
    };
    // Reading what files hold can take long: the files are read on other threads, and the
    // calling one only reports how far they have come, so that a stop is heard at once
    // whatever one file does; the reads under way end at their next step.
    const bool reports = progress && run.needsMetadata;
    std::atomic<bool> stopped{false};
    const auto each = [&](size_t k) {
        const BoundedFile::StopWhen stop(stopped);
        const QString& path = original.text(checked[k]);
        // A photo's first bytes come through the open that reads its attributes.
        basTavlo::Head head;
        std::optional<MetadataHeadRoom> room;
        if (run.needsMetadata && ReadsHead(path, run.needsMetadata))
            head = {room.emplace().data(), kMetadataHead};
        const basTavlo::FindData found = held.infoOf(path, head.data ? &head : nullptr);
        const bool present =
            found.found && !(found.attributes & (basTavlo::AttrHidden | basTavlo::AttrSystem |
                                                 basTavlo::AttrDirectory));
        // A file that can't be looked up keeps its listed name and is shown, not renamed.
        const QString oldName = present            ? found.fileName
                                : found.unreadable ? basTavlo::FileNameOf(path)
                                                   : QString();
        // A file gone (or hidden) since the listing gets no row: renaming it can't work.
        if (!present && !found.unreadable)
            return;
        // Times are converted to local time only when a filter looks at them.
        if (!found.unreadable && filterRun.active() &&
            !filterRun.PassesFilters(path, filterRun.needsDetails()
                                               ? basTavlo::DetailsFromFindData(found)
                                               : basTavlo::FileDetails{}))
            return;
        rows[k] = PreviewRow{oldName, path,
                             found.unreadable ? RowStatus::Unreadable : RowStatus::Ok, found.id};
        kept[k] = 1;
        FileMetadata meta;
        if (run.needsMetadata && !found.unreadable) {
            const QByteArrayView read(head.data, std::max<qint64>(head.size, 0));
            meta = ReadMetadata(path, run.needsMetadata, head.size >= 0 ? &read : nullptr);
            if (meta.unreadable)
                rows[k].status = RowStatus::Unreadable;
        }
        if (!run.needsRows) {
            compose(rows[k], oldName, qint64(k), 0, &found, &meta);
            return;
        }
        if (!times.empty())
            times[k] = {found.creationTime, found.lastWriteTime, found.lastAccessTime};
        if (!metas.empty())
            metas[k] = std::move(meta);
    };
    // Where each look-up waits for a network or a user-space file system, many wait at once.
    const size_t inFlight = checked.empty() ? 0 : basTavlo::RequestsInFlight(listFolder);
    if (!reports)
        ParallelFor(checked.size(), each, inFlight);
    else if (!ParallelForReporting(checked.size(), stopped, each, progress, inFlight))
        return std::nullopt;
    size_t m = 0;
    std::vector<qint64> index; // by row: its place among the checked files
    if (run.needsRows)
        index.reserve(rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        if (!kept[k])
            continue;
        if (m != k) {
            rows[m] = std::move(rows[k]);
            if (!times.empty())
                times[m] = times[k];
            if (!metas.empty())
                metas[m] = std::move(metas[k]);
        }
        if (run.needsRows)
            index.push_back(qint64(k));
        ++m;
    }
    rows.resize(m);
    if (run.needsRows) {
        // The names on disk, kept in the rows' new paths until now, for the passes below.
        std::vector<QString> onDisk(m);
        std::vector<qint64> number(m), dup;
        for (size_t i = 0; i < m; ++i) {
            onDisk[i] = std::move(rows[i].newPath);
            number[i] = qint64(i);
        }
        auto composeRow = [&](size_t i) {
            basTavlo::FindData found;
            if (!times.empty()) {
                found.creationTime = times[i].creation;
                found.lastWriteTime = times[i].lastWrite;
                found.lastAccessTime = times[i].lastAccess;
            }
            compose(rows[i], onDisk[i], index[i], number[i], &found,
                    metas.empty() ? nullptr : &metas[i], dup.empty() ? 0 : dup[i]);
        };
        ParallelFor(m, composeRow);
        auto again = [&](const std::vector<size_t>& which) {
            ParallelFor(which.size(), [&](size_t k) {
                rows[which[k]].status = RowStatus::Ok;
                composeRow(which[k]);
            });
        };
        // Rows left alone for a value they lack take no number: the others are numbered
        // without gaps.
        if (run.numbersRows) {
            std::vector<size_t> renumbered;
            qint64 next = 0;
            for (size_t i = 0; i < m; ++i) {
                if (LacksAValue(rows[i].status))
                    continue;
                if (number[i] != next) {
                    number[i] = next;
                    renumbered.push_back(i);
                }
                ++next;
            }
            again(renumbered);
        }
        // Where new names clash, the second and later rows of each get their number.
        if (run.needsDup) {
            dup = NumbersWhereNamesClash(rows);
            std::vector<size_t> numbered;
            for (size_t i = 0; i < m; ++i)
                if (dup[i] >= 2)
                    numbered.push_back(i);
            again(numbered);
        }
    }
    if (rows.size() < rows.capacity() / 2) // the filters left out many
        rows.shrink_to_fit();
    MarkConflicts(rows);
    return rows;
}

bool PreviewFiles(FileLists& lists, const RenameSettings& rename, const FilterSettings& filters,
                  const PreviewProgress& progress) {
    // The old rows go before the new ones take their room, unless the new ones may not come:
    // a preview that reads what files hold can be stopped. Reading the fields to tell costs
    // microseconds; keeping 100,000 old rows beside the new ones costs megabytes.
    if (!progress || !StartComposition(rename).needsMetadata)
        lists.changed.clear();
    PlanNotes notes;
    std::optional<std::vector<PreviewRow>> rows = PlanPreview(
        lists.original, lists.include, lists.exclude, rename, filters, &notes, progress);
    if (!rows)
        return false;
    lists.changed.clear();
    lists.changed.setRows(std::move(*rows), notes.folder, std::move(notes.problem));
#ifdef __GLIBC__
    malloc_trim(0); // the plan's scratch room goes back, not kept beside the rows
#endif
    lists.previewCountText = PreviewCountText(lists.changed.count());
    return true;
}
