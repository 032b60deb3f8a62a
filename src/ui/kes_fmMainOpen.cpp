// Opening result files from the results grid: the recorded press, the context menu's enable
// states, the preferred editor (double click or menu) with its command-line tokens, and the
// desktop's default program. Programs start with an argument list, never through a shell.
#include "kes_fmMain.h"

#include "kes_uOpenFile.h"

#include <QAction>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

void TfmMain::DrawGrid1MouseDown(const QPoint& viewportPoint) {
    if (FGridContent == gcScript) {
        ScriptGridMouseDown(viewportPoint);
        return;
    }
    FPressPos = viewportPoint;
    if (const kes::TResultRow* row = PressedResultRow()) {
        const bool header = row->Kind == kes::rkFileHeader;
        Openwithpreferrededitor1->setEnabled(header);
        Openwithdefaultprogram1->setEnabled(header);
    }
    SaveallresultsfilenamesonlytoTextfile1->setEnabled(FResultView == kes::rvLinesWithMatches ||
                                                       FResultView == kes::rvMatchesOnly);
}

const kes::TResultRow* TfmMain::PressedResultRow() const {
    if (FGridContent != gcResults)
        return nullptr;
    const int row = DrawGrid1->RowAt(FPressPos);
    if (row < 0 || static_cast<size_t>(row) >= FResultRows.size())
        return nullptr;
    return &FResultRows[static_cast<size_t>(row)];
}

void TfmMain::DrawGrid1DblClick() {
    const kes::TResultRow* row = PressedResultRow();
    if (row == nullptr || (row->Kind != kes::rkFileHeader && row->Kind != kes::rkLine))
        return;
    const kes::TkesFile& file = FResults.Files.at(static_cast<size_t>(row->FileIndex));
    const std::string path = kes::FilePath(FResults, file);
    std::string program;
    const std::string problem = kes::CheckEditor(Settings().EditorFileSpec, program);
    if (!problem.empty()) {
        FServices->ShowMessage(this, Q(problem));
        return;
    }
    std::vector<std::string> argv{program};
    if (row->Kind == kes::rkFileHeader) {
        argv.push_back(path); // the whole path as one argument, whatever the template
    } else {
        const kes::TMatchedLines& line = file.Lines.at(static_cast<size_t>(row->LineIndex));
        kes::TkesMatchPosition position;
        position.MatchStart = line.MatchStart;
        position.MatchEnd = line.MatchEnd;
        kes::FileLineAndColumn(path, line.MatchStart, position.LineNumber, position.Column);
        for (std::string& arg : kes::EditorArguments(Settings().EditorCommandLine, path, position))
            argv.push_back(std::move(arg));
    }
    if (!FServices->StartProgram(argv))
        FServices->ShowError(this, QStringLiteral("Unable to start the editor: ") + Q(program));
}

void TfmMain::Openwithdefaultprogram1Click() {
    const kes::TResultRow* row = PressedResultRow();
    if (row == nullptr || row->Kind != kes::rkFileHeader)
        return;
    const std::string path =
        kes::FilePath(FResults, FResults.Files.at(static_cast<size_t>(row->FileIndex)));
    if (!FServices->OpenDocument(path))
        FServices->ShowError(this, QStringLiteral("Unable to open ") + Q(path) +
                                       QStringLiteral(": xdg-open could not be started"));
}
