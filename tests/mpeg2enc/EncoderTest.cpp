// The encoder as the multiplexer sees it: the stream structure and headers, the group
// buffer's read rule and picture times, configuration, macroblock decisions on static
// pictures, progress and cancel.
#include "base/DVDParams.h"
#include "mpeg2enc/Encoder.h"
#include "mpeg2enc/VideoSlide.h"
#include "picture/FrameSource.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// Frames drawn by a function of the frame number.
class CPatternSource : public CFrameSource {
public:
    using Draw = std::function<void(int64_t, CYUV420Image&)>;
    CPatternSource(int64_t frames, Draw draw) : frames(frames), draw(std::move(draw)) {}
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override { draw(next++, frame.picture); }
    int64_t next = 0;

private:
    int64_t frames;
    Draw draw;
};

void Fill(CYUV420Image& p, uint8_t y, uint8_t cb = 128, uint8_t cr = 128)
{
    std::memset(p.planeY, y, size_t(p.lumaSize));
    std::memset(p.planeCb, cb, size_t(p.chromaSize));
    std::memset(p.planeCr, cr, size_t(p.chromaSize));
}

// A soft picture moving one sample to the right per frame.
void Moving(int64_t n, CYUV420Image& p)
{
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.planeY[y * p.width + x] = uint8_t(64 + ((x + n) * 3 + y) % 128);
    std::memset(p.planeCb, 100, size_t(p.chromaSize));
    std::memset(p.planeCr, 150, size_t(p.chromaSize));
}

CDVDParams Ntsc()
{
    CDVDParams params;
    params.aspectCode = 2;
    params.videoBitRate = 6000000.0;
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    params.jobName = "Holiday";
    return params;
}

std::vector<uint8_t> ReadAll(CEncoder& encoder, int32_t chunk = 2048)
{
    std::vector<uint8_t> stream, buffer(static_cast<size_t>(chunk));
    for (int32_t n; (n = encoder.Read(buffer.data(), chunk)) > 0;)
        stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
    return stream;
}

// Reads bits from a stream position.
struct SBitReader {
    const std::vector<uint8_t>& data;
    size_t bit;
    uint32_t Get(int count)
    {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++bit) v = (v << 1) | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        return v;
    }
};

// Offsets of the bytes just after every start code 00 00 01 xx with the given xx.
std::vector<size_t> StartCodes(const std::vector<uint8_t>& s, uint8_t code)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == code) at.push_back(i + 4);
    return at;
}

struct SGop {
    int hours, minutes, seconds, pictures, closed, broken;
};

std::vector<SGop> Gops(const std::vector<uint8_t>& s)
{
    std::vector<SGop> gops;
    for (size_t at : StartCodes(s, 0xB8)) {
        SBitReader r{s, at * 8};
        SGop g{};
        EXPECT_EQ(r.Get(1), 0u);  // drop_frame_flag
        g.hours = int(r.Get(5));
        g.minutes = int(r.Get(6));
        EXPECT_EQ(r.Get(1), 1u);
        g.seconds = int(r.Get(6));
        g.pictures = int(r.Get(6));
        g.closed = int(r.Get(1));
        g.broken = int(r.Get(1));
        gops.push_back(g);
    }
    return gops;
}

// (temporal_reference, picture_coding_type) of every picture in order.
std::vector<std::pair<int, int>> Pictures(const std::vector<uint8_t>& s)
{
    std::vector<std::pair<int, int>> pictures;
    for (size_t at : StartCodes(s, 0x00)) {
        SBitReader r{s, at * 8};
        const int tr = int(r.Get(10));
        const int type = int(r.Get(3));
        pictures.emplace_back(tr, type);
    }
    return pictures;
}

}  // namespace

