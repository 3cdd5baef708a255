// The Windows layer on real folders. Under Wine the folder is a Linux folder seen through
// Wine: where Wine shows less than NTFS would, the test says so and checks what it can.
#include "files/basTavlo.h"
#include "listing/FileLists.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"
#include "ui/SysInfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include <windows.h>

using namespace basTavlo;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine reports every file of a Linux folder as Archive, set or not.
quint32 bitsBut(const QString& path, quint32 archiveUnderWine) {
    const quint32 bits = GetAttributes(path).value_or(0xffff);
    return underWine() ? (bits & ~AttrArchive) | archiveUnderWine : bits;
}

class WinFolder {
public:
    WinFolder() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return WithTrailingSeparator(QDir::toNativeSeparators(m_dir.path())); }
    QString file(const QString& name) const { return path() + name; }
    void write(const QString& name, const QByteArray& content = {}) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::NewOnly)) << name.toStdString();
        f.write(content);
    }
    QByteArray read(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

private:
    QTemporaryDir m_dir;
};

// The calls below go by the layer's own long-path form.
std::wstring wide(const QString& path) {
    return ExtendedLengthPath(path).toStdWString();
}

} // namespace

// Renames never replace, report a missing source as such, and a change of case alone works.
TEST(WindowsLayer, RenamesNeverReplace) {
    WinFolder f;
    f.write("a.txt", "A");
    f.write("b.txt", "B");
    EXPECT_EQ(RenameFile(f.file("a.txt"), f.file("b.txt")), RenameError::TargetExists);
    EXPECT_EQ(RenameFile(f.file("a.txt"), f.file("B.TXT")), RenameError::TargetExists);
    EXPECT_EQ(f.read("a.txt"), "A");
    EXPECT_EQ(f.read("b.txt"), "B");
    EXPECT_EQ(RenameFile(f.file("gone.txt"), f.file("c.txt")), RenameError::SourceMissing);
    EXPECT_EQ(RenameFile(f.file("a.txt"), f.file("A.txt")), RenameError::None);
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(f.path(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"A.txt", "b.txt"}));
    // The look-up gives the name as the folder spells it, whatever case it was asked in.
    EXPECT_EQ(GetFileInfo(f.file("a.TXT")).fileName, "A.txt");
    EXPECT_TRUE(FolderFoldsCase(f.file("A.txt")));
    // A move by identity, through the file's own handle, takes that file and no other.
    const Folder held(f.path());
    const FileId a = IdOf(f.file("A.txt"));
    EXPECT_TRUE(held.id().valid);
    EXPECT_EQ(held.move(u"b.txt", u"c.txt", a), RenameError::NotThatFile);
    EXPECT_EQ(held.move(u"A.txt", u"b.txt", a), RenameError::TargetExists);
    EXPECT_EQ(held.move(u"A.txt", u"c.txt", a), RenameError::None);
    EXPECT_EQ(f.read("b.txt"), "B");
    EXPECT_EQ(f.read("c.txt"), "A");
}

// The listing leaves out folders, hidden and system files; a folder that can't be read is
// an error, not an empty folder; a look-up by a path ending in a separator finds the folder.
TEST(WindowsLayer, ListingAndLookUps) {
    WinFolder f;
    for (const char* n : {"plain.txt", "hidden.txt", "system.txt", "ro.txt"})
        f.write(n);
    ASSERT_TRUE(QDir(f.path()).mkdir("sub"));
    ASSERT_TRUE(SetAttributes(f.file("hidden.txt"), AttrHidden));
    ASSERT_TRUE(SetAttributes(f.file("system.txt"), AttrSystem));
    ASSERT_TRUE(SetAttributes(f.file("ro.txt"), AttrReadOnly | AttrArchive));
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(f.path(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"plain.txt", "ro.txt"}));
    names.clear();
    EXPECT_FALSE(ListFolderFiles(f.file("missing"), names));
    EXPECT_TRUE(names.empty());

    const FindData ro = GetFileInfo(f.file("ro.txt"));
    ASSERT_TRUE(ro.found);
    EXPECT_EQ(ro.attributes & kDosBits, AttrReadOnly | AttrArchive);
    EXPECT_EQ(bitsBut(f.file("plain.txt"), 0), 0u);
    EXPECT_TRUE(ro.id.valid);
    EXPECT_EQ(ro.id, IdOf(f.file("ro.txt")));
    const FindData sub = GetFileInfo(f.file("sub\\"));
    EXPECT_TRUE(sub.found);
    EXPECT_TRUE(sub.attributes & AttrDirectory);
    const FindData none = GetFileInfo(f.file("none.txt"));
    EXPECT_FALSE(none.found);
    EXPECT_FALSE(none.unreadable);
}

