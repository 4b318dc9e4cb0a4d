#pragma once
#include <cstddef>
#include <cstdint>

// Owner of one heap block. The block is freed when the owner is destroyed or
// re-allocated. Owners can be moved but not copied, so a block always has one owner.
class CMemory {
public:
    CMemory() = default;
    virtual ~CMemory();
    CMemory(const CMemory&) = delete;
    CMemory& operator=(const CMemory&) = delete;
    CMemory(CMemory&& other) noexcept;
    CMemory& operator=(CMemory&& other) noexcept;

    // Frees any previous block and allocates `bytes` uninitialised bytes.
    // Returns false (and holds nothing) if the allocation fails or bytes is 0.
    bool Allocate(size_t bytes);

    // Frees the block (if any); afterwards block is null and size 0.
    void Free();

    // Returns the first address inside the block that is a multiple of `alignment`
    // (a power of two) and lies strictly above the block start, i.e. 1..alignment
    // bytes in. Null when no block is held.
    uint8_t* AlignedAbove(size_t alignment) const;

    uint8_t* block = nullptr;  // raw block start
    size_t size = 0;  // block size in bytes
};
