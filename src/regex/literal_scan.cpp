// Plain-text patterns and alternations of plain texts ("struct|union"): found with a vectorised
// byte search instead of the regex engine, with exactly the matches the engine would report.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <array>
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
constexpr uint64_t kLiteralSafeFlags =
    PCRE2_CASELESS | PCRE2_DOTALL | PCRE2_MULTILINE | PCRE2_DOLLAR_ENDONLY | PCRE2_UNGREEDY |
    PCRE2_NO_AUTO_CAPTURE | pcre_api::kStrictEscapes | PCRE2_NO_UTF_CHECK;

// Each alternative costs two byte probes per place; past this many the engine's own start-byte
// table is the better search.
constexpr size_t kMaxAlternatives = 8;

// Off in tests only, so that the probes every processor has are tried too.
std::atomic<bool> gAvx2Steps = true;

// Whether the AVX2 steps run: where the processor has AVX2, unless a test turned them off.
bool avx2Steps() {
#if defined(__x86_64__)
    static const bool kHasAvx2 = __builtin_cpu_supports("avx2") != 0;
    return kHasAvx2 && gAvx2Steps.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

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

// How often each byte turns up in source code and prose, as a rank from 0 (rarest) to 255,
// counted once over C headers, Python sources, manual pages and package documents. A literal is
// probed at its two rarest bytes: in "PyObject" the 'j' and the 'y' rather than 'P' and 't', so
// that far fewer places need the full comparison.
// clang-format off
constexpr std::array<uint8_t, 256> kByteRank = {
    0,   1,   2,   3,   4,   5,   6,  62,   7, 193, 243,   8, 126, 141,   9,  10,
    11,  12,  13,  14,  15,  16,  17,  18,  50,  19,  20,  51,  21,  22,  23,  24,
    255, 163, 209, 204, 170, 160, 171, 199, 229, 230, 231, 166, 227, 214, 220, 240,
    221, 210, 208, 194, 187, 192, 186, 183, 185, 190, 206, 202, 213, 203, 215, 159,
    168, 232, 195, 223, 205, 234, 200, 197, 189, 228, 167, 184, 224, 201, 225, 218,
    217, 169, 219, 236, 233, 196, 188, 174, 191, 179, 161, 181, 176, 180, 157, 246,
    173, 249, 222, 245, 242, 254, 237, 226, 238, 250, 182, 211, 244, 235, 251, 248,
    241, 172, 247, 252, 253, 239, 212, 198, 207, 216, 175, 178, 165, 177, 158,  25,
    155, 118, 144, 123,  88,  96, 120, 117, 115,  89,  90, 106,  93, 116,  94,  84,
    125,  79, 109, 110, 153,  86, 105,  77, 133, 147,  82,  78, 150, 145,  71, 146,
    162, 139,  95, 119, 143, 107, 121, 113, 103, 152, 101, 148, 111, 124, 104,  72,
    132, 137, 131, 112, 136, 129, 149,  75, 142,  83, 134,  91, 127, 128, 138,  80,
    68,  38, 164, 154, 114, 135,  69,  56,  67,  70,  57,  63,  73,  45,  74,  85,
    151, 140,  26,  27,  39,  28,  60,  81,  65,  66,  61,  29,  46,  40,  30,  41,
    97,  87, 156, 130,  99, 122, 108,  92,  98, 100,  54,  31,  55,  42,  47,  76,
    102,  64,  32,  52,  58,  53,  48,  33,  49,  34,  43,  44,  35,  59,  36,  37,
};
// clang-format on

uint8_t rankOf(char c, bool caseless) {
    const auto byte = static_cast<uint8_t>(c);
    if (!caseless || !isAsciiLetter(c))
        return kByteRank[byte];
    return std::max(kByteRank[byte], kByteRank[byte ^ 0x20U]);
}

// Where in a literal its two probes look: its rarest byte, and the rarest of a different byte
// (any other place when all are the same; the same place for a single byte).
struct ProbeOffsets {
    size_t first = 0;
    size_t second = 0;
};

ProbeOffsets rarestOffsets(std::string_view literal, bool caseless) {
    const auto rarestWhere = [&](const auto& allowed) {
        size_t best = std::string::npos;
        for (size_t i = 0; i < literal.size(); ++i)
            if (allowed(i) && (best == std::string::npos ||
                               rankOf(literal[i], caseless) < rankOf(literal[best], caseless)))
                best = i;
        return best;
    };
    ProbeOffsets at;
    at.first = rarestWhere([](size_t) { return true; });
    const char folded = caseless ? lowerAscii(literal[at.first]) : literal[at.first];
    at.second = rarestWhere(
        [&](size_t i) { return (caseless ? lowerAscii(literal[i]) : literal[i]) != folded; });
    if (at.second == std::string::npos) // all one byte, so the first place is the rarest
        at.second = literal.size() - 1;
    return at;
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

// The first of the places a step looks at (bit j of `mask`: pos + j) where the literal matches
// whole; npos for none.
size_t firstEqual(const char* text, size_t pos, uint32_t mask, std::string_view literal,
                  bool caseless) {
    for (; mask != 0; mask &= mask - 1) {
        const size_t candidate = pos + static_cast<size_t>(__builtin_ctz(mask));
        if (equalAt(text + candidate, literal, caseless))
            return candidate;
    }
    return std::string::npos;
}

// Candidates are places where the literal's two probed bytes both fit; 16 places a step.
size_t findVectorised(const char* text, size_t from, size_t lastStart, std::string_view literal,
                      bool caseless, ProbeOffsets at, size_t& scannedTo) {
    const ByteProbe first(literal[at.first], caseless);
    const ByteProbe second(literal[at.second], caseless);
    size_t pos = from;
    for (; pos + 16 <= lastStart + 1; pos += 16) {
        const __m128i both =
            _mm_and_si128(first.equal(text + pos + at.first), second.equal(text + pos + at.second));
        const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(both));
        if (const size_t hit = firstEqual(text, pos, mask, literal, caseless);
            hit != std::string::npos)
            return hit;
    }
    scannedTo = pos;
    return std::string::npos;
}
#endif

#if defined(__x86_64__)
// The same probes 32 places a step, on processors that have AVX2.
__attribute__((target("avx2"))) size_t findVectorisedAvx2(const char* text, size_t from,
                                                          size_t lastStart,
                                                          std::string_view literal, bool caseless,
                                                          ProbeOffsets at, size_t& scannedTo) {
    const auto fold = [caseless](char c) { return caseless && isAsciiLetter(c) ? 0x20 : 0; };
    const char first = literal[at.first];
    const char second = literal[at.second];
    const __m256i firstFold = _mm256_set1_epi8(static_cast<char>(fold(first)));
    const __m256i firstByte = _mm256_set1_epi8(static_cast<char>(first | fold(first)));
    const __m256i secondFold = _mm256_set1_epi8(static_cast<char>(fold(second)));
    const __m256i secondByte = _mm256_set1_epi8(static_cast<char>(second | fold(second)));
    size_t pos = from;
    for (; pos + 32 <= lastStart + 1; pos += 32) {
        const auto* p = text + pos;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at.first));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at.second));
        const __m256i both =
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, firstFold), firstByte),
                             _mm256_cmpeq_epi8(_mm256_or_si256(b, secondFold), secondByte));
        const auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(both));
        if (const size_t hit = firstEqual(text, pos, mask, literal, caseless);
            hit != std::string::npos)
            return hit;
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

