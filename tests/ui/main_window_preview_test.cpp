// View > Preview on the current row's file; the replace preview, whose checked changes alone are
// written as one undoable run; and exporting the results.
#include "main_window_test_support.h"

#include "search/search.h"
#include "ui/preview_pane.h"

#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QTextLayout>

#include <sys/stat.h>

namespace {

PreviewPane* preview(const MainWindow& w) {
    return part<PreviewPane>(w, "previewPane");
}

// The highlighted spans of a shown line: (start, length) in characters.
QList<QPair<int, int>> highlighted(PreviewPane* pane, int line) {
    QList<QPair<int, int>> spans;
    const QTextBlock block = pane->textView().document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
        spans << qMakePair(range.start, range.length);
    return spans;
}

bool markedLineInSight(PreviewPane* pane) {
    QPlainTextEdit& view = pane->textView();
    return view.viewport()->rect().contains(view.cursorRect().center());
}

void previewChanges(TestWindow& w) {
    button(*w, "previewChangesButton")->click();
    QTRY_VERIFY(!w->isRunning());
    QCOMPARE(w->gridContent(), GridContent::Plan);
}

// A plan row as drawn: bold pieces in brackets, struck ones after a "-".
QString joined(const std::vector<GridPiece>& pieces) {
    QString text;
    for (const GridPiece& piece : pieces)
        text += (piece.struck ? "-" : "") + (piece.bold ? "[" + piece.text + "]" : piece.text);
    return text;
}

// What the grid says a write or an undo did, a row per file.
QStringList reportRows(const MainWindow& w) {
    QStringList rows;
    for (const ReportLine& line : w.writeReport())
        rows << joined(reportRowPieces(line));
    return rows;
}

void spaceOn(const MainWindow& w, int row) {
    grid(w)->setCurrentRow(row);
    QTest::keyClick(grid(w), Qt::Key_Space);
}

} // namespace

