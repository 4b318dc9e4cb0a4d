#include "base/StagedFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string WithoutSlash(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

// Removes a folder and everything in it. A folder without write permission for its
// owner is opened up first, as the person who made it could do.
void RemoveTree(const std::string& path)
{
    std::error_code ec;
    if (fs::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec) return;
    ::chmod(path.c_str(), 0700);
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    fs::remove_all(path, ec);
}

// Copies the file, link or folder `from` to `to`, which does not exist yet.
bool CopyEntry(const std::string& from, const std::string& to, std::string& error)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(from, ec);
    if (!ec) {
        if (fs::is_symlink(status))
            fs::copy_symlink(from, to, ec);
        else if (fs::is_regular_file(status))
            fs::copy_file(from, to, ec);
        else
            ec = std::make_error_code(std::errc::not_supported);
    }
    if (ec) error = to + ": " + ec.message();
    return !ec;
}

// Puts `from` into the new version as `to`: a folder as a new folder of linked entries,
// anything else as a hard link, or as a copy where the file system has no hard links.
bool LinkEntry(const std::string& from, const std::string& to, std::string& error)
{
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        error = from + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.c_str(), st.st_mode & 07777) != 0) {
            error = to + ": " + std::strerror(errno);
            return false;
        }
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(from, ec)) {
            const std::string child = entry.path().filename().string();
            if (!LinkEntry(from + "/" + child, to + "/" + child, error)) return false;
        }
        if (ec) error = from + ": " + ec.message();
        return !ec;
    }
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP && errno != EXDEV) {
        error = to + ": " + std::strerror(errno);
        return false;
    }
    return CopyEntry(from, to, error);
}

}  // namespace

CStagedFolder::CStagedFolder(const std::string& folder_)
{
    std::error_code ec;
    fs::path target = fs::absolute(fs::path(WithoutSlash(folder_)), ec);
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
    name = target.filename().string();
    parent = target.parent_path().string();
    if (parent.empty() || parent.back() != '/') parent += '/';
    folder = target.string() + "/";
}

CStagedFolder::~CStagedFolder() { Abandon(); }

void CStagedFolder::RemoveLeftovers()
{
    const std::string part = "." + name + ".part-";
    const std::string old = "." + name + ".old-";
    struct stat st {};
    const bool folderMissing = ::lstat(WithoutSlash(folder).c_str(), &st) != 0 && errno == ENOENT;
    std::error_code ec;
    std::vector<std::string> leftovers;
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
        const std::string entryName = entry.path().filename().string();
        if (entryName.compare(0, part.size(), part) == 0 || entryName.compare(0, old.size(), old) == 0)
            leftovers.push_back(entryName);
    }
    for (const std::string& entryName : leftovers) {
        // A run killed between setting the old folder aside and moving the new one in
        // left the only complete version aside: it goes back first.
        const bool aside = entryName.compare(0, old.size(), old) == 0;
        if (aside && folderMissing && ::lstat(WithoutSlash(folder).c_str(), &st) != 0 &&
            std::rename((parent + entryName).c_str(), WithoutSlash(folder).c_str()) == 0)
            continue;
        RemoveTree(parent + entryName);
    }
}

bool CStagedFolder::Begin(const std::function<EKeep(const std::string& name)>& keep, std::string& error)
{
    Abandon();
    const std::string made = parent + "." + name + ".part-" + std::to_string(::getpid());
    RemoveTree(made);
    if (::mkdir(made.c_str(), 0777) != 0) {
        error = made + ": " + std::strerror(errno);
        return false;
    }
    path = made + "/";
    struct stat st {};
    if (::stat(WithoutSlash(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        ::chmod(made.c_str(), st.st_mode & 07777);
    if (!Fill(keep, error)) {
        Abandon();
        return false;
    }
    return true;
}

bool CStagedFolder::Fill(const std::function<EKeep(const std::string& name)>& keep, std::string& error)
{
    if (!keep) return true;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return true;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string entryName = entry.path().filename().string();
        const std::string from = folder + entryName;
        const std::string to = path + entryName;
        switch (keep(entryName)) {
        case EKeep::Drop:
            break;
        case EKeep::Link:
            if (!LinkEntry(from, to, error)) return false;
            break;
        case EKeep::Copy:
            if (!CopyEntry(from, to, error)) return false;
            break;
        }
    }
    if (ec) error = folder + ": " + ec.message();
    return !ec;
}

bool CStagedFolder::Swap(std::string& error)
{
    const std::string made = WithoutSlash(path);
    const std::string target = WithoutSlash(folder);
    if (::renameat2(AT_FDCWD, made.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) return true;
    if (errno == ENOENT) {
        if (std::rename(made.c_str(), target.c_str()) == 0) return true;
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
        // A file system that cannot exchange: the old folder is set aside, the new one
        // moved in, and the old one put back when that fails.
        const std::string aside = parent + "." + name + ".old-" + std::to_string(::getpid());
        if (std::rename(target.c_str(), aside.c_str()) == 0) {
            if (std::rename(made.c_str(), target.c_str()) == 0) {
                path = aside + "/";
                return true;
            }
            const int reason = errno;
            std::rename(aside.c_str(), target.c_str());
            errno = reason;
        }
    }
    error = target + ": cannot put the new version in place (" + std::strerror(errno) + ")";
    return false;
}

bool CStagedFolder::Commit(std::string& error)
{
    if (path.empty()) {
        error = folder + ": cannot put the new version in place (none was made)";
        return false;
    }
    const bool swapped = Swap(error);
    // After a swap the old version is where the new one was made.
    Abandon();
    return swapped;
}

void CStagedFolder::Abandon()
{
    if (path.empty()) return;
    RemoveTree(WithoutSlash(path));
    path.clear();
}
