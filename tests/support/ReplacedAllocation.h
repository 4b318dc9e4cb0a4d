// Replaced global allocation functions for tests that count allocations or make them
// fail: they pass straight on to malloc and free unless a test switches counting or
// failing on. Replacements are program-wide, so include this header in exactly ONE
// source file of a test program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace testalloc {

// While true, every allocation adds one to `count`.
inline std::atomic<bool> counting{false};
inline std::atomic<long> count{0};
// Allocations of at least this many bytes throw std::bad_alloc (default: none).
inline std::atomic<std::size_t> failFrom{static_cast<std::size_t>(-1)};

inline void* Allocate(std::size_t n, std::size_t alignment)
{
    if (n >= failFrom.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (counting.load(std::memory_order_relaxed)) count.fetch_add(1, std::memory_order_relaxed);
    void* p = alignment > alignof(std::max_align_t)
        ? std::aligned_alloc(alignment, (n + alignment - 1) / alignment * alignment)
        : std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace testalloc

// Kept out of line so that the compiler does not pair an inlined free() with a new
// expression elsewhere and warn about a mismatch.
#define KESTROVA_OUT_OF_LINE __attribute__((noinline))
KESTROVA_OUT_OF_LINE void* operator new(std::size_t n) { return testalloc::Allocate(n, 0); }
KESTROVA_OUT_OF_LINE void* operator new[](std::size_t n) { return testalloc::Allocate(n, 0); }
KESTROVA_OUT_OF_LINE void* operator new(std::size_t n, std::align_val_t a)
{
    return testalloc::Allocate(n, std::size_t(a));
}
KESTROVA_OUT_OF_LINE void* operator new[](std::size_t n, std::align_val_t a)
{
    return testalloc::Allocate(n, std::size_t(a));
}
// The no-throw forms (std::stable_sort's buffer uses them) must come from the same heap
// as the deletes below.
KESTROVA_OUT_OF_LINE void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return testalloc::Allocate(n, 0);
    } catch (...) {
        return nullptr;
    }
}
KESTROVA_OUT_OF_LINE void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return testalloc::Allocate(n, 0);
    } catch (...) {
        return nullptr;
    }
}
KESTROVA_OUT_OF_LINE void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete(void* p) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete[](void* p) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete(void* p, std::size_t) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
KESTROVA_OUT_OF_LINE void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#undef KESTROVA_OUT_OF_LINE
