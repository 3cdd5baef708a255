#pragma once

#include "DateTime.h"

#include <QString>

#include <atomic>
#include <functional>
#include <initializer_list>
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

// Where the file name of a full path starts (after its last separator), and that name.
qsizetype FileNameStart(const QString& path);
QString FileNameOf(const QString& path);
QString FolderOf(const QString& path);                     // up to that name, with its separator
QString JoinName(const QString& folder, QStringView name); // folder ends in a separator
// Whether a name ends in a dot and one of extensions (lower case), in any case.
bool HasExtension(QStringView name, std::initializer_list<const char*> extensions);

// Folder text as the rest of the program keeps it: the folder followed by exactly one
// separator (a root folder keeps the one it has); empty for an empty text.
QString WithTrailingSeparator(const QString& folder);

// The ordinary files of one folder (not its subfolders; no hidden or system entries),
// in the order the platform returns them. Names that can't be told apart after decoding
// (bytes invalid in the file-name encoding) are left out so that they are never renamed
// under a mangled name. False when the folder can't be read, or not to its end (names
// then holds what was read), with the system's error code left in errno.
bool ListFolderFiles(const QString& folder, std::vector<QString>& names);

// Which file a path names: device, file number, kind and birth time on POSIX (a file
// number is given again to the next file made once a file is deleted; the birth time and
// kind tell the two apart where the system keeps one, and where it keeps none the inode's
// generation, on ext2, ext3 and ext4), volume serial number and file index on Windows. Two
// paths with equal valid ids name one file.
struct FileId {
    quint64 file = 0;
    qint64 birth = 0;   // or the generation, or the fingerprint, each marked apart
    quint32 volume = 0; // the kernel's 32-bit device number; the volume serial number
    quint16 kind = 0;
    bool valid = false;

    // Where the volume keeps neither birth times nor generations, a look-up of a file's
    // attributes puts its size and change time in place of the birth: a print of how the
    // file was, which no identity check compares, so that the file's own renames pass.
    static constexpr qint64 kPrintMark = qint64(3) << 61;
    bool printed() const { return (birth & kPrintMark) == kPrintMark; }
    friend bool operator==(const FileId& a, const FileId& b) {
        const auto weak = [](const FileId& id) { return id.birth == 0 || id.printed(); };
        return a.file == b.file && a.volume == b.volume && a.kind == b.kind && a.valid == b.valid &&
               (a.birth == b.birth || (weak(a) && weak(b)));
    }
};

// Whether the file of id then, printed at a look-up, was changed when now was looked up:
// on a volume that can't tell a file from a new one under its number, it may be another.
inline bool ChangedSince(const FileId& then, const FileId& now) {
    return then.printed() && now.printed() && then == now && then.birth != now.birth;
}

