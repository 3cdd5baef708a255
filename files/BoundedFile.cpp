#include "BoundedFile.h"

#include <chrono>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#endif

namespace {

thread_local const std::atomic<bool>* t_stop = nullptr;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

BoundedFile::StopWhen::StopWhen(const std::atomic<bool>& stop) : m_before(t_stop) {
    t_stop = &stop;
}

BoundedFile::StopWhen::~StopWhen() {
    t_stop = m_before;
}

BoundedFile::BoundedFile(const QString& path, View view)
    : m_path(path), m_deadline(nowMs() + kMilliseconds) {
#ifdef Q_OS_WIN
    // A reparse point is opened as itself, and then is no ordinary file.
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        return;
    }
    m_handle = h;
    m_size = size.QuadPart;
#else
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = st.st_size;
#endif
    m_tailFrom = m_size;
    if (view != Whole && m_size > kByteBound) {
        m_tailFrom = view == HeadAndTail ? kByteBound - kTail : kByteBound;
        m_tailSkip = m_size - kByteBound;
        m_size = kByteBound;
    }
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

BoundedFile::~BoundedFile() {
#ifdef Q_OS_WIN
    if (m_map)
        UnmapViewOfFile(m_map);
    if (m_mapping)
        CloseHandle(m_mapping);
    if (m_handle)
        CloseHandle(m_handle);
#else
    if (m_map)
        munmap(m_map, size_t(m_size));
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

const char* BoundedFile::map() {
    static const char empty = 0;
    if (!isOpen() || m_tailFrom < m_size)
        return nullptr;
    if (m_size == 0)
        return &empty;
    if (!m_map) {
#ifdef Q_OS_WIN
        m_mapping = CreateFileMappingW(m_handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (m_mapping)
            m_map = MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, SIZE_T(m_size));
#else
        void* p = mmap(nullptr, size_t(m_size), PROT_READ, MAP_PRIVATE, m_fd, 0);
        m_map = p == MAP_FAILED ? nullptr : p;
#endif
    }
    return static_cast<const char*>(m_map);
}

qint64 BoundedFile::readData(char* data, qint64 maxSize) {
    const qint64 at = pos();
    if (at >= m_size || maxSize <= 0)
        return 0; // the end, as the file was when opened
    maxSize = std::min(maxSize, m_size - at);
    if (m_read + maxSize > kByteBound || nowMs() > m_deadline ||
        (t_stop && t_stop->load(std::memory_order_relaxed))) {
        m_refused = true;
        return -1;
    }
    // The part of the view up to the tail's start, or from the tail on, at a time.
    if (at < m_tailFrom)
        maxSize = std::min(maxSize, m_tailFrom - at);
    const qint64 from = at >= m_tailFrom ? at + m_tailSkip : at;
    qint64 n = 0;
    while (n < maxSize) {
#ifdef Q_OS_WIN
        OVERLAPPED o{};
        o.Offset = DWORD(quint64(from + n));
        o.OffsetHigh = DWORD(quint64(from + n) >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(std::min<qint64>(maxSize - n, 1 << 30));
        if (!ReadFile(m_handle, data + n, want, &got, &o) || got == 0)
            break;
#else
        const ssize_t got = pread(m_fd, data + n, size_t(maxSize - n), off_t(from + n));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
#endif
        n += qint64(got);
    }
    m_read += n;
    return n;
}