TEST(Encoder, HeadersReadBackAsWritten)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CDVDParams params = Ntsc();
    params.interMatrixText = kDefaultInterMatrix;  // a loaded non-intra matrix
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromSettings(params));
    CPatternSource source(31, Moving);
    ASSERT_TRUE(encoder.Start(&source, source.FrameCount()));
    const auto s = ReadAll(encoder);

    // Sequence header.
    const auto headers = StartCodes(s, 0xB3);
    ASSERT_EQ(headers.size(), 3u);  // before each of the GOPs of 15, 15 and 1 pictures
    EXPECT_EQ(headers[0], 4u);
    SBitReader r{s, headers[0] * 8};
    EXPECT_EQ(r.Get(12), 720u);
    EXPECT_EQ(r.Get(12), 480u);
    EXPECT_EQ(r.Get(4), 2u);
    EXPECT_EQ(r.Get(4), 4u);
    EXPECT_EQ(r.Get(18), 20500u);
    EXPECT_EQ(r.Get(1), 1u);
    EXPECT_EQ(r.Get(10), 112u);
    EXPECT_EQ(r.Get(1), 0u);
    EXPECT_EQ(r.Get(1), 0u);  // default intra matrix
    EXPECT_EQ(r.Get(1), 1u);  // non-intra matrix follows in zigzag order
    uint8_t matrix[64];
    ParseMatrixText(kDefaultInterMatrix, matrix);
    const int zigzag[6] = {0, 1, 8, 16, 9, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(r.Get(8), matrix[zigzag[i]]) << i;

    // Sequence extension and sequence display extension follow, byte for byte.
    const auto ext = StartCodes(s, 0xB5);
    ASSERT_GE(ext.size(), 3u);
    const std::vector<uint8_t> sequenceExtension(s.begin() + long(ext[0]), s.begin() + long(ext[0]) + 6);
    EXPECT_EQ(sequenceExtension, (std::vector<uint8_t>{0x14, 0x82, 0x00, 0x01, 0x00, 0x00}));
    SBitReader d{s, ext[1] * 8};
    EXPECT_EQ(d.Get(4), 2u);
    EXPECT_EQ(d.Get(3), 2u);  // NTSC
    EXPECT_EQ(d.Get(1), 1u);
    EXPECT_EQ(d.Get(8), 5u);
    EXPECT_EQ(d.Get(8), 5u);
    EXPECT_EQ(d.Get(8), 4u);
    EXPECT_EQ(d.Get(14), 720u);
    EXPECT_EQ(d.Get(1), 1u);
    EXPECT_EQ(d.Get(14), 480u);

    // Closed GOPs with time codes counting 30 pictures a second; the short last GOP is
    // closed like the others.
    const auto gops = Gops(s);
    ASSERT_EQ(gops.size(), 3u);
    EXPECT_EQ(gops[0].seconds * 100 + gops[0].pictures, 0);
    EXPECT_EQ(gops[1].seconds * 100 + gops[1].pictures, 15);
    EXPECT_EQ(gops[2].seconds * 100 + gops[2].pictures, 100);
    for (const auto& g : gops) {
        EXPECT_EQ(g.closed, 1);
        EXPECT_EQ(g.broken, 0);
    }

    // I then fourteen P pictures, temporal references counting the position in the GOP.
    const auto pictures = Pictures(s);
    ASSERT_EQ(pictures.size(), 31u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].first, int(i % 15));
        EXPECT_EQ(pictures[i].second, i % 15 == 0 ? 1 : 2);
    }

    // Picture coding extension of a P picture: f_codes 5, 5, 15, 15; 9-bit DC; frame
    // picture, top field first, frame DCT flags, non-linear q, table zero, alternate scan.
    const auto pics = StartCodes(s, 0x00);
    size_t pce = 0;
    for (size_t e : ext)
        if (e > pics[1]) {
            pce = e;
            break;
        }
    SBitReader c{s, pce * 8};
    EXPECT_EQ(c.Get(4), 8u);
    EXPECT_EQ(c.Get(16), 0x55FFu);
    EXPECT_EQ(c.Get(2), 1u);
    EXPECT_EQ(c.Get(2), 3u);
    EXPECT_EQ(c.Get(1), 1u);  // top_field_first
    EXPECT_EQ(c.Get(1), 0u);
    EXPECT_EQ(c.Get(1), 0u);
    EXPECT_EQ(c.Get(1), 1u);  // q_scale_type
    EXPECT_EQ(c.Get(1), 0u);  // intra_vlc_format in P pictures
    EXPECT_EQ(c.Get(1), 1u);  // alternate_scan
    EXPECT_EQ(c.Get(1), 0u);
    EXPECT_EQ(c.Get(1), 1u);  // chroma_420_type
    EXPECT_EQ(c.Get(1), 1u);  // progressive_frame
    EXPECT_EQ(c.Get(1), 0u);
    // Nothing follows the last slice: no sequence end code.
    EXPECT_TRUE(StartCodes(s, 0xB7).empty());
}

