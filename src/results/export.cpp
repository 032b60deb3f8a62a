// Summary texts and the export text of the results.
#include "results/distinct_matches.h"
#include "results/results.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <numeric>
#include <stdexcept>

namespace kestrava::results {

namespace {

// Text is handed on in blocks of about this size: fewer writes, and no memory for it all.
constexpr size_t kBlock = size_t{1} << 20;

// Takes the text made so far in the middle of a row, and empties it, so that a long line read
// back from its file goes out a block at a time; empty where a row must stay whole.
using Spill = std::function<void(std::string& text)>;

std::string counted(int32_t count, const char* singular, const char* plural) {
    return std::to_string(count) + (count == 1 ? singular : plural);
}

void appendHeader(const ExportHeader& header, std::vector<std::string>& lines) {
    if (!header.withHeader)
        return;
    switch (header.kind) {
    case HeaderKind::Find:
        lines.push_back("Folders:  " + header.folders);
        lines.push_back("Files:    " + header.files);
        lines.push_back("Find:     " + header.find);
        break;
    case HeaderKind::Replace:
        lines.push_back("Folders:      " + header.folders);
        lines.push_back("Files:        " + header.files);
        lines.push_back("Find:         " + header.find);
        lines.push_back("Replace with: " + header.replace);
        break;
    case HeaderKind::Script:
        lines.push_back("Script: " + (header.scriptFileName.empty()
                                          ? std::string("New (unsaved) script")
                                          : header.scriptFileName));
        break;
    case HeaderKind::None:
        return;
    }
    lines.emplace_back();
}

// Terminal colours as grep uses them: matches bold red, line numbers green, separators cyan,
// and file headers bold. Off, every part is written as it is.
class Paint {
  public:
    explicit Paint(bool on) : m_on(on) {}
    bool on() const { return m_on; }
    void match(std::string& text, std::string_view part) const { wrap(text, kMatch, part); }
    // A match written in parts: its colour, the parts, then matchEnd.
    void matchBegin(std::string& text) const {
        if (m_on)
            text += kMatch;
    }
    void matchEnd(std::string& text) const {
        if (m_on)
            text += kReset;
    }
    void header(std::string& text, std::string_view part) const { wrap(text, "\x1b[1m", part); }
    void separator(std::string& text, std::string_view part) const { wrap(text, "\x1b[36m", part); }
    // "N:" before a matched line, "N-" before a context line.
    void lineNumber(std::string& text, int32_t number, char separator) const {
        std::array<char, 12> digits{};
        const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), number);
        wrap(text, "\x1b[32m", std::string_view(digits.data(), written.ptr));
        wrap(text, "\x1b[36m", std::string_view(&separator, 1));
    }

    // Numbers the rows that the line feeds in text[from, end) begin, from `number` on, as grep
    // numbers lines: a match that runs over line ends is shown on numbered rows, each painted
    // on its own.
    void numberRows(std::string& text, size_t from, int32_t& number) const {
        if (text.find('\n', from) == std::string::npos)
            return;
        std::string numbered(text, 0, from);
        bool inMatch = false; // within a painted match, which each row closes and opens again
        for (size_t i = from; i < text.size(); ++i) {
            const std::string_view rest = std::string_view(text).substr(i);
            if (m_on && rest.starts_with(kMatch))
                inMatch = true;
            else if (m_on && rest.starts_with(kReset))
                inMatch = false;
            if (text[i] != '\n') {
                numbered += text[i];
                continue;
            }
            if (inMatch)
                numbered += kReset;
            numbered += '\n';
            lineNumber(numbered, ++number, ':');
            if (inMatch)
                numbered += kMatch;
        }
        text = std::move(numbered);
    }

  private:
    void wrap(std::string& text, const char* code, std::string_view part) const {
        if (m_on)
            text += code;
        text += part;
        if (m_on)
            text += kReset;
    }
    static constexpr const char* kMatch = "\x1b[1;31m";
    static constexpr const char* kReset = "\x1b[0m";
    bool m_on;
};

