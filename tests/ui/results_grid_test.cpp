// The results grid: what each row kind draws (texts, colours, bold names, "->" markers), how
// bytes become screen text, the widening column, and a million rows held without trouble.
#include "ui/main_window.h"
#include "ui/results_grid.h"

#include <QScrollBar>
#include <QTest>

using namespace kestrava;
using namespace kestrava::ui;

namespace {

// One file "/d/f.txt" with one line "ab\tc": match "b" then match "\tc"-free "c" cut at the end.
kestrava::search::SearchResults sampleResults(bool truncated) {
    kestrava::search::SearchResults results;
    results.folders = {"/d/"};
    kestrava::search::FileMatches file;
    file.fileName = "f.txt";
    file.numMatches = 2;
    kestrava::search::MatchedLine line;
    line.setText("abxc");
    if (truncated)
        line.setTruncated();
    line.addMatch({2, 1}); // b
    line.addMatch({4, 1}); // c
    file.lines.push_back(line);
    results.files.push_back(file);
    results.filesScanned = results.filesWithMatches = 1;
    results.totalMatches = 2;
    results.totalLines = 1;
    return results;
}

const kestrava::results::Rows kRows = {{kestrava::results::RowKind::FileHeader, 0, 0, 0},
                                       {kestrava::results::RowKind::Line, 0, 0, 0},
                                       {kestrava::results::RowKind::Match, 0, 0, 0},
                                       {kestrava::results::RowKind::Match, 0, 0, 1},
                                       {kestrava::results::RowKind::Blank, 0, 0, 0}};

void show(ResultsGrid& grid) {
    grid.resize(400, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
}

} // namespace

class TestDrawGrid : public QObject {
    Q_OBJECT
  private slots:
    void rowsShowTheirTextsColoursAndFills() {
        const auto results = sampleResults(false);
        const auto header = resultRowPieces(results, kRows, 0);
        QCOMPARE(header.size(), size_t(2)); // count and folder, then the bold name
        QCOMPARE(header[0].text, QString("Found 2 matches in /d/"));
        QVERIFY(!header[0].bold);
        QCOMPARE(header[1].text, QString("f.txt"));
        QVERIFY(header[1].bold);
        QCOMPARE(resultRowFill(kRows, 0, Qt::white), QColor(204, 255, 153));
        QCOMPARE(resultRowFill(kRows, 1, Qt::white), QColor(Qt::white));
        const auto line = resultRowPieces(results, kRows, 1); // matches red, the rest blue
        QCOMPARE(line.size(), size_t(4));
        const QColor expected[] = {Qt::blue, Qt::red, Qt::blue, Qt::red};
        for (size_t i = 0; i < line.size(); ++i)
            QCOMPARE(line[i].color, expected[i]);
        QCOMPARE(resultRowText(results, kRows, 1), QString("abxc"));
        QCOMPARE(resultRowText(results, kRows, 3), QString("c"));
        QCOMPARE(resultRowText(results, kRows, 4), QString());
        // A cut line ends with "->", and so does a match row only when last on its line.
        const auto cut = sampleResults(true);
        QCOMPARE(resultRowText(cut, kRows, 1), QString("abxc->"));
        QCOMPARE(resultRowText(cut, kRows, 2), QString("b"));
        QCOMPARE(resultRowText(cut, kRows, 3), QString("c->"));
        QCOMPARE(resultRowPieces(cut, kRows, 3)[0].color, QColor(Qt::black));
    }

    void bytesShowAsUtf8ElseLatin1WithControlsVisible_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("latin-1") << QByteArray("caf\xe9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("tab and line end")
            << QByteArray("a\tb\r\n")
            << QString("a") + QChar(0x2409) + "b" + QChar(0x240D) + QChar(0x240A);
    }
    void bytesShowAsUtf8ElseLatin1WithControlsVisible() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(displayText(std::string_view(bytes.constData(), size_t(bytes.size()))), shown);
    }

