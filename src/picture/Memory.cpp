#include "picture/Memory.h"

#include <cstdlib>
#include <utility>

CMemory::~CMemory() { Free(); }

CMemory::CMemory(CMemory&& other) noexcept : block(other.block), size(other.size)
{
    other.block = nullptr;
    other.size = 0;
}

CMemory& CMemory::operator=(CMemory&& other) noexcept
{
    if (this != &other) {
        Free();
        block = std::exchange(other.block, nullptr);
        size = std::exchange(other.size, 0);
    }
    return *this;
}

bool CMemory::Allocate(size_t bytes)
{
    Free();
    if (bytes == 0) return false;
    block = static_cast<uint8_t*>(std::malloc(bytes));
    if (!block) return false;
    size = bytes;
    return true;
}

void CMemory::Free()
{
    std::free(block);
    block = nullptr;
    size = 0;
}

uint8_t* CMemory::AlignedAbove(size_t alignment) const
{
    if (!block) return nullptr;
    uintptr_t p = reinterpret_cast<uintptr_t>(block);
    uintptr_t a = (p + alignment) & ~uintptr_t(alignment - 1);
    return reinterpret_cast<uint8_t*>(a);
}
