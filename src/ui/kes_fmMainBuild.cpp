// Building the main window's controls and menus, and FormCreate.
#include "kes_fmMain.h"

#include "config/kes_uConfigPaths.h"

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

namespace {

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* MakeLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setAutoFillBackground(false);
    return label;
}

QToolButton* MakeFolderButton(const char* name, QWidget* parent) {
    auto* button = Named(new QToolButton(parent), name);
    button->setText(QStringLiteral("..."));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

TfmMain::TfmMain(std::unique_ptr<TkesUiServices> services, QWidget* parent)
    : QMainWindow(parent), FServices(services ? std::move(services) : MakeQtUiServices()) {
    setObjectName(QStringLiteral("fmMain"));
    FormCreate();
}

TfmMain::~TfmMain() {
    StopRunAndWait();
}

void TfmMain::FormCreate() {
    FSettingsFolder = kes::SettingsFolder(kes::ProgramFolder());
    FOpenDialogFolder = QDir::currentPath();
    auto* central = Named(new QWidget(this), "paClient");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
    BuildModeLine();
    BuildCriteriaPanel();
    BuildStatusPanel();
    BuildScriptBar();
    DrawGrid1 = new TkesDrawGrid(central);
    for (QWidget* w : {paMode, paActionsSpecs, paStatus, paScriptMaintenance})
        layout->addWidget(w);
    layout->addWidget(DrawGrid1, 1);
    BuildStatusBar();
    BuildMenus();
    BuildPopupMenus();

    for (QLabel* label : laMatchResults)
        label->clear();
    laItemNo->clear();
    SetGridContent(gcEmpty);
    FActivated = false;
    setWindowTitle(QStringLiteral("Kestrava") + QStringLiteral(" v1.1"));

    FLoading = true;
    LoadHistories();
    LoadSettings();
    FLoading = false;

    Settings().GridColor = 0xF7F7F7;
    Settings().HighlightColor = 0xFFFFB3;
    Settings().GridFontName = "Arial";
    DrawGrid1->SetBackground(QColor::fromRgb(Settings().GridColor));
    ApplyFontSize(Settings().FontSize);
    LayoutCriteriaPanel(0, false);
}

void TfmMain::BuildModeLine() {
    paMode = Named(new QWidget(centralWidget()), "paMode");
    paMode->setFixedHeight(41);
    laModeName = MakeLabel("laModeName", QString(), paMode);
    laModeStatus = MakeLabel("laModeStatus", QString(), paMode);
    laModeDetail = MakeLabel("laModeDetail", QString(), paMode);
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

QComboBox* TfmMain::MakeCriteriaBox(const char* name, QWidget* parent) {
    auto* box = Named(new QComboBox(parent), name);
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
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, box] { StartFromBox(box); });
    return box;
}

namespace {

// What each box takes, with an example, on its tooltip; the placeholder shows while it is empty.
struct TBoxHelp {
    const char* Placeholder;
    const char* Tooltip;
};

const TBoxHelp kFoldersHelp = {
    "Folders to search, e.g. ~/src<+><excluding build,.git>",
    "Folders to search, separated by |\n"
    "<+> after a folder searches its subfolders too;\n"
    "<excluding a,b> leaves those subfolders out (relative to the folder).\n"
    "Example: /home/me/src<+><excluding build,tmp> | /etc"};
const TBoxHelp kFilesHelp = {"File masks, e.g. *.cpp | *.h",
                             "File masks, separated by |; * and ? are wildcards, letter case is "
                             "ignored.\n"
                             "<excluding a,b> after a mask leaves those file names out.\n"
                             "Example: *.cpp | *.h<excluding moc_main.h>"};
const TBoxHelp kRootFolderHelp = {
    "The folder {RootFolder} stands for in the script",
    "The folder that {RootFolder} in the script's Folder(s) items stands for.\n"
    "Example: /home/me/project"};
const TBoxHelp kFindHelp = {"Perl-compatible regular expression",
                            "A Perl-compatible regular expression.\n"
                            "Example: \\bTODO\\b|FIXME"};
const TBoxHelp kReplaceHelp = {"Replacement, e.g. $1_old ($0 is the whole match)",
                               "The replacement for each match: $0 is the whole match, $1, $2 ... "
                               "its groups, $<name> a named group; \\ takes the next character "
                               "literally.\n"
                               "^$ alone replaces with nothing.\n"
                               "Example: $1_old"};

void SetHelp(QComboBox* box, const TBoxHelp& help) {
    box->lineEdit()->setPlaceholderText(QString::fromUtf8(help.Placeholder));
    box->setToolTip(QString::fromUtf8(help.Tooltip));
}

} // namespace

