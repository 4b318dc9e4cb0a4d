#include "base/File.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

FilePtr OpenFile(const std::string& path, const char* mode)
{
    return FilePtr(std::fopen(path.c_str(), mode));
}

CReplaceFile::CReplaceFile(std::string path_) : path(std::move(path_)), partial(path + ".part") {}

CReplaceFile::~CReplaceFile() { Abandon(); }

bool CReplaceFile::Open(std::string& error)
{
    Abandon();
    file = OpenFile(partial, "wb");
    if (!file) {
        error = path + ": cannot create (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

bool CReplaceFile::Commit(std::string& error)
{
    if (!file) {
        error = path + ": cannot write (not open)";
        return false;
    }
    // A write error sticks to the stream; flushing and closing report the last ones.
    bool ok = !std::ferror(file.get()) && std::fflush(file.get()) == 0;
    int reason = ok ? 0 : errno;
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = errno;
    }
    if (!ok) {
        ::unlink(partial.c_str());
        error = path + ": cannot write (" + std::strerror(reason ? reason : EIO) + ")";
    }
    return ok;
}

void CReplaceFile::Abandon()
{
    if (!file) return;
    file.reset();
    ::unlink(partial.c_str());
}

bool ReplaceFileContent(const std::string& path, const void* data, size_t size, std::string& error)
{
    CReplaceFile out(path);
    if (!out.Open(error)) return false;
    if (size && std::fwrite(data, 1, size, out.File()) != size) {
        const int reason = errno;
        out.Abandon();
        error = path + ": cannot write (" + std::strerror(reason) + ")";
        return false;
    }
    return out.Commit(error);
}
