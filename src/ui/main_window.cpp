// Building the main window from its parts and menus, start-up (the files, the first
// activation's mode) and shut-down (the files saved once), Preferences and the Help menu.
#include "main_window.h"

#include "about_dialog.h"
#include "criteria_panel.h"
#include "preferences_dialog.h"
#include "qt_text.h"
#include "references_dialog.h"
#include "results_pane.h"
#include "script_editor.h"
#include "status_area.h"
#include "widget_style.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace kestrava::ui {

namespace {

void addShortcut(QWidget* window, const QList<QKeySequence>& keys,
                 const std::function<void()>& handler) {
    auto* shortcut = new QShortcut(window);
    shortcut->setKeys(keys);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, handler);
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<UiServices> services, QWidget* parent)
    : QMainWindow(parent), m_services(services ? std::move(services) : makeQtUiServices()) {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Kestrava v") + QString::fromLatin1(kKestravaVersion));
    buildParts();
    buildMenus();
    connectParts();
    buildShortcuts();
    orderTabStops();
    acceptDropsOnBoxes();
    setGridContent(GridContent::Empty);
    loadFiles();
    m_resultsPane->grid().setBackground(QColor::fromRgb(settings().gridColor));
    m_criteria->setRowsShown(false, true);
    applyFontSize(settings().fontSize);
}

MainWindow::~MainWindow() {
    m_run->stopAndWait();
}

void MainWindow::buildParts() {
    auto* central = named(new QWidget(this), "paClient");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
    m_modeLine = new ModeLine(central);
    m_criteria = new CriteriaPanel(*m_services, central);
    m_summaryLine = new SummaryLine(central);
    const auto header = [this] { return exportHeader(); };
    m_resultsPane = new ResultsPane(*m_services, settings(), header, central);
    m_scriptEditor =
        new ScriptEditor(*m_services, settings(), *m_criteria, m_resultsPane->grid(), central);
    for (QWidget* part :
         std::initializer_list<QWidget*>{m_modeLine, m_criteria, m_summaryLine, m_scriptEditor})
        layout->addWidget(part);
    layout->addWidget(m_resultsPane, 1);
    m_statusBar = new RunStatusBar(this);
    m_run = new BackgroundRun(this);
    setStatusBar(m_statusBar);
}

void MainWindow::connectParts() {
    connect(m_criteria, &CriteriaPanel::edited, this, &MainWindow::criteriaEdited);
    connect(m_criteria, &CriteriaPanel::typed, this, &MainWindow::criteriaChanged);
    connect(m_criteria, &CriteriaPanel::committed, this, &MainWindow::criteriaChanged);
    connect(m_criteria, &CriteriaPanel::entered, this, &MainWindow::pressActionFromBox);
    connect(m_criteria, &CriteriaPanel::actionPressed, this, &MainWindow::startAction);
    connect(m_criteria, &CriteriaPanel::previewPressed, this, &MainWindow::startPreview);
    connect(m_scriptEditor, &ScriptEditor::changed, this, &MainWindow::scriptChanged);
    connect(m_scriptEditor, &ScriptEditor::runRequested, this, &MainWindow::runScript);
    connect(m_scriptEditor, &ScriptEditor::scriptViewRequested, this,
            [this] { setGridContent(GridContent::Script); });
    connect(m_resultsPane, &ResultsPane::viewChosen, this,
            [this] { setGridContent(GridContent::Results); });
    ResultsGrid* grid = &m_resultsPane->grid();
    connect(grid, &ResultsGrid::mouseDown, m_scriptEditor, &ScriptEditor::pressOnGrid);
    connect(grid, &ResultsGrid::keyDown, m_scriptEditor, &ScriptEditor::keyOnGrid);
    connect(grid, &ResultsGrid::planChecksChanged, this, &MainWindow::planChecksChanged);
    connect(m_statusBar, &RunStatusBar::stopRequested, this, &MainWindow::cancelRun);
    connect(m_run, &BackgroundRun::progressed, this, &MainWindow::showRunProgress);
    connect(m_run, &BackgroundRun::finished, this, &MainWindow::finishRun);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &MainWindow::cancelRun);
}

