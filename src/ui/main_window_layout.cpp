// The main window's pixel layout: the criteria panel by mode (layoutCriteriaPanel) and by font
// size (applyFontSize), and the placing of every row, bar and label that follows from both.
#include "main_window.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace kestrava::ui {

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

QFont arialFont(int pointSize, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(std::max(1, pointSize));
    font.setBold(bold);
    return font;
}

int textWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

int textHeight(const QFont& font) {
    return QFontMetrics(font).height();
}

// Puts a label's text vertically in the middle of another control's rows.
void centreOn(QWidget* widget, const QWidget* on, int left) {
    widget->move(left, on->y() + (on->height() - widget->height()) / 2);
}

void fitLabel(QLabel* label) {
    label->adjustSize();
}

} // namespace

void MainWindow::layoutCriteriaPanel(int delta, bool showRoot) {
    m_delta = delta;
    m_showRoot = showRoot;
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
    applyFontSize(settings().fontSize);
}

void MainWindow::applyFontSize(config::FontSize size) {
    const int p = util::fontPointSize(static_cast<int32_t>(size));
    m_pointSize = p;
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxRootFolder})
        box->setFont(arialFont(p));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(p);
    cboxReplace->setFont(fixed);
    fixed.setBold(true);
    cboxFind->setFont(fixed);
    for (QPushButton* button : {bbFind, bbReplace, bbList, bbRunScript})
        button->setFont(arialFont(p));
    for (QLabel* label : {laFolders, laFiles, laFind, laReplace, laRootFolder})
        label->setFont(arialFont(p));
    laFindRegEx->setFont(arialFont(p - 2));
    laItemNo->setFont(arialFont(p));
    settings().currentPointSize = p;
    DrawGrid1->setGridFont(QString::fromStdString(settings().gridFontName), p);
    laModeName->setFont(arialFont(p + 2 == 13 ? 14 : p + 2, true));
    laModeStatus->setFont(arialFont(std::min(p, 11)));
    laModeDetail->setFont(arialFont(std::min(p, 11)));
    laScriptItems->setFont(arialFont(p));
    for (QPushButton* button : sbScriptButtons)
        button->setFont(arialFont(p - 2));
    bbAccept->setFont(arialFont(p - 2));
    bbCancel->setFont(arialFont(p - 2));
    for (size_t i = 0; i < laMatchResults.size(); ++i)
        laMatchResults[i]->setFont(arialFont(std::min(p, 11), i < 3));
    placeControls();
    refreshModeStatus(m_mode);
    refreshCriteriaCombos();
}

void MainWindow::placeControls() {
    placeActionButtons();
    placeCriteriaRows();
    placeStatusLabels();
    placeScriptBar();
    placeModeLine();
}

void MainWindow::placeActionButtons() {
    const QFont font = arialFont(m_pointSize);
    const int buttonWidth = std::max(75, textWidth(font, bbRunScript->text()) + 10);
    const int width = buttonWidth + 36;
    const int panelHeight = kBasePanelHeight + m_delta;
    paActionsSpecs->setFixedHeight(panelHeight);
    paActionButtons->setGeometry(paActionsSpecs->width() - width, 0, width, panelHeight);
    Bevel1->setGeometry(4, (kBasePanelHeight - kBaseBevelHeight) / 2, 3,
                        kBaseBevelHeight + m_delta);
    const int left = 18 + (width - 18 - buttonWidth) / 2;
    bbFind->setGeometry(left, 44, buttonWidth, kActionButtonHeight);
    bbReplace->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    bbList->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    bbRunScript->setGeometry(left, 80, buttonWidth, kActionButtonHeight);
    paActionButtons->raise();
}

void MainWindow::placeCriteriaRows() {
    const int down = std::max(m_delta, 0);
    const int width = paActionButtons->x() + 3;
    paFolderFile->setGeometry(0, 0, width, kBaseFolderFileHeight + down);
    paFindReplace->setGeometry(0, kBaseFindReplaceTop + down, width,
                               kBaseFindReplaceHeight + std::min(m_delta, 0));
    // Boxes start 6 pixels after the widest label ("Replace With") and end 10 before the buttons.
    const int boxLeft = kRowLeft + textWidth(laReplace->font(), laReplace->text()) + 6;
    const int buttonLeft = width - 3 - 10 - kFolderButtonWidth;
    const int boxWidth = std::max(40, buttonLeft - 10 - boxLeft);
    struct CriteriaRow {
        QLabel* label;
        QComboBox* box;
        QToolButton* button;
        int top;
    };
    const CriteriaRow rows[] = {{laRootFolder, cboxRootFolder, sbRootFolder, kBaseFoldersTop},
                                {laFolders, cboxFolders, sbFolders, kBaseFoldersTop + down},
                                {laFiles, cboxFiles, sbFiles, kBaseFilesTop + down},
                                {laFind, cboxFind, nullptr, kFindTop},
                                {laReplace, cboxReplace, nullptr, kReplaceTop}};
    for (const CriteriaRow& row : rows) {
        row.box->setGeometry(boxLeft, row.top - 6, boxWidth, row.box->sizeHint().height());
        fitLabel(row.label);
        centreOn(row.label, row.box, kRowLeft);
        if (row.button != nullptr) {
            row.button->resize(kFolderButtonWidth, std::min(row.box->height(), 25));
            centreOn(row.button, row.box, buttonLeft);
        }
    }
    fitLabel(laFindRegEx);
    centreOn(laFindRegEx, cboxFind, laFind->x() + textWidth(laFind->font(), laFind->text()) + 5);
    // The script item's number sits in the label column, in the gap between the Root Folder row
    // and the rows of the item it names, clear of every box.
    fitLabel(laItemNo);
    const int gapTop = cboxRootFolder->geometry().bottom() + 1;
    laItemNo->move(kRowLeft, (gapTop + cboxFolders->y() - laItemNo->height()) / 2);
}

void MainWindow::placeModeLine() {
    fitLabel(laModeName);
    laModeName->move(10, (paMode->height() - laModeName->height()) / 2);
    fitLabel(laModeStatus);
    laModeStatus->move(laModeName->geometry().right() + 1 + 10,
                       laModeName->y() + laModeName->height() - laModeStatus->height() - 2);
    fitLabel(laModeDetail);
    laModeDetail->move(laModeStatus->geometry().right() + 1 + 10, laModeStatus->y());
}

void MainWindow::placeStatusLabels() {
    const QFont font = arialFont(std::min(m_pointSize, 11));
    paStatus->setFixedHeight(textHeight(font) + 18);
    int left = 10;
    for (QLabel* label : laMatchResults) {
        fitLabel(label);
        label->move(left, (paStatus->height() - label->height()) / 2);
        left = label->geometry().right() + 1 + 2;
    }
}

void MainWindow::placeScriptBar() {
    const QFont small = arialFont(m_pointSize - 2);
    const int acceptWidth = textWidth(small, bbAccept->text()) + 50;
    const int acceptHeight = textHeight(small) + 10;
    const int barHeight = acceptHeight + 12;
    paScriptMaintenance->setFixedHeight(barHeight);
    fitLabel(laScriptItems);
    laScriptItems->move(10, (barHeight - laScriptItems->height()) / 2);

    const int buttonWidth = textWidth(small, sbScriptButtons[0]->text()) + 20;
    const int buttonHeight = textHeight(small) + 10 + (m_pointSize - 10);
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

void MainWindow::FormResize() {
    DrawGrid1->fitColumnsToWidth();
    placeControls();
    refreshCriteriaCombos();
}

} // namespace kestrava::ui
