#include "TestFolder.h"
#include "files/basTavlo.h"
#include "ui/Dialogs.h"
#include "ui/SysInfo.h"
#include "ui/frmAbout.h"
#include "ui/frmTavlo.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QToolTip>
#include <QTreeView>

#include <numeric>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct Message {
    QString text;
    Dialogs::Icon icon;
    QString details;
    bool busy; // the wait cursor was over the window
};

// The real window, with its message boxes collected instead of shown.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC");
        Dialogs::SetMessageSink([this](const QString& t, Dialogs::Icon i, const QString& d) {
            const QCursor* c = QGuiApplication::overrideCursor();
            messages.push_back({t, i, d, c && c->shape() == Qt::WaitCursor});
        });
        w = std::make_unique<frmTavlo>();
        w->show();
    }
    void TearDown() override {
        Dialogs::SetMessageSink({});
        Dialogs::SetNextFolder(std::nullopt);
    }
    template <typename T> T* get(const char* name) const {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    QString label(const char* name) const { return get<QLabel>(name)->text(); }
    bool progressShown() const { return get<QProgressBar>("pbrTavlo")->isVisible(); }
    void browse(const QString& folder) {
        Dialogs::SetNextFolder(folder);
        click("cmdBrowseSource");
    }
    void type(const char* field, const QString& text) {
        QLineEdit* e = get<QLineEdit>(field);
        e->clear();
        QTest::keyClicks(e, text);
    }

    std::unique_ptr<frmTavlo> w;
    std::vector<Message> messages;
};

} // namespace

TEST_F(Window, StartsAsDesignedWithItsCaptions) {
    EXPECT_EQ(w->windowTitle(), "File Renamer");
    EXPECT_EQ(w->centralWidget()->size(), QSize(667, 550));
    // Every check and option indicator fits the control's own height.
    for (const QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        const bool check = qobject_cast<const QCheckBox*>(b);
        if (check || qobject_cast<const QRadioButton*>(b)) {
            EXPECT_LE(b->style()->pixelMetric(check ? QStyle::PM_IndicatorHeight
                                                    : QStyle::PM_ExclusiveIndicatorHeight),
                      b->height())
                << b->objectName().toStdString();
        }
    }
    EXPECT_TRUE(get<QWidget>("fraThree")->isVisible());
    EXPECT_FALSE(get<QWidget>("fraFour")->isVisible());
    EXPECT_FALSE(get<QPushButton>("cmdPrevious")->isEnabled());
    EXPECT_TRUE(get<QPushButton>("cmdNext")->isEnabled());
    EXPECT_FALSE(progressShown());
    EXPECT_EQ(w->focusWidget(), get<QWidget>("cmdBrowseSource"));

    // Texts whose blanks are their own.
    EXPECT_EQ(get<QCheckBox>("chkChangeExtension")->text(), "Change extension to ");
    EXPECT_EQ(label("lblOriginal"), "Original file List : ");
    EXPECT_EQ(label("lblOriginalFilesSelected"), " 0 of 0 files selected");
    EXPECT_EQ(label("lblPreviewFiles"), " 0 files in preview");

    // Text fields take 200 characters; the folder field takes none from the keyboard.
    type("txtPrefix", QString(201, 'x'));
    EXPECT_EQ(get<QLineEdit>("txtPrefix")->text().size(), 200);
    EXPECT_TRUE(get<QLineEdit>("txtSourceFiles")->isReadOnly());
    // Drop-down lists start with nothing chosen.
    for (const char* c :
         {"cboChangeCase", "cboIncludeExclude", "cboCreation", "cboModified", "cboLastAccessed"})
        EXPECT_EQ(get<QComboBox>(c)->currentIndex(), -1) << c;
    // The preview list shows only the new path.
    EXPECT_TRUE(get<QTreeView>("lstChanged")->isColumnHidden(1));
}

