#include "base/Threads.h"

#include <sched.h>

#include <cstdlib>
#include <thread>

int WorkerThreads()
{
    if (const char* text = std::getenv("KESTROVA_THREADS"); text && *text) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end == '\0' && value >= 1 && value <= 64) return static_cast<int>(value);
    }
    // The affinity mask, not the machine's processor count: a container or `taskset`
    // may allow fewer.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned found = std::thread::hardware_concurrency();
    return found == 0 ? 1 : static_cast<int>(found);
}
