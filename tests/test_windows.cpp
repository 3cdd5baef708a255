// What is Windows' own, on real folders: the core tables run here too, through the same
// test folder. Under Wine the folder is a Linux folder seen through Wine: where Wine shows
// less than NTFS would, the test says so and checks what it can.
#include "TestFolder.h"
#include "files/basTavlo.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"
#include "ui/SysInfo.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <windows.h>

using namespace basTavlo;

namespace {

// Wine reports every file of a Linux folder as Archive, set or not.
quint32 bitsBut(const QString& path, quint32 archiveUnderWine) {
    const quint32 bits = GetAttributes(path).value_or(0xffff);
    return UnderWine() ? (bits & ~AttrArchive) | archiveUnderWine : bits;
}

QString read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : "<none>";
}

std::vector<QString> listed(const QString& folder) {
    std::vector<QString> names;
    EXPECT_TRUE(ListFolderFiles(folder, names));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// A name differing in case alone is the same name: no rename onto it, but a change of case
// alone works (MoveFileExW), and a look-up gives the name as the folder spells it. A move by
// identity, through the file's own handle, takes that file and no other.
TEST(WindowsLayer, NamesByCaseAndMovesByHandle) {
    TestFolder f;
    f.write("a.txt", "A");
    f.write("b.txt", "B");
    EXPECT_EQ(RenameFile(f.file("a.txt"), f.file("B.TXT")), RenameError::TargetExists);
    EXPECT_EQ(RenameFile(f.file("a.txt"), f.file("A.txt")), RenameError::None);
    EXPECT_EQ(listed(f.path()), (std::vector<QString>{"A.txt", "b.txt"}));
    EXPECT_EQ(GetFileInfo(f.file("a.TXT")).fileName, "A.txt");
    EXPECT_TRUE(FolderFoldsCase(f.file("A.txt")));
    const Folder held(f.path());
    const FileId a = IdOf(f.file("A.txt"));
    EXPECT_TRUE(held.id().valid);
    EXPECT_EQ(held.move(u"b.txt", u"c.txt", a), RenameError::NotThatFile);
    EXPECT_EQ(held.move(u"A.txt", u"b.txt", a), RenameError::TargetExists);
    EXPECT_EQ(held.move(u"A.txt", u"c.txt", a), RenameError::None);
    EXPECT_EQ(read(f.file("b.txt")), "B");
    EXPECT_EQ(read(f.file("c.txt")), "A");

    // The preview marks names Windows refuses; a swap by case alone and a change of case run,
    // a second press finds them done, and they come back.
    for (const char* name : {"nul.txt", "name."}) // the whole table: the name tests
        EXPECT_EQ(CheckNewName(name, 255), RowStatus::ReservedName) << name;
    EXPECT_EQ(CheckNewName("a:b", 255), RowStatus::InvalidCharacter);
    EXPECT_EQ(CheckNewName("console.txt", 255), RowStatus::Ok);
    f.write("d.txt", "D");
    std::vector<PreviewRow> rows = {{f.file("C.TXT"), f.file("b.txt")},
                                    {f.file("B.TXT"), f.file("c.txt")},
                                    {f.file("D.txt"), f.file("d.txt")}};
    for (PreviewRow& r : rows)
        r.id = IdOf(r.oldPath);
    MarkConflicts(rows);
    for (const PreviewRow& r : rows)
        ASSERT_EQ(r.status, RowStatus::Ok);
    RunJournal journal;
    EXPECT_EQ(RenameRows(std::make_shared<std::vector<PreviewRow>>(rows), {}, {}, {}, &journal), 0);
    EXPECT_EQ(listed(f.path()), (std::vector<QString>{"B.TXT", "C.TXT", "D.txt"}));
    EXPECT_EQ(read(f.file("B.TXT")), "A");
    for (const PreviewRow& r : RenameFiles(rows, {}).rows) // a second press finds them done
        EXPECT_EQ(r.outcome, RowOutcome::AlreadyRenamed);
    EXPECT_EQ(UndoRun(journal).failed, 0);
    EXPECT_EQ(f.contents(), (Contents{{"b.txt", "B"}, {"c.txt", "A"}, {"d.txt", "D"}}));
}

// Hidden and system files and folders are not listed; the bits kept are the file's own,
// and times go on a read-only file too. Wine keeps the DOS bits of a Linux file in its
// user.DOSATTRIB attribute, and on ext4 no creation time at all: there a creation time is
// reported as not set, as the program reports it on such a volume.
TEST(WindowsLayer, AttributesAndTimes) {
    TestFolder f;
    for (const char* n : {"plain.txt", "hidden.txt", "system.txt", "f.txt"})
        f.write(n, "x");
    f.mkdir("sub");
    ASSERT_TRUE(SetAttributes(f.file("hidden.txt"), AttrHidden));
    ASSERT_TRUE(SetAttributes(f.file("system.txt"), AttrSystem));
    EXPECT_EQ(listed(f.path()), (std::vector<QString>{"f.txt", "plain.txt"}));
    EXPECT_TRUE(GetFileInfo(f.file("sub\\")).attributes & AttrDirectory);
    EXPECT_EQ(bitsBut(f.file("plain.txt"), 0), 0u);
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
        EXPECT_TRUE(UnderWine()) << "NTFS keeps a creation time";
    EXPECT_EQ(bitsBut(f.file("f.txt"), AttrArchive), AttrReadOnly | AttrArchive);
    EXPECT_EQ(read(f.file("f.txt")), "x");
}

// Paths past 260 characters: listed, looked up, renamed and stamped like any other. Wine
// takes long paths without the prefix too, so there this shows only that the prefixed
// calls work; the prefix itself is checked on every platform in the name tests.
TEST(WindowsLayer, LongPaths) {
    TestFolder f;
    auto wide = [](const QString& path) { return ExtendedLengthPath(path).toStdWString(); };
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
    EXPECT_EQ(listed(deep), std::vector<QString>{FileNameOf(file)});
    EXPECT_TRUE(GetFileInfo(file).found);
    const QString to = deep + "renamed.txt";
    EXPECT_EQ(RenameFile(file, to), RenameError::None);
    EXPECT_TRUE(PathExists(to));
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(SetAttributes(to, AttrArchive | AttrHidden));
    EXPECT_EQ(bitsBut(to, AttrArchive), AttrArchive | AttrHidden);
    // Removed by the prefixed calls: the test folder's own removal can't reach it.
    DeleteFileW(wide(to).c_str());
    while (deep.size() > f.path().size()) {
        RemoveDirectoryW(wide(deep).c_str());
        deep.chop(41);
    }
}

// An identity is the entry's own: a symbolic link is not the file it points to, a hard link
// is. Wine 8 answers CreateSymbolicLinkW with success and makes no link: there only the hard
// link and a copy are checked.
TEST(WindowsLayer, IdentityOfLinks) {
    TestFolder f;
    f.write("target.txt", "T");
    f.write("copy.txt", "T");
    ASSERT_TRUE(TestFolder::hardLink(f.file("target.txt"), f.file("hard.txt")));
    EXPECT_TRUE(SameFile(f.file("hard.txt"), f.file("target.txt")));
    EXPECT_FALSE(SameFile(f.file("copy.txt"), f.file("target.txt")));
    EXPECT_FALSE(SameFile(f.file("none.txt"), f.file("none.txt")));
    const bool made = CreateSymbolicLinkW(f.file("link.txt").toStdWString().c_str(),
                                          f.file("target.txt").toStdWString().c_str(),
                                          0x2 /* unprivileged, in developer mode */) &&
                      PathExists(f.file("link.txt"));
    if (!made) {
        EXPECT_TRUE(UnderWine() || GetLastError() == ERROR_PRIVILEGE_NOT_HELD) << GetLastError();
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

// The program carries its icon and a manifest that declares it long-path aware (the
// packing step puts zov.exe beside the tests).
TEST(WindowsLayer, ProgramResources) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const QString exe = FolderOf(QString::fromWCharArray(self, int(n))) + "zov.exe";
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
