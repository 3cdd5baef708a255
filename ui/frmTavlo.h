#pragma once

#include "listing/FileLists.h"
#include "rename/RenameRun.h"
#include "rename/Settings.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>

namespace Ui {
class frmTavlo;
}
class PlanWatch;
class PreviewDecoration;
class QLineEdit;
class QMenu;
class QProgressDialog;

namespace frmTavlo_testing {
// Called with the reading dialog each time it shows how far the preview has come.
void WhileReading(std::function<void(QProgressDialog&)> f);
} // namespace frmTavlo_testing

// The main window. Its handlers carry the names of the controls and events they serve;
// each reads the controls it needs into plain settings and hands the work to the core.
class frmTavlo : public QMainWindow {
    Q_OBJECT
public:
    explicit frmTavlo(QWidget* parent = nullptr);
    ~frmTavlo() override;

    FileLists& lists() { return m_lists; }
    double progressValue() const { return m_progress; }

    RenameSettings ReadRenameSettings() const;
    FilterSettings ReadFilterSettings() const;
    AdvancedSettings ReadAdvancedSettings() const;

    // The command line after the program's name: one folder is listed as if chosen;
    // anything else is said to be wrong and the window stays empty.
    void OpenFromArguments(const QStringList& arguments);

    // The original list's context menu, as the right button and the menu key open it.
    std::unique_ptr<QMenu> OriginalListMenu();
    // Sorts the original list by key; the key in force again sorts the other way.
    void SortOriginalBy(SortKey key);

public slots:
    void Form_Load();
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdBrowseSource_Click();
    void cmdRefresh_Click();
    void chkSelectAll_Click();
    void lstOriginal_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdPreview_Click();
    void optNumeric_Click();
    void cmdStart_Click();
    void cmdUndo_Click();
    void cmdAbout_Click();
    void mnuAbout_Click();
    void mnuContent_Click();
    void mnuFAQ_Click();
    void cmdExit_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DisplayFiles(const QString& strPath);
    void showUndo();
    void showListTexts();
    // One settings page at a time.
    void showPage(QWidget* page);
    void resetProgress();
    RunCallbacks runCallbacks();
    // The progress of a reading of what files hold, shown in a dialog made into reading.
    ReadingProgress readingProgress(std::unique_ptr<QProgressDialog>& reading);
    void setProgress(double value);
    void connectControls();
    void applyLook();

    std::unique_ptr<Ui::frmTavlo> m_ui;
    FileLists m_lists;
    PreviewDecoration* m_preview = nullptr;
    PlanWatch* m_plan = nullptr; // whether the preview still shows the plan
    QString m_lastBrowsedPath;
    double m_progress = 0;
    int m_paintedPercent = -1;
    bool m_settingAllMarks = false;        // Select All's loop: the count label waits for its end
    QElapsedTimer m_painted;               // since the bar was last painted
    std::unique_ptr<RunJournal> m_journal; // the last run, until it is undone
    SortKey m_sortKey = SortKey::Name;     // the original list's order, until a new listing
    bool m_sortDescending = false;
};
