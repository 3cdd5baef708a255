#include "TestFolder.h"
#include "files/BoundedFile.h"
#include "listing/FileLists.h"
#include "rename/Filters.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using basTavlo::DateTime;
using basTavlo::FileDetails;

namespace {

FileDetails details(bool readOnly, bool archive, DateTime modified = {}) {
    FileDetails d;
    d.ReadOnly = readOnly, d.Archive = archive;
    d.Modified = modified;
    return d;
}

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
    RenameSettings s{.optFilenameModifications = false, .optSequencing = true};
    s.optNumeric = true, s.txtDigitStartWith = "1", s.txtDigits = "2";
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
    RenameSettings tags{.chkPrefix = 1, .txtPrefix = "<n:2>-<modified:yyyy>-"};
    for (const char* n : {"a.jpg", "d.jpg"})
        TestFolder::setTimes(f.file(n), utc(2019, 5, 6, 7, 8, 9), utc(2019, 5, 6, 7, 8, 9));
    PreviewFiles(l, tags, filters);
    EXPECT_EQ(newNames(l), "01-2019-a.jpg 02-2019-d.jpg");
    const RenameSettings photos{.chkPrefix = 1, .txtPrefix = "<taken|modified:yyyy>-"};
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

// A number only where new names clash: bursts of one second, a name held outside the plan,
// the number's formats; and "<n>" without gaps for rows left alone.
TEST(Preview, NumbersOnlyWhereNamesClash) {
    UseTimeZone("UTC");
    const struct {
        const char* prefix;
        std::vector<const char*> held; // unchecked files already there
        const char* expected;
    } cases[] = {
        {"<modified:HHmmss><dup:-#>",
         {},
         "100000.txt 100000-2.txt 100000-3.txt 110000.txt "
         "110000-2.txt"},
        {"<modified:HHmmss><dup:-#>",
         {"100000.txt"},
         "100000-2.txt 100000-3.txt 100000-4.txt "
         "110000.txt 110000-2.txt"},
        {"<modified:HHmmss><dup:_##>",
         {},
         "100000.txt 100000_02.txt 100000_03.txt 110000.txt "
         "110000_02.txt"},
        {"<modified:HHmmss><dup>",
         {"110000.txt"},
         "100000.txt 100000 (2).txt 100000 (3).txt "
         "110000 (2).txt 110000 (3).txt"},
        // A "<dup>" name that is itself held stays as it is, and the preview says so.
        {"<modified:HHmmss><dup:-#>",
         {"100000-2.txt"},
         "100000.txt 100000-2.txt 100000-3.txt "
         "110000.txt 110000-2.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        TestFolder f;
        const char* burst[] = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
        for (int i = 0; i < 5; ++i) {
            f.write(burst[i], burst[i]);
            const qint64 t = utc(2024, 6, 1, i < 3 ? 10 : 11, 0, 0);
            TestFolder::setTimes(f.file(burst[i]), t, t);
        }
        for (const char* h : c.held)
            f.write(h, "held");
        FileLists l;
        DisplayFiles(l, f.path());
        for (int i = 0; i < l.original.count(); ++i)
            l.original.setChecked(i,
                                  !c.held.empty() ? !l.original.text(i).endsWith(c.held[0]) : true);
        RenameSettings s{.optFilenameModifications = false, .optSequencing = true};
        s.chkSeqPrefix = 1, s.txtSeqPrefix = c.prefix, s.chkKeepName = 0;
        PreviewFiles(l, s, {});
        EXPECT_EQ(newNames(l), c.expected);
        bool taken = false;
        for (const PreviewRow& r : l.changed.rows())
            taken |= r.status == RowStatus::TargetExists;
        EXPECT_EQ(taken, QString(c.expected).contains(c.held.empty() ? "\1" : c.held[0]));
    }
    // A file with no date taken is left alone and takes no number.
    TestFolder f;
    f.write("a.jpg", TestData("taken.jpg"));
    f.write("b.jpg", "no picture");
    f.write("c.jpg", TestData("taken.jpg"));
    FileLists l;
    DisplayFiles(l, f.path());
    l.original.setAllChecked(true);
    PreviewFiles(l, RenameSettings{.chkPrefix = 1, .txtPrefix = "<n:2>-<taken:yyyy>-"}, {});
    EXPECT_EQ(newNames(l), "01-2021-a.jpg b.jpg 02-2021-c.jpg");
}

// Each photo is read where it is looked up, and what the preview reads is the file's own: a
// small one, one whose EXIF lies past the first 64 KB, an empty one; a link is not followed,
// and can't be read; a photo marked hidden is left out.
TEST(Preview, ReadsEachPhotoAsItIs) {
    TestFolder f;
    const QByteArray photo = TestData("taken.jpg");
    const QByteArray comment = QByteArray::fromHex("fffe9c42") + QByteArray(40000, 'x');
    f.write("a.jpg", photo);
    f.write("b.jpg", photo.left(2) + comment + comment + photo.mid(2));
    f.write("d.jpg", photo);
    f.write("e.jpg");
#ifndef Q_OS_WIN
    ASSERT_TRUE(QFile::link(f.file("a.jpg"), f.file("c.jpg")));
    f.write("g.jpg", photo);
    const auto openFiles = [] { return QDir("/proc/self/fd").count(); };
    const auto wereOpen = openFiles();
#endif
    FileLists l;
    DisplayFiles(l, f.path());
    l.original.setAllChecked(true);
    ASSERT_TRUE(basTavlo::SetAttributes(f.file("d.jpg"), basTavlo::AttrHidden)); // since listed
#ifndef Q_OS_WIN
    // A pipe since listed: opened without waiting, closed unread, and given no row.
    ASSERT_TRUE(QFile::remove(f.file("g.jpg")));
    ASSERT_EQ(mkfifo(QFile::encodeName(f.file("g.jpg")).constData(), 0600), 0);
#endif
    const RenameSettings s{.chkPrefix = 1, .txtPrefix = "<taken:yyyy-MM-dd HH.mm.ss.zzz>_"};
    ASSERT_TRUE(PreviewFiles(l, s, FilterSettings{}, [](qint64, qint64) { return true; }));
    QStringList rows;
    for (const PreviewRow& r : l.changed.rows())
        rows << basTavlo::FileNameOf(r.status == RowStatus::Ok ? r.newPath : r.oldPath);
#ifndef Q_OS_WIN
    EXPECT_EQ(openFiles(), wereOpen); // each file it opened, closed
    EXPECT_EQ(rows.join('|'), "2021-07-14 09.30.00.123_a.jpg|2021-07-14 09.30.00.123_b.jpg|"
                              "c.jpg|e.jpg");
    EXPECT_EQ(int(l.changed.rows()[2].status), int(RowStatus::Unreadable));
#else
    EXPECT_EQ(rows.join('|'), "2021-07-14 09.30.00.123_a.jpg|2021-07-14 09.30.00.123_b.jpg|e.jpg");
#endif
    EXPECT_EQ(int(l.changed.rows().back().status), int(RowStatus::NoDateTaken));
}

// New names the system can't take are red before anything is renamed.
#ifndef Q_OS_WIN
// Hostile files met by a preview and a sort that read contents: heads of movie formats named
// as photos, 2 GB files (holes, no disk spent) whose headers claim gigabytes, and a pipe and a
// link to /dev/zero put in after the listing. Each is read within the readers' bounds, none
// waits, and a file that can't be read so says.
TEST(Preview, HostileFilesAreReadWithinBounds) {
    const QByteArray asf = QByteArray::fromHex("3026b2758e66cf11a6d900aa0062ce6c5000000000000000");
    const struct {
        const char* name;
        QByteArray head;
        qint64 size;
    } files[] = {
        {"asf.jpg", asf + QByteArray(56, '\x11'), 80},
        {"padded.wmv", asf + QByteArray(40, '\x22') + QByteArray(16, '\0'), 96},
        {"qt.dng", QByteArray::fromHex("0000001466747970717420200000000071742020ffffffff6d6f6f76"),
         64},
        {"huge.webp", QByteArray::fromHex("52494646f0ffffff5745425056503858f0ffff7f"), 2LL << 30},
        {"huge.m4a",
         QByteArray::fromHex("00000018667479704d344120000000004d3441207ffffff06d6f6f76"),
         2LL << 30},
        {"huge.heic",
         QByteArray::fromHex("000000186674797068656963000000006d69663168656963"
                             "7ffffff06d657461"),
         2LL << 30},
        {"huge.png", QByteArray::fromHex("89504e470d0a1a0a7ffffff074455874"), 2LL << 30},
        {"huge.jpg", QByteArray::fromHex("ffd8ffe1fffe45786966000049492a00"), 2LL << 30},
        {"fifo.jpg", {}, 0},
        {"zero.mp3", {}, 0},
        {"growing.mp3", "ID3\x04\0\0\x7f\x7f\x7f\x7f", 0}, // grows while it is read
    };
    TestFolder f;
    for (const auto& file : files) {
        QFile out(f.file(file.name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file.head);
        ASSERT_TRUE(out.resize(std::max<qint64>(file.size, file.head.size())));
    }
    FileLists l;
    DisplayFiles(l, f.path());
    l.original.setAllChecked(true);
    ASSERT_EQ(l.original.count(), int(std::size(files)));
    ASSERT_TRUE(QFile::remove(f.file("fifo.jpg")) && QFile::remove(f.file("zero.mp3")));
    ASSERT_EQ(mkfifo(QFile::encodeName(f.file("fifo.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", f.file("zero.mp3")));
    std::atomic<bool> stop{false};
    std::thread grower([&] {
        QFile g(f.file("growing.mp3"));
        if (!g.open(QIODevice::ReadWrite))
            return;
        while (!stop && g.size() < (8LL << 30)) { // sparse: it takes no room
            g.resize(g.size() + (16 << 20));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const qint64 before = BytesRead();
    const RenameSettings s{.chkPrefix = 1, .txtPrefix = "<taken> <artist>_"};
    ASSERT_TRUE(PreviewFiles(l, s, FilterSettings{}, [](qint64, qint64) { return true; }));
    const auto go = [](qint64, qint64) { return true; };
    EXPECT_TRUE(SortOriginalList(l.original, SortKey::Taken, false, go));
    const QString sorted = NamesOf(l.original);
    EXPECT_FALSE(
        SortOriginalList(l.original, SortKey::Taken, true, [](qint64, qint64) { return false; }));
    EXPECT_EQ(NamesOf(l.original), sorted); // a stopped sort leaves the list as it was
    SortOriginalList(l.original, SortKey::AlbumDiscTrack, false);
    stop = true;
    grower.join();
    const qint64 read = BytesRead() - before;
    EXPECT_LT(read, 3 * std::size(files) * BoundedFile::kByteBound) << read;
    struct rusage use;
    ASSERT_EQ(getrusage(RUSAGE_SELF, &use), 0);
    EXPECT_LT(use.ru_maxrss, 200 * 1024); // KB: this process's peak, whatever it read
    ASSERT_EQ(l.changed.count(), int(std::size(files)) - 1); // the pipe is no file to rename
    for (const PreviewRow& r : l.changed.rows()) {
        const bool bad = r.status == RowStatus::Unreadable || r.status == RowStatus::NoDateTaken ||
                         r.status == RowStatus::MissingValue;
        EXPECT_TRUE(bad) << r.oldPath.toStdString() << " " << int(r.status);
    }
}
#endif

TEST(Preview, NewNamesTheSystemCannotTake) {
    using S = RowStatus;
    const std::pair<QString, RowStatus> rows[] = {
        {"", S::EmptyName},           {".", S::DotName},
        {"..", S::DotName},           {"..a", S::Ok},
        {"a/b", S::InvalidCharacter}, {QString(QChar(0)) + "a", S::InvalidCharacter},
        {QString(255, 'a'), S::Ok},   {QString(256, 'a'), S::NameTooLong}};
    for (const auto& [name, want] : rows)
        EXPECT_EQ(CheckNewName(name, 255), want) << name.left(8).toStdString() << name.size();
#ifndef Q_OS_WIN
    const QString e = QString::fromUtf8("\u00e9"); // two bytes on disk
    EXPECT_EQ(CheckNewName(e.repeated(127) + "a", 255), S::Ok);
    EXPECT_EQ(CheckNewName(e.repeated(128), 255), S::NameTooLong);
#endif
}

// Attribute sets, times to the second, and extension lists: each filter alone, then
// together, where a file must pass them all.
TEST(Filters, AttributesTimesAndExtensions) {
    const CheckListModel none;
    const FileDetails plain = details(false, false), ro = details(true, false),
                      roArchive = details(true, true);
    const struct {
        int includeExclude; // 0 include, anything else exclude
        bool readOnlyBox;
        bool plain, ro, roArchive; // passes
    } sets[] = {
        {0, false, true, false, false}, // include, no boxes: only files without the four
        {1, false, false, true, true},
        {-1, false, false, true, true}, // no choice works as exclude
        {1, true, true, false, true},
        {0, true, false, true, false},
    };
    FilterSettings f;
    EXPECT_TRUE(FilterRun(f, none, none).PassesFilters("/a", roArchive)); // all off
    f.chkFilterOnAttributes = 1;
    for (const auto& r : sets) {
        SCOPED_TRACE(r.includeExclude * 10 + r.readOnlyBox);
        f.cboIncludeExclude = r.includeExclude, f.chkFilterReadOnly = r.readOnlyBox;
        const FilterRun run(f, none, none);
        EXPECT_EQ(run.PassesFilters("/a", plain), r.plain);
        EXPECT_EQ(run.PassesFilters("/a", ro), r.ro);
        EXPECT_EQ(run.PassesFilters("/a", roArchive), r.roArchive);
    }
    EXPECT_EQ(AttributeSetText(true, true, true, true), "RASH");
    EXPECT_EQ(AttributeSetText(false, true, false, true), "AH");

    const DateTime ref{2024, 5, 1, 12, 0, 0};
    const FileDetails before = details(false, false, {2024, 5, 1, 11, 59, 59}),
                      on = details(false, false, ref),
                      after = details(false, false, {2024, 5, 1, 12, 0, 1});
    FilterSettings t;
    t.modified = {1, 1, ref};
    EXPECT_TRUE(FilterRun(t, none, none).PassesFilters("/a", before)); // group box off
    t.chkFilterOnTimes = 1;
    const std::tuple<int, bool, bool, bool> times[] = {{0, true, false, false},
                                                       {1, false, true, false},
                                                       {2, false, false, true},
                                                       {-1, true, true, true}};
    for (const auto& [choice, b, o, a] : times) {
        SCOPED_TRACE(choice);
        t.modified.choice = choice;
        const FilterRun run(t, none, none);
        EXPECT_EQ(run.PassesFilters("/a", before), b);
        EXPECT_EQ(run.PassesFilters("/a", on), o);
        EXPECT_EQ(run.PassesFilters("/a", after), a);
    }
    // Two time filters: both must pass. The zero record's creation is in 1601.
    t.modified.choice = 2;
    t.creation = {1, 2, ref};
    EXPECT_FALSE(FilterRun(t, none, none).PassesFilters("/a", after));
    t.creation.choice = 0;
    EXPECT_TRUE(FilterRun(t, none, none).PassesFilters("/a", after));
    t.chkFilterOnAttributes = 1, t.cboIncludeExclude = 0, t.chkFilterHidden = 1;
    EXPECT_FALSE(FilterRun(t, none, none).PassesFilters("/a", after)); // an attribute says no

    CheckListModel include, exclude, both;
    for (const auto& [text, checked] : {std::pair("*.jpg", true),
                                        {"*.txt", false},
                                        {"*.README", true},
                                        {"*.noext", false},
                                        {"*.", false}}) {
        include.addItem(text);
        include.setChecked(include.count() - 1, checked);
    }
    for (const char* text : {"*.jpg", "*.txt", "*.jpg"}) // a later checked entry still counts
        exclude.addItem(text);
    exclude.setChecked(1, true), exclude.setChecked(2, true);
    both.addItem("*.txt");
    both.setChecked(0, true);
    FilterSettings e;
    e.chkFilterOnExtension = e.chkInclude = 1;
    const std::tuple<const CheckListModel*, const CheckListModel*, int, const char*, bool> paths[] =
        {
            {&include, &exclude, 1, "/p/a.jpg", true},
            {&include, &exclude, 1, "/p/b.txt", false},
            {&include, &exclude, 1, "/p/c.JPG", true},
            {&include, &exclude, 1, "/p.old/README", true},
            {&include, &exclude, 1, "/p.old/noext", false},
            {&include, &exclude, 1, "/p/ends.", false},
            {&include, &exclude, 0, "/p/b.txt", false},
            {&include, &exclude, 0, "/p/a.jpg", false},
            {&include, &exclude, 0, "/p/c.png", true},
            {&include, &exclude, 0, "/p.d/ends.", true},
            {&include, &include, 0, "/p.d/README", false},
            {&both, &both, 1, "/p/b.txt", false},
        };
    for (const auto& [in, out, includeBox, path, passes] : paths) {
        e.chkInclude = includeBox, e.chkExclude = !includeBox || in == out;
        EXPECT_EQ(FilterRun(e, *in, *out).PassesFilters(path, plain), passes) << path;
    }
    EXPECT_EQ(ExtensionKey("/p/archive.tar.gz"), "*.gz");
    EXPECT_EQ(ExtensionKey("/p.d/README"), "*.README");
}
