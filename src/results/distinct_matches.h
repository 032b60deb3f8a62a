// The match texts of the unique views, each kept once: texts equal ignoring letter case (equal
// collation keys) are one, and the first seen stands for them.
#pragma once

#include "results/collation.h"
#include "results/text_set.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrava::results {

class DistinctMatches {
  public:
    // copyTexts: keep a copy of every text; otherwise the caller's texts must outlive the set.
    DistinctMatches(size_t expected, bool copyTexts);
    // True when the text is the first of its kind; it is then number size() - 1.
    bool insert(std::string_view text);
    size_t size() const { return m_keys.size(); }
    // The numbers of the texts in collation order.
    std::vector<uint32_t> collationOrder() const;

  private:
    MatchCollator m_collator;
    TextSet m_texts; // exact repeats, the common case, never need a key
    TextSet m_keys;  // text i has key i
};

} // namespace kestrava::results
