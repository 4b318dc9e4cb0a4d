#include "app/MediaProbe.h"

#include "base/Ini.h"
#include "base/InputFile.h"
#include "base/Texts.h"
#include "media/DirectShowAV.h"
#include "media/VobStream.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace {

std::string WithPath(int key, const std::string& path)
{
    std::string text = Text(key);
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, path);
    return text;
}

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A slide-show project counts as a video of its photos' showing and transition times
// (the first 800) with PCM sound; anything else that is not a project has no length.
int64_t ProjectSeconds(const std::string& path)
{
    if (IniRead("General", "ID", "", path) != "OrvoPhotoShow") return 0;
    const long photos = std::atol(IniRead("General", "PhotoCount", "0", path).c_str());
    double total = 0.0;
    for (long i = 1; i <= photos && i <= 800; ++i) {
        const std::string section = "Photo" + std::to_string(i);
        total += std::atof(IniRead(section, "ShowingTime", "5", path).c_str()) +
            std::atof(IniRead(section, "TransitionTime", "2", path).c_str());
    }
    return static_cast<int64_t>(total);
}

}  // namespace

bool CMediaProbe::Probe(const std::string& path, SFacts& facts, std::string& refusal)
{
    facts = SFacts();
    // A name that is missing, a folder, a FIFO or a device is refused with what it is.
    std::string reason;
    // A DVD-Video folder (or the folder holding one) is a source of its own.
    std::error_code ec;
    const bool dvdFolder = std::filesystem::is_directory(path, ec) && CVobStream::IsDvdSource(path);
    if (!dvdFolder && !OpenInputFileFor(path, reason)) {
        refusal = WithPath(3200, path) + ": " + reason;
        return false;
    }
    if (Lower(path).find(".osh") != std::string::npos) {
        facts.isProject = true;
        facts.seconds = ProjectSeconds(path);
        facts.exactSeconds = double(facts.seconds);
        facts.audioType = "PCM";
        if (facts.seconds > 0) return true;
        refusal = WithPath(3201, path);
        return false;
    }
    CDirectShowAV av;
    av.SetTarget(720, 480, 30000.0 / 1001.0);
    if (!av.Open(path, false)) {
        refusal = WithPath(3200, path);
        return false;
    }
    facts.seconds = av.duration > 0 ? av.duration / 10000000 : 0;
    facts.exactSeconds = av.duration > 0 ? double(av.duration) / 1e7 : 0.0;
    if (facts.seconds == 0) {
        refusal = WithPath(3201, path);
        return false;
    }
    facts.audioType = !av.audioFound ? "No Audio" : av.audioKind == kAudioAc3 ? "AC3" : "PCM";
    facts.pcmDetails = av.audioFound && av.audioKind != kAudioAc3;
    facts.audioRate = av.audioRate;
    facts.audioBits = av.audioBits;
    facts.audioChannels = av.audioChannels;
    facts.sourceChannels = av.sourceChannels;
    facts.videoFound = av.videoFound;
    facts.isPhoto = av.isPhoto;
    facts.fileWidth = av.fileWidth;
    facts.fileHeight = av.fileHeight;
    facts.decodedWidth = av.sourceWidth;
    facts.decodedHeight = av.sourceHeight;
    facts.frameRate = av.sourceRate;
    facts.interlaced = av.interlaced;
    facts.topFieldFirst = av.topFieldFirst;
    facts.displayAspect = av.displayAspect;
    return true;
}
