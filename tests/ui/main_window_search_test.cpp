// The Find/Replace press on real files: the checks and their error boxes, the run off the
// window thread, the summary labels and the grid's rows in every view, replacing, cancelling.
#include "main_window_test_support.h"

#include <QMenu>

#include <QSignalSpy>

#include <optional>

namespace {

QString labels(MainWindow& w) {
    QStringList texts;
    for (QLabel* label : w.summaryLabels)
        texts << label->text();
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
        QCOMPARE(w->modeStatusLabel->text(), QString("(See below for results)"));
        QCOMPARE(w->statusBarText(), QString(" Results now displaying"));
        QVERIFY(w->resultsGrid->isEnabled());
        using K = std::vector<kestrava::results::RowKind>;
        const K lines = kinds(w->resultRows());
        QCOMPARE(lines.size(), size_t(7)); // two headers, three lines, two blanks
        QCOMPARE(std::count(lines.begin(), lines.end(), kestrava::results::RowKind::Line), 3);
        QCOMPARE(w->resultsGrid->rowCount(), 7);
        const size_t aHeader = w->results().files[0].fileName == "a.txt" ? 0 : 3;
        QCOMPARE(resultRowText(w->results(), w->resultRows(), aHeader),
                 QString("Found 3 matches in ") + root() + "/a.txt");

        w->findChild<QAction*>("mmView_MatchesOnly")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(8));
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(kinds(w->resultRows()),
                 K{kestrava::results::RowKind::Match}); // TODO and todo count once
        QCOMPARE(w->summaryLabels[3]->text(), QString("(1 Unique Match)"));
        w->findChild<QAction*>("mmView_UniqueMatchesSorted")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(1));
        w->findChild<QAction*>("mmView_LinesWithMatches")->trigger();
        QCOMPARE(w->resultRows().size(), size_t(7));
        QCOMPARE(w->summaryLabels[3]->text(), QString());
        QVERIFY(!w->findChild<QMenu*>("scriptMenu")->menuAction()->isEnabled()); // Script mode's
    }

    // Enter in a criteria box commits it and presses the mode's action button.
    void enterInACriteriaBoxStartsTheAction() {
        TestWindow w;
        typeInto(w->foldersCombo, root());
        typeInto(w->filesCombo, "*.txt");
        typeInto(w->findCombo, "todo");
        QTest::keyClick(w->findCombo, Qt::Key_Return);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(w->results().totalMatches, 4);
        QCOMPARE(entries(w->findCombo), QStringList{"todo"});
    }

    void noMatchesLeavesTheGridDisabled() {
        TestWindow w;
        find(w, "zzz");
        QCOMPARE(labels(*w.window), QString("Searched 2 files:   Found 0| matches| in 0 files|"));
        QVERIFY(w->resultRows().empty());
        QCOMPARE(w->resultsGrid->rowCount(), 2);
        QVERIFY(!w->resultsGrid->isEnabled());
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(w->summaryLabels[3]->text(), QString("(0 Unique Match)"));
    }

    void editingACriterionClearsShownResults() {
        TestWindow w;
        find(w, "todo");
        QCOMPARE(w->gridContent(), GridContent::Results);
        QTest::keyClicks(w->findCombo, "x");
        QCOMPARE(w->gridContent(), GridContent::Empty);
        QVERIFY(w->resultRows().empty());
        QCOMPARE(w->summaryLabels[0]->text(), QString());
        QVERIFY(!w->findChild<QAction*>("mmView_MatchesOnly")->isEnabled());
    }

    void pressRefusesMissingCriteriaAndBadExpressions_data() {
        QTest::addColumn<QString>("folders");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("message");
        QTest::newRow("all empty") << ""
                                   << ""
                                   << "\r\nNo Folder(s) specified\r\nNo File(s) specified\r\n"
                                      "Nothing to \"Find\" specified";
        QTest::newRow("bad pattern replaces the rest") << ""
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
        typeInto(w->foldersCombo, folders);
        typeInto(w->filesCombo, find.isEmpty() ? QString() : QString("*.txt"));
        typeInto(w->findCombo, find);
        w->startFind();
        QVERIFY2(w.fake->allShown().startsWith("error: " + message),
                 qPrintable(w.fake->allShown()));
        QVERIFY(!w->isRunning());
        QCOMPARE(w->gridContent(), GridContent::Empty);
    }

    void replaceAsksFirstAndWritesCopies() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::FindAndReplace);
        typeInto(w->foldersCombo, root());
        typeInto(w->filesCombo, "b.txt");
        typeInto(w->findCombo, "TODO");
        typeInto(w->replaceCombo, "DONE");
        w.fake->answers = {false};
        w->startFind();
        QVERIFY(
            w.fake->questions.at(0).startsWith("Replace all matches of the \"Find\" expression"));
        QVERIFY(!w->isRunning());
        QVERIFY(!QFile::exists(root() + "/kesReplace/b.txt"));
        w->startFind();
        QVERIFY(!w->replaceButton->isEnabled()); // until the results are shown
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(w->replaceButton->isEnabled());
        QFile copy(root() + "/kesReplace/b.txt");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("DONE x"));

        // A kesReplace planted as a link is refused, and the window says so.
        QVERIFY(QDir(root() + "/kesReplace").removeRecursively());
        QVERIFY(QFile::link(root() + "/elsewhere", root() + "/kesReplace"));
        w->startFind();
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
        typeInto(w->foldersCombo, root() + "<+>");
        typeInto(w->filesCombo, "*.txt");
        typeInto(w->findCombo, "todo");
        w->startFind();
        // The press returns before the run ends; its results arrive through the event loop.
        QVERIFY(w->isRunning());
        QVERIFY(!w->findButton->isEnabled());
        QVERIFY(w->stopRunButton->isVisibleTo(w.window.get()));
        QVERIFY(!w->findCombo->isEnabled() || !w->findReplacePanel->isEnabled());
        QTest::keyClick(w->findButton, Qt::Key_Escape);
        QTRY_VERIFY(!w->isRunning());
        QVERIFY(w->findButton->isEnabled());
        QVERIFY(!w->stopRunButton->isVisibleTo(w.window.get()));
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
