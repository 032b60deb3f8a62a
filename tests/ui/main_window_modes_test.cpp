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
    void init() { m_env.emplace(); }
    void cleanup() { m_env.reset(); }

    void eachModeShowsItsRowsButtonsMenusAndTexts_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<QString>("rows"); // the optional rows shown
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("menuItem"); // the checked, disabled Mode item
        QTest::addColumn<QString>("texts");    // mode name | mode status
        QTest::newRow("find") << int(kestrava::util::Mode::Find) << 138 << ""
                              << "findButton"
                              << "findModeAction"
                              << "Find mode|(Awaiting search criteria)";
        QTest::newRow("replace") << int(kestrava::util::Mode::FindAndReplace) << 170 << "replace"
                                 << "replaceButton"
                                 << "replaceModeAction"
                                 << "Find & Replace mode|(Awaiting search and replace criteria)";
        QTest::newRow("script") << int(kestrava::util::Mode::Script) << 210 << "replace root"
                                << "runScriptButton"
                                << "scriptModeAction"
                                << "Script mode|(Viewing)";
        QTest::newRow("view") << int(kestrava::util::Mode::ViewFoldersFiles) << 170 << "replace"
                              << "listButton"
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
        QCOMPARE(w->criteriaPanel->height(), panelHeight);
        QStringList rowsShown;
        if (shown(w->replaceCombo, *w.window) && shown(w->replaceLabel, *w.window))
            rowsShown << "replace";
        if (shown(w->rootFolderCombo, *w.window))
            rowsShown << "root";
        QCOMPARE(rowsShown.join(' '), rows);
        for (QPushButton* b : {w->findButton, w->replaceButton, w->listButton, w->runScriptButton})
            QCOMPARE(shown(b, *w.window), b->objectName() == button);
        for (const char* name : {"findModeAction", "replaceModeAction", "scriptModeAction"}) {
            QCOMPARE(item(*w.window, name)->isEnabled(), name != menuItem);
            QCOMPARE(item(*w.window, name)->isChecked(), name == menuItem);
        }
        QCOMPARE(w->findChild<QMenu*>("scriptMenu")->menuAction()->isEnabled(), script);
        QCOMPARE(w->modeNameLabel->text() + "|" + w->modeStatusLabel->text(), texts);
        QCOMPARE(shown(w->summaryPanel, *w.window), !script);
        QCOMPARE(shown(w->scriptBar, *w.window), script);
        QCOMPARE(w->resultsGrid->content() == GridContent::Script, script);
        // The mode status sits 10 pixels right of the mode name.
        QCOMPARE(w->modeStatusLabel->x(), w->modeNameLabel->geometry().right() + 1 + 10);
        QVERIFY(!item(*w.window, "viewModeAction")->isVisible());
    }

    void scriptModeMovesFolderRowsDownAndShowsRootRowInTheirPlace() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::Find);
        const int foldersTop = w->foldersCombo->y();
        const int filesTop = w->filesCombo->y();
        w->setMode(kestrava::util::Mode::Script);
        QCOMPARE(w->foldersCombo->y(), foldersTop + 40);
        QCOMPARE(w->filesCombo->y(), filesTop + 40);
        QCOMPARE(w->rootFolderCombo->y(), foldersTop);
        QVERIFY(w->rootFolderCombo->isEnabled());
        QVERIFY(!w->foldersCombo->isEnabled());
        QVERIFY(!w->findCombo->isEnabled());
        w->setMode(kestrava::util::Mode::Find);
        QCOMPARE(w->foldersCombo->y(), foldersTop); // offsets never accumulate
    }

    void findScriptFindClearsSavedSelectionsButKeepsReplace() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::FindAndReplace);
        commit(*w.window, w->foldersCombo, "/tmp");
        commit(*w.window, w->filesCombo, "*.txt");
        commit(*w.window, w->findCombo, "abc");
        commit(*w.window, w->replaceCombo, "xyz");
        w->setMode(kestrava::util::Mode::Find);
        QCOMPARE(w->foldersCombo->currentText(), QString("/tmp")); // restored from the saved index
        QCOMPARE(w->findCombo->currentText(), QString("abc"));
        QCOMPARE(w->replaceCombo->currentText(), QString());
        w->setMode(kestrava::util::Mode::Script);
        for (QComboBox* box : {w->foldersCombo, w->filesCombo, w->findCombo, w->replaceCombo})
            QCOMPARE(box->currentText(), QString());
        w->setMode(kestrava::util::Mode::Find);
        for (QComboBox* box : {w->foldersCombo, w->filesCombo, w->findCombo})
            QCOMPARE(box->currentText(), QString());
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedFolders), -1);
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedFind), -1);
        QCOMPARE(w->savedItemIndex(kestrava::ui::kSavedReplace), 0);
        w->setMode(kestrava::util::Mode::FindAndReplace);
        QCOMPARE(w->replaceCombo->currentText(), QString("xyz"));
        QCOMPARE(w->findCombo->currentText(), QString());
        QCOMPARE(w->findCombo->count(), 1); // histories themselves are untouched
    }

    void statusEnablesFindOnTheKeyReleaseThatFillsTheLastBox() {
        TestWindow w;
        w->setMode(kestrava::util::Mode::Find);
        commit(*w.window, w->foldersCombo, "/tmp");
        commit(*w.window, w->filesCombo, "*.txt");
        QVERIFY(!w->findButton->isEnabled());
        QCOMPARE(w->modeStatusLabel->text(), QString("(Awaiting search criteria)"));
        // Text that arrived without an edit signal: only the key release refreshes the status.
        w->findCombo->setEditText("a");
        QVERIFY(!w->findButton->isEnabled());
        QTest::keyRelease(w->findCombo, Qt::Key_A);
        QVERIFY(w->findButton->isEnabled());
        QCOMPARE(w->modeStatusLabel->text(),
                 QString("(Enter search criteria, then press [Find] when ready)"));
        QCOMPARE(w->statusBarText(),
                 QString(" Enter search criteria, then press [Find] when ready"));
        typeInto(w->filesCombo, "");
        QVERIFY(!w->findButton->isEnabled());
        w->setMode(kestrava::util::Mode::FindAndReplace); // Replace needs all four boxes
        typeInto(w->filesCombo, "*");
        typeInto(w->findCombo, "a");
        QVERIFY(!w->replaceButton->isEnabled());
        typeInto(w->replaceCombo, "b");
        QVERIFY(w->replaceButton->isEnabled());
    }

    void startupModeScriptPassesThroughFind() {
        kestrava::config::Config config;
        config.settings.initialMode = kestrava::config::InitialMode::Script;
        kestrava::config::saveConfig(
            kestrava::config::configFilePath(m_env->config.path().toStdString() + "/"), config);
        TestWindow w(false);
        QSignalSpy modes(w.window.get(), &MainWindow::modeChanged);
        w->show();
        QCOMPARE(modes.count(), 2);
        QCOMPARE(modes.at(0).at(0).value<kestrava::util::Mode>(), kestrava::util::Mode::Find);
        QCOMPARE(modes.at(1).at(0).value<kestrava::util::Mode>(), kestrava::util::Mode::Script);
        QCOMPARE(w->mode(), kestrava::util::Mode::Script);
        QCOMPARE(w->modeStatusLabel->text(), QString("(Viewing)"));
        w->activateFirstTime(); // only the first activation acts
        QCOMPARE(modes.count(), 2);
    }

  private:
    std::optional<TestFolders> m_env;
};

QTEST_MAIN(TestMainWindowModes)
#include "main_window_modes_test.moc"
