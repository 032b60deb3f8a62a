// Building the main window's controls and menus, and createWindow.
#include "main_window.h"

#include "about_dialog.h"

#include "config/config_paths.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrava::ui {

namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* makeLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = named(new QLabel(text, parent), name);
    label->setAutoFillBackground(false);
    return label;
}

QToolButton* makeFolderButton(const char* name, QWidget* parent) {
    auto* button = named(new QToolButton(parent), name);
    button->setText(QStringLiteral("..."));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<UiServices> services, QWidget* parent)
    : QMainWindow(parent), m_services(services ? std::move(services) : makeQtUiServices()) {
    setObjectName(QStringLiteral("fmMain"));
    createWindow();
}

MainWindow::~MainWindow() {
    stopRunAndWait();
}

void MainWindow::createWindow() {
    m_settingsFolder = config::settingsFolder(config::programFolder());
    m_openDialogFolder = QDir::currentPath();
    auto* central = named(new QWidget(this), "paClient");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
    buildModeLine();
    buildCriteriaPanel();
    buildStatusPanel();
    buildScriptBar();
    resultsGrid = new ResultsGrid(central);
    for (QWidget* w : {modeBar, criteriaPanel, summaryPanel, scriptBar})
        layout->addWidget(w);
    layout->addWidget(resultsGrid, 1);
    buildStatusBar();
    buildMenus();
    buildPopupMenus();

    for (QLabel* label : summaryLabels)
        label->clear();
    itemNumberLabel->clear();
    setGridContent(GridContent::Empty);
    m_activated = false;
    setWindowTitle(QStringLiteral("Kestrava v") + QString::fromLatin1(kKestravaVersion));

    m_loading = true;
    loadHistories();
    loadSettings();
    m_loading = false;

    settings().gridColor = 0xF7F7F7;
    settings().highlightColor = 0xFFFFB3;
    settings().gridFontName = "Arial";
    resultsGrid->setBackground(QColor::fromRgb(settings().gridColor));
    applyFontSize(settings().fontSize);
    layoutCriteriaPanel(0, false);
}

void MainWindow::buildModeLine() {
    modeBar = named(new QWidget(centralWidget()), "modeBar");
    modeBar->setFixedHeight(41);
    modeNameLabel = makeLabel("modeNameLabel", QString(), modeBar);
    modeStatusLabel = makeLabel("modeStatusLabel", QString(), modeBar);
    modeDetailLabel = makeLabel("modeDetailLabel", QString(), modeBar);
    QFont name(QStringLiteral("Arial"));
    name.setPixelSize(19);
    name.setBold(true);
    modeNameLabel->setFont(name);
    QFont status(QStringLiteral("Arial"));
    status.setPixelSize(13);
    modeStatusLabel->setFont(status);
    modeDetailLabel->setFont(status);
    QPalette palette = modeNameLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    modeNameLabel->setPalette(palette);
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x80));
    modeStatusLabel->setPalette(palette);
}

QComboBox* MainWindow::makeCriteriaBox(const char* name, QWidget* parent) {
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    box->setCompleter(nullptr); // no completion while typing
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(20);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(10);
    box->installEventFilter(this);
    box->lineEdit()->installEventFilter(this);
    box->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(box->lineEdit(), &QLineEdit::customContextMenuRequested, this,
            [this, box](const QPoint& pos) {
                showHistoryMenu(box, box->lineEdit()->mapToGlobal(pos));
            });
    connect(box->lineEdit(), &QLineEdit::textEdited, this, [this] { criteriaEdited(); });
    connect(box, &QComboBox::activated, this, [this] { criteriaEdited(); });
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, box] { startFromBox(box); });
    return box;
}

