// The results grid: what each row kind draws (texts, colours, bold names, "->" markers), how
// bytes become screen text, the widening column, and a million rows held without trouble.
#include "ui/main_window.h"
#include "ui/results_grid.h"

#include <QScrollBar>
#include <QTest>

using namespace kestrava;
using namespace kestrava::ui;
using results::RowKind;

namespace {

// One file "/d/f.txt" with one line; the default is "abxc" with the matches "b" and "c".
search::SearchResults oneLine(const QByteArray& text = "abxc", QList<int> matches = {2, 1, 4, 1},
                              bool truncated = false) {
    search::SearchResults results;
    results.folders = {"/d/"};
    search::FileMatches file;
    file.fileName = "f.txt";
    file.numMatches = 2;
    search::MatchedLine line;
    line.setText(text.toStdString());
    if (truncated)
        line.setTruncated();
    for (qsizetype i = 0; i + 1 < matches.size(); i += 2) // start, length pairs (1-based bytes)
        line.addMatch({matches[i], matches[i + 1]});
    file.lines.push_back(line);
    results.files.push_back(file);
    results.filesScanned = results.filesWithMatches = 1;
    results.totalMatches = 2;
    results.totalLines = 1;
    return results;
}

const results::Rows kRows = {{RowKind::FileHeader, 0, 0, 0},
                             {RowKind::Line, 0, 0, 0},
                             {RowKind::Match, 0, 0, 0},
                             {RowKind::Match, 0, 0, 1},
                             {RowKind::Blank, 0, 0, 0}};

// A row as drawn: red pieces in <>, blue in [], black in {}, bold ones starred.
QString drawn(const search::SearchResults& results, size_t row) {
    QString text;
    for (const GridPiece& piece : resultRowPieces(results, kRows, row)) {
        if (piece.text.isEmpty())
            continue;
        const QString body = (piece.bold ? "*" : "") + piece.text;
        text += piece.color == QColor(Qt::red)     ? "<" + body + ">"
                : piece.color == QColor(Qt::blue)  ? "[" + body + "]"
                : piece.color == QColor(Qt::black) ? "{" + body + "}"
                                                   : "(" + body + ")";
    }
    return text;
}

} // namespace

class TestDrawGrid : public QObject {
    Q_OBJECT
  private slots:
    // A cut line ends with "->", and so does a match row only when last on its line. UTF-8 is
    // decided per line: a match boundary inside a character draws that character whole in the
    // match's colour instead of turning the rest of the line into Latin-1.
    void rowsDrawTheirPiecesInTheirColours() {
        const struct {
            search::SearchResults results;
            size_t row;
            QString drawn;
        } rows[] = {
            {oneLine(), 0, "{Found 2 matches in /d/}{*f.txt}"},
            {oneLine(), 1, "[a]<b>[x]<c>"},
            {oneLine(), 3, "{c}"},
            {oneLine(), 4, ""},
            {oneLine("abxc", {2, 1, 4, 1}, true), 1, "[a]<b>[x]<c>{->}"},
            {oneLine("abxc", {2, 1, 4, 1}, true), 2, "{b}"},
            {oneLine("abxc", {2, 1, 4, 1}, true), 3, "{c}{->}"},
            {oneLine("un caf\xc3\xa9 cr\xc3\xa8me", {4, 4}), 1,
             QString::fromUtf8("[un ]<caf\xc3\xa9>[ cr\xc3\xa8me]")},
            {oneLine("un caf\xc3\xa9 cr\xc3\xa8me", {4, 4}), 2, QString::fromUtf8("{caf\xc3\xa9}")},
            {oneLine("caf\xc3\xa9!", {5, 2}), 1, QString::fromUtf8("[caf]<\xc3\xa9!>")},
            {oneLine("caf\xc3\xa9!", {5, 2}), 2, QString::fromUtf8("{\xc3\xa9!}")},
            {oneLine("\xc3\xa9x", {1, 1, 2, 2}), 1, QString::fromUtf8("<\xc3\xa9><x>")},
            {oneLine("\xc3\xa9x", {1, 1, 2, 2}), 2, QString::fromUtf8("{\xc3\xa9}")},
            {oneLine("caf\xe9 cr\xc3\xa8me", {1, 3}), 1, // not UTF-8: all of it Latin-1
             QString::fromUtf8("<caf>[\xc3\xa9 cr\xc3\x83\xc2\xa8me]")},
        };
        for (const auto& r : rows)
            QCOMPARE(drawn(r.results, r.row), r.drawn);
        QCOMPARE(resultRowText(oneLine("abxc", {2, 1, 4, 1}, true), kRows, 1), "abxc->");
        QCOMPARE(resultRowFill(kRows, 0, Qt::white), QColor(204, 255, 153));
        QCOMPARE(resultRowFill(kRows, 1, Qt::white), QColor(Qt::white));
        const std::pair<QByteArray, QString> bytes[] = {
            {"caf\xc3\xa9", QString::fromUtf8("caf\xc3\xa9")},
            {"caf\xe9", QString::fromUtf8("caf\xc3\xa9")}, // Latin-1
            {"a\tb\r\n", QString("a") + QChar(0x2409) + "b" + QChar(0x240D) + QChar(0x240A)},
        };
        for (const auto& [raw, shown] : bytes)
            QCOMPARE(displayText(std::string_view(raw.constData(), size_t(raw.size()))), shown);
    }

    // Only the rows in sight are drawn; drawing a long one widens the column, and the last page
    // ends exactly at the last row.
    void aMillionRowsScrollByRowsAndALongLineWidensTheColumn() {
        const auto results = oneLine(QByteArray(3000, 'x'), {1, 3000});
        const results::Rows rows(1'000'000, results::Row{RowKind::Line, 0, 0, 0});
        ResultsGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.clearDrawGrid(1);
        grid.showResults(&results, &rows);
        QCOMPARE(grid.rowCount(), 1'000'000);
        QVERIFY(grid.columnWidth(0) < 400);
        grid.grab(); // paints the visible rows
        QVERIFY(grid.columnWidth(0) > 1000);
        QTRY_VERIFY(grid.horizontalScrollBar()->maximum() > 0);
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        grid.grab();
        QCOMPARE(grid.topRow() + grid.viewport()->height() / grid.defaultRowHeight(), 1'000'000);
        QCOMPARE(grid.rowAt(QPoint(5, 0)), grid.topRow());
    }
};

QTEST_MAIN(TestDrawGrid)
#include "results_grid_test.moc"