// What a look-up of one path finds: the find-data record of the system. A final
// symbolic link is looked up as the link itself.
struct FindData {
    quint32 attributes = 0;  // Attribute bits, AttrDirectory for folders
    qint64 creationTime = 0; // file times: 100-ns units since 1601 UTC, 0 = none
    qint64 lastAccessTime = 0;
    qint64 lastWriteTime = 0;
    qint64 size = 0;       // bytes
    QString fileName;      // the name on disk, "Error" (space-filled) when nothing was found
    qint64 changeTime = 0; // the last change of the file's record: no program can set it
    FileId id;
    bool found = false;
    bool unreadable = false; // not found for another reason than its absence (permission)
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

// The identity of what stands at path itself; invalid when nothing does.
FileId IdOf(const QString& path);

// The four attribute bits of a file; nullopt when it can't be read.
std::optional<quint32> GetAttributes(const QString& path);
// Sets the four attribute bits to exactly bits; every other property of the file stays.
// Permission bits change only where the read-only bit itself changes.
bool SetAttributes(const QString& path, quint32 bits);

enum class RenameError {
    None,
    SourceMissing,
    TargetExists,
    PermissionDenied,
    InvalidName,
    Unsupported,
    Other,
    // Only from a move of a file known by its identity (Folder::move):
    NotThatFile,     // another file stood at the old name: nothing moved
    OtherFileMoved,  // after the move another file stood at the new name, and how it got there
                     // can't be told: nothing was moved back
    LeftAtTemporary, // halfway through a change by a temporary name, it could not go on or back
    // Moved, with something to report:
    OldNameTaken,    // another program put a file at the old name meanwhile; it could not stay
                     // there and was left at a temporary name
    MayHaveReplaced, // the new name's reservation was taken away just before the move, so what
                     // another program put there may have been replaced
};

// Moves a file to a new name in the same folder. Never replaces an existing file,
// atomically where the system allows. A change of letter case alone works on file
// systems that ignore case.
RenameError RenameFile(const QString& from, const QString& to);

// Room for a file's first bytes, which a look-up fills where one open can serve for them and
// for the file's attributes; size stays -1 where it did not read them.
struct Head {
    char* data = nullptr;
    qint64 capacity = 0;
    qint64 size = -1;
};

// The names a folder held when they were read, as hashes: a name not among them was not there
// then, and needs no search of the folder. Read only where the questions are many; elsewhere
// nothing is known and any name may be there.
class NameHashes {
public:
    NameHashes() = default;                                  // knows nothing
    explicit NameHashes(const std::vector<quint64>& hashes); // of every name, by hashOf
    static quint64 hashOf(const char* bytes, size_t size);   // of a name's bytes
    // Where the folder's own rule is not known, as on a network volume: each name by a form
    // that two names the server may take as one share, as far as can be told. A name of
    // another form (beyond ASCII, a "~" of a short name, a trailing dot or blank) is asked.
    static NameHashes Folded(const std::vector<QString>& names);
    bool mayHold(QStringView name) const;

private:
    std::vector<quint64> m_slots; // open-addressed, a power of two; 0 marks a free slot
    bool m_folded = false;
};

// One folder held open while a run works in it: each look-up and rename by name costs
// one step of path, and all of them reach the folder that was opened, even if its path
// changes meanwhile. Names must not hold a separator.
class Folder {
public:
    explicit Folder(const QString& folder);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const QString& path() const { return m_path; } // with its trailing separator
    // The name of path where it lies in this folder itself, as nearly every path of a run does.
    std::optional<QStringView> nameOf(const QString& path) const;
    FileId idOf(QStringView name) const;
    // As GetFileInfo of the name's full path; with head, an ordinary file's first bytes too.
    FindData info(QStringView name, Head* head = nullptr) const;
    FindData infoOf(const QString& path, Head* head = nullptr) const; // by name where it lies here
    bool exists(QStringView name) const;                              // as PathExists
    // All its names at once, where that is quicker than asking it so many questions.
    NameHashes names(size_t questions) const;
    RenameError rename(QStringView from, QStringView to) const;
    // Moves the file with identity id, and never another, from one name to another, without
    // replacing anything. Where the system can't rename a file by its identity, what now
    // stands at the new name is checked, and goes back if it is not that file. Where the
    // file is left at a temporary name, temporary gets that name's counter.
    RenameError move(QStringView from, QStringView to, const FileId& id,
                     int* temporary = nullptr) const;
    // As move, for a run whose next move does not wait on this one's check: where what
    // stands at the new name is still to be checked, unsettled is set, and settled gives what
    // the move's error becomes once it is.
    RenameError moveUnsettled(QStringView from, QStringView to, const FileId& id, int* temporary,
                              bool* unsettled) const;
    RenameError settled(RenameError moved, QStringView to, const FileId& id) const;
    // The identity of the folder held: invalid where it could not be opened.
    FileId id() const;

private:
    // With id, the file at from is checked to be that one right before the call.
    RenameError renameName(QStringView from, QStringView to, int* temporary,
                           const FileId* id = nullptr) const;

