// Plain-text patterns and alternations of plain texts ("struct|union"): found with a vectorised
// byte search instead of the regex engine, with exactly the matches the engine would report.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kestrava::regex {

namespace {

// Options under which plain text matches itself and nothing else.
constexpr int32_t kLiteralSafeFlags = PCRE_CASELESS | PCRE_DOTALL | PCRE_MULTILINE |
                                      PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_NO_AUTO_CAPTURE |
                                      PCRE_EXTRA | PCRE_NO_UTF8_CHECK;

// Each alternative costs two byte probes per place; past this many the engine's own start-byte
// table is the better search.
constexpr size_t kMaxAlternatives = 8;

// Off in tests only, so that the probes every processor has are tried too.
std::atomic<bool> gAvx2Tables = true;

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The built-in tables fold A-Z only, so that is all a caseless comparison may fold.
bool equalAt(const char* text, std::string_view literal, bool caseless) {
    if (!caseless)
        return std::memcmp(text, literal.data(), literal.size()) == 0;
    for (size_t i = 0; i < literal.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(literal[i]))
            return false;
    return true;
}

#if defined(__SSE2__)
// Compares 16 bytes with one literal byte. Caseless letters compare with bit 0x20 set on both
// sides; that also lets a few non-letters through ('@' for '`'), which the full check rejects.
class ByteProbe {
  public:
    ByteProbe(char c, bool caseless)
        : m_fold(_mm_set1_epi8(caseless && isAsciiLetter(c) ? 0x20 : 0)),
          m_byte(_mm_set1_epi8(caseless && isAsciiLetter(c) ? lowerAscii(c) : c)) {}

    __m128i equal(const char* at) const {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_cmpeq_epi8(_mm_or_si128(block, m_fold), m_byte);
    }

  private:
    __m128i m_fold;
    __m128i m_byte;
};

// Candidates are places where the literal's first and last bytes both fit; 16 places a step.
size_t findVectorised(const char* text, size_t from, size_t lastStart, std::string_view literal,
                      bool caseless, size_t& scannedTo) {
    const size_t lastOffset = literal.size() - 1;
    const ByteProbe first(literal.front(), caseless);
    const ByteProbe last(literal.back(), caseless);
    size_t pos = from;
    for (; pos + 16 <= lastStart + 1; pos += 16) {
        const __m128i both =
            _mm_and_si128(first.equal(text + pos), last.equal(text + pos + lastOffset));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(both));
        while (mask != 0) {
            const size_t candidate = pos + static_cast<size_t>(__builtin_ctz(mask));
            if (equalAt(text + candidate, literal, caseless))
                return candidate;
            mask &= mask - 1;
        }
    }
    scannedTo = pos;
    return std::string::npos;
}
#endif

// The first alternative, in pattern order, that matches whole at `at`; npos for none. Every
// alternative must fit before the end of the text.
size_t alternativeAt(const char* at, const std::vector<std::string>& alternatives, bool caseless) {
    for (size_t i = 0; i < alternatives.size(); ++i)
        if (equalAt(at, alternatives[i], caseless))
            return i;
    return std::string::npos;
}

// Of the places a step looks at (bit j of `mask`: pos + j), the first where an alternative
// matches whole, and that alternative (`which`); npos for none.
size_t firstWhole(const char* text, size_t pos, uint32_t mask,
                  const std::vector<std::string>& alternatives, bool caseless, size_t& which) {
    for (; mask != 0; mask &= mask - 1) {
        const size_t candidate = pos + static_cast<size_t>(__builtin_ctz(mask));
        which = alternativeAt(text + candidate, alternatives, caseless);
        if (which != std::string::npos)
            return candidate;
    }
    return std::string::npos;
}

// Where steps of `width` places from `from` end, each place of each step leaving room for
// `longest` bytes before `length`.
size_t stepsEnd(size_t from, size_t length, size_t longest, size_t width) {
    const size_t room = longest + width - 1;
    return length - from >= room ? from + width * ((length - from - room) / width + 1) : from;
}

// Searches within pieces a few megabytes long, seeing a stop request between them; `find(end,
// from)` searches for starts at or after `from` of matches that end by `end`. Only a start
// inside the piece counts: one after it may come after the start of a longer match that goes
// past the piece's end.
template <typename Find>
size_t findInPieces(const char* text, size_t length, size_t from, size_t longest,
                    const Find& find) {
    const size_t piece = pcre_api::kStopCheckBytes;
    while (from < length && length - from > piece + longest) {
        const size_t hit = find(from + piece + longest - 1, from);
        if (hit < from + piece)
            return hit;
        from += piece;
        pcre_api::checkStop(text + from);
    }
    return find(length, from);
}

} // namespace

