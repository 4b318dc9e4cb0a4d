// Decoding real files made by ffmpeg: frame-rate conversion, PCM conversion, photos,
// oversized and multichannel sources, lengths and damaged files.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "MediaTestFiles.h"
#include "media/DirectShowAV.h"
#include "media/MediaLength.h"
#include "media/MicRecorder.h"
#include "media/WaveHeader.h"
#include "support/ScriptedUi.h"

using mediatest::MakeMedia;
using testsupport::TempDir;

namespace {

// A clip whose picture n has every luma sample equal to 4 * n (raw, so exact).
std::string CountingClip(const TempDir& dir, const std::string& rate, int frames)
{
    std::string out = dir.File("count.nut");
    MakeMedia("-f lavfi -i \"color=c=black:s=64x48:r=" + rate + ",geq=lum='4*N':cb=128:cr=128\" -frames:v " +
                  std::to_string(frames) + " -c:v rawvideo -pix_fmt yuv420p",
              out);
    return out;
}

// Source picture numbers seen in `outputs` output frames.
std::vector<int> ReadPictureNumbers(CDirectShowAV& av, int outputs)
{
    std::vector<int> seen;
    CYUV420Image picture;
    for (int i = 0; i < outputs; ++i) {
        if (!av.GetFrame(picture)) break;
        seen.push_back(picture.planeY[picture.width * 10 + 10] / 4);
    }
    return seen;
}

double MeanLuma(const CYUV420Image& p)
{
    double sum = 0;
    for (int i = 0; i < p.lumaSize; ++i) sum += p.planeY[i];
    return sum / p.lumaSize;
}

}  // namespace

TEST(DirectShowAV, TwentyFiveSourceAtNtscRateRepeatsAboutEveryFifthFrame)
{
    TempDir dir;
    CDirectShowAV av;
    av.wantAudio = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(CountingClip(dir, "25", 50), true));
    EXPECT_EQ(av.sourceWidth, 64);
    EXPECT_NEAR(av.sourceRate, 25.0, 1e-9);
    av.SetTarget(64, 48, 30000.0 / 1001.0);
    EXPECT_TRUE(av.sameSize);
    av.Run();
    std::vector<int> seen = ReadPictureNumbers(av, 59);
    ASSERT_EQ(seen.size(), 59u);
    int repeats = 0;
    for (size_t i = 1; i < seen.size(); ++i) {
        int step = seen[i] - seen[i - 1];
        ASSERT_TRUE(step == 0 || step == 1) << "at output " << i;
        repeats += step == 0;
    }
    // 59 outputs at 29.97 cover 49 pictures at 25: one repeat in about six outputs.
    EXPECT_EQ(seen.front(), 0);
    EXPECT_NEAR(repeats, 59 - 49, 1);
}

TEST(DirectShowAV, NtscSourceAtTwentyFiveDropsFrames)
{
    TempDir dir;
    CDirectShowAV av;
    av.wantAudio = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(CountingClip(dir, "30000/1001", 60), true));
    av.SetTarget(64, 48, 25.0);
    av.Run();
    std::vector<int> seen = ReadPictureNumbers(av, 45);
    ASSERT_EQ(seen.size(), 45u);
    int drops = 0;
    for (size_t i = 1; i < seen.size(); ++i) {
        int step = seen[i] - seen[i - 1];
        ASSERT_TRUE(step == 1 || step == 2) << "at output " << i;
        drops += step == 2;
    }
    // 45 outputs at 25 cover 1.8 s: about 54 pictures at 29.97, so about 9 dropped.
    EXPECT_NEAR(drops, 9, 1);
}

