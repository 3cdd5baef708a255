#include "frmTavlo.h"
#include "ui_frmTavlo.h"

#include "AccessibleNames.h"
#include "Dialogs.h"
#include "HelpWindow.h"
#include "Look.h"
#include "PathDelegate.h"
#include "PlanWatch.h"
#include "PreviewDecoration.h"
#include "Readable.h"
#include "RunSummary.h"
#include "TagMenu.h"
#include "WindowLayout.h"
#include "frmAbout.h"

#include "files/basTavlo.h"
#include "rename/Compose.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolTip>

namespace {

std::function<void(QProgressDialog&)> whileReading;

int valueOf(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

basTavlo::DateTime picked(const QDateEdit* date, const QTimeEdit* time) {
    return basTavlo::DateTime::fromDateAndTime(date->date(), time->time());
}

// The wait cursor over the program while a handler runs without taking input; the arrow
// comes back when it ends, however it ends.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The locale's short date, with the year in full: file times reach back to 1601.
QString ShortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

frmTavlo::frmTavlo(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::frmTavlo>()) {
    m_ui->setupUi(this);
    applyLook();

    m_ui->lstOriginal->setModel(&m_lists.original);
    m_ui->lstInclude->setModel(&m_lists.include);
    m_ui->lstExclude->setModel(&m_lists.exclude);
    m_preview = new PreviewDecoration(this);
    m_preview->setSourceModel(&m_lists.changed);
    m_ui->lstChanged->setModel(m_preview);
    // At the smallest size the new name's column keeps its width, and the old path's is
    // held, not shown; made narrow first, as a hidden column's old width stays in the
    // scroll range. A wider window shows it beside the new name.
    m_ui->lstChanged->header()->setStretchLastSection(false);
    m_ui->lstChanged->header()->setMinimumSectionSize(0);
    m_ui->lstChanged->setColumnWidth(0, 248);
    m_ui->lstChanged->setColumnWidth(1, 0);
    m_ui->lstChanged->setColumnHidden(1, true);
    new WindowLayout(m_ui->centralwidget, QSize(667, 550));
    // Long paths give up their folder first, the file name last; the tooltip shows them whole.
    for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(m_ui->lstOriginal),
                                    static_cast<QAbstractItemView*>(m_ui->lstChanged)}) {
        list->setItemDelegate(new PathDelegate(list));
        list->setTextElideMode(Qt::ElideMiddle);
    }
    m_plan = new PlanWatch(m_lists.changed, *m_preview, *m_ui->lblPreviewFiles, this);
    for (const QWidget* page : {m_ui->fraThree, m_ui->fraSix})
        m_plan->watchSettings(page);
    m_plan->watchOriginalList(m_lists.original);
    m_ui->txtReplaceString->setPlaceholderText(tr("/…/ pattern"));
    NameControls(this);

    // Each set of options is a group of its own, so that a click on the selected option
    // leaves it selected; by parent widget alone Qt would mix the page's two sets.
    for (const auto& set :
         {std::initializer_list<QAbstractButton*>{m_ui->optFilenameModifications,
                                                  m_ui->optSequencing},
          std::initializer_list<QAbstractButton*>{m_ui->optPrefixSequence, m_ui->optSuffixSequence},
          std::initializer_list<QAbstractButton*>{m_ui->optNumeric}}) {
        auto* group = new QButtonGroup(this);
        for (QAbstractButton* b : set)
            group->addButton(b);
    }

