// The preview under the results grid (View > Preview): the file of the chosen row, read-only,
// with line numbers, every match of the file highlighted and the chosen line marked and
// scrolled into sight. Only the lines around the chosen one are read (see preview_text.h).
#pragma once

#include "preview_text.h"
#include "search/search.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace kestrava::ui {

class PreviewTextView;

class PreviewPane : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPane(QWidget* parent = nullptr);

    // Shows file fileIndex of the results around its matched line lineIndex; a file that cannot
    // be shown is named with the reason instead. Nothing of results is kept.
    void showLine(const search::SearchResults& results, size_t fileIndex, size_t lineIndex);
    // Shows only a hint to choose a row.
    void clear();
    void setTextPointSize(int pointSize);

    // What the pane shows: the line above the text, the text, the number of its first line and
    // of the marked line (0 when none).
    QString note() const;
    QPlainTextEdit& textView();
    int64_t firstLineNumber() const { return m_shown.firstLineNumber; }
    int64_t markedLineNumber() const;

  private:
    void showText();
    void markAnchor();

    QLabel* m_noteLabel = nullptr;
    PreviewTextView* m_textView = nullptr;
    PreviewText m_shown;
};

} // namespace kestrava::ui
