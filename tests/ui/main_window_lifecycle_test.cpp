// Start-up and shut-down (arguments, settings kept or damaged, SIGTERM, saved bounds), the four
// modes, and the criteria boxes: commit rules, history removals, pick buttons and drops.
#include "main_window_test_support.h"

#include "ui/about_dialog.h"
#include "ui/command_line.h"
#include "ui/preferences_dialog.h"
#include "ui/program_entry.h"

#include <QDropEvent>
#include <QMimeData>
#include <QScopeGuard>
#include <QScreen>

#include <csignal>
#include <sstream>

namespace {

// Runs action on the window that runKestrava opens, as soon as its event loop runs.
void whenWindowOpens(const std::function<void(MainWindow&)>& action) {
    QTimer::singleShot(0, [action] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<MainWindow*>(top))
                return action(*main);
        QFAIL("no window opened");
    });
}

} // namespace

class TestMainWindowLifecycle : public WindowTest {
    Q_OBJECT
  private slots:
    void argumentsAreReadBeforeQt() {
        const struct {
            QString arguments; // blank-separated
            // The exit code and the first line printed, or -1 when the window opens, then Qt's
            // arguments after the program's name and the folders ("%1": the working folder).
            QString outcome;
        } cases[] = {
            {"x/./y/ /tmp/ .", "-1 |  | %1/x/y /tmp %1"},
            {"-style Fusion /srv --platform=offscreen -reverse",
             "-1 | -style Fusion --platform=offscreen -reverse | /srv"},
            {"-- -style --help", "-1 |  | %1/-style %1/--help"},
            {"/srv --help", "0 | Usage: kestrava [OPTION...] [FOLDER...]"},
            {"--version", QString("0 | kestrava ") + kKestravaVersion},
            {"--bogus --help", "2 | kestrava: unknown option '--bogus'"},
            {"-reverse=yes", "2 | kestrava: unknown option '-reverse=yes'"}, // it takes no value
        };
        for (const auto& c : cases) {
            std::vector<QByteArray> bytes{"kestrava"};
            for (const QString& argument : c.arguments.split(' '))
                bytes.push_back(argument.toLocal8Bit());
            std::vector<char*> argv;
            argv.reserve(bytes.size());
            for (QByteArray& argument : bytes)
                argv.push_back(argument.data());
            std::ostringstream out, err;
            const CommandLine line =
                readCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
            QStringList outcome{QString::number(line.exitCode.value_or(-1))};
            if (line.exitCode) {
                outcome << QString::fromStdString(out.str() + err.str()).section('\n', 0, 0);
            } else {
                QStringList qt, folders;
                for (size_t i = 1; i < line.qtArguments.size(); ++i)
                    qt << QString::fromLocal8Bit(line.qtArguments[i]);
                for (const std::string& folder : line.folders)
                    folders << QString::fromStdString(folder);
                outcome << qt.join(' ') << folders.join(' ');
                QVERIFY(out.str().empty() && err.str().empty());
            }
            QCOMPARE(c.arguments + " -> " + outcome.join(" | "),
                     c.arguments + " -> " + QString(c.outcome).replace("%1", QDir::currentPath()));
        }
    }

    // As "Open With Kestrava" starts it: Find mode, even when saved as Script, the folders in
    // Folder(s), the cursor in Find, and no larger than the screen.
    void startsOnTheFoldersGiven() {
        m_env->write("KestravaConfig.xml",
                     "<KestravaConfig><options><initialmode value=\"Script\"/></options>"
                     "<forms><mainform top=\"0\" left=\"0\" height=\"40000\" "
                     "width=\"40000\"/></forms></KestravaConfig>");
        const QStringList folders{root() + "/a b", root()};
        whenWindowOpens([folders](MainWindow& w) {
            const auto closeAnyway = qScopeGuard([&w] { w.close(); }); // a failure must not hang
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QCOMPARE(w.config().bounds.width, 40000);
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            QVERIFY(w.width() <= screen.width() && w.height() <= screen.height());
            QCOMPARE(w.mode(), Mode::Find);
            QCOMPARE(combo(w, "foldersCombo")->currentText(), folders.join("<+>|") + "<+>");
            QCOMPARE(combo(w, "filesCombo")->currentText(), QString("*.*"));
            QTRY_VERIFY(combo(w, "findCombo")->hasFocus());
        });
        QCOMPARE(runKestrava(std::make_unique<FakeUiServices>(), folders), 0);
        QVERIFY(m_env->read("kestrava.ini").contains("a b<+>"));
    }

