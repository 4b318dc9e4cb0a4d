// CMediaProbe: what the video window finds in a file it is offered: the file opened the
// way the window probes it (720 x 480 at 29.97 frames/s), or, for a slide-show project,
// the sum of its photos' showing and transition times.
#pragma once

#include <cstdint>
#include <string>

class CMediaProbe {
public:
    struct SFacts {
        int64_t seconds = 0;
        double exactSeconds = 0;  // the length before it is cut to whole seconds
        std::string audioType;  // "AC3", "PCM" or "No Audio"
        bool pcmDetails = false;  // the sound fields below are known
        int audioRate = 0, audioBits = 0, audioChannels = 0, sourceChannels = 0;
        bool videoFound = false;
        bool isPhoto = false;  // a still picture shown for 11 s
        bool isProject = false;  // a slide-show project: no picture facts
        int fileWidth = 0, fileHeight = 0;  // as stored
        int decodedWidth = 0, decodedHeight = 0;
        double frameRate = 0;
        bool interlaced = false, topFieldFirst = false;
        double displayAspect = 0;  // display width / height; 0 unknown
    };

    // Probes `path`. False when the window would refuse it; `refusal` is then the
    // window's message (3200: cannot be opened, 3201: no length), naming the file.
    static bool Probe(const std::string& path, SFacts& facts, std::string& refusal);
};
