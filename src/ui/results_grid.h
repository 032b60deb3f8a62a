// The main window's owner-drawn grid (resultsGrid): search results row by row from the view's
// row table, a replace preview's changes with their boxes, or the script's header and lines.
// Virtualised: only the rows in sight are drawn,
// so a view of a million rows scrolls as fast as one of ten.
#pragma once

#include "change_plan.h"
#include "results/results.h"
#include "script/script.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QPalette>
#include <QString>

#include <string_view>
#include <vector>

namespace kestrava::ui {

// What the grid shows (the window selects it). A plan is a replace preview: the changes with
// their boxes; a report what a write or an undo did to each file.
enum class GridContent : uint8_t { Empty, Results, Script, Plan, Report };

struct ReportLine;

// One run of text drawn in a row: where it starts relative to the previous piece's end.
struct GridPiece {
    QString text;
    QColor color;
    bool bold = false;
    bool struck = false; // a change's old text
    int offsetX = 0;     // pixels after the previous piece's end
    int offsetY = 0;     // pixels below the row's text line
};

// The grid's colours. The defaults are its look on a light background; gridColours gives the
// set that keeps each meaning readable on the background in use.
struct GridColours {
    QColor text{0, 0, 0};      // headers, matches alone, "->", "No matches found"
    QColor match{255, 0, 0};   // matched text in a line
    QColor context{0, 0, 255}; // the rest of a matched line
    QColor lineNumber{0x80, 0x80, 0x80};
    QColor headerFill{204, 255, 153}; // a file's header row
    QColor currentRowFill{0xCC, 0xE0, 0xFF};
    QColor currentItemFill{0xFF, 0xE4, 0xC4}; // the script item being viewed
    QColor gutterFill{0xEE, 0xEE, 0xEE};      // behind the preview's line numbers
    QColor removed{0xC8, 0x00, 0x00};         // a change's old text
    QColor added{0x00, 0x80, 0x00};           // and its new text
};
// The defaults on a light background; on a dark one (a dark desktop theme) lighter texts and
// fills blended from the palette, so matches, context, headers and the current row stay
// readable.
GridColours gridColours(const QColor& background, const QPalette& palette);
// The grid's background: the chosen colour, except that the default light grey gives way to the
// palette's base colour when the palette is dark.
QColor gridBackground(const QColor& chosen, const QPalette& palette);
// Black on light fills; the palette's text colour (or near white) on dark ones.
QColor readableTextOn(const QColor& fill, const QPalette& palette);

// Bytes as the screen shows them: UTF-8 when valid, else Latin-1; control bytes appear as their
// visible control pictures so a tab or line end inside a match can be seen.
QString displayText(std::string_view bytes);

// The pieces of one results row, in drawing order. Row colours: header light green, lines in
// red (matches) and blue (the rest), matches alone in black; "->" after a cut line.
std::vector<GridPiece> resultRowPieces(const search::SearchResults& results,
                                       const results::Rows& rows, size_t row,
                                       const GridColours& colours = {});
// The pieces' texts joined: what a row reads.
QString resultRowText(const search::SearchResults& results, const results::Rows& rows, size_t row);
// The fill of a results row.
QColor resultRowFill(const results::Rows& rows, size_t row, const QColor& background,
                     const GridColours& colours = {});

// The pieces of one row of a replace preview: a file's header ("3 changes in " the folder, then
// the name in bold), a line of a change as it is (struck through) or as it would become.
std::vector<GridPiece> planRowPieces(const search::SearchResults& results, const ChangePlan& plan,
                                     size_t row, const GridColours& colours = {});
// The line number a plan row shows; 0 for a header or blank row.
int32_t planRowLineNumber(const search::SearchResults& results, const ChangePlan& plan, size_t row);

// One cell of the script grid: its fill and text (drawn readable on the fill, or white in the
// smaller header font). Row 0 is the header; row r shows line r - 1 of the script's line view.
struct ScriptCell {
    QColor fill;
    QString text;
    bool header = false;
};
// The script grid's colours: the two that are settings, and the viewed item's fill.
struct ScriptColours {
    QColor background{0xF7, 0xF7, 0xF7};
    QColor highlight{0xFF, 0xFF, 0xB3};
    QColor currentItem{0xFF, 0xE4, 0xC4};
};
// edit: the item being added or changed, whose rows are highlighted.
ScriptCell scriptLineCell(const script::Script& script, script::ItemEdit edit, int row, int column,
                          const ScriptColours& colours);
// Rows the script grid has: a header, the lines and one spare row (3 for an empty script).
int scriptGridRowCount(const script::Script& script);

class ResultsGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit ResultsGrid(QWidget* parent = nullptr);

