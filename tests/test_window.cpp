#include "TestFolder.h"
#include "files/basTavlo.h"
#include "rename/Tags.h"
#include "ui/Dialogs.h"
#include "ui/PathDelegate.h"
#include "ui/SysInfo.h"
#include "ui/TagMenu.h"
#include "ui/frmAbout.h"
#include "ui/frmTavlo.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <gtest/gtest.h>

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
    void check(const char* name) { get<QCheckBox>(name)->setChecked(true); }
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
    // Lists the folder anew with every file checked, previews with a prefix and renames.
    void renameWithPrefix(const QString& prefix) {
        click("cmdRefresh");
        click("chkSelectAll");
        check("chkPrefix");
        type("txtPrefix", prefix);
        click("cmdPreview");
        click("cmdStart");
    }
    void sortBy(const char* key) {
        const std::unique_ptr<QMenu> menu = w->OriginalListMenu();
        for (QAction* a : menu->actions().front()->menu()->actions())
            if (a->text().startsWith(key))
                a->trigger();
    }
    // For a person to compare with the design: the window as a PNG file in
    // $ZOV_SCREENSHOT_DIR, where that is set.
    static void shot(QWidget* window, const QString& name) {
        const QString dir = qEnvironmentVariable("ZOV_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            EXPECT_TRUE(window->grab().save(dir + '/' + name + ".png"));
        }
    }
    QAbstractItemModel* rows() const { return get<QTreeView>("lstChanged")->model(); }
    QString tip(int row) const { return rows()->index(row, 0).data(Qt::ToolTipRole).toString(); }
    bool red(int row) const { return rows()->index(row, 0).data(Qt::ForegroundRole).isValid(); }

    std::unique_ptr<frmTavlo> w;
    std::vector<Message> messages;
};

} // namespace

// Positions, captions (their blanks are their own) and access keys, and how it starts.
TEST_F(Window, TheFormAsDesigned) {
    EXPECT_EQ(w->windowTitle(), "File Renamer");
    EXPECT_EQ(w->centralWidget()->size(), QSize(667, 550));
    const struct {
        const char* name;
        const char* text;
        QRect at;
        Qt::Key key;
    } controls[] = {
        {"txtSourceFiles", "", {144, 10, 471, 21}, Qt::Key(0)},
        {"cmdBrowseSource", nullptr, {624, 10, 27, 21}, Qt::Key(0)},
        {"chkChangeExtension", "Change extension to ", {}, Qt::Key(0)},
        {"chkKeepName", "&Keep old names", {48, 321, 150, 13}, Qt::Key_K},
        {"chkChangeCase", nullptr, {}, Qt::Key_C},
        {"optFilenameModifications", nullptr, {}, Qt::Key_M},
        {"lblOriginal", "Original file List : ", {}, Qt::Key(0)},
        {"lblOriginalFilesSelected", " 0 of 0 files selected", {117, 8, 176, 13}, Qt::Key(0)},
        {"lblPreviewFiles", " 0 files in preview", {}, Qt::Key(0)},
        {"cmdPreview", "Pre&view", {211, 223, 80, 22}, Qt::Key_V},
        {"cmdNext", "&Next", {275, 523, 83, 22}, Qt::Key_N},
        {"cmdUndo", "&Undo", {400, 523, 83, 22}, Qt::Key_U},
        {"cmdStart", "&Rename", {488, 523, 83, 22}, Qt::Key_R},
        {"cmdExit", nullptr, {}, Qt::Key_X},
        {"cmdAbout", nullptr, {}, Qt::Key_A},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        const QWidget* widget = get<QWidget>(c.name);
        if (!c.at.isNull()) {
            EXPECT_EQ(widget->geometry(), c.at);
        }
        const auto* button = qobject_cast<const QAbstractButton*>(widget);
        const auto* label = qobject_cast<const QLabel*>(widget);
        if (c.text && (button || label)) {
            EXPECT_EQ(button ? button->text() : label->text(), c.text);
        }
        if (c.key) {
            EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | c.key));
        }
    }
    // Every check and option indicator fits the control's own height.
    for (const QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        const bool box = qobject_cast<const QCheckBox*>(b);
        if (box || qobject_cast<const QRadioButton*>(b)) {
            EXPECT_LE(b->style()->pixelMetric(box ? QStyle::PM_IndicatorHeight
                                                  : QStyle::PM_ExclusiveIndicatorHeight),
                      b->height())
                << b->objectName().toStdString();
        }
    }
    EXPECT_TRUE(get<QWidget>("fraThree")->isVisible());
    EXPECT_FALSE(get<QWidget>("fraFour")->isVisible());
    EXPECT_FALSE(get<QPushButton>("cmdPrevious")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("cmdUndo")->isEnabled());
    EXPECT_FALSE(progressShown());
    EXPECT_EQ(w->focusWidget(), get<QWidget>("cmdBrowseSource"));
    type("txtPrefix", QString(201, 'x')); // text fields take 200 characters
    EXPECT_EQ(get<QLineEdit>("txtPrefix")->text().size(), 200);
    EXPECT_TRUE(get<QLineEdit>("txtSourceFiles")->isReadOnly());
    for (const char* c :
         {"cboChangeCase", "cboIncludeExclude", "cboCreation", "cboModified", "cboLastAccessed"})
        EXPECT_EQ(get<QComboBox>(c)->currentIndex(), -1) << c;    // nothing chosen
    EXPECT_TRUE(get<QTreeView>("lstChanged")->isColumnHidden(1)); // only the new path
    EXPECT_TRUE(get<QPushButton>("cmdPreview")->font().bold());
    EXPECT_EQ(get<QLineEdit>("txtPrefix")->contextMenuPolicy(), Qt::CustomContextMenu); // tags
    // The date pickers write dates as the locale does, the year in full.
    for (const auto& [locale, format] :
         {std::pair("en_US", "M/d/yyyy"), std::pair("de_DE", "dd.MM.yyyy")}) {
        QLocale::setDefault(QLocale(locale));
        const frmTavlo window;
        QLocale::setDefault(QLocale::c());
        for (const QDateEdit* d : window.findChildren<QDateEdit*>())
            EXPECT_EQ(d->displayFormat(), format) << locale;
    }
}

