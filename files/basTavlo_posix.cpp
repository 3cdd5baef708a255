#include "DosSide.h"
#include "Parallel.h"
#include "basTavlo.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace basTavlo {

namespace {

constexpr qint64 kTicksPerSecond = 10000000;
constexpr qint64 kGenerationMark = qint64(1) << 62; // no birth time in ns comes near it

qint64 fileTime(qint64 secs, qint64 nsecs) {
    return (secs + kFileTimeEpochOffsetSecs) * kTicksPerSecond + nsecs / 100;
}

FileId idOf(const struct statx& sx) {
    const qint64 birth = (sx.stx_mask & STATX_BTIME)
                             ? qint64(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec
                             : 0;
    // The kernel's device numbers have 12 bits of major and 20 of minor.
    return FileId{quint64(sx.stx_ino), birth, quint32(sx.stx_dev_major << 20 | sx.stx_dev_minor),
                  quint16(sx.stx_mode & S_IFMT), true};
}

// The size and change time too, for the print of a file on a volume without birth times.
constexpr unsigned kIdMask = STATX_TYPE | STATX_INO | STATX_BTIME | STATX_SIZE | STATX_CTIME;

// Whether the device's file system gives each use of an inode a generation of its own (ext2,
// ext3, ext4): asked once for each device a thread meets, by the folder at dir, or of path.
bool keepsGenerations(quint32 device, int dir, const char* path) {
    struct Last {
        quint32 device = 0;
        bool asked = false, keeps = false;
    };
    thread_local Last last;
    if (last.asked && last.device == device)
        return last.keeps;
    struct statfs fs;
    const bool read = dir == AT_FDCWD ? statfs(path, &fs) == 0 : fstatfs(dir, &fs) == 0;
    last = {device, read, read && fs.f_type == EXT4_SUPER_MAGIC};
    return last.keeps;
}

// Where the volume keeps no birth time, a file made in a deleted one's place gets its number:
// the inode's generation tells the two apart instead, read through fd where it is open on
// the file, else through an open of name in dir. Left out where it can't be read, so that a
// file the program may not open compares as before.
FileId withGeneration(FileId id, const struct statx& sx, int dir, const char* name, int fd = -1) {
    if (!id.valid || (sx.stx_mask & STATX_BTIME) ||
        !(S_ISREG(sx.stx_mode) || S_ISDIR(sx.stx_mode)) || !keepsGenerations(id.volume, dir, name))
        return id;
    const int own =
        fd >= 0 ? fd : openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own < 0)
        return id;
    struct stat st;
    long generation = 0;
    if (fstat(own, &st) == 0 && quint64(st.st_ino) == id.file &&
        ioctl(own, FS_IOC_GETVERSION, &generation) == 0)
        id.birth = qint64(quint32(generation)) | kGenerationMark;
    if (own != fd)
        close(own);
    return id;
}

// Where neither a birth time nor a generation tells a file from a new one under its number,
// an ordinary file's size and change time stand in, marked as such: a look-up that finds them
// moved can say the file may not be the one seen before.
FileId printed(FileId id, const struct statx& sx) {
    if (id.valid && id.birth == 0 && S_ISREG(sx.stx_mode)) {
        const qint64 changed =
            (sx.stx_mask & STATX_CTIME) ? fileTime(sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec) : 0;
        id.birth = FileId::kPrintMark |
                   qint64(quint32(qHashMulti(0, qint64(sx.stx_size), changed)) & 0xffffffffu);
    }
    return id;
}

quint32 dosBitsOf(const dos::State& d) {
    return d.attribValid ? d.attrib & (AttrHidden | AttrSystem | AttrArchive) : 0;
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

size_t RequestsInFlightOn(long type) {
    switch (type) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xff534d42: // CIFS
    case 0xfe534d42: // SMB2
    case 0x65735546: // FUSE
    case V9FS_MAGIC:
    case AFS_SUPER_MAGIC:
    case CEPH_SUPER_MAGIC:
        return 32;
    default:
        return 0;
    }
}

namespace {

// By what statfs or fstatfs gave (its result and the record it filled).
size_t requestsInFlight(int statfsResult, const struct statfs& fs) {
    if (const size_t n = testing::EveryVolumeSlow())
        return n;
    return statfsResult == 0 ? RequestsInFlightOn(long(fs.f_type)) : 0;
}

} // namespace

size_t RequestsInFlight(const QString& folder) {
    struct statfs fs;
    return requestsInFlight(statfs(QFile::encodeName(folder).constData(), &fs), fs);
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
    // First the folder's regular files by name, then their attribute values over the cores.
    std::vector<std::string> found;
    int err = 0;
    for (;;) {
        errno = 0; // readdir tells the end from a failure only by errno
        const dirent* e = readdir(dir);
        if (!e) {
            err = errno;
            break;
        }
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
        if (type == DT_REG) // not folders, nor special files, which count as system entries
            found.emplace_back(name);
    }
    std::string prefix(dirPath.constData(), size_t(dirPath.size()));
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    const dos::Store store = dos::StoreOfFolder(dirFd);
    // Each name decoded where its attribute value is read; empty where it is left out.
    std::vector<QString> decoded(found.size());
    struct statfs fs;
    const size_t inFlight = requestsInFlight(fstatfs(dirFd, &fs), fs);
    ParallelFor(
        found.size(),
        [&](size_t i) {
            const char* name = found[i].c_str();
            auto state = dos::ReadAt(store, dirFd, name, false);
            if (!state)
                state = dos::Read(store, (prefix + found[i]).c_str(), false);
            if (dosBitsOf(*state) & (AttrHidden | AttrSystem))
                return;
            QString text = QFile::decodeName(name);
            // Plain ASCII always decodes exactly; anything else must come back the same bytes.
            if (isAscii(name) || QFile::encodeName(text) == QByteArray(name))
                decoded[i] = std::move(text);
        },
        inFlight);
    closedir(dir);
    found = std::vector<std::string>();
    names.reserve(names.size() + decoded.size());
    for (QString& name : decoded)
        if (!name.isEmpty())
            names.push_back(std::move(name));
    errno = err;
    return err == 0;
}

namespace {

constexpr unsigned kInfoMask = STATX_BASIC_STATS | STATX_BTIME;

// The find-data record of a file that statx found, with what its DOS side holds.
FindData findData(const struct statx& sx, const FileId& id, dos::Store store, const dos::State& dos,
                  QString fileName) {
    FindData d;
    d.found = true;
    d.fileName = std::move(fileName);
    d.id = id;
    const mode_t mode = sx.stx_mode;
    // A symbolic link is an entry of the folder like a file; it is renamed as itself.
    if (S_ISDIR(mode))
        d.attributes |= AttrDirectory;
    else if (!S_ISREG(mode) && !S_ISLNK(mode))
        d.attributes |= AttrSystem;
    if (!S_ISLNK(mode) && dos::IsReadOnly(store, mode, dos))
        d.attributes |= AttrReadOnly;
    if (d.fileName.startsWith(QLatin1Char('.')))
        d.attributes |= AttrHidden;
    d.attributes |= dosBitsOf(dos);
    d.lastWriteTime = fileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    d.size = qint64(sx.stx_size);
    if (sx.stx_mask & STATX_CTIME)
        d.changeTime = fileTime(sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec);
    d.lastAccessTime = fileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    if (dos.createValid)
        d.creationTime = qint64(dos.createTime);
    else if (sx.stx_mask & STATX_BTIME)
        d.creationTime = fileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return d;
}

FindData notFound(const QByteArray& p) {
    FindData none = NotFound();
    none.unreadable = !p.isEmpty() && errno != ENOENT && errno != ENOTDIR;
    return none;
}

} // namespace

FindData GetFileInfo(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    struct statx sx;
    if (p.isEmpty() ||
        statx(AT_FDCWD, p.constData(), AT_SYMLINK_NOFOLLOW, kInfoMask | dos::MountMask(), &sx) != 0)
        return notFound(p);
    const dos::Store store = dos::StoreOf(sx, p.constData());
    return findData(sx, printed(withGeneration(idOf(sx), sx, AT_FDCWD, p.constData()), sx), store,
                    dos::Read(store, p.constData(), false), FileNameOf(path));
}

FileId IdOf(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    struct statx sx;
    if (p.isEmpty() || statx(AT_FDCWD, p.constData(), AT_SYMLINK_NOFOLLOW, kIdMask, &sx) != 0)
        return {};
    return printed(withGeneration(idOf(sx), sx, AT_FDCWD, p.constData()), sx);
}

std::optional<quint32> GetAttributes(const QString& path) {
    const FindData d = GetFileInfo(path);
    if (!d.found)
        return std::nullopt;
    return d.attributes & kDosBits;
}

namespace {

QByteArray procPath(int fd) {
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// utimensat needs ownership, not write access, so a read-only file gets its times. A link
// held by O_PATH can only be reached by its name: check it is still there.
bool setHeldTimes(int fd, bool link, const QString& path, const FileId& id,
                  const struct timespec ts[2]) {
    if (link)
        return IdOf(path) == id && utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts,
                                             AT_SYMLINK_NOFOLLOW) == 0;
    return utimensat(AT_FDCWD, procPath(fd).constData(), ts, 0) == 0;
}

} // namespace

StampTarget::StampTarget(const QString& path, const FileId& id) : m_path(path), m_id(id) {
    const QByteArray p = QFile::encodeName(path);
    if (p.isEmpty() || !id.valid)
        return;
    // O_PATH opens without reading or writing, so any file can be held, and O_NOFOLLOW
    // holds a link itself.
    m_fd = open(p.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0)
        return;
    struct statx sx;
    // The held file's generation, where its id has one, through an open of the file it holds.
    const auto heldId = [&](const struct statx& sx) {
        const FileId plain = idOf(sx);
        if (plain == id || !S_ISREG(sx.stx_mode))
            return plain;
        const int readable = open(procPath(m_fd).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const FileId held =
            readable < 0 ? plain : withGeneration(plain, sx, readable, "", readable);
        if (readable >= 0)
            close(readable);
        return held;
    };
    if (statx(m_fd, "", AT_EMPTY_PATH, kIdMask | dos::MountMask(), &sx) == 0 && heldId(sx) == id &&
        (S_ISREG(sx.stx_mode) || S_ISLNK(sx.stx_mode))) {
        m_held = true;
        m_link = S_ISLNK(sx.stx_mode);
        m_store = int(dos::StoreOf(sx, procPath(m_fd).constData()));
    }
}

StampTarget::~StampTarget() {
    if (m_fd >= 0)
        close(m_fd);
}

// Through /proc/self/fd the calls reach the held file whatever its name now is.
std::optional<quint32> StampTarget::attributes() const {
    if (!m_held)
        return std::nullopt;
    if (m_link)
        return 0u;
    const QByteArray p = procPath(m_fd);
    struct stat st;
    if (stat(p.constData(), &st) != 0)
        return std::nullopt;
    const auto store = dos::Store(m_store);
    const dos::State state = dos::Read(store, p.constData(), true);
    if (!state.readable)
        return std::nullopt; // bits we can't see are bits we can't keep
    return (dos::IsReadOnly(store, st.st_mode, state) ? quint32(AttrReadOnly) : 0u) |
           dosBitsOf(state);
}

bool StampTarget::setAttributes(quint32 bits) {
    // A link has no attributes of its own here; those of its target are not ours to set.
    return m_held && !m_link && dos::SetBits(dos::Store(m_store), procPath(m_fd).constData(), bits);
}

SetTimesResult StampTarget::setTimes(const TimesToSet& times) {
    SetTimesResult r = NoneSet(times);
    if (!m_held)
        return r;
    if (times.lastWrite || times.lastAccess) {
        struct timespec ts[2];
        ts[0].tv_sec = times.lastAccess.value_or(0);
        ts[0].tv_nsec = times.lastAccess ? 0 : UTIME_OMIT;
        ts[1].tv_sec = times.lastWrite.value_or(0);
        ts[1].tv_nsec = times.lastWrite ? 0 : UTIME_OMIT;
        const bool ok = setHeldTimes(m_fd, m_link, m_path, m_id, ts);
        // A file system clamps a time it can't hold (ext4 with small inodes keeps
        // 1901 to 2038) and says nothing: only a time read back as asked counts as set.
        const QByteArray name = m_link ? QFile::encodeName(m_path) : QByteArray();
        struct statx back;
        const bool read = ok && statx(m_link ? AT_FDCWD : m_fd, name.constData(),
                                      m_link ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH,
                                      STATX_MTIME | STATX_ATIME, &back) == 0;
        auto same = [](const struct statx_timestamp& t, qint64 secs) {
            return t.tv_sec == secs && t.tv_nsec == 0;
        };
        r.lastWriteSet = !times.lastWrite || (read && same(back.stx_mtime, *times.lastWrite));
        r.lastAccessSet = !times.lastAccess || (read && same(back.stx_atime, *times.lastAccess));
    }
    // The creation time last: ntfs-3g drops modified and accessed times set after it.
    if (times.creation && !m_link) { // a link can't hold the attribute that keeps it
        // Before 1601 or at its very start there is no file time that Samba reads.
        const qint64 t = fileTime(*times.creation, 0);
        r.creationSet = t > 0 && dos::SetCreateTime(dos::Store(m_store), procPath(m_fd).constData(),
                                                    quint64(t));
    }
    return r;
}

StampSnapshot StampTarget::snapshot() const {
    StampSnapshot s;
    if (!m_held)
        return s;
    struct statx sx;
    if (statx(m_fd, "", AT_EMPTY_PATH, STATX_MODE | STATX_ATIME | STATX_MTIME, &sx) != 0)
        return s;
    s.attributes = sx.stx_mode & 07777;
    s.times[0] = qint64(sx.stx_atime.tv_sec) * 1000000000 + sx.stx_atime.tv_nsec;
    s.times[1] = qint64(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
    if (!m_link) {
        const auto dos = dos::Save(dos::Store(m_store), procPath(m_fd).constData());
        if (!dos)
            return s;
        s.dos = *dos;
    }
    s.valid = true;
    return s;
}

bool StampTarget::restore(const StampSnapshot& s, bool attributes, bool times) {
    if (!m_held || !s.valid)
        return false;
    const QByteArray proc = procPath(m_fd);
    bool ok = true;
    if (times) { // before the DOS side's creation time, which ntfs-3g wants last
        struct timespec ts[2];
        for (int i = 0; i < 2; ++i) {
            const qint64 ns = s.times[i];
            const qint64 sec = ns / 1000000000 - (ns % 1000000000 < 0 ? 1 : 0);
            ts[i] = {time_t(sec), long(ns - sec * 1000000000)};
        }
        ok = setHeldTimes(m_fd, m_link, m_path, m_id, ts);
    }
    // The DOS side holds the bits and the creation time alike. Changing a user.* attribute
    // needs the write bit, even for the owner: lend it for the moment.
    struct stat st;
    if (!m_link && (attributes || times) && stat(proc.constData(), &st) != 0) {
        ok = false;
    } else if (!m_link && (attributes || times)) {
        const mode_t now = st.st_mode & 07777;
        if (!(now & S_IWUSR))
            chmod(proc.constData(), now | S_IWUSR);
        ok = dos::Put(dos::Store(m_store), proc.constData(), s.dos) && ok;
        const mode_t final = attributes ? mode_t(s.attributes) : now;
        if (final != (now | S_IWUSR))
            ok = chmod(proc.constData(), final) == 0 && ok;
    }
    return ok;
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

// A name relative to an open folder, or a full path with AT_FDCWD.
struct At {
    int dir;
    const char* name;
    // What the volume was found to refuse, where a held folder keeps it: each refused call
    // is a round trip, which on a network volume costs as much as the rename.
    std::atomic<int>* refuses = nullptr;
};

enum Refused { kNoReplaceFlag = 1, kLinks = 2 };

bool refuses(const At& a, Refused what) {
    return a.refuses && (a.refuses->load(std::memory_order_relaxed) & what);
}

void noteRefusal(const At& a, Refused what) {
    if (a.refuses)
        a.refuses->fetch_or(what, std::memory_order_relaxed);
}

bool statAt(const At& a, struct stat& st) {
    return fstatat(a.dir, a.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

RenameError errorFromErrno(int err, const At& from) {
    switch (err) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameError::TargetExists;
    case ENOENT: {
        struct stat st;
        return statAt(from, st) ? RenameError::Other : RenameError::SourceMissing;
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

testing::Refuse g_refuse = testing::Refuse::Nothing;

// The test hooks get full paths; they are set only where the layer works by them.
void atCall(testing::Moment when, const At& from, const At& to) {
    if (testing::HasBeforeRename() && from.dir == AT_FDCWD && to.dir == AT_FDCWD)
        testing::RunAtRenameCall(when, QFile::decodeName(from.name), QFile::decodeName(to.name));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A name of ZOV's own beside at's, made for one step: the name with a counter drawn at random,
// so that no other program acts on it and a file left there can be named in a report.
struct Aside {
    QByteArray name;
    int counter = -1;
    At at(const At& beside) const { return {beside.dir, name.constData()}; }
};

std::optional<Aside> freeAside(const At& beside) {
    for (int tries = 0; tries < 16; ++tries) {
        Aside a;
        a.counter = 1000 + int(QRandomGenerator::global()->bounded(31000));
        a.name = QFile::encodeName(TemporaryPath(QFile::decodeName(beside.name), a.counter));
        struct stat st;
        if (!statAt(a.at(beside), st) && errno == ENOENT)
            return a;
    }
    return std::nullopt;
}

// Where neither RENAME_NOREPLACE nor hard links are offered: reserve the new name with
// O_EXCL, which fails if anything holds it, then rename over the reservation once it is
// checked to be still the empty file made here. No call shuts out another program in the
// instant between that check and the rename; the reservation, held open, tells afterwards
// whether it was still the file that the rename replaced.
RenameError renameOverReservation(const At& from, const At& to) {
    struct stat st;
    if (!statAt(from, st))
        return RenameError::SourceMissing;
    const int fd =
        openat(to.dir, to.name, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errorFromErrno(errno, from);
    struct stat made;
    const bool known = fstat(fd, &made) == 0;
    auto stillOurs = [&] {
        struct stat now, held;
        return known && statAt(to, now) && sameFile(now, made) && S_ISREG(now.st_mode) &&
               now.st_size == 0 && fstat(fd, &held) == 0 && held.st_nlink == 1;
    };
    if (!stillOurs()) {
        close(fd);
        return RenameError::TargetExists; // whatever took it is not ours to touch
    }
    atCall(testing::Moment::JustBefore, from, to);
    if (renameat(from.dir, from.name, to.dir, to.name) == 0) {
        atCall(testing::Moment::JustAfter, from, to);
        struct stat held;
        const bool replaced = fstat(fd, &held) == 0 && held.st_nlink == 0;
        close(fd);
        return replaced ? RenameError::None : RenameError::MayHaveReplaced;
    }
    const int err = errno;
    if (stillOurs())
        unlinkat(to.dir, to.name, 0);
    close(fd);
    return errorFromErrno(err, from);
}

// Takes away the name `name` only while it names the same file as `keep`: it first moves to a
// name of ZOV's own, where no other program acts, and is checked there. What is another file
// goes back to `name` by a link, which never replaces; where it can't, it stays aside and
// aside gets the counter of that name. True where name is gone or went back.
enum class Dropped { Yes, AnotherWentBack, AnotherAside, No };
Dropped dropName(const At& name, const At& keep, int* aside) {
    const std::optional<Aside> a = freeAside(name);
    if (!a)
        return Dropped::No;
    if (renameat(name.dir, name.name, name.dir, a->name.constData()) != 0)
        return errno == ENOENT ? Dropped::Yes : Dropped::No;
    struct stat there, kept;
    if (statAt(a->at(name), there) && statAt(keep, kept) && sameFile(there, kept)) {
        unlinkat(name.dir, a->name.constData(), 0);
        return Dropped::Yes;
    }
    if (linkat(name.dir, a->name.constData(), name.dir, name.name, 0) == 0) {
        unlinkat(name.dir, a->name.constData(), 0);
        return Dropped::AnotherWentBack;
    }
    if (aside)
        *aside = a->counter;
    return Dropped::AnotherAside;
}

// Where renameat2 refuses the flag: a link creates the new name only if it is free, then
// the old name goes, but only while it still names the linked file: an editor's save may put
// a new file there in the meantime. A plain rename would replace, so it is never used bare.
RenameError linkThenUnlink(const At& from, const At& to, int* aside) {
    if (g_refuse == testing::Refuse::NoReplaceFlagAndLinks || refuses(from, kLinks))
        return renameOverReservation(from, to);
    atCall(testing::Moment::JustBefore, from, to);
    if (linkat(from.dir, from.name, to.dir, to.name, 0) != 0) {
        const int err = errno;
        if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS || err == EXDEV ||
            err == EMLINK) {
            if (err != EMLINK) // a file with too many links says nothing of the volume
                noteRefusal(from, kLinks);
            return renameOverReservation(from, to);
        }
        return errorFromErrno(err, from);
    }
    atCall(testing::Moment::JustAfter, from, to);
    switch (dropName(from, to, aside)) {
    case Dropped::Yes:
    case Dropped::AnotherWentBack:
        return RenameError::None;
    case Dropped::AnotherAside:
        return RenameError::OldNameTaken;
    case Dropped::No:
        break;
    }
    const int err = errno;
    dropName(to, from, nullptr); // back to one name, the old one
    return errorFromErrno(err, from);
}

RenameError renameNoReplace(const At& from, const At& to, int* aside = nullptr) {
    if (g_refuse != testing::Refuse::Nothing || refuses(from, kNoReplaceFlag))
        return linkThenUnlink(from, to, aside);
    atCall(testing::Moment::JustBefore, from, to);
    if (renameat2(from.dir, from.name, to.dir, to.name, RENAME_NOREPLACE) == 0) {
        atCall(testing::Moment::JustAfter, from, to);
        return RenameError::None;
    }
    if (errno == EINVAL) {
        noteRefusal(from, kNoReplaceFlag);
        return linkThenUnlink(from, to, aside);
    }
    return errorFromErrno(errno, from);
}

// folder joined to fromName and toName gives the full paths of from and to (folder is empty
// where the names are full paths): a change of case takes its temporary name from the
// first, and the test hook gets both.
RenameError renameAt(const At& from, const At& to, const QString& folder, QStringView fromName,
                     QStringView toName, int* temporary) {
    if (!*from.name || !*to.name)
        return RenameError::InvalidName;
    if (from.dir == to.dir && strcmp(from.name, to.name) == 0) {
        struct stat st;
        return statAt(from, st) ? RenameError::None : RenameError::SourceMissing;
    }
    const RenameError e = renameNoReplace(from, to, temporary);
    struct stat a, b;
    if (e != RenameError::TargetExists || !statAt(from, a) || !statAt(to, b) ||
        a.st_dev != b.st_dev || a.st_ino != b.st_ino)
        return e;
    // A file system that ignores case holds the target as the file itself: go through a
    // free temporary name, and come back if the second step fails.
    for (int n = 0; n < 100; ++n) {
        const QString tmpPath = TemporaryPath(JoinName(folder, fromName), n);
        const QByteArray tmpBytes = QFile::encodeName(tmpPath);
        // The temporary name sits beside from, in from's folder.
        const At tmp{from.dir,
                     from.dir == AT_FDCWD ? tmpBytes.constData()
                                          : strrchr(tmpBytes.constData(), '/') + 1,
                     from.refuses};
        const RenameError first = renameNoReplace(from, tmp);
        if (first == RenameError::TargetExists)
            continue;
        if (first != RenameError::None)
            return first;
        testing::RunBeforeRename(tmpPath, JoinName(folder, toName));
        const RenameError second = renameNoReplace(tmp, to);
        if (second == RenameError::None || renameNoReplace(tmp, from) == RenameError::None)
            return second;
        if (temporary)
            *temporary = n;
        return RenameError::LeftAtTemporary;
    }
    return RenameError::Other;
}

} // namespace

void testing::ReadAttributesByPath(bool byPath) {
    dos::UseReadAt(!byPath);
}

void testing::RefuseRenameFeatures(Refuse what) {
    g_refuse = what;
}

RenameError RenameFile(const QString& from, const QString& to) {
    testing::RunBeforeRename(from, to);
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    return renameAt({AT_FDCWD, f.constData()}, {AT_FDCWD, t.constData()}, {}, from, to, nullptr);
}

Folder::Folder(const QString& folder) : m_path(WithTrailingSeparator(folder)) {
    m_fd = open(QFile::encodeName(m_path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

Folder::~Folder() {
    if (m_fd >= 0)
        close(m_fd);
}

namespace {

// A name as the calls relative to the open folder take it; nullopt where they can't serve:
// the folder was not opened, or the name would reach into another folder.
std::optional<QByteArray> nameAt(int folderFd, QStringView name) {
    if (folderFd < 0 || name.contains(u'/'))
        return std::nullopt;
    return name.toUtf8();
}

} // namespace

// Each look-up by name starts at the folder: no walk of its path for each of many files.
FileId Folder::idOf(QStringView name) const {
    const auto n = nameAt(m_fd, name);
    if (!n)
        return IdOf(JoinName(m_path, name));
    struct statx sx;
    if (statx(m_fd, n->constData(), AT_SYMLINK_NOFOLLOW, kIdMask, &sx) != 0)
        return {};
    return printed(withGeneration(basTavlo::idOf(sx), sx, m_fd, n->constData()), sx);
}

namespace {

// An ordinary file's attribute word and first bytes, both through the descriptor, which is
// then closed.
dos::State readThrough(dos::Store store, int fd, qint64 fileSize, Head& head) {
    const dos::State state = dos::ReadOpen(store, fd);
    // The size looked up tells where the file ends: no read more to learn it.
    qint64 n = 0;
    while (n < head.capacity) {
        const ssize_t r = read(fd, head.data + n, size_t(head.capacity - n));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        n += r;
        if (n >= fileSize)
            break;
    }
    close(fd);
    head.size = n;
    return state;
}

} // namespace

FindData Folder::info(QStringView name, Head* head) const {
    const auto n = nameAt(m_fd, name);
    if (!n)
        return GetFileInfo(JoinName(m_path, name));
    // Where the first bytes are wanted too, the file is opened first and then asked what it
    // is: one search of the folder for both. The names come from a listing of ordinary files;
    // the open neither waits nor follows a link, and what is no longer an ordinary file is
    // closed unread. A link, or a file that can't be opened, is looked up by name.
    const int fd = head ? openat(m_fd, n->constData(),
                                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC)
                        : -1;
    const unsigned mask = kInfoMask | dos::MountMask();
    struct statx sx;
    const bool found = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, mask, &sx) == 0
                               : statx(m_fd, n->constData(), AT_SYMLINK_NOFOLLOW, mask, &sx) == 0;
    if (!found) {
        if (fd >= 0)
            close(fd);
        return notFound(*n);
    }
    const auto path = [&] { return QFile::encodeName(JoinName(m_path, name)); };
    const FileId id = printed(withGeneration(basTavlo::idOf(sx), sx, m_fd, n->constData(), fd), sx);
    const dos::Store store = dos::StoreOf(sx, path);
    std::optional<dos::State> state;
    if (fd >= 0 && S_ISREG(sx.stx_mode))
        state = readThrough(store, fd, qint64(sx.stx_size), *head);
    else if (fd >= 0)
        close(fd);
    if (!state)
        state = dos::ReadAt(store, m_fd, n->constData(), false);
    if (!state)
        state = dos::Read(store, path().constData(), false);
    return findData(sx, id, store, *state, name.toString());
}

bool Folder::exists(QStringView name) const {
    const auto n = nameAt(m_fd, name);
    if (!n)
        return PathExists(JoinName(m_path, name));
    struct stat st;
    return fstatat(m_fd, n->constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

// Whether two names in a folder are the same only where their bytes are: the file systems
// known to compare names so, less their folders that fold case.
bool namesByBytes(int dirFd) {
    struct statfs fs;
    if (fstatfs(dirFd, &fs) != 0)
        return false;
    switch (fs.f_type) {
    case BTRFS_SUPER_MAGIC:
        return true;
    case EXT4_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC: {
        int flags = 0;
        return ioctl(dirFd, FS_IOC_GETFLAGS, &flags) == 0 && !(flags & FS_CASEFOLD_FL);
    }
    default:
        return false;
    }
}

} // namespace

// One pass over the folder's entries costs far less than a search of its index for each name
// that is not there, once the questions are many beside the entries: here one for each 64
// bytes of the folder, which is about a third of its entries where names are short.
NameHashes Folder::names(size_t questions) const {
    const int fd = m_fd < 0 ? -1 : openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st;
    const bool worth = fstat(fd, &st) == 0 && questions * 64 >= size_t(st.st_size);
    DIR* dir = worth ? fdopendir(fd) : nullptr;
    if (!dir) {
        close(fd);
        return {};
    }
    // Elsewhere, as on a network volume, where each question is a round trip, by a form that
    // holds whatever the server's rule.
    const bool byBytes = namesByBytes(fd);
    std::vector<quint64> hashes;
    std::vector<QString> names;
    for (;;) {
        errno = 0;
        const dirent* e = readdir(dir);
        if (!e)
            break;
        if (byBytes)
            hashes.push_back(NameHashes::hashOf(e->d_name, strlen(e->d_name)));
        else
            names.push_back(QFile::decodeName(e->d_name));
    }
    const bool whole = errno == 0; // a folder read in part knows nothing
    closedir(dir);
    if (!whole)
        return NameHashes();
    return byBytes ? NameHashes(hashes) : NameHashes::Folded(names);
}

RenameError Folder::rename(QStringView from, QStringView to) const {
    return renameName(from, to, nullptr);
}

RenameError Folder::renameName(QStringView from, QStringView to, int* temporary,
                               const FileId* id) const {
    if (m_fd < 0 || testing::HasBeforeRename()) {
        const QString fromPath = JoinName(m_path, from), toPath = JoinName(m_path, to);
        testing::RunBeforeRename(fromPath, toPath);
        if (id && IdOf(fromPath) != *id)
            return RenameError::NotThatFile;
        const QByteArray f = QFile::encodeName(fromPath), t = QFile::encodeName(toPath);
        return renameAt({AT_FDCWD, f.constData(), &m_refuses},
                        {AT_FDCWD, t.constData(), &m_refuses}, {}, fromPath, toPath, temporary);
    }
    const QByteArray f = from.toUtf8(), t = to.toUtf8();
    if (f.contains('/') || t.contains('/'))
        return RenameError::InvalidName;
    if (id && idOf(from) != *id)
        return RenameError::NotThatFile;
    return renameAt({m_fd, f.constData(), &m_refuses}, {m_fd, t.constData(), &m_refuses}, m_path,
                    from, to, temporary);
}

// No call renames "this file" here: every move is checked after it.
RenameError Folder::moveUnsettled(QStringView from, QStringView to, const FileId& id,
                                  int* temporary, bool* unsettled) const {
    *unsettled = true;
    return renameName(from, to, temporary, &id);
}

FileId Folder::id() const {
    struct statx sx;
    if (m_fd < 0 || statx(m_fd, "", AT_EMPTY_PATH, kIdMask, &sx) != 0)
        return {};
    return withGeneration(basTavlo::idOf(sx), sx, m_fd, ".");
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

} // namespace basTavlo
