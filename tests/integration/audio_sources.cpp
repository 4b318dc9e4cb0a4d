// The media-file audio source over real files decoded by the media import: AC-3 passed
// through with its frames counted, decoded PCM handed on as linear PCM or Layer II.
#include "audio/AudioDshow.h"
#include "audio/WaveFile.h"
#include "media/DirectShowAV.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace testsupport;

namespace {

std::vector<uint8_t> ReadStream(CAudio& source, int chunk, std::vector<int>* units = nullptr,
                                std::vector<uint32_t>* times = nullptr)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (int n; (n = source.Read(buffer.data(), chunk)) > 0;) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
        if (units) units->push_back(source.UnitCount());
        if (times) times->push_back(source.EndTime());
    }
    return out;
}

bool OpenAudio(CDirectShowAV& media, const std::string& path)
{
    media.wantVideo = false;
    media.writeGraph = false;
    if (!media.Open(path, true)) return false;
    media.Run();
    return true;
}

}  // namespace

TEST(AudioSources, Ac3PassesThroughWithFramesCounted)
{
    TempDir dir;
    const std::string ac3 = dir.File("surround.ac3");
    RunResult r = testsupport::Run(
        "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=500:sample_rate=48000:duration=2 "
        "-af \"pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0\" -c:a ac3 -b:a 448k -y " +
        Quote(ac3));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint8_t> file = ReadBytes(ac3);
    ASSERT_EQ(file.size() % 1792, 0u);

    CDirectShowAV media;
    ASSERT_TRUE(OpenAudio(media, ac3));
    ASSERT_EQ(media.audioKind, kAudioAc3);
    CAudioDshow source(&media, true);
    ASSERT_TRUE(source.Start(1, 10, 0, 2000));
    EXPECT_EQ(source.StreamKind(), CAudio::kindAc3);
    EXPECT_EQ(source.QuantisationCode(), 3);
    std::vector<int> units;
    std::vector<uint32_t> times;
    std::vector<uint8_t> stream = ReadStream(source, 2016, &units, &times);
    EXPECT_EQ(stream, file);
    EXPECT_EQ(source.ChannelCount(), 6);
    EXPECT_TRUE(source.IsSurround());
    // Every 1792-byte frame is one unit of 2880 ticks, counted in the read it starts in.
    int total = 0;
    for (int u : units) total += u;
    EXPECT_EQ(size_t(total), file.size() / 1792);
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(times.back(), 180000u + uint32_t(total) * 2880u);
    EXPECT_EQ(source.EndTime(), CAudio::endOfStreamTime);
}

TEST(AudioSources, DecodedSoundAsLinearPcmAndAsLayerTwo)
{
    TempDir dir;
    std::vector<int16_t> pcm(48000 * 2);
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        pcm[2 * i] = int16_t(8000 * std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
        pcm[2 * i + 1] = int16_t(i * 3);
    }
    std::string error;
    ASSERT_TRUE(CWaveFile::Write(dir.File("one.wav"), pcm, 2, 48000, error)) << error;

    {
        CDirectShowAV media;
        ASSERT_TRUE(OpenAudio(media, dir.File("one.wav")));
        CAudioDshow source(&media, false);
        ASSERT_TRUE(source.Start(1, 0, 0, 0));
        EXPECT_EQ(source.StreamKind(), CAudio::kindLpcm);
        EXPECT_EQ(source.QuantisationCode(), 0);
        EXPECT_EQ(source.ChannelCount(), 2);
        EXPECT_FALSE(source.IsSurround());
        std::vector<uint8_t> stream = ReadStream(source, 2012);
        ASSERT_EQ(stream.size(), pcm.size() * 2);
        bool bigEndian = true;
        for (size_t i = 0; i < pcm.size() && bigEndian; ++i)
            bigEndian = stream[2 * i] == uint8_t(uint16_t(pcm[i]) >> 8) && stream[2 * i + 1] == uint8_t(pcm[i]);
        EXPECT_TRUE(bigEndian);
    }
    {
        CDirectShowAV media;
        ASSERT_TRUE(OpenAudio(media, dir.File("one.wav")));
        CAudioDshow source(&media, true);
        ASSERT_TRUE(source.Start(1, 0, 0, 0));
        EXPECT_EQ(source.StreamKind(), CAudio::kindMp2);
        std::vector<uint8_t> stream = ReadStream(source, 1152);
        EXPECT_EQ(stream.size(), 42u * 1152u);  // one second of PCM
    }
}