// Appends the bytes [from, from + length) of a line's text: one that keeps no text is read back
// from its file, the text handed to `spill` whenever it grows past a block.
void appendLineBytes(const search::SearchResults& results, const search::FileMatches& file,
                     const search::MatchedLine& line, size_t from, size_t length, std::string& text,
                     const Spill& spill) {
    if (line.textKept()) {
        if (from < line.textLength())
            text += line.text().substr(from, length);
        return;
    }
    const bool read =
        search::forEachTextPiece(file, line, from, length, [&](std::string_view piece) {
            text += piece;
            if (spill && text.size() >= kBlock)
                spill(text);
        });
    if (!read)
        throw std::runtime_error("Read Error: " + filePath(results, file) +
                                 " no longer holds the lines found in it");
}

void appendSegment(const search::SearchResults& results, const search::FileMatches& file,
                   const search::MatchedLine& line, const search::MatchedSegment& segment,
                   std::string& text, const Spill& spill) {
    appendLineBytes(results, file, line, static_cast<size_t>(std::max(segment.start - 1, 0)),
                    static_cast<size_t>(std::max(segment.length, 0)), text, spill);
}

void appendLineText(const search::SearchResults& results, const search::FileMatches& file,
                    const search::MatchedLine& line, const Paint& paint, std::string& text,
                    const Spill& spill) {
    if (!paint.on()) { // the segments, one after the other, make up the text shown
        appendLineBytes(results, file, line, line.shownFrom(), line.textLength(), text, spill);
    } else {
        for (const search::MatchedSegment segment : line.segments()) {
            const bool painted = segment.isMatch && segment.length > 0;
            if (painted)
                paint.matchBegin(text);
            appendSegment(results, file, line, segment, text, spill);
            if (painted)
                paint.matchEnd(text);
        }
    }
    if (line.truncated())
        text += "->";
}

// A line row's text, or a match row's.
void appendMatchedRowText(const search::SearchResults& results, const search::FileMatches& file,
                          const search::MatchedLine& line, const Row& row, const Paint& paint,
                          std::string& text, const Spill& spill) {
    if (row.kind == RowKind::Line) {
        appendLineText(results, file, line, paint, text, spill);
        return;
    }
    const auto match = static_cast<size_t>(row.matchIndex);
    const search::MatchSpan span = line.match(match);
    paint.matchBegin(text);
    appendSegment(results, file, line, {span.start, span.length, true}, text, spill);
    paint.matchEnd(text);
    if (cutAfterMatch(line, match))
        text += ">";
}

std::string fileHeaderText(const search::SearchResults& results, const search::FileMatches& file) {
    return "Found " + std::to_string(file.numMatches) +
           (file.numMatches == 1 ? " match in " : " matches in ") +
           results.folders.at(static_cast<size_t>(file.folderIndex)) + file.fileName;
}

// Appends the text of one file, line, match, context or separator row.
void appendRowText(const search::SearchResults& results, const Row& row, const ExportHeader& header,
                   std::string& text, const Spill& spill) {
    const Paint paint(header.color);
    const search::FileMatches& file = results.files.at(static_cast<size_t>(row.fileIndex));
    switch (row.kind) {
    case RowKind::FileHeader:
        paint.header(text, fileHeaderText(results, file));
        return;
    case RowKind::Separator:
        paint.separator(text, "--");
        return;
    case RowKind::Context: { // as grep writes them: "-" where a matched line has ":"
        const search::ContextLine& context = file.context.at(static_cast<size_t>(row.lineIndex));
        if (header.lineNumbers)
            paint.lineNumber(text, context.lineNumber, '-');
        text += context.text;
        return;
    }
    case RowKind::Blank:
        return;
    case RowKind::Line:
    case RowKind::Match:
        break;
    }
    const search::MatchedLine& line = file.lines.at(static_cast<size_t>(row.lineIndex));
    if (!header.lineNumbers) {
        appendMatchedRowText(results, file, line, row, paint, text, spill);
        return;
    }
    int32_t number = row.kind == RowKind::Match
                         ? line.lineNumberOf(static_cast<size_t>(row.matchIndex))
                         : line.lineNumber;
    paint.lineNumber(text, number, ':');
    // The text is numbered before it is handed on, and what follows from where that left it.
    size_t unnumbered = text.size();
    const Spill numberFirst = [&](std::string& full) {
        paint.numberRows(full, unnumbered, number);
        spill(full);
        unnumbered = full.size();
    };
    appendMatchedRowText(results, file, line, row, paint, text, spill ? numberFirst : Spill{});
    paint.numberRows(text, unnumbered, number);
}

} // namespace

