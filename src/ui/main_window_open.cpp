// Opening result files from the results grid: the recorded press, the context menu's enable
// states, the preferred editor (double click or menu) with its command-line tokens, and the
// desktop's default program. Programs start with an argument list, never through a shell.
#include "main_window.h"

#include "qt_text.h"

#include "open_file.h"

#include <QAction>

namespace kestrava::ui {

void MainWindow::recordGridPress(const QPoint& viewportPoint) {
    if (m_gridContent == GridContent::Script) {
        scriptGridMouseDown(viewportPoint);
        return;
    }
    m_pressPos = viewportPoint;
    if (const results::Row* row = pressedResultRow()) {
        const bool header = row->kind == results::RowKind::FileHeader;
        openInEditorAction->setEnabled(header);
        openWithDefaultAction->setEnabled(header);
    }
    saveFileNamesAction->setEnabled(m_resultView == results::View::LinesWithMatches ||
                                    m_resultView == results::View::MatchesOnly);
}

const results::Row* MainWindow::pressedResultRow() const {
    if (m_gridContent != GridContent::Results)
        return nullptr;
    const int row = resultsGrid->rowAt(m_pressPos);
    if (row < 0 || static_cast<size_t>(row) >= m_resultRows.size())
        return nullptr;
    return &m_resultRows[static_cast<size_t>(row)];
}

void MainWindow::openResultInEditor() {
    const results::Row* row = pressedResultRow();
    if (row == nullptr ||
        (row->kind != results::RowKind::FileHeader && row->kind != results::RowKind::Line))
        return;
    const search::FileMatches& file = m_results.files.at(static_cast<size_t>(row->fileIndex));
    const std::string path = results::filePath(m_results, file);
    std::string program;
    const std::string problem = checkEditor(settings().editorFileSpec, program);
    if (!problem.empty()) {
        m_services->showMessage(this, toQString(problem));
        return;
    }
    std::vector<std::string> argv{program};
    if (row->kind == results::RowKind::FileHeader) {
        argv.push_back(path); // the whole path as one argument, whatever the template
    } else {
        const search::MatchedLine& line = file.lines.at(static_cast<size_t>(row->lineIndex));
        MatchPosition position;
        position.matchStart = line.matchStart;
        position.matchEnd = line.matchEnd;
        fileLineAndColumn(path, line.matchStart, position.lineNumber, position.column);
        for (std::string& arg : editorArguments(settings().editorCommandLine, path, position))
            argv.push_back(std::move(arg));
    }
    if (!m_services->startProgram(argv))
        m_services->showError(this,
                              QStringLiteral("Unable to start the editor: ") + toQString(program));
}

void MainWindow::openResultWithDefaultProgram() {
    const results::Row* row = pressedResultRow();
    if (row == nullptr || row->kind != results::RowKind::FileHeader)
        return;
    const std::string path =
        results::filePath(m_results, m_results.files.at(static_cast<size_t>(row->fileIndex)));
    if (!m_services->openDocument(path))
        m_services->showError(this, QStringLiteral("Unable to open ") + toQString(path) +
                                        QStringLiteral(": xdg-open could not be started"));
}

} // namespace kestrava::ui