// The window opens at its smallest size; grown, what it gains goes to the lists and the name
// fields, nothing overlaps, and a file's name is never cut while its folder can give way.
TEST_F(Window, TheWindowGrowsAndNamesStayWhole) {
    TestFolder f;
    const QString deep = QString(120 - f.path().size() - 1, 'd');
    f.mkdir(deep);
    const QString folder = f.file(deep) + QDir::separator();
    QString name = "2024-06-02 18.58.04.JPG";
#ifdef Q_OS_WIN
    // Under Wine the offscreen platform finds no fonts and draws each character as a wide
    // box; the Windows platform, with real fonts, runs this test with the date name.
    if (QGuiApplication::platformName() == "offscreen")
        name = "IMG_0001.JPG";
#endif
    ASSERT_EQ(folder.size(), 120);
    QFile file(folder + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    browse(folder);
    click("chkSelectAll");
    check("chkPrefix");
    type("txtPrefix", "x");
    click("cmdPreview");
    auto shown = [this](const char* list, int column) {
        auto* view = get<QAbstractItemView>(list);
        const QModelIndex index = view->model()->index(0, column);
        QStyleOptionViewItem option;
        option.initFrom(view->viewport());
        option.rect = view->visualRect(index);
        option.widget = view;
        const QString text =
            static_cast<PathDelegate*>(view->itemDelegate())->shownText(option, index);
        EXPECT_LE(option.fontMetrics.horizontalAdvance(text), option.rect.width()) << list;
        return text;
    };
    struct Sizes {
        QSize client;
        const char* shotName;
    };
    const QStringList grows = {"lstOriginal",  "lstChanged",         "txtPrefix",     "txtWith",
                               "txtSeqPrefix", "txtChangeExtension", "txtSourceFiles"};
    std::map<QString, QRect> smallest;
    QStringList overlaps; // as the form has them
    for (const Sizes& size : {Sizes{{667, 550}, "frmTavlo-smallest"},
                              Sizes{{1280, 900 - w->menuBar()->height()}, "frmTavlo-large"}}) {
        SCOPED_TRACE(size.shotName);
        w->resize(size.client.width(), size.client.height() + w->menuBar()->height());
        QApplication::processEvents();
        ASSERT_EQ(w->centralWidget()->size(), size.client);
        shot(w.get(), size.shotName);
        const bool large = size.client.width() > 667;
        for (const QString& n : grows) {
            const QRect at = get<QWidget>(n.toLatin1())->geometry();
            if (!large)
                smallest[n] = at;
            else
                EXPECT_GT(at.width(), smallest[n].width()) << n.toStdString();
        }
        if (large) {
            EXPECT_GT(get<QWidget>("lstOriginal")->height(), smallest["lstOriginal"].height());
            EXPECT_GT(get<QWidget>("lstChanged")->height(), smallest["lstChanged"].height());
        }
        // No two shown controls of one container overlap that did not at the smallest size;
        // outlines and pages hold others.
        for (const char* container : {"centralwidget", "fraThree", "fraSeven"}) {
            std::vector<const QWidget*> shownControls;
            for (const QWidget* c :
                 get<QWidget>(container)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (c->isVisible() && !c->inherits("ShapeOutline") && !c->inherits("QGroupBox") &&
                    !c->inherits("QMenuBar") && !c->inherits("QFrame"))
                    shownControls.push_back(c);
            for (size_t i = 0; i < shownControls.size(); ++i)
                for (size_t j = i + 1; j < shownControls.size(); ++j) {
                    const QString pair =
                        shownControls[i]->objectName() + ' ' + shownControls[j]->objectName();
                    if (shownControls[i]->geometry().intersects(shownControls[j]->geometry())) {
                        if (large)
                            EXPECT_TRUE(overlaps.contains(pair)) << pair.toStdString();
                        else
                            overlaps << pair;
                    }
                }
        }
        // The whole name shows in both lists; the folder gives way from its start.
        const QString original = shown("lstOriginal", 0), renamed = shown("lstChanged", 0);
        EXPECT_TRUE(original.endsWith(QDir::separator() + name)) << original.toStdString();
        EXPECT_TRUE(renamed.endsWith(QString(QDir::separator()) + "x" + name))
            << renamed.toStdString();
        if (!large) {
            EXPECT_TRUE(shown("lstOriginal", 0).startsWith(QChar(0x2026)));
        }
        // Old beside new where there is room.
        EXPECT_EQ(get<QTreeView>("lstChanged")->isColumnHidden(1), !large);
        if (large) {
            EXPECT_TRUE(shown("lstChanged", 1).endsWith(name));
        }
    }
    // Where even the name is too long, its middle goes, never its end.
    const QFontMetrics metrics(w->font());
    const QString longName = QString(300, 'n') + ".jpg";
    EXPECT_TRUE(ElidedPath("/a/" + longName, metrics, 200).endsWith(".jpg"));
    EXPECT_EQ(ElidedPath("/a/b.jpg", metrics, 200), "/a/b.jpg");
}

// A preview made out of date by any kind of change says so, Rename on it asks first, and
// Cancel renames nothing; after a run each row shows what its file got.
TEST_F(Window, OutOfDatePreviewAsksFirst) {
    TestFolder f;
    for (const char* n : {"a.txt", "b.txt"})
        f.write(n, n);
    const QColor grey(150, 150, 150);
    const struct {
        const char* change;
        std::function<void()> make;
        const char* reason;
    } changes[] = {
        {"setting", [&] { type("txtPrefix", "y-"); }, "a setting changed"},
        {"filter", [&] { get<QComboBox>("cboIncludeExclude")->setCurrentIndex(1); },
         "a setting changed"},
        {"mark", [&] { w->lists().original.setChecked(1, false); }, "a check mark changed"},
        {"order", [&] { click("cmdDown"); }, "the list's order changed"},
        {"sort", [&] { sortBy("&Name"); }, "the list's order changed"}, // descending
        {"folder", [&] { browse(""); }, nullptr}, // a new listing empties the preview
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.change);
        browse(f.path());
        renameWithPrefix("x-"); // a run, then the same files previewed anew
        click("cmdRefresh");
        click("chkSelectAll");
        w->lists().original.setCurrentIndex(0);
        click("cmdPreview");
        ASSERT_EQ(rows()->rowCount(), 2);
        EXPECT_NE(rows()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), grey);
        EXPECT_TRUE(get<QLabel>("lblPreviewFiles")->toolTip().isEmpty());
        c.make();
        if (!c.reason) {
            EXPECT_EQ(rows()->rowCount(), 0);
            click("cmdStart");
            EXPECT_EQ(messages.back().text,
                      "Nothing to rename: press Preview to see the new names first.");
            continue;
        }
        EXPECT_EQ(rows()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), grey);
        EXPECT_TRUE(get<QLabel>("lblPreviewFiles")->toolTip().contains(c.reason));
        shot(w.get(), "frmTavlo-out-of-date");
        const Contents before = f.contents();
        messages.clear();
        click("cmdStart");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text,
                  "The settings changed since this preview. Rename as previewed?");
        EXPECT_EQ(messages[0].icon, Dialogs::Icon::Question);
        EXPECT_EQ(f.contents(), before); // Cancel
        EXPECT_FALSE(progressShown());
        // OK renames as previewed; each row shows what its file got.
        Dialogs::SetMessageSink(
            [this](const QString& t, Dialogs::Icon i, const QString& d) {
                messages.push_back({t, i, d, false});
            },
            true);
        click("cmdStart");
        EXPECT_NE(f.contents(), before);
        EXPECT_FALSE(rows()->index(0, 0).data(Qt::DecorationRole).isNull());
        EXPECT_NE(rows()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), grey);
        shot(w.get(), "frmTavlo-after-run");
        EXPECT_TRUE(tip(0).contains("Renamed."));
        Dialogs::SetMessageSink([this](const QString& t, Dialogs::Icon i, const QString& d) {
            messages.push_back({t, i, d, false});
        });
    }
}

