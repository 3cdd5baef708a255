#include "TestFolder.h"
#include "files/basTavlo.h"
#include "listing/FileLists.h"
#include "media/Metadata.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {

// Runs a tool quietly; true when it succeeds.
bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small image made by mkfs and mounted on a fresh folder, unmounted at the end.
class Volume {
public:
    Volume(const QString& mkfs, QStringList mkfsArgs, const QString& mounter, QStringList mountArgs,
           int megabytes) {
        m_holder.mkdir("m");
        const QString image = m_holder.path() + "v.img";
        m_dir = m_holder.path() + "m";
        QFile img(image); // mkfs.fat -C makes its own (megabytes 0)
        if (megabytes && (!img.open(QIODevice::NewOnly) || !img.resize(qint64(megabytes) << 20)))
            return;
        img.close();
        mkfsArgs.replaceInStrings("IMG", image);
        mountArgs.replaceInStrings("IMG", image).replaceInStrings("DIR", m_dir);
        m_fuse = mounter != "mount";
        m_mounter = mounter;
        m_mountArgs = mountArgs;
        m_up = run(mkfs, mkfsArgs) && run(mounter, mountArgs);
        // A FUSE driver may exit 0 without a mount (no /dev/fuse for this user).
        struct stat in {
        }, out{};
        if (m_up && (stat(QFile::encodeName(m_dir).constData(), &in) != 0 ||
                     stat(QFile::encodeName(m_holder.path()).constData(), &out) != 0 ||
                     in.st_dev == out.st_dev)) {
            run("fusermount", {"-u", m_dir});
            m_up = false;
        }
    }
    ~Volume() {
        if (m_up)
            unmount();
    }
    bool up() const { return m_up; }
    // What the volume keeps, as it reads after an unmount.
    bool remount() { return unmount() && (m_up = run(m_mounter, m_mountArgs)); }
    QString file(const QString& name) const { return m_dir + '/' + name; }
    QString folder() const { return m_dir + '/'; }
    void write(const QString& name) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::NewOnly));
        f.write(name.toUtf8());
    }

private:
    bool unmount() {
        m_up = !run(m_fuse ? "fusermount" : "umount",
                    m_fuse ? QStringList{"-u", m_dir} : QStringList{m_dir});
        return !m_up;
    }

    TestFolder m_holder;
    QString m_dir;
    QString m_mounter;
    QStringList m_mountArgs;
    bool m_fuse = false;
    bool m_up = false;
};

// What getfattr shows of one attribute, as hex; empty where the file has none.
QByteArray getfattr(const QString& path, const char* name) {
    QProcess p;
    p.start("getfattr", {"--absolute-names", "-e", "hex", "-n", name, path});
    p.waitForFinished();
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at = out.indexOf(QByteArray(name) + '=');
    return p.exitCode() == 0 && at >= 0 ? out.mid(at + qstrlen(name) + 1).trimmed() : QByteArray();
}

} // namespace

