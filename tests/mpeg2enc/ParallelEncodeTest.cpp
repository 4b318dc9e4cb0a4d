// Coding a picture on several threads: slices joined from separate bit writers, and
// whole streams that must not change by a single byte with the number of threads.
#include "base/DVDParams.h"
#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/Encoder.h"
#include "picture/FrameSource.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

// Threads of this process, from /proc/self/task.
int ProcessThreads()
{
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    int count = 0;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

// Pictures with a bit of everything the coder decides between: texture that pans at a
// speed changing from picture to picture, from the top row on (vectors, half-sample
// positions, neighbours' candidates that differ from the previous pictures'), a static
// flat area at the bottom (skipped macroblocks), a patch of fresh noise in every picture
// (intra macroblocks in P pictures) and a scene change half way (q jumps).
class CBusySource : public CFrameSource {
public:
    explicit CBusySource(int64_t frames) : frames(frames) {}
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override
    {
        CYUV420Image& p = frame.picture;
        const int64_t n = next++;
        std::mt19937 rng(uint32_t(n) * 7919u + 1u);
        const int shift = n < frames / 2 ? 0 : 97;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                uint8_t v;
                const int panX = int(n * n) / 3 + (x < p.width / 2 ? 0 : int(n)), panY = int(n % 5);
                if (y >= p.height * 2 / 3)
                    v = 90;  // static
                else if (x > p.width / 2 && x < p.width / 2 + 40 && y > p.height / 3 && y < p.height / 3 + 40)
                    v = uint8_t(rng());  // noise
                else
                    v = uint8_t(128 + 50 * std::sin((x + panX + shift) * 0.19) * std::cos((y + panY) * 0.23) +
                                ((x + panX) * 7 + (y + panY) * 3) % 23);
                p.planeY[y * p.width + x] = v;
            }
        for (int i = 0; i < p.chromaSize; ++i) {
            const bool still = i / (p.width / 2) * 2 >= p.height * 2 / 3;
            p.planeCb[i] = uint8_t(still ? 120 : 110 + (i + n) % 30);
            p.planeCr[i] = uint8_t(still ? 130 : 140 - (i / 7 + shift) % 25);
        }
    }

private:
    int64_t frames;
    int64_t next = 0;
};

struct SStream {
    std::vector<uint8_t> bytes;
    std::vector<int> quantisers;
    int intraMacroblocksInP = 0, skipped = 0, halfSampleVectors = 0;
    std::vector<uint8_t> lastReconstruction;
};

// Without `watched` no picture hook is set (the encoder then leaves the last picture of
// each group unreconstructed) and only the bytes are returned.
SStream Encode(int threads, int width, int height, double bitRate, int frames, int32_t chunk = 2048,
               bool watched = true)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CDVDParams params;
    params.width = width;
    params.height = height;
    params.videoBitRate = bitRate;
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    CEncoder encoder;
    encoder.SetThreads(threads);
    EXPECT_EQ(encoder.Threads(), threads);
    EXPECT_TRUE(encoder.InitFromSettings(params));
    SStream out;
    if (watched)
        encoder.SetPictureHook([&](const CEncoder::SPictureInfo& info) {
            out.quantisers.push_back(info.quantiser);
            const int32_t* flags = info.reconstruction.Array(CFrame::kMbFlags);
            const int32_t* vx = info.reconstruction.Array(CFrame::kMotionX);
            for (int b = 0; b < info.reconstruction.mbCount; ++b) {
                if (info.intra) continue;
                if (flags[b] & 1) ++out.intraMacroblocksInP;
                if (flags[b] == 0) ++out.skipped;
                if (vx[b] & 1) ++out.halfSampleVectors;
            }
            const CYUV420Image& r = info.reconstruction.picture;
            out.lastReconstruction.assign(r.planeY, r.planeY + r.planarSize);
        });
    CBusySource source(frames);
    EXPECT_TRUE(encoder.Start(&source, frames));
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (int32_t n; (n = encoder.Read(buffer.data(), chunk)) > 0;)
        out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + n);
    EXPECT_FALSE(encoder.Failed());
    EXPECT_EQ(encoder.FramesCoded(), frames);
    return out;
}

}  // namespace

TEST(ParallelEncode, JoinedSlicesEqualOneWriter)
{
    // Random runs of codes split at byte-aligned points into separate writers, then
    // appended, must give the bits of one writer that wrote everything.
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> whole(4096, 0xEE), joined(4096, 0xDD), part(4096, 0xCC);
        CBitWriter one, target, piece;
        one.Attach(whole.data(), whole.size());
        target.Attach(joined.data(), joined.size());
        const int pieces = 1 + int(rng() % 5);
        for (int k = 0; k < pieces; ++k) {
            piece.Attach(part.data(), part.size());
            one.AlignToByte();
            // The first piece may start in the middle of the target's word.
            const int codes = int(rng() % (k == 0 ? 3 : 400));
            for (int c = 0; c < codes; ++c) {
                const int count = 1 + int(rng() % 32);
                const uint32_t value = rng();
                one.PutBits(value, count);
                piece.PutBits(value, count);
            }
            const uint64_t bits = piece.BitCount();
            const size_t end = piece.Finish();
            ASSERT_EQ(end, (bits + 7) / 8);
            target.AlignToByte();
            ASSERT_TRUE(target.AppendBits(part.data(), bits));
        }
        ASSERT_EQ(target.BitCount(), one.BitCount()) << round;
        const size_t a = one.Finish(), b = target.Finish();
        ASSERT_EQ(a, b);
        ASSERT_EQ(std::memcmp(whole.data(), joined.data(), a), 0) << round;
    }
}