// Insert tag holds every tag there is; every control a screen reader meets has a name.
TEST_F(Window, EveryTagAndEveryControlNamed) {
    QStringList inMenu;
    std::function<void(const QMenu*)> walk = [&](const QMenu* menu) {
        for (const QAction* a : menu->actions()) {
            if (a->menu())
                walk(a->menu());
            else if (a->text().startsWith('<'))
                inMenu << a->text().mid(1).section(QRegularExpression("[:>]"), 0, 0).split('|');
        }
    };
    walk(NameFieldMenu(get<QLineEdit>("txtPrefix")).get());
    inMenu.removeDuplicates();
    QStringList known = FieldText::KnownTags();
    inMenu.sort();
    known.sort();
    EXPECT_EQ(inMenu, known);

    for (const char* container : {"fraThree", "fraFour", "fraSix", "fraSeven", "centralwidget"}) {
        QWidget* page = get<QWidget>(container);
        QStringList names;
        for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (c->inherits("ShapeOutline") || c->inherits("LineShape") || c->inherits("QMenuBar"))
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
            ASSERT_NE(a, nullptr);
            const QString n = a->text(QAccessible::Name);
            EXPECT_FALSE(n.isEmpty()) << c->objectName().toStdString();
            if (!qobject_cast<QLabel*>(c))
                names << n;
        }
        const qsizetype all = names.size();
        names.removeDuplicates();
        EXPECT_EQ(names.size(), all) << container; // a name of its own
    }
}

