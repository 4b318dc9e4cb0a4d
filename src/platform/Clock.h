// The monotonic clock and the processor's time-stamp counter. The running system answers
// through the default clock; tests install their own with SetClock.
#pragma once

#include <cstdint>

class CClock {
public:
    virtual ~CClock() = default;
    // Ticks per second of Counter().
    virtual uint64_t CounterFrequency() { return 1000000000ull; }
    // A monotonic counter (nanoseconds of CLOCK_MONOTONIC by default).
    virtual uint64_t Counter();
    // The processor's time-stamp counter, or 0 where the processor has none.
    virtual uint64_t TimeStampCounter();
};

// The clock in force.
CClock& Clock();
// Installs `clock` (not owned); nullptr restores the system clock.
void SetClock(CClock* clock);
