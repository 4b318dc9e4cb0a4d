// `kestrova media info FILE`: opens a media file the way the video window probes it
// (720 x 480 at 29.97 frames/s) and prints its duration, sound kind, picture size and
// frame rate, or the message that refuses it.
#include "cli/Commands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Ini.h"
#include "base/Texts.h"
#include "base/UiPort.h"
#include "media/DirectShowAV.h"

namespace {

std::string WithPath(int key, const std::string& path)
{
    std::string text = Text(key);
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, path);
    return text;
}

std::string Clock(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A slide-show project counts as a video of its photos' showing and transition times
// with PCM sound; anything else that is not a project has no length.
int ProbeProject(const std::string& path)
{
    int64_t seconds = 0;
    if (IniRead("General", "ID", "", path) == "OrvoPhotoShow") {
        const long photos = std::atol(IniRead("General", "PhotoCount", "0", path).c_str());
        double total = 0.0;
        for (long i = 1; i <= photos && i <= 800; ++i) {
            const std::string section = "Photo" + std::to_string(i);
            total += std::atof(IniRead(section, "ShowingTime", "5", path).c_str()) +
                     std::atof(IniRead(section, "TransitionTime", "2", path).c_str());
        }
        seconds = static_cast<int64_t>(total);
    }
    if (seconds <= 0) {
        Ui().MessageBox(WithPath(3201, path), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return 1;
    }
    std::printf("File: %s\n", path.c_str());
    std::printf("Duration: %s (%lld s)\n", Clock(seconds).c_str(), static_cast<long long>(seconds));
    std::printf("AudioType: PCM\n");
    std::printf("Size:  \n");
    return 0;
}

int RunMedia(const CArgs& args)
{
    if (args.positional.size() != 2 || args.positional[0] != "info")
        return Fail("usage: kestrova media info FILE (see kestrova media --help)");
    const std::string& path = args.positional[1];
    if (Lower(path).find(".osh") != std::string::npos) return ProbeProject(path);
    CDirectShowAV av;
    av.SetTarget(720, 480, 30000.0 / 1001.0);
    if (!av.Open(path, false)) {
        Ui().MessageBox(WithPath(3200, path), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return 1;
    }
    const int64_t seconds = av.duration > 0 ? av.duration / 10000000 : 0;
    if (seconds == 0) {
        Ui().MessageBox(WithPath(3201, path), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return 1;
    }
    const char* audio = !av.audioFound ? "No Audio" : av.audioKind == kAudioAc3 ? "AC3" : "PCM";
    std::printf("File: %s\n", path.c_str());
    std::printf("Duration: %s (%lld s)\n", Clock(seconds).c_str(), static_cast<long long>(seconds));
    std::printf("AudioType: %s\n", audio);
    if (av.audioFound && av.audioKind != kAudioAc3)
        std::printf("Sound: %d Hz, %d bits, %d channel%s%s\n", av.audioRate, av.audioBits,
                    av.audioChannels, av.audioChannels == 1 ? "" : "s",
                    av.sourceChannels > av.audioChannels
                        ? (" (mixed down from " + std::to_string(av.sourceChannels) + ")").c_str()
                        : "");
    if (av.videoFound) {
        if (av.isPhoto) {
            std::printf("Size: %dx%d\n", av.fileWidth, av.fileHeight);
            std::printf("Frame rate: photo shown for 11 s\n");
        } else {
            std::printf("Size: %dx%d\n", av.fileWidth, av.fileHeight);
            if (av.fileWidth != av.sourceWidth || av.fileHeight != av.sourceHeight)
                std::printf("Decoded size: %dx%d\n", av.sourceWidth, av.sourceHeight);
            std::printf("Frame rate: %.3f\n", av.sourceRate);
        }
    } else {
        std::printf("Size: none\n");
    }
    return 0;
}

CCommandRegistrar registrar(CCommand{
    "media",
    "show what the video window finds in a media file",
    "Usage: kestrova media info FILE\n\n"
    "Opens FILE as the video window does (720x480 at 29.97 frames/s) and prints its\n"
    "duration, audio type (AC3, PCM or No Audio), picture size and frame rate. A\n"
    "slide-show project (.osh) gives the sum of its photos' showing and transition\n"
    "times. A file that cannot be used is refused with the window's message and exit\n"
    "status 1.\n",
    {},
    RunMedia});

}  // namespace
