// A vector of plain values that keeps its first few in place: a million short arrays (a match's
// group offsets) then cost no allocation each. Only what its users need of std::vector.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace kestrava::regex {

template <typename T, size_t InPlace> class SmallArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    SmallArray() = default;
    SmallArray(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
    SmallArray(const SmallArray& other) { assign(other.data(), other.size()); }
    SmallArray(SmallArray&& other) noexcept { takeFrom(other); }
    SmallArray& operator=(const SmallArray& other) {
        if (this != &other)
            assign(other.data(), other.size());
        return *this;
    }
    SmallArray& operator=(SmallArray&& other) noexcept {
        if (this != &other) {
            m_heap.reset();
            takeFrom(other);
        }
        return *this;
    }
    ~SmallArray() = default;

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T* data() { return m_heap ? m_heap.get() : m_local; }
    const T* data() const { return m_heap ? m_heap.get() : m_local; }
    T* begin() { return data(); }
    T* end() { return data() + m_size; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_size; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    const T& at(size_t i) const {
        if (i >= m_size)
            throw std::out_of_range("TSmallArray::at");
        return data()[i];
    }

    void clear() { m_size = 0; }
    void assign(size_t count, const T& value) {
        m_size = 0;
        resize(count, value);
    }
    void resize(size_t count, const T& value = T()) {
        reserve(count);
        std::fill(data() + std::min(count, m_size), data() + count, value);
        m_size = count;
    }
    void push_back(const T& value) {
        if (m_size == m_capacity)
            reserve(m_capacity * 2);
        data()[m_size++] = value;
    }

    friend bool operator==(const SmallArray& a, const SmallArray& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    void reserve(size_t capacity) {
        if (capacity <= m_capacity)
            return;
        auto grown = std::make_unique_for_overwrite<T[]>(capacity);
        std::copy(data(), data() + m_size, grown.get());
        m_heap = std::move(grown);
        m_capacity = capacity;
    }
    void assign(const T* values, size_t count) {
        m_size = 0;
        reserve(count);
        std::copy(values, values + count, data());
        m_size = count;
    }
    // Leaves `other` empty, in its own place.
    void takeFrom(SmallArray& other) noexcept {
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        if (other.m_heap)
            m_heap = std::move(other.m_heap);
        else
            std::copy(other.m_local, other.m_local + other.m_size, m_local);
        other.m_size = 0;
        other.m_capacity = InPlace;
    }

    T m_local[InPlace] = {};
    std::unique_ptr<T[]> m_heap;
    size_t m_size = 0;
    size_t m_capacity = InPlace;
};

} // namespace kestrava::regex
