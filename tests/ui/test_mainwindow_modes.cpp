// The four modes: rows, buttons, menus, panel heights and status texts; the saved selections
// across mode switches; the status on key release; the start-up mode.
#include "MainWindowTestSupport.h"

#include "config/kes_uConfigPaths.h"
#include "config/kes_uLoadConfig.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>

namespace {

bool Shown(QWidget* widget, TfmMain& window) {
    return widget->isVisibleTo(&window);
}

QAction* Item(TfmMain& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

} // namespace

class TestMainWindowModes : public QObject {
    Q_OBJECT
  private slots:
    void init() { FConfig = std::make_unique<TTestConfigFolder>(); }
    void cleanup() { FConfig.reset(); }

    void EachModeShowsItsRowsButtonsAndPanelHeight_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<bool>("replaceRow");
        QTest::addColumn<bool>("rootRow");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("status");
        QTest::newRow("find") << int(kes::mdFind) << 138 << false << false << "bbFind"
                              << "Find mode"
                              << "(Awaiting search criteria)";
        QTest::newRow("replace") << int(kes::mdFindAndReplace) << 170 << true << false
                                 << "bbReplace"
                                 << "Find & Replace mode"
                                 << "(Awaiting search and replace criteria)";
        QTest::newRow("script") << int(kes::mdScript) << 210 << true << true << "bbRunScript"
                                << "Script mode"
                                << "(Viewing)";
        QTest::newRow("view") << int(kes::mdViewFoldersFiles) << 170 << true << false << "bbList"
                              << "View Folders/Files mode"
                              << "()";
    }
    void EachModeShowsItsRowsButtonsAndPanelHeight() {
        QFETCH(int, mode);
        QFETCH(int, panelHeight);
        QFETCH(bool, replaceRow);
        QFETCH(bool, rootRow);
        QFETCH(QString, button);
        QFETCH(QString, name);
        QFETCH(QString, status);
        TTestWindow w;
        w->SetMode(static_cast<kes::TkesMode>(mode));
        QCOMPARE(w->paActionsSpecs->height(), panelHeight);
        QCOMPARE(Shown(w->cboxReplace, *w.window), replaceRow);
        QCOMPARE(Shown(w->laReplace, *w.window), replaceRow);
        QCOMPARE(Shown(w->cboxRootFolder, *w.window), rootRow);
        for (QPushButton* b : {w->bbFind, w->bbReplace, w->bbList, w->bbRunScript})
            QCOMPARE(Shown(b, *w.window), b->objectName() == button);
        QCOMPARE(w->laModeName->text(), name);
        QCOMPARE(w->laModeStatus->text(), status);
        QCOMPARE(Shown(w->paStatus, *w.window), mode != kes::mdScript);
        QCOMPARE(Shown(w->paScriptMaintenance, *w.window), mode == kes::mdScript);
        // The mode status sits 10 pixels right of the mode name.
        QCOMPARE(w->laModeStatus->x(), w->laModeName->geometry().right() + 1 + 10);
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

    void CurrentModeMenuItemIsDisabledAndChecked() {
        TTestWindow w;
        const struct {
            kes::TkesMode Mode;
            const char* Item;
        } cases[] = {{kes::mdFind, "mmMode_Find"},
                     {kes::mdFindAndReplace, "mmMode_FindandReplace"},
                     {kes::mdScript, "mmMode_Script"}};
        for (const auto& c : cases) {
            w->SetMode(c.Mode);
            for (const char* name : {"mmMode_Find", "mmMode_FindandReplace", "mmMode_Script"}) {
                const bool current = qstrcmp(name, c.Item) == 0;
                QCOMPARE(Item(*w.window, name)->isEnabled(), !current);
                QCOMPARE(Item(*w.window, name)->isChecked(), current);
            }
        }
        QVERIFY(!Item(*w.window, "mmMode_View")->isVisible());
        QVERIFY(!Item(*w.window, "mmView_FoldersList")->isVisible());
    }

    void ScriptMenuIsEnabledOnlyInScriptMode() {
        TTestWindow w;
        auto* script = w->findChild<QMenu*>("mmScript");
        w->SetMode(kes::mdFind);
        QVERIFY(!script->menuAction()->isEnabled());
        w->SetMode(kes::mdScript);
        QVERIFY(script->menuAction()->isEnabled());
        QCOMPARE(w->laModeDetail->text(), QString("New script"));
        QVERIFY(w->laModeDetail->isVisible());
        // An empty script: nothing to run, save or view, but one can be opened; nothing was
        // searched yet.
        for (const char* name : {"mmScript_New", "mmScript_Save", "mmScript_SaveAs", "mmScript_Run",
                                 "mmScript_ViewScript", "mmScript_ViewResults"})
            QVERIFY2(!Item(*w.window, name)->isEnabled(), name);
        QVERIFY(Item(*w.window, "mmScript_Open")->isEnabled());
        QVERIFY(!w->bbRunScript->isEnabled());
        QCOMPARE(w->DrawGrid1->Content(), gcScript);
        QCOMPARE(w->DrawGrid1->ColumnCount(), 4);
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
    }

    void ReplaceNeedsAllFourBoxes() {
        TTestWindow w;
        w->SetMode(kes::mdFindAndReplace);
        TypeInto(w->cboxFolders, "/tmp");
        TypeInto(w->cboxFiles, "*");
        TypeInto(w->cboxFind, "a");
        QVERIFY(!w->bbReplace->isEnabled());
        TypeInto(w->cboxReplace, "b");
        QVERIFY(w->bbReplace->isEnabled());
    }

    void StartupModeScriptPassesThroughFind() {
        kes::TkesConfig config;
        config.Settings.InitialMode = kes::imScript;
        kes::SaveConfig(kes::ConfigFilePath(FConfig->Path().toStdString() + "/"), config);
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

    void StartupModeLastUsedRestoresModeAndSelections() {
        kes::TkesConfig config;
        config.Settings.InitialMode = kes::imLastUsed;
        config.LastMode = kes::mdFindAndReplace;
        const std::string folder = FConfig->Path().toStdString() + "/";
        kes::SaveConfig(kes::ConfigFilePath(folder), config);
        FConfig->Write("kestrava.ini",
                       "[FoldersToSearch]\n1=/tmp\n[FindExpressions]\n1=a\n2=b\n"
                       "[ReplaceExpressions]\n1=r\n[ItemIndex]\nFoldersToSearch=0\n"
                       "FilesToSearch=-1\nFindExpressions=1\nReplaceExpressions=0\n");
        TTestWindow w;
        QCOMPARE(w->Mode(), kes::mdFindAndReplace);
        QCOMPARE(w->cboxFolders->currentText(), QString("/tmp"));
        QCOMPARE(w->cboxFind->currentText(), QString("b"));
        QCOMPARE(w->cboxReplace->currentText(), QString("r"));
    }

  private:
    std::unique_ptr<TTestConfigFolder> FConfig;
};

QTEST_MAIN(TestMainWindowModes)
#include "test_mainwindow_modes.moc"