// A ramfs: a file system without extended attributes.
TEST(Ramfs, ReadsWhatItCanAndReportsWhatItCannotWrite) {
    const Volume v("true", {}, "mount", {"-t", "ramfs", "zov-test", "DIR"}, 0);
    if (!v.up())
        GTEST_SKIP() << "can't mount a ramfs here (needs root)";
    v.write("a.jpg");
    v.write(".hidden");
    std::vector<QString> names;
    ASSERT_TRUE(basTavlo::ListFolderFiles(v.folder(), names));
    EXPECT_EQ(names, std::vector<QString>{"a.jpg"});
    EXPECT_EQ(basTavlo::GetAttributes(v.file("a.jpg")), 0u);
    EXPECT_TRUE(basTavlo::SetAttributes(v.file("a.jpg"), basTavlo::AttrReadOnly));
    // Hidden can't be kept: the file stays as it was, read-only too.
    EXPECT_FALSE(basTavlo::SetAttributes(v.file("a.jpg"), basTavlo::AttrHidden));
    EXPECT_EQ(basTavlo::GetAttributes(v.file("a.jpg")), basTavlo::AttrReadOnly);

    // The rename goes through; the creation time and the hidden bit are reported as not set.
    AdvancedSettings s;
    s.chkModifyDateTime = s.chkFileCreation = s.chkFileModified = 1;
    s.creation = s.modified = basTavlo::DateTime{2020, 2, 2, 2, 2, 2};
    s.chkModifyAttributes = s.chkHidden = 1;
    QStringList messages;
    const RunReport r = RenameFiles({PreviewRow{v.file("b.jpg"), v.file("a.jpg"), RowStatus::Ok,
                                                basTavlo::IdOf(v.file("a.jpg"))}},
                                    s, {{}, [&](const QString& m) { messages << m; }});
    EXPECT_EQ(r.rows[0].outcome, RowOutcome::Renamed);
    EXPECT_TRUE(r.rows[0].timesNotSet);
    EXPECT_TRUE(r.rows[0].attributesNotSet);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(messages, QStringList{"Hidden Attribute NOT set."});
    EXPECT_EQ(basTavlo::GetFileTimes(v.file("b.jpg")).Modified, s.modified);

    // It keeps neither birth times nor generations: a file whose size or change time moved
    // since the preview may be a new one under an old one's number, and is left, and said
    // so; the others go.
    for (const char* n : {"c.jpg", "d.jpg", "e.jpg"})
        v.write(n);
    FileLists l;
    DisplayFiles(l, v.folder());
    l.original.setAllChecked(true);
    PreviewFiles(l, RenameSettings{.chkPrefix = 1, .txtPrefix = "x"}, {});
    ASSERT_EQ(l.changed.count(), 4);
    EXPECT_TRUE(l.changed.row(0).id.printed());
    QFile changed(v.file("e.jpg"));
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("more");
    changed.close();
    const RunReport again = RenameFiles(l.changed.rows(), {});
    for (const PreviewRow& row : again.rows)
        EXPECT_EQ(row.outcome, row.oldPath.endsWith("e.jpg") ? RowOutcome::ChangedSincePreview
                                                             : RowOutcome::Renamed)
            << row.oldPath.toStdString();
}

// A FAT volume through the FUSE driver, which offers neither RENAME_NOREPLACE nor hard
// links: renames go over a reserved name, and still never replace a file.
TEST(FuseFat, RenamesWithoutNoReplaceOrLinks) {
    const Volume v("mkfs.fat", {"-C", "IMG", "1024"}, "fusefat", {"-o", "rw+", "IMG", "DIR"}, 0);
    if (!v.up())
        GTEST_SKIP() << "can't mount a FUSE FAT volume here (needs fusefat, dosfstools and "
                        "/dev/fuse)";
    const QString m = v.folder();
    for (const char* n : {"1.jpg", "2.jpg", "x.txt", "y.txt", "keep.txt", "k.txt", "held.txt"})
        v.write(n);
    auto row = [&](const char* from, const char* to) {
        return PreviewRow{m + to, m + from, RowStatus::Ok, basTavlo::IdOf(m + from)};
    };
    // FAT folds case: the swap by case goes round as a cycle, a clash by case is seen, with
    // another row or with a file outside the plan.
    EXPECT_TRUE(basTavlo::FolderFoldsCase(m + "x.txt"));
    std::vector<PreviewRow> rows = {row("1.jpg", "2.jpg"),    row("2.jpg", "3.jpg"),
                                    row("x.txt", "Y.TXT"),    row("y.txt", "X.TXT"),
                                    row("keep.txt", "3.JPG"), row("k.txt", "HELD.TXT")};
    // "<dup>" numbers names equal by the folder's rule: 3.JPG after 3.jpg, HELD.TXT after the
    // file held.txt.
    EXPECT_EQ(NumbersWhereNamesClash(rows), (std::vector<qint64>{0, 0, 0, 0, 2, 2}));
    MarkConflicts(rows);
    EXPECT_EQ(rows[4].status, RowStatus::DuplicateTarget);
    EXPECT_EQ(rows[5].status, RowStatus::TargetExists);
    rows.resize(4);
    const RunReport r = RenameFiles(rows, {});
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(basTavlo::RenameFile(m + "2.jpg", m + "keep.txt"),
              basTavlo::RenameError::TargetExists);
    // Its entries have bits that no call here reads or changes: none is said to be set.
    for (const quint32 bits : {0u, quint32(basTavlo::AttrReadOnly), quint32(basTavlo::AttrArchive)})
        EXPECT_FALSE(basTavlo::SetAttributes(m + "keep.txt", bits)) << bits;
    const Contents expected{{"2.jpg", "1.jpg"},      {"3.jpg", "2.jpg"},       {"X.TXT", "y.txt"},
                            {"Y.TXT", "x.txt"},      {"keep.txt", "keep.txt"}, {"k.txt", "k.txt"},
                            {"held.txt", "held.txt"}};
    EXPECT_EQ(ContentsOf(m), expected);
    // What the volume refused is asked once a run: the first file tries the flag, a link
    // and the reservation; the others go straight over a reservation.
    for (const char* n : {"p.txt", "q.txt", "r.txt"})
        v.write(n);
    int calls = 0;
    basTavlo::testing::AtEachRenameCall([&](basTavlo::testing::Moment when, auto&, auto&) {
        calls += when == basTavlo::testing::Moment::JustBefore;
    });
    const RunReport once =
        RenameFiles({row("p.txt", "p1.txt"), row("q.txt", "q1.txt"), row("r.txt", "r1.txt")}, {});
    basTavlo::testing::AtEachRenameCall({});
    EXPECT_EQ(once.failed, 0);
    EXPECT_EQ(calls, 3 + 1 + 1);
}

