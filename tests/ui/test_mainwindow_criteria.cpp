// The criteria boxes: commit rules, validation messages, the context menu's removals, the
// folder and file buttons, and an edit clearing shown results.
#include "MainWindowTestSupport.h"

#include "search/kes_uFind.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

class TestMainWindowCriteria : public QObject {
    Q_OBJECT
  private slots:
    void init() { FConfig = std::make_unique<TTestConfigFolder>(); }
    void cleanup() { FConfig.reset(); }

    void CommitIgnoresLetterCaseAndShowsTheStoredEntry() {
        TTestWindow w;
        Commit(*w.window, w->cboxFolders, "/tmp/Data");
        Commit(*w.window, w->cboxFolders, "/TMP/DATA");
        QCOMPARE(Entries(w->cboxFolders), QStringList{"/tmp/Data"});
        QCOMPARE(w->cboxFolders->currentText(), QString("/tmp/Data"));
        Commit(*w.window, w->cboxFind, "Todo");
        Commit(*w.window, w->cboxFind, "TODO");
        QCOMPARE(Entries(w->cboxFind), QStringList{"Todo"});
    }

    void FoldersAreSortedFindEntriesGoToTheEnd() {
        TTestWindow w;
        for (const char* folder : {"/srv", "/home/b", "/Home/a"})
            Commit(*w.window, w->cboxFolders, folder);
        QCOMPARE(Entries(w->cboxFolders), (QStringList{"/Home/a", "/home/b", "/srv"}));
        QCOMPARE(w->SavedItemIndex(kes::kSavedFolders), 0);
        for (const char* find : {"zeta", "alpha"})
            Commit(*w.window, w->cboxFind, find);
        QCOMPARE(Entries(w->cboxFind), (QStringList{"zeta", "alpha"}));
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), 1);
    }

    void EmptyCommitDoesNothing() {
        TTestWindow w;
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind})
            Commit(*w.window, box, "");
        QVERIFY(w.fake->Shown.empty());
        QCOMPARE(w->cboxFolders->count() + w->cboxFiles->count() + w->cboxFind->count(), 0);
    }

    void LeavingABoxCommitsIt() {
        TTestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        TypeInto(w->cboxFolders, "/var");
        w->cboxFiles->setFocus();
        QTRY_COMPARE(Entries(w->cboxFolders), QStringList{"/var"});
        QCOMPARE(w->SavedItemIndex(kes::kSavedFolders), 0);
        TypeInto(w->cboxFind, "x+");
        w->cboxFolders->setFocus();
        QTRY_COMPARE(Entries(w->cboxFind), QStringList{"x+"});
    }

    void RemoveEntryDeletesOnlyACommittedSelection() {
        TTestWindow w;
        Commit(*w.window, w->cboxFind, "one");
        Commit(*w.window, w->cboxFind, "two");
        // Typed but never committed: nothing is deleted, the box is emptied.
        TypeInto(w->cboxFind, "tw");
        w->cboxPopup(w->cboxFind, QPoint(0, 0));
        w->pumRemoveEntryClick();
        w->PopupMenu1->hide();
        QCOMPARE(Entries(w->cboxFind), (QStringList{"one", "two"}));
        QCOMPARE(w->cboxFind->currentText(), QString());
        // A selected entry goes, and the saved selection does not point past it.
        Commit(*w.window, w->cboxFind, "one");
        Commit(*w.window, w->cboxFind, "two");
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), 1);
        w->cboxPopup(w->cboxFind, QPoint(0, 0));
        w->PopupMenu1->hide();
        SetSelected(w->cboxFind, 0);
        w->pumRemoveEntryClick();
        QCOMPARE(Entries(w->cboxFind), QStringList{"two"});
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), 0);
    }

    void PopupItemsFollowTheBox() {
        TTestWindow w;
        auto* removeEntry = w->findChild<QAction*>("pumRemoveEntry");
        auto* removeAll = w->findChild<QAction*>("pumRemoveAll");
        w->cboxPopup(w->cboxFiles, QPoint(0, 0));
        w->PopupMenu1->hide();
        QVERIFY(!removeEntry->isEnabled());
        QVERIFY(!removeAll->isEnabled());
        TypeInto(w->cboxFiles, "*.c");
        w->cboxPopup(w->cboxFiles, QPoint(0, 0));
        w->PopupMenu1->hide();
        QVERIFY(removeEntry->isEnabled());
        QVERIFY(!removeAll->isEnabled());
    }

    void RemoveAllAsksAndNoKeepsEverything() {
        TTestWindow w;
        Commit(*w.window, w->cboxFiles, "*.c");
        Commit(*w.window, w->cboxFiles, "*.h");
        w->cboxPopup(w->cboxFiles, QPoint(0, 0));
        w->PopupMenu1->hide();
        w.fake->Answers = {false};
        w->pumRemoveAllClick();
        QCOMPARE(w.fake->Questions.back(), QString("Remove all File(s) items ?"));
        QCOMPARE(Entries(w->cboxFiles), (QStringList{"*.c", "*.h"}));
        QCOMPARE(w->cboxFiles->currentText(), QString("*.h"));
        w.fake->Answers = {true};
        w->pumRemoveAllClick();
        QCOMPARE(w->cboxFiles->count(), 0);
        QCOMPARE(w->cboxFiles->currentText(), QString());
        QCOMPARE(w->SavedItemIndex(kes::kSavedFiles), -1);
    }

    void FolderAndFileButtonsCommitWhatWasPicked() {
        TTestWindow w;
        w.fake->FolderToPick = "/usr/share";
        QTest::mouseClick(w->sbFolders, Qt::LeftButton);
        QCOMPARE(w->cboxFolders->currentText(), QString("/usr/share"));
        QCOMPARE(Entries(w->cboxFolders), QStringList{"/usr/share"});
        Commit(*w.window, w->cboxFolders, "/usr/share<+><excluding doc>");
        w.fake->FileToOpen = "/usr/share/dict/words";
        QTest::mouseClick(w->sbFiles, Qt::LeftButton);
        QCOMPARE(w.fake->LastOpenTitle, QString("Choose a File"));
        QCOMPARE(w.fake->LastOpenFolder, QString("/usr/share")); // the entry's folder, not its text
        QCOMPARE(w->cboxFiles->currentText(), QString("words"));
        w.fake->FolderToPick.clear(); // cancelled: nothing changes
        QTest::mouseClick(w->sbFolders, Qt::LeftButton);
        QCOMPARE(w->cboxFolders->count(), 2);
    }

    void UnreadableSettingsFileIsShownAndDefaultsApply() {
        FConfig->Write("KestravaConfig.xml", "<configuration><options>");
        FConfig->Write("kestrava.ini", "[FilesToSearch]\n1=*.txt\n");
        TTestWindow w;
        QCOMPARE(w.fake->Shown.size(), size_t(1));
        QCOMPARE(w.fake->Shown[0].Kind, QString("error"));
        QCOMPARE(Entries(w->cboxFiles), QStringList{"*.txt"}); // histories still loaded
        QCOMPARE(w->Mode(), kes::mdFind);
    }

  private:
    static void SetSelected(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        box->setEditText(box->itemText(index));
    }
    std::unique_ptr<TTestConfigFolder> FConfig;
};

QTEST_MAIN(TestMainWindowCriteria)
#include "test_mainwindow_criteria.moc"
