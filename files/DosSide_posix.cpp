#include "DosSide.h"

#include "DosAttrib.h"
#include "basTavlo.h"

#include <QByteArray>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U // Linux 6.8: mount ids that are never reused
#endif

namespace basTavlo::dos {

namespace {

constexpr long kFuseMagic = 0x65735546;
constexpr long kNtfsMagic = 0x5346544e;
constexpr long kMsdosMagic = 0x4d44;

constexpr char kNtfsAttrib[] = "system.ntfs_attrib";
constexpr char kNtfsCrtime[] = "system.ntfs_crtime";
constexpr char kNtfs3Attrib[] = "system.dos_attrib";

// The value of an attribute as get(buffer, size) reads it: nullopt where it could not be
// read, empty where the file has none or the file system keeps none.
template <typename Get> std::optional<QByteArray> readXattrWith(const Get& get) {
    char buf[256];
    ssize_t n = get(buf, sizeof buf);
    if (n >= 0)
        return QByteArray(buf, int(n));
    if (errno == ERANGE) { // larger than any known form: read it whole
        const ssize_t size = get(nullptr, 0);
        if (size > 0) {
            QByteArray big(int(size), '\0');
            n = get(big.data(), size_t(big.size()));
            if (n >= 0)
                return big.left(int(n));
        }
    }
    if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP)
        return QByteArray();
    return std::nullopt;
}

std::optional<QByteArray> readXattr(const char* path, const char* name, bool follow) {
    auto get = follow ? getxattr : lgetxattr;
    return readXattrWith([&](void* buf, size_t size) { return get(path, name, buf, size); });
}

// getxattrat (Linux 6.13) reads by name in an open folder: no walk of the folder's path
// for each of many files. Older kernels answer ENOSYS, once; then paths serve.
#if defined(__x86_64__) || defined(__aarch64__)
constexpr long kGetxattrat = 464;
#else
constexpr long kGetxattrat = -1;
#endif
std::atomic<bool> g_noGetxattrat{kGetxattrat < 0};

ssize_t getxattrAt(int dirFd, const char* file, bool follow, const char* name, void* buf,
                   size_t size) {
    struct {
        quint64 value;
        quint32 size;
        quint32 flags;
    } args{quint64(quintptr(buf)), quint32(size), 0};
    return syscall(kGetxattrat, dirFd, file, follow ? 0 : AT_SYMLINK_NOFOLLOW, name, &args,
                   sizeof args);
}

// Setting a user.* attribute needs write permission even for the owner: give a
// read-only file its write bit for the moment of the call.
bool writeXattr(const char* path, const char* name, const QByteArray& value) {
    if (setxattr(path, name, value.constData(), size_t(value.size()), 0) == 0)
        return true;
    if (errno != EACCES && errno != EPERM)
        return false;
    struct stat st;
    if (stat(path, &st) != 0 || (st.st_mode & S_IWUSR))
        return false;
    const mode_t mode = st.st_mode & 07777;
    if (chmod(path, mode | S_IWUSR) != 0)
        return false;
    const bool ok = setxattr(path, name, value.constData(), size_t(value.size()), 0) == 0;
    chmod(path, mode);
    return ok;
}

quint64 littleEndian(const QByteArray& b) {
    quint64 v = 0;
    for (qsizetype i = b.size(); i-- > 0;)
        v = v << 8 | quint8(b[i]);
    return v;
}

QByteArray littleEndian(quint64 v, int bytes) {
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        b[i] = char(v >> (8 * i) & 0xff);
    return b;
}

// The FAT ioctls need a file opened for reading; a link is never followed.
int openForIoctl(const char* path, bool follow) {
    return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
}

std::optional<quint32> fatAttribOf(int fd) {
    if (fd < 0)
        return std::nullopt;
    quint32 a = 0;
    const bool ok = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &a) == 0;
    close(fd);
    return ok ? std::optional(a) : std::nullopt;
}

