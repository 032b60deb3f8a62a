// The main window's pixel layout: the criteria panel by mode (LayoutCriteriaPanel) and by font
// size (ApplyFontSize), and the placing of every row, bar and label that follows from both.
#include "kes_fmMain.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace {

// The designed layout that every mode offsets from, so offsets never accumulate.
constexpr int kBasePanelHeight = 170;     // paActionsSpecs
constexpr int kBaseFolderFileHeight = 79; // paFolderFile
constexpr int kBaseFindReplaceTop = 87;   // paFindReplace
constexpr int kBaseFindReplaceHeight = 74;
constexpr int kBaseBevelHeight = 149;
constexpr int kBaseFoldersTop = 17; // laFolders
constexpr int kBaseFilesTop = 50;   // laFiles
constexpr int kFindTop = 12;        // laFind within paFindReplace
constexpr int kReplaceTop = 45;     // laReplace within paFindReplace
constexpr int kRowLeft = 10;
constexpr int kActionButtonHeight = 50;
constexpr int kFolderButtonWidth = 25;

QFont ArialFont(int pointSize, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(std::max(1, pointSize));
    font.setBold(bold);
    return font;
}

int TextWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

int TextHeight(const QFont& font) {
    return QFontMetrics(font).height();
}

// Puts a label's text vertically in the middle of another control's rows.
void CentreOn(QWidget* widget, const QWidget* on, int left) {
    widget->move(left, on->y() + (on->height() - widget->height()) / 2);
}

void FitLabel(QLabel* label) {
    label->adjustSize();
}

} // namespace

void TfmMain::LayoutCriteriaPanel(int delta, bool showRoot) {
    FDelta = delta;
    FShowRoot = showRoot;
    laRootFolder->setVisible(showRoot);
    cboxRootFolder->setVisible(showRoot);
    sbRootFolder->setVisible(showRoot);
    if (delta < 0) {
        laReplace->hide();
        cboxReplace->hide();
    } else {
        laReplace->show();
        cboxReplace->show();
        cboxReplace->setEnabled(true);
    }
    ApplyFontSize(Settings().FontSize);
}

void TfmMain::ApplyFontSize(kes::TFontSize size) {
    const int p = kes::FontPointSize(size);
    FPointSize = p;
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxRootFolder})
        box->setFont(ArialFont(p));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(p);
    cboxReplace->setFont(fixed);
    fixed.setBold(true);
    cboxFind->setFont(fixed);
    for (QPushButton* button : {bbFind, bbReplace, bbList, bbRunScript})
        button->setFont(ArialFont(p));
    for (QLabel* label : {laFolders, laFiles, laFind, laReplace, laRootFolder})
        label->setFont(ArialFont(p));
    laFindRegEx->setFont(ArialFont(p - 2));
    laItemNo->setFont(ArialFont(p));
    Settings().CurrentPointSize = p;
    DrawGrid1->SetGridFont(QString::fromStdString(Settings().GridFontName), p);
    laModeName->setFont(ArialFont(p + 2 == 13 ? 14 : p + 2, true));
    laModeStatus->setFont(ArialFont(std::min(p, 11)));
    laModeDetail->setFont(ArialFont(std::min(p, 11)));
    laScriptItems->setFont(ArialFont(p));
    for (QPushButton* button : sbScriptButtons)
        button->setFont(ArialFont(p - 2));
    bbAccept->setFont(ArialFont(p - 2));
    bbCancel->setFont(ArialFont(p - 2));
    for (size_t i = 0; i < laMatchResults.size(); ++i)
        laMatchResults[i]->setFont(ArialFont(std::min(p, 11), i < 3));
    PlaceControls();
    RefreshModeStatus(FMode);
    RefreshCriteriaCombos();
}

void TfmMain::PlaceControls() {
    PlaceActionButtons();
    PlaceCriteriaRows();
    PlaceStatusLabels();
    PlaceScriptBar();
    PlaceModeLine();
}

void TfmMain::PlaceActionButtons() {
    const QFont font = ArialFont(FPointSize);
    const int buttonWidth = std::max(75, TextWidth(font, bbRunScript->text()) + 10);
    const int width = buttonWidth + 36;
    const int panelHeight = kBasePanelHeight + FDelta;
    paActionsSpecs->setFixedHeight(panelHeight);
    paActionButtons->setGeometry(paActionsSpecs->width() - width, 0, width, panelHeight);
    Bevel1->setGeometry(4, (kBasePanelHeight - kBaseBevelHeight) / 2, 3, kBaseBevelHeight + FDelta);
    const int left = 18 + (width - 18 - buttonWidth) / 2;
    bbFind->setGeometry(left, 44, buttonWidth, kActionButtonHeight);
    bbReplace->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    bbList->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    bbRunScript->setGeometry(left, 80, buttonWidth, kActionButtonHeight);
    paActionButtons->raise();
}