// Setting the bits keeps the others; times go on a read-only file too. Wine keeps the DOS
// bits of a Linux file in its user.DOSATTRIB attribute, and on ext4 no creation time at all:
// there a creation time is reported as not set, as the program reports it on such a volume.
TEST(WindowsLayer, AttributesAndTimes) {
    WinFolder f;
    f.write("f.txt", "x");
    ASSERT_TRUE(SetAttributes(f.file("f.txt"), AttrReadOnly | AttrHidden));
    EXPECT_EQ(bitsBut(f.file("f.txt"), 0), AttrReadOnly | AttrHidden);
    ASSERT_TRUE(SetAttributes(f.file("f.txt"), AttrReadOnly | AttrArchive));
    EXPECT_EQ(bitsBut(f.file("f.txt"), AttrArchive), AttrReadOnly | AttrArchive);

    const TimesToSet times{1262304000 /* 2010-01-01 */, 1588748889, 1600000000};
    const SetTimesResult set = SetFileTimes(f.file("f.txt"), times);
    EXPECT_TRUE(set.lastWriteSet);
    EXPECT_TRUE(set.lastAccessSet);
    const FindData d = GetFileInfo(f.file("f.txt"));
    const qint64 ticks = 10000000;
    EXPECT_EQ(d.lastWriteTime, (1588748889 + kFileTimeEpochOffsetSecs) * ticks);
    EXPECT_EQ(d.lastAccessTime, (1600000000 + kFileTimeEpochOffsetSecs) * ticks);
    if (set.creationSet)
        EXPECT_EQ(d.creationTime, (1262304000 + kFileTimeEpochOffsetSecs) * ticks);
    else
        EXPECT_TRUE(underWine()) << "NTFS keeps a creation time";
    EXPECT_EQ(bitsBut(f.file("f.txt"), AttrArchive), AttrReadOnly | AttrArchive);
    EXPECT_EQ(f.read("f.txt"), "x");
}

// Paths past 260 characters: listed, looked up, renamed and stamped like any other. Wine
// takes long paths without the prefix too, so there this shows only that the prefixed
// calls work; the prefix itself is checked on every platform in the name tests.
TEST(WindowsLayer, LongPaths) {
    WinFolder f;
    QString deep = f.path();
    while (deep.size() < 300) {
        deep += QString(40, 'd') + '\\';
        ASSERT_TRUE(CreateDirectoryW(wide(deep).c_str(), nullptr)) << GetLastError();
    }
    const QString file = deep + QString(30, 'f') + ".txt";
    HANDLE h = CreateFileW(wide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(deep, names));
    EXPECT_EQ(names, std::vector<QString>{FileNameOf(file)});
    EXPECT_TRUE(GetFileInfo(file).found);
    const QString to = deep + "renamed.txt";
    EXPECT_EQ(RenameFile(file, to), RenameError::None);
    EXPECT_TRUE(PathExists(to));
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(SetAttributes(to, AttrArchive | AttrHidden));
    EXPECT_EQ(bitsBut(to, AttrArchive), AttrArchive | AttrHidden);
    // Removed by the prefixed calls: the temporary folder's own removal can't reach it.
    DeleteFileW(wide(to).c_str());
    while (deep.size() > f.path().size()) {
        RemoveDirectoryW(wide(deep).c_str());
        deep.chop(41);
    }
}

