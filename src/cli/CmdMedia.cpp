// `kestrova media info FILE`: opens a media file the way the video window probes it
// (720 x 480 at 29.97 frames/s) and prints its duration, sound kind, picture size and
// frame rate, field order and display aspect, or the message that refuses it.
#include "cli/Commands.h"

#include "app/MediaProbe.h"
#include "base/UiPort.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string Clock(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// "16:9 (1.778)": the aspect as a ratio of small whole numbers when it is one (within
// 0.1 %), else as "2.39:1", with its value.
std::string AspectText(double aspect)
{
    char text[48];
    for (int den = 1; den <= 16; ++den) {
        const long num = std::lround(aspect * den);
        if (num > 0 && num <= 64 && std::fabs(double(num) / den - aspect) <= aspect * 0.001) {
            std::snprintf(text, sizeof text, "%ld:%d (%.3f)", num, den, aspect);
            return text;
        }
    }
    std::snprintf(text, sizeof text, "%.2f:1 (%.3f)", aspect, aspect);
    return text;
}

void PrintPicture(const CMediaProbe::SFacts& facts)
{
    if (facts.isProject) {
        std::printf("Size:  \n");
    } else if (!facts.videoFound) {
        std::printf("Size: none\n");
    } else if (facts.isPhoto) {
        std::printf("Size: %dx%d\n", facts.fileWidth, facts.fileHeight);
        std::printf("Frame rate: photo shown for 11 s\n");
    } else {
        std::printf("Size: %dx%d\n", facts.fileWidth, facts.fileHeight);
        if (facts.fileWidth != facts.decodedWidth || facts.fileHeight != facts.decodedHeight)
            std::printf("Decoded size: %dx%d\n", facts.decodedWidth, facts.decodedHeight);
        std::printf("Frame rate: %.3f\n", facts.frameRate);
        std::printf("Field order: %s\n",
                    !facts.interlaced         ? "progressive"
                        : facts.topFieldFirst ? "interlaced, top field first"
                                              : "interlaced, bottom field first");
        if (facts.displayAspect > 0) std::printf("Display aspect: %s\n", AspectText(facts.displayAspect).c_str());
    }
}

int RunMedia(const CArgs& args)
{
    if (args.positional.size() != 2 || args.positional[0] != "info")
        return Fail("usage: kestrova media info FILE (see kestrova media --help)");
    const std::string& path = args.positional[1];
    CMediaProbe::SFacts facts;
    std::string refusal;
    if (!CMediaProbe::Probe(path, facts, refusal)) {
        Ui().MessageBox(refusal, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return 1;
    }
    std::printf("File: %s\n", path.c_str());
    std::printf("Duration: %s (%lld s)\n", Clock(facts.seconds).c_str(), static_cast<long long>(facts.seconds));
    std::printf("AudioType: %s\n", facts.audioType.c_str());
    if (facts.pcmDetails)
        std::printf("Sound: %d Hz, %d bits, %d channel%s%s\n", facts.audioRate, facts.audioBits, facts.audioChannels,
                    facts.audioChannels == 1 ? "" : "s",
                    facts.sourceChannels > facts.audioChannels
                        ? (" (mixed down from " + std::to_string(facts.sourceChannels) + ")").c_str()
                        : "");
    PrintPicture(facts);
    return 0;
}

CCommandRegistrar registrar(CCommand{"media",
                                     "show what the video window finds in a media file",
                                     "Usage: kestrova media info FILE\n\n"
                                     "Opens FILE as the video window does (720x480 at 29.97 frames/s) and prints its\n"
                                     "duration, audio type (AC3, PCM or No Audio), picture size, frame rate,\n"
                                     "field order and display aspect (the pixel aspect honoured). A\n"
                                     "slide-show project (.osh) gives the sum of its photos' showing and transition\n"
                                     "times. A file that cannot be used is refused with the window's message and exit\n"
                                     "status 1.\n",
                                     {},
                                     RunMedia});

}  // namespace
