// Measures audio/video sync in a decoded title: finds the white flashes in the picture
// and the onsets of the tone in the sound (as made by MakeSyncSource), pairs them and
// gives each pair's offset. Decoding is FFmpeg's, at 64 pixels wide and mono 48 kHz,
// with both streams on the file's own clock (time stamps kept as they are).
#pragma once

#include <string>
#include <vector>

namespace avsync {

struct SPair {
    double flash = 0;  // seconds, when the first white picture starts
    double beep = 0;  // seconds, when the tone starts
    double offsetMs = 0;  // beep - flash: positive when the sound comes late
};

struct SMeasure {
    bool ok = false;
    std::string error;  // why nothing could be measured
    std::vector<double> flashes;  // seconds
    std::vector<double> beeps;  // seconds
    std::vector<SPair> pairs;  // each flash with the nearest beep within half an interval
    double framePeriod = 0;  // seconds between pictures, the median of the title's
    double firstPicture = 0;  // seconds, when the first picture starts

    // The largest offset from `expectedMs` over all pairs, in ms (0 without pairs).
    double WorstDeviationMs(double expectedMs) const;
    // One line per flash and beep, for failure messages.
    std::string Text() const;
};

// Decodes `files` as one stream (a title set's VOB files in order, or any media file)
// into `scratch` (an existing folder) and measures. `interval` is the sources' time
// between flashes; beeps closer together than 0.3 s count as one.
SMeasure MeasureSync(const std::vector<std::string>& files, const std::string& scratch, double interval);

// Decodes the pictures of `files` (as MeasureSync does) into `scratch` and gives each
// picture's time in seconds and the mean brightness (Y, 16 black to 235 white) of its
// centre (half its width and height, so that bars round the picture do not count). False
// with `error` set when FFmpeg fails or finds no picture.
bool PictureBrightness(const std::vector<std::string>& files, const std::string& scratch, std::vector<double>& times,
                       std::vector<double>& brightness, std::string* error);

// Onsets of a tone in mono 16-bit samples at `rate`: the first sample at or above 30 %
// of the loudest, after at least 0.3 s below it. Seconds from the first sample.
std::vector<double> ToneOnsets(const std::vector<short>& samples, int rate);

// Starts of white pictures from per-picture mean brightness: a picture brighter than
// half way between the darkest and the brightest, after one that was not. Needs a
// spread of at least 50 levels; otherwise no flash is found.
std::vector<double> FlashStarts(const std::vector<double>& times, const std::vector<double>& brightness);

}  // namespace avsync
