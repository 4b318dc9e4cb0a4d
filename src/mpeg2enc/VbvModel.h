// CVbvModel: the video buffering verifier of a variable-rate MPEG-2 stream as a DVD
// player runs it. Bits enter the buffer at the peak rate until it is full; at each
// picture's decoding time (one picture period apart) the whole picture leaves it at
// once. A picture larger than what the buffer holds at its time would underflow it: the
// player would stall. The decoder starts with a full buffer.
#pragma once

#include <cstdint>

class CVbvModel {
public:
    // DVD-Video: 224 KB of buffer (vbv_buffer_size 112 x 16 kbit) and 9.8 Mbit/s at most
    // into it.
    static constexpr double kDvdBufferBits = 112.0 * 16384.0;
    static constexpr double kDvdPeakRate = 9800000.0;

    // Starts with a full buffer of `bufferBits`, filled at `peakRate` bit/s, with
    // `frameRate` pictures per second.
    CVbvModel(double frameRate, double peakRate = kDvdPeakRate, double bufferBits = kDvdBufferBits);

    // True when a picture of `bits` can be taken out at its decoding time.
    bool Fits(uint64_t bits) const { return double(bits) <= fullness; }
    // Takes the picture of `bits` out and fills the buffer for one picture period.
    // Returns false (and leaves the buffer empty for the next fill) on an underflow.
    bool Remove(uint64_t bits);
    // Bits that enter the buffer in one picture period.
    double PeriodBits() const { return fill; }
    // Bits in the buffer at the next decoding time.
    double Fullness() const { return fullness; }

private:
    double buffer;
    double fill;  // bits that enter in one picture period
    double fullness;
};