// The preview marks names Windows refuses; a swap by case alone runs and comes back.
TEST(WindowsLayer, PreviewAndRunByWindowsRules) {
    for (const char* name : {"nul.txt", "name."}) // the whole table: the name tests
        EXPECT_EQ(CheckNewName(name, 255), RowStatus::ReservedName) << name;
    EXPECT_EQ(CheckNewName("a:b", 255), RowStatus::InvalidCharacter);
    EXPECT_EQ(CheckNewName("console.txt", 255), RowStatus::Ok);

    WinFolder f;
    f.write("a.txt", "A");
    f.write("b.txt", "B");
    std::vector<PreviewRow> rows = {{f.file("B.TXT"), f.file("a.txt")},
                                    {f.file("A.TXT"), f.file("b.txt")}};
    for (PreviewRow& r : rows)
        r.id = IdOf(r.oldPath);
    MarkConflicts(rows);
    ASSERT_EQ(rows[0].status, RowStatus::Ok);
    ASSERT_EQ(rows[1].status, RowStatus::Ok);
    RunJournal journal;
    EXPECT_EQ(RenameRows(std::make_shared<std::vector<PreviewRow>>(rows), {}, AdvancedSettings{},
                         {}, &journal),
              0);
    EXPECT_EQ(f.read("B.TXT"), "A");
    EXPECT_EQ(f.read("A.TXT"), "B");
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(f.path(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"A.TXT", "B.TXT"}));
    EXPECT_EQ(UndoRun(journal).failed, 0);
    EXPECT_EQ(f.read("a.txt"), "A");
    EXPECT_EQ(f.read("b.txt"), "B");
}

// An identity is the entry's own: a symbolic link is not the file it points to, a hard link
// is. Wine 8 answers CreateSymbolicLinkW with success and makes no link: there only the hard
// link and a copy are checked.
TEST(WindowsLayer, IdentityOfLinks) {
    WinFolder f;
    f.write("target.txt", "T");
    f.write("copy.txt", "T");
    ASSERT_TRUE(CreateHardLinkW(f.file("hard.txt").toStdWString().c_str(),
                                f.file("target.txt").toStdWString().c_str(), nullptr));
    EXPECT_TRUE(SameFile(f.file("hard.txt"), f.file("target.txt")));
    EXPECT_FALSE(SameFile(f.file("copy.txt"), f.file("target.txt")));
    EXPECT_FALSE(SameFile(f.file("none.txt"), f.file("none.txt")));
    const bool made = CreateSymbolicLinkW(f.file("link.txt").toStdWString().c_str(),
                                          f.file("target.txt").toStdWString().c_str(),
                                          0x2 /* unprivileged, in developer mode */) &&
                      PathExists(f.file("link.txt"));
    if (!made) {
        EXPECT_TRUE(underWine() || GetLastError() == ERROR_PRIVILEGE_NOT_HELD) << GetLastError();
        return;
    }
    EXPECT_FALSE(SameFile(f.file("link.txt"), f.file("target.txt")));
    EXPECT_TRUE(SameFile(f.file("link.txt"), f.file("link.txt")));
}

// The registry is read with read access only, an expandable value comes expanded, and the
// system information tool is found in the system folder where no key names it. Writing the
// test value needs an elevated user on Windows; Wine lets anyone.
TEST(WindowsLayer, SystemInformationTool) {
    const QString path = SystemInformationToolPath();
    EXPECT_TRUE(path.endsWith("msinfo32.exe", Qt::CaseInsensitive)) << path.toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile());

    const wchar_t* key = L"SOFTWARE\\ZOV tests";
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        GTEST_SKIP() << "HKEY_LOCAL_MACHINE can't be written here (not elevated)";
    const std::wstring value = L"%SystemRoot%\\zov";
    RegSetValueExW(h, L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    const DWORD word = 258;
    RegSetValueExW(h, L"word", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), sizeof word);
    RegCloseKey(h);
    QString text;
    EXPECT_TRUE(GetKeyValue("SOFTWARE\\ZOV tests", "expand", text));
    EXPECT_EQ(text, qEnvironmentVariable("SystemRoot") + "\\zov");
    EXPECT_TRUE(GetKeyValue("SOFTWARE\\ZOV tests", "word", text));
    EXPECT_EQ(text, "&h000102");
    EXPECT_FALSE(GetKeyValue("SOFTWARE\\ZOV tests", "none", text));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
}

