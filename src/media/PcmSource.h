// CPcmSource: a source of decoded sound for an audio elementary-stream source: 48 kHz,
// 16-bit, two channels, interleaved, little-endian. The slide show's audio timeline is
// one; the audio sources pull from it and either code it to Layer II or pass it on as
// linear PCM.
#pragma once

#include <cstdint>

class CPcmSource {
public:
    virtual ~CPcmSource() = default;
    // Fills `buffer` with up to `bytes` bytes of PCM. Returns the bytes filled: `bytes`,
    // fewer only in the sound's last read, 0 once the sound has run out.
    virtual int32_t ReadMusicPcm(uint8_t* buffer, int32_t bytes) = 0;

    // Whether the title codes this sound to MPEG-1 Layer II (true) or carries it as DVD
    // linear PCM (false).
    bool compressAudio = true;
};