TEST_F(Window, WizardPagesAndProgressResets) {
    type("txtPrefix", "kept");
    shot(w.get(), "frmTavlo-rename");
    click("cmdNext");
    shot(w.get(), "frmTavlo-advanced");
    EXPECT_TRUE(get<QWidget>("fraFour")->isVisible());
    EXPECT_TRUE(get<QPushButton>("cmdPrevious")->isEnabled());
    click("cmdNext");
    shot(w.get(), "frmTavlo-filter");
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

    // Rename without a preview says so, and the bar stays hidden.
    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Nothing to rename: press Preview to see the new names first.");
    EXPECT_FALSE(progressShown());
    // The bar shows after a run and stays at 100 until a resetting handler hides it.
    TestFolder f;
    f.write("a.txt", "a");
    browse(f.path());
    auto run = [this] {
        click("cmdRefresh");
        w->lists().original.setChecked(0, true);
        click("cmdPreview");
        click("cmdStart");
    };
    check("chkPrefix");
    run();
    EXPECT_TRUE(progressShown());
    EXPECT_DOUBLE_EQ(w->progressValue(), 100.0);
    click("cmdDown");
    EXPECT_TRUE(progressShown());
    for (const char* resetter : {"cmdNext", "cmdPrevious", "cmdRefresh", "cmdUp", "cmdPreview",
                                 "optNumeric", "chkSelectAll"}) {
        run();
        ASSERT_TRUE(progressShown());
        click(resetter);
        EXPECT_FALSE(progressShown()) << resetter;
        EXPECT_DOUBLE_EQ(w->progressValue(), 0.0) << resetter;
    }
}

