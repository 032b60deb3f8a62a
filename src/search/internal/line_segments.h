// The segments of a matched line (text, match, text, ...), worked out while its matches are
// visited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace kestrava::search {

struct MatchedSegment {
    int32_t start = 1; // 1-based position in the line's Text
    int32_t length = 0;
    bool isMatch = false;
};

// A match within its line: 1-based start in the line's Text, and length up to the line's end.
struct MatchSpan {
    int32_t start = 1;
    int32_t length = 0;
};

struct MatchedLine;

// The segments of a line in order (text, match, text, ...), worked out from its matches while
// they are visited. Each match has a text before it, empty where it follows another match or
// starts the line; a final text only when there is one. The line's leading control byte, which
// only separates it from what came before, is in no segment unless a match takes it in.
class LineSegments {
  public:
    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = MatchedSegment;
        using difference_type = std::ptrdiff_t;
        using pointer = const MatchedSegment*;
        using reference = MatchedSegment;

        MatchedSegment operator*() const { return m_current; }
        Iterator& operator++() {
            advance();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return m_done == other.m_done &&
                   (m_done || (m_next == other.m_next && m_beforeShown == other.m_beforeShown));
        }

      private:
        friend class LineSegments;
        Iterator(const MatchedLine* line, bool done);
        void advance();

        const MatchedLine* m_line;
        size_t m_next = 0;          // the next match to visit
        int32_t m_pos = 1;          // the first position of the Text not yet visited
        bool m_beforeShown = false; // the text before match m_next was visited
        MatchedSegment m_current;
        bool m_done;
    };

    explicit LineSegments(const MatchedLine& line) : m_line(&line) {}
    Iterator begin() const { return Iterator(m_line, false); }
    Iterator end() const { return Iterator(m_line, true); }

  private:
    const MatchedLine* m_line;
};

} // namespace kestrava::search