    QString m_path;
#ifndef Q_OS_WIN
    int m_fd = -1; // not opened: by full paths
    // The rename calls its volume refused: asked once, not for every file.
    mutable std::atomic<int> m_refuses{0};
#endif
};

// A free-looking name in the folder of path for a file on its way elsewhere: the file's
// own name, shortened where the system's limit needs it, and the counter, so that a
// file left there can still be recognised.
QString TemporaryPath(const QString& path, int counter);

namespace testing {
// Renames as on file systems that refuse RENAME_NOREPLACE (some network and FUSE ones),
// and also hard links (FAT drivers in FUSE).
enum class Refuse { Nothing, NoReplaceFlag, NoReplaceFlagAndLinks };
void RefuseRenameFeatures(Refuse what);
// Runs hook right before each rename, as another program could act at that moment.
void BeforeEachRename(std::function<void(const QString& from, const QString& to)> hook);
void RunBeforeRename(const QString& from, const QString& to); // the platform layer's call
// Runs hook right before and right after each system call that gives a file a new name (a
// rename or a link), after every check the layer makes before it: the moments no check
// covers. from and to are full paths.
enum class Moment { JustBefore, JustAfter };
using CallHook = std::function<void(Moment, const QString& from, const QString& to)>;
void AtEachRenameCall(CallHook hook);
void RunAtRenameCall(Moment when, const QString& from, const QString& to);
// Reads attribute values by full path, as on kernels that can't read them by name in a
// folder; false again lets the layer choose.
void ReadAttributesByPath(bool byPath);
bool HasBeforeRename();
// Counts every volume as one that takes inFlight requests at once (0 ends it): the ways meant
// for network volumes tried on a local disk, or, with 1, one request at a time on any.
void TreatEveryVolumeAsSlow(size_t inFlight);
size_t EveryVolumeSlow();
} // namespace testing

bool PathExists(const QString& path); // without following a final symbolic link

// A Windows path as the system calls take it past 260 characters: an absolute one in the
// system's own spelling (backslashes, no "." or ".." steps) with the \\?\ prefix, which
// also turns off the calls' rewriting of the path; anything else as it is.
QString ExtendedLengthPath(const QString& path);

// Whether names that differ in letter case alone name one file in the folder of path, a
// file that stands there: asked of the file system by looking it up under another case,
// so that FAT and exFAT volumes, ext4 folders that fold case and FUSE drivers answer for
// themselves. Where the name has no letters with case, the platform's usual rule.
bool FolderFoldsCase(const QString& path);
// A hash of a name that is the same for names that differ in case alone.
size_t NameKey(QStringView name);
bool SameFile(const QString& a, const QString& b);

// The longest file name, in the units the system counts, for files in folder.
int MaxNameLength(const QString& folder);

// How many requests to keep in flight at once for the files of folder: many where each one
// waits for a network or a user-space file system (NFS, SMB, FUSE, 9P; on Windows a remote
// drive or a UNC path), 0 for a local disk, where the cores set the pace.
size_t RequestsInFlight(const QString& folder);
// The same by the file system's magic number, as statfs gives it.
size_t RequestsInFlightOn(long fileSystemType);
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
// Every time that times asks for reported as not set.
SetTimesResult NoneSet(const TimesToSet& times);
// Every time that times asks for reported as set when ok, else as not set.
SetTimesResult TimesResult(const TimesToSet& times, bool ok);

// Needs no write access for the modified and accessed times, so a read-only file gets
// them too.
SetTimesResult SetFileTimes(const QString& path, const TimesToSet& times);

// What the stamping steps can change on a file, as it was, to put it back exactly: the
// attribute bits with the permission bits, and the times to the precision stored.
struct StampSnapshot {
    bool valid = false;
    quint32 attributes = 0; // the mode on POSIX, the attribute word on Windows
    qint64 times[3] = {};   // POSIX: accessed, modified (ns since 1970); Windows: creation,
                            // accessed, modified (100-ns units since 1601)
    QByteArray dos;         // POSIX: what the file system keeps of its DOS side
    friend bool operator==(const StampSnapshot&, const StampSnapshot&) = default;
};

// One file held by its identity while it is stamped, so that the stamping reaches the
// file the plan means, and never a file that a symbolic link points to: a link gets its
// own times where the system can set them, and no attributes.
class StampTarget {
public:
    // Holds the file at path if it is the one with that id.
    StampTarget(const QString& path, const FileId& id);
    ~StampTarget();
    StampTarget(const StampTarget&) = delete;
    StampTarget& operator=(const StampTarget&) = delete;

    bool isHeld() const { return m_held; }
    std::optional<quint32> attributes() const;
    bool setAttributes(quint32 bits);
    SetTimesResult setTimes(const TimesToSet& times);
    // Invalid where the file or its DOS side can't be read.
    StampSnapshot snapshot() const;
    // Puts back the attributes (with the DOS side) and the times that the flags name.
    bool restore(const StampSnapshot& s, bool attributes, bool times);

private:
    QString m_path;
    FileId m_id;
    bool m_held = false;
    bool m_link = false;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
    int m_store = 0; // where the file system keeps the DOS side
#endif
};

} // namespace basTavlo
