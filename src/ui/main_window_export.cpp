// Taking the results out of the program: the current view as rich text on the clipboard, or
// saved to a text file with or without its lines. All three export exactly the rows the grid
// shows, with a header made from the criteria boxes as they are now.
#include "main_window.h"

#include "qt_text.h"

#include "util/file_io.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringDecoder>

namespace kestrava::ui {

namespace {

// Export bytes as text: UTF-8 when they are valid UTF-8, else Latin-1 (the bytes unchanged).
QString bytesToText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError())
        text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

std::string joinLines(const std::vector<std::string>& lines, std::string_view end) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += end;
    }
    return text;
}

} // namespace

results::ExportHeader MainWindow::exportHeader() const {
    return results::makeExportHeader(m_mode, getCriteria(), m_script.fileName);
}

void MainWindow::copyResults() {
    const std::vector<std::string> lines =
        results::buildResultLines(m_results, m_resultRows, exportHeader(), true);
    const std::string rich = results::buildRichText(lines);
    auto mime = std::make_unique<QMimeData>();
    const QByteArray bytes(rich.data(), static_cast<qsizetype>(rich.size()));
    mime->setData(QStringLiteral("text/rtf"), bytes);
    mime->setData(QStringLiteral("application/rtf"), bytes);
    mime->setText(bytesToText(joinLines(lines, "\n")));
    QGuiApplication::clipboard()->setMimeData(mime.release()); // the clipboard owns it now
}

void MainWindow::saveResultsToFile() {
    saveResults(true);
}

void MainWindow::saveFileNamesToFile() {
    saveResults(false);
}

void MainWindow::saveResults(bool details) {
    const std::string text = joinLines(
        results::buildResultLines(m_results, m_resultRows, exportHeader(), details), "\r\n");
    const QString title = details ? QStringLiteral("Save all results to:")
                                  : QStringLiteral("Save all results (filenames only) to:");
    const QString chosen =
        m_services->getSaveFileName(this, title, m_lastExportFolder,
                                    QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    m_lastExportFolder = toQString(util::fileFolder(path));
    try {
        util::writeCompleteTextFile(path, text);
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what()));
    }
}

} // namespace kestrava::ui
