// Opening result files: the editor's argument list (tokens, first occurrence only, line and
// column, paths with blanks and quotes kept whole), the editor checks and their messages, the
// rows a double click acts on, the "Open with ..." enable states, and the default program.
#include "MainWindowTestSupport.h"

#include "ui/kes_uOpenFile.h"

#include <QAction>

using Args = std::vector<std::string>;
Q_DECLARE_METATYPE(Args)

namespace {

const std::string kOddPath = "/t/my \"odd\" file.txt";

QPoint RowCentre(const TfmMain& w, int row) {
    const int height = w.DrawGrid1->DefaultRowHeight();
    return {40, row * height + height / 2};
}

QAction* Item(TfmMain& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

} // namespace

class TestMainWindowOpen : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        FConfig = std::make_unique<TTestConfigFolder>();
        FTree = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        FTree.reset();
        FConfig.reset();
    }

    // ---- The argument list

    void EditorArgumentsReplaceEachTokensFirstOccurrence_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<Args>("expected");
        // Match at file bytes 10..14 (0-based), on line 3 at column 5.
        QTest::newRow("cursor position then path")
            << "/pos=%CursorAt% %Filename%" << Args{"/pos=11", kOddPath};
        QTest::newRow("selection start and end") << "%StartSel% %EndSel%" << Args{"11", "16"};
        QTest::newRow("only the first path")
            << "%Filename% %Filename%" << Args{kOddPath, "%Filename%"};
        QTest::newRow("code's line and column")
            << "-g %Filename%:%LineNumber%:%Column%" << Args{"-g", kOddPath + ":3:5"};
        QTest::newRow("gedit's line") << "+%LineNumber% %Filename%" << Args{"+3", kOddPath};
        QTest::newRow("kate's line and column")
            << "-l %LineNumber% -c %Column% %Filename%" << Args{"-l", "3", "-c", "5", kOddPath};
        QTest::newRow("quoted in the template, still one argument")
            << "\"--file=%Filename%\" x" << Args{"--file=" + kOddPath, "x"};
        QTest::newRow("tokens are case-sensitive")
            << "%cursorat% %Filename%" << Args{"%cursorat%", kOddPath};
        QTest::newRow("no tokens") << "-n" << Args{"-n"};
    }
    void EditorArgumentsReplaceEachTokensFirstOccurrence() {
        QFETCH(QString, commandLine);
        QFETCH(Args, expected);
        const kes::TkesMatchPosition position{10, 15, 3, 5};
        QCOMPARE(kes::EditorArguments(commandLine.toStdString(), kOddPath, position), expected);
    }

    void APathHoldingATokenIsNeverReplacedInside() {
        const kes::TkesMatchPosition position{0, 1, 1, 1};
        QCOMPARE(kes::EditorArguments("%Filename% %CursorAt% %LineNumber%", "/t/%CursorAt%.txt",
                                      position),
                 (Args{"/t/%CursorAt%.txt", "1", "1"}));
    }

    void LineAndColumnCountLineFeedsBeforeTheMatch_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        // "ab\ncd\r\nef": lines start at 0, 3 and 7.
        QTest::newRow("first byte") << 0 << 1 << 1;
        QTest::newRow("inside the first line") << 1 << 1 << 2;
        QTest::newRow("just after a line feed") << 3 << 2 << 1;
        QTest::newRow("the carriage return is a column") << 5 << 2 << 3;
        QTest::newRow("after CR LF") << 7 << 3 << 1;
        QTest::newRow("past the end of a shorter file") << 20 << 3 << 14;
    }
    void LineAndColumnCountLineFeedsBeforeTheMatch() {
        QFETCH(int, offset);
        QFETCH(int, line);
        QFETCH(int, column);
        const QByteArray text("ab\ncd\r\nef");
        int64_t gotLine = 0;
        int64_t gotColumn = 0;
        kes::LineAndColumn(text.toStdString(), offset, gotLine, gotColumn);
        QCOMPARE(gotLine, int64_t(line));
        QCOMPARE(gotColumn, int64_t(column));
        const QString path = FTree->path() + "/f.txt";
        WriteFile(path, text);
        kes::FileLineAndColumn(path.toStdString(), offset, gotLine, gotColumn);
        QCOMPARE(gotLine, int64_t(line));
        QCOMPARE(gotColumn, int64_t(column));
    }

    void FileLineAndColumnReadsAcrossPiecesAndSurvivesAMissingFile() {
        QByteArray text;
        for (int i = 0; i < 1500; ++i)
            text += QByteArray(99, 'x') + '\n'; // 150000 bytes: more than one read
        const QString path = FTree->path() + "/big.txt";
        WriteFile(path, text);
        int64_t line = 0;
        int64_t column = 0;
        kes::FileLineAndColumn(path.toStdString(), 130050, line, column);
        QCOMPARE(line, int64_t(1301));
        QCOMPARE(column, int64_t(51));
        kes::FileLineAndColumn((FTree->path() + "/gone.txt").toStdString(), 41, line, column);
        QCOMPARE(line, int64_t(1));
        QCOMPARE(column, int64_t(42));
    }

    void CheckEditorNamesWhatIsMissing() {
        const QString editor = MakeEditor();
        std::string resolved;
        QCOMPARE(kes::CheckEditor(" \t", resolved), std::string(kes::kNoEditorText));
        QCOMPARE(kes::CheckEditor("/nowhere/ed", resolved),
                 std::string("The Editor specified in Preferences cannot be found.\r\n"
                             "(/nowhere/ed)"));
        QCOMPARE(kes::CheckEditor(editor.toStdString(), resolved), std::string());
        QCOMPARE(resolved, editor.toStdString());
        QCOMPARE(kes::CheckEditor("sh", resolved), std::string()); // a bare name: on PATH
        QVERIFY(resolved.find('/') != std::string::npos);
    }

    // ---- The window

    void DoubleClickStartsTheEditorForHeaderAndLineRows() {
        TTestWindow w;
        const std::string path = RunFindOnOddFile(w);
        const QString editor = MakeEditor();
        w->Settings().EditorFileSpec = editor.toStdString();
        w->Settings().EditorCommandLine =
            "-l %LineNumber% -c %Column% --sel=%StartSel%-%EndSel% %Filename% %Filename%";
        DoubleClick(w, 0); // the header row: the bare path, whatever the template
        QCOMPARE(w.fake->StartedPrograms.size(), size_t(1));
        QCOMPARE(w.fake->StartedPrograms.back(), (Args{editor.toStdString(), path}));
        DoubleClick(w, 1); // the line row: "TODO" at byte 18, line 2, column 8
        QCOMPARE(w.fake->StartedPrograms.back(), (Args{editor.toStdString(), "-l", "2", "-c", "8",
                                                       "--sel=19-23", path, "%Filename%"}));
        DoubleClick(w, 2); // the blank row
        QCOMPARE(w.fake->StartedPrograms.size(), size_t(2));
        QVERIFY(w.fake->Shown.empty());
    }

    void EditorProblemsAreSaidOnlyForRowsThatOpen_data() {
        QTest::addColumn<QString>("fileSpec");
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << "  "
                              << "An Editor needs to be specified in Preferences";
        QTest::newRow("missing") << "/nowhere/ed"
                                 << "The Editor specified in Preferences cannot be found.\r\n"
                                    "(/nowhere/ed)";
    }
    void EditorProblemsAreSaidOnlyForRowsThatOpen() {
        QFETCH(QString, fileSpec);
        QFETCH(QString, message);
        TTestWindow w;
        RunFindOnOddFile(w);
        w->Settings().EditorFileSpec = fileSpec.toStdString();
        Item(*w.window, "mmView_MatchesOnly")->trigger();
        QCOMPARE(w->ResultRows()[1].Kind, kes::rkMatch);
        DoubleClick(w, 1); // a match row opens nothing and says nothing
        QVERIFY(w.fake->Shown.empty());
        Item(*w.window, "mmView_LinesWithMatches")->trigger();
        DoubleClick(w, 1);
        QCOMPARE(w.fake->Shown.size(), size_t(1));
        QCOMPARE(w.fake->Shown[0].Kind, QString("message"));
        QCOMPARE(w.fake->LastText(), message);
        QVERIFY(w.fake->StartedPrograms.empty());
    }

    void OpenWithItemsFollowTheLastPressedRow() {
        TTestWindow w;
        RunFindOnOddFile(w);
        auto* editorItem = Item(*w.window, "Openwithpreferrededitor1");
        auto* defaultItem = Item(*w.window, "Openwithdefaultprogram1");
        auto* namesItem = Item(*w.window, "SaveallresultsfilenamesonlytoTextfile1");
        const struct {
            int Row;
            bool Enabled;
        } presses[] = {{0, true}, {1, false}, {0, true}, {40, true}, {2, false}, {40, false}};
        for (const auto& press : presses) {
            QTest::mousePress(w->DrawGrid1->viewport(), Qt::RightButton, {},
                              RowCentre(*w.window, press.Row));
            QTest::mouseRelease(w->DrawGrid1->viewport(), Qt::RightButton, {},
                                RowCentre(*w.window, press.Row));
            QCOMPARE(editorItem->isEnabled(), press.Enabled);
            QCOMPARE(defaultItem->isEnabled(), press.Enabled);
            QVERIFY(namesItem->isEnabled());
        }
        Item(*w.window, "mmView_UniqueMatches")->trigger();
        QTest::mouseClick(w->DrawGrid1->viewport(), Qt::LeftButton, {}, RowCentre(*w.window, 0));
        QVERIFY(!namesItem->isEnabled());
        QVERIFY(!editorItem->isEnabled()); // a unique match row is no file header
    }

    void DefaultProgramOpensOnlyAHeaderRowsFile() {
        TTestWindow w;
        const std::string path = RunFindOnOddFile(w);
        w->Settings().EditorFileSpec = ""; // not consulted
        QTest::mouseClick(w->DrawGrid1->viewport(), Qt::LeftButton, {}, RowCentre(*w.window, 1));
        w->Openwithdefaultprogram1Click();
        QVERIFY(w.fake->OpenedDocuments.empty());
        QTest::mouseClick(w->DrawGrid1->viewport(), Qt::LeftButton, {}, RowCentre(*w.window, 0));
        Item(*w.window, "Openwithdefaultprogram1")->trigger();
        QCOMPARE(w.fake->OpenedDocuments, Args{path});
        QVERIFY(w.fake->StartedPrograms.empty()); // never run, even if it were executable
        QVERIFY(w.fake->Shown.empty());
    }

  private:
    // A file whose name has blanks and quotes, one "TODO" at byte 18 (line 2, column 8).
    std::string RunFindOnOddFile(TTestWindow& w) {
        const QString path = FTree->path() + "/my \"odd\" file.txt";
        WriteFile(path, "first line\nsecond TODO here\n");
        TypeInto(w->cboxFolders, FTree->path());
        TypeInto(w->cboxFiles, "*.txt");
        TypeInto(w->cboxFind, "todo");
        w->bbFindClick();
        [&] { QTRY_VERIFY(!w->IsRunning()); }();
        return path.toStdString();
    }

    QString MakeEditor() {
        const QString path = FTree->path() + "/bin/editor";
        WriteFile(path, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    void DoubleClick(TTestWindow& w, int row) {
        QTest::mouseDClick(w->DrawGrid1->viewport(), Qt::LeftButton, {}, RowCentre(*w.window, row));
    }

    std::unique_ptr<TTestConfigFolder> FConfig;
    std::unique_ptr<QTemporaryDir> FTree;
};

QTEST_MAIN(TestMainWindowOpen)
#include "test_mainwindow_open.moc"
