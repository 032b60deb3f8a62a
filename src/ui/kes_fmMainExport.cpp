// Taking the results out of the program: the current view as rich text on the clipboard, or
// saved to a text file with or without its lines. All three export exactly the rows the grid
// shows, with a header made from the criteria boxes as they are now.
#include "kes_fmMain.h"

#include "util/ldiFileIO.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringDecoder>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Export bytes as text: UTF-8 when they are valid UTF-8, else Latin-1 (the bytes unchanged).
QString BytesToText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError())
        text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view end) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += end;
    }
    return text;
}

} // namespace

kes::TExportHeader TfmMain::ExportHeader() const {
    return kes::MakeExportHeader(FMode, GetCriteria(), FScript.FileName);
}

void TfmMain::pumCopyClick() {
    const std::vector<std::string> lines =
        kes::BuildResultLines(FResults, FResultRows, ExportHeader(), true);
    const std::string rich = kes::BuildRichText(lines);
    auto mime = std::make_unique<QMimeData>();
    const QByteArray bytes(rich.data(), static_cast<qsizetype>(rich.size()));
    mime->setData(QStringLiteral("text/rtf"), bytes);
    mime->setData(QStringLiteral("application/rtf"), bytes);
    mime->setText(BytesToText(JoinLines(lines, "\n")));
    QGuiApplication::clipboard()->setMimeData(mime.release()); // the clipboard owns it now
}

void TfmMain::pumCopyToTextFileClick() {
    SaveResults(true);
}

void TfmMain::SaveallresultsfilenamesonlytoTextfile1Click() {
    SaveResults(false);
}

void TfmMain::SaveResults(bool details) {
    const std::string text =
        JoinLines(kes::BuildResultLines(FResults, FResultRows, ExportHeader(), details), "\r\n");
    const QString title = details ? QStringLiteral("Save all results to:")
                                  : QStringLiteral("Save all results (filenames only) to:");
    const QString chosen =
        FServices->GetSaveFileName(this, title, FLastExportFolder,
                                   QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    FLastExportFolder = Q(kes::ldiFileFolder(path));
    try {
        kes::ldiWriteCompleteTextFile(path, text);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}