TEST_F(Window, WizardPagesAndProgressResets) {
    type("txtPrefix", "kept");
    click("cmdNext");
    EXPECT_TRUE(get<QWidget>("fraFour")->isVisible());
    EXPECT_TRUE(get<QPushButton>("cmdPrevious")->isEnabled());
    click("cmdNext");
    EXPECT_TRUE(get<QWidget>("fraSix")->isVisible());
    EXPECT_FALSE(get<QPushButton>("cmdNext")->isEnabled());
    click("cmdPrevious");
    click("cmdPrevious");
    EXPECT_TRUE(get<QWidget>("fraThree")->isVisible());
    EXPECT_FALSE(get<QPushButton>("cmdPrevious")->isEnabled());
    EXPECT_TRUE(get<QPushButton>("cmdNext")->isEnabled());
    EXPECT_EQ(get<QLineEdit>("txtPrefix")->text(), "kept");

    // A click on the selected option of a set leaves it selected, and the sets are apart.
    for (const char* option : {"optFilenameModifications", "optSuffixSequence", "optSequencing",
                               "optPrefixSequence", "optNumeric"}) {
        click(option);
        click(option);
        EXPECT_TRUE(get<QRadioButton>(option)->isChecked()) << option;
    }
    EXPECT_FALSE(get<QRadioButton>("optFilenameModifications")->isChecked());
    EXPECT_FALSE(get<QRadioButton>("optSuffixSequence")->isChecked());
    click("optFilenameModifications");
    EXPECT_TRUE(get<QRadioButton>("optPrefixSequence")->isChecked());

    // The bar shows after a run and stays at 100 until a resetting handler hides it.
    click("cmdStart");
    EXPECT_TRUE(progressShown());
    EXPECT_DOUBLE_EQ(w->progressValue(), 100.0);
    click("cmdDown");
    EXPECT_TRUE(progressShown());
    for (const char* resetter : {"cmdNext", "cmdPrevious", "cmdRefresh", "cmdUp", "cmdPreview",
                                 "optNumeric", "chkSelectAll"}) {
        click("cmdStart");
        ASSERT_TRUE(progressShown());
        click(resetter);
        EXPECT_FALSE(progressShown()) << resetter;
        EXPECT_DOUBLE_EQ(w->progressValue(), 0.0) << resetter;
    }
}

TEST_F(Window, AccessKeys) {
    // The letter after "&" becomes the button's Alt shortcut.
    const std::pair<const char*, Qt::Key> keys[] = {
        {"cmdNext", Qt::Key_N},       {"cmdPreview", Qt::Key_V},
        {"cmdStart", Qt::Key_R},      {"cmdUndo", Qt::Key_U},
        {"cmdExit", Qt::Key_X},       {"cmdAbout", Qt::Key_A},
        {"chkChangeCase", Qt::Key_C}, {"optFilenameModifications", Qt::Key_M}};
    for (const auto& [name, key] : keys)
        EXPECT_EQ(get<QAbstractButton>(name)->shortcut(), QKeySequence(Qt::ALT | key)) << name;
}