TEST(DirectShowAV, LongSampleInNtscStreamIsSmoothedAndPaidOutLater)
{
    CDirectShowAV av;
    CMediaFeedFormat format;
    format.video = true;
    format.videoCode = kVideoIYUV;
    format.width = 32;
    format.height = 32;
    format.frameRate = 30000.0 / 1001.0;
    ASSERT_TRUE(av.OpenFeed(format, true));
    // A fast output takes each source picture on its own call.
    av.SetTarget(32, 32, 1000.0);
    std::vector<uint8_t> raw(static_cast<size_t>(RawFrameBytes(kVideoIYUV, 32, 32)), 16);
    std::vector<int64_t> durations = {333667, 333667, 2000000};
    for (int i = 0; i < 20; ++i) durations.push_back(333667);
    for (int64_t d : durations) ASSERT_TRUE(av.Dump().ReceiveVideo(raw.data(), raw.size(), -1, d));
    av.Dump().EndVideo();
    av.Run();

    CYUV420Image picture;
    std::vector<double> clocks;
    while (av.sourceFramesRead < static_cast<int64_t>(durations.size())) {
        int64_t before = av.sourceFramesRead;
        if (!av.GetFrame(picture) && av.sourceFramesRead == before) break;
        if (av.sourceFramesRead != before) clocks.push_back(av.sourceClock);
    }
    ASSERT_GE(clocks.size(), 16u);
    // The long picture counts as 333,666.
    EXPECT_NEAR(clocks[2] - clocks[1], 333666 / 1e7, 1e-9);
    // The excess of 1,666,334 is paid out in twelfths over the following pictures.
    const double step = (1666334 / 12) / 1e7;
    EXPECT_NEAR(clocks[3] - clocks[2], 333667 / 1e7 + step, 1e-9);
    EXPECT_NEAR(clocks[8] - clocks[7], 333667 / 1e7 + step, 1e-9);
    // Nothing is lost: after thirteen pictures the whole of the long one has been counted.
    double raw16 = 0;
    for (size_t i = 0; i < 16; ++i) raw16 += durations[i] / 1e7;
    EXPECT_NEAR(clocks[15], raw16, 1e-9);
    EXPECT_NEAR(clocks[16] - clocks[15], 333667 / 1e7, 1e-9);
}

TEST(DirectShowAV, SoundAtAnImpossibleRateIsRefused)
{
    // A damaged header's rate of a billion samples a second: the converter would spend
    // seconds building its filter, so the sound is refused at once.
    TempDir dir;
    const std::string wav = dir.File("rate.wav");
    std::vector<uint8_t> bytes(kWaveHeaderBytes + 800, 0);
    PutWaveHeader(bytes.data(), 1, 1073749824, 16, 800);
    testsupport::WriteBytes(wav, bytes);
    CDirectShowAV av;
    av.wantVideo = false;
    av.writeGraph = false;
    EXPECT_FALSE(av.Open(wav, true));
    EXPECT_EQ(MeasureAudioLength(wav), 0);

    // The highest rate recordings use still opens.
    PutWaveHeader(bytes.data(), 1, 768000, 16, 800);
    testsupport::WriteBytes(wav, bytes);
    CDirectShowAV high;
    high.wantVideo = false;
    high.writeGraph = false;
    ASSERT_TRUE(high.Open(wav, true));
    EXPECT_EQ(high.audioRate, 48000);
}

TEST(DirectShowAV, MonoEightBitWaveBecomesStereoAt48kHzWithSilentRight)
{
    TempDir dir;
    std::string wav = dir.File("mono8.wav");
    ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 1 -c:a pcm_u8", wav));
    CDirectShowAV av;
    av.wantVideo = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(wav, true));
    EXPECT_EQ(av.audioKind, kAudioPcm);
    EXPECT_EQ(av.audioChannels, 1);
    EXPECT_EQ(av.audioBits, 8);
    EXPECT_EQ(av.audioRate, 22050);
    av.Run();
    std::vector<uint8_t> pcm;
    uint8_t block[4096];
    while (int32_t n = av.ReadPcm(sizeof block, block)) pcm.insert(pcm.end(), block, block + n);
    ASSERT_EQ(pcm.size() % 4, 0u);
    // One second at 48 kHz, 4 bytes per sample pair.
    EXPECT_NEAR(static_cast<double>(pcm.size()), 192000.0, 192.0 * 5);
    int loudLeft = 0;
    for (size_t i = 0; i + 4 <= pcm.size(); i += 4) {
        int16_t left = static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8));
        int16_t right = static_cast<int16_t>(pcm[i + 2] | (pcm[i + 3] << 8));
        ASSERT_EQ(right, 0) << "at byte " << i;
        loudLeft += std::abs(left) > 2000;  // ffmpeg's sine peaks at 1/8 of full scale
    }
    EXPECT_GT(loudLeft, 20000);
}

