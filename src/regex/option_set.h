// A small set of enumeration values (at most 16), the form option sets are passed around in.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kestrava::regex {

template <typename E> class Set {
  public:
    constexpr Set() = default;
    constexpr Set(std::initializer_list<E> values) {
        for (E v : values)
            include(v);
    }
    constexpr bool contains(E v) const { return (m_bits & bit(v)) != 0; }
    constexpr void include(E v) { m_bits = static_cast<uint16_t>(m_bits | bit(v)); }
    constexpr void exclude(E v) { m_bits = static_cast<uint16_t>(m_bits & ~bit(v)); }
    constexpr bool empty() const { return m_bits == 0; }
    constexpr uint16_t bits() const { return m_bits; }
    constexpr bool operator==(const Set&) const = default;

  private:
    static constexpr uint16_t bit(E v) {
        return static_cast<uint16_t>(1u << static_cast<unsigned>(v));
    }
    uint16_t m_bits = 0;
};

} // namespace kestrava::regex
