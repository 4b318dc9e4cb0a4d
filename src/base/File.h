// Files as owned handles, and replacing a file without ever leaving a half-written one.
#pragma once

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

// A new version of a file, written beside it and swapped in only when complete:
//   CReplaceFile out(path);
//   if (!out.Open(error)) ...;  write to out.File() ...;  if (!out.Commit(error)) ...
// Until Commit succeeds the old file (if any) is untouched; a replacement that is
// abandoned (destroyed without Commit, or a failed Commit) removes its partial file.
class CReplaceFile {
public:
    explicit CReplaceFile(std::string path);
    ~CReplaceFile();
    CReplaceFile(const CReplaceFile&) = delete;
    CReplaceFile& operator=(const CReplaceFile&) = delete;

    // Creates the partial file ("<path>.part", mode 0644 less the umask). False with
    // "<path>: cannot create (<reason>)" in `error` when it cannot.
    bool Open(std::string& error);
    // The stream to write to; null before Open and after Commit or Abandon.
    std::FILE* File() const { return file.get(); }
    // Flushes, closes and renames the partial file over the target. False with
    // "<path>: cannot write (<reason>)" when any write, the flush or the rename failed
    // (the partial file is then removed and the old file is left as it was).
    bool Commit(std::string& error);
    // Drops the partial file; the old file stays.
    void Abandon();
    const std::string& Path() const { return path; }
    const std::string& PartialPath() const { return partial; }

private:
    std::string path;
    std::string partial;
    FilePtr file;
};

// Writes `size` bytes as the new content of `path` through CReplaceFile.
bool ReplaceFileContent(const std::string& path, const void* data, size_t size, std::string& error);
