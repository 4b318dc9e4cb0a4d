// The DVD creation job run in-process on tiny albums at the low resolution, its folders
// read back by lsdvd, libdvdnav and FFmpeg: title sets kept and cleared by the starting
// footage number, a cancel after a few groups of pictures, photos and music that cannot
// be decoded.
#include "app/SlideShowJob.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

CAlbumPhoto Photo(const std::string& path, int show, int transition)
{
    CAlbumPhoto photo = CAlbum::NewPhoto(path);
    photo.showSeconds = show;
    photo.transitionSeconds = transition;
    photo.transitionType = 21;  // Blend
    photo.panZoomType = 0;  // ZoomIn
    return photo;
}

// Two sample photos of 1 + 1 s with the sample music: four seconds of show.
CSlideShowJob TinyJob(const std::string& videoTs, int footage)
{
    const std::string d = DataDir() + "/sample/";
    CSlideShowJob job;
    job.album.photos = {Photo(d + "beach.jpg", 1, 1), Photo(d + "city.jpg", 1, 1)};
    job.album.AddMusic(d + "music.mp3", 60);
    job.dvdFolder = videoTs;
    job.resolution = 2;
    job.startingFootage = footage;
    return job;
}

std::string Play(const std::string& dvd)
{
    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dvd));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    EXPECT_NE(play.out.find("STOP"), std::string::npos) << play.out;
    EXPECT_EQ(play.out.find("ERROR"), std::string::npos) << play.out;
    return play.out;
}

void ExpectDecodes(const std::string& vob)
{
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;
}

int LsdvdTitles(const std::string& dvd)
{
    auto lsdvd = testsupport::Run("lsdvd " + Quote(dvd) + " 2>/dev/null");
    EXPECT_EQ(lsdvd.exitCode, 0) << lsdvd.out;
    const std::regex title(R"((^|\n)Title: \d\d,)");
    return int(std::distance(std::sregex_iterator(lsdvd.out.begin(), lsdvd.out.end(), title), std::sregex_iterator()));
}

// Mean luma of picture `n` of a VOB, decoded by FFmpeg.
double MeanLuma(const std::string& vob, int n)
{
    TempDir dir;
    const std::string raw = dir.File("frame.gray");
    auto r = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -vf " +
                              Quote("select=eq(n\\," + std::to_string(n) + ")") +
                              " -frames:v 1 -f rawvideo -pix_fmt gray " + Quote(raw));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto bytes = ReadBytes(raw);
    if (bytes.empty()) return -1;
    double sum = 0;
    for (uint8_t b : bytes) sum += b;
    return sum / double(bytes.size());
}

TEST(JobFolder, StartingFootageKeepsEarlierTitleSetsAndClearsTheRest)
{
    TempDir dir;
    const std::string videoTs = dir.File("dvd/VIDEO_TS") + "/";
    CScriptedUi ui;
    CUiScope scope(ui);
    for (int footage = 1; footage <= 2; ++footage) {
        if (footage > 1) ui.QueueAnswer(MsgAnswer::Yes);  // replace
        ui.QueueAnswer(MsgAnswer::No);  // burn
        CSlideShowJob job = TinyJob(videoTs, footage);
        ASSERT_EQ(job.CreateDvd(), CSlideShowJob::Result::Done) << job.Error();
    }
    EXPECT_TRUE(fs::is_directory(dir.File("dvd/AUDIO_TS")));
    const auto vts1 = ReadBytes(videoTs + "VTS_01_1.VOB");
    const auto vts2ifo = ReadBytes(videoTs + "VTS_02_0.IFO");
    const auto vmgBefore = ReadBytes(videoTs + "VIDEO_TS.IFO");
    ASSERT_FALSE(vts1.empty());
    // Leftovers of a longer earlier DVD, all at or after title set 3.
    for (const char* name : {"VTS_03_2.VOB", "VTS_04_1.VOB", "VTS_04_0.IFO", "VTS_07_0.BUP", "VTS_99_9.VOB",
                             "VTS_99_0.VOB", "VIDEO_TS.VOB"})
        WriteText(videoTs + name, "left over");

    ui.boxes.clear();
    ui.QueueAnswer(MsgAnswer::Yes);
    ui.QueueAnswer(MsgAnswer::No);
    CSlideShowJob third = TinyJob(videoTs, 3);
    third.compressAudio = 0;
    ASSERT_EQ(third.CreateDvd(), CSlideShowJob::Result::Done) << third.Error();
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].caption, "Warning");
    EXPECT_EQ(ui.boxes[1].caption, "Your DVD is ready to burn!");

    EXPECT_EQ(ReadBytes(videoTs + "VTS_01_1.VOB"), vts1);
    EXPECT_EQ(ReadBytes(videoTs + "VTS_02_0.IFO"), vts2ifo);
    for (const char* name : {"VTS_03_2.VOB", "VTS_04_1.VOB", "VTS_04_0.IFO", "VTS_07_0.BUP", "VTS_99_9.VOB",
                             "VTS_99_0.VOB", "VIDEO_TS.VOB"})
        EXPECT_FALSE(fs::exists(videoTs + name)) << name;
    for (const char* name : {"VTS_03_0.IFO", "VTS_03_0.BUP", "VTS_03_1.VOB", "VIDEO_TS.IFO", "VIDEO_TS.BUP"})
        EXPECT_TRUE(fs::exists(videoTs + name)) << name;
    EXPECT_NE(ReadBytes(videoTs + "VIDEO_TS.IFO"), vmgBefore);  // now lists three title sets

    EXPECT_EQ(LsdvdTitles(dir.File("dvd")), 3);
    const std::string out = Play(dir.File("dvd"));
    size_t v1 = out.find("VTS 1\n"), v2 = out.find("VTS 2\n"), v3 = out.find("VTS 3\n");
    EXPECT_TRUE(v1 < v2 && v2 < v3 && v3 != std::string::npos) << out;
    ExpectDecodes(videoTs + "VTS_03_1.VOB");
}