TEST_F(Window, TheRoadOfOneRename) {
    TestFolder f;
    for (const char* n : {"c.jpg", "a.jpg", "b.jpg", "notes.txt"})
        f.write(n, n);
    QString folder = f.path();
    folder.chop(1);
    browse(folder);
    EXPECT_EQ(Dialogs::LastStartFolder(), QDir::homePath()); // nothing listed yet
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), f.path());
    EXPECT_EQ(label("lblOriginalFilesSelected"), "0 of 4 files selected");
    EXPECT_EQ(w->lists().original.text(0), f.file("a.jpg"));
    EXPECT_EQ(w->lists().include.count(), 2);

    click("chkSelectAll");
    EXPECT_EQ(label("lblOriginalFilesSelected"), "4 of 4 files selected");
    // Unchecking notes.txt in the list, as the view does on a click in its box.
    QListView* list = get<QListView>("lstOriginal");
    list->model()->setData(list->model()->index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(label("lblOriginalFilesSelected"), "3 of 4 files selected");
    EXPECT_EQ(get<QCheckBox>("chkSelectAll")->checkState(), Qt::Checked);

    // c.jpg to the top; the highlight and the mark go with it.
    list->setCurrentIndex(list->model()->index(2, 0));
    click("cmdUp");
    click("cmdUp");
    EXPECT_EQ(w->lists().original.text(0), f.file("c.jpg"));
    EXPECT_EQ(list->currentIndex().row(), 0);
    click("cmdDown");
    click("cmdUp");
    EXPECT_EQ(w->lists().original.text(0), f.file("c.jpg"));
    EXPECT_EQ(label("lblOriginalFilesSelected"), "3 of 4 files selected");

    click("optSequencing");
    get<QCheckBox>("chkSeqPrefix")->setChecked(true);
    type("txtSeqPrefix", "IMG-");
    click("optNumeric");
    EXPECT_EQ(get<QLineEdit>("txtDigitStartWith")->text(), "1");
    EXPECT_EQ(get<QLineEdit>("txtDigits")->text(), "1");
    type("txtDigits", "3");
    click("cmdPreview");
    EXPECT_EQ(label("lblPreviewFiles"), "3 files in preview.");
    EXPECT_EQ(label("lblOriginalFilesSelected"), "3 of 4 files selected");
    QTreeView* changed = get<QTreeView>("lstChanged");
    EXPECT_EQ(changed->model()->index(0, 0).data().toString(), f.file("IMG-001c.jpg"));
    EXPECT_EQ(changed->model()->index(0, 1).data().toString(), f.file("c.jpg"));
    // Both lists show whole paths as tooltips; a preview row names the file it came from.
    EXPECT_EQ(changed->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
              "From: " + f.file("c.jpg"));
    EXPECT_EQ(get<QListView>("lstOriginal")->model()->index(0, 0).data(Qt::ToolTipRole),
              w->lists().original.text(0));

    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    EXPECT_DOUBLE_EQ(w->progressValue(), 100.0);
    const QMap<QString, QByteArray> expected{{"IMG-001c.jpg", "c.jpg"},
                                             {"IMG-002a.jpg", "a.jpg"},
                                             {"IMG-003b.jpg", "b.jpg"},
                                             {"notes.txt", "notes.txt"}};
    EXPECT_EQ(f.contents(), expected);
    // The lists keep showing the old paths until Refresh.
    EXPECT_EQ(w->lists().original.text(0), f.file("c.jpg"));
    click("cmdRefresh");
    EXPECT_EQ(get<QCheckBox>("chkSelectAll")->checkState(), Qt::Unchecked);
    EXPECT_EQ(w->lists().original.checkedCount(), 0);
    EXPECT_EQ(w->lists().original.text(0), f.file("IMG-001c.jpg"));
    EXPECT_EQ(label("lblPreviewFiles"), "0 files in preview.");

    // Cancelling the chooser empties the folder field but keeps the files on show.
    w->lists().original.setChecked(1, true);
    browse("");
    EXPECT_EQ(Dialogs::LastStartFolder(), f.path()); // the chooser opened at the listed folder
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), "");
    EXPECT_EQ(w->lists().original.count(), 4);
    EXPECT_EQ(label("lblOriginalFilesSelected"), "1 of 4 files selected");
    EXPECT_EQ(w->lists().include.count(), 0);
    // A root folder keeps its one separator.
    browse("/");
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), "/");
}

