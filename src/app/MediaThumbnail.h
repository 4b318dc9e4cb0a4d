// CMediaThumbnail: the first picture of a media file, small, as 24-bit RGB, for the
// video window's list. It is made by the same decoder the DVD is made with, so the
// picture a person sees is the one the title starts from. Slow (a decoder is opened):
// callers make thumbnails off the window thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CMediaThumbnail {
public:
    // Decodes the first picture of `path` (for a slide-show project: its first photo),
    // fitted inside `maxWidth` x `maxHeight` with the source's display shape kept. False
    // when the file has no picture to show (a sound file, a file that cannot be opened, a
    // project without photos); Error() says why.
    bool Make(const std::string& path, int maxWidth, int maxHeight);

    // Converts a limited-range BT.601 Y'CbCr sample into R, G, B (0..255 each).
    static void YCbCrToRgb(int y, int cb, int cr, uint8_t* rgb);

    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width x height x 3 bytes, top line first
    const std::string& Error() const { return error; }

private:
    bool MakeFromProject(const std::string& path, int maxWidth, int maxHeight);

    std::string error;
};
