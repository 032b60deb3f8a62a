// The window from the keyboard: window-wide keys, F8, mnemonics, buddies, Tab order and
// accessible names. Opening result files in the editor or the default program.
#include "main_window_test_support.h"

#include "ui/open_file.h"

#include <QAccessible>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>

#include <sys/stat.h>

using Args = std::vector<std::string>;

namespace {

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face == nullptr ? QString() : face->text(QAccessible::Name);
}

// The letter after a single "&" of a caption, lower case; empty when it has none.
QString mnemonic(const QString& caption) {
    const QRegularExpressionMatch found =
        QRegularExpression(QStringLiteral("(?<!&)&([^&])")).match(caption);
    return found.hasMatch() ? found.captured(1).toLower() : QString();
}

// The controls Tab visits from `first`, until it comes round to it again.
QStringList tabOrder(QWidget* first) {
    QStringList names;
    first->setFocus(Qt::TabFocusReason);
    QWidget* stop = first;
    do {
        names << stop->objectName();
        QTest::keyClick(stop, Qt::Key_Tab);
        stop = QApplication::focusWidget();
    } while (stop != nullptr && stop != first && names.size() < 50);
    return names;
}

} // namespace

class TestMainWindowKeyboard : public WindowTest {
    Q_OBJECT
  private slots:
    // Window keys act only where their item or button would; Tab visits the controls in screen
    // order; F8 steps through the rows and stops at the ends.
    void windowKeysTabAndF8ActWhereTheControlsWould() {
        writeFile(root() + "/a.txt", "todo one\n");
        writeFile(root() + "/b.txt", "todo two\n");
        TestWindow w;
        QSignalSpy ended(w.window.get(), &MainWindow::runEnded);
        const auto f8 = [&w](bool back) {
            QTest::keyClick(w.window.get(), Qt::Key_F8, back ? Qt::ShiftModifier : Qt::NoModifier);
            return grid(*w)->currentRow();
        };
        const QKeySequence runKeys[] = {QKeySequence(Qt::CTRL | Qt::Key_Return),
                                        QKeySequence(Qt::CTRL | Qt::Key_Enter)};
        for (const QKeySequence& keys : {runKeys[0], runKeys[1], QKeySequence(QKeySequence::Open),
                                         QKeySequence(QKeySequence::Save)})
            QTest::keySequence(w.window.get(), keys);
        QVERIFY(ended.empty() && w.fake->lastOpenTitle.isEmpty() && w.fake->saveDialogs.empty());
        QCOMPARE(f8(false), -1); // no rows: nothing

        item(*w, "previewAction")->setChecked(true);
        chooseMode(*w, Mode::FindAndReplace);
        typeInto(combo(*w, "replaceCombo"), "done");
        QCOMPARE(tabOrder(combo(*w, "foldersCombo")),
                 (QStringList{"foldersCombo", "pickFoldersButton", "filesCombo", "pickFileButton",
                              "findCombo", "replaceCombo", "previewText"}));
        chooseMode(*w, Mode::Find);
        typeCriteria(*w, root(), "*.txt", "todo");
        QComboBox* find = combo(*w, "findCombo");
        combo(*w, "foldersCombo")->setFocus();
        QTest::keySequence(w.window.get(), QKeySequence::Find);
        QVERIFY(find->hasFocus());
        QCOMPARE(find->lineEdit()->selectedText(), QString("todo"));
        for (int runs = 1; runs <= 2; ++runs) {
            QTest::keySequence(w.window.get(), runKeys[runs - 1]);
            QTRY_COMPARE(ended.count(), runs);
            QCOMPARE(w->results().filesWithMatches, 2);
        }
        QCOMPARE(entries(find), QStringList{"todo"}); // committed, as leaving the box does

        const int last = static_cast<int>(w->resultRows().size()) - 1;
        QCOMPARE(f8(true), last); // from none, Shift+F8 starts at the end
        QCOMPARE(f8(false), last);
        QCOMPARE(f8(true), last - 1);
        grid(*w)->setCurrentRow(-1);
        QCOMPARE(f8(false), 0);
        QCOMPARE(f8(true), 0);
        QCOMPARE(f8(false), 1);
        QCOMPARE(tabOrder(combo(*w, "foldersCombo")),
                 (QStringList{"foldersCombo", "pickFoldersButton", "filesCombo", "pickFileButton",
                              "findCombo", "findButton", "resultsGrid", "previewText"}));
        // The grid, which draws itself, marks the focus with a frame.
        const auto edge = [&w] { return grid(*w)->viewport()->grab().toImage().pixelColor(1, 40); };
        const QColor highlight = grid(*w)->palette().color(QPalette::Active, QPalette::Highlight);
        grid(*w)->setFocus();
        QCOMPARE(edge(), highlight);
        combo(*w, "findCombo")->setFocus();
        QVERIFY(edge() != highlight);

        chooseMode(*w, Mode::Script);
        QCOMPARE(tabOrder(combo(*w, "rootFolderCombo")),
                 (QStringList{"rootFolderCombo", "pickRootFolderButton", "appendItemButton",
                              "previewText"}));
        appendItem(*w, root(), "*.txt", "todo");
        w.fake->filesToSave = {root() + "/s.ksc"};
        QTest::keySequence(w.window.get(), QKeySequence::Save);
        QCOMPARE(w.fake->saveDialogs.size(), size_t(1));
        QTest::keySequence(w.window.get(), QKeySequence::Open);
        QVERIFY(!w.fake->lastOpenTitle.isEmpty());
        QTest::keySequence(w.window.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QVERIFY(!w->isVisible());
    }

    // In every mode: no two shown letters clash, and every control has an accessible name. Each
    // box is its label's buddy, named after it, and Alt with the label's letter focuses it.
    void mnemonicsAreSetAndNeverClashAndControlsAreNamed() {
        TestWindow w;
        QStringList titles;
        for (QAction* title : w->menuBar()->actions()) {
            titles << mnemonic(title->text());
            QStringList letters;
            for (QAction* entry : title->menu()->actions())
                if (!entry->isSeparator() && entry->isVisible())
                    letters << mnemonic(entry->text());
            QVERIFY2(!letters.contains(QString()), qPrintable(title->text()));
            QCOMPARE(letters.removeDuplicates(), 0);
        }
        QVERIFY(!titles.contains(QString()));
        for (Mode mode : {Mode::Find, Mode::FindAndReplace, Mode::Script}) {
            chooseMode(*w, mode);
            QStringList letters = titles;
            for (QLabel* shown : w->findChildren<QLabel*>()) {
                QWidget* box = shown->buddy();
                if (!shown->isVisible() || box == nullptr)
                    continue;
                letters << mnemonic(shown->text());
                QCOMPARE(box->objectName(), shown->objectName().replace("Label", "Combo"));
                QCOMPARE(accessibleName(box), shown->text().remove('&'));
                w->setFocus();
                QTest::keyClick(w.window.get(), mnemonic(shown->text()).at(0).toLatin1(),
                                Qt::AltModifier);
                QVERIFY2(box->hasFocus() || !box->isEnabled(), qPrintable(box->objectName()));
            }
            for (QAbstractButton* shown : w->findChildren<QAbstractButton*>())
                if (shown->isVisible() && !mnemonic(shown->text()).isEmpty())
                    letters << mnemonic(shown->text());
            QCOMPARE(letters.removeDuplicates(), 0);
            for (QWidget* control : w->findChildren<QWidget*>()) {
                const bool isControl = ((control->focusPolicy() & Qt::TabFocus) != 0 &&
                                        control->focusProxy() == nullptr) ||
                                       qobject_cast<QProgressBar*>(control) != nullptr ||
                                       control->parent() == widget(*w, "modeBar");
                if (isControl && control->isVisible())
                    QVERIFY2(!accessibleName(control).isEmpty(), qPrintable(control->objectName()));
            }
        }
    }

    // Lines count line feeds before the match. A result that became a FIFO must not hang the
    // window: it counts as empty, like a missing one. Each token's first occurrence is replaced,
    // case-sensitively, never inside the path. A missing or blank editor is said only for rows
    // that open a file.
    void doubleClickAndOpenWithStartTheEditorAtTheMatchsLineAndColumn() {
        const QByteArray text("ab\ncd\r\nef"); // lines start at 0, 3 and 7
        writeFile(root() + "/f.txt", text);
        const struct {
            int offset;
            const char* position; // line:column
        } cases[] = {{0, "1:1"},
                     {3, "2:1"},
                     {5, "2:3"} /* CR is a column */,
                     {7, "3:1"},
                     {20, "3:14"} /* past the end of a shorter file */};
        for (const auto& c : cases) {
            int64_t line = 0;
            int64_t column = 0;
            kestrava::ui::lineAndColumn(text.toStdString(), c.offset, line, column);
            QCOMPARE(QString("%1:%2").arg(line).arg(column), QString(c.position));
            QCOMPARE(filePosition("/f.txt", c.offset), QString(c.position));
        }
        QByteArray big;
        for (int i = 0; i < 1500; ++i)
            big += QByteArray(99, 'x') + '\n'; // 150000 bytes: more than one read
        writeFile(root() + "/big.txt", big);
        QCOMPARE(filePosition("/big.txt", 130050), "1301:51");
        QCOMPARE(filePosition("/gone.txt", 41), "1:42");
        QCOMPARE(::mkfifo((root() + "/fifo").toLocal8Bit().constData(), 0600), 0);
        QCOMPARE(filePosition("/fifo", 41), "1:42");

        QCOMPARE(kestrava::ui::editorArguments("-n", "/p", {}), Args{"-n"}); // no path added
        std::string resolved;
        QCOMPARE(kestrava::ui::checkEditor("sh", resolved), std::string());
        QVERIFY(resolved.find('/') != std::string::npos);
        TestWindow w;
        const QString odd = root() + "/my \"odd\" %CursorAt% file.txt";
        writeFile(odd, "first line\nsecond TODO here\n");
        runFind(w, root(), "my*", "todo");
        const std::string path = odd.toStdString();
        w->settings().editorFileSpec = resolved; // sh's full path; the fake starts nothing
        w->settings().editorCommandLine = "-l %LineNumber% -c %Column% --sel=%StartSel%-%EndSel% "
                                          "%Filename% /pos=%CursorAt% %cursorat% %Filename%";
        doubleClick(w, 0); // the header row: the bare path, whatever the template
        QCOMPARE(w.fake->startedPrograms, (std::vector<Args>{{resolved, path}}));
        doubleClick(w, 1); // the line row: "TODO" at byte 18, line 2, column 8
        QCOMPARE(w.fake->startedPrograms.back(),
                 (Args{resolved, "-l", "2", "-c", "8", "--sel=19-23", path, "/pos=19", "%cursorat%",
                       "%Filename%"}));
        doubleClick(w, 2); // the blank row starts nothing: the count stays 2 below
        QVERIFY(w.fake->shown.empty());

        for (const auto& [spec, message] : std::initializer_list<std::pair<std::string, QString>>{
                 {"  ", "An Editor needs to be specified in Preferences"},
                 {"/nowhere/ed", "The Editor specified in Preferences cannot be found.\r\n"
                                 "(/nowhere/ed)"}}) {
            w->settings().editorFileSpec = spec;
            w.fake->shown.clear();
            item(*w, "mmView_MatchesOnly")->trigger();
            doubleClick(w, 1); // a match row opens nothing and says nothing
            QVERIFY(w.fake->shown.empty());
            item(*w, "mmView_LinesWithMatches")->trigger();
            doubleClick(w, 1);
            QCOMPARE(w.fake->allShown(), "message: " + message);
            QCOMPARE(w.fake->startedPrograms.size(), size_t(2));
        }

        w.fake->shown.clear();
        w->settings().editorFileSpec = ""; // the default program never consults it
        auto* editorItem = item(*w, "openInEditorAction");
        auto* defaultItem = item(*w, "openWithDefaultAction");
        auto* namesItem = item(*w, "saveFileNamesAction");
        const struct {
            int row;
            bool enabled;
        } presses[] = {{0, true}, {1, false}, {0, true}, {40, true}, {2, false}, {40, false}};
        size_t opened = 0;
        for (const auto& press : presses) {
            clickRow(*w, press.row, Qt::RightButton);
            QCOMPARE(editorItem->isEnabled(), press.enabled);
            QCOMPARE(defaultItem->isEnabled(), press.enabled);
            QVERIFY(namesItem->isEnabled());
            defaultItem->trigger(); // the pressed row's file if a header, never run as a program
            opened += press.row == 0 ? 1 : 0;
            QCOMPARE(w.fake->openedDocuments, Args(opened, path));
        }
        QVERIFY(w.fake->startedPrograms.size() == 2 && w.fake->shown.empty());

        item(*w, "mmView_UniqueMatches")->trigger();
        clickRow(*w, 0);
        QVERIFY(!namesItem->isEnabled());
        QVERIFY(!editorItem->isEnabled()); // a unique match row is no file header
    }

  private:
    QString filePosition(const QString& name, int64_t offset) {
        int64_t line = 0;
        int64_t column = 0;
        kestrava::ui::fileLineAndColumn((root() + name).toStdString(), offset, line, column);
        return QString("%1:%2").arg(line).arg(column);
    }

    void doubleClick(TestWindow& w, int row) {
        QTest::mouseDClick(grid(*w)->viewport(), Qt::LeftButton, {}, rowCentre(*w, row));
    }
};

QTEST_MAIN(TestMainWindowKeyboard)
#include "main_window_keyboard_test.moc"
