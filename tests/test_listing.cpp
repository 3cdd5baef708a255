#include "TestFolder.h"
#include "listing/FileLists.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
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
