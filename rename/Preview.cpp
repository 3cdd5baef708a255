#include "Preview.h"
#include "Compose.h"
#include "Filters.h"
#include "files/basTavlo.h"
#include "listing/FileLists.h"

#include <QHash>

#include <optional>

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
    if (name.endsWith(u' ') || name.endsWith(u'.'))
        return RowStatus::InvalidCharacter;
#endif
    if (basTavlo::NameLengthAtMost(name) > maxNameLength &&
        basTavlo::NameLength(name) > maxNameLength)
        return RowStatus::NameTooLong;
    return RowStatus::Ok;
}

namespace {

// The file at a row's new path is the row's own file under another spelling of the same
// name, on a file system that ignores case. A hard link under another name is not.
bool sameNameOfTheFile(const PreviewRow& r) {
    return basTavlo::FileNameOf(r.oldPath).compare(basTavlo::FileNameOf(r.newPath),
                                                   Qt::CaseInsensitive) == 0 &&
           basTavlo::SameFile(r.oldPath, r.newPath);
}

// Whether something stands at path, from one read of its folder for all the rows.
class Occupied {
public:
    bool at(const QString& path) {
        const qsizetype cut = basTavlo::FileNameStart(path);
        const QStringView folder = QStringView(path).left(cut);
        if (!m_names || folder != m_folder) {
            m_folder = folder.toString();
            m_names.emplace(m_folder);
        }
        return m_names->mayHold(QStringView(path).mid(cut)) && basTavlo::PathExists(path);
    }

private:
    QString m_folder;
    std::optional<basTavlo::FolderNames> m_names;
};

} // namespace

void MarkConflicts(std::vector<PreviewRow>& rows) {
    const int n = int(rows.size());
    QHash<QString, int> byNew; // new path -> the row that gets it
    QHash<QString, int> byOld; // old path -> its row
    byNew.reserve(n);
    byOld.reserve(n);
    // A file that keeps its name holds it before any other row can claim it.
    for (int i = 0; i < n; ++i) {
        const PreviewRow& r = rows[size_t(i)];
        byOld.insert(r.oldPath, i);
        if (r.status == RowStatus::Ok && r.newPath == r.oldPath)
            byNew.insert(r.newPath, i);
    }
    for (int i = 0; i < n; ++i) {
        PreviewRow& r = rows[size_t(i)];
        if (r.status != RowStatus::Ok || r.newPath == r.oldPath)
            continue;
        const auto taken = byNew.constFind(r.newPath);
        if (taken == byNew.constEnd()) {
            byNew.insert(r.newPath, i);
            continue;
        }
        const PreviewRow& holder = rows[size_t(taken.value())];
        r.status =
            holder.newPath == holder.oldPath ? RowStatus::TargetExists : RowStatus::DuplicateTarget;
    }

    // A row moves when its new path is free, or held by a row that moves (a chain), or
    // when it is part of a cycle. Walk each chain once and give all of it one verdict.
    enum class State : char { Unknown, Visiting, Moves, Stays };
    std::vector<State> state(size_t(n), State::Unknown);
    auto candidate = [&](int i) {
        const PreviewRow& r = rows[size_t(i)];
        return r.status == RowStatus::Ok && r.newPath != r.oldPath;
    };
    std::vector<int> chain;
    Occupied occupied;
    for (int i = 0; i < n; ++i) {
        if (state[size_t(i)] != State::Unknown || !candidate(i))
            continue;
        chain.clear();
        State verdict = State::Stays;
        for (int j = i;;) {
            state[size_t(j)] = State::Visiting;
            chain.push_back(j);
            const PreviewRow& r = rows[size_t(j)];
            const auto holder = byOld.constFind(r.newPath);
            if (holder == byOld.constEnd()) {
                const bool free = !occupied.at(r.newPath) || sameNameOfTheFile(r);
                verdict = free ? State::Moves : State::Stays;
                break;
            }
            const int h = holder.value();
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

std::vector<PreviewRow> PlanPreview(const CheckListModel& original, const CheckListModel& include,
                                    const CheckListModel& exclude, const RenameSettings& rename,
                                    const FilterSettings& filters) {
    basTavlo::RefreshLocalZone();
    CompositionRun run = StartComposition(rename);
    const FilterRun filterRun(filters, include, exclude);
    std::vector<PreviewRow> rows;
    QString maxFolder;
    int maxLength = 255;
    const int n = original.count();
    for (int i = 0; i < n; ++i) {
        if (!original.isChecked(i))
            continue;
        const QString path = original.text(i);
        // One look-up serves for the on-disk name, the identity, the attributes and times.
        const basTavlo::FindData found = basTavlo::GetFileInfo(path);
        const bool present =
            found.found && !(found.attributes & (basTavlo::AttrHidden | basTavlo::AttrSystem |
                                                 basTavlo::AttrDirectory));
        // A file that can't be looked up keeps its listed name and is shown, not renamed.
        const QString oldName = present            ? found.fileName
                                : found.unreadable ? basTavlo::FileNameOf(path)
                                                   : QString();
        const QString newName = ComposeNewName(oldName, rename, run);
        const QString folder = path.left(path.size() - oldName.size());
        if (found.unreadable) {
            rows.push_back(PreviewRow{folder + newName, path, RowStatus::Unreadable});
            continue;
        }
        // A file gone (or hidden) since the listing gets no row: renaming it can't work.
        if (!present)
            continue;
        // Times are converted to local time only when a filter looks at them.
        if (filterRun.active() &&
            !filterRun.PassesFilters(path, filterRun.needsDetails()
                                               ? basTavlo::DetailsFromFindData(found)
                                               : basTavlo::FileDetails{}))
            continue;
        if (folder != maxFolder) {
            maxFolder = folder;
            maxLength = basTavlo::MaxNameLength(folder);
        }
        rows.push_back(
            PreviewRow{folder + newName, path, CheckNewName(newName, maxLength), found.id});
    }
    MarkConflicts(rows);
    return rows;
}

void PreviewFiles(FileLists& lists, const RenameSettings& rename, const FilterSettings& filters) {
    lists.changed.setRows(
        PlanPreview(lists.original, lists.include, lists.exclude, rename, filters));
    lists.previewCountText = PreviewCountText(lists.changed.count());
}
