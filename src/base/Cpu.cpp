#include "base/Cpu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr const char* kCpuVariable = "KESTROVA_CPU";

uint32_t AskProcessor()
{
    __builtin_cpu_init();
    uint32_t flags = 0;
    if (__builtin_cpu_supports("sse2")) flags |= kCpuSse2;
    if (__builtin_cpu_supports("avx2")) flags |= kCpuAvx2;
    return flags;
}

// The starting mask from KESTROVA_CPU; an unknown value is reported and allows everything.
uint32_t MaskFromEnvironment()
{
    const char* text = std::getenv(kCpuVariable);
    if (!text || !*text) return kCpuAll;
    for (ECpuLevel level : kCpuLevels)
        if (std::strcmp(text, CpuLevelName(level)) == 0) return CpuLevelFlags(level);
    std::fprintf(stderr,
                 "%s: unknown value \"%s\" (accepted: plain, sse2, avx2); using every instruction set "
                 "the processor has\n",
                 kCpuVariable, text);
    return kCpuAll;
}

struct SCpuState {
    const uint32_t hardware = AskProcessor();
    uint32_t mask = MaskFromEnvironment();
    uint32_t flags = hardware & mask;
    std::mutex lock;  // guards `fills` and mask changes
    struct SFill {
        void (*fill)(uint32_t, void*);
        void* context;
    };
    std::vector<SFill> fills;
};

SCpuState& State()
{
    static SCpuState state;
    return state;
}

}  // namespace

uint32_t CpuFlags() { return State().flags; }

uint32_t CpuHardwareFlags() { return State().hardware; }

uint32_t CpuMask() { return State().mask; }

uint32_t SetCpuMask(uint32_t mask)
{
    SCpuState& state = State();
    const std::lock_guard<std::mutex> hold(state.lock);
    const uint32_t previous = state.mask;
    state.mask = mask;
    state.flags = state.hardware & mask;
    for (const auto& entry : state.fills) entry.fill(state.flags, entry.context);
    return previous;
}

ECpuLevel CpuLevelOf(uint32_t flags)
{
    if ((flags & kCpuAll) == kCpuAll) return ECpuLevel::Avx2;
    if (flags & kCpuSse2) return ECpuLevel::Sse2;
    return ECpuLevel::Plain;
}

uint32_t CpuLevelFlags(ECpuLevel level)
{
    switch (level) {
    case ECpuLevel::Avx2:
        return kCpuSse2 | kCpuAvx2;
    case ECpuLevel::Sse2:
        return kCpuSse2;
    case ECpuLevel::Plain:
        break;
    }
    return 0;
}

bool CpuLevelAvailable(ECpuLevel level)
{
    const uint32_t needed = CpuLevelFlags(level);
    return (CpuHardwareFlags() & needed) == needed;
}

const char* CpuLevelName(ECpuLevel level)
{
    switch (level) {
    case ECpuLevel::Avx2:
        return "avx2";
    case ECpuLevel::Sse2:
        return "sse2";
    case ECpuLevel::Plain:
        break;
    }
    return "plain";
}

void RegisterCpuTable(void (*fill)(uint32_t flags, void* context), void* context)
{
    SCpuState& state = State();
    const std::lock_guard<std::mutex> hold(state.lock);
    state.fills.push_back({fill, context});
    fill(state.flags, context);
}
