// The MPEG-2 video stream judged by programs we did not write: FFmpeg decodes the sample
// album's stream without an error line and its pictures equal the encoder's own
// reconstruction (only the inverse-DCT rounding may differ); ffprobe reads the headers
// back (720 x 480, 29.97, Main@Main, closed GOPs of 15 with their time codes); a minute
// of detailed video keeps to the target bit rate.
#include "app/Project.h"
#include "base/DVDParams.h"
#include "mpeg2enc/Encoder.h"
#include "mpeg2enc/VideoSlide.h"
#include "picture/FrameSource.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

constexpr int width = 720, height = 480;
constexpr size_t frameBytes = size_t(width) * height * 3 / 2;

double Psnr(double squaredError, double samples)
{
    return squaredError <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * samples / squaredError);
}

double SquaredError(const uint8_t* a, const uint8_t* b, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        s += d * d;
    }
    return s;
}

struct SEncoded {
    std::vector<uint8_t> stream;
    std::map<int64_t, std::vector<uint8_t>> kept;  // reconstructions of every n-th picture
    double sourceErrorY = 0.0;  // against the pictures given to the encoder
    int64_t pictures = 0;
    double frameRate = 0.0;
};

// Runs the encoder to the end, keeping the reconstruction of every `keepEvery`-th picture.
void Drain(CEncoder& encoder, int keepEvery, SEncoded& out)
{
    encoder.SetPictureHook([&](const CEncoder::SPictureInfo& info) {
        const CYUV420Image& r = info.reconstruction.picture;
        out.sourceErrorY += SquaredError(r.planeY, info.source.planeY, size_t(r.lumaSize));
        if (info.frameNumber % keepEvery == 0) out.kept[info.frameNumber].assign(r.planeY, r.planeY + r.planarSize);
        ++out.pictures;
    });
    std::vector<uint8_t> buffer(2048);
    for (int32_t n; (n = encoder.Read(buffer.data(), 2048)) > 0;)
        out.stream.insert(out.stream.end(), buffer.begin(), buffer.begin() + n);
    out.frameRate = encoder.FrameRate();
}

// Decodes `path` with FFmpeg and compares the kept reconstructions with the decoded
// pictures. Returns the lowest PSNR over all three planes of the compared pictures.
double CompareWithDecoder(const std::string& path, const SEncoded& encoded, int64_t& decodedPictures,
                          std::string& errors)
{
    const std::string errFile = path + ".err";
    FILE* pipe = popen(
        ("ffmpeg -v error -i " + Quote(path) + " -f rawvideo -pix_fmt yuv420p - 2>" + Quote(errFile)).c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::vector<uint8_t> frame(frameBytes);
    double worst = 99.0;
    decodedPictures = 0;
    while (pipe && std::fread(frame.data(), 1, frameBytes, pipe) == frameBytes) {
        const auto kept = encoded.kept.find(decodedPictures);
        if (kept != encoded.kept.end()) {
            const double e = SquaredError(frame.data(), kept->second.data(), frameBytes);
            worst = std::min(worst, Psnr(e, double(frameBytes)));
        }
        ++decodedPictures;
    }
    if (pipe) {
        EXPECT_EQ(pclose(pipe), 0);
    }
    errors = ReadText(errFile);
    return worst;
}

// The sample album rendered as the DVD job renders it.
std::unique_ptr<CPhotoSlideSource> SampleShow()
{
    CAlbum album;
    std::string error;
    EXPECT_TRUE(LoadProject(album, DataDir() + "/sample/album.osh", &error)) << error;
    auto show = std::make_unique<CPhotoSlideSource>();
    EXPECT_TRUE(show->Init(width, height, 29.97));
    for (const CAlbumPhoto& p : album.photos)
        show->AddPhoto(p.transitionType, p.photoPath, p.showSeconds * 1000, p.transitionSeconds * 1000, p.panZoomType);
    return show;
}

// A minute of detailed, moving video: a fixed texture drifting diagonally with fresh
// grain on every picture, which keeps the rate control away from its finest quantiser.
class CDetailSource : public CFrameSource {
public:
    explicit CDetailSource(int64_t frames) : frames(frames), texture(size_t(1024) * 1024)
    {
        std::mt19937 rng(42);
        for (size_t i = 0; i < texture.size(); ++i) {
            const int x = int(i % 1024), y = int(i / 1024);
            const double v = 128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.03) + int(rng() % 40) - 20;
            texture[i] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
    }
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override
    {
        CYUV420Image& p = frame.picture;
        const int shift = int(n * 2 % 256);
        std::mt19937 grain{uint32_t(n)};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int v = texture[size_t(y + shift) * 1024 + size_t(x + shift)] + int(grain() % 7) - 3;
                p.planeY[y * width + x] = uint8_t(std::clamp(v, 0, 255));
            }
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width / 2; ++x) {
                p.planeCb[y * width / 2 + x] = uint8_t(texture[size_t(y * 2 + shift) * 1024 + size_t(x)] / 2 + 64);
                p.planeCr[y * width / 2 + x] =
                    uint8_t(255 - texture[size_t(y) * 1024 + size_t(x * 2 + shift)] / 2 - 64);
            }
        ++n;
    }

private:
    int64_t frames;
    int64_t n = 0;
    std::vector<uint8_t> texture;
};

}  // namespace