void TfmMain::PlaceCriteriaRows() {
    const int down = std::max(FDelta, 0);
    const int width = paActionButtons->x() + 3;
    paFolderFile->setGeometry(0, 0, width, kBaseFolderFileHeight + down);
    paFindReplace->setGeometry(0, kBaseFindReplaceTop + down, width,
                               kBaseFindReplaceHeight + std::min(FDelta, 0));
    // Boxes start 6 pixels after the widest label ("Replace With") and end 10 before the buttons.
    const int boxLeft = kRowLeft + TextWidth(laReplace->font(), laReplace->text()) + 6;
    const int buttonLeft = width - 3 - 10 - kFolderButtonWidth;
    const int boxWidth = std::max(40, buttonLeft - 10 - boxLeft);
    struct TRow {
        QLabel* Label;
        QComboBox* Box;
        QToolButton* Button;
        int Top;
    };
    const TRow rows[] = {{laRootFolder, cboxRootFolder, sbRootFolder, kBaseFoldersTop},
                         {laFolders, cboxFolders, sbFolders, kBaseFoldersTop + down},
                         {laFiles, cboxFiles, sbFiles, kBaseFilesTop + down},
                         {laFind, cboxFind, nullptr, kFindTop},
                         {laReplace, cboxReplace, nullptr, kReplaceTop}};
    for (const TRow& row : rows) {
        row.Box->setGeometry(boxLeft, row.Top - 6, boxWidth, row.Box->sizeHint().height());
        FitLabel(row.Label);
        CentreOn(row.Label, row.Box, kRowLeft);
        if (row.Button != nullptr) {
            row.Button->resize(kFolderButtonWidth, std::min(row.Box->height(), 25));
            CentreOn(row.Button, row.Box, buttonLeft);
        }
    }
    FitLabel(laFindRegEx);
    CentreOn(laFindRegEx, cboxFind, laFind->x() + TextWidth(laFind->font(), laFind->text()) + 5);
    // The script item's number sits in the label column, in the gap between the Root Folder row
    // and the rows of the item it names, clear of every box.
    FitLabel(laItemNo);
    const int gapTop = cboxRootFolder->geometry().bottom() + 1;
    laItemNo->move(kRowLeft, (gapTop + cboxFolders->y() - laItemNo->height()) / 2);
}

void TfmMain::PlaceModeLine() {
    FitLabel(laModeName);
    laModeName->move(10, (paMode->height() - laModeName->height()) / 2);
    FitLabel(laModeStatus);
    laModeStatus->move(laModeName->geometry().right() + 1 + 10,
                       laModeName->y() + laModeName->height() - laModeStatus->height() - 2);
    FitLabel(laModeDetail);
    laModeDetail->move(laModeStatus->geometry().right() + 1 + 10, laModeStatus->y());
}

void TfmMain::PlaceStatusLabels() {
    const QFont font = ArialFont(std::min(FPointSize, 11));
    paStatus->setFixedHeight(TextHeight(font) + 18);
    int left = 10;
    for (QLabel* label : laMatchResults) {
        FitLabel(label);
        label->move(left, (paStatus->height() - label->height()) / 2);
        left = label->geometry().right() + 1 + 2;
    }
}

void TfmMain::PlaceScriptBar() {
    const QFont small = ArialFont(FPointSize - 2);
    const int acceptWidth = TextWidth(small, bbAccept->text()) + 50;
    const int acceptHeight = TextHeight(small) + 10;
    const int barHeight = acceptHeight + 12;
    paScriptMaintenance->setFixedHeight(barHeight);
    FitLabel(laScriptItems);
    laScriptItems->move(10, (barHeight - laScriptItems->height()) / 2);

    const int buttonWidth = TextWidth(small, sbScriptButtons[0]->text()) + 20;
    const int buttonHeight = TextHeight(small) + 10 + (FPointSize - 10);
    const int buttonsLeft = laScriptItems->geometry().right() + 1;
    int left = 20;
    for (QPushButton* button : sbScriptButtons) {
        button->setGeometry(left, (barHeight - buttonHeight) / 2, buttonWidth, buttonHeight);
        left += buttonWidth + 20;
    }
    paScriptButtons->setGeometry(buttonsLeft, 0, left - 20 + 50, barHeight);

    const int pairWidth = (acceptWidth + 20) * 2 + 10 + paActionButtons->width();
    paScriptAcceptCancel->setGeometry(paScriptMaintenance->width() - pairWidth, 0, pairWidth,
                                      barHeight);
    const int top = (barHeight - acceptHeight) / 2;
    bbAccept->setGeometry(20, top, acceptWidth, acceptHeight);
    bbCancel->setGeometry(20 + acceptWidth + 20, top, acceptWidth, acceptHeight);
}

void TfmMain::FormResize() {
    DrawGrid1->FitColumnsToWidth();
    PlaceControls();
    RefreshCriteriaCombos();
}
