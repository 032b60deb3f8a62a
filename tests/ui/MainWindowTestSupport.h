// Shared by the main-window suites: a fake for every box and dialog the window shows, a
// private settings folder per test, and helpers that type into the real criteria boxes.
#pragma once

#include "ui/kes_fmMain.h"
#include "ui/kes_uDrawGrid.h"
#include "ui/kes_uUiServices.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Records everything shown and every program started, and answers questions from queues (Yes
// when a queue is empty) and dialogs from the file names set beforehand.
class TFakeUiServices : public TkesUiServices {
  public:
    struct TShown {
        QString Kind; // "message" or "error"
        QString Text;
    };
    std::vector<TShown> Shown;
    std::vector<QString> Questions;
    std::deque<bool> Answers;
    QString FolderToPick; // empty: the picker is cancelled
    QString FileToOpen;   // empty: the open dialog is cancelled
    QString LastOpenTitle, LastOpenFolder, LastOpenFilter;
    std::deque<TkesAnswer> ThreeWayAnswers; // Yes/No/Cancel questions
    std::deque<QString> FilesToSave;        // empty: the save dialog is cancelled
    struct TSaveDialog {
        QString Title, Folder, Filter, Suffix;
    };
    std::vector<TSaveDialog> SaveDialogs;
    std::vector<std::string> OpenedDocuments;
    std::vector<std::vector<std::string>> StartedPrograms;

    void ShowMessage(QWidget*, const QString& text) override { Shown.push_back({"message", text}); }
    void ShowError(QWidget*, const QString& text) override { Shown.push_back({"error", text}); }
    bool AskYesNo(QWidget*, const QString& text) override {
        Questions.push_back(text);
        return Next(Answers, true);
    }
    TkesAnswer AskYesNoCancel(QWidget*, const QString& text) override {
        Questions.push_back(text);
        return Next(ThreeWayAnswers, anYes);
    }
    QString GetOpenFileName(QWidget*, const QString& title, const QString& folder,
                            const QString& filter) override {
        LastOpenTitle = title;
        LastOpenFolder = folder;
        LastOpenFilter = filter;
        return FileToOpen;
    }
    QString GetSaveFileName(QWidget*, const QString& title, const QString& folder,
                            const QString& filter, const QString& suffix) override {
        SaveDialogs.push_back({title, folder, filter, suffix});
        return Next(FilesToSave, QString());
    }
    bool PickFolder(QWidget*, QString& folder) override {
        if (FolderToPick.isEmpty())
            return false;
        folder = FolderToPick;
        return true;
    }
    bool OpenDocument(const std::string& path) override {
        OpenedDocuments.push_back(path);
        return true;
    }
    bool StartProgram(const std::vector<std::string>& argv) override {
        StartedPrograms.push_back(argv);
        return true;
    }

    template <class T> static T Next(std::deque<T>& queue, T otherwise) {
        if (queue.empty())
            return otherwise;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
    QString LastText() const { return Shown.empty() ? QString() : Shown.back().Text; }
    // Everything shown so far as "kind: text" lines, so one comparison checks count, kind and text.
    QString AllShown() const {
        QStringList lines;
        for (const TShown& shown : Shown)
            lines << shown.Kind + ": " + shown.Text;
        return lines.join('\n');
    }
};

// A settings folder of its own (KESTRAVA_CONFIG_DIR) for as long as the object lives.
class TTestConfigFolder {
  public:
    TTestConfigFolder() { qputenv("KESTRAVA_CONFIG_DIR", Path().toLocal8Bit()); }
    ~TTestConfigFolder() { qunsetenv("KESTRAVA_CONFIG_DIR"); }
    QString Path() const { return FDir.path() + "/cfg"; }
    QString File(const QString& name) const { return Path() + "/" + name; }
    void Write(const QString& name, const QByteArray& text) const {
        QDir().mkpath(Path());
        QFile file(File(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray Read(const QString& name) const {
        QFile file(File(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

  private:
    QTemporaryDir FDir;
};

// A settings folder and a temporary tree of files, made afresh for each test.
struct TTestFolders {
    TTestConfigFolder Config;
    QTemporaryDir Tree;
    QString Root() const { return Tree.path(); }
};

// A window with a fake; the fake stays reachable through `fake`.
struct TTestWindow {
    TFakeUiServices* fake = nullptr;
    std::unique_ptr<TfmMain> window;

    explicit TTestWindow(bool show = true) {
        auto services = std::make_unique<TFakeUiServices>();
        fake = services.get();
        window = std::make_unique<TfmMain>(std::move(services));
        window->resize(1060, 748);
        if (show) {
            window->show();
            window->activateWindow();
        }
    }
    TfmMain* operator->() const { return window.get(); }
};

// Types text into a box as a user would (the box's current text replaced first).
inline void TypeInto(QComboBox* box, const QString& text) {
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// Types text into a box and leaves it, so the text is committed.
inline void Commit(TfmMain& window, QComboBox* box, const QString& text) {
    TypeInto(box, text);
    if (box == window.cboxFolders)
        window.cboxFoldersExit();
    else if (box == window.cboxFiles)
        window.cboxFilesExit();
    else if (box == window.cboxRootFolder)
        window.cboxRootFolderExit();
    else
        window.cboxExit(box);
}

inline QAction* Item(const TfmMain& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

// The centre of a grid row, a little in from the left edge.
inline QPoint RowCentre(const TfmMain& w, int row) {
    const int height = w.DrawGrid1->DefaultRowHeight();
    return {60, row * height + height / 2};
}

inline void ClickRow(const TfmMain& w, int row, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(w.DrawGrid1->viewport(), button, {}, RowCentre(w, row));
}

// Fills the three Find boxes and presses Find, returning once the run has ended.
inline void RunFind(TTestWindow& w, const QString& folders, const QString& files,
                    const QString& find) {
    TypeInto(w->cboxFolders, folders);
    TypeInto(w->cboxFiles, files);
    TypeInto(w->cboxFind, find);
    w->bbFindClick();
    QTRY_VERIFY(!w->IsRunning());
}

inline QStringList Entries(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Writes a file under root, making its folders.
inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Runs action on the modal dialog as soon as exec() has shown it.
inline void WhenModalShown(std::function<void(QDialog*)> action) {
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
