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
#include <thread>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using basTavlo::DateTime;
using Contents = QMap<QString, QByteArray>;
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

RenameSettings prefix(const QString& p) {
    return {.chkPrefix = 1, .txtPrefix = p};
}

QByteArray raw(const QString& path) {
    return QFile::encodeName(path);
}

struct stat lstatOf(const QString& path) {
    struct stat st {};
    lstat(raw(path).constData(), &st);
    return st;
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

// Shifts, swaps and rounds of names, with names at the system's length limit, on file
// systems with and without RENAME_NOREPLACE and hard links; then a second press, which
// renames nothing and stamps every file again, and an undo, twice.
TEST(RenameRun, ChainsAndCyclesEndAsPlannedAndOnceOnly) {
    using basTavlo::testing::Refuse;
    const QString longA(250, 'a'), longB(250, 'b');
    for (const Refuse refused :
         {Refuse::Nothing, Refuse::NoReplaceFlag, Refuse::NoReplaceFlagAndLinks}) {
        SCOPED_TRACE(int(refused));
        basTavlo::testing::RefuseRenameFeatures(refused);
        Scene s{"1.jpg", "2.jpg", "3.jpg", "a", "aa", "x", "y", "z"};
        s.f.write(longA, "A");
        s.f.write(longB, "B");
        const std::vector<PreviewRow> rows = {s.row("1.jpg", "2.jpg"), s.row("2.jpg", "3.jpg"),
                                              s.row("3.jpg", "4.jpg"), s.row("a", "aa"),
                                              s.row("aa", "aaaa"),     s.row("x", "y"),
                                              s.row("y", "z"),         s.row("z", "x"),
                                              s.row(longA, longB),     s.row(longB, longA)};
        const Contents planned{{"2.jpg", "1.jpg"}, {"3.jpg", "2.jpg"}, {"4.jpg", "3.jpg"},
                               {"aa", "a"},        {"aaaa", "aa"},     {"y", "x"},
                               {"z", "y"},         {"x", "z"},         {longB, "A"},
                               {longA, "B"}};
        const Contents before = s.f.contents();
        std::vector<double> progress;
        RunJournal journal;
        EXPECT_EQ(outcomes(run(rows, journal, {}, {[&](double v) { progress.push_back(v); }, {}})),
                  Outcomes(rows.size(), O::Renamed));
        ASSERT_EQ(progress.size(), rows.size() + 1); // a step per row, then 100 at the end
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_DOUBLE_EQ(progress.front(), 100.0 / double(rows.size()));
        EXPECT_EQ(progress.back(), 100.0);
        EXPECT_EQ(s.f.contents(), planned);

        RunJournal second; // renames nothing, so changes nothing without stamping
        run(rows, second);
        EXPECT_TRUE(second.empty());
        const RunReport r = RenameFiles(rows, hiddenAndModified);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(outcomes(r.rows), Outcomes(rows.size(), O::AlreadyRenamed));
        EXPECT_EQ(s.f.contents(), planned);
        for (const PreviewRow& row : rows)
            EXPECT_EQ(basTavlo::GetFileTimes(row.newPath).Modified, hiddenAndModified.modified);
        for (int undo = 0; undo < 2; ++undo) { // the second finds it done
            EXPECT_EQ(UndoRun(journal).failed, 0);
            EXPECT_EQ(s.f.contents(), before);
        }
    }
    basTavlo::testing::RefuseRenameFeatures(Refuse::Nothing);
    std::vector<double> progress;
    RenameFiles({}, {}, {[&](double v) { progress.push_back(v); }, {}});
    EXPECT_EQ(progress, std::vector<double>{100.0});
}

// Only rows the preview passed are tried, and nothing is ever replaced: not a name held by
// a file outside the plan, nor one another program takes right before the rename.
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
}

