#include "TestFolder.h"
#include "listing/FileLists.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QStringList texts(const CheckListModel& m) {
    QStringList out;
    for (int i = 0; i < m.count(); ++i)
        out << m.text(i);
    return out;
}

} // namespace

TEST(Listing, SortsPathsAndKeepsExtensionsFirstMetFirst) {
    FileLists lists;
    QAbstractItemModelTester t1(&lists.original), t2(&lists.include), t3(&lists.changed);
    const QString dir = "/data/";
    FillOriginalList(lists, dir, {"b.txt", "a.JPG", "c.jpg", "d.txt"});
    EXPECT_EQ(texts(lists.original),
              QStringList({"/data/a.JPG", "/data/b.txt", "/data/c.jpg", "/data/d.txt"}));
    EXPECT_EQ(lists.extensions, QStringList({"txt", "JPG", "jpg"}));
    EXPECT_EQ(lists.originalCountText, "0 of 4 files selected");

    // Case-only twins come out in one order whatever order they are met in.
    FillOriginalList(lists, dir, {"b", "a.txt", "A.txt", "C", "B"});
    EXPECT_EQ(texts(lists.original),
              QStringList({"/data/A.txt", "/data/a.txt", "/data/B", "/data/b", "/data/C"}));
    FillOriginalList(lists, dir, {"A.txt", "a.txt"});
    EXPECT_EQ(texts(lists.original), QStringList({"/data/A.txt", "/data/a.txt"}));
    // Numbers by their value; equal values differ by their exact text.
    FillOriginalList(
        lists, dir,
        {"track20", "Track 3", "track10", "track2", "track1", "track01", "x9y", "x10", "x9"});
    EXPECT_EQ(texts(lists.original), QStringList({"/data/Track 3", "/data/track01", "/data/track1",
                                                  "/data/track2", "/data/track10", "/data/track20",
                                                  "/data/x9", "/data/x9y", "/data/x10"}));
    // A start all names share may end inside a number: it still counts whole.
    FillOriginalList(lists, dir, {"IMG_100.jpg", "IMG_19.jpg"});
    EXPECT_EQ(texts(lists.original), QStringList({"/data/IMG_19.jpg", "/data/IMG_100.jpg"}));

    EXPECT_EQ(ExtensionOf("archive.tar.gz"), "gz");
    EXPECT_EQ(ExtensionOf(".profile"), "profile");
    EXPECT_EQ(ExtensionOf("README"), "README");
    EXPECT_EQ(ExtensionOf("trailing."), "");
}

TEST(Listing, SortedInsertionOfSingleItems) {
    CheckListModel m(CheckListModel::Order::Sorted);
    QAbstractItemModelTester tester(&m);
    m.addItem("c");
    m.addItem("A");
    m.addItem("b");
    EXPECT_EQ(texts(m), QStringList({"A", "b", "c"}));
    CheckListModel appended;
    appended.addItem("c");
    appended.addItem("A");
    EXPECT_EQ(texts(appended), QStringList({"c", "A"}));
}

