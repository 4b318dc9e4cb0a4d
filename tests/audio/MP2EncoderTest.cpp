#include "audio/MP2Encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Interleaved 16-bit stereo PCM of a few tones and some noise.
std::vector<uint8_t> MakeMusic(int samples, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<uint8_t> pcm(size_t(samples) * 4);
    for (int i = 0; i < samples; ++i) {
        double t = i / 48000.0;
        double l = 8000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 1375 * t) + noise(rng);
        double r = 6000 * std::sin(2 * M_PI * 330 * t) + 2000 * std::sin(2 * M_PI * 5100 * t) + noise(rng);
        int16_t a = int16_t(std::lround(l)), b = int16_t(std::lround(r));
        pcm[4 * i] = uint8_t(a);
        pcm[4 * i + 1] = uint8_t(uint16_t(a) >> 8);
        pcm[4 * i + 2] = uint8_t(b);
        pcm[4 * i + 3] = uint8_t(uint16_t(b) >> 8);
    }
    return pcm;
}

// A reader over a memory block that hands out at most `piece` bytes per call.
CMP2Encoder::PcmReader MemoryReader(const std::vector<uint8_t>& pcm, size_t& position, int piece = 1 << 30)
{
    return [&pcm, &position, piece](uint8_t* buffer, int bytes) {
        size_t n = std::min({size_t(bytes), size_t(piece), pcm.size() - position});
        if (n > 0) std::memcpy(buffer, pcm.data() + position, n);
        position += n;
        return int(n);
    };
}

std::vector<uint8_t> ReadAll(CMP2Encoder& encoder, int chunk, std::vector<int>* sizes = nullptr)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (;;) {
        int n = encoder.ReadCompressed(chunk, buffer.data());
        if (n == 0) break;
        if (sizes) sizes->push_back(n);
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& pcm, int piece = 1 << 30)
{
    size_t position = 0;
    CMP2Encoder encoder;
    EXPECT_TRUE(encoder.Prepare(CMP2Encoder::sourceSlideShow, MemoryReader(pcm, position, piece)));
    return ReadAll(encoder, 1152);
}

// Bit reader for checking the layout of a frame.
struct CBits {
    const uint8_t* data;
    int pos = 0;
    unsigned Get(int n)
    {
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++pos) v = (v << 1) | ((data[pos >> 3] >> (7 - (pos & 7))) & 1u);
        return v;
    }
};

}  // namespace

TEST(MP2Encoder, OneSecondGives42FramesOfFixedHeader)
{
    std::vector<uint8_t> pcm = MakeMusic(48000);
    ASSERT_EQ(pcm.size(), 192000u);
    std::vector<uint8_t> stream = Encode(pcm);
    ASSERT_EQ(stream.size(), 42u * 1152u);
    for (size_t f = 0; f < 42; ++f) {
        const uint8_t* h = stream.data() + f * 1152;
        EXPECT_EQ(h[0], 0xFF) << "frame " << f;
        EXPECT_EQ(h[1], 0xFC) << "frame " << f;
        EXPECT_EQ(h[2], 0xE4) << "frame " << f;
        EXPECT_EQ(h[3], 0x00) << "frame " << f;
    }
}

TEST(MP2Encoder, EmptySourceGivesEmptyStream)
{
    std::vector<uint8_t> pcm;
    size_t position = 0;
    CMP2Encoder encoder;
    ASSERT_TRUE(encoder.Prepare(CMP2Encoder::sourceSlideShow, MemoryReader(pcm, position)));
    uint8_t buffer[1152];
    EXPECT_EQ(encoder.ReadCompressed(1152, buffer), 0);
    EXPECT_EQ(encoder.ReadCompressed(1152, buffer), 0);
    EXPECT_EQ(encoder.FrameCount(), 0);

    CMP2Encoder unprepared;
    EXPECT_EQ(unprepared.ReadCompressed(1152, buffer), 0);
}

TEST(MP2Encoder, ReadsServeBurstsOfFourKilobyteBlocks)
{
    // Bursts hand on 4 blocks of 4092 bytes; the last burst brings the rest.
    std::vector<uint8_t> pcm = MakeMusic(48000 * 2);
    size_t position = 0;
    CMP2Encoder encoder;
    ASSERT_TRUE(encoder.Prepare(CMP2Encoder::sourceSlideShow, MemoryReader(pcm, position)));
    std::vector<int> sizes;
    std::vector<uint8_t> stream = ReadAll(encoder, 1152, &sizes);
    ASSERT_EQ(stream.size(), 84u * 1152u);  // 96000 samples = 83.3 frames
    ASSERT_GE(sizes.size(), 15u);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(sizes[size_t(i)], 1152);
    EXPECT_EQ(sizes[14], 16368 - 14 * 1152);
    EXPECT_EQ(stream, Encode(pcm));
}

