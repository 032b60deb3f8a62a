// Script mode's item editor: the editing states, the script bar, the criteria boxes showing the
// current item, Accept and Cancel, Delete, the Up and Down moves, and choosing the current item
// with the mouse or the arrow keys.
#include "kes_fmMain.h"

#include "kes_uScriptEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

const QColor kGreyText{0xA0, 0xA0, 0xA4};
const QColor kTeal{0x00, 0x80, 0x80};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

void SetTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// Shows a value in a box without selecting a history entry or touching the history.
void ShowInBox(QComboBox* box, const std::string& value) {
    box->setCurrentIndex(-1);
    box->setEditText(Q(value));
}

} // namespace

void TfmMain::SetScriptState(kes::TkesScriptState state) {
    FScript.State = state;
    kes::BuildScriptLines(FScript);
    const bool isFindReplace =
        FScript.CurrentEntry >= 0 &&
        FScript.Entries[static_cast<size_t>(FScript.CurrentEntry)].EntryKind == kes::sekFindReplace;
    switch (state) {
    case kes::ssViewing:
        paScriptAcceptCancel->hide();
        paScriptButtons->show();
        DeactivateCriteriaRows();
        bbRunScript->setEnabled(true);
        SetEditPanelColour(paFolderFile, false);
        SetEditPanelColour(paFindReplace, false);
        paScriptMaintenance->show();
        paStatus->hide();
        break;
    case kes::ssAppend:
    case kes::ssInsert:
        paScriptButtons->hide();
        ActivateAllCriteriaRows();
        ClearCriteria();
        paScriptAcceptCancel->show();
        bbRunScript->setEnabled(false);
        SetEditPanelColour(paFolderFile, true);
        SetEditPanelColour(paFindReplace, true);
        break;
    case kes::ssChange:
        paScriptButtons->hide();
        paScriptAcceptCancel->show();
        if (isFindReplace)
            ActivateFindReplaceRows();
        else
            ActivateFolderFileRows();
        SetEditPanelColour(isFindReplace ? paFindReplace : paFolderFile, true);
        DeactivateRootFolderRow();
        bbRunScript->setEnabled(false);
        break;
    case kes::ssResults:
        paScriptMaintenance->hide();
        paStatus->show();
        ClearCriteria();
        laItemNo->clear(); // no item is shown while the results are
        bbRunScript->setEnabled(false);
        break;
    }
    if (state == kes::ssResults)
        SetGridContent(gcResults);
    else
        ShowScript();
    RefreshModeStatus(kes::mdScript);
    if (state == kes::ssAppend || state == kes::ssInsert)
        cboxFolders->setFocus();
    else if (state == kes::ssChange)
        (isFindReplace ? cboxFind : cboxFolders)->setFocus();
    else if (state == kes::ssViewing && DrawGrid1->isEnabled() && !FScript.Entries.empty())
        DrawGrid1->setFocus(); // so the arrow keys choose items at once
}

void TfmMain::SetEditPanelColour(QWidget* panel, bool highlighted) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, highlighted
                                           ? QColor::fromRgb(Settings().HighlightColor)
                                           : QApplication::palette().color(QPalette::Button));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

void TfmMain::ShowScript() {
    const bool hasCurrent = FScript.CurrentEntry >= 0;
    sbAppend->setEnabled(true);
    for (QPushButton* button : {sbInsert, sbChange, sbDelete})
        button->setEnabled(hasCurrent);
    sbUp->setEnabled(kes::CanMoveScriptItem(FScript, true));
    sbDown->setEnabled(kes::CanMoveScriptItem(FScript, false));
    ShowCurrentItem();
    ShowScriptLines();
    if (DrawGrid1->isEnabled() && DrawGrid1->isVisible() && !FScript.Entries.empty() &&
        FScript.State == kes::ssViewing)
        DrawGrid1->setFocus();
}

void TfmMain::ShowScriptLines() {
    TkesScriptColours colours;
    colours.Background = QColor::fromRgb(Settings().GridColor);
    colours.Highlight = QColor::fromRgb(Settings().HighlightColor);
    DrawGrid1->ShowScript(&FScript, colours);
}

