#include "RenameRun.h"
#include "RowIndex.h"
#include "files/Parallel.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

namespace {

struct AttributeRow {
    int AdvancedSettings::*box;
    quint32 bit;
    const char* message;
};

// The order of the page, not of the values.
constexpr AttributeRow kAttributes[] = {
    {&AdvancedSettings::chkReadOnly, basTavlo::AttrReadOnly, "ReadOnly Attribute NOT set."},
    {&AdvancedSettings::chkHidden, basTavlo::AttrHidden, "Hidden Attribute NOT set."},
    {&AdvancedSettings::chkArchive, basTavlo::AttrArchive, "Archive Attribute NOT set."},
    {&AdvancedSettings::chkSystem, basTavlo::AttrSystem, "System Attribute NOT set."},
};

RowOutcome outcomeOf(basTavlo::RenameError e) {
    switch (e) {
    case basTavlo::RenameError::None:
        return RowOutcome::Renamed;
    case basTavlo::RenameError::SourceMissing:
        return RowOutcome::GoneOrReplaced;
    case basTavlo::RenameError::TargetExists:
        return RowOutcome::TargetExists;
    case basTavlo::RenameError::PermissionDenied:
        return RowOutcome::PermissionDenied;
    case basTavlo::RenameError::InvalidName:
        return RowOutcome::InvalidName;
    case basTavlo::RenameError::NotThatFile:
        return RowOutcome::GoneOrReplaced;
    case basTavlo::RenameError::OtherFileMoved:
        return RowOutcome::OtherFileMoved;
    case basTavlo::RenameError::LeftAtTemporary:
        return RowOutcome::LeftAtTemporary;
    case basTavlo::RenameError::OldNameTaken:
        return RowOutcome::RenamedOldNameAside;
    case basTavlo::RenameError::MayHaveReplaced:
        return RowOutcome::RenamedMayHaveReplaced;
    default:
        return RowOutcome::Failed;
    }
}

// What a row the preview did not pass is reported as.
RowOutcome skippedOutcome(RowStatus status) {
    switch (status) {
    case RowStatus::DuplicateTarget:
        return RowOutcome::DuplicateTarget;
    case RowStatus::TargetExists:
        return RowOutcome::TargetExists;
    case RowStatus::Unreadable:
        return RowOutcome::Unreadable;
    case RowStatus::BadSetting:
    case RowStatus::MissingValue:
    case RowStatus::NoDateTaken:
    case RowStatus::PatternTooSlow:
        return RowOutcome::NotComposed;
    default:
        return RowOutcome::InvalidName;
    }
}

std::function<void(size_t)> g_afterLookUp;
std::mutex g_afterLookUpCall; // one call at a time where rows move on many threads

void afterLookUp(size_t row) {
    if (g_afterLookUp) {
        const std::lock_guard one(g_afterLookUpCall);
        g_afterLookUp(row);
    }
}

class Run {
public:
    Run(std::vector<PreviewRow>& rows, const basTavlo::FileId& folder, const AdvancedSettings& s,
        const RunCallbacks& cb, RunJournal* journal = nullptr, const RunJournal* undoing = nullptr)
        : m_rows(rows), m_s(s), m_cb(cb), m_journal(journal), m_undoing(undoing),
          m_times(ChosenTimes(s)), m_stampTimes(TimeStepWanted(s)),
          m_stampAttributes(IsOn(s.chkModifyAttributes)),
          m_byOld(rows, &PreviewRow::oldPath, RowsFoldCase(rows)), m_moves(rows.size(), 0),
          m_done(rows.size(), 0), m_onChain(rows.size(), 0),
          m_folder(rows.empty() ? QString() : basTavlo::FolderOf(rows.front().oldPath)),
          m_planFolder(folder) {
        if (m_journal) {
            m_journal->attributes = m_stampAttributes;
            m_journal->times = m_stampTimes;
            m_journal->folder = folder;
        }
    }

    ~Run() {
        if (m_checker.joinable())
            m_checker.join();
    }