TEST(Mpeg2Stream, SampleAlbumDecodesAsReconstructedAndReadsBack)
{
    TempDir dir;
    const std::string cliOut = dir.File("album.m2v");
    const RunResult cli = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(DataDir() + "/sample/album.osh") +
                                           " --m2v " + Quote(cliOut) + " --bitrate 6000000 --wide");
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_FALSE(std::filesystem::exists(cliOut + ".part"));

    // The same show encoded here, keeping the reconstruction: the bytes are the CLI's.
    CScriptedUi ui;
    CUiScope scope(ui);
    auto show = SampleShow();
    CVideoSlide video(std::make_unique<CSlideFrameSource>(*show));
    CDVDParams params;
    params.aspectCode = 3;
    params.videoBitRate = 6000000.0;
    params.jobName = "album.osh";
    ASSERT_EQ(video.InitFromSettings(params), 1);
    ASSERT_EQ(video.Start(nullptr, 0, 0), 1);
    SEncoded encoded;
    Drain(video.Encoder(), 6, encoded);
    ASSERT_EQ(encoded.pictures, show->FrameCount() + 5);
    EXPECT_TRUE(encoded.stream == ReadBytes(cliOut)) << "the CLI wrote a different stream";

    int64_t decoded = 0;
    std::string errors;
    const double worst = CompareWithDecoder(cliOut, encoded, decoded, errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(decoded, encoded.pictures);
    EXPECT_GE(worst, 50.0) << "decoded pictures differ from the encoder's reconstruction";
    const double seconds = double(encoded.pictures) / encoded.frameRate;
    const double psnrY = Psnr(encoded.sourceErrorY, double(width) * height * double(encoded.pictures));
    std::printf(
        "sample album: %lld pictures, %.0f bit/s, PSNR-Y %.2f dB against the rendered frames, "
        "decoder vs reconstruction at least %.2f dB\n",
        static_cast<long long>(encoded.pictures), double(encoded.stream.size()) * 8.0 / seconds, psnrY, worst);
    RecordProperty("psnr_y_vs_rendered", std::to_string(psnrY));
    EXPECT_GT(psnrY, 35.0);

    // Headers as ffprobe reads them.
    const RunResult probe = testsupport::Run(
        "ffprobe -v error -select_streams v:0 -show_entries "
        "stream=codec_name,profile,level,width,height,r_frame_rate,display_aspect_ratio "
        "-of default=noprint_wrappers=1 " +
        Quote(cliOut));
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_EQ(probe.err, "");
    for (const char* line : {"codec_name=mpeg2video", "profile=Main", "level=8", "width=720", "height=480",
                             "r_frame_rate=30000/1001", "display_aspect_ratio=16:9"})
        EXPECT_NE(probe.out.find(line), std::string::npos) << line << "\n" << probe.out;

    const RunResult frames = testsupport::Run(
        "ffprobe -v error -show_frames -show_entries frame=pict_type:frame_side_data=timecode "
        "-of compact " +
        Quote(cliOut));
    ASSERT_EQ(frames.exitCode, 0) << frames.err;
    std::vector<std::string> types, timecodes;
    std::istringstream lines(frames.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t t = line.find("pict_type=");
        if (t != std::string::npos) types.push_back(line.substr(t + 10, 1));
        if (line.rfind("side_data|timecode=", 0) == 0) timecodes.push_back(line.substr(19, 11));
    }
    ASSERT_EQ(int64_t(types.size()), encoded.pictures);
    for (size_t i = 0; i < types.size(); ++i) ASSERT_EQ(types[i], i % 15 == 0 ? "I" : "P") << i;
    ASSERT_GE(timecodes.size(), 4u) << frames.out.substr(0, 2000);
    EXPECT_EQ(timecodes[0], "00:00:00:00");
    EXPECT_EQ(timecodes[1], "00:00:00:15");
    EXPECT_EQ(timecodes[2], "00:00:01:00");
    EXPECT_EQ(timecodes[3], "00:00:01:15");

    // Every GOP is closed: the flag byte after each GOP header's time code.
    int gops = 0;
    const auto& s = encoded.stream;
    for (size_t i = 0; i + 7 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB8) {
            EXPECT_EQ(s[i + 7] & 0x40, 0x40) << "GOP " << gops << " is not closed";
            ++gops;
        }
    EXPECT_EQ(gops, int((encoded.pictures + 14) / 15));
}

TEST(Mpeg2Stream, AMinuteOfDetailedVideoKeepsToTheTargetRate)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CDVDParams params;
    params.aspectCode = 2;
    params.videoBitRate = 6000000.0;
    params.jobName = "detail";
    const int64_t frames = 1798;  // 60 seconds at 30000/1001
    CDetailSource source(frames);
    CEncoder encoder;
    ASSERT_TRUE(encoder.InitFromSettings(params));
    ASSERT_TRUE(encoder.Start(&source, frames));
    SEncoded encoded;
    Drain(encoder, 30, encoded);
    ASSERT_EQ(encoded.pictures, frames);
    const double seconds = double(frames) / encoder.FrameRate();
    const double rate = double(encoded.stream.size()) * 8.0 / seconds;
    const double psnrY = Psnr(encoded.sourceErrorY, double(width) * height * double(frames));
    std::printf("60 s of detailed video at a 6000000 bit/s target: %.0f bit/s (%.2f %%), PSNR-Y %.2f dB\n", rate,
                (rate / 6000000.0 - 1.0) * 100.0, psnrY);
    EXPECT_NEAR(rate, 6000000.0, 300000.0);

    TempDir dir;
    const std::string path = dir.File("detail.m2v");
    WriteBytes(path, encoded.stream);
    int64_t decoded = 0;
    std::string errors;
    const double worst = CompareWithDecoder(path, encoded, decoded, errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(decoded, frames);
    EXPECT_GE(worst, 50.0);
}
