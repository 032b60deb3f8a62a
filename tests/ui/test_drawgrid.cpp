// The results grid: what each row kind draws (texts, colours, bold names, "->" markers), how
// bytes become screen text, the widening column, and a million rows held without trouble.
#include "ui/kes_fmMain.h"
#include "ui/kes_uDrawGrid.h"

#include <QScrollBar>
#include <QTest>

namespace {

// One file "/d/f.txt" with one line "ab\tc": match "b" then match "\tc"-free "c" cut at the end.
kes::TkesMatchResults SampleResults(bool truncated) {
    kes::TkesMatchResults results;
    results.Folders = {"/d/"};
    kes::TkesFile file;
    file.FileName = "f.txt";
    file.NumMatches = 2;
    kes::TMatchedLines line;
    line.Text = "abxc";
    line.Truncated = truncated;
    line.AddMatch({2, 1}); // b
    line.AddMatch({4, 1}); // c
    file.Lines.push_back(line);
    results.Files.push_back(file);
    results.FilesScanned = results.FilesWithMatches = 1;
    results.TotalMatches = 2;
    results.TotalLines = 1;
    return results;
}

const kes::TResultRows kRows = {{kes::rkFileHeader, 0, 0, 0},
                                {kes::rkLine, 0, 0, 0},
                                {kes::rkMatch, 0, 0, 0},
                                {kes::rkMatch, 0, 0, 1},
                                {kes::rkBlank, 0, 0, 0}};

void Show(TkesDrawGrid& grid) {
    grid.resize(400, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
}

} // namespace

class TestDrawGrid : public QObject {
    Q_OBJECT
  private slots:
    void RowsShowTheirTextsColoursAndFills() {
        const auto results = SampleResults(false);
        const auto header = ResultRowPieces(results, kRows, 0);
        QCOMPARE(header.size(), size_t(2)); // count and folder, then the bold name below right
        QCOMPARE(header[0].Text, QString("Found 2 matches in /d/"));
        QVERIFY(!header[0].Bold);
        QCOMPARE(header[1].Text, QString("f.txt"));
        QVERIFY(header[1].Bold);
        QCOMPARE(QPoint(header[1].OffsetX, header[1].OffsetY), QPoint(2, 2));
        QCOMPARE(ResultRowFill(kRows, 0, Qt::white), QColor(204, 255, 153));
        QCOMPARE(ResultRowFill(kRows, 1, Qt::white), QColor(Qt::white));
        const auto line = ResultRowPieces(results, kRows, 1); // matches red, the rest blue
        QCOMPARE(line.size(), size_t(4));
        const QColor expected[] = {Qt::blue, Qt::red, Qt::blue, Qt::red};
        for (size_t i = 0; i < line.size(); ++i)
            QCOMPARE(line[i].Color, expected[i]);
        QCOMPARE(ResultRowText(results, kRows, 1), QString("abxc"));
        QCOMPARE(ResultRowText(results, kRows, 4), QString());
    }

    void CutLinesEndWithArrowMatchesOnlyWhenLastOnTheLine() {
        const auto results = SampleResults(true);
        QCOMPARE(ResultRowText(results, kRows, 1), QString("abxc->"));
        QCOMPARE(ResultRowText(results, kRows, 2), QString("b"));   // not the line's last segment
        QCOMPARE(ResultRowText(results, kRows, 3), QString("c->")); // the last one
        QCOMPARE(ResultRowPieces(results, kRows, 3)[0].Color, QColor(Qt::black));
    }

    void BytesShowAsUtf8ElseLatin1WithControlsVisible_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("latin-1") << QByteArray("caf\xe9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("tab and line end")
            << QByteArray("a\tb\r\n")
            << QString("a") + QChar(0x2409) + "b" + QChar(0x240D) + QChar(0x240A);
    }
    void BytesShowAsUtf8ElseLatin1WithControlsVisible() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText(std::string_view(bytes.constData(), size_t(bytes.size()))), shown);
    }

    // UTF-8 is decided per line: a match boundary inside a character draws that character whole
    // in the match's colour instead of turning the rest of the line into Latin-1.
    void LinesDecodeWholeWithCutCharactersGivenToTheMatch_data() {
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
    void LinesDecodeWholeWithCutCharactersGivenToTheMatch() {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, matches);
        QFETCH(QString, line);
        QFETCH(QString, firstMatch);
        kes::TkesMatchResults results;
        results.Folders = {"/d/"};
        kes::TkesFile file;
        kes::TMatchedLines matched;
        matched.Text = text.toStdString();
        for (qsizetype i = 0; i + 1 < matches.size(); i += 2)
            matched.AddMatch({matches[i], matches[i + 1]});
        file.Lines.push_back(matched);
        results.Files.push_back(file);
        QString shown;
        for (const TkesGridPiece& piece : ResultRowPieces(results, kRows, 1)) {
            if (!piece.Text.isEmpty())
                shown += piece.Color == QColor(Qt::red) ? "<" + piece.Text + ">"
                                                        : "[" + piece.Text + "]";
        }
        QCOMPARE(shown, line);
        QCOMPARE(ResultRowText(results, kRows, 2), firstMatch);
    }

    void LongLineWidensTheColumnOnceDrawn() {
        auto results = SampleResults(false);
        kes::TMatchedLines wide;
        wide.Text = std::string(3000, 'x');
        wide.AddMatch({1, 3000});
        results.Files[0].Lines[0] = wide;
        const kes::TResultRows rows = {{kes::rkLine, 0, 0, 0}};
        TkesDrawGrid grid;
        Show(grid);
        grid.ClearDrawGrid(1);
        grid.ShowResults(&results, &rows);
        QVERIFY(grid.ColumnWidth(0) < 400);
        grid.grab(); // paints the visible rows
        QVERIFY(grid.ColumnWidth(0) > 1000);
        QTRY_VERIFY(grid.horizontalScrollBar()->maximum() > 0);
    }

    void MillionRowsScrollByRows() {
        kes::TkesMatchResults results = SampleResults(false);
        kes::TResultRows rows(1'000'000, kes::TResultRow{kes::rkLine, 0, 0, 0});
        TkesDrawGrid grid;
        Show(grid);
        grid.ShowResults(&results, &rows);
        QCOMPARE(grid.RowCount(), 1'000'000);
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        grid.grab();
        // The last page ends exactly at the last row.
        QCOMPARE(grid.TopRow() + grid.viewport()->height() / grid.DefaultRowHeight(), 1'000'000);
        QCOMPARE(grid.RowAt(QPoint(5, 0)), grid.TopRow());
    }

    void ProgressTextGivesNumbers() {
        int current = 0;
        int total = 0;
        QVERIFY(kes::ParseProgressText("Processing file 10 of 120", current, total));
        QCOMPARE(QPoint(current, total), QPoint(10, 120));
        QVERIFY(!kes::ParseProgressText("Creating list of files to scan ..", current, total));
    }
};

QTEST_MAIN(TestDrawGrid)
#include "test_drawgrid.moc"