// ext4 with 128-byte inodes keeps 1901 to 2038 and clamps the rest without a word; a
// creation time before 1601, or at its first instant, has no file time at all.
TEST(SmallInodeExt4, TimesThatCantBeStoredAreReportedNotSet) {
    const Volume v("mkfs.ext4", {"-q", "-F", "-I", "128", "IMG"}, "mount",
                   {"-o", "loop", "IMG", "DIR"}, 4);
    if (!v.up())
        GTEST_SKIP() << "can't loop-mount an ext4 image here (needs root and e2fsprogs)";
    v.write("a.jpg");
    const QString a = v.file("a.jpg");
    basTavlo::StampTarget t(a, basTavlo::IdOf(a));
    const qint64 y2050 = utc(2050, 1, 1, 0, 0, 0), y2000 = utc(2000, 1, 1, 0, 0, 0);
    const basTavlo::SetTimesResult r = t.setTimes({y2050, y2050, y2000});
    EXPECT_TRUE(r.creationSet); // kept in user.DOSATTRIB, which holds any time
    EXPECT_FALSE(r.lastWriteSet);
    EXPECT_TRUE(r.lastAccessSet);
    const QByteArray kept = TestFolder::xattr(a);
    for (const qint64 early : {utc(1600, 6, 1, 0, 0, 0), utc(1601, 1, 1, 0, 0, 0)}) {
        EXPECT_FALSE(t.setTimes({early, {}, {}}).creationSet);
        EXPECT_EQ(TestFolder::xattr(a), kept);
    }
    EXPECT_EQ(basTavlo::GetFileTimes(a).Created, basTavlo::UtcToLocal(y2050));
    // Without birth times, a file made in a deleted one's place gets its number back; the
    // inode's generation tells it from the file the preview saw.
    v.write("b.jpg");
    const PreviewRow row{v.file("c.jpg"), v.file("b.jpg"), RowStatus::Ok,
                         basTavlo::IdOf(v.file("b.jpg"))};
    ASSERT_TRUE(QFile::remove(v.file("b.jpg")));
    v.write("b.jpg");
    ASSERT_EQ(basTavlo::IdOf(v.file("b.jpg")).file, row.id.file);
    EXPECT_EQ(RenameFiles({row}, {}).rows[0].outcome, RowOutcome::GoneOrReplaced);
}