void TfmMain::BuildCriteriaPanel() {
    paActionsSpecs = Named(new QWidget(centralWidget()), "paActionsSpecs");
    paActionsSpecs->installEventFilter(this);
    paFolderFile = Named(new QWidget(paActionsSpecs), "paFolderFile");
    paFindReplace = Named(new QWidget(paActionsSpecs), "paFindReplace");
    laFolders = MakeLabel("laFolders", QStringLiteral("Folder(s)"), paFolderFile);
    laFiles = MakeLabel("laFiles", QStringLiteral("File(s)"), paFolderFile);
    laRootFolder = MakeLabel("laRootFolder", QStringLiteral("Root Folder"), paFolderFile);
    laItemNo = MakeLabel("laItemNo", QString(), paFolderFile);
    cboxRootFolder = MakeCriteriaBox("cboxRootFolder", paFolderFile);
    cboxFolders = MakeCriteriaBox("cboxFolders", paFolderFile);
    cboxFiles = MakeCriteriaBox("cboxFiles", paFolderFile);
    sbRootFolder = MakeFolderButton("sbRootFolder", paFolderFile);
    sbFolders = MakeFolderButton("sbFolders", paFolderFile);
    sbFiles = MakeFolderButton("sbFiles", paFolderFile);
    connect(sbFolders, &QToolButton::clicked, this, &TfmMain::sbFoldersClick);
    connect(sbFiles, &QToolButton::clicked, this, &TfmMain::sbFilesClick);
    connect(sbRootFolder, &QToolButton::clicked, this, &TfmMain::sbRootFolderClick);

    laFind = MakeLabel("laFind", QStringLiteral("Find"), paFindReplace);
    laFindRegEx = MakeLabel("laFindRegEx", QStringLiteral("(RegEx)"), paFindReplace);
    laReplace = MakeLabel("laReplace", QStringLiteral("Replace With"), paFindReplace);
    cboxFind = MakeCriteriaBox("cboxFind", paFindReplace);
    cboxReplace = MakeCriteriaBox("cboxReplace", paFindReplace);
    SetHelp(cboxFolders, kFoldersHelp);
    SetHelp(cboxFiles, kFilesHelp);
    SetHelp(cboxRootFolder, kRootFolderHelp);
    SetHelp(cboxFind, kFindHelp);
    SetHelp(cboxReplace, kReplaceHelp);
    BuildActionButtons();
    setTabOrder(cboxFolders, cboxFiles);
    setTabOrder(cboxFiles, cboxFind);
    setTabOrder(cboxFind, cboxReplace);
}

