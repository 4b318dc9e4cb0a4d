// The encoder's high-quality mode: its rate-distortion choices of levels and blocks, the
// decoder-buffer model and the guard built on it, the picture headers it writes, and the
// same stream from one thread as from several.
#include "base/DVDParams.h"
#include "mpeg2enc/Encoder.h"
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/RdQuantiser.h"
#include "mpeg2enc/VbvModel.h"
#include "mpeg2enc/VlcTables.h"
#include "picture/FrameSource.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A fine texture that drifts by one sample and a half per picture, with fresh grain on
// every picture: hard to predict, so the pictures are large.
class CGrainSource : public CFrameSource {
public:
    explicit CGrainSource(int64_t frames, int grain) : frames(frames), grain(grain) {}
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override
    {
        CYUV420Image& p = frame.picture;
        std::mt19937 rng(uint32_t(1000 + n));
        const int shift = int(n * 3 / 2);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const int v = ((x + shift) * 37 ^ (y * 53)) % 160 + 48 + int(rng() % uint32_t(2 * grain + 1)) - grain;
                p.planeY[y * p.width + x] = uint8_t(std::clamp(v, 0, 255));
            }
        for (int i = 0; i < p.chromaSize; ++i) {
            p.planeCb[i] = uint8_t(96 + (i + shift) % 64);
            p.planeCr[i] = uint8_t(160 - (i * 3) % 64);
        }
        ++n;
    }

private:
    int64_t frames;
    int grain;
    int64_t n = 0;
};

CDVDParams HighQualityParams(double bitRate)
{
    CDVDParams params;
    params.aspectCode = 2;
    params.videoBitRate = bitRate;
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    params.highQuality = 1;
    return params;
}

std::vector<uint8_t> Encode(const CDVDParams& params, CFrameSource& source, int threads)
{
    CEncoder encoder;
    encoder.SetThreads(threads);
    EXPECT_TRUE(encoder.InitFromSettings(params));
    EXPECT_TRUE(encoder.Start(&source, source.FrameCount()));
    std::vector<uint8_t> stream, buffer(4096);
    for (int32_t n; (n = encoder.Read(buffer.data(), 4096)) > 0;)
        stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
    return stream;
}

// Offsets of every start code 00 00 01 `code`.
std::vector<size_t> StartCodes(const std::vector<uint8_t>& s, uint8_t code)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == code) at.push_back(i);
    return at;
}

// Bits each picture takes out of the decoder's buffer: from its picture start code (the
// first picture from the start of the stream) to the next one.
std::vector<uint64_t> PictureBits(const std::vector<uint8_t>& s)
{
    std::vector<size_t> starts = StartCodes(s, 0x00);
    std::vector<uint64_t> bits;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t from = i == 0 ? 0 : starts[i];
        const size_t to = i + 1 < starts.size() ? starts[i + 1] : s.size();
        bits.push_back(uint64_t(to - from) * 8);
    }
    return bits;
}

// The first picture whose removal would underflow a buffer of `bufferBits` filled at
// `rate` bit/s (starting full), or -1.
int FirstUnderflow(const std::vector<uint64_t>& pictures, double rate, double frameRate, double bufferBits)
{
    double fullness = bufferBits;
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (double(pictures[i]) > fullness) return int(i);
        fullness = std::min(bufferBits, fullness - double(pictures[i]) + rate / frameRate);
    }
    return -1;
}

// The picture coding extension's frame_pred_frame_dct and alternate_scan of the first
// P picture (the extension with identifier 8 after the second picture start code).
std::pair<int, int> CodingFlags(const std::vector<uint8_t>& s)
{
    const std::vector<size_t> pictures = StartCodes(s, 0x00);
    EXPECT_GE(pictures.size(), 2u);
    for (size_t at : StartCodes(s, 0xB5)) {
        if (at < pictures[1] || (s[at + 4] >> 4) != 8) continue;
        // After the identifier: four f_codes (16 bits), intra_dc_precision (2),
        // picture_structure (2), top_field_first, frame_pred_frame_dct,
        // concealment_motion_vectors, q_scale_type, intra_vlc_format, alternate_scan.
        const size_t bit = (at + 4) * 8 + 4 + 16 + 2 + 2 + 1;
        auto get = [&](size_t b) { return (s[b / 8] >> (7 - b % 8)) & 1; };
        return {get(bit), get(bit + 4)};
    }
    ADD_FAILURE() << "no picture coding extension";
    return {-1, -1};
}

}  // namespace

