#pragma once

#include "DateTime.h"

#include <QString>

#include <optional>
#include <vector>

// The one place that talks to the operating system: folders, attributes, times and
// renames. Everything above it works with QString paths and plain values.
namespace basTavlo {

enum Attribute : quint32 {
    AttrReadOnly = 0x1,
    AttrHidden = 0x2,
    AttrSystem = 0x4,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
};
inline constexpr quint32 kDosBits = AttrReadOnly | AttrHidden | AttrSystem | AttrArchive;

// The separator that folder texts end with and that joins them to file names.
QChar PathSeparator();

// Folder text as the rest of the program keeps it: the folder followed by exactly one
// separator (a root folder keeps the one it has); empty for an empty text.
QString WithTrailingSeparator(const QString& folder);

// The ordinary files of one folder (not its subfolders; no hidden or system entries),
// in the order the platform returns them. Names that can't be told apart after decoding
// (bytes invalid in the file-name encoding) are left out so that they are never renamed
// under a mangled name. False when the folder can't be read.
bool ListFolderFiles(const QString& folder, std::vector<QString>& names);

// What a look-up of one path finds: the find-data record of the system.
struct FindData {
    quint32 attributes = 0;  // Attribute bits, AttrDirectory for folders
    qint64 creationTime = 0; // file times: 100-ns units since 1601 UTC, 0 = none
    qint64 lastAccessTime = 0;
    qint64 lastWriteTime = 0;
    QString fileName; // the name on disk, "Error" (space-filled) when nothing was found
    bool found = false;
};

FindData GetFileInfo(const QString& path);
// The record of a look-up that found nothing: all zero, name "Error".
FindData NotFound();

struct FileDetails {
    bool ReadOnly = false;
    bool Hidden = false;
    bool System = false;
    bool Archive = false;
    DateTime Created;
    DateTime Modified;
    DateTime LastAccessed;
};

FileDetails DetailsFromFindData(const FindData& data);
FileDetails GetFileTimes(const QString& path);

// The four attribute bits of a file; nullopt when it can't be read.
std::optional<quint32> GetAttributes(const QString& path);
// Sets the four attribute bits to exactly bits; every other property of the file stays.
bool SetAttributes(const QString& path, quint32 bits);

enum class RenameError {
    None,
    SourceMissing,
    TargetExists,
    PermissionDenied,
    InvalidName,
    Unsupported,
    Other,
};

// Moves a file to a new name in the same folder. Never replaces an existing file,
// atomically where the system allows. A change of letter case alone works on file
// systems that ignore case.
RenameError RenameFile(const QString& from, const QString& to);

namespace testing {
// Renames as on a file system that refuses RENAME_NOREPLACE (some network and FUSE ones).
void RefuseNoReplaceFlag(bool refuse);
} // namespace testing

bool PathExists(const QString& path); // without following a final symbolic link
bool SameFile(const QString& a, const QString& b);

// The longest file name, in the units the system counts, for files in folder.
int MaxNameLength(const QString& folder);
// How long name is in those units, and a bound on it that costs nothing to compute.
int NameLength(const QString& name);
int NameLengthAtMost(const QString& name);

// Times to set: nullopt leaves that time unchanged. UTC seconds since 1970.
struct TimesToSet {
    std::optional<qint64> creation;
    std::optional<qint64> lastWrite;
    std::optional<qint64> lastAccess;
};

struct SetTimesResult {
    bool creationSet = true;
    bool lastWriteSet = true;
    bool lastAccessSet = true;
    bool ok() const { return creationSet && lastWriteSet && lastAccessSet; }
};

// Needs no write access for the modified and accessed times, so a read-only file gets
// them too.
SetTimesResult SetFileTimes(const QString& path, const TimesToSet& times);

} // namespace basTavlo