TEST(DirectShowAV, PhotosAreCheckedForSizeAndBecomeElevenSecondClipsWithFades)
{
    TempDir dir;
    std::string big = dir.File("big.jpg"), small = dir.File("small.jpg");
    ASSERT_TRUE(MakeMedia("-f lavfi -i color=c=white:s=3000x2000 -frames:v 1", big));
    ASSERT_TRUE(MakeMedia("-f lavfi -i color=c=white:s=800x600 -frames:v 1", small));

    CScriptedUi ui;
    CUiScope scope(ui);
    CDirectShowAV refused;
    refused.writeGraph = false;
    EXPECT_FALSE(refused.Open(big, false));
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "Photo size is too big! must be smaller than 2048x2048.");

    CDirectShowAV av;
    av.wantAudio = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(small, false));
    EXPECT_TRUE(av.isPhoto);
    EXPECT_EQ(av.duration, 110000000);
    av.SetTarget(720, 480, 25.0);
    av.Run();
    CYUV420Image picture;
    std::vector<double> means;
    int delivered = 0;
    for (int n = 0; n < 280; ++n) {
        delivered += av.GetFrame(picture) ? 1 : 0;
        means.push_back(MeanLuma(picture));
    }
    EXPECT_EQ(delivered, 275);  // 11 s at 25 frames/s
    const double full = means[150];
    // The fitted photo (white, 640 x 480 in the 720 x 480 frame) at full strength.
    EXPECT_NEAR(picture.width, 720, 0);
    EXPECT_NEAR(full, 235.0 * 640 / 720, 2.0);
    EXPECT_EQ(means[0], 0.0);
    EXPECT_NEAR(means[37], full * 37 / 75, 1.5);  // half-way through the fade-in
    EXPECT_EQ(means[75], full);  // fully shown from 3 s
    EXPECT_EQ(means[199], full);  // still shown before 8 s
    EXPECT_NEAR(means[237], full * (275 - 237) / 75.0, 1.5);  // fading out
    EXPECT_EQ(means[276], 0.0);  // black after 11 s
}

TEST(DirectShowAV, HdVideoWithSurroundSoundIsScaledToFitAndMixedToStereo)
{
    TempDir dir;
    std::string mp4 = dir.File("hd.mp4");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i testsrc=size=1920x1080:rate=25:duration=1 "
                  "-f lavfi -i \"sine=frequency=300:sample_rate=48000:duration=1\" "
                  "-filter_complex \"[1:a]pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0[a]\" "
                  "-map 0:v -map [a] -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
                  "-c:a aac -b:a 192k",
                  mp4));
    CDirectShowAV av;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(mp4, true));
    EXPECT_EQ(av.fileWidth, 1920);
    EXPECT_EQ(av.sourceWidth, 720);
    EXPECT_EQ(av.sourceHeight, 405);
    EXPECT_EQ(av.sourceChannels, 6);
    EXPECT_EQ(av.audioChannels, 2);
    EXPECT_EQ(av.audioRate, 48000);
    EXPECT_EQ(av.audioBits, 16);
    EXPECT_NEAR(av.duration / 1e7, 1.0, 0.1);
    av.SetTarget(720, 480, 25.0);
    av.Run();
    CYUV420Image picture;
    int frames = 0;
    while (av.GetFrame(picture) && frames < 100) ++frames;
    EXPECT_NEAR(frames, 25, 1);
    EXPECT_EQ(picture.width, 720);
    EXPECT_EQ(picture.height, 480);
    EXPECT_GT(MeanLuma(picture), 40.0);  // the test pattern, not black
    std::vector<uint8_t> pcm(200000);
    int32_t total = 0;
    while (int32_t n = av.ReadPcm(static_cast<int32_t>(pcm.size()) - total, pcm.data() + total)) total += n;
    EXPECT_NEAR(total, 192000, 192 * 40);
    int loud = 0;
    for (int32_t i = 0; i + 4 <= total; i += 4)
        loud += std::abs(static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8))) > 3000 &&
            std::abs(static_cast<int16_t>(pcm[i + 2] | (pcm[i + 3] << 8))) > 3000;
    EXPECT_GT(loud, 10000);  // both channels carry the mixed-down sound
}