#ifndef Q_OS_WIN // drives POSIX calls on a real folder
TEST(Listing, DisplayFilesOnARealFolder) {
    TestFolder f;
    for (const char* n :
         {"b.txt", "a.JPG", "c.jpg", "d.txt", "README", "archive.tar.gz", ".profile"})
        f.write(n);
    f.mkdir("photos.old");
    FileLists lists;
    lists.changed.setRows({PreviewRow{"x", "y"}});
    DisplayFiles(lists, f.path());
    const QString p = f.path();
    EXPECT_EQ(texts(lists.original), QStringList({p + "a.JPG", p + "archive.tar.gz", p + "b.txt",
                                                  p + "c.jpg", p + "d.txt", p + "README"}));
    EXPECT_EQ(lists.originalCountText, "0 of 6 files selected");
    EXPECT_EQ(lists.previewCountText, "0 files in preview.");
    EXPECT_EQ(lists.changed.count(), 0);
    EXPECT_EQ(lists.original.checkedCount(), 0);
    // Both lists hold the same entries, in the enumeration's first-met order.
    QStringList exts = lists.extensions;
    EXPECT_EQ(texts(lists.include), texts(lists.exclude));
    std::sort(exts.begin(), exts.end());
    EXPECT_EQ(exts, QStringList({"JPG", "README", "gz", "jpg", "txt"}));
    for (const QString& e : texts(lists.include))
        EXPECT_TRUE(e.startsWith("*."));

    // A blank path keeps the file list and its count, and empties the rest.
    lists.original.setChecked(0, true);
    lists.originalCountText = "1 of 6 files selected";
    lists.changed.setRows({PreviewRow{"x", "y"}});
    DisplayFiles(lists, "   ");
    EXPECT_EQ(lists.original.count(), 6);
    EXPECT_TRUE(lists.original.isChecked(0));
    EXPECT_EQ(lists.originalCountText, "1 of 6 files selected");
    EXPECT_EQ(lists.include.count(), 0);
    EXPECT_EQ(lists.exclude.count(), 0);
    EXPECT_EQ(lists.changed.count(), 0);

    EXPECT_EQ(lists.listingError, "");
    // A folder that does not exist, or can't be read, lists nothing and says why.
    f.mkdir("locked");
    ASSERT_EQ(chmod(QFile::encodeName(p + "locked").constData(), 0), 0);
    DisplayFiles(lists, p + "locked/");
    if (geteuid() != 0) {
        EXPECT_EQ(lists.listingError, "Permission denied");
    }
    chmod(QFile::encodeName(p + "locked").constData(), 0755);
    DisplayFiles(lists, p + "missing/");
    EXPECT_EQ(lists.listingError, "No such file or directory");
    EXPECT_EQ(lists.original.count(), 0);
    EXPECT_EQ(lists.originalCountText, "0 of 0 files selected");
    EXPECT_EQ(lists.include.count(), 0);

    // Files added and removed show after a new listing; marks don't survive it.
    f.write("e.png");
    DisplayFiles(lists, p);
    EXPECT_EQ(lists.original.count(), 7);
    EXPECT_EQ(lists.original.checkedCount(), 0);
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

    for (int i : {0, 3, 5})
        m.setChecked(i, true);
    EXPECT_EQ(m.checkedCount(), 3);
    EXPECT_EQ(SelectionCountText(m.checkedCount(), m.count()), "3 of 12 files selected");
    m.setChecked(3, true); // no change, no notification
    EXPECT_EQ(marks.count(), 3);

    SetAllMarks(m, 1);
    EXPECT_EQ(m.checkedCount(), 12);
    EXPECT_EQ(marks.count(), 12); // one per mark that changed
    m.setChecked(4, false);
    EXPECT_EQ(SelectionCountText(m.checkedCount(), m.count()), "11 of 12 files selected");
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
    EXPECT_EQ(texts(m).mid(0, 4), QStringList({"f03", "f00", "f01", "f02"}));
    EXPECT_EQ(m.currentIndex(), 0);
    EXPECT_TRUE(m.isChecked(0));
    EXPECT_FALSE(m.isChecked(3));
    EXPECT_EQ(m.checkedCount(), 1);
    // Up then Down puts everything back.
    m.setCurrentIndex(5);
    EXPECT_TRUE(MoveCurrentUp(m));
    EXPECT_TRUE(MoveCurrentDown(m));
    EXPECT_EQ(m.currentIndex(), 5);
    EXPECT_EQ(m.text(5), "f05");
    m.setCurrentIndex(11);
    EXPECT_FALSE(MoveCurrentDown(m));
    m.setCurrentIndex(-1);
    EXPECT_FALSE(MoveCurrentUp(m));
    EXPECT_FALSE(MoveCurrentDown(m));

    CheckListModel one;
    one.addItem("only");
    one.setCurrentIndex(0);
    EXPECT_FALSE(MoveCurrentUp(one));
    EXPECT_FALSE(MoveCurrentDown(one));
}

#ifndef Q_OS_WIN // drives POSIX calls on a real folder
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
    f.write("gone.txt");
    l.original.addItem(f.file("gone.txt"));
    QFile::remove(f.file("gone.txt"));
    l.original.setChecked(1, true); // a10.jpg
    l.original.setCurrentIndex(1);
    const struct {
        SortKey key;
        bool descending;
        const char* order;
    } rows[] = {
        {SortKey::Size, false, "c a10.jpg a9.png b.txt gone.txt"},
        {SortKey::Size, true, "b.txt a9.png a10.jpg c gone.txt"},
        {SortKey::Modified, true, "c a10.jpg b.txt a9.png gone.txt"},
        {SortKey::Extension, false, "c a10.jpg a9.png b.txt gone.txt"},
        {SortKey::Name, true, "gone.txt c b.txt a10.jpg a9.png"},
        {SortKey::Name, false, "a9.png a10.jpg b.txt c gone.txt"},
    };
    for (const auto& r : rows) {
        SortOriginalList(l.original, r.key, r.descending);
        QStringList names;
        for (int i = 0; i < l.original.count(); ++i)
            names << basTavlo::FileNameOf(l.original.text(i));
        EXPECT_EQ(names.join(' '), r.order) << int(r.key) << r.descending;
        const int at = int(names.indexOf("a10.jpg"));
        EXPECT_EQ(l.original.currentIndex(), at);
        EXPECT_TRUE(l.original.isChecked(at));
        EXPECT_EQ(l.original.checkedCount(), 1);
    }
}
#endif
