#include "app/ShowClock.h"

#include <algorithm>

void CShowClock::Start(int64_t systemNow)
{
    anchorShow = 0;
    anchorSystem = systemNow;
    lastBytes = -1;
    lastAdvance = systemNow;
    lastShow = 0;
    followsSound = false;
}

int64_t CShowClock::Now(int64_t systemNow, bool soundPlaying, int64_t bytesPlayed)
{
    followsSound = false;
    if (soundPlaying) {
        if (bytesPlayed != lastBytes) {
            lastBytes = bytesPlayed;
            lastAdvance = systemNow;
        }
        // A device that has stopped consuming leaves the anchor where it last moved,
        // so the system clock carries on from there without a jump.
        if (systemNow - lastAdvance <= kStallMicroseconds) {
            anchorShow = bytesPlayed * 1000000 / kBytesPerSecond;
            anchorSystem = systemNow;
            followsSound = true;
        }
    }
    lastShow = std::max(lastShow, anchorShow + (systemNow - anchorSystem));
    return lastShow;
}
