// Plain-text patterns and alternations of plain texts ("struct|union"): found with a vectorised
// byte search instead of the regex engine, with exactly the matches the engine would report.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrava::regex {

namespace {

// Options under which plain text matches itself and nothing else.
constexpr int32_t kLiteralSafeFlags = PCRE_CASELESS | PCRE_DOTALL | PCRE_MULTILINE |
                                      PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_NO_AUTO_CAPTURE |
                                      PCRE_EXTRA | PCRE_NO_UTF8_CHECK;

// Each alternative costs one pass over the text; past this many the engine's own start-byte
// table is the better search.
constexpr size_t kMaxAlternatives = 8;

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

} // namespace

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
    const size_t piece = pcre_api::kStopCheckBytes;
    while (from < length && length - from > piece + literal.size()) {
        const size_t hit =
            findLiteralBefore(text, from + piece + literal.size() - 1, from, literal, caseless);
        if (hit != std::string::npos)
            return hit;
        from += piece;
        pcre_api::checkStop();
    }
    return findLiteralBefore(text, length, from, literal, caseless);
}

LiteralScanner::LiteralScanner(const std::vector<std::string>& alternatives, bool caseless,
                               const char* text, size_t length)
    : m_alternatives(alternatives), m_caseless(caseless), m_text(text), m_length(length),
      m_next(alternatives.size(), kUnknown) {}

bool LiteralScanner::next(size_t from, size_t& start, size_t& end) {
    // Each alternative remembers its next place at or after the last `from`; only those left
    // behind are searched again, so every alternative passes over the text once.
    size_t best = std::string::npos;
    size_t bestIndex = 0;
    for (size_t i = 0; i < m_alternatives.size(); ++i) {
        if (m_next[i] == kUnknown || (m_next[i] != std::string::npos && m_next[i] < from))
            m_next[i] = findLiteral(m_text, m_length, from, m_alternatives[i], m_caseless);
        // Leftmost wins; at the same place the earlier alternative, as the engine tries them.
        if (m_next[i] < best) {
            best = m_next[i];
            bestIndex = i;
        }
    }
    if (best == std::string::npos)
        return false;
    start = best;
    end = best + m_alternatives[bestIndex].size();
    return true;
}

} // namespace kestrava::regex