TEST(Encoder, GopLengthOneCodesOnlyIPicturesEachWithAllHeaders)
{
    testsupport::TempDir dir;
    const std::string ini = dir.File("enc.ini");
    testsupport::WriteText(ini, "[OrvoMPG]\nOutputWidth=352\nOutputHeight=240\nMaxKeyframeInterval=1\n\n");
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromConfigFile(ini));
    EXPECT_EQ(encoder.GopLength(), 1);
    CPatternSource source(5, Moving);
    encoder.Start(&source, 5);
    std::vector<uint8_t> s, buffer(1 << 20);
    int cycles = 0;
    while (true) {
        const int64_t before = encoder.FramesCoded();
        const int32_t n = encoder.Read(buffer.data(), int32_t(buffer.size()));
        if (n == 0) break;
        EXPECT_EQ(encoder.FramesCoded() - before, 1);  // one picture per filled buffer
        EXPECT_TRUE(encoder.IsDrained());
        s.insert(s.end(), buffer.begin(), buffer.begin() + n);
        ++cycles;
    }
    EXPECT_EQ(cycles, 5);
    EXPECT_EQ(StartCodes(s, 0xB3).size(), 5u);
    EXPECT_EQ(StartCodes(s, 0xB5).size(), 15u);  // two sequence extensions + one picture extension each
    EXPECT_EQ(Gops(s).size(), 5u);
    for (const auto& p : Pictures(s)) EXPECT_EQ(p, std::make_pair(0, 1));
}

TEST(Encoder, ConfigurationFileDefaultsAndRanges)
{
    testsupport::TempDir dir;
    const std::string ini = dir.File("enc.ini");
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromConfigFile(dir.File("missing.ini")));
    EXPECT_EQ(encoder.Width(), 720);
    EXPECT_EQ(encoder.Height(), 480);
    EXPECT_EQ(encoder.AspectCode(), 2);
    EXPECT_EQ(encoder.VideoFormat(), 2);
    EXPECT_EQ(encoder.FrameRateCode(), 4);
    EXPECT_EQ(encoder.GopLength(), 15);
    EXPECT_EQ(encoder.TargetBitRate(), 7000000.0);
    EXPECT_EQ(encoder.OutputFileName(), "./orvompg.m2v");
    EXPECT_EQ(encoder.MaxFileSize(), 1024000000);

    testsupport::WriteText(ini,
                           "[OrvoMPG]\nMaxKeyframeInterval=0\nTargetBitRate=100000\nAspectRatio=16:9\n"
                           "VideoFormat=PAL\nFrameRate=25\nOutputHeight=576\nMaxMpegFileSize=100\n\n");
    ASSERT_TRUE(encoder.InitFromConfigFile(ini));
    EXPECT_EQ(encoder.GopLength(), 15);
    EXPECT_EQ(encoder.TargetBitRate(), 7000000.0);
    EXPECT_EQ(encoder.AspectCode(), 3);
    EXPECT_EQ(encoder.VideoFormat(), 1);
    EXPECT_EQ(encoder.FrameRateCode(), 3);
    EXPECT_EQ(encoder.FrameRate(), 25.0);
    EXPECT_EQ(encoder.MaxFileSize(), 1024000000);

    testsupport::WriteText(ini,
                           "[OrvoMPG]\nMaxKeyframeInterval=300\nTargetBitRate=5500000.5\nAspectRatio=16:10\n"
                           "VideoFormat=pal\nFrameRate=25.0\n\n");
    ASSERT_TRUE(encoder.InitFromConfigFile(ini));
    EXPECT_EQ(encoder.GopLength(), 15);
    EXPECT_EQ(encoder.TargetBitRate(), 5500000.5);
    EXPECT_EQ(encoder.AspectCode(), 2);  // unknown aspect
    EXPECT_EQ(encoder.VideoFormat(), 2);  // comparisons are case-sensitive
    EXPECT_EQ(encoder.FrameRateCode(), 4);

    // Sizes that are not whole macroblocks fail the initialisation instead of coding junk.
    testsupport::WriteText(ini, "[OrvoMPG]\nOutputWidth=700\n\n");
    EXPECT_FALSE(encoder.InitFromConfigFile(ini));
    CEncoder unstarted;
    uint8_t b[64];
    EXPECT_EQ(unstarted.Read(b, 64), 0);
}