QAction* MainWindow::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                                 const std::function<void()>& handler) {
    QAction* action = named(menu->addAction(caption), name);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    m_fileMenu = named(bar->addMenu(QStringLiteral("&File")), "fileMenu");
    m_preferencesAction =
        addMenuItem(m_fileMenu, "preferencesAction", QStringLiteral("&Preferences"),
                    [this] { editPreferences(); });
    QAction* exit =
        addMenuItem(m_fileMenu, "mmFile_Exit", QStringLiteral("E&xit"), [this] { close(); });
    // Spelt out: QKeySequence::Quit is empty in some key schemes (the offscreen one's too).
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_editMenu = named(bar->addMenu(QStringLiteral("&Edit")), "editMenu");
    m_previewChangesAction =
        addMenuItem(m_editMenu, "previewChangesAction", QStringLiteral("&Preview Changes"),
                    [this] { startPreview(); });
    m_previewChangesAction->setVisible(false); // Find & Replace and Script modes only
    m_editMenu->addSeparator();
    m_undoAction = addMenuItem(m_editMenu, "undoReplaceAction",
                               QStringLiteral("&Undo Last Replace"), [this] { undoLastReplace(); });
    // Ctrl+Z in the grid only: the entry boxes keep it for undoing their own typing.
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_undoAction->setShortcutContext(Qt::WidgetShortcut);
    m_resultsPane->grid().addAction(m_undoAction);

    m_modeMenu = named(bar->addMenu(QStringLiteral("&Mode")), "modeMenu");
    static const char* const kModeNames[] = {"findModeAction", "replaceModeAction",
                                             "scriptModeAction", "viewModeAction"};
    static const char* const kModeCaptions[] = {"&Find", "Find &and Replace", "&Script", "&View"};
    for (size_t i = 0; i < m_modeActions.size(); ++i) {
        const auto mode = static_cast<Mode>(i);
        m_modeActions[i] =
            addMenuItem(m_modeMenu, kModeNames[i], QString::fromLatin1(kModeCaptions[i]),
                        [this, mode] { setMode(mode); });
        m_modeActions[i]->setCheckable(true);
    }
    // Listing folders is not offered: View mode is reached only from stored settings.
    m_modeActions[3]->setVisible(false);

    m_viewMenu = m_resultsPane->viewMenu();
    bar->addMenu(m_viewMenu);
    m_scriptMenu = m_scriptEditor->menu();
    bar->addMenu(m_scriptMenu);

    m_helpMenu = named(bar->addMenu(QStringLiteral("&Help")), "helpMenu");
    addMenuItem(m_helpMenu, "mmHelp_QuickStartGuide", QStringLiteral("&Quick Start Guide"),
                [this] { openQuickStartGuide(*m_services, this); });
    addMenuItem(m_helpMenu, "mmHelp_LatestVersion", QStringLiteral("What is &latest version ?"),
                [this] { showInstalledVersion(*m_services, this); });
    addMenuItem(m_helpMenu, "mmHelp_References", QStringLiteral("&References"), [this] {
        if (m_references != nullptr) {
            m_references->show();
            m_references->raise();
            m_references->activateWindow();
        }
    });
    addMenuItem(m_helpMenu, "mmHelp_About", QStringLiteral("&About"), [this] {
        if (m_about != nullptr)
            m_about->exec();
    });
}

void MainWindow::buildShortcuts() {
    addShortcut(this, {QKeySequence::Find},
                [this] { m_criteria->focusBox(HistoryBox::FindExpressions); });
    addShortcut(this,
                {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                [this] { pressActionByKey(); });
    addShortcut(this, {QKeySequence(Qt::Key_F8)},
                [this] { m_resultsPane->grid().stepCurrentRow(true); });
    addShortcut(this, {QKeySequence(Qt::SHIFT | Qt::Key_F8)},
                [this] { m_resultsPane->grid().stepCurrentRow(false); });
}

void MainWindow::pressActionByKey() {
    // As a click would: the box left commits its value first, and a refused one stops here.
    if (m_criteria->commitFocusedBox())
        m_criteria->pressShownAction();
}

void MainWindow::orderTabStops() {
    // The criteria and their action, the script's buttons over the grid, the grid, the preview
    // under it and the run's Cancel button, as they stand on screen.
    std::vector<QWidget*> stops = m_criteria->tabStops();
    for (QPushButton* button : m_scriptEditor->findChildren<QPushButton*>())
        stops.push_back(button);
    stops.push_back(&m_resultsPane->grid());
    stops.push_back(&m_resultsPane->preview().textView());
    stops.push_back(m_statusBar->findChild<QPushButton*>());
    for (size_t i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1], stops[i]);
}