    int go() {
        const int n = int(m_rows.size());
        // Another folder at the path, such as a copy of hard links made for a backup, holds
        // files with the same identities: nothing in it is the plan's to touch.
        if (m_planFolder.valid && n > 0 && m_folder.id() != m_planFolder) {
            for (PreviewRow& r : m_rows)
                r.outcome = RowOutcome::FolderReplaced;
            if (m_cb.progress)
                m_cb.progress(100.0);
            return n;
        }
        const size_t inFlight = n > 1 ? basTavlo::RequestsInFlight(m_folder.path()) : 0;
        m_inline = inFlight > 1;
        decide();
        if (m_inline) {
            runInFlight(inFlight);
        } else {
            std::vector<int> chain;
            for (int i = 0; i < n; ++i)
                process(i, chain);
        }
        m_movesEnded.store(true, std::memory_order_release);
        if (m_checker.joinable())
            m_checker.join();
        settleTrailed();
        if (m_cb.progress)
            m_cb.progress(100.0);
        int failed = 0;
        for (const PreviewRow& r : m_rows)
            failed += r.failed() ? 1 : 0;
        return failed;
    }

private:
    enum Found : char { kUnchecked, kAtOld, kAtNew, kElsewhere, kChanged };

    // Row i, and with it the rows whose files hold its new name, unless done already.
    void process(int i, std::vector<int>& chain) {
        if (m_done[size_t(i)])
            return;
        if (!moves(i)) {
            finish(i, m_rows[size_t(i)].outcome);
            return;
        }
        // Follow what holds each target until a free name, a row already done, a file
        // that stays, or back to the start (a cycle).
        chain.assign(1, i);
        m_onChain[size_t(i)] = true;
        int cycleTo = -1;
        for (int j = dependency(i); j >= 0 && !m_done[size_t(j)] && moves(j); j = dependency(j)) {
            if (m_onChain[size_t(j)]) {
                cycleTo = j;
                break;
            }
            chain.push_back(j);
            m_onChain[size_t(j)] = true;
        }
        for (const int j : chain)
            m_onChain[size_t(j)] = false;
        if (cycleTo >= 0)
            renameCycle(chain);
        else
            for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                finish(*it, move(*it, true));
    }

    // Where each request waits for a network, rows move on many threads at once. Rows joined
    // by a name, one's new name being another's old name, form a chain or a cycle that one
    // thread takes in row order, as a run one after another would; no two such groups share
    // a name, so no order between them matters. Each row is looked up by the thread that
    // moves it, right before; this thread reports how far they have come.
    void runInFlight(size_t inFlight) {
        const size_t n = m_rows.size();
        std::vector<int> group(n), next(n, -1), last(n, -1);
        std::iota(group.begin(), group.end(), 0);
        const auto root = [&](int i) {
            while (group[size_t(i)] != i)
                i = group[size_t(i)] = group[size_t(group[size_t(i)])];
            return i;
        };
        for (size_t i = 0; i < n; ++i)
            if (m_holder[i] >= 0) {
                const int a = root(int(i)), b = root(m_holder[i]);
                group[size_t(std::max(a, b))] = std::min(a, b); // the first row leads
            }
        for (size_t i = 0; i < n; ++i) {
            const int r = root(int(i));
            if (last[size_t(r)] >= 0)
                next[size_t(last[size_t(r)])] = int(i);
            last[size_t(r)] = int(i);
        }
        // The plan's new names, read by many threads from here on.
        if (std::any_of(m_holder.begin(), m_holder.end(), [](int h) { return h >= 0; }))
            planned({});
        // The group that row i leads, if it leads one.
        const auto take = [&](size_t i) {
            std::vector<int> chain;
            if (group[i] == int(i))
                for (int k = int(i); k >= 0; k = next[size_t(k)])
                    process(k, chain);
        };
        // The first move learns alone what the volume refuses, which the others then skip.
        for (size_t i = 0; i < n && i < 64 && !m_moveTried; ++i)
            take(i);
        std::atomic<bool> stopped{false};
        ParallelForReporting(
            n, stopped, take,
            [&](size_t, size_t) {
                report();
                return true;
            },
            inFlight);
    }

