#include "TestFolder.h"
#include "listing/FileLists.h"
#include "rename/Filters.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using basTavlo::DateTime;
using basTavlo::FileDetails;

namespace {

FileDetails details(bool r, bool h, bool s, bool a, DateTime modified = {}) {
    FileDetails d;
    d.ReadOnly = r, d.Hidden = h, d.System = s, d.Archive = a;
    d.Modified = modified;
    return d;
}

void fill(CheckListModel& m, std::initializer_list<std::pair<const char*, bool>> entries) {
    for (const auto& [text, checked] : entries) {
        m.addItem(text);
        m.setChecked(m.count() - 1, checked);
    }
}

#ifndef Q_OS_WIN
QStringList newNames(const FileLists& l) {
    QStringList out;
    for (const PreviewRow& r : l.changed.rows())
        out << r.newPath.mid(r.newPath.lastIndexOf('/') + 1);
    return out;
}

void checkAll(FileLists& l) {
    l.original.setAllChecked(true);
}
#endif

} // namespace

TEST(Filters, AttributeSets) {
    const CheckListModel none;
    FilterSettings f;
    const FileDetails plain = details(false, false, false, false);
    const FileDetails ro = details(true, false, false, false);
    const FileDetails roArchive = details(true, false, false, true);
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", roArchive)); // all off

    f.chkFilterOnAttributes = 1;
    f.cboIncludeExclude = 0; // include, no boxes: only files without the four
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", plain));
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", ro));
    f.cboIncludeExclude = 1;
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", plain));
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", ro));
    f.cboIncludeExclude = -1; // no choice works as exclude
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", plain));

    f.chkFilterReadOnly = 1;
    f.cboIncludeExclude = 1;
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", ro));
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", roArchive));
    f.cboIncludeExclude = 0;
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", ro));
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", roArchive));
    EXPECT_EQ(AttributeSetText(true, true, true, true), "RASH");
    EXPECT_EQ(AttributeSetText(false, true, false, true), "AH");
}

TEST(Filters, TimesToTheSecond) {
    const CheckListModel none;
    const DateTime ref{2024, 5, 1, 12, 0, 0};
    const FileDetails before = details(false, false, false, false, {2024, 5, 1, 11, 59, 59});
    const FileDetails on = details(false, false, false, false, ref);
    const FileDetails after = details(false, false, false, false, {2024, 5, 1, 12, 0, 1});
    FilterSettings f;
    f.modified = {1, 1, ref};
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", before)); // group box off
    f.chkFilterOnTimes = 1;
    const std::tuple<int, bool, bool, bool> rows[] = {{0, true, false, false},
                                                      {1, false, true, false},
                                                      {2, false, false, true},
                                                      {-1, true, true, true}};
    for (const auto& [choice, b, o, a] : rows) {
        SCOPED_TRACE(choice);
        f.modified.choice = choice;
        const FilterRun run(f, none, none);
        EXPECT_EQ(run.PassesFilters("/a", before), b);
        EXPECT_EQ(run.PassesFilters("/a", on), o);
        EXPECT_EQ(run.PassesFilters("/a", after), a);
    }
    // Two time filters: both must pass. The zero record's creation is in 1601.
    f.modified.choice = 2;
    f.creation = {1, 2, ref};
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", after));
    f.creation.choice = 0;
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", after));
    // An attribute rejection is final.
    f.chkFilterOnAttributes = 1, f.cboIncludeExclude = 0, f.chkFilterHidden = 1;
    EXPECT_FALSE(FilterRun(f, none, none).PassesFilters("/a", after));
}

