#include "status_area.h"

#include "widget_style.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestrava::ui {

namespace {

constexpr int kModeLineHeight = 41;

QLabel* makeLabel(const char* name, QWidget* parent) {
    auto* label = named(new QLabel(parent), name);
    label->setAutoFillBackground(false);
    return label;
}

} // namespace

ModeLine::ModeLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("modeBar"));
    setFixedHeight(kModeLineHeight);
    m_nameLabel = makeLabel("modeNameLabel", this);
    m_statusLabel = makeLabel("modeStatusLabel", this);
    m_detailLabel = makeLabel("modeDetailLabel", this);
    setTextColor(m_nameLabel, Qt::red);
    setTextColor(m_statusLabel, kTealText);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(10);
    // The smaller texts stand a little above the name's foot.
    m_statusLabel->setContentsMargins(0, 0, 0, 2);
    m_detailLabel->setContentsMargins(0, 0, 0, 2);
    layout->addWidget(m_nameLabel, 0, Qt::AlignBottom);
    layout->addWidget(m_statusLabel, 0, Qt::AlignBottom);
    layout->addWidget(m_detailLabel, 0, Qt::AlignBottom);
    layout->addStretch(1);
}

void ModeLine::showMode(const QString& name) {
    m_nameLabel->setText(name);
    m_nameLabel->setAccessibleName(name);
}

void ModeLine::showStatus(const QString& status, const QString& detail) {
    m_statusLabel->setText(QStringLiteral("(") + status + QStringLiteral(")"));
    m_statusLabel->setAccessibleName(status.isEmpty() ? QStringLiteral("No status") : status);
    m_detailLabel->setText(detail);
    m_detailLabel->setAccessibleName(detail);
    m_detailLabel->setVisible(!detail.isEmpty());
}

void ModeLine::applyFontSize(int pointSize) {
    m_nameLabel->setFont(arialFont(pointSize + 2 == 13 ? 14 : pointSize + 2, true));
    m_statusLabel->setFont(arialFont(std::min(pointSize, 11)));
    m_detailLabel->setFont(arialFont(std::min(pointSize, 11)));
    // The name in the middle of the line, the smaller texts on its foot.
    const int below = (kModeLineHeight - QFontMetrics(m_nameLabel->font()).height()) / 2;
    layout()->setContentsMargins(10, 0, 10, std::max(0, below));
}

SummaryLine::SummaryLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("summaryPanel"));
    static const char* const kNames[] = {"laMatchResults1", "laMatchResults2", "laMatchResults3",
                                         "laMatchResults4", "laMatchResults5"};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    // Two pixels between the counts; the binary files' note starts with its comma, so it
    // follows straight on.
    layout->setSpacing(0);
    for (size_t i = 0; i < m_labels.size(); ++i) {
        m_labels[i] = makeLabel(kNames[i], this);
        m_labels[i]->setContentsMargins(i == 0 || i == 4 ? 0 : 2, 0, 0, 0);
        layout->addWidget(m_labels[i]);
    }
    layout->addStretch(1);
    setTextColor(m_labels[1], Qt::red);
}

void SummaryLine::showSummary(const results::SummaryTexts& texts) {
    const std::string* parts[] = {&texts.searchedAndFound, &texts.matchesWord, &texts.inFiles,
                                  &texts.uniqueMatches, &texts.binarySkipped};
    for (size_t i = 0; i < m_labels.size(); ++i) {
        m_labels[i]->setText(QString::fromStdString(*parts[i]));
        m_labels[i]->setVisible(!parts[i]->empty()); // an empty one would still take its spacing
    }
}

void SummaryLine::showNote(const QString& text) {
    m_labels[0]->setText(text);
    for (size_t i = 1; i < m_labels.size(); ++i)
        m_labels[i]->hide();
}

void SummaryLine::clear() {
    for (QLabel* label : m_labels)
        label->clear();
}

void SummaryLine::applyFontSize(int pointSize) {
    const int size = std::min(pointSize, 11);
    for (size_t i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setFont(arialFont(size, i < 3));
    setFixedHeight(QFontMetrics(arialFont(size)).height() + 18);
}

RunStatusBar::RunStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("statusLabel"));
    setSizeGripEnabled(true);
    m_textLabel = makeLabel("statusText", this);
    addWidget(m_textLabel, 1);
    m_progressBar = named(new QProgressBar(this), "progressBar");
    m_progressBar->setMaximumWidth(220);
    m_progressBar->setTextVisible(false);
    m_progressBar->setAccessibleName(QStringLiteral("Run progress"));
    m_stopButton = named(new QPushButton(QStringLiteral("Cancel"), this), "stopRunButton");
    m_stopButton->setAccessibleName(QStringLiteral("Cancel the run"));
    m_stopButton->setToolTip(QStringLiteral("Stop the search (Esc)"));
    addPermanentWidget(m_progressBar);
    addPermanentWidget(m_stopButton);
    m_progressBar->hide();
    m_stopButton->hide();
    connect(m_stopButton, &QPushButton::clicked, this, &RunStatusBar::stopRequested);
}

void RunStatusBar::showText(const QString& text) {
    m_textLabel->setText(text);
}

QString RunStatusBar::text() const {
    return m_textLabel->text();
}

void RunStatusBar::setRunning(bool running) {
    m_progressBar->setVisible(running);
    m_progressBar->setRange(0, 0);
    m_stopButton->setVisible(running);
    m_stopButton->setEnabled(running);
}

void RunStatusBar::showProgress(int32_t done, int32_t total) {
    m_progressBar->setRange(0, total);
    m_progressBar->setValue(done);
}

void RunStatusBar::setStopping() {
    m_stopButton->setEnabled(false);
}

} // namespace kestrava::ui
