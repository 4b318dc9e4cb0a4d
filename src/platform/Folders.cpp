#include "platform/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include <filesystem>

#ifndef KESTROVA_SOURCE_DATA_DIR
#define KESTROVA_SOURCE_DATA_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback
// under the home folder (relative values are ignored, as the XDG rules require).
std::string BaseFolder(const char* variable, const char* fallback)
{
    std::string value = Env(variable);
    if (value.empty() || value[0] != '/') value = CFolders::Home() + fallback;
    return CFolders::WithSlash(value);
}

// Looks up XDG_<name>_DIR in user-dirs.dirs. Lines look like
// XDG_MUSIC_DIR="$HOME/Music"; only "$HOME/..." and absolute paths are valid.
std::string FromUserDirsFile(const std::string& name)
{
    std::ifstream in(CFolders::WithSlash(BaseFolder("XDG_CONFIG_HOME", ".config")) + "user-dirs.dirs");
    if (!in) return {};
    const std::string key = "XDG_" + name + "_DIR=";
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        if (line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        if (value.size() < 2 || value.front() != '"') continue;
        // The value is a shell-quoted string: backslash escapes the next character.
        std::string unescaped;
        bool closed = false;
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == '"') {
                closed = true;
                break;
            }
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            unescaped += value[i];
        }
        if (!closed) continue;
        if (unescaped.rfind("$HOME", 0) == 0) {
            std::string rest = unescaped.substr(5);
            if (!rest.empty() && rest[0] != '/') continue;
            std::string home = CFolders::Home();
            home.pop_back();
            found = home + rest;
        } else if (!unescaped.empty() && unescaped[0] == '/') {
            found = unescaped;
        }
    }
    return found;
}

}  // namespace

std::string CFolders::WithSlash(const std::string& path)
{
    if (path.empty() || path.back() == '/') return path;
    return path + "/";
}

std::string CFolders::Home()
{
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) home = entry->pw_dir;
    }
    if (home.empty()) home = "/tmp";
    return WithSlash(home);
}

std::string CFolders::ExecutableFolder()
{
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) return {};
    return WithSlash(exe.parent_path().string());
}

std::string CFolders::Data()
{
    std::string overridden = Env("KESTROVA_DATA_DIR");
    if (!overridden.empty()) return WithSlash(overridden);
    std::string exeFolder = ExecutableFolder();
    if (!exeFolder.empty()) {
        std::error_code error;
        fs::path installed = fs::weakly_canonical(fs::path(exeFolder) / "../share/kestrova", error);
        if (!error && IsFolder(installed.string())) return WithSlash(installed.string());
    }
    return WithSlash(KESTROVA_SOURCE_DATA_DIR);
}

std::string CFolders::Config() { return BaseFolder("XDG_CONFIG_HOME", ".config") + "kestrova/"; }

std::string CFolders::State() { return BaseFolder("XDG_STATE_HOME", ".local/state") + "kestrova/"; }

std::string CFolders::UserFolder(User which)
{
    const char* name = "DOCUMENTS";
    const char* english = "Documents";
    switch (which) {
    case User::Pictures:
        name = "PICTURES";
        english = "Pictures";
        break;
    case User::Music:
        name = "MUSIC";
        english = "Music";
        break;
    case User::Videos:
        name = "VIDEOS";
        english = "Videos";
        break;
    case User::Documents:
        break;
    }
    std::string home = Home();
    std::string folder = FromUserDirsFile(name);
    if (folder.empty()) folder = home + english;
    folder = WithSlash(folder);
    // A user folder set to the home folder means "switched off" in the XDG rules.
    if (folder == home || !IsFolder(folder)) return {};
    return folder;
}

std::string CFolders::DvdRoot() { return Home() + "TempDVD/"; }

std::string CFolders::DefaultDvdFolder() { return DvdRoot() + "VIDEO_TS/"; }

bool CFolders::Make(const std::string& path)
{
    if (path.empty()) return false;
    std::error_code error;
    fs::create_directories(path, error);
    return IsFolder(path);
}
