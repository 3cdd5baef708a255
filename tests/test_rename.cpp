#include "TestFolder.h"
#include "files/basTavlo.h"
#include "listing/FileLists.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using basTavlo::DateTime;
using Contents = QMap<QString, QByteArray>;

namespace {

// A folder whose files hold their own names, so every move shows in the contents.
struct Scene {
    TestFolder f;
    FileLists lists;

    explicit Scene(std::initializer_list<const char*> names) {
        for (const char* n : names)
            f.write(n, n);
        DisplayFiles(lists, f.path());
        lists.original.setAllChecked(true);
    }
    PreviewRow row(const QString& from, const QString& to) const {
        return PreviewRow{f.file(to), f.file(from)};
    }
    std::vector<PreviewRow> plan(const RenameSettings& s) {
        PreviewFiles(lists, s, {});
        return lists.changed.rows();
    }
};

RenameSettings prefix(const QString& p) {
    RenameSettings s;
    s.chkPrefix = 1;
    s.txtPrefix = p;
    return s;
}

std::vector<RowOutcome> outcomes(const RunReport& r) {
    std::vector<RowOutcome> out;
    for (const PreviewRow& row : r.rows)
        out.push_back(row.outcome);
    return out;
}

qint64 utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toSecsSinceEpoch();
}

} // namespace

TEST(RenameRun, RenamesWhatThePreviewPlannedWithProgress) {
    Scene s{"a.txt", "b.txt", "c.txt"};
    RenameSettings settings = prefix("new-");
    const std::vector<PreviewRow> rows = s.plan(settings);
    settings.txtPrefix = "other-"; // changed after Preview: no effect
    std::vector<double> progress;
    const RunReport r = RenameFiles(rows, {}, {[&](double v) { progress.push_back(v); }, {}});
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_DOUBLE_EQ(progress[0], 100.0 / 3);
    EXPECT_DOUBLE_EQ(progress[1], 200.0 / 3);
    EXPECT_DOUBLE_EQ(progress[2], 100.0);
    EXPECT_DOUBLE_EQ(progress[3], 100.0);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(s.f.contents(),
              (Contents{{"new-a.txt", "a.txt"}, {"new-b.txt", "b.txt"}, {"new-c.txt", "c.txt"}}));

    // Again over the same rows: nothing more is renamed and nothing counts as failed.
    const RunReport again = RenameFiles(rows, {});
    EXPECT_EQ(again.failed, 0);
    EXPECT_EQ(s.f.contents().size(), 3);

    progress.clear();
    RenameFiles({}, {}, {[&](double v) { progress.push_back(v); }, {}});
    EXPECT_EQ(progress, std::vector<double>{100.0});
}

