// Matched lines: the lines of a file are worked out only around its matches, by looking for
// control characters on either side, so files are never split into lines.
#include "search/search.h"

#include "internal/context_lines.h"
#include "util/file_text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kestrava::search {

namespace {

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

#if defined(__SSE2__)
// One bit per byte of the 16 at p: set for a control byte (below 32).
unsigned controlBits(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i below32 = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(31)), bytes);
    return static_cast<unsigned>(_mm_movemask_epi8(below32));
}
#endif

// The first control byte at or after `from`, or `size`.
int32_t nextControl(const char* text, int32_t from, int32_t size) {
#if defined(__SSE2__)
    for (; from + 16 <= size; from += 16)
        if (const unsigned bits = controlBits(text + from); bits != 0)
            return from + std::countr_zero(bits);
#endif
    while (from < size && !isControl(text[from]))
        ++from;
    return from;
}

// The line feeds in [from, to): sixteen bytes at a time, the per-byte counts kept in one
// register for up to 255 rounds before they are summed, since the count passes over every byte
// before a file's last matched line.
int32_t countLineFeedsSse2(const char* text, int32_t from, int32_t to) {
    int32_t count = 0;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    while (to - from >= 16) {
        __m128i counts = _mm_setzero_si128();
        const int32_t rounds = std::min((to - from) / 16, 255);
        for (int32_t i = 0; i < rounds; ++i, from += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, lineFeed)); // -1 per line feed
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        count += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
    }
#endif
    return count + static_cast<int32_t>(std::count(text + from, text + to, '\n'));
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KES_LINE_FEEDS_AVX2 1
// The same 64 bytes at a time in two registers, on processors that have AVX2: line numbers
// then cost about half as much on the text before the matches.
__attribute__((target("avx2"))) int32_t countLineFeedsAvx2(const char* text, int32_t from,
                                                           int32_t to) {
    int64_t count = 0;
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_setzero_si256();
    while (to - from >= 64) {
        __m256i low = zero;
        __m256i high = zero;
        const int32_t rounds = std::min((to - from) / 64, 255);
        for (int32_t i = 0; i < rounds; ++i, from += 64) {
            const auto* at = reinterpret_cast<const __m256i*>(text + from);
            low = _mm256_sub_epi8(low, _mm256_cmpeq_epi8(_mm256_loadu_si256(at), lineFeed));
            high = _mm256_sub_epi8(high, _mm256_cmpeq_epi8(_mm256_loadu_si256(at + 1), lineFeed));
        }
        const __m256i sums =
            _mm256_add_epi64(_mm256_sad_epu8(low, zero), _mm256_sad_epu8(high, zero));
        count += _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                 _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3);
    }
    return static_cast<int32_t>(count) + countLineFeedsSse2(text, from, to);
}
#endif

int32_t countLineFeeds(const char* text, int32_t from, int32_t to) {
#if defined(KES_LINE_FEEDS_AVX2)
    static const bool kHasAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (kHasAvx2 && to - from >= 256)
        return countLineFeedsAvx2(text, from, to);
#endif
    return countLineFeedsSse2(text, from, to);
}

// The last control byte in (floor, at], or `floor` when there is none.
int32_t previousControl(const char* text, int32_t floor, int32_t at) {
#if defined(__SSE2__)
    for (; at - 15 > floor; at -= 16)
        if (const unsigned bits = controlBits(text + at - 15); bits != 0)
            return at - 15 + (31 - std::countl_zero(bits));
#endif
    while (at > floor && !isControl(text[at]))
        --at;
    return at;
}

// A long way to a line's end is looked at a few megabytes at a time, each told as passed
// (FileText::passed): on a line of a gigabyte, a mapped file's pages are then let go behind the
// look as they are behind the search, and do not pile up.
constexpr int32_t kFarPiece = 4 << 20;

int32_t nextControlFar(const char* text, int32_t from, int32_t size) {
    for (; size - from > kFarPiece; from += kFarPiece) {
        if (const int32_t found = nextControl(text, from, from + kFarPiece);
            found < from + kFarPiece)
            return found;
        util::FileText::passed(text + from + kFarPiece);
    }
    return nextControl(text, from, size);
}

