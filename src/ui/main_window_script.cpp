// Script mode's item editor: the editing states, the script bar, the criteria boxes showing the
// current item, Accept and Cancel, Delete, the Up and Down moves, and choosing the current item
// with the mouse or the arrow keys.
#include "main_window.h"

#include "qt_text.h"

#include "script/script_edit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace kestrava::ui {

namespace {

const QColor kGreyText{0xA0, 0xA0, 0xA4};
const QColor kTeal{0x00, 0x80, 0x80};

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// Shows a value in a box without selecting a history entry or touching the history.
void showInBox(QComboBox* box, const std::string& value) {
    box->setCurrentIndex(-1);
    box->setEditText(toQString(value));
}

} // namespace

void MainWindow::setScriptState(script::ScriptEditState state) {
    m_script.state = state;
    script::buildScriptLines(m_script);
    const bool isFindReplace = m_script.currentEntry >= 0 &&
                               m_script.entries[static_cast<size_t>(m_script.currentEntry)].kind ==
                                   script::ScriptEntryKind::FindReplace;
    switch (state) {
    case script::ScriptEditState::Viewing:
        acceptCancelPanel->hide();
        scriptButtonsPanel->show();
        deactivateCriteriaRows();
        runScriptButton->setEnabled(true);
        setEditPanelColour(folderFilePanel, false);
        setEditPanelColour(findReplacePanel, false);
        scriptBar->show();
        summaryPanel->hide();
        break;
    case script::ScriptEditState::Append:
    case script::ScriptEditState::Insert:
        scriptButtonsPanel->hide();
        activateAllCriteriaRows();
        clearCriteria();
        acceptCancelPanel->show();
        runScriptButton->setEnabled(false);
        setEditPanelColour(folderFilePanel, true);
        setEditPanelColour(findReplacePanel, true);
        break;
    case script::ScriptEditState::Change:
        scriptButtonsPanel->hide();
        acceptCancelPanel->show();
        if (isFindReplace)
            activateFindReplaceRows();
        else
            activateFolderFileRows();
        setEditPanelColour(isFindReplace ? findReplacePanel : folderFilePanel, true);
        deactivateRootFolderRow();
        runScriptButton->setEnabled(false);
        break;
    case script::ScriptEditState::Results:
        scriptBar->hide();
        summaryPanel->show();
        clearCriteria();
        itemNumberLabel->clear(); // no item is shown while the results are
        runScriptButton->setEnabled(false);
        break;
    }
    if (state == script::ScriptEditState::Results)
        setGridContent(GridContent::Results);
    else
        showScript();
    refreshModeStatus(util::Mode::Script);
    if (state == script::ScriptEditState::Append || state == script::ScriptEditState::Insert)
        foldersCombo->setFocus();
    else if (state == script::ScriptEditState::Change)
        (isFindReplace ? findCombo : foldersCombo)->setFocus();
    else if (state == script::ScriptEditState::Viewing && resultsGrid->isEnabled() &&
             !m_script.entries.empty())
        resultsGrid->setFocus(); // so the arrow keys choose items at once
}

void MainWindow::setEditPanelColour(QWidget* panel, bool highlighted) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, highlighted
                                           ? QColor::fromRgb(settings().highlightColor)
                                           : QApplication::palette().color(QPalette::Button));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

void MainWindow::showScript() {
    const bool hasCurrent = m_script.currentEntry >= 0;
    appendItemButton->setEnabled(true);
    for (QPushButton* button : {insertItemButton, changeItemButton, deleteItemButton})
        button->setEnabled(hasCurrent);
    moveItemUpButton->setEnabled(script::canMoveScriptItem(m_script, true));
    moveItemDownButton->setEnabled(script::canMoveScriptItem(m_script, false));
    showCurrentItem();
    showScriptLines();
    if (resultsGrid->isEnabled() && resultsGrid->isVisible() && !m_script.entries.empty() &&
        m_script.state == script::ScriptEditState::Viewing)
        resultsGrid->setFocus();
}

void MainWindow::showScriptLines() {
    ScriptColours colours;
    colours.background = QColor::fromRgb(settings().gridColor);
    colours.highlight = QColor::fromRgb(settings().highlightColor);
    resultsGrid->showScript(&m_script, colours);
}

