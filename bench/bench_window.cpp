// How soon the window shows the first rows of a find, and how long the whole find takes there,
// on a real tree: bench_window FOLDERS FILES FIND [RUNS]. Runs offscreen, with a settings
// folder of its own; prints one line per run and the medians.
#include "ui/main_window.h"
#include "ui/results_grid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QComboBox* box(const QWidget& window, const char* name) {
    return window.findChild<QComboBox*>(QString::fromLatin1(name));
}

// Types into a criteria box as a user does: focus, the text, and the focus leaving it.
void setText(const QWidget& window, const char* name, const char* text) {
    QComboBox* combo = box(window, name);
    combo->setFocus();
    combo->lineEdit()->selectAll();
    combo->lineEdit()->insert(QString::fromUtf8(text));
    QCoreApplication::processEvents();
}

// Return in the Find box presses Find.
void pressReturn(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_window FOLDERS FILES FIND [RUNS]\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kestrava::ui::MainWindow window;
    window.resize(1060, 748);
    window.show();
    const int runs = argc > 4 ? std::atoi(argv[4]) : 3;
    auto* grid = window.findChild<kestrava::ui::ResultsGrid*>();
    std::vector<double> firstRows, whole;
    for (int run = 0; run < runs; ++run) {
        setText(window, "foldersCombo", argv[1]);
        setText(window, "filesCombo", argv[2]);
        setText(window, "findCombo", argv[3]);
        QElapsedTimer clock;
        double first = -1;
        // The window's own event loop, as a user's run has it: polling would take a core from
        // the search.
        QEventLoop loop;
        QObject::connect(&window, &kestrava::ui::MainWindow::runEnded, &loop, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (grid->rowCount() > 2) {
                first = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                poll.stop();
            }
        });
        poll.start(5);
        clock.start();
        pressReturn(box(window, "findCombo")->lineEdit());
        loop.exec();
        const double all = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        std::printf("run %d: first rows after %.0f ms, whole find %.0f ms, %d rows\n", run + 1,
                    first, all, grid->rowCount());
        firstRows.push_back(first);
        whole.push_back(all);
    }
    std::printf("median: first rows after %.0f ms, whole find %.0f ms\n", median(firstRows),
                median(whole));
    return 0;
}