    // From the calling thread: how far the rows have come, and the messages meanwhile.
    void report() {
        std::vector<QString> messages;
        {
            const std::lock_guard lock(m_lock);
            messages.swap(m_messages);
        }
        if (m_cb.message)
            for (const QString& m : messages)
                m_cb.message(m);
        if (m_cb.progress)
            m_cb.progress(double(m_processed.load()) / double(m_rows.size()) * 100.0);
    }

    bool candidate(size_t i) const { return m_rows[i].status == RowStatus::Ok; }

    // Where row i's file is now, by its identity: a file already at its new path was
    // renamed by an earlier run; a path that holds another file, or none, is left alone.
    Found find(size_t i) const {
        const PreviewRow& r = m_rows[i];
        const basTavlo::FileId atOld = idAt(r.oldPath);
        // Where the volume can't tell a file from a new one under its number, one whose size
        // or change time moved since the preview may be another: it is left, and said so.
        if (!m_undoing && basTavlo::ChangedSince(r.id, atOld))
            return kChanged;
        if (r.id.valid && atOld == r.id)
            return spelledAsNew(r) ? kAtNew : kAtOld;
        return r.newPath != r.oldPath && holds(r.newPath, r.id) ? kAtNew : kElsewhere;
    }

    void lookUp(size_t i) {
        if (candidate(i))
            m_found[i] = find(i);
        afterLookUp(i);
    }

    basTavlo::FileId idAt(const QString& path) const {
        const auto name = m_folder.nameOf(path);
        return name ? m_folder.idOf(*name) : basTavlo::IdOf(path);
    }

    // Where names that differ in case alone name one file, the old path of a change of case
    // also finds the file that already has its new name.
    bool spelledAsNew(const PreviewRow& r) const {
        const QStringView to = QStringView(r.newPath).mid(basTavlo::FileNameStart(r.newPath));
        const auto from = m_folder.nameOf(r.oldPath);
        return from && *from != to && from->compare(to, Qt::CaseInsensitive) == 0 &&
               m_folder.info(*from).fileName == to;
    }

    // Before anything moves: the rows the preview did not pass, and which row's old path
    // is each row's new path. The files themselves are looked up by a helper thread, in
    // row order, ahead of the renames, which then cost no time of their own: a row's file
    // moves, and its old path counts as coming free, only once its look-up is in. No path
    // changes before the look-up of the file there: only its own row moves it, and a row
    // moves into it only after that one.
    void decide() {
        const size_t n = m_rows.size();
        m_found.assign(n, kUnchecked);
        m_resolved.assign(n, 0);
        for (size_t i = 0; i < n; ++i) {
            PreviewRow& r = m_rows[i];
            // Each run reports only what it did itself.
            r.timesNotSet = r.attributesNotSet = false;
            r.temporary = -1;
            if (!candidate(i)) {
                r.outcome = skippedOutcome(r.status);
                m_resolved[i] = true;
            } else if (r.newPath != r.oldPath) {
                m_byOld.insert(int(i));
            }
        }
        m_holder.assign(n, -1);
        ParallelFor(n, [&](size_t i) {
            if (candidate(i) && m_rows[i].newPath != m_rows[i].oldPath)
                m_holder[i] = m_byOld.find(m_rows[i].newPath);
        });
        auto check = [this, n] {
            for (size_t i = 0; i < n; ++i) {
                lookUp(i);
                m_checked.store(i + 1, std::memory_order_release);
            }
            if (m_trails)
                trailMoves();
        };
        if (m_inline) {
            m_checked = n; // each row looked up by the thread that moves it
            return;
        }
        // Where a row's file gets nothing more than its new name, the look at that name after
        // the move decides nothing for the moves that follow: the helper thread makes it,
        // behind the renames. A file stamped, or given its values back, waits for it.
        const bool stamps = m_stampTimes || m_stampAttributes ||
                            (m_undoing && (m_undoing->attributes || m_undoing->times));
        try {
            if (n > 1 && std::thread::hardware_concurrency() > 1) {
                m_trails = !stamps;
                if (m_trails)
                    m_otherMoved.assign(n, 0);
                m_checker = std::thread(check);
                return;
            }
        } catch (const std::system_error&) {
            // No thread to be had: every look-up before the first move.
        }
        m_trails = false;
        check();
    }

