// Which vector instruction sets the kernels may use. The processor is asked once; a mask
// on top of its answer lets tests, benchmarks and users rule sets out. Every kernel
// family keeps one table of routines, filled on first use from CpuFlags() and filled
// again whenever the mask changes, so the hot loops call through a plain pointer and
// never ask the processor themselves.
//
// KESTROVA_CPU=plain|sse2|avx2 sets the starting mask (read once, on the first call
// here): plain rules out every vector set, sse2 allows SSE2 only, avx2 allows both.
// Any other value is reported on stderr and every set the processor has is used.
#pragma once

#include <cstdint>

// Feature bits of CpuFlags().
constexpr uint32_t kCpuSse2 = 1u << 0;
constexpr uint32_t kCpuAvx2 = 1u << 1;
constexpr uint32_t kCpuAll = kCpuSse2 | kCpuAvx2;

// The instruction-set levels the kernels are written for, lowest first. A level's
// routines carry its name as suffix: FooPlain, FooSse2, FooAvx2.
enum class ECpuLevel { Plain, Sse2, Avx2 };
constexpr ECpuLevel kCpuLevels[] = {ECpuLevel::Plain, ECpuLevel::Sse2, ECpuLevel::Avx2};

// The feature bits the kernels may use: what the processor has, within the mask.
uint32_t CpuFlags();
// The feature bits the processor has, whatever the mask.
uint32_t CpuHardwareFlags();

// The current mask (kCpuAll unless KESTROVA_CPU or SetCpuMask lowered it).
uint32_t CpuMask();
// Replaces the mask and refills every kernel table from the new CpuFlags(); returns
// the previous mask. Not to be called while kernels run on other threads.
uint32_t SetCpuMask(uint32_t mask);

// The highest level whose feature bits are all in `flags`.
ECpuLevel CpuLevelOf(uint32_t flags);
// The highest level CpuFlags() allows: the level the kernel tables are filled for.
inline ECpuLevel CpuLevel() { return CpuLevelOf(CpuFlags()); }
// The feature bits a level needs (kCpuSse2 | kCpuAvx2 for Avx2, 0 for Plain).
uint32_t CpuLevelFlags(ECpuLevel level);
// True when the processor can run the routines of `level` (the mask aside).
bool CpuLevelAvailable(ECpuLevel level);
// "plain", "sse2" or "avx2".
const char* CpuLevelName(ECpuLevel level);

// Registers a kernel table's fill routine: it runs at once with CpuFlags() and `context`,
// and again on every SetCpuMask. CKernelTable below does this for its table.
void RegisterCpuTable(void (*fill)(uint32_t flags, void* context), void* context);

// One kernel family's table: the routines of each level, and the set in use. It starts
// out (constant-initialised) with the plain routines, so that a caller from another
// static initializer still gets correct results, and holds those of CpuLevel() once
// Register has run; SetCpuMask refills it.
template <typename Table>
class CKernelTable {
public:
    constexpr CKernelTable(const Table& plain, const Table& sse2, const Table& avx2)
        : levels{plain, sse2, avx2}, current(plain)
    {}
    // The routines in use.
    const Table& Current() const { return current; }
    // The routines of `level` (callable only when CpuLevelAvailable(level)).
    const Table& At(ECpuLevel level) const { return levels[static_cast<int>(level)]; }
    // Fills the table for CpuFlags() now and whenever the mask changes; returns true.
    bool Register()
    {
        RegisterCpuTable(&Fill, this);
        return true;
    }

private:
    static void Fill(uint32_t flags, void* context)
    {
        CKernelTable* self = static_cast<CKernelTable*>(context);
        self->current = self->At(CpuLevelOf(flags));
    }

    Table levels[3];
    Table current;
};

// Lowers the mask to `mask` for the lifetime of the object (tests and benchmarks:
// "run this with SSE2 at most") and restores the previous mask when it ends.
class CCpuMaskScope {
public:
    explicit CCpuMaskScope(uint32_t mask) : previous(SetCpuMask(mask)) {}
    explicit CCpuMaskScope(ECpuLevel level) : CCpuMaskScope(CpuLevelFlags(level)) {}
    ~CCpuMaskScope() { SetCpuMask(previous); }
    CCpuMaskScope(const CCpuMaskScope&) = delete;
    CCpuMaskScope& operator=(const CCpuMaskScope&) = delete;

private:
    uint32_t previous;
};