    // Enter presses the focused button, as Space does.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(true);
    for (QDateEdit* d : findChildren<QDateEdit*>())
        d->setDisplayFormat(ShortDateFormat(locale()));
    for (QLineEdit* field :
         {m_ui->txtPrefix, m_ui->txtSuffix, m_ui->txtWith, m_ui->txtSeqPrefix, m_ui->txtSeqSuffix,
          m_ui->txtChangeExtension, m_ui->txtAppendExtension}) {
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QWidget::customContextMenuRequested, this,
                [field](QPoint at) { NameFieldMenu(field)->exec(field->mapToGlobal(at)); });
    }
    m_ui->lstOriginal->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->lstOriginal, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        OriginalListMenu()->exec(m_ui->lstOriginal->viewport()->mapToGlobal(at));
    });
    // Tooltips of long paths wrap at a readable width instead of spanning the screen.
    m_ui->lstOriginal->viewport()->installEventFilter(this);
    m_ui->lstChanged->viewport()->installEventFilter(this);

    connectControls();
    Form_Load();
}

bool frmTavlo::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QMainWindow::eventFilter(watched, event);
    QAbstractItemView* view = watched == m_ui->lstOriginal->viewport()
                                  ? static_cast<QAbstractItemView*>(m_ui->lstOriginal)
                                  : m_ui->lstChanged;
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = view->indexAt(help->pos()).data(Qt::ToolTipRole).toString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), Readable::Wrapped(text), view);
    return true;
}

frmTavlo::~frmTavlo() = default;

void frmTavlo::applyLook() {
    ApplyProgramLook(this);
    m_ui->cmdPreview->setFont(Verdana(8.25, true));
    m_ui->cmdStart->setFont(Verdana(9, true));
    // Check boxes and option buttons are opaque in the window's colour, so that a group
    // heading covers the outline behind it.
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
            b->setBackgroundRole(QPalette::Window);
    m_ui->cmdBrowseSource->setIcon(QIcon(QStringLiteral(":/icons/folder.png")));
    m_ui->cmdUp->setIcon(QIcon(QStringLiteral(":/icons/up.png")));
    m_ui->cmdDown->setIcon(QIcon(QStringLiteral(":/icons/down.png")));
    m_ui->lnePreview->setColor(palette().color(QPalette::WindowText));

    // The client area opens at its smallest size; the menu bar sits above it.
    m_ui->centralwidget->setMinimumSize(667, 550);
    resize(667, 550 + m_ui->menubar->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_ui->cmdBrowseSource->setFocus();
}

void frmTavlo::connectControls() {
    auto* ui = m_ui.get();
    connect(ui->cmdNext, &QPushButton::clicked, this, &frmTavlo::cmdNext_Click);
    connect(ui->cmdPrevious, &QPushButton::clicked, this, &frmTavlo::cmdPrevious_Click);
    connect(ui->cmdBrowseSource, &QPushButton::clicked, this, &frmTavlo::cmdBrowseSource_Click);
    connect(ui->cmdRefresh, &QPushButton::clicked, this, &frmTavlo::cmdRefresh_Click);
    connect(ui->chkSelectAll, &QCheckBox::stateChanged, this, &frmTavlo::chkSelectAll_Click);
    connect(ui->lstOriginal, &QListView::clicked, this, &frmTavlo::lstOriginal_Click);
    connect(&m_lists.original, &CheckListModel::markChanged, this, &frmTavlo::lstOriginal_Click);
    connect(ui->cmdUp, &QPushButton::clicked, this, &frmTavlo::cmdUp_Click);
    connect(ui->cmdDown, &QPushButton::clicked, this, &frmTavlo::cmdDown_Click);
    connect(ui->cmdPreview, &QPushButton::clicked, this, &frmTavlo::cmdPreview_Click);
    connect(ui->optNumeric, &QRadioButton::clicked, this, &frmTavlo::optNumeric_Click);
    connect(ui->cmdStart, &QPushButton::clicked, this, &frmTavlo::cmdStart_Click);
    connect(ui->cmdUndo, &QPushButton::clicked, this, &frmTavlo::cmdUndo_Click);
    // Ctrl+Z in a text field undoes the typing there; elsewhere it presses Undo.
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, ui->cmdUndo, [ui] {
        if (ui->cmdUndo->isEnabled())
            ui->cmdUndo->click();
    });
    connect(ui->cmdAbout, &QPushButton::clicked, this, &frmTavlo::cmdAbout_Click);
    connect(ui->mnuAbout, &QAction::triggered, this, &frmTavlo::mnuAbout_Click);
    connect(ui->mnuContent, &QAction::triggered, this, &frmTavlo::mnuContent_Click);
    connect(ui->mnuFAQ, &QAction::triggered, this, &frmTavlo::mnuFAQ_Click);
    connect(ui->cmdExit, &QPushButton::clicked, this, &frmTavlo::cmdExit_Click);

    // The highlighted item of the list and the model's current item are one.
    connect(
        ui->lstOriginal->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { m_lists.original.setCurrentIndex(current.row()); });
    connect(&m_lists.original, &CheckListModel::currentChanged, this, [this](int row) {
        QListView* view = m_ui->lstOriginal;
        const QModelIndex index = m_lists.original.index(row);
        if (view->currentIndex() != index)
            view->setCurrentIndex(index);
    });
}

