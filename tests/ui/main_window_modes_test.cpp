// The four modes: rows, buttons, menus and status texts; the saved selections
// across mode switches; the status on key release; the start-up mode.
#include "main_window_test_support.h"

#include "config/config_paths.h"
#include "config/settings.h"

class TestMainWindowModes : public WindowTest {
    Q_OBJECT
  private slots:
    void eachModeShowsItsRowsButtonsMenusAndTexts() {
        const struct {
            Mode mode;
            QString rows;     // the optional rows shown
            QString action;   // the one action button shown
            QString menuItem; // the checked, disabled Mode item
            QString texts;    // mode name | mode status
        } modes[] = {
            {Mode::Find, "", "findButton", "findModeAction",
             "Find mode|(Awaiting search criteria)"},
            {Mode::FindAndReplace, "replace", "replaceButton", "replaceModeAction",
             "Find & Replace mode|(Awaiting search and replace criteria)"},
            {Mode::Script, "replace root", "runScriptButton", "scriptModeAction",
             "Script mode|(Viewing)"},
            {Mode::ViewFoldersFiles, "replace", "listButton", "", "View Folders/Files mode|()"},
        };
        for (const auto& [mode, rows, actionButton, menuItem, texts] : modes) {
            TestWindow w;
            const auto shown = [&w](QWidget* part) { return part->isVisibleTo(w.window.get()); };
            chooseMode(*w, mode);
            const bool script = mode == Mode::Script;
            QStringList rowsShown;
            if (shown(combo(*w, "replaceCombo")) && shown(label(*w, "replaceLabel")))
                rowsShown << "replace";
            if (shown(combo(*w, "rootFolderCombo")))
                rowsShown << "root";
            QCOMPARE(rowsShown.join(' '), rows);
            for (QPushButton* b : {button(*w, "findButton"), button(*w, "replaceButton"),
                                   button(*w, "listButton"), button(*w, "runScriptButton")})
                QCOMPARE(shown(b), b->objectName() == actionButton);
            for (const char* name : {"findModeAction", "replaceModeAction", "scriptModeAction"}) {
                QCOMPARE(item(*w.window, name)->isEnabled(), name != menuItem);
                QCOMPARE(item(*w.window, name)->isChecked(), name == menuItem);
            }
            QCOMPARE(w->findChild<QMenu*>("scriptMenu")->menuAction()->isEnabled(), script);
            QCOMPARE(label(*w, "modeNameLabel")->text() + "|" +
                         label(*w, "modeStatusLabel")->text(),
                     texts);
            QCOMPARE(shown(widget(*w, "summaryPanel")), !script);
            QCOMPARE(shown(widget(*w, "scriptBar")), script);
            QCOMPARE(grid(*w)->content() == GridContent::Script, script);
            QVERIFY(!item(*w.window, "viewModeAction")->isVisible());
        }
    }

