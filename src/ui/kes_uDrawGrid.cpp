#include "kes_uDrawGrid.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>

#include <algorithm>

namespace {

const QColor kHeaderFill{204, 255, 153};
const QColor kMatchColor{255, 0, 0};
const QColor kContextColor{0, 0, 255};
const QColor kScriptHeaderFill{0x77, 0x88, 0x99};
const QColor kCurrentItemFill{0xFF, 0xE4, 0xC4};
const QColor kGroupMarker{0xFF, 0x00, 0x00};
constexpr int kTextTop = 2; // text sits 2 pixels below a cell's top

QString MatchCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" match") : QStringLiteral(" matches"));
}

// Control bytes become U+2400.. pictures; the rest is left as decoded.
QString ShowControls(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 32)
            c = QChar(0x2400 + c.unicode());
    return text;
}

const kes::TMatchedLines& RowLine(const kes::TkesMatchResults& results, const kes::TResultRow& r) {
    return results.Files.at(static_cast<size_t>(r.FileIndex))
        .Lines.at(static_cast<size_t>(r.LineIndex));
}

bool IsValidUtf8(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded =
        utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A byte offset moved to the start (or past the end) of the UTF-8 character it falls in.
size_t CharStart(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && IsContinuationByte(text[at]))
        --at;
    return at;
}
size_t CharEnd(std::string_view text, size_t at) {
    while (at < text.size() && IsContinuationByte(text[at]))
        ++at;
    return at;
}

// Bytes of a line already known to be UTF-8 (or, when not, Latin-1) as the screen shows them.
QString LinePieceText(std::string_view bytes, bool utf8) {
    const auto size = static_cast<qsizetype>(bytes.size());
    return ShowControls(utf8 ? QString::fromUtf8(bytes.data(), size)
                             : QString::fromLatin1(bytes.data(), size));
}

// Where bytes (a view into text, or an empty view past its end) start in text.
size_t OffsetIn(std::string_view text, std::string_view bytes) {
    return bytes.data() == nullptr ? text.size() : static_cast<size_t>(bytes.data() - text.data());
}

struct TByteRange {
    size_t Start = 0;
    size_t End = 0;
    bool IsMatch = false;
};

// The line's segments as byte ranges. In a UTF-8 line a character cut by a segment boundary is
// given whole to the match beside it, so every range decodes on its own.
std::vector<TByteRange> SegmentRanges(const kes::TMatchedLines& line, bool utf8) {
    const std::string_view text = line.Text;
    std::vector<TByteRange> ranges;
    for (const kes::TMatchedSegment segment : line.Segments()) {
        const std::string_view bytes = kes::SegmentText(line, segment);
        const size_t start = OffsetIn(text, bytes);
        ranges.push_back({start, start + bytes.size(), segment.IsMatch});
    }
    if (!utf8)
        return ranges;
    size_t drawn = 0; // each byte is drawn once, by the first range that takes it
    for (size_t i = 0; i < ranges.size(); ++i) {
        TByteRange& range = ranges[i];
        const bool matchAfter = i + 1 < ranges.size() && ranges[i + 1].IsMatch;
        const size_t start = range.IsMatch ? CharStart(text, range.Start) : range.Start;
        const size_t end =
            range.IsMatch || !matchAfter ? CharEnd(text, range.End) : CharStart(text, range.End);
        range.Start = std::max(drawn, start);
        range.End = std::max(range.Start, end);
        drawn = range.End;
    }
    return ranges;
}

} // namespace

QString DisplayText(std::string_view bytes) {
    return LinePieceText(bytes, IsValidUtf8(bytes));
}

