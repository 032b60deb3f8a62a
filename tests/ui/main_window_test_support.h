// Shared by the window suites: a fake for every box and dialog, private folders per test, and
// helpers that drive the real widgets.
#pragma once

#include "ui/main_window.h"
#include "ui/results_grid.h"
#include "ui/ui_services.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace kestrava;
using namespace kestrava::ui;
using kestrava::config::HistoryBox;

// Records what is shown and started; answers from queues (Yes when empty) and preset names.
class FakeUiServices : public UiServices {
  public:
    std::vector<std::pair<QString, QString>> shown; // kind ("message", "error") and text
    std::vector<QString> questions;
    std::deque<bool> answers;
    QString folderToPick; // empty: the picker is cancelled
    QString fileToOpen;   // empty: the open dialog is cancelled
    QString lastOpenTitle, lastOpenFolder, lastOpenFilter;
    std::deque<Answer> threeWayAnswers; // Yes/No/Cancel questions
    std::deque<QString> filesToSave;    // empty: the save dialog is cancelled
    struct SaveDialog {
        QString title, folder, filter, suffix;
    };
    std::vector<SaveDialog> saveDialogs;
    std::vector<std::string> openedDocuments;
    std::vector<std::vector<std::string>> startedPrograms;

    void showMessage(QWidget*, const QString& text) override { shown.push_back({"message", text}); }
    void showError(QWidget*, const QString& text) override { shown.push_back({"error", text}); }
    bool askYesNo(QWidget*, const QString& text) override {
        questions.push_back(text);
        return next(answers, true);
    }
    Answer askYesNoCancel(QWidget*, const QString& text) override {
        questions.push_back(text);
        return next(threeWayAnswers, Answer::Yes);
    }
    QString getOpenFileName(QWidget*, const QString& title, const QString& folder,
                            const QString& filter) override {
        lastOpenTitle = title;
        lastOpenFolder = folder;
        lastOpenFilter = filter;
        return fileToOpen;
    }
    QString getSaveFileName(QWidget*, const QString& title, const QString& folder,
                            const QString& filter, const QString& suffix) override {
        saveDialogs.push_back({title, folder, filter, suffix});
        return next(filesToSave, QString());
    }
    bool pickFolder(QWidget*, QString& folder) override {
        if (folderToPick.isEmpty())
            return false;
        folder = folderToPick;
        return true;
    }
    bool openDocument(const std::string& path) override {
        openedDocuments.push_back(path);
        return true;
    }
    bool startProgram(const std::vector<std::string>& argv) override {
        startedPrograms.push_back(argv);
        return true;
    }

    template <class T> static T next(std::deque<T>& queue, T otherwise) {
        if (!queue.empty()) {
            otherwise = queue.front();
            queue.pop_front();
        }
        return otherwise;
    }
    QString lastText() const { return shown.empty() ? QString() : shown.back().second; }
    // Everything shown as "kind: text" lines: one comparison checks count, kind and text.
    QString allShown() const {
        QStringList lines;
        for (const auto& [kind, text] : shown)
            lines << kind + ": " + text;
        return lines.join('\n');
    }
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Settings, data (a scripts folder made by a save) and state (undo journals) folders kept out of
// the real home, and a tree of files, for as long as the object lives.
class TestFolders {
  public:
    TestFolders() : m_programStateHome(qgetenv("XDG_STATE_HOME")) {
        qputenv("KESTRAVA_CONFIG_DIR", path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toLocal8Bit());
        qputenv("XDG_STATE_HOME", statePath().toLocal8Bit());
    }
    ~TestFolders() {
        qunsetenv("KESTRAVA_CONFIG_DIR");
        qunsetenv("XDG_DATA_HOME");
        // Back to the one ctest gives the program, never to the real ~/.local/state.
        if (m_programStateHome.isEmpty())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", m_programStateHome);
    }
    QString path() const { return m_dir.path() + "/cfg"; }
    QString statePath() const { return m_dir.path() + "/state"; }
    QString root() const { return m_tree.path(); }
    QString file(const QString& name) const { return path() + "/" + name; }
    void write(const QString& name, const QByteArray& text) const { writeFile(file(name), text); }
    QByteArray read(const QString& name) const { return readFile(file(name)); }

