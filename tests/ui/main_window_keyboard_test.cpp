// Driving the window from the keyboard: the window-wide keys, the result rows stepped through
// with F8, the View menu marking the view shown, mnemonics without clashes, the label buddies,
// the Tab order, and an accessible name on every control.
#include "main_window_test_support.h"

#include <QAccessible>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>

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
    void init() {
        WindowTest::init();
        writeFile(root() + "/a.txt", "todo one\n");
        writeFile(root() + "/b.txt", "todo two\n");
    }

    void windowKeysActOnlyWhereTheirItemOrButtonWould() {
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QSignalSpy ended(w.window.get(), &MainWindow::runEnded);
        // Nothing to find yet: the action keys leave the disabled Find button alone.
        for (const QKeySequence& keys :
             {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
            QTest::keySequence(w.window.get(), keys);
            QCOMPARE(ended.count(), 0);
        }
        // Open and Save belong to Script mode.
        QTest::keySequence(w.window.get(), QKeySequence::Open);
        QTest::keySequence(w.window.get(), QKeySequence::Save);
        QVERIFY(w.fake->lastOpenTitle.isEmpty() && w.fake->saveDialogs.empty());

        typeCriteria(*w, root(), "*.txt", "todo");
        QComboBox* find = combo(*w, "findCombo");
        combo(*w, "foldersCombo")->setFocus();
        QTest::keySequence(w.window.get(), QKeySequence::Find);
        QVERIFY(find->hasFocus());
        QCOMPARE(find->lineEdit()->selectedText(), QString("todo"));

        for (const QKeySequence& keys :
             {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
            QTest::keySequence(w.window.get(), keys);
            QTRY_COMPARE(ended.count(), keys[0].key() == Qt::Key_Return ? 1 : 2);
            QCOMPARE(w->results().filesWithMatches, 2);
        }
        QCOMPARE(entries(find), QStringList{"todo"}); // committed, as leaving the box does

        chooseMode(*w, Mode::Script);
        appendItem(*w, root(), "*.txt", "todo");
        w.fake->filesToSave = {root() + "/s.ksc"};
        QTest::keySequence(w.window.get(), QKeySequence::Save);
        QCOMPARE(w.fake->saveDialogs.size(), size_t(1));
        QTest::keySequence(w.window.get(), QKeySequence::Open);
        QVERIFY(!w.fake->lastOpenTitle.isEmpty());

        QTest::keySequence(w.window.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QVERIFY(!w->isVisible());
    }

    void f8StepsThroughTheRowsAndStopsAtTheEnds() {
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        const auto press = [&w](bool back) {
            QTest::keyClick(w.window.get(), Qt::Key_F8, back ? Qt::ShiftModifier : Qt::NoModifier);
            return grid(*w)->currentRow();
        };
        QCOMPARE(press(false), -1); // no rows: nothing
        item(*w, "previewAction")->setChecked(true);
        runFind(w, root(), "*.txt", "todo");
        const int last = static_cast<int>(w->resultRows().size()) - 1;
        QVERIFY(last >= 2);
        QCOMPARE(press(true), last); // from none, Shift+F8 starts at the end
        QCOMPARE(press(false), last);
        QCOMPARE(press(true), last - 1);
        grid(*w)->setCurrentRow(-1);
        QCOMPARE(press(false), 0);
        QCOMPARE(press(true), 0);
        QCOMPARE(press(false), 1);
        // The preview follows, as with the arrow keys.
        QVERIFY(part<QPlainTextEdit>(*w, "previewText")->toPlainText().startsWith("todo"));
    }

    void viewMenuMarksTheViewShown() {
        TestWindow w;
        const auto checked = [&w] {
            QStringList names;
            for (const char* name : {"mmView_LinesWithMatches", "mmView_MatchesOnly",
                                     "mmView_UniqueMatches", "mmView_UniqueMatchesSorted"})
                if (item(*w, name)->isChecked())
                    names << name;
            return names.join(' ');
        };
        QCOMPARE(checked(), QString("mmView_LinesWithMatches"));
        runFind(w, root(), "*.txt", "todo");
        item(*w, "mmView_UniqueMatchesSorted")->trigger();
        QCOMPARE(checked(), QString("mmView_UniqueMatchesSorted"));
        QCOMPARE(w->resultView(), results::View::UniqueMatchesSorted);
        pressAction(*w); // a new search shows its lines again
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(checked(), QString("mmView_LinesWithMatches"));
    }

    void mnemonicsAreSetAndNeverClash() {
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
        // The labels and buttons of each mode, with the menu titles Alt also reaches.
        for (Mode mode : {Mode::Find, Mode::FindAndReplace, Mode::Script}) {
            chooseMode(*w, mode);
            QStringList letters = titles;
            for (QLabel* shown : w->findChildren<QLabel*>())
                if (shown->isVisible() && shown->buddy() != nullptr)
                    letters << mnemonic(shown->text());
            for (QAbstractButton* shown : w->findChildren<QAbstractButton*>())
                if (shown->isVisible() && !mnemonic(shown->text()).isEmpty())
                    letters << mnemonic(shown->text());
            QCOMPARE(letters.removeDuplicates(), 0);
        }
    }

    void altWithALabelsLetterFocusesItsBox() {
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        chooseMode(*w, Mode::FindAndReplace);
        const std::pair<const char*, const char*> buddies[] = {
            {"foldersLabel", "foldersCombo"},
            {"filesLabel", "filesCombo"},
            {"findLabel", "findCombo"},
            {"replaceLabel", "replaceCombo"},
            {"rootFolderLabel", "rootFolderCombo"}};
        for (const auto& [labelName, boxName] : buddies) {
            QLabel* shown = label(*w, labelName);
            QComboBox* box = combo(*w, boxName);
            QCOMPARE(shown->buddy(), box);
            QCOMPARE(accessibleName(box), shown->text().remove('&'));
            if (!shown->isVisible())
                continue; // Root Folder: Script mode only, and disabled there until an item
            button(*w, "replaceButton")->setFocus();
            QTest::keyClick(w.window.get(), mnemonic(shown->text()).at(0).toLatin1(),
                            Qt::AltModifier);
            QVERIFY2(box->hasFocus(), labelName);
        }
    }

    void tabVisitsTheControlsInScreenOrder() {
        TestWindow w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        item(*w, "previewAction")->setChecked(true);
        chooseMode(*w, Mode::FindAndReplace);
        typeInto(combo(*w, "replaceCombo"), "done");
        QCOMPARE(tabOrder(combo(*w, "foldersCombo")),
                 (QStringList{"foldersCombo", "pickFoldersButton", "filesCombo", "pickFileButton",
                              "findCombo", "replaceCombo", "previewText"}));
        chooseMode(*w, Mode::Find);
        runFind(w, root(), "*.txt", "todo");
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
    }

    void everyControlHasAnAccessibleName() {
        TestWindow w;
        for (Mode mode : {Mode::Find, Mode::FindAndReplace, Mode::Script}) {
            chooseMode(*w, mode);
            const QList<QWidget*> controls = w->findChildren<QWidget*>();
            for (QWidget* control : controls) {
                const bool isControl = ((control->focusPolicy() & Qt::TabFocus) != 0 &&
                                        control->focusProxy() == nullptr) ||
                                       qobject_cast<QProgressBar*>(control) != nullptr ||
                                       control->parent() == widget(*w, "modeBar");
                if (isControl && control->isVisible())
                    QVERIFY2(!accessibleName(control).isEmpty(), qPrintable(control->objectName()));
            }
        }
    }
};

QTEST_MAIN(TestMainWindowKeyboard)
#include "main_window_keyboard_test.moc"
