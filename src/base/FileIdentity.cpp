#include "base/FileIdentity.h"

#include <sys/stat.h>

namespace {

bool Identify(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }

bool Same(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    return Identify(a, sa) && Identify(b, sb) && Same(sa, sb);
}

std::string FindSameFile(const std::string& path, const std::vector<std::string>& candidates)
{
    struct stat target {};
    if (!Identify(path, target)) return "";
    for (const std::string& candidate : candidates) {
        struct stat st {};
        if (Identify(candidate, st) && Same(st, target)) return candidate;
    }
    return "";
}
