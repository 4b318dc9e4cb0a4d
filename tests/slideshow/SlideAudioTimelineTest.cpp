// The slide show's audio schedule (music end to end, narrations pausing it) and the
// PCM read through it, on lengths given directly and on WAV files made by ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <vector>

#include "slideshow/SlideAudioTimeline.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

// Lengths come from a table instead of files.
class CTableTimeline : public CSlideAudioTimeline {
public:
    std::map<std::string, int32_t> lengths;
    int32_t MeasureLength(const std::string& path) override
    {
        auto it = lengths.find(path);
        return it == lengths.end() ? 0 : it->second;
    }
};

// Photos of `seconds` each at 25 frames/s.
struct Pictures {
    std::vector<int32_t> frames;
    CSlidePictureTiming Timing() const
    {
        CSlidePictureTiming t;
        t.segmentFrames = frames.data();
        t.photoCount = static_cast<int32_t>(frames.size());
        for (int32_t f : frames) t.totalFrames += f;
        t.frameRate = 25.0;
        return t;
    }
};

Pictures EvenPhotos(int count, int seconds) { return Pictures{std::vector<int32_t>(count, seconds * 25)}; }

void ExpectEntry(const CAudioScheduleEntry& e, int32_t start, int32_t end, int32_t kind, int32_t index, int32_t offset)
{
    EXPECT_EQ(e.start, start);
    EXPECT_EQ(e.end, end);
    EXPECT_EQ(e.kind, kind);
    EXPECT_EQ(e.index, index);
    EXPECT_EQ(e.offset, offset);
}

bool MakeWave(const std::string& expression, double seconds, const std::string& out)
{
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i \"aevalsrc=" + expression + "|" + expression +
                              ":s=48000:d=" + std::to_string(seconds) + "\" -c:a pcm_s16le " + testsupport::Quote(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0;
}

int16_t SampleAt(const std::vector<uint8_t>& pcm, size_t pair)
{
    return static_cast<int16_t>(pcm[pair * 4] | (pcm[pair * 4 + 1] << 8));
}

// Everything the timeline delivers; every read but the last one is a full request.
std::vector<uint8_t> ReadAll(CSlideAudioTimeline& t, int32_t request)
{
    std::vector<uint8_t> pcm, block(static_cast<size_t>(request));
    bool shortRead = false;
    while (int32_t n = t.ReadMusicPcm(block.data(), request)) {
        EXPECT_FALSE(shortRead) << "a short read before the last one";
        shortRead = n < request;
        pcm.insert(pcm.end(), block.begin(), block.begin() + n);
        if (pcm.size() > 100u * 192000) break;
    }
    return pcm;
}

}  // namespace

TEST(SlideAudioTimeline, NarrationPausesMusicWhichResumesWhereItStopped)
{
    CTableTimeline t;
    t.lengths = {{"music.mp3", 600000}, {"talk.wav", 100000}};
    ASSERT_TRUE(t.AddBackgroundMusic("music.mp3"));
    ASSERT_TRUE(t.AddPhotoClip("talk.wav", 4));  // photo 4 starts at 20 s
    t.BuildAudioTimeline(EvenPhotos(8, 5).Timing());
    ASSERT_EQ(t.scheduleCount, 3);
    ExpectEntry(t.schedule[0], 0, 200000, 1, 0, 0);
    ExpectEntry(t.schedule[1], 200000, 300000, 2, 0, 0);
    ExpectEntry(t.schedule[2], 300000, 700000, 1, 0, 200000);
    EXPECT_EQ(t.ScheduleLength(), 700000);
}

TEST(SlideAudioTimeline, TwoNarrationsInOneMusicFileResumeItEachTime)
{
    CTableTimeline t;
    t.lengths = {{"a.mp3", 600000}, {"b.mp3", 300000}, {"n1.wav", 50000}, {"n2.wav", 80000}};
    t.AddBackgroundMusic("a.mp3");
    t.AddBackgroundMusic("b.mp3");
    t.AddPhotoClip("n1.wav", 2);  // at 10 s
    t.AddPhotoClip("n2.wav", 6);  // at 30 s of the pictures
    t.BuildAudioTimeline(EvenPhotos(10, 5).Timing());
    ASSERT_EQ(t.scheduleCount, 6);
    ExpectEntry(t.schedule[0], 0, 100000, 1, 0, 0);
    ExpectEntry(t.schedule[1], 100000, 150000, 2, 0, 0);
    // The second narration starts at 30 s of pictures, inside the resumed first file.
    ExpectEntry(t.schedule[2], 150000, 300000, 1, 0, 100000);
    ExpectEntry(t.schedule[3], 300000, 380000, 2, 1, 0);
    ExpectEntry(t.schedule[4], 380000, 730000, 1, 0, 250000);
    // The second file follows, moved later by both narrations.
    ExpectEntry(t.schedule[5], 730000, 1030000, 1, 1, 0);
}

