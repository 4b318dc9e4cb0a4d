// CSignalCompare: measures how closely a decoded signal follows its source, after
// finding the decoder's delay — for the encoder's quality tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

class CSignalCompare {
public:
    // Delay (in sample frames, -maxLag..maxLag) at which `test` best matches
    // `reference`, found by cross-correlating the first channel over a stretch of up to
    // one second in the middle of the reference. Both are interleaved with `channels`.
    static int FindDelay(const std::vector<int16_t>& reference, const std::vector<int16_t>& test, int channels,
                         int maxLag);

    // Signal-to-noise ratio (dB) of `test` against `reference` with `test` delayed by
    // `delay` frames, over the frames both cover. Returns 200 for identical signals and
    // -200 when they do not overlap.
    static double Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& test, int channels, int delay);
};
