// Opening result files: the editor's argument list (tokens, first occurrence only, line and
// column, paths with blanks and quotes kept whole), the editor checks and their messages, the
// rows a double click acts on, the "Open with ..." enable states, and the default program.
#include "MainWindowTestSupport.h"

#include "ui/kes_uOpenFile.h"

#include <optional>

#include <sys/stat.h>

using Args = std::vector<std::string>;
Q_DECLARE_METATYPE(Args)

namespace {

const std::string kOddPath = "/t/my \"odd\" file.txt";

} // namespace

class TestMainWindowOpen : public QObject {
    Q_OBJECT
  private slots:
    void init() { F.emplace(); }
    void cleanup() { F.reset(); }

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
        QTest::addColumn<QString>("position"); // line:column
        // "ab\ncd\r\nef": lines start at 0, 3 and 7.
        QTest::newRow("first byte") << 0 << "1:1";
        QTest::newRow("inside the first line") << 1 << "1:2";
        QTest::newRow("just after a line feed") << 3 << "2:1";
        QTest::newRow("the carriage return is a column") << 5 << "2:3";
        QTest::newRow("after CR LF") << 7 << "3:1";
        QTest::newRow("past the end of a shorter file") << 20 << "3:14";
    }
    void LineAndColumnCountLineFeedsBeforeTheMatch() {
        QFETCH(int, offset);
        QFETCH(QString, position);
        const QByteArray text("ab\ncd\r\nef");
        int64_t line = 0;
        int64_t column = 0;
        kes::LineAndColumn(text.toStdString(), offset, line, column);
        QCOMPARE(QString("%1:%2").arg(line).arg(column), position);
        WriteFile(F->Root() + "/f.txt", text);
        QCOMPARE(FilePosition("/f.txt", offset), position);
    }

    // A result that became a FIFO must not hang the window: it counts as empty, like a missing one.
    void FileLineAndColumnReadsAcrossPiecesAndSurvivesMissingFilesAndFifos() {
        QByteArray text;
        for (int i = 0; i < 1500; ++i)
            text += QByteArray(99, 'x') + '\n'; // 150000 bytes: more than one read
        WriteFile(F->Root() + "/big.txt", text);
        QCOMPARE(FilePosition("/big.txt", 130050), "1301:51");
        QCOMPARE(FilePosition("/gone.txt", 41), "1:42");
        QCOMPARE(::mkfifo((F->Root() + "/fifo").toLocal8Bit().constData(), 0600), 0);
        QCOMPARE(FilePosition("/fifo", 41), "1:42");
    }

    void CheckEditorResolvesPathsAndBareNames() {
        const QString editor = MakeEditor();
        std::string resolved;
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
        w->Settings().EditorFileSpec = fileSpec.toStdString(); // blanks only, or missing
        Item(*w.window, "mmView_MatchesOnly")->trigger();
        QCOMPARE(w->ResultRows()[1].Kind, kes::rkMatch);
        DoubleClick(w, 1); // a match row opens nothing and says nothing
        QVERIFY(w.fake->Shown.empty());
        Item(*w.window, "mmView_LinesWithMatches")->trigger();
        DoubleClick(w, 1);
        QCOMPARE(w.fake->AllShown(), "message: " + message);
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
            ClickRow(*w.window, press.Row, Qt::RightButton);
            QCOMPARE(editorItem->isEnabled(), press.Enabled);
            QCOMPARE(defaultItem->isEnabled(), press.Enabled);
            QVERIFY(namesItem->isEnabled());
        }
        Item(*w.window, "mmView_UniqueMatches")->trigger();
        ClickRow(*w.window, 0);
        QVERIFY(!namesItem->isEnabled());
        QVERIFY(!editorItem->isEnabled()); // a unique match row is no file header
    }

    void DefaultProgramOpensOnlyAHeaderRowsFile() {
        TTestWindow w;
        const std::string path = RunFindOnOddFile(w);
        w->Settings().EditorFileSpec = ""; // not consulted
        ClickRow(*w.window, 1);
        w->Openwithdefaultprogram1Click();
        QVERIFY(w.fake->OpenedDocuments.empty());
        ClickRow(*w.window, 0);
        Item(*w.window, "Openwithdefaultprogram1")->trigger();
        QCOMPARE(w.fake->OpenedDocuments, Args{path});
        QVERIFY(w.fake->StartedPrograms.empty()); // never run, even if it were executable
        QVERIFY(w.fake->Shown.empty());
    }

  private:
    // "line:column" of offset in the file name under the tree.
    QString FilePosition(const QString& name, int64_t offset) {
        int64_t line = 0;
        int64_t column = 0;
        kes::FileLineAndColumn((F->Root() + name).toStdString(), offset, line, column);
        return QString("%1:%2").arg(line).arg(column);
    }

    // A file whose name has blanks and quotes, one "TODO" at byte 18 (line 2, column 8).
    std::string RunFindOnOddFile(TTestWindow& w) {
        const QString path = F->Root() + "/my \"odd\" file.txt";
        WriteFile(path, "first line\nsecond TODO here\n");
        [&] { RunFind(w, F->Root(), "*.txt", "todo"); }();
        return path.toStdString();
    }

    QString MakeEditor() {
        const QString path = F->Root() + "/bin/editor";
        WriteFile(path, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    void DoubleClick(TTestWindow& w, int row) {
        QTest::mouseDClick(w->DrawGrid1->viewport(), Qt::LeftButton, {}, RowCentre(*w.window, row));
    }

    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowOpen)
#include "test_mainwindow_open.moc"
