// The four modes: switching, the mode status line and enable rules, what the grid shows, the
// criteria-row states, and the results views with their summary labels.
#include "kes_fmMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace {

const QColor kBlack{0, 0, 0};
const QColor kGreyText{0xA0, 0xA0, 0xA4};
const QColor kMidGrey{0x80, 0x80, 0x80};
const QColor kPaleGrey{0xEE, 0xEE, 0xEE};
const QColor kTeal{0x00, 0x80, 0x80};
const QColor kWhite{0xFF, 0xFF, 0xFF};

void SetTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// The box's field colour while it can be edited; a disabled box keeps the look of a disabled
// field, so it never passes for an editable one.
void SetBoxBackground(QComboBox* box, const QColor& color) {
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base, color);
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     QApplication::palette().color(QPalette::Disabled, QPalette::Base));
    box->setPalette(palette);
}

QColor WindowColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}
QColor Light3DColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Light);
}

} // namespace

void TfmMain::SetMode(kes::TkesMode mode) {
    if (mode == kes::mdScript && FMode != kes::mdScript) {
        kes::ClearScript(FScript); // nothing unsaved can exist outside Script mode
        ClearCriteria();
    }
    if (mode != kes::mdScript && FMode == kes::mdScript) {
        if (!LeaveScript()) {
            // The user keeps the script: mode, grid and controls stay as they are, and the
            // menu item just clicked does not stay checked beside Script.
            for (QAction* item : {mmMode_Find, mmMode_FindandReplace, mmMode_View})
                item->setChecked(false);
            return;
        }
        ClearCriteria();
        FSavedIndex[kes::kSavedFolders] = -1;
        FSavedIndex[kes::kSavedFiles] = -1;
        FSavedIndex[kes::kSavedFind] = -1;
    }
    switch (mode) {
    case kes::mdFind:
        LayoutCriteriaPanel(-32, false);
        break;
    case kes::mdScript:
        LayoutCriteriaPanel(40, true);
        break;
    default:
        LayoutCriteriaPanel(0, false);
        break;
    }
    ResetModeControls();
    ApplyModeSettings(mode);
    static const char* const kNames[] = {"Find", "Find & Replace", "Script", "View Folders/Files"};
    laModeName->setText(QString::fromLatin1(kNames[mode]) + QStringLiteral(" mode"));
    FMode = mode;
    RefreshModeStatus(mode);
    if (mode == kes::mdFind || mode == kes::mdFindAndReplace)
        SetGridContent(gcEmpty);
    else if (mode == kes::mdScript)
        SetGridContent(gcScript);
    emit ModeChanged(mode);
}

void TfmMain::ResetModeControls() {
    for (QAction* item : {mmMode_Find, mmMode_FindandReplace, mmMode_Script, mmMode_View}) {
        item->setEnabled(true);
        item->setChecked(false);
    }
    for (QAction* item : mmView_Results)
        item->setEnabled(false);
    for (QAction* item : mmView_Folders)
        item->setEnabled(false);
    mmScript->menuAction()->setEnabled(false);
    for (QAction* item : mmScript->actions())
        item->setEnabled(false);
    laItemNo->clear(); // a script item's number means nothing outside Script mode
    for (QLabel* label : {laFolders, laFiles})
        SetTextColor(label, kBlack);
    for (QLabel* label : {laFind, laFindRegEx, laReplace})
        SetTextColor(label, kGreyText);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, sbFolders, sbFiles})
        w->setEnabled(true);
    cboxFind->setEnabled(false);
    cboxReplace->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{bbFind, bbReplace, bbList, bbRunScript,
                                                      paStatus, paScriptMaintenance})
        w->hide();
}