TEST(JobFolder, CancelAfterAFewGroupsLeavesAPlayableFolder)
{
    TempDir dir;
    const std::string videoTs = dir.File("dvd/VIDEO_TS") + "/";
    CScriptedUi ui;
    CUiScope scope(ui);
    ui.CancelAtPump(0, 3);  // the encoder's window, at the start of the third GOP
    ui.QueueAnswer(MsgAnswer::Yes);
    std::string burnFolder;
    CSlideShowJob job = TinyJob(videoTs, 1);
    job.album.photos.push_back(Photo(DataDir() + "/sample/forest.jpg", 20, 2));
    job.soundFolder = DataDir();
    job.openBurnWindow = [&](const std::string& folder) { burnFolder = folder; };
    ASSERT_EQ(job.CreateDvd(), CSlideShowJob::Result::Cancelled) << job.Error();
    EXPECT_GT(job.framesCoded, 0);
    EXPECT_LT(job.framesCoded, job.framesPlanned / 4);

    // Sound, question and burn window follow a cancel as they follow a finished job.
    ASSERT_EQ(ui.sounds.size(), 1u);
    EXPECT_EQ(ui.sounds[0], DataDir() + "/done.wav");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(burnFolder, videoTs);
    // The encoder's window and the VOB writer's.
    bool encoderTitle = false, writerTitle = false;
    for (const auto& event : ui.progress) {
        if (event.what == "open" && event.value.find("Kestrova DVD Encoder") != std::string::npos) encoderTitle = true;
        if (event.value.find("Creating DVD video data") != std::string::npos) writerTitle = true;
    }
    EXPECT_TRUE(encoderTitle);
    EXPECT_TRUE(writerTitle);

    EXPECT_EQ(LsdvdTitles(dir.File("dvd")), 1);
    Play(dir.File("dvd"));
    ExpectDecodes(videoTs + "VTS_01_1.VOB");
    auto probe = testsupport::Run(
        "ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames "
        "-of csv=p=0 " +
        Quote(videoTs + "VTS_01_1.VOB"));
    EXPECT_EQ(std::atoi(probe.out.c_str()), int(job.framesCoded)) << probe.out;
}

TEST(JobFolder, UndecodablePhotoIsBlackAndUndecodableMusicSilent)
{
    TempDir dir;
    WriteText(dir.File("broken.jpg"), "this is not a picture");
    // The sample music with everything after its first 4 KB zeroed: its length still
    // reads as a minute, but hardly a frame of it decodes.
    auto music = ReadBytes(DataDir() + "/sample/music.mp3");
    ASSERT_GT(music.size(), 100000u);
    std::fill(music.begin() + 4096, music.end(), 0);
    WriteBytes(dir.File("broken.mp3"), music);

    const std::string videoTs = dir.File("dvd/VIDEO_TS") + "/";
    CScriptedUi ui;
    CUiScope scope(ui);
    CSlideShowJob job = TinyJob(videoTs, 1);
    job.album.photos = {Photo(DataDir() + "/sample/beach.jpg", 2, 1), Photo(dir.File("broken.jpg"), 2, 1),
                        Photo(DataDir() + "/sample/city.jpg", 2, 1)};
    job.album.music.clear();
    job.album.AddMusic(dir.File("broken.mp3"), 60);
    ASSERT_EQ(job.CreateDvd(), CSlideShowJob::Result::Done) << job.Error();
    EXPECT_GE(job.framesCoded, job.framesPlanned);
    ASSERT_EQ(ui.boxes.size(), 1u);  // only the burn question: nothing to report
    EXPECT_EQ(ui.boxes[0].caption, "Your DVD is ready to burn!");

    const std::string vob = videoTs + "VTS_01_1.VOB";
    ExpectDecodes(vob);
    Play(dir.File("dvd"));
    // Photo 2 is on screen from 3 s to 5 s: picture 120 lies in the middle.
    EXPECT_LT(MeanLuma(vob, 120), 20.0);
    EXPECT_GT(MeanLuma(vob, 30), 40.0);

    // The sound track runs for the whole show and is silent after the first second.
    auto probe = testsupport::Run("ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 " +
                                  Quote(vob));
    EXPECT_EQ(probe.out, "mp2\n");
    auto volume =
        testsupport::Run("ffmpeg -nostdin -i " + Quote(vob) + " -vn -af atrim=start=1,volumedetect -f null - 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(volume.out, m, std::regex(R"(max_volume: (-?[0-9.]+|-inf) dB)"))) << volume.out;
    EXPECT_TRUE(m[1] == "-inf" || std::stod(m[1]) < -60.0) << m[1];
    ASSERT_TRUE(std::regex_search(volume.out, m, std::regex(R"(n_samples: ([0-9]+))"))) << volume.out;
    EXPECT_NEAR(std::stod(m[1]) / 96000.0, job.framesPlanned * 1001.0 / 30000.0 - 1.0, 0.5);
}

}  // namespace
