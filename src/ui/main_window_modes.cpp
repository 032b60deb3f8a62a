// The four modes: switching, the mode status line and enable rules, what the grid shows, and
// the results views with their summary line.
#include "main_window.h"

#include "criteria_panel.h"
#include "results_pane.h"
#include "script_editor.h"
#include "status_area.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace kestrava::ui {

void MainWindow::setMode(Mode mode) {
    if (mode == Mode::Script && m_mode != Mode::Script) {
        m_scriptEditor->clear(); // nothing unsaved can exist outside Script mode
        m_criteria->clear();
    }
    if (mode != Mode::Script && m_mode == Mode::Script) {
        if (!m_scriptEditor->leave()) {
            // The user keeps the script: mode, grid and controls stay as they are, and the
            // menu item just clicked does not stay checked beside Script.
            for (QAction* item : m_modeActions)
                item->setChecked(item == m_modeActions[static_cast<size_t>(Mode::Script)]);
            return;
        }
        m_criteria->clear();
        for (HistoryBox box :
             {HistoryBox::FoldersToSearch, HistoryBox::FilesToSearch, HistoryBox::FindExpressions})
            m_criteria->forgetSaved(box);
    }
    m_criteria->setRowsShown(mode == Mode::Script, mode != Mode::Find);
    m_criteria->setRemembersExpressions(mode == Mode::Find || mode == Mode::FindAndReplace);
    resetModeControls();
    applyModeSettings(mode);
    static const char* const kNames[] = {"Find", "Find & Replace", "Script", "View Folders/Files"};
    m_modeLine->showMode(QString::fromLatin1(kNames[static_cast<size_t>(mode)]) +
                         QStringLiteral(" mode"));
    m_mode = mode;
    refreshModeStatus();
    if (mode == Mode::Find || mode == Mode::FindAndReplace)
        setGridContent(GridContent::Empty);
    else if (mode == Mode::Script)
        setGridContent(GridContent::Script);
    emit modeChanged(mode);
}

void MainWindow::resetModeControls() {
    for (QAction* item : m_modeActions) {
        item->setEnabled(true);
        item->setChecked(false);
    }
    m_resultsPane->setViewsEnabled(false);
    m_scriptMenu->menuAction()->setEnabled(false);
    for (QAction* item : m_scriptMenu->actions())
        item->setEnabled(false);
    m_criteria->resetRows();
    m_criteria->setPreviewShown(false);
    m_previewChangesAction->setVisible(false);
    m_summaryLine->hide();
    m_scriptEditor->hide();
}

void MainWindow::applyModeSettings(Mode mode) {
    QAction* modeAction = m_modeActions[static_cast<size_t>(mode)];
    modeAction->setEnabled(false);
    modeAction->setChecked(true);
    const QPalette palette = QApplication::palette();
    switch (mode) {
    case Mode::Find:
    case Mode::FindAndReplace: {
        const bool replacing = mode == Mode::FindAndReplace;
        m_criteria->setFindRowsActive(replacing);
        for (HistoryBox box :
             {HistoryBox::FoldersToSearch, HistoryBox::FilesToSearch, HistoryBox::FindExpressions})
            m_criteria->restoreSaved(box);
        if (replacing)
            m_criteria->restoreSaved(HistoryBox::ReplaceExpressions);
        else
            m_criteria->clearBox(HistoryBox::ReplaceExpressions);
        m_criteria->setReplaceFieldColour(
            palette.color(QPalette::Active, replacing ? QPalette::Base : QPalette::Light));
        m_criteria->showActionButton(replacing ? ActionButton::Replace : ActionButton::Find);
        m_criteria->setPreviewShown(replacing);
        m_previewChangesAction->setVisible(replacing);
        m_summaryLine->show();
        break;
    }
    case Mode::Script:
        m_criteria->setAllRowsInactive();
        m_criteria->setRootFolderRowActive(true);
        m_criteria->clearBox(HistoryBox::RootFolders);
        m_criteria->clear();
        m_criteria->setReplaceFieldColour(palette.color(QPalette::Active, QPalette::Base));
        m_criteria->showActionButton(ActionButton::RunScript);
        m_criteria->setPreviewShown(true);
        m_previewChangesAction->setVisible(true);
        m_scriptEditor->show();
        m_scriptMenu->menuAction()->setEnabled(true);
        break;
    case Mode::ViewFoldersFiles:
        m_criteria->showActionButton(ActionButton::List);
        m_summaryLine->show();
        break;
    }
}

void MainWindow::refreshModeStatus() {
    const search::Criteria criteria = m_criteria->criteria();
    QString text;
    QString detail;
    if (m_mode == Mode::Find || m_mode == Mode::FindAndReplace) {
        const bool replacing = m_mode == Mode::FindAndReplace;
        bool enable = true;
        const bool complete = !criteria.folders.empty() && !criteria.files.empty() &&
                              !criteria.find.empty() && (!replacing || !criteria.replace.empty());
        if (m_gridContent == GridContent::Results) {
            text = QStringLiteral("See below for results");
        } else if (m_gridContent == GridContent::Plan) {
            text = QStringLiteral("Uncheck the changes to leave out, then press [Replace]");
        } else if (m_gridContent == GridContent::Report) {
            text = m_reportStatus;
            enable = complete;
        } else if (complete) {
            text = replacing
                       ? QStringLiteral(
                             "Enter search and replace criteria, then press [Replace] when ready")
                       : QStringLiteral("Enter search criteria, then press [Find] when ready");
        } else {
            text = replacing ? QStringLiteral("Awaiting search and replace criteria")
                             : QStringLiteral("Awaiting search criteria");
            enable = false;
        }
        // A running search keeps its button disabled.
        m_criteria->setActionEnabled(replacing ? ActionButton::Replace : ActionButton::Find,
                                     enable && !m_run->isRunning());
        setPreviewEnabled(replacing && enable && !m_run->isRunning());
    } else if (m_mode == Mode::Script) {
        text = scriptStatus();
        const std::string& name = m_scriptEditor->script().fileName;
        detail = name.empty() ? QStringLiteral("New script") : QString::fromStdString(name);
    }
    m_modeLine->showStatus(text, detail);
    QString bar = text == QStringLiteral("See below for results")
                      ? QStringLiteral(" Results now displaying")
                      : QStringLiteral(" ") + text;
    if (m_runNoteShown && !m_runNote.isEmpty())
        bar += QStringLiteral(" - ") + m_runNote;
    m_statusBar->showText(bar);
}

