// Summary texts and the export text of the results.
#include "results/kes_uResults.h"

#include <algorithm>

namespace kes {

namespace {

std::string Counted(int32_t count, const char* singular, const char* plural) {
    return std::to_string(count) + (count == 1 ? singular : plural);
}

void AppendHeader(const TExportHeader& header, std::vector<std::string>& lines) {
    switch (header.Mode) {
    case mdFind:
        lines.push_back("Folders:  " + header.Folders);
        lines.push_back("Files:    " + header.Files);
        lines.push_back("Find:     " + header.Find);
        break;
    case mdFindAndReplace:
        lines.push_back("Folders:      " + header.Folders);
        lines.push_back("Files:        " + header.Files);
        lines.push_back("Find:         " + header.Find);
        lines.push_back("Replace with: " + header.Replace);
        break;
    case mdScript:
        lines.push_back("Script: " + (header.ScriptFileName.empty()
                                          ? std::string("New (unsaved) script")
                                          : header.ScriptFileName));
        break;
    case mdViewFoldersFiles:
        return;
    }
    lines.emplace_back();
}

void AppendLineText(const TMatchedLines& line, std::string& text) {
    for (const TMatchedSegment segment : line.Segments())
        text += SegmentText(line, segment);
    if (line.Truncated)
        text += "->";
}

// Appends the text of one file, line or match row.
void AppendRowText(const TkesMatchResults& results, const TResultRow& row, std::string& text) {
    const TkesFile& file = results.Files.at(static_cast<size_t>(row.FileIndex));
    if (row.Kind == rkFileHeader) {
        text += "Found ";
        text += std::to_string(file.NumMatches);
        text += file.NumMatches == 1 ? " match in " : " matches in ";
        text += results.Folders.at(static_cast<size_t>(file.FolderIndex));
        text += file.FileName;
        return;
    }
    const TMatchedLines& line = file.Lines.at(static_cast<size_t>(row.LineIndex));
    if (row.Kind == rkLine) {
        AppendLineText(line, text);
        return;
    }
    const auto match = static_cast<size_t>(row.MatchIndex);
    text += MatchText(line, match);
    if (CutAfterMatch(line, match))
        text += ">";
}

} // namespace

TSummaryTexts SummaryTexts(const TkesMatchResults& results, TResultView view,
                           int32_t uniqueMatchCount) {
    TSummaryTexts texts;
    texts.Label1 = "Searched " + Counted(results.FilesScanned, " file", " files") + ":   Found " +
                   std::to_string(results.TotalMatches);
    texts.Label2 = results.TotalMatches == 1 ? " match" : " matches";
    texts.Label3 = " in " + Counted(results.FilesWithMatches, " file", " files");
    if (view == rvUniqueMatches || view == rvUniqueMatchesSorted) // 0 keeps the singular
        texts.Label4 = "(" + std::to_string(uniqueMatchCount) + " Unique Match" +
                       (uniqueMatchCount > 1 ? "es" : "") + ")";
    return texts;
}

std::string SummaryLine(const TSummaryTexts& texts) {
    std::string line = texts.Label1 + texts.Label2 + texts.Label3;
    if (!texts.Label4.empty())
        line += " " + texts.Label4;
    return line;
}

TExportHeader MakeExportHeader(TkesMode mode, const TkesSpecs& criteria,
                               const std::string& scriptFileName) {
    return TExportHeader{mode,          criteria.Folders, criteria.Files,
                         criteria.Find, criteria.Replace, scriptFileName};
}

namespace {

// The header's lines, each appended to `out` and followed by lineDone(out).
template <typename LineDone>
void AppendHeaderLines(const TExportHeader& header, std::string& out, LineDone lineDone) {
    std::vector<std::string> headerLines;
    AppendHeader(header, headerLines);
    for (const std::string& line : headerLines) {
        out += line;
        lineDone(out);
    }
}

// The rows' lines (line and match rows only with details), each followed by lineDone(out).
template <typename LineDone>
void AppendRowLines(const TkesMatchResults& results, const TResultRows& rows, bool details,
                    std::string& out, LineDone lineDone) {
    for (const TResultRow& row : rows) {
        if (row.Kind == rkBlank) {
            lineDone(out);
        } else if (row.Kind == rkFileHeader || details) {
            AppendRowText(results, row, out);
            lineDone(out);
        }
    }
}

// Appends each line of the export text to `out` in turn and calls lineDone(out) after each, so
// a caller may keep lines apart or let them run on in one block.
template <typename LineDone>
void AppendEachLine(const TkesMatchResults& results, const TResultRows& rows,
                    const TExportHeader& header, bool details, std::string& out,
                    LineDone lineDone) {
    if (rows.empty()) {
        for (const char* line : {"No matches found", "", ""}) {
            out += line;
            lineDone(out);
        }
        return;
    }
    AppendHeaderLines(header, out, lineDone);
    AppendRowLines(results, rows, details, out, lineDone);
    lineDone(out);
}

} // namespace

void WriteResultText(const TkesMatchResults& results, const TResultRows& rows,
                     const TExportHeader& header, bool details,
                     const std::function<void(std::string_view)>& write) {
    constexpr size_t kBlock = size_t{1} << 20;
    std::string block;
    block.reserve(kBlock + 4096);
    AppendEachLine(results, rows, header, details, block, [&](std::string& text) {
        text += '\n';
        if (text.size() >= kBlock) {
            write(text);
            text.clear();
        }
    });
    write(block);
}

std::vector<std::string> BuildResultLines(const TkesMatchResults& results, const TResultRows& rows,
                                          const TExportHeader& header, bool details) {
    std::vector<std::string> lines;
    std::string line;
    AppendEachLine(results, rows, header, details, line, [&lines](std::string& text) {
        lines.push_back(text);
        text.clear();
    });
    return lines;
}

TExportWhileRunning::TExportWhileRunning(TExportHeader header, TResultView view, bool details,
                                         size_t mostBytes)
    : Header_(std::move(header)), MatchesOnly_(view == rvMatchesOnly), Details_(details),
      MostBytes_(mostBytes) {}

void TExportWhileRunning::FileRecorded(const TkesMatchResults& results, size_t fileIndex) {
    constexpr size_t kBlock = size_t{1} << 20;
    if (GaveUp_)
        return;
    // A file whose text would pass the limit is not made at all: it would only be thrown away.
    size_t estimate = 256;
    if (Details_)
        for (const TMatchedLines& line : results.Files[fileIndex].Lines)
            estimate += line.Text.size() + 4;
    if (Bytes_ + (Blocks_.empty() ? 0 : Blocks_.back().size()) + estimate > MostBytes_) {
        GiveUp();
        return;
    }
    const bool first = Blocks_.empty();
    if (first || Blocks_.back().size() >= kBlock) {
        Bytes_ += first ? 0 : Blocks_.back().size();
        Blocks_.emplace_back().reserve(kBlock + 4096);
    }
    std::string& text = Blocks_.back();
    const auto endLine = [](std::string& line) { line += '\n'; };
    if (first)
        AppendHeaderLines(Header_, text, endLine);
    Rows_.clear();
    AppendFileRows(results, fileIndex, MatchesOnly_, Rows_);
    AppendRowLines(results, Rows_, Details_, text, endLine);
    if (Bytes_ + text.size() > MostBytes_)
        GiveUp();
}

void TExportWhileRunning::GiveUp() {
    GaveUp_ = true;
    std::vector<std::string>().swap(Blocks_);
}

void TExportWhileRunning::Finish(const std::function<void(std::string_view)>& write) {
    if (Blocks_.empty()) {
        write("No matches found\n\n\n");
        return;
    }
    for (const std::string& block : Blocks_)
        write(block);
    write("\n");
}

std::string BuildRichText(const std::vector<std::string>& lines) {
    std::string document =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 "
        "Arial;}}{\\colortbl "
        ";\\red255\\green0\\blue0;;\\red0\\green128\\blue0;\\red0\\green0\\blue255;}"
        "{\\*\\generator Msftedit 5.41.21.2500;}\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (const std::string& line : lines) {
        for (const char c : line) {
            if (c == '\\' || c == '{' || c == '}')
                document += '\\';
            document += c;
        }
        document += "\\par\r\n";
    }
    document += "\\cf0\\par}";
    return document;
}

} // namespace kes
