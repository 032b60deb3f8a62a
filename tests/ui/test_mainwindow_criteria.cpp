// The criteria boxes: commit rules, validation messages, the context menu's removals, the
// folder and file buttons, and an unreadable settings file at start-up.
#include "MainWindowTestSupport.h"

#include "search/kes_uFind.h"

#include <QMenu>

#include <optional>

class TestMainWindowCriteria : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

    // What is typed is what is searched and written: only File(s) folds letter case (masks ignore
    // it), and even there the box keeps the spelling just typed.
    void CommitKeepsWhatWasTypedAndSkipsEmptyText_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("Replace With") << "cboxReplace"
                                      << "DOG" << QStringList{"dog", "DOG"};
        QTest::newRow("Find") << "cboxFind"
                              << "Cat" << QStringList{"dog", "Cat"};
        QTest::newRow("Folder(s)") << "cboxFolders"
                                   << "/src/App" << QStringList{"/src/app", "/src/App"};
        QTest::newRow("Root Folder") << "cboxRootFolder"
                                     << "/SRC" << QStringList{"/src", "/SRC"};
        QTest::newRow("File(s)") << "cboxFiles"
                                 << "*.TXT" << QStringList{"*.TXT"};
        QTest::newRow("same text") << "cboxFind"
                                   << "dog" << QStringList{"dog"};
    }
    void CommitKeepsWhatWasTypedAndSkipsEmptyText() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QStringList, entries);
        TTestWindow w;
        w->SetMode(box == "cboxRootFolder" ? kes::mdScript : kes::mdFindAndReplace);
        auto* combo = w->findChild<QComboBox*>(box);
        const QString first = QString(typed).toLower();
        Commit(*w.window, combo, first == "cat" ? "dog" : first);
        Commit(*w.window, combo, typed);
        QCOMPARE(Entries(combo), entries);
        QCOMPARE(combo->currentText(), typed);
        Commit(*w.window, combo, "");
        QCOMPARE(Entries(combo), entries);
        QVERIFY(w.fake->Shown.empty());
    }

    void ReplaceWritesTheTypedLetterCase() {
        WriteFile(F->Root() + "/a.txt", "cat\n");
        TTestWindow w;
        w->SetMode(kes::mdFindAndReplace);
        w->Settings().ReplaceInSitu = true;
        Commit(*w.window, w->cboxReplace, "dog");
        Commit(*w.window, w->cboxReplace, "DOG");
        RunFind(w, F->Root(), "*.txt", "cat");
        QFile file(F->Root() + "/a.txt");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("DOG\n"));
    }

    // Nothing stored is dropped, and a long history loads with one list update per box (one
    // search of the list per entry took minutes at this size).
    void LongHistoriesLoadWhole() {
        constexpr int kCount = 20000;
        QByteArray ini;
        for (const char* section : {"FoldersToSearch", "FilesToSearch", "FindExpressions"}) {
            ini += QByteArray("[") + section + "]\n";
            for (int i = kCount; i > 0; --i)
                ini += QByteArray::number(i) + "=/e" + QByteArray::number(i) + "\n";
        }
        ini += "[FindExpressions]\n1=/e7\n"; // a repeat adds nothing
        F->Config.Write("kestrava.ini", ini);
        TTestWindow w;
        QVERIFY(w.fake->Shown.empty());
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind})
            QCOMPARE(box->count(), kCount);
        QCOMPARE(w->cboxFind->itemText(0), QString("/e20000")); // file order
        QCOMPARE(w->cboxFolders->itemText(0), QString("/e1"));  // sorted
        QCOMPARE(w->cboxFolders->itemText(1), QString("/e10"));
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

    void LeavingABoxCommitsIt() {
        TTestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        TypeInto(w->cboxFolders, "/var");
        w->cboxFiles->setFocus();
        QTRY_COMPARE(Entries(w->cboxFolders), QStringList{"/var"});
        TypeInto(w->cboxFind, "x+");
        w->cboxFolders->setFocus();
        QTRY_COMPARE(Entries(w->cboxFind), QStringList{"x+"});
    }

    void RemoveEntryDeletesOnlyACommittedSelection() {
        TTestWindow w;
        auto* removeEntry = Item(*w.window, "pumRemoveEntry");
        Popup(w, w->cboxFind); // an empty box: nothing to remove
        QVERIFY(!removeEntry->isEnabled());
        QVERIFY(!Item(*w.window, "pumRemoveAll")->isEnabled());
        Commit(*w.window, w->cboxFind, "one");
        Commit(*w.window, w->cboxFind, "two");
        // Typed but never committed: nothing is deleted, the box is emptied.
        TypeInto(w->cboxFind, "tw");
        Popup(w, w->cboxFind);
        QVERIFY(removeEntry->isEnabled());
        w->pumRemoveEntryClick();
        QCOMPARE(Entries(w->cboxFind), (QStringList{"one", "two"}));
        QCOMPARE(w->cboxFind->currentText(), QString());
        // A selected entry goes, and the saved selection does not point past it.
        Commit(*w.window, w->cboxFind, "two");
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), 1);
        Popup(w, w->cboxFind);
        w->cboxFind->setCurrentIndex(0);
        w->cboxFind->setEditText("one");
        w->pumRemoveEntryClick();
        QCOMPARE(Entries(w->cboxFind), QStringList{"two"});
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), 0);
    }

    void RemoveAllAsksAndNoKeepsEverything() {
        TTestWindow w;
        Commit(*w.window, w->cboxFiles, "*.c");
        Commit(*w.window, w->cboxFiles, "*.h");
        Popup(w, w->cboxFiles);
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
        QCOMPARE(Entries(w->cboxFolders), QStringList{"/usr/share"});
        QCOMPARE(w->cboxFolders->currentText(), QString("/usr/share"));
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

    // A file that could not be read is named with the reason, and kept before it is saved over.
    void UnreadableFilesAreNamedAndKept_data() {
        QTest::addColumn<QString>("damaged");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings cut short")
            << "KestravaConfig.xml" << QByteArray("<KestravaConfig><options><fontsize val")
            << "The defaults are in force";
        QTest::newRow("history too large")
            << "kestrava.ini" << QByteArray(65 << 20, ';') << "the file is too large";
    }
    void UnreadableFilesAreNamedAndKept() {
        QFETCH(QString, damaged);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        F->Config.Write("kestrava.ini", "[FilesToSearch]\n1=*.txt\n");
        F->Config.Write(damaged, bytes);
        {
            TTestWindow w;
            QCOMPARE(w.fake->Shown.size(), size_t(1));
            const QString text = w.fake->LastText();
            QVERIFY2(text.contains(reason) && text.contains(F->Config.File(damaged)) &&
                         text.contains(damaged + ".damaged when"),
                     qPrintable(text));
            if (damaged != "kestrava.ini")
                QCOMPARE(Entries(w->cboxFiles), QStringList{"*.txt"}); // still loaded
            QCOMPARE(w->Mode(), kes::mdFind);
            QVERIFY(w->close());
        }
        QCOMPARE(F->Config.Read(damaged + ".damaged"), bytes);
        QVERIFY(F->Config.Read(damaged).contains(damaged == "kestrava.ini" ? "[ItemIndex]"
                                                                           : "<KestravaConfig"));
    }

  private:
    static void Popup(TTestWindow& w, QComboBox* box) {
        w->cboxPopup(box, QPoint(0, 0));
        w->PopupMenu1->hide();
    }
    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowCriteria)
#include "test_mainwindow_criteria.moc"
