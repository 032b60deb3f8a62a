// A set of byte texts for a million entries: one open-addressing table of hashes and offsets,
// the texts themselves either borrowed (they outlive the set) or kept in one growing arena.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::results {

class TextSet {
  public:
    // copyTexts: keep a copy of every text added; otherwise the caller's texts must outlive the
    // set.
    TextSet(size_t expected, bool copyTexts);
    // Adds text unless an equal text is in the set; true when added.
    bool insert(std::string_view text);
    // The texts in the order they were added.
    size_t size() const { return m_entries.size(); }
    std::string_view text(size_t index) const;

  private:
    struct Entry {
        uint64_t hash;
        const char* borrowed; // null when the text is in the arena
        size_t offset;
        size_t length;
    };
    void grow();
    bool equal(const Entry& entry, uint64_t hash, std::string_view text) const;

    bool m_copyTexts;
    std::string m_arena;
    std::vector<Entry> m_entries;
    std::vector<uint64_t> m_slots; // see slotOf; 0 for free; size is a power of two
};

} // namespace kestrava::results