TEST(Filters, ExtensionLists) {
    CheckListModel include, exclude, both;
    fill(
        include,
        {{"*.jpg", true}, {"*.txt", false}, {"*.README", true}, {"*.noext", false}, {"*.", false}});
    fill(exclude, {{"*.jpg", false}, {"*.txt", true}, {"*.jpg", true}});
    fill(both, {{"*.txt", true}});
    const FileDetails d = details(false, false, false, false);
    FilterSettings f;
    f.chkFilterOnExtension = 1;
    f.chkInclude = 1;
    FilterRun run(f, include, exclude);
    EXPECT_TRUE(run.PassesFilters("/p/a.jpg", d));
    EXPECT_FALSE(run.PassesFilters("/p/b.txt", d));
    EXPECT_TRUE(run.PassesFilters("/p/c.JPG", d)); // exact case only
    // A dot-less name is its own extension, whatever dots its folder has.
    EXPECT_TRUE(run.PassesFilters("/p.old/README", d));
    EXPECT_FALSE(run.PassesFilters("/p.old/noext", d));
    EXPECT_FALSE(run.PassesFilters("/p/ends.", d)); // ends in a dot: the empty extension
    f.chkInclude = 0, f.chkExclude = 1;
    run = FilterRun(f, include, exclude);
    EXPECT_FALSE(run.PassesFilters("/p/b.txt", d));
    EXPECT_FALSE(run.PassesFilters("/p/a.jpg", d)); // a later checked entry still counts
    EXPECT_TRUE(run.PassesFilters("/p/c.png", d));
    EXPECT_TRUE(run.PassesFilters("/p.d/ends.", d));
    EXPECT_FALSE(FilterRun(f, include, include).PassesFilters("/p.d/README", d));
    // txt checked in both lists: left out.
    f.chkInclude = 1;
    EXPECT_FALSE(FilterRun(f, both, both).PassesFilters("/p/b.txt", d));
    EXPECT_EQ(ExtensionKey("/p/archive.tar.gz"), "*.gz");
    EXPECT_EQ(ExtensionKey("/p.d/README"), "*.README");
}

#ifndef Q_OS_WIN // drives POSIX calls on a real folder
TEST(Preview, RowsFollowTheListAndItsNumbers) {
    UseTimeZone("UTC");
    TestFolder f;
    for (const char* n : {"a.jpg", "b.txt", "c.jpg", "d.jpg"})
        f.write(n, n);
    FileLists l;
    DisplayFiles(l, f.path());
    RenameSettings s;
    s.optFilenameModifications = false;
    s.optSequencing = true;
    s.optNumeric = true;
    s.txtDigitStartWith = "1";
    s.txtDigits = "2";
    FilterSettings filters;
    filters.chkFilterOnExtension = 1;
    filters.chkExclude = 1;
    for (int i = 0; i < l.exclude.count(); ++i)
        l.exclude.setChecked(i, l.exclude.text(i) == "*.txt");

    // b.txt filtered out still uses its number; unchecked c.jpg uses none.
    l.original.setChecked(0, true);
    l.original.setChecked(1, true);
    l.original.setChecked(3, true);
    PreviewFiles(l, s, filters);
    EXPECT_EQ(newNames(l), QStringList({"01a.jpg", "03d.jpg"}));
    EXPECT_EQ(l.previewCountText, "2 files in preview.");
    EXPECT_EQ(l.changed.row(0).oldPath, f.file("a.jpg"));
    EXPECT_EQ(l.changed.row(0).newPath, f.file("01a.jpg"));
    // The tag numbers the rows of the preview, without gaps; its times are the file's.
    RenameSettings tags;
    tags.chkPrefix = 1;
    tags.txtPrefix = "<n:2>-<modified:yyyy>-";
    TestFolder::setTimes(f.file("d.jpg"), utc(2019, 5, 6, 7, 8, 9), utc(2019, 5, 6, 7, 8, 9));
    PreviewFiles(l, tags, filters);
    EXPECT_EQ(newNames(l).last(), "02-2019-d.jpg");
    // Reading what files hold reports how far it has come, and stops when told: the list
    // stays as it was.
    RenameSettings photos;
    photos.chkPrefix = 1;
    photos.txtPrefix = "<taken|modified:yyyy>-";
    std::vector<qint64> reported;
    EXPECT_FALSE(PreviewFiles(l, photos, filters, [&](qint64 done, qint64 total) {
        reported.push_back(done);
        EXPECT_EQ(total, 3);
        return false;
    }));
    EXPECT_EQ(reported, std::vector<qint64>{0});
    EXPECT_EQ(newNames(l).last(), "02-2019-d.jpg");
    EXPECT_TRUE(PreviewFiles(l, photos, filters, [](qint64, qint64) { return true; }));
    EXPECT_EQ(newNames(l).last(), "2019-d.jpg");
    // A tag that can't be read leaves every row without a name, and says why once.
    tags.txtPrefix = "<dat>";
    PreviewFiles(l, tags, filters);
    EXPECT_EQ(l.changed.count(), 2);
    EXPECT_EQ(l.changed.row(1).status, RowStatus::BadSetting);
    ASSERT_TRUE(l.changed.problem());
    EXPECT_EQ(l.changed.problem()->what, "<dat>");
    EXPECT_EQ(RenameFiles(l.changed.rows(), {}).rows[0].outcome, RowOutcome::NotComposed);
    EXPECT_TRUE(QFile::exists(f.file("a.jpg")));
    // Twice: the same rows.
    PreviewFiles(l, s, filters);
    EXPECT_EQ(newNames(l), QStringList({"01a.jpg", "03d.jpg"}));

    // Moving d.jpg to the top numbers it first.
    l.original.setCurrentIndex(3);
    for (int i = 0; i < 3; ++i)
        MoveCurrentUp(l.original);
    PreviewFiles(l, s, FilterSettings{});
    EXPECT_EQ(newNames(l), QStringList({"01d.jpg", "02a.jpg", "03b.txt"}));

    // Nothing checked, or an empty list: no rows.
    l.original.setAllChecked(false);
    PreviewFiles(l, s, filters);
    EXPECT_EQ(l.previewCountText, "0 files in preview.");
    FileLists empty;
    PreviewFiles(empty, s, filters);
    EXPECT_EQ(empty.changed.count(), 0);
}

