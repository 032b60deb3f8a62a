// Building the main window's controls and menus, and FormCreate.
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
    FormCreate();
}

MainWindow::~MainWindow() {
    stopRunAndWait();
}

void MainWindow::FormCreate() {
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
    DrawGrid1 = new ResultsGrid(central);
    for (QWidget* w : {paMode, paActionsSpecs, paStatus, paScriptMaintenance})
        layout->addWidget(w);
    layout->addWidget(DrawGrid1, 1);
    buildStatusBar();
    buildMenus();
    buildPopupMenus();

    for (QLabel* label : laMatchResults)
        label->clear();
    laItemNo->clear();
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
    DrawGrid1->setBackground(QColor::fromRgb(settings().gridColor));
    applyFontSize(settings().fontSize);
    layoutCriteriaPanel(0, false);
}

void MainWindow::buildModeLine() {
    paMode = named(new QWidget(centralWidget()), "paMode");
    paMode->setFixedHeight(41);
    laModeName = makeLabel("laModeName", QString(), paMode);
    laModeStatus = makeLabel("laModeStatus", QString(), paMode);
    laModeDetail = makeLabel("laModeDetail", QString(), paMode);
    QFont name(QStringLiteral("Arial"));
    name.setPixelSize(19);
    name.setBold(true);
    laModeName->setFont(name);
    QFont status(QStringLiteral("Arial"));
    status.setPixelSize(13);
    laModeStatus->setFont(status);
    laModeDetail->setFont(status);
    QPalette palette = laModeName->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    laModeName->setPalette(palette);
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x80));
    laModeStatus->setPalette(palette);
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
            [this, box](const QPoint& pos) { cboxPopup(box, box->lineEdit()->mapToGlobal(pos)); });
    connect(box->lineEdit(), &QLineEdit::textEdited, this, [this] { cboxChange(); });
    connect(box, &QComboBox::activated, this, [this] { cboxChange(); });
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
    paActionsSpecs = named(new QWidget(centralWidget()), "paActionsSpecs");
    paActionsSpecs->installEventFilter(this);
    paFolderFile = named(new QWidget(paActionsSpecs), "paFolderFile");
    paFindReplace = named(new QWidget(paActionsSpecs), "paFindReplace");
    laFolders = makeLabel("laFolders", QStringLiteral("Folder(s)"), paFolderFile);
    laFiles = makeLabel("laFiles", QStringLiteral("File(s)"), paFolderFile);
    laRootFolder = makeLabel("laRootFolder", QStringLiteral("Root Folder"), paFolderFile);
    laItemNo = makeLabel("laItemNo", QString(), paFolderFile);
    cboxRootFolder = makeCriteriaBox("cboxRootFolder", paFolderFile);
    cboxFolders = makeCriteriaBox("cboxFolders", paFolderFile);
    cboxFiles = makeCriteriaBox("cboxFiles", paFolderFile);
    sbRootFolder = makeFolderButton("sbRootFolder", paFolderFile);
    sbFolders = makeFolderButton("sbFolders", paFolderFile);
    sbFiles = makeFolderButton("sbFiles", paFolderFile);
    connect(sbFolders, &QToolButton::clicked, this, &MainWindow::sbFoldersClick);
    connect(sbFiles, &QToolButton::clicked, this, &MainWindow::sbFilesClick);
    connect(sbRootFolder, &QToolButton::clicked, this, &MainWindow::sbRootFolderClick);

    laFind = makeLabel("laFind", QStringLiteral("Find"), paFindReplace);
    laFindRegEx = makeLabel("laFindRegEx", QStringLiteral("(RegEx)"), paFindReplace);
    laReplace = makeLabel("laReplace", QStringLiteral("Replace With"), paFindReplace);
    cboxFind = makeCriteriaBox("cboxFind", paFindReplace);
    cboxReplace = makeCriteriaBox("cboxReplace", paFindReplace);
    setHelp(cboxFolders, kFoldersHelp);
    setHelp(cboxFiles, kFilesHelp);
    setHelp(cboxRootFolder, kRootFolderHelp);
    setHelp(cboxFind, kFindHelp);
    setHelp(cboxReplace, kReplaceHelp);
    buildActionButtons();
    setTabOrder(cboxFolders, cboxFiles);
    setTabOrder(cboxFiles, cboxFind);
    setTabOrder(cboxFind, cboxReplace);
}

