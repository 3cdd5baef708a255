// Name rules that hold on every platform, on real folders of the system the tests run on.
#include "TestFolder.h"
#include "files/basTavlo.h"
#include "rename/Preview.h"

#include <gtest/gtest.h>

#include <QDir>

TEST(Names, WindowsReservedNames) {
    for (const char* name :
         {"CON", "con", "PRN.txt", "aux.tar.gz", "NUL", "Nul .txt", "COM1", "com9.log", "LPT1",
          "lpt5.doc", "CONIN$", "conout$.x", "a.", "a ", "name.txt.", "COM\u00B9", "LPT\u00B3.txt"})
        EXPECT_TRUE(IsReservedOnWindows(QString::fromUtf8(name))) << name;
    for (const char* name : {"CONSOLE", "con1", "COM0", "LPT10", "COM", "xNUL", "AUX_1.txt", "a.b",
                             ".hidden", "NULL.txt", "COMA"})
        EXPECT_FALSE(IsReservedOnWindows(QString::fromUtf8(name))) << name;
}

namespace {

PreviewRow row(const QString& folder, const char* from, const char* to) {
    PreviewRow r;
    r.oldPath = folder + QString::fromUtf8(from);
    r.newPath = folder + QString::fromUtf8(to);
    return r;
}

} // namespace

// Where the folder folds case, new names that differ in case alone clash, and swaps and
// shifts by case alone go through; where it does not, they are different names.
TEST(Names, ConflictsByTheFoldersCaseRule) {
    TestFolder folder;
    const QString f = folder.path();
    for (const char* name : {"a.txt", "b.txt", "c.txt", "keep.txt"})
        folder.write(name);
#ifdef Q_OS_WIN
    EXPECT_TRUE(basTavlo::FolderFoldsCase(f + "a.txt"));
#else
    EXPECT_EQ(basTavlo::FolderFoldsCase(f + "a.txt"), false) << "a test folder on ext4 or tmpfs";
#endif
    struct Case {
        bool fold;
        std::vector<std::pair<const char*, const char*>> renames;
        std::vector<RowStatus> want;
    };
    using S = RowStatus;
    const Case cases[] = {
        {true, {{"a.txt", "X.txt"}, {"b.txt", "x.TXT"}}, {S::Ok, S::DuplicateTarget}},
        {false, {{"a.txt", "X.txt"}, {"b.txt", "x.TXT"}}, {S::Ok, S::Ok}},
        // A swap by case: each new name is held by the other row, which moves.
        {true, {{"a.txt", "B.TXT"}, {"b.txt", "A.TXT"}}, {S::Ok, S::Ok}},
        // A shift: c.txt takes B.txt, which b.txt leaves for A.txt, which a.txt leaves.
        {true, {{"a.txt", "Z.txt"}, {"b.txt", "A.txt"}, {"c.txt", "B.txt"}}, {S::Ok, S::Ok, S::Ok}},
        // A file that keeps its name holds it in every spelling.
        {true, {{"a.txt", "KEEP.txt"}, {"keep.txt", "keep.txt"}}, {S::TargetExists, S::Ok}},
        {true, {{"a.txt", "A.txt"}}, {S::Ok}}, // a change of case alone
    };
    for (const Case& c : cases) {
        std::vector<PreviewRow> rows;
        for (const auto& [from, to] : c.renames)
            rows.push_back(row(f, from, to));
        MarkConflicts(rows, c.fold);
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].status, c.want[i]) << c.fold << " " << c.renames[i].first;
    }
}

// Many new names at once: where the folder's names are read in one pass, every holder outside
// the plan is still found, whatever its name or kind, and a free name is known without a search.
TEST(Names, ManyNewNamesMeetEveryHolder) {
    TestFolder folder;
    const QString f = folder.path();
    std::vector<PreviewRow> rows;
    for (int i = 0; i < 100; ++i) {
        const QByteArray from = QByteArray::number(i) + ".jpg";
        folder.write(QString::fromLatin1(from));
        rows.push_back(
            row(f, from.constData(), ((i == 10 ? "ascii " : "\u00dc ") + from).constData()));
    }
    for (const char* held : {"\u00dc 7.jpg", "ascii 10.jpg"})
        folder.write(QString::fromUtf8(held));
    ASSERT_TRUE(QDir(f).mkdir(QString::fromUtf8("\u00dc 9.jpg")));
    MarkConflicts(rows);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(rows[size_t(i)].status,
                  i == 7 || i == 9 || i == 10 ? RowStatus::TargetExists : RowStatus::Ok)
            << i;
#ifndef Q_OS_WIN
    const basTavlo::Folder held(f);
    const basTavlo::NameHashes names = held.names(rows.size());
    EXPECT_TRUE(names.mayHold(u"\u00dc 7.jpg"));
    EXPECT_FALSE(names.mayHold(u"\u00dc 11.jpg"));
    EXPECT_FALSE(names.mayHold(u"ascii 11.jpg"));
    EXPECT_TRUE(held.names(1).mayHold(u"ascii 11.jpg")); // few questions: each is asked
#endif
}

// Where the server's rule for names is not known, a name it may take for a listed one is
// asked; only a plain name that no listed name folds to is known to be free.
TEST(Names, FoldedNamesAskWhatTheServerMayJoin) {
    const basTavlo::NameHashes names = basTavlo::NameHashes::Folded(
        {"IMG_1.JPG", QString::fromUtf8("\u212a.jpg"), QString::fromUtf8("\u017f.txt"),
         QString::fromUtf8("\uff41.png"), QString::fromUtf8("\u0131x"), "."});
    const struct {
        const char* name;
        bool mayHold;
    } cases[] = {
        {"img_1.jpg", true},  {"IMG_1.JPG", true},  {"k.jpg", true},      {"S.TXT", true},
        {"a.png", true},      {"ix", true},         {"img_2.jpg", false}, {"IMG_1~1.JPG", true},
        {"img_1.jpg.", true}, {"img_1.jpg ", true}, {"\u00e9.jpg", true}, {"x.jpg", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names.mayHold(QString::fromUtf8(c.name)), c.mayHold) << c.name;
}

TEST(Names, ExtendedLengthPaths) {
    const std::pair<const char*, const char*> table[] = {
        {"C:\\Photos\\a.jpg", "\\\\?\\C:\\Photos\\a.jpg"},
        {"d:\\", "\\\\?\\d:\\"},
        {"\\\\server\\share\\a.jpg", "\\\\?\\UNC\\server\\share\\a.jpg"},
        {"\\\\?\\C:\\a", "\\\\?\\C:\\a"}, // prefixed already
        {"\\\\.\\COM1", "\\\\.\\COM1"},   // a device
        {"C:/Photos/a.jpg", "C:/Photos/a.jpg"},
        {"C:\\Photos\\..\\a.jpg", "C:\\Photos\\..\\a.jpg"},
        {"C:\\Photos\\.", "C:\\Photos\\."},
        {"Photos\\a.jpg", "Photos\\a.jpg"},
        {"C:a.jpg", "C:a.jpg"},
        {"/home/a.jpg", "/home/a.jpg"},
    };
    for (const auto& [in, out] : table)
        EXPECT_EQ(basTavlo::ExtendedLengthPath(in).toStdString(), out) << in;
}