TEST_F(Window, TheRoadOfOneRename) {
    TestFolder f;
    for (const char* n : {"c.jpg", "a.jpg", "b.jpg", "notes.txt"})
        f.write(n, n);
    browse(f.path().chopped(1));
    EXPECT_EQ(Dialogs::LastStartFolder(), QDir::homePath()); // nothing listed yet
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), f.path());
    EXPECT_EQ(label("lblOriginalFilesSelected"), "0 of 4 files selected");
    EXPECT_EQ(get<QListView>("lstInclude")->model()->rowCount(), 2);

    click("chkSelectAll");
    EXPECT_EQ(label("lblOriginalFilesSelected"), "4 of 4 files selected");
    // Unchecking notes.txt in the list, as the view does on a click in its box.
    QListView* list = get<QListView>("lstOriginal");
    list->model()->setData(list->model()->index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(label("lblOriginalFilesSelected"), "3 of 4 files selected");
    EXPECT_EQ(get<QCheckBox>("chkSelectAll")->checkState(), Qt::Checked);
    // c.jpg to the top; the highlight and the mark go with it.
    list->setCurrentIndex(list->model()->index(2, 0));
    for (const char* button : {"cmdUp", "cmdUp", "cmdDown", "cmdUp"})
        click(button);
    EXPECT_EQ(w->lists().original.text(0), f.file("c.jpg"));
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(label("lblOriginalFilesSelected"), "3 of 4 files selected");

    click("optSequencing");
    check("chkSeqPrefix");
    type("txtSeqPrefix", "IMG-");
    click("optNumeric");
    EXPECT_EQ(get<QLineEdit>("txtDigitStartWith")->text(), "1");
    EXPECT_EQ(get<QLineEdit>("txtDigits")->text(), "1");
    type("txtDigits", "3");
    click("cmdPreview");
    EXPECT_EQ(label("lblPreviewFiles"), "3 files in preview.");
    shot(w.get(), "frmTavlo-preview");
    EXPECT_EQ(rows()->index(0, 0).data().toString(), f.file("IMG-001c.jpg"));
    EXPECT_EQ(rows()->index(0, 1).data().toString(), f.file("c.jpg"));
    // Both lists show whole paths as tooltips; a preview row names the file it came from.
    EXPECT_EQ(tip(0), "From: " + f.file("c.jpg"));
    EXPECT_EQ(list->model()->index(0, 0).data(Qt::ToolTipRole), f.file("c.jpg"));

    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    EXPECT_DOUBLE_EQ(w->progressValue(), 100.0);
    EXPECT_EQ(f.contents(), (Contents{{"IMG-001c.jpg", "c.jpg"},
                                      {"IMG-002a.jpg", "a.jpg"},
                                      {"IMG-003b.jpg", "b.jpg"},
                                      {"notes.txt", "notes.txt"}}));
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
    EXPECT_EQ(label("lblOriginalFilesSelected"), "1 of 4 files selected");
    EXPECT_EQ(get<QListView>("lstExclude")->model()->rowCount(), 0);
    browse("/"); // a root folder keeps its one separator
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), QDir::toNativeSeparators("/"));

    // The command line lists one folder; a folder that can't be read says so.
    w->OpenFromArguments({f.path() + "."});
    EXPECT_EQ(get<QLineEdit>("txtSourceFiles")->text(), f.path());
    w->OpenFromArguments({f.file("notes.txt")});
    w->OpenFromArguments({f.path(), f.path()});
    browse(f.path() + "gone");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, "ZOV opens a folder, and " + f.file("notes.txt") + " is not one.");
    EXPECT_EQ(messages[1].text, "ZOV opens one folder at a time, and was given 2 names.");
    // The system's reason, in a sentence of its own (Windows' texts bring their full stop).
    const QString gone = "The folder " + f.path() + "gone" + QDir::separator() + " can't be read: ";
    EXPECT_TRUE(messages[2].text.startsWith(gone) && !messages[2].text.endsWith(".."))
        << messages[2].text.toStdString();