TEST_F(Window, FailuresAreShownAndNothingIsReplaced) {
    TestFolder f;
    for (const char* n : {"a.txt", "b.txt", "new-a.txt"})
        f.write(n, n);
    browse(f.path());
    click("chkSelectAll");
    w->lists().original.setChecked(2, false); // new-a.txt stays where it is
    get<QCheckBox>("chkPrefix")->setChecked(true);
    type("txtPrefix", "new-");
    click("cmdPreview");
    QAbstractItemModel* rows = get<QTreeView>("lstChanged")->model();
    ASSERT_EQ(rows->rowCount(), 2);
    // a.txt -> new-a.txt is taken by a file that stays: marked before anything happens.
    EXPECT_FALSE(rows->index(0, 0).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_TRUE(rows->index(0, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(rows->index(1, 0).data(Qt::ForegroundRole).isValid());

    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(messages[0].text.startsWith("1 of 2 files")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("a.txt: Not renamed: another file has this name."));
    EXPECT_TRUE(rows->index(0, 0).data(Qt::ForegroundRole).isValid());
    const QMap<QString, QByteArray> expected{
        {"a.txt", "a.txt"}, {"new-b.txt", "b.txt"}, {"new-a.txt", "new-a.txt"}};
    EXPECT_EQ(f.contents(), expected);

    // Again: nothing more moves; then with the renamed file gone, its row says so.
    click("cmdStart");
    EXPECT_EQ(rows->index(1, 0).data(Qt::ToolTipRole).toString(),
              "From: " + f.file("b.txt") + "\nAlready renamed.");
    EXPECT_FALSE(rows->index(1, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(f.contents(), expected);
    ASSERT_TRUE(QFile::remove(f.file("new-b.txt")));
    f.write("new-b.txt", "another");
    click("cmdStart");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.startsWith("2 of 2 files"));
    EXPECT_TRUE(messages[2].text.contains(
        "b.txt: Not renamed: the file is gone or was replaced since the preview."));
    EXPECT_TRUE(rows->index(1, 0).data(Qt::ForegroundRole).isValid());

    // From the command line: one folder is listed as if chosen; anything else is refused.
    w->OpenFromArguments({f.path() + "."});
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), f.path());
    EXPECT_EQ(w->lists().original.count(), 3);
    w->OpenFromArguments({f.file("a.txt")});
    w->OpenFromArguments({f.path(), f.path()});
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[3].text, "ZOV opens a folder, and " + f.file("a.txt") + " is not one.");
    EXPECT_EQ(messages[4].text, "ZOV opens one folder at a time, and was given 2 names.");
    messages.resize(3);

    // A folder that can't be read is said to be so, not shown as an empty one.
    browse(f.path() + "gone");
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3].text,
              "The folder " + f.path() + "gone/ can't be read: No such file or directory.");
    EXPECT_EQ(label("lblOriginalFilesSelected"), "0 of 0 files selected");
}

// Undo takes back the last run once, by the button or Ctrl+Z, and what others changed
// meanwhile is left and named.
TEST_F(Window, UndoTakesBackTheLastRunOnly) {
    TestFolder f;
    for (const char* n : {"a.txt", "b.txt"})
        f.write(n, n);
    const QMap<QString, QByteArray> original{{"a.txt", "a.txt"}, {"b.txt", "b.txt"}};
    QPushButton* undo = get<QPushButton>("cmdUndo");
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->geometry(), QRect(400, 523, 83, 22));
    EXPECT_EQ(undo->text(), "&Undo");
    auto run = [&](const QString& prefix) {
        click("cmdRefresh");
        click("chkSelectAll");
        get<QCheckBox>("chkPrefix")->setChecked(true);
        type("txtPrefix", prefix);
        click("cmdPreview");
        click("cmdStart");
    };
    browse(f.path());
    get<QCheckBox>("chkModifyAttributes")->setChecked(true);
    get<QCheckBox>("chkHidden")->setChecked(true);
    run("x-");
    click("cmdStart"); // a second press changes nothing: Undo still takes the run back
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(basTavlo::GetAttributes(f.file("x-a.txt")), basTavlo::AttrHidden);
    // Undo names the run it takes back, also after browsing to another folder.
    const QString what = "the last run: 2 files in " + f.path();
    TestFolder elsewhere;
    browse(elsewhere.path());
    EXPECT_EQ(undo->toolTip(), "Takes back " + what + ".");
    browse(f.path());
    QApplication::setActiveWindow(w.get()); // a shortcut reaches the active window only
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    get<QWidget>("cmdNext")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), undo); // between Next and Rename
    QTest::keyClick(get<QWidget>("lstChanged"), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Undo took back " + what + ".");
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(undo->toolTip(), "");
    messages.clear();
    EXPECT_EQ(f.contents(), original);
    EXPECT_EQ(basTavlo::GetAttributes(f.file("a.txt")), 0u);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(w->lists().original.text(0), f.file("a.txt"));
    EXPECT_EQ(label("lblPreviewFiles"), "0 files in preview.");

    // Two runs: Undo takes back the second alone, after a preview that left it behind.
    get<QCheckBox>("chkModifyAttributes")->setChecked(false);
    run("x-");
    run("y-");
    type("txtPrefix", "w-");
    click("cmdPreview");
    click("cmdUndo");
    EXPECT_EQ(f.contents(),
              (QMap<QString, QByteArray>{{"x-a.txt", "a.txt"}, {"x-b.txt", "b.txt"}}));
    EXPECT_FALSE(undo->isEnabled());
    messages.clear();

    // An old name taken meanwhile: that row stays, in red, and one message names it.
    run("z-");
    f.write("x-a.txt", "newcomer");
    click("cmdUndo");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Undo of " + what +
                                            ":\n1 of 2 files could not be "
                                            "undone"))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(f.file("z-x-a.txt") +
                                          ": Not renamed: another file has this name."))
        << messages[0].text.toStdString();
    EXPECT_EQ(f.contents(),
              (QMap<QString, QByteArray>{
                  {"x-a.txt", "newcomer"}, {"z-x-a.txt", "a.txt"}, {"x-b.txt", "b.txt"}}));
    QAbstractItemModel* rows = get<QTreeView>("lstChanged")->model();
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_TRUE(rows->index(0, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(rows->index(1, 0).data(Qt::ForegroundRole).isValid());

    // The folder replaced by a copy of hard links after the preview: nothing is renamed.
    messages.clear();
    click("cmdRefresh");
    click("chkSelectAll");
    click("cmdPreview");
    const QString folder = f.path().chopped(1), old = folder + ".old";
    ASSERT_TRUE(QDir().rename(folder, old));
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& n : QDir(old).entryList(QDir::Files))
        ASSERT_EQ(link(QFile::encodeName(old + '/' + n).constData(),
                       QFile::encodeName(folder + '/' + n).constData()),
                  0);
    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Nothing was renamed: the folder " + folder +
                                            "/ is not the one that was previewed."))
        << messages[0].text.toStdString();
    EXPECT_EQ(QDir(old).entryList(QDir::Files), (QStringList{"x-a.txt", "x-b.txt", "z-x-a.txt"}));
    QDir(old).removeRecursively();
}

