// Find and Replace on real files: the checks, the run off the window thread, the labels and rows
// in every view, replacing, cancelling, and Edit > Undo Last Replace.
#include "main_window_test_support.h"

namespace {

QString labels(MainWindow& w) {
    QStringList texts;
    for (const char* name :
         {"laMatchResults1", "laMatchResults2", "laMatchResults3", "laMatchResults4"})
        texts << label(w, name)->text();
    return texts.join('|');
}

} // namespace

class TestMainWindowSearch : public WindowTest {
    Q_OBJECT
  private slots:
    void init() {
        WindowTest::init();
        writeFile(root() + "/a.txt", "alpha TODO one\r\nbeta\r\ngamma TODO and todo again\r\n");
        writeFile(root() + "/b.txt", "TODO x");
        writeFile(root() + "/c.md", "TODO not searched");
    }

    // Enter in a criteria box commits it and presses the mode's action button; editing a
    // criterion afterwards clears what is shown.
    void enterFindsAndShowsLabelsAndRowsForEveryViewOrNone() {
        TestWindow w;
        typeCriteria(*w, root(), "*.txt", "todo");
        QTest::keyClick(combo(*w, "findCombo"), Qt::Key_Return);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(entries(combo(*w, "findCombo")), QStringList{"todo"});
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        QVERIFY(w.fake->shown.empty());
        QCOMPARE(label(*w, "modeStatusLabel")->text(), QString("(See below for results)"));
        QVERIFY(grid(*w)->isEnabled());
        // The window passes the chosen view, marks it and shows the unique count only for
        // the unique views; a new search shows its lines again.
        const struct {
            const char* action;
            size_t rows;
            const char* uniqueCount;
        } views[] = {{"mmView_MatchesOnly", 8, ""},
                     {"mmView_UniqueMatches", 1, "(1 Unique Match)"}, // TODO and todo count once
                     {"mmView_UniqueMatchesSorted", 1, "(1 Unique Match)"},
                     {nullptr, 7, ""}}; // a new search: two headers, three lines, two blanks
        for (const auto& view : views) {
            if (view.action == nullptr) {
                pressAction(*w);
                QTRY_VERIFY(!w->isRunning());
            } else {
                item(*w, view.action)->trigger();
            }
            QCOMPARE(w->resultRows().size(), view.rows);
            QCOMPARE(labels(*w.window), "Searched 2 files:   Found 4| matches| in 2 files|" +
                                            QString(view.uniqueCount));
            QVERIFY(item(*w, view.action != nullptr ? view.action : "mmView_LinesWithMatches")
                        ->isChecked());
        }

        QTest::keyClicks(combo(*w, "findCombo"), "x");
        QCOMPARE(w->gridContent(), GridContent::Empty);
        QVERIFY(w->resultRows().empty());
        QCOMPARE(label(*w, "laMatchResults1")->text(), QString());
        QVERIFY(!item(*w, "mmView_MatchesOnly")->isEnabled());

        // A refused press runs nothing; no matches leave the grid disabled; hidden names are
        // searched only when Preferences asks.
        writeFile(root() + "/.cache/h.txt", "TODO hidden");
        typeCriteria(*w, "/tmp", "*.txt", "a(");
        pressAction(*w);
        QVERIFY2(w.fake->allShown().startsWith("error: Invalid Find Expression: "),
                 qPrintable(w.fake->allShown()));
        QVERIFY(!w->isRunning());
        QCOMPARE(w->gridContent(), GridContent::Empty);
        runFind(w, root() + "<+>|" + root() + "/gone", "*.txt", "hidden");
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 0| matches| in 0 files|"));
        QVERIFY2(w->statusBarText().endsWith("Folder not found: " + root() + "/gone"),
                 qPrintable(w->statusBarText()));
        QVERIFY(w->resultRows().empty());
        QCOMPARE(grid(*w)->rowCount(), 2);
        QVERIFY(!grid(*w)->isEnabled());
        item(*w, "mmView_UniqueMatches")->trigger();
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString("(0 Unique Match)"));
        w->settings().includeHidden = true;
        runFind(w, root() + "<+>", "*.txt", "hidden");
        QCOMPARE(w->results().filesWithMatches, 1);
    }

    // Replace asks first and writes copies, refusing a planted link. In place, the journal is
    // made before the question, and one that cannot be made stops the run. The undo asks, then
    // puts every file back byte for byte (CR LF lines, no final line end).
    void replaceWritesCopiesOrInPlaceAndIsUndoneFromTheEditMenu() {
        const QByteArray a = readFile(root() + "/a.txt");
        const QByteArray b = readFile(root() + "/b.txt");
        TestWindow w;
        item(*w, "replaceModeAction")->trigger();
        typeCriteria(*w, root(), "b.txt", "TODO");
        commit(combo(*w, "replaceCombo"), "done"); // the typed letter case must win over this
        typeInto(combo(*w, "replaceCombo"), "DONE");
        w.fake->answers = {false};
        pressAction(*w);
        QVERIFY(
            w.fake->questions.at(0).startsWith("Replace all matches of the \"Find\" expression"));
        QVERIFY(!w->isRunning());
        QVERIFY(!QFile::exists(root() + "/kesReplace/b.txt"));
        pressAction(*w);
        QVERIFY(!button(*w, "replaceButton")->isEnabled()); // until the results are shown
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(button(*w, "replaceButton")->isEnabled());
        QCOMPARE(readFile(root() + "/kesReplace/b.txt"), QByteArray("DONE x"));

        // A kesReplace planted as a link is refused, and the window says so.
        QVERIFY(QDir(root() + "/kesReplace").removeRecursively());
        QVERIFY(QFile::link(root() + "/elsewhere", root() + "/kesReplace"));
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(!QFile::exists(root() + "/elsewhere/b.txt"));
        QCOMPARE(
            w.fake->lastText(),
            "Not replaced: " + root() + "/b.txt: " + root() +
                "/kesReplace is not a folder but a link or a file; nothing is written into it");
        QVERIFY2(w->statusBarText().contains("1 file not replaced"),
                 qPrintable(w->statusBarText()));

        const QString state = m_env->statePath();
        QVERIFY(QDir(state + "/kestrava").removeRecursively()); // the copies' runs
        writeFile(state + "/kestrava", "a file where the journal's folder should be");
        w->settings().replaceInSitu = true;
        w.fake->questions.clear();
        typeCriteria(*w, root(), "*.txt", "todo");
        typeInto(combo(*w, "replaceCombo"), "DONE");
        pressAction(*w);
        QVERIFY(w.fake->questions.empty() && !w->isRunning());
        QVERIFY2(w.fake->lastText().endsWith("turn off \"Keep an undo journal\" in File > "
                                             "Preferences."),
                 qPrintable(w.fake->lastText()));
        QCOMPARE(readFile(root() + "/b.txt"), b);

        QVERIFY(QFile::remove(state + "/kestrava"));
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(w.fake->questions.back().contains("their old content is kept"));
        QCOMPARE(readFile(root() + "/b.txt"), QByteArray("DONE x"));
        QCOMPARE(QDir(state + "/kestrava/undo").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                 1);

        QCOMPARE(w->statusBarText(), QString(" Results now displaying - 2 files written"));
        QVERIFY(grid(*w)->hasFocus());
        QTest::keyClick(grid(*w), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.fake->questions.back(), QString("Undo the replacement in 2 files?"));
        QCOMPARE(readFile(root() + "/a.txt"), a);
        QCOMPARE(readFile(root() + "/b.txt"), b);
        QVERIFY2(w.fake->lastText().startsWith("Put back 2 files of run "),
                 qPrintable(w.fake->lastText()));
        QCOMPARE(w->statusBarText(),
                 QString(" See below for the files put back - Undo: 2 files put back"));

        item(*w, "undoReplaceAction")->trigger();
        QVERIFY2(w.fake->lastText().startsWith("Nothing to undo: "),
                 qPrintable(w.fake->lastText()));
    }

    // Rows are shown as they are found, and Cancel keeps them.
    void findRunsOffTheWindowThreadAndCancelKeepsWhatWasFound() {
        // Enough matches that the run cannot end before Esc, even with this thread held up.
        const QByteArray lines = QByteArray("TODO\n").repeated(500);
        for (int i = 0; i < 400; ++i)
            writeFile(root() + QString("/many/f%1.txt").arg(i), lines);
        TestWindow w;
        typeCriteria(*w, root() + "<+>", "*.txt", "todo");
        pressAction(*w);
        // The press returns before the run ends; its results arrive through the event loop.
        QVERIFY(w->isRunning());
        QVERIFY(!button(*w, "findButton")->isEnabled());
        QVERIFY(button(*w, "stopRunButton")->isVisibleTo(w.window.get()));
        QVERIFY(!combo(*w, "findCombo")->isEnabled() ||
                !widget(*w, "findReplacePanel")->isEnabled());
        QTRY_VERIFY(grid(*w)->rowCount() > 2);
        QVERIFY(w->isRunning());
        QVERIFY(grid(*w)->isEnabled());
        QVERIFY2(labels(*w.window).startsWith("Searched "), qPrintable(labels(*w.window)));
        grid(*w)->setCurrentRow(1);
        QTest::keyClick(button(*w, "findButton"), Qt::Key_Escape);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(button(*w, "findButton")->isEnabled());
        QVERIFY(!button(*w, "stopRunButton")->isVisibleTo(w.window.get()));
        QVERIFY(w->results().filesScanned < 402);
        QCOMPARE(w->gridContent(), GridContent::Results);
        QVERIFY2(w->statusBarText().contains("cancelled"), qPrintable(w->statusBarText()));
        QCOMPARE(w->results().filesWithMatches, w->results().filesScanned); // every file matches
        QCOMPARE(grid(*w)->currentRow(), 1); // what was shown stays, where the user was
        QCOMPARE(static_cast<size_t>(grid(*w)->rowCount()), w->resultRows().size());
        size_t rows = 0; // a header, the lines and a blank for each file
        for (const search::FileMatches& file : w->results().files)
            rows += file.lines.size() + 2;
        QCOMPARE(w->resultRows().size(), rows);
    }
};

QTEST_MAIN(TestMainWindowSearch)
#include "main_window_search_test.moc"