#ifndef Q_OS_WIN
    EXPECT_EQ(messages[2].text, gone + "No such file or directory.");
#endif
    EXPECT_EQ(label("lblOriginalFilesSelected"), "0 of 0 files selected");
    browse(""); // the chooser opens at home, not at a folder that is not there
    EXPECT_EQ(Dialogs::LastStartFolder(), QDir::homePath());
}

// Undo takes back the last run once, by the button or Ctrl+Z, and what others changed
// meanwhile is left and named; in a folder replaced since the preview nothing is done.
TEST_F(Window, UndoTakesBackTheLastRunOnly) {
    TestFolder f;
    for (const char* n : {"a.txt", "b.txt"})
        f.write(n, n);
    QPushButton* undo = get<QPushButton>("cmdUndo");
    browse(f.path());
    check("chkModifyAttributes");
    check("chkHidden");
    renameWithPrefix("x-");
    click("cmdStart"); // a second press changes nothing: Undo still takes the run back
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(TestFolder::bits(f.file("x-a.txt")), basTavlo::AttrHidden);
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
    EXPECT_FALSE(messages[0].busy); // the arrow is back for the message
    EXPECT_EQ(undo->toolTip(), "");
    EXPECT_EQ(f.contents(), (Contents{{"a.txt", "a.txt"}, {"b.txt", "b.txt"}}));
    EXPECT_EQ(TestFolder::bits(f.file("a.txt")), 0u);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(w->lists().original.text(0), f.file("a.txt")); // listed afresh, nothing checked
    EXPECT_EQ(get<QCheckBox>("chkSelectAll")->checkState(), Qt::Unchecked);
    EXPECT_EQ(label("lblPreviewFiles"), "0 files in preview.");

    // Two runs: Undo takes back the second alone, after a preview that left it behind.
    get<QCheckBox>("chkModifyAttributes")->setChecked(false);
    renameWithPrefix("x-");
    renameWithPrefix("y-");
    type("txtPrefix", "w-");
    click("cmdPreview");
    click("cmdUndo");
    EXPECT_EQ(f.contents(), (Contents{{"x-a.txt", "a.txt"}, {"x-b.txt", "b.txt"}}));
    EXPECT_FALSE(undo->isEnabled());
    // An old name taken meanwhile: that row stays, in red, and one message names it.
    messages.clear();
    renameWithPrefix("z-");
    f.write("x-a.txt", "newcomer");
    click("cmdUndo");
    ASSERT_EQ(messages.size(), 1u);
    const QString undone = "Undo of " + what + ":\n1 of 2 files could not be undone";
    EXPECT_TRUE(messages[0].text.startsWith(undone)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(f.file("z-x-a.txt") +
                                          ": Not renamed: another file has this name."));
    EXPECT_EQ(f.contents(),
              (Contents{{"x-a.txt", "newcomer"}, {"z-x-a.txt", "a.txt"}, {"x-b.txt", "b.txt"}}));
    ASSERT_EQ(rows()->rowCount(), 2);
    EXPECT_TRUE(red(0));
    EXPECT_FALSE(red(1));

    // The folder replaced by a copy of hard links after the preview: nothing is renamed.
    messages.clear();
    click("cmdRefresh");
    click("chkSelectAll");
    click("cmdPreview");
    const QString folder = f.path().chopped(1), old = folder + ".old";
    ASSERT_TRUE(QDir().rename(folder, old));
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& n : QDir(old).entryList(QDir::Files))
        ASSERT_TRUE(TestFolder::hardLink(old + '/' + n, folder + '/' + n));
    click("cmdStart");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Nothing was renamed: the folder " + f.path() +
                                            " is not the one that was previewed."))
        << messages[0].text.toStdString();
    EXPECT_EQ(QDir(old).entryList(QDir::Files), (QStringList{"x-a.txt", "x-b.txt", "z-x-a.txt"}));
    QDir(old).removeRecursively();
}

