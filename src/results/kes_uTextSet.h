// A set of byte texts for a million entries: one open-addressing table of hashes and offsets,
// the texts themselves either borrowed (they outlive the set) or kept in one growing arena.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

class TTextSet {
  public:
    // copyTexts: keep a copy of every text added; otherwise the caller's texts must outlive the
    // set.
    TTextSet(size_t expected, bool copyTexts);
    // Adds text unless an equal text is in the set; true when added.
    bool Insert(std::string_view text);
    // The texts in the order they were added.
    size_t Size() const { return fEntries.size(); }
    std::string_view Text(size_t index) const;

  private:
    struct TEntry {
        uint64_t Hash;
        const char* Borrowed; // null when the text is in the arena
        size_t Offset;
        size_t Length;
    };
    void Grow();
    bool Equal(const TEntry& entry, uint64_t hash, std::string_view text) const;

    bool fCopyTexts;
    std::string fArena;
    std::vector<TEntry> fEntries;
    std::vector<uint64_t> fSlots; // see SlotOf; 0 for free; size is a power of two
};

} // namespace kes