TEST(Encoder, ReadReturnsTheRestOnlyBelowLengthMinus16)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    auto make = [](CEncoder& e, CPatternSource& src) {
        ASSERT_TRUE(e.InitFromSettings(Ntsc()));
        e.Start(&src, src.FrameCount());
    };
    // The size of the first GOP, from a read larger than it.
    size_t gopSize;
    {
        CEncoder e;
        CPatternSource src(30, Moving);
        make(e, src);
        std::vector<uint8_t> big(8 << 20);
        gopSize = size_t(e.Read(big.data(), int32_t(big.size())));
        ASSERT_GT(gopSize, 10000u);
        EXPECT_TRUE(e.IsDrained());
    }
    CEncoder e;
    CPatternSource src(30, Moving);
    make(e, src);
    const int32_t length = 2048;
    std::vector<uint8_t> buffer(size_t(length) + 64);
    // Leave 2038 bytes: between L - 16 and L, so the read gives L - 16 = 2032 ...
    const int32_t first = int32_t(gopSize) - (length - 10);
    std::vector<uint8_t> head(static_cast<size_t>(first));
    ASSERT_EQ(e.Read(head.data(), first), first);
    EXPECT_EQ(e.Read(buffer.data(), length), length - 16);
    EXPECT_FALSE(e.IsDrained());
    // ... and the 6 left come with the next read, which ends the GOP.
    EXPECT_EQ(e.Read(buffer.data(), length), 6);
    EXPECT_TRUE(e.IsDrained());

    // Exactly L bytes left also gives L - 16, then 16.
    CEncoder e2;
    CPatternSource src2(30, Moving);
    make(e2, src2);
    std::vector<uint8_t> head2(gopSize - size_t(length));
    ASSERT_EQ(e2.Read(head2.data(), int32_t(head2.size())), int32_t(head2.size()));
    EXPECT_EQ(e2.Read(buffer.data(), length), length - 16);
    EXPECT_EQ(e2.Read(buffer.data(), length), 16);
    EXPECT_TRUE(e2.IsDrained());
}

TEST(Encoder, TimesAreExactAndMarkTheEndAfterTheLastByte)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    // 25 + 5 = 30 frames: the last GOP is complete. 20 + 5 = 25: the last GOP is short.
    for (int64_t frames : {25, 20}) {
        CPatternSource source(frames, Moving);
        CVideoSlide video(source);
        ASSERT_EQ(video.InitFromSettings(Ntsc()), 1);
        ASSERT_EQ(video.Start(nullptr, 0, 0), 1);
        std::vector<uint8_t> buffer(2048);
        uint32_t lastTime = 0;
        int32_t n;
        while ((n = video.Read(buffer.data(), 2048)) > 0) {
            if (video.CurrentPictureTime() == CVideo::endOfStreamTime) break;
            EXPECT_EQ(video.CurrentPictureTime() % 3003, 0u);
            EXPECT_EQ(video.NextPictureTime(), video.CurrentPictureTime() + 3003);
            EXPECT_GE(video.CurrentPictureTime(), lastTime);
            lastTime = video.CurrentPictureTime();
        }
        // The read that delivered the last byte already reports the end.
        ASSERT_GT(n, 0) << frames;
        EXPECT_EQ(video.CurrentPictureTime(), 2592000000u);
        EXPECT_EQ(video.NextPictureTime(), 2592000000u);
        EXPECT_TRUE(video.IsDrained());
        EXPECT_EQ(video.Encoder().FramesCoded(), frames + 5);
        EXPECT_EQ(video.Read(buffer.data(), 2048), 0);
        EXPECT_EQ(video.Read(buffer.data(), 2048), 0);
        EXPECT_EQ(video.CurrentPictureTime(), 2592000000u);
    }
}

