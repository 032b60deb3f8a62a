#include "background_run.h"

#include "qt_text.h"

#include <QStringList>

namespace kestrava::ui {

void BackgroundRun::start(Job job) {
    m_running = true;
    m_thread = std::jthread([this, job = std::move(job)](std::stop_token stop) {
        const auto post = [this](auto call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        };
        const search::ProgressEvent progress = [post, this](const search::Progress& where) {
            post([this, where] { emit progressed(where); });
        };
        QString error;
        try {
            error = job(progress, stop);
        } catch (const std::exception& e) {
            error = toQString(e.what());
            if (error.isEmpty())
                error = QStringLiteral("unknown error");
        }
        post([this, error] { end(error); });
    });
}

void BackgroundRun::end(const QString& error) {
    if (!m_running)
        return; // stopped and waited for: nobody listens any more
    const bool stopped = m_thread.get_stop_token().stop_requested();
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    emit finished(error, stopped);
}

bool BackgroundRun::requestStop() {
    if (!m_running || !m_thread.joinable())
        return false;
    m_thread.request_stop();
    return true;
}

void BackgroundRun::stopAndWait() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_running = false;
}

namespace {

QString fileCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

QString runEndNote(const QString& what, const search::SearchResults& results, bool stopped) {
    QStringList notes;
    if (results.cancelled || stopped)
        notes << what + QStringLiteral(" cancelled after ") + fileCountText(results.filesScanned) +
                     QStringLiteral(": the results found so far are shown");
    if (results.filesSkipped > 0)
        notes << fileCountText(results.filesSkipped) + QStringLiteral(" could not be read");
    if (!results.notReplaced.empty())
        notes << fileCountText(static_cast<int32_t>(results.notReplaced.size())) +
                     QStringLiteral(" not replaced");
    for (const search::SkippedFile& folder : results.missingFolders)
        notes << QStringLiteral("Folder not found: ") + toQString(folder.fileName);
    return notes.join(QStringLiteral("; "));
}

QString runWarnings(const search::SearchResults& results) {
    QStringList lines;
    for (const search::SkippedFile& file : results.notReplaced)
        lines << QStringLiteral("Not replaced: ") + toQString(file.fileName) +
                     QStringLiteral(": ") + toQString(file.message);
    for (const std::string& notice : results.notices)
        lines << toQString(notice);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace kestrava::ui