class TestMainWindowPreview : public WindowTest {
    Q_OBJECT
  private slots:
    // The pane follows the current row, every match highlighted; its height outlives a restart.
    // Only the lines around the chosen one are read from a large file, a cut line still decoding
    // as UTF-8. A file removed, shortened, edited or made a FIFO since the search is said instead.
    void previewFollowsTheCurrentRowSafelyAndIsKeptAcrossARestart() {
        writeFile(root() + "/a.txt",
                  "first\n\xc3\xa9 TODO and todo\nthird\nfourth\nfifth todo\nend\n");
        writeFile(root() + "/b.txt", "TODO x");
        QByteArray text;
        for (int line = 1; line <= 200'000; ++line)
            text += "line " + QByteArray::number(line) + (line == 150'000 ? " MARK\n" : "\n");
        writeFile(root() + "/big.txt", text);
        const QByteArray euros = QByteArray("\xe2\x82\xac").repeated(60'000); // cut mid-character
        writeFile(root() + "/long.txt", euros + "MARK" + euros);
        const QString path = root() + "/%1.txt";
        for (const char* name : {"w", "x", "y", "z"})
            writeFile(path.arg(name), "one\ntwo MARK\n");
        {
            TestWindow w;
            QVERIFY(!preview(*w)->isVisible());
            runFind(w, root(), "*.txt", "todo");
            item(*w, "previewAction")->trigger();
            PreviewPane* pane = preview(*w);
            QVERIFY(pane->isVisible());
            clickRow(*w, 1); // a.txt, line 2
            QCOMPARE(pane->note(), root() + "/a.txt");
            QCOMPARE(pane->textView().blockCount(), 6); // the last line feed starts no line
            QCOMPARE(pane->markedLineNumber(), 2);
            QCOMPARE(highlighted(pane, 1), (QList<QPair<int, int>>{{2, 4}, {11, 4}})); // after "é"
            QCOMPARE(highlighted(pane, 4), (QList<QPair<int, int>>{{6, 4}}));
            QVERIFY(markedLineInSight(pane));
            QTest::keyClick(grid(*w), Qt::Key_Down); // a.txt, line 5
            QCOMPARE(pane->markedLineNumber(), 5);
            clickRow(*w, 4); // b.txt's header: its first match
            QCOMPARE(pane->note(), root() + "/b.txt");
            QCOMPARE(pane->markedLineNumber(), 1);

            runFind(w, root(), "*.txt", "todo"); // new results: nothing of the old ones stays
            QCOMPARE(pane->textView().toPlainText(), QString());
            QCOMPARE(pane->markedLineNumber(), 0);
            auto* splitter = part<QSplitter>(*w, "previewSplitter");
            QTRY_VERIFY(splitter->sizes().value(1) > 0);
            const int room = splitter->sizes()[0] + splitter->sizes()[1];
            splitter->setSizes({room - 180, 180});
            emit splitter->splitterMoved(room - 180, 1); // as a drag of the handle ends
            QVERIFY(w->close());
        }
        TestWindow w; // the pane shown, at the height it was left
        QTRY_COMPARE(part<QSplitter>(*w, "previewSplitter")->sizes().value(1), 180);

        runFind(w, root(), "*.txt", "MARK");
        clickRow(*w, 1);
        PreviewPane* pane = preview(*w);
        QCOMPARE(pane->markedLineNumber(), 150'000);
        QCOMPARE(pane->textView().blockCount(), 4001);
        QCOMPARE(pane->textView().document()->findBlockByNumber(2000).text(), "line 150000 MARK");
        QCOMPARE(highlighted(pane, 2000), (QList<QPair<int, int>>{{12, 4}}));
        QVERIFY(pane->note().startsWith("Lines 148000-152000 of "));
        QVERIFY(markedLineInSight(pane));

        clickRow(*w, 4); // long.txt
        const QString line = pane->textView().document()->firstBlock().text();
        QVERIFY(!line.contains(QChar(0xE2))); // no Latin-1 fallback
        QCOMPARE(highlighted(pane, 0), (QList<QPair<int, int>>{{line.indexOf("MARK"), 4}}));

        for (const char* name : {"w", "x", "y", "z"})
            QFile::remove(path.arg(name));
        writeFile(path.arg("x"), "one\n");
        writeFile(path.arg("y"), "one\ntwo DONE\n");
        QCOMPARE(mkfifo(path.arg("z").toLocal8Bit().constData(), 0600), 0);
        const std::pair<const char*, QString> files[] = {
            {"w", " is no longer there."},
            {"x", " has changed since it was searched."},
            {"y", " has changed since it was searched."},
            {"z", " is no longer a regular file."},
        };
        int row = 7; // after big.txt and long.txt: a header, a line and a blank row each
        for (const auto& [name, said] : files) {
            grid(*w)->setCurrentRow(row); // below the rows in sight
            row += 3;
            QCOMPARE(pane->note(), path.arg(name) + said);
            QCOMPARE(pane->textView().toPlainText(), QString());
            QCOMPARE(pane->markedLineNumber(), 0);
        }
    }

    void checkedChangesAreWrittenOnceAndUndoneTogether() {
        writeFile(root() + "/a.txt", "one TODO\ntwo TODO\nthree TODO\n");
        for (const QString name : {"b", "c", "d"})
            writeFile(root() + "/" + name + ".txt", "TODO " + name.toUtf8() + "\n");
        TestWindow w;
        w->settings().replaceInSitu = true;
        chooseMode(*w, Mode::FindAndReplace);
        typeCriteria(*w, root(), "*.txt", "TODO");
        typeInto(combo(*w, "replaceCombo"), "DONE");
        previewChanges(w); // writes nothing: b, never checked, is still as it was at the end
        // a: header, three changes of two rows each, blank; then b, c and d with one change each.
        const ChangePlan& plan = w->changePlan();
        QCOMPARE(joined(planRowPieces(w->results(), plan, 3)) + " / " +
                     joined(planRowPieces(w->results(), plan, 4)),
                 "-two -[TODO] / two [DONE]");
        QCOMPARE(planRowLineNumber(w->results(), plan, 4), 2);

        for (int header : {0, 8, 12, 16})
            spaceOn(*w, header);
        QCOMPARE(label(*w, "laMatchResults4")->text(), "(0 checked)");
        pressAction(*w);
        QCOMPARE(w.fake->lastText(), "No change is checked: nothing was written.");
        QVERIFY(w.fake->questions.empty());

        // All of a but its second change, none of b, c and d; then c is edited.
        spaceOn(*w, 0);
        for (int row : {3, 12, 16})
            QTest::mouseClick(grid(*w)->viewport(), Qt::LeftButton, {},
                              QPoint(8, rowCentre(*w, row).y()));
        QCOMPARE(plan.mark(0), CheckMark::Partly);
        QCOMPARE(label(*w, "laMatchResults4")->text(), "(4 checked)");
        writeFile(root() + "/c.txt", "TODO c, edited\n");
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(w.fake->questions.back(),
                 "Replace only the checked changes (4 of 6)" +
                     QString::fromStdString(search::replaceNote(true, true)) + "?");
        QCOMPARE(readFile(root() + "/a.txt"), "one DONE\ntwo TODO\nthree DONE\n");
        QCOMPARE(readFile(root() + "/b.txt"), "TODO b\n");
        QCOMPARE(readFile(root() + "/c.txt"), "TODO c, edited\n");
        QCOMPARE(readFile(root() + "/d.txt"), "DONE d\n");
        QCOMPARE(w.fake->lastText(), "Not replaced: " + root() +
                                         "/c.txt: changed since it was searched; left as it is");
        QCOMPARE(w->gridContent(), GridContent::Report);
        QCOMPARE(reportRows(*w),
                 QStringList({"Written: [" + root() + "/a.txt] (2 changes)",
                              "Written: [" + root() + "/d.txt] (1 change)",
                              "Not replaced: [" + root() +
                                  "/c.txt]: changed since it was searched; left as it is"}));
        QCOMPARE(w->statusBarText(), QString(" See below for the files written - Replaced 3 "
                                             "changes in 2 files; 1 file refused"));

        // A new preview, then the undo: it ends the preview, so Replace acts on nothing stale.
        previewChanges(w);
        grid(*w)->setFocus();
        QTest::keyClick(grid(*w), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(readFile(root() + "/a.txt"), "one TODO\ntwo TODO\nthree TODO\n");
        QCOMPARE(readFile(root() + "/d.txt"), "TODO d\n");
        QCOMPARE(w->gridContent(), GridContent::Report);
        QCOMPARE(reportRows(*w), QStringList({"Put back: [" + root() + "/d.txt]",
                                              "Put back: [" + root() + "/a.txt]"}));
        w.fake->answers = {false};
        pressAction(*w);
        QCOMPARE(w.fake->questions.back().left(24), "Replace all matches of t");
        QCOMPARE(readFile(root() + "/d.txt"), "TODO d\n");

        previewChanges(w);
        QTest::keyClicks(combo(*w, "findCombo"), "x");
        QCOMPARE(w->gridContent(), GridContent::Empty);
        QVERIFY(w->changePlan().empty());
    }

    // Exporting from the grid's menu: the clipboard's rich and plain text, the saved files, a
    // failed save, and each mode's header. A script's replace preview is written by Run Script.
    void exportsFromTheResultsMenu() {
        writeFile(root() + "/a.txt", "x {TODO} y\nnothing\n");
        TestWindow w;
        runFind(w, root(), "*.txt", "todo");

        item(*w, "copyResultsAction")->trigger();
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime != nullptr);
        const QByteArray rtf = mime->data("text/rtf");
        QVERIFY2(rtf.startsWith("{\\rtf1\\ansi") && rtf.contains("Find:     todo\\par"),
                 rtf.constData());
        QCOMPARE(mime->data("application/rtf"), mime->data("text/rtf"));
        QCOMPARE(mime->text(), "Folders:  " + root() + "\nFiles:    *.txt\nFind:     todo\n\n" +
                                   "Found 1 match in " + root() + "/a.txt\nx {TODO} y\n\n\n");

        item(*w, "saveResultsAction")->trigger(); // cancelled: nothing said, no folder kept
        const struct {
            QString item, view, title;
            QByteArray body; // after the three header lines and an empty one
        } saves[] = {
            {"saveResultsAction", "mmView_MatchesOnly",
             "Save all results to:", "Found 1 match in %1/a.txt\r\nTODO\r\n"},
            {"saveFileNamesAction", "mmView_LinesWithMatches",
             "Save all results (filenames only) to:", "Found 1 match in %1/a.txt\r\n"},
        };
        QDir().mkpath(root() + "/out");
        const QString path = root() + "/out/saved.txt";
        QString folder; // nothing exported yet: no folder; then where the last save went
        for (const auto& [action, view, title, body] : saves) {
            item(*w, qPrintable(view))->trigger();
            w.fake->filesToSave = {path};
            item(*w, qPrintable(action))->trigger();
            const auto& dialog = w.fake->saveDialogs.back();
            QCOMPARE(QStringList({dialog.title, dialog.filter, dialog.suffix, dialog.folder}),
                     QStringList({title, "Text files (*.txt)", "txt", folder}));
            // The blank row after the file, the final empty line and the writer's last line end.
            QCOMPARE(readFile(path), "Folders:  " + root().toUtf8() +
                                         "\r\nFiles:    *.txt\r\nFind:     todo\r\n\r\n" +
                                         QString::fromUtf8(body).arg(root()).toUtf8() +
                                         "\r\n\r\n\r\n");
            folder = root() + "/out/";
        }

        // A failed save writes nothing; the header is the mode's, with the boxes as they are now.
        const QString missing = root() + "/no/such/folder/r.txt";
        w.fake->filesToSave = {missing};
        item(*w, "saveResultsAction")->trigger();
        QCOMPARE(w.fake->saveDialogs.back().folder, folder); // where the names went
        QCOMPARE(w.fake->allShown(),
                 "error: Directory \"" + root() + "/no/such/folder/\" does not exist.");
        QVERIFY(!QFile::exists(missing));
        combo(*w, "filesCombo")->setEditText("*.md"); // changed after the search, kept shown
        w.fake->filesToSave = {path};
        item(*w, "saveFileNamesAction")->trigger();
        QVERIFY(
            readFile(path).startsWith("Folders:  " + root().toUtf8() + "\r\nFiles:    *.md\r\n"));
        chooseMode(*w, Mode::Script);
        appendItem(*w, root(), "*.txt", "nothing", "NOTHING");
        runScript(w);
        QVERIFY(w.fake->questions.back().contains(", will replace matches with the corresponding"));
        w.fake->filesToSave = {path};
        item(*w, "saveFileNamesAction")->trigger();
        QCOMPARE(readFile(path), "Script: New (unsaved) script\r\n\r\nFound 1 match in " +
                                     root().toUtf8() + "/a.txt\r\n\r\n\r\n\r\n");

        // Run Script writes a script's replace preview, in place of another run.
        QVERIFY(QDir(root() + "/kesReplace").removeRecursively());
        item(*w, "viewScriptAction")->trigger();
        previewChanges(w);
        QVERIFY(!QFile::exists(root() + "/kesReplace"));
        runScript(w);
        QCOMPARE(readFile(root() + "/kesReplace/a.txt"), "x {TODO} y\nNOTHING\n");
        QCOMPARE(reportRows(*w),
                 QStringList({"Copy written: [" + root() + "/kesReplace/a.txt] (1 change)"}));
        QCOMPARE(w->scriptState(), ScriptEditState::Results); // View Script goes back
    }
};

QTEST_MAIN(TestMainWindowPreview)
#include "main_window_preview_test.moc"
