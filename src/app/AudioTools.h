// CAudioTools: the sound tools of the command line: a WAVE file coded to the DVD's
// Layer II stream, and two WAVE files compared for judging the encoder against others.
#pragma once

#include <cstdint>
#include <string>

class CAudioTools {
public:
    // Codes 48 kHz 16-bit PCM (mono, doubled to stereo, or stereo) from the WAVE file
    // `input` to MPEG-1 Layer II at 384 kbit/s stereo with CRC, as written on DVDs,
    // into `output` (written beside it and renamed when complete). `frames` is the
    // number of Layer II frames written. False with a one-line `error` naming the file.
    static bool EncodeWave(const std::string& input, const std::string& output, int64_t& frames, std::string& error);

    // The delay of `testPath` against `referencePath` in samples (searched up to 4,000
    // either way) and the signal-to-noise ratio at that delay in dB. False with
    // `error` set when a file cannot be read or their formats differ.
    static bool CompareWaves(const std::string& referencePath, const std::string& testPath, int& delay, double& snr,
                             std::string& error);
};