// What a first user meets: names too long for one line, a name that would hide its file,
// the wait while the window takes no input, and dates as the locale writes them.
TEST_F(Window, LongNamesHiddenNamesTheWaitAndTheDates) {
    TestFolder f;
    const QString longName = QString(245, 'n') + "_final.jpg";
    for (const QString& n : {longName, QString("a.jpg")})
        f.write(n, "x");
    browse(f.path());
    click("chkSelectAll");
    get<QCheckBox>("chkPrefix")->setChecked(true);
    type("txtPrefix", "..");
    // The preview is made under the wait cursor, which goes when it ends.
    std::vector<bool> busy;
    QTreeView* changed = get<QTreeView>("lstChanged");
    QObject::connect(changed->model(), &QAbstractItemModel::modelReset, [&] {
        const QCursor* c = QGuiApplication::overrideCursor();
        busy.push_back(c && c->shape() == Qt::WaitCursor);
    });
    click("cmdPreview");
    EXPECT_EQ(busy, std::vector<bool>{true});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // A name that begins with a dot is valid, and shown in the warning colour with why.
    const QModelIndex first = changed->model()->index(0, 0);
    EXPECT_EQ(first.data(Qt::ForegroundRole).value<QColor>(), QColor(170, 95, 0));
    EXPECT_TRUE(first.data(Qt::ToolTipRole)
                    .toString()
                    .endsWith("The new name begins with a dot: the file will be hidden"));
    // Tooltips of both lists wrap the 255-byte name at a readable width.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(get<QListView>("lstOriginal")),
                                    static_cast<QAbstractItemView*>(changed)}) {
        const QRect row = view->visualRect(view->model()->index(1, 0)); // after a.jpg
        QHelpEvent hover(QEvent::ToolTip, row.center(),
                         view->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(view->viewport(), &hover);
        ASSERT_TRUE(QToolTip::isVisible()) << view->objectName().toStdString();
        EXPECT_TRUE(QToolTip::text().remove('\n').contains(longName));
        const QStringList lines = QToolTip::text().split('\n');
        const int widest =
            std::accumulate(lines.begin(), lines.end(), 0, [](int w, const QString& l) {
                return std::max(w, QFontMetrics(QToolTip::font()).horizontalAdvance(l));
            });
        EXPECT_LE(widest, 640);
        QToolTip::hideText();
    }
    // The run ends in a message (the name is too long with its prefix): the arrow is back.
    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].busy);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(messages[0].text.contains(QChar(0x2026)));
    EXPECT_TRUE(messages[0].text.contains("_final.jpg: Not renamed"));
    EXPECT_FALSE(messages[0].text.contains(longName));
    EXPECT_TRUE(messages[0].details.contains(f.file(longName)));
    EXPECT_TRUE(QFile::exists(f.file("..a.jpg")));

    // The date pickers write dates as the locale does, the year in full.
    const std::pair<const char*, const char*> formats[] = {{"en_US", "M/d/yyyy"},
                                                           {"de_DE", "dd.MM.yyyy"}};
    for (const auto& [locale, format] : formats) {
        QLocale::setDefault(QLocale(locale));
        const frmTavlo window;
        QLocale::setDefault(QLocale::c());
        for (const QDateEdit* d : window.findChildren<QDateEdit*>())
            EXPECT_EQ(d->displayFormat(), format) << locale;
    }
}