std::optional<quint32> fatAttrib(const char* path, bool follow) {
    return fatAttribOf(openForIoctl(path, follow));
}

// What the store holds, read by get(attribute name, buffer, size), or for FAT from the
// file that open() opens.
template <typename Get, typename Open>
State readWith(Store store, const Get& get, const Open& open) {
    State s;
    auto read = [&](const char* name) {
        return readXattrWith([&](void* buf, size_t size) { return get(name, buf, size); });
    };
    switch (store) {
    case Store::Xattr: {
        const auto value = read(kDosAttribName);
        if (!value) {
            s.readable = false;
            return s;
        }
        const DosAttrib d = ParseDosAttrib(*value);
        s.attribValid = d.attribValid;
        s.attrib = d.attrib;
        s.createValid = d.createTimeValid;
        s.createTime = d.createTime;
        return s;
    }
    case Store::Ntfs3g:
    case Store::Ntfs3: {
        const auto word = read(store == Store::Ntfs3g ? kNtfsAttrib : kNtfs3Attrib);
        s.readable = word.has_value();
        if (word && !word->isEmpty()) {
            s.attribValid = true;
            s.attrib = quint32(littleEndian(*word));
        }
        if (store == Store::Ntfs3g) {
            const auto crtime = read(kNtfsCrtime);
            if (crtime && crtime->size() == 8 && littleEndian(*crtime) != 0) {
                s.createValid = true;
                s.createTime = littleEndian(*crtime);
            }
        }
        return s;
    }
    case Store::Fat: {
        const auto a = fatAttribOf(open());
        s.readable = a.has_value();
        s.attribValid = s.readable;
        s.attrib = a.value_or(0);
        return s;
    }
    }
    return s;
}

Store storeFromStatfs(const struct statfs& fs, auto probe) {
    switch (fs.f_type) {
    case kNtfsMagic:
        return Store::Ntfs3;
    case kMsdosMagic:
        return Store::Fat;
    case kFuseMagic: {
        // Of the FUSE drivers, ntfs-3g alone answers for its attribute word.
        char word[4];
        return probe(kNtfsAttrib, word, sizeof word) == 4 ? Store::Ntfs3g : Store::Xattr;
    }
    default:
        return Store::Xattr;
    }
}

struct MountCache {
    std::mutex mutex;
    std::vector<std::pair<quint64, Store>> known; // by unique mount id
};

MountCache& mountCache() {
    static MountCache cache;
    return cache;
}

} // namespace

Store StoreOfFolder(int dirFd) {
    struct statfs fs;
    if (fstatfs(dirFd, &fs) != 0)
        return Store::Xattr;
    return storeFromStatfs(fs, [dirFd](const char* name, char* buf, size_t size) {
        return fgetxattr(dirFd, name, buf, size);
    });
}

unsigned MountMask() {
    return STATX_MNT_ID_UNIQUE;
}

Store StoreOf(const struct statx& sx, const char* path) {
    return StoreOf(sx, [path] { return QByteArray(path); });
}

Store StoreOf(const struct statx& sx, const std::function<QByteArray()>& pathOf) {
    auto fromPath = [&pathOf] {
        const QByteArray path = pathOf();
        struct statfs fs;
        if (statfs(path.constData(), &fs) != 0)
            return Store::Xattr;
        return storeFromStatfs(fs, [&path](const char* name, char* buf, size_t size) {
            return getxattr(path.constData(), name, buf, size);
        });
    };
    if (!(sx.stx_mask & STATX_MNT_ID_UNIQUE))
        return fromPath(); // older kernels reuse mount ids: ask each time
    const quint64 mount = sx.stx_mnt_id;
    thread_local std::pair<quint64, Store> last{0, Store::Xattr};
    if (last.first == mount && mount != 0)
        return last.second;
    MountCache& cache = mountCache();
    {
        std::lock_guard lock(cache.mutex);
        for (const auto& k : cache.known)
            if (k.first == mount)
                return (last = k).second;
    }
    const Store store = fromPath();
    std::lock_guard lock(cache.mutex);
    cache.known.emplace_back(mount, store);
    last = {mount, store};
    return store;
}

