// The Find/Replace press on real files: the checks and their error boxes, the run off the
// window thread, the summary labels and the grid's rows in every view, replacing, cancelling.
#include "MainWindowTestSupport.h"

#include <QMenu>

#include <QSignalSpy>

#include <optional>

namespace {

QString Labels(TfmMain& w) {
    QStringList texts;
    for (QLabel* label : w.laMatchResults)
        texts << label->text();
    return texts.join('|');
}

std::vector<kes::TResultRowKind> Kinds(const kes::TResultRows& rows) {
    std::vector<kes::TResultRowKind> kinds;
    for (const kes::TResultRow& row : rows)
        kinds.push_back(row.Kind);
    return kinds;
}

} // namespace

class TestMainWindowSearch : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        F.emplace();
        WriteFile(Root() + "/a.txt", "alpha TODO one\r\nbeta\r\ngamma TODO and todo again\r\n");
        WriteFile(Root() + "/b.txt", "TODO x");
        WriteFile(Root() + "/c.md", "TODO not searched");
    }
    void cleanup() { F.reset(); }

    void FindShowsLabelsAndRowsForEveryView() {
        TTestWindow w;
        Find(w, "todo");
        QCOMPARE(Labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        QVERIFY(w.fake->Shown.empty());
        QCOMPARE(w->laModeStatus->text(), QString("(See below for results)"));
        QCOMPARE(w->StatusBarText(), QString(" Results now displaying"));
        QVERIFY(w->DrawGrid1->isEnabled());
        using K = std::vector<kes::TResultRowKind>;
        const K lines = Kinds(w->ResultRows());
        QCOMPARE(lines.size(), size_t(7)); // two headers, three lines, two blanks
        QCOMPARE(std::count(lines.begin(), lines.end(), kes::rkLine), 3);
        QCOMPARE(w->DrawGrid1->RowCount(), 7);
        const size_t aHeader = w->Results().Files[0].FileName == "a.txt" ? 0 : 3;
        QCOMPARE(ResultRowText(w->Results(), w->ResultRows(), aHeader),
                 QString("Found 3 matches in ") + Root() + "/a.txt");

        w->findChild<QAction*>("mmView_MatchesOnly")->trigger();
        QCOMPARE(w->ResultRows().size(), size_t(8));
        QCOMPARE(Labels(*w.window), QString("Searched 2 files:   Found 4| matches| in 2 files|"));
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(Kinds(w->ResultRows()), K{kes::rkMatch}); // TODO and todo count once
        QCOMPARE(w->laMatchResults[3]->text(), QString("(1 Unique Match)"));
        w->findChild<QAction*>("mmView_UniqueMatchesSorted")->trigger();
        QCOMPARE(w->ResultRows().size(), size_t(1));
        w->findChild<QAction*>("mmView_LinesWithMatches")->trigger();
        QCOMPARE(w->ResultRows().size(), size_t(7));
        QCOMPARE(w->laMatchResults[3]->text(), QString());
        QVERIFY(!w->findChild<QMenu*>("mmScript")->menuAction()->isEnabled()); // Script mode's
    }

    // Enter in a criteria box commits it and presses the mode's action button.
    void EnterInACriteriaBoxStartsTheAction() {
        TTestWindow w;
        TypeInto(w->cboxFolders, Root());
        TypeInto(w->cboxFiles, "*.txt");
        TypeInto(w->cboxFind, "todo");
        QTest::keyClick(w->cboxFind, Qt::Key_Return);
        QTRY_VERIFY(!w->IsRunning());
        QCOMPARE(w->Results().TotalMatches, 4);
        QCOMPARE(Entries(w->cboxFind), QStringList{"todo"});
    }

    void NoMatchesLeavesTheGridDisabled() {
        TTestWindow w;
        Find(w, "zzz");
        QCOMPARE(Labels(*w.window), QString("Searched 2 files:   Found 0| matches| in 0 files|"));
        QVERIFY(w->ResultRows().empty());
        QCOMPARE(w->DrawGrid1->RowCount(), 2);
        QVERIFY(!w->DrawGrid1->isEnabled());
        w->findChild<QAction*>("mmView_UniqueMatches")->trigger();
        QCOMPARE(w->laMatchResults[3]->text(), QString("(0 Unique Match)"));
    }

    void EditingACriterionClearsShownResults() {
        TTestWindow w;
        Find(w, "todo");
        QCOMPARE(w->GridContent(), gcResults);
        QTest::keyClicks(w->cboxFind, "x");
        QCOMPARE(w->GridContent(), gcEmpty);
        QVERIFY(w->ResultRows().empty());
        QCOMPARE(w->laMatchResults[0]->text(), QString());
        QVERIFY(!w->findChild<QAction*>("mmView_MatchesOnly")->isEnabled());
    }

    void PressRefusesMissingCriteriaAndBadExpressions_data() {
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
    void PressRefusesMissingCriteriaAndBadExpressions() {
        QFETCH(QString, folders);
        QFETCH(QString, find);
        QFETCH(QString, message);
        TTestWindow w;
        TypeInto(w->cboxFolders, folders);
        TypeInto(w->cboxFiles, find.isEmpty() ? QString() : QString("*.txt"));
        TypeInto(w->cboxFind, find);
        w->bbFindClick();
        QVERIFY2(w.fake->AllShown().startsWith("error: " + message),
                 qPrintable(w.fake->AllShown()));
        QVERIFY(!w->IsRunning());
        QCOMPARE(w->GridContent(), gcEmpty);
    }

    void ReplaceAsksFirstAndWritesCopies() {
        TTestWindow w;
        w->SetMode(kes::mdFindAndReplace);
        TypeInto(w->cboxFolders, Root());
        TypeInto(w->cboxFiles, "b.txt");
        TypeInto(w->cboxFind, "TODO");
        TypeInto(w->cboxReplace, "DONE");
        w.fake->Answers = {false};
        w->bbFindClick();
        QVERIFY(
            w.fake->Questions.at(0).startsWith("Replace all matches of the \"Find\" expression"));
        QVERIFY(!w->IsRunning());
        QVERIFY(!QFile::exists(Root() + "/kesReplace/b.txt"));
        w->bbFindClick();
        QVERIFY(!w->bbReplace->isEnabled()); // until the results are shown
        QTRY_VERIFY(!w->IsRunning());
        QVERIFY(w->bbReplace->isEnabled());
        QFile copy(Root() + "/kesReplace/b.txt");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("DONE x"));

        // A kesReplace planted as a link is refused, and the window says so.
        QVERIFY(QDir(Root() + "/kesReplace").removeRecursively());
        QVERIFY(QFile::link(Root() + "/elsewhere", Root() + "/kesReplace"));
        w->bbFindClick();
        QTRY_VERIFY(!w->IsRunning());
        QVERIFY(!QFile::exists(Root() + "/elsewhere/b.txt"));
        QCOMPARE(
            w.fake->Shown.back().Text,
            "Not replaced: " + Root() + "/b.txt: " + Root() +
                "/kesReplace is not a folder but a link or a file; nothing is written into it");
        QVERIFY2(w->StatusBarText().contains("1 file not replaced"),
                 qPrintable(w->StatusBarText()));
    }

    void FindRunsOffTheWindowThreadAndCancelKeepsWhatWasFound() {
        for (int i = 0; i < 400; ++i)
            WriteFile(Root() + QString("/many/f%1.txt").arg(i), "TODO\n");
        TTestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        TypeInto(w->cboxFolders, Root() + "<+>");
        TypeInto(w->cboxFiles, "*.txt");
        TypeInto(w->cboxFind, "todo");
        w->bbFindClick();
        // The press returns before the run ends; its results arrive through the event loop.
        QVERIFY(w->IsRunning());
        QVERIFY(!w->bbFind->isEnabled());
        QVERIFY(w->bbCancelRun->isVisibleTo(w.window.get()));
        QVERIFY(!w->cboxFind->isEnabled() || !w->paFindReplace->isEnabled());
        QTest::keyClick(w->bbFind, Qt::Key_Escape);
        QTRY_VERIFY(!w->IsRunning());
        QVERIFY(w->bbFind->isEnabled());
        QVERIFY(!w->bbCancelRun->isVisibleTo(w.window.get()));
        QVERIFY(w->Results().FilesScanned < 402);
        QCOMPARE(w->GridContent(), gcResults);
        QVERIFY2(w->StatusBarText().contains("cancelled"), qPrintable(w->StatusBarText()));
        QCOMPARE(w->Results().FilesWithMatches, w->Results().FilesScanned); // every file matches
    }

  private:
    QString Root() const { return F->Root(); }
    void Find(TTestWindow& w, const QString& find) { RunFind(w, Root(), "*.txt", find); }

    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowSearch)
#include "test_mainwindow_search.moc"