SummaryTexts summaryTexts(const search::SearchResults& results, View view,
                          int32_t uniqueMatchCount) {
    SummaryTexts texts;
    texts.searchedAndFound = "Searched " + counted(results.filesScanned, " file", " files") +
                             ":   Found " + std::to_string(results.totalMatches);
    texts.matchesWord = results.totalMatches == 1 ? " match" : " matches";
    texts.inFiles = " in " + counted(results.filesWithMatches, " file", " files");
    if (view == View::UniqueMatches || view == View::UniqueMatchesSorted) // 0 keeps the singular
        texts.uniqueMatches = "(" + std::to_string(uniqueMatchCount) + " Unique Match" +
                              (uniqueMatchCount > 1 ? "es" : "") + ")";
    if (results.binarySkipped > 0)
        texts.binarySkipped =
            ", " + counted(results.binarySkipped, " binary file", " binary files") + " skipped";
    return texts;
}

std::string summaryLine(const SummaryTexts& texts) {
    std::string line = texts.searchedAndFound + texts.matchesWord + texts.inFiles;
    if (!texts.uniqueMatches.empty())
        line += " " + texts.uniqueMatches;
    return line + texts.binarySkipped;
}

ExportHeader makeExportHeader(HeaderKind kind, const search::Criteria& criteria,
                              const std::string& scriptFileName) {
    return ExportHeader{kind,          criteria.folders, criteria.files,
                        criteria.find, criteria.replace, scriptFileName};
}

namespace {

// The header's lines, each appended to `out` and followed by lineDone(out).
template <typename LineDone>
void appendHeaderLines(const ExportHeader& header, std::string& out, LineDone lineDone) {
    std::vector<std::string> headerLines;
    appendHeader(header, headerLines);
    for (const std::string& line : headerLines) {
        out += line;
        lineDone(out);
    }
}

// The rows' lines (line and match rows only with details), each followed by lineDone(out).
template <typename LineDone>
void appendRowLines(const search::SearchResults& results, const Rows& rows,
                    const ExportHeader& header, bool details, std::string& out, LineDone lineDone,
                    const Spill& spill = {}) {
    for (const Row& row : rows) {
        if (row.kind == RowKind::Blank) {
            lineDone(out);
        } else if (row.kind == RowKind::FileHeader || details) {
            appendRowText(results, row, header, out, spill);
            lineDone(out);
        }
    }
}

} // namespace

std::vector<std::string> buildResultLines(const search::SearchResults& results, const Rows& rows,
                                          const ExportHeader& header, bool details) {
    if (rows.empty())
        return {"No matches found", "", ""};
    std::vector<std::string> lines;
    std::string line;
    const auto lineDone = [&lines](std::string& text) {
        lines.push_back(text);
        text.clear();
    };
    appendHeaderLines(header, line, lineDone);
    appendRowLines(results, rows, header, details, line, lineDone);
    lines.emplace_back();
    return lines;
}