    void historiesSettingsAndSelectionsSurviveARestartAndScriptModeClearsThem() {
        {
            TestWindow w;
            item(*w, "replaceModeAction")->trigger();
            // What is typed is what is searched and written: only File(s) folds letter case (masks
            // ignore it), keeping the spelling typed last. Empty text and repeats add nothing.
            for (const char* folders : {"/srv", "/etc", "", "/Etc"})
                commit(combo(*w, "foldersCombo"), folders);
            commit(combo(*w, "filesCombo"), "*.conf");
            commit(combo(*w, "filesCombo"), "*.CONF");
            for (const char* find : {"a b", "", "a b"})
                commit(combo(*w, "findCombo"), find);
            for (const char* replace : {"^$", "", "dog", "DOG"})
                commit(combo(*w, "replaceCombo"), replace);
            QVERIFY(w.fake->shown.empty());
            w->settings().caseSensitiveMatching = true;
            w->settings().initialMode = kestrava::config::InitialMode::LastUsed;
            QVERIFY(item(*w, "lineNumbersAction")->isChecked()); // shown unless turned off
            item(*w, "lineNumbersAction")->trigger();
            typeInto(combo(*w, "filesCombo"), "*.typed"); // focused, never left: closing commits it
            QVERIFY(w->close());
        }
        TestWindow again;
        QCOMPARE(entries(combo(*again, "filesCombo")), (QStringList{"*.CONF", "*.typed"}));
        QCOMPARE(entries(combo(*again, "foldersCombo")), (QStringList{"/etc", "/Etc", "/srv"}));
        QCOMPARE(entries(combo(*again, "replaceCombo")), (QStringList{"^$", "dog", "DOG"}));
        QVERIFY(again->settings().caseSensitiveMatching);
        QVERIFY(!item(*again, "lineNumbersAction")->isChecked());
        QCOMPARE(again->mode(), Mode::FindAndReplace); // the last mode, with its selections
        QCOMPARE(combo(*again, "foldersCombo")->currentText(), QString("/Etc"));
        QCOMPARE(combo(*again, "findCombo")->currentText(), QString("a b"));
        chooseMode(*again, Mode::Find);
        again->hide(); // only the first activation sets the start-up mode
        again->show();
        QCOMPARE(again->mode(), Mode::Find);
        QCOMPARE(combo(*again, "foldersCombo")->currentText(), "/Etc"); // from the saved index

        // Script mode moves the folder rows down and shows the root row in their place; Find,
        // Script, Find clears the saved selections but keeps Replace's.
        const auto settle = [&again] { // the layouts place what a change showed or hid
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            again->centralWidget()->layout()->activate();
        };
        settle();
        const int foldersTop = combo(*again, "foldersCombo")->y();
        const int filesTop = combo(*again, "filesCombo")->y();
        item(*again, "scriptModeAction")->trigger();
        settle();
        QCOMPARE(combo(*again, "rootFolderCombo")->y(), foldersTop);
        QVERIFY(combo(*again, "foldersCombo")->y() > foldersTop);
        QCOMPARE(combo(*again, "filesCombo")->y() - combo(*again, "foldersCombo")->y(),
                 filesTop - foldersTop);
        QVERIFY(combo(*again, "rootFolderCombo")->isEnabled());
        QVERIFY(!combo(*again, "foldersCombo")->isEnabled());
        for (const char* box : {"foldersCombo", "filesCombo", "findCombo", "replaceCombo"})
            QCOMPARE(combo(*again, box)->currentText(), QString());
        item(*again, "findModeAction")->trigger();
        settle();
        QCOMPARE(combo(*again, "foldersCombo")->y(), foldersTop); // offsets never accumulate
        QCOMPARE(combo(*again, "filesCombo")->currentText(), QString());
        QCOMPARE(again->savedItemIndex(HistoryBox::FoldersToSearch), -1);
        QCOMPARE(again->savedItemIndex(HistoryBox::FindExpressions), -1);
        QCOMPARE(again->savedItemIndex(HistoryBox::ReplaceExpressions), 2);
        item(*again, "replaceModeAction")->trigger();
        QCOMPARE(combo(*again, "replaceCombo")->currentText(), "DOG");
        QCOMPARE(combo(*again, "findCombo")->currentText(), QString());
        QCOMPARE(combo(*again, "findCombo")->count(), 1); // histories themselves are untouched
    }