namespace {

// What each box takes, with an example, on its tooltip; the placeholder shows while it is empty.
struct BoxHelp {
    const char* placeholder;
    const char* tooltip;
};

const BoxHelp kFoldersHelp = {
    "Folders to search, e.g. ~/src<+><excluding build,.git>",
    "Folders to search, separated by |\n"
    "<+> after a folder searches its subfolders too;\n"
    "<excluding a,b> leaves those subfolders out (relative to the folder).\n"
    "Example: /home/me/src<+><excluding build,tmp> | /etc"};
const BoxHelp kFilesHelp = {"File masks, e.g. *.cpp | *.h",
                            "File masks, separated by |; * and ? are wildcards, letter case is "
                            "ignored.\n"
                            "<excluding a,b> after a mask leaves those file names out.\n"
                            "Example: *.cpp | *.h<excluding moc_main.h>"};
const BoxHelp kRootFolderHelp = {
    "The folder {RootFolder} stands for in the script",
    "The folder that {RootFolder} in the script's Folder(s) items stands for.\n"
    "Example: /home/me/project"};
const BoxHelp kFindHelp = {"Perl-compatible regular expression",
                           "A Perl-compatible regular expression.\n"
                           "Example: \\bTODO\\b|FIXME"};
const BoxHelp kReplaceHelp = {"Replacement, e.g. $1_old ($0 is the whole match)",
                              "The replacement for each match: $0 is the whole match, $1, $2 ... "
                              "its groups, $<name> a named group; \\ takes the next character "
                              "literally.\n"
                              "^$ alone replaces with nothing.\n"
                              "Example: $1_old"};

void setHelp(QComboBox* box, const BoxHelp& help) {
    box->lineEdit()->setPlaceholderText(QString::fromUtf8(help.placeholder));
    box->setToolTip(QString::fromUtf8(help.tooltip));
}

} // namespace

void MainWindow::buildCriteriaPanel() {
    criteriaPanel = named(new QWidget(centralWidget()), "criteriaPanel");
    criteriaPanel->installEventFilter(this);
    folderFilePanel = named(new QWidget(criteriaPanel), "folderFilePanel");
    findReplacePanel = named(new QWidget(criteriaPanel), "findReplacePanel");
    foldersLabel = makeLabel("foldersLabel", QStringLiteral("Folder(s)"), folderFilePanel);
    filesLabel = makeLabel("filesLabel", QStringLiteral("File(s)"), folderFilePanel);
    rootFolderLabel = makeLabel("rootFolderLabel", QStringLiteral("Root Folder"), folderFilePanel);
    itemNumberLabel = makeLabel("itemNumberLabel", QString(), folderFilePanel);
    rootFolderCombo = makeCriteriaBox("rootFolderCombo", folderFilePanel);
    foldersCombo = makeCriteriaBox("foldersCombo", folderFilePanel);
    filesCombo = makeCriteriaBox("filesCombo", folderFilePanel);
    pickRootFolderButton = makeFolderButton("pickRootFolderButton", folderFilePanel);
    pickFoldersButton = makeFolderButton("pickFoldersButton", folderFilePanel);
    pickFileButton = makeFolderButton("pickFileButton", folderFilePanel);
    connect(pickFoldersButton, &QToolButton::clicked, this, &MainWindow::pickFolders);
    connect(pickFileButton, &QToolButton::clicked, this, &MainWindow::pickFile);
    connect(pickRootFolderButton, &QToolButton::clicked, this, &MainWindow::pickRootFolder);

    findLabel = makeLabel("findLabel", QStringLiteral("Find"), findReplacePanel);
    regexHintLabel = makeLabel("regexHintLabel", QStringLiteral("(RegEx)"), findReplacePanel);
    replaceLabel = makeLabel("replaceLabel", QStringLiteral("Replace With"), findReplacePanel);
    findCombo = makeCriteriaBox("findCombo", findReplacePanel);
    replaceCombo = makeCriteriaBox("replaceCombo", findReplacePanel);
    setHelp(foldersCombo, kFoldersHelp);
    setHelp(filesCombo, kFilesHelp);
    setHelp(rootFolderCombo, kRootFolderHelp);
    setHelp(findCombo, kFindHelp);
    setHelp(replaceCombo, kReplaceHelp);
    buildActionButtons();
    setTabOrder(foldersCombo, filesCombo);
    setTabOrder(filesCombo, findCombo);
    setTabOrder(findCombo, replaceCombo);
}

