// The window's lines of status: the mode line at the top (mode, status, script name), the
// summary line above the results, and the status bar with a run's progress and its Cancel.
#pragma once

#include "results/results.h"

#include <QStatusBar>
#include <QWidget>

#include <array>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrava::ui {

class ModeLine : public QWidget {
    Q_OBJECT
  public:
    explicit ModeLine(QWidget* parent);
    // "Find mode", and the status in brackets; detail (the script's name) shows when not empty.
    void showMode(const QString& name);
    void showStatus(const QString& status, const QString& detail);
    void applyFontSize(int pointSize);

  private:
    QLabel* m_nameLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_detailLabel = nullptr;
};

class SummaryLine : public QWidget {
    Q_OBJECT
  public:
    explicit SummaryLine(QWidget* parent);
    void showSummary(const results::SummaryTexts& texts);
    // A run's progress or a note in the first place, the counts hidden.
    void showNote(const QString& text);
    void clear();
    void applyFontSize(int pointSize);

  private:
    std::array<QLabel*, 5> m_labels{};
};

class RunStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit RunStatusBar(QWidget* parent);
    void showText(const QString& text);
    QString text() const;
    // The progress bar and Cancel show while a run goes on; the bar starts busy.
    void setRunning(bool running);
    // Busy (no range) while the total is 0.
    void showProgress(int32_t done, int32_t total);
    void setStopping();

  signals:
    void stopRequested();

  private:
    QLabel* m_textLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_stopButton = nullptr;
};

} // namespace kestrava::ui
