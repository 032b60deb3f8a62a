// The Find/Replace press on real files: the checks and their error boxes, the run off the
// window thread, the summary labels and the grid's rows in every view, replacing, cancelling.
#include "main_window_test_support.h"

#include <QMenu>

#include <QSignalSpy>

#include <optional>

namespace {

QString labels(MainWindow& w) {
    QStringList texts;
    for (const char* name :
         {"laMatchResults1", "laMatchResults2", "laMatchResults3", "laMatchResults4"})
        texts << label(w, name)->text();
    return texts.join('|');
}

std::vector<kestrava::results::RowKind> kinds(const kestrava::results::Rows& rows) {
    std::vector<kestrava::results::RowKind> kinds;
    for (const kestrava::results::Row& row : rows)
        kinds.push_back(row.kind);
    return kinds;
}

} // namespace

class TestMainWindowSearch : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        m_env.emplace();
        writeFile(root() + "/a.txt", "alpha TODO one\r\nbeta\r\ngamma TODO and todo again\r\n");
        writeFile(root() + "/b.txt", "TODO x");
        writeFile(root() + "/c.md", "TODO not searched");
    }
    void cleanup() { m_env.reset(); }

    void findShowsLabelsAndRowsForEveryView() {
        TestWindow w;
        find(w, "todo");
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        QVERIFY(w.fake->shown.empty());
        QCOMPARE(label(*w, "modeStatusLabel")->text(), QString("(See below for results)"));
        QCOMPARE(w->statusBarText(), QString(" Results now displaying"));
        QVERIFY(grid(*w)->isEnabled());
        using K = std::vector<kestrava::results::RowKind>;
        const K lines = kinds(w->resultRows());
        QCOMPARE(lines.size(), size_t(7)); // two headers, three lines, two blanks
        QCOMPARE(std::count(lines.begin(), lines.end(), kestrava::results::RowKind::Line), 3);
        QCOMPARE(grid(*w)->rowCount(), 7);
        const size_t aHeader = w->results().files[0].fileName == "a.txt" ? 0 : 3;
        QCOMPARE(resultRowText(w->results(), w->resultRows(), aHeader),
                 QString("Found 3 matches in ") + root() + "/a.txt");

        w->findChild<QAction*>("mmView_MatchesOnly")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(8));
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(kinds(w->resultRows()),
                 K{kestrava::results::RowKind::Match}); // TODO and todo count once
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString("(1 Unique Match)"));
        w->findChild<QAction*>("mmView_UniqueMatchesSorted")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(1));
        w->findChild<QAction*>("mmView_LinesWithMatches")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(7));
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString());
        QVERIFY(!w->findChild<QMenu*>("scriptMenu")->menuAction()->isEnabled()); // Script mode's
    }

    // Enter in a criteria box commits it and presses the mode's action button.
    void enterInACriteriaBoxStartsTheAction() {
        TestWindow w;
        typeInto(combo(*w, "foldersCombo"), root());
        typeInto(combo(*w, "filesCombo"), "*.txt");
        typeInto(combo(*w, "findCombo"), "todo");
        QTest::keyClick(combo(*w, "findCombo"), Qt::Key_Return);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(w->results().totalMatches, 4);
        QCOMPARE(entries(combo(*w, "findCombo")), QStringList{"todo"});
    }

    void noMatchesLeavesTheGridDisabled() {
        TestWindow w;
        find(w, "zzz");
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 0| matches| in 0 files|"));
        QVERIFY(w->resultRows().empty());
        QCOMPARE(grid(*w)->rowCount(), 2);
        QVERIFY(!grid(*w)->isEnabled());
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(label(*w, "laMatchResults4")->text(), QString("(0 Unique Match)"));
    }

    void editingACriterionClearsShownResults() {
        TestWindow w;
        find(w, "todo");
        QCOMPARE(w->gridContent(), GridContent::Results);
        QTest::keyClicks(combo(*w, "findCombo"), "x");
        QCOMPARE(w->gridContent(), GridContent::Empty);
        QVERIFY(w->resultRows().empty());
        QCOMPARE(label(*w, "laMatchResults1")->text(), QString());
        QVERIFY(!w->findChild<QAction*>("mmView_MatchesOnly")->isEnabled());
    }

    void pressRefusesMissingCriteriaAndBadExpressions_data() {
        QTest::addColumn<QString>("folders");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("message");
        // Missing criteria keep the button disabled; their messages are the session's
        // (RequestChecks.ReturnTheMessagesInOrderAndKeepNoPatternWhenRefused).
        QTest::newRow("bad pattern") << "/tmp"
                                     << "a("
                                     << "Invalid Find Expression: ";
        QTest::newRow("trailing bar") << "/tmp"
                                      << "a| "
                                      << "Invalid Find Expression: Expression cannot end with '|'";
    }
    void pressRefusesMissingCriteriaAndBadExpressions() {
        QFETCH(QString, folders);
        QFETCH(QString, find);
        QFETCH(QString, message);
        TestWindow w;
        typeInto(combo(*w, "foldersCombo"), folders);
        typeInto(combo(*w, "filesCombo"), "*.txt");
        typeInto(combo(*w, "findCombo"), find);
        pressAction(*w);
        QVERIFY2(w.fake->allShown().startsWith("error: " + message),
                 qPrintable(w.fake->allShown()));
        QVERIFY(!w->isRunning());
        QCOMPARE(w->gridContent(), GridContent::Empty);
    }

    void replaceAsksFirstAndWritesCopies() {
        TestWindow w;
        item(*w, "replaceModeAction")->trigger();
        typeInto(combo(*w, "foldersCombo"), root());
        typeInto(combo(*w, "filesCombo"), "b.txt");
        typeInto(combo(*w, "findCombo"), "TODO");
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
        QFile copy(root() + "/kesReplace/b.txt");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("DONE x"));

        // A kesReplace planted as a link is refused, and the window says so.
        QVERIFY(QDir(root() + "/kesReplace").removeRecursively());
        QVERIFY(QFile::link(root() + "/elsewhere", root() + "/kesReplace"));
        pressAction(*w);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(!QFile::exists(root() + "/elsewhere/b.txt"));
        QCOMPARE(
            w.fake->shown.back().text,
            "Not replaced: " + root() + "/b.txt: " + root() +
                "/kesReplace is not a folder but a link or a file; nothing is written into it");
        QVERIFY2(w->statusBarText().contains("1 file not replaced"),
                 qPrintable(w->statusBarText()));
    }

    void findRunsOffTheWindowThreadAndCancelKeepsWhatWasFound() {
        for (int i = 0; i < 400; ++i)
            writeFile(root() + QString("/many/f%1.txt").arg(i), "TODO\n");
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        typeInto(combo(*w, "foldersCombo"), root() + "<+>");
        typeInto(combo(*w, "filesCombo"), "*.txt");
        typeInto(combo(*w, "findCombo"), "todo");
        pressAction(*w);
        // The press returns before the run ends; its results arrive through the event loop.
        QVERIFY(w->isRunning());
        QVERIFY(!button(*w, "findButton")->isEnabled());
        QVERIFY(button(*w, "stopRunButton")->isVisibleTo(w.window.get()));
        QVERIFY(!combo(*w, "findCombo")->isEnabled() ||
                !widget(*w, "findReplacePanel")->isEnabled());
        QTest::keyClick(button(*w, "findButton"), Qt::Key_Escape);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(button(*w, "findButton")->isEnabled());
        QVERIFY(!button(*w, "stopRunButton")->isVisibleTo(w.window.get()));
        QVERIFY(w->results().filesScanned < 402);
        QCOMPARE(w->gridContent(), GridContent::Results);
        QVERIFY2(w->statusBarText().contains("cancelled"), qPrintable(w->statusBarText()));
        QCOMPARE(w->results().filesWithMatches, w->results().filesScanned); // every file matches
    }

  private:
    QString root() const { return m_env->root(); }
    void find(TestWindow& w, const QString& find) { runFind(w, root(), "*.txt", find); }

    std::optional<TestFolders> m_env;
};

QTEST_MAIN(TestMainWindowSearch)
#include "main_window_search_test.moc"
