// Start-up and shut-down: the program's arguments and the folders it opens on, what is written
// at close and read at the next start, the focused box committed on closing, font sizes,
// Preferences re-applying the layout, failed saves shown, closing on SIGTERM, and when saved
// bounds are used.
#include "main_window_test_support.h"

#include "ui/about_dialog.h"
#include "ui/command_line.h"
#include "ui/preferences_dialog.h"
#include "ui/program_entry.h"
#include "ui/signal_close.h"

#include <QScopeGuard>
#include <QScreen>

#include <csignal>
#include <sstream>

namespace {

MainWindow* theMainWindow() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<MainWindow*>(top))
            return main;
    return nullptr;
}

} // namespace
class TestMainWindowLifecycle : public WindowTest {
    Q_OBJECT
  private slots:
    // "%1" stands for the working folder.
    void argumentsAreReadBeforeQt_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("qt");      // after the program's name
        QTest::addColumn<QStringList>("folders"); // made absolute
        QTest::addColumn<int>("exitCode");        // -1: the window opens
        QTest::addColumn<QString>("out");         // how standard output begins
        QTest::addColumn<QString>("err");         // what standard error holds
        QTest::newRow("relative folders") << QStringList{"x/./y/", "/tmp/", "."} << QStringList{}
                                          << QStringList{"%1/x/y", "/tmp", "%1"} << -1 << ""
                                          << "";
        QTest::newRow("Qt options go to Qt")
            << QStringList{"-style", "Fusion", "/srv", "--platform=offscreen", "-reverse"}
            << QStringList{"-style", "Fusion", "--platform=offscreen", "-reverse"}
            << QStringList{"/srv"} << -1 << ""
            << "";
        QTest::newRow("folders after --") << QStringList{"--", "-style", "--help"} << QStringList{}
                                          << QStringList{"%1/-style", "%1/--help"} << -1 << ""
                                          << "";
        QTest::newRow("help") << QStringList{"/srv", "--help"} << QStringList{} << QStringList{}
                              << 0 << "Usage: kestrava [OPTION...] [FOLDER...]\n"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << QStringList{} << QStringList{} << 0
                                 << QString("kestrava ") + kKestravaVersion + "\n"
                                 << "";
        QTest::newRow("unknown option")
            << QStringList{"--bogus", "--help"} << QStringList{} << QStringList{} << 2 << ""
            << "unknown option '--bogus'";
        QTest::newRow("Qt option with a value it does not take")
            << QStringList{"-reverse=yes"} << QStringList{} << QStringList{} << 2 << ""
            << "'-reverse=yes'";
    }
    void argumentsAreReadBeforeQt() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, qt);
        QFETCH(QStringList, folders);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        std::vector<QByteArray> bytes{"kestrava"};
        for (const QString& argument : arguments)
            bytes.push_back(argument.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& argument : bytes)
            argv.push_back(argument.data());
        std::ostringstream outText, errText;
        const CommandLine line =
            readCommandLine(static_cast<int>(argv.size()), argv.data(), outText, errText);
        QCOMPARE(line.exitCode.value_or(-1), exitCode);
        QVERIFY2(QString::fromStdString(outText.str()).startsWith(out), outText.str().c_str());
        QVERIFY2(QString::fromStdString(errText.str()).contains(err), errText.str().c_str());
        if (exitCode >= 0)
            return;
        QStringList qtGot, foldersGot;
        for (size_t i = 1; i < line.qtArguments.size(); ++i)
            qtGot << QString::fromLocal8Bit(line.qtArguments[i]);
        for (const std::string& folder : line.folders)
            foldersGot << QString::fromStdString(folder);
        QCOMPARE(qtGot, qt);
        QCOMPARE(foldersGot, folders.replaceInStrings("%1", QDir::currentPath()));
    }

    // As "Open With Kestrava" starts it: the folders in Folder(s), the cursor in Find. A window
    // that would open in Script mode opens in Find mode.
    void startsOnTheFoldersGiven() {
        m_env->config.write("KestravaConfig.xml",
                            "<KestravaConfig><options><initialmode value=\"Script\"/></options>"
                            "</KestravaConfig>");
        const QStringList folders{root() + "/a b", root()};
        QTimer::singleShot(0, [folders] {
            MainWindow* w = theMainWindow();
            QVERIFY(w != nullptr);
            const auto closeAnyway = qScopeGuard([w] { w->close(); }); // a failure must not hang
            QVERIFY(QTest::qWaitForWindowActive(w));
            QCOMPARE(w->mode(), Mode::Find);
            QCOMPARE(combo(*w, "foldersCombo")->currentText(), folders.join("<+>|") + "<+>");
            QCOMPARE(combo(*w, "filesCombo")->currentText(), QString("*.*"));
            QTRY_VERIFY(combo(*w, "findCombo")->hasFocus());
        });
        QCOMPARE(runKestrava(std::make_unique<FakeUiServices>(), folders), 0);
        QVERIFY(m_env->config.read("kestrava.ini").contains("a b<+>"));
    }

    void historiesSettingsAndTheFocusedBoxSurviveARestart() {
        {
            TestWindow w;
            item(*w, "replaceModeAction")->trigger();
            commit(combo(*w, "foldersCombo"), "/srv");
            commit(combo(*w, "foldersCombo"), "/etc");
            commit(combo(*w, "filesCombo"), "*.conf");
            commit(combo(*w, "findCombo"), "a b");
            commit(combo(*w, "replaceCombo"), "^$");
            w->settings().caseSensitiveMatching = true;
            w->settings().initialMode = kestrava::config::InitialMode::LastUsed;
            QVERIFY(item(*w, "lineNumbersAction")->isChecked()); // shown unless turned off
            item(*w, "lineNumbersAction")->trigger();
            QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
            typeInto(combo(*w, "filesCombo"), "*.typed"); // focused, never left: closing commits it
            QVERIFY(w->close());
            QVERIFY(w.fake->shown.empty());
        }
        const QByteArray ini = m_env->config.read("kestrava.ini");
        QVERIFY2(ini.contains("FoldersToSearch=0") && ini.contains("=*.typed"), ini.constData());
        QVERIFY(!m_env->config.read("KestravaConfig.xml").isEmpty());

        TestWindow again;
        QCOMPARE(entries(combo(*again, "foldersCombo")), (QStringList{"/etc", "/srv"}));
        QCOMPARE(entries(combo(*again, "replaceCombo")), QStringList{"^$"});
        QVERIFY(again->settings().caseSensitiveMatching);
        QVERIFY(!item(*again, "lineNumbersAction")->isChecked());
        QCOMPARE(again->mode(), Mode::FindAndReplace); // the last mode, with its selections
        QCOMPARE(combo(*again, "foldersCombo")->currentText(), QString("/etc"));
        QCOMPARE(combo(*again, "findCombo")->currentText(), QString("a b"));
    }

    void fontSizeSetsPointSizes_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("modeName");
        QTest::newRow("small") << int(kestrava::config::FontSize::Small) << 10 << 12;
        QTest::newRow("medium") << int(kestrava::config::FontSize::Medium) << 11 << 14;
        QTest::newRow("large") << int(kestrava::config::FontSize::Large) << 12 << 14;
    }
    void fontSizeSetsPointSizes() {
        QFETCH(int, size);
        QFETCH(int, points);
        QFETCH(int, modeName);
        TestWindow w;
        w->settings().fontSize = static_cast<kestrava::config::FontSize>(size);
        item(*w, "preferencesAction")->trigger(); // no dialog: the setting in force is applied
        for (const char* name :
             {"foldersCombo", "findCombo", "foldersLabel", "itemNumberLabel", "findButton"})
            QVERIFY2(widget(*w, name)->font().pointSize() == points, name);
        QCOMPARE(label(*w, "modeNameLabel")->font().pointSize(), modeName);
        QCOMPARE(label(*w, "modeStatusLabel")->font().pointSize(), std::min(points, 11));
        QCOMPARE(label(*w, "regexHintLabel")->font().pointSize(), points - 2);
        QVERIFY(combo(*w, "findCombo")->font().fixedPitch() ||
                combo(*w, "findCombo")->font().styleHint() == QFont::Monospace);
    }

    void preferencesCancelStillReappliesTheFontSize() {
        TestWindow w;
        PreferencesDialog preferences(w->settings(), w.window.get());
        w->setPreferencesDialog(&preferences);
        w->settings().fontSize = kestrava::config::FontSize::Large; // in force, not yet applied
        QCOMPARE(combo(*w, "foldersCombo")->font().pointSize(), 10);
        QTimer::singleShot(0, &preferences, [&preferences] {
            preferences.fontSizeCombo->setCurrentIndex(0);
            preferences.reject();
        });
        item(*w, "preferencesAction")->trigger();
        QCOMPARE(w->settings().fontSize, kestrava::config::FontSize::Large);
        QCOMPARE(combo(*w, "foldersCombo")->font().pointSize(), 12);
    }

    void failedSaveIsShown() {
        QTemporaryDir dir;
        writeFile(dir.path() + "/file", "not a folder");
        qputenv("KESTRAVA_CONFIG_DIR", (dir.path() + "/file/cfg").toLocal8Bit());
        TestWindow w;
        commit(combo(*w, "findCombo"), "lost?");
        QVERIFY(w->close());
        QCOMPARE(w.fake->shown.size(), size_t(1));
        QVERIFY(w.fake->allShown().startsWith("error: Unable to save the settings:"));
        // Both files fail alike in an unwritable folder: the reason is said once.
        QCOMPARE(w.fake->lastText().count("\r\n"), 1);
    }

    void terminationSignalClosesAndSaves() {
        TestWindow w;
        commit(combo(*w, "filesCombo"), "*.sig");
        SignalClose closer(w.window.get(), {SIGTERM});
        ::raise(SIGTERM);
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(closer.lastSignal(), SIGTERM);
        QVERIFY(m_env->config.read("kestrava.ini").contains("*.sig"));
    }

    // A logout must save in every state: here the start-up's error box is open.
    void signalDuringAStartUpBoxDismissesItSavesAndEnds() {
        m_env->config.write("KestravaConfig.xml", "");
        m_env->config.write("kestrava.ini", "[FindExpressions]\n1=kept\n");
        whenModalShown([](QDialog*) { ::raise(SIGTERM); });
        QCOMPARE(runKestrava(makeQtUiServices()), 0);
        QVERIFY(m_env->config.read("kestrava.ini").contains("kept"));
        QVERIFY(m_env->config.read("KestravaConfig.xml").contains("<KestravaConfig"));
    }

    // ... and here a question: it takes the harmless answer, then the window saves and closes.
    void signalDuringAQuestionAnswersNoSavesAndEnds() {
        m_env->config.write("kestrava.ini", "[FindExpressions]\n1=kept\n");
        QTimer::singleShot(0, [] {
            MainWindow* w = theMainWindow();
            QVERIFY(w != nullptr);
            openHistoryMenu(*w, combo(*w, "findCombo"));
            whenModalShown([](QDialog*) { ::raise(SIGTERM); });
            item(*w, "removeAllAction")->trigger();
        });
        QCOMPARE(runKestrava(makeQtUiServices()), 0);
        QVERIFY(m_env->config.read("kestrava.ini").contains("kept"));
    }

    void savedBoundsAreFittedToAScreen_data() {
        QTest::addColumn<QRect>("bounds"); // left, top, width, height
        QTest::addColumn<QRect>("placed"); // invalid: the default placement
        QTest::newRow("inside") << QRect(100, 50, 800, 600) << QRect(100, 50, 800, 600);
        QTest::newRow("no size") << QRect(100, 50, 0, 600) << QRect();
        QTest::newRow("off to the right") << QRect(5000, 50, 800, 600) << QRect();
        QTest::newRow("title bar above the screen") << QRect(100, -400, 800, 600) << QRect();
        QTest::newRow("mostly off the left, still grabbable")
            << QRect(-700, 50, 800, 600) << QRect(-700, 50, 800, 600);
        QTest::newRow("on the second screen")
            << QRect(2000, 100, 800, 600) << QRect(2000, 100, 800, 600);
        QTest::newRow("huge") << QRect(0, 0, 40000, 40000) << QRect(0, 0, 1920, 1080);
        QTest::newRow("too tall on the second screen")
            << QRect(2000, 500, 800, 5000) << QRect(2000, 0, 800, 1024);
    }
    void savedBoundsAreFittedToAScreen() {
        QFETCH(QRect, bounds);
        QFETCH(QRect, placed);
        const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        const kestrava::config::WindowBounds b{bounds.top(), bounds.left(), bounds.height(),
                                               bounds.width()};
        QCOMPARE(kestrava::ui::fitBoundsToScreens(b, screens), placed);
    }

    void hugeSavedSizeOpensAScreenSizedWindow() {
        m_env->config.write("KestravaConfig.xml", "<KestravaConfig><forms><mainform top=\"0\" "
                                                  "left=\"0\" height=\"40000\" width=\"40000\"/>"
                                                  "</forms></KestravaConfig>");
        TestWindow w(false);
        QCOMPARE(w->config().bounds.width, 40000);
        w->applyBounds(w->config().bounds);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(w->width() <= screen.width() && w->height() <= screen.height());
    }
};

QTEST_MAIN(TestMainWindowLifecycle)
#include "main_window_lifecycle_test.moc"