void frmTavlo::resetProgress() {
    m_paintedPercent = -1;
    setProgress(0);
    m_ui->pbrTavlo->hide();
}

void frmTavlo::setProgress(double value) {
    m_progress = value;
    // The run does not return to the event loop, so the bar is set when it has visibly
    // moved rather than for each of many thousand rows, and painted at most 25 times a
    // second: each paint costs as much as a few hundred renames.
    const int percent = int(value);
    if (percent == m_paintedPercent)
        return;
    m_paintedPercent = percent;
    m_ui->pbrTavlo->setValue(qRound(value * 100));
    if (m_ui->pbrTavlo->isVisible() &&
        (!m_painted.isValid() || m_painted.elapsed() >= 40 || percent >= 100)) {
        m_ui->pbrTavlo->repaint();
        m_painted.start();
    }
}

void frmTavlo::showListTexts() {
    m_ui->lblOriginalFilesSelected->setText(m_lists.originalCountText);
    m_ui->lblPreviewFiles->setText(m_lists.previewCountText);
}

void frmTavlo::Form_Load() {
    resetProgress();
    showPage(m_ui->fraThree);
    m_ui->cmdPrevious->setEnabled(false);
    m_ui->cmdNext->show();
    QDateEdit* dates[] = {m_ui->dtpFileCreationDate,       m_ui->dtpFileLastAccessedDate,
                          m_ui->dtpFileModifiedDate,       m_ui->dtpFilterCreationDate,
                          m_ui->dtpFilterLastAccessedDate, m_ui->dtpFilterModifiedDate};
    QTimeEdit* times[] = {m_ui->dtpFileCreationTime,       m_ui->dtpFileLastAccessedTime,
                          m_ui->dtpFileModifiedTime,       m_ui->dtpFilterCreationTime,
                          m_ui->dtpFilterLastAccessedTime, m_ui->dtpFilterModifiedTime};
    for (int i = 0; i < 6; ++i) {
        // A file time counts from 1601-01-01 UTC; the day after is safe in every zone.
        if (i < 3)
            dates[i]->setMinimumDate(QDate(1601, 1, 2));
        dates[i]->setDate(QDate::currentDate());
        times[i]->setTime(QTime::currentTime());
    }
}

void frmTavlo::showPage(QWidget* page) {
    for (QWidget* p : {m_ui->fraThree, m_ui->fraFour, m_ui->fraSix})
        p->setVisible(p == page);
}

void frmTavlo::cmdNext_Click() {
    resetProgress();
    if (m_ui->fraThree->isVisibleTo(this)) {
        showPage(m_ui->fraFour);
        m_ui->cmdPrevious->setEnabled(true);
    } else if (m_ui->fraFour->isVisibleTo(this)) {
        showPage(m_ui->fraSix);
        m_ui->cmdNext->setEnabled(false);
    }
}

void frmTavlo::cmdPrevious_Click() {
    resetProgress();
    if (m_ui->fraFour->isVisibleTo(this)) {
        showPage(m_ui->fraThree);
        m_ui->cmdPrevious->setEnabled(false);
    } else if (m_ui->fraSix->isVisibleTo(this)) {
        showPage(m_ui->fraFour);
        m_ui->cmdNext->setEnabled(true);
    }
}

