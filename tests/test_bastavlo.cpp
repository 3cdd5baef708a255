#include "TestFolder.h"
#include "files/DosAttrib.h"
#include "files/Parallel.h"
#include "files/basTavlo.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace basTavlo;

// A file's kind by its extension, in any case, and only by its own name's.
TEST(BasTavlo, ExtensionsInAnyCase) {
    for (const char* name : {"x.AVIF", "x.ZIP", "a.b.Heic", "x.zip.heif"})
        EXPECT_TRUE(HasExtension(QString::fromLatin1(name), {"heic", "heif", "avif", "zip"}))
            << name;
    for (const char* name : {"x.avi", "x.avifs", "avif", "xavif", "x.AVIF/b", "x.AVIF\\b"})
        EXPECT_FALSE(HasExtension(QString::fromLatin1(name), {"avif"})) << name;
}

// Many requests in flight only where each one waits for a network or a user-space file
// system. Under Wine no drive can be mapped to a share: Windows' decision is tried on paths.
TEST(BasTavlo, RequestsInFlightWhereTheVolumeIsSlow) {
#ifdef Q_OS_WIN
    EXPECT_EQ(basTavlo::RequestsInFlight("\\\\server\\share\\photos"), 32u);
    EXPECT_EQ(basTavlo::RequestsInFlight("\\\\?\\UNC\\server\\share"), 32u);
    EXPECT_EQ(basTavlo::RequestsInFlight("\\\\?\\C:\\photos"), 0u);
    EXPECT_EQ(basTavlo::RequestsInFlight(QDir::tempPath()), 0u);
#else
    for (const auto& [type, inFlight] :
         {std::pair(0x6969L, 32u), std::pair(0x65735546L, 32u), std::pair(0xfe534d42L, 32u),
          std::pair(0xEF53L, 0u), std::pair(0x01021994L, 0u)}) // NFS, FUSE, SMB2, ext4, tmpfs
        EXPECT_EQ(basTavlo::RequestsInFlightOn(type), inFlight) << type;
    // The slow volume's test runs this on it.
    EXPECT_EQ(basTavlo::RequestsInFlight(QDir::tempPath()),
              qEnvironmentVariableIsSet("ZOV_ON_SLOW_VOLUME") ? 32u : 0u);
#endif
}

// On a local volume, more requests wait at once once the first ones are seen to wait for the
// disk (a sleep here, which takes no CPU time), not where the time is the CPU's.
TEST(BasTavlo, FirstRequestsThatWaitBringMoreInFlight) {
#ifndef Q_OS_WIN // under Wine a sleep of microseconds returns at once, and one core may show
    std::mutex lock;
    std::set<std::thread::id> threads;
    ParallelFor(4096, [&](size_t) {
        std::this_thread::sleep_for(std::chrono::microseconds(60));
        const std::lock_guard one(lock);
        threads.insert(std::this_thread::get_id());
    });
    EXPECT_GT(threads.size(), 8u);
#endif
    EXPECT_FALSE(WaitedForTheDisk(1000000, 1000000, 10)); // all of it the CPU's
    EXPECT_FALSE(WaitedForTheDisk(100000, 0, 10));        // 10 us each: a warm cache
    EXPECT_TRUE(WaitedForTheDisk(1000000, 600000, 10));
    EXPECT_FALSE(WaitedForTheDisk(1000000, 700000, 10));
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
            const Contents expected{{"B.TXT", "B"}, {"c.txt", "A"}};
            EXPECT_EQ(f.contents(), expected);
        }
    }
    basTavlo::testing::RefuseRenameFeatures(Refuse::Nothing);
}

#ifndef Q_OS_WIN

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

#endif
