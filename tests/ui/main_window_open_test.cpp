// Opening result files: the editor's argument list (tokens, first occurrence only, line and
// column, paths with blanks and quotes kept whole), the editor checks and their messages, the
// rows a double click acts on, the "Open with ..." enable states, and the default program.
#include "main_window_test_support.h"

#include "ui/open_file.h"

#include <sys/stat.h>

using Args = std::vector<std::string>;
Q_DECLARE_METATYPE(Args)

namespace {

const std::string kOddPath = "/t/my \"odd\" file.txt";

} // namespace

class TestMainWindowOpen : public WindowTest {
    Q_OBJECT
  private slots:
    // ---- The argument list

    // Line, column and selection tokens, several in one argument, are checked through a double
    // click (doubleClickStartsTheEditorForHeaderAndLineRows).
    void editorArgumentsReplaceEachTokensFirstOccurrence_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("path"); // empty: a name with blanks and quotes
        QTest::addColumn<Args>("expected");
        // Match at file bytes 10..14 (0-based), on line 3 at column 5.
        QTest::newRow("cursor position then path")
            << "/pos=%CursorAt% %Filename%" << QString() << Args{"/pos=11", kOddPath};
        QTest::newRow("a path holding a token is never replaced inside")
            << "%Filename% %CursorAt%"
            << "/t/%CursorAt%.txt" << Args{"/t/%CursorAt%.txt", "11"};
        QTest::newRow("tokens are case-sensitive")
            << "%cursorat% %Filename%" << QString() << Args{"%cursorat%", kOddPath};
        QTest::newRow("no tokens") << "-n" << QString() << Args{"-n"};
    }
    void editorArgumentsReplaceEachTokensFirstOccurrence() {
        QFETCH(QString, commandLine);
        QFETCH(QString, path);
        QFETCH(Args, expected);
        const kestrava::ui::MatchPosition position{10, 15, 3, 5};
        QCOMPARE(kestrava::ui::editorArguments(commandLine.toStdString(),
                                               path.isEmpty() ? kOddPath : path.toStdString(),
                                               position),
                 expected);
    }

    void lineAndColumnCountLineFeedsBeforeTheMatch_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("position"); // line:column
        // "ab\ncd\r\nef": lines start at 0, 3 and 7.
        QTest::newRow("first byte") << 0 << "1:1";
        QTest::newRow("just after a line feed") << 3 << "2:1";
        QTest::newRow("the carriage return is a column") << 5 << "2:3";
        QTest::newRow("after CR LF") << 7 << "3:1";
        QTest::newRow("past the end of a shorter file") << 20 << "3:14";
    }
    void lineAndColumnCountLineFeedsBeforeTheMatch() {
        QFETCH(int, offset);
        QFETCH(QString, position);
        const QByteArray text("ab\ncd\r\nef");
        int64_t line = 0;
        int64_t column = 0;
        kestrava::ui::lineAndColumn(text.toStdString(), offset, line, column);
        QCOMPARE(QString("%1:%2").arg(line).arg(column), position);
        writeFile(root() + "/f.txt", text);
        QCOMPARE(filePosition("/f.txt", offset), position);
    }

    // A result that became a FIFO must not hang the window: it counts as empty, like a missing one.
    void fileLineAndColumnReadsAcrossPiecesAndSurvivesMissingFilesAndFifos() {
        QByteArray text;
        for (int i = 0; i < 1500; ++i)
            text += QByteArray(99, 'x') + '\n'; // 150000 bytes: more than one read
        writeFile(root() + "/big.txt", text);
        QCOMPARE(filePosition("/big.txt", 130050), "1301:51");
        QCOMPARE(filePosition("/gone.txt", 41), "1:42");
        QCOMPARE(::mkfifo((root() + "/fifo").toLocal8Bit().constData(), 0600), 0);
        QCOMPARE(filePosition("/fifo", 41), "1:42");
    }

    void checkEditorResolvesBareNamesOnThePath() {
        std::string resolved; // a path: doubleClickStartsTheEditorForHeaderAndLineRows
        QCOMPARE(kestrava::ui::checkEditor("sh", resolved), std::string()); // a bare name: on PATH
        QVERIFY(resolved.find('/') != std::string::npos);
    }

    // ---- The window

    void doubleClickStartsTheEditorForHeaderAndLineRows() {
        TestWindow w;
        const std::string path = runFindOnOddFile(w);
        const QString editor = makeEditor();
        w->settings().editorFileSpec = editor.toStdString();
        w->settings().editorCommandLine =
            "-l %LineNumber% -c %Column% --sel=%StartSel%-%EndSel% %Filename% %Filename%";
        doubleClick(w, 0); // the header row: the bare path, whatever the template
        QCOMPARE(w.fake->startedPrograms.size(), size_t(1));
        QCOMPARE(w.fake->startedPrograms.back(), (Args{editor.toStdString(), path}));
        doubleClick(w, 1); // the line row: "TODO" at byte 18, line 2, column 8
        QCOMPARE(w.fake->startedPrograms.back(), (Args{editor.toStdString(), "-l", "2", "-c", "8",
                                                       "--sel=19-23", path, "%Filename%"}));
        doubleClick(w, 2); // the blank row
        QCOMPARE(w.fake->startedPrograms.size(), size_t(2));
        QVERIFY(w.fake->shown.empty());
    }

    void editorProblemsAreSaidOnlyForRowsThatOpen_data() {
        QTest::addColumn<QString>("fileSpec");
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << "  "
                              << "An Editor needs to be specified in Preferences";
        QTest::newRow("missing") << "/nowhere/ed"
                                 << "The Editor specified in Preferences cannot be found.\r\n"
                                    "(/nowhere/ed)";
    }
    void editorProblemsAreSaidOnlyForRowsThatOpen() {
        QFETCH(QString, fileSpec);
        QFETCH(QString, message);
        TestWindow w;
        runFindOnOddFile(w);
        w->settings().editorFileSpec = fileSpec.toStdString(); // blanks only, or missing
        item(*w.window, "mmView_MatchesOnly")->trigger();
        QCOMPARE(w->resultRows()[1].kind, kestrava::results::RowKind::Match);
        doubleClick(w, 1); // a match row opens nothing and says nothing
        QVERIFY(w.fake->shown.empty());
        item(*w.window, "mmView_LinesWithMatches")->trigger();
        doubleClick(w, 1);
        QCOMPARE(w.fake->allShown(), "message: " + message);
        QVERIFY(w.fake->startedPrograms.empty());
    }

    void openWithItemsFollowTheLastPressedRowAndOpenItsFile() {
        TestWindow w;
        const std::string path = runFindOnOddFile(w);
        auto* editorItem = item(*w.window, "openInEditorAction");
        auto* defaultItem = item(*w.window, "openWithDefaultAction");
        auto* namesItem = item(*w.window, "saveFileNamesAction");
        const struct {
            int row;
            bool enabled;
        } presses[] = {{0, true}, {1, false}, {0, true}, {40, true}, {2, false}, {40, false}};
        for (const auto& press : presses) {
            clickRow(*w.window, press.row, Qt::RightButton);
            QCOMPARE(editorItem->isEnabled(), press.enabled);
            QCOMPARE(defaultItem->isEnabled(), press.enabled);
            QVERIFY(namesItem->isEnabled());
        }
        // The default program gets only a header row's file, and is never run as a program.
        w->settings().editorFileSpec = ""; // not consulted
        clickRow(*w.window, 1);
        defaultItem->trigger();
        QVERIFY(w.fake->openedDocuments.empty());
        clickRow(*w.window, 0);
        defaultItem->trigger();
        QCOMPARE(w.fake->openedDocuments, Args{path});
        QVERIFY(w.fake->startedPrograms.empty() && w.fake->shown.empty());

        item(*w.window, "mmView_UniqueMatches")->trigger();
        clickRow(*w.window, 0);
        QVERIFY(!namesItem->isEnabled());
        QVERIFY(!editorItem->isEnabled()); // a unique match row is no file header
    }

  private:
    // "line:column" of offset in the file name under the tree.
    QString filePosition(const QString& name, int64_t offset) {
        int64_t line = 0;
        int64_t column = 0;
        kestrava::ui::fileLineAndColumn((root() + name).toStdString(), offset, line, column);
        return QString("%1:%2").arg(line).arg(column);
    }

    // A file whose name has blanks and quotes, one "TODO" at byte 18 (line 2, column 8).
    std::string runFindOnOddFile(TestWindow& w) {
        const QString path = root() + "/my \"odd\" file.txt";
        writeFile(path, "first line\nsecond TODO here\n");
        [&] { runFind(w, root(), "*.txt", "todo"); }();
        return path.toStdString();
    }

    QString makeEditor() {
        const QString path = root() + "/bin/editor";
        writeFile(path, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    void doubleClick(TestWindow& w, int row) {
        QTest::mouseDClick(grid(*w)->viewport(), Qt::LeftButton, {}, rowCentre(*w.window, row));
    }
};

QTEST_MAIN(TestMainWindowOpen)
#include "main_window_open_test.moc"