TEST(VbvModel, StartsFullFillsPerPictureAndReportsAnUnderflow)
{
    CVbvModel vbv(10.0, 4000.0, 1000.0);  // 400 bits per picture period, 1000 bits held
    EXPECT_TRUE(vbv.Fits(1000));
    EXPECT_FALSE(vbv.Fits(1001));
    EXPECT_TRUE(vbv.Remove(900));
    EXPECT_DOUBLE_EQ(vbv.Fullness(), 500.0);
    EXPECT_TRUE(vbv.Remove(100));
    EXPECT_DOUBLE_EQ(vbv.Fullness(), 800.0);
    EXPECT_TRUE(vbv.Remove(0));
    EXPECT_DOUBLE_EQ(vbv.Fullness(), 1000.0);  // never above the buffer
    EXPECT_FALSE(vbv.Remove(1200));
    EXPECT_DOUBLE_EQ(vbv.Fullness(), 400.0);
}

TEST(RdQuantiser, DropsOnlyTheLevelsThatDoNotPayForTheirBits)
{
    uint8_t flat[64];
    std::memset(flat, 16, sizeof flat);
    CQuantiser quantiser;
    quantiser.Build(defaultIntraMatrix, flat);
    CRdQuantiser rd;
    rd.Build(quantiser, CRdQuantiser::SSettings());

    // Code lengths: run 0 level 1 is "11s"; run 31 level 2 has no code (escape).
    EXPECT_EQ(CRdQuantiser::CodeBits(0, 0, 1), 3);
    EXPECT_EQ(CRdQuantiser::CodeBits(0, 31, 2), 24);
    EXPECT_EQ(CRdQuantiser::CodeBits(1, 1, 1), VlcCoefficient(1, 1, 1).length + 1);

    const int q = 8;
    alignas(32) int16_t coefficients[64] = {};
    alignas(32) int16_t levels[64];
    coefficients[0] = 200;  // a DC level that clearly pays
    // A coefficient just above the first level's threshold, late in the scan: its code
    // is an escape and the error it removes is small.
    coefficients[zigzagScan[50]] = 9;
    ASSERT_TRUE(rd.QuantiseNonIntra(coefficients, levels, q));
    EXPECT_EQ(levels[zigzagScan[50]], 0);
    EXPECT_NE(levels[0], 0);
    // The same coefficient right after DC costs three bits: it stays.
    coefficients[zigzagScan[50]] = 0;
    coefficients[zigzagScan[1]] = -9;
    ASSERT_TRUE(rd.QuantiseNonIntra(coefficients, levels, q));
    EXPECT_EQ(levels[zigzagScan[1]], -1);
    // A large late coefficient is never dropped.
    coefficients[zigzagScan[60]] = 20;
    ASSERT_TRUE(rd.QuantiseNonIntra(coefficients, levels, q));
    EXPECT_EQ(levels[zigzagScan[60]], 2);  // (16 x (20 - 1) + 8) / 128, 1 the shrink
    EXPECT_EQ(levels[zigzagScan[1]], -1);
}

TEST(RdQuantiser, IntraBlocksKeepTheirDcAndDropCheapAcLevels)
{
    uint8_t flat[64];
    std::memset(flat, 16, sizeof flat);
    CQuantiser quantiser;
    quantiser.Build(flat, flat);
    CRdQuantiser rd;
    rd.Build(quantiser, CRdQuantiser::SSettings());
    const int q = 8;  // an intra level of 1 stands for 8
    alignas(32) int16_t coefficients[64] = {};
    alignas(32) int16_t levels[64];
    coefficients[0] = 4;  // a tiny DC: its level is never weighed
    coefficients[zigzagScan[1]] = 9;  // level 1 right after DC: three bits, kept
    coefficients[zigzagScan[45]] = -7;  // level 1 after a long run: dropped
    for (int table = 0; table < 2; ++table) {
        rd.QuantiseIntra(coefficients, levels, q, table);
        EXPECT_EQ(levels[0], 1) << table;
        EXPECT_EQ(levels[zigzagScan[1]], 1) << table;
        EXPECT_EQ(levels[zigzagScan[45]], 0) << table;
    }
    // Without the decision the late level is there: the drop is the quantiser's choice.
    quantiser.QuantiseIntra(coefficients, levels, q);
    EXPECT_EQ(levels[zigzagScan[45]], -1);
}

TEST(RdQuantiser, AWeakBlockIsNotCodedAndAStrongOneIs)
{
    uint8_t flat[64];
    std::memset(flat, 16, sizeof flat);
    CQuantiser quantiser;
    quantiser.Build(defaultIntraMatrix, flat);
    CRdQuantiser rd;
    rd.Build(quantiser, CRdQuantiser::SSettings());

    const int q = 10;
    alignas(32) int16_t coefficients[64] = {};
    alignas(32) int16_t levels[64] = {};
    // Two level-1 coefficients far apart that barely reach the first level: together
    // they remove less error than their bits are worth.
    coefficients[zigzagScan[5]] = 11;
    coefficients[zigzagScan[30]] = -11;
    levels[zigzagScan[5]] = 1;
    levels[zigzagScan[30]] = -1;
    EXPECT_FALSE(rd.KeepBlock(coefficients, levels, q));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(levels[i], 0) << i;
    // The same levels standing for large coefficients are kept.
    coefficients[zigzagScan[5]] = 22;
    coefficients[zigzagScan[30]] = -22;
    levels[zigzagScan[5]] = 1;
    levels[zigzagScan[30]] = -1;
    EXPECT_TRUE(rd.KeepBlock(coefficients, levels, q));
    EXPECT_EQ(levels[zigzagScan[5]], 1);
    // No level at all: nothing to code.
    std::memset(levels, 0, sizeof levels);
    EXPECT_FALSE(rd.KeepBlock(coefficients, levels, q));
}

