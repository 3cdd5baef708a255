#include "basTavlo.h"

#include <windows.h>

namespace basTavlo {

namespace {

constexpr qint64 kTicksPerSecond = 10000000;

std::wstring wide(const QString& s) {
    return s.toStdWString();
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
    FindClose(h);
    return true;
}

FindData GetFileInfo(const QString& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = path.isEmpty() ? INVALID_HANDLE_VALUE : FindFirstFileW(wide(path).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return NotFound();
    FindClose(h);
    FindData d;
    d.found = true;
    d.attributes = fd.dwFileAttributes & (kDosBits | AttrDirectory);
    d.creationTime = ticks(fd.ftCreationTime);
    d.lastAccessTime = ticks(fd.ftLastAccessTime);
    d.lastWriteTime = ticks(fd.ftLastWriteTime);
    d.fileName = QString::fromWCharArray(fd.cFileName);
    return d;
}

std::optional<quint32> GetAttributes(const QString& path) {
    const DWORD a = GetFileAttributesW(wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return a & kDosBits;
}

bool SetAttributes(const QString& path, quint32 bits) {
    const std::wstring p = wide(path);
    const DWORD a = GetFileAttributesW(p.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD wanted = (a & ~DWORD(kDosBits) & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | bits;
    wanted &= ~DWORD(FILE_ATTRIBUTE_DIRECTORY);
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(p.c_str(), wanted) != 0;
}

void testing::RefuseNoReplaceFlag(bool) {}

RenameError RenameFile(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty())
        return RenameError::InvalidName;
    if (from == to)
        return PathExists(from) ? RenameError::None : RenameError::SourceMissing;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists; a change of
    // case alone is allowed, as the target is the file itself.
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0))
        return RenameError::None;
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

bool PathExists(const QString& path) {
    return !path.isEmpty() && GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const QString& a, const QString& b) {
    auto id = [](const QString& p, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE h =
            CreateFileW(wide(p).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return id(a, ia) && id(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
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

SetTimesResult SetFileTimes(const QString& path, const TimesToSet& times) {
    SetTimesResult r;
    if (!times.creation && !times.lastWrite && !times.lastAccess)
        return r;
    // FILE_WRITE_ATTRIBUTES is granted on read-only files too.
    HANDLE h = CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool ok = h != INVALID_HANDLE_VALUE;
    if (ok) {
        FILETIME c, a, w;
        if (times.creation)
            c = fileTimeFromUtc(*times.creation);
        if (times.lastAccess)
            a = fileTimeFromUtc(*times.lastAccess);
        if (times.lastWrite)
            w = fileTimeFromUtc(*times.lastWrite);
        ok = SetFileTime(h, times.creation ? &c : nullptr, times.lastAccess ? &a : nullptr,
                         times.lastWrite ? &w : nullptr) != 0;
        CloseHandle(h);
    }
    if (times.creation)
        r.creationSet = ok;
    if (times.lastAccess)
        r.lastAccessSet = ok;
    if (times.lastWrite)
        r.lastWriteSet = ok;
    return r;
}

} // namespace basTavlo
