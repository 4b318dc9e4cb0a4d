// CMP2Encoder: MPEG-1 Layer II audio encoder for DVD-Video. The stream parameters are
// fixed: 48 kHz, 384 kbit/s, two independent channels (stereo), 16-bit CRC, no padding,
// so every frame is 1152 bytes and starts with FF FC E4 00. The bit allocation follows
// the signal-to-mask ratios of psychoacoustic model 2, run for each channel.
//
// The encoder pulls 16-bit little-endian stereo PCM from a reader function and hands out
// the stream in bursts of frames through ReadCompressed. All state belongs to the object,
// so several encoders may run at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/PsychoModel2.h"
#include "audio/SubbandFilter.h"

class CMP2Encoder {
public:
    static constexpr int frameBytes = 1152;  // bytes of one frame
    static constexpr int frameSamples = 1152;  // stereo samples coded per frame
    static constexpr int pcmFrameBytes = frameSamples * 4;
    static constexpr int subbandLimit = 27;  // sub-bands coded (48 kHz, 192 kbit/s per channel)
    static constexpr int burstBytes = 14336;  // a burst codes frames until this many bytes are out
    static constexpr int blockBytes = 4092;  // the bit-stream buffer hands bytes on in these blocks
    // The most one burst can hold: a burst stops coding once burstBytes are out, and its
    // last frame adds at most one block, or the final flush of the bit-stream buffer
    // (under 4096 bytes). ReadCompressed with at least this length returns a whole burst.
    static constexpr int maxBurstBytes = burstBytes + 2 * 4096;

    // Source kinds: where the PCM comes from.
    static constexpr int sourceMediaImport = 2;
    static constexpr int sourceSlideShow = 3;

    // Reads up to `bytes` bytes of 48 kHz 16-bit stereo little-endian PCM into `buffer`;
    // returns the number of bytes read, 0 at the end of the sound.
    using PcmReader = std::function<int(uint8_t* buffer, int bytes)>;

    CMP2Encoder();
    ~CMP2Encoder();
    CMP2Encoder(const CMP2Encoder&) = delete;
    CMP2Encoder& operator=(const CMP2Encoder&) = delete;

    // Prepares a new stream read from `reader` (sourceMediaImport or sourceSlideShow):
    // allocates the working buffers and clears all state. Returns false, after printing
    // "Unable to allocate ..." to stderr, when memory runs out; the encoder then delivers
    // nothing.
    bool Prepare(int sourceKind, PcmReader reader);

    // Copies up to `length` bytes of the coded stream to `buffer`; codes a new burst of
    // frames (about 14 frames) whenever the buffered bytes are used up. Returns the bytes
    // copied, 0 at the end of the stream.
    int ReadCompressed(int length, uint8_t* buffer);

    // The line psychoacoustic model 2 gives at its set-up, "absthr[][] sampling frequency
    // index: 2" (2 is 48 kHz). The encoder never prints it; the application keeps it in
    // its diagnostic log.
    static std::string ModelSetupText();

    // Number of frames coded so far.
    int64_t FrameCount() const { return frameCount; }
    // The source kind given to Prepare (0 before).
    int SourceKind() const { return sourceKind; }

    // Computes the frame CRC: CRC-16 (polynomial 0x8005, start 0xFFFF) over `bitCount`
    // bits of `data` starting at bit `firstBit` (most significant bit first), continuing
    // from `crc`.
    static unsigned CrcBits(const uint8_t* data, int firstBit, int bitCount, unsigned crc);

private:
    struct CState;

    bool EncodeFrame();
    void CodeFrame(uint8_t* frame);
    void MoveToOutput(const uint8_t* data, int count);
    void FlushStreamBuffer();

    std::unique_ptr<CState> state;
    PcmReader reader;
    int sourceKind = 0;
    bool endFlag = true;
    int64_t frameCount = 0;
    int64_t bitsWritten = 0;

    // Bit-stream buffer: bytes wait here until 4096 have gathered, then the first 4092
    // move to the output buffer.
    std::vector<uint8_t> streamBuffer;
    // Output buffer served by ReadCompressed.
    std::vector<uint8_t> output;
    int writeCount = 0;
    int readPosition = 0;
};
