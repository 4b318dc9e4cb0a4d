#include "audio/Audio.h"
#include "audio/AudioDshow.h"
#include "audio/AudioSlide.h"
#include "media/PcmSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A source over PCM in memory that uses the shared reading paths of CAudio.
class CMemoryAudio : public CAudio {
public:
    CMemoryAudio(std::vector<uint8_t> data, bool mp2) : pcm(std::move(data)), compressed(mp2) {}
    // The reader uses this object's PCM: the coding thread ends before it goes.
    ~CMemoryAudio() override { StopEncoder(); }

    bool Start(int, int firstUnit, int lastUnit, uint32_t startMilliseconds) override
    {
        StartState(firstUnit, lastUnit, startMilliseconds);
        position = 0;
        kind = compressed ? kindMp2 : kindLpcm;
        return !compressed || StartEncoder(CMP2Encoder::sourceSlideShow, Reader());
    }
    int Read(uint8_t* buffer, int length) override
    {
        return kind == kindMp2 ? ReadMp2(buffer, length) : ReadLpcm(buffer, length, Reader());
    }
    int StreamKind() override { return kind; }
    int FirstUnitOffset() override { return firstOffsetInRead; }
    int UnitCount() override { return unitsInRead; }
    uint32_t FirstUnitTime() override { return firstTime; }
    uint32_t EndTime() override { return endTime; }

private:
    PcmReader Reader()
    {
        return [this](uint8_t* buffer, int bytes) {
            size_t n = std::min(size_t(bytes), pcm.size() - position);
            std::memcpy(buffer, pcm.data() + position, n);
            position += n;
            return int(n);
        };
    }

    std::vector<uint8_t> pcm;
    size_t position = 0;
    bool compressed;
};

std::vector<uint8_t> Ramp(size_t bytes)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = uint8_t(i * 7 + 3);
    return v;
}

std::vector<uint8_t> Tone(int samples)
{
    std::vector<uint8_t> v(size_t(samples) * 4);
    for (int i = 0; i < samples; ++i) {
        int16_t s = int16_t(10000 * std::sin(2 * M_PI * 440.0 * i / 48000.0));
        v[4 * size_t(i)] = v[4 * size_t(i) + 2] = uint8_t(s);
        v[4 * size_t(i) + 1] = v[4 * size_t(i) + 3] = uint8_t(uint16_t(s) >> 8);
    }
    return v;
}

}  // namespace

TEST(AudioSource, BaseOperationsGiveNeutralValues)
{
    CAudio base;
    uint8_t buffer[16];
    EXPECT_EQ(base.LpcmFrameInfo(), 0);
    EXPECT_EQ(base.StreamKind(), 5);
    EXPECT_EQ(base.FirstUnitOffset(), 0);
    EXPECT_EQ(base.UnitCount(), 0);
    EXPECT_EQ(base.Read(buffer, 16), 16);
    EXPECT_EQ(base.FirstUnitTime(), 1u);
    EXPECT_EQ(base.EndTime(), 1u);
    EXPECT_EQ(base.ChannelCount(), 2);
    EXPECT_FALSE(base.IsSurround());
    EXPECT_TRUE(base.Start(0, 0, 0, 0));
}

TEST(AudioSource, LinearPcmCountsUnitsAndSwapsBytes)
{
    std::vector<uint8_t> pcm = Ramp(10000);
    CMemoryAudio source(pcm, false);
    ASSERT_TRUE(source.Start(0, 5, 0, 1000));
    EXPECT_EQ(source.StreamKind(), CAudio::kindLpcm);

    uint8_t buffer[4096];
    ASSERT_EQ(source.Read(buffer, 100), 100);
    EXPECT_EQ(source.FirstUnitOffset(), 0);  // the very first byte starts a unit
    EXPECT_EQ(source.UnitCount(), 1);
    EXPECT_EQ(buffer[0], pcm[1]);
    EXPECT_EQ(buffer[1], pcm[0]);
    EXPECT_EQ(buffer[99], pcm[98]);
    EXPECT_EQ(source.EndTime(), 90000u + 150u);

    // After 100 bytes, 4032 more: units start at 220, 540, ... 3740 -> 12 of them.
    ASSERT_EQ(source.Read(buffer, 4032), 4032);
    EXPECT_EQ(source.FirstUnitOffset(), 220);
    EXPECT_EQ(source.UnitCount(), 12);
    EXPECT_EQ(source.FirstUnitTime(), 90000u + 13u * 150u);
    EXPECT_EQ(source.EndTime(), source.FirstUnitTime());
    EXPECT_EQ(buffer[0], pcm[101]);

    // 4132 bytes so far: the next unit starts at 4160, 28 bytes on; a read that ends
    // before it starts none.
    ASSERT_EQ(source.Read(buffer, 20), 20);
    EXPECT_EQ(source.UnitCount(), 0);
    EXPECT_EQ(source.FirstUnitOffset(), 0);

    // An odd request loses 7 bytes so that samples stay whole.
    EXPECT_EQ(source.Read(buffer, 1001), 994);
    // A tiny odd request still reads whole samples instead of ending the stream.
    EXPECT_EQ(source.Read(buffer, 3), 2);

    // The end: nothing read, both times after the end of any stream.
    std::vector<uint8_t> rest(20000);
    while (source.Read(rest.data(), 4096) > 0) {}
    EXPECT_EQ(source.FirstUnitTime(), CAudio::endOfStreamTime);
    EXPECT_EQ(source.EndTime(), CAudio::endOfStreamTime);
    EXPECT_EQ(source.UnitCount(), 0);
}

