// A library preloaded into the program under test (LD_PRELOAD) that makes something go
// wrong at a chosen moment: when the program first creates or truncates a file whose name
// starts with KESTROVA_FAULT_FILE, it does KESTROVA_FAULT_ACTION:
//   fsize:N     every later write past byte N of any file fails (a full disk)
//   kill        the process is killed (SIGKILL), as by a crash or the OOM killer
//   stop        the process stops (SIGSTOP) until it is continued
//   unlink:PATH PATH is deleted (an input removed while the job runs)
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<bool> fired{false};

bool Matches(const char* path)
{
    const char* want = std::getenv("KESTROVA_FAULT_FILE");
    if (!want || !*want || !path) return false;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    return std::strncmp(name, want, std::strlen(want)) == 0;
}

void Fire(const char* path)
{
    if (!Matches(path) || fired.exchange(true)) return;
    const char* action = std::getenv("KESTROVA_FAULT_ACTION");
    if (!action) return;
    if (std::strncmp(action, "fsize:", 6) == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(std::strtoull(action + 6, nullptr, 10));
        ::setrlimit(RLIMIT_FSIZE, &limit);
    } else if (std::strcmp(action, "kill") == 0) {
        ::raise(SIGKILL);
    } else if (std::strcmp(action, "stop") == 0) {
        ::raise(SIGSTOP);
    } else if (std::strncmp(action, "unlink:", 7) == 0) {
        ::unlink(action + 7);
    }
}

bool Creates(int flags) { return (flags & O_TRUNC) != 0 && (flags & O_ACCMODE) != O_RDONLY; }

template <typename F>
F Next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

mode_t ModeArgument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode_t(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

FILE* fopen(const char* path, const char* mode)
{
    if (mode && mode[0] == 'w') Fire(path);
    static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen");
    return next(path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    if (mode && mode[0] == 'w') Fire(path);
    static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen64");
    return next(path, mode);
}

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (Creates(flags)) Fire(path);
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (Creates(flags)) Fire(path);
    static const auto next = Next<int (*)(const char*, int, ...)>("open64");
    return next(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (Creates(flags)) Fire(path);
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(dir, path, flags, mode);
}

}  // extern "C"
