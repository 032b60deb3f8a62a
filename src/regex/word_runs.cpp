// Finds where a pattern that begins with \b may match (see RequiredText::wordStartLength): runs of
// the bytes it consumes that begin at a word boundary. Sets of a few byte ranges ("[A-Za-z]")
// are tested 16 bytes at a time.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrava::regex {

namespace {

constexpr auto kPiece = static_cast<uint32_t>(pcre_api::kStopCheckBytes);

// As the built-in tables have it.
bool isWordByte(unsigned c) {
    return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::bitset<256> wordBytes() {
    std::bitset<256> set;
    for (unsigned c = 0; c < 256; ++c)
        set[c] = isWordByte(c);
    return set;
}

} // namespace

bool WordStartRuns::RangeProbe::assign(const std::bitset<256>& set) {
    m_count = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (!set[c] || (c > 0 && set[c - 1]))
            continue;
        unsigned last = c;
        while (last < 255 && set[last + 1])
            ++last;
        if (m_count == kMaxRanges)
            return false;
        std::fill_n(m_low[m_count], 16, static_cast<uint8_t>(c));
        std::fill_n(m_span[m_count], 16, static_cast<uint8_t>(last - c));
        ++m_count;
    }
    return true;
}

#if defined(__SSE2__)
unsigned WordStartRuns::RangeProbe::mask(const char* at) const {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i in = _mm_setzero_si128();
    for (size_t i = 0; i < m_count; ++i) {
        // In the range when the distance from its low end is no more than its span (unsigned).
        const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i*>(m_low[i]));
        const __m128i span = _mm_load_si128(reinterpret_cast<const __m128i*>(m_span[i]));
        const __m128i distance = _mm_sub_epi8(block, low);
        in = _mm_or_si128(in, _mm_cmpeq_epi8(_mm_min_epu8(distance, span), distance));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(in));
}

uint64_t WordStartRuns::RangeProbe::mask64(const char* at) const {
    uint64_t bits = 0;
    for (size_t i = 0; i < 4; ++i)
        bits |= uint64_t{mask(at + 16 * i)} << (16 * i);
    return bits;
}
#endif

WordStartRuns::WordStartRuns(const std::bitset<256>& stops, uint32_t minLength, const char* text,
                             uint32_t length)
    : m_text(text), m_length(length), m_minLength(minLength) {
    const std::bitset<256> words = wordBytes();
    for (unsigned c = 0; c < 256; ++c) {
        m_run[c] = !stops[c];
        m_word[c] = words[c];
    }
#if defined(__SSE2__)
    m_vector = m_runs.assign(~stops) && m_words.assign(words);
#endif
}

// Candidates come from 64-byte blocks while a whole block fits, then one byte at a time.
bool WordStartRuns::next(uint32_t from, uint32_t& start, uint32_t& end) {
    uint32_t pos = from;
    uint32_t checked = from;
    while (m_vector && m_length - pos >= kBlock) {
        if (pos - checked >= kPiece) {
            pcre_api::checkStop(m_text + pos);
            checked = pos;
        }
        if (!m_loaded || pos - m_base >= kBlock)
            loadBlock(pos);
        const uint64_t starts = m_blockStarts & (~uint64_t{0} << (pos - m_base));
        if (starts == 0) {
            pos = m_base + kBlock;
            continue;
        }
        const auto bit = static_cast<unsigned>(__builtin_ctzll(starts));
        const uint64_t stopsAfter = ~m_blockRuns & (~uint64_t{0} << bit);
        start = m_base + bit;
        end = stopsAfter != 0 ? m_base + static_cast<uint32_t>(__builtin_ctzll(stopsAfter))
                              : findEnd(m_base + kBlock);
        if (end - start >= m_minLength)
            return true;
        pos = end;
    }
    return nextOneByOne(pos, start, end);
}

#if defined(__SSE2__)
void WordStartRuns::loadBlock(uint32_t base) {
    m_base = base;
    m_loaded = true;
    m_blockRuns = m_runs.mask64(m_text + base);
    const uint64_t words = m_words.mask64(m_text + base);
    const uint64_t wordBefore = base > 0 && isWord(m_text[base - 1]) ? 1 : 0;
    m_blockStarts = m_blockRuns & ~((words << 1) | wordBefore) & longRuns(base);
}

// Bit i is set when bytes i to i + minLength - 1 of the block all lie in runs, so that runs too
// short are passed over without a branch each. Bytes after the block that are not read (past
// the next 16, or all of them when fewer are left) count as run bytes: next() checks each run's
// length anyway.
uint64_t WordStartRuns::longRuns(uint32_t base) const {
    constexpr uint32_t kAhead = 16;
    if (m_minLength > kAhead + 1)
        return ~uint64_t{0};
    uint64_t ahead = ~uint64_t{0};
    if (m_length - base >= kBlock + kAhead)
        ahead = m_runs.mask(m_text + base + kBlock) | (~uint64_t{0} << kAhead);
    uint64_t all = m_blockRuns;
    for (uint32_t shift = 1; shift < m_minLength; ++shift)
        all &= (m_blockRuns >> shift) | (ahead << (kBlock - shift));
    return all;
}
#else
void WordStartRuns::loadBlock(uint32_t) {}
uint64_t WordStartRuns::longRuns(uint32_t) const {
    return ~uint64_t{0};
}
#endif

bool WordStartRuns::nextOneByOne(uint32_t from, uint32_t& start, uint32_t& end) const {
    uint32_t checked = from;
    for (uint32_t pos = from; pos < m_length; pos = end) {
        if (pos - checked >= kPiece) {
            pcre_api::checkStop(m_text + pos);
            checked = pos;
        }
        const uint32_t limit = pos + std::min(m_length - pos, kPiece);
        start = findStart(pos, limit);
        end = start == limit ? limit : findEnd(start + 1);
        if (start < limit && end - start >= m_minLength)
            return true;
    }
    return false;
}

uint32_t WordStartRuns::findStart(uint32_t pos, uint32_t limit) const {
    for (; pos < limit; ++pos)
        if (isRun(m_text[pos]) && (pos == 0 || !isWord(m_text[pos - 1])))
            return pos;
    return limit;
}

// A run of many megabytes is gone through a piece at a time, so that a stop request is seen.
uint32_t WordStartRuns::findEnd(uint32_t pos) const {
    for (; m_length - pos > kPiece; pos += kPiece) {
        const uint32_t end = findEndWithin(pos, pos + kPiece);
        if (end < pos + kPiece)
            return end;
        pcre_api::checkStop(m_text + pos + kPiece);
    }
    return findEndWithin(pos, m_length);
}

uint32_t WordStartRuns::findEndWithin(uint32_t pos, uint32_t limit) const {
#if defined(__SSE2__)
    for (; m_vector && limit - pos >= 16; pos += 16) {
        const unsigned stops = ~m_runs.mask(m_text + pos) & 0xFFFFu;
        if (stops != 0)
            return pos + static_cast<uint32_t>(__builtin_ctz(stops));
    }
#endif
    for (; pos < limit; ++pos)
        if (!isRun(m_text[pos]))
            return pos;
    return limit;
}

} // namespace kestrava::regex