// "Rome 001.jpg" in one preview and one run; a pattern and its groups; a typo renames
// nothing and says why on every row.
TEST_F(Window, NamesFromTagsAndPatterns) {
    TestFolder f;
    QStringList expected;
    const QString newest = "DSC_4984.JPG";
    for (int i = 0; i < 40; ++i) {
        const QString name = QString("DSC_%1.JPG").arg(4711 + i * 7);
        f.write(name, name.toUtf8());
        TestFolder::setTimes(f.file(name), utc(2024, 1, 1, 0, 0, 0) + i * 3600, 0);
        expected << QString("Rome %1.jpg").arg(i + 1, 3, 10, QChar('0'));
    }
    browse(f.path());
    click("chkSelectAll");
    // Sorted by the modified time, newest first: the menu says which key, and which way.
    auto sortBy = [&](const char* key) {
        const std::unique_ptr<QMenu> menu = w->OriginalListMenu();
        QMenu* sort = menu->actions().front()->menu();
        EXPECT_EQ(menu->actions().front()->text(), "&Sort by");
        for (QAction* a : sort->actions())
            if (a->text().startsWith(key))
                a->trigger();
        return w->OriginalListMenu();
    };
    sortBy("&Modified");
    const std::unique_ptr<QMenu> menu = sortBy("&Modified");
    QMenu* shown = menu->actions().front()->menu();
    EXPECT_EQ(shown->actions()[3]->text(), "&Modified\tdescending");
    EXPECT_TRUE(shown->actions()[3]->isChecked());
    EXPECT_FALSE(shown->actions()[0]->isChecked());
    EXPECT_EQ(w->lists().original.text(0), f.file(newest));
    click("optSequencing");
    get<QCheckBox>("chkSeqPrefix")->setChecked(true);
    type("txtSeqPrefix", "Rome ");
    click("optNumeric");
    type("txtDigits", "3");
    EXPECT_TRUE(get<QCheckBox>("chkKeepName")->isChecked());
    click("chkKeepName");
    get<QCheckBox>("chkChangeExtension")->setChecked(true);
    type("txtChangeExtension", "jpg");
    click("cmdPreview");
    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files), expected);
    EXPECT_EQ(f.contents().value("Rome 001.jpg"), newest);

    click("cmdRefresh");
    click("chkSelectAll");
    click("optFilenameModifications");
    get<QCheckBox>("chkChangeExtension")->setChecked(false);
    get<QCheckBox>("chkReplaceString")->setChecked(true);
    type("txtReplaceString", "/rome (\\d+)/i");
    type("txtWith", "IMG-$1");
    click("cmdPreview");
    QAbstractItemModel* rows = get<QTreeView>("lstChanged")->model();
    EXPECT_EQ(rows->index(0, 0).data().toString(), f.file("IMG-001.jpg"));
    // Tags are inserted at the cursor from the field's menu, within its 200 characters.
    QLineEdit* suffix = get<QLineEdit>("txtSuffix");
    suffix->setText(QString(194, 'x'));
    suffix->setCursorPosition(1);
    for (int i = 0; i < 2; ++i) {
        const std::unique_ptr<QMenu> menu = w->NameFieldMenu(suffix);
        for (QAction* a : menu->actions().back()->menu()->actions())
            if (a->text().startsWith("<name>\t"))
                a->trigger();
    }
    EXPECT_EQ(suffix->text(), "x<name>" + QString(193, 'x'));
    // A typo: every row red, with the tag and the field; Rename renames nothing.
    get<QCheckBox>("chkPrefix")->setChecked(true);
    type("txtPrefix", "<dat>");
    click("cmdPreview");
    ASSERT_EQ(rows->rowCount(), 40);
    for (int r : {0, 39}) {
        EXPECT_TRUE(rows->index(r, 0).data(Qt::ForegroundRole).isValid());
        EXPECT_TRUE(rows->index(r, 0)
                        .data(Qt::ToolTipRole)
                        .toString()
                        .endsWith("<dat> in \"Add Prefix\" is not a tag ZOV knows."));
    }
    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Nothing is renamed: <dat> in \"Add Prefix\" is not a tag ZOV knows.");
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files), expected);
}

