// CWaveFile: reading and writing RIFF WAVE files of 16-bit PCM, for the command line's
// audio tools and the encoder's tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CWaveFile {
public:
    // Reads a 16-bit PCM WAVE file: interleaved samples, channel count and sampling rate.
    // Returns false with `error` naming the file and the problem when the file cannot be
    // read or is not 16-bit PCM.
    static bool Read(const std::string& path, std::vector<int16_t>& samples, int& channels, int& sampleRate,
                     std::string& error);

    // Writes interleaved 16-bit samples as a WAVE file. The file is written under a
    // temporary name and renamed when complete, so a failure leaves no partial file.
    // Returns false with `error` set on failure.
    static bool Write(const std::string& path, const std::vector<int16_t>& samples, int channels, int sampleRate,
                      std::string& error);
};
