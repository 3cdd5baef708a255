#include "TestFolder.h"
#include "files/DosAttrib.h"
#include "files/basTavlo.h"

#include <QDateTime>
#include <QDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace basTavlo;

TEST(BasTavlo, MissingPathGivesTheZeroRecord) {
    TestFolder f;
    const FindData d = GetFileInfo(f.file("nothing.txt"));
    EXPECT_FALSE(d.found);
    EXPECT_FALSE(d.unreadable);
    EXPECT_EQ(d.fileName.size(), 260);
    EXPECT_TRUE(d.fileName.startsWith("Error "));
    EXPECT_EQ(d.attributes, 0u);
    const FileDetails z = GetFileTimes(f.file("nothing.txt"));
    EXPECT_FALSE(z.ReadOnly || z.Hidden || z.System || z.Archive);
    EXPECT_EQ(z.Created, (DateTime{1601, 1, 1, 0, 0, 0}));
    EXPECT_EQ(z.Modified, (DateTime{1601, 1, 1, 0, 0, 0}));
    EXPECT_EQ(z.LastAccessed, (DateTime{1601, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(GetFileInfo("").found);
}

TEST(BasTavlo, RenameNeverReplaces) {
    using basTavlo::testing::Refuse;
    for (const Refuse refused :
         {Refuse::Nothing, Refuse::NoReplaceFlag, Refuse::NoReplaceFlagAndLinks}) {
        // By full paths, and by names in a folder held open: the same answers.
        for (const bool byName : {false, true}) {
            SCOPED_TRACE(QString("%1 %2").arg(int(refused)).arg(byName).toStdString());
            basTavlo::testing::RefuseRenameFeatures(refused);
            TestFolder f;
            const Folder folder(f.path());
            const auto ren = [&](const QString& a, const QString& b) {
                return byName ? folder.rename(a, b) : RenameFile(f.file(a), f.file(b));
            };
            f.write("a.txt", "A");
            f.write("b.txt", "B");
            EXPECT_EQ(ren("a.txt", "b.txt"), RenameError::TargetExists);
            EXPECT_EQ(ren("none.txt", "c.txt"), RenameError::SourceMissing);
            EXPECT_EQ(ren("a.txt", "c.txt"), RenameError::None);
            EXPECT_EQ(ren("c.txt", "c.txt"), RenameError::None);
#ifdef Q_OS_WIN
            EXPECT_EQ(ren("c.txt", QString(300, 'x')), RenameError::Other);
#else
            EXPECT_EQ(ren("c.txt", QString(300, 'x')), RenameError::InvalidName);
#endif
            EXPECT_EQ(ren("c.txt", "nodir/c.txt"),
                      byName ? RenameError::InvalidName : RenameError::Other);
            EXPECT_EQ(ren("b.txt", "B.TXT"), RenameError::None);
            EXPECT_EQ(folder.idOf(u"B.TXT"), IdOf(f.file("B.TXT")));
            EXPECT_EQ(folder.idOf(u"b.txt").valid, FolderFoldsCase(f.file("B.TXT")));
            const QMap<QString, QByteArray> expected{{"B.TXT", "B"}, {"c.txt", "A"}};
            EXPECT_EQ(f.contents(), expected);
        }
    }
    basTavlo::testing::RefuseRenameFeatures(Refuse::Nothing);
}

#ifndef Q_OS_WIN
TEST(BasTavlo, FolderTextEndsInOneSeparator) {
    EXPECT_EQ(WithTrailingSeparator("/home/a"), "/home/a/");
    EXPECT_EQ(WithTrailingSeparator("/home/a/"), "/home/a/");
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST(BasTavlo, ListsOrdinaryFilesOnly) {
    TestFolder f;
    f.write("b.txt");
    f.write("README");
    f.write("archive.tar.gz");
    f.write(".profile");     // hidden by its name
    f.write("secret.doc");   // hidden by its attribute
    f.write("boot.sys");     // system by its attribute
    f.write("ro.txt");       // read-only files are listed
    f.write("archived.txt"); // and so are archive files
    ASSERT_TRUE(TestFolder::setXattr(f.file("secret.doc"), "0x22"));
    ASSERT_TRUE(TestFolder::setXattr(f.file("boot.sys"), "0x4"));
    ASSERT_TRUE(TestFolder::setXattr(f.file("archived.txt"), "0x20"));
    ASSERT_EQ(chmod(QFile::encodeName(f.file("ro.txt")).constData(), 0444), 0);
    f.mkdir("sub");
    f.mkdir("sub.d");
    ASSERT_EQ(mkfifo(QFile::encodeName(f.file("pipe")).constData(), 0644), 0);
    ASSERT_EQ(symlink("sub", QFile::encodeName(f.file("linkdir")).constData()), 0);
    ASSERT_EQ(symlink("b.txt", QFile::encodeName(f.file("linkfile")).constData()), 0);
    ASSERT_EQ(symlink("nowhere", QFile::encodeName(f.file("dangling")).constData()), 0);
    // Latin-1 bytes that are no UTF-8: left out, so never renamed under a mangled name.
    f.writeRaw("caf\xe9.txt");

    const std::vector<QString> expected = {"README", "archive.tar.gz", "archived.txt",
                                           "b.txt",  "linkfile",       "ro.txt"};
    // Values read by name in the open folder, and by path as older kernels need; a look-up
    // by name in a held folder finds what a look-up by path finds.
    const Folder folder(f.path());
    for (const bool byPath : {false, true}) {
        SCOPED_TRACE(byPath ? "by path" : "by name");
        basTavlo::testing::ReadAttributesByPath(byPath);
        std::vector<QString> names;
        EXPECT_TRUE(ListFolderFiles(f.path(), names));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected);
        for (const QString& name : QDir(f.path()).entryList(QDir::AllEntries | QDir::Hidden |
                                                            QDir::System | QDir::NoDotAndDotDot)) {
            const FindData a = folder.info(name), b = GetFileInfo(f.file(name));
            EXPECT_TRUE(a.found && a.fileName == b.fileName && a.attributes == b.attributes &&
                        a.id == b.id && a.creationTime == b.creationTime &&
                        a.lastWriteTime == b.lastWriteTime)
                << name.toStdString();
            EXPECT_TRUE(folder.exists(name));
        }
        EXPECT_FALSE(folder.info(u"missing").found);
        EXPECT_FALSE(folder.exists(u"missing"));
    }
    basTavlo::testing::ReadAttributesByPath(false);

    EXPECT_TRUE(GetFileInfo(f.file("pipe")).attributes & AttrSystem); // special files: system
    EXPECT_TRUE(GetFileInfo(f.file("sub")).attributes & AttrDirectory);
    std::vector<QString> none;
    EXPECT_FALSE(ListFolderFiles(f.path() + "missing/", none));
    EXPECT_TRUE(none.empty());
}

// Bits as Samba and Wine keep them: read-only in the word and the mode (nobody may write),
// the rest in the word; a value that can't be read or isn't understood is left alone.
TEST(BasTavlo, AttributeBitsRoundTrip) {
    UseTimeZone("UTC");
    const quint32 R = AttrReadOnly, H = AttrHidden, S = AttrSystem, A = AttrArchive;
    // As Samba 4.17 writes them: version 5, R and A (and 0x800, compressed), a create time.
    const QByteArray sambaRA =
        QByteArray::fromHex("00000500050000001100000021080000008e0d9e4a86dd01");
    const QByteArray sambaRAH = QByteArray::fromHex("30783832330005000500000011000000230800000"
                                                    "08e0d9e4a86dd01");
    const QByteArray unknown = QByteArray::fromHex("0000090009000000") + QByteArray(16, '\0');
    const bool user = geteuid() != 0; // root reads any value
    struct Row {
        const char* what;
        mode_t mode;
        QByteArray value;
        std::optional<quint32> before;
        quint32 set;
        bool ok;
        mode_t modeAfter;
        QByteArray valueAfter;
    } rows[] = {
        {"hidden: the legacy text Wine reads", 0644, {}, 0, H, true, 0644, "0x2"},
        {"all four", 0644, {}, 0, R | H | S | A, true, 0444, "0x27"},
        {"leaving read-only", 0444, "0x21", R | A, A, true, 0644, "0x20"},
        {"read-only by mode alone, as Wine sees 0555", 0555, {}, R, R | H, true, 0555, "0x3"},
        {"0464 is writable for Wine", 0464, {}, 0, 0, true, 0464, {}},
        {"Samba's read-only is read and kept", 0744, sambaRA, R | A, R | A | H, true, 0544,
         sambaRAH},
        {"a form not understood is left", 0644, unknown, 0, H, false, 0644, unknown},
        {"an unreadable value is left", 0200, sambaRA, std::nullopt, H | A, !user, 0200, sambaRA},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TestFolder f;
        f.write("a.txt", "data");
        const QString a = f.file("a.txt");
        const QByteArray p = QFile::encodeName(a);
        if (!r.value.isEmpty()) {
            ASSERT_TRUE(TestFolder::setXattr(a, r.value));
        }
        ASSERT_EQ(chmod(p.constData(), r.mode), 0);
        if (!user && r.mode == 0200)
            continue; // root reads it: what's checked here needs an ordinary user
        EXPECT_EQ(StampTarget(a, IdOf(a)).attributes(), r.before);
        EXPECT_EQ(SetAttributes(a, r.set), r.ok);
        struct stat st;
        ASSERT_EQ(stat(p.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, r.modeAfter);
        chmod(p.constData(), 0644);
        EXPECT_EQ(TestFolder::xattr(a), r.valueAfter);
        if (r.ok) {
            EXPECT_EQ(GetAttributes(a), r.set);
        }
        EXPECT_EQ(f.contents().value("a.txt"), "data");
    }
    EXPECT_FALSE(SetAttributes(QDir::tempPath() + "/zov-missing", H));
    EXPECT_EQ(GetAttributes(QDir::tempPath() + "/zov-missing"), std::nullopt);
}

TEST(BasTavlo, TimesAreLocalToTheirOwnDate) {
    UseTimeZone("Europe/Berlin");
    TestFolder f;
    f.write("winter.jpg");
    f.write("summer.jpg");
    TestFolder::setTimes(f.file("winter.jpg"), utc(2023, 12, 24, 9, 15, 30),
                         utc(2024, 3, 31, 0, 59, 59));
    TestFolder::setTimes(f.file("summer.jpg"), utc(2024, 6, 21, 9, 15, 30),
                         utc(2024, 3, 31, 1, 0, 0));
    const FileDetails w = GetFileTimes(f.file("winter.jpg"));
    const FileDetails s = GetFileTimes(f.file("summer.jpg"));
    EXPECT_EQ(w.Modified, (DateTime{2023, 12, 24, 10, 15, 30}));
    EXPECT_EQ(s.Modified, (DateTime{2024, 6, 21, 11, 15, 30}));
    EXPECT_EQ(w.LastAccessed, (DateTime{2024, 3, 31, 1, 59, 59}));
    EXPECT_EQ(s.LastAccessed, (DateTime{2024, 3, 31, 3, 0, 0}));
    // Creation: the birth time where the system has one, a Samba create time above it.
    EXPECT_GT(w.Created.year, 2000);
    const qint64 created = utc(2001, 8, 1, 22, 30, 0);
    ASSERT_TRUE(SetFileTimes(f.file("winter.jpg"), TimesToSet{created, {}, {}}).ok());
    EXPECT_EQ(GetFileTimes(f.file("winter.jpg")).Created, (DateTime{2001, 8, 2, 0, 30, 0}));
    EXPECT_EQ(GetFileTimes(f.file("winter.jpg")).Modified, w.Modified);

    UseTimeZone("Asia/Tokyo");
    EXPECT_EQ(GetFileTimes(f.file("summer.jpg")).Modified, (DateTime{2024, 6, 21, 18, 15, 30}));
}
#endif