TEST(SlideAudioTimeline, NarrationAfterTheMusicIsAppendedWithSilenceBefore)
{
    CTableTimeline t;
    t.lengths = {{"short.mp3", 100000}, {"late.wav", 30000}};
    t.AddBackgroundMusic("short.mp3");
    t.AddPhotoClip("late.wav", 3);  // at 15 s, music ended at 10 s
    t.BuildAudioTimeline(EvenPhotos(4, 5).Timing());
    ASSERT_EQ(t.scheduleCount, 2);
    ExpectEntry(t.schedule[0], 0, 100000, 1, 0, 0);
    ExpectEntry(t.schedule[1], 150000, 180000, 2, 0, 0);
    // The narration file does not exist: its entry and the gap are silence, and the
    // sound goes on in silence to the end of the pictures (20 s).
    std::vector<uint8_t> pcm = ReadAll(t, 48000);
    EXPECT_EQ(pcm.size(), 20u * 192000u);
    for (uint8_t b : pcm) ASSERT_EQ(b, 0);
}

TEST(SlideAudioTimeline, ShowWithoutSoundIsSilentForItsLengthAndAddsBeyondTheLimitsAreRefused)
{
    CTableTimeline t;
    t.lengths = {{"zero.mp3", 0}, {"m.mp3", 10000}};
    EXPECT_FALSE(t.AddPhotoClip("NONE", 0));
    EXPECT_FALSE(t.AddBackgroundMusic("zero.mp3"));
    EXPECT_FALSE(t.AddPhotoClip("unknown.wav", 0));
    // Nothing to play: silence as long as the pictures, to the sample. 151 frames at
    // 29.97 frames/s are 241,841.6 samples; the sound ends on the nearest sample pair,
    // in a last read shorter than the request.
    Pictures odd{{75, 76}};
    CSlidePictureTiming timing = odd.Timing();
    timing.frameRate = 30000.0 / 1001.0;
    t.BuildAudioTimeline(timing);
    EXPECT_EQ(t.SoundSamples(), 241842);
    std::vector<uint8_t> block(4800, 0xAB);
    int64_t total = 0, reads = 0;
    for (int32_t n; (n = t.ReadMusicPcm(block.data(), 4800)) > 0; ++reads) {
        total += n;
        ASSERT_EQ(n % 4, 0);
        ASSERT_TRUE(std::all_of(block.begin(), block.begin() + n, [](uint8_t b) { return b == 0; }));
        ASSERT_LT(reads, 1000);
    }
    EXPECT_EQ(total, 241842 * 4);
    EXPECT_EQ(t.ReadMusicPcm(block.data(), 4800), 0);

    for (int i = 0; i < 99; ++i) ASSERT_TRUE(t.AddBackgroundMusic("m.mp3"));
    EXPECT_FALSE(t.AddBackgroundMusic("m.mp3"));
    EXPECT_EQ(t.musicCount, 99);
    for (int i = 0; i < 128; ++i) ASSERT_TRUE(t.AddPhotoClip("m.mp3", i));
    EXPECT_FALSE(t.AddPhotoClip("m.mp3", 0));
    EXPECT_EQ(t.narrationCount, 128);
}

TEST(SlideAudioTimeline, ARequestOf48000BytesCovers2500Units)
{
    CTableTimeline t;
    t.lengths = {{"quiet.mp3", 100000}};
    t.AddPhotoClip("quiet.mp3", 1);  // at 5 s: silence is delivered before it
    t.BuildAudioTimeline(EvenPhotos(2, 5).Timing());
    std::vector<uint8_t> block(48000, 0xAB);
    EXPECT_EQ(t.ReadMusicPcm(block.data(), 48000), 48000);
    EXPECT_DOUBLE_EQ(t.audioClock, 2500.0);
    EXPECT_EQ(block[47999], 0);
    EXPECT_EQ(t.ReadMusicPcm(block.data(), 4608), 4608);
    EXPECT_DOUBLE_EQ(t.audioClock, 2740.0);
}

