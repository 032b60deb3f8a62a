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
constexpr int kBasePanelHeight = 170;     // criteriaPanel
constexpr int kBaseFolderFileHeight = 79; // folderFilePanel
constexpr int kBaseFindReplaceTop = 87;   // findReplacePanel
constexpr int kBaseFindReplaceHeight = 74;
constexpr int kBaseBevelHeight = 149;
constexpr int kBaseFoldersTop = 17; // foldersLabel
constexpr int kBaseFilesTop = 50;   // filesLabel
constexpr int kFindTop = 12;        // findLabel within findReplacePanel
constexpr int kReplaceTop = 45;     // replaceLabel within findReplacePanel
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
    rootFolderLabel->setVisible(showRoot);
    rootFolderCombo->setVisible(showRoot);
    pickRootFolderButton->setVisible(showRoot);
    if (delta < 0) {
        replaceLabel->hide();
        replaceCombo->hide();
    } else {
        replaceLabel->show();
        replaceCombo->show();
        replaceCombo->setEnabled(true);
    }
    applyFontSize(settings().fontSize);
}

void MainWindow::applyFontSize(config::FontSize size) {
    const int p = util::fontPointSize(static_cast<int32_t>(size));
    m_pointSize = p;
    for (QComboBox* box : {foldersCombo, filesCombo, rootFolderCombo})
        box->setFont(arialFont(p));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(p);
    replaceCombo->setFont(fixed);
    fixed.setBold(true);
    findCombo->setFont(fixed);
    for (QPushButton* button : {findButton, replaceButton, listButton, runScriptButton})
        button->setFont(arialFont(p));
    for (QLabel* label : {foldersLabel, filesLabel, findLabel, replaceLabel, rootFolderLabel})
        label->setFont(arialFont(p));
    regexHintLabel->setFont(arialFont(p - 2));
    itemNumberLabel->setFont(arialFont(p));
    settings().currentPointSize = p;
    resultsGrid->setGridFont(QString::fromStdString(settings().gridFontName), p);
    modeNameLabel->setFont(arialFont(p + 2 == 13 ? 14 : p + 2, true));
    modeStatusLabel->setFont(arialFont(std::min(p, 11)));
    modeDetailLabel->setFont(arialFont(std::min(p, 11)));
    scriptItemsLabel->setFont(arialFont(p));
    for (QPushButton* button : scriptButtons)
        button->setFont(arialFont(p - 2));
    acceptItemButton->setFont(arialFont(p - 2));
    cancelItemButton->setFont(arialFont(p - 2));
    for (size_t i = 0; i < summaryLabels.size(); ++i)
        summaryLabels[i]->setFont(arialFont(std::min(p, 11), i < 3));
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
    const int buttonWidth = std::max(75, textWidth(font, runScriptButton->text()) + 10);
    const int width = buttonWidth + 36;
    const int panelHeight = kBasePanelHeight + m_delta;
    criteriaPanel->setFixedHeight(panelHeight);
    actionPanel->setGeometry(criteriaPanel->width() - width, 0, width, panelHeight);
    actionSeparator->setGeometry(4, (kBasePanelHeight - kBaseBevelHeight) / 2, 3,
                                 kBaseBevelHeight + m_delta);
    const int left = 18 + (width - 18 - buttonWidth) / 2;
    findButton->setGeometry(left, 44, buttonWidth, kActionButtonHeight);
    replaceButton->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    listButton->setGeometry(left, 60, buttonWidth, kActionButtonHeight);
    runScriptButton->setGeometry(left, 80, buttonWidth, kActionButtonHeight);
    actionPanel->raise();
}

