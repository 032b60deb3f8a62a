// Script mode in the window: Accept, Delete and moves, the script grid in every state, enable
// states, New/Open/Save, leaving with unsaved changes, and script runs.
#include "main_window_test_support.h"

#include "script/script_edit.h"
#include "script/script_run.h"

namespace {

using Entry = kestrava::script::ScriptEntry;
using Kind = kestrava::script::ScriptLineKind;
using State = kestrava::ui::ScriptEditState;

// The items as the grid numbers them with their texts: "1 /a *.txt", "1.1 x r", ...
QStringList numbered(const kestrava::script::Script& script) {
    QStringList items;
    for (const Entry& e : script.entries)
        items << QString::fromStdString(kestrava::script::scriptItemNumber(e) + " " + e.heading() +
                                        " " + (e.isFolderFile() ? e.files : e.replace))
                     .trimmed();
    return items;
}

// The enabled item buttons, then the Script menu's: "append insert ... runScript | new open ...".
QString enabledControls(const MainWindow& w) {
    QStringList enabled;
    for (const char* name :
         {"appendItemButton", "insertItemButton", "changeItemButton", "deleteItemButton",
          "moveItemUpButton", "moveItemDownButton", "runScriptButton"})
        if (button(w, name)->isEnabled())
            enabled << QString(name).remove("Item").remove("Button");
    enabled << "|";
    for (const char* name :
         {"newScriptAction", "openScriptAction", "saveScriptAction", "saveScriptAsAction",
          "runScriptAction", "viewScriptAction", "viewScriptResultsAction"})
        if (item(w, name)->isEnabled())
            enabled << QString(name).remove("Script").remove("Action");
    return enabled.join(' ');
}

// Presses a key on the grid `times` times.
void pressOnGrid(const MainWindow& w, Qt::Key key, int times = 1) {
    for (int i = 0; i < times; ++i)
        QTest::keyClick(grid(w), key);
}

// Row of the grid that shows line `kind` of entry `index`.
int gridRow(const kestrava::script::Script& script, int32_t index, Kind kind) {
    for (size_t i = 0; i < script.lines.size(); ++i)
        if (script.lines[i].entryIndex == index && script.lines[i].lineKind == kind)
            return static_cast<int>(i) + 1;
    return -1;
}

} // namespace

class TestMainWindowScript : public WindowTest {
    Q_OBJECT
  private slots:
    void init() {
        WindowTest::init();
        m_w.emplace();
        chooseMode(**m_w, Mode::Script);
    }
    void cleanup() {
        m_w.reset();
        WindowTest::cleanup();
    }

    void appendNeedsFoldersFilesAndFindAndChangeEditsOnlyTheCurrentItem() {
        TestWindow& w = *m_w;
        QLabel* number = label(*w, "itemNumberLabel");
        QCOMPARE(enabledControls(*w), "append | open"); // nothing to run, save or view yet

        appendItem(*w, "/data", "", "x");
        QCOMPARE(w.fake->lastText(), QString("Folders and Files must be defined"));
        QCOMPARE(w->scriptState(), State::Append); // still editing, typed values kept
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString("x"));

        appendItem(*w, "/data", "*.txt", "");
        QCOMPARE(w->scriptState(), State::Viewing);
        appendItem(*w, "/data", "*.txt", "a");
        // The boxes start with the last group's values, and an empty Find is refused there.
        button(*w, "appendItemButton")->click();
        QCOMPARE(combo(*w, "foldersCombo")->currentText(), QString("/data"));
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
        QCOMPARE(number->text(), QString("Append"));
        // Readable and clear of every box; gone once Script mode is left.
        QVERIFY(number->isVisible() && number->width() > 20);
        for (QComboBox* box : {combo(*w, "rootFolderCombo"), combo(*w, "foldersCombo")})
            QVERIFY(!number->geometry().intersects(box->geometry()));
        button(*w, "acceptItemButton")->click();
        QCOMPARE(w.fake->lastText(), QString("Find expression must be defined"));
        button(*w, "cancelItemButton")->click();
        appendItem(*w, "/data", "*.md", "c", "r");
        QCOMPARE(numbered(w->script()),
                 (QStringList{"1 /data *.txt", "1.1 a", "2 /data *.md", "2.1 c r"}));

