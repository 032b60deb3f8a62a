// Script mode in the window: the Accept rules for appending, inserting and changing items, Delete
// and its refusal, the Up and Down moves, the script grid in every state, the enable states of
// the Script menu and the bar, choosing the current item, New/Open/Save, leaving Script mode with
// unsaved changes, and a whole script run with its results.
#include "MainWindowTestSupport.h"

#include "script/kes_uScriptRun.h"
#include "ui/kes_uDrawGrid.h"
#include "ui/kes_uScriptEdit.h"

#include <QMenu>
#include <QSignalSpy>

#include <optional>

namespace {

using Entry = kes::TkesScriptEntry;

Entry FF(const std::string& folders, const std::string& files) {
    return {0, 0, kes::sekFolderFile, folders, files, ""};
}
Entry FR(const std::string& find, const std::string& replace = "") {
    return {0, 0, kes::sekFindReplace, find, replace, ""};
}

// The items as the grid numbers them with their first text: "1 /a", "1.1 x", ...
QStringList Numbered(const kes::TkesScript& script) {
    QStringList items;
    for (const Entry& e : script.Entries)
        items << QString::fromStdString(kes::ScriptItemNumber(e) + " " + e.Text1);
    return items;
}

QStringList Texts(const Entry& e) {
    return {QString::fromStdString(e.Text1), QString::fromStdString(e.Text2),
            QString::fromStdString(e.Text3)};
}

// Adds an item through Append and the boxes, as a user does.
void Append(TfmMain& w, const QString& folders, const QString& files, const QString& find,
            const QString& replace = {}) {
    w.sbAppend->click();
    TypeInto(w.cboxFolders, folders);
    TypeInto(w.cboxFiles, files);
    TypeInto(w.cboxFind, find);
    TypeInto(w.cboxReplace, replace);
    w.bbAccept->click();
}

// The Script menu's enabled items, named by what follows "mmScript_".
QString EnabledScriptItems(const TfmMain& w) {
    QStringList names;
    for (const char* name : {"New", "Open", "Save", "SaveAs", "Run", "ViewScript", "ViewResults"})
        if (Item(w, ("mmScript_" + std::string(name)).c_str())->isEnabled())
            names << name;
    return names.join(' ');
}

// Row of the grid that shows line `kind` of entry `index`.
int GridRow(const kes::TkesScript& script, int32_t index, kes::TkesScriptLineKind kind) {
    for (size_t i = 0; i < script.Lines.size(); ++i)
        if (script.Lines[i].EntryIndex == index && script.Lines[i].LineKind == kind)
            return static_cast<int>(i) + 1;
    return -1;
}

kes::TkesScript MakeScript(std::vector<Entry> entries, int32_t current) {
    kes::TkesScript script;
    script.Entries = std::move(entries);
    script.CurrentEntry = current;
    kes::NumberScriptEntries(script);
    kes::BuildScriptLines(script);
    return script;
}

} // namespace

