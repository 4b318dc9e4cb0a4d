#include "app/DvdFolderUpdate.h"

#include "base/DvdFileNames.h"

#include <filesystem>

namespace {

constexpr int kLastTitleSet = 99;

}  // namespace

CDvdFolderUpdate::CDvdFolderUpdate(const std::string& folder_, int titleSet_)
    : folder(folder_), titleSet(titleSet_), staged(folder_)
{}

COutputLock::EResult CDvdFolderUpdate::Lock()
{
    const COutputLock::EResult result = lock.Acquire(folder, true);
    if (result == COutputLock::EResult::Locked) staged.RemoveLeftovers();
    return result;
}

bool CDvdFolderUpdate::Replaces(const std::string& name) const
{
    for (const char* vmg : {kVideoTsIfo, kVideoTsBup, kVideoTsVob})
        if (name == vmg) return true;
    for (int n = titleSet; n <= kLastTitleSet; ++n) {
        if (name.compare(0, 4, "VTS_") != 0) return false;
        for (int k = 0; k <= 9; ++k)
            if (name == VtsFileName(n, k, "VOB")) return true;
        if (name == VtsFileName(n, 0, "IFO") || name == VtsFileName(n, 0, "BUP")) return true;
    }
    return false;
}

std::vector<std::string> CDvdFolderUpdate::ReplacedFiles() const
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (Replaces(name)) found.push_back(folder + name);
    }
    return found;
}

bool CDvdFolderUpdate::Begin(std::string& error)
{
    // The IFO writer renumbers and backs up the kept title sets' IFO files in place, so
    // those are copies; their VOB files and other programs' files are shared.
    return staged.Begin(
        [&](const std::string& name) {
            if (Replaces(name)) return CStagedFolder::EKeep::Drop;
            const bool information = name.size() == 12 && name.compare(0, 4, "VTS_") == 0 &&
                (name.compare(8, 4, ".IFO") == 0 || name.compare(8, 4, ".BUP") == 0);
            return information ? CStagedFolder::EKeep::Copy : CStagedFolder::EKeep::Link;
        },
        error);
}