void frmTavlo::cmdBrowseSource_Click() {
    resetProgress();
    // Open where the listed folder is, else at home rather than where the program started.
    const QString listed = m_ui->txtSourceFiles->text();
    const QString start =
        !listed.trimmed().isEmpty() && QFileInfo(listed).isDir() ? listed : QDir::homePath();
    m_lastBrowsedPath =
        Dialogs::BrowseForFolder(this, QStringLiteral("Browse for source folder."), start);
    if (!m_lastBrowsedPath.trimmed().isEmpty())
        m_ui->txtSourceFiles->setText(
            basTavlo::WithTrailingSeparator(QDir::toNativeSeparators(m_lastBrowsedPath)));
    else
        m_ui->txtSourceFiles->clear();
    DisplayFiles(m_ui->txtSourceFiles->text());
}

void frmTavlo::OpenFromArguments(const QStringList& arguments) {
    if (arguments.isEmpty())
        return;
    const QFileInfo folder(arguments.front());
    if (arguments.size() == 1 && folder.isDir()) {
        m_ui->txtSourceFiles->setText(basTavlo::WithTrailingSeparator(
            QDir::toNativeSeparators(QDir::cleanPath(folder.absoluteFilePath()))));
        DisplayFiles(m_ui->txtSourceFiles->text());
        return;
    }
    Dialogs::Message(
        this,
        arguments.size() == 1
            ? tr("ZOV opens a folder, and %1 is not one.")
                  .arg(QDir::toNativeSeparators(arguments.front()))
            : tr("ZOV opens one folder at a time, and was given %1 names.").arg(arguments.size()),
        Dialogs::Icon::Warning);
}

void frmTavlo::cmdRefresh_Click() {
    resetProgress();
    m_ui->chkSelectAll->setCheckState(Qt::Unchecked);
    DisplayFiles(m_ui->txtSourceFiles->text());
}

std::unique_ptr<QMenu> frmTavlo::OriginalListMenu() {
    auto menu = std::make_unique<QMenu>(this);
    QMenu* sort = menu->addMenu(tr("&Sort by"));
    const std::pair<SortKey, QString> keys[] = {
        {SortKey::Name, tr("&Name")},
        {SortKey::Extension, tr("&Extension")},
        {SortKey::Size, tr("Si&ze")},
        {SortKey::Modified, tr("&Modified")},
        {SortKey::Created, tr("&Created")},
        {SortKey::Taken, tr("Date &taken")},
        {SortKey::AlbumDiscTrack, tr("&Album, disc, track")},
    };
    for (const auto& [key, caption] : keys) {
        const bool inForce = key == m_sortKey;
        QAction* a =
            sort->addAction(inForce ? caption + QLatin1Char('\t') +
                                          (m_sortDescending ? tr("descending") : tr("ascending"))
                                    : caption);
        a->setCheckable(true);
        a->setChecked(inForce);
        connect(a, &QAction::triggered, this, [this, k = key] { SortOriginalBy(k); });
    }
    return menu;
}

void frmTavlo::SortOriginalBy(SortKey key) {
    const bool descending = key == m_sortKey && !m_sortDescending;
    const BusyCursor busy;
    std::unique_ptr<QProgressDialog> reading; // a cancelled sort leaves the list as it was
    if (SortOriginalList(m_lists.original, key, descending, readingProgress(reading))) {
        m_sortDescending = descending;
        m_sortKey = key;
    }
}

void frmTavlo::DisplayFiles(const QString& strPath) {
    m_sortKey = SortKey::Name; // a new listing is in the list's own order
    m_sortDescending = false;
    {
        const BusyCursor busy;
        ::DisplayFiles(m_lists, strPath);
    }
    showListTexts();
    if (!m_lists.listingError.isEmpty())
        Dialogs::Message(this,
                         tr("The folder %1 can't be read: %2.")
                             .arg(QDir::toNativeSeparators(strPath), m_lists.listingError),
                         Dialogs::Icon::Warning);
}

