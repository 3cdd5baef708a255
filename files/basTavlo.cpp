#include "basTavlo.h"

#include <QDir>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <string_view>

namespace basTavlo {

QString WithTrailingSeparator(const QString& folder) {
    if (folder.isEmpty())
        return folder;
    const QChar sep = PathSeparator();
    if (folder.endsWith(sep) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + sep;
}

FindData NotFound() {
    FindData d;
    d.fileName = QStringLiteral("Error").leftJustified(260, QLatin1Char(' '));
    return d;
}

namespace {

DateTime localFromFileTime(qint64 ticks) {
    if (ticks == 0)
        return DateTime{}; // the zero point of the scale, as a failed look-up gives
    // Floor division, so that times before 1601 drop their fraction the same way.
    qint64 secs = ticks / 10000000;
    if (ticks % 10000000 < 0)
        --secs;
    return UtcToLocal(secs - kFileTimeEpochOffsetSecs);
}

} // namespace

FileDetails DetailsFromFindData(const FindData& data) {
    FileDetails d;
    if (!data.found)
        return d;
    d.ReadOnly = data.attributes & AttrReadOnly;
    d.Hidden = data.attributes & AttrHidden;
    d.System = data.attributes & AttrSystem;
    d.Archive = data.attributes & AttrArchive;
    d.Created = localFromFileTime(data.creationTime);
    d.Modified = localFromFileTime(data.lastWriteTime);
    d.LastAccessed = localFromFileTime(data.lastAccessTime);
    return d;
}

FileDetails GetFileTimes(const QString& path) {
    return DetailsFromFindData(GetFileInfo(path));
}

qsizetype FileNameStart(const QString& path) {
    return std::max(path.lastIndexOf(PathSeparator()), path.lastIndexOf(u'/')) + 1;
}

QString FileNameOf(const QString& path) {
    return path.mid(FileNameStart(path));
}

// Letter by letter, ASCII case folded: asked for every file of a preview that reads content.
bool HasExtension(QStringView name, std::initializer_list<const char*> extensions) {
    qsizetype dot = name.size();
    while (--dot >= 0 && name[dot] != u'.')
        if (name[dot] == u'/' || name[dot] == u'\\')
            return false; // no dot in the file's own name: no extension could match
    if (dot < 0)
        return false;
    const QStringView ext = name.sliced(dot + 1);
    for (const char* e : extensions) {
        qsizetype i = 0;
        for (; i < ext.size() && e[i]; ++i) {
            const char16_t c = ext[i].unicode();
            if ((c >= u'A' && c <= u'Z' ? c + 32 : c) != char16_t(e[i]))
                break;
        }
        if (i == ext.size() && !e[i])
            return true;
    }
    return false;
}

QString FolderOf(const QString& path) {
    return path.left(FileNameStart(path));
}

std::optional<QStringView> Folder::nameOf(const QString& path) const {
    const qsizetype cut = m_path.size();
    if (cut > 0 && path.size() > cut && path.startsWith(m_path) && FileNameStart(path) == cut)
        return QStringView(path).mid(cut);
    return std::nullopt;
}

quint64 NameHashes::hashOf(const char* bytes, size_t size) {
    const quint64 h = std::hash<std::string_view>{}(std::string_view(bytes, size));
    return h ? h : 1; // 0 marks a free slot
}

NameHashes::NameHashes(const std::vector<quint64>& hashes) {
    size_t size = 16;
    while (size < hashes.size() * 2)
        size *= 2;
    m_slots.assign(size, 0);
    for (const quint64 h : hashes) {
        size_t s = h & (size - 1);
        while (m_slots[s] != 0 && m_slots[s] != h)
            s = (s + 1) & (size - 1);
        m_slots[s] = h;
    }
}

namespace {

// A plain name's hash in lower case; nullopt for any other name.
std::optional<quint64> foldedHash(QStringView name) {
    char ascii[256];
    if (name.isEmpty() || name.size() > qsizetype(sizeof ascii) || name.endsWith(u'.') ||
        name.endsWith(u' '))
        return std::nullopt;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80 || c == u'~')
            return std::nullopt;
        ascii[i] = char(c >= u'A' && c <= u'Z' ? c + 32 : c);
    }
    return NameHashes::hashOf(ascii, size_t(name.size()));
}

} // namespace

NameHashes NameHashes::Folded(const std::vector<QString>& names) {
    std::vector<quint64> hashes;
    hashes.reserve(names.size());
    for (const QString& name : names) {
        std::optional<quint64> h = foldedHash(name);
        if (!h) {
            // A name that only case folding or compatibility forms make plain, such as the
            // Kelvin sign's "K", may be the same name to the server; the dotted and dotless
            // i fold to i in some servers' tables.
            QString plain = name.toCaseFolded().normalized(QString::NormalizationForm_KC);
            plain.replace(QChar(0x131), u'i').replace(QChar(0x130), u'i');
            h = foldedHash(plain.toCaseFolded());
        }
        if (h)
            hashes.push_back(*h);
    }
    NameHashes folded(hashes);
    folded.m_folded = true;
    return folded;
}

bool NameHashes::mayHold(QStringView name) const {
    if (m_slots.empty())
        return true;
    quint64 h = 0;
    if (m_folded) {
        const std::optional<quint64> folded = foldedHash(name);
        if (!folded)
            return true;
        h = *folded;
    } else if (char ascii[256];
               name.size() <= qsizetype(sizeof ascii) &&
               std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        // A name's bytes, for the usual short ASCII one without a copy on the heap.
        for (qsizetype i = 0; i < name.size(); ++i)
            ascii[i] = char(name[i].unicode());
        h = hashOf(ascii, size_t(name.size()));
    } else {
        const QByteArray n = name.toUtf8();
        h = hashOf(n.constData(), size_t(n.size()));
    }
    const size_t mask = m_slots.size() - 1;
    for (size_t s = h & mask; m_slots[s] != 0; s = (s + 1) & mask)
        if (m_slots[s] == h)
            return true;
    return false;
}