// Whatever stands at a row's old path at Rename time that is not the file the preview
// saw is neither renamed nor stamped, and nor is a file at the row's new path.
TEST(RenameRun, ActsOnlyOnThePreviewedFile) {
    struct Case {
        const char* name;
        std::function<void(const TestFolder&)> meanwhile; // between Preview and Rename
        Outcomes expected;
        Contents after;
    };
    const Case cases[] = {
        {"swap, one deleted",
         [](const TestFolder& f) { f.remove("x.txt"); },
         {O::GoneOrReplaced, O::Renamed},
         {{"x.txt", "y.txt"}}},
        {"deleted, another file at its new name",
         [](const TestFolder& f) {
             f.remove("x.txt");
             f.remove("y.txt");
             f.write("y.txt", "other");
         },
         {O::GoneOrReplaced, O::GoneOrReplaced},
         {{"y.txt", "other"}}},
        {"replaced by another file",
         [](const TestFolder& f) {
             f.remove("x.txt");
             f.write("x.txt", "other");
         },
         {O::GoneOrReplaced, O::TargetExists},
         {{"x.txt", "other"}, {"y.txt", "y.txt"}}},
        {"replaced by a folder",
         [](const TestFolder& f) {
             f.remove("x.txt");
             f.mkdir("x.txt");
         },
         {O::GoneOrReplaced, O::TargetExists},
         {{"x.txt", "<dir>"}, {"y.txt", "y.txt"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s{"x.txt", "y.txt"};
        const std::vector<PreviewRow> rows = {s.row("x.txt", "y.txt"), s.row("y.txt", "x.txt")};
        c.meanwhile(s.f);
        QStringList messages;
        const RunReport r =
            RenameFiles(rows, hiddenAndModified, {{}, [&](const QString& m) { messages << m; }});
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_EQ(outcomes(r.rows), c.expected);
        EXPECT_EQ(s.f.contents(), c.after);
        for (auto it = c.after.begin(); it != c.after.end(); ++it)
            if (it.value() != "y.txt") { // no row's own file: not stamped
                EXPECT_FALSE(basTavlo::GetFileInfo(s.f.file(it.key())).attributes &
                             basTavlo::AttrHidden);
            }
    }
}

#ifndef Q_OS_WIN
// Special files at the old path are neither renamed nor stamped, nor is y.txt.
TEST(RenameRun, ActsOnNoSpecialFile) {
    for (const mode_t type : {S_IFIFO, S_IFSOCK, S_IFCHR}) {
        SCOPED_TRACE(type);
        Scene s{"x.txt", "y.txt"};
        const std::vector<PreviewRow> rows = {s.row("x.txt", "y.txt"), s.row("y.txt", "x.txt")};
        const QByteArray x = raw(s.f.file("x.txt"));
        unlink(x.constData());
        if (type == S_IFSOCK) {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            strncpy(addr.sun_path, x.constData(), sizeof addr.sun_path - 1);
            bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            close(fd);
        } else if (mknod(x.constData(), type | 0644, type == S_IFCHR ? makedev(1, 3) : 0) != 0) {
            std::cout << "[ skipped  ] a device can't be made here (needs root)\n";
            continue;
        }
        const struct stat before = lstatOf(s.f.file("x.txt"));
        const RunReport r = RenameFiles(rows, hiddenAndModified);
        EXPECT_EQ(outcomes(r.rows), (Outcomes{O::GoneOrReplaced, O::TargetExists}));
        const struct stat after = lstatOf(s.f.file("x.txt"));
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(TestFolder::xattr(s.f.file("x.txt")), QByteArray());
        QFile y(s.f.file("y.txt")); // not contents(): it would open a FIFO and wait
        ASSERT_TRUE(y.open(QIODevice::ReadOnly));
        EXPECT_EQ(y.readAll(), "y.txt");
    }
}

// A link in the folder is renamed as the link itself; nothing outside the folder changes.
TEST(RenameRun, LinksAreRenamedAsLinksAndNothingOutsideChanges) {
    TestFolder parent;
    parent.mkdir("photos");
    parent.mkdir("elsewhere");
    parent.write("elsewhere/secret.txt", "secret");
    const QString secret = parent.file("elsewhere/secret.txt"), folder = parent.file("photos/");
    TestFolder::setTimes(secret, utc(2020, 1, 1, 0, 0, 0), utc(2020, 1, 1, 0, 0, 0));
    ASSERT_EQ(symlink("../elsewhere/secret.txt", raw(folder + "link.txt").constData()), 0);
    const struct stat outsideBefore = lstatOf(secret);

    FileLists lists;
    DisplayFiles(lists, folder);
    lists.original.setAllChecked(true);
    PreviewFiles(lists, prefix("x-"), {});
    ASSERT_EQ(lists.changed.count(), 1);
    const AdvancedSettings a{.chkModifyAttributes = 1,
                             .chkReadOnly = 1,
                             .chkModifyDateTime = 1,
                             .chkFileModified = 1,
                             .modified = {2004, 3, 31, 14, 5, 9}};
    QStringList messages;
    RunReport r =
        RenameFiles(lists.changed.rows(), a, {{}, [&](const QString& m) { messages << m; }});
    EXPECT_EQ(r.rows[0].outcome, O::Renamed);
    EXPECT_TRUE(r.rows[0].attributesNotSet);
    EXPECT_FALSE(r.rows[0].timesNotSet); // the link's own time
    EXPECT_EQ(messages, QStringList{"ReadOnly Attribute NOT set."});
    EXPECT_TRUE(S_ISLNK(lstatOf(folder + "x-link.txt").st_mode));
    EXPECT_EQ(QFile::symLinkTarget(folder + "x-link.txt"), QFileInfo(secret).canonicalFilePath());
    const struct stat outsideAfter = lstatOf(secret);
    EXPECT_EQ(outsideAfter.st_mode, outsideBefore.st_mode);
    EXPECT_EQ(outsideAfter.st_mtim.tv_sec, outsideBefore.st_mtim.tv_sec);
    EXPECT_EQ(TestFolder::xattr(secret), QByteArray());
    // The next run reports only what it does itself.
    r = RenameFiles(r.rows, {});
    EXPECT_EQ(r.rows[0].outcome, O::AlreadyRenamed);
    EXPECT_EQ(r.failed, 0);
}

// A listed file that can't be looked up (a folder without search permission) is shown
// with its reason and left alone.
TEST(RenameRun, AnUnreadableFileIsShownAndLeftAlone) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root searches any folder; the test script runs this as nobody too";
    Scene s{"a.txt"};
    ASSERT_EQ(chmod(raw(s.f.path()).constData(), 0600), 0);
    const std::vector<PreviewRow> rows = s.plan(prefix("x-"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].status, RowStatus::Unreadable);
    EXPECT_EQ(rows[0].newPath, s.f.file("x-a.txt"));
    EXPECT_EQ(RenameFiles(rows, {}).rows[0].outcome, O::Unreadable);
    ASSERT_EQ(chmod(raw(s.f.path()).constData(), 0700), 0);
    EXPECT_EQ(s.f.contents(), (Contents{{"a.txt", "a.txt"}}));
}
#endif

// A round of names that can't finish leaves every file at its old name; a file that
// can't be put back is reported at the temporary name it has.
TEST(RenameRun, CyclesAreAllOrNothing) {
    const struct {
        const char* name;
        int immutable;      // row whose file can't move, or -1
        bool rivalAtTheEnd; // another program takes the first file's new name
        Outcomes expected;
    } cases[] = {
        {"first can't move",
         0,
         false,
         {O::PermissionDenied, O::CycleNotRun, O::CycleNotRun, O::CycleNotRun, O::CycleNotRun}},
        {"third can't move",
         2,
         false,
         {O::CycleNotRun, O::CycleNotRun, O::PermissionDenied, O::CycleNotRun, O::CycleNotRun}},
        {"name taken at the end",
         -1,
         true,
         {O::LeftAtTemporary, O::Renamed, O::Renamed, O::Renamed, O::Renamed}},
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
        if (c.rivalAtTheEnd)
            basTavlo::testing::BeforeEachRename([&](const QString& from, const QString& to) {
                if (from.contains(".zovtmp") && to == rows[0].newPath)
                    s.f.write("2.jpg", "rival");
            });
        const RunReport r = RenameFiles(rows, {});
        basTavlo::testing::BeforeEachRename({});
#ifndef Q_OS_WIN
        if (!stuck.isEmpty())
            setImmutable(stuck, false);
#endif
        EXPECT_EQ(outcomes(r.rows), c.expected);
        Contents expected{{"1.jpg", "1.jpg"},
                          {"2.jpg", "2.jpg"},
                          {"3.jpg", "3.jpg"},
                          {"4.jpg", "4.jpg"},
                          {"5.jpg", "5.jpg"}};
        if (c.rivalAtTheEnd) {
            const QString temp = basTavlo::FileNameOf(r.rows[0].nowAt());
            EXPECT_TRUE(temp.startsWith("1.jpg"));
            expected = {{"1.jpg", "5.jpg"}, {"2.jpg", "rival"}, {"3.jpg", "2.jpg"},
                        {"4.jpg", "3.jpg"}, {"5.jpg", "4.jpg"}, {temp, "1.jpg"}};
        }
        EXPECT_EQ(s.f.contents(), expected);
    }
}

// Attributes are added to those a file has, in the order read-only, hidden, archive,
// system; times only as checked; a file that is gone gets every message.
TEST(RenameRun, AttributesAndTimesAsChosen) {
    UseTimeZone("Europe/Berlin");
    using namespace basTavlo;
    Scene s{"one", "some", "all", "m.jpg", "ro.jpg"};
    ASSERT_TRUE(SetAttributes(s.f.file("some"), AttrArchive));
    QStringList messages;
    auto apply = [&](const char* name, const AdvancedSettings& a) {
        StampTarget target(s.f.file(name), IdOf(s.f.file(name)));
        return ApplyAttributes(target, a, [&](const QString& m) { messages << m; });
    };
    AdvancedSettings a;
    a.chkModifyAttributes = 1;
    EXPECT_TRUE(apply("missing", a)); // the box that turns the step on, none under it
    a.chkHidden = 1;
    EXPECT_TRUE(apply("one", a));
    a.chkSystem = 1;
    EXPECT_TRUE(apply("some", a));
    a.chkReadOnly = a.chkArchive = 1;
    EXPECT_TRUE(apply("all", a));
    EXPECT_TRUE(messages.isEmpty());
    const quint32 archive = UnderWine() ? 0u : quint32(AttrArchive); // see TestFolder::bits
    EXPECT_EQ(TestFolder::bits(s.f.file("one")), AttrHidden);
    EXPECT_EQ(TestFolder::bits(s.f.file("some")), AttrHidden | AttrSystem | archive);
    EXPECT_EQ(TestFolder::bits(s.f.file("all")), (kDosBits & ~AttrArchive) | archive);
    EXPECT_FALSE(apply("missing", a));
    EXPECT_EQ(messages, QStringList({"ReadOnly Attribute NOT set.", "Hidden Attribute NOT set.",
                                     "Archive Attribute NOT set.", "System Attribute NOT set."}));

    for (const char* n : {"m.jpg", "ro.jpg"})
        TestFolder::setTimes(s.f.file(n), utc(2020, 1, 1, 0, 0, 0), utc(2020, 1, 2, 0, 0, 0));
    const FileDetails before = GetFileTimes(s.f.file("m.jpg"));
    AdvancedSettings t{.chkModifyDateTime = 1, // only "modified" checked, not the creation box
                       .chkFileModified = 1,
                       .creation = {1999, 1, 1, 0, 0, 0},
                       .modified = {2004, 3, 31, 14, 5, 9}};
    EXPECT_EQ(RenameFiles({s.row("m.jpg", "m.jpg")}, t).failed, 0);
    FileDetails after = GetFileTimes(s.f.file("m.jpg"));
    EXPECT_EQ(after.Modified, t.modified);
    EXPECT_EQ(after.LastAccessed, before.LastAccessed);
    // Wine keeps no creation time of a Linux file: it shows the modified time, and one
    // can't be set (the program reports it not set, as on any such volume).
    const bool noCreation = UnderWine();
    if (!noCreation) {
        EXPECT_EQ(after.Created, before.Created);
    }
    // Read-only plus all three times: the file gets them all.
    t.chkModifyAttributes = t.chkReadOnly = t.chkFileLastAccessed = t.chkFileCreation = 1;
    t.lastAccessed = DateTime{2010, 7, 1, 8, 0, 0};
    EXPECT_EQ(RenameFiles({s.row("ro.jpg", "ro2.jpg")}, t).failed, noCreation ? 1 : 0);
    after = GetFileTimes(s.f.file("ro2.jpg"));
    EXPECT_TRUE(after.ReadOnly);
    EXPECT_EQ(after.Modified, t.modified);
    EXPECT_EQ(after.LastAccessed, t.lastAccessed);
    EXPECT_EQ(after.Created == t.creation, !noCreation);
    EXPECT_EQ(s.f.contents().value("ro2.jpg"), "ro.jpg");
}

#ifndef Q_OS_WIN
// Another program acts while the run goes on: a file replaced (by a file, a folder or a link)
// after the run looked it up and before its rename, at several distances behind the
// look-up, goes back to its name, and so does a hard link's name that a rival takes while
// the file goes by a temporary name. Each row's report says where its file is.
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
        {"the other file can't go back", 0, S_IFREG, true, O::OtherFileMoved},
        {"hard link by a temporary name", 0, 0, true, O::LeftAtTemporary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
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
            // On its way back, or halfway by a temporary name: a rival takes the old name.
            if (c.blockBack && (c.replacement ? to == target.oldPath
                                              : from != target.oldPath && to == target.newPath))
                f.write(oldName, "rival");
        });
        run_testing::AfterLookUp([&](size_t i) { looked = i + 1; });
        const RunReport r = RenameFiles(rows, {});
        basTavlo::testing::BeforeEachRename({});
        run_testing::AfterLookUp({});
        Outcomes want(rows.size(), O::Renamed);
        want[t] = c.expected;
        EXPECT_EQ(outcomes(r.rows), want);
        EXPECT_EQ(r.failed, 1);
        // Nothing lost or replaced, and each file where its row says.
        const QByteArray other = c.replacement == S_IFDIR   ? "<dir>"
                                 : c.replacement == S_IFLNK ? "<unreadable>"
                                                            : "other";
        if (c.replacement)
            expected.insert("aside", oldName.toUtf8());
        if (c.expected == O::OtherFileMoved) {
            expected.insert("g" + oldName, other);
            expected.insert(oldName, "rival");
        } else if (c.expected == O::LeftAtTemporary) {
            expected.insert(basTavlo::FileNameOf(r.rows[t].nowAt()), oldName.toUtf8());
            expected.insert(oldName, "rival");
        } else {
            expected.insert(oldName, other);
        }
        EXPECT_EQ(f.contents(), expected);
    }
}

