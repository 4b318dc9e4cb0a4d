// Files as owned handles, and replacing a file without ever leaving a half-written one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Closes a C stream when its owner goes.
struct SFileCloser {
    void operator()(std::FILE* file) const
    {
        if (file) std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<std::FILE, SFileCloser>;

// Opens `path` with an fopen mode; empty when it cannot be opened (errno says why).
FilePtr OpenFile(const std::string& path, const char* mode);

// A file descriptor closed when its owner goes; -1 stands for none.
class CFileDescriptor {
public:
    CFileDescriptor() = default;
    explicit CFileDescriptor(int fd_) : fd(fd_) {}
    ~CFileDescriptor() { Reset(); }
    CFileDescriptor(CFileDescriptor&& other) noexcept : fd(other.Release()) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept;
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    // The descriptor, -1 when none is held.
    int Get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    // Hands the descriptor over without closing it; this object then holds none.
    int Release();
    // Closes the descriptor held (if any) and takes `newFd`.
    void Reset(int newFd = -1);
    // Closes the descriptor and reports the result: 0, or the errno of a failed close
    // (a write error the file system noticed late shows up here). 0 when none is held.
    int Close();

private:
    int fd = -1;
};

// Opens `path` read-only (close-on-exec); an empty descriptor when it cannot be opened.
CFileDescriptor OpenForReading(const std::string& path);

// True when `path` opens for reading and is a regular file; its size in `bytes` when
// given.
bool IsReadableRegularFile(const std::string& path, int64_t* bytes = nullptr);

// Reads up to `length` bytes at byte `offset` of `fd`, retrying interrupted reads.
// Returns the number of bytes read: fewer than `length` only at the end of the file or
// on a read error.
size_t ReadDescriptorAt(int fd, void* buffer, size_t length, int64_t offset);

// Writes all `length` bytes to `fd` at its position, retrying interrupted and short
// writes. False with the reason in `reason` when a write fails.
bool WriteToDescriptor(int fd, const void* data, size_t length, std::string& reason);

// How a replacement treats the file it replaces.
struct SReplaceOptions {
    // The new file takes the permission bits of the file it replaces; without this, or
    // when there is none, it gets 0666 less the umask, as any new file does.
    bool keepMode = false;
    // The partial file gets a name of its own ("<path>.part-XXXXXX") instead of
    // "<path>.part", for files that two processes may rewrite at the same time.
    bool uniquePartial = false;
};

// A new version of a file, written beside it and swapped in only when complete:
//   CReplaceFile out(path);
//   if (!out.Open(error)) ...;  write to out.File() ...;  if (!out.Commit(error)) ...
// Until Commit succeeds the old file (if any) is untouched; a replacement that is
// abandoned (destroyed without Commit, or a failed Commit) removes its partial file.
class CReplaceFile {
public:
    explicit CReplaceFile(std::string path, SReplaceOptions options = {});
    ~CReplaceFile();
    CReplaceFile(const CReplaceFile&) = delete;
    CReplaceFile& operator=(const CReplaceFile&) = delete;

    // Creates the partial file (see SReplaceOptions for its name and mode). False with
    // "<path>: cannot create (<reason>)" in `error` when it cannot.
    bool Open(std::string& error);
    // The stream to write to; null before Open and after Commit or Abandon.
    std::FILE* File() const { return file.get(); }
    // The partial file's descriptor (-1 when not open), for a writer that writes and
    // copies without the stream's buffer; such a writer never uses File() as well.
    int Descriptor() const { return file ? ::fileno(file.get()) : -1; }
    // Flushes, closes and renames the partial file over the target. False with
    // "<path>: cannot write (<reason>)" when any write, the flush or the rename failed
    // (the partial file is then removed and the old file is left as it was).
    bool Commit(std::string& error);
    // Drops the partial file; the old file stays.
    void Abandon();
    const std::string& Path() const { return path; }
    // The partial file's name; with a unique name, known only once Open succeeded.
    const std::string& PartialPath() const { return partial; }

private:
    int CreatePartial();
    bool SetMode(int fd);

    std::string path;
    std::string partial;
    SReplaceOptions options;
    FilePtr file;
};

// Writes `size` bytes as the new content of `path` through CReplaceFile.
bool ReplaceFileContent(const std::string& path, const void* data, size_t size, std::string& error,
                        SReplaceOptions options = {});
