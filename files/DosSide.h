#pragma once

// Where a Linux file system keeps a file's DOS attribute bits and creation time. Internal
// to the POSIX layer.

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>

struct statx;

namespace basTavlo::dos {

enum class Store {
    Xattr,  // user.DOSATTRIB, as Samba and Wine keep it
    Ntfs3g, // system.ntfs_attrib and system.ntfs_crtime (ntfs-3g)
    Ntfs3,  // system.dos_attrib (the kernel's ntfs3)
    Fat,    // the FAT attribute ioctls (vfat)
};

// Decided from the file system type, once for a folder or a mount.
Store StoreOfFolder(int dirFd);
// The store of the mount a statx came from (asked with MountMask()); cached per mount.
Store StoreOf(const struct statx& sx, const char* path);
// The same, with the path made only where the mount is new.
Store StoreOf(const struct statx& sx, const std::function<QByteArray()>& path);
unsigned MountMask();

struct State {
    bool readable = true; // false: a value is there but could not be read
    bool attribValid = false;
    quint32 attrib = 0;
    bool createValid = false;
    quint64 createTime = 0; // 100-ns units since 1601 UTC
};

// What the store holds for path, a link's own where follow is false.
State Read(Store store, const char* path, bool follow);
// The same for the file name in the open folder dirFd; nullopt where the kernel can't read
// attributes by name in a folder (before Linux 6.13), and the path must serve.
std::optional<State> ReadAt(Store store, int dirFd, const char* name, bool follow);
void UseReadAt(bool use); // for tests: false makes ReadAt give nullopt
// The same for the file open as fd.
State ReadOpen(Store store, int fd);

// Sets the read-only, hidden, system and archive bits of the file at the followed path
// to bits, keeping its other bits; where the mode says read-only too, the mode follows.
// False, and nothing changed, where the value can't be read or rewritten.
bool SetBits(Store store, const char* path, quint32 bits);

// Sets the creation time and reads it back; false where another time, or none, is there.
bool SetCreateTime(Store store, const char* path, quint64 createTime);

// All the store keeps of a file, to put back with Put; nullopt where it can't be read.
std::optional<QByteArray> Save(Store store, const char* path);
bool Put(Store store, const char* path, const QByteArray& saved);

// Read-only as Wine and Samba see it, from the mode and the attribute word.
bool IsReadOnly(Store store, unsigned mode, const State& state);

} // namespace basTavlo::dos