// A copy of hard links made in a new folder at the old one's path (the way of `cp -al`
// backups) holds files with the same identities: neither the run nor the undo acts in it.
TEST(RenameRun, NothingIsDoneInAFolderThatReplacedThePlannedOne) {
    TestFolder parent;
    parent.mkdir("real");
    const QString real = parent.file("real"), old = parent.file("real.old");
    for (const char* n : {"a", "b"})
        parent.write(QString("real/") + n, n);
    auto replace = [&] {
        ASSERT_TRUE(QDir().rename(real, old));
        ASSERT_TRUE(QDir().mkdir(real));
        for (const QString& n : QDir(old).entryList(QDir::Files))
            ASSERT_TRUE(TestFolder::hardLink(old + '/' + n, real + '/' + n));
    };
    auto putBack = [&] {
        ASSERT_TRUE(QDir(real).removeRecursively());
        ASSERT_TRUE(QDir().rename(old, real));
    };
    FileLists lists;
    DisplayFiles(lists, real + '/');
    lists.original.setAllChecked(true);
    PreviewFiles(lists, prefix("x-"), {});
    const std::vector<PreviewRow> rows = lists.changed.rows();
    const Outcomes refused(2, O::FolderReplaced);
    RunJournal journal;
    replace();
    EXPECT_EQ(outcomes(run(rows, journal, {}, {}, lists.changed.folder())), refused);
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(QDir(real).entryList(QDir::Files), QDir(old).entryList(QDir::Files));
    putBack();
    EXPECT_EQ(QDir(real).entryList(QDir::Files), (QStringList{"a", "b"}));
    // The run in the planned folder, then its undo in a replacement.
    EXPECT_EQ(outcomes(run(rows, journal, {}, {}, lists.changed.folder())),
              Outcomes(2, O::Renamed));
    replace();
    EXPECT_EQ(outcomes(UndoRun(journal).rows), refused);
    EXPECT_EQ(QDir(real).entryList(QDir::Files), (QStringList{"x-a", "x-b"}));
    putBack();
    EXPECT_EQ(UndoRun(journal).failed, 0);
    EXPECT_EQ(QDir(real).entryList(QDir::Files), (QStringList{"a", "b"}));
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
        s.chkPrefix = rng.bounded(2);
        s.txtPrefix = pick({"a", "1", "", "A"});
        s.chkSuffix = rng.bounded(2);
        s.txtSuffix = pick({"a", "2", ""});
        s.chkChangeCase = rng.bounded(2);
        s.cboChangeCase = rng.bounded(3);
        s.chkReplaceString = rng.bounded(2);
        s.txtReplaceString = pick({"a", "1", "A"});
        s.txtWith = pick({"b", "2", "", "aa"});
        s.optNumeric = true;
        s.txtDigitStartWith = pick({"1", "2", "0"});
        s.txtDigits = pick({"", "0", "00"});
        s.optPrefixSequence = rng.bounded(2) == 0;
        s.optSuffixSequence = !s.optPrefixSequence;
        s.chkSeqPrefix = rng.bounded(2);
        s.txtSeqPrefix = pick({"a", "1"});
        s.chkChangeExtension = rng.bounded(3) == 0;
        s.txtChangeExtension = pick({"jpg", "a", "JPG"});
        PreviewFiles(lists, s, {});
        const std::vector<PreviewRow> rows = lists.changed.rows();

        RunJournal journal;
        const std::vector<PreviewRow> first = run(rows, journal);
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
            if (o == O::Renamed) {
                EXPECT_EQ(at, newName) << oldName.toStdString();
                EXPECT_EQ(second.rows[i].outcome, O::AlreadyRenamed);
            } else {
                EXPECT_EQ(at, oldName) << oldName.toStdString() << " " << int(o);
                EXPECT_EQ(o == O::Unchanged, row.newPath == row.oldPath);
                EXPECT_EQ(second.rows[i].outcome, o);
            }
            // In a folder nobody else touches, the preview's word holds.
            EXPECT_EQ(o == O::Renamed || o == O::Unchanged, row.status == RowStatus::Ok)
                << oldName.toStdString() << " -> " << newName.toStdString() << " " << int(o);
        }
        for (auto it = whereIs.begin(); it != whereIs.end(); ++it) // files in no row stay
            if (!inRow.contains(it.value())) {
                EXPECT_EQ(found.value(it.key()), it.value());
            }

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
            EXPECT_EQ(back.value(basTavlo::FileNameOf(isBack ? e.oldPath : e.newPath)), content)
                << e.oldPath.toStdString() << " " << int(undone.rows[i].outcome);
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