void TfmMain::BuildActionButtons() {
    paActionButtons = Named(new QWidget(paActionsSpecs), "paActionButtons");
    Bevel1 = Named(new QFrame(paActionButtons), "Bevel1");
    Bevel1->setFrameShape(QFrame::VLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    bbFind = Named(new QPushButton(QStringLiteral(" Find"), paActionButtons), "bbFind");
    bbReplace = Named(new QPushButton(QStringLiteral("Replace"), paActionButtons), "bbReplace");
    bbList = Named(new QPushButton(QStringLiteral("List"), paActionButtons), "bbList");
    bbRunScript =
        Named(new QPushButton(QStringLiteral("Run Script"), paActionButtons), "bbRunScript");
    connect(bbFind, &QPushButton::clicked, this, &TfmMain::bbFindClick);
    connect(bbReplace, &QPushButton::clicked, this, &TfmMain::bbFindClick);
    connect(bbRunScript, &QPushButton::clicked, this, &TfmMain::bbRunScriptClick);
    // Listing folders is not offered: List stays disabled.
    bbList->setEnabled(false);
    paActionButtons->raise();
}

void TfmMain::BuildStatusPanel() {
    paStatus = Named(new QWidget(centralWidget()), "paStatus");
    static const char* const kNames[] = {"laMatchResults1", "laMatchResults2", "laMatchResults3",
                                         "laMatchResults4"};
    for (size_t i = 0; i < laMatchResults.size(); ++i)
        laMatchResults[i] = MakeLabel(kNames[i], QString(), paStatus);
    QPalette palette = laMatchResults[1]->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    laMatchResults[1]->setPalette(palette);
}

void TfmMain::BuildScriptBar() {
    paScriptMaintenance = Named(new QWidget(centralWidget()), "paScriptMaintenance");
    paScriptMaintenance->installEventFilter(this);
    laScriptItems =
        MakeLabel("laScriptItems", QStringLiteral("Script Items:"), paScriptMaintenance);
    paScriptButtons = Named(new QWidget(paScriptMaintenance), "paScriptButtons");
    static const char* const kNames[] = {"sbAppend", "sbInsert", "sbChange",
                                         "sbDelete", "sbUp",     "sbDown"};
    static const char* const kCaptions[] = {"Append", "Insert", "Change", "Delete", "Up", "Down"};
    static void (TfmMain::*const kHandlers[])() = {&TfmMain::sbAppendClick, &TfmMain::sbInsertClick,
                                                   &TfmMain::sbChangeClick, &TfmMain::sbDeleteClick,
                                                   &TfmMain::sbUpClick,     &TfmMain::sbDownClick};
    for (size_t i = 0; i < sbScriptButtons.size(); ++i) {
        sbScriptButtons[i] =
            Named(new QPushButton(QString::fromLatin1(kCaptions[i]), paScriptButtons), kNames[i]);
        sbScriptButtons[i]->setEnabled(false);
        connect(sbScriptButtons[i], &QPushButton::clicked, this, kHandlers[i]);
    }
    sbAppend = sbScriptButtons[0];
    sbInsert = sbScriptButtons[1];
    sbChange = sbScriptButtons[2];
    sbDelete = sbScriptButtons[3];
    sbUp = sbScriptButtons[4];
    sbDown = sbScriptButtons[5];
    paScriptAcceptCancel = Named(new QWidget(paScriptMaintenance), "paScriptAcceptCancel");
    bbAccept = Named(new QPushButton(QStringLiteral("Accept"), paScriptAcceptCancel), "bbAccept");
    bbCancel = Named(new QPushButton(QStringLiteral("Cancel"), paScriptAcceptCancel), "bbCancel");
    connect(bbAccept, &QPushButton::clicked, this, &TfmMain::bbAcceptClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfmMain::bbCancelClick);
    paScriptAcceptCancel->hide();
}

void TfmMain::BuildStatusBar() {
    auto* bar = Named(new QStatusBar(this), "StatusBar1");
    setStatusBar(bar);
    bar->setSizeGripEnabled(true);
    StatusBar1Text = MakeLabel("StatusBar1Text", QString(), bar);
    bar->addWidget(StatusBar1Text, 1);
    pbProgress = Named(new QProgressBar(bar), "pbProgress");
    pbProgress->setMaximumWidth(220);
    pbProgress->setTextVisible(false);
    bbCancelRun = Named(new QPushButton(QStringLiteral("Cancel"), bar), "bbCancelRun");
    bbCancelRun->setToolTip(QStringLiteral("Stop the search (Esc)"));
    bar->addPermanentWidget(pbProgress);
    bar->addPermanentWidget(bbCancelRun);
    pbProgress->hide();
    bbCancelRun->hide();
    connect(bbCancelRun, &QPushButton::clicked, this, &TfmMain::CancelRun);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &TfmMain::CancelRun);
}

