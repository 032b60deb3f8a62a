// An allocator for arrays that may grow to millions of entries (a file's matches, its lines).
// Blocks of 4 MiB and more are mapped on their own and offered transparent huge pages, so that
// filling them costs a page fault per 2 MiB instead of one per 4 KiB; smaller blocks come from
// the ordinary heap.
#pragma once

#include <cstddef>
#include <new>

namespace kestrava::regex {

// Blocks of this size and more are mapped; the part of one not yet written takes no memory.
inline constexpr size_t kLargeArrayBlock = size_t{4} << 20;

void* allocateLargeArray(size_t bytes);
void freeLargeArray(void* block, size_t bytes) noexcept;

template <typename T> struct LargeArrayAllocator {
    using value_type = T;

    LargeArrayAllocator() = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(allocateLargeArray(count * sizeof(T)));
    }
    void deallocate(T* block, size_t count) noexcept { freeLargeArray(block, count * sizeof(T)); }

    friend bool operator==(const LargeArrayAllocator&, const LargeArrayAllocator&) { return true; }
};

} // namespace kestrava::regex
