#include "results_pane.h"

#include "open_file.h"
#include "qt_text.h"
#include "widget_style.h"

#include "util/file_io.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <algorithm>

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

ResultsPane::ResultsPane(UiServices& services, config::Settings& settings,
                         std::function<results::ExportHeader()> header, QWidget* parent)
    : QWidget(parent), m_services(services), m_settings(settings), m_header(std::move(header)) {
    setObjectName(QStringLiteral("resultsPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_grid = new ResultsGrid(this);
    m_grid->setAccessibleName(QStringLiteral("Results"));
    buildPreview();
    layout->addWidget(m_previewSplitter);
    buildMenu();
    buildViewMenu();
    connect(m_grid, &ResultsGrid::mouseDown, this, &ResultsPane::recordPress);
    connect(m_grid, &ResultsGrid::doubleClicked, this, &ResultsPane::openInEditor);
    connect(m_grid, &ResultsGrid::currentRowChanged, this, &ResultsPane::previewRow);
}

void ResultsPane::buildPreview() {
    m_previewSplitter = named(new QSplitter(Qt::Vertical, this), "previewSplitter");
    m_previewPane = new PreviewPane(m_previewSplitter);
    m_previewSplitter->addWidget(m_grid);
    m_previewSplitter->addWidget(m_previewPane);
    // A taller window gives its room to the grid; the preview keeps the height it was given.
    m_previewSplitter->setStretchFactor(0, 1);
    m_previewSplitter->setStretchFactor(1, 0);
    m_previewSplitter->setCollapsible(0, false);
    m_previewSplitter->setCollapsible(1, false);
    m_previewPane->setVisible(m_settings.showPreview);
    connect(m_previewSplitter, &QSplitter::splitterMoved, this, &ResultsPane::rememberPreviewSize);
}

void ResultsPane::buildMenu() {
    // Open, copy, save; the two "Open with" items wait for a press on a file header row.
    m_menu = named(new QMenu(this), "resultsMenu");
    const auto add = [this](const char* name, const char* caption, auto handler) {
        QAction* action = named(m_menu->addAction(QString::fromLatin1(caption)), name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_openInEditorAction =
        add("openInEditorAction", "Open with preferred editor", &ResultsPane::openInEditor);
    m_menu->addSeparator();
    m_openWithDefaultAction = add("openWithDefaultAction", "Open with default program",
                                  &ResultsPane::openWithDefaultProgram);
    m_menu->addSeparator();
    add("copyResultsAction", "Copy all results to Clipboard", &ResultsPane::copyToClipboard);
    add("saveResultsAction", "Save all results to Text File", [this] { saveToFile(true); });
    m_menu->addSeparator();
    m_saveFileNamesAction =
        add("saveFileNamesAction", "Save all results (filenames only) to Text file",
            [this] { saveToFile(false); });
    m_menu->addSeparator();
    named(m_menu->addAction(QStringLiteral("Cancel")), "pumCancelCopy");
    m_openInEditorAction->setEnabled(false);
    m_openWithDefaultAction->setEnabled(false);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (m_grid->content() != GridContent::Script)
            m_menu->popup(m_grid->mapToGlobal(pos));
    });
}

void ResultsPane::buildViewMenu() {
    m_viewMenu = named(new QMenu(QStringLiteral("&View"), this), "viewMenu");
    for (const char* name : {"mmView_FoldersList", "mmView_FoldersAndFilesList"}) {
        QAction* never = named(m_viewMenu->addAction(QString()), name);
        never->setVisible(false);
        never->setEnabled(false);
    }
    static const char* const kNames[] = {"mmView_LinesWithMatches", "mmView_MatchesOnly",
                                         "mmView_UniqueMatches", "mmView_UniqueMatchesSorted"};
    static const char* const kCaptions[] = {"&Lines with Matches", "&Matches Only",
                                            "&Unique Matches", "Unique Matches (&sorted)"};
    auto* views = new QActionGroup(this); // the menu marks the view shown
    for (size_t i = 0; i < m_viewActions.size(); ++i) {
        m_viewActions[i] =
            named(m_viewMenu->addAction(QString::fromLatin1(kCaptions[i])), kNames[i]);
        m_viewActions[i]->setCheckable(true);
        views->addAction(m_viewActions[i]);
        connect(m_viewActions[i], &QAction::triggered, this, [this, i] {
            setView(static_cast<results::View>(i));
            emit viewChosen();
        });
    }
    setView(m_view);
    m_viewMenu->addSeparator();
    m_lineNumbersAction =
        named(m_viewMenu->addAction(QStringLiteral("Line &Numbers")), "lineNumbersAction");
    m_lineNumbersAction->setCheckable(true);
    m_lineNumbersAction->setChecked(m_settings.showLineNumbers);
    m_grid->setLineNumbersShown(m_settings.showLineNumbers);
    connect(m_lineNumbersAction, &QAction::toggled, this, [this](bool shown) {
        m_settings.showLineNumbers = shown;
        m_grid->setLineNumbersShown(shown);
    });
    m_previewAction = named(m_viewMenu->addAction(QStringLiteral("&Preview")), "previewAction");
    m_previewAction->setCheckable(true);
    m_previewAction->setChecked(m_settings.showPreview);
    connect(m_previewAction, &QAction::toggled, this, &ResultsPane::setPreviewShown);
}

void ResultsPane::applySettings() {
    m_lineNumbersAction->setChecked(m_settings.showLineNumbers);
    m_grid->setLineNumbersShown(m_settings.showLineNumbers);
    m_previewAction->setChecked(m_settings.showPreview);
    m_previewPlaced = false; // the height read may differ from the one in use
    setPreviewShown(m_settings.showPreview);
}

void ResultsPane::setView(results::View view) {
    m_view = view;
    m_viewActions.at(static_cast<size_t>(view))->setChecked(true);
}

void ResultsPane::setViewsEnabled(bool enabled) {
    for (QAction* action : m_viewActions)
        action->setEnabled(enabled);
}

void ResultsPane::startRun(bool shown) {
    showEmpty();
    search::clearMatchResults(m_results);
    m_fileWrites.clear();
    m_runShown = shown;
}

results::SummaryTexts ResultsPane::addFound(FoundBatch& batch) {
    const bool first = m_results.files.empty();
    int32_t widest = 1;
    m_results.folders.insert(m_results.folders.end(), batch.newFolders.begin(),
                             batch.newFolders.end());
    for (search::FileMatches& file : batch.files) {
        ++m_results.filesWithMatches;
        m_results.totalMatches += file.numMatches;
        m_results.totalLines += static_cast<int32_t>(file.lines.size());
        for (const search::MatchedLine& line : file.lines)
            widest = std::max(widest, line.lineNumber);
        m_results.files.push_back(std::move(file));
        if (m_runShown)
            results::appendFileRows(m_results, m_results.files.size() - 1, false, m_rows);
    }
    m_results.filesScanned = batch.filesScanned;
    m_results.binarySkipped = batch.binarySkipped;
    if (m_runShown && first && !m_rows.empty()) {
        setView(results::View::LinesWithMatches);
        m_rowsLive = true;
        m_grid->showResults(&m_results, &m_rows);
        m_grid->setEnabled(true);
    } else if (m_runShown) {
        m_grid->rowsAdded(widest);
    }
    return results::summaryTexts(m_results, results::View::LinesWithMatches, 0);
}

void ResultsPane::endRun(search::SearchResults&& totals, bool failed) {
    m_runShown = false;
    if (failed) {
        showEmpty();
        search::clearMatchResults(m_results);
        m_fileWrites.clear();
        return;
    }
    totals.files = std::move(m_results.files); // its folders are the run's own, as the files'
    m_results = std::move(totals);
}

results::SummaryTexts ResultsPane::showResults() {
    if (m_rowsLive && m_view == results::View::LinesWithMatches) {
        m_grid->rowsAdded(1);
        m_grid->setEnabled(m_results.totalMatches >= 1);
        return results::summaryTexts(m_results, m_view, 0);
    }
    m_rowsLive = false;
    const int32_t unique = results::buildResultRows(m_results, m_view, m_rows);
    if (m_view == results::View::UniqueMatches || m_view == results::View::UniqueMatchesSorted)
        m_uniqueMatchCount = unique;
    if (m_grid->columnCount() != 1)
        m_grid->clearDrawGrid(1);
    m_grid->showResults(&m_results, &m_rows,
                        m_view == results::View::LinesWithMatches ||
                            m_view == results::View::MatchesOnly);
    m_grid->setFileWrites(m_fileWrites.empty() ? nullptr : &m_fileWrites);
    m_previewPane->clear();
    m_grid->setEnabled(m_results.totalMatches >= 1);
    return results::summaryTexts(m_results, m_view, m_uniqueMatchCount);
}

results::SummaryTexts ResultsPane::showPlan() {
    m_rows.clear();
    m_rowsLive = false;
    m_plan.build(m_results);
    if (m_grid->columnCount() != 1)
        m_grid->clearDrawGrid(1);
    m_grid->showPlan(&m_results, &m_plan);
    m_previewPane->clear();
    m_grid->setEnabled(!m_plan.empty());
    return planSummary();
}

results::SummaryTexts ResultsPane::planSummary() const {
    const auto counted = [](int64_t count, const char* one, const char* many) {
        return std::to_string(count) + (count == 1 ? one : many);
    };
    results::SummaryTexts texts = results::summaryTexts(m_results, m_view, 0);
    texts.searchedAndFound = "Searched " + counted(m_results.filesScanned, " file", " files") +
                             ":   " + std::to_string(m_plan.changeCount());
    texts.matchesWord = m_plan.changeCount() == 1 ? " change" : " changes";
    texts.inFiles = " in " + counted(m_plan.fileCount(), " file", " files");
    texts.uniqueMatches = "(" + std::to_string(m_plan.checkedCount()) + " checked)";
    return texts;
}

void ResultsPane::noteFileWrites(WriteReport writes) {
    m_fileWrites = std::move(writes);
    m_grid->setFileWrites(m_fileWrites.empty() ? nullptr : &m_fileWrites);
}

void ResultsPane::showReport(WriteReport report) {
    showEmpty();
    search::clearMatchResults(m_results);
    m_fileWrites.clear();
    m_report = std::move(report);
    m_grid->showReport(&m_report);
    m_grid->setEnabled(true); // Ctrl+Z works on it
}

void ResultsPane::showEmpty() {
    // Nothing on screen may point into the rows any more.
    m_rows.clear();
    m_rowsLive = false;
    m_plan.clear();
    m_grid->clearDrawGrid(1);
    m_grid->showEmpty();
    m_previewPane->clear();
}

// ---- The preview

void ResultsPane::setPreviewShown(bool shown) {
    m_settings.showPreview = shown;
    m_previewPane->setVisible(shown);
    if (!shown) {
        m_previewPlaced = false;
        m_previewPane->clear(); // nothing of a file is held while hidden
        return;
    }
    placePreview();
    previewRow(m_grid->currentRow());
}

void ResultsPane::placePreview() {
    // Sizes mean something only once the window has laid this pane out; until then, the next
    // show or resize places it.
    if (m_previewPlaced || !isVisible() || !m_previewPane->isVisibleTo(this))
        return;
    constexpr int kLeast = 40; // pixels either part keeps
    const int room = m_previewSplitter->height() - m_previewSplitter->handleWidth();
    if (room < 2 * kLeast)
        return;
    const int wanted = m_settings.previewSize > 0 ? m_settings.previewSize : room * 2 / 5;
    const int height = std::clamp(wanted, kLeast, room - kLeast);
    m_previewSplitter->setSizes({room - height, height});
    m_previewPlaced = true;
}

void ResultsPane::rememberPreviewSize() {
    const QList<int> sizes = m_previewSplitter->sizes();
    if (sizes.size() == 2 && sizes[1] > 0)
        m_settings.previewSize = sizes[1];
}

void ResultsPane::previewRow(int row) {
    if (!m_previewPane->isVisibleTo(this))
        return;
    if (m_grid->content() == GridContent::Plan) {
        previewPlanRow(row);
        return;
    }
    const bool onRow = m_grid->content() == GridContent::Results && row >= 0 &&
                       static_cast<size_t>(row) < m_rows.size() &&
                       m_rows[static_cast<size_t>(row)].kind != results::RowKind::Blank;
    if (!onRow) {
        m_previewPane->clear();
        return;
    }
    const results::Row& shown = m_rows[static_cast<size_t>(row)];
    const auto file = static_cast<size_t>(shown.fileIndex);
    // A file's header shows it at its first match.
    const auto line = shown.kind == results::RowKind::FileHeader
                          ? size_t{0}
                          : static_cast<size_t>(shown.lineIndex);
    if (line < m_results.files.at(file).lines.size())
        m_previewPane->showLine(m_results, file, line);
    else
        m_previewPane->clear();
}

void ResultsPane::previewPlanRow(int row) {
    const auto index = static_cast<size_t>(row);
    if (row < 0 || index >= m_plan.rows().size() ||
        m_plan.rows()[index].kind == PlanRowKind::Blank) {
        m_previewPane->clear();
        return;
    }
    const PlanRow& shown = m_plan.rows()[index];
    const auto fileIndex = static_cast<size_t>(shown.fileIndex);
    const search::FileMatches& file = m_results.files.at(fileIndex);
    if (file.lines.empty()) {
        m_previewPane->clear();
        return;
    }
    // At the matched line the change starts on; a header, or a change whose line holds no match
    // of its own (a script's run of changed lines), shows the file at its first match.
    size_t line = 0;
    if (shown.kind != PlanRowKind::FileHeader) {
        const int32_t number =
            file.changeViews.at(static_cast<size_t>(shown.changeIndex)).lineNumber;
        const auto found =
            std::find_if(file.lines.begin(), file.lines.end(),
                         [number](const search::MatchedLine& l) { return l.lineNumber == number; });
        if (found != file.lines.end())
            line = static_cast<size_t>(found - file.lines.begin());
    }
    m_previewPane->showLine(m_results, fileIndex, line);
}

void ResultsPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placePreview();
}

void ResultsPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePreview();
}

