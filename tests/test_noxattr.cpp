#include "TestFolder.h"
#include "files/basTavlo.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/mount.h>

namespace {

// A ramfs mounted on a fresh folder: a file system without extended attributes.
class NoXattrFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_mount = m_holder.path() + "m";
        m_holder.mkdir("m");
        if (mount("zov-test", QFile::encodeName(m_mount).constData(), "ramfs", 0, nullptr) != 0)
            GTEST_SKIP() << "can't mount a ramfs here (needs root)";
        m_mounted = true;
        m_mount += '/';
    }
    void TearDown() override {
        if (m_mounted)
            umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
    }
    QString file(const QString& name) const { return m_mount + name; }
    void write(const QString& name) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::NewOnly));
        f.write(name.toUtf8());
    }

    TestFolder m_holder;
    QString m_mount;
    bool m_mounted = false;
};

} // namespace

TEST_F(NoXattrFolder, ReadsWhatItCanAndReportsWhatItCannotWrite) {
    write("a.jpg");
    write(".hidden");
    std::vector<QString> names;
    ASSERT_TRUE(basTavlo::ListFolderFiles(m_mount, names));
    EXPECT_EQ(names, std::vector<QString>{"a.jpg"});
    EXPECT_EQ(basTavlo::GetAttributes(file("a.jpg")), 0u);
    EXPECT_FALSE(basTavlo::SetAttributes(file("a.jpg"), basTavlo::AttrHidden));
    EXPECT_TRUE(basTavlo::SetAttributes(file("a.jpg"), basTavlo::AttrReadOnly));
    EXPECT_EQ(basTavlo::GetAttributes(file("a.jpg")), basTavlo::AttrReadOnly);

    // The rename goes through; the creation time and the hidden bit are reported as not set.
    AdvancedSettings s;
    s.chkModifyDateTime = 1;
    s.chkFileCreation = 1;
    s.chkFileModified = 1;
    s.creation = s.modified = basTavlo::DateTime{2020, 2, 2, 2, 2, 2};
    s.chkModifyAttributes = 1;
    s.chkHidden = 1;
    QStringList messages;
    const RunReport r = RenameFiles(
        {PreviewRow{file("b.jpg"), file("a.jpg"), RowStatus::Ok, basTavlo::IdOf(file("a.jpg"))}}, s,
        {{}, [&](const QString& m) { messages << m; }});
    EXPECT_EQ(r.rows[0].outcome, RowOutcome::Renamed);
    EXPECT_TRUE(r.rows[0].timesNotSet);
    EXPECT_TRUE(r.rows[0].attributesNotSet);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(messages, QStringList{"Hidden Attribute NOT set."});
    EXPECT_EQ(basTavlo::GetFileTimes(file("b.jpg")).Modified, s.modified);
}

// A FAT volume through the FUSE driver, which offers neither RENAME_NOREPLACE nor hard
// links: renames go over a reserved name, and still never replace a file.
TEST(FuseFat, RenamesWithoutNoReplaceOrLinks) {
    TestFolder holder;
    holder.mkdir("m");
    const QString mount = holder.path() + "m";
    if (QProcess::execute("mkfs.fat", {"-C", holder.path() + "fat.img", "1024"}) != 0 ||
        QProcess::execute("fusefat", {"-o", "rw+", holder.path() + "fat.img", mount}) != 0)
        GTEST_SKIP() << "can't mount a FUSE FAT volume here (needs fusefat, dosfstools and "
                        "/dev/fuse)";
    const QString m = mount + "/";
    for (const char* n : {"1.jpg", "2.jpg", "x.txt", "y.txt", "keep.txt"}) {
        QFile f(m + n);
        ASSERT_TRUE(f.open(QIODevice::NewOnly));
        f.write(n);
    }
    auto row = [&](const char* from, const char* to) {
        return PreviewRow{m + to, m + from, RowStatus::Ok, basTavlo::IdOf(m + from)};
    };
    const RunReport r = RenameFiles({row("1.jpg", "2.jpg"), row("2.jpg", "3.jpg"),
                                     row("x.txt", "y.txt"), row("y.txt", "x.txt")},
                                    {});
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(basTavlo::RenameFile(m + "2.jpg", m + "keep.txt"),
              basTavlo::RenameError::TargetExists);
    QMap<QString, QByteArray> after;
    for (const QString& name : QDir(m).entryList(QDir::Files)) {
        QFile f(m + name);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        after.insert(name, f.readAll());
    }
    QProcess::execute("fusermount", {"-u", mount});
    const QMap<QString, QByteArray> expected{{"2.jpg", "1.jpg"},
                                             {"3.jpg", "2.jpg"},
                                             {"x.txt", "y.txt"},
                                             {"y.txt", "x.txt"},
                                             {"keep.txt", "keep.txt"}};
    EXPECT_EQ(after, expected);
}