void TfmMain::ApplyModeSettings(kes::TkesMode mode) {
    switch (mode) {
    case kes::mdFind:
        mmMode_Find->setEnabled(false);
        mmMode_Find->setChecked(true);
        SetTextColor(laFind, kBlack);
        SetTextColor(laFindRegEx, kTeal);
        SetBoxIndex(cboxFolders, FSavedIndex[kes::kSavedFolders]);
        SetBoxIndex(cboxFiles, FSavedIndex[kes::kSavedFiles]);
        SetBoxIndex(cboxFind, FSavedIndex[kes::kSavedFind]);
        SetBoxIndex(cboxReplace, -1);
        cboxFind->setEnabled(true);
        SetBoxBackground(cboxReplace, Light3DColour());
        bbFind->show();
        paStatus->show();
        break;
    case kes::mdFindAndReplace:
        mmMode_FindandReplace->setEnabled(false);
        mmMode_FindandReplace->setChecked(true);
        SetTextColor(laFind, kBlack);
        SetTextColor(laFindRegEx, kTeal);
        SetTextColor(laReplace, kBlack);
        SetBoxIndex(cboxFolders, FSavedIndex[kes::kSavedFolders]);
        SetBoxIndex(cboxFiles, FSavedIndex[kes::kSavedFiles]);
        SetBoxIndex(cboxFind, FSavedIndex[kes::kSavedFind]);
        SetBoxIndex(cboxReplace, FSavedIndex[kes::kSavedReplace]);
        cboxFind->setEnabled(true);
        cboxReplace->setEnabled(true);
        SetBoxBackground(cboxReplace, WindowColour());
        bbReplace->show();
        paStatus->show();
        break;
    case kes::mdScript:
        mmMode_Script->setEnabled(false);
        mmMode_Script->setChecked(true);
        DeactivateCriteriaRows();
        SetBoxIndex(cboxRootFolder, -1);
        ClearCriteria();
        SetBoxBackground(cboxReplace, WindowColour());
        bbRunScript->show();
        paScriptMaintenance->show();
        mmScript->menuAction()->setEnabled(true);
        break;
    case kes::mdViewFoldersFiles:
        mmMode_View->setEnabled(false);
        mmMode_View->setChecked(true);
        bbList->show();
        paStatus->show();
        break;
    }
}

void TfmMain::RefreshModeStatus(kes::TkesMode mode) {
    const kes::TkesSpecs criteria = GetCriteria();
    const bool folderFileFilled = !criteria.Folders.empty() && !criteria.Files.empty();
    QString text;
    if (mode == kes::mdFind || mode == kes::mdFindAndReplace) {
        const bool replacing = mode == kes::mdFindAndReplace;
        QPushButton* button = replacing ? bbReplace : bbFind;
        laModeDetail->hide();
        bool enable = true;
        if (FGridContent == gcResults)
            text = QStringLiteral("See below for results");
        else if (folderFileFilled && !criteria.Find.empty() &&
                 (!replacing || !criteria.Replace.empty()))
            text = replacing
                       ? QStringLiteral(
                             "Enter search and replace criteria, then press [Find] when ready")
                       : QStringLiteral("Enter search criteria, then press [Find] when ready");
        else {
            text = replacing ? QStringLiteral("Awaiting search and replace criteria")
                             : QStringLiteral("Awaiting search criteria");
            enable = false;
        }
        button->setEnabled(enable && !FRunning); // a running search keeps its button disabled
    } else if (mode == kes::mdScript) {
        laModeDetail->show();
        text = ComputeScriptStatus();
    }
    laModeStatus->setText(QStringLiteral("(") + text + QStringLiteral(")"));
    PlaceModeLine();
    QString bar = text == QStringLiteral("See below for results")
                      ? QStringLiteral(" Results now displaying")
                      : QStringLiteral(" ") + text;
    if (FGridContent == gcResults && !FRunNote.isEmpty())
        bar += QStringLiteral(" - ") + FRunNote;
    StatusBar1Text->setText(bar);
}

QString TfmMain::ComputeScriptStatus() {
    static const char* const kStates[] = {"Viewing", "Append new script item",
                                          "Insert new script item", "Change script item",
                                          "Results"};
    const bool hasItems = !FScript.Entries.empty();
    const bool viewing = FScript.State == kes::ssViewing;
    const bool results = FScript.State == kes::ssResults;
    for (QMenu* menu : {mmFile, mmMode, mmView, mmScript, mmHelp})
        menu->menuAction()->setEnabled(viewing || results);
    bbRunScript->setEnabled(viewing && hasItems && !FRunning);
    for (QAction* item : {mmScript_New, mmScript_Run, mmScript_SaveAs})
        item->setEnabled(viewing && hasItems);
    mmScript_Open->setEnabled(viewing);
    mmScript_Save->setEnabled(viewing && FScript.Changed);
    mmScript_ViewScript->setEnabled(results);
    // A running search owns the results; they are read only once it has ended.
    mmScript_ViewResults->setEnabled(viewing && !FRunning && FResults.FilesScanned >= 1);
    laModeDetail->setText(FScript.FileName.empty() ? QStringLiteral("New script")
                                                   : QString::fromStdString(FScript.FileName));
    DrawGrid1->setEnabled((bbRunScript->isEnabled() && viewing) || results);
    return QString::fromLatin1(kStates[FScript.State]);
}

