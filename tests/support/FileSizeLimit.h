// Lowers the process's file size limit for the life of an object: writes past the limit
// then fail (EFBIG, the signal ignored) as they would on a full disk, without needing a
// small file system.
#pragma once

#include <sys/resource.h>
#include <csignal>

namespace testsupport {

class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
        previous = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

    // False when the limit could not be lowered (the test should then skip).
    bool Active() const { return active; }

private:
    rlimit saved{};
    bool active = false;
    void (*previous)(int) = nullptr;
};

}  // namespace testsupport
