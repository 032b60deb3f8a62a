// The main window's owner-drawn grid (DrawGrid1): search results row by row from the view's
// row table, or the script's header and lines. Virtualised: only the rows in sight are drawn,
// so a view of a million rows scrolls as fast as one of ten.
#pragma once

#include "results/kes_uResults.h"
#include "script/kes_uScript.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>

#include <string_view>
#include <vector>

// What the grid shows (the window selects it).
enum TGridContent : uint8_t { gcEmpty, gcResults, gcScript };

// One run of text drawn in a row: where it starts relative to the previous piece's end.
struct TkesGridPiece {
    QString Text;
    QColor Color;
    bool Bold = false;
    int OffsetX = 0; // pixels after the previous piece's end
    int OffsetY = 0; // pixels below the row's text line
};

// Bytes as the screen shows them: UTF-8 when valid, else Latin-1; control bytes appear as their
// visible control pictures so a tab or line end inside a match can be seen.
QString DisplayText(std::string_view bytes);

// The pieces of one results row, in drawing order. Row colours: header light green, lines in
// red (matches) and blue (the rest), matches alone in black; "->" after a cut line.
std::vector<TkesGridPiece> ResultRowPieces(const kes::TkesMatchResults& results,
                                           const kes::TResultRows& rows, size_t row);
// The pieces' texts joined: what a row reads.
QString ResultRowText(const kes::TkesMatchResults& results, const kes::TResultRows& rows,
                      size_t row);
// The fill of a results row.
QColor ResultRowFill(const kes::TResultRows& rows, size_t row, const QColor& background);

// One cell of the script grid: its fill and text (drawn black, or white in the smaller header
// font). Row 0 is the header; row r shows line r - 1 of the script's line view.
struct TkesScriptCell {
    QColor Fill;
    QString Text;
    bool Header = false;
};
// The script grid's colours that are settings.
struct TkesScriptColours {
    QColor Background{0xF7, 0xF7, 0xF7};
    QColor Highlight{0xFF, 0xFF, 0xB3};
};
TkesScriptCell ScriptLineCell(const kes::TkesScript& script, int row, int column,
                              const TkesScriptColours& colours);
// Rows the script grid has: a header, the lines and one spare row (3 for an empty script).
int ScriptGridRowCount(const kes::TkesScript& script);

class TkesDrawGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit TkesDrawGrid(QWidget* parent = nullptr);

    // Resets columns and rows: 1 column (results, no fixed row) or 4 (script, one fixed row).
    void ClearDrawGrid(int columnCount);
    // Shows nothing (rows 0 and 1 in the background colour).
    void ShowEmpty();
    // Shows the rows of a results view; both records must outlive the showing.
    void ShowResults(const kes::TkesMatchResults* results, const kes::TResultRows* rows);
    // Shows the script's lines (it must outlive the showing); an empty script reads
    // "  Empty Script". Call again after every change of the script.
    void ShowScript(const kes::TkesScript* script, const TkesScriptColours& colours);

    void SetBackground(const QColor& color);
    // The grid font: name and point size; the row height follows ("Ap" plus 4).
    void SetGridFont(const QString& name, int pointSize);
    // Re-sizes the one results column or the fourth script column to the grid's width.
    void FitColumnsToWidth();

    TGridContent Content() const { return FContent; }
    int RowCount() const { return FRowCount; }
    int ColumnCount() const { return static_cast<int>(FColumnWidths.size()); }
    int ColumnWidth(int column) const { return FColumnWidths.at(static_cast<size_t>(column)); }
    int DefaultRowHeight() const { return FRowHeight; }
    int TopRow() const;
    // The row under a point of the viewport, or -1.
    int RowAt(const QPoint& viewportPoint) const;

  signals:
    // A mouse press, a double click and a key press on the grid (viewport coordinates).
    void MouseDown(const QPoint& viewportPoint);
    void DoubleClicked(const QPoint& viewportPoint);
    void KeyDown(int key);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void DrawResultRow(QPainter& painter, int row, const QRect& rect);
    void DrawScriptRow(QPainter& painter, int row, const QRect& rect);
    void DrawPieces(QPainter& painter, const std::vector<TkesGridPiece>& pieces, const QRect& rect);
    void WidenColumn(int extent);
    void UpdateScrollBars();
    int VisibleRowCount() const;

    TGridContent FContent = gcEmpty;
    const kes::TkesMatchResults* FResults = nullptr;
    const kes::TResultRows* FRows = nullptr;
    const kes::TkesScript* FScript = nullptr;
    TkesScriptColours FScriptColours;
    std::vector<int> FColumnWidths{0};
    int FFixedRows = 0;
    int FRowCount = 2;
    int FRowHeight = 18;
    int FWidestExtent = 0;
    QColor FBackground{0xF7, 0xF7, 0xF7};
    QFont FFont;
};