void TfmMain::SetGridContent(TGridContent content) {
    for (QAction* item : mmView_Results)
        item->setEnabled(false);
    if (FGridContent == gcResults && content != gcResults)
        FResultRows.clear();
    FGridContent = content;
    switch (content) {
    case gcEmpty:
        paScriptMaintenance->hide();
        DrawGrid1->ClearDrawGrid(1);
        DrawGrid1->ShowEmpty();
        DrawGrid1->setEnabled(false);
        for (QLabel* label : laMatchResults)
            label->clear();
        break;
    case gcResults:
        if (FMode == kes::mdScript) {
            paStatus->show();
            paScriptMaintenance->hide();
            ClearCriteria();
        }
        ShowResults();
        EnableFindButtons();
        for (QAction* item : mmView_Results)
            item->setEnabled(true);
        break;
    case gcScript:
        DrawGrid1->ClearDrawGrid(4);
        paScriptMaintenance->show();
        paScriptAcceptCancel->hide();
        SetScriptState(kes::ssViewing);
        break;
    }
    DrawGrid1->setContextMenuPolicy(content == gcScript ? Qt::NoContextMenu
                                                        : Qt::CustomContextMenu);
}

void TfmMain::ShowResults() {
    for (size_t i = 1; i < laMatchResults.size(); ++i)
        laMatchResults[i]->show();
    const int32_t unique = kes::BuildResultRows(FResults, FResultView, FResultRows);
    if (FResultView == kes::rvUniqueMatches || FResultView == kes::rvUniqueMatchesSorted)
        FUniqueMatchCount = unique;
    const kes::TSummaryTexts texts = kes::SummaryTexts(FResults, FResultView, FUniqueMatchCount);
    laMatchResults[0]->setText(QString::fromStdString(texts.Label1));
    laMatchResults[1]->setText(QString::fromStdString(texts.Label2));
    laMatchResults[2]->setText(QString::fromStdString(texts.Label3));
    laMatchResults[3]->setText(QString::fromStdString(texts.Label4));
    PlaceStatusLabels();
    if (DrawGrid1->ColumnCount() != 1)
        DrawGrid1->ClearDrawGrid(1);
    DrawGrid1->ShowResults(&FResults, &FResultRows);
    DrawGrid1->setEnabled(FResults.TotalMatches >= 1);
}

void TfmMain::mmView_LinesWithMatchesClick() {
    FResultView = kes::rvLinesWithMatches;
    SetGridContent(gcResults);
}

void TfmMain::mmView_MatchesOnlyClick() {
    FResultView = kes::rvMatchesOnly;
    SetGridContent(gcResults);
}

void TfmMain::mmView_UniqueMatchesClick() {
    FResultView = kes::rvUniqueMatches;
    SetGridContent(gcResults);
}

void TfmMain::mmView_UniqueMatchesSortedClick() {
    FResultView = kes::rvUniqueMatchesSorted;
    SetGridContent(gcResults);
}

void TfmMain::ClearCriteria() {
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxFind, cboxReplace})
        SetBoxIndex(box, -1);
}

void TfmMain::ActivateRootFolderRow() {
    SetTextColor(laRootFolder, kBlack);
    cboxRootFolder->setEnabled(true);
    SetBoxBackground(cboxRootFolder, kWhite);
    sbRootFolder->setVisible(FShowRoot);
}

void TfmMain::DeactivateRootFolderRow() {
    SetTextColor(laRootFolder, kMidGrey);
    cboxRootFolder->setEnabled(false);
    SetBoxBackground(cboxRootFolder, kPaleGrey);
    sbRootFolder->hide();
}

void TfmMain::DeactivateCriteriaRows() {
    for (QLabel* label : {laFolders, laFiles, laFind, laFindRegEx, laReplace})
        SetTextColor(label, kMidGrey);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, cboxFind, cboxReplace,
                                                      sbFolders, sbFiles})
        w->setEnabled(false);
    ActivateRootFolderRow();
}

void TfmMain::ActivateFolderFileRows() {
    SetTextColor(laFolders, kBlack);
    SetTextColor(laFiles, kBlack);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, sbFolders, sbFiles})
        w->setEnabled(true);
}

void TfmMain::ActivateFindReplaceRows() {
    SetTextColor(laFind, kBlack);
    SetTextColor(laFindRegEx, kTeal);
    SetTextColor(laReplace, kBlack);
    cboxFind->setEnabled(true);
    cboxReplace->setEnabled(true);
}

void TfmMain::ActivateAllCriteriaRows() {
    ActivateFolderFileRows();
    ActivateFindReplaceRows();
    DeactivateRootFolderRow();
}

void TfmMain::EnableFindButtons() {
    bbFind->setEnabled(true);
    bbReplace->setEnabled(true);
}

kes::TkesSpecs TfmMain::GetCriteria() const {
    kes::TkesSpecs specs;
    specs.Folders = cboxFolders->currentText().toStdString();
    specs.Files = cboxFiles->currentText().toStdString();
    specs.Find = cboxFind->currentText().toStdString();
    specs.Replace = cboxReplace->currentText().toStdString();
    return specs;
}
