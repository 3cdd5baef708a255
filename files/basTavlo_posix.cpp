#include "DosAttrib.h"
#include "basTavlo.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

namespace basTavlo {

namespace {

constexpr qint64 kTicksPerSecond = 10000000;

qint64 fileTime(qint64 secs, qint64 nsecs) {
    return (secs + kFileTimeEpochOffsetSecs) * kTicksPerSecond + nsecs / 100;
}

// The attribute value of a path, empty when it has none or can't be read.
QByteArray readDosAttrib(const char* path) {
    char buf[256];
    const ssize_t n = getxattr(path, kDosAttribName, buf, sizeof buf);
    if (n > 0)
        return QByteArray(buf, int(n));
    if (n < 0 && errno == ERANGE) { // larger than any known form: read it whole
        const ssize_t size = getxattr(path, kDosAttribName, nullptr, 0);
        if (size > 0) {
            QByteArray big(int(size), '\0');
            const ssize_t got = getxattr(path, kDosAttribName, big.data(), big.size());
            if (got >= 0)
                return big.left(int(got));
        }
    }
    return {};
}

// Setting a user.* attribute needs write permission even for the owner: give a
// read-only file its write bit for the moment of the call.
bool writeDosAttrib(const char* path, const QByteArray& value) {
    if (setxattr(path, kDosAttribName, value.constData(), size_t(value.size()), 0) == 0)
        return true;
    if (errno != EACCES && errno != EPERM)
        return false;
    struct stat st;
    if (stat(path, &st) != 0 || (st.st_mode & S_IWUSR))
        return false;
    const mode_t mode = st.st_mode & 07777;
    if (chmod(path, mode | S_IWUSR) != 0)
        return false;
    const bool ok = setxattr(path, kDosAttribName, value.constData(), size_t(value.size()), 0) == 0;
    chmod(path, mode);
    return ok;
}

quint32 dosBitsOf(const DosAttrib& d) {
    return d.attribValid ? d.attrib & (AttrHidden | AttrSystem | AttrArchive) : 0;
}

QString lastComponent(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

bool isDotName(const char* name) {
    return name[0] == '.';
}

bool isAscii(const char* s) {
    for (; *s; ++s)
        if (static_cast<unsigned char>(*s) >= 0x80)
            return false;
    return true;
}

} // namespace

QChar PathSeparator() {
    return QLatin1Char('/');
}

bool ListFolderFiles(const QString& folder, std::vector<QString>& names) {
    const QByteArray dirPath = QFile::encodeName(folder);
    const int dirFd = open(dirPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    std::string full(dirPath.constData(), size_t(dirPath.size()));
    if (full.empty() || full.back() != '/')
        full.push_back('/');
    const size_t prefix = full.size();
    while (const dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (isDotName(name)) // ".", ".." and Unix hidden names
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st;
            if (fstatat(dirFd, name, &st, 0) != 0)
                continue; // dangling link or gone: no file to rename
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_FIFO;
        }
        if (type != DT_REG)
            continue; // folders, and special files, which count as system entries
        full.resize(prefix);
        full.append(name);
        if (dosBitsOf(ParseDosAttrib(readDosAttrib(full.c_str()))) & (AttrHidden | AttrSystem))
            continue;
        names.push_back(QFile::decodeName(name));
        // Plain ASCII always decodes exactly; anything else must come back the same bytes.
        if (!isAscii(name) && QFile::encodeName(names.back()) != QByteArray(name))
            names.pop_back();
    }
    closedir(dir);
    return true;
}

FindData GetFileInfo(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    struct statx sx;
    if (p.isEmpty() || statx(AT_FDCWD, p.constData(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return NotFound();
    FindData d;
    d.found = true;
    d.fileName = lastComponent(path);
    const mode_t mode = sx.stx_mode;
    if (S_ISDIR(mode))
        d.attributes |= AttrDirectory;
    else if (!S_ISREG(mode))
        d.attributes |= AttrSystem;
    if (!(mode & S_IWUSR))
        d.attributes |= AttrReadOnly;
    if (d.fileName.startsWith(QLatin1Char('.')))
        d.attributes |= AttrHidden;
    const DosAttrib dos = ParseDosAttrib(readDosAttrib(p.constData()));
    d.attributes |= dosBitsOf(dos);
    d.lastWriteTime = fileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    d.lastAccessTime = fileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    if (dos.createTimeValid)
        d.creationTime = qint64(dos.createTime);
    else if (sx.stx_mask & STATX_BTIME)
        d.creationTime = fileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return d;
}

std::optional<quint32> GetAttributes(const QString& path) {
    const FindData d = GetFileInfo(path);
    if (!d.found)
        return std::nullopt;
    return d.attributes & kDosBits;
}

bool SetAttributes(const QString& path, quint32 bits) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (p.isEmpty() || stat(p.constData(), &st) != 0)
        return false;
    const mode_t mode = st.st_mode & 07777;
    const bool wantReadOnly = bits & AttrReadOnly;
    const QByteArray old = readDosAttrib(p.constData());
    const DosAttrib dos = ParseDosAttrib(old);
    const quint32 word = (dos.attribValid ? dos.attrib & ~kDosBits : 0) | (bits & kDosBits);
    const bool xattrNeeded = dos.attribValid ? word != dos.attrib : (bits & ~AttrReadOnly) != 0;

    // Leaving read-only first, entering it last: the attribute write needs the write bit.
    if (!wantReadOnly && !(mode & S_IWUSR) && chmod(p.constData(), mode | S_IWUSR) != 0)
        return false;
    if (xattrNeeded && !writeDosAttrib(p.constData(), WithAttrib(old, word)))
        return false;
    if (wantReadOnly && (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) &&
        chmod(p.constData(), mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) != 0)
        return false;
    return true;
}

bool PathExists(const QString& path) {
    struct stat st;
    const QByteArray p = QFile::encodeName(path);
    return !p.isEmpty() && lstat(p.constData(), &st) == 0;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    const QByteArray pa = QFile::encodeName(a), pb = QFile::encodeName(b);
    return lstat(pa.constData(), &sa) == 0 && lstat(pb.constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

namespace {

RenameError errorFromErrno(int err, const QByteArray& from) {
    switch (err) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameError::TargetExists;
    case ENOENT: {
        struct stat st;
        return lstat(from.constData(), &st) != 0 ? RenameError::SourceMissing : RenameError::Other;
    }
    case EACCES:
    case EPERM:
    case EROFS:
        return RenameError::PermissionDenied;
    case ENAMETOOLONG:
    case EILSEQ:
        return RenameError::InvalidName;
    default:
        return RenameError::Other;
    }
}

// Where renameat2 refuses the flag: link() creates the new name only if it is free,
// then the old name goes. A plain rename() would replace, so it is never used.
RenameError linkThenUnlink(const QByteArray& from, const QByteArray& to) {
    if (link(from.constData(), to.constData()) != 0) {
        const int err = errno;
        if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == EXDEV || err == EMLINK) {
            struct stat st;
            if (lstat(from.constData(), &st) != 0)
                return RenameError::SourceMissing;
            if (lstat(to.constData(), &st) == 0)
                return RenameError::TargetExists;
            return RenameError::Unsupported;
        }
        return errorFromErrno(err, from);
    }
    if (unlink(from.constData()) != 0) {
        const int err = errno;
        unlink(to.constData()); // back to one name, the old one
        return errorFromErrno(err, from);
    }
    return RenameError::None;
}

bool g_refuseNoReplace = false;

RenameError renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (g_refuseNoReplace)
        return linkThenUnlink(from, to);
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return RenameError::None;
    if (errno == EINVAL)
        return linkThenUnlink(from, to);
    return errorFromErrno(errno, from);
}

} // namespace

void testing::RefuseNoReplaceFlag(bool refuse) {
    g_refuseNoReplace = refuse;
}

RenameError RenameFile(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (f.isEmpty() || t.isEmpty())
        return RenameError::InvalidName;
    if (f == t)
        return PathExists(from) ? RenameError::None : RenameError::SourceMissing;
    const RenameError e = renameNoReplace(f, t);
    if (e != RenameError::TargetExists || !SameFile(from, to))
        return e;
    // A file system that ignores case holds the target as the file itself: go through a
    // free temporary name, and come back if the second step fails.
    for (int n = 0; n < 100; ++n) {
        const QByteArray tmp = f + ".zovtmp" + QByteArray::number(n);
        const RenameError first = renameNoReplace(f, tmp);
        if (first == RenameError::TargetExists)
            continue;
        if (first != RenameError::None)
            return first;
        const RenameError second = renameNoReplace(tmp, t);
        if (second != RenameError::None)
            renameNoReplace(tmp, f);
        return second;
    }
    return RenameError::Other;
}

int MaxNameLength(const QString& folder) {
    const long max = pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return max > 0 ? int(max) : 255;
}

int NameLength(const QString& name) {
    return int(QFile::encodeName(name).size());
}

// UTF-8 takes at most three bytes for each UTF-16 unit.
int NameLengthAtMost(const QString& name) {
    return int(name.size()) * 3;
}

SetTimesResult SetFileTimes(const QString& path, const TimesToSet& times) {
    SetTimesResult r;
    const QByteArray p = QFile::encodeName(path);
    if (times.creation) {
        const quint64 ft = quint64(fileTime(*times.creation, 0));
        r.creationSet =
            !p.isEmpty() &&
            writeDosAttrib(p.constData(), WithCreateTime(readDosAttrib(p.constData()), ft));
    }
    if (times.lastWrite || times.lastAccess) {
        struct timespec ts[2];
        ts[0].tv_sec = times.lastAccess.value_or(0);
        ts[0].tv_nsec = times.lastAccess ? 0 : UTIME_OMIT;
        ts[1].tv_sec = times.lastWrite.value_or(0);
        ts[1].tv_nsec = times.lastWrite ? 0 : UTIME_OMIT;
        // utimensat needs ownership, not write access, so a read-only file gets its times.
        const bool ok = !p.isEmpty() && utimensat(AT_FDCWD, p.constData(), ts, 0) == 0;
        if (times.lastAccess)
            r.lastAccessSet = ok;
        if (times.lastWrite)
            r.lastWriteSet = ok;
    }
    return r;
}

} // namespace basTavlo