// Line feeds in [from, to). A long stretch, which the search may have passed and let go already,
// is told where it starts and then every few megabytes (FileText::passed), so that a mapped
// file's pages read again here are let go again.
int32_t countLineFeedsTelling(const char* text, int32_t from, int32_t to) {
    constexpr int32_t kLong = 256 << 10;
    constexpr int32_t kPiece = 4 << 20;
    if (to - from < kLong)
        return countLineFeeds(text, from, to);
    util::FileText::passed(text + from);
    int32_t count = 0;
    for (; to - from > kPiece; from += kPiece) {
        count += countLineFeeds(text, from, from + kPiece);
        util::FileText::passed(text + from + kPiece);
    }
    return count + countLineFeeds(text, from, to);
}

class LineBuilder {
  public:
    LineBuilder(const char* text, int32_t size, MatchedLineArray& lines, bool countLines,
                const std::function<void(MatchedLineArray&)>& handOver, size_t longestKept)
        : m_text(text), m_size(size), m_lines(lines), m_countLines(countLines),
          m_handOver(handOver), m_longestKept(longestKept) {}

    void add(int32_t start, int32_t end) {
        // A match that starts within the open line joins it: no control byte lies between the
        // line's first match and its end, so none need be looked for.
        if (!m_open || start >= m_lineEnd) {
            const int32_t p = previousControl(m_text, m_prevEnd, start);
            if (p >= m_lineEnd)
                openLine(p, start, end);
        }
        // A later match that runs over a line end takes the lines it reaches along too, so that
        // it is shown whole; one that ends with a control byte is still cut at it.
        if (end > m_lineEnd && !m_matches.empty())
            m_lineEnd = nextControlFar(m_text, end - 1, m_size);
        int32_t clipped = end;
        if (clipped > m_lineEnd) {
            clipped = m_lineEnd;
            m_lines.back().setTruncated();
            m_cutEnd = end;
        }
        m_matches.push_back({start - m_lineStart + 1, clipped - start});
        m_prevEnd = clipped;
    }

    void closeLine() {
        if (!m_open)
            return;
        const auto length = static_cast<size_t>(m_lineEnd - m_lineStart);
        m_lines.back().assign(std::string_view(m_text + m_lineStart, length), m_matches,
                              length <= m_longestKept, m_cutEnd);
        m_matches.clear();
        m_cutEnd = 0;
        m_open = false;
    }

  private:
    // The line ends at the first control character at or after the match's last byte, so a
    // match spanning a line end takes the next line along with it.
    void openLine(int32_t lineStart, int32_t start, int32_t end) {
        closeLine();
        if (m_handOver && m_lines.size() >= kHandOverLines) {
            m_handOver(m_lines);
            m_lines.clear(); // its room stays, for the next lines
        }
        m_lines.emplace_back();
        m_open = true;
        m_lineStart = lineStart;
        m_lineEnd = nextControlFar(m_text, end > 0 ? end - 1 : 0, m_size);
        m_lines.back().matchStart = start;
        m_lines.back().matchEnd = end;
        // Counted only up to each line's first match: a file without matches costs nothing.
        if (!m_countLines)
            return;
        m_lineNumber += countLineFeedsTelling(m_text, m_counted, start);
        m_counted = start;
        m_lines.back().lineNumber = m_lineNumber;
    }

    const char* m_text;
    int32_t m_size;
    MatchedLineArray& m_lines;
    int32_t m_lineStart = 0;
    int32_t m_lineEnd = 0;
    int32_t m_prevEnd = 0;
    int32_t m_counted = 0;    // line feeds are counted up to here
    int32_t m_lineNumber = 1; // of that place
    bool m_countLines;
    const std::function<void(MatchedLineArray&)>& m_handOver;
    size_t m_longestKept;
    bool m_open = false;
    std::vector<MatchSpan> m_matches; // of the open line, stored when it closes
    int32_t m_cutEnd = 0;             // where its cut match ends, uncut
};