void MainWindow::buildActionButtons() {
    actionPanel = named(new QWidget(criteriaPanel), "actionPanel");
    actionSeparator = named(new QFrame(actionPanel), "actionSeparator");
    actionSeparator->setFrameShape(QFrame::VLine);
    actionSeparator->setFrameShadow(QFrame::Sunken);
    findButton = named(new QPushButton(QStringLiteral(" Find"), actionPanel), "findButton");
    replaceButton = named(new QPushButton(QStringLiteral("Replace"), actionPanel), "replaceButton");
    listButton = named(new QPushButton(QStringLiteral("List"), actionPanel), "listButton");
    runScriptButton =
        named(new QPushButton(QStringLiteral("Run Script"), actionPanel), "runScriptButton");
    connect(findButton, &QPushButton::clicked, this, &MainWindow::startFind);
    connect(replaceButton, &QPushButton::clicked, this, &MainWindow::startFind);
    connect(runScriptButton, &QPushButton::clicked, this, &MainWindow::runScript);
    // Listing folders is not offered: List stays disabled.
    listButton->setEnabled(false);
    actionPanel->raise();
}

void MainWindow::buildStatusPanel() {
    summaryPanel = named(new QWidget(centralWidget()), "summaryPanel");
    static const char* const kNames[] = {"laMatchResults1", "laMatchResults2", "laMatchResults3",
                                         "laMatchResults4"};
    for (size_t i = 0; i < summaryLabels.size(); ++i)
        summaryLabels[i] = makeLabel(kNames[i], QString(), summaryPanel);
    QPalette palette = summaryLabels[1]->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    summaryLabels[1]->setPalette(palette);
}

void MainWindow::buildScriptBar() {
    scriptBar = named(new QWidget(centralWidget()), "scriptBar");
    scriptBar->installEventFilter(this);
    scriptItemsLabel = makeLabel("scriptItemsLabel", QStringLiteral("Script Items:"), scriptBar);
    scriptButtonsPanel = named(new QWidget(scriptBar), "scriptButtonsPanel");
    static const char* const kNames[] = {"appendItemButton", "insertItemButton",
                                         "changeItemButton", "deleteItemButton",
                                         "moveItemUpButton", "moveItemDownButton"};
    static const char* const kCaptions[] = {"Append", "Insert", "Change", "Delete", "Up", "Down"};
    static void (MainWindow::*const kHandlers[])() = {
        &MainWindow::startAppend, &MainWindow::startInsert, &MainWindow::startChange,
        &MainWindow::deleteItem,  &MainWindow::moveItemUp,  &MainWindow::moveItemDown};
    for (size_t i = 0; i < scriptButtons.size(); ++i) {
        scriptButtons[i] = named(
            new QPushButton(QString::fromLatin1(kCaptions[i]), scriptButtonsPanel), kNames[i]);
        scriptButtons[i]->setEnabled(false);
        connect(scriptButtons[i], &QPushButton::clicked, this, kHandlers[i]);
    }
    appendItemButton = scriptButtons[0];
    insertItemButton = scriptButtons[1];
    changeItemButton = scriptButtons[2];
    deleteItemButton = scriptButtons[3];
    moveItemUpButton = scriptButtons[4];
    moveItemDownButton = scriptButtons[5];
    acceptCancelPanel = named(new QWidget(scriptBar), "acceptCancelPanel");
    acceptItemButton =
        named(new QPushButton(QStringLiteral("Accept"), acceptCancelPanel), "acceptItemButton");
    cancelItemButton =
        named(new QPushButton(QStringLiteral("Cancel"), acceptCancelPanel), "cancelItemButton");
    connect(acceptItemButton, &QPushButton::clicked, this, &MainWindow::acceptItem);
    connect(cancelItemButton, &QPushButton::clicked, this, &MainWindow::cancelItemEdit);
    acceptCancelPanel->hide();
}