TEST(AudioSource, LayerTwoReadsStepOneFramePerHeader)
{
    // 1.5 s of sound: 63 frames, served in bursts of 16,368 bytes.
    CMemoryAudio source(Tone(72000), true);
    ASSERT_TRUE(source.Start(0, 0, 0, 500));
    EXPECT_EQ(source.StreamKind(), CAudio::kindMp2);
    uint8_t buffer[1152];
    uint32_t expected = 45000;
    int reads = 0, total = 0;
    for (;;) {
        int n = source.Read(buffer, 1152);
        if (n == 0) break;
        ++reads;
        // Every frame header that begins within the read moves the time on by one frame
        // of 24 ms; reads do not keep to frame boundaries once a burst ends short.
        for (int start = (total + 1151) / 1152 * 1152; start + 4 <= total + n; start += 1152) expected += 2160;
        total += n;
        EXPECT_EQ(source.EndTime(), expected) << "read " << reads;
        EXPECT_EQ(source.FirstUnitTime(), source.EndTime());
    }
    EXPECT_EQ(total, 63 * 1152);
    EXPECT_EQ(expected, 45000u + 63u * 2160u);
    EXPECT_EQ(source.EndTime(), CAudio::endOfStreamTime);
}

TEST(AudioSource, LayerTwoTimeKeepsEveryFrameWhateverTheReadSize)
{
    // A header that straddles two reads must still be counted, or the sound would run
    // 24 ms early from then on.
    const std::vector<uint8_t> pcm = Tone(48000 * 3);  // 125 frames
    for (int chunk : {1152, 1000, 700, 577, 1147, 333, 64}) {
        CMemoryAudio source(pcm, true);
        ASSERT_TRUE(source.Start(0, 0, 0, 0));
        std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
        uint32_t last = 0;
        int total = 0;
        for (int n; (n = source.Read(buffer.data(), chunk)) > 0;) {
            total += n;
            last = source.EndTime();
        }
        EXPECT_EQ(total, 125 * 1152) << "reads of " << chunk;
        EXPECT_EQ(last, 125u * 2160u) << "reads of " << chunk;
    }
}

TEST(AudioSource, LayerTwoTimeKeepsFramesWhoseHeaderSpansReadsOfFewBytes)
{
    // Reads of one to three bytes in a row: a header spread over three or four reads is
    // still counted once, and the bytes kept between reads are the stream's own.
    const std::vector<uint8_t> pcm = Tone(48000);  // 42 frames (41.67, the last padded)
    const std::vector<int> lengths{1, 1, 1, 2, 3, 1150, 2, 1, 577, 3, 3};
    CMemoryAudio source(pcm, true);
    ASSERT_TRUE(source.Start(0, 0, 0, 0));
    std::vector<uint8_t> buffer(1152);
    uint32_t last = 0;
    int total = 0;
    for (size_t i = 0;; ++i) {
        const int n = source.Read(buffer.data(), lengths[i % lengths.size()]);
        if (n <= 0) break;
        total += n;
        last = source.EndTime();
    }
    ASSERT_EQ(total % 1152, 0);
    EXPECT_EQ(last, uint32_t(total / 1152) * 2160u);
}

TEST(AudioSource, LayerTwoHeaderRecognition)
{
    const uint8_t ours[4] = {0xFF, 0xFC, 0xE4, 0x00};
    EXPECT_EQ(CAudio::Mp2FrameLength(ours), 1152);
    const uint8_t padded192[4] = {0xFF, 0xFD, 0xA6, 0x00};  // 192 kbit/s, padding, no CRC
    EXPECT_EQ(CAudio::Mp2FrameLength(padded192), 577);
    const uint8_t at44k[4] = {0xFF, 0xFC, 0xE0, 0x00};
    EXPECT_EQ(CAudio::Mp2FrameLength(at44k), 0);
    const uint8_t freeFormat[4] = {0xFF, 0xFC, 0x04, 0x00};
    EXPECT_EQ(CAudio::Mp2FrameLength(freeFormat), 0);
    const uint8_t badEmphasis[4] = {0xFF, 0xFC, 0xE4, 0x02};
    EXPECT_EQ(CAudio::Mp2FrameLength(badEmphasis), 0);
    const uint8_t layer3[4] = {0xFF, 0xFA, 0xE4, 0x00};
    EXPECT_EQ(CAudio::Mp2FrameLength(layer3), 0);
}