void MainWindow::loadFiles() {
    for (const QString& problem :
         {m_files.loadHistories(*m_criteria), m_files.loadSettings(m_config)})
        if (!problem.isEmpty())
            m_services->showError(this, problem);
    m_resultsPane->applySettings();
    // Fixed looks, whatever an older settings file says.
    settings().gridColor = 0xF7F7F7;
    settings().highlightColor = 0xFFFFB3;
    settings().gridFontName = "Arial";
}

void MainWindow::applyFontSize(config::FontSize size) {
    const int points = pointSize(size);
    settings().currentPointSize = points;
    m_criteria->applyFontSize(points);
    m_resultsPane->grid().setGridFont(QString::fromStdString(settings().gridFontName), points);
    m_resultsPane->preview().setTextPointSize(points);
    m_modeLine->applyFontSize(points);
    m_summaryLine->applyFontSize(points);
    m_scriptEditor->applyFontSize(points);
    refreshModeStatus();
}

void MainWindow::applyBounds(const config::WindowBounds& bounds) {
    setGeometry(windowPlacement(bounds));
}

void MainWindow::activateFirstTime() {
    if (m_activated)
        return;
    m_activated = true;
    setGridContent(m_mode == Mode::Script ? GridContent::Script : GridContent::Empty);
    if (settings().initialMode == config::InitialMode::Script)
        setMode(Mode::Find);
    const Mode mode = startupMode(settings().initialMode, m_config.lastMode);
    setMode(mode);
    if (mode == Mode::Find || mode == Mode::ViewFoldersFiles)
        m_criteria->clearBox(HistoryBox::ReplaceExpressions);
    if (mode == Mode::ViewFoldersFiles)
        m_criteria->clearBox(HistoryBox::FindExpressions);
}

void MainWindow::saveOnClose() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_criteria->setCommitOnLeave(false);
    m_run->stopAndWait();
    closeJournal();
    const QRect placed = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    m_config.bounds = {placed.top(), placed.left(), placed.height(), placed.width()};
    m_config.lastMode = static_cast<int32_t>(m_mode);
    if (const QString failures = m_files.save(m_criteria->histories(), m_config);
        !failures.isEmpty())
        m_services->showError(this, failures);
}

void MainWindow::editPreferences() {
    if (m_preferences != nullptr)
        m_preferences->exec();
    // Whatever the answer, so the window always matches the setting in force.
    applyFontSize(settings().fontSize);
    if (m_references != nullptr)
        m_references->applyFontSize(settings().currentPointSize);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    activateFirstTime();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        activateFirstTime();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_destroyed) {
        m_criteria->commitFocusedBox();
        saveOnClose();
    }
    event->accept();
}

// ---- What the window holds

ScriptEditState MainWindow::scriptState() const {
    return m_scriptEditor->state();
}
const script::Script& MainWindow::script() const {
    return m_scriptEditor->script();
}
const search::SearchResults& MainWindow::results() const {
    return m_resultsPane->results();
}
const results::Rows& MainWindow::resultRows() const {
    return m_resultsPane->rows();
}
const ChangePlan& MainWindow::changePlan() const {
    return m_resultsPane->plan();
}
const WriteReport& MainWindow::writeReport() const {
    return m_resultsPane->report();
}
results::View MainWindow::resultView() const {
    return m_resultsPane->view();
}
int32_t MainWindow::savedItemIndex(config::HistoryBox box) const {
    return m_criteria->savedIndex(box);
}
QString MainWindow::statusBarText() const {
    return m_statusBar->text();
}
const QString& MainWindow::lastExportFolder() const {
    return m_resultsPane->lastExportFolder();
}

} // namespace kestrava::ui
