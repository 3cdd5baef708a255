#include "basTavlo.h"

#include <QDir>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace basTavlo {

namespace {

constexpr qint64 kTicksPerSecond = 10000000;

std::wstring wide(const QString& s) {
    return ExtendedLengthPath(s).toStdWString();
}

qint64 ticks(const FILETIME& ft) {
    return qint64(quint64(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
}

FILETIME fileTimeFromUtc(qint64 utcSecs) {
    const quint64 t = quint64((utcSecs + kFileTimeEpochOffsetSecs) * kTicksPerSecond);
    FILETIME ft;
    ft.dwLowDateTime = DWORD(t & 0xffffffffu);
    ft.dwHighDateTime = DWORD(t >> 32);
    return ft;
}

bool isHiddenOrSystem(DWORD attrs) {
    return attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

// A handle on the entry itself: a link is opened as the link, not as its target.
HANDLE openEntry(const QString& path, DWORD access) {
    if (path.isEmpty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(
        wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

FileId idOf(const BY_HANDLE_FILE_INFORMATION& info) {
    // NTFS puts a reuse count in the high bits of the index, so a new file differs.
    return FileId{quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow, 0,
                  info.dwVolumeSerialNumber, 0, true};
}

bool infoOf(const QString& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = openEntry(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok;
}

} // namespace

QChar PathSeparator() {
    return QLatin1Char('\\');
}

bool ListFolderFiles(const QString& folder, std::vector<QString>& names) {
    WIN32_FIND_DATAW fd;
    const std::wstring pattern = wide(WithTrailingSeparator(folder) + QLatin1Char('*'));
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            isHiddenOrSystem(fd.dwFileAttributes))
            continue;
        names.push_back(QString::fromWCharArray(fd.cFileName));
    } while (FindNextFileW(h, &fd));
    // Anything but the end of the folder is a failure, not a shorter folder.
    const DWORD err = GetLastError();
    FindClose(h);
    SetLastError(err);
    return err == ERROR_NO_MORE_FILES;
}

// From the entry's handle, not a folder search: a search fails on a path that ends in a
// separator and may give attributes the volume has not yet written to the folder.
FindData GetFileInfo(const QString& path) {
    HANDLE h = openEntry(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ||
            err == ERROR_INVALID_NAME || err == ERROR_BAD_NETPATH || path.isEmpty())
            return NotFound();
        FindData d = NotFound();
        d.unreadable = true;
        return d;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info);
    // The name as the folder spells it, which may differ in case from the one asked for.
    std::wstring buffer(MAX_PATH + 1, L'\0');
    DWORD n =
        ok ? GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED)
           : 0;
    if (n >= buffer.size()) { // a long path: n is the room it needs
        buffer.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED);
    }
    QString onDisk;
    if (n > 0 && n < buffer.size())
        onDisk = FileNameOf(QString::fromWCharArray(buffer.data(), int(n)));
    CloseHandle(h);
    if (!ok) {
        FindData d = NotFound();
        d.unreadable = true;
        return d;
    }
    FindData d;
    d.found = true;
    d.attributes = info.dwFileAttributes & (kDosBits | AttrDirectory);
    d.creationTime = ticks(info.ftCreationTime);
    d.lastAccessTime = ticks(info.ftLastAccessTime);
    d.lastWriteTime = ticks(info.ftLastWriteTime);
    d.size = qint64(quint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    const QString asked = FileNameOf(path);
    d.fileName = onDisk.compare(asked, Qt::CaseInsensitive) == 0 ? onDisk : asked;
    d.id = idOf(info);
    return d;
}

FileId IdOf(const QString& path) {
    BY_HANDLE_FILE_INFORMATION info;
    return infoOf(path, info) ? idOf(info) : FileId{};
}

std::optional<quint32> GetAttributes(const QString& path) {
    const DWORD a = GetFileAttributesW(wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return a & kDosBits;
}

void testing::RefuseRenameFeatures(Refuse) {}
void testing::ReadAttributesByPath(bool) {}

namespace {

RenameError errorOfMove(const QString& from) {
    switch (GetLastError()) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return RenameError::TargetExists;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PathExists(from) ? RenameError::Other : RenameError::SourceMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return RenameError::PermissionDenied;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return RenameError::InvalidName;
    default:
        return RenameError::Other;
    }
}

RenameError renameByTemporary(const QString& from, const QString& to, int* temporary) {
    for (int counter = 0; counter < 1000; ++counter) {
        const QString temp = TemporaryPath(from, counter);
        if (!MoveFileExW(wide(from).c_str(), wide(temp).c_str(), 0)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return errorOfMove(from);
        }
        if (MoveFileExW(wide(temp).c_str(), wide(to).c_str(), 0))
            return RenameError::None;
        const RenameError e = errorOfMove(temp);
        if (MoveFileExW(wide(temp).c_str(), wide(from).c_str(), 0)) // back to where it was
            return e;
        if (temporary)
            *temporary = counter;
        return RenameError::LeftAtTemporary;
    }
    return RenameError::Other;
}

RenameError renameFile(const QString& from, const QString& to, int* temporary) {
    testing::RunBeforeRename(from, to);
    if (from.isEmpty() || to.isEmpty())
        return RenameError::InvalidName;
    if (from == to)
        return PathExists(from) ? RenameError::None : RenameError::SourceMissing;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists; a change of
    // case alone is allowed, as the target is the file itself.
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0)) {
        // Some systems (Wine among them) report a change of case alone as done and keep the
        // old spelling: then it goes by a temporary name.
        if (FileNameOf(from).compare(FileNameOf(to), Qt::CaseInsensitive) == 0 &&
            GetFileInfo(to).fileName != FileNameOf(to))
            return renameByTemporary(from, to, temporary);
        return RenameError::None;
    }
    return errorOfMove(from);
}

// The system's own form of a full path, which a rename by handle takes: \\?\ becomes \??\.
std::wstring ntPath(const QString& path) {
    std::wstring w = wide(path);
    if (w.rfind(L"\\\\?\\", 0) != 0)
        return {};
    w[1] = L'?';
    w[2] = L'?';
    return w;
}

// The file held open by its handle is the one renamed, whatever takes its old name meanwhile.
RenameError renameHeld(const QString& from, const QString& to, const FileId& id) {
    const std::wstring target = ntPath(to);
    HANDLE h = openEntry(from, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (h == INVALID_HANDLE_VALUE)
        return errorOfMove(from);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || idOf(info) != id) {
        CloseHandle(h);
        return RenameError::NotThatFile;
    }
    const size_t bytes = target.size() * sizeof(wchar_t);
    std::vector<char> buf(sizeof(FILE_RENAME_INFO) + bytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(bytes);
    memcpy(rename->FileName, target.c_str(), bytes);
    testing::RunAtRenameCall(testing::Moment::JustBefore, from, to);
    const bool ok = SetFileInformationByHandle(h, FileRenameInfo, rename, DWORD(buf.size()));
    if (ok)
        testing::RunAtRenameCall(testing::Moment::JustAfter, from, to);
    const RenameError e = ok ? RenameError::None : errorOfMove(from);
    CloseHandle(h);
    return e;
}

} // namespace

RenameError RenameFile(const QString& from, const QString& to) {
    return renameFile(from, to, nullptr);
}

Folder::Folder(const QString& folder) : m_path(WithTrailingSeparator(folder)) {}

Folder::~Folder() = default;

FileId Folder::idOf(QStringView name) const {
    return IdOf(JoinName(m_path, name));
}

FindData Folder::info(QStringView name, Head*) const {
    return GetFileInfo(JoinName(m_path, name));
}

bool Folder::exists(QStringView name) const {
    return PathExists(JoinName(m_path, name));
}

// NTFS and FAT fold case: each name is asked of the folder.
NameHashes Folder::names(size_t) const {
    return {};
}

namespace {
bool hasSeparator(QStringView n) {
    return n.contains(u'\\') || n.contains(u'/');
}
} // namespace

RenameError Folder::rename(QStringView from, QStringView to) const {
    return renameName(from, to, nullptr);
}

RenameError Folder::renameName(QStringView from, QStringView to, int* temporary,
                               const FileId* id) const {
    if (hasSeparator(from) || hasSeparator(to))
        return RenameError::InvalidName;
    if (id && idOf(from) != *id)
        return RenameError::NotThatFile;
    return renameFile(JoinName(m_path, from), JoinName(m_path, to), temporary);
}

RenameError Folder::moveUnsettled(QStringView from, QStringView to, const FileId& id,
                                  int* temporary, bool* unsettled) const {
    *unsettled = false;
    if (hasSeparator(from) || hasSeparator(to))
        return RenameError::InvalidName;
    const QString fromPath = JoinName(m_path, from), toPath = JoinName(m_path, to);
    if (from.compare(to, Qt::CaseInsensitive) != 0 && !ntPath(toPath).empty()) {
        testing::RunBeforeRename(fromPath, toPath);
        return renameHeld(fromPath, toPath, id);
    }
    // A change of case alone may go by a temporary name: checked afterwards instead.
    *unsettled = true;
    return renameName(from, to, temporary, &id);
}

FileId Folder::id() const {
    return IdOf(m_path);
}

bool PathExists(const QString& path) {
    return !path.isEmpty() && GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const QString& a, const QString& b) {
    const FileId ia = IdOf(a);
    return ia.valid && ia == IdOf(b);
}

size_t RequestsInFlightOn(long) {
    return 0;
}

size_t RequestsInFlight(const QString& folder) {
    if (const size_t n = testing::EveryVolumeSlow())
        return n;
    // A UNC path, or a drive the system says is remote: each request crosses the network.
    const QString native = QDir::toNativeSeparators(folder);
    if (native.startsWith(QLatin1String("\\\\")) && !native.startsWith(QLatin1String("\\\\?\\")) &&
        !native.startsWith(QLatin1String("\\\\.\\")))
        return 32;
    if (native.startsWith(QLatin1String("\\\\?\\UNC\\"), Qt::CaseInsensitive))
        return 32;
    if (native.size() >= 2 && native[1] == u':') {
        const std::wstring root = native.left(2).toStdWString() + L"\\";
        return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE ? 32 : 0;
    }
    return 0;
}

int MaxNameLength(const QString&) {
    return 255;
}

int NameLength(const QString& name) {
    return int(name.size());
}

int NameLengthAtMost(const QString& name) {
    return int(name.size());
}

StampTarget::StampTarget(const QString& path, const FileId& id) : m_path(path), m_id(id) {
    if (!id.valid)
        return;
    // FILE_WRITE_ATTRIBUTES is granted on read-only files too.
    HANDLE h = openEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && idOf(info) == id &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_held = true;
        m_link = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        m_handle = h;
    } else {
        CloseHandle(h);
    }
}

StampTarget::~StampTarget() {
    if (m_handle)
        CloseHandle(HANDLE(m_handle));
}

std::optional<quint32> StampTarget::attributes() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!m_held || !GetFileInformationByHandle(HANDLE(m_handle), &info))
        return std::nullopt;
    return m_link ? 0u : quint32(info.dwFileAttributes & kDosBits);
}

