#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void FuzzCheckFailed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::abort();
}