// A decoded file whose length was only estimated ends the stream with its last picture
// instead of coding the estimate: a GOP cut short is still a complete last GOP.
TEST(Encoder, SourceThatRunsOutEndsTheStreamEarly)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    class CShortSource : public CPatternSource {
    public:
        CShortSource() : CPatternSource(432000, Moving) {}
        bool Exhausted() override { return next >= 23; }
    } source;
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromSettings(Ntsc()));
    ASSERT_TRUE(encoder.Start(&source, source.FrameCount()));
    const std::vector<uint8_t> stream = ReadAll(encoder);
    EXPECT_EQ(encoder.FramesCoded(), 23);
    EXPECT_EQ(source.next, 23);
    EXPECT_EQ(Pictures(stream).size(), 23u);
    EXPECT_TRUE(encoder.StreamFinished());
    EXPECT_EQ(encoder.CurrentPictureTime(), CEncoder::endOfStreamTime);
}

TEST(Encoder, PictureTicksAreExactIntegers)
{
    CEncoder ntsc, pal;
    CDVDParams p = Ntsc();
    ASSERT_TRUE(ntsc.InitFromSettings(p));
    p.frameRateCode = 3;
    p.height = 576;
    ASSERT_TRUE(pal.InitFromSettings(p));
    for (int64_t n = 0; n < 200000; n += 7) {
        ASSERT_EQ(ntsc.PictureTicks(n), uint64_t(n) * 3003u);
        ASSERT_EQ(pal.PictureTicks(n), uint64_t(n) * 3600u);
    }
}

TEST(Encoder, StaticPPictureSkipsInnerMacroblocks)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CEncoder encoder;
    CDVDParams params = Ntsc();
    params.width = 352;
    params.height = 240;
    ASSERT_TRUE(encoder.InitFromSettings(params));
    const int columns = 22, rows = 15;
    std::vector<int32_t> flags, vx, vy;
    encoder.SetPictureHook([&](const CEncoder::SPictureInfo& info) {
        if (info.frameNumber != 1) return;
        const CFrame& f = info.reconstruction;
        flags.assign(f.Array(CFrame::kMbFlags), f.Array(CFrame::kMbFlags) + f.mbCount);
        vx.assign(f.Array(CFrame::kMotionX), f.Array(CFrame::kMotionX) + f.mbCount);
        vy.assign(f.Array(CFrame::kMotionY), f.Array(CFrame::kMotionY) + f.mbCount);
    });
    CPatternSource source(2, [](int64_t, CYUV420Image& p) { Fill(p, 90, 110, 140); });
    encoder.Start(&source, 2);
    ReadAll(encoder);
    ASSERT_EQ(flags.size(), size_t(columns * rows));
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const int b = row * columns + column;
            const bool edge = column == columns - 1 || row == rows - 1;
            if (edge) {
                // The window leaves out the zero vector here: a vector, coded without blocks.
                EXPECT_EQ(flags[b], 8) << column << "," << row;
                EXPECT_TRUE(vx[b] != 0 || vy[b] != 0) << column << "," << row;
                if (column == columns - 1) {
                    EXPECT_LE(vx[b], -2) << row;
                }
                if (row == rows - 1 && column < columns - 1) {
                    EXPECT_LE(vy[b], -2) << column;
                }
            } else if (column == 0) {
                // First of its slice: motion compensated, not coded, zero vector.
                EXPECT_EQ(flags[b], 8) << row;
                EXPECT_EQ(vx[b], 0);
                EXPECT_EQ(vy[b], 0);
            } else {
                EXPECT_EQ(flags[b], 0) << column << "," << row;  // skipped
                EXPECT_EQ(vx[b], 0);
                EXPECT_EQ(vy[b], 0);
            }
        }
}

TEST(Encoder, FortySkippedMacroblocksAreAnEscapeAndIncrementEight)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromSettings(Ntsc()));
    // Frame 1 repeats frame 0 except macroblock 41 of the top row.
    CPatternSource source(2, [](int64_t n, CYUV420Image& p) {
        Fill(p, 90);
        if (n == 1)
            for (int y = 0; y < 16; ++y) std::memset(p.planeY + y * p.width + 41 * 16, 230, 16);
    });
    encoder.Start(&source, 2);
    const auto s = ReadAll(encoder);
    const auto slices = StartCodes(s, 0x01);
    ASSERT_EQ(slices.size(), 2u);  // the top slice of each picture
    SBitReader r{s, slices[1] * 8};
    r.Get(5);  // quantiser_scale_code
    EXPECT_EQ(r.Get(1), 0u);
    // Macroblock 0: increment 1, motion compensated not coded, frame motion, zero vector.
    EXPECT_EQ(r.Get(1), 1u);
    EXPECT_EQ(r.Get(3), 1u);
    EXPECT_EQ(r.Get(2), 2u);
    EXPECT_EQ(r.Get(2), 3u);  // two motion_code 0
    // Macroblocks 1..40 skipped: escape (33) then the code of 8.
    EXPECT_EQ(r.Get(11), 0x008u);
    EXPECT_EQ(r.Get(7), 0x07u);
}