// A million one-match lines must stay within 48 bytes each, besides their texts: with its row,
// a shown line takes at most 64.
static_assert(sizeof(MatchedLine) <= 48);

// Line ranges, first to last, both counted from 1.
struct LineRange {
    int32_t first = 0;
    int32_t last = 0;
};

// Sorts ranges and joins those that overlap or touch.
std::vector<LineRange> joined(std::vector<LineRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const LineRange& a, const LineRange& b) { return a.first < b.first; });
    std::vector<LineRange> out;
    for (const LineRange& range : ranges) {
        if (!out.empty() && range.first <= out.back().last + 1)
            out.back().last = std::max(out.back().last, range.last);
        else
            out.push_back(range);
    }
    return out;
}

// Walks a text line by line from its start, only forward.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : m_text(text) {}
    // Moves to the start of line `number`; false when the text has no such line.
    bool moveTo(int32_t number) {
        while (m_number < number) {
            const void* feed = std::memchr(m_text.data() + m_pos, '\n', m_text.size() - m_pos);
            if (feed == nullptr)
                return false;
            m_pos = static_cast<size_t>(static_cast<const char*>(feed) - m_text.data()) + 1;
            ++m_number;
        }
        return m_pos < m_text.size(); // after a final line feed there is no further line
    }
    std::string_view lineText() const {
        const std::string_view rest = m_text.substr(m_pos);
        std::string_view line = rest.substr(0, rest.find('\n'));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        return line;
    }

  private:
    std::string_view m_text;
    size_t m_pos = 0;
    int32_t m_number = 1;
};

} // namespace

void collectContextLines(std::string_view text, const MatchedLineArray& lines, int32_t before,
                         int32_t after, std::vector<ContextLine>& context) {
    std::vector<LineRange> matched;
    std::vector<LineRange> wanted;
    for (const MatchedLine& line : lines) {
        const LineRange range{line.lineNumber, line.lastLineNumber()};
        matched.push_back(range);
        wanted.push_back({std::max(range.first - before, 1), range.last + after});
    }
    matched = joined(std::move(matched));
    auto nextMatched = matched.begin();
    LineCursor cursor(text);
    for (const LineRange& range : joined(std::move(wanted))) {
        for (int32_t number = range.first; number <= range.last; ++number) {
            while (nextMatched != matched.end() && nextMatched->last < number)
                ++nextMatched;
            if (nextMatched != matched.end() && nextMatched->first <= number) {
                number = nextMatched->last;
                continue;
            }
            if (!cursor.moveTo(number))
                return;
            context.push_back({number, std::string(cursor.lineText())});
            util::FileText::passed(cursor.lineText().data()); // a second pass over the text
        }
    }
}

// ---- SharedBytes ----

struct SharedBytes::Block {
    // Large enough that a block serves hundreds of lines, small enough that one kept alive by a
    // single line costs little.
    static constexpr size_t kSize = size_t{64} << 10;

    std::atomic<uint32_t> holders{1};
    size_t capacity = 0;
    size_t used = 0;

    char* bytes() { return reinterpret_cast<char*>(this + 1); }

    static Block* make(size_t capacity) {
        auto* block = new (::operator new(sizeof(Block) + capacity)) Block;
        block->capacity = capacity;
        return block;
    }
    static void release(Block* block) {
        if (block != nullptr && block->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            block->~Block();
            ::operator delete(block);
        }
    }
};
static_assert(sizeof(SharedBytes::Block) % alignof(MatchSpan) == 0);

namespace {

// The block a thread takes its next bytes from; it holds the block while it is the current one.
struct CurrentBlock {
    SharedBytes::Block* block = nullptr;
    CurrentBlock() = default;
    CurrentBlock(const CurrentBlock&) = delete;
    CurrentBlock& operator=(const CurrentBlock&) = delete;
    ~CurrentBlock() { SharedBytes::Block::release(block); }
};
thread_local CurrentBlock tCurrent;

} // namespace