    // On the helper thread: what stands at each moved row's new name, as the moves come in.
    void trailMoves() {
        std::vector<std::pair<int, basTavlo::RenameError>> moved;
        for (;;) {
            const bool ended = m_movesEnded.load(std::memory_order_acquire);
            {
                const std::lock_guard lock(m_trailLock);
                moved.swap(m_trail);
            }
            for (const auto& [i, e] : moved) {
                const PreviewRow& r = m_rows[size_t(i)];
                const QStringView to = QStringView(r.newPath).mid(m_folder.path().size());
                if (m_folder.settled(e, to, r.id) == basTavlo::RenameError::OtherFileMoved)
                    m_otherMoved[size_t(i)] = 1;
            }
            moved.clear();
            if (ended)
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }

    // Rows whose new name turned out to hold another file once the helper looked: reported
    // as such, and nothing of theirs for the undo to take back.
    void settleTrailed() {
        if (std::find(m_otherMoved.begin(), m_otherMoved.end(), 1) == m_otherMoved.end())
            return;
        for (size_t i = 0; i < m_rows.size(); ++i)
            if (m_otherMoved[i])
                m_rows[i].outcome = RowOutcome::OtherFileMoved;
        if (m_journal)
            std::erase_if(m_journal->entries, [this](const RunJournal::Entry& e) {
                return m_otherMoved[size_t(e.row)] != 0;
            });
    }

    // Whether row i moves its file, and what it is reported as, once its look-up is in.
    bool moves(int i) {
        const size_t k = size_t(i);
        if (m_resolved[k])
            return m_moves[k];
        if (m_inline)
            lookUp(k);
        while (m_checked.load(std::memory_order_acquire) <= k)
            std::this_thread::yield();
        PreviewRow& r = m_rows[k];
        switch (m_found[k]) {
        case kAtOld:
            r.outcome = r.newPath == r.oldPath ? RowOutcome::Unchanged : RowOutcome::NotRun;
            m_moves[k] = r.newPath != r.oldPath;
            break;
        case kAtNew:
            r.outcome = RowOutcome::AlreadyRenamed;
            break;
        case kChanged:
            r.outcome = RowOutcome::ChangedSincePreview;
            break;
        default:
            r.outcome = RowOutcome::GoneOrReplaced;
        }
        m_resolved[k] = true;
        return m_moves[k];
    }

    bool holds(const QString& path, const basTavlo::FileId& id) const {
        return id.valid && idAt(path) == id;
    }

    // Moves the file with identity id, never another; where it is left at a temporary name,
    // temporary gets its counter. With trailRow, the look at the new name may trail.
    basTavlo::RenameError rename(const QString& from, const QString& to, const basTavlo::FileId& id,
                                 int* temporary = nullptr, int trailRow = -1) {
        m_moveTried = true;
        const auto f = m_folder.nameOf(from), t = m_folder.nameOf(to);
        if (f && t) {
            if (trailRow < 0 || !m_trails)
                return m_folder.move(*f, *t, id, temporary);
            bool unsettled = false;
            const basTavlo::RenameError e =
                m_folder.moveUnsettled(*f, *t, id, temporary, &unsettled);
            if (unsettled && MovedOutcome(outcomeOf(e))) {
                const std::lock_guard lock(m_trailLock);
                m_trail.emplace_back(trailRow, e);
            }
            return e;
        }
        const basTavlo::Folder elsewhere(basTavlo::FolderOf(from));
        return elsewhere.move(basTavlo::FileNameOf(from), basTavlo::FileNameOf(to), id, temporary);
    }

    // The row whose old path is row i's new path, or -1.
    int dependency(int i) const { return m_holder[size_t(i)]; }

    // Row i's file to its new name, with what that did; trailing, where the look at the new
    // name after it may come later.
    RowOutcome move(int i, bool trailing = false) {
        PreviewRow& r = m_rows[size_t(i)];
        int temporary = -1;
        const RowOutcome o =
            outcomeOf(rename(r.oldPath, r.newPath, r.id, &temporary, trailing ? i : -1));
        if (temporary >= 0) // the layer names one only where it left a file there
            r.temporary = qint16(temporary);
        return o;
    }

    basTavlo::RenameError moveBack(int i) {
        const PreviewRow& r = m_rows[size_t(i)];
        return rename(r.newPath, r.oldPath, r.id);
    }

    // A temporary name that no row of the plan is to get.
    bool planned(const QString& path) {
        std::call_once(m_plannedOnce, [this] {
            for (const PreviewRow& r : m_rows)
                m_planned.insert(r.newPath);
        });
        return m_planned.contains(path);
    }

    // c[0] -> c[1] -> ... -> c[0], each row's new name being the next one's old name. The
    // first file steps aside to a temporary name, the others follow from the last, and the
    // first takes its new name. All or nothing: if one can't move, those that moved go back
    // in the order their old names come free, and the first last of all.
    void renameCycle(const std::vector<int>& c) {
        const int k = int(c.size());
        PreviewRow& first = m_rows[size_t(c[0])];
        std::vector<RowOutcome> out(size_t(k), RowOutcome::CycleNotRun);
        QString temp;
        int counter = 0, aside = -1;
        basTavlo::RenameError e = basTavlo::RenameError::TargetExists;
        for (; counter < 1000; ++counter) {
            temp = basTavlo::TemporaryPath(first.oldPath, counter);
            if (!planned(temp))
                e = rename(first.oldPath, temp, first.id, &aside);
            if (e != basTavlo::RenameError::TargetExists)
                break;
        }
        if (!MovedOutcome(outcomeOf(e))) {
            out[0] = outcomeOf(e);
            finishAll(c, out);
            return;
        }
        int failedAt = 0;
        for (int j = k - 1; j >= 1 && failedAt == 0; --j) {
            out[size_t(j)] = move(c[size_t(j)]);
            if (!MovedOutcome(out[size_t(j)]))
                failedAt = j;
        }
        if (failedAt == 0) {
            out[0] = outcomeOf(rename(temp, first.newPath, first.id));
            if (MovedOutcome(out[0])) {
                // A file another program put at the first one's old name is the one to report.
                if (aside >= 0) {
                    out[0] = RowOutcome::RenamedOldNameAside;
                    first.temporary = qint16(aside);
                }
                finishAll(c, out);
                return;
            }
        }
        int j = failedAt + 1;
        for (; j < k && moveBack(c[size_t(j)]) == basTavlo::RenameError::None; ++j)
            out[size_t(j)] = RowOutcome::CycleNotRun;
        if (j == k && rename(temp, first.oldPath, first.id) == basTavlo::RenameError::None) {
            if (failedAt != 0)
                out[0] = RowOutcome::CycleNotRun;
        } else if (holds(temp, first.id)) {
            out[0] = RowOutcome::LeftAtTemporary;
            first.temporary = qint16(counter);
        } else if (basTavlo::PathExists(temp)) {
            // Another program's file at the name ZOV made: the row says where it stands.
            out[0] = RowOutcome::OtherFileAtTemporary;
            first.temporary = qint16(counter);
        } else if (failedAt != 0) {
            out[0] = RowOutcome::GoneOrReplaced; // another program took it from its way round
        }
        finishAll(c, out);
    }

    void finishAll(const std::vector<int>& rows, const std::vector<RowOutcome>& outcomes) {
        for (size_t j = 0; j < rows.size(); ++j)
            finish(rows[j], outcomes[j]);
    }

    void finish(int i, RowOutcome outcome) {
        PreviewRow& r = m_rows[size_t(i)];
        if (m_undoing && outcome == RowOutcome::GoneOrReplaced)
            outcome = RowOutcome::ChangedSinceRun; // the undo's rows come from the run

        r.outcome = outcome;
        m_done[size_t(i)] = true;
        const int processed = ++m_processed;
        if (m_cb.progress && !m_inline)
            m_cb.progress(double(processed) / double(m_rows.size()) * 100.0);
        // Stamp only the row's own file, wherever it now is by the plan.
        if (!r.renamedOrKept())
            return;
        if (m_undoing) {
            restore(i);
            return;
        }
        const bool times = m_stampTimes, attributes = m_stampAttributes;
        const bool stamped = times || attributes, moved = r.moved();
        if (!stamped) {
            if (m_journal && moved)
                record({i, -1, true}, nullptr);
            return;
        }
        basTavlo::StampTarget target(r.newPath, r.id);
        basTavlo::StampSnapshot before;
        if (m_journal)
            before = target.snapshot();
        if (times)
            r.timesNotSet = !target.setTimes(m_times).ok();
        if (attributes)
            r.attributesNotSet = !ApplyAttributes(target, m_s, m_message);
        // A file stamped with what it had already is no change of this run's to take back.
        if (m_journal && (moved || !(target.snapshot() == before)))
            record({i, 0, moved}, &before);
    }

    void record(RunJournal::Entry e, basTavlo::StampSnapshot* before) {
        const std::lock_guard lock(m_lock);
        e.before = before ? int(m_journal->snapshots.size()) : -1;
        if (before)
            m_journal->snapshots.push_back(std::move(*before));
        m_journal->entries.push_back(e);
    }

    // Undoing: the row's file, back at its old path, gets what it had before the run.
    void restore(int i) {
        PreviewRow& r = m_rows[size_t(i)];
        const RunJournal::Entry& e = m_undoing->entries[size_t(i)];
        if (e.before < 0)
            return;
        basTavlo::StampTarget target(r.newPath, r.id);
        const bool attributes = m_undoing->attributes, times = m_undoing->times;
        if (!target.restore(m_undoing->snapshots[size_t(e.before)], attributes, times)) {
            r.attributesNotSet = attributes;
            r.timesNotSet = times;
        }
    }

    std::vector<PreviewRow>& m_rows;
    const AdvancedSettings& m_s;
    const RunCallbacks& m_cb;
    RunJournal* m_journal;
    const RunJournal* m_undoing; // the run being taken back, entry by row
    const basTavlo::TimesToSet m_times;
    const bool m_stampTimes; // the steps the settings ask for each file
    const bool m_stampAttributes;
    RowIndex m_byOld;           // the rows that may move their files, by the folder's case rule
    std::vector<int> m_holder;  // by row: the row whose old path is its new path, or -1
    std::vector<Found> m_found; // by the checker, up to m_checked
    std::atomic<size_t> m_checked{0};
    std::thread m_checker;
    bool m_inline = false; // rows looked up where they move, on many threads
    bool m_trails = false; // the looks after moves made by the helper thread, behind them
    std::mutex m_trailLock;
    std::vector<std::pair<int, basTavlo::RenameError>> m_trail; // rows moved, not yet looked at
    std::vector<char> m_otherMoved; // by row, from the helper: another file at its new name
    std::atomic<bool> m_movesEnded{false};
    std::atomic<bool> m_moveTried{false};
    // By row; bytes, not bits, as threads write rows side by side.
    std::vector<char> m_resolved;
    QSet<QString> m_planned;
    std::once_flag m_plannedOnce;
    std::vector<char> m_moves;
    std::vector<char> m_done;
    std::vector<char> m_onChain;
    std::mutex m_lock; // the journal and the messages, where threads share them
    std::vector<QString> m_messages;
    // What the stamping says of an attribute not set: at once, or in the calling thread.
    const std::function<void(const QString&)> m_message =
        m_cb.message ? [this](const QString& text) {
            if (!m_inline) {
                m_cb.message(text);
                return;
            }
            const std::lock_guard lock(m_lock);
            m_messages.push_back(text);
        } : std::function<void(const QString&)>();
    const basTavlo::Folder m_folder;     // where the rows' files are
    const basTavlo::FileId m_planFolder; // the folder the plan was made in, where known
    std::atomic<int> m_processed{0};
};

} // namespace

bool ApplyAttributes(basTavlo::StampTarget& target, const AdvancedSettings& s,
                     const std::function<void(const QString&)>& message) {
    bool all = true;
    std::optional<quint32> current;
    bool read = false;
    for (const AttributeRow& a : kAttributes) {
        if (!IsOn(s.*a.box))
            continue;
        if (!read) {
            current = target.attributes();
            read = true;
        }
        const bool ok = current && target.setAttributes(*current | a.bit);
        if (ok) {
            *current |= a.bit;
        } else {
            all = false;
            if (message)
                message(QString::fromLatin1(a.message));
        }
    }
    return all;
}

bool TimeStepWanted(const AdvancedSettings& s) {
    return IsOn(s.chkModifyDateTime) &&
           (IsOn(s.chkFileCreation) || IsOn(s.chkFileModified) || IsOn(s.chkFileLastAccessed));
}

basTavlo::TimesToSet ChosenTimes(const AdvancedSettings& s) {
    basTavlo::TimesToSet t;
    if (IsOn(s.chkFileCreation))
        t.creation = basTavlo::LocalToUtc(s.creation);
    if (IsOn(s.chkFileModified))
        t.lastWrite = basTavlo::LocalToUtc(s.modified);
    if (IsOn(s.chkFileLastAccessed))
        t.lastAccess = basTavlo::LocalToUtc(s.lastAccessed);
    return t;
}

void run_testing::AfterLookUp(std::function<void(size_t)> hook) {
    g_afterLookUp = std::move(hook);
}

int RenameRows(std::vector<PreviewRow>& rows, const AdvancedSettings& s,
               const RunCallbacks& callbacks) {
    basTavlo::RefreshLocalZone();
    return Run(rows, {}, s, callbacks).go();
}

int RenameRows(const SharedRows& rows, const basTavlo::FileId& folder, const AdvancedSettings& s,
               const RunCallbacks& callbacks, RunJournal* journal) {
    basTavlo::RefreshLocalZone();
    if (!journal)
        return Run(*rows, folder, s, callbacks).go();
    *journal = {};
    journal->rows = rows;
    journal->entries.reserve(rows->size());
    const int failed = Run(*rows, folder, s, callbacks, journal).go();
    // Rows finish in the order their files could move; the undo takes them in row order.
    std::sort(journal->entries.begin(), journal->entries.end(),
              [](const RunJournal::Entry& a, const RunJournal::Entry& b) { return a.row < b.row; });
    return failed;
}

RunReport UndoRun(RunJournal journal, const RunCallbacks& callbacks) {
    RunReport report;
    if (!journal.rows)
        return report;
    // Where the journal alone holds its rows, they become the report's; each entry's row,
    // never before its own place, moves down to it, from the new path to the old one.
    if (journal.rows.use_count() == 1)
        report.rows = std::move(*journal.rows);
    else
        report.rows = *journal.rows;
    const size_t n = journal.entries.size();
    for (size_t k = 0; k < n; ++k) {
        const RunJournal::Entry& e = journal.entries[k];
        PreviewRow& r = report.rows[size_t(e.row)];
        // A file the run only stamped stays where it is and gets its values back.
        PreviewRow back{e.moved ? std::move(r.oldPath) : r.newPath, std::move(r.newPath),
                        RowStatus::Ok, r.id};
        report.rows[k] = std::move(back);
    }
    report.rows.resize(n);
    const AdvancedSettings none;
    report.failed = Run(report.rows, journal.folder, none, callbacks, nullptr, &journal).go();
    return report;
}

RunReport RenameFiles(const std::vector<PreviewRow>& rows, const AdvancedSettings& s,
                      const RunCallbacks& callbacks) {
    RunReport report{rows};
    report.failed = RenameRows(report.rows, s, callbacks);
    return report;
}