void MainWindow::showCurrentItem() {
    if (m_script.currentEntry < 0) {
        clearCriteria();
        itemNumberLabel->clear();
        return;
    }
    const script::ScriptEntry& entry = m_script.entries[static_cast<size_t>(m_script.currentEntry)];
    const script::FolderFile group = script::governingFolderFile(m_script, m_script.currentEntry);
    showInBox(foldersCombo, group.folders);
    showInBox(filesCombo, group.files);
    const bool findReplace = entry.kind == script::ScriptEntryKind::FindReplace;
    showInBox(findCombo, findReplace ? entry.find : std::string());
    showInBox(replaceCombo, findReplace ? entry.replace : std::string());
    if (m_script.state == script::ScriptEditState::Append ||
        m_script.state == script::ScriptEditState::Insert) {
        const bool appending = m_script.state == script::ScriptEditState::Append;
        itemNumberLabel->setText(appending ? QStringLiteral("Append") : QStringLiteral("Insert"));
        setTextColor(itemNumberLabel, kTeal);
        // The boxes start with the group the new item will most likely join.
        const int32_t at =
            appending ? static_cast<int32_t>(m_script.entries.size()) - 1 : m_script.currentEntry;
        const script::FolderFile governing = script::governingFolderFile(m_script, at);
        showInBox(foldersCombo, governing.folders);
        showInBox(filesCombo, governing.files);
        showInBox(findCombo, {});
        showInBox(replaceCombo, {});
    } else {
        itemNumberLabel->setText(toQString(script::scriptItemNumber(entry)));
        setTextColor(itemNumberLabel, m_script.state == script::ScriptEditState::Change
                                          ? QColor(Qt::black)
                                          : kGreyText);
    }
    itemNumberLabel->adjustSize();
    placeCriteriaRows();
}

void MainWindow::acceptItem() {
    switch (script::acceptScriptItem(m_script, getCriteria())) {
    case script::AcceptOutcome::NeedFoldersFiles:
        m_services->showMessage(this, QString::fromLatin1(script::kNeedFoldersFilesText));
        foldersCombo->setFocus();
        return;
    case script::AcceptOutcome::NeedFind:
        m_services->showMessage(this, QString::fromLatin1(script::kNeedFindText));
        findCombo->setFocus();
        return;
    case script::AcceptOutcome::Accepted:
        setScriptState(script::ScriptEditState::Viewing);
        return;
    }
}

void MainWindow::deleteItem() {
    if (!script::deleteScriptItem(m_script)) {
        m_services->showError(this, QString::fromLatin1(script::kDeleteRefusedText));
        return;
    }
    setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::moveItemUp() {
    if (script::moveScriptItem(m_script, true))
        setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::moveItemDown() {
    if (script::moveScriptItem(m_script, false))
        setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::scriptGridMouseDown(const QPoint& viewportPoint) {
    if (m_script.state != script::ScriptEditState::Viewing)
        return;
    const int row = resultsGrid->rowAt(viewportPoint);
    if (row < 1 || static_cast<size_t>(row - 1) >= m_script.lines.size())
        return; // the header or the spare row
    const script::ScriptLine& line = m_script.lines[static_cast<size_t>(row - 1)];
    if (line.lineKind == script::ScriptLineKind::Blank ||
        line.lineKind == script::ScriptLineKind::NewItem || line.entryIndex < 0)
        return;
    m_script.currentEntry = line.entryIndex;
    showScript();
}

void MainWindow::scriptGridKeyDown(int key) {
    if (m_gridContent != GridContent::Script ||
        m_script.state != script::ScriptEditState::Viewing || m_script.currentEntry < 0)
        return;
    const auto last = static_cast<int32_t>(m_script.entries.size()) - 1;
    if (key == Qt::Key_Up && m_script.currentEntry > 0)
        --m_script.currentEntry;
    else if (key == Qt::Key_Down && m_script.currentEntry < last)
        ++m_script.currentEntry;
    else
        return;
    showScript();
}

} // namespace kestrava::ui