// The file at the old name is checked right before the move, and what stands at the new name
// right after it. Another file there afterwards may have taken the old name in the instant
// between, or the new one after the move: which can't be told, so it is left where it is.
RenameError Folder::move(QStringView from, QStringView to, const FileId& id, int* temporary) const {
    bool unsettled = false;
    const RenameError e = moveUnsettled(from, to, id, temporary, &unsettled);
    return unsettled ? settled(e, to, id) : e;
}

RenameError Folder::settled(RenameError e, QStringView to, const FileId& id) const {
    const bool moved = e == RenameError::None || e == RenameError::OldNameTaken ||
                       e == RenameError::MayHaveReplaced;
    return !moved || idOf(to) == id ? e : RenameError::OtherFileMoved;
}

FindData Folder::infoOf(const QString& path, Head* head) const {
    const auto name = nameOf(path);
    return name ? info(*name, head) : GetFileInfo(path);
}

QString JoinName(const QString& folder, QStringView name) {
    QString path;
    path.reserve(folder.size() + name.size());
    return path.append(folder).append(name);
}

SetTimesResult TimesResult(const TimesToSet& times, bool ok) {
    return {ok || !times.creation, ok || !times.lastWrite, ok || !times.lastAccess};
}

SetTimesResult NoneSet(const TimesToSet& times) {
    return TimesResult(times, false);
}

bool SetAttributes(const QString& path, quint32 bits) {
    StampTarget target(path, IdOf(path));
    return target.setAttributes(bits);
}

SetTimesResult SetFileTimes(const QString& path, const TimesToSet& times) {
    StampTarget target(path, IdOf(path));
    return target.setTimes(times);
}

namespace {
std::function<void(const QString&, const QString&)> g_beforeRename;
testing::CallHook g_atCall;
// Runs on a slow volume move files on many threads; a test's hook sees one call at a time.
std::recursive_mutex g_hookCall;
} // namespace

void testing::AtEachRenameCall(CallHook hook) {
    g_atCall = std::move(hook);
}

void testing::RunAtRenameCall(Moment when, const QString& from, const QString& to) {
    if (g_atCall) {
        const std::lock_guard one(g_hookCall);
        g_atCall(when, from, to);
    }
}

void testing::BeforeEachRename(std::function<void(const QString&, const QString&)> hook) {
    g_beforeRename = std::move(hook);
}

bool testing::HasBeforeRename() {
    return bool(g_beforeRename) || bool(g_atCall);
}

namespace {
std::atomic<size_t> g_everyVolumeSlow{0};
} // namespace

void testing::TreatEveryVolumeAsSlow(size_t inFlight) {
    g_everyVolumeSlow = inFlight;
}

size_t testing::EveryVolumeSlow() {
    return g_everyVolumeSlow.load(std::memory_order_relaxed);
}

void testing::RunBeforeRename(const QString& from, const QString& to) {
    if (g_beforeRename) {
        const std::lock_guard one(g_hookCall);
        g_beforeRename(from, to);
    }
}

size_t NameKey(QStringView name) {
    // Plain ASCII folds in place; anything else the Unicode way.
    char16_t folded[256];
    const qsizetype n = name.size();
    if (n <= qsizetype(std::size(folded))) {
        qsizetype i = 0;
        for (; i < n; ++i) {
            const char16_t c = name[i].unicode();
            if (c >= 0x80)
                break;
            folded[i] = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
        }
        if (i == n)
            return qHash(QStringView(folded, n));
    }
    return qHash(name.toString().toCaseFolded());
}

QString ExtendedLengthPath(const QString& s) {
    const bool drive = s.size() >= 3 && s[0].isLetter() && s[1] == u':' && s[2] == u'\\';
    const bool unc = s.startsWith(QLatin1String("\\\\")) &&
                     !s.startsWith(QLatin1String("\\\\?\\")) &&
                     !s.startsWith(QLatin1String("\\\\.\\"));
    if ((!drive && !unc) || s.contains(u'/') || s.contains(QLatin1String("\\.\\")) ||
        s.contains(QLatin1String("\\..\\")) || s.endsWith(QLatin1String("\\.")) ||
        s.endsWith(QLatin1String("\\..")))
        return s;
    return drive ? QLatin1String("\\\\?\\") + s : QLatin1String("\\\\?\\UNC") + s.mid(1);
}

bool FolderFoldsCase(const QString& path) {
    const qsizetype cut = FileNameStart(path);
    const QString name = path.mid(cut);
    QString other = name.toUpper();
    if (other == name)
        other = name.toLower();
    if (other == name) {
#ifdef Q_OS_WIN
        return true;
#else
        return false;
#endif
    }
    const FileId id = IdOf(path);
    const FileId otherId = IdOf(path.left(cut) + other);
    if (!id.valid || !otherId.valid)
        return false;
    // Some FUSE drivers number a file afresh for each spelling it is looked up by: then
    // the other spelling is the same file if the folder holds no entry spelled so.
    return otherId == id ||
           !QDir(path.left(cut))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .contains(other, Qt::CaseSensitive);
}

QString TemporaryPath(const QString& path, int counter) {
    const qsizetype cut = FileNameStart(path);
    const QString folder = path.left(cut);
    QString name = path.mid(cut);
    const QString tail = QLatin1String(".zovtmp") + QString::number(counter);
    const int max = MaxNameLength(folder);
    while (!name.isEmpty() && NameLength(name + tail) > max)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return folder + name + tail;
}

} // namespace basTavlo