#if defined(__x86_64__)
// Alternatives told apart by their first few bytes, 32 places a step: for each of those bytes, a
// table by its low half and one by its high half give the alternatives (a bit each) that may
// have it there. A place where some alternative's bit survives every table is a candidate.
class NibbleTables {
  public:
    static constexpr size_t kMostBytes = 3;

    NibbleTables(const std::vector<std::string>& alternatives, bool caseless) {
        m_bytes = kMostBytes;
        for (const std::string& alternative : alternatives)
            m_bytes = std::min(m_bytes, alternative.size());
        for (size_t i = 0; i < alternatives.size(); ++i)
            for (size_t k = 0; k < m_bytes; ++k)
                for (const char c : {alternatives[i][k], foldedCase(alternatives[i][k], caseless)})
                    add(k, static_cast<uint8_t>(c), static_cast<uint8_t>(1U << i));
    }

    // The first step of 32 places from `pos` on (before `stop`) that holds candidates: its
    // start, with bit j of `mask` set when place start + j is one; `stop` when there is none.
    // The text must hold every step's places and m_bytes - 1 bytes more.
    __attribute__((target("avx2"))) size_t next(const char* text, size_t pos, size_t stop,
                                                uint32_t& mask) const {
        const __m256i lowHalf = _mm256_set1_epi8(0x0F);
        __m256i lowTables[kMostBytes];
        __m256i highTables[kMostBytes];
        for (size_t k = 0; k < m_bytes; ++k) {
            lowTables[k] = table(m_low[k]);
            highTables[k] = table(m_high[k]);
        }
        for (; pos < stop; pos += 32) {
            __m256i alive = _mm256_set1_epi8(-1);
            for (size_t k = 0; k < m_bytes; ++k) {
                const __m256i block =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + pos + k));
                const __m256i low = _mm256_and_si256(block, lowHalf);
                const __m256i high = _mm256_and_si256(_mm256_srli_epi16(block, 4), lowHalf);
                alive = _mm256_and_si256(alive, _mm256_shuffle_epi8(lowTables[k], low));
                alive = _mm256_and_si256(alive, _mm256_shuffle_epi8(highTables[k], high));
            }
            const __m256i dead = _mm256_cmpeq_epi8(alive, _mm256_setzero_si256());
            mask = ~static_cast<uint32_t>(_mm256_movemask_epi8(dead));
            if (mask != 0)
                return pos;
        }
        return stop;
    }

  private:
    static char foldedCase(char c, bool caseless) {
        if (!caseless || !isAsciiLetter(c))
            return c;
        return static_cast<char>(c ^ 0x20);
    }
    // The 16-byte table in both halves, as the shuffle looks up each half on its own.
    __attribute__((target("avx2"))) static __m256i table(const uint8_t* bytes) {
        return _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    void add(size_t k, uint8_t byte, uint8_t bit) {
        m_low[k][byte & 0x0F] |= bit;
        m_high[k][byte >> 4] |= bit;
    }

    size_t m_bytes = 0;
    uint8_t m_low[kMostBytes][16] = {};
    uint8_t m_high[kMostBytes][16] = {};
};
#endif

// What finds the candidates for every alternative at once: the nibble tables where the processor
// has AVX2, else a probe of each alternative's first byte and one of its last.
struct LiteralScanner::Probes {
#if defined(__x86_64__)
    std::unique_ptr<NibbleTables> tables;
#endif
#if defined(__SSE2__)
    std::vector<ByteProbe> first;
    std::vector<ByteProbe> last;
#endif
};

std::vector<std::string> plainLiterals(const std::string& pattern, int32_t flags,
                                       PatternLanguage language) {
    // The library reads the pattern up to its first NUL.
    const std::string text(pattern.c_str());
    if (text.empty() || language != PatternLanguage::English || (flags & ~kLiteralSafeFlags) != 0)
        return {};
    if (text.find_first_of("\\^$.?*+()[]{}") != std::string::npos)
        return {};
    std::vector<std::string> alternatives;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        const std::string alternative = text.substr(start, bar - start);
        // An empty alternative matches the empty text everywhere: that is the engine's work.
        if (alternative.empty() || alternatives.size() == kMaxAlternatives)
            return {};
        alternatives.push_back(alternative);
        if (bar == std::string::npos)
            return alternatives;
        start = bar + 1;
    }
}

