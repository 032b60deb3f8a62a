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
            for (QAction* item : {m_findModeAction, m_replaceModeAction, m_viewModeAction})
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
    modeNameLabel->setText(QString::fromLatin1(kNames[static_cast<size_t>(mode)]) +
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
    for (QAction* item :
         {m_findModeAction, m_replaceModeAction, m_scriptModeAction, m_viewModeAction}) {
        item->setEnabled(true);
        item->setChecked(false);
    }
    for (QAction* item : m_viewActions)
        item->setEnabled(false);
    for (QAction* item : m_folderViewActions)
        item->setEnabled(false);
    m_scriptMenu->menuAction()->setEnabled(false);
    for (QAction* item : m_scriptMenu->actions())
        item->setEnabled(false);
    itemNumberLabel->clear(); // a script item's number means nothing outside Script mode
    for (QLabel* label : {foldersLabel, filesLabel})
        setTextColor(label, kBlack);
    for (QLabel* label : {findLabel, regexHintLabel, replaceLabel})
        setTextColor(label, kGreyText);
    for (QWidget* w : std::initializer_list<QWidget*>{foldersCombo, filesCombo, pickFoldersButton,
                                                      pickFileButton})
        w->setEnabled(true);
    findCombo->setEnabled(false);
    replaceCombo->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{findButton, replaceButton, listButton,
                                                      runScriptButton, summaryPanel, scriptBar})
        w->hide();
}

void MainWindow::applyModeSettings(util::Mode mode) {
    switch (mode) {
    case util::Mode::Find:
        m_findModeAction->setEnabled(false);
        m_findModeAction->setChecked(true);
        setTextColor(findLabel, kBlack);
        setTextColor(regexHintLabel, kTeal);
        setBoxIndex(foldersCombo, m_savedIndex[kSavedFolders]);
        setBoxIndex(filesCombo, m_savedIndex[kSavedFiles]);
        setBoxIndex(findCombo, m_savedIndex[kSavedFind]);
        setBoxIndex(replaceCombo, -1);
        findCombo->setEnabled(true);
        setBoxBackground(replaceCombo, light3DColour());
        findButton->show();
        summaryPanel->show();
        break;
    case util::Mode::FindAndReplace:
        m_replaceModeAction->setEnabled(false);
        m_replaceModeAction->setChecked(true);
        setTextColor(findLabel, kBlack);
        setTextColor(regexHintLabel, kTeal);
        setTextColor(replaceLabel, kBlack);
        setBoxIndex(foldersCombo, m_savedIndex[kSavedFolders]);
        setBoxIndex(filesCombo, m_savedIndex[kSavedFiles]);
        setBoxIndex(findCombo, m_savedIndex[kSavedFind]);
        setBoxIndex(replaceCombo, m_savedIndex[kSavedReplace]);
        findCombo->setEnabled(true);
        replaceCombo->setEnabled(true);
        setBoxBackground(replaceCombo, windowColour());
        replaceButton->show();
        summaryPanel->show();
        break;
    case util::Mode::Script:
        m_scriptModeAction->setEnabled(false);
        m_scriptModeAction->setChecked(true);
        deactivateCriteriaRows();
        setBoxIndex(rootFolderCombo, -1);
        clearCriteria();
        setBoxBackground(replaceCombo, windowColour());
        runScriptButton->show();
        scriptBar->show();
        m_scriptMenu->menuAction()->setEnabled(true);
        break;
    case util::Mode::ViewFoldersFiles:
        m_viewModeAction->setEnabled(false);
        m_viewModeAction->setChecked(true);
        listButton->show();
        summaryPanel->show();
        break;
    }
}

void MainWindow::refreshModeStatus(util::Mode mode) {
    const search::Criteria criteria = getCriteria();
    const bool folderFileFilled = !criteria.folders.empty() && !criteria.files.empty();
    QString text;
    if (mode == util::Mode::Find || mode == util::Mode::FindAndReplace) {
        const bool replacing = mode == util::Mode::FindAndReplace;
        QPushButton* button = replacing ? replaceButton : findButton;
        modeDetailLabel->hide();
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
        modeDetailLabel->show();
        text = computeScriptStatus();
    }
    modeStatusLabel->setText(QStringLiteral("(") + text + QStringLiteral(")"));
    placeModeLine();
    QString bar = text == QStringLiteral("See below for results")
                      ? QStringLiteral(" Results now displaying")
                      : QStringLiteral(" ") + text;
    if (m_gridContent == GridContent::Results && !m_runNote.isEmpty())
        bar += QStringLiteral(" - ") + m_runNote;
    statusText->setText(bar);
}

QString MainWindow::computeScriptStatus() {
    static const char* const kStates[] = {"Viewing", "Append new script item",
                                          "Insert new script item", "Change script item",
                                          "Results"};
    const bool hasItems = !m_script.entries.empty();
    const bool viewing = m_script.state == script::ScriptEditState::Viewing;
    const bool results = m_script.state == script::ScriptEditState::Results;
    for (QMenu* menu : {m_fileMenu, m_modeMenu, m_viewMenu, m_scriptMenu, m_helpMenu})
        menu->menuAction()->setEnabled(viewing || results);
    runScriptButton->setEnabled(viewing && hasItems && !m_running);
    for (QAction* item : {m_newScriptAction, m_runScriptAction, m_saveScriptAsAction})
        item->setEnabled(viewing && hasItems);
    m_openScriptAction->setEnabled(viewing);
    m_saveScriptAction->setEnabled(viewing && m_script.changed);
    m_viewScriptAction->setEnabled(results);
    // A running search owns the results; they are read only once it has ended.
    m_viewScriptResultsAction->setEnabled(viewing && !m_running && m_results.filesScanned >= 1);
    modeDetailLabel->setText(m_script.fileName.empty() ? QStringLiteral("New script")
                                                       : QString::fromStdString(m_script.fileName));
    resultsGrid->setEnabled((runScriptButton->isEnabled() && viewing) || results);
    return QString::fromLatin1(kStates[static_cast<size_t>(m_script.state)]);
}