void MainWindow::buildStatusBar() {
    auto* bar = named(new QStatusBar(this), "statusLabel");
    setStatusBar(bar);
    bar->setSizeGripEnabled(true);
    statusText = makeLabel("statusText", QString(), bar);
    bar->addWidget(statusText, 1);
    progressBar = named(new QProgressBar(bar), "progressBar");
    progressBar->setMaximumWidth(220);
    progressBar->setTextVisible(false);
    stopRunButton = named(new QPushButton(QStringLiteral("Cancel"), bar), "stopRunButton");
    stopRunButton->setToolTip(QStringLiteral("Stop the search (Esc)"));
    bar->addPermanentWidget(progressBar);
    bar->addPermanentWidget(stopRunButton);
    progressBar->hide();
    stopRunButton->hide();
    connect(stopRunButton, &QPushButton::clicked, this, &MainWindow::cancelRun);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &MainWindow::cancelRun);
}

QAction* MainWindow::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                                 void (MainWindow::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (handler != nullptr)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    m_fileMenu = named(bar->addMenu(QStringLiteral("&File")), "fileMenu");
    m_preferencesAction = addMenuItem(m_fileMenu, "preferencesAction",
                                      QStringLiteral("Preferences"), &MainWindow::editPreferences);
    addMenuItem(m_fileMenu, "mmFile_Exit", QStringLiteral("Exit"), &MainWindow::exitProgram);

    m_modeMenu = named(bar->addMenu(QStringLiteral("&Mode")), "modeMenu");
    m_findModeAction = addMenuItem(m_modeMenu, "findModeAction", QStringLiteral("Find"),
                                   &MainWindow::switchToFind);
    m_replaceModeAction =
        addMenuItem(m_modeMenu, "replaceModeAction", QStringLiteral("Find and Replace"),
                    &MainWindow::switchToReplace);
    m_scriptModeAction = addMenuItem(m_modeMenu, "scriptModeAction", QStringLiteral("Script"),
                                     &MainWindow::switchToScript);
    m_viewModeAction = addMenuItem(m_modeMenu, "viewModeAction", QStringLiteral("View"),
                                   &MainWindow::switchToView);
    m_viewModeAction->setVisible(false);
    for (QAction* a : {m_findModeAction, m_replaceModeAction, m_scriptModeAction, m_viewModeAction})
        a->setCheckable(true);

    m_viewMenu = named(bar->addMenu(QStringLiteral("&View")), "viewMenu");
    m_folderViewActions[0] =
        addMenuItem(m_viewMenu, "mmView_FoldersList", QStringLiteral("Folders list"), nullptr);
    m_folderViewActions[1] = addMenuItem(m_viewMenu, "mmView_FoldersAndFilesList",
                                         QStringLiteral("Folders and Files list"), nullptr);
    for (QAction* a : m_folderViewActions)
        a->setVisible(false);
    m_viewActions = {addMenuItem(m_viewMenu, "mmView_LinesWithMatches",
                                 QStringLiteral("Lines with Matches"),
                                 &MainWindow::showLinesWithMatches),
                     addMenuItem(m_viewMenu, "mmView_MatchesOnly", QStringLiteral("Matches Only"),
                                 &MainWindow::showMatchesOnly),
                     addMenuItem(m_viewMenu, "mmView_UniqueMatches",
                                 QStringLiteral("Unique Matches"), &MainWindow::showUniqueMatches),
                     addMenuItem(m_viewMenu, "mmView_UniqueMatchesSorted",
                                 QStringLiteral("Unique Matches (sorted)"),
                                 &MainWindow::showUniqueMatchesSorted)};

    m_scriptMenu = named(bar->addMenu(QStringLiteral("&Script")), "scriptMenu");
    m_newScriptAction =
        addMenuItem(m_scriptMenu, "newScriptAction", QStringLiteral("New"), &MainWindow::newScript);
    m_openScriptAction = addMenuItem(m_scriptMenu, "openScriptAction", QStringLiteral("Open"),
                                     &MainWindow::openScript);
    m_saveScriptAction = addMenuItem(m_scriptMenu, "saveScriptAction", QStringLiteral("Save"),
                                     &MainWindow::saveScript);
    m_saveScriptAsAction = addMenuItem(m_scriptMenu, "saveScriptAsAction",
                                       QStringLiteral("Save-As"), &MainWindow::saveScriptAs);
    m_runScriptAction = addMenuItem(m_scriptMenu, "runScriptAction", QStringLiteral("Run"),
                                    &MainWindow::runScriptFromMenu);
    m_scriptMenu->addSeparator();
    m_viewScriptAction = addMenuItem(m_scriptMenu, "viewScriptAction",
                                     QStringLiteral("View Script"), &MainWindow::viewScript);
    m_viewScriptResultsAction =
        addMenuItem(m_scriptMenu, "viewScriptResultsAction", QStringLiteral("View Results"),
                    &MainWindow::viewScriptResults);

    m_helpMenu = named(bar->addMenu(QStringLiteral("&Help")), "helpMenu");
    addMenuItem(m_helpMenu, "mmHelp_QuickStartGuide", QStringLiteral("Quick Start Guide"),
                &MainWindow::openQuickStartGuide);
    addMenuItem(m_helpMenu, "mmHelp_LatestVersion", QStringLiteral("What is latest version ?"),
                &MainWindow::showVersion);
    addMenuItem(m_helpMenu, "mmHelp_References", QStringLiteral("References"),
                &MainWindow::showReferences);
    addMenuItem(m_helpMenu, "mmHelp_About", QStringLiteral("About"), &MainWindow::showAbout);
}

