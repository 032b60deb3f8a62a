#include "results/kes_uTextSet.h"

#include <bit>
#include <functional>

namespace kes {

TTextSet::TTextSet(size_t expected, bool copyTexts)
    : fCopyTexts(copyTexts), fSlots(std::bit_ceil(std::max<size_t>(expected * 2, 16)), 0) {
    fEntries.reserve(expected);
}

std::string_view TTextSet::Text(size_t index) const {
    const TEntry& entry = fEntries[index];
    return {entry.Borrowed != nullptr ? entry.Borrowed : fArena.data() + entry.Offset,
            entry.Length};
}

bool TTextSet::Equal(const TEntry& entry, uint64_t hash, std::string_view text) const {
    return entry.Hash == hash && entry.Length == text.size() &&
           Text(static_cast<size_t>(&entry - fEntries.data())) == text;
}

namespace {

// A slot holds the entry's number (from 1) in its low half and the top of its hash in the
// high half, so that most probes are settled without reading the entry itself.
uint64_t SlotOf(uint64_t hash, size_t entryNumber) {
    return (hash & 0xFFFFFFFF00000000u) | entryNumber;
}

} // namespace

bool TTextSet::Insert(std::string_view text) {
    const uint64_t hash = std::hash<std::string_view>{}(text);
    const size_t mask = fSlots.size() - 1;
    size_t slot = hash & mask;
    for (; fSlots[slot] != 0; slot = (slot + 1) & mask)
        if ((fSlots[slot] >> 32) == (hash >> 32) &&
            Equal(fEntries[(fSlots[slot] & 0xFFFFFFFFu) - 1], hash, text))
            return false;
    TEntry entry{hash, fCopyTexts ? nullptr : text.data(), fArena.size(), text.size()};
    if (fCopyTexts)
        fArena.append(text);
    fEntries.push_back(entry);
    fSlots[slot] = SlotOf(hash, fEntries.size());
    if (fEntries.size() * 2 > fSlots.size())
        Grow();
    return true;
}

void TTextSet::Grow() {
    std::vector<uint64_t> slots(fSlots.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (size_t i = 0; i < fEntries.size(); ++i) {
        size_t slot = fEntries[i].Hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = SlotOf(fEntries[i].Hash, i + 1);
    }
    fSlots = std::move(slots);
}

} // namespace kes