TEST(AudioSource, Ac3HeaderGivesFrameSizeChannelsAndSurround)
{
    int bytes = 0, channels = 0;
    bool surround = false;
    // 448 kbit/s (code 30), bsid 8, 3/2 with LFE: 1792 bytes, six channels.
    // acmod 7 is followed by the centre and surround mix levels, then lfeon.
    const uint8_t fiveZero[8] = {0x0B, 0x77, 0, 0, 0x1E, 0x40, 0xE0, 0x80};
    ASSERT_TRUE(CAudioDshow::ParseAc3Header(fiveZero, bytes, channels, surround));
    EXPECT_EQ(bytes, 1792);
    EXPECT_EQ(channels, 5);
    const uint8_t fiveOne[8] = {0x0B, 0x77, 0, 0, 0x1E, 0x40, 0xE1, 0x00};
    ASSERT_TRUE(CAudioDshow::ParseAc3Header(fiveOne, bytes, channels, surround));
    EXPECT_EQ(channels, 6);
    EXPECT_FALSE(surround);
    // 192 kbit/s (code 20), bsid 6, 2/0 with Dolby Surround (dsurmod 2).
    const uint8_t dolby[8] = {0x0B, 0x77, 0, 0, 0x14, 0x30, 0x40 | 0x10, 0x00};
    ASSERT_TRUE(CAudioDshow::ParseAc3Header(dolby, bytes, channels, surround));
    EXPECT_EQ(bytes, 768);
    EXPECT_EQ(channels, 2);
    EXPECT_TRUE(surround);
    // Mono: 1 channel; 44.1 kHz and other bitstream ids are refused.
    const uint8_t mono[8] = {0x0B, 0x77, 0, 0, 0x00, 0x40, 0x20, 0x00};
    ASSERT_TRUE(CAudioDshow::ParseAc3Header(mono, bytes, channels, surround));
    EXPECT_EQ(bytes, 128);
    EXPECT_EQ(channels, 1);
    const uint8_t at44k[8] = {0x0B, 0x77, 0, 0, 0x40 | 0x1E, 0x40, 0xE0, 0x80};
    EXPECT_FALSE(CAudioDshow::ParseAc3Header(at44k, bytes, channels, surround));
    const uint8_t bsid10[8] = {0x0B, 0x77, 0, 0, 0x1E, 0x50, 0xE0, 0x80};
    EXPECT_FALSE(CAudioDshow::ParseAc3Header(bsid10, bytes, channels, surround));
    const uint8_t badSize[8] = {0x0B, 0x77, 0, 0, 0x26, 0x40, 0xE0, 0x80};
    EXPECT_FALSE(CAudioDshow::ParseAc3Header(badSize, bytes, channels, surround));
}

TEST(AudioSlide, SoundThatIsOverEndsAtOnce)
{
    for (bool compress : {true, false}) {
        // A timeline whose sound is over: the stream ends at the first read.
        struct CNoSound : CPcmSource {
            int32_t ReadMusicPcm(uint8_t*, int32_t) override { return 0; }
        } timeline;
        timeline.compressAudio = compress;
        CAudioSlide source(&timeline);
        ASSERT_TRUE(source.Start(1, 0, 0, 0));
        EXPECT_EQ(source.StreamKind(), compress ? CAudio::kindMp2 : CAudio::kindLpcm);
        uint8_t buffer[2016];
        EXPECT_EQ(source.Read(buffer, 2016), 0);
        EXPECT_EQ(source.FirstUnitTime(), 2592000000u);
        EXPECT_EQ(source.EndTime(), 2592000000u);
        EXPECT_EQ(source.QuantisationCode(), 0);
        EXPECT_EQ(source.ChannelCount(), 2);
        EXPECT_FALSE(source.IsSurround());
    }
    CAudioSlide nothing(nullptr);
    ASSERT_TRUE(nothing.Start(0, 0, 0, 0));
    uint8_t buffer[64];
    EXPECT_EQ(nothing.Read(buffer, 64), 0);
    EXPECT_EQ(nothing.EndTime(), CAudio::endOfStreamTime);
}
