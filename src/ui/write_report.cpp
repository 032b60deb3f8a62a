#include "write_report.h"

#include "results/results.h"

#include <algorithm>
#include <unordered_map>

namespace kestrava::ui {

namespace {

std::string counted(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

QString changesText(int64_t changes) {
    return QString::fromStdString(" (" + counted(changes, " change", " changes") + ")");
}

} // namespace

WriteReport appliedReport(const AppliedChanges& applied) {
    WriteReport report;
    const ReportKind written = applied.inPlace ? ReportKind::Written : ReportKind::CopyWritten;
    for (const WrittenFile& file : applied.written)
        report.push_back({written, file.path, {}, file.changes});
    for (const search::SkippedFile& file : applied.refused)
        report.push_back({ReportKind::NotWritten, file.fileName, file.message, 0});
    return report;
}

WriteReport undoneReport(const search::UndoOutcome& outcome) {
    WriteReport report;
    for (const std::string& path : outcome.restored)
        report.push_back({ReportKind::PutBack, path, {}, 0});
    for (const auto& [path, why] : outcome.refused)
        report.push_back({ReportKind::NotPutBack, path, why, 0});
    return report;
}

WriteReport fileWrites(const search::SearchResults& results, bool replaceInPlace) {
    std::unordered_map<std::string, const search::SkippedFile*> leftAlone;
    for (const search::SkippedFile& file : results.notReplaced)
        leftAlone.emplace(file.fileName, &file);
    WriteReport writes;
    writes.reserve(results.files.size());
    for (const search::FileMatches& file : results.files) {
        const std::string path = results::filePath(results, file);
        if (const auto found = leftAlone.find(path); found != leftAlone.end())
            writes.push_back({ReportKind::NotWritten, path, found->second->message, 0});
        else
            writes.push_back({replaceInPlace ? ReportKind::Written : ReportKind::CopyWritten,
                              search::replaceOutputName(path, replaceInPlace),
                              {},
                              file.numMatches});
    }
    return writes;
}

std::string writtenNote(const WriteReport& writes) {
    const auto count = [&writes](ReportKind kind) {
        return std::count_if(writes.begin(), writes.end(),
                             [kind](const ReportLine& line) { return line.kind == kind; });
    };
    std::vector<std::string> parts;
    if (const auto files = count(ReportKind::Written); files > 0)
        parts.push_back(counted(files, " file", " files") + " written");
    if (const auto copies = count(ReportKind::CopyWritten); copies > 0)
        parts.push_back(counted(copies, " copy", " copies") + " written");
    if (const auto left = count(ReportKind::NotWritten); left > 0)
        parts.push_back(counted(left, " file", " files") + " not replaced");
    std::string note;
    for (const std::string& part : parts)
        note += (note.empty() ? "" : "; ") + part;
    return note;
}

std::vector<GridPiece> reportRowPieces(const ReportLine& line, const GridColours& colours) {
    static const char* const kSaid[] = {
        "Written: ", "Copy written: ", "Not replaced: ", "Put back: ", "Not put back: "};
    const bool refused = line.kind == ReportKind::NotWritten || line.kind == ReportKind::NotPutBack;
    std::vector<GridPiece> pieces{{QString::fromLatin1(kSaid[static_cast<size_t>(line.kind)]),
                                   refused ? colours.removed : colours.text},
                                  {displayText(line.path), colours.text, true}};
    if (refused)
        pieces.push_back({QStringLiteral(": ") + displayText(line.detail), colours.text});
    else if (line.kind != ReportKind::PutBack)
        pieces.push_back({changesText(line.changes), colours.text});
    return pieces;
}

std::vector<GridPiece> headerWritePieces(const ReportLine& line, const GridColours& colours) {
    switch (line.kind) {
    case ReportKind::Written:
        return {{QStringLiteral("   written"), colours.added, false, false, 0, 2}};
    case ReportKind::CopyWritten:
        return {{QStringLiteral("   copy written: ") + displayText(line.path), colours.added, false,
                 false, 0, 2}};
    default:
        return {{QStringLiteral("   not replaced: ") + displayText(line.detail), colours.removed,
                 false, false, 0, 2}};
    }
}

} // namespace kestrava::ui