// On NTFS through ntfs-3g the bits and the creation time are the volume's own.
TEST(Ntfs3g, BitsAndCreationTimeAreTheVolumes) {
    Volume v("mkntfs", {"-F", "-q", "-f", "IMG"}, "ntfs-3g", {"IMG", "DIR"}, 8);
    if (!v.up())
        GTEST_SKIP() << "can't mount an NTFS image here (needs ntfs-3g, root and /dev/fuse)";
    v.write("a.jpg");
    v.write("b.jpg");
    using namespace basTavlo;
    const QString a = v.file("a.jpg"), b = v.file("b.jpg");
    ASSERT_TRUE(SetAttributes(a, AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
    EXPECT_EQ(getfattr(a, "system.ntfs_attrib"), "0x27000000");
    EXPECT_EQ(getfattr(a, "user.DOSATTRIB"), QByteArray());
    const qint64 created = utc(2001, 8, 1, 22, 30, 0), modified = utc(2002, 3, 4, 5, 6, 7),
                 accessed = utc(2003, 1, 2, 3, 4, 5);
    ASSERT_TRUE(SetFileTimes(a, TimesToSet{created, modified, accessed}).ok());
    ASSERT_TRUE(v.remount()); // ntfs-3g keeps some times only until the unmount
    const FindData kept = GetFileInfo(a);
    const qint64 toFileTime = 10000000;
    EXPECT_EQ(kept.lastWriteTime, (modified + kFileTimeEpochOffsetSecs) * toFileTime);
    EXPECT_EQ(kept.lastAccessTime, (accessed + kFileTimeEpochOffsetSecs) * toFileTime);
    const quint64 ft = quint64(created + kFileTimeEpochOffsetSecs) * 10000000;
    EXPECT_EQ(getfattr(a, "system.ntfs_crtime"),
              "0x" + QByteArray::number(qToBigEndian(ft), 16).rightJustified(16, '0'));
    EXPECT_EQ(GetFileInfo(a).creationTime, qint64(ft));
    EXPECT_EQ(GetAttributes(a), AttrReadOnly | AttrHidden | AttrSystem | AttrArchive);
    // What another program sets is read, and the hidden file is left out of the list.
    ASSERT_TRUE(run("setfattr", {"-n", "system.ntfs_attrib", "-v", "0x01000000", b}));
    EXPECT_EQ(GetAttributes(b), AttrReadOnly);
    char room[16]; // and through the open a preview makes for a photo's first bytes
    Head head{room, sizeof room};
    EXPECT_EQ(Folder(v.folder()).info(u"b.jpg", &head).attributes & AttrReadOnly, AttrReadOnly);
    EXPECT_EQ(QByteArrayView(room, head.size), "b.jpg");
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(v.folder(), names));
    EXPECT_EQ(names, std::vector<QString>{"b.jpg"});
    ASSERT_TRUE(SetAttributes(a, AttrArchive));
    EXPECT_EQ(getfattr(a, "system.ntfs_attrib"), "0x20000000");
    // What an undo puts back is the volume's own: the bits with the creation time.
    StampTarget t(a, IdOf(a));
    const StampSnapshot before = t.snapshot();
    ASSERT_TRUE(t.setAttributes(AttrHidden));
    ASSERT_TRUE(t.setTimes({utc(2010, 1, 1, 0, 0, 0), {}, {}}).ok());
    ASSERT_TRUE(t.restore(before, true, true));
    EXPECT_EQ(getfattr(a, "system.ntfs_attrib"), "0x20000000");
    EXPECT_EQ(GetFileInfo(a).creationTime, qint64(ft));
}

// The kernel's FAT driver keeps the bits in the directory entry, reached by its ioctls.
TEST(KernelFat, BitsGoThroughTheAttributeIoctls) {
    QFile filesystems("/proc/filesystems");
    if (!filesystems.open(QIODevice::ReadOnly) || !filesystems.readAll().contains("\tvfat\n"))
        GTEST_SKIP() << "this kernel has no vfat driver (a FUSE FAT driver has no attribute "
                        "ioctls)";
    const Volume v("mkfs.fat", {"-C", "IMG", "1024"}, "mount", {"-o", "loop", "IMG", "DIR"}, 0);
    if (!v.up())
        GTEST_SKIP() << "can't loop-mount a FAT image here (needs root and dosfstools)";
    v.write("a.jpg");
    using namespace basTavlo;
    const QString a = v.file("a.jpg");
    ASSERT_TRUE(SetAttributes(a, AttrReadOnly | AttrHidden | AttrArchive));
    EXPECT_EQ(GetAttributes(a), AttrReadOnly | AttrHidden | AttrArchive);
    EXPECT_FALSE(SetFileTimes(a, TimesToSet{utc(2001, 1, 1, 0, 0, 0), {}, {}}).creationSet);
}

namespace {

// Files named by tags alone: the sequence's prefix in the old name's place.
RenameSettings namedBy(const char* tags) {
    return {.optFilenameModifications = false,
            .optSequencing = true,
            .chkSeqPrefix = 1,
            .txtSeqPrefix = tags,
            .chkKeepName = 0};
}

} // namespace

// What ExifTool writes into a photo, the tags read back, field by field; a date that is not
// the moment taken (the IFD0 date, which editors change) is none, and a text file named .jpg
// has no values at all.
TEST(ExifTool, PhotoTagsReadWhatItWrote) {
    if (QStandardPaths::findExecutable("exiftool").isEmpty())
        GTEST_SKIP() << "needs exiftool (libimage-exiftool-perl)";
    TestFolder f;
    const struct {
        QStringList exiftool;
        const char* tags;
        const char* expected; // empty: the row has no name
    } rows[] = {
        {{"-DateTimeOriginal=2021:07:14 09:30:00", "-SubSecTimeOriginal=123",
          "-ExifIFD:CreateDate=2000:01:01 00:00:00"},
         "<taken:yyyy-MM-dd HH.mm.ss.zzz>",
         "2021-07-14 09.30.00.123"},
        {{"-ExifIFD:CreateDate=2019:02:03 04:05:06"},
         "<taken:yyyy-MM-dd HH.mm.ss>",
         "2019-02-03 04.05.06"},
        {{"-XMP-xmp:CreateDate=2020:01:02 03:04:05+02:00"},
         "<taken:yyyy-MM-dd HH.mm.ss>",
         "2020-01-02 03.04.05"},
        {{"-ModifyDate=2018:01:01 00:00:00"}, "<taken>", ""},
        {{"-ModifyDate=2018:01:01 00:00:00"}, "<taken|modified:yyyy>", "2017"},
        {{"-Make=Canon", "-Model=Canon EOS 5D"}, "<camera>", "Canon EOS 5D"},
        {{"-Make=NIKON CORPORATION", "-Model=NIKON D750"}, "<camera>", "NIKON D750"},
        {{"-Make=FUJIFILM", "-Model=X-T3", "-LensModel=XF16-55mm F2.8 R/LM"},
         "<camera> <lens>",
         "FUJIFILM X-T3 XF16-55mm F2.8 R_LM"},
        {{}, "<width>x<height:3>", "16x008"},
        {{}, "<camera>", ""},
    };
    int i = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.tags);
        const QString name = QString("p%1.jpg").arg(i++);
        QImage picture(16, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(picture.save(f.file(name), "JPEG"));
        TestFolder::setTimes(f.file(name), utc(2017, 6, 1, 12, 0, 0), utc(2017, 6, 1, 12, 0, 0));
        if (!r.exiftool.isEmpty()) {
            ASSERT_TRUE(run("exiftool", QStringList(r.exiftool)
                                            << "-P"
                                            << "-overwrite_original" << f.file(name)));
        }
        FileLists l;
        DisplayFiles(l, f.path());
        for (int k = 0; k < l.original.count(); ++k)
            l.original.setChecked(k, l.original.text(k) == f.file(name));
        PreviewFiles(l, namedBy(r.tags), {});
        ASSERT_EQ(l.changed.count(), 1);
        const PreviewRow& row = l.changed.row(0);
        if (*r.expected) {
            EXPECT_EQ(basTavlo::FileNameOf(row.newPath), QString(r.expected) + ".jpg");
        } else {
            EXPECT_EQ(row.status, QString(r.tags).startsWith("<taken") ? RowStatus::NoDateTaken
                                                                       : RowStatus::MissingValue);
        }
        QFile::remove(f.file(name));
    }
    // Sorted by the date taken, each way; a photo without one goes last.
    const std::pair<const char*, const char*> taken[] = {
        {"a.jpg", "2022:01:01 00:00:00"}, {"b.jpg", ""}, {"c.jpg", "2021:01:01 00:00:00"}};
    for (const auto& [name, date] : taken) {
        QImage picture(4, 4, QImage::Format_RGB32);
        ASSERT_TRUE(picture.save(f.file(name), "JPEG"));
        if (*date) {
            ASSERT_TRUE(run("exiftool", {QString("-DateTimeOriginal=") + date,
                                         "-overwrite_original", f.file(name)}));
        }
    }
    FileLists l;
    DisplayFiles(l, f.path());
    for (const auto& [descending, order] :
         {std::pair(false, "c.jpg a.jpg b.jpg"), std::pair(true, "a.jpg c.jpg b.jpg")}) {
        SortOriginalList(l.original, SortKey::Taken, descending);
        EXPECT_EQ(NamesOf(l.original), order);
    }
    // Not a picture at all.
    f.write("text.jpg", "not a picture");
    EXPECT_FALSE(ReadMetadata(f.file("text.jpg")).taken);
    EXPECT_EQ(ReadMetadata(f.file("text.jpg")).width, 0);
}

