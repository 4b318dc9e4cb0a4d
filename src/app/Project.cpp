#include "app/Project.h"

#include "base/Ini.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "base/UiPort.h"
#include "media/MediaLength.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace {

const char* const kProjectId = "OrvoPhotoShow";

// More entries than any album can use; a larger count in a file is damage, and
// honouring it would build millions of empty photos.
const long kMaxProjectEntries = 100000;

// Times outside this range (a day) cannot be meant and would overflow the
// millisecond arithmetic further down the line.
const long kMaxEntrySeconds = 86400;

// A project file held in memory, read with the rules of IniRead: the first "[name]"
// line opens a section, which ends at its first empty line.
class CProjectText {
public:
    explicit CProjectText(std::vector<std::string> fileLines) : lines(std::move(fileLines))
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.size() >= 2 && l.front() == '[' && l.back() == ']')
                starts.emplace(l.substr(1, l.size() - 2), i + 1);  // keeps the first
        }
    }

    std::string Read(const std::string& section, const std::string& key, const std::string& def, size_t maxLength) const
    {
        auto it = starts.find(section);
        if (it != starts.end()) {
            for (size_t i = it->second; i < lines.size() && !lines[i].empty(); ++i) {
                size_t valuePos = 0;
                if (IniLineMatchesKey(lines[i], key, valuePos)) return lines[i].substr(valuePos, maxLength);
            }
        }
        return def.substr(0, maxLength);
    }

private:
    std::vector<std::string> lines;
    std::unordered_map<std::string, size_t> starts;
};

// Whole seconds from a stored text: decimal with atoi's leniency (leading digits,
// anything else 0), kept within 0..one day. A value that is not a plain number in that
// range gets a note in `notes` naming the photo, the key, the value and what is used.
int SecondsOf(const std::string& text, long photo, const char* key, std::vector<std::string>* notes)
{
    char* end = nullptr;
    errno = 0;
    const long read = std::strtol(text.c_str(), &end, 10);
    const bool digits = end != text.c_str();
    long v = read;
    if (v < 0) v = 0;
    if (v > kMaxEntrySeconds || errno == ERANGE) v = read < 0 ? 0 : kMaxEntrySeconds;
    const char* problem = nullptr;
    if (!digits)
        problem = "is not a number";
    else if (read < 0)
        problem = "is negative";
    else if (v != read || errno == ERANGE)
        problem = "is more than a day";
    else if (std::any_of(static_cast<const char*>(end), text.c_str() + text.size(),
                         [](char c) { return !std::isspace(uint8_t(c)); }))
        problem = "is not a whole number of seconds";
    if (problem && notes)
        notes->push_back("photo " + std::to_string(photo) + ": " + key + " \"" + text + "\" " + problem + "; " +
                         std::to_string(v) + " s is used");
    return static_cast<int>(v);
}

void SetError(std::string* error, const std::string& text)
{
    if (error) *error = text;
}

}  // namespace

int MeasureMusicSeconds(const std::string& path)
{
    // The decoder measures in units of 1/10,000 s.
    return static_cast<int>(MeasureAudioLength(path) / 10000);
}

std::string ResolveProjectPath(const std::string& path, const std::string& projectPath)
{
    if (path.empty() || path.front() == '/' || strcasecmp(path.c_str(), "NONE") == 0) return path;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(projectPath, ec).parent_path();
    if (ec) folder = std::filesystem::path(projectPath).parent_path();
    return (folder / path).lexically_normal().string();
}