State Read(Store store, const char* path, bool follow) {
    auto get = follow ? getxattr : lgetxattr;
    return readWith(
        store, [&](const char* name, void* buf, size_t size) { return get(path, name, buf, size); },
        [&] { return openForIoctl(path, follow); });
}

State ReadOpen(Store store, int fd) {
    return readWith(
        store,
        [&](const char* name, void* buf, size_t size) { return fgetxattr(fd, name, buf, size); },
        [&] { return fcntl(fd, F_DUPFD_CLOEXEC, 0); });
}

std::optional<State> ReadAt(Store store, int dirFd, const char* name, bool follow) {
    if (g_noGetxattrat)
        return std::nullopt;
    // A sandbox that doesn't know the call may refuse it with EPERM, which reading a value
    // never gives otherwise: the path answers then.
    bool refused = false;
    const State s = readWith(
        store,
        [&](const char* attr, void* buf, size_t size) {
            const ssize_t n = getxattrAt(dirFd, name, follow, attr, buf, size);
            if (n < 0 && (errno == ENOSYS || errno == EPERM)) {
                refused = true;
                if (errno == ENOSYS)
                    g_noGetxattrat = true;
            }
            return n;
        },
        [&] {
            return openat(dirFd, name,
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
        });
    if (refused)
        return std::nullopt;
    return s;
}

void UseReadAt(bool use) {
    g_noGetxattrat = !use || kGetxattrat < 0;
}

bool IsReadOnly(Store store, unsigned mode, const State& state) {
    if (state.attribValid && (state.attrib & AttrReadOnly))
        return true;
    // NTFS and FAT keep read-only in the word alone; their mode is made up from it or
    // from mount options. Elsewhere the mode counts as Wine counts it: read-only only
    // when nobody may write (0444, 0555), so 0464 is not. Samba, which reads the word
    // alone, sees what ZOV sets because ZOV sets both.
    return store == Store::Xattr && !(mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

bool SetBits(Store store, const char* path, quint32 bits) {
    bits &= kDosBits;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    switch (store) {
    case Store::Xattr: {
        errno = 0;
        const auto old = readXattr(path, kDosAttribName, true);
        if (!old)
            return false; // a value we can't read is never overwritten
        // A volume that keeps no attribute value and takes no change of mode either (a FAT
        // volume through FUSE) has bits of its own that nothing here can read or change.
        const bool keepsNone = old->isEmpty() && (errno == ENOTSUP || errno == EOPNOTSUPP);
        if (keepsNone && chmod(path, st.st_mode & 07777) != 0)
            return false;
        const DosAttrib dos = ParseDosAttrib(*old);
        const quint32 word = (dos.attribValid ? dos.attrib & ~kDosBits : 0) | bits;
        const bool wordNeeded = dos.attribValid ? word != dos.attrib : bits != 0;
        std::optional<QByteArray> value;
        if (wordNeeded && !(value = WithAttrib(*old, word)))
            return false;
        const mode_t mode = st.st_mode & 07777;
        const bool modeReadOnly = !(mode & (S_IWUSR | S_IWGRP | S_IWOTH));
        const bool wantReadOnly = bits & AttrReadOnly;
        // Leaving read-only first, entering it last: the attribute write needs the write bit.
        if (modeReadOnly && !wantReadOnly && chmod(path, mode | S_IWUSR) != 0)
            return false;
        if (wordNeeded && !writeXattr(path, kDosAttribName, *value)) {
            // Where the file system keeps no attributes at all, read-only still lives in
            // the mode; any other bit is not set.
            const bool noValues = errno == ENOTSUP || errno == EOPNOTSUPP;
            if (!noValues || ((word ^ (dos.attribValid ? dos.attrib : 0)) & ~AttrReadOnly)) {
                chmod(path, mode);
                return false;
            }
        }
        if (!modeReadOnly && wantReadOnly && chmod(path, mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)))
            return false;
        return true;
    }
    case Store::Ntfs3g:
    case Store::Ntfs3: {
        const char* name = store == Store::Ntfs3g ? kNtfsAttrib : kNtfs3Attrib;
        const auto old = readXattr(path, name, true);
        if (!old || old->isEmpty())
            return false;
        const quint32 word = (quint32(littleEndian(*old)) & ~kDosBits) | bits;
        return word == littleEndian(*old) ||
               setxattr(path, name, littleEndian(word, int(old->size())).constData(),
                        size_t(old->size()), 0) == 0;
    }
    case Store::Fat: {
        const int fd = openForIoctl(path, true);
        if (fd < 0)
            return false;
        quint32 a = 0;
        bool ok = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &a) == 0;
        const quint32 word = (a & ~kDosBits) | bits;
        ok = ok && (word == a || ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &word) == 0);
        close(fd);
        return ok;
    }
    }
    return false;
}

