// Matched lines: the lines of a file are worked out only around its matches, by looking for
// control characters on either side, so files are never split into lines.
#include "search/kes_uFind.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kes {

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

#if defined(__SSE2__)
// One bit per byte of the 16 at p: set for a control byte (below 32).
unsigned ControlBits(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i below32 = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(31)), bytes);
    return static_cast<unsigned>(_mm_movemask_epi8(below32));
}
#endif

// The first control byte at or after `from`, or `size`.
int32_t NextControl(const char* text, int32_t from, int32_t size) {
#if defined(__SSE2__)
    for (; from + 16 <= size; from += 16)
        if (const unsigned bits = ControlBits(text + from); bits != 0)
            return from + std::countr_zero(bits);
#endif
    while (from < size && !IsControl(text[from]))
        ++from;
    return from;
}

// The last control byte in (floor, at], or `floor` when there is none.
int32_t PreviousControl(const char* text, int32_t floor, int32_t at) {
#if defined(__SSE2__)
    for (; at - 15 > floor; at -= 16)
        if (const unsigned bits = ControlBits(text + at - 15); bits != 0)
            return at - 15 + (31 - std::countl_zero(bits));
#endif
    while (at > floor && !IsControl(text[at]))
        --at;
    return at;
}

class LineBuilder {
  public:
    LineBuilder(const char* text, int32_t size, TMatchedLineArray& lines)
        : fText(text), fSize(size), fLines(lines) {}

    void Add(int32_t start, int32_t end) {
        const int32_t p = PreviousControl(fText, fPrevEnd, start);
        if (p >= fLineEnd)
            OpenLine(p, start, end);
        TMatchedLines& line = fLines.back();
        int32_t clipped = end;
        if (clipped > fLineEnd) {
            clipped = fLineEnd;
            line.Truncated = true;
        }
        line.AddMatch({start - fLineStart + 1, clipped - start});
        fPrevEnd = clipped;
    }

    void CloseLine() {
        if (!fOpen)
            return;
        TMatchedLines& line = fLines.back();
        line.Text.assign(fText + fLineStart, static_cast<size_t>(fLineEnd - fLineStart));
        fOpen = false;
    }

  private:
    // The line ends at the first control character at or after the match's last byte, so a
    // match spanning a line end takes the next line along with it.
    void OpenLine(int32_t lineStart, int32_t start, int32_t end) {
        CloseLine();
        fLines.emplace_back();
        fOpen = true;
        fLineStart = lineStart;
        fLineEnd = NextControl(fText, end > 0 ? end - 1 : 0, fSize);
        fLines.back().MatchStart = start;
        fLines.back().MatchEnd = end;
    }

    const char* fText;
    int32_t fSize;
    TMatchedLineArray& fLines;
    int32_t fLineStart = 0;
    int32_t fLineEnd = 0;
    int32_t fPrevEnd = 0;
    bool fOpen = false;
};

// A million one-match lines must stay within 64 bytes each, besides their texts.
static_assert(sizeof(TMatchedLines) <= 64);

// Room for `count` matches beyond the first: a power of two, so growing one by one stays cheap.
size_t MoreCapacity(size_t count) {
    return count == 0 ? 0 : std::bit_ceil(count);
}

} // namespace

TMatchedLines::TMatchedLines(const TMatchedLines& other)
    : Text(other.Text), Truncated(other.Truncated), MatchStart(other.MatchStart),
      MatchEnd(other.MatchEnd), FirstMatch_(other.FirstMatch_), MatchCount_(other.MatchCount_) {
    const size_t more = MatchCount_ > 0 ? MatchCount_ - 1 : 0;
    if (more > 0) {
        MoreMatches_ = std::make_unique<TMatchSpan[]>(MoreCapacity(more));
        std::copy_n(other.MoreMatches_.get(), more, MoreMatches_.get());
    }
}

TMatchedLines& TMatchedLines::operator=(const TMatchedLines& other) {
    if (this != &other)
        *this = TMatchedLines(other);
    return *this;
}

void TMatchedLines::AddMatch(TMatchSpan match) {
    if (MatchCount_ == 0) {
        FirstMatch_ = match;
        MatchCount_ = 1;
        return;
    }
    const size_t more = MatchCount_ - 1;
    if (more == MoreCapacity(more)) { // full
        auto grown = std::make_unique<TMatchSpan[]>(MoreCapacity(more + 1));
        std::copy_n(MoreMatches_.get(), more, grown.get());
        MoreMatches_ = std::move(grown);
    }
    MoreMatches_[more] = match;
    ++MatchCount_;
}

TLineSegments::Iterator::Iterator(const TMatchedLines* line, bool done)
    : Line_(line), Done_(done) {
    if (done)
        return;
    Pos_ = !line->Text.empty() && IsControl(line->Text[0]) ? 2 : 1;
    Advance();
}

void TLineSegments::Iterator::Advance() {
    if (Next_ < Line_->MatchCount()) {
        const TMatchSpan match = Line_->Match(Next_);
        if (!BeforeShown_ && match.Start >= Pos_) { // the text before it, empty between matches
            Current_ = {Pos_, match.Start - Pos_, false};
            Pos_ = match.Start;
            BeforeShown_ = true;
            return;
        }
        Current_ = {match.Start, match.Length, true};
        Pos_ = match.Start + match.Length;
        BeforeShown_ = false;
        ++Next_;
        return;
    }
    const auto length = static_cast<int32_t>(Line_->Text.size());
    if (Pos_ <= length) { // the text after the last match
        Current_ = {Pos_, length - Pos_ + 1, false};
        Pos_ = length + 1;
        return;
    }
    Done_ = true;
}

int32_t FindMatchedLines(TldiRegExBase& regex, int32_t patternID, std::string_view text,
                         TMatchedLineArray& lines) {
    LineBuilder builder(text.data(), static_cast<int32_t>(text.size()), lines);
    int32_t found = 0;
    regex.ForEachMatch(patternID, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                       [&](TMatchResult& match) {
                           const int32_t start = match.GroupStartEnd[0];
                           const int32_t end = match.GroupStartEnd[1];
                           if (end > start) {
                               builder.Add(start, end);
                               ++found;
                           }
                       });
    builder.CloseLine();
    // Growing by doubling may leave up to half the array unused. In a mapped block that part
    // was never written and takes no memory; from the heap, the lines move to an array of their
    // own size when more than a fifth would be left unused.
    if (lines.capacity() * sizeof(TMatchedLines) < kLargeArrayBlock &&
        lines.capacity() - lines.size() > lines.size() / 4)
        lines.shrink_to_fit();
    return found;
}

} // namespace kes