void TfmMain::ShowCurrentItem() {
    if (FScript.CurrentEntry < 0) {
        ClearCriteria();
        laItemNo->clear();
        return;
    }
    const kes::TkesScriptEntry& entry = FScript.Entries[static_cast<size_t>(FScript.CurrentEntry)];
    const kes::TkesFolderFile group = kes::GoverningFolderFile(FScript, FScript.CurrentEntry);
    ShowInBox(cboxFolders, group.Folders);
    ShowInBox(cboxFiles, group.Files);
    const bool findReplace = entry.EntryKind == kes::sekFindReplace;
    ShowInBox(cboxFind, findReplace ? entry.Text1 : std::string());
    ShowInBox(cboxReplace, findReplace ? entry.Text2 : std::string());
    if (FScript.State == kes::ssAppend || FScript.State == kes::ssInsert) {
        const bool appending = FScript.State == kes::ssAppend;
        laItemNo->setText(appending ? QStringLiteral("Append") : QStringLiteral("Insert"));
        SetTextColor(laItemNo, kTeal);
        // The boxes start with the group the new item will most likely join.
        const int32_t at =
            appending ? static_cast<int32_t>(FScript.Entries.size()) - 1 : FScript.CurrentEntry;
        const kes::TkesFolderFile governing = kes::GoverningFolderFile(FScript, at);
        ShowInBox(cboxFolders, governing.Folders);
        ShowInBox(cboxFiles, governing.Files);
        ShowInBox(cboxFind, {});
        ShowInBox(cboxReplace, {});
    } else {
        laItemNo->setText(Q(kes::ScriptItemNumber(entry)));
        SetTextColor(laItemNo, FScript.State == kes::ssChange ? QColor(Qt::black) : kGreyText);
    }
    laItemNo->adjustSize();
    PlaceCriteriaRows();
}

void TfmMain::bbAcceptClick() {
    switch (kes::AcceptScriptItem(FScript, GetCriteria())) {
    case kes::aoNeedFoldersFiles:
        FServices->ShowMessage(this, QString::fromLatin1(kes::kNeedFoldersFilesText));
        cboxFolders->setFocus();
        return;
    case kes::aoNeedFind:
        FServices->ShowMessage(this, QString::fromLatin1(kes::kNeedFindText));
        cboxFind->setFocus();
        return;
    case kes::aoAccepted:
        SetScriptState(kes::ssViewing);
        return;
    }
}

void TfmMain::sbDeleteClick() {
    if (!kes::DeleteScriptItem(FScript)) {
        FServices->ShowError(this, QString::fromLatin1(kes::kDeleteRefusedText));
        return;
    }
    SetScriptState(kes::ssViewing);
}

void TfmMain::sbUpClick() {
    if (kes::MoveScriptItem(FScript, true))
        SetScriptState(kes::ssViewing);
}

void TfmMain::sbDownClick() {
    if (kes::MoveScriptItem(FScript, false))
        SetScriptState(kes::ssViewing);
}

void TfmMain::ScriptGridMouseDown(const QPoint& viewportPoint) {
    if (FScript.State != kes::ssViewing)
        return;
    const int row = DrawGrid1->RowAt(viewportPoint);
    if (row < 1 || static_cast<size_t>(row - 1) >= FScript.Lines.size())
        return; // the header or the spare row
    const kes::TkesScriptLine& line = FScript.Lines[static_cast<size_t>(row - 1)];
    if (line.LineKind == kes::slkBlank || line.LineKind == kes::slkNewItem || line.EntryIndex < 0)
        return;
    FScript.CurrentEntry = line.EntryIndex;
    ShowScript();
}

void TfmMain::ScriptGridKeyDown(int key) {
    if (FGridContent != gcScript || FScript.State != kes::ssViewing || FScript.CurrentEntry < 0)
        return;
    const auto last = static_cast<int32_t>(FScript.Entries.size()) - 1;
    if (key == Qt::Key_Up && FScript.CurrentEntry > 0)
        --FScript.CurrentEntry;
    else if (key == Qt::Key_Down && FScript.CurrentEntry < last)
        ++FScript.CurrentEntry;
    else
        return;
    ShowScript();
}