    // Resets columns and rows: 1 column (results, no fixed row) or 4 (script, one fixed row).
    void clearDrawGrid(int columnCount);
    // Shows nothing (rows 0 and 1 in the background colour).
    void showEmpty();
    // Shows the rows of a results view; both records must outlive the showing. A unique view's
    // rows belong to no line of a file, so they have no line numbers (`numbered` off).
    void showResults(const search::SearchResults* results, const results::Rows* rows,
                     bool numbered = true);
    // What a replacing run did to each file of the results shown, in their order, said after
    // each file's header (null: nothing); it must outlive the showing.
    void setFileWrites(const std::vector<ReportLine>* writes);
    // Shows what a write or an undo did, a row per file; it must outlive the showing.
    void showReport(const std::vector<ReportLine>* report);
    // The rows of the results shown grew (a run going on); the current row and the scrolling
    // stay. widestLineNumber: the largest line number among the new rows.
    void rowsAdded(int32_t widestLineNumber);
    // Shows a replace preview; both must outlive the showing. Its boxes are toggled here, by a
    // click on one or Space on the current row.
    void showPlan(const search::SearchResults* results, ChangePlan* plan);
    // Shows the script's lines (it must outlive the showing); an empty script reads
    // "  Empty Script". Call again after every change of the script.
    void showScript(const script::Script* script, script::ItemEdit edit,
                    const ScriptColours& colours);

    void setBackground(const QColor& color);
    // A column of line numbers at the left of line and match rows.
    void setLineNumbersShown(bool shown);
    // The grid font: name and point size; the row height follows ("Ap" plus 4).
    void setGridFont(const QString& name, int pointSize);
    // Re-sizes the one results column or the fourth script column to the grid's width.
    void fitColumnsToWidth();

    GridContent content() const { return m_content; }
    int rowCount() const { return m_rowCount; }
    int columnCount() const { return static_cast<int>(m_columnWidths.size()); }
    int columnWidth(int column) const { return m_columnWidths.at(static_cast<size_t>(column)); }
    int defaultRowHeight() const { return m_rowHeight; }
    int topRow() const;
    // The row under a point of the viewport, or -1.
    int rowAt(const QPoint& viewportPoint) const;
    // The results row the user chose last (by a press or the arrow keys), or -1.
    int currentRow() const { return m_currentRow; }
    // Makes a results row current (-1: none) and scrolls it into sight.
    void setCurrentRow(int row);
    // Makes the next (or previous) row of the results, preview or report current, from the
    // first (or last) when none is; nothing past either end, nothing while disabled.
    void stepCurrentRow(bool forward);

  signals:
    // The current results row changed; -1 once none is (new rows, a script, nothing shown).
    void currentRowChanged(int row);
    // A mouse press, a double click and a key press on the grid (viewport coordinates).
    void mouseDown(const QPoint& viewportPoint);
    void doubleClicked(const QPoint& viewportPoint);
    void keyDown(int key);
    // A box of the plan shown was toggled.
    void planChecksChanged();

  protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void drawResultRow(QPainter& painter, int row, const QRect& rect);
    void drawPlanRow(QPainter& painter, int row, const QRect& rect);
    // Starts a row of a plan or a report: false when there is something to draw; else true, with
    // the note on the first row.
    bool drawnEmpty(QPainter& painter, int row, const QRect& rect, bool empty, const QString& note);
    void drawReportRow(QPainter& painter, int row, const QRect& rect);
    void scrollToScriptItem();
    void scrollRowsIntoView(int first, int last);
    void drawCheckBox(QPainter& painter, CheckMark mark, const QRect& rect);
    void drawScriptRow(QPainter& painter, int row, const QRect& rect);
    void drawPieces(QPainter& painter, const std::vector<GridPiece>& pieces, const QRect& rect,
                    int indent = 0);
    // Draws a line number in the gutter at the rect's left; how far in the text starts.
    int drawLineNumber(QPainter& painter, int32_t number, const QRect& rect);
    // The width of the plan's column of boxes, at the left of every row.
    int boxColumnWidth() const;
    // A press makes its row current; a left one on a plan row's box toggles it.
    void pressRow(const QPoint& at, Qt::MouseButton button);
    // Toggles the box of a plan row, if it has one.
    void togglePlanRow(int row);
    // Rows that can be current: those of results or of a plan.
    int selectableRowCount() const;
    void widenColumn(int extent);
    void updateScrollBars();
    // Derives the drawn colours from the chosen ones and the palette in force.
    void applyColours();
    int visibleRowCount() const;
    void forgetCurrentRow();
    // The arrow and page keys move the current row; false for any other key.
    bool moveCurrentRow(int key);

    GridContent m_content = GridContent::Empty;
    const search::SearchResults* m_results = nullptr;
    const results::Rows* m_rows = nullptr;
    ChangePlan* m_plan = nullptr;
    const std::vector<ReportLine>* m_fileWrites = nullptr;
    const std::vector<ReportLine>* m_report = nullptr;
    bool m_rowsNumbered = true;
    const script::Script* m_script = nullptr;
    script::ItemEdit m_scriptEdit = script::ItemEdit::None;
    ScriptColours m_chosenScriptColours;
    ScriptColours m_scriptColours;
    std::vector<int> m_columnWidths{0};
    int m_fixedRows = 0;
    int m_rowCount = 2;
    int m_rowHeight = 18;
    int m_widestExtent = 0;
    QColor m_chosenBackground{0xF7, 0xF7, 0xF7};
    QColor m_background{0xF7, 0xF7, 0xF7};
    GridColours m_colours;
    bool m_lineNumbers = true;
    int m_numberDigits = 1;
    int m_currentRow = -1;
    QFont m_font;
};

} // namespace kestrava::ui
