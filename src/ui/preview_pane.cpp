#include "preview_pane.h"

#include "results/results.h"
#include "results_grid.h"
#include "widget_style.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrava::ui {

namespace {

// Matches are black on yellow on every theme; the other colours are the grid's for the
// text's background, so a dark theme gets dark fills with light text.
const QColor kMatchFill{0xFF, 0xD8, 0x4D};
const QColor kMatchText{0x00, 0x00, 0x00};
const QColor kProblemText{0xC0, 0x00, 0x00};

GridColours textColours(const QWidget& view) {
    return gridColours(view.palette().color(QPalette::Active, QPalette::Base), view.palette());
}

constexpr int kGutterPadding = 6; // pixels on either side of the numbers

// Paints the spans of each line in the match colours whenever the document lays a line out.
class MatchHighlighter : public QSyntaxHighlighter {
  public:
    explicit MatchHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
        m_format.setBackground(kMatchFill);
        m_format.setForeground(kMatchText);
    }
    // Spans in line order; takes effect with the next text set.
    void setSpans(std::vector<PreviewSpan> spans) { m_spans = std::move(spans); }

  protected:
    void highlightBlock(const QString&) override {
        const int line = currentBlock().blockNumber();
        const auto [first, last] = std::equal_range(
            m_spans.begin(), m_spans.end(), PreviewSpan{line, 0, 0},
            [](const PreviewSpan& a, const PreviewSpan& b) { return a.line < b.line; });
        for (auto span = first; span != last; ++span)
            setFormat(span->start, span->length, m_format);
    }

  private:
    std::vector<PreviewSpan> m_spans;
    QTextCharFormat m_format;
};

} // namespace

// The read-only text with a gutter of line numbers, counted from the first line shown.
class PreviewTextView : public QPlainTextEdit {
  public:
    explicit PreviewTextView(QWidget* parent);
    void setText(const PreviewText& shown);
    int gutterWidth() const;
    void paintGutter(QPaintEvent* event);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void updateGutterWidth();

    QWidget* m_gutter;
    MatchHighlighter* m_highlighter;
    int64_t m_firstLine = 1;
};

namespace {

class LineGutter : public QWidget {
  public:
    explicit LineGutter(PreviewTextView* view) : QWidget(view), m_view(view) {}
    QSize sizeHint() const override { return {m_view->gutterWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { m_view->paintGutter(event); }

  private:
    PreviewTextView* m_view;
};

} // namespace

PreviewTextView::PreviewTextView(QWidget* parent)
    : QPlainTextEdit(parent), m_gutter(new LineGutter(this)),
      m_highlighter(new MatchHighlighter(document())) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateGutterWidth(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0)
            m_gutter->scroll(0, dy);
        else
            m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    });
    updateGutterWidth();
}

void PreviewTextView::setText(const PreviewText& shown) {
    m_firstLine = shown.firstLineNumber;
    m_highlighter->setSpans(shown.matches);
    setPlainText(shown.text); // lays the lines out, and so highlights them
    updateGutterWidth();
}

int PreviewTextView::gutterWidth() const {
    const int64_t last = m_firstLine + std::max(0, blockCount() - 1);
    const auto digits = static_cast<int>(QString::number(last).size());
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits + 2 * kGutterPadding;
}

void PreviewTextView::updateGutterWidth() {
    setViewportMargins(gutterWidth(), 0, 0, 0);
    const QRect inside = contentsRect();
    m_gutter->setGeometry(inside.left(), inside.top(), gutterWidth(), inside.height());
    m_gutter->update();
}

void PreviewTextView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    updateGutterWidth();
}

