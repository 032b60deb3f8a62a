// Turns SIGTERM and SIGINT (a desktop logout, Ctrl+C in a terminal) into an ordinary close of
// the main window, so histories and settings are saved as on any other exit. The handler only
// writes a byte to a pipe; the window thread reads it through a socket notifier.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <csignal>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

class TkesSignalClose : public QObject {
    Q_OBJECT
  public:
    // Installs handlers for the signals; window->close() runs on the window thread when one
    // arrives. Only one instance may exist at a time. Throws std::runtime_error when the pipe
    // cannot be made.
    TkesSignalClose(QWidget* window, std::initializer_list<int> signalNumbers);
    // Restores the previous handlers and closes the pipe.
    ~TkesSignalClose() override;

    TkesSignalClose(const TkesSignalClose&) = delete;
    TkesSignalClose& operator=(const TkesSignalClose&) = delete;

    // The last signal received, 0 before any.
    int LastSignal() const { return FLastSignal; }

  private:
    void SignalArrived();

    QPointer<QWidget> FWindow;
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::vector<std::pair<int, struct sigaction>> FPrevious;
    int FLastSignal = 0;
};
