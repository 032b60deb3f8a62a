// A vector of plain values that keeps its first few in place: a million short arrays (a match's
// group offsets) then cost no allocation each. Only what its users need of std::vector.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace kes {

template <typename T, size_t InPlace> class TSmallArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    TSmallArray() = default;
    TSmallArray(std::initializer_list<T> values) { Assign(values.begin(), values.size()); }
    TSmallArray(const TSmallArray& other) { Assign(other.data(), other.size()); }
    TSmallArray(TSmallArray&& other) noexcept { TakeFrom(other); }
    TSmallArray& operator=(const TSmallArray& other) {
        if (this != &other)
            Assign(other.data(), other.size());
        return *this;
    }
    TSmallArray& operator=(TSmallArray&& other) noexcept {
        if (this != &other) {
            Heap_.reset();
            TakeFrom(other);
        }
        return *this;
    }
    ~TSmallArray() = default;

    size_t size() const { return Size_; }
    bool empty() const { return Size_ == 0; }
    T* data() { return Heap_ ? Heap_.get() : Local_; }
    const T* data() const { return Heap_ ? Heap_.get() : Local_; }
    T* begin() { return data(); }
    T* end() { return data() + Size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + Size_; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    const T& at(size_t i) const {
        if (i >= Size_)
            throw std::out_of_range("TSmallArray::at");
        return data()[i];
    }

    void clear() { Size_ = 0; }
    void assign(size_t count, const T& value) {
        Size_ = 0;
        resize(count, value);
    }
    void resize(size_t count, const T& value = T()) {
        Reserve(count);
        std::fill(data() + std::min(count, Size_), data() + count, value);
        Size_ = count;
    }
    void push_back(const T& value) {
        if (Size_ == Capacity_)
            Reserve(Capacity_ * 2);
        data()[Size_++] = value;
    }

    friend bool operator==(const TSmallArray& a, const TSmallArray& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    void Reserve(size_t capacity) {
        if (capacity <= Capacity_)
            return;
        auto grown = std::make_unique_for_overwrite<T[]>(capacity);
        std::copy(data(), data() + Size_, grown.get());
        Heap_ = std::move(grown);
        Capacity_ = capacity;
    }
    void Assign(const T* values, size_t count) {
        Size_ = 0;
        Reserve(count);
        std::copy(values, values + count, data());
        Size_ = count;
    }
    // Leaves `other` empty, in its own place.
    void TakeFrom(TSmallArray& other) noexcept {
        Size_ = other.Size_;
        Capacity_ = other.Capacity_;
        if (other.Heap_)
            Heap_ = std::move(other.Heap_);
        else
            std::copy(other.Local_, other.Local_ + other.Size_, Local_);
        other.Size_ = 0;
        other.Capacity_ = InPlace;
    }

    T Local_[InPlace] = {};
    std::unique_ptr<T[]> Heap_;
    size_t Size_ = 0;
    size_t Capacity_ = InPlace;
};

} // namespace kes