std::vector<TkesGridPiece> ResultRowPieces(const kes::TkesMatchResults& results,
                                           const kes::TResultRows& rows, size_t row) {
    std::vector<TkesGridPiece> pieces;
    if (row >= rows.size())
        return pieces;
    const kes::TResultRow& r = rows[row];
    switch (r.Kind) {
    case kes::rkFileHeader: {
        const kes::TkesFile& file = results.Files.at(static_cast<size_t>(r.FileIndex));
        const std::string& folder = results.Folders.at(static_cast<size_t>(file.FolderIndex));
        pieces.push_back({QStringLiteral("Found ") + MatchCountText(file.NumMatches) +
                              QStringLiteral(" in ") + DisplayText(folder),
                          Qt::black});
        pieces.push_back({DisplayText(file.FileName), Qt::black, true, 2, 2});
        break;
    }
    case kes::rkLine: {
        // Decided per line: a match ending inside a character must not turn the rest of the
        // line into Latin-1.
        const kes::TMatchedLines& line = RowLine(results, r);
        const bool utf8 = IsValidUtf8(line.Text);
        for (const TByteRange& range : SegmentRanges(line, utf8))
            pieces.push_back({LinePieceText(std::string_view(line.Text).substr(
                                                range.Start, range.End - range.Start),
                                            utf8),
                              range.IsMatch ? kMatchColor : kContextColor});
        if (line.Truncated)
            pieces.push_back({QStringLiteral("->"), Qt::black});
        break;
    }
    case kes::rkMatch: {
        const kes::TMatchedLines& line = RowLine(results, r);
        const auto match = static_cast<size_t>(r.MatchIndex);
        const std::string_view text = line.Text;
        const std::string_view bytes = kes::MatchText(line, match);
        const bool utf8 = IsValidUtf8(text);
        size_t start = OffsetIn(text, bytes);
        size_t end = start + bytes.size();
        if (utf8) {
            start = CharStart(text, start);
            end = CharEnd(text, end);
        }
        pieces.push_back({LinePieceText(text.substr(start, end - start), utf8), Qt::black});
        if (kes::CutAfterMatch(line, match))
            pieces.push_back({QStringLiteral("->"), Qt::black});
        break;
    }
    case kes::rkBlank:
        break;
    }
    return pieces;
}

QString ResultRowText(const kes::TkesMatchResults& results, const kes::TResultRows& rows,
                      size_t row) {
    QString text;
    for (const TkesGridPiece& piece : ResultRowPieces(results, rows, row))
        text += piece.Text;
    return text;
}

QColor ResultRowFill(const kes::TResultRows& rows, size_t row, const QColor& background) {
    return row < rows.size() && rows[row].Kind == kes::rkFileHeader ? kHeaderFill : background;
}

namespace {

const kes::TkesScriptEntry* LineEntry(const kes::TkesScript& script,
                                      const kes::TkesScriptLine& line) {
    if (line.EntryIndex < 0 || static_cast<size_t>(line.EntryIndex) >= script.Entries.size())
        return nullptr;
    return &script.Entries[static_cast<size_t>(line.EntryIndex)];
}

QColor ScriptRowFill(const kes::TkesScript& script, const kes::TkesScriptLine& line,
                     const TkesScriptColours& colours) {
    const bool currentItem = line.EntryIndex >= 0 && line.EntryIndex == script.CurrentEntry &&
                             line.LineKind != kes::slkBlank && line.LineKind != kes::slkNewItem;
    switch (script.State) {
    case kes::ssViewing:
        return currentItem ? kCurrentItemFill : colours.Background;
    case kes::ssChange:
        return currentItem ? colours.Highlight : colours.Background;
    case kes::ssAppend:
    case kes::ssInsert:
        return line.LineKind == kes::slkNewItem ? colours.Highlight : colours.Background;
    default:
        return colours.Background;
    }
}

bool InCurrentGroup(const kes::TkesScript& script, const kes::TkesScriptEntry* entry) {
    if (entry == nullptr || script.CurrentEntry < 0 ||
        static_cast<size_t>(script.CurrentEntry) >= script.Entries.size())
        return false;
    return entry->ItemNo == script.Entries[static_cast<size_t>(script.CurrentEntry)].ItemNo;
}

QString ScriptColumnText(const kes::TkesScript& script, const kes::TkesScriptLine& line,
                         const kes::TkesScriptEntry* entry, int column) {
    static const char* const kActions[] = {
        "", "Folder(s):", "File(s)", "Find:", "Replace:", "Options:", "", ""};
    if (line.LineKind == kes::slkNewItem)
        return column != 3 ? QString()
               : script.State == kes::ssInsert
                   ? QStringLiteral("New script item will be Inserted here")
                   : QStringLiteral("New script item will be Appended here");
    if (entry == nullptr || line.LineKind == kes::slkBlank)
        return {};
    switch (column) {
    case 1:
        return line.LineKind == kes::slkFolders || line.LineKind == kes::slkFind
                   ? QString::fromStdString(kes::ScriptItemNumber(*entry))
                   : QString();
    case 2:
        return QString::fromLatin1(kActions[line.LineKind]);
    case 3:
        switch (line.LineKind) {
        case kes::slkFolders:
        case kes::slkFind:
            return DisplayText(entry->Text1);
        case kes::slkFiles:
        case kes::slkReplace:
            return DisplayText(entry->Text2);
        case kes::slkOptions:
            return DisplayText(entry->Text3);
        default:
            return {};
        }
    default:
        return {};
    }
}

} // namespace