namespace {

const char* const kRichTextStart =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 "
    "Arial;}}{\\colortbl "
    ";\\red255\\green0\\blue0;;\\red0\\green128\\blue0;\\red0\\green0\\blue255;}"
    "{\\*\\generator Msftedit 5.41.21.2500;}\\viewkind4\\uc1\\pard\\f0\\fs20 ";
const char* const kRichTextEnd = "\\cf0\\par}";

// One UTF-16 unit as RTF's signed 16-bit Unicode escape; "?" stands in for readers without it.
void appendUnicodeUnit(uint16_t unit, std::string& document) {
    document += "\\u";
    document += std::to_string(static_cast<int16_t>(unit));
    document += '?';
}

// A byte that is not part of valid UTF-8, as a character of the declared code page 1252.
void appendCodePageByte(unsigned char byte, std::string& document) {
    static constexpr char kHex[] = "0123456789abcdef";
    document += "\\'";
    document += kHex[byte >> 4];
    document += kHex[byte & 15];
}

// Appends the character that `text` starts with and returns the bytes it took: ASCII as it is
// (the characters RTF gives a meaning to escaped), a UTF-8 sequence as Unicode, and the bytes of
// an ill-formed one each as a code-page byte. Returns 0, appending nothing, when `text` is only
// the start of a sequence and `whole` is false: the text handed on next may complete it.
size_t appendRichCharacter(std::string_view text, std::string& document, bool whole) {
    const auto lead = static_cast<unsigned char>(text.front());
    if (lead < 0x80) {
        if (lead == '\\' || lead == '{' || lead == '}')
            document += '\\';
        document += text.front();
        return 1;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), 4));
    int32_t taken = 0;
    UChar32 point = 0;
    U8_NEXT(bytes, taken, length, point);
    if (point > 0xFFFF) {
        appendUnicodeUnit(U16_LEAD(point), document);
        appendUnicodeUnit(U16_TRAIL(point), document);
    } else if (point >= 0) {
        appendUnicodeUnit(static_cast<uint16_t>(point), document);
    } else if (!whole && taken == length && length < 4 && U8_IS_LEAD(lead)) {
        return 0;
    } else {
        for (int32_t k = 0; k < taken; ++k)
            appendCodePageByte(bytes[k], document);
    }
    return static_cast<size_t>(taken);
}

// Appends a line's bytes as rich text and returns how many bytes at its end were left out: the
// start of a UTF-8 sequence cut off where a long line is handed on (none when `whole`).
size_t appendRichText(std::string_view line, std::string& document, bool whole = true) {
    for (size_t i = 0; i < line.size();) {
        const size_t taken = appendRichCharacter(line.substr(i), document, whole);
        if (taken == 0)
            return line.size() - i;
        i += taken;
    }
    return 0;
}

} // namespace

// Ends each line of the text as it is made: with a line feed, or as a rich-text paragraph (its
// bytes escaped first, also those of a long line handed on before its end).
class ExportWhileRunning::LineEnd {
  public:
    explicit LineEnd(bool rich) : m_rich(rich) {}
    void operator()(std::string& out) {
        if (!m_rich) {
            out += '\n';
            return;
        }
        escapeRest(out, true);
        out += "\\par\r\n";
        m_start = out.size();
    }
    // `out` is about to be handed on and emptied.
    void handingOn(std::string& out) {
        if (m_rich)
            escapeRest(out, false);
        m_start = 0;
    }
    // What `out` holds up to here is finished text.
    void skipTo(size_t size) { m_start = size; }

  private:
    void escapeRest(std::string& out, bool lineEnds) {
        // Only a sequence cut at the last hand-over is joined to the text; the rest is read in
        // place.
        std::string joined;
        std::string_view rest = std::string_view(out).substr(m_start);
        if (!m_cut.empty()) {
            joined = m_cut;
            joined += rest;
            rest = joined;
        }
        std::string escaped;
        const size_t held = appendRichText(rest, escaped, lineEnds);
        m_cut = std::string(rest.substr(rest.size() - held));
        out.replace(m_start, std::string::npos, escaped);
        m_start = out.size();
    }

    bool m_rich;
    size_t m_start = 0; // where the text not yet escaped begins
    std::string m_cut;  // a UTF-8 sequence begun at the end of the text handed on last
};