void MainWindow::setGridContent(GridContent content) {
    for (QAction* item : m_viewActions)
        item->setEnabled(false);
    if (m_gridContent == GridContent::Results && content != GridContent::Results)
        m_resultRows.clear();
    m_gridContent = content;
    switch (content) {
    case GridContent::Empty:
        scriptBar->hide();
        resultsGrid->clearDrawGrid(1);
        resultsGrid->showEmpty();
        resultsGrid->setEnabled(false);
        for (QLabel* label : summaryLabels)
            label->clear();
        break;
    case GridContent::Results:
        if (m_mode == util::Mode::Script) {
            summaryPanel->show();
            scriptBar->hide();
            clearCriteria();
        }
        showResults();
        enableFindButtons();
        for (QAction* item : m_viewActions)
            item->setEnabled(true);
        break;
    case GridContent::Script:
        resultsGrid->clearDrawGrid(4);
        scriptBar->show();
        acceptCancelPanel->hide();
        setScriptState(script::ScriptEditState::Viewing);
        break;
    }
    resultsGrid->setContextMenuPolicy(content == GridContent::Script ? Qt::NoContextMenu
                                                                     : Qt::CustomContextMenu);
}

void MainWindow::showResults() {
    for (size_t i = 1; i < summaryLabels.size(); ++i)
        summaryLabels[i]->show();
    const int32_t unique = results::buildResultRows(m_results, m_resultView, m_resultRows);
    if (m_resultView == results::View::UniqueMatches ||
        m_resultView == results::View::UniqueMatchesSorted)
        m_uniqueMatchCount = unique;
    const results::SummaryTexts texts =
        results::summaryTexts(m_results, m_resultView, m_uniqueMatchCount);
    summaryLabels[0]->setText(QString::fromStdString(texts.searchedAndFound));
    summaryLabels[1]->setText(QString::fromStdString(texts.matchesWord));
    summaryLabels[2]->setText(QString::fromStdString(texts.inFiles));
    summaryLabels[3]->setText(QString::fromStdString(texts.uniqueMatches));
    placeStatusLabels();
    if (resultsGrid->columnCount() != 1)
        resultsGrid->clearDrawGrid(1);
    resultsGrid->showResults(&m_results, &m_resultRows);
    resultsGrid->setEnabled(m_results.totalMatches >= 1);
}

void MainWindow::showLinesWithMatches() {
    m_resultView = results::View::LinesWithMatches;
    setGridContent(GridContent::Results);
}

void MainWindow::showMatchesOnly() {
    m_resultView = results::View::MatchesOnly;
    setGridContent(GridContent::Results);
}

void MainWindow::showUniqueMatches() {
    m_resultView = results::View::UniqueMatches;
    setGridContent(GridContent::Results);
}

void MainWindow::showUniqueMatchesSorted() {
    m_resultView = results::View::UniqueMatchesSorted;
    setGridContent(GridContent::Results);
}

void MainWindow::clearCriteria() {
    for (QComboBox* box : {foldersCombo, filesCombo, findCombo, replaceCombo})
        setBoxIndex(box, -1);
}

void MainWindow::activateRootFolderRow() {
    setTextColor(rootFolderLabel, kBlack);
    rootFolderCombo->setEnabled(true);
    setBoxBackground(rootFolderCombo, kWhite);
    pickRootFolderButton->setVisible(m_showRoot);
}

void MainWindow::deactivateRootFolderRow() {
    setTextColor(rootFolderLabel, kMidGrey);
    rootFolderCombo->setEnabled(false);
    setBoxBackground(rootFolderCombo, kPaleGrey);
    pickRootFolderButton->hide();
}

void MainWindow::deactivateCriteriaRows() {
    for (QLabel* label : {foldersLabel, filesLabel, findLabel, regexHintLabel, replaceLabel})
        setTextColor(label, kMidGrey);
    for (QWidget* w : std::initializer_list<QWidget*>{
             foldersCombo, filesCombo, findCombo, replaceCombo, pickFoldersButton, pickFileButton})
        w->setEnabled(false);
    activateRootFolderRow();
}

void MainWindow::activateFolderFileRows() {
    setTextColor(foldersLabel, kBlack);
    setTextColor(filesLabel, kBlack);
    for (QWidget* w : std::initializer_list<QWidget*>{foldersCombo, filesCombo, pickFoldersButton,
                                                      pickFileButton})
        w->setEnabled(true);
}

void MainWindow::activateFindReplaceRows() {
    setTextColor(findLabel, kBlack);
    setTextColor(regexHintLabel, kTeal);
    setTextColor(replaceLabel, kBlack);
    findCombo->setEnabled(true);
    replaceCombo->setEnabled(true);
}

void MainWindow::activateAllCriteriaRows() {
    activateFolderFileRows();
    activateFindReplaceRows();
    deactivateRootFolderRow();
}

void MainWindow::enableFindButtons() {
    findButton->setEnabled(true);
    replaceButton->setEnabled(true);
}

search::Criteria MainWindow::getCriteria() const {
    search::Criteria specs;
    specs.folders = foldersCombo->currentText().toStdString();
    specs.files = filesCombo->currentText().toStdString();
    specs.find = findCombo->currentText().toStdString();
    specs.replace = replaceCombo->currentText().toStdString();
    return specs;
}

} // namespace kestrava::ui