    // An unreadable file is named with the reason, and kept before it is saved over. Beside a
    // damaged settings file the history still loads, and whole: a long one with one list update
    // per box (one search of the list per entry took minutes at this size).
    void unreadableFilesAreNamedAndKept() {
        constexpr int kCount = 20000;
        QByteArray ini;
        for (const char* section : {"FoldersToSearch", "FilesToSearch", "FindExpressions"}) {
            ini += QByteArray("[") + section + "]\n";
            for (int i = kCount; i > 0; --i)
                ini += QByteArray::number(i) + "=/e" + QByteArray::number(i) + "\n";
        }
        ini += "[FindExpressions]\n1=/e7\n"; // a repeat adds nothing
        const struct {
            QString damaged;
            QByteArray bytes;
            const char* reason;
        } cases[] = {{"KestravaConfig.xml", "<KestravaConfig><options><fontsize val",
                      "The defaults are in force"},
                     {"kestrava.ini", QByteArray(65 << 20, ';'), "the file is too large"}};
        for (const auto& c : cases) {
            m_env.emplace();
            m_env->write("kestrava.ini", ini);
            m_env->write(c.damaged, c.bytes);
            {
                TestWindow w;
                QCOMPARE(w.fake->shown.size(), size_t(1));
                const QString text = w.fake->lastText();
                QVERIFY2(text.contains(c.reason) && text.contains(m_env->file(c.damaged)) &&
                             text.contains(c.damaged + ".damaged when"),
                         qPrintable(text));
                if (c.damaged != "kestrava.ini") {
                    for (const char* box : {"foldersCombo", "filesCombo", "findCombo"})
                        QCOMPARE(combo(*w, box)->count(), kCount);
                    QCOMPARE(combo(*w, "findCombo")->itemText(0), "/e20000"); // file order
                    QCOMPARE(entries(combo(*w, "foldersCombo")).mid(0, 2),
                             (QStringList{"/e1", "/e10"})); // sorted
                }
                QCOMPARE(w->mode(), kestrava::ui::Mode::Find);
                QVERIFY(w->close());
            }
            QCOMPARE(m_env->read(c.damaged + ".damaged"), c.bytes);
            QVERIFY(m_env->read(c.damaged).contains(
                c.damaged == "kestrava.ini" ? "[ItemIndex]" : "<KestravaConfig"));
        }
    }

    // Preferences applies the size in force when it closes, even when cancelled.
    void fontSizeSetsPointSizes() {
        TestWindow w;
        PreferencesDialog preferences(w->settings(), w.window.get());
        w->setPreferencesDialog(&preferences);
        const struct {
            kestrava::config::FontSize size;
            int points, modeName;
        } sizes[] = {{kestrava::config::FontSize::Large, 12, 14},
                     {kestrava::config::FontSize::Medium, 11, 14},
                     {kestrava::config::FontSize::Small, 10, 12}};
        for (const auto& s : sizes) {
            w->settings().fontSize = s.size; // in force, not yet applied
            const int other = (static_cast<int>(s.size) + 1) % 3;
            QTimer::singleShot(0, &preferences, [&preferences, other] {
                preferences.fontSizeCombo->setCurrentIndex(other);
                preferences.reject();
            });
            item(*w, "preferencesAction")->trigger();
            for (const char* name :
                 {"foldersCombo", "findCombo", "foldersLabel", "itemNumberLabel", "findButton"})
                QVERIFY2(widget(*w, name)->font().pointSize() == s.points, name);
            QCOMPARE(label(*w, "modeNameLabel")->font().pointSize(), s.modeName);
            QCOMPARE(label(*w, "modeStatusLabel")->font().pointSize(), std::min(s.points, 11));
            QCOMPARE(label(*w, "regexHintLabel")->font().pointSize(), s.points - 2);
            QVERIFY(combo(*w, "findCombo")->font().fixedPitch() ||
                    combo(*w, "findCombo")->font().styleHint() == QFont::Monospace);
        }
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
        QCOMPARE(w.fake->lastText().count("\r\n"), 1); // both files fail alike: said once
    }

