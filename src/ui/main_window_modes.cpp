// The four modes: switching, the mode status line and enable rules, what the grid shows, the
// criteria-row states, and the results views with their summary labels.
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace kestrava::ui {

namespace {

const QColor kBlack{0, 0, 0};
const QColor kGreyText{0xA0, 0xA0, 0xA4};
const QColor kMidGrey{0x80, 0x80, 0x80};
const QColor kPaleGrey{0xEE, 0xEE, 0xEE};
const QColor kTeal{0x00, 0x80, 0x80};
const QColor kWhite{0xFF, 0xFF, 0xFF};

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// The box's field colour while it can be edited; a disabled box keeps the look of a disabled
// field, so it never passes for an editable one.
void setBoxBackground(QComboBox* box, const QColor& color) {
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base, color);
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     QApplication::palette().color(QPalette::Disabled, QPalette::Base));
    box->setPalette(palette);
}

QColor windowColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}
QColor light3DColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Light);
}

} // namespace

void MainWindow::setMode(util::Mode mode) {
    if (mode == util::Mode::Script && m_mode != util::Mode::Script) {
        script::clearScript(m_script); // nothing unsaved can exist outside Script mode
        clearCriteria();
    }
    if (mode != util::Mode::Script && m_mode == util::Mode::Script) {
        if (!leaveScript()) {
            // The user keeps the script: mode, grid and controls stay as they are, and the
            // menu item just clicked does not stay checked beside Script.
            for (QAction* item : {mmMode_Find, mmMode_FindandReplace, mmMode_View})
                item->setChecked(false);
            return;
        }
        clearCriteria();
        m_savedIndex[kSavedFolders] = -1;
        m_savedIndex[kSavedFiles] = -1;
        m_savedIndex[kSavedFind] = -1;
    }
    switch (mode) {
    case util::Mode::Find:
        layoutCriteriaPanel(-32, false);
        break;
    case util::Mode::Script:
        layoutCriteriaPanel(40, true);
        break;
    default:
        layoutCriteriaPanel(0, false);
        break;
    }
    resetModeControls();
    applyModeSettings(mode);
    static const char* const kNames[] = {"Find", "Find & Replace", "Script", "View Folders/Files"};
    laModeName->setText(QString::fromLatin1(kNames[static_cast<size_t>(mode)]) +
                        QStringLiteral(" mode"));
    m_mode = mode;
    refreshModeStatus(mode);
    if (mode == util::Mode::Find || mode == util::Mode::FindAndReplace)
        setGridContent(GridContent::Empty);
    else if (mode == util::Mode::Script)
        setGridContent(GridContent::Script);
    emit modeChanged(mode);
}

void MainWindow::resetModeControls() {
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
        setTextColor(label, kBlack);
    for (QLabel* label : {laFind, laFindRegEx, laReplace})
        setTextColor(label, kGreyText);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, sbFolders, sbFiles})
        w->setEnabled(true);
    cboxFind->setEnabled(false);
    cboxReplace->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{bbFind, bbReplace, bbList, bbRunScript,
                                                      paStatus, paScriptMaintenance})
        w->hide();
}

void MainWindow::applyModeSettings(util::Mode mode) {
    switch (mode) {
    case util::Mode::Find:
        mmMode_Find->setEnabled(false);
        mmMode_Find->setChecked(true);
        setTextColor(laFind, kBlack);
        setTextColor(laFindRegEx, kTeal);
        setBoxIndex(cboxFolders, m_savedIndex[kSavedFolders]);
        setBoxIndex(cboxFiles, m_savedIndex[kSavedFiles]);
        setBoxIndex(cboxFind, m_savedIndex[kSavedFind]);
        setBoxIndex(cboxReplace, -1);
        cboxFind->setEnabled(true);
        setBoxBackground(cboxReplace, light3DColour());
        bbFind->show();
        paStatus->show();
        break;
    case util::Mode::FindAndReplace:
        mmMode_FindandReplace->setEnabled(false);
        mmMode_FindandReplace->setChecked(true);
        setTextColor(laFind, kBlack);
        setTextColor(laFindRegEx, kTeal);
        setTextColor(laReplace, kBlack);
        setBoxIndex(cboxFolders, m_savedIndex[kSavedFolders]);
        setBoxIndex(cboxFiles, m_savedIndex[kSavedFiles]);
        setBoxIndex(cboxFind, m_savedIndex[kSavedFind]);
        setBoxIndex(cboxReplace, m_savedIndex[kSavedReplace]);
        cboxFind->setEnabled(true);
        cboxReplace->setEnabled(true);
        setBoxBackground(cboxReplace, windowColour());
        bbReplace->show();
        paStatus->show();
        break;
    case util::Mode::Script:
        mmMode_Script->setEnabled(false);
        mmMode_Script->setChecked(true);
        deactivateCriteriaRows();
        setBoxIndex(cboxRootFolder, -1);
        clearCriteria();
        setBoxBackground(cboxReplace, windowColour());
        bbRunScript->show();
        paScriptMaintenance->show();
        mmScript->menuAction()->setEnabled(true);
        break;
    case util::Mode::ViewFoldersFiles:
        mmMode_View->setEnabled(false);
        mmMode_View->setChecked(true);
        bbList->show();
        paStatus->show();
        break;
    }
}

