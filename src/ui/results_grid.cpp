// The results grid: results rows, script cells and replace-preview rows worked out as pieces of
// text, and the virtualised drawing of the rows in sight.
#include "results_grid.h"

#include "widget_style.h"
#include "write_report.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStyleOptionButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace kestrava::ui {

namespace {

const QColor kScriptHeaderFill{0x77, 0x88, 0x99}; // white text: readable on any theme
const QColor kGroupMarker{0xFF, 0x00, 0x00};
const QColor kDefaultBackground{0xF7, 0xF7, 0xF7};
// Red and blue keep their meaning on a dark background, lightened enough to be read there.
const QColor kDarkMatchColor{0xFF, 0x6B, 0x6B};
const QColor kDarkContextColor{0x7C, 0xB8, 0xFF};
const QColor kDarkAddedColor{0x7C, 0xE0, 0x7C};

// The widest line number among the results, as the number of its digits.
int lineNumberDigits(const search::SearchResults& results) {
    int32_t widest = 1;
    for (const search::FileMatches& file : results.files)
        for (const search::MatchedLine& line : file.lines)
            widest = std::max(widest, line.lineNumber);
    return static_cast<int>(std::to_string(widest).size());
}
constexpr int kTextTop = 2; // text sits 2 pixels below a cell's top

QString matchCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" match") : QStringLiteral(" matches"));
}

// Control bytes become U+2400.. pictures; the rest is left as decoded.
QString showControls(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 32)
            c = QChar(0x2400 + c.unicode());
    return text;
}

const search::MatchedLine& rowLine(const search::SearchResults& results, const results::Row& r) {
    return results.files.at(static_cast<size_t>(r.fileIndex))
        .lines.at(static_cast<size_t>(r.lineIndex));
}

bool isValidUtf8(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded =
        utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A byte offset moved to the start (or past the end) of the UTF-8 character it falls in.
size_t charStart(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && isContinuationByte(text[at]))
        --at;
    return at;
}
size_t charEnd(std::string_view text, size_t at) {
    while (at < text.size() && isContinuationByte(text[at]))
        ++at;
    return at;
}

// Bytes of a line already known to be UTF-8 (or, when not, Latin-1) as the screen shows them.
QString linePieceText(std::string_view bytes, bool utf8) {
    const auto size = static_cast<qsizetype>(bytes.size());
    return showControls(utf8 ? QString::fromUtf8(bytes.data(), size)
                             : QString::fromLatin1(bytes.data(), size));
}

// Where bytes (a view into text, or an empty view past its end) start in text.
size_t offsetIn(std::string_view text, std::string_view bytes) {
    return bytes.data() == nullptr ? text.size() : static_cast<size_t>(bytes.data() - text.data());
}

struct ByteRange {
    size_t start = 0;
    size_t end = 0;
    bool isMatch = false;
};

// The line's segments as byte ranges. In a UTF-8 line a character cut by a segment boundary is
// given whole to the match beside it, so every range decodes on its own.
std::vector<ByteRange> segmentRanges(const search::MatchedLine& line, bool utf8) {
    const std::string_view text = line.text();
    std::vector<ByteRange> ranges;
    for (const search::MatchedSegment segment : line.segments()) {
        const std::string_view bytes = results::segmentText(line, segment);
        const size_t start = offsetIn(text, bytes);
        ranges.push_back({start, start + bytes.size(), segment.isMatch});
    }
    if (!utf8)
        return ranges;
    size_t drawn = 0; // each byte is drawn once, by the first range that takes it
    for (size_t i = 0; i < ranges.size(); ++i) {
        ByteRange& range = ranges[i];
        const bool matchAfter = i + 1 < ranges.size() && ranges[i + 1].isMatch;
        const size_t start = range.isMatch ? charStart(text, range.start) : range.start;
        const size_t end =
            range.isMatch || !matchAfter ? charEnd(text, range.end) : charStart(text, range.end);
        range.start = std::max(drawn, start);
        range.end = std::max(range.start, end);
        drawn = range.end;
    }
    return ranges;
}

} // namespace

