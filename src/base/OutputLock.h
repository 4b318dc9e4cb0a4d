// COutputLock: one job at a time per output. A job that writes a DVD folder or an image
// file first locks it; a second job that wants the same output is refused at once
// instead of writing into the same files. The lock is an flock on a small file beside
// the output ("<parent>/.<name>.lock") that holds the owner's process number, so the
// kernel releases it when the owner ends in any way, a kill included.
#pragma once

#include <string>

#include "base/File.h"

class COutputLock {
public:
    enum class EResult {
        Locked,  // this object now holds the output
        Busy,  // another process holds it; Error() names the output and the process
        Failed,  // the lock file cannot be made (Reason() says why: read-only, ...)
    };

    COutputLock() = default;
    ~COutputLock() { Release(); }
    COutputLock(const COutputLock&) = delete;
    COutputLock& operator=(const COutputLock&) = delete;

    // Locks `output` (a file or a folder, which need not exist yet; links are resolved,
    // so every name of one output takes the same lock). The folder that holds the lock
    // file is made when missing if `makeParent` says so, else a missing one fails.
    // Error() and Reason() describe a refusal.
    EResult Acquire(const std::string& output, bool makeParent = false);
    // Gives the lock up and removes its file; nothing when none is held.
    void Release();
    bool Held() const { return bool(fd); }

    // The lock file for `output`: "<parent>/.<name>.lock", the parent with links
    // resolved.
    static std::string LockFileFor(const std::string& output);

    // The last refusal in one line naming the output.
    const std::string& Error() const { return error; }
    // The system's reason for a Failed lock ("Read-only file system", ...).
    const std::string& Reason() const { return reason; }

private:
    CFileDescriptor fd;
    std::string lockFile;
    std::string error;
    std::string reason;
};