void MainWindow::buildActionButtons() {
    paActionButtons = named(new QWidget(paActionsSpecs), "paActionButtons");
    Bevel1 = named(new QFrame(paActionButtons), "Bevel1");
    Bevel1->setFrameShape(QFrame::VLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    bbFind = named(new QPushButton(QStringLiteral(" Find"), paActionButtons), "bbFind");
    bbReplace = named(new QPushButton(QStringLiteral("Replace"), paActionButtons), "bbReplace");
    bbList = named(new QPushButton(QStringLiteral("List"), paActionButtons), "bbList");
    bbRunScript =
        named(new QPushButton(QStringLiteral("Run Script"), paActionButtons), "bbRunScript");
    connect(bbFind, &QPushButton::clicked, this, &MainWindow::bbFindClick);
    connect(bbReplace, &QPushButton::clicked, this, &MainWindow::bbFindClick);
    connect(bbRunScript, &QPushButton::clicked, this, &MainWindow::bbRunScriptClick);
    // Listing folders is not offered: List stays disabled.
    bbList->setEnabled(false);
    paActionButtons->raise();
}

void MainWindow::buildStatusPanel() {
    paStatus = named(new QWidget(centralWidget()), "paStatus");
    static const char* const kNames[] = {"laMatchResults1", "laMatchResults2", "laMatchResults3",
                                         "laMatchResults4"};
    for (size_t i = 0; i < laMatchResults.size(); ++i)
        laMatchResults[i] = makeLabel(kNames[i], QString(), paStatus);
    QPalette palette = laMatchResults[1]->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    laMatchResults[1]->setPalette(palette);
}

void MainWindow::buildScriptBar() {
    paScriptMaintenance = named(new QWidget(centralWidget()), "paScriptMaintenance");
    paScriptMaintenance->installEventFilter(this);
    laScriptItems =
        makeLabel("laScriptItems", QStringLiteral("Script Items:"), paScriptMaintenance);
    paScriptButtons = named(new QWidget(paScriptMaintenance), "paScriptButtons");
    static const char* const kNames[] = {"sbAppend", "sbInsert", "sbChange",
                                         "sbDelete", "sbUp",     "sbDown"};
    static const char* const kCaptions[] = {"Append", "Insert", "Change", "Delete", "Up", "Down"};
    static void (MainWindow::*const kHandlers[])() = {
        &MainWindow::sbAppendClick, &MainWindow::sbInsertClick, &MainWindow::sbChangeClick,
        &MainWindow::sbDeleteClick, &MainWindow::sbUpClick,     &MainWindow::sbDownClick};
    for (size_t i = 0; i < sbScriptButtons.size(); ++i) {
        sbScriptButtons[i] =
            named(new QPushButton(QString::fromLatin1(kCaptions[i]), paScriptButtons), kNames[i]);
        sbScriptButtons[i]->setEnabled(false);
        connect(sbScriptButtons[i], &QPushButton::clicked, this, kHandlers[i]);
    }
    sbAppend = sbScriptButtons[0];
    sbInsert = sbScriptButtons[1];
    sbChange = sbScriptButtons[2];
    sbDelete = sbScriptButtons[3];
    sbUp = sbScriptButtons[4];
    sbDown = sbScriptButtons[5];
    paScriptAcceptCancel = named(new QWidget(paScriptMaintenance), "paScriptAcceptCancel");
    bbAccept = named(new QPushButton(QStringLiteral("Accept"), paScriptAcceptCancel), "bbAccept");
    bbCancel = named(new QPushButton(QStringLiteral("Cancel"), paScriptAcceptCancel), "bbCancel");
    connect(bbAccept, &QPushButton::clicked, this, &MainWindow::bbAcceptClick);
    connect(bbCancel, &QPushButton::clicked, this, &MainWindow::bbCancelClick);
    paScriptAcceptCancel->hide();
}

void MainWindow::buildStatusBar() {
    auto* bar = named(new QStatusBar(this), "StatusBar1");
    setStatusBar(bar);
    bar->setSizeGripEnabled(true);
    StatusBar1Text = makeLabel("StatusBar1Text", QString(), bar);
    bar->addWidget(StatusBar1Text, 1);
    pbProgress = named(new QProgressBar(bar), "pbProgress");
    pbProgress->setMaximumWidth(220);
    pbProgress->setTextVisible(false);
    bbCancelRun = named(new QPushButton(QStringLiteral("Cancel"), bar), "bbCancelRun");
    bbCancelRun->setToolTip(QStringLiteral("Stop the search (Esc)"));
    bar->addPermanentWidget(pbProgress);
    bar->addPermanentWidget(bbCancelRun);
    pbProgress->hide();
    bbCancelRun->hide();
    connect(bbCancelRun, &QPushButton::clicked, this, &MainWindow::cancelRun);
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
    mmFile = named(bar->addMenu(QStringLiteral("&File")), "mmFile");
    mmFile_Preferences = addMenuItem(mmFile, "mmFile_Preferences", QStringLiteral("Preferences"),
                                     &MainWindow::mmFile_PreferencesClick);
    addMenuItem(mmFile, "mmFile_Exit", QStringLiteral("Exit"), &MainWindow::mmFile_ExitClick);

    mmMode = named(bar->addMenu(QStringLiteral("&Mode")), "mmMode");
    mmMode_Find =
        addMenuItem(mmMode, "mmMode_Find", QStringLiteral("Find"), &MainWindow::mmMode_FindClick);
    mmMode_FindandReplace =
        addMenuItem(mmMode, "mmMode_FindandReplace", QStringLiteral("Find and Replace"),
                    &MainWindow::mmMode_FindAndReplaceClick);
    mmMode_Script = addMenuItem(mmMode, "mmMode_Script", QStringLiteral("Script"),
                                &MainWindow::mmMode_ScriptClick);
    mmMode_View =
        addMenuItem(mmMode, "mmMode_View", QStringLiteral("View"), &MainWindow::mmMode_ViewClick);
    mmMode_View->setVisible(false);
    for (QAction* a : {mmMode_Find, mmMode_FindandReplace, mmMode_Script, mmMode_View})
        a->setCheckable(true);

    mmView = named(bar->addMenu(QStringLiteral("&View")), "mmView");
    mmView_Folders[0] =
        addMenuItem(mmView, "mmView_FoldersList", QStringLiteral("Folders list"), nullptr);
    mmView_Folders[1] = addMenuItem(mmView, "mmView_FoldersAndFilesList",
                                    QStringLiteral("Folders and Files list"), nullptr);
    for (QAction* a : mmView_Folders)
        a->setVisible(false);
    mmView_Results = {
        addMenuItem(mmView, "mmView_LinesWithMatches", QStringLiteral("Lines with Matches"),
                    &MainWindow::mmView_LinesWithMatchesClick),
        addMenuItem(mmView, "mmView_MatchesOnly", QStringLiteral("Matches Only"),
                    &MainWindow::mmView_MatchesOnlyClick),
        addMenuItem(mmView, "mmView_UniqueMatches", QStringLiteral("Unique Matches"),
                    &MainWindow::mmView_UniqueMatchesClick),
        addMenuItem(mmView, "mmView_UniqueMatchesSorted", QStringLiteral("Unique Matches (sorted)"),
                    &MainWindow::mmView_UniqueMatchesSortedClick)};

    mmScript = named(bar->addMenu(QStringLiteral("&Script")), "mmScript");
    mmScript_New = addMenuItem(mmScript, "mmScript_New", QStringLiteral("New"),
                               &MainWindow::mmScript_NewClick);
    mmScript_Open = addMenuItem(mmScript, "mmScript_Open", QStringLiteral("Open"),
                                &MainWindow::mmScript_OpenClick);
    mmScript_Save = addMenuItem(mmScript, "mmScript_Save", QStringLiteral("Save"),
                                &MainWindow::mmScript_SaveClick);
    mmScript_SaveAs = addMenuItem(mmScript, "mmScript_SaveAs", QStringLiteral("Save-As"),
                                  &MainWindow::mmScript_SaveAsClick);
    mmScript_Run = addMenuItem(mmScript, "mmScript_Run", QStringLiteral("Run"),
                               &MainWindow::mmScript_RunClick);
    mmScript->addSeparator();
    mmScript_ViewScript =
        addMenuItem(mmScript, "mmScript_ViewScript", QStringLiteral("View Script"),
                    &MainWindow::mmScript_ViewScriptClick);
    mmScript_ViewResults =
        addMenuItem(mmScript, "mmScript_ViewResults", QStringLiteral("View Results"),
                    &MainWindow::mmScript_ViewResultsClick);

    mmHelp = named(bar->addMenu(QStringLiteral("&Help")), "mmHelp");
    addMenuItem(mmHelp, "mmHelp_QuickStartGuide", QStringLiteral("Quick Start Guide"),
                &MainWindow::mmHelp_QuickStartGuideClick);
    addMenuItem(mmHelp, "mmHelp_LatestVersion", QStringLiteral("What is latest version ?"),
                &MainWindow::mmHelp_LatestVersionClick);
    addMenuItem(mmHelp, "mmHelp_References", QStringLiteral("References"),
                &MainWindow::mmHelp_ReferencesClick);
    addMenuItem(mmHelp, "mmHelp_About", QStringLiteral("About"), &MainWindow::mmHelp_AboutClick);
}

void MainWindow::buildPopupMenus() {
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    pumRemoveEntry = addMenuItem(PopupMenu1, "pumRemoveEntry", QStringLiteral("Remove entry"),
                                 &MainWindow::pumRemoveEntryClick);
    pumRemoveAll = addMenuItem(PopupMenu1, "pumRemoveAll", QStringLiteral("Remove All"),
                               &MainWindow::pumRemoveAllClick);
    addMenuItem(PopupMenu1, "pumCancel", QStringLiteral("Cancel"), nullptr);

    // The results grid's menu: open, copy, save. The two "Open with" items wait for a press
    // on a file header row.
    PopupMenu2 = named(new QMenu(this), "PopupMenu2");
    Openwithpreferrededitor1 = addMenuItem(PopupMenu2, "Openwithpreferrededitor1",
                                           QStringLiteral("Open with preferred editor"),
                                           &MainWindow::Openwithpreferrededitor1Click);
    PopupMenu2->addSeparator();
    Openwithdefaultprogram1 = addMenuItem(PopupMenu2, "Openwithdefaultprogram1",
                                          QStringLiteral("Open with default program"),
                                          &MainWindow::Openwithdefaultprogram1Click);
    PopupMenu2->addSeparator();
    pumCopy = addMenuItem(PopupMenu2, "pumCopy", QStringLiteral("Copy all results to Clipboard"),
                          &MainWindow::pumCopyClick);
    pumCopyToTextFile = addMenuItem(PopupMenu2, "pumCopyToTextFile",
                                    QStringLiteral("Save all results to Text File"),
                                    &MainWindow::pumCopyToTextFileClick);
    PopupMenu2->addSeparator();
    SaveallresultsfilenamesonlytoTextfile1 =
        addMenuItem(PopupMenu2, "SaveallresultsfilenamesonlytoTextfile1",
                    QStringLiteral("Save all results (filenames only) to Text file"),
                    &MainWindow::SaveallresultsfilenamesonlytoTextfile1Click);
    PopupMenu2->addSeparator();
    addMenuItem(PopupMenu2, "pumCancelCopy", QStringLiteral("Cancel"), nullptr);
    Openwithpreferrededitor1->setEnabled(false);
    Openwithdefaultprogram1->setEnabled(false);
    DrawGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DrawGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (m_gridContent != GridContent::Script)
            PopupMenu2->popup(DrawGrid1->mapToGlobal(pos));
    });
    connect(DrawGrid1, &ResultsGrid::mouseDown, this, &MainWindow::DrawGrid1MouseDown);
    connect(DrawGrid1, &ResultsGrid::doubleClicked, this, [this] { DrawGrid1DblClick(); });
    connect(DrawGrid1, &ResultsGrid::keyDown, this, &MainWindow::scriptGridKeyDown);
}

} // namespace kestrava::ui