GridColours gridColours(const QColor& background, const QPalette& palette) {
    const GridColours light;
    if (!isDark(background))
        return light;
    GridColours dark;
    dark.text = readableTextOn(background, palette);
    dark.match = kDarkMatchColor;
    dark.context = kDarkContextColor;
    dark.removed = kDarkMatchColor;
    dark.added = kDarkAddedColor;
    dark.lineNumber = blend(dark.text, background, 0.55);
    // The light theme's fills, dimmed into the background, so each row keeps its tint.
    dark.headerFill = blend(light.headerFill, background, 0.28);
    dark.currentRowFill =
        blend(palette.color(QPalette::Active, QPalette::Highlight), background, 0.40);
    dark.currentItemFill = blend(light.currentItemFill, background, 0.28);
    dark.gutterFill = blend(dark.text, background, 0.08);
    return dark;
}

QColor gridBackground(const QColor& chosen, const QPalette& palette) {
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    return chosen == kDefaultBackground && isDark(base) ? base : chosen;
}

QColor readableTextOn(const QColor& fill, const QPalette& palette) {
    if (!isDark(fill))
        return Qt::black;
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    return isDark(text) ? QColor(0xF0, 0xF0, 0xF0) : text;
}

QString displayText(std::string_view bytes) {
    return linePieceText(bytes, isValidUtf8(bytes));
}

std::vector<GridPiece> resultRowPieces(const search::SearchResults& results,
                                       const results::Rows& rows, size_t row,
                                       const GridColours& colours) {
    std::vector<GridPiece> pieces;
    if (row >= rows.size())
        return pieces;
    const results::Row& r = rows[row];
    switch (r.kind) {
    case results::RowKind::FileHeader: {
        const search::FileMatches& file = results.files.at(static_cast<size_t>(r.fileIndex));
        const std::string& folder = results.folders.at(static_cast<size_t>(file.folderIndex));
        pieces.push_back({QStringLiteral("Found ") + matchCountText(file.numMatches) +
                              QStringLiteral(" in ") + displayText(folder),
                          colours.text});
        pieces.push_back({displayText(file.fileName), colours.text, true, false, 2, 2});
        break;
    }
    case results::RowKind::Line: {
        // Decided per line: a match ending inside a character must not turn the rest of the
        // line into Latin-1.
        const search::MatchedLine& line = rowLine(results, r);
        const bool utf8 = isValidUtf8(line.text());
        for (const ByteRange& range : segmentRanges(line, utf8))
            pieces.push_back(
                {linePieceText(line.text().substr(range.start, range.end - range.start), utf8),
                 range.isMatch ? colours.match : colours.context});
        if (line.truncated())
            pieces.push_back({QStringLiteral("->"), colours.text});
        break;
    }
    case results::RowKind::Match: {
        const search::MatchedLine& line = rowLine(results, r);
        const auto match = static_cast<size_t>(r.matchIndex);
        const std::string_view text = line.text();
        const std::string_view bytes = results::matchText(line, match);
        const bool utf8 = isValidUtf8(text);
        size_t start = offsetIn(text, bytes);
        size_t end = start + bytes.size();
        if (utf8) {
            start = charStart(text, start);
            end = charEnd(text, end);
        }
        pieces.push_back({linePieceText(text.substr(start, end - start), utf8), colours.text});
        if (results::cutAfterMatch(line, match))
            pieces.push_back({QStringLiteral("->"), colours.text});
        break;
    }
    case results::RowKind::Blank:
    case results::RowKind::Context: // the window's runs keep no context lines
    case results::RowKind::Separator:
        break;
    }
    return pieces;
}

QString resultRowText(const search::SearchResults& results, const results::Rows& rows, size_t row) {
    QString text;
    for (const GridPiece& piece : resultRowPieces(results, rows, row))
        text += piece.text;
    return text;
}

