// The high-quality mode of the MPEG-2 video encoder judged by programs we did not write:
// FFmpeg decodes its stream without an error line into the encoder's own reconstruction
// (frame prediction and the zigzag scan read back as written), and the sample album made
// with `--quality high` plays in libdvdnav, decodes cleanly and keeps the VOB rules; the
// choice is recorded in the diagnostic log and a wrong value is refused.
#include "base/DVDParams.h"
#include "mpeg2enc/Encoder.h"
#include "picture/FrameSource.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"
#include "video_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

constexpr int width = 720, height = 480;
constexpr size_t frameBytes = size_t(width) * height * 3 / 2;

// A textured picture panning by a sample and a half per picture with a little grain:
// half-sample vectors, skipped and coded macroblocks.
class CPanSource : public CFrameSource {
public:
    explicit CPanSource(int64_t frames) : frames(frames) {}
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override
    {
        CYUV420Image& p = frame.picture;
        std::mt19937 rng(uint32_t(n + 7));
        const double shift = 1.5 * double(n);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const double v = 128 + 70 * std::sin((x + shift) * 0.07) * std::cos(y * 0.05) +
                    25 * std::sin((x + shift) * 0.31 + y * 0.17) + int(rng() % 5) - 2;
                p.planeY[y * p.width + x] = uint8_t(std::clamp(v, 0.0, 255.0));
            }
        for (int i = 0; i < p.chromaSize; ++i) {
            p.planeCb[i] = uint8_t(110 + (i / 7 + n) % 40);
            p.planeCr[i] = uint8_t(140 - (i / 11) % 30);
        }
        ++n;
    }

private:
    int64_t frames;
    int64_t n = 0;
};

double SquaredError(const uint8_t* a, const uint8_t* b, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        s += d * d;
    }
    return s;
}

}  // namespace

TEST(Mpeg2HighQuality, StreamDecodesAsItsReconstruction)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    TempDir dir;
    for (double rate : {2000000.0, 7000000.0}) {
        SCOPED_TRACE(std::to_string(int(rate)) + " bit/s");
        CDVDParams params;
        params.aspectCode = 2;
        params.videoBitRate = rate;
        params.highQuality = 1;
        CEncoder encoder;
        ASSERT_TRUE(encoder.InitFromSettings(params));
        CPanSource source(40);
        std::map<int64_t, std::vector<uint8_t>> kept;
        double sourceError = 0.0;
        encoder.SetPictureHook([&](const CEncoder::SPictureInfo& info) {
            const CYUV420Image& r = info.reconstruction.picture;
            kept[info.frameNumber].assign(r.planeY, r.planeY + r.planarSize);
            sourceError += SquaredError(r.planeY, info.source.planeY, size_t(r.lumaSize));
        });
        ASSERT_TRUE(encoder.Start(&source, source.FrameCount()));
        std::vector<uint8_t> stream, buffer(2048);
        for (int32_t n; (n = encoder.Read(buffer.data(), 2048)) > 0;)
            stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
        const std::string path = dir.File("high.m2v");
        WriteBytes(path, stream);

        const std::string errFile = path + ".err";
        FILE* pipe = popen(
            ("ffmpeg -v error -i " + Quote(path) + " -f rawvideo -pix_fmt yuv420p - 2>" + Quote(errFile)).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<uint8_t> frame(frameBytes);
        int64_t decoded = 0;
        double worst = 99.0;
        while (std::fread(frame.data(), 1, frameBytes, pipe) == frameBytes) {
            const auto own = kept.find(decoded++);
            if (own == kept.end()) continue;
            const double e = SquaredError(frame.data(), own->second.data(), frameBytes);
            worst = std::min(worst, e <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(frameBytes) / e));
        }
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(ReadText(errFile), "");
        EXPECT_EQ(decoded, 40);
        // Only the inverse transform's rounding may differ between decoder and encoder.
        EXPECT_GE(worst, 50.0) << "decoded pictures differ from the encoder's reconstruction";
        const double psnr = 10.0 * std::log10(255.0 * 255.0 * double(width) * height * 40 / sourceError);
        EXPECT_GT(psnr, rate > 5000000.0 ? 38.0 : 30.0);
    }
}

TEST(Mpeg2HighQuality, SampleAlbumPlaysAndTheChoiceIsLogged)
{
    TempDir dir;
    const std::string env =
        "XDG_STATE_HOME=" + Quote(dir.File("state")) + " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " ";
    const std::string cli = env + Quote(CliPath()) + " slideshow " + Quote(DataDir() + "/sample/album.osh");
    const std::string dvd = dir.File("dvd");

    const RunResult refused = testsupport::Run(cli + " --out " + Quote(dvd) + " --quality best --yes </dev/null");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("--quality must be standard or high, not \"best\""), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dvd + "/VIDEO_TS"));

    const RunResult made = testsupport::Run(cli + " --out " + Quote(dvd) + " --quality high --yes </dev/null");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string videoTs = dvd + "/VIDEO_TS";
    videochecks::ExpectPlaysInOrder(dvd, 1);
    videochecks::ExpectDecodesCleanly(videoTs);
    videochecks::ExpectVobRules(videoTs, 1, videochecks::SStandard{false});

    std::string log;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.File("state")))
        if (entry.path().filename() == "dvdlog.txt") log = ReadText(entry.path().string());
    EXPECT_NE(log.find("Quality=high"), std::string::npos) << log;
}