// 40 photos named out of the order they were taken become "Rome 001.jpg" ... in that order;
// a photo without a date taken is red and left alone, unless the modified time stands in.
TEST_F(Window, PhotosNumberedInTheOrderTaken) {
    TestFolder f;
    const QByteArray photo = TestData("taken.jpg");
    QStringList expected;
    for (int i = 1; i <= 40; ++i) { // taken i hours after midnight, named the other way round
        const QString taken = QString("2021:07:%1 %2:30:00")
                                  .arg(1 + (i - 1) / 24, 2, 10, QChar('0'))
                                  .arg((i - 1) % 24, 2, 10, QChar('0'));
        f.write(QString("DSC_%1.JPG").arg(41 - i, 4, 10, QChar('0')),
                QByteArray(photo).replace("2021:07:14 09:30:00", taken.toLatin1()));
        expected << QString("Rome %1.jpg").arg(i, 3, 10, QChar('0'));
    }
    f.write("notes.jpg", "no picture");
    TestFolder::setTimes(f.file("notes.jpg"), utc(2019, 3, 4, 5, 6, 7), utc(2019, 3, 4, 5, 6, 7));
    browse(f.path());
    sortBy("Date &taken");
    EXPECT_EQ(w->lists().original.text(0), f.file("DSC_0040.JPG"));
    EXPECT_EQ(w->lists().original.text(40), f.file("notes.jpg")); // no date taken: last
    click("chkSelectAll");
    click("optSequencing");
    click("chkKeepName");
    check("chkSeqPrefix");
    type("txtSeqPrefix", "<taken:yyyy-MM-dd HH.mm>");
    click("cmdPreview");
    ASSERT_EQ(rows()->rowCount(), 41);
    EXPECT_EQ(rows()->index(0, 0).data().toString(), f.file("2021-07-01 00.30.JPG"));
    EXPECT_TRUE(red(40));
    EXPECT_TRUE(tip(40).endsWith("No date taken in this file"));
    type("txtSeqPrefix", "<taken|modified:yyyy-MM-dd HH.mm>");
    click("cmdPreview");
    EXPECT_EQ(rows()->index(40, 0).data().toString(), f.file("2019-03-04 05.06.jpg"));
    type("txtSeqPrefix", "Rome "); // numbered in the order taken
    click("optNumeric");
    type("txtDigits", "3");
    check("chkChangeExtension");
    type("txtChangeExtension", "jpg");
    click("cmdPreview");
    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    expected << "Rome 041.jpg";
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files), expected);
    EXPECT_TRUE(f.contents().value("Rome 001.jpg").contains("2021:07:01 00:30:00"));
    // A preview that reads the photos, cancelled in its dialog: the list stays as it was.
    QString dialog;
    frmTavlo_testing::WhileReading([&](QProgressDialog& d) {
        dialog = d.labelText();
        d.cancel();
    });
    type("txtSeqPrefix", "<taken:yyyy> ");
    click("cmdPreview");
    frmTavlo_testing::WhileReading({});
    EXPECT_EQ(dialog, "Reading what the files hold...");
    EXPECT_EQ(rows()->index(0, 0).data().toString(), f.file("Rome 001.jpg"));
    EXPECT_EQ(label("lblPreviewFiles"), "41 files in preview.");
    EXPECT_EQ(rows()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(150, 150, 150));
}