void frmTavlo::chkSelectAll_Click() {
    resetProgress();
    QCoreApplication::processEvents(); // once, before the marks are set
    // The loop does not yield, so nobody sees the counts between its first and last mark:
    // the label is written once, with the last, rather than 100,000 times.
    const int before = m_lists.original.checkedCount();
    m_settingAllMarks = true;
    SetAllMarks(m_lists.original, valueOf(m_ui->chkSelectAll));
    m_settingAllMarks = false;
    if (m_lists.original.checkedCount() != before)
        lstOriginal_Click();
    m_ui->lstOriginal->viewport()->update();
}

void frmTavlo::lstOriginal_Click() {
    if (m_settingAllMarks)
        return;
    m_lists.originalCountText =
        SelectionCountText(m_lists.original.checkedCount(), m_lists.original.count());
    m_ui->lblOriginalFilesSelected->setText(m_lists.originalCountText);
}

void frmTavlo::cmdUp_Click() {
    resetProgress();
    MoveCurrentUp(m_lists.original);
}

void frmTavlo::cmdDown_Click() {
    MoveCurrentDown(m_lists.original);
}

RenameSettings frmTavlo::ReadRenameSettings() const {
    const auto* ui = m_ui.get();
    RenameSettings s;
    s.optFilenameModifications = ui->optFilenameModifications->isChecked();
    s.chkPrefix = valueOf(ui->chkPrefix);
    s.txtPrefix = ui->txtPrefix->text();
    s.chkSuffix = valueOf(ui->chkSuffix);
    s.txtSuffix = ui->txtSuffix->text();
    s.chkChangeCase = valueOf(ui->chkChangeCase);
    s.cboChangeCase = ui->cboChangeCase->currentIndex();
    s.chkReplaceString = valueOf(ui->chkReplaceString);
    s.txtReplaceString = ui->txtReplaceString->text();
    s.txtWith = ui->txtWith->text();
    s.optSequencing = ui->optSequencing->isChecked();
    s.chkSeqPrefix = valueOf(ui->chkSeqPrefix);
    s.txtSeqPrefix = ui->txtSeqPrefix->text();
    s.chkSeqSuffix = valueOf(ui->chkSeqSuffix);
    s.txtSeqSuffix = ui->txtSeqSuffix->text();
    s.optNumeric = ui->optNumeric->isChecked();
    s.txtDigitStartWith = ui->txtDigitStartWith->text();
    s.txtDigits = ui->txtDigits->text();
    s.chkKeepName = valueOf(ui->chkKeepName);
    s.optPrefixSequence = ui->optPrefixSequence->isChecked();
    s.optSuffixSequence = ui->optSuffixSequence->isChecked();
    s.chkChangeExtension = valueOf(ui->chkChangeExtension);
    s.txtChangeExtension = ui->txtChangeExtension->text();
    s.chkAppendExtension = valueOf(ui->chkAppendExtension);
    s.txtAppendExtension = ui->txtAppendExtension->text();
    return s;
}