TEST(DirectShowAV, CompressedMusicOfSixtySecondsMeasuresSixtySeconds)
{
    TempDir dir;
    const std::string source = "-f lavfi -i sine=frequency=500:sample_rate=44100:duration=60 -ac 2";
    const std::vector<std::pair<std::string, std::string>> files = {
        {dir.File("m.mp3"), "-c:a libmp3lame -b:a 128k"},
        {dir.File("m.ogg"), "-c:a libvorbis"},
        {dir.File("m.m4a"), "-c:a aac -b:a 128k"},
    };
    for (const auto& [file, codec] : files) {
        ASSERT_TRUE(MakeMedia(source + " " + codec, file));
        EXPECT_NEAR(CDirectShowAV::GetAudioLength(file), 60.0, 0.1) << file;
        EXPECT_NEAR(MeasureAudioLength(file), 600000, 1000) << file;
    }
}

TEST(DirectShowAV, DamagedFilesAreRefusedOrEndEarlyWithoutCrashing)
{
    TempDir dir;
    std::string garbage = dir.File("garbage.avi");
    std::vector<uint8_t> noise(100000);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
    testsupport::WriteBytes(garbage, noise);

    CScriptedUi ui;
    CUiScope scope(ui);
    CDirectShowAV av;
    av.writeGraph = false;
    EXPECT_FALSE(av.Open(garbage, false));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "Unable to open audio stream.");
    EXPECT_EQ(ui.boxes[1].text, "Unable to open video stream.");
    EXPECT_EQ(ui.boxes[1].caption, "Kestrova");
    EXPECT_EQ(MeasureAudioLength(garbage), 0);
    EXPECT_FALSE(av.Open(dir.File("missing.mp4"), true));

    // A file cut in half: what is there decodes, then the stream ends.
    std::string whole = dir.File("whole.mkv"), cut = dir.File("cut.mkv");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                  "-f lavfi -i sine=duration=2 -c:v mpeg2video -c:a mp2",
                  whole));
    auto bytes = testsupport::ReadBytes(whole);
    bytes.resize(bytes.size() / 2);
    testsupport::WriteBytes(cut, bytes);
    CDirectShowAV part;
    part.writeGraph = false;
    ASSERT_TRUE(part.Open(cut, true));
    part.SetTarget(320, 240, 25.0);
    part.Run();
    CYUV420Image picture;
    int frames = 0;
    while (part.GetFrame(picture) && frames < 200) ++frames;
    EXPECT_GT(frames, 5);
    EXPECT_LT(frames, 50);
    uint8_t block[8192];
    int32_t pcm = 0;
    while (int32_t n = part.ReadPcm(sizeof block, block)) pcm += n;
    EXPECT_LT(pcm, 2 * 192000);
}

TEST(DirectShowAV, RangeStartsTheSoundAtTheChosenSecond)
{
    TempDir dir;
    std::string wav = dir.File("ramp.wav");
    // The sample value tells the time: t / 8 of full scale.
    ASSERT_TRUE(MakeMedia("-f lavfi -i \"aevalsrc=t/8|t/8:s=48000:d=6\" -c:a pcm_s16le", wav));
    CDirectShowAV av;
    av.wantVideo = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(wav, true));
    ASSERT_TRUE(av.canSeek);
    ASSERT_TRUE(av.SetRange(4.0, -1.0));
    EXPECT_NEAR(av.duration / 1e7, 2.0, 0.01);
    av.Run();
    std::vector<uint8_t> pcm(1000000);
    int32_t total = 0;
    while (int32_t n = av.ReadPcm(65536, pcm.data() + total)) total += n;
    EXPECT_NEAR(total, 2 * 192000, 192);
    int16_t first = static_cast<int16_t>(pcm[0] | (pcm[1] << 8));
    EXPECT_NEAR(first / 32768.0, 4.0 / 8, 0.002);
}