bool SaveProject(const CAlbum& album, const std::string& path, std::string* error)
{
    // The same sequence of writes as setting each key in turn, made in memory: a file
    // that starts with one empty line, then [General], the photos and the music.
    std::vector<std::string> lines{""};
    auto set = [&](const std::string& section, const std::string& key, const std::string& value) {
        IniSetInLines(lines, true, section, key, value);
    };
    set("General", "ID", kProjectId);
    set("General", "PhotoCount", std::to_string(album.photos.size()));
    set("General", "MusicCount", std::to_string(album.music.size()));
    for (size_t i = 0; i < album.photos.size(); ++i) {
        const CAlbumPhoto& p = album.photos[i];
        const std::string section = "Photo" + std::to_string(i + 1);
        set(section, "Path", p.photoPath);
        set(section, "WavePath", p.narrationPath);
        set(section, "ShowingTime", std::to_string(p.showSeconds));
        set(section, "TransitionTime", std::to_string(p.transitionSeconds));
        set(section, "KenBurns", PanZoomNameOf(p.panZoomType));
        set(section, "TransitionType", TransitionNameOf(p.transitionType));
    }
    for (size_t j = 0; j < album.music.size(); ++j) set("Music" + std::to_string(j + 1), "Path", album.music[j].path);

    // A line break inside a path would split its line and end the section early.
    for (const CAlbumPhoto& p : album.photos) {
        for (const std::string* s : {&p.photoPath, &p.narrationPath}) {
            if (s->find_first_of("\r\n") != std::string::npos) {
                SetError(error, "cannot save project " + path + ": the path '" + *s + "' holds a line break");
                return false;
            }
        }
    }
    for (const CAlbumMusic& m : album.music) {
        if (m.path.find_first_of("\r\n") != std::string::npos) {
            SetError(error, "cannot save project " + path + ": the path '" + m.path + "' holds a line break");
            return false;
        }
    }

    errno = 0;
    if (!IniStoreLines(path, lines)) {
        SetError(error, "cannot write project " + path + ": " + (errno ? std::strerror(errno) : "write failed"));
        return false;
    }
    return true;
}

bool LoadProject(CAlbum& album, const std::string& path, std::string* error, const MusicLengthFn& measure,
                 std::vector<std::string>* notes)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        SetError(error, "cannot read project " + path + ": it is a folder");
        return false;
    }
    std::vector<std::string> fileLines;
    std::string why;
    if (!IniLoadLines(path, fileLines, nullptr, &why)) {
        SetError(error, "cannot read project " + why);
        return false;
    }
    const CProjectText file(std::move(fileLines));

    if (file.Read("General", "ID", "", 2047) != kProjectId) {
        SetError(error,
                 path + " is not a Kestrova slide-show project (no ID=" + std::string(kProjectId) +
                     " in its [General] section)");
        return false;
    }
    const long photoCount = std::strtol(file.Read("General", "PhotoCount", "0", 2047).c_str(), nullptr, 10);
    const long musicCount = std::strtol(file.Read("General", "MusicCount", "0", 2047).c_str(), nullptr, 10);
    if (photoCount > kMaxProjectEntries || musicCount > kMaxProjectEntries) {
        SetError(error,
                 "cannot load project " + path + ": it claims " +
                     std::to_string(photoCount > kMaxProjectEntries ? photoCount : musicCount) +
                     (photoCount > kMaxProjectEntries ? " photos" : " music files"));
        return false;
    }

    CAlbum loaded;
    std::vector<std::string> found;
    {
        CProgress progress;
        progress.Open(Text(4017), "Photos");
        // A project may hold more than 800 photos; all are listed, the job uses 800.
        for (long i = 1; i <= photoCount; ++i) {
            const std::string section = "Photo" + std::to_string(i);
            CAlbumPhoto photo;
            photo.photoPath = ResolveProjectPath(file.Read(section, "Path", "", 4095), path);
            photo.narrationPath = ResolveProjectPath(file.Read(section, "WavePath", "NONE", 4095), path);
            photo.showSeconds = SecondsOf(file.Read(section, "ShowingTime", "5", 30), i, "ShowingTime", &found);
            photo.transitionSeconds =
                SecondsOf(file.Read(section, "TransitionTime", "2", 30), i, "TransitionTime", &found);
            photo.panZoomType = PanZoomCodeOf(file.Read(section, "KenBurns", "Auto", 127).c_str());
            photo.transitionType = TransitionCodeOf(file.Read(section, "TransitionType", "Auto", 127).c_str());
            photo.name = CAlbum::NewPhoto(photo.photoPath).name;
            progress.SetText(photo.photoPath);
            progress.SetPercent(static_cast<int>(100 * i / photoCount));
            progress.Pump();
            loaded.photos.push_back(std::move(photo));
        }

        for (long j = 1; j <= musicCount; ++j) {
            const std::string music =
                ResolveProjectPath(file.Read("Music" + std::to_string(j), "Path", "None", 4095), path);
            int seconds = 0;
            if (measure) {
                seconds = measure(music);
                if (seconds <= 0) {
                    Ui().MessageBox(FormatText(Text(4301), {music}), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
                    continue;
                }
            }
            loaded.AddMusic(music, seconds);
        }
    }
    album = std::move(loaded);
    if (notes) *notes = std::move(found);
    return true;
}