// Searches within pieces a few megabytes long, seeing a stop request between them;
// `find(text, end, from)` searches for starts at or after `from` of matches that end by `end`.
// Only a start inside the piece counts: one after it may come after the start of a longer match
// that goes past the piece's end. Pieces start at multiples of their size.
template <typename Find>
size_t findInPieces(const char* text, size_t length, size_t from, size_t longest,
                    const Find& find) {
    const size_t piece = pcre_api::kStopCheckBytes;
    while (from < length) {
        const size_t start = from / piece * piece;
        const size_t startsEnd = std::min(length, start + piece);
        const size_t end = std::min(length, startsEnd + longest - 1);
        const size_t hit = find(text, end, from);
        if (hit < startsEnd || end == length)
            return hit;
        from = startsEnd;
        pcre_api::checkStop(text + from);
    }
    return std::string::npos;
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

std::vector<std::string> plainLiterals(const std::string& pattern, uint64_t flags,
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
    [[maybe_unused]] const ProbeOffsets at = rarestOffsets(literal, caseless);
#if defined(__x86_64__)
    if (avx2Steps())
        if (const size_t hit = findVectorisedAvx2(text, pos, lastStart, literal, caseless, at, pos);
            hit != std::string::npos)
            return hit;
#endif
#if defined(__SSE2__)
    if (const size_t hit = findVectorised(text, pos, lastStart, literal, caseless, at, pos);
        hit != std::string::npos)
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
    return findInPieces(text, length, from, literal.size(),
                        [&](const char* bytes, size_t end, size_t at) {
                            return findLiteralBefore(bytes, end, at, literal, caseless);
                        });
}

LiteralScanner::LiteralScanner(const std::vector<std::string>& alternatives, bool caseless,
                               const char* text, size_t length)
    : m_alternatives(alternatives), m_caseless(caseless), m_text(text), m_length(length),
      m_probes(std::make_unique<Probes>()) {
    for (const std::string& alternative : alternatives)
        m_longest = std::max(m_longest, alternative.size());
#if defined(__x86_64__)
    if (avx2Steps()) {
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

void useAvx2Steps(bool use) {
    gAvx2Steps = use;
}

bool LiteralScanner::next(size_t from, size_t& start, size_t& end) {
    size_t which = 0;
    start = m_alternatives.size() == 1
                ? findLiteral(m_text, m_length, from, m_alternatives.front(), m_caseless)
                : findInPieces(m_text, m_length, from, m_longest,
                               [&](const char* bytes, size_t length, size_t at) {
                                   return findAny(bytes, length, at, which);
                               });
    if (start == std::string::npos)
        return false;
    end = start + m_alternatives[which].size();
    return true;
}

// Every alternative is looked for in one pass: the leftmost place wins, and there the earlier
// alternative, as the engine tries them.
size_t LiteralScanner::findAny(const char* text, size_t length, size_t from, size_t& which) const {
    if (from >= length)
        return std::string::npos;
    size_t pos = from;
#if defined(__x86_64__)
    if (m_probes->tables) {
        const size_t stop = stepsEnd(from, length, m_longest, 32);
        uint32_t mask = 0;
        for (; (pos = m_probes->tables->next(text, pos, stop, mask)) < stop; pos += 32)
            if (const size_t hit = firstWhole(text, pos, mask, m_alternatives, m_caseless, which);
                hit != std::string::npos)
                return hit;
        return findAnyOneByOne(text, length, pos, which);
    }
#endif
#if defined(__SSE2__)
    for (const size_t stop = stepsEnd(from, length, m_longest, 16); pos < stop; pos += 16) {
        __m128i any = _mm_setzero_si128();
        for (size_t i = 0; i < m_alternatives.size(); ++i)
            any = _mm_or_si128(any, _mm_and_si128(m_probes->first[i].equal(text + pos),
                                                  m_probes->last[i].equal(
                                                      text + pos + m_alternatives[i].size() - 1)));
        const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(any));
        if (const size_t hit = firstWhole(text, pos, mask, m_alternatives, m_caseless, which);
            hit != std::string::npos)
            return hit;
    }
#endif
    return findAnyOneByOne(text, length, pos, which);
}

// What the vectorised steps leave (or everything, without them), with only the alternatives that
// still fit.
size_t LiteralScanner::findAnyOneByOne(const char* text, size_t length, size_t pos,
                                       size_t& which) const {
    for (; pos < length; ++pos)
        for (size_t i = 0; i < m_alternatives.size(); ++i)
            if (m_alternatives[i].size() <= length - pos &&
                equalAt(text + pos, m_alternatives[i], m_caseless)) {
                which = i;
                return pos;
            }
    return std::string::npos;
}

} // namespace kestrava::regex