FilterSettings frmTavlo::ReadFilterSettings() const {
    const auto* ui = m_ui.get();
    FilterSettings f;
    f.chkFilterOnAttributes = valueOf(ui->chkFilterOnAttributes);
    f.cboIncludeExclude = ui->cboIncludeExclude->currentIndex();
    f.chkFilterReadOnly = valueOf(ui->chkFilterReadOnly);
    f.chkFilterArchive = valueOf(ui->chkFilterArchive);
    f.chkFilterSystem = valueOf(ui->chkFilterSystem);
    f.chkFilterHidden = valueOf(ui->chkFilterHidden);
    f.chkFilterOnTimes = valueOf(ui->chkFilterOnTimes);
    f.creation = {valueOf(ui->chkFilterCreationDateTime), ui->cboCreation->currentIndex(),
                  picked(ui->dtpFilterCreationDate, ui->dtpFilterCreationTime)};
    f.modified = {valueOf(ui->chkFilterModifiedDateTime), ui->cboModified->currentIndex(),
                  picked(ui->dtpFilterModifiedDate, ui->dtpFilterModifiedTime)};
    f.lastAccessed = {valueOf(ui->chkFilterLastAccessed), ui->cboLastAccessed->currentIndex(),
                      picked(ui->dtpFilterLastAccessedDate, ui->dtpFilterLastAccessedTime)};
    f.chkFilterOnExtension = valueOf(ui->chkFilterOnExtension);
    f.chkInclude = valueOf(ui->chkInclude);
    f.chkExclude = valueOf(ui->chkExclude);
    return f;
}

AdvancedSettings frmTavlo::ReadAdvancedSettings() const {
    const auto* ui = m_ui.get();
    AdvancedSettings a;
    a.chkModifyAttributes = valueOf(ui->chkModifyAttributes);
    a.chkReadOnly = valueOf(ui->chkReadOnly);
    a.chkHidden = valueOf(ui->chkHidden);
    a.chkArchive = valueOf(ui->chkArchive);
    a.chkSystem = valueOf(ui->chkSystem);
    a.chkModifyDateTime = valueOf(ui->chkModifyDateTime);
    a.chkFileCreation = valueOf(ui->chkFileCreation);
    a.chkFileModified = valueOf(ui->chkFileModified);
    a.chkFileLastAccessed = valueOf(ui->chkFileLastAccessed);
    a.creation = picked(ui->dtpFileCreationDate, ui->dtpFileCreationTime);
    a.modified = picked(ui->dtpFileModifiedDate, ui->dtpFileModifiedTime);
    a.lastAccessed = picked(ui->dtpFileLastAccessedDate, ui->dtpFileLastAccessedTime);
    return a;
}

void frmTavlo_testing::WhileReading(std::function<void(QProgressDialog&)> f) {
    whileReading = std::move(f);
}

// Reading what photos and songs hold may take long: a dialog shows how far it has come once
// it takes a moment, made the first time progress is reported into reading, and its Cancel
// stops the reading.
ReadingProgress frmTavlo::readingProgress(std::unique_ptr<QProgressDialog>& reading) {
    return [this, &reading](qint64 done, qint64 total) {
        if (!reading) {
            reading = std::make_unique<QProgressDialog>(tr("Reading what the files hold..."),
                                                        tr("Cancel"), 0, int(total), this);
            reading->setWindowTitle(QStringLiteral("ZOV"));
            reading->setWindowModality(Qt::WindowModal);
            reading->setMinimumDuration(500);
        }
        reading->setValue(int(done));
        if (whileReading)
            whileReading(*reading);
        return !reading->wasCanceled();
    };
}

void frmTavlo::cmdPreview_Click() {
    resetProgress();
    const BusyCursor busy;
    // A cancelled reading leaves the preview list as it was.
    std::unique_ptr<QProgressDialog> reading;
    PreviewFiles(m_lists, ReadRenameSettings(), ReadFilterSettings(), readingProgress(reading));
    showListTexts();
}

void frmTavlo::optNumeric_Click() {
    resetProgress();
    const NumericDefaults d = NumericSequenceDefaults(
        m_ui->txtDigitStartWith->text(), m_ui->txtDigits->text(), m_lists.original.count());
    m_ui->txtDigitStartWith->setText(d.txtDigitStartWith);
    m_ui->txtDigits->setText(d.txtDigits);
}

RunCallbacks frmTavlo::runCallbacks() {
    m_paintedPercent = -1;
    setProgress(0);
    m_ui->pbrTavlo->show();
    RunCallbacks callbacks;
    callbacks.progress = [this](double v) { setProgress(v); };
    callbacks.message = [this](const QString& text) {
        Dialogs::Message(this, text, Dialogs::Icon::Warning);
    };
    return callbacks;
}