size_t findLiteralBefore(const char* text, size_t length, size_t from, std::string_view literal,
                         bool caseless) {
    if (from > length || literal.size() > length - from)
        return std::string::npos;
    const size_t lastStart = length - literal.size();
    size_t pos = from;
#if defined(__SSE2__)
    const size_t hit = findVectorised(text, from, lastStart, literal, caseless, pos);
    if (hit != std::string::npos)
        return hit;
#endif
    // What is left after the vectorised steps (or everything, without them), one place a step.
    for (; pos <= lastStart; ++pos)
        if (equalAt(text + pos, literal, caseless))
            return pos;
    return std::string::npos;
}

size_t findLiteralInPieces(const char* text, size_t length, size_t from, std::string_view literal,
                           bool caseless) {
    return findInPieces(text, length, from, literal.size(), [&](size_t end, size_t at) {
        return findLiteralBefore(text, end, at, literal, caseless);
    });
}

LiteralScanner::LiteralScanner(const std::vector<std::string>& alternatives, bool caseless,
                               const char* text, size_t length)
    : m_alternatives(alternatives), m_caseless(caseless), m_text(text), m_length(length),
      m_probes(std::make_unique<Probes>()) {
    for (const std::string& alternative : alternatives)
        m_longest = std::max(m_longest, alternative.size());
#if defined(__x86_64__)
    static const bool kHasAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (kHasAvx2 && gAvx2Tables.load(std::memory_order_relaxed)) {
        m_probes->tables = std::make_unique<NibbleTables>(alternatives, caseless);
        return;
    }
#endif
#if defined(__SSE2__)
    for (const std::string& alternative : alternatives) {
        m_probes->first.emplace_back(alternative.front(), caseless);
        m_probes->last.emplace_back(alternative.back(), caseless);
    }
#endif
}

LiteralScanner::~LiteralScanner() = default;

void useAvx2ForAlternatives(bool use) {
    gAvx2Tables = use;
}

bool LiteralScanner::next(size_t from, size_t& start, size_t& end) {
    size_t which = 0;
    start = m_alternatives.size() == 1
                ? findLiteral(m_text, m_length, from, m_alternatives.front(), m_caseless)
                : findInPieces(m_text, m_length, from, m_longest, [&](size_t length, size_t at) {
                      return findAny(length, at, which);
                  });
    if (start == std::string::npos)
        return false;
    end = start + m_alternatives[which].size();
    return true;
}

// Every alternative is looked for in one pass: the leftmost place wins, and there the earlier
// alternative, as the engine tries them.
size_t LiteralScanner::findAny(size_t length, size_t from, size_t& which) const {
    if (from >= length)
        return std::string::npos;
    size_t pos = from;
#if defined(__x86_64__)
    if (m_probes->tables) {
        const size_t stop = stepsEnd(from, length, m_longest, 32);
        uint32_t mask = 0;
        for (; (pos = m_probes->tables->next(m_text, pos, stop, mask)) < stop; pos += 32)
            if (const size_t hit = firstWhole(m_text, pos, mask, m_alternatives, m_caseless, which);
                hit != std::string::npos)
                return hit;
        return findAnyOneByOne(length, pos, which);
    }
#endif
#if defined(__SSE2__)
    for (const size_t stop = stepsEnd(from, length, m_longest, 16); pos < stop; pos += 16) {
        __m128i any = _mm_setzero_si128();
        for (size_t i = 0; i < m_alternatives.size(); ++i)
            any =
                _mm_or_si128(any, _mm_and_si128(m_probes->first[i].equal(m_text + pos),
                                                m_probes->last[i].equal(
                                                    m_text + pos + m_alternatives[i].size() - 1)));
        const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(any));
        if (const size_t hit = firstWhole(m_text, pos, mask, m_alternatives, m_caseless, which);
            hit != std::string::npos)
            return hit;
    }
#endif
    return findAnyOneByOne(length, pos, which);
}

// What the vectorised steps leave (or everything, without them), with only the alternatives that
// still fit.
size_t LiteralScanner::findAnyOneByOne(size_t length, size_t pos, size_t& which) const {
    for (; pos < length; ++pos)
        for (size_t i = 0; i < m_alternatives.size(); ++i)
            if (m_alternatives[i].size() <= length - pos &&
                equalAt(m_text + pos, m_alternatives[i], m_caseless)) {
                which = i;
                return pos;
            }
    return std::string::npos;
}

} // namespace kestrava::regex
