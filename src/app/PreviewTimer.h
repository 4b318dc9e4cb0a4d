// CPreviewTimer: the system clock as the preview's picture and sound threads read it
// and wait on it. The preview takes one through its constructor so that tests can run
// a show on a clock of their own (faster than real time, or running off from the
// sound device's clock).
#pragma once

#include <cstdint>

class CPreviewTimer {
public:
    virtual ~CPreviewTimer() = default;

    // Microseconds of a monotonic clock (CLOCK_MONOTONIC by default).
    virtual int64_t NowMicroseconds();

    // Waits `microseconds` of this clock (returns at once for 0 or less).
    virtual void SleepMicroseconds(int64_t microseconds);

    // Called (on the starting thread) before each of the preview's threads starts, and
    // by each thread as it ends: a clock that moves only while every thread reading it
    // waits (the tests' stepped clock) must know how many there are. Nothing by default.
    virtual void ReaderStarts() {}
    virtual void ReaderEnds() {}

    // The system's clock, shared by every preview that is given no other.
    static CPreviewTimer& System();
};