    // A logout must save in every state: with the start-up's error box open, and with a question
    // open, which takes the harmless answer.
    void signalDuringABoxOrAQuestionSavesAndEnds() {
        for (const bool startUpBox : {true, false}) {
            m_env.emplace();
            m_env->write("kestrava.ini", "[FindExpressions]\n1=kept\n");
            if (startUpBox) {
                m_env->write("KestravaConfig.xml", "");
                whenModalShown([](QDialog*) { ::raise(SIGTERM); });
            } else {
                whenWindowOpens([](MainWindow& w) {
                    commit(combo(w, "filesCombo"), "*.sig"); // saved only if the window saves
                    openHistoryMenu(w, combo(w, "findCombo"));
                    whenModalShown([](QDialog*) { ::raise(SIGTERM); });
                    item(w, "removeAllAction")->trigger();
                });
            }
            QCOMPARE(runKestrava(makeQtUiServices()), 0);
            const QByteArray ini = m_env->read("kestrava.ini");
            QVERIFY(ini.contains("kept") && (startUpBox || ini.contains("*.sig")));
            QVERIFY(m_env->read("KestravaConfig.xml").contains("<KestravaConfig"));
        }
    }

    void savedBoundsAreFittedToAScreen() {
        const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        const struct {
            const char* what;
            QRect bounds, placed; // placed invalid: the default placement
        } cases[] = {
            {"inside", {100, 50, 800, 600}, {100, 50, 800, 600}},
            {"no size", {100, 50, 0, 600}, {}},
            {"off to the right", {5000, 50, 800, 600}, {}},
            {"title bar above the screen", {100, -400, 800, 600}, {}},
            {"mostly off the left, still grabbable", {-700, 50, 800, 600}, {-700, 50, 800, 600}},
            {"on the second screen", {2000, 100, 800, 600}, {2000, 100, 800, 600}},
            {"huge", {0, 0, 40000, 40000}, {0, 0, 1920, 1080}},
            {"too tall on the second screen", {2000, 500, 800, 5000}, {2000, 0, 800, 1024}},
        };
        for (const auto& c : cases) {
            const kestrava::config::WindowBounds b{c.bounds.top(), c.bounds.left(),
                                                   c.bounds.height(), c.bounds.width()};
            QVERIFY2(kestrava::ui::fitBoundsToScreens(b, screens) == c.placed, c.what);
        }
    }

