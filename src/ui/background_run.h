// One search at a time on a worker thread. The job runs there; its progress and its end come
// back to the owner's thread as signals, the end only once the worker has been joined.
#pragma once

#include "search/search.h"

#include <QObject>
#include <QString>

#include <functional>
#include <stop_token>
#include <thread>

namespace kestrava::ui {

class BackgroundRun : public QObject {
    Q_OBJECT
  public:
    // Returns an error text, empty on success; an exception counts as an error.
    using Job = std::function<QString(const search::ProgressEvent&, std::stop_token)>;

    explicit BackgroundRun(QObject* parent) : QObject(parent) {}
    ~BackgroundRun() override { stopAndWait(); }

    void start(Job job);
    bool isRunning() const { return m_running; }
    // Asks the job to stop, even inside a long file; false when nothing runs.
    bool requestStop();
    // Stops a job and waits for it; no signal follows.
    void stopAndWait();

  signals:
    void progressed(const search::Progress& progress);
    // stopped: a stop was asked for, even when it came too early to cancel anything.
    void finished(const QString& error, bool stopped);

  private:
    void end(const QString& error);

    std::jthread m_thread;
    bool m_running = false;
};

// What the status bar adds after a run: cancelled, files not read, files not replaced.
QString runEndNote(const QString& what, const search::SearchResults& results, bool stopped);
// The files a run left as they were, with why, and its notices; empty when there are none.
QString runWarnings(const search::SearchResults& results);

} // namespace kestrava::ui