// The row texts of a unique view, one per distinct match text, as they will be written.
struct ExportWhileRunning::UniqueRows {
    explicit UniqueRows(bool inOrder) : sorted(inOrder) {}
    bool sorted;
    DistinctMatches distinct{1024, true};
    std::string texts;
    std::vector<size_t> ends; // of each row's text
};

ExportWhileRunning::ExportWhileRunning(ExportHeader header, View view, bool details, Write write,
                                       bool richText)
    : m_header(std::move(header)), m_matchesOnly(view == View::MatchesOnly), m_details(details),
      m_rich(richText), m_write(std::move(write)), m_lineEnd(std::make_unique<LineEnd>(richText)) {
    if (view == View::UniqueMatches || view == View::UniqueMatchesSorted)
        m_unique = std::make_unique<UniqueRows>(view == View::UniqueMatchesSorted);
}

ExportWhileRunning::~ExportWhileRunning() = default;

namespace {

// The file at `path` alone in results of its own while it lives; its lines and context are
// lent, not copied, and given back.
class LentFile {
  public:
    LentFile(const std::string& path, search::FileMatches& file) : m_file(file) {
        const size_t folder = path.rfind('/') + 1;
        m_alone.folders.push_back(path.substr(0, folder));
        m_alone.files.resize(1);
        search::FileMatches& lent = m_alone.files.front();
        lent.fileName = path.substr(folder);
        lent.numMatches = file.numMatches;
        lent.lineSource = file.lineSource;
        lent.lines.swap(file.lines);
        lent.context.swap(file.context);
    }
    ~LentFile() {
        m_alone.files.front().lines.swap(m_file.lines);
        m_alone.files.front().context.swap(m_file.context);
    }
    LentFile(const LentFile&) = delete;
    LentFile& operator=(const LentFile&) = delete;
    const search::SearchResults& results() const { return m_alone; }

  private:
    search::FileMatches& m_file;
    search::SearchResults m_alone;
};

} // namespace

std::string ExportWhileRunning::make(const search::SearchedFile& searched) const {
    // A file of very many lines is left to fileFound, which writes it through the block it
    // keeps: its text made here would take as much fresh memory again. So is one whose first
    // rows were made ahead, which go out right after its header, and one with a line read
    // back from the file, which goes out a block at a time.
    constexpr size_t kMostLinesAhead = 16384;
    const search::FileMatches& file = searched.record;
    if (m_unique || file.lines.size() > kMostLinesAhead || searched.linesAhead > 0 ||
        file.lineSource)
        return {};
    const LentFile lent(searched.path, searched.record);
    Rows rows;
    appendFileRows(lent.results(), 0, m_matchesOnly, rows);
    std::string text;
    LineEnd lineEnd(m_rich);
    appendRowLines(lent.results(), rows, m_header, m_details, text, lineEnd);
    return text;
}

void ExportWhileRunning::makeLines(const search::SearchedFile& searched, const Write& write) const {
    const LentFile lent(searched.path, searched.record);
    Rows rows;
    appendFileRows(lent.results(), 0, m_matchesOnly, rows);
    std::string text;
    LineEnd lineEnd(m_rich);
    const Spill handOn = [&](std::string& full) {
        lineEnd.handingOn(full);
        write(full);
        full.clear();
    };
    // Without the header row and the closing blank.
    appendRowLines(
        lent.results(), Rows(rows.begin() + 1, rows.end() - 1), m_header, m_details, text,
        [&](std::string& line) {
            lineEnd(line);
            if (line.size() >= kBlock)
                handOn(line);
        },
        handOn);
    if (!text.empty())
        write(text);
}

void ExportWhileRunning::start() {
    if (m_started)
        return;
    m_started = true;
    if (m_rich)
        m_block += kRichTextStart;
    m_lineEnd->skipTo(m_block.size());
}