TEST(RenameRun, ChainsAndCyclesEndAsPlanned) {
    Scene s{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "a", "b", "x", "y", "z"};
    const std::vector<PreviewRow> rows = {
        s.row("1.jpg", "2.jpg"), s.row("2.jpg", "3.jpg"), s.row("3.jpg", "4.jpg"),
        s.row("4.jpg", "5.jpg"), s.row("5.jpg", "6.jpg"), s.row("a", "b"),
        s.row("b", "a"),         s.row("x", "y"),         s.row("y", "z"),
        s.row("z", "x"),
    };
    std::vector<double> progress;
    const RunReport r = RenameFiles(rows, {}, {[&](double v) { progress.push_back(v); }, {}});
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(progress.size(), rows.size() + 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(s.f.contents(), (Contents{{"2.jpg", "1.jpg"},
                                        {"3.jpg", "2.jpg"},
                                        {"4.jpg", "3.jpg"},
                                        {"5.jpg", "4.jpg"},
                                        {"6.jpg", "5.jpg"},
                                        {"b", "a"},
                                        {"a", "b"},
                                        {"y", "x"},
                                        {"z", "y"},
                                        {"x", "z"}}));
}

TEST(RenameRun, NeverReplacesAndFailsOnlyThatRow) {
    Scene s{"a.txt", "b.txt", "taken.txt", "c.txt", "d.txt"};
    // a -> taken (held by a file outside the plan); b and c both -> e; d -> a after a failed.
    std::vector<PreviewRow> rows = {s.row("a.txt", "taken.txt"), s.row("b.txt", "e.txt"),
                                    s.row("c.txt", "e.txt"), s.row("d.txt", "a.txt")};
    MarkConflicts(rows);
    EXPECT_EQ(rows[0].status, RowStatus::TargetExists);
    EXPECT_EQ(rows[2].status, RowStatus::DuplicateTarget);
    AdvancedSettings stamp;
    stamp.chkModifyAttributes = 1;
    stamp.chkHidden = 1;
    QStringList messages;
    const RunReport r = RenameFiles(rows, stamp, {{}, [&](const QString& m) { messages << m; }});
    EXPECT_EQ(outcomes(r),
              (std::vector<RowOutcome>{RowOutcome::TargetExists, RowOutcome::Renamed,
                                       RowOutcome::DuplicateTarget, RowOutcome::TargetExists}));
    EXPECT_EQ(r.failed, 3);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(s.f.contents(), (Contents{{"a.txt", "a.txt"},
                                        {"taken.txt", "taken.txt"},
                                        {"e.txt", "b.txt"},
                                        {"c.txt", "c.txt"},
                                        {"d.txt", "d.txt"}}));
    // The file that held a target was not stamped with another file's attributes.
    EXPECT_EQ(basTavlo::GetAttributes(s.f.file("taken.txt")), 0u);
    EXPECT_EQ(basTavlo::GetAttributes(s.f.file("e.txt")), basTavlo::AttrHidden);
}

TEST(RenameRun, NamesThatWouldLeaveTheFolderStayPut) {
    TestFolder parent;
    parent.mkdir("photos");
    const QString folder = parent.path() + "photos/";
    QFile file(folder + "a.jpg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("A");
    file.close();
    FileLists lists;
    DisplayFiles(lists, folder);
    lists.original.setAllChecked(true);
    for (const char* bad : {"../a.jpg", "..", ".", "sub/a.jpg", "/tmp/a.jpg", ""}) {
        SCOPED_TRACE(bad);
        RenameSettings s;
        s.chkReplaceString = 1;
        s.txtReplaceString = "a.jpg";
        s.txtWith = bad;
        PreviewFiles(lists, s, {});
        ASSERT_EQ(lists.changed.count(), 1);
        EXPECT_NE(lists.changed.row(0).status, RowStatus::Ok);
        EXPECT_EQ(RenameFiles(lists.changed.rows(), {}).rows[0].outcome, RowOutcome::InvalidName);
    }
    EXPECT_EQ(parent.contents(), (Contents{{"photos", "<dir>"}}));
    EXPECT_TRUE(QFile::exists(folder + "a.jpg"));
}

TEST(RenameRun, AttributesAreAddedInTableOrder) {
    UseTimeZone("UTC");
    Scene s{"one", "some", "all"};
    ASSERT_TRUE(basTavlo::SetAttributes(s.f.file("some"), basTavlo::AttrArchive));
    QStringList messages;
    auto collect = [&](const QString& m) { messages << m; };

    AdvancedSettings a;
    a.chkModifyAttributes = 1;
    a.chkHidden = 1;
    EXPECT_TRUE(ApplyAttributes(s.f.file("one"), a, collect));
    EXPECT_EQ(basTavlo::GetAttributes(s.f.file("one")), basTavlo::AttrHidden);
    a.chkSystem = 1;
    EXPECT_TRUE(ApplyAttributes(s.f.file("some"), a, collect));
    EXPECT_EQ(basTavlo::GetAttributes(s.f.file("some")),
              basTavlo::AttrHidden | basTavlo::AttrSystem | basTavlo::AttrArchive);
    a.chkReadOnly = 1;
    a.chkArchive = 1;
    EXPECT_TRUE(ApplyAttributes(s.f.file("all"), a, collect));
    EXPECT_EQ(basTavlo::GetAttributes(s.f.file("all")), basTavlo::kDosBits);
    EXPECT_TRUE(messages.isEmpty());

    EXPECT_FALSE(ApplyAttributes(s.f.file("missing"), a, collect));
    EXPECT_EQ(messages, QStringList({"ReadOnly Attribute NOT set.", "Hidden Attribute NOT set.",
                                     "Archive Attribute NOT set.", "System Attribute NOT set."}));
    // The box that turns the step on, with none under it: nothing happens.
    AdvancedSettings none;
    none.chkModifyAttributes = 1;
    messages.clear();
    EXPECT_TRUE(ApplyAttributes(s.f.file("missing"), none, collect));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(s.f.contents(), (Contents{{"one", "one"}, {"some", "some"}, {"all", "all"}}));
}

TEST(RenameRun, TimesAsChosen) {
    UseTimeZone("Europe/Berlin");
    Scene s{"m.jpg", "ro.jpg", "c.jpg"};
    for (const char* n : {"m.jpg", "ro.jpg", "c.jpg"})
        TestFolder::setTimes(s.f.file(n), utc(2020, 1, 1, 0, 0, 0), utc(2020, 1, 2, 0, 0, 0));
    const basTavlo::FileDetails before = basTavlo::GetFileTimes(s.f.file("m.jpg"));

    // Only "modified" checked: that time alone changes, and without the creation box.
    AdvancedSettings t;
    t.chkModifyDateTime = 1;
    t.chkFileModified = 1;
    t.modified = DateTime{2004, 3, 31, 14, 5, 9};
    t.creation = DateTime{1999, 1, 1, 0, 0, 0};
    RunReport r = RenameFiles({s.row("m.jpg", "m.jpg")}, t);
    EXPECT_EQ(r.failed, 0);
    basTavlo::FileDetails after = basTavlo::GetFileTimes(s.f.file("m.jpg"));
    EXPECT_EQ(after.Modified, t.modified);
    EXPECT_EQ(after.LastAccessed, before.LastAccessed);
    EXPECT_EQ(after.Created, before.Created);

    // Read-only plus times: the file gets both.
    t.chkModifyAttributes = 1;
    t.chkReadOnly = 1;
    t.chkFileLastAccessed = 1;
    t.lastAccessed = DateTime{2010, 7, 1, 8, 0, 0};
    r = RenameFiles({s.row("ro.jpg", "ro2.jpg")}, t);
    EXPECT_EQ(r.failed, 0);
    after = basTavlo::GetFileTimes(s.f.file("ro2.jpg"));
    EXPECT_TRUE(after.ReadOnly);
    EXPECT_EQ(after.Modified, t.modified);
    EXPECT_EQ(after.LastAccessed, t.lastAccessed);
    // A second press repeats the stamping on the renamed file.
    t.modified = DateTime{2011, 1, 1, 1, 1, 1};
    r = RenameFiles({s.row("ro.jpg", "ro2.jpg")}, t);
    EXPECT_EQ(r.rows[0].outcome, RowOutcome::Unchanged);
    EXPECT_EQ(basTavlo::GetFileTimes(s.f.file("ro2.jpg")).Modified, t.modified);

    // Creation, kept where Samba keeps it.
    AdvancedSettings c;
    c.chkModifyDateTime = 1;
    c.chkFileCreation = 1;
    c.creation = DateTime{2004, 3, 31, 14, 5, 9};
    r = RenameFiles({s.row("c.jpg", "c.jpg")}, c);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(basTavlo::GetFileTimes(s.f.file("c.jpg")).Created, c.creation);
    EXPECT_EQ(s.f.contents(),
              (Contents{{"m.jpg", "m.jpg"}, {"ro2.jpg", "ro.jpg"}, {"c.jpg", "c.jpg"}}));
}

TEST(RenameRun, ATargetCreatedMeanwhileIsNotReplaced) {
    TestFolder f;
    const int n = 300;
    std::vector<PreviewRow> rows;
    for (int i = 0; i < n; ++i) {
        const QString name = QString("f%1").arg(i);
        f.write(name, name.toUtf8());
        rows.push_back(PreviewRow{f.file("g" + name), f.file(name)});
    }
    // Another program creates some of the new names while the run goes on.
    std::atomic<bool> stop = false;
    std::thread rival([&] {
        for (int i = n - 1; i >= 0 && !stop; i -= 3) {
            QFile other(f.file(QString("gf%1").arg(i)));
            if (other.open(QIODevice::NewOnly))
                other.write("rival");
        }
    });
    f.write("gf0", "rival"); // and one before the run starts
    const RunReport r = RenameFiles(rows, {});
    stop = true;
    rival.join();
    const Contents after = f.contents();
    int rivals = 0;
    for (int i = 0; i < n; ++i) {
        const QString name = QString("f%1").arg(i);
        const QByteArray original = name.toUtf8();
        // Every file is still there, under its old or its new name, whole.
        const bool renamed = after.value("g" + name) == original;
        EXPECT_TRUE(renamed || after.value(name) == original) << i;
        EXPECT_EQ(renamed, r.rows[size_t(i)].outcome == RowOutcome::Renamed) << i;
        if (!renamed) {
            EXPECT_EQ(after.value("g" + name), "rival") << i;
        }
        rivals += after.value("g" + name) == "rival" ? 1 : 0;
    }
    EXPECT_GE(rivals, 1);
    EXPECT_EQ(r.rows[0].outcome, RowOutcome::TargetExists);
}