namespace {

const search::ChangeView& planRowView(const search::SearchResults& results, const PlanRow& r) {
    return results.files.at(static_cast<size_t>(r.fileIndex))
        .changeViews.at(static_cast<size_t>(r.changeIndex));
}

// A line of a change in pieces: what it shares with the other side at its start and end, and in
// bold what differs, so that two changes on one line can be told apart.
std::vector<GridPiece> changedLinePieces(std::string_view line, std::string_view other,
                                         const QColor& colour, bool struck) {
    const bool utf8 = isValidUtf8(line);
    const size_t most = std::min(line.size(), other.size());
    size_t prefix = 0;
    while (prefix < most && line[prefix] == other[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < most - prefix &&
           line[line.size() - 1 - suffix] == other[other.size() - 1 - suffix])
        ++suffix;
    size_t middleEnd = line.size() - suffix;
    if (utf8) { // whole characters on each side
        prefix = charStart(line, prefix);
        middleEnd = charEnd(line, middleEnd);
    }
    std::vector<GridPiece> pieces;
    const size_t bounds[] = {0, prefix, middleEnd, line.size()};
    for (size_t i = 0; i < 3; ++i)
        if (bounds[i + 1] > bounds[i])
            pieces.push_back(
                {linePieceText(line.substr(bounds[i], bounds[i + 1] - bounds[i]), utf8), colour,
                 i == 1, struck});
    return pieces;
}

QString changeCountText(size_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" change") : QStringLiteral(" changes"));
}

} // namespace

std::vector<GridPiece> planRowPieces(const search::SearchResults& results, const ChangePlan& plan,
                                     size_t row, const GridColours& colours) {
    if (row >= plan.rows().size())
        return {};
    const PlanRow& r = plan.rows()[row];
    switch (r.kind) {
    case PlanRowKind::FileHeader: {
        const search::FileMatches& file = results.files.at(static_cast<size_t>(r.fileIndex));
        const std::string& folder = results.folders.at(static_cast<size_t>(file.folderIndex));
        return {{changeCountText(file.changeViews.size()) + QStringLiteral(" in ") +
                     displayText(folder),
                 colours.text},
                {displayText(file.fileName), colours.text, true, false, 2, 2}};
    }
    case PlanRowKind::Before:
    case PlanRowKind::After: {
        const search::ChangeView& view = planRowView(results, r);
        const bool before = r.kind == PlanRowKind::Before;
        // A change left out is greyed, so what will be written stands out.
        const bool checked =
            plan.chosen()[static_cast<size_t>(r.fileIndex)][static_cast<size_t>(r.changeIndex)];
        const QColor colour = !checked ? colours.lineNumber
                              : before ? colours.removed
                                       : colours.added;
        return changedLinePieces(viewLine(before ? view.before : view.after, r.lineOffset),
                                 viewLine(before ? view.after : view.before, r.lineOffset), colour,
                                 before);
    }
    case PlanRowKind::Blank:
        break;
    }
    return {};
}

int32_t planRowLineNumber(const search::SearchResults& results, const ChangePlan& plan,
                          size_t row) {
    if (row >= plan.rows().size())
        return 0;
    const PlanRow& r = plan.rows()[row];
    if (r.kind != PlanRowKind::Before && r.kind != PlanRowKind::After)
        return 0;
    return planRowView(results, r).lineNumber + r.lineOffset;
}

QColor resultRowFill(const results::Rows& rows, size_t row, const QColor& background,
                     const GridColours& colours) {
    return row < rows.size() && rows[row].kind == results::RowKind::FileHeader ? colours.headerFill
                                                                               : background;
}

