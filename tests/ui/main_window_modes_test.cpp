// The four modes: rows, buttons, menus, panel heights and status texts; the saved selections
// across mode switches; the status on key release; the start-up mode.
#include "main_window_test_support.h"

#include "config/config_paths.h"
#include "config/settings.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>

#include <optional>

namespace {

bool shown(QWidget* widget, MainWindow& window) {
    return widget->isVisibleTo(&window);
}

} // namespace

class TestMainWindowModes : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

    void eachModeShowsItsRowsButtonsMenusAndTexts_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<QString>("rows"); // the optional rows shown
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("menuItem"); // the checked, disabled Mode item
        QTest::addColumn<QString>("texts");    // mode name | mode status
        QTest::newRow("find") << int(kestrava::util::Mode::Find) << 138 << ""
                              << "bbFind"
                              << "mmMode_Find"
                              << "Find mode|(Awaiting search criteria)";
        QTest::newRow("replace") << int(kestrava::util::Mode::FindAndReplace) << 170 << "replace"
                                 << "bbReplace"
                                 << "mmMode_FindandReplace"
                                 << "Find & Replace mode|(Awaiting search and replace criteria)";
        QTest::newRow("script") << int(kestrava::util::Mode::Script) << 210 << "replace root"
                                << "bbRunScript"
                                << "mmMode_Script"
                                << "Script mode|(Viewing)";
        QTest::newRow("view") << int(kestrava::util::Mode::ViewFoldersFiles) << 170 << "replace"
                              << "bbList"
                              << ""
                              << "View Folders/Files mode|()";
    }
    void eachModeShowsItsRowsButtonsMenusAndTexts() {
        QFETCH(int, mode);
        QFETCH(int, panelHeight);
        QFETCH(QString, rows);
        QFETCH(QString, button);
        QFETCH(QString, menuItem);
        QFETCH(QString, texts);
        TestWindow w;
        w->setMode(static_cast<kestrava::util::Mode>(mode));
        const bool script = static_cast<kestrava::util::Mode>(mode) == kestrava::util::Mode::Script;
        QCOMPARE(w->paActionsSpecs->height(), panelHeight);
        QStringList rowsShown;
        if (shown(w->cboxReplace, *w.window) && shown(w->laReplace, *w.window))
            rowsShown << "replace";
        if (shown(w->cboxRootFolder, *w.window))
            rowsShown << "root";
        QCOMPARE(rowsShown.join(' '), rows);
        for (QPushButton* b : {w->bbFind, w->bbReplace, w->bbList, w->bbRunScript})
            QCOMPARE(shown(b, *w.window), b->objectName() == button);
        for (const char* name : {"mmMode_Find", "mmMode_FindandReplace", "mmMode_Script"}) {
            QCOMPARE(item(*w.window, name)->isEnabled(), name != menuItem);
            QCOMPARE(item(*w.window, name)->isChecked(), name == menuItem);
        }
        QCOMPARE(w->findChild<QMenu*>("mmScript")->menuAction()->isEnabled(), script);
        QCOMPARE(w->laModeName->text() + "|" + w->laModeStatus->text(), texts);
        QCOMPARE(shown(w->paStatus, *w.window), !script);
        QCOMPARE(shown(w->paScriptMaintenance, *w.window), script);
        QCOMPARE(w->DrawGrid1->content() == GridContent::Script, script);
        // The mode status sits 10 pixels right of the mode name.
        QCOMPARE(w->laModeStatus->x(), w->laModeName->geometry().right() + 1 + 10);
        QVERIFY(!item(*w.window, "mmMode_View")->isVisible());
    }

    void scriptModeMovesFolderRowsDownAndShowsRootRowInTheirPlace() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::Find);
        const int foldersTop = w->cboxFolders->y();
        const int filesTop = w->cboxFiles->y();
        w->setMode(kestrava::util::Mode::Script);
        QCOMPARE(w->cboxFolders->y(), foldersTop + 40);
        QCOMPARE(w->cboxFiles->y(), filesTop + 40);
        QCOMPARE(w->cboxRootFolder->y(), foldersTop);
        QVERIFY(w->cboxRootFolder->isEnabled());
        QVERIFY(!w->cboxFolders->isEnabled());
        QVERIFY(!w->cboxFind->isEnabled());
        w->setMode(kestrava::util::Mode::Find);
        QCOMPARE(w->cboxFolders->y(), foldersTop); // offsets never accumulate
    }

    void findScriptFindClearsSavedSelectionsButKeepsReplace() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::FindAndReplace);
        commit(*w.window, w->cboxFolders, "/tmp");
        commit(*w.window, w->cboxFiles, "*.txt");
        commit(*w.window, w->cboxFind, "abc");
        commit(*w.window, w->cboxReplace, "xyz");
        w->setMode(kestrava::util::Mode::Find);
        QCOMPARE(w->cboxFolders->currentText(), QString("/tmp")); // restored from the saved index
        QCOMPARE(w->cboxFind->currentText(), QString("abc"));
        QCOMPARE(w->cboxReplace->currentText(), QString());
        w->setMode(kestrava::util::Mode::Script);
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind, w->cboxReplace})
            QCOMPARE(box->currentText(), QString());
        w->setMode(kestrava::util::Mode::Find);
        for (QComboBox* box : {w->cboxFolders, w->cboxFiles, w->cboxFind})
            QCOMPARE(box->currentText(), QString());
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedFolders), -1);
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedFind), -1);
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedReplace), 0);
        w->setMode(kestrava::util::Mode::FindAndReplace);
        QCOMPARE(w->cboxReplace->currentText(), QString("xyz"));
        QCOMPARE(w->cboxFind->currentText(), QString());
        QCOMPARE(w->cboxFind->count(), 1); // histories themselves are untouched
    }

    void statusEnablesFindOnTheKeyReleaseThatFillsTheLastBox() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::Find);
        commit(*w.window, w->cboxFolders, "/tmp");
        commit(*w.window, w->cboxFiles, "*.txt");
        QVERIFY(!w->bbFind->isEnabled());
        QCOMPARE(w->laModeStatus->text(), QString("(Awaiting search criteria)"));
        // Text that arrived without an edit signal: only the key release refreshes the status.
        w->cboxFind->setEditText("a");
        QVERIFY(!w->bbFind->isEnabled());
        QTest::keyRelease(w->cboxFind, Qt::Key_A);
        QVERIFY(w->bbFind->isEnabled());
        QCOMPARE(w->laModeStatus->text(),
                 QString("(Enter search criteria, then press [Find] when ready)"));
        QCOMPARE(w->statusBarText(),
                 QString(" Enter search criteria, then press [Find] when ready"));
        typeInto(w->cboxFiles, "");
        QVERIFY(!w->bbFind->isEnabled());
        w->setMode(kestrava::util::Mode::FindAndReplace); // Replace needs all four boxes
        typeInto(w->cboxFiles, "*");
        typeInto(w->cboxFind, "a");
        QVERIFY(!w->bbReplace->isEnabled());
        typeInto(w->cboxReplace, "b");
        QVERIFY(w->bbReplace->isEnabled());
    }

    void startupModeScriptPassesThroughFind() {
        kestrava::config::Config config;
        config.settings.initialMode = kestrava::config::InitialMode::Script;
        kestrava::config::saveConfig(
            kestrava::config::configFilePath(F->config.path().toStdString() + "/"), config);
        TestWindow w(false);
        QSignalSpy modes(w.window.get(), &MainWindow::modeChanged);
        w->show();
        QCOMPARE(modes.count(), 2);
        QCOMPARE(modes.at(0).at(0).value<kestrava::util::Mode>(), kestrava::util::Mode::Find);
        QCOMPARE(modes.at(1).at(0).value<kestrava::util::Mode>(), kestrava::util::Mode::Script);
        QCOMPARE(w->mode(), kestrava::util::Mode::Script);
        QCOMPARE(w->laModeStatus->text(), QString("(Viewing)"));
        w->FormActivate(); // only the first activation acts
        QCOMPARE(modes.count(), 2);
    }

  private:
    std::optional<TestFolders> F;
};

QTEST_MAIN(TestMainWindowModes)
#include "main_window_modes_test.moc"