bool SetCreateTime(Store store, const char* path, quint64 createTime) {
    switch (store) {
    case Store::Xattr: {
        const auto old = readXattr(path, kDosAttribName, true);
        if (!old)
            return false;
        const auto value = WithCreateTime(*old, createTime);
        if (!value || !writeXattr(path, kDosAttribName, *value))
            return false;
        break;
    }
    case Store::Ntfs3g:
        if (setxattr(path, kNtfsCrtime, littleEndian(createTime, 8).constData(), 8, 0) != 0)
            return false;
        break;
    case Store::Ntfs3:
    case Store::Fat:
        return false; // not settable from Linux
    }
    const State back = Read(store, path, true);
    return back.createValid && back.createTime == createTime;
}

// Xattr: the raw value ("" for none); NTFS: the word, then ntfs-3g's creation time;
// FAT: the word.
std::optional<QByteArray> Save(Store store, const char* path) {
    switch (store) {
    case Store::Xattr:
        return readXattr(path, kDosAttribName, true);
    case Store::Ntfs3g:
    case Store::Ntfs3: {
        auto word = readXattr(path, store == Store::Ntfs3g ? kNtfsAttrib : kNtfs3Attrib, true);
        if (word && store == Store::Ntfs3g) {
            const auto crtime = readXattr(path, kNtfsCrtime, true);
            if (!crtime)
                return std::nullopt;
            word->append(*crtime);
        }
        return word;
    }
    case Store::Fat:
        if (const auto a = fatAttrib(path, true))
            return littleEndian(*a, 4);
        return std::nullopt;
    }
    return std::nullopt;
}

bool Put(Store store, const char* path, const QByteArray& saved) {
    const auto now = Save(store, path);
    if (now && *now == saved)
        return true;
    switch (store) {
    case Store::Xattr:
        if (saved.isEmpty())
            return removexattr(path, kDosAttribName) == 0 || errno == ENODATA;
        return writeXattr(path, kDosAttribName, saved);
    case Store::Ntfs3g:
    case Store::Ntfs3: {
        const qsizetype wordSize = store == Store::Ntfs3g ? 4 : saved.size();
        if (saved.size() < wordSize || wordSize == 0 || wordSize > 4)
            return false;
        const QByteArray word = saved.left(wordSize);
        const char* name = store == Store::Ntfs3g ? kNtfsAttrib : kNtfs3Attrib;
        bool ok = setxattr(path, name, word.constData(), size_t(word.size()), 0) == 0;
        if (store == Store::Ntfs3g && saved.size() == 12)
            ok = ok && setxattr(path, kNtfsCrtime, saved.constData() + 4, 8, 0) == 0;
        return ok;
    }
    case Store::Fat: {
        const int fd = openForIoctl(path, true);
        quint32 word = quint32(littleEndian(saved));
        const bool ok = fd >= 0 && ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &word) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }
    }
    return false;
}

} // namespace basTavlo::dos
