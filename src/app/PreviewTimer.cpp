#include "app/PreviewTimer.h"

#include <chrono>
#include <thread>

int64_t CPreviewTimer::NowMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void CPreviewTimer::SleepMicroseconds(int64_t microseconds)
{
    if (microseconds > 0) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

CPreviewTimer& CPreviewTimer::System()
{
    static CPreviewTimer systemTimer;  // stateless: every call reads the system clock
    return systemTimer;
}