void frmTavlo::cmdStart_Click() {
    if (m_lists.changed.count() == 0) {
        Dialogs::Message(this, tr("Nothing to rename: press Preview to see the new names first."),
                         Dialogs::Icon::Information);
        return;
    }
    if (m_plan->outOfDate() &&
        !Dialogs::Ask(this, tr("The settings changed since this preview. Rename as previewed?")))
        return;
    const RunCallbacks callbacks = runCallbacks();
    const AdvancedSettings advanced = ReadAdvancedSettings();
    // A run that changes something replaces what could be undone; one that changes nothing,
    // such as a second press, leaves the run before it to be undone.
    auto journal = std::make_unique<RunJournal>();
    int failed = 0;
    {
        const BusyCursor busy;
        failed = m_lists.changed.runOnRows([&](const SharedRows& rows) {
            return RenameRows(rows, m_lists.changed.folder(), advanced, callbacks, journal.get());
        });
    }
    m_plan->ran();
    if (!journal->empty())
        m_journal = std::move(journal);
    showUndo();
    RunSummary summary = FailureSummary(m_lists.changed.rows(), failed);
    if (m_lists.changed.problem()) // a tag or pattern that can't be read: one reason for all
        summary = {PreviewDecoration::ProblemText(*m_lists.changed.problem()), {}};
    if (!summary.text.isEmpty())
        Dialogs::Message(this, summary.text, Dialogs::Icon::Warning, summary.details);
}

void frmTavlo::showUndo() {
    const bool can = m_journal && !m_journal->empty();
    m_ui->cmdUndo->setEnabled(can);
    // Undo takes back the run wherever it was, even after browsing elsewhere: say which.
    m_ui->cmdUndo->setToolTip(can ? tr("Takes back %1.").arg(RunDescription(*m_journal))
                                  : QString());
}

void frmTavlo::cmdUndo_Click() {
    if (!m_journal || m_journal->empty())
        return;
    const RunCallbacks callbacks = runCallbacks();
    std::unique_ptr<RunJournal> journal = std::move(m_journal); // once only
    showUndo();
    const QString what = RunDescription(*journal);
    // The lists are read afresh after the undo: their rows need not stay beside its own.
    m_lists.changed.clear();
    RunReport report;
    {
        const BusyCursor busy;
        report = UndoRun(std::move(*journal), callbacks);
    }
    journal.reset();
    RunSummary summary = FailureSummary(report.rows, report.failed, true);
    if (summary.text.isEmpty())
        summary.text = tr("Undo took back %1.").arg(what);
    else if (report.rows.empty() || report.rows.front().outcome != RowOutcome::FolderReplaced)
        summary.text = tr("Undo of %1:").arg(what) + QLatin1Char('\n') + summary.text;
    if (report.failed == 0)
        report.rows = std::vector<PreviewRow>(); // "= {}" would keep the room
    // The files are back under their old names: list them afresh, as Refresh does. Where
    // some could not be undone, the preview list shows the undo's rows, to say which and why.
    m_ui->chkSelectAll->setCheckState(Qt::Unchecked);
    DisplayFiles(m_ui->txtSourceFiles->text());
    if (report.failed > 0) {
        m_lists.changed.setRows(std::move(report.rows));
        showListTexts();
    }
    Dialogs::Message(this, summary.text,
                     report.failed ? Dialogs::Icon::Warning : Dialogs::Icon::Information,
                     summary.details);
}

void frmTavlo::cmdAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmTavlo::mnuAbout_Click() {
    cmdAbout_Click();
}

void frmTavlo::mnuContent_Click() {
    HelpWindow::Show(this, HelpWindow::Page::Contents);
}

void frmTavlo::mnuFAQ_Click() {
    HelpWindow::Show(this, HelpWindow::Page::Faq);
}

void frmTavlo::cmdExit_Click() {
    QApplication::exit(0);
}