// What others did to the folder after the run is never undone over: each such row is left
// as it is and reported; every other row is undone.
TEST(Undo, LeavesWhatOthersChanged) {
    const struct {
        const char* what;
        std::function<void(const TestFolder&)> meanwhile;
        RowOutcome first; // for a.txt -> b.txt
        Contents after;
    } cases[] = {
        {"renamed file deleted",
         [](const TestFolder& f) { QFile::remove(f.file("b.txt")); },
         O::ChangedSinceRun,
         {}},
        {"old name taken",
         [](const TestFolder& f) { f.write("a.txt", "new"); },
         O::TargetExists,
         {{"a.txt", "new"}, {"b.txt", "a.txt"}}},
        {"renamed again elsewhere",
         [](const TestFolder& f) { QFile::rename(f.file("b.txt"), f.file("z.txt")); },
         O::ChangedSinceRun,
         {{"z.txt", "a.txt"}}},
        {"replaced under the same name",
         [](const TestFolder& f) {
             f.remove("b.txt");
             f.write("b.txt", "other");
         },
         O::ChangedSinceRun,
         {{"b.txt", "other"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s{"a.txt", "b0.txt"};
        RunJournal journal;
        run({s.row("a.txt", "b.txt"), s.row("b0.txt", "c.txt")}, journal, hiddenAndModified);
        c.meanwhile(s.f);
        const basTavlo::FileDetails otherBefore = basTavlo::GetFileTimes(s.f.file("a.txt"));
        const RunReport r = UndoRun(journal);
        EXPECT_EQ(outcomes(r.rows), (Outcomes{c.first, O::Renamed}));
        EXPECT_EQ(r.failed, 1);
        Contents want = c.after;
        want.insert("b0.txt", "b0.txt");
        EXPECT_EQ(s.f.contents(), want);
        if (c.first == O::TargetExists) { // the newcomer was not stamped back
            EXPECT_EQ(basTavlo::GetFileTimes(s.f.file("a.txt")).Modified, otherBefore.Modified);
        }
        EXPECT_EQ(TestFolder::bits(s.f.file("b0.txt")), 0u);
    }
}