// 40 photos named out of the order they were taken become "Rome 001.jpg" ... in that order;
// a photo without a date taken is red and left alone, unless the modified time stands in.
TEST_F(Window, PhotosNumberedInTheOrderTaken) {
    TestFolder f;
    QFile tagged(QStringLiteral(ZOV_TEST_DATA "/taken.jpg"));
    ASSERT_TRUE(tagged.open(QIODevice::ReadOnly));
    const QByteArray photo = tagged.readAll();
    QStringList expected;
    for (int i = 1; i <= 40; ++i) {
        // Taken i hours after midnight, named the other way round.
        QByteArray copy = photo;
        copy.replace("2021:07:14 09:30:00", QString("2021:07:%1 %2:30:00")
                                                .arg(1 + (i - 1) / 24, 2, 10, QChar('0'))
                                                .arg((i - 1) % 24, 2, 10, QChar('0'))
                                                .toLatin1());
        const QString name = QString("DSC_%1.JPG").arg(41 - i, 4, 10, QChar('0'));
        f.write(name, copy);
        expected << QString("Rome %1.jpg").arg(i, 3, 10, QChar('0'));
    }
    f.write("notes.jpg", "no picture");
    TestFolder::setTimes(f.file("notes.jpg"), utc(2019, 3, 4, 5, 6, 7), utc(2019, 3, 4, 5, 6, 7));
    browse(f.path());
    {
        const std::unique_ptr<QMenu> menu = w->OriginalListMenu();
        for (QAction* a : menu->actions().front()->menu()->actions())
            if (a->text().startsWith("Date &taken"))
                a->trigger();
    }
    EXPECT_EQ(w->lists().original.text(0), f.file("DSC_0040.JPG"));
    EXPECT_EQ(w->lists().original.text(40), f.file("notes.jpg")); // no date taken: last
    click("chkSelectAll");
    click("optSequencing");
    click("chkKeepName");
    get<QCheckBox>("chkSeqPrefix")->setChecked(true);
    type("txtSeqPrefix", "<taken:yyyy-MM-dd HH.mm>");
    click("cmdPreview");
    QAbstractItemModel* rows = get<QTreeView>("lstChanged")->model();
    ASSERT_EQ(rows->rowCount(), 41);
    EXPECT_EQ(rows->index(0, 0).data().toString(), f.file("2021-07-01 00.30.JPG"));
    EXPECT_TRUE(
        rows->index(40, 0).data(Qt::ToolTipRole).toString().endsWith("No date taken in this file"));
    type("txtSeqPrefix", "<taken|modified:yyyy-MM-dd HH.mm>");
    click("cmdPreview");
    EXPECT_EQ(rows->index(40, 0).data().toString(), f.file("2019-03-04 05.06.jpg"));
    // Numbered in the order taken.
    type("txtSeqPrefix", "Rome ");
    click("optNumeric");
    type("txtDigits", "3");
    get<QCheckBox>("chkChangeExtension")->setChecked(true);
    type("txtChangeExtension", "jpg");
    click("cmdPreview");
    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    expected << "Rome 041.jpg";
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files), expected);
    QFile first(f.file("Rome 001.jpg"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_TRUE(first.readAll().contains("2021:07:01 00:30:00"));
}

TEST_F(Window, AboutBoxAndHelp) {
    frmAbout about(w.get());
    about.show();
    EXPECT_EQ(about.windowTitle(), "About ZOV . . .");
    EXPECT_EQ(about.findChild<QLabel*>("lblDescription")->text(), "A File Renamer");
    // No system information program on PATH: the message, with no icon.
    const QByteArray path = qgetenv("PATH");
    TestFolder empty;
    qputenv("PATH", empty.path().toUtf8());
    QTest::mouseClick(about.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    qputenv("PATH", path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::None);
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);

    // F1 opens the built-in guide.
    w->mnuContent_Click();
    QWidget* help = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "frmHelp" && top->isVisible())
            help = top;
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->findChild<QTextBrowser*>("txtHelp")->toPlainText().contains("Preview"));
    help->close();
}