TkesScriptCell ScriptLineCell(const kes::TkesScript& script, int row, int column,
                              const TkesScriptColours& colours) {
    static const char* const kTitles[] = {"", "  Item", "  Files/Action", "  Value"};
    if (row == 0)
        return {kScriptHeaderFill, QString::fromLatin1(kTitles[column]), true};
    if (script.Lines.empty())
        return {colours.Background,
                row == 2 && column == 3 ? QStringLiteral("  Empty Script") : QString()};
    const auto index = static_cast<size_t>(row - 1);
    if (index >= script.Lines.size())
        return {colours.Background, QString()};
    const kes::TkesScriptLine& line = script.Lines[index];
    const kes::TkesScriptEntry* entry = LineEntry(script, line);
    if (column == 0)
        return {InCurrentGroup(script, entry) ? kGroupMarker : colours.Background, QString()};
    return {ScriptRowFill(script, line, colours), ScriptColumnText(script, line, entry, column)};
}

int ScriptGridRowCount(const kes::TkesScript& script) {
    return script.Lines.empty() ? 3 : static_cast<int>(script.Lines.size()) + 2;
}

TkesDrawGrid::TkesDrawGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("DrawGrid1"));
    setFocusPolicy(Qt::StrongFocus);
    SetGridFont(QStringLiteral("Arial"), 10);
    SetBackground(FBackground);
    ClearDrawGrid(1);
}

void TkesDrawGrid::ClearDrawGrid(int columnCount) {
    const int width = viewport()->width();
    if (columnCount == 4) {
        QFont header = FFont;
        header.setPointSize(std::max(1, FFont.pointSize() - 2));
        const QFontMetrics metrics(header);
        const int item = metrics.horizontalAdvance(QStringLiteral("  Item")) + 10;
        const int files = metrics.horizontalAdvance(QStringLiteral("  Files/Action")) + 20;
        FColumnWidths = {5, item, files, std::max(10, width - 5 - item - files - 4)};
        FFixedRows = 1;
    } else {
        FColumnWidths = {std::max(10, width - 4)};
        FFixedRows = 0;
    }
    FWidestExtent = 0;
    FRowCount = FFixedRows + 2;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

void TkesDrawGrid::ShowEmpty() {
    FContent = gcEmpty;
    FResults = nullptr;
    FRows = nullptr;
    FRowCount = FFixedRows + 2;
    UpdateScrollBars();
    viewport()->update();
}

void TkesDrawGrid::ShowResults(const kes::TkesMatchResults* results, const kes::TResultRows* rows) {
    FContent = gcResults;
    FResults = results;
    FRows = rows;
    FRowCount = rows->empty() ? 2 : static_cast<int>(rows->size());
    UpdateScrollBars();
    viewport()->update();
}

void TkesDrawGrid::ShowScript(const kes::TkesScript* script, const TkesScriptColours& colours) {
    FContent = gcScript;
    FResults = nullptr;
    FRows = nullptr;
    FScript = script;
    FScriptColours = colours;
    FRowCount = ScriptGridRowCount(*script);
    UpdateScrollBars();
    viewport()->update();
}

void TkesDrawGrid::SetBackground(const QColor& color) {
    FBackground = color;
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Window, color);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    viewport()->update();
}

void TkesDrawGrid::SetGridFont(const QString& name, int pointSize) {
    FFont = QFont(name);
    FFont.setPointSize(pointSize);
    FRowHeight = QFontMetrics(FFont).height() + 4; // the text height of "Ap" plus 4
    UpdateScrollBars();
    viewport()->update();
}

void TkesDrawGrid::FitColumnsToWidth() {
    const int width = viewport()->width();
    if (FColumnWidths.size() == 1)
        FColumnWidths[0] = std::max({10, width - 4, FWidestExtent});
    else if (FColumnWidths.size() == 4)
        FColumnWidths[3] =
            std::max(10, width - FColumnWidths[0] - FColumnWidths[1] - FColumnWidths[2] - 4);
    UpdateScrollBars();
    viewport()->update();
}

int TkesDrawGrid::TopRow() const {
    return verticalScrollBar()->value();
}

int TkesDrawGrid::VisibleRowCount() const {
    return std::max(1, viewport()->height() / std::max(1, FRowHeight));
}

int TkesDrawGrid::RowAt(const QPoint& viewportPoint) const {
    if (viewportPoint.y() < 0)
        return -1;
    const int row = TopRow() + viewportPoint.y() / FRowHeight;
    return row < FRowCount ? row : -1;
}

