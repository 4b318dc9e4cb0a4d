// CSubtitleStream: the first subtitle stream inside a media file (MKV, MP4, VOB ...),
// read whole through FFmpeg. A DVD bitmap stream gives its sub-picture units as they
// are (they are copied onto the disc unchanged); a text stream (SubRip, ASS, WebVTT,
// MP4 timed text) is decoded to plain lines, its styling dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSubtitleStream {
public:
    static constexpr int maxUnits = 4096;
    static constexpr int maxLines = 4;

    struct SUnit {
        uint32_t start = 0;  // 90 kHz, from the start of the file's timeline
        uint32_t duration = 0;  // 90 kHz; 0 when the stream does not say (bitmap units)
        std::vector<uint8_t> bytes;  // a DVD sub-picture unit (bitmap streams)
        std::vector<std::string> lines;  // UTF-8 text (text streams)
    };

    // Reads the first subtitle stream of `path`. False, with Error() naming the file,
    // when the file cannot be opened, has no subtitle stream, or its stream is a bitmap
    // kind other than DVD sub-pictures.
    bool Open(const std::string& path);
    bool IsBitmap() const { return bitmap; }
    const std::vector<SUnit>& Units() const { return units; }
    const std::string& Error() const { return error; }

    // The lines of an ASS event ("ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,
    // Effect,Text"): "\N" breaks a line, "\h" is a space, "{...}" blocks are dropped.
    static std::vector<std::string> EventLines(const std::string& event);

private:
    bool bitmap = false;
    std::vector<SUnit> units;
    std::string error;
};
