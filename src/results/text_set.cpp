#include "results/text_set.h"

#include <bit>
#include <functional>

namespace kestrava::results {

TextSet::TextSet(size_t expected, bool copyTexts)
    : m_copyTexts(copyTexts), m_slots(std::bit_ceil(std::max<size_t>(expected * 2, 16)), 0) {
    m_entries.reserve(expected);
}

std::string_view TextSet::text(size_t index) const {
    const Entry& entry = m_entries[index];
    return {entry.borrowed != nullptr ? entry.borrowed : m_arena.data() + entry.offset,
            entry.length};
}

bool TextSet::equal(const Entry& entry, uint64_t hash, std::string_view text) const {
    return entry.hash == hash && entry.length == text.size() &&
           this->text(static_cast<size_t>(&entry - m_entries.data())) == text;
}

namespace {

// A slot holds the entry's number (from 1) in its low half and the top of its hash in the
// high half, so that most probes are settled without reading the entry itself.
uint64_t slotOf(uint64_t hash, size_t entryNumber) {
    return (hash & 0xFFFFFFFF00000000u) | entryNumber;
}

} // namespace

bool TextSet::insert(std::string_view text) {
    const uint64_t hash = std::hash<std::string_view>{}(text);
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask)
        if ((m_slots[slot] >> 32) == (hash >> 32) &&
            equal(m_entries[(m_slots[slot] & 0xFFFFFFFFu) - 1], hash, text))
            return false;
    Entry entry{hash, m_copyTexts ? nullptr : text.data(), m_arena.size(), text.size()};
    if (m_copyTexts)
        m_arena.append(text);
    m_entries.push_back(entry);
    m_slots[slot] = slotOf(hash, m_entries.size());
    if (m_entries.size() * 2 > m_slots.size())
        grow();
    return true;
}

void TextSet::grow() {
    std::vector<uint64_t> slots(m_slots.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        size_t slot = m_entries[i].hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = slotOf(m_entries[i].hash, i + 1);
    }
    m_slots = std::move(slots);
}

} // namespace kestrava::results