TEST(DirectShowAV, OpenWritesTheGraphDescription)
{
    TempDir dir;
    mediatest::StateFolderScope state(dir.File("state"));
    std::string clip = dir.File("clip.mkv");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i testsrc=size=1280x720:rate=25:duration=1 "
                  "-f lavfi -i sine=sample_rate=44100:duration=1 -c:v mpeg4 -c:a mp2",
                  clip));
    CDirectShowAV av;
    ASSERT_TRUE(av.Open(clip, true));
    std::string text = testsupport::ReadText(dir.File("state/kestrova/graph.txt"));
    EXPECT_EQ(text, av.GraphText());
    EXPECT_NE(text.find("    Filter ["), std::string::npos);
    EXPECT_NE(text.find("'Video Decoder (mpeg4)'"), std::string::npos);
    EXPECT_NE(text.find("'Scaler (swscale)'"), std::string::npos);
    EXPECT_NE(text.find("'Grabber'"), std::string::npos);
    EXPECT_NE(text.find("' [Input]  Connected to pin ["), std::string::npos);
    // Every pin that says it is connected names a pin that exists.
    size_t pos = 0;
    while ((pos = text.find("Connected to pin [", pos)) != std::string::npos) {
        pos += 18;
        std::string id = text.substr(pos, text.find(']', pos) - pos);
        EXPECT_NE(text.find("Pin [" + id + "]"), std::string::npos) << id;
    }
}