  private:
    QTemporaryDir m_dir, m_tree;
    QByteArray m_programStateHome;
};

// A window suite's base: fresh folders for every test. An init() of a suite calls this one first.
class WindowTest : public QObject {
    Q_OBJECT
  protected slots:
    void init() { m_env.emplace(); }
    void cleanup() { m_env.reset(); }

  protected:
    QString root() const { return m_env->root(); }
    std::optional<TestFolders> m_env;
};

struct TestWindow {
    FakeUiServices* fake = nullptr;
    std::unique_ptr<MainWindow> window;

    TestWindow() {
        auto services = std::make_unique<FakeUiServices>();
        fake = services.get();
        window = std::make_unique<MainWindow>(std::move(services));
        window->resize(1060, 748);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    MainWindow* operator->() const { return window.get(); }
    MainWindow& operator*() const { return *window; }
};

// Types text into a box as a user would, replacing its text.
inline void typeInto(QComboBox* box, const QString& text) {
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// The window's parts found by object name; a missing name fails the test at once.
template <class T> T* part(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}
inline QComboBox* combo(const QWidget& w, const char* name) {
    return part<QComboBox>(w, name);
}
inline QLabel* label(const QWidget& w, const char* name) {
    return part<QLabel>(w, name);
}
inline QPushButton* button(const QWidget& w, const char* name) {
    return part<QPushButton>(w, name);
}
inline QWidget* widget(const QWidget& w, const char* name) {
    return part<QWidget>(w, name);
}
inline ResultsGrid* grid(const QWidget& w) {
    return part<ResultsGrid>(w, "resultsGrid");
}
inline QAction* item(const QWidget& window, const char* name) {
    return part<QAction>(window, name);
}

inline void chooseMode(const MainWindow& window, kestrava::ui::Mode mode) {
    static const char* const kActions[] = {"findModeAction", "replaceModeAction",
                                           "scriptModeAction", "viewModeAction"};
    item(window, kActions[static_cast<size_t>(mode)])->trigger();
}

// Types text into a box and leaves it as Tab would, which commits it.
inline void commit(QComboBox* box, const QString& text) {
    typeInto(box, text);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
}

// Opens and closes a box's history menu, so that its items act on that box.
inline void openHistoryMenu(const MainWindow& window, QComboBox* box) {
    emit box->lineEdit()->customContextMenuRequested(QPoint());
    part<QMenu>(window, "historyMenu")->hide();
}

inline void pressAction(const MainWindow& window) {
    for (const char* name : {"findButton", "replaceButton", "runScriptButton"}) {
        QPushButton* action = button(window, name);
        if (!action->isHidden()) {
            action->click();
            return;
        }
    }
}

inline QPoint rowCentre(const MainWindow& w, int row) {
    const int height = grid(w)->defaultRowHeight();
    return {60, row * height + height / 2};
}

inline void clickRow(const MainWindow& w, int row, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(grid(w)->viewport(), button, {}, rowCentre(w, row));
}

inline void typeCriteria(const MainWindow& w, const QString& folders, const QString& files,
                         const QString& find) {
    typeInto(combo(w, "foldersCombo"), folders);
    typeInto(combo(w, "filesCombo"), files);
    typeInto(combo(w, "findCombo"), find);
}

inline void runFind(TestWindow& w, const QString& folders, const QString& files,
                    const QString& find) {
    typeCriteria(*w, folders, files, find);
    pressAction(*w);
    QTRY_VERIFY(!w->isRunning());
}

inline void appendItem(const MainWindow& w, const QString& folders, const QString& files,
                       const QString& find, const QString& replace = {}) {
    button(w, "appendItemButton")->click();
    typeCriteria(w, folders, files, find);
    typeInto(combo(w, "replaceCombo"), replace);
    button(w, "acceptItemButton")->click();
}

inline void runScript(TestWindow& w) {
    QSignalSpy ended(w.window.get(), &MainWindow::runEnded);
    w.fake->answers = {true};
    button(*w, "runScriptButton")->click();
    QTRY_COMPARE(ended.count(), 1);
}

inline QStringList entries(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Runs action on the modal dialog as soon as exec() has shown it.
inline void whenModalShown(const std::function<void(QDialog*)>& action) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(dialog);
    });
    poll->start(5);
}
