// Media files of any content through the media import (FFmpeg, loaded at run time):
// opened as the video-file titles and the music measuring open them, decoded for a few
// pictures and a little sound, and AC-3 handed through the pass-through audio source.
// The input is the media file.
// Checked for every input: what an opened file reports lies within the limits of the
// hand-over (at most 720 x 576 pictures, two channels, 48 kHz), every picture comes
// out at the target size, the sound in whole stereo samples, and the AC-3 source's
// reads never give more than asked.
#include <vector>

#include "MemoryFile.h"
#include "audio/AudioDshow.h"
#include "media/DirectShowAV.h"
#include "media/MediaLength.h"

namespace {

void CheckOpened(const CDirectShowAV& av)
{
    FUZZ_CHECK(av.videoFound || av.audioFound || av.isPhoto);
    if (av.audioFound && av.audioKind == kAudioPcm) {
        FUZZ_CHECK(av.audioChannels >= 1 && av.audioChannels <= 2);
        FUZZ_CHECK(av.audioRate > 0 && av.audioRate <= 48000);
        FUZZ_CHECK(av.audioBits == 8 || av.audioBits == 16);
    }
    if (av.videoFound && !av.isPhoto) {
        FUZZ_CHECK(av.sourceWidth > 0 && av.sourceWidth <= 720);
        FUZZ_CHECK(av.sourceHeight > 0 && av.sourceHeight <= 576);
    }
}

// Reads a few pictures and a little sound (or AC-3 through its source) and stops.
void Decode(CDirectShowAV& av)
{
    av.SetTarget(176, 144, 25.0);
    av.SetRange(0.0, 0.5);
    av.Run();
    CYUV420Image picture;
    for (int i = 0; i < 4 && av.GetFrame(picture); ++i) {
        FUZZ_CHECK(picture.width == 176 && picture.height == 144);
    }
    std::vector<uint8_t> block(8192);
    if (av.audioKind == kAudioAc3) {
        CAudioDshow source(&av, false);
        FUZZ_CHECK(source.Start(0, 0, 1, 0));
        for (int i = 0; i < 4; ++i) {
            const int got = source.Read(block.data(), int(block.size()));
            FUZZ_CHECK(got >= 0 && got <= int(block.size()));
            if (got == 0) break;
            FUZZ_CHECK(source.UnitCount() >= 0 && source.FirstUnitOffset() < got);
        }
    } else {
        for (int i = 0; i < 4; ++i) {
            const int32_t got = av.ReadPcm(int32_t(block.size()), block.data());
            FUZZ_CHECK(got >= 0 && got <= int32_t(block.size()) && got % 4 == 0);
            if (got == 0) break;
        }
    }
    av.Stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryFile file(data, size);
    FUZZ_CHECK(MeasureAudioLength(file.Path()) >= 0);
    CDirectShowAV av;
    av.writeGraph = false;
    if (!av.Open(file.Path(), true)) return 0;
    CheckOpened(av);
    Decode(av);
    return 0;
}