QAction* TfmMain::AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                              void (TfmMain::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (handler != nullptr)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void TfmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    mmFile = Named(bar->addMenu(QStringLiteral("&File")), "mmFile");
    mmFile_Preferences = AddMenuItem(mmFile, "mmFile_Preferences", QStringLiteral("Preferences"),
                                     &TfmMain::mmFile_PreferencesClick);
    AddMenuItem(mmFile, "mmFile_Exit", QStringLiteral("Exit"), &TfmMain::mmFile_ExitClick);

    mmMode = Named(bar->addMenu(QStringLiteral("&Mode")), "mmMode");
    mmMode_Find =
        AddMenuItem(mmMode, "mmMode_Find", QStringLiteral("Find"), &TfmMain::mmMode_FindClick);
    mmMode_FindandReplace =
        AddMenuItem(mmMode, "mmMode_FindandReplace", QStringLiteral("Find and Replace"),
                    &TfmMain::mmMode_FindAndReplaceClick);
    mmMode_Script = AddMenuItem(mmMode, "mmMode_Script", QStringLiteral("Script"),
                                &TfmMain::mmMode_ScriptClick);
    mmMode_View =
        AddMenuItem(mmMode, "mmMode_View", QStringLiteral("View"), &TfmMain::mmMode_ViewClick);
    mmMode_View->setVisible(false);
    for (QAction* a : {mmMode_Find, mmMode_FindandReplace, mmMode_Script, mmMode_View})
        a->setCheckable(true);

    mmView = Named(bar->addMenu(QStringLiteral("&View")), "mmView");
    mmView_Folders[0] =
        AddMenuItem(mmView, "mmView_FoldersList", QStringLiteral("Folders list"), nullptr);
    mmView_Folders[1] = AddMenuItem(mmView, "mmView_FoldersAndFilesList",
                                    QStringLiteral("Folders and Files list"), nullptr);
    for (QAction* a : mmView_Folders)
        a->setVisible(false);
    mmView_Results = {
        AddMenuItem(mmView, "mmView_LinesWithMatches", QStringLiteral("Lines with Matches"),
                    &TfmMain::mmView_LinesWithMatchesClick),
        AddMenuItem(mmView, "mmView_MatchesOnly", QStringLiteral("Matches Only"),
                    &TfmMain::mmView_MatchesOnlyClick),
        AddMenuItem(mmView, "mmView_UniqueMatches", QStringLiteral("Unique Matches"),
                    &TfmMain::mmView_UniqueMatchesClick),
        AddMenuItem(mmView, "mmView_UniqueMatchesSorted", QStringLiteral("Unique Matches (sorted)"),
                    &TfmMain::mmView_UniqueMatchesSortedClick)};

    mmScript = Named(bar->addMenu(QStringLiteral("&Script")), "mmScript");
    mmScript_New =
        AddMenuItem(mmScript, "mmScript_New", QStringLiteral("New"), &TfmMain::mmScript_NewClick);
    mmScript_Open = AddMenuItem(mmScript, "mmScript_Open", QStringLiteral("Open"),
                                &TfmMain::mmScript_OpenClick);
    mmScript_Save = AddMenuItem(mmScript, "mmScript_Save", QStringLiteral("Save"),
                                &TfmMain::mmScript_SaveClick);
    mmScript_SaveAs = AddMenuItem(mmScript, "mmScript_SaveAs", QStringLiteral("Save-As"),
                                  &TfmMain::mmScript_SaveAsClick);
    mmScript_Run =
        AddMenuItem(mmScript, "mmScript_Run", QStringLiteral("Run"), &TfmMain::mmScript_RunClick);
    mmScript->addSeparator();
    mmScript_ViewScript =
        AddMenuItem(mmScript, "mmScript_ViewScript", QStringLiteral("View Script"),
                    &TfmMain::mmScript_ViewScriptClick);
    mmScript_ViewResults =
        AddMenuItem(mmScript, "mmScript_ViewResults", QStringLiteral("View Results"),
                    &TfmMain::mmScript_ViewResultsClick);

    mmHelp = Named(bar->addMenu(QStringLiteral("&Help")), "mmHelp");
    AddMenuItem(mmHelp, "mmHelp_QuickStartGuide", QStringLiteral("Quick Start Guide"),
                &TfmMain::mmHelp_QuickStartGuideClick);
    AddMenuItem(mmHelp, "mmHelp_LatestVersion", QStringLiteral("What is latest version ?"),
                &TfmMain::mmHelp_LatestVersionClick);
    AddMenuItem(mmHelp, "mmHelp_References", QStringLiteral("References"),
                &TfmMain::mmHelp_ReferencesClick);
    AddMenuItem(mmHelp, "mmHelp_About", QStringLiteral("About"), &TfmMain::mmHelp_AboutClick);
}