TEST(SysInfo, KeyValueData) {
    const KeyValueText dword = DecodeKeyValue(4, QByteArray("\x02\x01\x00\x00", 4));
    EXPECT_EQ(dword.text, "&h000102");
    EXPECT_EQ(DecodeKeyValue(4, QByteArray("\x78\x56\x34\x12", 4)).text, "&h12345678");
    EXPECT_EQ(DecodeKeyValue(1, QByteArray("C:\\Tools\\msinfo32.exe\0", 22)).text,
              "C:\\Tools\\msinfo32.exe");
    EXPECT_EQ(DecodeKeyValue(1, "abc").text, "abc");
    EXPECT_TRUE(DecodeKeyValue(1, {}).error);
    EXPECT_FALSE(DecodeKeyValue(3, "xyz").changed);
    EXPECT_FALSE(SystemInformationPrograms().isEmpty());
}

// Tab goes round the page in reading order, one stop for each set of options; arrow
// keys move within a set and never into the next one.
TEST_F(Window, KeyboardOrder) {
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    get<QWidget>("txtSourceFiles")->setFocus();
    QStringList chain;
    for (int i = 0; i < 36; ++i) {
        chain << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(chain.join(' '),
              "txtSourceFiles cmdBrowseSource optFilenameModifications chkPrefix txtPrefix "
              "chkSuffix txtSuffix chkChangeCase cboChangeCase chkReplaceString "
              "txtReplaceString txtWith optPrefixSequence chkSeqPrefix txtSeqPrefix "
              "chkSeqSuffix txtSeqSuffix optNumeric txtDigitStartWith txtDigits chkKeepName "
              "chkChangeExtension txtChangeExtension chkAppendExtension txtAppendExtension "
              "lstOriginal chkSelectAll cmdUp cmdDown cmdRefresh cmdPreview lstChanged cmdAbout "
              "cmdNext cmdStart cmdExit");
    // Enter and the keypad's Enter press the focused button, as Space does; in a text field
    // they press nothing.
    const std::pair<const char*, Qt::Key> enters[] = {
        {"cmdPreview", Qt::Key_Return}, {"cmdPreview", Qt::Key_Enter}, {"cmdStart", Qt::Key_Return},
        {"cmdStart", Qt::Key_Enter},    {"cmdNext", Qt::Key_Return},   {"cmdNext", Qt::Key_Enter},
        {"txtPrefix", Qt::Key_Return}};
    int clicks = 0;
    for (const char* b : {"cmdPreview", "cmdStart", "cmdNext"})
        QObject::connect(get<QPushButton>(b), &QPushButton::clicked, [&] { ++clicks; });
    for (const auto& [name, key] : enters) {
        get<QWidget>(name)->setFocus();
        const int before = clicks;
        QTest::keyClick(get<QWidget>(name), key,
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(clicks - before, name[0] == 'c' ? 1 : 0) << name << " " << key;
    }
    EXPECT_TRUE(get<QWidget>("fraSix")->isVisible());

    get<QWidget>("optFilenameModifications")->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "optSequencing");
    EXPECT_TRUE(get<QRadioButton>("optSequencing")->isChecked());
    EXPECT_TRUE(get<QRadioButton>("optPrefixSequence")->isChecked());
}
