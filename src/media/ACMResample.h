// Converts 16-bit stereo PCM at any rate to 48,000 Hz 16-bit stereo (libswresample).
#pragma once

#include <cstdint>

#include "media/FfmpegPtr.h"

class CACMResample {
public:
    CACMResample() = default;
    virtual ~CACMResample();
    CACMResample(const CACMResample&) = delete;
    CACMResample& operator=(const CACMResample&) = delete;

    // Prepares a conversion from `sourceRate` Hz 16-bit stereo to 48 kHz 16-bit stereo,
    // replacing an earlier one. Returns true when the converter could be set up.
    bool OpenResampler(int32_t sourceRate);

    // Converts `length` bytes of `source` (whole stereo samples) into `destination`,
    // which must hold MaxOutput(length) bytes. Returns the bytes written, 0 on failure
    // or when the converter is not open.
    int32_t Resample(int32_t length, const uint8_t* source, uint8_t* destination);

    // Writes out the samples the converter still holds at the end of the sound into
    // `destination` (at most MaxOutput(0) bytes). Returns the bytes written.
    int32_t Flush(uint8_t* destination);

    // Bytes of output that `length` input bytes can produce at most.
    int32_t MaxOutput(int32_t length) const;

    int32_t SourceRate() const { return sourceRate; }

private:
    ResamplerPtr context;
    int32_t sourceRate = 44100;
};
