#include "TestFolder.h"
#include "files/basTavlo.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <QFile>

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