void TfmMain::BuildPopupMenus() {
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    pumRemoveEntry = AddMenuItem(PopupMenu1, "pumRemoveEntry", QStringLiteral("Remove entry"),
                                 &TfmMain::pumRemoveEntryClick);
    pumRemoveAll = AddMenuItem(PopupMenu1, "pumRemoveAll", QStringLiteral("Remove All"),
                               &TfmMain::pumRemoveAllClick);
    AddMenuItem(PopupMenu1, "pumCancel", QStringLiteral("Cancel"), nullptr);

    // The results grid's menu: open, copy, save. The two "Open with" items wait for a press
    // on a file header row.
    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    Openwithpreferrededitor1 = AddMenuItem(PopupMenu2, "Openwithpreferrededitor1",
                                           QStringLiteral("Open with preferred editor"),
                                           &TfmMain::Openwithpreferrededitor1Click);
    PopupMenu2->addSeparator();
    Openwithdefaultprogram1 = AddMenuItem(PopupMenu2, "Openwithdefaultprogram1",
                                          QStringLiteral("Open with default program"),
                                          &TfmMain::Openwithdefaultprogram1Click);
    PopupMenu2->addSeparator();
    pumCopy = AddMenuItem(PopupMenu2, "pumCopy", QStringLiteral("Copy all results to Clipboard"),
                          &TfmMain::pumCopyClick);
    pumCopyToTextFile = AddMenuItem(PopupMenu2, "pumCopyToTextFile",
                                    QStringLiteral("Save all results to Text File"),
                                    &TfmMain::pumCopyToTextFileClick);
    PopupMenu2->addSeparator();
    SaveallresultsfilenamesonlytoTextfile1 =
        AddMenuItem(PopupMenu2, "SaveallresultsfilenamesonlytoTextfile1",
                    QStringLiteral("Save all results (filenames only) to Text file"),
                    &TfmMain::SaveallresultsfilenamesonlytoTextfile1Click);
    PopupMenu2->addSeparator();
    AddMenuItem(PopupMenu2, "pumCancelCopy", QStringLiteral("Cancel"), nullptr);
    Openwithpreferrededitor1->setEnabled(false);
    Openwithdefaultprogram1->setEnabled(false);
    DrawGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DrawGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (FGridContent != gcScript)
            PopupMenu2->popup(DrawGrid1->mapToGlobal(pos));
    });
    connect(DrawGrid1, &TkesDrawGrid::MouseDown, this, &TfmMain::DrawGrid1MouseDown);
    connect(DrawGrid1, &TkesDrawGrid::DoubleClicked, this, [this] { DrawGrid1DblClick(); });
    connect(DrawGrid1, &TkesDrawGrid::KeyDown, this, &TfmMain::ScriptGridKeyDown);
}
