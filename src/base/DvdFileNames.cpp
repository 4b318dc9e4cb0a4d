#include "base/DvdFileNames.h"

#include <cstdio>

std::string VmgFileName(const char* extension) { return std::string(kVideoTsFolder) + "." + extension; }

std::string VtsFileName(int titleSet, int part, const char* extension)
{
    char name[48];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.", titleSet, part);
    return name + std::string(extension);
}
