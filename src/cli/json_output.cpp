#include "cli/json_output.h"
#include "cli/text_lines.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace kestrava::cli {

namespace {

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
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t length = sequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void appendBase64(std::string& out, std::string_view bytes) {
    static const char* const kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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
}

// A JSON string: quotes, backslashes and control characters escaped, the rest as it is.
void appendString(std::string& out, std::string_view text) {
    out += '"';
    size_t plain = 0; // the start of the bytes not yet appended
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text, plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default: {
            static const char* const kHex = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        }
    }
    out.append(text, plain);
    out += '"';
}

// {"text": ...} for UTF-8, else {"bytes": base64}.
void appendData(std::string& out, std::string_view text) {
    if (isValidUtf8(text)) {
        out += "{\"text\":";
        appendString(out, text);
        out += '}';
        return;
    }
    out += "{\"bytes\":\"";
    appendBase64(out, text);
    out += "\"}";
}

void appendNumber(std::string& out, const char* key, int64_t number) {
    out += '"';
    out += key;
    out += "\":";
    out += std::to_string(number);
}

// A span of time as rg writes one.
void appendElapsed(std::string& out, const char* key, std::chrono::nanoseconds elapsed) {
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(elapsed);
    out += '"';
    out += key;
    out += "\":{";
    appendNumber(out, "secs", secs.count());
    out += ',';
    appendNumber(out, "nanos", (elapsed - secs).count());
    out +=
        ",\"human\":\"" + std::to_string(std::chrono::duration<double>(elapsed).count()) + "s\"}";
}

// The counts rg gives a file and a run.
struct Stats {
    std::chrono::nanoseconds elapsed;
    int64_t searches, searchesWithMatch, bytesSearched, bytesPrinted, matchedLines, matches;
};

void appendStats(std::string& out, const Stats& stats) {
    appendElapsed(out, "elapsed", stats.elapsed);
    for (const auto& [key, value] : {std::pair{"searches", stats.searches},
                                     {"searches_with_match", stats.searchesWithMatch},
                                     {"bytes_searched", stats.bytesSearched},
                                     {"bytes_printed", stats.bytesPrinted},
                                     {"matched_lines", stats.matchedLines},
                                     {"matches", stats.matches}}) {
        out += ',';
        appendNumber(out, key, value);
    }
}

// What a replacing run put in place of the match starting at `start`, when it was kept.
const search::Replacement* replacementAt(const search::FileMatches& file, int64_t start) {
    const auto found =
        std::lower_bound(file.replacements.begin(), file.replacements.end(), start,
                         [](const search::Replacement& r, int64_t at) { return r.start < at; });
    return found != file.replacements.end() && found->start == start ? &*found : nullptr;
}

// The match and context messages of one file, from its matched lines and its text: each match
// message holds the whole text lines its matches take up, line ends included, so that two
// matched lines of the engine on one text line (split by a tab) become one message.
class FileMessages {
  public:
    FileMessages(const search::SearchedFile& file, int32_t before, int32_t after, std::string& out)
        : m_file(file), m_text(file.text), m_before(before), m_after(after), m_out(out) {
        appendData(m_path, file.path);
    }

    void add(const search::MatchedLine& line) {
        const size_t first = m_matches.size();
        for (size_t m = 0; m < line.matchCount(); ++m) {
            const search::MatchSpan span = line.match(m);
            const auto start = static_cast<size_t>(line.textStart() + span.start - 1);
            size_t end = start + static_cast<size_t>(span.length);
            if (m + 1 == line.matchCount() && line.truncated() && line.cutMatchEnd() > 0)
                end = static_cast<size_t>(line.cutMatchEnd());
            m_matches.emplace_back(start, end);
        }
        const size_t start = lineStartOf(m_matches[first].first);
        size_t lastByte = 0;
        for (size_t m = first; m < m_matches.size(); ++m)
            lastByte = std::max(lastByte, m_matches[m].second - 1);
        const size_t end = lineEndOf(lastByte);
        if (m_open && start >= m_start && start < m_end) { // the same text lines
            m_end = std::max(m_end, end);
            return;
        }
        if (m_open) {
            const std::vector<Span> added(m_matches.begin() + static_cast<ptrdiff_t>(first),
                                          m_matches.end());
            m_matches.resize(first);
            writeMessage();
            m_matches = added;
        }
        m_open = true;
        m_start = start;
        m_end = end;
        m_firstLine = line.lineNumber;
    }

    // The last message, and the context after it.
    void finish() {
        if (m_open)
            writeMessage();
        writeContextAfter(m_text.size());
    }

  private:
    using Span = std::pair<size_t, size_t>; // offsets in the text

    size_t lineStartOf(size_t at) const { return cli::lineStartOf(m_text, at); }
    size_t lineEndOf(size_t at) const { return cli::lineEndOf(m_text, at); }

    void writeMessage() {
        writeContextAfter(m_start);
        writeContextBefore();
        const std::string_view lines = m_text.substr(m_start, m_end - m_start);
        m_out += "{\"type\":\"match\",\"data\":{\"path\":" + m_path + ",\"lines\":";
        appendData(m_out, lines);
        m_out += ',';
        appendNumber(m_out, "line_number", m_firstLine);
        m_out += ',';
        appendNumber(m_out, "absolute_offset", static_cast<int64_t>(m_start));
        m_out += ",\"submatches\":[";
        for (size_t m = 0; m < m_matches.size(); ++m) {
            const auto [start, end] = m_matches[m];
            m_out += m == 0 ? "{\"match\":" : ",{\"match\":";
            appendData(m_out, m_text.substr(start, end - start));
            m_out += ',';
            appendNumber(m_out, "start", static_cast<int64_t>(start - m_start));
            m_out += ',';
            appendNumber(m_out, "end", static_cast<int64_t>(end - m_start));
            if (const search::Replacement* replacement =
                    replacementAt(m_file.record, static_cast<int64_t>(start))) {
                m_out += ",\"replacement\":";
                appendData(m_out, replacement->text);
            }
            m_out += '}';
        }
        m_out += "]}}\n";
        const std::string_view inner =
            lines.substr(0, lines.size() - (lines.ends_with('\n') ? 1 : 0));
        m_written = m_end;
        m_writtenLine =
            m_firstLine + static_cast<int32_t>(std::count(inner.begin(), inner.end(), '\n'));
        m_afterLeft = m_after;
        m_matches.clear();
        m_open = false;
    }