// Bursts of one second named by the moment taken all get names, numbered only where they
// clash; photos, a movie and a HEIC numbered keep each its own extension, in lower case.
TEST_F(Window, BurstsAndKindsKeepTheirOwnNames) {
    TestFolder f;
    const QByteArray photo = TestData("taken.jpg");
    for (int i = 0; i < 60; ++i)
        f.write(QString("DSC_%1.JPG").arg(i, 4, 10, QChar('0')),
                QByteArray(photo).replace("2021:07:14 09:30:00",
                                          QString("2021:07:14 09:30:0%1").arg(i / 20).toLatin1()));
    browse(f.path());
    click("chkSelectAll");
    click("optSequencing");
    click("chkKeepName");
    check("chkSeqPrefix");
    type("txtSeqPrefix", "<taken:yyyy-MM-dd HH.mm.ss><dup:-#>");
    click("cmdPreview");
    ASSERT_EQ(rows()->rowCount(), 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_FALSE(red(i)) << i;
    click("cmdStart");
    EXPECT_TRUE(messages.empty());
    const QStringList names = QDir(f.path()).entryList(QDir::Files);
    EXPECT_EQ(names.size(), 60);
    EXPECT_TRUE(names.contains("2021-07-14 09.30.00.JPG"));
    EXPECT_TRUE(names.contains("2021-07-14 09.30.02-20.JPG"));

    TestFolder kinds;
    kinds.write("a.JPG", photo);
    kinds.write("b.MP4", "movie");
    kinds.write("c.HEIC", TestData("taken.heic"));
    browse(kinds.path());
    get<QCheckBox>("chkSelectAll")->setChecked(false);
    click("chkSelectAll");
    type("txtSeqPrefix", "Rome ");
    click("optNumeric");
    type("txtDigits", "3");
    check("chkChangeExtension");
    type("txtChangeExtension", "<ext:lower>");
    click("cmdPreview");
    click("cmdStart");
    EXPECT_EQ(QDir(kinds.path()).entryList(QDir::Files),
              (QStringList{"Rome 001.jpg", "Rome 002.mp4", "Rome 003.heic"}));
}

TEST_F(Window, AboutBoxAndHelp) {
    frmAbout about(w.get());
    about.show();
    shot(&about, "frmAbout");
    EXPECT_EQ(about.size(), QSize(382, 237));
    EXPECT_EQ(about.windowTitle(), "About ZOV . . .");
    EXPECT_EQ(about.findChild<QLabel*>("lblDescription")->text(), "A File Renamer");
#ifndef Q_OS_WIN // Windows finds the tool through its registry: the Windows layer's own test
    // No system information program on PATH: the message, with no icon.
    const QByteArray path = qgetenv("PATH");
    TestFolder empty;
    qputenv("PATH", empty.path().toUtf8());
    QTest::mouseClick(about.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    qputenv("PATH", path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::None);
#endif
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);
    about.show();
    QTest::mouseClick(about.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(about.result(), QDialog::Accepted);

    // F1 opens the built-in guide.
    w->mnuContent_Click();
    QWidget* help = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "frmHelp" && top->isVisible())
            help = top;
    ASSERT_NE(help, nullptr);
    const QString guide = help->findChild<QTextBrowser*>("txtHelp")->toPlainText();
    for (const QString& tag : FieldText::KnownTags()) // every tag is in the guide
        EXPECT_TRUE(guide.contains('<' + tag + '>') || guide.contains('<' + tag + ':'))
            << tag.toStdString();
    help->close();
}

// Tab goes round the page in reading order, one stop for each set of options; arrow
// keys move within a set and never into the next one; Enter presses the focused button.
TEST_F(Window, KeyboardOrder) {
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
