// The sound track of a slide-show DVD made by the command-line program, read by FFmpeg
// and the VOB checker: a show without music or narration carries a silent track (the
// one its IFO announces), and music that outlasts the pictures ends with them on a
// whole frame. Short shows at low resolution.
#include "support/TestSupport.h"
#include "support/VobChecker.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testsupport;

namespace {

const uint32_t timeOffset = 18418;  // the multiplexer's offset of all times (90 kHz)

// Two sample photos of 2 s plus a 1 s transition each, with the sample's minute of music
// when `music` is set.
std::string ShortAlbum(const TempDir& dir, bool music)
{
    const std::string d = DataDir() + "/sample/";
    std::string text = "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=" + std::string(music ? "1" : "0") +
        "\n\n[Photo1]\nPath=" + d +
        "beach.jpg\nWavePath=NONE\nShowingTime=2\nTransitionTime=1\nKenBurns=ZoomIn\nTransitionType=Blend\n\n"
        "[Photo2]\nPath=" +
        d + "city.jpg\nWavePath=NONE\nShowingTime=2\nTransitionTime=1\nKenBurns=PanRight\nTransitionType=Blend\n\n";
    if (music) text += "[Music1]\nPath=" + d + "music.mp3\n\n";
    WriteText(dir.File("show.osh"), text);
    return dir.File("show.osh");
}

// Makes the DVD and returns its first VOB file.
std::string MakeDvd(const TempDir& dir, bool music, const std::string& options)
{
    auto r = Run(Quote(CliPath()) + " slideshow " + Quote(ShortAlbum(dir, music)) + " --out " + Quote(dir.File("dvd")) +
                 " --resolution low --yes " + options);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return dir.File("dvd/VIDEO_TS/VTS_01_1.VOB");
}

// Codec name and duration (seconds) of the audio stream FFprobe finds in `vob`; the
// name is empty when it finds none.
std::pair<std::string, double> AudioStream(const std::string& vob)
{
    auto probe =
        Run("ffprobe -v error -select_streams a -show_entries stream=codec_name,duration -of csv=p=0 " + Quote(vob));
    const size_t comma = probe.out.find(',');
    if (comma == std::string::npos) return {"", 0.0};
    return {probe.out.substr(0, comma), std::atof(probe.out.c_str() + comma + 1)};
}

// Seconds of the pictures FFprobe decodes from `vob` (29.97 per second).
double PictureSeconds(const std::string& vob)
{
    auto probe =
        Run("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of "
            "csv=p=0 " +
            Quote(vob));
    return std::atoi(probe.out.c_str()) * 1001.0 / 30000.0;
}

// The checks every one of these titles must pass: FFmpeg decodes it without a message,
// FFprobe finds the audio stream the IFO announces and it lasts as long as the video,
// and the VOB checker finds whole frames with right times.
void ExpectSoundTrack(const std::string& vob, bool lpcm)
{
    auto decode = Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;

    const auto [codec, seconds] = AudioStream(vob);
    ASSERT_NE(codec, "") << "no audio stream in " << vob;
    EXPECT_EQ(codec, lpcm ? "pcm_dvd" : "mp2");
    EXPECT_NEAR(seconds, PictureSeconds(vob), 0.05);

    const std::string ifo = vob.substr(0, vob.size() - 5) + "0.IFO";
    auto bytes = ReadBytes(ifo);
    ASSERT_GT(bytes.size(), 0x205u);
    EXPECT_EQ(bytes[0x203], 1);  // one audio stream
    EXPECT_EQ(bytes[0x204] & 0xE0, lpcm ? 0x80 : 0x40);  // its coding mode

    auto scan = vobcheck::ScanVobs({vob});
    vobcheck::CheckAudioTimes(scan, lpcm, timeOffset);
    EXPECT_FALSE(scan.audio.empty());
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
}

}  // namespace

TEST(SlideshowAudio, ShowWithoutMusicOrNarrationCarriesASilentTrack)
{
    for (bool lpcm : {false, true}) {
        SCOPED_TRACE(lpcm ? "linear PCM" : "Layer II");
        TempDir dir;
        const std::string vob = MakeDvd(dir, false, lpcm ? "--lpcm" : "");
        ExpectSoundTrack(vob, lpcm);
        auto volume = testsupport::Run("ffmpeg -nostdin -i " + Quote(vob) + " -vn -af volumedetect -f null - 2>&1");
        EXPECT_NE(volume.out.find("max_volume: -91"), std::string::npos) << volume.out;
    }
}

TEST(SlideshowAudio, MusicOutlastingThePicturesEndsWithThemOnAWholeFrame)
{
    for (bool lpcm : {false, true}) {
        SCOPED_TRACE(lpcm ? "linear PCM" : "Layer II");
        TempDir dir;
        ExpectSoundTrack(MakeDvd(dir, true, lpcm ? "--lpcm" : ""), lpcm);
    }
}