class TestMainWindowScript : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

    // ---- Accept rules

    void EmptyScriptOffersOnlyAppendAndNeedsFoldersAndFiles() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        QVERIFY(w->sbAppend->isEnabled());
        for (QPushButton* b : {w->sbInsert, w->sbChange, w->sbDelete, w->sbUp, w->sbDown})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(!w->bbRunScript->isEnabled());
        QCOMPARE(EnabledScriptItems(*w.window), "Open"); // nothing to run, save or view yet
        QCOMPARE(ScriptLineCell(w->Script(), 2, 3, {}).Text, QString("  Empty Script"));
        QCOMPARE(w->DrawGrid1->RowCount(), 3);

        Append(*w.window, "/data", "", "x");
        QCOMPARE(w.fake->LastText(), QString("Folders and Files must be defined"));
        QCOMPARE(w->ScriptState(), kes::ssAppend); // still editing, typed values kept
        QCOMPARE(w->cboxFind->currentText(), QString("x"));
        QVERIFY(w->Script().Entries.empty());

        Append(*w.window, "/data", "*.txt", "");
        QCOMPARE(Numbered(w->Script()), QStringList{"1 /data"});
        QCOMPARE(w->ScriptState(), kes::ssViewing);
        QVERIFY(w->Script().Changed);
    }

    void AppendJoinsTheLastGroupUnlessFoldersOrFilesChange() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/data", "*.txt", "a");
        Append(*w.window, "/data", "*.txt", "b");
        QCOMPARE(Numbered(w->Script()), (QStringList{"1 /data", "1.1 a", "1.2 b"}));
        QCOMPARE(w->Script().CurrentEntry, 2);
        // The boxes start with the last group's values, and an empty Find is refused there.
        w->sbAppend->click();
        QCOMPARE(w->cboxFolders->currentText(), QString("/data"));
        QCOMPARE(w->cboxFind->currentText(), QString());
        QCOMPARE(w->laItemNo->text(), QString("Append"));
        // Readable and clear of every box; gone once Script mode is left.
        QVERIFY(w->laItemNo->isVisible() && w->laItemNo->width() > 20);
        QCOMPARE(w->laItemNo->font().pointSize(), w->laFolders->font().pointSize());
        for (QComboBox* box : {w->cboxRootFolder, w->cboxFolders})
            QVERIFY(!w->laItemNo->geometry().intersects(box->geometry()));
        w->bbAccept->click();
        QCOMPARE(w.fake->LastText(), QString("Find expression must be defined"));
        w->bbCancel->click();
        Append(*w.window, "/data", "*.md", "c");
        QCOMPARE(Numbered(w->Script()),
                 (QStringList{"1 /data", "1.1 a", "1.2 b", "2 /data", "2.1 c"}));
        QCOMPARE(w->Script().CurrentEntry, 4);
        w.fake->ThreeWayAnswers = {anNo};
        w->SetMode(kes::mdFind);
        QCOMPARE(w->laItemNo->text(), QString());
    }

    void InsertComparesWithTheGroupBeforeTheInsertionPoint_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("folders"); // empty: the boxes are left as shown
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("newCurrent");
        // Start: 1 /a, 1.1 x, 2 /b, 2.1 y.
        QTest::newRow("before the first find of a group joins the group")
            << 1 << "" << QStringList{"1 /a", "1.1 new", "1.2 x", "2 /b", "2.1 y"} << 1;
        QTest::newRow("at the very first item always starts a group")
            << 0 << "" << QStringList{"1 /a", "1.1 new", "2 /a", "2.1 x", "3 /b", "3.1 y"} << 1;
        QTest::newRow("before a group with other values copies them into a new group")
            << 2 << "" << QStringList{"1 /a", "1.1 x", "2 /b", "2.1 new", "3 /b", "3.1 y"} << 3;
        QTest::newRow("other folders start a group that takes the following items")
            << 3 << "/c" << QStringList{"1 /a", "1.1 x", "2 /b", "3 /c", "3.1 new", "3.2 y"} << 4;
    }
    void InsertComparesWithTheGroupBeforeTheInsertionPoint() {
        QFETCH(int, current);
        QFETCH(QString, folders);
        QFETCH(QStringList, expected);
        QFETCH(int, newCurrent);
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x");
        Append(*w.window, "/b", "*.txt", "y");
        ClickRow(*w.window,
                 GridRow(w->Script(), current, current % 2 == 0 ? kes::slkFolders : kes::slkFind));
        QCOMPARE(w->Script().CurrentEntry, current);
        w->sbInsert->click();
        QCOMPARE(w->laItemNo->text(), QString("Insert"));
        if (!folders.isEmpty())
            TypeInto(w->cboxFolders, folders);
        TypeInto(w->cboxFind, "new");
        w->bbAccept->click();
        QCOMPARE(Numbered(w->Script()), expected);
        QCOMPARE(w->Script().CurrentEntry, newCurrent);
    }

    void ChangeEditsOnlyTheCurrentItemsOwnRows() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x", "r");
        w->sbChange->click();
        QCOMPARE(w->ScriptState(), kes::ssChange);
        QVERIFY(!w->cboxFolders->isEnabled());
        QCOMPARE(w->cboxFolders->currentText(), QString("/a")); // the group's values, shown
        QVERIFY(w->cboxFind->isEnabled());
        QVERIFY(!w->cboxRootFolder->isEnabled());
        QCOMPARE(w->laItemNo->text(), QString("1.1"));
        TypeInto(w->cboxFind, "");
        w->bbAccept->click();
        QCOMPARE(w.fake->LastText(), QString("Find expression must be defined"));
        TypeInto(w->cboxFind, "z");
        TypeInto(w->cboxReplace, "");
        w->bbAccept->click();
        QCOMPARE(Texts(w->Script().Entries[1]), (QStringList{"z", "", ""}));
        QCOMPARE(Texts(w->Script().Entries[0]), (QStringList{"/a", "*.txt", ""}));

        w->DrawGrid1->setFocus();
        QTest::keyClick(w->DrawGrid1, Qt::Key_Up);
        w->sbChange->click();
        QVERIFY(w->cboxFolders->isEnabled());
        QVERIFY(!w->cboxFind->isEnabled());
        TypeInto(w->cboxFiles, "*.md");
        w->bbAccept->click();
        QCOMPARE(Texts(w->Script().Entries[0]), (QStringList{"/a", "*.md", ""}));
    }

    // ---- Delete and moves

    void DeleteRefusesToLeaveAFindFirstAndKeepsACurrentItem() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x");
        Append(*w.window, "/b", "*.txt", "y");
        w->DrawGrid1->setFocus();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(w->DrawGrid1, Qt::Key_Up);
        QCOMPARE(w->Script().CurrentEntry, 0);
        w.fake->Shown.clear();
        w->sbDelete->click(); // 1.1 would come first
        QCOMPARE(w.fake->AllShown(),
                 "error: Unable to Delete as a Folder(s)/File(s) entry is required before the "
                 "following Find/Replace entry");
        QTest::keyClick(w->DrawGrid1, Qt::Key_Down);
        w->sbDelete->click(); // now the first item may go: a Folder(s)/File(s) item follows
        QTest::keyClick(w->DrawGrid1, Qt::Key_Up);
        w->sbDelete->click();
        QCOMPARE(Numbered(w->Script()), (QStringList{"1 /b", "1.1 y"}));
        QCOMPARE(w->Script().CurrentEntry, 0);
        QTest::keyClick(w->DrawGrid1, Qt::Key_Down);
        w->sbDelete->click(); // the last item: the new last one becomes current
        QCOMPARE(w->Script().CurrentEntry, 0);
        w->sbDelete->click();
        QVERIFY(w->Script().Entries.empty());
        QCOMPARE(w->Script().CurrentEntry, -1);
        QCOMPARE(ScriptLineCell(w->Script(), 2, 3, {}).Text, QString("  Empty Script"));
    }

    void MovesKeepGroupsWhole_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QStringList>("expected"); // empty: the move is refused
        QTest::addColumn<int>("newCurrent");
        // Start: 1 /a, 1.1 p, 1.2 q, 2 /b, 2.1 s.
        QTest::newRow("find down within its group")
            << 1 << false << QStringList{"1 /a", "1.1 q", "1.2 p", "2 /b", "2.1 s"} << 2;
        QTest::newRow("last find down into the next group")
            << 2 << false << QStringList{"1 /a", "1.1 p", "2 /b", "2.1 q", "2.2 s"} << 3;
        QTest::newRow("first find up into the group before")
            << 4 << true << QStringList{"1 /a", "1.1 p", "1.2 q", "1.3 s", "2 /b"} << 3;
        QTest::newRow("first find of the first group cannot go up")
            << 1 << true << QStringList{} << 1;
        QTest::newRow("group up past the group before")
            << 3 << true << QStringList{"1 /b", "1.1 s", "2 /a", "2.1 p", "2.2 q"} << 0;
        QTest::newRow("group down past the next group")
            << 0 << false << QStringList{"1 /b", "1.1 s", "2 /a", "2.1 p", "2.2 q"} << 2;
        QTest::newRow("last group cannot go down") << 3 << false << QStringList{} << 3;
        QTest::newRow("first group cannot go up") << 0 << true << QStringList{} << 0;
    }
    void MovesKeepGroupsWhole() {
        QFETCH(int, current);
        QFETCH(bool, up);
        QFETCH(QStringList, expected);
        QFETCH(int, newCurrent);
        kes::TkesScript script =
            MakeScript({FF("/a", "*"), FR("p"), FR("q"), FF("/b", "*"), FR("s")}, current);
        const QStringList before = Numbered(script);
        QCOMPARE(kes::CanMoveScriptItem(script, up), !expected.isEmpty());
        QCOMPARE(kes::MoveScriptItem(script, up), !expected.isEmpty());
        QCOMPARE(Numbered(script), expected.isEmpty() ? before : expected);
        QCOMPARE(script.CurrentEntry, newCurrent);
        QCOMPARE(script.Changed, !expected.isEmpty());
    }

    void UpAndDownButtonsMoveAndFollowTheirEnableRules() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "p");
        Append(*w.window, "/a", "*.txt", "q");
        QVERIFY(w->sbUp->isEnabled());
        QVERIFY(!w->sbDown->isEnabled()); // the last item
        w->sbUp->click();
        QCOMPARE(Numbered(w->Script()), (QStringList{"1 /a", "1.1 q", "1.2 p"}));
        QCOMPARE(w->laItemNo->text(), QString("1.1"));
        QVERIFY(!w->sbUp->isEnabled()); // it would come before the first Folder(s)/File(s)
        QVERIFY(w->sbDown->isEnabled());
        QVERIFY(Item(*w.window, "mmScript_Save")->isEnabled());
    }

    // ---- The grid and the current item

    void GridMarksTheCurrentItemAndItsGroupInEachState() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x", "r");
        Append(*w.window, "/b", "*.md", "y");
        const kes::TkesScript& s = w->Script();
        const TkesScriptColours colours;
        const QColor current(0xFF, 0xE4, 0xC4);
        const QColor red(0xFF, 0, 0);
        // Viewing, current 2.1: its Find row highlighted, its blank row not; group 2 marked red.
        QCOMPARE(w->DrawGrid1->RowCount(), int(s.Lines.size()) + 2);
        const int find = GridRow(s, 3, kes::slkFind);
        const auto cell = [&](int row, int column) {
            return ScriptLineCell(s, row, column, colours);
        };
        QCOMPARE(cell(find, 1).Fill, current);
        QCOMPARE(cell(find, 1).Text + cell(find, 2).Text + cell(find, 3).Text, "2.1Find:y");
        QCOMPARE(cell(find + 1, 0).Fill, red); // its blank row
        QCOMPARE(cell(find + 1, 1).Fill, colours.Background);
        QCOMPARE(cell(GridRow(s, 2, kes::slkFiles), 0).Fill, red);
        QCOMPARE(cell(GridRow(s, 1, kes::slkReplace), 0).Fill, colours.Background);
        QCOMPARE(cell(GridRow(s, 1, kes::slkReplace), 3).Text, QString("r"));
        QCOMPARE(cell(int(s.Lines.size()) + 1, 3).Text, QString());

        w->sbAppend->click(); // blank, placeholder, blank after the last item
        const int count = int(s.Lines.size());
        QCOMPARE(s.Lines[size_t(count - 2)].LineKind, kes::slkNewItem);
        QCOMPARE(cell(count - 1, 3).Text, QString("New script item will be Appended here"));
        QCOMPARE(cell(count - 1, 2).Fill, colours.Highlight);
        QCOMPARE(cell(find, 1).Fill, colours.Background);
        w->bbCancel->click();

        w->sbInsert->click(); // the placeholder and a blank stand just before the current item
        const int placeholder = GridRow(s, 2, kes::slkNewItem);
        QCOMPARE(placeholder + 2, GridRow(s, 3, kes::slkFind));
        QCOMPARE(cell(placeholder, 3).Text, QString("New script item will be Inserted here"));
        w->bbCancel->click();

        w->sbChange->click();
        QCOMPARE(cell(find, 3).Fill, colours.Highlight);
        w->bbCancel->click();
        QCOMPARE(cell(find, 3).Fill, current);
    }

    void MouseAndArrowKeysChooseTheCurrentItem() {
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x");
        Append(*w.window, "/b", "*.txt", "y");
        const kes::TkesScript& s = w->Script();
        ClickRow(*w.window, GridRow(s, 0, kes::slkFiles));
        QCOMPARE(s.CurrentEntry, 0);
        QCOMPARE(w->cboxFolders->currentText(), QString("/a"));
        QCOMPARE(w->cboxFind->currentText(), QString());
        QCOMPARE(w->laItemNo->text(), QString("1"));
        // A blank separator row, the header row and the spare row choose nothing.
        for (int row : {GridRow(s, 1, kes::slkBlank), 0, int(s.Lines.size()) + 1}) {
            ClickRow(*w.window, row);
            QCOMPARE(s.CurrentEntry, 0);
        }
        QTest::keyClick(w->DrawGrid1, Qt::Key_Down);
        QCOMPARE(s.CurrentEntry, 1);
        QCOMPARE(w->cboxFolders->currentText(), QString("/a")); // the governing group
        QCOMPARE(w->cboxFind->currentText(), QString("x"));
        for (int i = 0; i < 3; ++i) // the third press, at the last item, does nothing
            QTest::keyClick(w->DrawGrid1, Qt::Key_Down);
        QCOMPARE(s.CurrentEntry, 3);
        QTest::keyClick(w->DrawGrid1, Qt::Key_Up);
        QCOMPARE(s.CurrentEntry, 2);
    }

    // ---- Enable states

    void MenusAndButtonsFollowTheEditingState() {
        WriteFile(F->Root() + "/a.txt", "x\n");
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, F->Root(), "*.txt", "x");
        // Viewing, changed: everything but View Script and (nothing searched) View Results.
        QCOMPARE(EnabledScriptItems(*w.window), "New Open Save SaveAs Run");
        QVERIFY(w->bbRunScript->isEnabled());
        QVERIFY(w->DrawGrid1->isEnabled());
        QCOMPARE(w->laModeStatus->text(), QString("(Viewing)"));

        w->sbAppend->click(); // editing: Accept or Cancel first
        for (const char* menu : {"mmFile", "mmMode", "mmView", "mmScript", "mmHelp"})
            QVERIFY2(!w->findChild<QMenu*>(menu)->menuAction()->isEnabled(), menu);
        QVERIFY(!w->bbRunScript->isEnabled());
        QVERIFY(!w->DrawGrid1->isEnabled());
        QVERIFY(w->paScriptAcceptCancel->isVisible());
        // Both buttons lie inside the bar, at its right end.
        const QRect pair = w->paScriptAcceptCancel->geometry();
        const int bar = w->paScriptMaintenance->width();
        QVERIFY(pair.left() > bar / 2 && pair.right() < bar);
        QVERIFY(!w->paScriptButtons->isVisible());
        QCOMPARE(w->laModeStatus->text(), QString("(Append new script item)"));
        w->bbCancel->click();
        QVERIFY(w->findChild<QMenu*>("mmScript")->menuAction()->isEnabled());

        RunAndWait(w);
        QCOMPARE(w->ScriptState(), kes::ssResults);
        QCOMPARE(EnabledScriptItems(*w.window), "ViewScript");
        QVERIFY(w->DrawGrid1->isEnabled());
        Item(*w.window, "mmScript_ViewScript")->trigger();
        QCOMPARE(w->ScriptState(), kes::ssViewing);
        QCOMPARE(EnabledScriptItems(*w.window), "New Open Save SaveAs Run ViewResults");
    }

    // ---- Files and leaving the mode

    void SaveAsNewAndOpenGoThroughTheScriptDialogs() {
        TTestWindow w;
        w->Settings().ScriptsFolder = F->Root().toStdString() + "/";
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x", "r");
        const QString path = F->Root() + "/saved";
        w.fake->FilesToSave = {path};
        Item(*w.window, "mmScript_SaveAs")->trigger();
        QCOMPARE(w.fake->SaveDialogs.back().Filter, QString("Script files (*.ksc)"));
        QCOMPARE(w.fake->SaveDialogs.back().Folder, F->Root() + "/");
        QFile saved(path + ".ksc"); // the bytes are the script file's business
        QVERIFY(saved.exists());
        QCOMPARE(w->laModeDetail->text(), path + ".ksc");
        QVERIFY(!Item(*w.window, "mmScript_Save")->isEnabled());

        Item(*w.window, "mmScript_New")->trigger();
        QVERIFY(w->Script().Entries.empty());
        QCOMPARE(w->laModeDetail->text(), QString("New script"));

        QDir().mkpath(F->Root() + "/other");
        QVERIFY(saved.copy(F->Root() + "/other/copy.ksc"));
        w.fake->FileToOpen = F->Root() + "/other/copy.ksc";
        Item(*w.window, "mmScript_Open")->trigger();
        QCOMPARE(w.fake->LastOpenFolder, F->Root() + "/");
        QCOMPARE(w.fake->LastOpenFilter, QString("Script files (*.ksc)"));
        QCOMPARE(Numbered(w->Script()), (QStringList{"1 /a", "1.1 x"}));
        QCOMPARE(w->Settings().ScriptsFolder, F->Root().toStdString() + "/other/");
        QCOMPARE(w->ScriptState(), kes::ssViewing);
        QCOMPARE(w->laItemNo->text(), QString("1"));
        // An unreadable file is said as an error and leaves an empty script.
        WriteFile(F->Root() + "/bad.ksc", "Find:       x\r\n");
        w.fake->FileToOpen = F->Root() + "/bad.ksc";
        Item(*w.window, "mmScript_Open")->trigger();
        QVERIFY(w.fake->AllShown().startsWith("error: Unable to load script file: " + F->Root() +
                                              "/bad.ksc\r\nFolder(s) and File(s) must be defined"));
        QVERIFY(w->Script().Entries.empty());
        QCOMPARE(w->DrawGrid1->RowCount(), 3);
    }

    void LeavingScriptModeAsksAboutUnsavedChanges_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("chooseFile");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("written");
        QTest::newRow("yes saves") << int(anYes) << true << true << true;
        QTest::newRow("yes but the save dialog cancelled stays")
            << int(anYes) << false << false << false;
        QTest::newRow("no discards") << int(anNo) << false << true << false;
        QTest::newRow("cancel stays") << int(anCancel) << false << false << false;
    }
    void LeavingScriptModeAsksAboutUnsavedChanges() {
        QFETCH(int, answer);
        QFETCH(bool, chooseFile);
        QFETCH(bool, left);
        QFETCH(bool, written);
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, "/a", "*.txt", "x");
        w.fake->ThreeWayAnswers = {static_cast<TkesAnswer>(answer)};
        const QString path = F->Root() + "/kept.ksc";
        if (chooseFile)
            w.fake->FilesToSave = {path};
        Item(*w.window, "mmMode_Find")->trigger(); // as the menu does: checked before asked
        QCOMPARE(w.fake->Questions.back(), QString("Save changed script before continuing ?"));
        QCOMPARE(w->Mode(), left ? kes::mdFind : kes::mdScript);
        // Exactly the mode in force is checked.
        for (const char* item : {"mmMode_Find", "mmMode_FindandReplace", "mmMode_Script"})
            QCOMPARE(Item(*w.window, item)->isChecked(),
                     QByteArray(item) == (left ? "mmMode_Find" : "mmMode_Script"));
        QCOMPARE(QFile::exists(path), written);
        if (!left) {
            QCOMPARE(w->Script().Entries.size(), size_t(2)); // nothing changed
        } else {
            w->SetMode(kes::mdScript); // a new, empty script every time the mode is entered
            QVERIFY(w->Script().Entries.empty());
        }
    }

    // ---- The run

    void RunSearchesEveryGroupAndShowsTheResults() {
        WriteFile(F->Root() + "/a.txt", "alpha one\nbeta\n");
        WriteFile(F->Root() + "/sub/b.md", "beta two\n");
        TTestWindow w;
        QSignalSpy ended(w.window.get(), &TfmMain::RunEnded);
        w->SetMode(kes::mdScript);
        Append(*w.window, F->Root(), "*.txt", "ALPHA");
        Append(*w.window, "{RootFolder}/sub", "*.md", "beta", "gamma");
        TypeInto(w->cboxRootFolder, F->Root());
        w.fake->Answers = {true};
        w->bbRunScript->click();
        QVERIFY(w.fake->Questions.back().startsWith(
            "This script will find all matches to the \"Find\" expression(s) and where included"));
        QVERIFY(!w->bbRunScript->isEnabled());
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(w->ScriptState(), kes::ssResults);
        QCOMPARE(w->GridContent(), gcResults);
        QCOMPARE(w->Results().FilesWithMatches, 2); // ALPHA ignored letter case
        QCOMPARE(w->Results().TotalMatches, 2);
        QCOMPARE(w->laModeStatus->text(), QString("(Results)"));
        QVERIFY(w->paStatus->isVisible() && !w->paScriptMaintenance->isVisible());
        QFile copy(F->Root() + "/sub/kesReplace/b.md");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("gamma two\n"));
        QVERIFY(w->Script().Changed); // the run never touches the script
    }

    void RunStopsBeforeAnythingChanges_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank root folder")
            << "   " << true << QString::fromStdString(kes::RootFolderEmptyText());
        QTest::newRow("question answered no") << "/x" << false << QString();
    }
    void RunStopsBeforeAnythingChanges() {
        QFETCH(QString, root);
        QFETCH(bool, answer);
        QFETCH(QString, message);
        WriteFile(F->Root() + "/a.txt", "alpha\n");
        TTestWindow w;
        w->SetMode(kes::mdScript);
        Append(*w.window, F->Root(), "*.txt", "alpha");
        RunAndWait(w); // earlier results that a stopped run must keep
        Item(*w.window, "mmScript_ViewScript")->trigger();
        Append(*w.window, "{RootFolder}", "*.txt", "beta");
        TypeInto(w->cboxRootFolder, root);
        w.fake->Questions.clear();
        w.fake->Answers = {answer};
        w->bbRunScript->click();
        QVERIFY(!w->IsRunning());
        QCOMPARE(w.fake->Questions.size(), size_t(message.isEmpty() ? 1 : 0));
        if (!message.isEmpty())
            QCOMPARE(w.fake->LastText(), message);
        QCOMPARE(w->Results().TotalMatches, 1);
        QCOMPARE(w->ScriptState(), kes::ssViewing);
    }

    void RunFailureReturnsToTheScriptWithTheMessage() {
        WriteFile(F->Root() + "/a.txt", "alpha\n");
        TTestWindow w;
        QSignalSpy ended(w.window.get(), &TfmMain::RunEnded);
        w->SetMode(kes::mdScript);
        Append(*w.window, F->Root(), "*.txt", "alpha");
        Append(*w.window, "/b", "*.txt", "a(");
        w->bbRunScript->click();
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY2(w.fake->LastText().startsWith("Error running script: Invalid Find Expression: "),
                 qPrintable(w.fake->LastText()));
        QVERIFY(w.fake->LastText().endsWith(" on line 2.1"));
        QCOMPARE(w->ScriptState(), kes::ssViewing);
        QCOMPARE(w->GridContent(), gcScript);
        QCOMPARE(w->Results().TotalMatches, 1); // the first group's results stay viewable
        QVERIFY(Item(*w.window, "mmScript_ViewResults")->isEnabled());
    }

  private:
    void RunAndWait(TTestWindow& w) {
        QSignalSpy ended(w.window.get(), &TfmMain::RunEnded);
        w.fake->Answers = {true};
        w->bbRunScript->click();
        QTRY_COMPARE(ended.count(), 1);
    }

    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowScript)
#include "test_mainwindow_script.moc"
