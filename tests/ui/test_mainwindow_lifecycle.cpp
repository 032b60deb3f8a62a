// Start-up and shut-down: what is written at close and read at the next start, the focused box
// committed on closing, font sizes, Preferences re-applying the layout, failed saves shown,
// closing on SIGTERM, and when saved bounds are used.
#include "MainWindowTestSupport.h"

#include "ui/kes_fmPreferences.h"
#include "ui/kes_uSignalClose.h"
#include "ui/program_entry.h"

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <optional>

class TestMainWindowLifecycle : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

    void HistoriesSettingsAndTheFocusedBoxSurviveARestart() {
        {
            TTestWindow w;
            w->SetMode(kes::mdFindAndReplace);
            Commit(*w.window, w->cboxFolders, "/srv");
            Commit(*w.window, w->cboxFolders, "/etc");
            Commit(*w.window, w->cboxFiles, "*.conf");
            Commit(*w.window, w->cboxFind, "a b");
            Commit(*w.window, w->cboxReplace, "^$");
            w->Settings().CaseSensitiveMatching = true;
            w->Settings().InitialMode = kes::imLastUsed;
            QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
            TypeInto(w->cboxFiles, "*.typed"); // focused, never left: closing commits it
            QVERIFY(w->close());
            QVERIFY(w.fake->Shown.empty());
        }
        const QByteArray ini = F->Config.Read("kestrava.ini");
        QVERIFY2(ini.contains("[FoldersToSearch]\r\n1=/etc\r\n2=/srv") ||
                     ini.contains("[FoldersToSearch]\n1=/etc\n2=/srv"),
                 ini.constData());
        QVERIFY(ini.contains("FoldersToSearch=0"));
        QVERIFY(ini.contains("=*.typed"));
        QVERIFY(!F->Config.Read("KestravaConfig.xml").isEmpty());

        TTestWindow again;
        QCOMPARE(Entries(again->cboxFolders), (QStringList{"/etc", "/srv"}));
        QCOMPARE(Entries(again->cboxReplace), QStringList{"^$"});
        QVERIFY(again->Settings().CaseSensitiveMatching);
        QCOMPARE(again->Mode(), kes::mdFindAndReplace); // the last mode, with its selections
        QCOMPARE(again->cboxFolders->currentText(), QString("/etc"));
        QCOMPARE(again->cboxFind->currentText(), QString("a b"));
    }

    void FontSizeSetsPointSizes_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("modeName");
        QTest::newRow("small") << int(kes::fsSmall) << 10 << 12;
        QTest::newRow("medium") << int(kes::fsMedium) << 11 << 14;
        QTest::newRow("large") << int(kes::fsLarge) << 12 << 14;
    }
    void FontSizeSetsPointSizes() {
        QFETCH(int, size);
        QFETCH(int, points);
        QFETCH(int, modeName);
        TTestWindow w;
        w->ApplyFontSize(static_cast<kes::TFontSize>(size));
        for (QWidget* widget :
             std::initializer_list<QWidget*>{w->cboxFolders, w->cboxFind, w->laFolders, w->bbFind})
            QCOMPARE(widget->font().pointSize(), points);
        QCOMPARE(w->laModeName->font().pointSize(), modeName);
        QCOMPARE(w->laModeStatus->font().pointSize(), std::min(points, 11));
        QCOMPARE(w->laFindRegEx->font().pointSize(), points - 2);
        QVERIFY(w->cboxFind->font().fixedPitch() ||
                w->cboxFind->font().styleHint() == QFont::Monospace);
        // The boxes start 6 pixels after the "Replace With" label's text.
        QCOMPARE(w->cboxFind->x(),
                 w->laReplace->x() +
                     QFontMetrics(w->laReplace->font()).horizontalAdvance("Replace With") + 6);
    }

    void PreferencesCancelStillReappliesTheFontSize() {
        TTestWindow w;
        TfmPreferences preferences(w->Settings(), w.window.get());
        w->SetPreferencesDialog(&preferences);
        w->Settings().FontSize = kes::fsLarge; // in force, but not yet laid out
        QCOMPARE(w->cboxFolders->font().pointSize(), 10);
        QTimer::singleShot(0, &preferences, [&preferences] {
            preferences.cboxFontSize->setCurrentIndex(0);
            preferences.reject();
        });
        w->mmFile_PreferencesClick();
        QCOMPARE(w->Settings().FontSize, kes::fsLarge);
        QCOMPARE(w->cboxFolders->font().pointSize(), 12);
    }

    void FailedSaveIsShown() {
        QTemporaryDir dir;
        WriteFile(dir.path() + "/file", "not a folder");
        qputenv("KESTRAVA_CONFIG_DIR", (dir.path() + "/file/cfg").toLocal8Bit());
        TTestWindow w;
        Commit(*w.window, w->cboxFind, "lost?");
        QVERIFY(w->close());
        QCOMPARE(w.fake->Shown.size(), size_t(1));
        QVERIFY(w.fake->AllShown().startsWith("error: Unable to save the settings:"));
        // Both files fail alike in an unwritable folder: the reason is said once.
        QCOMPARE(w.fake->LastText().count("\r\n"), 1);
    }

    void TerminationSignalClosesAndSaves() {
        TTestWindow w;
        Commit(*w.window, w->cboxFiles, "*.sig");
        TkesSignalClose closer(w.window.get(), {SIGTERM});
        ::raise(SIGTERM);
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(closer.LastSignal(), SIGTERM);
        QVERIFY(F->Config.Read("kestrava.ini").contains("*.sig"));
    }

    // A logout must save in every state: here the start-up's error box is open.
    void SignalDuringAStartUpBoxDismissesItSavesAndEnds() {
        F->Config.Write("KestravaConfig.xml", "");
        F->Config.Write("kestrava.ini", "[FindExpressions]\n1=kept\n");
        WhenModalShown([](QDialog*) { ::raise(SIGTERM); });
        QCOMPARE(RunKestrava(MakeQtUiServices()), 0);
        QVERIFY(F->Config.Read("kestrava.ini").contains("kept"));
        QVERIFY(F->Config.Read("KestravaConfig.xml").contains("<KestravaConfig"));
    }

    // ... and here a question: it takes the harmless answer, then the window saves and closes.
    void SignalDuringAQuestionAnswersNoSavesAndEnds() {
        F->Config.Write("kestrava.ini", "[FindExpressions]\n1=kept\n");
        QTimer::singleShot(0, [] {
            auto* w = qobject_cast<TfmMain*>(QApplication::activeWindow());
            if (w == nullptr)
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* main = qobject_cast<TfmMain*>(top))
                        w = main;
            QVERIFY(w != nullptr);
            w->cboxPopup(w->cboxFind, QPoint());
            w->PopupMenu1->hide();
            WhenModalShown([](QDialog*) { ::raise(SIGTERM); });
            w->pumRemoveAllClick();
        });
        QCOMPARE(RunKestrava(MakeQtUiServices()), 0);
        QVERIFY(F->Config.Read("kestrava.ini").contains("kept"));
    }

    void SavedBoundsAreFittedToAScreen_data() {
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
    void SavedBoundsAreFittedToAScreen() {
        QFETCH(QRect, bounds);
        QFETCH(QRect, placed);
        const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        const kes::TkesFormBounds b{bounds.top(), bounds.left(), bounds.height(), bounds.width()};
        QCOMPARE(kes::FitBoundsToScreens(b, screens), placed);
    }

    void HugeSavedSizeOpensAScreenSizedWindow() {
        F->Config.Write("KestravaConfig.xml", "<KestravaConfig><forms><mainform top=\"0\" "
                                              "left=\"0\" height=\"40000\" width=\"40000\"/>"
                                              "</forms></KestravaConfig>");
        TTestWindow w(false);
        QCOMPARE(w->Config().Bounds.Width, 40000);
        w->ApplyBounds(w->Config().Bounds);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(w->width() <= screen.width() && w->height() <= screen.height());
    }

  private:
    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowLifecycle)
#include "test_mainwindow_lifecycle.moc"
