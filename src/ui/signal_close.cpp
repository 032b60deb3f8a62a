#include "signal_close.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava::ui {

namespace {

// The pipe's two ends; the handler may only touch async-signal-safe things.
int gSignalFds[2] = {-1, -1};
bool gCloseRequested = false; // window thread only

// Dismisses the open modal boxes and dialogs, innermost first, as Cancel would; each exec()
// returns once control is back in its loop.
void dismissModalWidgets() {
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            return; // it would not go; the window's close still saves
    }
}

void onSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(gSignalFds[0], &byte, 1);
    errno = saved;
}

} // namespace

SignalClose::SignalClose(QWidget* window, std::initializer_list<int> signalNumbers)
    : m_window(window) {
    if (gSignalFds[0] != -1)
        throw std::runtime_error("Signal handling is already installed");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFds) != 0)
        throw std::runtime_error("Unable to create the signal pipe");
    // A full pipe must never block the handler, and draining it must stop when it is empty.
    ::fcntl(gSignalFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(gSignalFds[1], F_SETFL, O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(gSignalFds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalClose::signalArrived);
    for (int number : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction previous = {};
        if (::sigaction(number, &action, &previous) == 0)
            m_previous.emplace_back(number, previous);
    }
}

SignalClose::~SignalClose() {
    for (const auto& [number, previous] : m_previous)
        ::sigaction(number, &previous, nullptr);
    m_notifier.reset();
    ::close(gSignalFds[0]);
    ::close(gSignalFds[1]);
    gSignalFds[0] = gSignalFds[1] = -1;
    gCloseRequested = false;
}

bool SignalClose::closeRequested() {
    return gCloseRequested;
}

void SignalClose::setWindow(QWidget* window) {
    m_window = window;
    if (gCloseRequested && m_window)
        m_window->close();
}

void SignalClose::signalArrived() {
    unsigned char byte = 0;
    while (::read(gSignalFds[1], &byte, 1) == 1)
        m_lastSignal = byte;
    gCloseRequested = true;
    dismissModalWidgets();
    // Queued, so the close runs once the dismissed boxes' handlers have finished.
    if (m_window)
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
}

} // namespace kestrava::ui
