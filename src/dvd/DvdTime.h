// Playback times as DVD navigation data writes them: hours, minutes, seconds and frames
// in BCD, the frames byte carrying the frame rate in its top two bits.
#pragma once

#include <cstdint>

// Writes an elapsed time (90 kHz) as hours, minutes, seconds and frames in BCD; the
// frames byte carries 0xC0 for 30 frames/s and 0x40 otherwise.
inline void PutBcdTime(uint8_t* out, uint32_t ticks, int frameRate)
{
    auto bcd = [](uint32_t v) { return uint8_t(v + 6 * (v / 10)); };
    uint32_t seconds = ticks / 90000;
    out[0] = bcd(seconds / 3600);
    out[1] = bcd(seconds / 60 % 60);
    out[2] = bcd(seconds % 60);
    uint32_t frames = uint32_t(uint64_t(ticks % 90000) * uint32_t(frameRate) / 90000);
    out[3] = uint8_t(bcd(frames) | (frameRate == 30 ? 0xC0 : 0x40));
}

// Seconds of a BCD playback time; frames count 1/25 s unless the rate bits say 30.
inline double BcdSeconds(const uint8_t* t)
{
    auto digits = [](uint8_t v) { return (v >> 4) * 10 + (v & 15); };
    double frameTime = (t[3] & 0xC0) < 0xC0 ? 0.04 : 0.033366700033366704;
    return digits(t[0]) * 3600.0 + digits(t[1]) * 60.0 + digits(t[2]) + digits(t[3] & 0x3F) * frameTime;
}