TEST(ParallelEncode, AppendRefusesUnalignedWritersAndStopsAtTheBufferEnd)
{
    const uint8_t data[16] = {0xFF, 0x01, 0x80, 0x7E, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> buffer(32, 0);
    CBitWriter w;
    w.Attach(buffer.data(), buffer.size());
    w.PutBits(1, 3);
    EXPECT_FALSE(w.AppendBits(data, 8));
    EXPECT_EQ(w.BitCount(), 3u);
    w.AlignToByte();
    EXPECT_TRUE(w.AppendBits(data, 21));  // two bytes and the top 5 bits of 0x80
    EXPECT_EQ(w.BitCount(), 8u + 21u);
    EXPECT_EQ(w.Finish(), 4u);
    EXPECT_EQ(buffer[0], 0x20);
    EXPECT_EQ(buffer[1], 0xFF);
    EXPECT_EQ(buffer[2], 0x01);
    EXPECT_EQ(buffer[3], 0x80);

    // A writer of 16 bytes: whole words that do not fit are dropped, never written past.
    std::vector<uint8_t> small(24, 0x55);
    CBitWriter s;
    s.Attach(small.data(), 16);
    s.PutBits(0xAB, 8);
    s.AppendBits(data, 16 * 8);
    s.AppendBits(data, 16 * 8);
    s.Finish();
    EXPECT_TRUE(s.overflowed);
    for (size_t i = 16; i < small.size(); ++i) EXPECT_EQ(small[i], 0x55) << i;
}

TEST(ParallelEncode, StreamsAreIdenticalForAnyThreadCount)
{
    // 13 macroblock rows (not a multiple of 2 or 3, fewer than 2 x 7), a low bit rate so
    // that the quantiser moves, 20 pictures: I, fourteen P, I, four P.
    const int width = 352, height = 208, frames = 20;
    const SStream serial = Encode(1, width, height, 1500000.0, frames);
    ASSERT_GT(serial.bytes.size(), 1000u);
    // The content really exercises the decisions that cross rows.
    EXPECT_GT(std::set<int>(serial.quantisers.begin(), serial.quantisers.end()).size(), 2u);
    EXPECT_GT(serial.intraMacroblocksInP, 0);
    EXPECT_GT(serial.skipped, 0);
    EXPECT_GT(serial.halfSampleVectors, 0);
    for (int threads : {2, 3, 7}) {
        const SStream parallel = Encode(threads, width, height, 1500000.0, frames, threads == 3 ? 777 : 2048);
        EXPECT_EQ(parallel.quantisers, serial.quantisers) << threads << " threads";
        EXPECT_TRUE(parallel.lastReconstruction == serial.lastReconstruction) << threads << " threads";
        ASSERT_EQ(parallel.bytes.size(), serial.bytes.size()) << threads << " threads";
        EXPECT_TRUE(parallel.bytes == serial.bytes) << threads << " threads";
    }
    // Unwatched, the last picture of the first group (frame 14) is not reconstructed:
    // nothing predicts from it, so the stream stays the same.
    for (int threads : {1, 2})
        EXPECT_TRUE(Encode(threads, width, height, 1500000.0, frames, 2048, false).bytes == serial.bytes)
            << threads << " threads, no hook";
}

TEST(ParallelEncode, MoreThreadsThanRowsAndFullSizePictures)
{
    // One row of macroblocks per thread and more: 32 lines with 7 threads.
    EXPECT_TRUE(Encode(7, 64, 32, 800000.0, 6).bytes == Encode(1, 64, 32, 800000.0, 6).bytes);
    // A DVD picture at an ordinary rate, 2 threads against 1.
    EXPECT_TRUE(Encode(2, 720, 480, 6000000.0, 4).bytes == Encode(1, 720, 480, 6000000.0, 4).bytes);
}

TEST(ParallelEncode, WorkersStopAtTheEndOfTheStreamOnCancelAndOnDestruction)
{
    const int before = ProcessThreads();
    ASSERT_GT(before, 0);
    CDVDParams params;
    params.width = 352;
    params.height = 240;
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    std::vector<uint8_t> buffer(4096);

    {
        // Cancelled at the second GOP: the stream ends and the helpers are gone.
        CScriptedUi ui;
        CUiScope scope(ui);
        ui.CancelAtPump(0, 2);
        CEncoder encoder;
        encoder.SetThreads(4);
        ASSERT_TRUE(encoder.InitFromSettings(params));
        CBusySource source(100);
        ASSERT_TRUE(encoder.Start(&source, 100));
        EXPECT_EQ(ProcessThreads(), before + 3);
        while (encoder.Read(buffer.data(), int32_t(buffer.size())) > 0) {}
        EXPECT_TRUE(encoder.Cancelled());
        EXPECT_EQ(encoder.FramesCoded(), 16);
        EXPECT_EQ(ProcessThreads(), before);
        // A second stream from the same encoder starts them again.
        CBusySource again(3);
        ASSERT_TRUE(encoder.Start(&again, 3));
        EXPECT_EQ(ProcessThreads(), before + 3);
        while (encoder.Read(buffer.data(), int32_t(buffer.size())) > 0) {}
        EXPECT_EQ(encoder.FramesCoded(), 3);
        EXPECT_EQ(ProcessThreads(), before);
    }
    {
        // Destroyed in the middle of a stream.
        CScriptedUi ui;
        CUiScope scope(ui);
        CEncoder encoder;
        encoder.SetThreads(3);
        ASSERT_TRUE(encoder.InitFromSettings(params));
        CBusySource source(40);
        ASSERT_TRUE(encoder.Start(&source, 40));
        EXPECT_GT(encoder.Read(buffer.data(), int32_t(buffer.size())), 0);
        EXPECT_EQ(ProcessThreads(), before + 2);
    }
    EXPECT_EQ(ProcessThreads(), before);
}