// The whole road on the Windows layer: listed, previewed as a numbered sequence, renamed
// with bits and times set, and undone to the names, bits and times from before, to the
// 100 ns. A file whose old name was taken meanwhile stays where the run put it.
TEST(WindowsLayer, TheWholeRoadAndBack) {
    WinFolder f;
    // Times of their own, then each read once: under Wine a Linux file's accessed time
    // moves on a read only while it is older than its change time, which setting it renews.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 20; ++i) {
        const QString name = QString("IMG_%1.jpg").arg(i, 2, 10, QChar('0'));
        f.write(name, QByteArray::number(i));
        ASSERT_TRUE(SetFileTimes(f.file(name), {{}, 1262304000 + i, now - 60 - i}).ok());
        f.read(name);
    }
    auto snapshot = [&] {
        std::map<QString, std::tuple<QByteArray, quint32, qint64, qint64>> out;
        std::vector<QString> names;
        EXPECT_TRUE(ListFolderFiles(f.path(), names));
        for (const QString& n : names) {
            const FindData d = GetFileInfo(f.file(n));
            out[n] = {f.read(n), bitsBut(f.file(n), 0), d.lastWriteTime, d.lastAccessTime};
        }
        return out;
    };
    const auto before = snapshot();
    FileLists lists;
    DisplayFiles(lists, f.path());
    ASSERT_EQ(lists.original.count(), 20) << lists.listingError.toStdString();
    lists.original.setAllChecked(true);
    RenameSettings rename;
    rename.optFilenameModifications = false;
    rename.optSequencing = true;
    rename.chkSeqPrefix = 1;
    rename.txtSeqPrefix = "Photo ";
    rename.optNumeric = true;
    rename.txtDigitStartWith = "1";
    rename.txtDigits = "3";
    PreviewFiles(lists, rename, FilterSettings{});
    ASSERT_EQ(lists.changed.count(), 20);
    AdvancedSettings stamp;
    stamp.chkModifyAttributes = stamp.chkReadOnly = stamp.chkHidden = 1;
    stamp.chkModifyDateTime = stamp.chkFileModified = 1;
    stamp.modified = {2020, 5, 6, 7, 8, 9};
    RunJournal journal;
    const int failed = lists.changed.runOnRows(
        [&](const SharedRows& rows) { return RenameRows(rows, {}, stamp, {}, &journal); });
    EXPECT_EQ(failed, 0);
    std::vector<QString> names;
    ASSERT_TRUE(ListFolderFiles(f.path(), names)); // the hidden ones are left out
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(bitsBut(f.file("Photo 001IMG_00.jpg"), 0), AttrReadOnly | AttrHidden);
    EXPECT_EQ(f.read("Photo 020IMG_19.jpg"), "19");

    f.write("IMG_05.jpg", "someone else's");
    const RunReport undone = UndoRun(journal);
    EXPECT_EQ(undone.failed, 1);
    auto after = snapshot();
    EXPECT_EQ(after.erase("IMG_05.jpg"), 1u);
    auto expected = before;
    expected.erase("IMG_05.jpg");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(f.read("IMG_05.jpg"), "someone else's");
    EXPECT_EQ(f.read("Photo 006IMG_05.jpg"), "5");
}

// The program carries its icon and a manifest that declares it long-path aware (the
// packing step puts zov.exe beside the tests).
TEST(WindowsLayer, ProgramResources) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const QString path = QString::fromWCharArray(self, int(n));
    const QString exe = FolderOf(path) + "zov.exe";
    HMODULE m = LoadLibraryExW(exe.toStdWString().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m)
        GTEST_SKIP() << "no zov.exe beside the tests";
    EXPECT_TRUE(FindResourceW(m, L"IDI_ICON1", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */));
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
    ASSERT_TRUE(r);
    const QByteArray manifest(static_cast<const char*>(LockResource(LoadResource(m, r))),
                              int(SizeofResource(m, r)));
    EXPECT_TRUE(manifest.contains("<longPathAware"));
    EXPECT_TRUE(manifest.contains("asInvoker"));
    FreeLibrary(m);
}
