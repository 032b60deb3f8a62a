// Turns SIGTERM and SIGINT (a desktop logout, Ctrl+C in a terminal) into an ordinary close of
// the main window, so histories and settings are saved as on any other exit, whatever box or
// dialog is open at that moment. The handler only writes a byte to a pipe; the window thread
// reads it through a socket notifier.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <csignal>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace kestrava::ui {

class SignalClose : public QObject {
    Q_OBJECT
  public:
    // Installs handlers for the signals; when one arrives, every open modal box and dialog is
    // dismissed (as Cancel or No would) and window->close() runs on the window thread. window may
    // be set later (setWindow), so a signal that comes while the window is still being built is
    // kept. Only one instance may exist at a time. Throws std::runtime_error when the pipe cannot
    // be made.
    SignalClose(QWidget* window, std::initializer_list<int> signalNumbers);
    // Restores the previous handlers and closes the pipe.
    ~SignalClose() override;

    SignalClose(const SignalClose&) = delete;
    SignalClose& operator=(const SignalClose&) = delete;

    // The window to close; closed at once when a signal has already arrived.
    void setWindow(QWidget* window);
    // The last signal received, 0 before any.
    int lastSignal() const { return m_lastSignal; }
    // True once a signal has asked the program to end: nothing may wait for the user any more.
    static bool closeRequested();

  private:
    void signalArrived();

    QPointer<QWidget> m_window;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::pair<int, struct sigaction>> m_previous;
    int m_lastSignal = 0;
};

} // namespace kestrava::ui
