#include "preview_text.h"

#include "results/results.h"
#include "results_grid.h"
#include "util/file_io.h"
#include "util/unique_fd.h"

#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace kestrava::ui {

namespace {

// A run of the file as read: bytes from `offset` on.
struct ByteWindow {
    std::string bytes;
    int64_t offset = 0;
    int64_t fileSize = 0;
    int64_t end() const { return offset + static_cast<int64_t>(bytes.size()); }
};

// The lines kept of a window: [start, end) in its bytes, and each line's first byte.
struct LineRange {
    size_t start = 0;
    size_t end = 0;
    std::vector<size_t> lineStarts;
};

// Where a matched line's text begins in its file (its leading control byte, when it has one).
int64_t textStart(const search::MatchedLine& line) {
    return int64_t{line.matchStart} - (line.match(0).start - 1);
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A window that starts or ends inside a line may cut a UTF-8 character there; its bytes are left
// out, so the line still decodes as UTF-8 rather than falling back to Latin-1.
void dropCutCharacters(ByteWindow& window) {
    std::string& bytes = window.bytes;
    size_t lead = 0;
    while (window.offset > 0 && lead < 3 && lead < bytes.size() && isContinuationByte(bytes[lead]))
        ++lead;
    bytes.erase(0, lead);
    window.offset += static_cast<int64_t>(lead);
    if (window.end() >= window.fileSize)
        return;
    size_t start = bytes.size(); // of the last character
    while (start > 0 && bytes.size() - start < 3 && isContinuationByte(bytes[start - 1]))
        --start;
    if (start == 0)
        return;
    const auto first = static_cast<unsigned char>(bytes[--start]);
    const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (bytes.size() - start < length)
        bytes.resize(start);
}

QString openProblem(const QString& name, util::ReadStatus status, int error) {
    switch (status) {
    case util::ReadStatus::Missing:
        return name + QStringLiteral(" is no longer there.");
    case util::ReadStatus::NotRegular:
        return name + QStringLiteral(" is no longer a regular file.");
    default:
        return QStringLiteral("Cannot read ") + name + QStringLiteral(": ") +
               QString::fromLocal8Bit(std::strerror(error));
    }
}

// The file still holds the chosen line's text where the search found it (as far as it was read).
bool stillHolds(const search::MatchedLine& line, const ByteWindow& window) {
    const int64_t start = textStart(line);
    const auto size = static_cast<int64_t>(line.text().size());
    if (start < 0 || start + size > window.fileSize || window.end() < line.matchEnd)
        return false;
    const int64_t from = std::max(start, window.offset);
    const int64_t to = std::min(start + size, window.end());
    return from < to && std::string_view(window.bytes)
                                .substr(static_cast<size_t>(from - window.offset),
                                        static_cast<size_t>(to - from)) ==
                            line.text().substr(static_cast<size_t>(from - start),
                                               static_cast<size_t>(to - from));
}

// From `anchor` back to the start of the line linesAround above its own; a line cut by the
// window's start is dropped unless it is the anchor's.
size_t cutStart(const ByteWindow& window, size_t anchor, int linesAround) {
    const std::string_view bytes = window.bytes;
    size_t lastLineStart = 0;
    int feeds = 0;
    for (size_t i = anchor; i > 0; --i) {
        if (bytes[i - 1] != '\n')
            continue;
        lastLineStart = i;
        if (feeds++ == linesAround)
            return i;
    }
    return window.offset == 0 || feeds == 0 ? 0 : lastLineStart;
}

// The end of the line linesAround below the anchor's (before its line feed), likewise.
size_t cutEnd(const ByteWindow& window, size_t anchor, int linesAround) {
    const std::string_view bytes = window.bytes;
    size_t lastFeed = std::string_view::npos;
    int feeds = 0;
    for (size_t i = anchor; i < bytes.size(); ++i) {
        if (bytes[i] != '\n')
            continue;
        lastFeed = i;
        if (feeds++ == linesAround)
            return i;
    }
    if (window.end() >= window.fileSize) // a last line feed ends the last line, starting none
        return !bytes.empty() && bytes.back() == '\n' ? bytes.size() - 1 : bytes.size();
    return lastFeed == std::string_view::npos ? bytes.size() : lastFeed;
}

LineRange cutLines(const ByteWindow& window, size_t anchor, int linesAround) {
    LineRange range{cutStart(window, anchor, linesAround), cutEnd(window, anchor, linesAround), {}};
    range.lineStarts.push_back(range.start);
    for (size_t i = range.start; i < range.end; ++i)
        if (window.bytes[i] == '\n')
            range.lineStarts.push_back(i + 1);
    return range;
}

// A line's bytes without its line end, as the grid shows bytes: UTF-8 when valid, else Latin-1;
// control bytes other than tabs as their visible pictures.
QString lineText(std::string_view bytes, bool& utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const auto size = static_cast<qsizetype>(bytes.size());
    QString text = decoder.decode(QByteArrayView(bytes.data(), size));
    utf8 = !decoder.hasError();
    if (!utf8)
        text = QString::fromLatin1(bytes.data(), size);
    for (QChar& c : text)
        if (c.unicode() < 32 && c != QLatin1Char('\t'))
            c = QChar(0x2400 + c.unicode());
    return text;
}

std::string_view lineBytes(const ByteWindow& window, const LineRange& range, size_t line) {
    const size_t start = range.lineStarts[line];
    const size_t end =
        line + 1 < range.lineStarts.size() ? range.lineStarts[line + 1] - 1 : range.end;
    std::string_view bytes = std::string_view(window.bytes).substr(start, end - start);
    if (bytes.ends_with('\r'))
        bytes.remove_suffix(1);
    return bytes;
}

// UTF-16 columns of byte offsets within one line, counted forward from the last one asked for,
// since the matches come in order. An offset inside a character counts the whole character.
class ColumnCounter {
  public:
    ColumnCounter(std::string_view line, bool utf8) : m_line(line), m_utf8(utf8) {}
    int columnAt(size_t at) {
        at = std::min(at, m_line.size());
        if (!m_utf8)
            return static_cast<int>(at);
        for (; m_byte < at; ++m_byte) {
            const auto c = static_cast<unsigned char>(m_line[m_byte]);
            if (!isContinuationByte(m_line[m_byte]))
                m_column += c >= 0xF0 ? 2 : 1; // four bytes make a surrogate pair
        }
        return m_column;
    }
    size_t charStart(size_t at) const {
        while (m_utf8 && at > 0 && at < m_line.size() && isContinuationByte(m_line[at]))
            --at;
        return at;
    }

  private:
    std::string_view m_line;
    bool m_utf8;
    size_t m_byte = 0;
    int m_column = 0;
};

// Every match of the file that overlaps [from, to), as file offsets clipped to it, in order.
std::vector<std::pair<int64_t, int64_t>> matchesWithin(const search::FileMatches& file,
                                                       int64_t from, int64_t to) {
    std::vector<std::pair<int64_t, int64_t>> found;
    auto line = std::partition_point(file.lines.begin(), file.lines.end(),
                                     [from](const auto& l) { return l.matchStart < from; });
    if (line != file.lines.begin())
        --line; // its later matches may reach into the window
    for (; line != file.lines.end() && line->matchStart < to; ++line) {
        const int64_t base = textStart(*line);
        for (size_t i = 0; i < line->matchCount(); ++i) {
            const search::MatchSpan match = line->match(i);
            const int64_t start = base + match.start - 1;
            const int64_t end = i == 0 ? line->matchEnd : start + match.length;
            if (std::max(start, from) < std::min(end, to))
                found.emplace_back(std::max(start, from), std::min(end, to));
        }
    }
    return found;
}

// The index of the line holding a byte of the window.
size_t lineOf(const LineRange& range, size_t at) {
    return static_cast<size_t>(
        std::upper_bound(range.lineStarts.begin(), range.lineStarts.end(), at) -
        range.lineStarts.begin() - 1);
}

// The matches among the kept lines, as spans of the lines they fall in (one per line crossed).
void placeMatches(const ByteWindow& window, const LineRange& range, const std::vector<bool>& utf8,
                  const search::FileMatches& file, PreviewText& shown) {
    const int64_t from = window.offset + static_cast<int64_t>(range.start);
    const int64_t to = window.offset + static_cast<int64_t>(range.end);
    const size_t lines = range.lineStarts.size();
    size_t counted = lines; // the line `counter` counts
    std::optional<ColumnCounter> counter;
    for (const auto& [start, end] : matchesWithin(file, from, to)) {
        const auto first = static_cast<size_t>(start - window.offset);
        const auto last = static_cast<size_t>(end - window.offset);
        for (size_t line = lineOf(range, first); line < lines && range.lineStarts[line] < last;
             ++line) {
            const std::string_view bytes = lineBytes(window, range, line);
            const size_t lineStart = range.lineStarts[line];
            if (line != counted)
                counter.emplace(bytes, utf8[line]);
            counted = line;
            const size_t a = std::max(first, lineStart) - lineStart;
            const size_t b = std::min(last - lineStart, bytes.size());
            if (a >= b)
                continue; // only its line end falls here
            const int startColumn = counter->columnAt(counter->charStart(a));
            const int length = counter->columnAt(b) - startColumn;
            if (length > 0)
                shown.matches.push_back({static_cast<int>(line), startColumn, length});
        }
    }
}

// Decodes the kept lines into shown's text, and places the anchor and every match among them.
void fillPreviewText(const ByteWindow& window, const LineRange& range, size_t anchorByte,
                     const search::FileMatches& file, const search::MatchedLine& anchor,
                     PreviewText& shown) {
    const size_t lines = range.lineStarts.size();
    std::vector<bool> utf8(lines);
    shown.text.reserve(static_cast<qsizetype>(range.end - range.start));
    for (size_t line = 0; line < lines; ++line) {
        bool isUtf8 = false;
        if (line > 0)
            shown.text += QLatin1Char('\n');
        shown.text += lineText(lineBytes(window, range, line), isUtf8);
        utf8[line] = isUtf8;
    }
    shown.lineCount = static_cast<int>(lines);
    const size_t anchorLine = lineOf(range, anchorByte);
    shown.anchorLine = static_cast<int>(anchorLine);
    shown.firstLineNumber = int64_t{anchor.lineNumber} - shown.anchorLine;
    // A last line feed dropped by the cut ends the file's last line; nothing follows it.
    shown.wholeFile = window.offset + static_cast<int64_t>(range.start) == 0 &&
                      window.end() >= window.fileSize && range.end + 1 >= window.bytes.size();
    ColumnCounter counter(lineBytes(window, range, anchorLine), utf8[anchorLine]);
    shown.anchorColumn =
        counter.columnAt(counter.charStart(anchorByte - range.lineStarts[anchorLine]));
    placeMatches(window, range, utf8, file, shown);
}

} // namespace

PreviewText loadPreviewText(const search::SearchResults& results, size_t fileIndex,
                            size_t lineIndex, const PreviewLimits& limits) {
    const search::FileMatches& file = results.files.at(fileIndex);
    const search::MatchedLine& anchor = file.lines.at(lineIndex);
    const std::string path = kestrava::results::filePath(results, file);
    const QString name = displayText(path);
    PreviewText shown;
    // On the window thread: a FIFO or device that has taken the file's place is never waited on.
    util::UniqueFd fd;
    size_t size = 0;
    int error = 0;
    const util::ReadStatus status =
        util::openRegularFile(path, std::numeric_limits<int64_t>::max(), fd, size, error);
    if (status != util::ReadStatus::Read && status != util::ReadStatus::Empty) {
        shown.problem = openProblem(name, status, error);
        return shown;
    }
    ByteWindow window;
    window.fileSize = static_cast<int64_t>(size);
    window.offset = std::max<int64_t>(0, anchor.matchStart - limits.bytesAround);
    const int64_t end = std::min<int64_t>(window.fileSize, anchor.matchEnd + limits.bytesAround);
    if (!util::readAt(fd.get(), window.offset,
                      static_cast<size_t>(std::max<int64_t>(0, end - window.offset)), window.bytes,
                      error)) {
        shown.problem = openProblem(name, util::ReadStatus::Unreadable, error);
        return shown;
    }
    dropCutCharacters(window);
    if (!stillHolds(anchor, window)) {
        shown.problem = name + QStringLiteral(" has changed since it was searched.");
        return shown;
    }
    const auto anchorByte = static_cast<size_t>(anchor.matchStart - window.offset);
    const LineRange range = cutLines(window, anchorByte, limits.linesAround);
    fillPreviewText(window, range, anchorByte, file, anchor, shown);
    return shown;
}

} // namespace kestrava::ui
