#include "TestFolder.h"

#include "files/DateTime.h"
#include "files/DosAttrib.h"
#include "files/basTavlo.h"
#include "listing/CheckListModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <ctime>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

TestFolder::TestFolder() {
    EXPECT_TRUE(m_dir.isValid());
    m_dir.setAutoRemove(false);
}

QString TestFolder::path() const {
    return basTavlo::WithTrailingSeparator(QDir::toNativeSeparators(m_dir.path()));
}

void TestFolder::write(const QString& name, const QByteArray& content) const {
    QFile f(file(name));
    ASSERT_TRUE(f.open(QIODevice::NewOnly)) << name.toStdString();
    ASSERT_EQ(f.write(content), content.size());
}

void TestFolder::mkdir(const QString& name) const {
    ASSERT_TRUE(QDir(path()).mkdir(name));
}

Contents ContentsOf(const QString& folder) {
    Contents out;
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo& fi : QDir(folder).entryInfoList(all)) {
        QFile f(fi.filePath());
        out.insert(fi.fileName(), fi.isDir()                    ? "<dir>"
                                  : f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                : "<unreadable>");
    }
    return out;
}

QMap<QString, std::string> TestFolder::state() const {
    QMap<QString, std::string> out;
    for (const QString& name : QDir(path()).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const basTavlo::FindData d = basTavlo::GetFileInfo(file(name));
        QString s = QString("file %1 bits %2 created %3")
                        .arg(d.id.file)
                        .arg(d.attributes)
                        .arg(d.creationTime);
#ifdef Q_OS_WIN
        s += QString(" times %1 %2").arg(d.lastAccessTime).arg(d.lastWriteTime);
#else
        struct stat st {};
        lstat(QFile::encodeName(file(name)).constData(), &st);
        s += QString(" dos %1 mode %2 times %3.%4 %5.%6")
                 .arg(QString::fromLatin1(xattr(file(name)).toHex()))
                 .arg(st.st_mode, 0, 8)
                 .arg(st.st_atim.tv_sec)
                 .arg(st.st_atim.tv_nsec)
                 .arg(st.st_mtim.tv_sec)
                 .arg(st.st_mtim.tv_nsec);
#endif
        out.insert(name, s.toStdString());
    }
    return out;
}

void TestFolder::setTimes(const QString& path, qint64 modified, qint64 accessed) {
    ASSERT_TRUE(basTavlo::SetFileTimes(path, {{}, modified, accessed}).ok());
}

std::optional<quint32> TestFolder::bits(const QString& path) {
    const std::optional<quint32> b = basTavlo::GetAttributes(path);
    return b && UnderWine() ? std::optional(*b & ~quint32(basTavlo::AttrArchive)) : b;
}

QString TestDataPath(const QString& name) {
    return qEnvironmentVariable("ZOV_TEST_DATA", QStringLiteral(ZOV_TEST_DATA)) + '/' + name;
}

QByteArray TestData(const QString& name) {
    QFile f(TestDataPath(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return f.readAll();
}

QString NamesOf(const CheckListModel& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << basTavlo::FileNameOf(list.text(i));
    return names.join(' ');
}

#ifdef Q_OS_WIN
TestFolder::~TestFolder() {
    QDir(m_dir.path()).removeRecursively();
    QDir(m_dir.path() + ".gone").removeRecursively();
}

void TestFolder::remove(const QString& name) const {
    static int n = 0;
    QDir().mkpath(m_dir.path() + ".gone");
    ASSERT_TRUE(QFile::rename(file(name), m_dir.path() + ".gone/" + QString::number(++n) + name));
}

void TestFolder::stampTimes(const QString& name, int n) const {
    const qint64 now = time(nullptr);
    ASSERT_TRUE(basTavlo::SetFileTimes(file(name), {{}, 1588748889 + n, now - 60 - n}).ok());
}

bool TestFolder::hardLink(const QString& existing, const QString& link) {
    return CreateHardLinkW(link.toStdWString().c_str(), existing.toStdWString().c_str(), nullptr);
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

void UseTimeZone(const char*) {}
#else
TestFolder::~TestFolder() {
    QProcess::execute("rm", {"-rf", m_dir.path()}); // names Qt can't decode too
}

void TestFolder::remove(const QString& name) const {
    ASSERT_TRUE(QFile::remove(file(name))) << name.toStdString();
}

void TestFolder::stampTimes(const QString& name, int n) const {
    const time_t now = time(nullptr);
    const struct timespec ts[2] = {{now - 60, 123456789 + n},
                                   {1588748889 /* 2020-05-06 */, 987L * n}};
    ASSERT_EQ(
        utimensat(AT_FDCWD, QFile::encodeName(file(name)).constData(), ts, AT_SYMLINK_NOFOLLOW), 0);
}

bool TestFolder::hardLink(const QString& existing, const QString& link) {
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) ==
           0;
}

QByteArray TestFolder::xattr(const QString& path) {
    char buf[512];
    const ssize_t n =
        getxattr(QFile::encodeName(path).constData(), basTavlo::kDosAttribName, buf, sizeof buf);
    return n < 0 ? QByteArray() : QByteArray(buf, int(n));
}

bool TestFolder::setXattr(const QString& path, const QByteArray& value) {
    return setxattr(QFile::encodeName(path).constData(), basTavlo::kDosAttribName,
                    value.constData(), size_t(value.size()), 0) == 0;
}

bool UnderWine() {
    return false;
}

void UseTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
    basTavlo::RefreshLocalZone();
}
#endif

qint64 BytesRead() {
    QFile io("/proc/self/io");
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    return io.readLine().mid(7).trimmed().toLongLong(); // "rchar: N"
}
