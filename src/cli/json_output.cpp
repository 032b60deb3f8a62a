#include "cli/json_output.h"

#include "results/results.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

namespace kestrava::cli {

namespace {

using Json = nlohmann::ordered_json; // "type" first, as readers expect

// The length of the UTF-8 sequence starting at text[i], or 0 when there is none.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, lowest = 0x10000;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    uint32_t point = lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(i + k) & 0x3Fu);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < lowest || point > 0x10FFFF || surrogate ? 0 : length;
}

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string base64(std::string_view bytes) {
    static const char* const kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

// {"text": ...} for UTF-8, else {"bytes": base64}.
Json textOrBytes(std::string_view text) {
    if (isValidUtf8(text))
        return {{"text", std::string(text)}};
    return {{"bytes", base64(text)}};
}

// What a replacing run put in place of the match starting at `start`, when it was kept.
const search::Replacement* replacementAt(const search::FileMatches& file, int64_t start) {
    const auto found =
        std::lower_bound(file.replacements.begin(), file.replacements.end(), start,
                         [](const search::Replacement& r, int64_t at) { return r.start < at; });
    return found != file.replacements.end() && found->start == start ? &*found : nullptr;
}

Json matchObject(const Json& path, const search::FileMatches& file,
                 const search::MatchedLine& line) {
    const std::string_view text = line.shownText();
    const size_t skip = line.text().size() - text.size();
    const int64_t lineStart =
        line.matchStart - (line.match(0).start - 1) + static_cast<int64_t>(skip);
    Json submatches = Json::array();
    for (size_t m = 0; m < line.matchCount(); ++m) {
        const search::MatchSpan span = line.match(m);
        const auto start = static_cast<size_t>(span.start - 1) - skip;
        const auto length = static_cast<size_t>(span.length);
        Json submatch = {{"match", textOrBytes(text.substr(start, length))},
                         {"start", start},
                         {"end", start + length}};
        if (const search::Replacement* replacement =
                replacementAt(file, lineStart + static_cast<int64_t>(start)))
            submatch["replacement"] = textOrBytes(replacement->text);
        submatches.push_back(std::move(submatch));
    }
    return {{"type", "match"},
            {"data",
             {{"path", path},
              {"lines", textOrBytes(text)},
              {"line_number", line.lineNumber},
              {"absolute_offset", lineStart},
              {"submatches", submatches}}}};
}

Json contextObject(const Json& path, const search::ContextLine& line) {
    return {{"type", "context"},
            {"data",
             {{"path", path},
              {"lines", textOrBytes(line.text)},
              {"line_number", line.lineNumber},
              {"submatches", Json::array()}}}};
}

// The text lines the file's matched lines take up, a match over line ends counting each.
int64_t linesTakenUp(const search::FileMatches& file) {
    int64_t lines = 0;
    for (const search::MatchedLine& line : file.lines)
        lines += line.lastLineNumber() - line.lineNumber + 1;
    return lines;
}

// A span of time as rg writes one.
Json elapsedObject(std::chrono::nanoseconds elapsed) {
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(elapsed);
    return {{"secs", secs.count()},
            {"nanos", (elapsed - secs).count()},
            {"human", std::to_string(std::chrono::duration<double>(elapsed).count()) + "s"}};
}

// One file's begin, match (and context) and end objects, in the order of its lines-view rows.
void writeFile(const search::SearchResults& results, size_t fileIndex, bool replacing,
               const std::vector<std::string>& notReplaced, std::ostream& out) {
    const search::FileMatches& file = results.files[fileIndex];
    const std::string fullPath = results::filePath(results, file);
    const Json path = textOrBytes(fullPath);
    out << Json{{"type", "begin"}, {"data", {{"path", path}}}}.dump() << '\n';
    results::Rows rows;
    results::appendFileRows(results, fileIndex, false, rows);
    for (const results::Row& row : rows) {
        const auto index = static_cast<size_t>(row.lineIndex);
        if (row.kind == results::RowKind::Line)
            out << matchObject(path, file, file.lines[index]).dump() << '\n';
        else if (row.kind == results::RowKind::Context)
            out << contextObject(path, file.context[index]).dump() << '\n';
    }
    Json stats = {{"matches", file.numMatches}, {"matched_lines", linesTakenUp(file)}};
    Json data = {{"path", path}, {"binary_offset", nullptr}, {"stats", stats}};
    if (replacing)
        data["replaced"] = !std::binary_search(notReplaced.begin(), notReplaced.end(), fullPath);
    out << Json{{"type", "end"}, {"data", data}}.dump() << '\n';
}

Json fileList(const std::vector<search::SkippedFile>& files) {
    Json list = Json::array();
    for (const search::SkippedFile& file : files)
        list.push_back({{"path", textOrBytes(file.fileName)}, {"reason", file.message}});
    return list;
}

} // namespace

void writeJsonResults(const search::SearchResults& results, bool replacing,
                      std::chrono::nanoseconds elapsed, std::ostream& out) {
    std::vector<std::string> notReplaced;
    for (const search::SkippedFile& file : results.notReplaced)
        notReplaced.push_back(file.fileName);
    std::sort(notReplaced.begin(), notReplaced.end());
    int64_t linesMatched = 0;
    for (size_t f = 0; f < results.files.size(); ++f) {
        writeFile(results, f, replacing, notReplaced, out);
        linesMatched += linesTakenUp(results.files[f]);
    }
    Json stats = {{"searches", results.filesScanned},
                  {"searches_with_match", results.filesWithMatches},
                  {"matches", results.totalMatches},
                  {"matched_lines", linesMatched},
                  {"binary_skipped", results.binarySkipped}};
    if (replacing)
        stats["files_replaced"] = results.filesReplaced;
    Json data = {{"elapsed_total", elapsedObject(elapsed)},
                 {"stats", stats},
                 {"skipped", fileList(results.skipped)},
                 {"missing_folders", fileList(results.missingFolders)}};
    if (replacing)
        data["not_replaced"] = fileList(results.notReplaced);
    out << Json{{"type", "summary"}, {"data", data}}.dump() << '\n';
}

} // namespace kestrava::cli