void ExportWhileRunning::fileFound(const search::SearchResults& /*results*/,
                                   const search::FoundFile& found) {
    if (m_unique) {
        keepUniqueRows(found);
        return;
    }
    if (!m_foundAny) {
        start();
        appendHeaderLines(m_header, m_block, std::ref(*m_lineEnd));
    }
    m_foundAny = true;
    if (found.made.size() >= kBlock) {
        flush(); // a large file's text goes out as it is, not copied into the block
        m_write(found.made);
    } else if (!found.made.empty()) {
        m_block += found.made;
        m_lineEnd->skipTo(m_block.size());
    } else {
        const LentFile lent(found.path, found.record);
        m_rows.clear();
        appendFileRows(lent.results(), 0, m_matchesOnly, m_rows);
        if (found.madeAhead != nullptr) { // its header, then what was made ahead, then the rest
            appendRowLines(lent.results(), Rows(m_rows.begin(), m_rows.begin() + 1), m_header,
                           m_details, m_block, std::ref(*m_lineEnd));
            flush();
            if (!found.madeAhead->writeTo(m_write))
                throw std::runtime_error("Read Error: the rows set aside for " + found.path +
                                         " could not be read back");
            m_rows.erase(m_rows.begin());
        }
        appendRowLines(lent.results(), m_rows, m_header, m_details, m_block, std::ref(*m_lineEnd),
                       [this](std::string&) { flush(); });
    }
    if (m_block.size() >= kBlock)
        flush();
}

void ExportWhileRunning::flush() {
    m_lineEnd->handingOn(m_block);
    if (!m_block.empty())
        m_write(m_block);
    m_block.clear();
}

void ExportWhileRunning::keepUniqueRows(const search::FoundFile& found) {
    const LentFile lent(found.path, found.record);
    const search::MatchedLineArray& lines = lent.results().files.front().lines;
    for (size_t l = 0; l < lines.size(); ++l)
        for (size_t m = 0; m < lines[l].matchCount(); ++m)
            if (m_unique->distinct.insert(matchText(lines[l], m))) {
                const Row row{RowKind::Match, 0, static_cast<int32_t>(l), static_cast<int32_t>(m)};
                appendRowText(lent.results(), row, m_header, m_unique->texts, {});
                m_unique->ends.push_back(m_unique->texts.size());
            }
}

int32_t ExportWhileRunning::uniqueCount() const {
    return m_unique ? static_cast<int32_t>(m_unique->ends.size()) : 0;
}

void ExportWhileRunning::writeUniqueRows() {
    const std::vector<size_t>& ends = m_unique->ends;
    m_foundAny = !ends.empty();
    if (!m_foundAny)
        return;
    start();
    appendHeaderLines(m_header, m_block, std::ref(*m_lineEnd));
    if (!m_details)
        return;
    std::vector<uint32_t> order;
    if (m_unique->sorted) {
        order = m_unique->distinct.collationOrder();
    } else {
        order.resize(ends.size());
        std::iota(order.begin(), order.end(), 0);
    }
    for (const uint32_t row : order) {
        const size_t begin = row == 0 ? 0 : ends[row - 1];
        m_block.append(m_unique->texts, begin, ends[row] - begin);
        (*m_lineEnd)(m_block);
        if (m_block.size() >= kBlock)
            flush();
    }
}

void ExportWhileRunning::finish() {
    if (m_unique)
        writeUniqueRows();
    start();
    const std::vector<std::string_view> last =
        m_foundAny ? std::vector<std::string_view>{""}
                   : std::vector<std::string_view>{"No matches found", "", ""};
    for (const std::string_view line : last) {
        m_block += line;
        (*m_lineEnd)(m_block);
    }
    if (m_rich)
        m_block += kRichTextEnd;
    m_lineEnd->skipTo(m_block.size());
    flush();
}

std::string buildRichText(const std::vector<std::string>& lines) {
    std::string document = kRichTextStart;
    for (const std::string& line : lines) {
        appendRichText(line, document);
        document += "\\par\r\n";
    }
    document += kRichTextEnd;
    return document;
}

} // namespace kestrava::results
