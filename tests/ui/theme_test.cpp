// The results grid: what each row kind draws (texts, colours, bold names, "->" markers), how
// bytes become screen text, the widening column and a million rows held without trouble; its
// look on light and dark palettes: the light one kept as it always was, every text readable on
// a dark theme. With KES_SCREENSHOT_DIR set, the window, with results, a current row and the
// preview, a replace preview, the Preferences and Script mode, is saved as light[-view].png and
// dark[-view].png there for a person to look at (offscreen, Fusion).
#include "main_window_test_support.h"
#include "ui/preferences_dialog.h"
#include "ui/widget_style.h"

#include <QPalette>
#include <QScrollBar>
#include <QStyleFactory>

namespace {

using results::RowKind;

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

QPalette darkPalette() {
    QPalette p;
    const auto paint = [&p](QRgb rgb, std::initializer_list<QPalette::ColorRole> roles) {
        for (const QPalette::ColorRole role : roles)
            p.setColor(role, QColor(rgb));
    };
    paint(0x353535, {QPalette::Window, QPalette::AlternateBase, QPalette::Button});
    paint(0x2A2A2A, {QPalette::Base, QPalette::ToolTipBase});
    paint(0xE8E8E8,
          {QPalette::WindowText, QPalette::ToolTipText, QPalette::Text, QPalette::ButtonText});
    paint(0x909090, {QPalette::PlaceholderText});
    paint(0xFF0000, {QPalette::BrightText});
    paint(0x505050, {QPalette::Light});
    paint(0x454545, {QPalette::Midlight});
    paint(0x252525, {QPalette::Mid});
    paint(0x1A1A1A, {QPalette::Dark});
    paint(0x000000, {QPalette::Shadow});
    paint(0x2A82DA, {QPalette::Highlight});
    paint(0xFFFFFF, {QPalette::HighlightedText});
    paint(0x6CB4FF, {QPalette::Link});
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

QString screenshotFolder() {
    return qEnvironmentVariable("KES_SCREENSHOT_DIR");
}

void saveScreenshot(QWidget& window, const QString& name) {
    if (screenshotFolder().isEmpty())
        return;
    QApplication::processEvents(); // the layouts catch up with the texts just set
    QVERIFY(window.grab().save(screenshotFolder() + "/" + name + ".png"));
}

} // namespace

class TestTheme : public WindowTest {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create("Fusion")); }
    void cleanup() {
        QApplication::setPalette(QApplication::style()->standardPalette());
        WindowTest::cleanup();
    }

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

    // The light look is kept as it always was. On a dark theme body text must reach 4.5:1, text
    // on a tinted row 3:1 (it is drawn in its own colour there).
    void lightThemeKeepsItsColoursAndDarkKeepsEveryTextReadable() {
        const QPalette light = QApplication::style()->standardPalette();
        const QColor grey(0xF7, 0xF7, 0xF7);
        QCOMPARE(gridBackground(grey, light), grey);
        const GridColours kept = gridColours(grey, light);
        const QColor yellow(0xFF, 0xFF, 0xB3); // a highlighted script item
        QCOMPARE(
            QList<QColor>({kept.text, kept.match, kept.context, kept.lineNumber, kept.headerFill,
                           kept.currentRowFill, kept.currentItemFill, kept.gutterFill,
                           readableTextOn(yellow, light)}),
            QList<QColor>({Qt::black, Qt::red, Qt::blue, QColor(0x808080), QColor(204, 255, 153),
                           QColor(0xCCE0FF), QColor(0xFFE4C4), QColor(0xEEEEEE), Qt::black}));
        for (const QColor& label : {kBlackText, kGreyText, kInactiveText, kTealText})
            QCOMPARE(themedTextColor(label, light), label);
        const QPalette dark = darkPalette();
        const QColor background = gridBackground(grey, dark);
        QCOMPARE(background, dark.color(QPalette::Base)); // the default grey gives way
        const QColor chosen(0x20, 0x30, 0x40);
        QCOMPARE(gridBackground(chosen, dark), chosen); // a colour the user chose stays
        const GridColours c = gridColours(background, dark);
        const struct {
            const char* what;
            QColor text, fill;
            double least;
        } pairs[] = {
            {"text", c.text, background, 4.5},
            {"match", c.match, background, 4.5},
            {"context", c.context, background, 4.5},
            {"line number", c.lineNumber, background, 3.0},
            {"file header", c.text, c.headerFill, 4.5},
            {"match on current row", c.match, c.currentRowFill, 3.0},
            {"context on current row", c.context, c.currentRowFill, 3.0},
            {"script item", readableTextOn(c.currentItemFill, dark), c.currentItemFill, 4.5},
            {"highlighted script item", readableTextOn(yellow, dark), yellow, 4.5},
            {"preview line number", c.lineNumber, c.gutterFill, 3.0},
            {"write note on a file header", readableOn(c.added, c.headerFill), c.headerFill, 4.5},
            {"refusal on a file header", readableOn(c.removed, c.headerFill), c.headerFill, 4.5},
        };
        for (const auto& p : pairs)
            QVERIFY2(contrastRatio(p.text, p.fill) >= p.least,
                     qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                    .arg(p.what, p.text.name(), p.fill.name())
                                    .arg(contrastRatio(p.text, p.fill), 0, 'f', 2)));
        // The labels and the status line, on the window behind them.
        const QColor window = dark.color(QPalette::Window);
        QCOMPARE(themedTextColor(kBlackText, dark), dark.color(QPalette::WindowText));
        for (const QColor& label : {kGreyText, kInactiveText, kTealText}) {
            const QColor shown = themedTextColor(label, dark);
            QVERIFY2(contrastRatio(shown, window) >= 4.5, qPrintable(shown.name()));
            QCOMPARE(shown.hslHue(), label.hslHue()); // teal stays teal
        }
    }

    void windowWithResults() {
        for (const QString name : {"light", "dark"}) {
            m_env.emplace(); // each look from a fresh start, not the last one's saved boxes
            QApplication::setPalette(name == "dark" ? darkPalette()
                                                    : QApplication::style()->standardPalette());
            // Screenshots search a tree at a fixed place, so two can be compared pixel by pixel.
            const QString tree =
                screenshotFolder().isEmpty() ? root() : screenshotFolder() + "/tree";
            writeFile(tree + "/notes.txt", "The kestrel hovers.\nA second kestrel, then a third "
                                           "KESTREL.\nNothing here.\n");
            writeFile(tree + "/sub/more.txt", "kestrels nest on ledges\n");
            TestWindow w;
            runFind(w, tree + "<+>", "*.txt", "kestrel\\w*");
            item(*w, "previewAction")->setChecked(true);
            clickRow(*w, 2);
            QTRY_VERIFY(QTest::qWaitForWindowExposed(w.window.get()));
            saveScreenshot(*w, name);

            // A preview's boxes, one of them cleared, and the Preferences panels.
            chooseMode(*w, Mode::FindAndReplace);
            typeCriteria(*w, tree + "<+>", "*.txt", "kestrel\\w*");
            typeInto(combo(*w, "replaceCombo"), "falcon");
            button(*w, "previewChangesButton")->click();
            QTRY_COMPARE(w->gridContent(), GridContent::Plan);
            QTest::mouseClick(grid(*w)->viewport(), Qt::LeftButton, {},
                              QPoint(8, rowCentre(*w, 3).y()));
            saveScreenshot(*w, name + "-preview");
            config::Settings settings;
            PreferencesDialog preferences(settings);
            preferences.show();
            QVERIFY(QTest::qWaitForWindowExposed(&preferences));
            saveScreenshot(preferences, name + "-preferences");
            preferences.close();

            // The script grid: its header, the current item's rows and an item being added.
            chooseMode(*w, Mode::Script);
            appendItem(*w, tree + "<+>", "*.txt", "kestrel");
            appendItem(*w, tree, "*.md", "falcon", "hawk");
            button(*w, "appendItemButton")->click();
            saveScreenshot(*w, name + "-script");
            button(*w, "cancelItemButton")->click();
        }
    }
};

QTEST_MAIN(TestTheme)
#include "theme_test.moc"