namespace {

const script::ScriptEntry* lineEntry(const script::Script& script, const script::ScriptLine& line) {
    if (line.entryIndex < 0 || static_cast<size_t>(line.entryIndex) >= script.entries.size())
        return nullptr;
    return &script.entries[static_cast<size_t>(line.entryIndex)];
}

QColor scriptRowFill(const script::Script& script, script::ItemEdit edit,
                     const script::ScriptLine& line, const ScriptColours& colours) {
    const bool currentItem = line.entryIndex >= 0 && line.entryIndex == script.currentEntry &&
                             line.lineKind != script::ScriptLineKind::Blank &&
                             line.lineKind != script::ScriptLineKind::NewItem;
    switch (edit) {
    case script::ItemEdit::None:
        return currentItem ? colours.currentItem : colours.background;
    case script::ItemEdit::Change:
        return currentItem ? colours.highlight : colours.background;
    case script::ItemEdit::Append:
    case script::ItemEdit::Insert:
        return line.lineKind == script::ScriptLineKind::NewItem ? colours.highlight
                                                                : colours.background;
    }
    return colours.background;
}

bool inCurrentGroup(const script::Script& script, const script::ScriptEntry* entry) {
    if (entry == nullptr || script.currentEntry < 0 ||
        static_cast<size_t>(script.currentEntry) >= script.entries.size())
        return false;
    return entry->itemNo == script.entries[static_cast<size_t>(script.currentEntry)].itemNo;
}

QString scriptColumnText(script::ItemEdit edit, const script::ScriptLine& line,
                         const script::ScriptEntry* entry, int column) {
    static const char* const kActions[] = {
        "", "Folder(s):", "File(s)", "Find:", "Replace:", "Options:", "", ""};
    if (line.lineKind == script::ScriptLineKind::NewItem)
        return column != 3 ? QString()
               : edit == script::ItemEdit::Insert
                   ? QStringLiteral("New script item will be Inserted here")
                   : QStringLiteral("New script item will be Appended here");
    if (entry == nullptr || line.lineKind == script::ScriptLineKind::Blank)
        return {};
    switch (column) {
    case 1:
        return line.lineKind == script::ScriptLineKind::Folders ||
                       line.lineKind == script::ScriptLineKind::Find
                   ? QString::fromStdString(script::scriptItemNumber(*entry))
                   : QString();
    case 2:
        return QString::fromLatin1(kActions[static_cast<size_t>(line.lineKind)]);
    case 3:
        switch (line.lineKind) {
        case script::ScriptLineKind::Folders:
            return displayText(entry->folders);
        case script::ScriptLineKind::Files:
            return displayText(entry->files);
        case script::ScriptLineKind::Find:
            return displayText(entry->find);
        case script::ScriptLineKind::Replace:
            return displayText(entry->replace);
        case script::ScriptLineKind::Options:
            return displayText(entry->options);
        default:
            return {};
        }
    default:
        return {};
    }
}

} // namespace

ScriptCell scriptLineCell(const script::Script& script, script::ItemEdit edit, int row, int column,
                          const ScriptColours& colours) {
    static const char* const kTitles[] = {"", "  Item", "  Files/Action", "  Value"};
    if (row == 0)
        return {kScriptHeaderFill, QString::fromLatin1(kTitles[column]), true};
    if (script.lines.empty())
        return {colours.background,
                row == 2 && column == 3 ? QStringLiteral("  Empty Script") : QString()};
    const auto index = static_cast<size_t>(row - 1);
    if (index >= script.lines.size())
        return {colours.background, QString()};
    const script::ScriptLine& line = script.lines[index];
    const script::ScriptEntry* entry = lineEntry(script, line);
    if (column == 0)
        return {inCurrentGroup(script, entry) ? kGroupMarker : colours.background, QString()};
    return {scriptRowFill(script, edit, line, colours),
            scriptColumnText(edit, line, entry, column)};
}

int scriptGridRowCount(const script::Script& script) {
    return script.lines.empty() ? 3 : static_cast<int>(script.lines.size()) + 2;
}

ResultsGrid::ResultsGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("resultsGrid"));
    setFocusPolicy(Qt::StrongFocus);
    setGridFont(QStringLiteral("Arial"), 10);
    setBackground(m_chosenBackground);
    clearDrawGrid(1);
}

