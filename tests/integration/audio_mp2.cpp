// The Layer II encoder judged by decoders we did not write: FFmpeg decodes our stream
// with CRC checking on and without complaint, and the decoded sound is as close to the
// source as twolame's at the same rate. A slide show's sound written on its own lasts
// as long as the show's video title.
#include "audio/MP2Encoder.h"
#include "audio/SignalCompare.h"
#include "audio/WaveFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// Some seconds of music-like stereo sound: a chord progression of plucked notes with
// overtones, a bass line, a vibrato lead and hi-hat noise bursts, panned apart.
std::vector<int16_t> MakeMusic(double seconds)
{
    const int rate = 48000;
    const size_t frames = size_t(seconds * rate);
    std::vector<int16_t> out(frames * 2);
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    const double chords[4][3] = {
        {261.63, 329.63, 392.00}, {220.00, 261.63, 329.63}, {174.61, 220.00, 261.63}, {196.00, 246.94, 293.66}};
    const double bass[4] = {65.41, 55.00, 87.31, 98.00};
    double hat = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        double t = double(n) / rate;
        int bar = int(t / 2.0) % 4;
        double beat = std::fmod(t, 0.5);
        double l = 0.0, r = 0.0;
        for (int k = 0; k < 3; ++k) {
            double f = chords[bar][k];
            double env = std::exp(-3.0 * beat);
            double note = 0.0;
            for (int h = 1; h <= 6; ++h) note += std::sin(2 * M_PI * f * h * t) / (h * h);
            l += 0.12 * env * note * (1.0 - 0.3 * k);
            r += 0.12 * env * note * (0.4 + 0.3 * k);
        }
        double b = 0.25 * std::sin(2 * M_PI * bass[bar] * t) * std::exp(-1.5 * std::fmod(t, 1.0));
        double lead = 0.08 * std::sin(2 * M_PI * (880.0 + 6.0 * std::sin(2 * M_PI * 5.0 * t)) * t) *
            (0.5 + 0.5 * std::sin(2 * M_PI * 0.25 * t));
        if (std::fmod(t, 0.25) < 1.0 / rate) hat = 1.0;
        hat *= 0.9992;
        double noise = 0.05 * hat * white(rng);
        l += b + 0.6 * lead + noise;
        r += b + 0.4 * lead + 0.7 * noise;
        out[2 * n] = int16_t(std::lround(std::clamp(l, -1.0, 1.0) * 32000.0));
        out[2 * n + 1] = int16_t(std::lround(std::clamp(r, -1.0, 1.0) * 32000.0));
    }
    return out;
}

std::vector<uint8_t> EncodeInProcess(const std::vector<int16_t>& pcm)
{
    size_t position = 0;
    const size_t total = pcm.size() * 2;
    CMP2Encoder encoder;
    EXPECT_TRUE(encoder.Prepare(CMP2Encoder::sourceSlideShow, [&](uint8_t* buffer, int bytes) {
        size_t n = std::min(size_t(bytes), total - position);
        std::memcpy(buffer, reinterpret_cast<const uint8_t*>(pcm.data()) + position, n);
        position += n;
        return int(n);
    }));
    std::vector<uint8_t> stream;
    uint8_t buffer[1152];
    for (int n; (n = encoder.ReadCompressed(1152, buffer)) > 0;) stream.insert(stream.end(), buffer, buffer + n);
    return stream;
}

// Decodes `mp2` with FFmpeg's CRC check on; returns the decoded PCM and FFmpeg's messages.
std::vector<int16_t> Decode(const TempDir& dir, const std::string& mp2, std::string& messages)
{
    std::string wav = dir.File("decoded.wav");
    RunResult r = testsupport::Run("ffmpeg -nostdin -v error -err_detect crccheck -i " + Quote(mp2) +
                                   " -c:a pcm_s16le -y " + Quote(wav));
    messages = r.err;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0;
    std::string error;
    EXPECT_TRUE(CWaveFile::Read(wav, pcm, channels, rate, error)) << error;
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);
    return pcm;
}

// Writes the show's sound (show.mp2) and its video at low resolution (show.m2v) into
// `dir`; `pictures` gets the number of pictures the command reports for the video.
RunResult RunShow(const TempDir& dir, const std::string& project, int& pictures)
{
    RunResult r = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(project) + " --resolution low --mp2 " +
                                   Quote(dir.File("show.mp2")) + " --m2v " + Quote(dir.File("show.m2v")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::smatch m;
    EXPECT_TRUE(std::regex_search(r.out, m, std::regex(R"(show\.m2v: (\d+) pictures)"))) << r.out;
    pictures = m.empty() ? 0 : std::stoi(m[1]);
    return r;
}

// Layer II frames that hold the sound of `pictures` pictures at 29.97 per second.
int64_t TitleFrames(int pictures)
{
    const int64_t samples = std::llround(pictures * 48000.0 * 1001.0 / 30000.0);
    return (samples + 1151) / 1152;
}

double AlignedSnr(const std::vector<int16_t>& source, const std::vector<int16_t>& decoded)
{
    int delay = CSignalCompare::FindDelay(source, decoded, 2, 3000);
    return CSignalCompare::Snr(source, decoded, 2, delay);
}

}  // namespace