        button(*w, "changeItemButton")->click();
        QVERIFY(!combo(*w, "foldersCombo")->isEnabled());
        QCOMPARE(combo(*w, "filesCombo")->currentText(), QString("*.md")); // the group's values
        QVERIFY(combo(*w, "findCombo")->isEnabled());
        QVERIFY(!combo(*w, "rootFolderCombo")->isEnabled());
        QCOMPARE(number->text(), QString("2.1"));
        typeInto(combo(*w, "findCombo"), "z");
        typeInto(combo(*w, "replaceCombo"), "");
        button(*w, "acceptItemButton")->click();
        QCOMPARE(numbered(w->script()),
                 (QStringList{"1 /data *.txt", "1.1 a", "2 /data *.md", "2.1 z"}));
        pressOnGrid(*w, Qt::Key_Up);
        button(*w, "changeItemButton")->click();
        QVERIFY(combo(*w, "foldersCombo")->isEnabled());
        QVERIFY(!combo(*w, "findCombo")->isEnabled());
        typeInto(combo(*w, "filesCombo"), "*.h");
        button(*w, "acceptItemButton")->click();
        QCOMPARE(numbered(w->script()),
                 (QStringList{"1 /data *.txt", "1.1 a", "2 /data *.h", "2.1 z"}));
        w.fake->threeWayAnswers = {Answer::No};
        item(*w, "findModeAction")->trigger();
        QCOMPARE(number->text(), QString());
    }

    // The grid marks the current item in each state; clicks and arrow keys choose it, scrolled
    // into sight, Up and Down move it, and deleting from the end leaves the new last one current.
    void gridMarksChoosesAndMovesTheCurrentItemAndDeleteKeepsOne() {
        TestWindow& w = *m_w;
        appendItem(*w, "/a", "*.txt", "x", "r");
        appendItem(*w, "/b", "*.md", "y");
        const kestrava::script::Script& s = w->script();
        const ScriptColours colours;
        const QColor red(0xFF, 0, 0);
        // Viewing, current 2.1: its Find row highlighted, its blank row not; group 2 marked red.
        QCOMPARE(grid(*w)->rowCount(), int(s.lines.size()) + 2);
        const int find = gridRow(s, 3, Kind::Find);
        const auto cell = [&](int row, int column) {
            return scriptLineCell(s, itemEdit(w->scriptState()), row, column, colours);
        };
        QCOMPARE(cell(find, 1).fill, QColor(0xFF, 0xE4, 0xC4));
        QCOMPARE(cell(find, 1).text + cell(find, 2).text + cell(find, 3).text, "2.1Find:y");
        QCOMPARE(cell(find + 1, 0).fill, red); // its blank row
        QCOMPARE(cell(find + 1, 1).fill, colours.background);
        QCOMPARE(cell(gridRow(s, 2, Kind::Files), 0).fill, red);
        QCOMPARE(cell(gridRow(s, 1, Kind::Replace), 0).fill, colours.background);
        QCOMPARE(cell(gridRow(s, 1, Kind::Replace), 3).text, QString("r"));
        QCOMPARE(cell(int(s.lines.size()) + 1, 3).text, QString());

        button(*w, "appendItemButton")->click(); // blank, placeholder, blank after the last item
        const int count = int(s.lines.size());
        QCOMPARE(s.lines[size_t(count - 2)].lineKind, Kind::NewItem);
        QCOMPARE(cell(count - 1, 3).text, QString("New script item will be Appended here"));
        QCOMPARE(cell(count - 1, 2).fill, colours.highlight);
        QCOMPARE(cell(find, 1).fill, colours.background);
        button(*w, "cancelItemButton")->click();

        button(*w, "insertItemButton")->click(); // placeholder and blank before the current item
        const int placeholder = gridRow(s, 2, Kind::NewItem);
        QCOMPARE(placeholder + 2, gridRow(s, 3, Kind::Find));
        QCOMPARE(cell(placeholder, 3).text, QString("New script item will be Inserted here"));
        QCOMPARE(label(*w, "itemNumberLabel")->text(), QString("Insert"));
        button(*w, "cancelItemButton")->click();

        button(*w, "changeItemButton")->click();
        QCOMPARE(cell(find, 3).fill, colours.highlight);
        button(*w, "cancelItemButton")->click();
        QCOMPARE(cell(find, 3).fill, colours.currentItem);

        clickRow(*w, gridRow(s, 0, Kind::Files));
        QCOMPARE(s.currentEntry, 0);
        QCOMPARE(combo(*w, "foldersCombo")->currentText(), QString("/a"));
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString());
        // A blank separator row, the header row and the spare row choose nothing.
        for (int row : {gridRow(s, 1, Kind::Blank), 0, int(s.lines.size()) + 1}) {
            clickRow(*w, row);
            QCOMPARE(s.currentEntry, 0);
        }
        pressOnGrid(*w, Qt::Key_Down);
        QCOMPARE(s.currentEntry, 1);
        QCOMPARE(combo(*w, "foldersCombo")->currentText(), QString("/a")); // the governing group
        QCOMPARE(combo(*w, "findCombo")->currentText(), QString("x"));
        pressOnGrid(*w, Qt::Key_Down, 3); // the third press, at the last item, does nothing
        QCOMPARE(s.currentEntry, 3);
        // The last item cannot go down; 2.1 moves up into group 1, where it cannot go up again.
        QCOMPARE(enabledControls(*w),
                 "append insert change delete moveUp runScript | new open save saveAs run");
        button(*w, "moveItemUpButton")->click();
        QCOMPARE(numbered(s), (QStringList{"1 /a *.txt", "1.1 x r", "1.2 y", "2 /b *.md"}));
        QCOMPARE(label(*w, "itemNumberLabel")->text(), QString("1.2"));
        pressOnGrid(*w, Qt::Key_Up);
        QCOMPARE(s.currentEntry, 1);
        QCOMPARE(enabledControls(*w),
                 "append insert change delete moveDown runScript | new open save saveAs run");

        // An item appended to a script longer than the grid is scrolled into sight, and so is
        // the first one again when chosen.
        grid(*w)->resize(grid(*w)->width(), 6 * grid(*w)->defaultRowHeight());
        for (int i = 0; i < 8; ++i)
            appendItem(*w, "/c" + QString::number(i), "*.txt", "z");
        const int top = grid(*w)->topRow();
        QVERIFY2(top > 0 && int(s.lines.size()) < top + 6, qPrintable(QString::number(top)));
        pressOnGrid(*w, Qt::Key_Up, int(s.entries.size()));
        QCOMPARE(s.currentEntry, 0);
        QVERIFY(grid(*w)->topRow() <= 1);

        // The window says a refusal: 1.1 would come first.
        button(*w, "deleteItemButton")->click();
        QCOMPARE(w.fake->allShown(),
                 "error: Unable to Delete as a Folder(s)/File(s) entry is required before the "
                 "following Find/Replace entry");
        pressOnGrid(*w, Qt::Key_Down, int(s.entries.size()));
        while (!s.entries.empty()) {
            const auto last = int32_t(s.entries.size()) - 2;
            button(*w, "deleteItemButton")->click();
            QCOMPARE(s.currentEntry, last);
        }
        QCOMPARE(cell(2, 3).text, QString("  Empty Script"));
    }

    void menusFollowTheStateAndARunSearchesEveryGroupOrStopsWithTheItemsLine() {
        writeFile(root() + "/a.txt", "alpha one\nbeta\n");
        writeFile(root() + "/sub/b.md", "beta two\n");
        TestWindow& w = *m_w;
        appendItem(*w, root(), "*.txt", "ALPHA");
        appendItem(*w, "{RootFolder}/sub", "*.md", "beta");
        typeInto(combo(*w, "rootFolderCombo"), root());
        // Viewing, changed: everything but View Script and (nothing searched) View Results.
        QCOMPARE(enabledControls(*w),
                 "append insert change delete moveUp runScript | new open save saveAs run");

        button(*w, "appendItemButton")->click(); // editing: Accept or Cancel first
        for (const char* menu :
             {"fileMenu", "editMenu", "modeMenu", "viewMenu", "scriptMenu", "helpMenu"})
            QVERIFY2(!w->findChild<QMenu*>(menu)->menuAction()->isEnabled(), menu);
        QVERIFY(!button(*w, "runScriptButton")->isEnabled() && !grid(*w)->isEnabled());
        QVERIFY(widget(*w, "acceptCancelPanel")->isVisible());
        const QRect pair = widget(*w, "acceptCancelPanel")->geometry();
        const int bar = widget(*w, "scriptBar")->width();
        QVERIFY(pair.left() > bar / 2 && pair.right() < bar);
        QVERIFY(!widget(*w, "scriptButtonsPanel")->isVisible());
        QCOMPARE(label(*w, "modeStatusLabel")->text(), QString("(Append new script item)"));
        button(*w, "cancelItemButton")->click();
        QVERIFY(w->findChild<QMenu*>("scriptMenu")->menuAction()->isEnabled());

        QSignalSpy ended(w.window.get(), &MainWindow::runEnded);
        w.fake->answers = {true};
        button(*w, "runScriptButton")->click();
        QVERIFY(w.fake->questions.back().startsWith( // nothing to replace, nothing said of it
            "This script will find all matches to the \"Find\" expression(s) in the specified"));
        QVERIFY(!button(*w, "runScriptButton")->isEnabled());
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(w->scriptState(), State::Results);
        QCOMPARE(w->gridContent(), GridContent::Results);
        QCOMPARE(w->results().filesWithMatches, 2); // ALPHA ignored letter case
        QCOMPARE(label(*w, "modeStatusLabel")->text(), QString("(Results)"));
        QVERIFY(widget(*w, "summaryPanel")->isVisible() && !widget(*w, "scriptBar")->isVisible());
        QVERIFY(w->script().changed); // the run never touches the script
        QVERIFY(enabledControls(*w).endsWith("| view"));
        item(*w, "viewScriptAction")->trigger();
        QCOMPARE(w->scriptState(), State::Viewing);
        QCOMPARE(enabledControls(*w), "append insert change delete moveUp runScript | new open "
                                      "save saveAs run viewResults");

        // A refused or failed run keeps the results it or the last run found: a blank Root
        // Folder is said before anything is asked, and the question can be declined.
        for (const QString rootFolder : {"   ", "/x"}) {
            typeInto(combo(*w, "rootFolderCombo"), rootFolder);
            const bool blank = rootFolder.trimmed().isEmpty();
            w.fake->questions.clear();
            w.fake->shown.clear();
            w.fake->answers = {false};
            button(*w, "runScriptButton")->click();
            QVERIFY(!w->isRunning());
            QCOMPARE(w.fake->questions.size(), size_t(blank ? 0 : 1));
            QCOMPARE(w.fake->allShown(),
                     blank ? "message: " + QString::fromStdString(script::rootFolderEmptyText())
                           : QString());
            QCOMPARE(w->results().totalMatches, 2);
            QCOMPARE(w->scriptState(), State::Viewing);
        }
        typeInto(combo(*w, "rootFolderCombo"), root());
        writeFile(root() + "/a.txt", "alpha one\nalpha two\n");
        appendItem(*w, "{RootFolder}/sub", "*.md", "two", "2"); // 2.2, copied below the root
        appendItem(*w, "/b", "*.txt", "a(");
        runScript(w);
        QVERIFY2(w.fake->lastText().startsWith("Error running script: Invalid Find Expression: "),
                 qPrintable(w.fake->lastText()));
        QVERIFY(w.fake->lastText().endsWith(" on line 3.1"));
        QCOMPARE(w->gridContent(), GridContent::Script);
        QCOMPARE(w->results().totalMatches, 4); // the first groups' results stay viewable
        QCOMPARE(readFile(root() + "/sub/kesReplace/b.md"), QByteArray("beta 2\n"));
        QCOMPARE(enabledControls(*w), "append insert change delete moveUp runScript | new open "
                                      "save saveAs run viewResults");
    }

    // A fresh settings file keeps scripts in the XDG data folder, made as the first save's
    // dialog opens so that it opens there (even when that save is then cancelled).
    void saveAsNewOpenAndLeavingGoThroughTheScriptDialogs() {
        TestWindow& w = *m_w;
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/kestrava/scripts/";
        QCOMPARE(QString::fromStdString(w->settings().scriptsFolder), folder);
        QVERIFY(!QDir(folder).exists());
        appendItem(*w, "/a", "*.txt", "x", "r");
        item(*w, "saveScriptAsAction")->trigger(); // cancelled
        QCOMPARE(w.fake->saveDialogs.back().folder, folder);
        QVERIFY(QDir(folder).exists());

        w->settings().scriptsFolder = root().toStdString() + "/";
        const QString path = root() + "/saved";
        w.fake->filesToSave = {path};
        item(*w, "saveScriptAsAction")->trigger();
        QCOMPARE(w.fake->saveDialogs.back().folder, root() + "/");
        QFile saved(path + ".ksc"); // the bytes are the script file's business
        QCOMPARE(label(*w, "modeDetailLabel")->text(), path + ".ksc");
        QVERIFY(enabledControls(*w).endsWith("| new open saveAs run")); // nothing to save

        item(*w, "newScriptAction")->trigger();
        QVERIFY(w->script().entries.empty());
        QCOMPARE(label(*w, "modeDetailLabel")->text(), QString("New script"));

        QDir().mkpath(root() + "/other");
        QVERIFY(saved.copy(root() + "/other/copy.ksc"));
        w.fake->fileToOpen = root() + "/other/copy.ksc";
        item(*w, "openScriptAction")->trigger();
        QCOMPARE(w.fake->lastOpenFolder, root() + "/");
        QCOMPARE(w.fake->lastOpenFilter, QString("Script files (*.ksc)"));
        QCOMPARE(numbered(w->script()), (QStringList{"1 /a *.txt", "1.1 x r"}));
        QCOMPARE(w->settings().scriptsFolder, root().toStdString() + "/other/");
        QCOMPARE(label(*w, "itemNumberLabel")->text(), QString("1"));
        writeFile(root() + "/bad.ksc", "Find:       x\r\n");
        w.fake->fileToOpen = root() + "/bad.ksc";
        item(*w, "openScriptAction")->trigger();
        QVERIFY(w.fake->allShown().startsWith("error: Unable to load script file: " + root() +
                                              "/bad.ksc\r\n"));
        QVERIFY(w->script().entries.empty());

        // Leaving with unsaved changes asks; the window leaves or stays, and marks the mode in
        // force.
        const QString kept = root() + "/kept.ksc";
        const struct {
            const char* what;
            Answer answer;
            bool left;
        } cases[] = {{"cancel stays", Answer::Cancel, false},
                     {"no discards", Answer::No, true},
                     {"yes saves", Answer::Yes, true}};
        for (const auto& c : cases) {
            appendItem(*w, "/a", "*.txt", "x");
            w.fake->threeWayAnswers = {c.answer};
            if (c.answer == Answer::Yes)
                w.fake->filesToSave = {kept};
            item(*w, "findModeAction")->trigger(); // as the menu does: checked before asked
            QVERIFY2(w.fake->questions.back() == "Save changed script before continuing ?", c.what);
            QVERIFY2(w->mode() == (c.left ? Mode::Find : Mode::Script), c.what);
            for (const char* name : {"findModeAction", "replaceModeAction", "scriptModeAction"})
                QVERIFY2(item(*w, name)->isChecked() ==
                             (QByteArray(name) == (c.left ? "findModeAction" : "scriptModeAction")),
                         c.what);
            QVERIFY2(QFile::exists(kept) == (c.answer == Answer::Yes), c.what);
            if (c.left) // a new, empty script every time the mode is entered
                chooseMode(*w, Mode::Script);
            QVERIFY2(w->script().entries.size() == (c.left ? 0U : 2U), c.what);
        }
    }

  private:
    std::optional<TestWindow> m_w; // in Script mode
};

QTEST_MAIN(TestMainWindowScript)
#include "main_window_script_test.moc"
