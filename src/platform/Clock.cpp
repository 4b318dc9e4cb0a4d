#include "platform/Clock.h"

#include <ctime>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {
CClock systemClock;
CClock* installed = nullptr;
}  // namespace

uint64_t CClock::Counter()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t CClock::TimeStampCounter()
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return 0;
#endif
}

CClock& Clock() { return installed ? *installed : systemClock; }

void SetClock(CClock* clock) { installed = clock; }
