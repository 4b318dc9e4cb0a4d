// The pause between the tries of a command the drive answered "not ready yet" (becoming
// ready, operation in progress, long write in progress) or of a wait for room in its
// buffer: a short sleep that grows from 2 to 25 ms, and a bound of about 200 seconds
// of sleeping after which the caller gives up instead of spinning for ever.
#pragma once

#include <cstdint>
#include <functional>

class CRetryPacer {
public:
    static constexpr int kFirstPauseMs = 2;
    static constexpr int kLongestPauseMs = 25;
    static constexpr int64_t kBoundMs = 200000;

    // Sleeps through `sleep` (milliseconds), which must be callable.
    explicit CRetryPacer(const std::function<void(int)>& sleep_) : sleep(sleep_) {}

    // Sleeps before the next try and returns true, or returns false once the pauses
    // have added up to the bound.
    bool Pause();
    // Starts counting again (the drive accepted a command).
    void Reset();
    // Milliseconds slept since the last Reset.
    int64_t SleptMs() const { return slept; }

private:
    const std::function<void(int)>& sleep;
    int pause = kFirstPauseMs;
    int64_t slept = 0;
};
