#include "TestFolder.h"
#include "listing/FileLists.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Sorting by what the names and the files hold, each way; marks and the current item go
// with their files, and a file gone since the listing goes last.
TEST(Listing, SortsByNameExtensionSizeAndTimes) {
    TestFolder f;
    const std::tuple<const char*, int, int> files[] = {
        // name, size, modified (days after a fixed day)
        {"b.txt", 30, 2},
        {"a10.jpg", 10, 3},
        {"a9.png", 20, 1},
        {"c", 5, 4}};
    for (const auto& [name, size, day] : files) {
        f.write(name, QByteArray(size, 'x'));
        TestFolder::setTimes(f.file(name), utc(2020, 1, day, 0, 0, 0), utc(2020, 1, day, 0, 0, 0));
    }
    FileLists l;
    DisplayFiles(l, f.path());
    QAbstractItemModelTester tester(&l.original);
    l.original.addItem(f.file("gone.txt"));
    l.original.setChecked(1, true); // a10.jpg
    l.original.setCurrentIndex(1);
    const std::tuple<SortKey, bool, const char*> rows[] = {
        {SortKey::Size, false, "c a10.jpg a9.png b.txt gone.txt"},
        {SortKey::Size, true, "b.txt a9.png a10.jpg c gone.txt"},
        {SortKey::Modified, true, "c a10.jpg b.txt a9.png gone.txt"},
        {SortKey::Extension, false, "c a10.jpg a9.png b.txt gone.txt"},
        {SortKey::Name, true, "gone.txt c b.txt a10.jpg a9.png"},
        {SortKey::Name, false, "a9.png a10.jpg b.txt c gone.txt"},
    };
    for (const auto& [key, descending, order] : rows) {
        SortOriginalList(l.original, key, descending);
        EXPECT_EQ(NamesOf(l.original), order) << int(key) << descending;
        const int at = int(NamesOf(l.original).split(' ').indexOf("a10.jpg"));
        EXPECT_EQ(l.original.currentIndex(), at);
        EXPECT_TRUE(l.original.isChecked(at));
        EXPECT_EQ(l.original.checkedCount(), 1);
    }
}

// Names sort by their numbers' values, case-only twins in one order whatever order they are
// met in; the extension lists keep the order extensions are first met.
TEST(Listing, SortsPathsAndKeepsExtensionsFirstMetFirst) {
    FileLists lists;
    QAbstractItemModelTester t1(&lists.original), t2(&lists.include), t3(&lists.changed);
    FillOriginalList(lists, "/data/", {"b.txt", "a.JPG", "c.jpg", "d.txt"});
    EXPECT_EQ(lists.original.text(0), "/data/a.JPG");
    EXPECT_EQ(lists.extensions, QStringList({"txt", "JPG", "jpg"}));
    EXPECT_EQ(lists.originalCountText, "0 of 4 files selected");
    const std::pair<std::vector<QString>, const char*> rows[] = {
        {{"b.txt", "a.JPG", "c.jpg", "d.txt"}, "a.JPG b.txt c.jpg d.txt"},
        {{"b", "a.txt", "A.txt", "C", "B"}, "A.txt a.txt B b C"},
        {{"A.txt", "a.txt"}, "A.txt a.txt"},
        {{"track20", "Track 3", "track10", "track2", "track1", "track01", "x9y", "x10", "x9"},
         "Track 3 track01 track1 track2 track10 track20 x9 x9y x10"},
        {{"IMG_100.jpg", "IMG_19.jpg"},
         "IMG_19.jpg IMG_100.jpg"}, // a shared start ends in a number
    };
    for (const auto& [names, sorted] : rows) {
        FillOriginalList(lists, "/data/", names);
        EXPECT_EQ(NamesOf(lists.original), sorted);
    }
    EXPECT_EQ(lists.extensions, QStringList{"jpg"}); // the last folder's alone
    for (const auto& [name, ext] : {std::pair("archive.tar.gz", "gz"),
                                    {".profile", "profile"},
                                    {"README", "README"},
                                    {"trailing.", ""}})
        EXPECT_EQ(ExtensionOf(name), ext);
    CheckListModel sorted(CheckListModel::Order::Sorted), appended;
    QAbstractItemModelTester t4(&sorted);
    QSignalSpy inserted(&sorted, &QAbstractItemModel::rowsInserted); // views see each item come
    for (const char* n : {"c", "A", "b"}) {
        sorted.addItem(n);
        appended.addItem(n);
    }
    EXPECT_EQ(NamesOf(sorted), "A b c");
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(NamesOf(appended), "c A b");
}