void MainWindow::placeCriteriaRows() {
    const int down = std::max(m_delta, 0);
    const int width = actionPanel->x() + 3;
    folderFilePanel->setGeometry(0, 0, width, kBaseFolderFileHeight + down);
    findReplacePanel->setGeometry(0, kBaseFindReplaceTop + down, width,
                                  kBaseFindReplaceHeight + std::min(m_delta, 0));
    // Boxes start 6 pixels after the widest label ("Replace With") and end 10 before the buttons.
    const int boxLeft = kRowLeft + textWidth(replaceLabel->font(), replaceLabel->text()) + 6;
    const int buttonLeft = width - 3 - 10 - kFolderButtonWidth;
    const int boxWidth = std::max(40, buttonLeft - 10 - boxLeft);
    struct CriteriaRow {
        QLabel* label;
        QComboBox* box;
        QToolButton* button;
        int top;
    };
    const CriteriaRow rows[] = {
        {rootFolderLabel, rootFolderCombo, pickRootFolderButton, kBaseFoldersTop},
        {foldersLabel, foldersCombo, pickFoldersButton, kBaseFoldersTop + down},
        {filesLabel, filesCombo, pickFileButton, kBaseFilesTop + down},
        {findLabel, findCombo, nullptr, kFindTop},
        {replaceLabel, replaceCombo, nullptr, kReplaceTop}};
    for (const CriteriaRow& row : rows) {
        row.box->setGeometry(boxLeft, row.top - 6, boxWidth, row.box->sizeHint().height());
        fitLabel(row.label);
        centreOn(row.label, row.box, kRowLeft);
        if (row.button != nullptr) {
            row.button->resize(kFolderButtonWidth, std::min(row.box->height(), 25));
            centreOn(row.button, row.box, buttonLeft);
        }
    }
    fitLabel(regexHintLabel);
    centreOn(regexHintLabel, findCombo,
             findLabel->x() + textWidth(findLabel->font(), findLabel->text()) + 5);
    // The script item's number sits in the label column, in the gap between the Root Folder row
    // and the rows of the item it names, clear of every box.
    fitLabel(itemNumberLabel);
    const int gapTop = rootFolderCombo->geometry().bottom() + 1;
    itemNumberLabel->move(kRowLeft, (gapTop + foldersCombo->y() - itemNumberLabel->height()) / 2);
}

void MainWindow::placeModeLine() {
    fitLabel(modeNameLabel);
    modeNameLabel->move(10, (modeBar->height() - modeNameLabel->height()) / 2);
    fitLabel(modeStatusLabel);
    modeStatusLabel->move(modeNameLabel->geometry().right() + 1 + 10,
                          modeNameLabel->y() + modeNameLabel->height() - modeStatusLabel->height() -
                              2);
    fitLabel(modeDetailLabel);
    modeDetailLabel->move(modeStatusLabel->geometry().right() + 1 + 10, modeStatusLabel->y());
}

void MainWindow::placeStatusLabels() {
    const QFont font = arialFont(std::min(m_pointSize, 11));
    summaryPanel->setFixedHeight(textHeight(font) + 18);
    int left = 10;
    for (QLabel* label : summaryLabels) {
        fitLabel(label);
        label->move(left, (summaryPanel->height() - label->height()) / 2);
        left = label->geometry().right() + 1 + 2;
    }
}

void MainWindow::placeScriptBar() {
    const QFont small = arialFont(m_pointSize - 2);
    const int acceptWidth = textWidth(small, acceptItemButton->text()) + 50;
    const int acceptHeight = textHeight(small) + 10;
    const int barHeight = acceptHeight + 12;
    scriptBar->setFixedHeight(barHeight);
    fitLabel(scriptItemsLabel);
    scriptItemsLabel->move(10, (barHeight - scriptItemsLabel->height()) / 2);

    const int buttonWidth = textWidth(small, scriptButtons[0]->text()) + 20;
    const int buttonHeight = textHeight(small) + 10 + (m_pointSize - 10);
    const int buttonsLeft = scriptItemsLabel->geometry().right() + 1;
    int left = 20;
    for (QPushButton* button : scriptButtons) {
        button->setGeometry(left, (barHeight - buttonHeight) / 2, buttonWidth, buttonHeight);
        left += buttonWidth + 20;
    }
    scriptButtonsPanel->setGeometry(buttonsLeft, 0, left - 20 + 50, barHeight);

    const int pairWidth = (acceptWidth + 20) * 2 + 10 + actionPanel->width();
    acceptCancelPanel->setGeometry(scriptBar->width() - pairWidth, 0, pairWidth, barHeight);
    const int top = (barHeight - acceptHeight) / 2;
    acceptItemButton->setGeometry(20, top, acceptWidth, acceptHeight);
    cancelItemButton->setGeometry(20 + acceptWidth + 20, top, acceptWidth, acceptHeight);
}

void MainWindow::fitToSize() {
    resultsGrid->fitColumnsToWidth();
    placeControls();
    refreshCriteriaCombos();
}

} // namespace kestrava::ui
