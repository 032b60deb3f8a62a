// The replace preview on real files: Preview writes nothing and shows each change with a box;
// the boxes are toggled by click and Space; Replace (or Run Script) writes only the checked
// changes as one undoable run, refusing a file edited since the preview.
#include "main_window_test_support.h"

#include "search/search.h"

namespace {

// Presses Preview and returns once its planning run has ended.
void preview(TestWindow& w) {
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

QString shownRow(const MainWindow& w, size_t row) {
    return joined(planRowPieces(w.results(), w.changePlan(), row));
}

// What the grid says a write or an undo did, a row per file.
QStringList reportRows(const MainWindow& w) {
    QStringList rows;
    for (const ReportLine& line : w.writeReport())
        rows << joined(reportRowPieces(line));
    return rows;
}

void pressBox(const MainWindow& w, int row) {
    QTest::mouseClick(grid(w)->viewport(), Qt::LeftButton, {}, QPoint(8, rowCentre(w, row).y()));
}

void spaceOn(const MainWindow& w, int row) {
    grid(w)->setCurrentRow(row);
    QTest::keyClick(grid(w), Qt::Key_Space);
}

} // namespace

class TestMainWindowPlan : public WindowTest {
    Q_OBJECT
  private slots:
    void checkedChangesAreWrittenOnceAndUndoneTogether() {
        writeFile(root() + "/a.txt", "one TODO\ntwo TODO\nthree TODO\n");
        writeFile(root() + "/b.txt", "TODO b\n");
        writeFile(root() + "/c.txt", "TODO c\n");
        writeFile(root() + "/d.txt", "TODO d\n");
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        w->settings().replaceInSitu = true;
        chooseMode(*w, Mode::FindAndReplace);
        typeCriteria(*w, root(), "*.txt", "TODO");
        typeInto(combo(*w, "replaceCombo"), "DONE");
        preview(w);
        QCOMPARE(readFile(root() + "/b.txt"), QByteArray("TODO b\n"));
        // a: header, three changes of two rows each, blank; then b, c and d with one change each.
        const ChangePlan& plan = w->changePlan();
        QCOMPARE(plan.rows().size(), size_t(20));
        QCOMPARE(shownRow(*w, 3) + " / " + shownRow(*w, 4), QString("-two -[TODO] / two [DONE]"));
        QCOMPARE(planRowLineNumber(w->results(), plan, 4), 2);

        // Nothing checked: Replace says so and asks nothing.
        for (int header : {0, 8, 12, 16})
            spaceOn(*w, header);
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString("(0 checked)"));
        pressAction(*w);
        QCOMPARE(w.fake->lastText(), QString("No change is checked: nothing was written."));
        QVERIFY(w.fake->questions.empty());

        // All of a but its second change, none of b, c and d; then c is edited.
        spaceOn(*w, 0);
        pressBox(*w, 3);
        pressBox(*w, 12);
        pressBox(*w, 16);
        QCOMPARE(plan.mark(0), CheckMark::Partly);
        QCOMPARE(plan.mark(8), CheckMark::Unchecked);
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString("(4 checked)"));
        writeFile(root() + "/c.txt", "TODO c, edited\n");
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(w.fake->questions.back(),
                 "Replace only the checked changes (4 of 6)" +
                     QString::fromStdString(search::replaceNote(true, true)) + "?");
        QCOMPARE(readFile(root() + "/a.txt"), QByteArray("one DONE\ntwo TODO\nthree DONE\n"));
        QCOMPARE(readFile(root() + "/b.txt"), QByteArray("TODO b\n"));
        QCOMPARE(readFile(root() + "/c.txt"), QByteArray("TODO c, edited\n"));
        QCOMPARE(readFile(root() + "/d.txt"), QByteArray("DONE d\n"));
        QCOMPARE(w.fake->lastText(), "Not replaced: " + root() +
                                         "/c.txt: changed since it was searched; left as it is");
        // The grid tells what was written, and Ctrl+Z there undoes it.
        QCOMPARE(w->gridContent(), GridContent::Report);
        QCOMPARE(reportRows(*w),
                 QStringList({"Written: [" + root() + "/a.txt] (2 changes)",
                              "Written: [" + root() + "/d.txt] (1 change)",
                              "Not replaced: [" + root() +
                                  "/c.txt]: changed since it was searched; left as it is"}));
        QCOMPARE(w->statusBarText(), QString(" See below for the files written - Replaced 3 "
                                             "changes in 2 files; 1 file refused"));

        // A new preview, then the undo: it ends the preview, so Replace acts on nothing stale.
        preview(w);
        grid(*w)->setFocus();
        QTest::keyClick(grid(*w), Qt::Key_Z, Qt::ControlModifier);
        // One run of the journal for the whole apply.
        QCOMPARE(w.fake->questions.back(), QString("Undo the replacement in 2 files?"));
        QCOMPARE(readFile(root() + "/a.txt"), QByteArray("one TODO\ntwo TODO\nthree TODO\n"));
        QCOMPARE(readFile(root() + "/d.txt"), QByteArray("TODO d\n"));
        QCOMPARE(w->gridContent(), GridContent::Report);
        QVERIFY(w->changePlan().empty());
        QCOMPARE(reportRows(*w), QStringList({"Put back: [" + root() + "/d.txt]",
                                              "Put back: [" + root() + "/a.txt]"}));
        w.fake->answers = {false};
        pressAction(*w);
        QCOMPARE(w.fake->questions.back().left(24), QString("Replace all matches of t"));
        QCOMPARE(readFile(root() + "/d.txt"), QByteArray("TODO d\n"));

        // Editing a criterion leaves the preview.
        preview(w);
        QTest::keyClicks(combo(*w, "findCombo"), "x");
        QCOMPARE(w->gridContent(), GridContent::Empty);
        QVERIFY(w->changePlan().empty());
    }

    // A script's plan goes through Run Script and the script's question.
    void scriptPreviewIsWrittenByRunScript() {
        writeFile(root() + "/a.txt", "alpha\nbeta\n");
        TestWindow w;
        chooseMode(*w, Mode::Script);
        appendItem(*w, root(), "*.txt", "alpha", "ALPHA");
        preview(w);
        QCOMPARE(readFile(root() + "/a.txt"), QByteArray("alpha\nbeta\n"));
        QCOMPARE(w->changePlan().checkedCount(), 1);
        QVERIFY(button(*w, "runScriptButton")->isEnabled());
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY2(w.fake->questions.back().startsWith("This script will find"),
                 qPrintable(w.fake->questions.back()));
        QCOMPARE(readFile(root() + "/kesReplace/a.txt"), QByteArray("ALPHA\nbeta\n"));
        QCOMPARE(w->gridContent(), GridContent::Report);
        QCOMPARE(reportRows(*w),
                 QStringList({"Copy written: [" + root() + "/kesReplace/a.txt] (1 change)"}));
        QCOMPARE(w->scriptState(), ScriptEditState::Results); // View Script goes back
    }
};

QTEST_MAIN(TestMainWindowPlan)
#include "main_window_plan_test.moc"