TEST(Preview, MarksWhatCouldNotBeRenamedSafely) {
    TestFolder f;
    for (const char* n : {"a.txt", "b.txt", "c.txt", "keep.txt", "x-a.txt"})
        f.write(n, n);
    FileLists l;
    DisplayFiles(l, f.path());
    checkAll(l);
    RenameSettings s;
    s.chkReplaceString = 1;
    s.txtReplaceString = "b";
    s.txtWith = "a"; // b.txt composes to a.txt, which a.txt keeps
    PreviewFiles(l, s, {});
    ASSERT_EQ(l.changed.count(), 5);
    EXPECT_EQ(l.changed.row(0).status, RowStatus::Ok);           // unchanged names are fine
    EXPECT_EQ(l.changed.row(1).status, RowStatus::TargetExists); // a.txt keeps it
    l.original.setChecked(0, false); // a.txt is no longer in the plan, but still there
    PreviewFiles(l, s, {});
    EXPECT_EQ(l.changed.row(0).status, RowStatus::TargetExists);
    l.original.setChecked(0, true);

    // Two files to one name: the first wins, the second is a conflict.
    s.txtReplaceString = "x-";
    s.txtWith = "";
    s.chkPrefix = 1;
    s.txtPrefix = "y";
    PreviewFiles(l, s, {});
    EXPECT_EQ(newNames(l), QStringList({"ya.txt", "yb.txt", "yc.txt", "ykeep.txt", "ya.txt"}));
    EXPECT_EQ(l.changed.row(0).status, RowStatus::Ok);
    EXPECT_EQ(l.changed.row(4).status, RowStatus::DuplicateTarget);

    // A prefix that climbs out of the folder never leaves it.
    RenameSettings up;
    up.chkPrefix = 1;
    up.txtPrefix = "../";
    PreviewFiles(l, up, {});
    for (const PreviewRow& r : l.changed.rows()) {
        EXPECT_EQ(r.status, RowStatus::InvalidCharacter);
        EXPECT_TRUE(r.newPath.startsWith(f.path()));
    }
    // and the run leaves such rows alone.
    for (const PreviewRow& r : RenameFiles(l.changed.rows(), {}).rows)
        EXPECT_EQ(r.outcome, RowOutcome::InvalidName);
    ASSERT_EQ(f.contents().size(), 5);
    RenameSettings dots;
    dots.chkReplaceString = 1;
    dots.txtReplaceString = "a.txt";
    dots.txtWith = "..";
    PreviewFiles(l, dots, {});
    EXPECT_EQ(l.changed.row(0).status, RowStatus::DotName);
    RenameSettings longName;
    longName.chkPrefix = 1;
    longName.txtPrefix = QString(300, 'x');
    PreviewFiles(l, longName, {});
    EXPECT_EQ(l.changed.row(0).status, RowStatus::NameTooLong);
    EXPECT_EQ(CheckNewName("", 255), RowStatus::EmptyName);
    EXPECT_EQ(CheckNewName("..", 255), RowStatus::DotName);
    EXPECT_EQ(CheckNewName(QString("a") + QChar(0) + "b", 255), RowStatus::InvalidCharacter);
    EXPECT_EQ(CheckNewName("ok name.txt", 255), RowStatus::Ok);

    // A file that keeps its name holds it against an earlier row that wants it; a hard
    // link to the file itself under another name, and entries that are never listed (a
    // dot name, a file marked hidden, a folder), hold theirs.
    TestFolder g;
    for (const char* n : {"A.txt", "a.txt", "p.txt", ".dot", "marked.txt"})
        g.write(n, n);
    g.mkdir("sub");
    ASSERT_TRUE(basTavlo::SetAttributes(g.file("marked.txt"), basTavlo::AttrHidden));
    ASSERT_EQ(link(QFile::encodeName(g.file("p.txt")).constData(),
                   QFile::encodeName(g.file("q.txt")).constData()),
              0);
    std::vector<PreviewRow> held = {
        {g.file("a.txt"), g.file("A.txt")},       {g.file("a.txt"), g.file("a.txt")},
        {g.file("q.txt"), g.file("p.txt")},       {g.file(".dot"), g.file("s1.txt")},
        {g.file("marked.txt"), g.file("s2.txt")}, {g.file("sub"), g.file("s3.txt")},
        {g.file("free.txt"), g.file("s4.txt")}};
    MarkConflicts(held);
    EXPECT_EQ(held[0].status, RowStatus::TargetExists);
    EXPECT_EQ(held[1].status, RowStatus::Ok);
    for (int i : {2, 3, 4, 5})
        EXPECT_EQ(held[size_t(i)].status, RowStatus::TargetExists) << i;
    EXPECT_EQ(held[6].status, RowStatus::Ok);

    // A file deleted after the listing gets no row.
    ASSERT_TRUE(QFile::remove(f.file("c.txt")));
    PreviewFiles(l, up, {});
    EXPECT_EQ(l.changed.count(), 4);
    // Nothing was touched on disk by planning.
    EXPECT_EQ(f.contents().size(), 4);
}
#endif

TEST(Preview, ChainsAndCyclesAreNotConflicts) {
    std::vector<PreviewRow> rows = {
        {"/nowhere/2.jpg", "/nowhere/1.jpg"}, {"/nowhere/3.jpg", "/nowhere/2.jpg"},
        {"/nowhere/a", "/nowhere/b"},         {"/nowhere/b", "/nowhere/a"},
        {"/nowhere/z", "/nowhere/y"},         {"/nowhere/y", "/nowhere/x"},
    };
    rows[4].status = RowStatus::InvalidCharacter; // y stays, so x -> y can't happen
    MarkConflicts(rows);
    EXPECT_EQ(rows[0].status, RowStatus::Ok);
    EXPECT_EQ(rows[1].status, RowStatus::Ok);
    EXPECT_EQ(rows[2].status, RowStatus::Ok);
    EXPECT_EQ(rows[3].status, RowStatus::Ok);
    EXPECT_EQ(rows[5].status, RowStatus::TargetExists);
}