    // Each mode's rows, action button, Mode item and texts; Find and Replace enable their action
    // once every box they need is filled.
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
            if (mode != Mode::Find && mode != Mode::FindAndReplace)
                continue;
            // The action is enabled on the key release that fills the last box it needs.
            QStringList needs{"foldersCombo", "filesCombo", "findCombo"};
            if (mode == Mode::FindAndReplace)
                needs << "replaceCombo";
            QPushButton* action = button(*w, qPrintable(actionButton));
            for (const QString& name : needs) {
                QComboBox* box = combo(*w, qPrintable(name));
                box->setEditText("a"); // with no edit signal: only the key release refreshes
                QVERIFY(!action->isEnabled());
                QTest::keyRelease(box, Qt::Key_A);
            }
            QVERIFY(action->isEnabled());
            QCOMPARE(w->statusBarText(),
                     mode == Mode::Find
                         ? " Enter search criteria, then press [Find] when ready"
                         : " Enter search and replace criteria, then press [Replace] when ready");
            QCOMPARE(label(*w, "modeStatusLabel")->text(), "(" + w->statusBarText().mid(1) + ")");
            typeInto(combo(*w, "filesCombo"), "");
            QVERIFY(!action->isEnabled());
        }
    }

    // Remove Entry deletes only a committed selection, Remove All asks first, and the pick buttons
    // commit what was picked.
    void boxesTakeWhatWasPickedAndRemoveOnlyCommittedEntries() {
        TestWindow w;
        QComboBox* find = combo(*w, "findCombo");
        QComboBox* files = combo(*w, "filesCombo");
        auto* removeEntry = item(*w, "removeEntryAction");
        openHistoryMenu(*w, find); // an empty box: nothing to remove
        QVERIFY(!removeEntry->isEnabled());
        QVERIFY(!item(*w, "removeAllAction")->isEnabled());
        commit(find, "one");
        commit(find, "two");
        // Typed but never committed: nothing is deleted, the box is emptied.
        typeInto(find, "tw");
        openHistoryMenu(*w, find);
        QVERIFY(removeEntry->isEnabled());
        removeEntry->trigger();
        QCOMPARE(entries(find), (QStringList{"one", "two"}));
        QCOMPARE(find->currentText(), QString());
        // A selected entry goes, and the saved selection does not point past it.
        commit(find, "two");
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), 1);
        openHistoryMenu(*w, find);
        find->setCurrentIndex(0);
        find->setEditText("one");
        removeEntry->trigger();
        QCOMPARE(entries(find), QStringList{"two"});
        QCOMPARE(w->savedItemIndex(HistoryBox::FindExpressions), 0);

        commit(files, "*.c");
        commit(files, "*.h");
        openHistoryMenu(*w, files);
        w.fake->answers = {false, true};
        item(*w, "removeAllAction")->trigger();
        QCOMPARE(w.fake->questions.back(), QString("Remove all File(s) items ?"));
        QCOMPARE(entries(files), (QStringList{"*.c", "*.h"}));
        QCOMPARE(files->currentText(), QString("*.h"));
        item(*w, "removeAllAction")->trigger();
        QCOMPARE(files->count(), 0);
        QCOMPARE(files->currentText(), QString());
        QCOMPARE(w->savedItemIndex(HistoryBox::FilesToSearch), -1);

        // The pick buttons commit what was picked; a cancelled pick changes nothing.
        QComboBox* folders = combo(*w, "foldersCombo");
        w.fake->folderToPick = "/usr/share";
        QTest::mouseClick(part<QToolButton>(*w, "pickFoldersButton"), Qt::LeftButton);
        QCOMPARE(entries(folders), QStringList{"/usr/share"});
        commit(folders, "/usr/share<+><excluding doc>");
        w.fake->fileToOpen = "/usr/share/dict/words";
        QTest::mouseClick(part<QToolButton>(*w, "pickFileButton"), Qt::LeftButton);
        QCOMPARE(w.fake->lastOpenTitle, QString("Choose a File"));
        QCOMPARE(w.fake->lastOpenFolder, QString("/usr/share")); // the entry's folder, not its text
        QCOMPARE(files->currentText(), QString("words"));
        w.fake->folderToPick.clear();
        QTest::mouseClick(part<QToolButton>(*w, "pickFoldersButton"), Qt::LeftButton);
        QCOMPARE(folders->count(), 2);
    }

    // Dropped folders are searched with their subfolders; dropped files alone, even where their
    // names hold wildcards, wherever on the window they land. Paths are relative to the tree.
    void droppedPathsFillTheBoxes() {
        for (const char* name : {"a/x[1].txt", "a/x1.txt", "a/sub/y.txt", "a/sub/x1.txt"})
            writeFile(root() + "/" + name, "text\n");
        QDir().mkpath(root() + "/b");
        const struct {
            QStringList dropped;
            const char* target; // the box the drop lands on, or the window
            QString folders, files;
            int scanned; // files a Find then lists, -1: nothing taken
        } cases[] = {
            {{"a", "b"}, nullptr, "%1/a<+>|%1/b<+>", "*.*", 4},
            {{"a/x[1].txt", "a/sub/y.txt", "a/x[1].txt"},
             "findCombo",
             "%1/a|%1/a/sub",
             "x\\[1].txt|y.txt",
             2},
            {{"a/x1.txt", "b"}, nullptr, "%1/b<+>", "*.*", 0}, // folders win over files
            {{"https://example.org/a"}, nullptr, "", "", -1},  // not a local file
        };
        for (const auto& c : cases) {
            TestWindow w;
            QList<QUrl> urls;
            for (const QString& path : c.dropped)
                urls << (path.contains("://") ? QUrl(path)
                                              : QUrl::fromLocalFile(root() + "/" + path));
            QMimeData data;
            data.setUrls(urls);
            data.setText(urls.front().toString()); // as file managers offer it: a box would take it
            QWidget* on = c.target == nullptr ? static_cast<QWidget*>(w.window.get())
                                              : combo(*w, c.target)->lineEdit();
            // Qt hands a drop only to the widget that accepted the drag's entry.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(on, &enter);
            QCOMPARE(enter.isAccepted(), c.scanned >= 0);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(on, &drop);
            QCOMPARE(combo(*w, "foldersCombo")->currentText(),
                     QString(c.folders).replace("%1", root()));
            QCOMPARE(combo(*w, "filesCombo")->currentText(), c.files);
            QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
            if (c.scanned < 0)
                continue;
            QTRY_VERIFY(combo(*w, "findCombo")->hasFocus());
            QCOMPARE(w.fake->lastText().endsWith("/a/x1.txt"),
                     c.dropped.front().endsWith("x1.txt"));
            runFind(w, combo(*w, "foldersCombo")->currentText(), c.files, "text");
            QCOMPARE(w->results().filesScanned, c.scanned);
        }
    }
};

QTEST_MAIN(TestMainWindowLifecycle)
#include "main_window_lifecycle_test.moc"
