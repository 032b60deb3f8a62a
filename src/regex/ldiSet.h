// A small set of enumeration values (at most 16), the form option sets are passed around in.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kes {

template <typename E> class TSet {
  public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values)
            Include(v);
    }
    constexpr bool Contains(E v) const { return (fBits & Bit(v)) != 0; }
    constexpr void Include(E v) { fBits = static_cast<uint16_t>(fBits | Bit(v)); }
    constexpr void Exclude(E v) { fBits = static_cast<uint16_t>(fBits & ~Bit(v)); }
    constexpr bool Empty() const { return fBits == 0; }
    constexpr uint16_t Bits() const { return fBits; }
    constexpr bool operator==(const TSet&) const = default;

  private:
    static constexpr uint16_t Bit(E v) {
        return static_cast<uint16_t>(1u << static_cast<unsigned>(v));
    }
    uint16_t fBits = 0;
};

} // namespace kes