TEST(DirectShowAV, MicrophoneRecordingLeavesACompleteWaveFileOrNone)
{
    TempDir dir;
    std::string wav = dir.File("narration.wav");
    CDirectShowAV av;
    if (!av.RecordMicrophone(wav)) {
        // No capture device on this machine: nothing may be left behind.
        EXPECT_FALSE(std::filesystem::exists(wav));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    av.Stop();
    auto bytes = testsupport::ReadBytes(wav);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    uint32_t dataBytes = bytes[40] | (bytes[41] << 8) | (bytes[42] << 16) | (uint32_t(bytes[43]) << 24);
    EXPECT_EQ(dataBytes, bytes.size() - 44);
}

TEST(DirectShowAV, MicrophoneDeviceLibraryIsLoadedOnlyWhenRecordingAndFailuresAreNamed)
{
    // Neither the program nor this test links the device library.
    for (const std::string& binary : {std::string("/proc/self/exe"), testsupport::CliPath()}) {
        const auto needed = testsupport::Run("readelf -d " + testsupport::Quote(binary) + " | grep NEEDED");
        ASSERT_EQ(needed.exitCode, 0) << binary;
        EXPECT_EQ(needed.out.find("libavdevice"), std::string::npos) << binary << " links libavdevice";
    }

    // A library that cannot be found is named, with the loader's reason.
    std::string error;
    EXPECT_FALSE(CMicRecorder::LoadDeviceLibrary("libavdevice-missing.so.0", error));
    EXPECT_NE(error.find("Cannot record sound"), std::string::npos) << error;
    EXPECT_NE(error.find("libavdevice-missing.so.0"), std::string::npos) << error;

    // The installed one loads (the machine has FFmpeg), twice without harm.
    const std::string soname = CMicRecorder::deviceLibrary;
    ASSERT_TRUE(CMicRecorder::LoadDeviceLibrary(soname.c_str(), error)) << error;
    EXPECT_EQ(error, "");
    ASSERT_TRUE(CMicRecorder::LoadDeviceLibrary(soname.c_str(), error)) << error;
    EXPECT_NE(testsupport::ReadText("/proc/self/maps").find("libavdevice.so"), std::string::npos);

    // Without a capture device Start fails with a message and leaves no file; with one
    // it records and says nothing.
    TempDir dir;
    const std::string wav = dir.File("take.wav");
    CMicRecorder mic;
    if (mic.Start(wav)) {
        EXPECT_EQ(mic.Error(), "");
        mic.Stop();
        EXPECT_TRUE(std::filesystem::exists(wav));
    } else {
        EXPECT_NE(mic.Error().find("no audio capture device"), std::string::npos) << mic.Error();
        EXPECT_FALSE(std::filesystem::exists(wav));
    }
}

namespace {

// A fed source of one picture format at `w` x `h`.
bool OpenFed(CDirectShowAV& av, int32_t code, int32_t w, int32_t h)
{
    CMediaFeedFormat format;
    format.video = true;
    format.videoCode = code;
    format.width = w;
    format.height = h;
    format.frameRate = 25.0;
    return av.OpenFeed(format, true);
}

}  // namespace

TEST(DirectShowAV, RawPictureFormatsArriveWithTheirPlanesAndRowsInPlace)
{
    // YV12 stores V before U; IYUV stores U first.
    for (int32_t code : {kVideoYV12, kVideoIYUV}) {
        CDirectShowAV av;
        ASSERT_TRUE(OpenFed(av, code, 32, 16));
        av.SetTarget(32, 16, 25.0);
        std::vector<uint8_t> raw(static_cast<size_t>(RawFrameBytes(code, 32, 16)));
        std::fill(raw.begin(), raw.begin() + 512, 100);
        std::fill(raw.begin() + 512, raw.begin() + 640, 60);
        std::fill(raw.begin() + 640, raw.end(), 200);
        ASSERT_TRUE(av.Dump().ReceiveVideo(raw.data(), raw.size(), 0, 400000));
        av.Dump().EndVideo();
        av.Run();
        CYUV420Image picture;
        av.GetFrame(picture);
        EXPECT_EQ(picture.planeY[0], 100);
        EXPECT_EQ(picture.planeCb[0], code == kVideoIYUV ? 60 : 200) << code;
        EXPECT_EQ(picture.planeCr[0], code == kVideoIYUV ? 200 : 60) << code;
    }
    // RGB32 comes bottom-up: the last stored row is the top of the picture.
    CDirectShowAV av;
    ASSERT_TRUE(OpenFed(av, kVideoRGB32, 16, 16));
    av.SetTarget(16, 16, 25.0);
    std::vector<uint8_t> bgrx(16 * 16 * 4, 0);
    for (int row = 8; row < 16; ++row)
        for (int x = 0; x < 16; ++x) std::memset(&bgrx[(row * 16 + x) * 4], 255, 3);  // white
    ASSERT_TRUE(av.Dump().ReceiveVideo(bgrx.data(), bgrx.size(), 0, 400000));
    av.Dump().EndVideo();
    av.Run();
    CYUV420Image picture;
    av.GetFrame(picture);
    EXPECT_EQ(picture.planeY[0], 235);  // top: white
    EXPECT_EQ(picture.planeY[15 * 16], 16);  // bottom: black

    // Packed pictures of odd size cannot be converted and are refused.
    CDirectShowAV odd;
    EXPECT_FALSE(OpenFed(odd, kVideoRGB32, 17, 16));
    EXPECT_FALSE(OpenFed(odd, kVideoYUY2, 16, 15));
    EXPECT_FALSE(OpenFed(odd, 2, 16, 16));  // UYVY and other codes are not accepted
}

TEST(DirectShowAV, OddSizedPicturesAreRepeatedToEvenAndFittedToTheTarget)
{
    CDirectShowAV av;
    ASSERT_TRUE(OpenFed(av, kVideoIYUV, 720, 405));
    EXPECT_EQ(av.sourceFrameBytes, 720 * 405 + 2 * 360 * 203);
    av.SetTarget(720, 480, 25.0);
    EXPECT_FALSE(av.sameSize);
    std::vector<uint8_t> raw(static_cast<size_t>(av.sourceFrameBytes), 128);
    std::fill(raw.begin(), raw.begin() + 720 * 405, 180);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(av.Dump().ReceiveVideo(raw.data(), raw.size(), -1, 400000));
    av.Dump().EndVideo();
    av.Run();
    CYUV420Image picture;
    int delivered = 0;
    while (av.GetFrame(picture)) ++delivered;
    EXPECT_EQ(delivered, 3);  // the fourth call finds the end; the last picture is kept
    EXPECT_EQ(picture.width, 720);
    EXPECT_EQ(picture.height, 480);
    EXPECT_EQ(picture.planeY[240 * 720 + 360], 180);
    EXPECT_EQ(picture.planeCb[120 * 360 + 180], 128);
}

TEST(DirectShowAV, UndecodedAc3PassesThroughAndCanBeDecodedOnRequest)
{
    TempDir dir;
    std::string ac3 = dir.File("sound.ac3");
    ASSERT_TRUE(MakeMedia("-f lavfi -i sine=sample_rate=48000:duration=1 -ac 2 -c:a ac3 -b:a 192k", ac3));
    CDirectShowAV passed;
    passed.wantVideo = false;
    passed.writeGraph = false;
    ASSERT_TRUE(passed.Open(ac3, true));
    EXPECT_EQ(passed.audioKind, kAudioAc3);
    passed.Run();
    std::vector<uint8_t> bytes(100000);
    int32_t total = 0;
    while (int32_t n = passed.ReadPcm(4096, bytes.data() + total)) total += n;
    // 192 kbit/s for one second, frame after frame, each starting with the sync word.
    EXPECT_NEAR(total, 24000, 768 * 2);
    EXPECT_EQ(bytes[0], 0x0B);
    EXPECT_EQ(bytes[1], 0x77);
    EXPECT_EQ(bytes[768], 0x0B);

    CDirectShowAV decoded;
    decoded.wantVideo = false;
    decoded.writeGraph = false;
    decoded.acceptAc3 = false;
    ASSERT_TRUE(decoded.Open(ac3, true));
    EXPECT_EQ(decoded.audioKind, kAudioPcm);
    EXPECT_EQ(MeasureAudioLength(ac3) / 1000, 10);
}

TEST(DirectShowAV, AudioStartFollowsBackwardJumpsOfTheSourceClock)
{
    CAVDump dump;
    ASSERT_TRUE(dump.Prepare(false, true));
    uint8_t pcm[64] = {};
    ASSERT_TRUE(dump.ReceiveAudio(pcm, sizeof pcm, 5000000));
    ASSERT_TRUE(dump.ReceiveAudio(pcm, sizeof pcm, 5200000));
    ASSERT_TRUE(dump.ReceiveAudio(pcm, sizeof pcm, 5100000));  // back 0.01 s: ignored
    EXPECT_EQ(dump.AudioFirstStart(), 5000000);
    ASSERT_TRUE(dump.ReceiveAudio(pcm, sizeof pcm, 2000000));  // back 0.31 s
    EXPECT_EQ(dump.AudioFirstStart(), 5000000 - 3100000);
}

TEST(DirectShowAV, PlaybackReportsTheEndOfTheFile)
{
    TempDir dir;
    std::string wav = dir.File("short.wav");
    ASSERT_TRUE(MakeMedia("-f lavfi -i sine=sample_rate=48000:duration=0.2 -ac 2 -c:a pcm_s16le", wav));
    std::mutex lock;
    std::condition_variable done;
    std::vector<int32_t> events;
    CDirectShowAV av;
    av.wantVideo = false;
    ASSERT_TRUE(av.OpenForPlayback(wav, [&](int32_t e) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(e);
        done.notify_all();
    }));
    uint8_t block[4096];
    int32_t total = 0;
    while (int32_t n = av.ReadPcm(sizeof block, block)) total += n;
    EXPECT_EQ(total, 192000 / 5);
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(done.wait_for(guard, std::chrono::seconds(5), [&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int32_t>{1});
}

TEST(DirectShowAV, TitleSetVobFilesOpenInOrder)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("VIDEO_TS"));
    const std::string common =
        "-f lavfi -i testsrc=size=352x240:rate=30000/1001:duration=1 "
        "-f lavfi -i sine=sample_rate=48000:duration=1 -c:v mpeg2video -c:a ac3 ";
    ASSERT_TRUE(MakeMedia(common + "-f vob", dir.File("VIDEO_TS/VTS_01_1.VOB")));
    ASSERT_TRUE(MakeMedia(common + "-output_ts_offset 1 -f vob", dir.File("VIDEO_TS/VTS_01_2.VOB")));
    CDirectShowAV av;
    av.wantAudio = false;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(dir.File("VIDEO_TS/VTS_01_2.VOB"), true));
    EXPECT_TRUE(av.isVob);
    av.SetTarget(352, 240, 30000.0 / 1001.0);
    av.Run();
    CYUV420Image picture;
    int frames = 0;
    while (av.GetFrame(picture) && frames < 200) ++frames;
    EXPECT_NEAR(frames, 60, 3);  // both files, one second each
}