void MainWindow::refreshModeStatus(util::Mode mode) {
    const search::Criteria criteria = getCriteria();
    const bool folderFileFilled = !criteria.folders.empty() && !criteria.files.empty();
    QString text;
    if (mode == util::Mode::Find || mode == util::Mode::FindAndReplace) {
        const bool replacing = mode == util::Mode::FindAndReplace;
        QPushButton* button = replacing ? bbReplace : bbFind;
        laModeDetail->hide();
        bool enable = true;
        if (m_gridContent == GridContent::Results)
            text = QStringLiteral("See below for results");
        else if (folderFileFilled && !criteria.find.empty() &&
                 (!replacing || !criteria.replace.empty()))
            text = replacing
                       ? QStringLiteral(
                             "Enter search and replace criteria, then press [Find] when ready")
                       : QStringLiteral("Enter search criteria, then press [Find] when ready");
        else {
            text = replacing ? QStringLiteral("Awaiting search and replace criteria")
                             : QStringLiteral("Awaiting search criteria");
            enable = false;
        }
        button->setEnabled(enable && !m_running); // a running search keeps its button disabled
    } else if (mode == util::Mode::Script) {
        laModeDetail->show();
        text = computeScriptStatus();
    }
    laModeStatus->setText(QStringLiteral("(") + text + QStringLiteral(")"));
    placeModeLine();
    QString bar = text == QStringLiteral("See below for results")
                      ? QStringLiteral(" Results now displaying")
                      : QStringLiteral(" ") + text;
    if (m_gridContent == GridContent::Results && !m_runNote.isEmpty())
        bar += QStringLiteral(" - ") + m_runNote;
    StatusBar1Text->setText(bar);
}

QString MainWindow::computeScriptStatus() {
    static const char* const kStates[] = {"Viewing", "Append new script item",
                                          "Insert new script item", "Change script item",
                                          "Results"};
    const bool hasItems = !m_script.entries.empty();
    const bool viewing = m_script.state == script::ScriptEditState::Viewing;
    const bool results = m_script.state == script::ScriptEditState::Results;
    for (QMenu* menu : {mmFile, mmMode, mmView, mmScript, mmHelp})
        menu->menuAction()->setEnabled(viewing || results);
    bbRunScript->setEnabled(viewing && hasItems && !m_running);
    for (QAction* item : {mmScript_New, mmScript_Run, mmScript_SaveAs})
        item->setEnabled(viewing && hasItems);
    mmScript_Open->setEnabled(viewing);
    mmScript_Save->setEnabled(viewing && m_script.changed);
    mmScript_ViewScript->setEnabled(results);
    // A running search owns the results; they are read only once it has ended.
    mmScript_ViewResults->setEnabled(viewing && !m_running && m_results.filesScanned >= 1);
    laModeDetail->setText(m_script.fileName.empty() ? QStringLiteral("New script")
                                                    : QString::fromStdString(m_script.fileName));
    DrawGrid1->setEnabled((bbRunScript->isEnabled() && viewing) || results);
    return QString::fromLatin1(kStates[static_cast<size_t>(m_script.state)]);
}

void MainWindow::setGridContent(GridContent content) {
    for (QAction* item : mmView_Results)
        item->setEnabled(false);
    if (m_gridContent == GridContent::Results && content != GridContent::Results)
        m_resultRows.clear();
    m_gridContent = content;
    switch (content) {
    case GridContent::Empty:
        paScriptMaintenance->hide();
        DrawGrid1->clearDrawGrid(1);
        DrawGrid1->showEmpty();
        DrawGrid1->setEnabled(false);
        for (QLabel* label : laMatchResults)
            label->clear();
        break;
    case GridContent::Results:
        if (m_mode == util::Mode::Script) {
            paStatus->show();
            paScriptMaintenance->hide();
            clearCriteria();
        }
        showResults();
        enableFindButtons();
        for (QAction* item : mmView_Results)
            item->setEnabled(true);
        break;
    case GridContent::Script:
        DrawGrid1->clearDrawGrid(4);
        paScriptMaintenance->show();
        paScriptAcceptCancel->hide();
        setScriptState(script::ScriptEditState::Viewing);
        break;
    }
    DrawGrid1->setContextMenuPolicy(content == GridContent::Script ? Qt::NoContextMenu
                                                                   : Qt::CustomContextMenu);
}

