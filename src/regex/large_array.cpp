#include "regex/large_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace kestrava::regex {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t mappedSize(size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

} // namespace

void* allocateLargeArray(size_t bytes) {
    if (bytes < kLargeArrayBlock)
        return ::operator new(bytes);
    // Mapped one huge page larger, then trimmed to start on a huge-page boundary.
    const size_t size = mappedSize(bytes);
    void* mapped =
        mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t start = (base + kHugePage - 1) / kHugePage * kHugePage;
    if (start > base)
        munmap(mapped, start - base);
    if (const uintptr_t tail = base + size + kHugePage - (start + size); tail > 0)
        munmap(reinterpret_cast<void*>(start + size), tail);
    madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE); // a hint: may be refused
    return reinterpret_cast<void*>(start);
}

void freeLargeArray(void* block, size_t bytes) noexcept {
    if (bytes < kLargeArrayBlock)
        ::operator delete(block);
    else
        munmap(block, mappedSize(bytes));
}

} // namespace kestrava::regex