#ifndef Q_OS_WIN
// The folder's ordinary files, each under its own name in any script; a name whose bytes
// don't decode is left out, never renamed under a mangled one, and so are hidden files and
// whatever is not an ordinary file.
TEST(Listing, OrdinaryFilesUnderTheirOwnNames) {
    TestFolder f;
    for (const char* n : {"b.txt", "Z\u00fcrich \u65e5.jpg", ".profile", "secret.doc"})
        f.write(QString::fromUtf8(n));
    ASSERT_TRUE(TestFolder::setXattr(f.file("secret.doc"), "0x22"));
    f.mkdir("sub");
    const QByteArray at = QFile::encodeName(f.path());
    ASSERT_EQ(symlink("b.txt", at + "link"), 0);
    ASSERT_EQ(symlink("nowhere", at + "dangling"), 0);
    ASSERT_EQ(mkfifo(at + "pipe", 0600), 0);
    ASSERT_EQ(close(open(at + "caf\xe9.txt", O_CREAT | O_WRONLY, 0600)), 0);
    FileLists l;
    DisplayFiles(l, f.path());
    EXPECT_EQ(NamesOf(l.original), QString::fromUtf8("b.txt link Z\u00fcrich \u65e5.jpg"));
}
#endif

TEST(Listing, MarksCountAndTravelWithTheirFiles) {
    CheckListModel m(CheckListModel::Order::Sorted);
    QAbstractItemModelTester tester(&m);
    std::vector<QString> names;
    for (int i = 0; i < 12; ++i)
        names.push_back(QString("f%1").arg(i, 2, 10, QLatin1Char('0')));
    m.setItems(names);
    QSignalSpy marks(&m, &CheckListModel::markChanged);
    for (int i : {0, 3, 5, 3}) // the second 3 changes nothing and says nothing
        m.setChecked(i, true);
    EXPECT_EQ(marks.count(), 3);
    EXPECT_EQ(SelectionCountText(m.checkedCount(), m.count()), "3 of 12 files selected");
    SetAllMarks(m, 1);
    EXPECT_EQ(marks.count(), 12); // one per mark that changed
    m.setChecked(4, false);
    EXPECT_EQ(m.checkedCount(), 11);
    SetAllMarks(m, 0);
    EXPECT_EQ(m.checkedCount(), 0);
    SetAllMarks(m, 2); // grayed counts as on
    EXPECT_EQ(m.checkedCount(), 12);
    SetAllMarks(m, 0);

    // Up three times from position 3 reaches the top; a fourth does nothing.
    m.setChecked(3, true);
    m.setCurrentIndex(3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(MoveCurrentUp(m));
    EXPECT_FALSE(MoveCurrentUp(m));
    EXPECT_EQ(NamesOf(m).left(15), "f03 f00 f01 f02");
    EXPECT_EQ(m.currentIndex(), 0);
    EXPECT_TRUE(m.isChecked(0));
    EXPECT_FALSE(m.isChecked(3));
    EXPECT_EQ(m.checkedCount(), 1);
    m.setCurrentIndex(5); // Up then Down puts everything back
    EXPECT_TRUE(MoveCurrentUp(m));
    EXPECT_TRUE(MoveCurrentDown(m));
    EXPECT_EQ(m.currentIndex(), 5);
    EXPECT_EQ(m.text(5), "f05");
    m.setCurrentIndex(0); // the first item goes down
    EXPECT_TRUE(MoveCurrentDown(m));
    EXPECT_EQ(m.currentIndex(), 1);
    for (const int at : {11, -1}) { // the last item, and none
        m.setCurrentIndex(at);
        EXPECT_FALSE(MoveCurrentDown(m));
    }
    EXPECT_FALSE(MoveCurrentUp(m));
    m.setCurrentIndex(2);
    m.setItems(names); // a new listing has no current file
    EXPECT_EQ(m.currentIndex(), -1);
    QSignalSpy before(&m, &QAbstractItemModel::modelAboutToBeReset),
        resets(&m, &QAbstractItemModel::modelReset);
    m.clear(); // views see the list emptied, told before and after
    EXPECT_EQ(before.count(), 1);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(m.count() + m.checkedCount(), 0);
    CheckListModel one;
    one.addItem("only");
    one.setCurrentIndex(0);
    EXPECT_FALSE(MoveCurrentUp(one));
    EXPECT_FALSE(MoveCurrentDown(one));
}