TEST(MP2Encoder, PiecewiseSourceGivesSameStreamAsWholeReads)
{
    // A source that hands over its PCM in odd pieces must not put silence into frames.
    std::vector<uint8_t> pcm = MakeMusic(30000, 7);
    EXPECT_EQ(Encode(pcm, 1001), Encode(pcm));
}

TEST(MP2Encoder, TwoEncodersRunningTogetherMatchSeparateRuns)
{
    std::vector<uint8_t> a = MakeMusic(20000, 3), b = MakeMusic(26000, 4);
    std::vector<uint8_t> aAlone = Encode(a), bAlone = Encode(b);
    size_t pa = 0, pb = 0;
    CMP2Encoder ea, eb;
    ASSERT_TRUE(ea.Prepare(CMP2Encoder::sourceSlideShow, MemoryReader(a, pa)));
    ASSERT_TRUE(eb.Prepare(CMP2Encoder::sourceMediaImport, MemoryReader(b, pb)));
    std::vector<uint8_t> outA, outB;
    uint8_t buf[500];
    bool moreA = true, moreB = true;
    while (moreA || moreB) {
        if (moreA) {
            int n = ea.ReadCompressed(500, buf);
            outA.insert(outA.end(), buf, buf + n);
            moreA = n > 0;
        }
        if (moreB) {
            int n = eb.ReadCompressed(300, buf);
            outB.insert(outB.end(), buf, buf + n);
            moreB = n > 0;
        }
    }
    EXPECT_EQ(outA, aAlone);
    EXPECT_EQ(outB, bAlone);
}

TEST(MP2Encoder, CrcIsSixteenBitWithPolynomial8005)
{
    const uint8_t check[] = "123456789";
    EXPECT_EQ(CMP2Encoder::CrcBits(check, 0, 72, 0xFFFF), 0xAEE7u);
    // Bits need not start on a byte: the same bits shifted by 3 give the same CRC.
    uint8_t shifted[11] = {};
    for (int i = 0; i < 72; ++i)
        if ((check[i / 8] >> (7 - i % 8)) & 1) shifted[(i + 3) / 8] |= uint8_t(0x80 >> ((i + 3) % 8));
    EXPECT_EQ(CMP2Encoder::CrcBits(shifted, 3, 72, 0xFFFF), 0xAEE7u);
}

TEST(MP2Encoder, FrameSideInformationIsConsistent)
{
    // Walk each frame's allocation, selection information and scale factors: they must
    // fit the frame, the CRC must cover them, silence above 20.25 kHz is not coded.
    std::vector<uint8_t> stream = Encode(MakeMusic(48000));
    const int nbal[27] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2};
    for (size_t f = 0; f < stream.size() / 1152; ++f) {
        const uint8_t* frame = stream.data() + f * 1152;
        CBits bits{frame, 48};
        int alloc[27][2];
        int allocated = 0;
        for (int sb = 0; sb < 27; ++sb)
            for (int ch = 0; ch < 2; ++ch) {
                alloc[sb][ch] = int(bits.Get(nbal[sb]));
                allocated += alloc[sb][ch] != 0;
            }
        int scaleFactors = 0;
        for (int sb = 0; sb < 27; ++sb)
            for (int ch = 0; ch < 2; ++ch)
                if (alloc[sb][ch]) {
                    unsigned scfsi = bits.Get(2);
                    scaleFactors += scfsi == 0 ? 3 : scfsi == 2 ? 1 : 2;
                }
        int end = bits.pos;
        unsigned crc = CMP2Encoder::CrcBits(frame, 16, 16, 0xFFFF);
        crc = CMP2Encoder::CrcBits(frame, 48, end - 48, crc);
        EXPECT_EQ(crc, unsigned(frame[4] << 8 | frame[5])) << "frame " << f;
        EXPECT_GT(allocated, 8) << "frame " << f;
        for (int i = 0; i < scaleFactors; ++i) EXPECT_LE(bits.Get(6), 62u);
        EXPECT_LE(bits.pos, 1152 * 8);
    }
}
