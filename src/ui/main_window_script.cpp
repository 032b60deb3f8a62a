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
        paScriptAcceptCancel->hide();
        paScriptButtons->show();
        deactivateCriteriaRows();
        bbRunScript->setEnabled(true);
        setEditPanelColour(paFolderFile, false);
        setEditPanelColour(paFindReplace, false);
        paScriptMaintenance->show();
        paStatus->hide();
        break;
    case script::ScriptEditState::Append:
    case script::ScriptEditState::Insert:
        paScriptButtons->hide();
        activateAllCriteriaRows();
        clearCriteria();
        paScriptAcceptCancel->show();
        bbRunScript->setEnabled(false);
        setEditPanelColour(paFolderFile, true);
        setEditPanelColour(paFindReplace, true);
        break;
    case script::ScriptEditState::Change:
        paScriptButtons->hide();
        paScriptAcceptCancel->show();
        if (isFindReplace)
            activateFindReplaceRows();
        else
            activateFolderFileRows();
        setEditPanelColour(isFindReplace ? paFindReplace : paFolderFile, true);
        deactivateRootFolderRow();
        bbRunScript->setEnabled(false);
        break;
    case script::ScriptEditState::Results:
        paScriptMaintenance->hide();
        paStatus->show();
        clearCriteria();
        laItemNo->clear(); // no item is shown while the results are
        bbRunScript->setEnabled(false);
        break;
    }
    if (state == script::ScriptEditState::Results)
        setGridContent(GridContent::Results);
    else
        showScript();
    refreshModeStatus(util::Mode::Script);
    if (state == script::ScriptEditState::Append || state == script::ScriptEditState::Insert)
        cboxFolders->setFocus();
    else if (state == script::ScriptEditState::Change)
        (isFindReplace ? cboxFind : cboxFolders)->setFocus();
    else if (state == script::ScriptEditState::Viewing && DrawGrid1->isEnabled() &&
             !m_script.entries.empty())
        DrawGrid1->setFocus(); // so the arrow keys choose items at once
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
    sbAppend->setEnabled(true);
    for (QPushButton* button : {sbInsert, sbChange, sbDelete})
        button->setEnabled(hasCurrent);
    sbUp->setEnabled(script::canMoveScriptItem(m_script, true));
    sbDown->setEnabled(script::canMoveScriptItem(m_script, false));
    showCurrentItem();
    showScriptLines();
    if (DrawGrid1->isEnabled() && DrawGrid1->isVisible() && !m_script.entries.empty() &&
        m_script.state == script::ScriptEditState::Viewing)
        DrawGrid1->setFocus();
}

void MainWindow::showScriptLines() {
    ScriptColours colours;
    colours.background = QColor::fromRgb(settings().gridColor);
    colours.highlight = QColor::fromRgb(settings().highlightColor);
    DrawGrid1->showScript(&m_script, colours);
}

void MainWindow::showCurrentItem() {
    if (m_script.currentEntry < 0) {
        clearCriteria();
        laItemNo->clear();
        return;
    }
    const script::ScriptEntry& entry = m_script.entries[static_cast<size_t>(m_script.currentEntry)];
    const script::FolderFile group = script::governingFolderFile(m_script, m_script.currentEntry);
    showInBox(cboxFolders, group.folders);
    showInBox(cboxFiles, group.files);
    const bool findReplace = entry.kind == script::ScriptEntryKind::FindReplace;
    showInBox(cboxFind, findReplace ? entry.find : std::string());
    showInBox(cboxReplace, findReplace ? entry.replace : std::string());
    if (m_script.state == script::ScriptEditState::Append ||
        m_script.state == script::ScriptEditState::Insert) {
        const bool appending = m_script.state == script::ScriptEditState::Append;
        laItemNo->setText(appending ? QStringLiteral("Append") : QStringLiteral("Insert"));
        setTextColor(laItemNo, kTeal);
        // The boxes start with the group the new item will most likely join.
        const int32_t at =
            appending ? static_cast<int32_t>(m_script.entries.size()) - 1 : m_script.currentEntry;
        const script::FolderFile governing = script::governingFolderFile(m_script, at);
        showInBox(cboxFolders, governing.folders);
        showInBox(cboxFiles, governing.files);
        showInBox(cboxFind, {});
        showInBox(cboxReplace, {});
    } else {
        laItemNo->setText(toQString(script::scriptItemNumber(entry)));
        setTextColor(laItemNo, m_script.state == script::ScriptEditState::Change ? QColor(Qt::black)
                                                                                 : kGreyText);
    }
    laItemNo->adjustSize();
    placeCriteriaRows();
}

void MainWindow::bbAcceptClick() {
    switch (script::acceptScriptItem(m_script, getCriteria())) {
    case script::AcceptOutcome::NeedFoldersFiles:
        m_services->showMessage(this, QString::fromLatin1(script::kNeedFoldersFilesText));
        cboxFolders->setFocus();
        return;
    case script::AcceptOutcome::NeedFind:
        m_services->showMessage(this, QString::fromLatin1(script::kNeedFindText));
        cboxFind->setFocus();
        return;
    case script::AcceptOutcome::Accepted:
        setScriptState(script::ScriptEditState::Viewing);
        return;
    }
}

void MainWindow::sbDeleteClick() {
    if (!script::deleteScriptItem(m_script)) {
        m_services->showError(this, QString::fromLatin1(script::kDeleteRefusedText));
        return;
    }
    setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::sbUpClick() {
    if (script::moveScriptItem(m_script, true))
        setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::sbDownClick() {
    if (script::moveScriptItem(m_script, false))
        setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::scriptGridMouseDown(const QPoint& viewportPoint) {
    if (m_script.state != script::ScriptEditState::Viewing)
        return;
    const int row = DrawGrid1->rowAt(viewportPoint);
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
