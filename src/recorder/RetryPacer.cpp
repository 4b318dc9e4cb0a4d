#include "recorder/RetryPacer.h"

#include <algorithm>

bool CRetryPacer::Pause()
{
    if (slept >= kBoundMs) return false;
    sleep(pause);
    slept += pause;
    pause = std::min(pause * 2, kLongestPauseMs);
    return true;
}

void CRetryPacer::Reset()
{
    pause = kFirstPauseMs;
    slept = 0;
}