TEST(HighQuality, PicturesStayWithinTheDecoderBuffer)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    // Large pictures near the top rate: the finer I pictures of this mode would take more
    // than the buffer holds unless the guard codes them again.
    CGrainSource source(32, 6);
    const std::vector<uint8_t> stream = Encode(HighQualityParams(8000000.0), source, 1);
    const std::vector<uint64_t> bits = PictureBits(stream);
    ASSERT_EQ(bits.size(), 32u);
    EXPECT_EQ(FirstUnderflow(bits, CEncoder::headerBitRate, 30000.0 / 1001.0, CVbvModel::kDvdBufferBits), -1);
    EXPECT_EQ(FirstUnderflow(bits, CVbvModel::kDvdPeakRate, 30000.0 / 1001.0, CVbvModel::kDvdBufferBits), -1);
    // The content is hard enough to matter: the first I picture takes most of the buffer
    // (coded as the rate controller alone would have it, it takes more than all of it).
    EXPECT_GT(double(bits[0]), 0.5 * CVbvModel::kDvdBufferBits);
}

TEST(HighQuality, WritesFramePredictionAndZigzagScanAndStandardModeDoesNot)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CDVDParams params = HighQualityParams(4000000.0);
    params.width = 352;
    params.height = 240;
    CGrainSource high(3, 4);
    EXPECT_EQ(CodingFlags(Encode(params, high, 1)), std::make_pair(1, 0));
    params.highQuality = 0;
    CGrainSource standard(3, 4);
    EXPECT_EQ(CodingFlags(Encode(params, standard, 1)), std::make_pair(0, 1));
}

TEST(HighQuality, ThreadsGiveTheSameStream)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    // A rate low enough for skipped macroblocks and dropped levels, high enough for the
    // buffer guard on the first I picture.
    for (double rate : {1500000.0, 8000000.0}) {
        CGrainSource one(20, 6), many(20, 6);
        const std::vector<uint8_t> a = Encode(HighQualityParams(rate), one, 1);
        const std::vector<uint8_t> b = Encode(HighQualityParams(rate), many, 3);
        EXPECT_TRUE(a == b) << "at " << rate << " bit/s";
    }
}

TEST(HighQuality, APictureOfANewSceneGetsTheFinerQuantiser)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    // Six pictures of a drifting stripe pattern, then a wholly different picture: brighter
    // than any stripe, so that no vector predicts it and its macroblocks are intra.
    class CCutSource : public CFrameSource {
    public:
        int64_t FrameCount() override { return 10; }
        void NextFrame(CFrame& frame) override
        {
            CYUV420Image& p = frame.picture;
            if (n < 6) {
                for (int y = 0; y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x) p.planeY[y * p.width + x] = uint8_t(64 + (x + n + y / 4) % 96);
            } else {
                for (int y = 0; y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x)
                        p.planeY[y * p.width + x] =
                            uint8_t(200 + 40 * std::sin(x * 0.11 + n) * std::cos(y * 0.07) + (x * y) % 9);
            }
            std::memset(p.planeCb, 120, size_t(p.chromaSize));
            std::memset(p.planeCr, 130, size_t(p.chromaSize));
            ++n;
        }
        int n = 0;
    };
    for (int high = 0; high < 2; ++high) {
        CDVDParams params = HighQualityParams(300000.0);
        params.width = 352;
        params.height = 240;
        params.highQuality = high;
        CEncoder encoder;
        ASSERT_TRUE(encoder.InitFromSettings(params));
        std::vector<int> q;
        encoder.SetPictureHook([&](const CEncoder::SPictureInfo& info) { q.push_back(info.quantiser); });
        CCutSource source;
        ASSERT_TRUE(encoder.Start(&source, source.FrameCount()));
        std::vector<uint8_t> buffer(4096);
        while (encoder.Read(buffer.data(), 4096) > 0) {}
        ASSERT_EQ(q.size(), 10u);
        if (high)
            EXPECT_LT(q[6], q[5]) << "the first picture of the new scene";
        else
            EXPECT_GE(q[6], q[5]) << "the standard mode keeps the rate controller's quantiser";
    }
}
