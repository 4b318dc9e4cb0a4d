// Whether two names stand for one file: the same device and inode once links are
// followed. Used to refuse an output that would overwrite one of the job's own inputs,
// whatever name (relative, through a link, a hard link) either is given by.
#pragma once

#include <string>
#include <vector>

// True when `a` and `b` both exist and are the same file.
bool IsSameFile(const std::string& a, const std::string& b);

// The first of `candidates` that is the same file as `path`; "" when none is (or `path`
// does not exist).
std::string FindSameFile(const std::string& path, const std::vector<std::string>& candidates);
