// The criteria boxes: commit rules, validation messages, the context menu's removals, the
// folder and file buttons, folders and files dropped on the window, and an unreadable settings
// file at start-up.
#include "main_window_test_support.h"

#include <QDropEvent>
#include <QMimeData>

class TestMainWindowCriteria : public WindowTest {
    Q_OBJECT
  private slots:
    // What is typed is what is searched and written: only File(s) folds letter case (masks ignore
    // it), and even there the box keeps the spelling just typed.
    void commitKeepsWhatWasTypedAndSkipsEmptyText_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Replace With") << "replaceCombo"
                                      << "DOG" << QStringList{"dog", "DOG"};
        QTest::newRow("Folder(s)") << "foldersCombo"
                                   << "/src/App" << QStringList{"/src/app", "/src/App"};
        QTest::newRow("Root Folder") << "rootFolderCombo"
                                     << "/SRC" << QStringList{"/src", "/SRC"};
        QTest::newRow("File(s)") << "filesCombo"
                                 << "*.TXT" << QStringList{"*.TXT"};
        QTest::newRow("same text") << "findCombo"
                                   << "dog" << QStringList{"dog"};
    }
    void commitKeepsWhatWasTypedAndSkipsEmptyText() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        TestWindow w;
        chooseMode(*w, box == "rootFolderCombo" ? Mode::Script : Mode::FindAndReplace);
        QComboBox* typedInto = combo(*w, box.toLatin1().constData());
        commit(typedInto, typed.toLower()); // then the same text in the typed letter case
        commit(typedInto, typed);
        QCOMPARE(entries(typedInto), expected);
        QCOMPARE(typedInto->currentText(), typed);
        commit(typedInto, "");
        QCOMPARE(entries(typedInto), expected);
        QVERIFY(w.fake->shown.empty());
    }

    // Nothing stored is dropped, and a long history loads with one list update per box (one
    // search of the list per entry took minutes at this size).
    void longHistoriesLoadWhole() {
        constexpr int kCount = 20000;
        QByteArray ini;
        for (const char* section : {"FoldersToSearch", "FilesToSearch", "FindExpressions"}) {
            ini += QByteArray("[") + section + "]\n";
            for (int i = kCount; i > 0; --i)
                ini += QByteArray::number(i) + "=/e" + QByteArray::number(i) + "\n";
        }
        ini += "[FindExpressions]\n1=/e7\n"; // a repeat adds nothing
        m_env->config.write("kestrava.ini", ini);
        TestWindow w;
        QVERIFY(w.fake->shown.empty());
        for (QComboBox* box :
             {combo(*w, "foldersCombo"), combo(*w, "filesCombo"), combo(*w, "findCombo")})
            QCOMPARE(box->count(), kCount);
        QCOMPARE(combo(*w, "findCombo")->itemText(0), QString("/e20000")); // file order
        QCOMPARE(combo(*w, "foldersCombo")->itemText(0), QString("/e1"));  // sorted
        QCOMPARE(combo(*w, "foldersCombo")->itemText(1), QString("/e10"));
    }

    void foldersAreSortedFindEntriesGoToTheEnd() {
        TestWindow w;
        for (const char* folder : {"/srv", "/home/b", "/Home/a"})
            commit(combo(*w, "foldersCombo"), folder);
        QCOMPARE(entries(combo(*w, "foldersCombo")), (QStringList{"/Home/a", "/home/b", "/srv"}));
        QCOMPARE(w->savedItemIndex(HistoryBox::FoldersToSearch), 0);
        for (const char* find : {"zeta", "alpha"})
            commit(combo(*w, "findCombo"), find);
        QCOMPARE(entries(combo(*w, "findCombo")), (QStringList{"zeta", "alpha"}));
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), 1);
    }

    void leavingABoxCommitsIt() {
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        typeInto(combo(*w, "foldersCombo"), "/var");
        combo(*w, "filesCombo")->setFocus();
        QTRY_COMPARE(entries(combo(*w, "foldersCombo")), QStringList{"/var"});
        typeInto(combo(*w, "findCombo"), "x+");
        combo(*w, "foldersCombo")->setFocus();
        QTRY_COMPARE(entries(combo(*w, "findCombo")), QStringList{"x+"});
    }

    void removeEntryDeletesOnlyACommittedSelectionAndRemoveAllAsks() {
        TestWindow w;
        auto* removeEntry = item(*w.window, "removeEntryAction");
        openHistoryMenu(*w, combo(*w, "findCombo")); // an empty box: nothing to remove
        QVERIFY(!removeEntry->isEnabled());
        QVERIFY(!item(*w.window, "removeAllAction")->isEnabled());
        commit(combo(*w, "findCombo"), "one");
        commit(combo(*w, "findCombo"), "two");
        // Typed but never committed: nothing is deleted, the box is emptied.
        typeInto(combo(*w, "findCombo"), "tw");
        openHistoryMenu(*w, combo(*w, "findCombo"));
        QVERIFY(removeEntry->isEnabled());
        item(*w, "removeEntryAction")->trigger();
        QCOMPARE(entries(combo(*w, "findCombo")), (QStringList{"one", "two"}));
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
        // A selected entry goes, and the saved selection does not point past it.
        commit(combo(*w, "findCombo"), "two");
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), 1);
        openHistoryMenu(*w, combo(*w, "findCombo"));
        combo(*w, "findCombo")->setCurrentIndex(0);
        combo(*w, "findCombo")->setEditText("one");
        item(*w, "removeEntryAction")->trigger();
        QCOMPARE(entries(combo(*w, "findCombo")), QStringList{"two"});
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), 0);

        // Remove All asks, and No keeps everything.
        commit(combo(*w, "filesCombo"), "*.c");
        commit(combo(*w, "filesCombo"), "*.h");
        openHistoryMenu(*w, combo(*w, "filesCombo"));
        w.fake->answers = {false};
        item(*w, "removeAllAction")->trigger();
        QCOMPARE(w.fake->questions.back(), QString("Remove all File(s) items ?"));
        QCOMPARE(entries(combo(*w, "filesCombo")), (QStringList{"*.c", "*.h"}));
        QCOMPARE(combo(*w, "filesCombo")->currentText(), QString("*.h"));
        w.fake->answers = {true};
        item(*w, "removeAllAction")->trigger();
        QCOMPARE(combo(*w, "filesCombo")->count(), 0);
        QCOMPARE(combo(*w, "filesCombo")->currentText(), QString());
        QCOMPARE(w->savedItemIndex(HistoryBox::FilesToSearch), -1);
    }

    void folderAndFileButtonsCommitWhatWasPicked() {
        TestWindow w;
        w.fake->folderToPick = "/usr/share";
        QTest::mouseClick(toolButton(*w, "pickFoldersButton"), Qt::LeftButton);
        QCOMPARE(entries(combo(*w, "foldersCombo")), QStringList{"/usr/share"});
        QCOMPARE(combo(*w, "foldersCombo")->currentText(), QString("/usr/share"));
        commit(combo(*w, "foldersCombo"), "/usr/share<+><excluding doc>");
        w.fake->fileToOpen = "/usr/share/dict/words";
        QTest::mouseClick(toolButton(*w, "pickFileButton"), Qt::LeftButton);
        QCOMPARE(w.fake->lastOpenTitle, QString("Choose a File"));
        QCOMPARE(w.fake->lastOpenFolder, QString("/usr/share")); // the entry's folder, not its text
        QCOMPARE(combo(*w, "filesCombo")->currentText(), QString("words"));
        w.fake->folderToPick.clear(); // cancelled: nothing changes
        QTest::mouseClick(toolButton(*w, "pickFoldersButton"), Qt::LeftButton);
        QCOMPARE(combo(*w, "foldersCombo")->count(), 2);
    }

    // Dropped folders are searched with their subfolders; dropped files alone, even where their
    // names hold wildcards, wherever on the window they land. Paths are relative to the tree.
    void droppedPathsFillTheBoxes_data() {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QString>("target"); // the box the drop lands on, or the window
        QTest::addColumn<QString>("folders");
        QTest::addColumn<QString>("files");
        QTest::addColumn<int>("scanned"); // files a Find then lists, -1: nothing taken
        QTest::newRow("folders") << QStringList{"a", "b"} << ""
                                 << "%1/a<+>|%1/b<+>"
                                 << "*.*" << 4;
        QTest::newRow("files, dropped on a box")
            << QStringList{"a/x[1].txt", "a/sub/y.txt", "a/x[1].txt"} << "findCombo"
            << "%1/a|%1/a/sub"
            << "x\\[1].txt|y.txt" << 2;
        QTest::newRow("folders win over files") << QStringList{"a/x1.txt", "b"} << ""
                                                << "%1/b<+>"
                                                << "*.*" << 0;
        QTest::newRow("not a local file") << QStringList{"https://example.org/a"} << ""
                                          << ""
                                          << "" << -1;
    }
    void droppedPathsFillTheBoxes() {
        QFETCH(QStringList, dropped);
        QFETCH(QString, target);
        QFETCH(QString, folders);
        QFETCH(QString, files);
        QFETCH(int, scanned);
        for (const char* name : {"a/x[1].txt", "a/x1.txt", "a/sub/y.txt", "a/sub/x1.txt"})
            writeFile(root() + "/" + name, "text\n");
        QDir().mkpath(root() + "/b");
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QList<QUrl> urls;
        for (const QString& path : dropped)
            urls << (path.contains("://") ? QUrl(path) : QUrl::fromLocalFile(root() + "/" + path));
        QMimeData data;
        data.setUrls(urls);
        data.setText(urls.front().toString()); // as file managers offer it: a box would take it
        QWidget* on = target.isEmpty() ? static_cast<QWidget*>(w.window.get())
                                       : combo(*w, target.toLatin1().constData())->lineEdit();
        // Qt hands a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        QCOMPARE(enter.isAccepted(), scanned >= 0);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &drop);
        QCOMPARE(combo(*w, "foldersCombo")->currentText(), folders.replace("%1", root()));
        QCOMPARE(combo(*w, "filesCombo")->currentText(), files);
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
        if (scanned < 0)
            return;
        QTRY_VERIFY(combo(*w, "findCombo")->hasFocus());
        QCOMPARE(w.fake->lastText().endsWith("/a/x1.txt"), dropped.front().endsWith("x1.txt"));
        runFind(w, combo(*w, "foldersCombo")->currentText(), files, "text");
        QCOMPARE(w->results().filesScanned, scanned);
    }

    // A file that could not be read is named with the reason, and kept before it is saved over.
    void unreadableFilesAreNamedAndKept_data() {
        QTest::addColumn<QString>("damaged");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings cut short")
            << "KestravaConfig.xml" << QByteArray("<KestravaConfig><options><fontsize val")
            << "The defaults are in force";
        QTest::newRow("history too large")
            << "kestrava.ini" << QByteArray(65 << 20, ';') << "the file is too large";
    }
    void unreadableFilesAreNamedAndKept() {
        QFETCH(QString, damaged);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        m_env->config.write("kestrava.ini", "[FilesToSearch]\n1=*.txt\n");
        m_env->config.write(damaged, bytes);
        {
            TestWindow w;
            QCOMPARE(w.fake->shown.size(), size_t(1));
            const QString text = w.fake->lastText();
            QVERIFY2(text.contains(reason) && text.contains(m_env->config.file(damaged)) &&
                         text.contains(damaged + ".damaged when"),
                     qPrintable(text));
            if (damaged != "kestrava.ini")
                QCOMPARE(entries(combo(*w, "filesCombo")), QStringList{"*.txt"}); // still loaded
            QCOMPARE(w->mode(), kestrava::ui::Mode::Find);
            QVERIFY(w->close());
        }
        QCOMPARE(m_env->config.read(damaged + ".damaged"), bytes);
        QVERIFY(m_env->config.read(damaged).contains(
            damaged == "kestrava.ini" ? "[ItemIndex]" : "<KestravaConfig"));
    }
};

QTEST_MAIN(TestMainWindowCriteria)
#include "main_window_criteria_test.moc"