// The same song tags written by each format's own tool (id3v2, metaflac, ExifTool) read
// back alike; a file without them has none, and the album's order puts it last.
TEST(Music, SongTagsReadWhatTheirToolsWrote) {
    for (const char* tool : {"id3v2", "flac", "metaflac", "exiftool"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << "needs " << tool;
    TestFolder f;
    f.write("song.mp3", QByteArray(2000, '\0'));
    f.write("bare.mp3", QByteArray(2000, '\0'));
    ASSERT_TRUE(run("id3v2", {"-a", "Miles Davis", "-A", "Kind of Blue", "-t", "So What:", "-T",
                              "1/5", "-y", "1959", "-g", "Jazz", "--TPOS", "1/2", "--TPE2",
                              "Miles Davis Sextet", f.file("song.mp3")}));
    // A tenth of a second of silence, then its Vorbis comments.
    f.write("silence.raw", QByteArray(1600, '\0'));
    ASSERT_TRUE(run("flac", {"-s", "--force-raw-format", "--endian=little", "--sign=signed",
                             "--channels=1", "--bps=16", "--sample-rate=8000", "-o",
                             f.file("song.flac"), f.file("silence.raw")}));
    f.remove("silence.raw");
    ASSERT_TRUE(
        run("metaflac", {"--set-tag=ARTIST=Miles Davis", "--set-tag=ALBUM=Kind of Blue",
                         "--set-tag=TITLE=So What:", "--set-tag=TRACKNUMBER=1/5",
                         "--set-tag=DATE=1959", "--set-tag=GENRE=Jazz", "--set-tag=DISCNUMBER=1/2",
                         "--set-tag=ALBUMARTIST=Miles Davis Sextet", f.file("song.flac")}));
    // An M4A with a movie header and no sound, which ExifTool gives its item list.
    QByteArray m4a = QByteArray::fromHex("00000018667479704d344120000000004d344120"
                                         "6d703432000000746d6f6f760000006c6d766864") +
                     QByteArray(100, '\0');
    m4a[61] = 1, m4a[139] = 2; // rate 1.0, the next track's number
    f.write("song.m4a", m4a);
    ASSERT_TRUE(run("exiftool", {"-q", "-overwrite_original", "-ItemList:Artist=Miles Davis",
                                 "-ItemList:Album=Kind of Blue",
                                 "-ItemList:Title=So What:", "-ItemList:TrackNumber=1 of 5",
                                 "-ItemList:ContentCreateDate#=1959", "-ItemList:Genre=Jazz",
                                 "-ItemList:DiskNumber=1 of 2",
                                 "-ItemList:AlbumArtist=Miles Davis Sextet", f.file("song.m4a")}));
    const struct {
        const char* tags;
        const char* expected; // empty: the row has no name
    } rows[] = {
        {"<track:2> - <title>", "01 - So What_"},
        {"<albumartist> - <album> (<year>) <disc>-<track:3> <genre>",
         "Miles Davis Sextet - Kind of Blue (1959) 1-001 Jazz"},
        {"<artist>", "Miles Davis"},
        {"<year>", "1959"},
        {"<artist|title>", ""}, // only times fall back on each other
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.tags);
        FileLists l;
        DisplayFiles(l, f.path());
        l.original.setAllChecked(true);
        PreviewFiles(l, namedBy(r.tags), {});
        ASSERT_EQ(l.changed.count(), 4);
        for (int k = 0; k < 4; ++k) { // bare.mp3, then the songs
            const PreviewRow& row = l.changed.row(k);
            SCOPED_TRACE(row.oldPath.toStdString());
            if (!*r.expected) {
                EXPECT_EQ(row.status, RowStatus::BadSetting);
            } else if (k == 0) {
                EXPECT_EQ(row.status, RowStatus::MissingValue);
            } else {
                EXPECT_EQ(basTavlo::FileNameOf(row.newPath).section('.', 0, 0), r.expected);
            }
        }
    }
    // By album, disc and track: a second song of the same album before the first, and the
    // file without tags last.
    f.remove("song.flac");
    f.remove("song.m4a");
    f.write("a.mp3", QByteArray(2000, '\0'));
    ASSERT_TRUE(run("id3v2", {"-A", "Kind of Blue", "-T", "1", "--TPOS", "1", f.file("a.mp3")}));
    ASSERT_TRUE(run("id3v2", {"-T", "2", f.file("song.mp3")}));
    FileLists l;
    DisplayFiles(l, f.path());
    SortOriginalList(l.original, SortKey::AlbumDiscTrack, false);
    EXPECT_EQ(NamesOf(l.original), "a.mp3 song.mp3 bare.mp3");
}
