// Folders and files from the desktop: the program's FOLDER arguments, and folders or files
// dropped on the window, put in the boxes so that Find searches them.
#include "main_window.h"

#include "criteria_panel.h"
#include "path_entries.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace kestrava::ui {

namespace {

// The local files and folders a drag carries; empty when it carries anything else too.
QStringList localPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

} // namespace

void MainWindow::openPaths(const QStringList& paths) {
    if (paths.isEmpty() || m_run->isRunning())
        return;
    if (m_mode == Mode::Script)
        setMode(Mode::Find); // asks first when the script has unsaved changes
    if (m_mode == Mode::Script)
        return;
    fillFromPaths(paths);
    m_criteria->focusBox(HistoryBox::FindExpressions);
}

void MainWindow::fillFromPaths(const QStringList& paths) {
    const PathEntries entries = pathEntries(paths);
    if (!entries.folders.isEmpty())
        m_criteria->enterValue(HistoryBox::FoldersToSearch, entries.folders);
    if (!entries.files.isEmpty())
        m_criteria->enterValue(HistoryBox::FilesToSearch, entries.files);
    else if (!entries.folders.isEmpty() && m_criteria->criteria().files.empty())
        m_criteria->enterValue(HistoryBox::FilesToSearch, QStringLiteral("*.*"));
    // Said in a box: the status bar's text gives way to the mode's at the next key.
    if (!entries.refused.isEmpty())
        m_services->showError(
            this, QStringLiteral("Left out: files given with folders, and names with \"|\" or "
                                 "blanks at an end, cannot be searched alone:\n") +
                      entries.refused.join('\n'));
}

// The boxes take dragged text themselves; dragged files go to the window wherever they land.
void MainWindow::acceptDropsOnBoxes() {
    setAcceptDrops(true);
    for (QLineEdit* edit : m_criteria->findChildren<QLineEdit*>())
        edit->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return event->isAccepted();
    case QEvent::DragMove:
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
        return event->isAccepted();
    case QEvent::Drop:
        if (localPaths(static_cast<QDropEvent*>(event)->mimeData()).isEmpty())
            break;
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (!m_run->isRunning() && !localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty() || m_run->isRunning()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openPaths(paths);
}

} // namespace kestrava::ui