void MainWindow::buildPopupMenus() {
    historyMenu = named(new QMenu(this), "historyMenu");
    m_removeEntryAction =
        addMenuItem(historyMenu, "removeEntryAction", QStringLiteral("Remove entry"),
                    &MainWindow::removeHistoryEntry);
    m_removeAllAction = addMenuItem(historyMenu, "removeAllAction", QStringLiteral("Remove All"),
                                    &MainWindow::removeAllHistoryEntries);
    addMenuItem(historyMenu, "pumCancel", QStringLiteral("Cancel"), nullptr);

    // The results grid's menu: open, copy, save. The two "Open with" items wait for a press
    // on a file header row.
    resultsMenu = named(new QMenu(this), "resultsMenu");
    openInEditorAction =
        addMenuItem(resultsMenu, "openInEditorAction", QStringLiteral("Open with preferred editor"),
                    &MainWindow::openResultInEditorFromMenu);
    resultsMenu->addSeparator();
    openWithDefaultAction = addMenuItem(resultsMenu, "openWithDefaultAction",
                                        QStringLiteral("Open with default program"),
                                        &MainWindow::openResultWithDefaultProgram);
    resultsMenu->addSeparator();
    copyResultsAction =
        addMenuItem(resultsMenu, "copyResultsAction",
                    QStringLiteral("Copy all results to Clipboard"), &MainWindow::copyResults);
    saveResultsAction = addMenuItem(resultsMenu, "saveResultsAction",
                                    QStringLiteral("Save all results to Text File"),
                                    &MainWindow::saveResultsToFile);
    resultsMenu->addSeparator();
    saveFileNamesAction =
        addMenuItem(resultsMenu, "saveFileNamesAction",
                    QStringLiteral("Save all results (filenames only) to Text file"),
                    &MainWindow::saveFileNamesToFile);
    resultsMenu->addSeparator();
    addMenuItem(resultsMenu, "pumCancelCopy", QStringLiteral("Cancel"), nullptr);
    openInEditorAction->setEnabled(false);
    openWithDefaultAction->setEnabled(false);
    resultsGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(resultsGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (m_gridContent != GridContent::Script)
            resultsMenu->popup(resultsGrid->mapToGlobal(pos));
    });
    connect(resultsGrid, &ResultsGrid::mouseDown, this, &MainWindow::recordGridPress);
    connect(resultsGrid, &ResultsGrid::doubleClicked, this, [this] { openResultInEditor(); });
    connect(resultsGrid, &ResultsGrid::keyDown, this, &MainWindow::scriptGridKeyDown);
}

} // namespace kestrava::ui