void MainWindow::showResults() {
    for (size_t i = 1; i < laMatchResults.size(); ++i)
        laMatchResults[i]->show();
    const int32_t unique = results::buildResultRows(m_results, m_resultView, m_resultRows);
    if (m_resultView == results::View::UniqueMatches ||
        m_resultView == results::View::UniqueMatchesSorted)
        m_uniqueMatchCount = unique;
    const results::SummaryTexts texts =
        results::summaryTexts(m_results, m_resultView, m_uniqueMatchCount);
    laMatchResults[0]->setText(QString::fromStdString(texts.searchedAndFound));
    laMatchResults[1]->setText(QString::fromStdString(texts.matchesWord));
    laMatchResults[2]->setText(QString::fromStdString(texts.inFiles));
    laMatchResults[3]->setText(QString::fromStdString(texts.uniqueMatches));
    placeStatusLabels();
    if (DrawGrid1->columnCount() != 1)
        DrawGrid1->clearDrawGrid(1);
    DrawGrid1->showResults(&m_results, &m_resultRows);
    DrawGrid1->setEnabled(m_results.totalMatches >= 1);
}

void MainWindow::mmView_LinesWithMatchesClick() {
    m_resultView = results::View::LinesWithMatches;
    setGridContent(GridContent::Results);
}

void MainWindow::mmView_MatchesOnlyClick() {
    m_resultView = results::View::MatchesOnly;
    setGridContent(GridContent::Results);
}

void MainWindow::mmView_UniqueMatchesClick() {
    m_resultView = results::View::UniqueMatches;
    setGridContent(GridContent::Results);
}

void MainWindow::mmView_UniqueMatchesSortedClick() {
    m_resultView = results::View::UniqueMatchesSorted;
    setGridContent(GridContent::Results);
}

void MainWindow::clearCriteria() {
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxFind, cboxReplace})
        setBoxIndex(box, -1);
}

void MainWindow::activateRootFolderRow() {
    setTextColor(laRootFolder, kBlack);
    cboxRootFolder->setEnabled(true);
    setBoxBackground(cboxRootFolder, kWhite);
    sbRootFolder->setVisible(m_showRoot);
}

void MainWindow::deactivateRootFolderRow() {
    setTextColor(laRootFolder, kMidGrey);
    cboxRootFolder->setEnabled(false);
    setBoxBackground(cboxRootFolder, kPaleGrey);
    sbRootFolder->hide();
}

void MainWindow::deactivateCriteriaRows() {
    for (QLabel* label : {laFolders, laFiles, laFind, laFindRegEx, laReplace})
        setTextColor(label, kMidGrey);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, cboxFind, cboxReplace,
                                                      sbFolders, sbFiles})
        w->setEnabled(false);
    activateRootFolderRow();
}

void MainWindow::activateFolderFileRows() {
    setTextColor(laFolders, kBlack);
    setTextColor(laFiles, kBlack);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxFolders, cboxFiles, sbFolders, sbFiles})
        w->setEnabled(true);
}

void MainWindow::activateFindReplaceRows() {
    setTextColor(laFind, kBlack);
    setTextColor(laFindRegEx, kTeal);
    setTextColor(laReplace, kBlack);
    cboxFind->setEnabled(true);
    cboxReplace->setEnabled(true);
}

void MainWindow::activateAllCriteriaRows() {
    activateFolderFileRows();
    activateFindReplaceRows();
    deactivateRootFolderRow();
}

void MainWindow::enableFindButtons() {
    bbFind->setEnabled(true);
    bbReplace->setEnabled(true);
}

search::Criteria MainWindow::getCriteria() const {
    search::Criteria specs;
    specs.folders = cboxFolders->currentText().toStdString();
    specs.files = cboxFiles->currentText().toStdString();
    specs.find = cboxFind->currentText().toStdString();
    specs.replace = cboxReplace->currentText().toStdString();
    return specs;
}

} // namespace kestrava::ui