    void writeContext(size_t start, size_t end, int32_t number) {
        m_out += "{\"type\":\"context\",\"data\":{\"path\":" + m_path + ",\"lines\":";
        appendData(m_out, m_text.substr(start, end - start));
        m_out += ',';
        appendNumber(m_out, "line_number", number);
        m_out += ',';
        appendNumber(m_out, "absolute_offset", static_cast<int64_t>(start));
        m_out += ",\"submatches\":[]}}\n";
    }

    // The lines after the last message, up to `limit` (the next message's start).
    void writeContextAfter(size_t limit) {
        while (m_afterLeft > 0 && m_written < limit && m_written < m_text.size()) {
            const size_t end = lineEndOf(m_written);
            writeContext(m_written, end, ++m_writtenLine);
            m_written = end;
            --m_afterLeft;
        }
        m_afterLeft = 0;
    }

    // The lines before the open message, after what was written.
    void writeContextBefore() {
        std::vector<size_t> starts;
        for (size_t at = m_start;
             starts.size() < static_cast<size_t>(m_before) && at > m_written;) {
            at = lineStartOf(at - 1);
            starts.push_back(at);
        }
        int32_t number = m_firstLine - static_cast<int32_t>(starts.size());
        for (size_t i = starts.size();
             i-- > 0;) // the farthest first; each ends where the next begins
            writeContext(starts[i], i == 0 ? m_start : starts[i - 1], number++);
    }

    const search::SearchedFile& m_file;
    std::string_view m_text;
    int32_t m_before;
    int32_t m_after;
    std::string& m_out;
    std::string m_path;          // as JSON
    std::vector<Span> m_matches; // of the open message
    bool m_open = false;
    size_t m_start = 0, m_end = 0; // the open message's lines
    int32_t m_firstLine = 0;
    size_t m_written = 0;      // the text up to here is in messages
    int32_t m_writtenLine = 0; // the number of the last line written
    int32_t m_afterLeft = 0;   // context lines still to come after the last message
};

std::string fileList(const std::vector<search::SkippedFile>& files) {
    std::string list = "[";
    for (const search::SkippedFile& file : files) {
        list += list.size() == 1 ? "{\"path\":" : ",{\"path\":";
        appendData(list, file.fileName);
        list += ",\"reason\":";
        appendString(list, file.message);
        list += '}';
    }
    return list + ']';
}

} // namespace

JsonSink::JsonSink(bool replacing, int32_t contextBefore, int32_t contextAfter, Write write)
    : m_replacing(replacing), m_before(contextBefore), m_after(contextAfter),
      m_write(std::move(write)) {}

std::string JsonSink::make(const search::SearchedFile& file) const {
    std::string out;
    FileMessages messages(file, m_before, m_after, out);
    for (const search::MatchedLine& line : file.record.lines)
        messages.add(line);
    messages.finish();
    return out;
}

void JsonSink::makeLines(const search::SearchedFile& file, const Write& write) const {
    write(make(file));
}

void JsonSink::fileFound(const search::SearchResults& /*results*/, const search::FoundFile& file) {
    std::string path;
    appendData(path, file.path);
    int64_t printed = 0;
    const auto put = [&](std::string_view text) {
        m_write(text);
        printed += static_cast<int64_t>(text.size());
    };
    put("{\"type\":\"begin\",\"data\":{\"path\":" + path + "}}\n");
    if (file.madeAhead != nullptr && !file.madeAhead->writeTo(put))
        throw std::runtime_error("Read Error: the messages set aside for " + file.path +
                                 " could not be read back");
    put(file.made);
    std::string end = "{\"type\":\"end\",\"data\":{\"path\":" + path + ",\"binary_offset\":null";
    if (m_replacing)
        end += std::string(",\"replaced\":") + (file.refused ? "false" : "true");
    end += ",\"stats\":{";
    appendStats(end, {file.elapsed, 1, 1, static_cast<int64_t>(file.bytes), printed, file.textLines,
                      file.record.numMatches});
    end += "}}}\n";
    m_write(end);
    m_textLines += file.textLines;
    m_bytesPrinted += printed;
    m_searchTime += file.elapsed;
}

void JsonSink::finish(const search::SearchResults& results, std::chrono::nanoseconds elapsed) {
    std::string out = "{\"type\":\"summary\",\"data\":{";
    appendElapsed(out, "elapsed_total", elapsed);
    out += ",\"stats\":{";
    appendStats(out, {m_searchTime, results.filesScanned, results.filesWithMatches,
                      results.bytesSearched, m_bytesPrinted, m_textLines, results.totalMatches});
    out += ',';
    appendNumber(out, "binary_skipped", results.binarySkipped);
    if (m_replacing) {
        out += ',';
        appendNumber(out, "files_replaced", results.filesReplaced);
    }
    out += "},\"skipped\":" + fileList(results.skipped) +
           ",\"missing_folders\":" + fileList(results.missingFolders);
    if (m_replacing)
        out += ",\"not_replaced\":" + fileList(results.notReplaced);
    out += "}}\n";
    m_write(out);
}

} // namespace kestrava::cli