TEST(SlideAudioTimeline, ReadingPlaysMusicNarrationAndTheRestOfTheMusic)
{
    TempDir dir;
    std::string music = dir.File("ramp.wav"), talk = dir.File("talk.wav");
    // The music's sample value tells its position (t / 8 of full scale); the narration
    // is a steady negative level.
    ASSERT_TRUE(MakeWave("t/8", 3.0, music));
    ASSERT_TRUE(MakeWave("-0.5", 1.0, talk));
    CSlideAudioTimeline t;
    ASSERT_TRUE(t.AddBackgroundMusic(music));
    ASSERT_TRUE(t.AddPhotoClip(talk, 1));
    EXPECT_EQ(t.musicLength[0], 30000);
    EXPECT_EQ(t.narrationLength[0], 10000);
    Pictures photos{{25, 70}};  // photo 1 at 1 s; 3.8 s of pictures
    t.BuildAudioTimeline(photos.Timing());
    ASSERT_EQ(t.scheduleCount, 3);
    ExpectEntry(t.schedule[2], 20000, 40000, 1, 0, 10000);

    // The music would play on to 4 s; the sound ends with the pictures.
    const int32_t request = 4800;  // 25 ms
    std::vector<uint8_t> pcm = ReadAll(t, request);
    EXPECT_EQ(pcm.size(), 95u * 48000u / 25u * 4u);

    // Early music, the narration after one second, and the music again continuing
    // from about one second in.
    EXPECT_NEAR(SampleAt(pcm, 48000 / 2) / 32768.0, 0.5 / 8, 0.002);
    EXPECT_NEAR(SampleAt(pcm, 48000 + 48000 / 2) / 32768.0, -0.5, 0.002);
    const double resumed = SampleAt(pcm, 2 * 48000 + 48000 / 4) / 32768.0;
    EXPECT_NEAR(resumed, (1.0 + 0.25) / 8, 0.01);
}

TEST(SlideAudioTimeline, SampleAlbumAudioHasThePicturesLength)
{
    namespace fs = std::filesystem;
    const fs::path album = fs::path(testsupport::DataDir()) / "sample";
    std::vector<std::string> sounds;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(album, ec)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".mp3" || ext == ".ogg" || ext == ".wav" || ext == ".m4a") sounds.push_back(entry.path().string());
    }
    if (sounds.empty()) GTEST_SKIP() << "no sound files in " << album;
    std::sort(sounds.begin(), sounds.end());
    CSlideAudioTimeline t;
    for (const auto& s : sounds) ASSERT_TRUE(t.AddBackgroundMusic(s)) << s;
    Pictures photos = EvenPhotos(4, 5);
    t.BuildAudioTimeline(photos.Timing());
    const int32_t request = 4608;
    std::vector<uint8_t> block(request);
    int64_t total = 0;
    int64_t nonZero = 0;
    while (int32_t n = t.ReadMusicPcm(block.data(), request)) {
        total += n;
        for (int32_t i = 0; i < n; i += 64) nonZero += block[i] != 0;
        ASSERT_LT(total, int64_t(3600) * 192000);
    }
    // The sound is the pictures' 20 s: cut where the music outlasts them, filled with
    // silence where it ends before them.
    EXPECT_EQ(total, 20 * 192000);
    EXPECT_GT(nonZero, 0);
}

TEST(SlideAudioTimeline, NarrationCutByTheNextOneResumesWhereItStopped)
{
    TempDir dir;
    std::string first = dir.File("first.wav"), second = dir.File("second.wav");
    ASSERT_TRUE(MakeWave("t/8", 2.0, first));  // its value tells its position
    ASSERT_TRUE(MakeWave("-0.5", 1.0, second));
    CSlideAudioTimeline t;
    ASSERT_TRUE(t.AddPhotoClip(first, 1));  // photo 1 at 1 s, talks for 2 s
    ASSERT_TRUE(t.AddPhotoClip(second, 2));  // photo 2 at 2 s, while the first still talks
    Pictures photos{{25, 25, 50}};
    t.BuildAudioTimeline(photos.Timing());
    ASSERT_EQ(t.scheduleCount, 3);
    ExpectEntry(t.schedule[0], 10000, 20000, 2, 0, 0);
    ExpectEntry(t.schedule[1], 20000, 30000, 2, 1, 0);
    ExpectEntry(t.schedule[2], 30000, 40000, 2, 0, 10000);

    std::vector<uint8_t> pcm = ReadAll(t, 4800);
    ASSERT_EQ(pcm.size(), 4u * 192000);
    EXPECT_EQ(SampleAt(pcm, 48000 / 2), 0);  // silence first
    EXPECT_NEAR(SampleAt(pcm, 48000 + 48000 / 2) / 32768.0, 0.5 / 8, 0.01);
    EXPECT_NEAR(SampleAt(pcm, 2 * 48000 + 48000 / 2) / 32768.0, -0.5, 0.002);
    // The first narration continues from one second in, not from its beginning.
    EXPECT_NEAR(SampleAt(pcm, 3 * 48000 + 48000 / 2) / 32768.0, 1.5 / 8, 0.01);
}