// ---- Opening result files

void ResultsPane::recordPress(const QPoint& viewportPoint) {
    if (m_grid->content() == GridContent::Script)
        return;
    m_pressPos = viewportPoint;
    if (const results::Row* row = pressedRow()) {
        const bool header = row->kind == results::RowKind::FileHeader;
        m_openInEditorAction->setEnabled(header);
        m_openWithDefaultAction->setEnabled(header);
    }
    m_saveFileNamesAction->setEnabled(m_view == results::View::LinesWithMatches ||
                                      m_view == results::View::MatchesOnly);
}

const results::Row* ResultsPane::pressedRow() const {
    if (m_grid->content() != GridContent::Results)
        return nullptr;
    const int row = m_grid->rowAt(m_pressPos);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return nullptr;
    return &m_rows[static_cast<size_t>(row)];
}

void ResultsPane::openInEditor() {
    const results::Row* row = pressedRow();
    if (row == nullptr ||
        (row->kind != results::RowKind::FileHeader && row->kind != results::RowKind::Line))
        return;
    const search::FileMatches& file = m_results.files.at(static_cast<size_t>(row->fileIndex));
    const std::string path = results::filePath(m_results, file);
    std::string program;
    const std::string problem = checkEditor(m_settings.editorFileSpec, program);
    if (!problem.empty()) {
        m_services.showMessage(this, toQString(problem));
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
        for (std::string& arg : editorArguments(m_settings.editorCommandLine, path, position))
            argv.push_back(std::move(arg));
    }
    if (!m_services.startProgram(argv))
        m_services.showError(this,
                             QStringLiteral("Unable to start the editor: ") + toQString(program));
}