SharedBytes::SharedBytes(size_t size) {
    size = (size + alignof(MatchSpan) - 1) / alignof(MatchSpan) * alignof(MatchSpan);
    if (size > Block::kSize / 4) {
        m_block = Block::make(size);
        m_data = m_block->bytes();
        return;
    }
    Block*& current = tCurrent.block;
    if (current == nullptr || current->capacity - current->used < size) {
        // A full block whose bytes nobody holds any more is written over from its start.
        if (current != nullptr && current->holders.load(std::memory_order_acquire) == 1) {
            current->used = 0;
        } else {
            Block::release(current);
            current = Block::make(Block::kSize);
        }
    }
    current->holders.fetch_add(1, std::memory_order_relaxed);
    m_block = current;
    m_data = current->bytes() + current->used;
    current->used += size;
}

SharedBytes::SharedBytes(const SharedBytes& other) noexcept
    : m_block(other.m_block), m_data(other.m_data) {
    if (m_block != nullptr)
        m_block->holders.fetch_add(1, std::memory_order_relaxed);
}

SharedBytes::SharedBytes(SharedBytes&& other) noexcept
    : m_block(std::exchange(other.m_block, nullptr)), m_data(std::exchange(other.m_data, nullptr)) {
}

SharedBytes& SharedBytes::operator=(const SharedBytes& other) noexcept {
    SharedBytes copy(other);
    return *this = std::move(copy);
}

SharedBytes& SharedBytes::operator=(SharedBytes&& other) noexcept {
    if (this != &other) {
        Block::release(m_block);
        m_block = std::exchange(other.m_block, nullptr);
        m_data = std::exchange(other.m_data, nullptr);
    }
    return *this;
}

SharedBytes::~SharedBytes() {
    Block::release(m_block);
}

// ---- MatchedLine ----

// The line number at a 0-based place of a kept text, at or after the first match's start.
int32_t MatchedLine::lineNumberAt(size_t place) const {
    const auto from = static_cast<size_t>(m_firstMatch.start - 1);
    const std::string_view between = text().substr(from, place - std::min(place, from));
    return lineNumber + static_cast<int32_t>(std::count(between.begin(), between.end(), '\n'));
}

int32_t MatchedLine::lastLineNumber() const {
    return textKept() ? lineNumberAt(textLength()) : lineNumber + static_cast<int32_t>(m_lineFeeds);
}

int32_t MatchedLine::lineNumberOf(size_t matchIndex) const {
    if (!textKept() || matchIndex == 0)
        return lineNumber;
    return lineNumberAt(static_cast<size_t>(match(matchIndex).start - 1));
}

void MatchedLine::store(const void* more, std::string_view text, bool keepText, int32_t cutEnd) {
    const size_t moreBytes = moreMatchesBytes();
    const size_t textAt = moreBytes + (cutEnd > 0 ? sizeof cutEnd : 0);
    SharedBytes bytes(textAt + (keepText ? text.size() : 0));
    if (moreBytes > 0)
        std::memcpy(bytes.data(), more, moreBytes);
    if (cutEnd > 0)
        std::memcpy(bytes.data() + moreBytes, &cutEnd, sizeof cutEnd);
    m_cutEndKept = cutEnd > 0 ? 1 : 0;
    if (keepText && !text.empty())
        std::memcpy(bytes.data() + textAt, text.data(), text.size());
    // Counted now, while the text is at hand, for a line that keeps none: a line ends at the first
    // control byte from its last match's last on, so its line feeds all lie in its matches.
    MatchSpan last = m_firstMatch;
    if (m_matchCount > 1)
        std::memcpy(&last, static_cast<const char*>(more) + moreBytes - sizeof(MatchSpan),
                    sizeof(MatchSpan));
    const auto size = static_cast<int32_t>(text.size());
    const int32_t from = std::clamp(m_firstMatch.start - 1, 0, size);
    const int32_t to = std::clamp(last.start - 1 + last.length, from, size);
    m_lineFeeds =
        keepText ? 0 : static_cast<uint32_t>(countLineFeedsTelling(text.data(), from, to));
    m_leadingControl = !text.empty() && isControl(text[0]) ? 1 : 0;
    m_textLength = static_cast<uint32_t>(text.size());
    m_textKept = keepText ? 1 : 0;
    m_bytes = std::move(bytes);
}