QString MainWindow::scriptStatus() {
    static const char* const kStates[] = {"Viewing", "Append new script item",
                                          "Insert new script item", "Change script item",
                                          "Results"};
    const script::Script& script = m_scriptEditor->script();
    const bool hasItems = !script.entries.empty();
    const ScriptEditState state = m_scriptEditor->state();
    const bool viewing = state == ScriptEditState::Viewing;
    const bool results = state == ScriptEditState::Results;
    for (QMenu* menu : {m_fileMenu, m_editMenu, m_modeMenu, m_viewMenu, m_scriptMenu, m_helpMenu})
        menu->menuAction()->setEnabled(viewing || results);
    const bool canRun = viewing && hasItems && !m_run->isRunning();
    const bool planShown = m_gridContent == GridContent::Plan && !m_run->isRunning();
    m_criteria->setActionEnabled(ActionButton::RunScript, canRun || planShown);
    setPreviewEnabled(canRun || planShown);
    m_scriptEditor->updateMenu(m_run->isRunning(), m_resultsPane->results().filesScanned >= 1);
    m_resultsPane->grid().setEnabled(canRun || results);
    return QString::fromLatin1(kStates[static_cast<size_t>(state)]);
}

void MainWindow::setGridContent(GridContent content) {
    m_resultsPane->setViewsEnabled(false);
    const auto ofARun = [](GridContent shown) {
        return shown == GridContent::Results || shown == GridContent::Plan ||
               shown == GridContent::Report;
    };
    const bool leavingResults = ofARun(m_gridContent) && !ofARun(content);
    m_gridContent = content;
    // Only the run whose outcome is on screen has its note in the status bar.
    m_runNoteShown = ofARun(content);
    ResultsGrid& grid = m_resultsPane->grid();
    switch (content) {
    case GridContent::Empty:
        m_scriptEditor->hide();
        m_resultsPane->showEmpty();
        grid.setEnabled(false);
        m_summaryLine->clear();
        break;
    case GridContent::Results:
    case GridContent::Plan:
        if (m_mode == Mode::Script) {
            m_summaryLine->show();
            m_scriptEditor->hide();
            m_criteria->clear();
        }
        if (content == GridContent::Plan)
            m_summaryLine->showSummary(m_resultsPane->showPlan());
        else
            showResults();
        m_criteria->setActionEnabled(ActionButton::Find, true);
        m_criteria->setActionEnabled(ActionButton::Replace, true);
        // A view of the results would leave the preview: the plan is shown as it is.
        m_resultsPane->setViewsEnabled(content == GridContent::Results);
        break;
    case GridContent::Report:
        if (m_mode == Mode::Script) {
            m_summaryLine->show();
            m_scriptEditor->hide();
        }
        m_summaryLine->showNote(m_runNote);
        break;
    case GridContent::Script:
        if (leavingResults)
            m_resultsPane->showEmpty();
        m_scriptEditor->showInGrid();
        break;
    }
    // Exporting takes a results view; a plan has none.
    grid.setContextMenuPolicy(content == GridContent::Results || content == GridContent::Empty
                                  ? Qt::CustomContextMenu
                                  : Qt::NoContextMenu);
}

void MainWindow::showResults() {
    m_summaryLine->showSummary(m_resultsPane->showResults());
}

void MainWindow::criteriaEdited() {
    if (m_mode != Mode::Script)
        setGridContent(GridContent::Empty); // results never stay on screen under changed criteria
    refreshModeStatus();
}

void MainWindow::criteriaChanged() {
    if (m_mode != Mode::Script)
        refreshModeStatus();
}

void MainWindow::pressActionFromBox() {
    if (m_scriptEditor->isEditingItem())
        m_scriptEditor->acceptItem();
    else
        m_criteria->pressShownAction();
}

void MainWindow::scriptChanged() {
    const ScriptEditState state = m_scriptEditor->state();
    if (state == ScriptEditState::Results) {
        m_summaryLine->show();
        setGridContent(m_scriptShows);
    } else {
        m_summaryLine->hide();
    }
    refreshModeStatus();
}

results::ExportHeader MainWindow::exportHeader() const {
    static const results::HeaderKind kKinds[] = {
        results::HeaderKind::Find, results::HeaderKind::Replace, results::HeaderKind::Script,
        results::HeaderKind::None};
    return results::makeExportHeader(kKinds[static_cast<size_t>(m_mode)], m_criteria->criteria(),
                                     m_scriptEditor->script().fileName);
}

} // namespace kestrava::ui