void ResultsGrid::clearDrawGrid(int columnCount) {
    const int width = viewport()->width();
    if (columnCount == 4) {
        QFont header = m_font;
        header.setPointSize(std::max(1, m_font.pointSize() - 2));
        const QFontMetrics metrics(header);
        const int item = metrics.horizontalAdvance(QStringLiteral("  Item")) + 10;
        const int files = metrics.horizontalAdvance(QStringLiteral("  Files/Action")) + 20;
        m_columnWidths = {5, item, files, std::max(10, width - 5 - item - files - 4)};
        m_fixedRows = 1;
    } else {
        m_columnWidths = {std::max(10, width - 4)};
        m_fixedRows = 0;
    }
    m_widestExtent = 0;
    m_rowCount = m_fixedRows + 2;
    forgetCurrentRow();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::showEmpty() {
    m_content = GridContent::Empty;
    m_results = nullptr;
    m_rows = nullptr;
    m_plan = nullptr;
    m_fileWrites = nullptr;
    m_report = nullptr;
    m_rowCount = m_fixedRows + 2;
    forgetCurrentRow();
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::setLineNumbersShown(bool shown) {
    m_lineNumbers = shown;
    m_widestExtent = 0;
    viewport()->update();
}

void ResultsGrid::showResults(const search::SearchResults* results, const results::Rows* rows,
                              bool numbered) {
    m_numberDigits = lineNumberDigits(*results);
    m_content = GridContent::Results;
    m_results = results;
    m_rows = rows;
    m_rowsNumbered = numbered;
    m_plan = nullptr;
    m_report = nullptr;
    m_rowCount = rows->empty() ? 2 : static_cast<int>(rows->size());
    forgetCurrentRow();
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::rowsAdded(int32_t widestLineNumber) {
    if (m_content != GridContent::Results || m_rows == nullptr)
        return;
    m_numberDigits =
        std::max(m_numberDigits, static_cast<int>(std::to_string(widestLineNumber).size()));
    m_rowCount = m_rows->empty() ? 2 : static_cast<int>(m_rows->size());
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::setFileWrites(const std::vector<ReportLine>* writes) {
    m_fileWrites = writes;
    viewport()->update();
}

void ResultsGrid::showReport(const std::vector<ReportLine>* report) {
    showEmpty();
    m_content = GridContent::Report;
    m_report = report;
    m_rowCount = report->empty() ? 2 : static_cast<int>(report->size());
    updateScrollBars();
}

void ResultsGrid::showPlan(const search::SearchResults* results, ChangePlan* plan) {
    m_numberDigits = static_cast<int>(std::to_string(plan->widestLineNumber()).size());
    m_content = GridContent::Plan;
    m_results = results;
    m_rows = nullptr;
    m_plan = plan;
    m_fileWrites = nullptr;
    m_report = nullptr;
    m_rowCount = plan->empty() ? 2 : static_cast<int>(plan->rows().size());
    forgetCurrentRow();
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::showScript(const script::Script* script, script::ItemEdit edit,
                             const ScriptColours& colours) {
    m_scriptEdit = edit;
    m_content = GridContent::Script;
    m_results = nullptr;
    m_rows = nullptr;
    m_plan = nullptr;
    m_fileWrites = nullptr;
    m_report = nullptr;
    m_script = script;
    m_chosenScriptColours = colours;
    applyColours();
    m_rowCount = scriptGridRowCount(*script);
    forgetCurrentRow();
    updateScrollBars();
    scrollToScriptItem();
    viewport()->update();
}

void ResultsGrid::scrollToScriptItem() {
    // A new item is edited at the end; otherwise the item viewed, wherever it moved to.
    int first = -1;
    int last = -1;
    if (m_scriptEdit == script::ItemEdit::Append) {
        first = last = m_rowCount - 1;
    } else if (m_script->currentEntry >= 0) {
        for (size_t line = 0; line < m_script->lines.size(); ++line) {
            if (m_script->lines[line].entryIndex != m_script->currentEntry)
                continue;
            const int row = static_cast<int>(line) + 1; // below the header row
            first = first < 0 ? row : first;
            last = row;
        }
    }
    if (first >= 0)
        scrollRowsIntoView(first, last);
}

void ResultsGrid::scrollRowsIntoView(int first, int last) {
    // Scrolled just far enough, as a list view does.
    QScrollBar* bar = verticalScrollBar();
    if (last >= bar->value() + visibleRowCount())
        bar->setValue(last - visibleRowCount() + 1);
    if (first < bar->value())
        bar->setValue(first);
}

void ResultsGrid::setBackground(const QColor& color) {
    m_chosenBackground = color;
    applyColours();
}

void ResultsGrid::applyColours() {
    m_background = gridBackground(m_chosenBackground, palette());
    m_colours = gridColours(m_background, palette());
    m_scriptColours = m_chosenScriptColours;
    m_scriptColours.background = gridBackground(m_chosenScriptColours.background, palette());
    m_scriptColours.currentItem =
        gridColours(m_scriptColours.background, palette()).currentItemFill;
    QPalette viewportPalette = viewport()->palette();
    viewportPalette.setColor(QPalette::Base, m_background);
    viewportPalette.setColor(QPalette::Window, m_background);
    viewport()->setPalette(viewportPalette);
    viewport()->setAutoFillBackground(true);
    viewport()->update();
}

void ResultsGrid::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    // A theme switched while the window is open.
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

void ResultsGrid::setGridFont(const QString& name, int pointSize) {
    m_font = QFont(name);
    m_font.setPointSize(pointSize);
    m_rowHeight = QFontMetrics(m_font).height() + 4; // the text height of "Ap" plus 4
    updateScrollBars();
    viewport()->update();
}

void ResultsGrid::fitColumnsToWidth() {
    const int width = viewport()->width();
    if (m_columnWidths.size() == 1)
        m_columnWidths[0] = std::max({10, width - 4, m_widestExtent});
    else if (m_columnWidths.size() == 4)
        m_columnWidths[3] =
            std::max(10, width - m_columnWidths[0] - m_columnWidths[1] - m_columnWidths[2] - 4);
    updateScrollBars();
    viewport()->update();
}

int ResultsGrid::topRow() const {
    return verticalScrollBar()->value();
}

int ResultsGrid::visibleRowCount() const {
    return std::max(1, viewport()->height() / std::max(1, m_rowHeight));
}

int ResultsGrid::rowAt(const QPoint& viewportPoint) const {
    if (viewportPoint.y() < 0)
        return -1;
    const int row = topRow() + viewportPoint.y() / m_rowHeight;
    return row < m_rowCount ? row : -1;
}

int ResultsGrid::selectableRowCount() const {
    if (m_content == GridContent::Results && m_rows != nullptr)
        return static_cast<int>(m_rows->size());
    if (m_content == GridContent::Report && m_report != nullptr)
        return static_cast<int>(m_report->size());
    if (m_content == GridContent::Plan && m_plan != nullptr)
        return static_cast<int>(m_plan->rows().size());
    return 0;
}

void ResultsGrid::setCurrentRow(int row) {
    row = row >= 0 && row < selectableRowCount() ? row : -1;
    if (row >= 0)
        scrollRowsIntoView(row, row);
    if (row == m_currentRow)
        return;
    m_currentRow = row;
    viewport()->update();
    emit currentRowChanged(row);
}

void ResultsGrid::stepCurrentRow(bool forward) {
    const int last = selectableRowCount() - 1;
    if (last < 0 || !isEnabled())
        return;
    const int next = m_currentRow < 0 ? (forward ? 0 : last) : m_currentRow + (forward ? 1 : -1);
    if (next >= 0 && next <= last)
        setCurrentRow(next);
}

void ResultsGrid::forgetCurrentRow() {
    if (m_currentRow < 0)
        return;
    m_currentRow = -1;
    emit currentRowChanged(-1);
}

bool ResultsGrid::moveCurrentRow(int key) {
    const int last = selectableRowCount() - 1;
    if (last < 0)
        return false;
    const int from = m_currentRow >= 0 ? m_currentRow : topRow();
    const int page = visibleRowCount();
    int to = from;
    switch (key) {
    case Qt::Key_Up:
        to = from - 1;
        break;
    case Qt::Key_Down:
        to = m_currentRow >= 0 ? from + 1 : from;
        break;
    case Qt::Key_PageUp:
        to = from - page;
        break;
    case Qt::Key_PageDown:
        to = from + page;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = last;
        break;
    default:
        return false;
    }
    setCurrentRow(std::clamp(to, 0, last));
    return true;
}

void ResultsGrid::updateScrollBars() {
    // Scrolling is by whole rows, so the range stays small however many rows there are.
    verticalScrollBar()->setRange(0, std::max(0, m_rowCount - visibleRowCount()));
    verticalScrollBar()->setPageStep(visibleRowCount());
    verticalScrollBar()->setSingleStep(1);
    int total = 0;
    for (int width : m_columnWidths)
        total += width;
    horizontalScrollBar()->setRange(0, std::max(0, total - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(20);
}

void ResultsGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    fitColumnsToWidth();
}

void ResultsGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

void ResultsGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), m_background);
    const int first = topRow();
    const int last = std::min(m_rowCount, first + visibleRowCount() + 1);
    const int left = -horizontalScrollBar()->value();
    for (int row = first; row < last; ++row) {
        const QRect rect(left, (row - first) * m_rowHeight, m_columnWidths[0], m_rowHeight);
        if (m_content == GridContent::Results)
            drawResultRow(painter, row, rect);
        else if (m_content == GridContent::Plan)
            drawPlanRow(painter, row, rect);
        else if (m_content == GridContent::Script)
            drawScriptRow(painter, row, rect);
        else if (m_content == GridContent::Report)
            drawReportRow(painter, row, rect);
    }
    // The grid draws itself, frame included: a keyboard user must see that it has the focus.
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    }
}

void ResultsGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ResultsGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void ResultsGrid::drawResultRow(QPainter& painter, int row, const QRect& rect) {
    const auto index = static_cast<size_t>(row);
    if (row == 0)
        m_widestExtent = 0;
    if (m_rows->empty()) {
        if (row == 0) {
            painter.setFont(m_font);
            painter.setPen(m_colours.text);
            drawPieces(painter, {{QStringLiteral("No matches found"), m_colours.text}}, rect);
        }
        return;
    }
    const QColor fill = row == m_currentRow
                            ? m_colours.currentRowFill
                            : resultRowFill(*m_rows, index, m_background, m_colours);
    painter.fillRect(rect, fill);
    int indent = 0;
    if (m_lineNumbers && m_rowsNumbered && index < m_rows->size()) {
        const results::Row& shown = (*m_rows)[index];
        if (shown.kind == results::RowKind::Line || shown.kind == results::RowKind::Match)
            indent = drawLineNumber(painter, rowLine(*m_results, shown).lineNumber, rect);
    }
    std::vector<GridPiece> pieces = resultRowPieces(*m_results, *m_rows, index, m_colours);
    if (const results::Row* shown = index < m_rows->size() ? &(*m_rows)[index] : nullptr;
        shown != nullptr && shown->kind == results::RowKind::FileHeader &&
        m_fileWrites != nullptr && static_cast<size_t>(shown->fileIndex) < m_fileWrites->size()) {
        for (GridPiece& piece :
             headerWritePieces((*m_fileWrites)[static_cast<size_t>(shown->fileIndex)], m_colours)) {
            piece.color = readableOn(piece.color, fill); // green or red on the header's tint
            pieces.push_back(std::move(piece));
        }
    }
    drawPieces(painter, pieces, rect, indent);
}

bool ResultsGrid::drawnEmpty(QPainter& painter, int row, const QRect& rect, bool empty,
                             const QString& note) {
    if (row == 0)
        m_widestExtent = 0;
    if (empty && row == 0)
        drawPieces(painter, {{note, m_colours.text}}, rect);
    return empty;
}

void ResultsGrid::drawReportRow(QPainter& painter, int row, const QRect& rect) {
    if (drawnEmpty(painter, row, rect, m_report->empty(), QStringLiteral("Nothing was written")))
        return;
    if (row == m_currentRow)
        painter.fillRect(rect, m_colours.currentRowFill);
    drawPieces(painter, reportRowPieces((*m_report)[static_cast<size_t>(row)], m_colours), rect);
}

int ResultsGrid::boxColumnWidth() const {
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 8;
}

void ResultsGrid::drawPlanRow(QPainter& painter, int row, const QRect& rect) {
    if (drawnEmpty(painter, row, rect, m_plan->empty(), QStringLiteral("Nothing would change")))
        return;
    const auto index = static_cast<size_t>(row);
    const bool header = m_plan->rows()[index].kind == PlanRowKind::FileHeader;
    painter.fillRect(rect, row == m_currentRow ? m_colours.currentRowFill
                           : header            ? m_colours.headerFill
                                               : m_background);
    drawCheckBox(painter, m_plan->mark(index), rect);
    int indent = boxColumnWidth();
    if (const int32_t number = planRowLineNumber(*m_results, *m_plan, index);
        m_lineNumbers && number > 0)
        indent += drawLineNumber(painter, number, rect.adjusted(indent, 0, 0, 0));
    drawPieces(painter, planRowPieces(*m_results, *m_plan, index, m_colours), rect, indent);
}

void ResultsGrid::drawCheckBox(QPainter& painter, CheckMark mark, const QRect& rect) {
    if (mark == CheckMark::None)
        return;
    QStyleOptionButton option;
    option.initFrom(viewport());
    const int width = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    const int height = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    option.rect = QRect(rect.left() + 4, rect.top() + (rect.height() - height) / 2, width, height);
    option.state = QStyle::State_Enabled | (mark == CheckMark::Checked  ? QStyle::State_On
                                            : mark == CheckMark::Partly ? QStyle::State_NoChange
                                                                        : QStyle::State_Off);
    option.palette = checkBoxPalette(option.palette, m_background);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, viewport());
}

void ResultsGrid::togglePlanRow(int row) {
    if (m_content != GridContent::Plan || m_plan == nullptr || row < 0 ||
        !m_plan->toggle(static_cast<size_t>(row)))
        return;
    viewport()->update();
    emit planChecksChanged();
}

int ResultsGrid::drawLineNumber(QPainter& painter, int32_t lineNumber, const QRect& rect) {
    // Right-aligned in a column as wide as the widest number, so the texts line up.
    const QFontMetrics metrics(m_font);
    const int gutter = metrics.horizontalAdvance(QString(m_numberDigits, QLatin1Char('0'))) + 8;
    const QString number = QString::number(lineNumber);
    painter.setFont(m_font);
    painter.setPen(m_colours.lineNumber);
    painter.drawText(QPoint(rect.left() + gutter - 6 - metrics.horizontalAdvance(number),
                            rect.top() + kTextTop + metrics.ascent()),
                     number);
    return gutter;
}

void ResultsGrid::drawPieces(QPainter& painter, const std::vector<GridPiece>& pieces,
                             const QRect& rect, int indent) {
    const QFontMetrics plainMetrics(m_font);
    int x = rect.left() + indent;
    for (const GridPiece& piece : pieces) {
        QFont font = m_font;
        font.setBold(piece.bold);
        font.setStrikeOut(piece.struck);
        painter.setFont(font);
        painter.setPen(piece.color);
        x += piece.offsetX;
        const int baseline = rect.top() + kTextTop + piece.offsetY + plainMetrics.ascent();
        painter.drawText(QPoint(x, baseline), piece.text);
        x += QFontMetrics(font).horizontalAdvance(piece.text);
    }
    widenColumn(x - rect.left());
}

void ResultsGrid::widenColumn(int extent) {
    // The column only ever widens while results are shown, so long lines can be scrolled to.
    m_widestExtent = std::max(m_widestExtent, extent);
    if (m_columnWidths.size() == 1 && m_columnWidths[0] < m_widestExtent) {
        m_columnWidths[0] = m_widestExtent;
        QTimer::singleShot(0, this, &ResultsGrid::updateScrollBars);
    }
}

void ResultsGrid::drawScriptRow(QPainter& painter, int row, const QRect& rect) {
    QFont header = m_font;
    header.setPointSize(std::max(1, m_font.pointSize() - 2));
    int x = rect.left();
    for (size_t column = 0; column < m_columnWidths.size(); ++column) {
        const QRect cell(x, rect.top(), m_columnWidths[column], rect.height());
        const ScriptCell content =
            scriptLineCell(*m_script, m_scriptEdit, row, static_cast<int>(column), m_scriptColours);
        painter.fillRect(cell, content.fill);
        // Texts run over into the next cell until that cell's fill covers them.
        painter.setFont(content.header ? header : m_font);
        painter.setPen(content.header ? QColor(Qt::white)
                                      : readableTextOn(content.fill, palette()));
        const QFontMetrics metrics(painter.font());
        painter.drawText(QPoint(cell.left(), cell.top() + kTextTop + metrics.ascent()),
                         content.text);
        x += m_columnWidths[column];
    }
}

void ResultsGrid::pressRow(const QPoint& at, Qt::MouseButton button) {
    const int row = rowAt(at);
    if (row < 0)
        return;
    setCurrentRow(row);
    if (button == Qt::LeftButton && at.x() + horizontalScrollBar()->value() < boxColumnWidth())
        togglePlanRow(row);
}

void ResultsGrid::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
    pressRow(event->position().toPoint(), event->button());
    emit mouseDown(event->position().toPoint());
}

void ResultsGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
    // The second press of a double click is a press too: it records where the click was, and
    // a second click on a box toggles it back.
    pressRow(event->position().toPoint(), event->button());
    emit mouseDown(event->position().toPoint());
    emit doubleClicked(event->position().toPoint());
}

void ResultsGrid::keyPressEvent(QKeyEvent* event) {
    emit keyDown(event->key());
    if (moveCurrentRow(event->key()))
        return;
    if (event->key() == Qt::Key_Space && m_content == GridContent::Plan) {
        togglePlanRow(m_currentRow);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event); // the grid still scrolls as usual
}

} // namespace kestrava::ui
