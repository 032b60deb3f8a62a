// The four modes: rows, buttons, menus, panel heights and status texts; the saved selections
// across mode switches; the status on key release; the start-up mode.
#include "MainWindowTestSupport.h"

#include "config/kes_uConfigPaths.h"
#include "config/kes_uLoadConfig.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>

#include <optional>

namespace {

bool Shown(QWidget* widget, TfmMain& window) {
    return widget->isVisibleTo(&window);
}

} // namespace

class TestMainWindowModes : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

    void EachModeShowsItsRowsButtonsMenusAndTexts_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<QString>("rows"); // the optional rows shown
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("menuItem"); // the checked, disabled Mode item
        QTest::addColumn<QString>("texts");    // mode name | mode status
        QTest::newRow("find") << int(kes::mdFind) << 138 << ""
                              << "bbFind"
                              << "mmMode_Find"
                              << "Find mode|(Awaiting search criteria)";
        QTest::newRow("replace") << int(kes::mdFindAndReplace) << 170 << "replace"
                                 << "bbReplace"
                                 << "mmMode_FindandReplace"
                                 << "Find & Replace mode|(Awaiting search and replace criteria)";
        QTest::newRow("script") << int(kes::mdScript) << 210 << "replace root"
                                << "bbRunScript"
                                << "mmMode_Script"
                                << "Script mode|(Viewing)";
        QTest::newRow("view") << int(kes::mdViewFoldersFiles) << 170 << "replace"
                              << "bbList"
                              << ""
                              << "View Folders/Files mode|()";
    }
    void EachModeShowsItsRowsButtonsMenusAndTexts() {
        QFETCH(int, mode);
        QFETCH(int, panelHeight);
        QFETCH(QString, rows);
        QFETCH(QString, button);
        QFETCH(QString, menuItem);
        QFETCH(QString, texts);
        TTestWindow w;
        w->SetMode(static_cast<kes::TkesMode>(mode));
        const bool script = mode == kes::mdScript;
        QCOMPARE(w->paActionsSpecs->height(), panelHeight);
        QStringList shown;
        if (Shown(w->cboxReplace, *w.window) && Shown(w->laReplace, *w.window))
            shown << "replace";
        if (Shown(w->cboxRootFolder, *w.window))
            shown << "root";
        QCOMPARE(shown.join(' '), rows);
        for (QPushButton* b : {w->bbFind, w->bbReplace, w->bbList, w->bbRunScript})
            QCOMPARE(Shown(b, *w.window), b->objectName() == button);
        for (const char* name : {"mmMode_Find", "mmMode_FindandReplace", "mmMode_Script"}) {
            QCOMPARE(Item(*w.window, name)->isEnabled(), name != menuItem);
            QCOMPARE(Item(*w.window, name)->isChecked(), name == menuItem);
        }
        QCOMPARE(w->findChild<QMenu*>("mmScript")->menuAction()->isEnabled(), script);
        QCOMPARE(w->laModeName->text() + "|" + w->laModeStatus->text(), texts);
        QCOMPARE(Shown(w->paStatus, *w.window), !script);
        QCOMPARE(Shown(w->paScriptMaintenance, *w.window), script);
        QCOMPARE(w->DrawGrid1->Content() == gcScript, script);
        // The mode status sits 10 pixels right of the mode name.
        QCOMPARE(w->laModeStatus->x(), w->laModeName->geometry().right() + 1 + 10);
        QVERIFY(!Item(*w.window, "mmMode_View")->isVisible());
    }

    void ScriptModeMovesFolderRowsDownAndShowsRootRowInTheirPlace() {
        TTestWindow w;
        w->SetMode(kes::mdFind);
        const int foldersTop = w->cboxFolders->y();
        const int filesTop = w->cboxFiles->y();
        w->SetMode(kes::mdScript);
        QCOMPARE(w->cboxFolders->y(), foldersTop + 40);
        QCOMPARE(w->cboxFiles->y(), filesTop + 40);
        QCOMPARE(w->cboxRootFolder->y(), foldersTop);
        QVERIFY(w->cboxRootFolder->isEnabled());
        QVERIFY(!w->cboxFolders->isEnabled());
        QVERIFY(!w->cboxFind->isEnabled());
        w->SetMode(kes::mdFind);
        QCOMPARE(w->cboxFolders->y(), foldersTop); // offsets never accumulate
    }

    void FindScriptFindClearsSavedSelectionsButKeepsReplace() {
        TTestWindow w;
        w->SetMode(kes::mdFindAndReplace);
        Commit(*w.window, w->cboxFolders, "/tmp");
        Commit(*w.window, w->cboxFiles, "*.txt");
        Commit(*w.window, w->cboxFind, "abc");
        Commit(*w.window, w->cboxReplace, "xyz");
        w->SetMode(kes::mdFind);
        QCOMPARE(w->cboxFolders->currentText(), QString("/tmp")); // restored from the saved index
        QCOMPARE(w->cboxFind->currentText(), QString("abc"));
        QCOMPARE(w->cboxReplace->currentText(), QString());
        w->SetMode(kes::mdScript);
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind, w->cboxReplace})
            QCOMPARE(box->currentText(), QString());
        w->SetMode(kes::mdFind);
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind})
            QCOMPARE(box->currentText(), QString());
        QCOMPARE(w->SavedItemIndex(kes::kSavedFolders), -1);
        QCOMPARE(w->SavedItemIndex(kes::kSavedFind), -1);
        QCOMPARE(w->SavedItemIndex(kes::kSavedReplace), 0);
        w->SetMode(kes::mdFindAndReplace);
        QCOMPARE(w->cboxReplace->currentText(), QString("xyz"));
        QCOMPARE(w->cboxFind->currentText(), QString());
        QCOMPARE(w->cboxFind->count(), 1); // histories themselves are untouched
    }

    void StatusEnablesFindOnTheKeyReleaseThatFillsTheLastBox() {
        TTestWindow w;
        w->SetMode(kes::mdFind);
        Commit(*w.window, w->cboxFolders, "/tmp");
        Commit(*w.window, w->cboxFiles, "*.txt");
        QVERIFY(!w->bbFind->isEnabled());
        QCOMPARE(w->laModeStatus->text(), QString("(Awaiting search criteria)"));
        // Text that arrived without an edit signal: only the key release refreshes the status.
        w->cboxFind->setEditText("a");
        QVERIFY(!w->bbFind->isEnabled());
        QTest::keyRelease(w->cboxFind, Qt::Key_A);
        QVERIFY(w->bbFind->isEnabled());
        QCOMPARE(w->laModeStatus->text(),
                 QString("(Enter search criteria, then press [Find] when ready)"));
        QCOMPARE(w->StatusBarText(),
                 QString(" Enter search criteria, then press [Find] when ready"));
        TypeInto(w->cboxFiles, "");
        QVERIFY(!w->bbFind->isEnabled());
        w->SetMode(kes::mdFindAndReplace); // Replace needs all four boxes
        TypeInto(w->cboxFiles, "*");
        TypeInto(w->cboxFind, "a");
        QVERIFY(!w->bbReplace->isEnabled());
        TypeInto(w->cboxReplace, "b");
        QVERIFY(w->bbReplace->isEnabled());
    }

    void StartupModeScriptPassesThroughFind() {
        kes::TkesConfig config;
        config.Settings.InitialMode = kes::imScript;
        kes::SaveConfig(kes::ConfigFilePath(F->Config.Path().toStdString() + "/"), config);
        TTestWindow w(false);
        QSignalSpy modes(w.window.get(), &TfmMain::ModeChanged);
        w->show();
        QCOMPARE(modes.count(), 2);
        QCOMPARE(modes.at(0).at(0).value<kes::TkesMode>(), kes::mdFind);
        QCOMPARE(modes.at(1).at(0).value<kes::TkesMode>(), kes::mdScript);
        QCOMPARE(w->Mode(), kes::mdScript);
        QCOMPARE(w->laModeStatus->text(), QString("(Viewing)"));
        w->FormActivate(); // only the first activation acts
        QCOMPARE(modes.count(), 2);
    }

  private:
    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowModes)
#include "test_mainwindow_modes.moc"
