#include "TestFolder.h"
#include "files/basTavlo.h"
#include "listing/FileLists.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QSet>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using basTavlo::DateTime;
using Outcomes = std::vector<RowOutcome>;
using O = RowOutcome;

namespace {

// A folder whose files hold their own names, so every move shows in the contents.
struct Scene {
    TestFolder f;
    FileLists lists;

    explicit Scene(std::initializer_list<const char*> names) {
        for (const char* n : names)
            f.write(n, n);
        DisplayFiles(lists, f.path());
        lists.original.setAllChecked(true);
    }
    // A row as the preview makes it: the identity of the file now at the old path.
    PreviewRow row(const QString& from, const QString& to) const {
        return PreviewRow{f.file(to), f.file(from), RowStatus::Ok, basTavlo::IdOf(f.file(from))};
    }
    std::vector<PreviewRow> plan(const RenameSettings& s) {
        PreviewFiles(lists, s, {});
        return lists.changed.rows();
    }
};

Outcomes outcomes(const std::vector<PreviewRow>& rows) {
    Outcomes out;
    for (const PreviewRow& row : rows)
        out.push_back(row.outcome);
    return out;
}

// The run as the window makes it, with a journal; gives the rows with their outcomes.
std::vector<PreviewRow> run(const std::vector<PreviewRow>& rows, RunJournal& journal,
                            const AdvancedSettings& a = {}, const RunCallbacks& c = {},
                            const basTavlo::FileId& folder = {}) {
    const auto shared = std::make_shared<std::vector<PreviewRow>>(rows);
    RenameRows(shared, folder, a, c, &journal);
    return *shared;
}

// Every volume as one that takes inFlight requests at once, for the scope.
struct SlowVolume {
    explicit SlowVolume(size_t inFlight) { basTavlo::testing::TreatEveryVolumeAsSlow(inFlight); }
    ~SlowVolume() { basTavlo::testing::TreatEveryVolumeAsSlow(0); }
};

const AdvancedSettings hiddenAndModified{.chkModifyAttributes = 1,
                                         .chkHidden = 1,
                                         .chkModifyDateTime = 1,
                                         .chkFileModified = 1,
                                         .modified = {2004, 3, 31, 14, 5, 9}};
const AdvancedSettings everything{.chkModifyAttributes = 1,
                                  .chkReadOnly = 1,
                                  .chkHidden = 1,
                                  .chkArchive = 1,
                                  .chkModifyDateTime = 1,
                                  .chkFileCreation = 1,
                                  .chkFileModified = 1,
                                  .chkFileLastAccessed = 1,
                                  .creation = {2001, 2, 3, 4, 5, 6},
                                  .modified = {2004, 3, 31, 14, 5, 9},
                                  .lastAccessed = {2002, 2, 3, 4, 5, 6}};

#ifndef Q_OS_WIN
// n files f000.. to be renamed to gf000..
std::vector<PreviewRow> numberedRows(const TestFolder& f, int n) {
    std::vector<PreviewRow> rows;
    for (int i = 0; i < n; ++i) {
        const QString name = QString("f%1").arg(i, 3, 10, QChar('0'));
        f.write(name, name.toUtf8());
        rows.push_back(
            {f.file("g" + name), f.file(name), RowStatus::Ok, basTavlo::IdOf(f.file(name))});
    }
    return rows;
}

QByteArray raw(const QString& path) {
    return QFile::encodeName(path);
}

bool setImmutable(const QString& path, bool on) {
    const int fd = open(raw(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                     ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0)
        close(fd);
    return ok;
}
#endif

} // namespace

// Only rows the preview passed are tried, and nothing is ever replaced: not a name held by
// a file outside the plan, nor one another program takes right before the rename; a file
// renamed and then replaced is not taken for the renamed one.
TEST(RenameRun, NeverReplacesAndTriesOnlyWhatThePreviewPassed) {
    Scene s{"a.txt", "b.txt", "taken.txt", "c.txt", "d.txt", "e.txt", "g.txt"};
    // a -> taken (held by a file outside the plan); b and c both -> f; d -> a after a
    // failed; e -> e keeps its name; g -> h, which a rival makes first.
    std::vector<PreviewRow> rows = {s.row("a.txt", "taken.txt"), s.row("b.txt", "f.txt"),
                                    s.row("c.txt", "f.txt"),     s.row("d.txt", "a.txt"),
                                    s.row("e.txt", "e.txt"),     s.row("g.txt", "h.txt")};
    MarkConflicts(rows);
    EXPECT_EQ(rows[0].status, RowStatus::TargetExists);
    EXPECT_EQ(rows[2].status, RowStatus::DuplicateTarget);
    // The holder goes after the preview: the row stays as the preview showed it.
    ASSERT_TRUE(QFile::remove(s.f.file("taken.txt")));
    basTavlo::testing::BeforeEachRename([&](const QString&, const QString& to) {
        if (to == s.f.file("h.txt"))
            s.f.write("h.txt", "rival");
    });
    QStringList messages;
    const RunReport r =
        RenameFiles(rows, hiddenAndModified, {{}, [&](const QString& m) { messages << m; }});
    basTavlo::testing::BeforeEachRename({});
    EXPECT_EQ(outcomes(r.rows), (Outcomes{O::TargetExists, O::Renamed, O::DuplicateTarget,
                                          O::TargetExists, O::Unchanged, O::TargetExists}));
    EXPECT_EQ(r.failed, 4);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(s.f.contents(), (Contents{{"a.txt", "a.txt"},
                                        {"f.txt", "b.txt"},
                                        {"c.txt", "c.txt"},
                                        {"d.txt", "d.txt"},
                                        {"e.txt", "e.txt"},
                                        {"g.txt", "g.txt"},
                                        {"h.txt", "rival"}}));
    // Only the files that moved, or kept their names, were stamped.
    for (const auto& [name, bits] : {std::pair("a.txt", 0u), std::pair("f.txt", 2u),
                                     std::pair("e.txt", 2u), std::pair("h.txt", 0u)})
        EXPECT_EQ(TestFolder::bits(s.f.file(name)), bits) << name;
    // A second press: the renamed file, now replaced by another, is not said to be renamed.
    s.f.remove("f.txt");
    s.f.write("f.txt", "other");
    EXPECT_EQ(RenameFiles({rows[1]}, {}).rows[0].outcome, O::GoneOrReplaced);
}

#ifndef Q_OS_WIN
// Another program acts while the run goes on: a file replaced (by a file, a folder or a link)
// after the run looked it up and before its rename, at several distances behind the
// look-up, is not moved, and a hard link's name that a rival takes while the file goes by a
// temporary name leaves it there. Each row's report says where its file is.
TEST(RenameRun, ReportsTrueWhatOthersDoDuringTheRun) {
    constexpr size_t kAt = 100; // the rename at which the other program acts
    const struct {
        const char* name;
        size_t distance; // from that rename to the row whose file is replaced
        mode_t replacement;
        bool blockBack; // the old name is taken again before the file can go back
        RowOutcome expected;
    } cases[] = {
        {"file replaced at its own rename", 0, S_IFREG, false, O::GoneOrReplaced},
        {"replaced by a folder, one row ahead", 1, S_IFDIR, false, O::GoneOrReplaced},
        {"replaced by a link, 50 rows ahead", 50, S_IFLNK, false, O::GoneOrReplaced},
        {"hard link by a temporary name", 0, 0, true, O::LeftAtTemporary},
    };
    // Each case one row after another, and also with the rows moving on many threads where it
    // waits for no other row.
    for (const auto& [one, inFlight] :
         {std::pair(cases[0], 0), std::pair(cases[1], 0), std::pair(cases[2], 0),
          std::pair(cases[3], 0), std::pair(cases[0], 8), std::pair(cases[3], 8)}) {
        const auto& c = one; // a binding that the hooks below may capture
        SCOPED_TRACE(std::string(c.name) + (inFlight ? ", in flight" : ""));
        const SlowVolume slow{size_t(inFlight ? inFlight : 1)};
        TestFolder f;
        const std::vector<PreviewRow> rows = numberedRows(f, 300);
        const size_t t = kAt + c.distance;
        const PreviewRow target = rows[t];
        Contents expected;
        for (const PreviewRow& r : rows)
            expected.insert(basTavlo::FileNameOf(r.newPath),
                            basTavlo::FileNameOf(r.oldPath).toUtf8());
        const QString oldName = basTavlo::FileNameOf(target.oldPath);
        expected.remove("g" + oldName);
        if (c.replacement == 0) { // the new name is a hard link of the file itself
            ASSERT_TRUE(TestFolder::hardLink(target.oldPath, target.newPath));
            expected.insert("g" + oldName, oldName.toUtf8());
        }
        std::atomic<size_t> looked{0};
        basTavlo::testing::BeforeEachRename([&](const QString& from, const QString& to) {
            if (c.replacement && from == rows[kAt].oldPath) {
                while (looked.load() <= t) // the run has looked the file up
                    std::this_thread::yield();
                QFile::rename(target.oldPath, f.file("aside"));
                if (c.replacement == S_IFDIR)
                    f.mkdir(oldName);
                else if (c.replacement == S_IFLNK)
                    ASSERT_EQ(symlink("nowhere", raw(target.oldPath).constData()), 0);
                else
                    f.write(oldName, "other");
            }
            // Halfway by a temporary name: a rival takes the old name.
            if (c.blockBack && from != target.oldPath && to == target.newPath)
                f.write(oldName, "rival");
        });
        run_testing::AfterLookUp([&](size_t i) {
            for (size_t was = looked; was < i + 1 && !looked.compare_exchange_weak(was, i + 1);) {
            }
        });
        const RunReport r = RenameFiles(rows, {});
        basTavlo::testing::BeforeEachRename({});
        run_testing::AfterLookUp({});
        // Where a file is known by its size and change time, the link made after the preview
        // changed it: it is left where it is.
        const bool relinked = c.replacement == 0 && target.id.printed();
        Outcomes want(rows.size(), O::Renamed);
        want[t] = relinked ? O::ChangedSincePreview : c.expected;
        EXPECT_EQ(outcomes(r.rows), want);
        EXPECT_EQ(r.failed, 1);
        // Nothing lost or replaced, and each file where its row says.
        const QByteArray other = c.replacement == S_IFDIR   ? "<dir>"
                                 : c.replacement == S_IFLNK ? "<unreadable>"
                                                            : "other";
        if (c.replacement)
            expected.insert("aside", oldName.toUtf8());
        if (relinked) {
            expected.insert(oldName, oldName.toUtf8());
        } else if (c.expected == O::LeftAtTemporary) {
            expected.insert(basTavlo::FileNameOf(r.rows[t].nowAt()), oldName.toUtf8());
            expected.insert(oldName, "rival");
        } else {
            expected.insert(oldName, other);
        }
        EXPECT_EQ(f.contents(), expected);
    }
}

// Another program acts right before or right after the call that gives "a" its new name "b",
// on each road the volume may leave: it swaps in a file of its own at the old name, or at the
// new one (the row's file goes "aside"), or saves a new "a" over the old name as an editor
// does, or moves the reservation of the new name away. Nothing of either program is lost,
// nothing is moved that can't be told to be the row's file, and the row says what stands
// where. The undo runs the same roads from "b" back to "a".
TEST(RenameRun, OthersActingAtEachRenameCallLoseNothing) {
    using basTavlo::testing::Moment;
    using basTavlo::testing::Refuse;
    enum Act { SwapOld, SwapNew, SaveOld, MoveReservation };
    const Moment B = Moment::JustBefore, A = Moment::JustAfter;
    const Refuse P = Refuse::Nothing, L = Refuse::NoReplaceFlag, R = Refuse::NoReplaceFlagAndLinks;
    const struct {
        const char* name;
        Refuse road;
        Moment when;
        Act act;
        bool undo;
        RowOutcome expected;
        const char* after; // name=content ...; a holds "a" before the run, theirs "other"
    } cases[] = {
        {"plain, old swapped before", P, B, SwapOld, 0, O::OtherFileMoved, "aside=a b=other"},
        {"plain, new swapped after", P, A, SwapNew, 0, O::OtherFileMoved, "aside=a b=other"},
        {"plain, old saved after", P, A, SaveOld, 0, O::Renamed, "a=other b=a"},
        {"link, old swapped before", L, B, SwapOld, 0, O::OtherFileMoved, "aside=a b=other"},
        {"link, new swapped after", L, A, SwapNew, 0, O::OtherFileMoved, "a=a aside=a b=other"},
        {"link, old saved after", L, A, SaveOld, 0, O::Renamed, "a=other b=a"},
        {"link undo, old saved after", L, A, SaveOld, 1, O::Renamed, "a=a b=other"},
        {"link undo, new swapped after", L, A, SwapNew, 1, O::OtherFileMoved,
         "a=other aside=a b=a"},
        {"reserved, old swapped before", R, B, SwapOld, 0, O::OtherFileMoved, "aside=a b=other"},
        {"reserved, new swapped after", R, A, SwapNew, 0, O::OtherFileMoved, "aside=a b=other"},
        {"reservation moved away", R, B, MoveReservation, 0, O::RenamedMayHaveReplaced,
         "b=a held="},
        {"reserved undo, old swapped", R, B, SwapOld, 1, O::OtherFileMoved, "a=other aside=a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s{"a"};
        basTavlo::testing::RefuseRenameFeatures(c.road);
        const QString from = s.f.file(c.undo ? "b" : "a"), to = s.f.file(c.undo ? "a" : "b");
        // An editor's save: a new file renamed over the name.
        const auto save = [&](const QString& name) {
            s.f.write("saved", "other");
            ASSERT_TRUE(rename(raw(s.f.file("saved")).constData(), raw(name).constData()) == 0);
        };
        bool acted = false;
        const auto act = [&](Moment when, const QString& f, const QString& t) {
            if (acted || when != c.when || f != from || t != to)
                return;
            acted = true;
            if (c.act == MoveReservation)
                QFile::rename(to, s.f.file("held"));
            else if (c.act != SaveOld)
                QFile::rename(c.act == SwapOld ? from : to, s.f.file("aside"));
            if (c.act != MoveReservation)
                save(c.act == SwapNew ? to : from);
        };
        RunJournal journal;
        std::vector<PreviewRow> rows = {s.row("a", "b")};
        if (c.undo) {
            ASSERT_EQ(outcomes(run(rows, journal)), Outcomes{O::Renamed});
        }
        basTavlo::testing::AtEachRenameCall(act);
        rows = c.undo ? UndoRun(journal).rows : RenameFiles(rows, {}).rows;
        basTavlo::testing::AtEachRenameCall({});
        basTavlo::testing::RefuseRenameFeatures(Refuse::Nothing);
        EXPECT_TRUE(acted);
        EXPECT_EQ(outcomes(rows), Outcomes{c.expected});
        Contents after;
        for (const QString& entry : QString(c.after).split(' '))
            after.insert(entry.section('=', 0, 0), entry.section('=', 1).toUtf8());
        EXPECT_EQ(s.f.contents(), after);
    }
    // Round a cycle, the first file taken from its temporary name before its last step and
    // another put there: nothing of the other program's is moved, and the row names the file
    // that stands at the name ZOV made.
    Scene s{"a", "b"};
    std::vector<PreviewRow> rows = {s.row("a", "b"), s.row("b", "a")};
    const QString temp = basTavlo::TemporaryPath(s.f.file("a"), 0);
    basTavlo::testing::AtEachRenameCall([&](Moment when, const QString& f, const QString& t) {
        if (when == Moment::JustAfter && f == s.f.file("b") && t == s.f.file("a")) {
            QFile::rename(temp, s.f.file("aside"));
            s.f.write(basTavlo::FileNameOf(temp), "other");
        }
    });
    rows = RenameFiles(rows, {}).rows;
    basTavlo::testing::AtEachRenameCall({});
    EXPECT_EQ(outcomes(rows), (Outcomes{O::OtherFileAtTemporary, O::CycleNotRun}));
    EXPECT_EQ(rows[0].nowAt(), temp);
    EXPECT_EQ(s.f.contents(), (Contents{{"aside", "a"}, {"b", "b"}, {"a.zovtmp0", "other"}}));
    // Where many rows move, the look at each new name trails the moves; what it finds still
    // makes the row's report, and the undo leaves the other program's file where it is.
    Scene two{"a", "c"};
    rows = {two.row("a", "b"), two.row("c", "d")};
    basTavlo::testing::AtEachRenameCall([&](Moment when, const QString& f, const QString&) {
        if (when == Moment::JustAfter && f == two.f.file("a")) {
            QFile::rename(two.f.file("b"), two.f.file("aside"));
            two.f.write("b", "other");
        }
    });
    RunJournal journal;
    EXPECT_EQ(outcomes(run(rows, journal)), (Outcomes{O::OtherFileMoved, O::Renamed}));
    basTavlo::testing::AtEachRenameCall({});
    EXPECT_EQ(UndoRun(journal).failed, 0);
    EXPECT_EQ(two.f.contents(), (Contents{{"aside", "a"}, {"b", "other"}, {"c", "c"}}));
}

#endif

// Random folders with short names, so that new names often meet old ones, through random
// settings, a preview, a rename and a second press. On disk afterwards: the same bytes as
// before, every file at its old name or at the new name its row planned, no temporary
// name, and every row's outcome as the disk shows it. ZOV_FOLDERS sets how many.
TEST(RenameRun, RandomFoldersLoseNothing) {
    const quint32 seed = qEnvironmentVariableIsSet("ZOV_SEED")
                             ? quint32(qEnvironmentVariableIntValue("ZOV_SEED"))
                             : 20261206u;
    const int folders = qEnvironmentVariableIsSet("ZOV_FOLDERS")
                            ? qEnvironmentVariableIntValue("ZOV_FOLDERS")
                            : 150;
    // Every 50th folder is large enough for the look-ups to be spread over threads.
    std::cout << "random folders: seed " << seed << ", " << folders
              << " folders of up to 60 files, every 50th of 2000 (ZOV_SEED=N to repeat)\n";
    QRandomGenerator rng(seed);
    auto pick = [&](std::initializer_list<const char*> from) {
        return QString::fromUtf8(from.begin()[rng.bounded(int(from.size()))]);
    };
    auto shortName = [&](int longest) {
        QString n;
        for (int k = 1 + rng.bounded(longest); k > 0; --k)
            n += pick({"a", "b", "A", "1", "2"});
        return n + pick({"", ".jpg", ".JPG", ".a"});
    };
    int renamed = 0, held = 0;
    for (int round = 0; round < folders; ++round) {
        SCOPED_TRACE(QString("seed %1, folder %2").arg(seed).arg(round).toStdString());
        TestFolder f;
        QMap<QByteArray, QString> whereIs; // content -> name
        const bool large = round % 50 == 49;
        // Every other folder as on a network volume, its rows moving on many threads.
        const SlowVolume slow(round % 2 ? 8 : 0);
        for (int i = large ? 2000 : rng.bounded(1, 61); i > 0; --i) {
            const QString name = shortName(large ? 6 : 3);
            if (QFile::exists(f.file(name)))
                continue;
            const QByteArray content = QByteArray::number(round) + "-" + QByteArray::number(i);
            f.write(name, content);
            whereIs.insert(content, name);
        }
        FileLists lists;
        DisplayFiles(lists, f.path());
        for (int i = 0; i < lists.original.count(); ++i)
            lists.original.setChecked(i, rng.bounded(4) != 0);
        RenameSettings s;
        s.optFilenameModifications = rng.bounded(2) == 0;
        s.optSequencing = !s.optFilenameModifications;
        s.chkPrefix = rng.bounded(2), s.txtPrefix = pick({"a", "1", "", "A"});
        s.chkSuffix = rng.bounded(2), s.txtSuffix = pick({"a", "2", ""});
        s.chkChangeCase = rng.bounded(2), s.cboChangeCase = rng.bounded(3);
        s.chkReplaceString = rng.bounded(2), s.txtReplaceString = pick({"a", "1", "A"});
        s.txtWith = pick({"b", "2", "", "aa"});
        s.optNumeric = true, s.txtDigitStartWith = pick({"1", "2", "0"});
        s.txtDigits = pick({"", "0", "00"});
        s.optPrefixSequence = rng.bounded(2) == 0, s.optSuffixSequence = !s.optPrefixSequence;
        s.chkSeqPrefix = rng.bounded(2), s.txtSeqPrefix = pick({"a", "1"});
        s.chkChangeExtension = rng.bounded(3) == 0;
        s.txtChangeExtension = pick({"jpg", "a", "JPG"});
        PreviewFiles(lists, s, {});
        const std::vector<PreviewRow> rows = lists.changed.rows();

        RunJournal journal;
        const bool stamping = round % 3 == 0; // and the stamping steps taken back
        const std::vector<PreviewRow> first =
            run(rows, journal, stamping ? hiddenAndModified : AdvancedSettings{});
        const RunReport second = RenameFiles(rows, {});
        const Contents after = f.contents();
        QMap<QByteArray, QString> found;
        for (auto it = after.begin(); it != after.end(); ++it) {
            EXPECT_FALSE(it.key().contains(".zovtmp")) << it.key().toStdString();
            found.insert(it.value(), it.key());
        }
        EXPECT_EQ(found.size(), after.size());   // no content twice
        EXPECT_EQ(found.keys(), whereIs.keys()); // and none lost
        QSet<QString> inRow;
        for (size_t i = 0; i < rows.size(); ++i) {
            const PreviewRow& row = rows[i];
            const QString oldName = basTavlo::FileNameOf(row.oldPath);
            const QString newName = basTavlo::FileNameOf(row.newPath);
            const RowOutcome o = first[i].outcome;
            inRow.insert(oldName);
            const QString at = found.value(whereIs.key(oldName));
            renamed += o == O::Renamed ? 1 : 0;
            held += o == O::TargetExists || o == O::DuplicateTarget ? 1 : 0;
            if (stamping && (o == O::Renamed || o == O::Unchanged)) {
                EXPECT_EQ(TestFolder::bits(f.file(at)), 2u) << at.toStdString();
            }
            if (o == O::Renamed) {
                EXPECT_EQ(at, newName) << oldName.toStdString();
                EXPECT_EQ(second.rows[i].outcome, O::AlreadyRenamed);
            } else {
                EXPECT_EQ(at, oldName) << oldName.toStdString() << " " << int(o);
                EXPECT_EQ(o == O::Unchanged, row.newPath == row.oldPath);
                // Where a file is known by its size and change time, stamping changed it.
                const bool restamped = stamping && o == O::Unchanged && row.id.printed();
                EXPECT_EQ(second.rows[i].outcome, restamped ? O::ChangedSincePreview : o);
            }
            // In a folder nobody else touches, the preview's word holds.
            EXPECT_EQ(o == O::Renamed || o == O::Unchanged, row.status == RowStatus::Ok)
                << oldName.toStdString() << " -> " << newName.toStdString() << " " << int(o);
        }
        for (auto it = whereIs.begin(); it != whereIs.end(); ++it) // files in no row stay
            EXPECT_TRUE(inRow.contains(it.value()) || found.value(it.key()) == it.value())
                << it.value().toStdString();

        // Others delete, create and move a few files; then the run is taken back. No file
        // is replaced; every file they left alone is back at its old name, or, where its
        // old name is still held (a chain or a round that someone broke), reported and
        // left at its new name.
        QSet<QByteArray> expected(whereIs.keyBegin(), whereIs.keyEnd());
        std::vector<bool> touched(journal.entries.size(), false);
        for (size_t i = 0; i < journal.entries.size(); ++i) {
            const PreviewRow& e = journal.rowOf(journal.entries[i]);
            if (rng.bounded(8) != 0)
                continue;
            touched[i] = true;
            const QString newName = basTavlo::FileNameOf(e.newPath);
            switch (rng.bounded(3)) {
            case 0:
                expected.remove(after.value(newName));
                f.remove(newName);
                break;
            case 1:
                if (!QFile::exists(e.oldPath)) {
                    f.write(basTavlo::FileNameOf(e.oldPath), "new-" + QByteArray::number(i));
                    expected.insert("new-" + QByteArray::number(i));
                }
                break;
            default:
                QFile::rename(e.newPath, f.file(QString("moved-%1").arg(i)));
            }
        }
        const RunReport undone = UndoRun(journal);
        const Contents back = f.contents();
        const QList<QByteArray> values = back.values();
        EXPECT_EQ(QSet<QByteArray>(values.begin(), values.end()), expected);
        EXPECT_EQ(qsizetype(values.size()), expected.size());
        for (size_t i = 0; i < journal.entries.size(); ++i) {
            const PreviewRow& e = journal.rowOf(journal.entries[i]);
            if (touched[i])
                continue;
            const QByteArray content = after.value(basTavlo::FileNameOf(e.newPath));
            const bool isBack = undone.rows[i].renamedOrKept();
            const QString now = isBack ? e.oldPath : e.newPath;
            EXPECT_EQ(back.value(basTavlo::FileNameOf(now)), content)
                << e.oldPath.toStdString() << " " << int(undone.rows[i].outcome);
            if (stamping && isBack) {
                EXPECT_EQ(TestFolder::bits(now), 0u) << now.toStdString();
            }
        }
    }
    std::cout << "random folders: " << renamed << " files renamed, " << held
              << " left alone for a name that was taken\n";
    EXPECT_GT(renamed, folders);
    EXPECT_GT(held, 0);
}

// Undo puts back names, attributes and times, to the ns, after a numbered sequence of
// 1,000 files stamped with every attribute and time; a second undo finds nothing to do. A
// second press that stamps the same values keeps no journal; one that stamps others is
// taken back alone.
TEST(Undo, TakesTheRunBackWhole) {
    UseTimeZone("UTC");
    Scene s{};
    for (int i = 1; i <= 1000; ++i)
        s.f.write(QString("%1.jpg").arg(i), QByteArray::number(i));
    DisplayFiles(s.lists, s.f.path());
    s.lists.original.setAllChecked(true);
    const std::vector<PreviewRow> rows = s.plan({.optFilenameModifications = false,
                                                 .optSequencing = true,
                                                 .optNumeric = true,
                                                 .txtDigitStartWith = "2"});
    const Contents contents = s.f.contents(); // a read moves the accessed times set below
    int n = 0;
    const QStringList names = QDir(s.f.path()).entryList(QDir::Files);
    for (const QString& name : names)
        s.f.stampTimes(name, n++);
    ASSERT_TRUE(basTavlo::SetAttributes(s.f.file(names.first()), basTavlo::AttrSystem));
    const QMap<QString, std::string> before = s.f.state();
    RunJournal journal;
    EXPECT_EQ(outcomes(run(rows, journal, everything)), Outcomes(rows.size(), O::Renamed));
    ASSERT_EQ(journal.entries.size(), rows.size());
    const QMap<QString, std::string> afterRun = s.f.state();
    ASSERT_NE(afterRun, before);
    AdvancedSettings other = everything;
    RunJournal again;
    for (const int year : {2004, 2010}) {
        other.modified.year = year;
        run(rows, again, other);
        EXPECT_EQ(again.entries.size(), year == 2004 ? 0u : rows.size());
    }
    EXPECT_EQ(UndoRun(again).failed, 0);
    EXPECT_EQ(s.f.state(), afterRun);
    std::vector<double> progress;
    EXPECT_EQ(UndoRun(journal, {[&](double v) { progress.push_back(v); }, {}}).failed, 0);
    EXPECT_EQ(progress.size(), rows.size() + 1);
    EXPECT_EQ(s.f.state(), before);
    EXPECT_EQ(UndoRun(journal).failed, 0);
    EXPECT_EQ(s.f.state(), before);
    EXPECT_EQ(s.f.contents(), contents);
}

// Windows renames a file through its own handle, so what happens after the rename is no
// question of the rename's; elsewhere the file at the new name is checked after it.
#ifdef Q_OS_WIN
constexpr RowOutcome kSwappedAfterRename = O::Renamed;
#else
constexpr RowOutcome kSwappedAfterRename = O::OtherFileMoved;
#endif

// A round of names that can't finish leaves every file at its old name; a file that
// can't be put back is reported at the temporary name it has.
// Where rows move on many threads, a long chain and a cycle each keep their order, and the
// undo takes them back the same way.
TEST(RenameRun, ChainsAndCyclesInFlight) {
    TestFolder f;
    std::vector<PreviewRow> rows;
    const auto add = [&](const QString& from, const QString& to) {
        f.write(from, from.toUtf8());
        rows.push_back({f.file(to), f.file(from), RowStatus::Ok, basTavlo::IdOf(f.file(from))});
    };
    for (int i = 0; i < 400; ++i)
        add(QString("c%1").arg(i), QString("c%1").arg(i + 1));
    for (int i = 0; i < 50; ++i)
        add(QString("y%1").arg(i), QString("y%1").arg((i + 1) % 50));
    const SlowVolume slow(8);
    RunJournal journal;
    std::mutex lock;
    std::set<std::thread::id> threads;
    run_testing::AfterLookUp([&](size_t) {
        const std::lock_guard one(lock);
        threads.insert(std::this_thread::get_id());
    });
    EXPECT_EQ(outcomes(run(rows, journal)), Outcomes(rows.size(), O::Renamed));
    run_testing::AfterLookUp({});
    EXPECT_GT(threads.size(), 1u); // the chain and the cycle on threads of their own
    Contents moved;
    for (const PreviewRow& r : rows)
        moved.insert(basTavlo::FileNameOf(r.newPath), basTavlo::FileNameOf(r.oldPath).toUtf8());
    EXPECT_EQ(f.contents(), moved);
    EXPECT_EQ(UndoRun(std::move(journal)).failed, 0);
    Contents back;
    for (const PreviewRow& r : rows)
        back.insert(basTavlo::FileNameOf(r.oldPath), basTavlo::FileNameOf(r.oldPath).toUtf8());
    EXPECT_EQ(f.contents(), back);
}

TEST(RenameRun, CyclesAreAllOrNothing) {
    const struct {
        const char* name;
        int immutable;      // row whose file can't move, or -1
        bool rivalAtTheEnd; // another program takes the first file's new name
        size_t at;          // the row reported apart from the others
        RowOutcome there, others;
        bool swapAfterTheEnd = false; // it moves the first file on from its new name
    } cases[] = {
        {"first can't move", 0, false, 0, O::PermissionDenied, O::CycleNotRun},
        {"third can't move", 2, false, 2, O::PermissionDenied, O::CycleNotRun},
        {"name taken at the end", -1, true, 0, O::LeftAtTemporary, O::Renamed},
        {"swapped after the end", -1, true, 0, kSwappedAfterRename, O::Renamed, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"};
        std::vector<PreviewRow> rows;
        for (int i = 1; i <= 5; ++i)
            rows.push_back(s.row(QString("%1.jpg").arg(i), QString("%1.jpg").arg(i % 5 + 1)));
        const QString stuck = c.immutable >= 0 ? rows[size_t(c.immutable)].oldPath : QString();
#ifdef Q_OS_WIN
        if (!stuck.isEmpty())
            continue; // no immutable flag: the POSIX build runs these
#else
        if (!stuck.isEmpty() && !setImmutable(stuck, true)) {
            std::cout << "[ skipped  ] " << c.name << ": can't make a file immutable here\n";
            continue;
        }
#endif
        if (c.rivalAtTheEnd && !c.swapAfterTheEnd)
            basTavlo::testing::BeforeEachRename([&](const QString& from, const QString& to) {
                if (from.contains(".zovtmp") && to == rows[0].newPath)
                    s.f.write("2.jpg", "rival");
            });
        using basTavlo::testing::Moment;
        if (c.swapAfterTheEnd)
            basTavlo::testing::AtEachRenameCall([&](Moment m, const QString& from,
                                                    const QString& to) {
                if (m == Moment::JustAfter && from.contains(".zovtmp") && to == rows[0].newPath) {
                    QFile::rename(to, s.f.file("aside"));
                    s.f.write("2.jpg", "rival");
                }
            });
        const RunReport r = RenameFiles(rows, {});
        basTavlo::testing::BeforeEachRename({});
        basTavlo::testing::AtEachRenameCall({});
#ifndef Q_OS_WIN
        if (!stuck.isEmpty())
            setImmutable(stuck, false);
#endif
        Outcomes want(rows.size(), c.others);
        want[c.at] = c.there;
        EXPECT_EQ(outcomes(r.rows), want);
        Contents expected;
        for (int i = 1; i <= 5; ++i) // each file where it was, or one further round
            expected.insert(QString("%1.jpg").arg(c.rivalAtTheEnd ? i % 5 + 1 : i),
                            QString("%1.jpg").arg(i).toUtf8());
        if (c.rivalAtTheEnd) {
            const QString temp =
                c.swapAfterTheEnd ? "aside" : r.rows[0].nowAt().mid(s.f.path().size());
            EXPECT_TRUE(temp.startsWith(c.swapAfterTheEnd ? "aside" : "1.jpg"));
            expected.insert(temp, "1.jpg");
            expected.insert("2.jpg", "rival");
        }
        EXPECT_EQ(s.f.contents(), expected);
    }
}
