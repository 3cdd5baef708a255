#include "TestFolder.h"
#include "listing/FileLists.h"
#include "rename/Filters.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

namespace {

QString newNames(const FileLists& l) {
    QStringList out;
    for (const PreviewRow& r : l.changed.rows())
        out << basTavlo::FileNameOf(r.newPath);
    return out.join(' ');
}

} // namespace

// Rows in the list's order with its numbers: a file filtered out still uses its number;
// tags number the rows without gaps; a preview that reads what files hold can be stopped.
TEST(Preview, RowsFollowTheListAndItsNumbers) {
    UseTimeZone("UTC");
    TestFolder f;
    for (const char* n : {"a.jpg", "b.txt", "c.jpg", "d.jpg"})
        f.write(n, n);
    FileLists l;
    DisplayFiles(l, f.path());
    RenameSettings s;
    s.optFilenameModifications = false;
    s.optSequencing = s.optNumeric = true;
    s.txtDigitStartWith = "1";
    s.txtDigits = "2";
    FilterSettings filters;
    filters.chkFilterOnExtension = filters.chkExclude = 1;
    for (int i = 0; i < l.exclude.count(); ++i)
        l.exclude.setChecked(i, l.exclude.text(i) == "*.txt");
    for (int i : {0, 1, 3}) // unchecked c.jpg uses no number
        l.original.setChecked(i, true);
    PreviewFiles(l, s, filters);
    EXPECT_EQ(newNames(l), "01a.jpg 03d.jpg");
    EXPECT_EQ(l.previewCountText, "2 files in preview.");
    EXPECT_EQ(l.changed.row(0).oldPath, f.file("a.jpg"));
    EXPECT_EQ(l.changed.row(0).newPath, f.file("01a.jpg"));
    RenameSettings tags;
    tags.chkPrefix = 1;
    tags.txtPrefix = "<n:2>-<modified:yyyy>-";
    for (const char* n : {"a.jpg", "d.jpg"})
        TestFolder::setTimes(f.file(n), utc(2019, 5, 6, 7, 8, 9), utc(2019, 5, 6, 7, 8, 9));
    PreviewFiles(l, tags, filters);
    EXPECT_EQ(newNames(l), "01-2019-a.jpg 02-2019-d.jpg");
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
    EXPECT_TRUE(newNames(l).endsWith("02-2019-d.jpg")); // the list stays as it was
    EXPECT_TRUE(PreviewFiles(l, photos, filters, [](qint64, qint64) { return true; }));
    EXPECT_TRUE(newNames(l).endsWith(" 2019-d.jpg"));
    // A tag that can't be read leaves every row without a name, and says why once.
    tags.txtPrefix = "<dat>";
    PreviewFiles(l, tags, filters);
    EXPECT_EQ(l.changed.count(), 2);
    EXPECT_EQ(l.changed.row(1).status, RowStatus::BadSetting);
    ASSERT_TRUE(l.changed.problem());
    EXPECT_EQ(l.changed.problem()->what, "<dat>");
    EXPECT_EQ(RenameFiles(l.changed.rows(), {}).rows[0].outcome, RowOutcome::NotComposed);
    EXPECT_TRUE(QFile::exists(f.file("a.jpg")));
    PreviewFiles(l, s, filters); // again: the same rows
    EXPECT_EQ(newNames(l), "01a.jpg 03d.jpg");
    // A filter on times reads them: d.jpg is from 2019.
    const FilterSettings after2020{.chkFilterOnTimes = 1,
                                   .modified = {1, 2, {2020, 1, 1, 0, 0, 0}}};
    PreviewFiles(l, s, after2020);
    EXPECT_EQ(newNames(l), "02b.txt");
    l.original.setCurrentIndex(3); // d.jpg to the top is numbered first
    for (int i = 0; i < 3; ++i)
        MoveCurrentUp(l.original);
    PreviewFiles(l, s, FilterSettings{});
    EXPECT_EQ(newNames(l), "01d.jpg 02a.jpg 03b.txt");
    l.original.setAllChecked(false); // nothing checked, or an empty list: no rows
    PreviewFiles(l, s, filters);
    EXPECT_EQ(l.previewCountText, "0 files in preview.");
    FileLists empty;
    PreviewFiles(empty, s, filters);
    EXPECT_EQ(empty.changed.count(), 0);
}