    // Script mode moves the folder rows down and shows the root row in their place; Find, Script,
    // Find clears the saved selections but keeps Replace's.
    void scriptModeMovesTheRowsAndClearsTheSavedSelectionsButReplace() {
        TestWindow w;
        item(*w, "replaceModeAction")->trigger();
        commit(combo(*w, "foldersCombo"), "/tmp");
        commit(combo(*w, "filesCombo"), "*.txt");
        commit(combo(*w, "findCombo"), "abc");
        commit(combo(*w, "replaceCombo"), "xyz");
        item(*w, "findModeAction")->trigger();
        QCOMPARE(combo(*w, "foldersCombo")->currentText(),
                 "/tmp"); // restored from the saved index
        QCOMPARE(combo(*w, "findCombo")->currentText(), "abc");
        QCOMPARE(combo(*w, "replaceCombo")->currentText(), QString());
        settle(*w);
        const int foldersTop = combo(*w, "foldersCombo")->y();
        const int filesTop = combo(*w, "filesCombo")->y();

        item(*w, "scriptModeAction")->trigger();
        settle(*w);
        QCOMPARE(combo(*w, "rootFolderCombo")->y(), foldersTop);
        QVERIFY(combo(*w, "foldersCombo")->y() > foldersTop);
        QCOMPARE(combo(*w, "filesCombo")->y() - combo(*w, "foldersCombo")->y(),
                 filesTop - foldersTop);
        QVERIFY(combo(*w, "rootFolderCombo")->isEnabled());
        QVERIFY(!combo(*w, "foldersCombo")->isEnabled());
        QVERIFY(!combo(*w, "findCombo")->isEnabled());
        for (QComboBox* box : {combo(*w, "foldersCombo"), combo(*w, "filesCombo"),
                               combo(*w, "findCombo"), combo(*w, "replaceCombo")})
            QCOMPARE(box->currentText(), QString());

        item(*w, "findModeAction")->trigger();
        settle(*w);
        QCOMPARE(combo(*w, "foldersCombo")->y(), foldersTop); // offsets never accumulate
        for (QComboBox* box :
             {combo(*w, "foldersCombo"), combo(*w, "filesCombo"), combo(*w, "findCombo")})
            QCOMPARE(box->currentText(), QString());
        QCOMPARE(w->savedItemIndex(HistoryBox::FoldersToSearch), -1);
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), -1);
        QCOMPARE(w->savedItemIndex(HistoryBox::ReplaceExpressions), 0);
        item(*w, "replaceModeAction")->trigger();
        QCOMPARE(combo(*w, "replaceCombo")->currentText(), "xyz");
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
        QCOMPARE(combo(*w, "findCombo")->count(), 1); // histories themselves are untouched
    }

    void statusEnablesFindOnTheKeyReleaseThatFillsTheLastBox() {
        TestWindow w;
        item(*w, "findModeAction")->trigger();
        commit(combo(*w, "foldersCombo"), "/tmp");
        commit(combo(*w, "filesCombo"), "*.txt");
        QVERIFY(!button(*w, "findButton")->isEnabled());
        QCOMPARE(label(*w, "modeStatusLabel")->text(), "(Awaiting search criteria)");
        // Text that arrived without an edit signal: only the key release refreshes the status.
        combo(*w, "findCombo")->setEditText("a");
        QVERIFY(!button(*w, "findButton")->isEnabled());
        QTest::keyRelease(combo(*w, "findCombo"), Qt::Key_A);
        QVERIFY(button(*w, "findButton")->isEnabled());
        QCOMPARE(label(*w, "modeStatusLabel")->text(),
                 "(Enter search criteria, then press [Find] when ready)");
        QCOMPARE(w->statusBarText(), " Enter search criteria, then press [Find] when ready");
        typeInto(combo(*w, "filesCombo"), "");
        QVERIFY(!button(*w, "findButton")->isEnabled());
        item(*w, "replaceModeAction")->trigger(); // Replace needs all four boxes
        typeInto(combo(*w, "filesCombo"), "*");
        typeInto(combo(*w, "findCombo"), "a");
        QVERIFY(!button(*w, "replaceButton")->isEnabled());
        typeInto(combo(*w, "replaceCombo"), "b");
        QVERIFY(button(*w, "replaceButton")->isEnabled());
    }

    void startupModeScriptPassesThroughFind() {
        config::Config startup;
        startup.settings.initialMode = config::InitialMode::Script;
        config::saveConfig(config::configFilePath(m_env->config.path().toStdString() + "/"),
                           startup);
        TestWindow w(false);
        QSignalSpy modes(w.window.get(), &MainWindow::modeChanged);
        w->show();
        QCOMPARE(modes.count(), 2);
        QCOMPARE(modes.at(0).at(0).value<Mode>(), Mode::Find);
        QCOMPARE(modes.at(1).at(0).value<Mode>(), Mode::Script);
        QCOMPARE(w->mode(), Mode::Script);
        QCOMPARE(label(*w, "modeStatusLabel")->text(), "(Viewing)");
        w->hide(); // only the first activation acts
        w->show();
        QCOMPARE(modes.count(), 2);
    }
};

QTEST_MAIN(TestMainWindowModes)
#include "main_window_modes_test.moc"