void ResultsPane::openWithDefaultProgram() {
    const results::Row* row = pressedRow();
    if (row == nullptr || row->kind != results::RowKind::FileHeader)
        return;
    const std::string path =
        results::filePath(m_results, m_results.files.at(static_cast<size_t>(row->fileIndex)));
    if (!m_services.openDocument(path))
        m_services.showError(this, QStringLiteral("Unable to open ") + toQString(path) +
                                       QStringLiteral(": xdg-open could not be started"));
}

// ---- Exporting: exactly the rows shown, with a header from the criteria as they are now

void ResultsPane::copyToClipboard() {
    const std::vector<std::string> lines =
        results::buildResultLines(m_results, m_rows, m_header(), true);
    const std::string rich = results::buildRichText(lines);
    auto mime = std::make_unique<QMimeData>();
    const QByteArray bytes(rich.data(), static_cast<qsizetype>(rich.size()));
    mime->setData(QStringLiteral("text/rtf"), bytes);
    mime->setData(QStringLiteral("application/rtf"), bytes);
    mime->setText(bytesToText(joinLines(lines, "\n")));
    QGuiApplication::clipboard()->setMimeData(mime.release()); // the clipboard owns it now
}

void ResultsPane::saveToFile(bool details) {
    const std::string text =
        joinLines(results::buildResultLines(m_results, m_rows, m_header(), details), "\r\n");
    const QString title = details ? QStringLiteral("Save all results to:")
                                  : QStringLiteral("Save all results (filenames only) to:");
    const QString chosen =
        m_services.getSaveFileName(this, title, m_lastExportFolder,
                                   QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    m_lastExportFolder = toQString(util::fileFolder(path));
    try {
        util::writeCompleteTextFile(path, text);
    } catch (const std::exception& e) {
        m_services.showError(this, toQString(e.what()));
    }
}

} // namespace kestrava::ui