void MatchedLine::assign(std::string_view text, const std::vector<MatchSpan>& matches,
                         bool keepText, int32_t cutEnd) {
    m_firstMatch = matches.empty() ? MatchSpan{} : matches.front();
    m_matchCount = static_cast<uint32_t>(matches.size());
    store(matches.size() > 1 ? matches.data() + 1 : nullptr, text, keepText, cutEnd);
}

void MatchedLine::setText(std::string_view text) {
    store(m_bytes.data(), text, true, cutMatchEnd()); // the matches after the first stay
}

void MatchedLine::addMatch(MatchSpan match) {
    std::vector<MatchSpan> matches;
    for (size_t i = 0; i < m_matchCount; ++i)
        matches.push_back(this->match(i));
    matches.push_back(match);
    assign(text(), matches);
}

bool forEachTextPiece(const FileMatches& file, const MatchedLine& line, size_t from, size_t length,
                      const std::function<void(std::string_view)>& take) {
    const size_t to =
        from + std::min(length, line.textLength() - std::min(from, line.textLength()));
    if (line.textKept()) {
        if (to > from)
            take(line.text().substr(from, to - from));
        return true;
    }
    // Pieces of a size that a reader handles well, which a written block soon lets go.
    constexpr size_t kPiece = size_t{1} << 20;
    std::string piece;
    for (size_t at = from; at < to; at += piece.size()) {
        piece.resize(std::min(kPiece, to - at));
        if (!file.lineSource || !file.lineSource->read(line.textStart() + static_cast<int64_t>(at),
                                                       piece.size(), piece.data()))
            return false;
        take(piece);
    }
    return true;
}

LineSegments::Iterator::Iterator(const MatchedLine* line, bool done) : m_line(line), m_done(done) {
    if (done)
        return;
    m_pos = line->leadingControl() ? 2 : 1;
    advance();
}

void LineSegments::Iterator::advance() {
    if (m_next < m_line->matchCount()) {
        const MatchSpan match = m_line->match(m_next);
        if (!m_beforeShown && match.start >= m_pos) { // the text before it, empty between matches
            m_current = {m_pos, match.start - m_pos, false};
            m_pos = match.start;
            m_beforeShown = true;
            return;
        }
        m_current = {match.start, match.length, true};
        m_pos = match.start + match.length;
        m_beforeShown = false;
        ++m_next;
        return;
    }
    const auto length = static_cast<int32_t>(m_line->textLength());
    if (m_pos <= length) { // the text after the last match
        m_current = {m_pos, length - m_pos + 1, false};
        m_pos = length + 1;
        return;
    }
    m_done = true;
}

int32_t findMatchedLines(regex::PatternTable& regex, int32_t patternID, std::string_view text,
                         MatchedLineArray& lines, bool countLines,
                         const std::function<void(MatchedLineArray&)>& handOver,
                         size_t longestKeptLine) {
    LineBuilder builder(text.data(), static_cast<int32_t>(text.size()), lines, countLines, handOver,
                        longestKeptLine);
    int32_t found = 0;
    regex.forEachMatch(patternID, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                       [&](regex::MatchResult& match) {
                           const int32_t start = match.groupStartEnd[0];
                           const int32_t end = match.groupStartEnd[1];
                           if (end > start) {
                               builder.add(start, end);
                               ++found;
                           }
                       });
    builder.closeLine();
    // Growing by doubling may leave up to half the array unused. In a mapped block that part
    // was never written and takes no memory; from the heap, the lines move to an array of their
    // own size when more than a fifth would be left unused.
    if (lines.capacity() * sizeof(MatchedLine) < regex::kLargeArrayBlock &&
        lines.capacity() - lines.size() > lines.size() / 4)
        lines.shrink_to_fit();
    return found;
}

} // namespace kestrava::search
