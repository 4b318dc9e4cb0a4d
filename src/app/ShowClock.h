// CShowClock: the preview's picture clock, in microseconds of show time. While the sound
// plays, show time is the sound's own (bytes played / 192,000 s), so the pictures stay
// with what is heard whatever rate the sound device's clock keeps. Without sound, once
// it has ended, or while the device has played nothing for kStallMicroseconds, the
// clock goes on by the system clock from where the sound left it. The stall limit is
// long: sound servers may hold a stream for a good second after it starts, and while
// nothing is heard the pictures had better wait than run ahead. It never runs back:
// when the sound starts late or lags, show time waits for it.
#pragma once

#include <cstdint>

class CShowClock {
public:
    static constexpr int64_t kBytesPerSecond = 192000;  // 48 kHz, 2 channels, 16 bits
    static constexpr int64_t kStallMicroseconds = 1500000;

    // Show time 0 at system time `systemNow` (microseconds).
    void Start(int64_t systemNow);

    // The show time at system time `systemNow`: `soundPlaying` says whether sound is
    // being played, `bytesPlayed` how many of its bytes the device has played so far.
    int64_t Now(int64_t systemNow, bool soundPlaying, int64_t bytesPlayed);

    // True when the last Now followed the sound rather than the system clock.
    bool FollowsSound() const { return followsSound; }

private:
    // Show time runs as anchorShow + (system time - anchorSystem); while the sound
    // plays, every reading moves the anchor to the sound's time.
    int64_t anchorShow = 0;
    int64_t anchorSystem = 0;
    int64_t lastBytes = -1;  // bytes played at the last reading
    int64_t lastAdvance = 0;  // system time at which lastBytes was first seen
    int64_t lastShow = 0;  // the last show time given
    bool followsSound = false;
};
