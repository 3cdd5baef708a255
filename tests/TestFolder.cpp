#include "TestFolder.h"

#include "files/DateTime.h"
#include "files/DosAttrib.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

TestFolder::TestFolder() {
    EXPECT_TRUE(m_dir.isValid());
    m_dir.setAutoRemove(false);
}

namespace {

void removeTree(int parent, const char* name) {
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* d = fdopendir(fd)) {
            while (const dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    removeTree(fd, e->d_name);
            closedir(d);
        } else {
            close(fd);
        }
        unlinkat(parent, name, AT_REMOVEDIR);
    } else {
        unlinkat(parent, name, 0);
    }
}

} // namespace

TestFolder::~TestFolder() {
    removeTree(AT_FDCWD, QFile::encodeName(m_dir.path()).constData());
}

QString TestFolder::path() const {
    return m_dir.path() + QLatin1Char('/');
}

void TestFolder::write(const QString& name, const QByteArray& content) const {
    writeRaw(QFile::encodeName(name), content);
}

void TestFolder::writeRaw(const QByteArray& name, const QByteArray& content) const {
    const QByteArray full = QFile::encodeName(path()) + name;
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << full.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
}

void TestFolder::mkdir(const QString& name) const {
    ASSERT_TRUE(QDir(path()).mkdir(name));
}

QMap<QString, QByteArray> TestFolder::contents() const {
    QMap<QString, QByteArray> out;
    const QDir dir(m_dir.path());
    for (const QFileInfo& fi :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (fi.isDir()) {
            out.insert(fi.fileName(), "<dir>");
            continue;
        }
        QFile f(fi.filePath());
        // Read even where the file has no read permission for the test user.
        if (f.open(QIODevice::ReadOnly))
            out.insert(fi.fileName(), f.readAll());
        else
            out.insert(fi.fileName(), "<unreadable>");
    }
    return out;
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

void TestFolder::setTimes(const QString& path, qint64 modified, qint64 accessed) {
    struct timespec ts[2] = {{time_t(accessed), 0}, {time_t(modified), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0), 0);
}

void UseTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
    basTavlo::RefreshLocalZone();
}

QMap<QString, std::string> TestFolder::state() const {
    QMap<QString, std::string> out;
    for (const QString& name : QDir(path()).entryList(QDir::Files | QDir::Hidden)) {
        const QByteArray full = QFile::encodeName(file(name));
        struct stat st {};
        lstat(full.constData(), &st);
        QByteArray content(4096, '\0');
        const int fd = ::open(full.constData(), O_RDONLY | O_NOATIME | O_CLOEXEC);
        content.truncate(fd < 0 ? 0
                                : qsizetype(std::max<ssize_t>(0, read(fd, content.data(), 4096))));
        if (fd >= 0)
            close(fd);
        out.insert(name, QString("%1 dos %2 mode %3 atime %4.%5 mtime %6.%7")
                             .arg(QString::fromUtf8(content), xattr(file(name)).toHex())
                             .arg(st.st_mode, 0, 8)
                             .arg(st.st_atim.tv_sec)
                             .arg(st.st_atim.tv_nsec)
                             .arg(st.st_mtim.tv_sec)
                             .arg(st.st_mtim.tv_nsec)
                             .toStdString());
    }
    return out;
}

void TestFolder::stampTimes(const QString& name, int n) const {
    const time_t now = time(nullptr);
    const struct timespec ts[2] = {{now - 60, 123456789 + n},
                                   {1588748889 /* 2020-05-06 */, 987L * n}};
    ASSERT_EQ(
        utimensat(AT_FDCWD, QFile::encodeName(file(name)).constData(), ts, AT_SYMLINK_NOFOLLOW), 0);
}