void PreviewTextView::paintGutter(QPaintEvent* event) {
    QPainter painter(m_gutter);
    const GridColours colours = textColours(*this);
    painter.fillRect(event->rect(), colours.gutterFill);
    painter.setFont(font());
    painter.setPen(colours.lineNumber);
    const int right = m_gutter->width() - kGutterPadding;
    const int lineHeight = fontMetrics().height();
    if (document()->isEmpty())
        return; // no line to number
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (bottom >= event->rect().top())
            painter.drawText(QRect(0, top, right, lineHeight), Qt::AlignRight,
                             QString::number(m_firstLine + block.blockNumber()));
        block = block.next();
        top = bottom;
    }
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("previewPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    m_noteLabel = named(new QLabel(this), "previewNote");
    // A long path must not widen the window: the label takes the width it is given.
    m_noteLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_noteLabel->setTextFormat(Qt::PlainText);
    m_noteLabel->setContentsMargins(4, 0, 4, 0);
    m_textView = new PreviewTextView(this);
    m_textView->setObjectName(QStringLiteral("previewText"));
    setAccessibleName(QStringLiteral("Preview"));
    m_textView->setAccessibleName(QStringLiteral("Preview of the chosen result's file"));
    layout->addWidget(m_noteLabel);
    layout->addWidget(m_textView, 1);
    clear();
}

void PreviewPane::showLine(const search::SearchResults& results, size_t fileIndex,
                           size_t lineIndex) {
    m_shown = loadPreviewText(results, fileIndex, lineIndex);
    const search::FileMatches& file = results.files.at(fileIndex);
    const QString name = displayText(kestrava::results::filePath(results, file));
    if (!m_shown.problem.isEmpty()) {
        m_noteLabel->setText(m_shown.problem);
        setTextColor(m_noteLabel, kProblemText);
    } else {
        m_noteLabel->setText(
            m_shown.wholeFile
                ? name
                : QStringLiteral("Lines %1-%2 of %3 (only the lines around the match are read)")
                      .arg(m_shown.firstLineNumber)
                      .arg(m_shown.firstLineNumber + m_shown.lineCount - 1)
                      .arg(name));
        setTextColor(m_noteLabel, kBlackText);
    }
    m_noteLabel->setToolTip(m_noteLabel->text());
    showText();
}

void PreviewPane::clear() {
    m_shown = PreviewText{};
    m_noteLabel->setText(QStringLiteral("Choose a result to see its file here."));
    m_noteLabel->setToolTip(QString());
    setTextColor(m_noteLabel, kInactiveText);
    showText();
}

void PreviewPane::showText() {
    m_textView->setText(m_shown);
    markAnchor();
}

void PreviewPane::markAnchor() {
    if (m_shown.anchorLine < 0) {
        m_textView->setExtraSelections({});
        return;
    }
    const QTextBlock block = m_textView->document()->findBlockByNumber(m_shown.anchorLine);
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + std::min(m_shown.anchorColumn, block.length() - 1));
    m_textView->setTextCursor(cursor);
    QList<QTextEdit::ExtraSelection> marks;
    QTextEdit::ExtraSelection line;
    line.format.setBackground(textColours(*m_textView).currentRowFill); // as the grid's
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = cursor;
    marks.append(line);
    // The line's fill covers the highlighter's colours, so its matches are marked again on top.
    for (const PreviewSpan& span : m_shown.matches) {
        if (span.line != m_shown.anchorLine)
            continue;
        QTextEdit::ExtraSelection match;
        match.format.setBackground(kMatchFill);
        match.format.setForeground(kMatchText);
        match.cursor = QTextCursor(block);
        match.cursor.setPosition(block.position() + span.start);
        match.cursor.setPosition(block.position() + span.start + span.length,
                                 QTextCursor::KeepAnchor);
        marks.append(match);
    }
    m_textView->setExtraSelections(marks);
    m_textView->centerCursor();
}

void PreviewPane::setTextPointSize(int pointSize) {
    QFont font = m_textView->font();
    font.setPointSize(std::max(1, pointSize));
    m_textView->setFont(font);
    m_textView->setTabStopDistance(4 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
    m_noteLabel->setFont(arialFont(pointSize));
}

QString PreviewPane::note() const {
    return m_noteLabel->text();
}

QPlainTextEdit& PreviewPane::textView() {
    return *m_textView;
}

int64_t PreviewPane::markedLineNumber() const {
    return m_shown.anchorLine < 0 ? 0 : m_shown.firstLineNumber + m_shown.anchorLine;
}

} // namespace kestrava::ui
