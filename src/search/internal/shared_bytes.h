// The arena of matched lines' bytes: blocks shared by the lines made on one thread.
#pragma once

#include <cstddef>

namespace kestrava::search {

// Bytes written once and then only read, taken from a block shared with the bytes taken before
// and after them on the same thread, so that a million matched lines do not cost a million
// allocations. Copies share the bytes; a block is freed, or reused by its thread, once no bytes
// of it are held.
class SharedBytes {
  public:
    SharedBytes() = default;
    // `size` bytes, not yet written; a size past a quarter of a block gets a block of its own.
    explicit SharedBytes(size_t size);
    SharedBytes(const SharedBytes& other) noexcept;
    SharedBytes(SharedBytes&& other) noexcept;
    SharedBytes& operator=(const SharedBytes& other) noexcept;
    SharedBytes& operator=(SharedBytes&& other) noexcept;
    ~SharedBytes();

    char* data() { return m_data; }
    const char* data() const { return m_data; }

    struct Block; // opaque: the shared block and its holder count

  private:
    Block* m_block = nullptr;
    char* m_data = nullptr;
};

} // namespace kestrava::search