bool StampTarget::setAttributes(quint32 bits) {
    FILE_BASIC_INFO basic;
    if (!m_held || m_link ||
        !GetFileInformationByHandleEx(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic))
        return false;
    DWORD wanted = (basic.FileAttributes & ~DWORD(kDosBits) & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | bits;
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    basic.FileAttributes = wanted;
    // Zero times leave the file's times as they are.
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    return SetFileInformationByHandle(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic) != 0;
}

SetTimesResult StampTarget::setTimes(const TimesToSet& times) {
    SetTimesResult r = NoneSet(times);
    if (!m_held || (!times.creation && !times.lastWrite && !times.lastAccess))
        return m_held ? SetTimesResult{} : r;
    // A file time counts from 1601; zero tells SetFileTime to leave the time alone.
    auto storable = [](const std::optional<qint64>& t) {
        return t && *t + kFileTimeEpochOffsetSecs > 0;
    };
    FILETIME want[3];
    const std::optional<qint64>* asked[3] = {&times.creation, &times.lastAccess, &times.lastWrite};
    for (int i = 0; i < 3; ++i)
        if (storable(*asked[i]))
            want[i] = fileTimeFromUtc(**asked[i]);
    auto p = [&](int i) { return storable(*asked[i]) ? &want[i] : nullptr; };
    FILETIME got[3];
    if (!SetFileTime(HANDLE(m_handle), p(0), p(1), p(2)) ||
        !GetFileTime(HANDLE(m_handle), &got[0], &got[1], &got[2]))
        return r;
    // Only a time read back as asked counts as set: a volume may round or clamp it.
    bool* set[3] = {&r.creationSet, &r.lastAccessSet, &r.lastWriteSet};
    for (int i = 0; i < 3; ++i)
        if (*asked[i])
            *set[i] = storable(*asked[i]) && ticks(got[i]) == ticks(want[i]);
    return r;
}

StampSnapshot StampTarget::snapshot() const {
    StampSnapshot s;
    FILE_BASIC_INFO basic;
    if (!m_held ||
        !GetFileInformationByHandleEx(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic))
        return s;
    s.attributes = quint32(basic.FileAttributes);
    s.times[0] = basic.CreationTime.QuadPart;
    s.times[1] = basic.LastAccessTime.QuadPart;
    s.times[2] = basic.LastWriteTime.QuadPart;
    s.valid = true;
    return s;
}

bool StampTarget::restore(const StampSnapshot& s, bool attributes, bool times) {
    FILE_BASIC_INFO basic;
    if (!m_held || !s.valid ||
        !GetFileInformationByHandleEx(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic))
        return false;
    // Zero leaves a time as it is; an attribute word of zero leaves the attributes.
    basic.ChangeTime.QuadPart = 0;
    basic.CreationTime.QuadPart = times ? s.times[0] : 0;
    basic.LastAccessTime.QuadPart = times ? s.times[1] : 0;
    basic.LastWriteTime.QuadPart = times ? s.times[2] : 0;
    basic.FileAttributes = attributes && !m_link ? DWORD(s.attributes) : 0;
    return SetFileInformationByHandle(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic) != 0;
}

} // namespace basTavlo