TEST(Encoder, LongGopsGrowTheGroupBufferInsteadOfOverwritingIt)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    testsupport::TempDir dir;
    const std::string ini = dir.File("enc.ini");
    testsupport::WriteText(ini,
                           "[OrvoMPG]\nOutputWidth=352\nOutputHeight=240\nMaxKeyframeInterval=60\n"
                           "TargetBitRate=15000000\n\n");
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromConfigFile(ini));
    std::mt19937 rng(3);
    CPatternSource source(60, [&](int64_t, CYUV420Image& p) {
        for (int i = 0; i < p.planarSize; ++i) p.planeY[i] = uint8_t(rng());
    });
    encoder.Start(&source, 60);
    std::vector<uint8_t> gop(32 << 20);
    const int32_t n = encoder.Read(gop.data(), int32_t(gop.size()));
    gop.resize(size_t(n));
    ASSERT_GT(gop.size(), CEncoder::groupBufferSize);
    EXPECT_FALSE(encoder.Failed());
    // One intact GOP: headers at the start and all 60 pictures in order.
    EXPECT_EQ(StartCodes(gop, 0xB3), std::vector<size_t>{4});
    const auto pictures = Pictures(gop);
    ASSERT_EQ(pictures.size(), 60u);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(pictures[size_t(i)].first, i);
}

TEST(Encoder, ProgressWindowAndCancel)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CDVDParams params = Ntsc();
    params.width = 352;
    params.height = 240;
    params.jobName = std::string(50, 'x');
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromSettings(params));
    ui.CancelAtPump(0, 2);  // cancel noticed at the start of the second GOP
    CPatternSource source(100, Moving);
    encoder.Start(&source, 100);
    ASSERT_FALSE(ui.progress.empty());
    EXPECT_EQ(ui.progress[0].what, "open");
    bool sawTitle = false, sawText = false;
    for (const auto& e : ui.progress) {
        if (e.value.find("Kestrova DVD Encoder") != std::string::npos) sawTitle = true;
        if (e.value.find("Encoding " + std::string(45, 'x') + "......") != std::string::npos) sawText = true;
    }
    EXPECT_TRUE(sawTitle);
    EXPECT_TRUE(sawText);
    const auto s = ReadAll(encoder);
    // The first GOP and the picture being coded when the cancel came.
    EXPECT_TRUE(encoder.Cancelled());
    EXPECT_EQ(encoder.FramesCoded(), 16);
    EXPECT_EQ(Pictures(s).size(), 16u);
    EXPECT_EQ(encoder.CurrentPictureTime(), 2592000000u);
    EXPECT_EQ(ui.progress.back().what, "close");
}

TEST(VideoSlide, ReportsResolutionRateAndAspectClasses)
{
    CPatternSource source(1, Moving);
    CVideoSlide video(source);
    struct SCase {
        int width, height, frameRateCode, aspect, resolution, rateClass;
        bool wide;
    } cases[] = {{720, 480, 4, 3, 0, 30, true},
                 {704, 576, 3, 2, 1, 25, false},
                 {352, 576, 3, 2, 2, 25, false},
                 {352, 240, 4, 2, 3, 30, false}};
    for (const SCase& c : cases) {
        CDVDParams params = Ntsc();
        params.width = c.width;
        params.height = c.height;
        params.frameRateCode = c.frameRateCode;
        params.aspectCode = c.aspect;
        ASSERT_EQ(video.InitFromSettings(params), 1);
        EXPECT_EQ(video.ResolutionCode(), c.resolution) << c.width << "x" << c.height;
        EXPECT_EQ(video.FrameRateClass(), c.rateClass);
        EXPECT_EQ(video.IsWideScreen(), c.wide);
    }
    // A size that is not made of whole macroblocks is refused.
    CDVDParams odd = Ntsc();
    odd.width = 500;
    EXPECT_EQ(video.InitFromSettings(odd), 0);
}