    // UTF-8 is decided per line: a match boundary inside a character draws that character whole
    // in the match's colour instead of turning the rest of the line into Latin-1.
    void linesDecodeWholeWithCutCharactersGivenToTheMatch_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("matches"); // start, length pairs (1-based bytes)
        QTest::addColumn<QString>("line");       // [context] <match>
        QTest::addColumn<QString>("firstMatch");
        QTest::newRow("match ends inside a character")
            << QByteArray("un caf\xc3\xa9 cr\xc3\xa8me") << QList<int>{4, 4}
            << QString::fromUtf8("[un ]<caf\xc3\xa9>[ cr\xc3\xa8me]")
            << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("match starts inside a character")
            << QByteArray("caf\xc3\xa9!") << QList<int>{5, 2}
            << QString::fromUtf8("[caf]<\xc3\xa9!>") << QString::fromUtf8("\xc3\xa9!");
        QTest::newRow("two matches share a character")
            << QByteArray("\xc3\xa9x") << QList<int>{1, 1, 2, 2}
            << QString::fromUtf8("<\xc3\xa9><x>") << QString::fromUtf8("\xc3\xa9");
        QTest::newRow("not UTF-8: the whole line is Latin-1")
            << QByteArray("caf\xe9 cr\xc3\xa8me") << QList<int>{1, 3}
            << QString::fromUtf8("<caf>[\xc3\xa9 cr\xc3\x83\xc2\xa8me]") << QString("caf");
    }
    void linesDecodeWholeWithCutCharactersGivenToTheMatch() {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, matches);
        QFETCH(QString, line);
        QFETCH(QString, firstMatch);
        kestrava::search::SearchResults results;
        results.folders = {"/d/"};
        kestrava::search::FileMatches file;
        kestrava::search::MatchedLine matched;
        matched.setText(text.toStdString());
        for (qsizetype i = 0; i + 1 < matches.size(); i += 2)
            matched.addMatch({matches[i], matches[i + 1]});
        file.lines.push_back(matched);
        results.files.push_back(file);
        QString shown;
        for (const GridPiece& piece : resultRowPieces(results, kRows, 1)) {
            if (!piece.text.isEmpty())
                shown += piece.color == QColor(Qt::red) ? "<" + piece.text + ">"
                                                        : "[" + piece.text + "]";
        }
        QCOMPARE(shown, line);
        QCOMPARE(resultRowText(results, kRows, 2), firstMatch);
    }

    void longLineWidensTheColumnOnceDrawn() {
        auto results = sampleResults(false);
        kestrava::search::MatchedLine wide;
        wide.setText(std::string(3000, 'x'));
        wide.addMatch({1, 3000});
        results.files[0].lines[0] = wide;
        const kestrava::results::Rows rows = {{kestrava::results::RowKind::Line, 0, 0, 0}};
        ResultsGrid grid;
        show(grid);
        grid.clearDrawGrid(1);
        grid.showResults(&results, &rows);
        QVERIFY(grid.columnWidth(0) < 400);
        grid.grab(); // paints the visible rows
        QVERIFY(grid.columnWidth(0) > 1000);
        QTRY_VERIFY(grid.horizontalScrollBar()->maximum() > 0);
    }

    void millionRowsScrollByRows() {
        kestrava::search::SearchResults results = sampleResults(false);
        kestrava::results::Rows rows(
            1'000'000, kestrava::results::Row{kestrava::results::RowKind::Line, 0, 0, 0});
        ResultsGrid grid;
        show(grid);
        grid.showResults(&results, &rows);
        QCOMPARE(grid.rowCount(), 1'000'000);
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        grid.grab();
        // The last page ends exactly at the last row.
        QCOMPARE(grid.topRow() + grid.viewport()->height() / grid.defaultRowHeight(), 1'000'000);
        QCOMPARE(grid.rowAt(QPoint(5, 0)), grid.topRow());
    }
};

QTEST_MAIN(TestDrawGrid)
#include "results_grid_test.moc"