void TkesDrawGrid::UpdateScrollBars() {
    // Scrolling is by whole rows, so the range stays small however many rows there are.
    verticalScrollBar()->setRange(0, std::max(0, FRowCount - VisibleRowCount()));
    verticalScrollBar()->setPageStep(VisibleRowCount());
    verticalScrollBar()->setSingleStep(1);
    int total = 0;
    for (int width : FColumnWidths)
        total += width;
    horizontalScrollBar()->setRange(0, std::max(0, total - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(20);
}

void TkesDrawGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    FitColumnsToWidth();
}

void TkesDrawGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

void TkesDrawGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), FBackground);
    const int first = TopRow();
    const int last = std::min(FRowCount, first + VisibleRowCount() + 1);
    const int left = -horizontalScrollBar()->value();
    for (int row = first; row < last; ++row) {
        const QRect rect(left, (row - first) * FRowHeight, FColumnWidths[0], FRowHeight);
        if (FContent == gcResults)
            DrawResultRow(painter, row, rect);
        else if (FContent == gcScript)
            DrawScriptRow(painter, row, rect);
    }
}

void TkesDrawGrid::DrawResultRow(QPainter& painter, int row, const QRect& rect) {
    const auto index = static_cast<size_t>(row);
    if (row == 0)
        FWidestExtent = 0;
    if (FRows->empty()) {
        if (row == 0) {
            painter.setFont(FFont);
            painter.setPen(Qt::black);
            DrawPieces(painter, {{QStringLiteral("No matches found"), Qt::black}}, rect);
        }
        return;
    }
    painter.fillRect(rect, ResultRowFill(*FRows, index, FBackground));
    DrawPieces(painter, ResultRowPieces(*FResults, *FRows, index), rect);
}

void TkesDrawGrid::DrawPieces(QPainter& painter, const std::vector<TkesGridPiece>& pieces,
                              const QRect& rect) {
    const QFontMetrics plainMetrics(FFont);
    int x = rect.left();
    for (const TkesGridPiece& piece : pieces) {
        QFont font = FFont;
        font.setBold(piece.Bold);
        painter.setFont(font);
        painter.setPen(piece.Color);
        x += piece.OffsetX;
        const int baseline = rect.top() + kTextTop + piece.OffsetY + plainMetrics.ascent();
        painter.drawText(QPoint(x, baseline), piece.Text);
        x += QFontMetrics(font).horizontalAdvance(piece.Text);
    }
    WidenColumn(x - rect.left());
}

void TkesDrawGrid::WidenColumn(int extent) {
    // The column only ever widens while results are shown, so long lines can be scrolled to.
    FWidestExtent = std::max(FWidestExtent, extent);
    if (FColumnWidths.size() == 1 && FColumnWidths[0] < FWidestExtent) {
        FColumnWidths[0] = FWidestExtent;
        QMetaObject::invokeMethod(
            this, [this] { UpdateScrollBars(); }, Qt::QueuedConnection);
    }
}

void TkesDrawGrid::DrawScriptRow(QPainter& painter, int row, const QRect& rect) {
    QFont header = FFont;
    header.setPointSize(std::max(1, FFont.pointSize() - 2));
    int x = rect.left();
    for (size_t column = 0; column < FColumnWidths.size(); ++column) {
        const QRect cell(x, rect.top(), FColumnWidths[column], rect.height());
        const TkesScriptCell content =
            ScriptLineCell(*FScript, row, static_cast<int>(column), FScriptColours);
        painter.fillRect(cell, content.Fill);
        // Texts run over into the next cell until that cell's fill covers them.
        painter.setFont(content.Header ? header : FFont);
        painter.setPen(content.Header ? Qt::white : Qt::black);
        const QFontMetrics metrics(painter.font());
        painter.drawText(QPoint(cell.left(), cell.top() + kTextTop + metrics.ascent()),
                         content.Text);
        x += FColumnWidths[column];
    }
}

void TkesDrawGrid::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
    emit MouseDown(event->position().toPoint());
}

void TkesDrawGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
    // The second press of a double click is a press too: it records where the click was.
    emit MouseDown(event->position().toPoint());
    emit DoubleClicked(event->position().toPoint());
}

void TkesDrawGrid::keyPressEvent(QKeyEvent* event) {
    emit KeyDown(event->key());
    QAbstractScrollArea::keyPressEvent(event); // the grid still scrolls as usual
}