TEST(AudioMp2, FfmpegDecodesWithCrcCheckAndQualityMatchesTwolame)
{
    TempDir dir;
    std::vector<int16_t> music = MakeMusic(12.0);
    std::string error;
    ASSERT_TRUE(CWaveFile::Write(dir.File("music.wav"), music, 2, 48000, error)) << error;

    std::vector<uint8_t> stream = EncodeInProcess(music);
    ASSERT_EQ(stream.size(), 500u * 1152u);  // 12 s = 500 frames exactly
    WriteBytes(dir.File("ours.mp2"), stream);

    RunResult probe = testsupport::Run(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bit_rate "
        "-of default=noprint_wrappers=1 " +
        Quote(dir.File("ours.mp2")));
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("codec_name=mp2"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("sample_rate=48000"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("channels=2"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("bit_rate=384000"), std::string::npos) << probe.out;

    std::string messages;
    std::vector<int16_t> ours = Decode(dir, dir.File("ours.mp2"), messages);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(ours.size(), size_t(500 * 1152 * 2));
    double oursSnr = AlignedSnr(music, ours);

    RunResult tl = testsupport::Run("twolame --quiet -b 384 -P 2 " + Quote(dir.File("music.wav")) + " " +
                                    Quote(dir.File("twolame.mp2")));
    ASSERT_EQ(tl.exitCode, 0) << tl.err;
    std::vector<int16_t> theirs = Decode(dir, dir.File("twolame.mp2"), messages);
    double twolameSnr = AlignedSnr(music, theirs);
    std::printf("SNR ours %.2f dB, twolame %.2f dB\n", oursSnr, twolameSnr);
    EXPECT_GT(oursSnr, 25.0);
    EXPECT_GE(oursSnr, twolameSnr - 1.0);
}

TEST(AudioMp2, CrcCheckCatchesDamagedSideInformation)
{
    // The check above means something only if a damaged frame is reported.
    TempDir dir;
    std::vector<uint8_t> stream = EncodeInProcess(MakeMusic(1.0));
    ASSERT_GE(stream.size(), 20u * 1152u);
    stream[10 * 1152 + 8] ^= 0x10;  // a bit of the allocation of frame 10
    WriteBytes(dir.File("damaged.mp2"), stream);
    RunResult r = testsupport::Run("ffmpeg -nostdin -v error -err_detect crccheck -i " +
                                   Quote(dir.File("damaged.mp2")) + " -f null -");
    EXPECT_NE(r.err, "") << "FFmpeg did not notice a damaged frame";
}

TEST(AudioMp2, CommandLineEncodesLikeTheLibrary)
{
    TempDir dir;
    std::vector<int16_t> music = MakeMusic(2.0);
    std::string error;
    ASSERT_TRUE(CWaveFile::Write(dir.File("in.wav"), music, 2, 48000, error)) << error;
    RunResult r = testsupport::Run(Quote(CliPath()) + " audio encode " + Quote(dir.File("in.wav")) + " " +
                                   Quote(dir.File("out.mp2")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("out.mp2")), EncodeInProcess(music));

    // A file that is not 48 kHz is refused with its name, and nothing is left behind.
    ASSERT_TRUE(CWaveFile::Write(dir.File("cd.wav"), music, 2, 44100, error)) << error;
    r = testsupport::Run(Quote(CliPath()) + " audio encode " + Quote(dir.File("cd.wav")) + " " +
                         Quote(dir.File("cd.mp2")));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("cd.wav"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("cd.mp2")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("cd.mp2.part")));
}

TEST(AudioMp2, SlideShowSoundTrackDecodesCleanlyAndLastsAsLongAsThePictures)
{
    TempDir dir;
    const std::string project = DataDir() + "/sample/album.osh";
    int pictures = 0;
    RunResult r = RunShow(dir, project, pictures);
    std::vector<uint8_t> stream = ReadBytes(dir.File("show.mp2"));
    ASSERT_FALSE(stream.empty());
    ASSERT_EQ(stream.size() % 1152, 0u);
    for (size_t f = 0; f < stream.size(); f += 1152)
        ASSERT_EQ(std::memcmp(stream.data() + f, "\xFF\xFC\xE4\x00", 4), 0) << "frame at " << f;

    std::string messages;
    std::vector<int16_t> pcm = Decode(dir, dir.File("show.mp2"), messages);
    EXPECT_EQ(messages, "");
    // The sample's minute of music and its narration outlast the pictures: the sound
    // is cut where the title's pictures end, on the frame that holds their end.
    EXPECT_EQ(stream.size() / 1152, size_t(TitleFrames(pictures)));
    RunResult again =
        testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(project) + " --mp2 " + Quote(dir.File("again.mp2")));
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadBytes(dir.File("again.mp2")), stream);  // the same project gives the same bytes
    double loud = 0.0;
    for (int16_t s : pcm) loud = std::max(loud, std::abs(double(s)));
    EXPECT_GT(loud, 1000.0) << "the music did not reach the stream";
    // The encoder's model line is for the diagnostic log, not the program's output.
    EXPECT_EQ(r.out.find("absthr"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("absthr"), std::string::npos) << r.err;
}

TEST(AudioMp2, SlideShowWithoutSoundGivesSilenceAsLongAsThePictures)
{
    TempDir dir;
    RunResult r =
        testsupport::Run(Quote(CliPath()) + " project create " + Quote(dir.File("quiet.osh")) + " " +
                         Quote(DataDir() + "/sample/beach.jpg") + " " + Quote(DataDir() + "/sample/city.jpg"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int pictures = 0;
    RunShow(dir, dir.File("quiet.osh"), pictures);
    EXPECT_EQ(std::filesystem::file_size(dir.File("show.mp2")), size_t(TitleFrames(pictures)) * 1152u);
    std::string messages;
    std::vector<int16_t> pcm = Decode(dir, dir.File("show.mp2"), messages);
    EXPECT_EQ(messages, "");
    ASSERT_FALSE(pcm.empty());
    EXPECT_LE(*std::max_element(pcm.begin(), pcm.end()), 1);
    EXPECT_GE(*std::min_element(pcm.begin(), pcm.end()), -1);
}
