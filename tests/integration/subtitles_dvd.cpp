// Subtitles on a video DVD, read back by programs we did not write: a 20-second video
// with a SubRip file of ten cues (accents and a byte-order mark, three lines with
// descenders, a line wider than the screen, an overlap, a bad time) and with a VobSub
// pair whose packs FFmpeg wrote. lsdvd sees one sub-picture stream, libdvdnav shows it
// from the start, FFmpeg's dvdsub decoder decodes every unit at its cue's time, and the
// decoded text is closed in its outline.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// What the decoded sub-pictures are shown in: index 0 yellow text, 1 and 2 black.
const char* const kPalette =
    "fcfc5f,000000,101010,808080,808080,808080,808080,808080,808080,808080,808080,808080,"
    "808080,808080,808080,808080";

const char* const kCues =
    "\xEF\xBB\xBF"
    "1\r\n00:00:01,000 --> 00:00:02,500\r\nCaf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
    "e\r\n\r\n"
    "2\r\n00:00:03,000 --> 00:00:05,000\r\n<i>gjpqy going</i>\r\njumping quickly\r\nyoyo pig\r\n\r\n"
    "3\r\n00:00:05,500 --> 00:00:07,000\r\nThis line is much wider than the screen can show in one "
    "go, truly it is\r\n\r\n"
    "4\r\n00:00:06,500 --> 00:00:08,000\r\noverlapping the wide one\r\n\r\n"
    "5\r\n00:00:09,000 --> 00:00:08,000\r\nends before it starts\r\n\r\n"
    "6\r\n00:00:10,000 --> 00:00:11,000\r\nsix\r\n\r\n"
    "7\r\n00:00:12,000 --> 00:00:13,000\r\nseven\r\n\r\n"
    "8\r\n00:00:14,000 --> 00:00:15,000\r\neight\r\n\r\n"
    "9\r\n00:00:16,000 --> 00:00:17,000\r\nnine\r\n\r\n"
    "10\r\n00:00:18,000 --> 00:00:19,000\r\nten\r\n";
// The starts shown: the fifth cue is left out, the fourth starts where the third ends.
const double kShownStarts[] = {1.0, 3.0, 5.5, 7.0, 10.0, 12.0, 14.0, 16.0, 18.0};

std::vector<double> Numbers(const std::string& text)
{
    std::vector<double> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) values.push_back(std::atof(line.c_str()));
    return values;
}

class SubtitlesDvd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir();
        video = dir->File("clip.avi");
        auto made = testsupport::Run(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=20 -f lavfi -i "
            "sine=duration=20 -c:v mpeg4 -c:a mp2 " +
            Quote(video) + " 2>&1");
        ASSERT_EQ(made.exitCode, 0) << made.out;
        WriteText(dir->File("clip.srt"), kCues);
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }

    // Makes a PAL DVD of `rows` in `name`; returns the VOB's path.
    static std::string MakeDvd(const std::string& rows, const std::string& name, RunResult* result = nullptr)
    {
        auto run = testsupport::Run(Quote(CliPath()) + " video " + rows + " --out " + Quote(dir->File(name)) +
                                    " --pal --resolution low --yes 2>&1");
        if (result) *result = run;
        EXPECT_EQ(run.exitCode, 0) << run.out;
        return dir->File(name + "/VIDEO_TS/VTS_01_1.VOB");
    }

    // The presentation times of the decoded sub-pictures, from the first picture's.
    static std::vector<double> SubtitleTimes(const std::string& vob)
    {
        auto first = testsupport::Run(
            "ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 -read_intervals "
            "%+#1 " +
            Quote(vob));
        auto subs = testsupport::Run("ffprobe -v error -palette " + std::string(kPalette) +
                                     " -select_streams s -show_frames -show_entries subtitle=pts_time -of csv=p=0 " +
                                     Quote(vob) + " 2>&1");
        EXPECT_EQ(subs.exitCode, 0) << subs.out;
        std::vector<double> times = Numbers(subs.out);
        const double start = Numbers(first.out).empty() ? 0 : Numbers(first.out).front();
        for (double& t : times) t -= start;
        return times;
    }

    static void ExpectPlaysWithSubtitlesShown(const std::string& dvd)
    {
        auto lsdvd = testsupport::Run("lsdvd " + Quote(dvd) + " 2>/dev/null");
        EXPECT_NE(lsdvd.out.find("Subpictures: 01"), std::string::npos) << lsdvd.out;
        auto spu = testsupport::Run(ToolPath("dvdnav_spu") + " " + Quote(dvd) + " 2>/dev/null");
        EXPECT_NE(spu.out.find("VTS 1 SPU 0\n"), std::string::npos) << spu.out;
        auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dvd) + " 2>/dev/null");
        EXPECT_NE(play.out.find("STOP"), std::string::npos) << play.out;
        EXPECT_EQ(play.out.find("ERROR"), std::string::npos) << play.out;
    }

    static TempDir* dir;
    static std::string video;
};

TempDir* SubtitlesDvd::dir = nullptr;
std::string SubtitlesDvd::video;

}  // namespace

TEST_F(SubtitlesDvd, SubRipCues_AreDecodedAtTheirTimes_AndShownFromTheStart)
{
    const std::string vob = MakeDvd(Quote(video + ":" + dir->File("clip.srt")), "text");
    ExpectPlaysWithSubtitlesShown(dir->File("text"));
    const std::vector<double> times = SubtitleTimes(vob);
    ASSERT_EQ(times.size(), std::size(kShownStarts));
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], kShownStarts[i], 0.04) << "cue " << i;
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -palette " + std::string(kPalette) + " -i " + Quote(vob) +
                                   " -map 0:s -c:s dvdsub -f null - 2>&1");
    EXPECT_EQ(decode.out.find("rror"), std::string::npos) << decode.out;
}

TEST_F(SubtitlesDvd, DecodedTextIsClosedInItsOutline_UnderTheDescendersToo)
{
    const std::string vob = MakeDvd(Quote(video + ":" + dir->File("clip.srt")), "outline");
    // The three-line cue (3 to 5 s) over the title's pictures painted green.
    const std::string raw = dir->File("frame.rgb");
    auto shot = testsupport::Run(
        "ffmpeg -nostdin -v error -y -palette " + std::string(kPalette) + " -canvas_size 720x576 -i " + Quote(vob) +
        " -filter_complex \"[0:v]scale=720:576,setsar=1,drawbox=x=0:y=0:w=720:h=576:color=0x00ff00:t=fill[v];"
        "[v][0:s]overlay\" -ss 4.4 "
        "-frames:v 1 -f rawvideo -pix_fmt rgb24 " +
        Quote(raw) + " 2>&1");
    ASSERT_EQ(shot.exitCode, 0) << shot.out;
    const std::vector<uint8_t> px = ReadBytes(raw);
    ASSERT_EQ(px.size(), size_t(720 * 576 * 3));
    auto kind = [&](int x, int y) {
        const uint8_t* p = &px[size_t((y * 720 + x) * 3)];
        if (p[0] > 160 && p[1] > 160 && p[2] < 140) return 'T';  // text
        if (p[0] < 80 && p[1] > 180 && p[2] < 80) return 'G';  // the green behind
        return p[0] < 60 && p[1] < 60 && p[2] < 60 ? 'O' : '?';  // outline
    };
    int text = 0, open = 0, lowestText = 0, lowestOutline = 0;
    for (int y = 1; y < 575; ++y)
        for (int x = 1; x < 719; ++x) {
            const char k = kind(x, y);
            if (k == 'O') lowestOutline = std::max(lowestOutline, y);
            if (k != 'T') continue;
            ++text;
            lowestText = std::max(lowestText, y);
            if (kind(x - 1, y) == 'G' || kind(x + 1, y) == 'G' || kind(x, y - 1) == 'G' || kind(x, y + 1) == 'G')
                ++open;
        }
    EXPECT_GT(text, 2000);
    EXPECT_EQ(open, 0);
    // Under the descenders of "yoyo pig" the outline runs on below the lowest text pixel.
    EXPECT_GE(lowestOutline, lowestText + 1);
    EXPECT_GT(lowestText, 421 + 20);  // the last line's descenders reach below its baseline
}

TEST_F(SubtitlesDvd, VobSubPacksWrittenByFfmpeg_AreCopiedWithTheirPalette)
{
    // FFmpeg repacks the units of a DVD made with the SubRip file into a .sub of its own;
    // the index lists each unit's pack and its cue's time.
    const std::string source = MakeDvd(Quote(video + ":" + dir->File("clip.srt")), "forsub");
    const std::string sub = dir->File("other.sub");
    auto repack = testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -map 0:s -c:s copy -f vob " +
                                   Quote(sub) + " 2>&1");
    ASSERT_EQ(repack.exitCode, 0) << repack.out;
    auto positions = testsupport::Run("ffprobe -v error -show_entries packet=pos -of csv=p=0 " + Quote(sub));
    const std::vector<double> pos = Numbers(positions.out);
    ASSERT_EQ(pos.size(), std::size(kShownStarts));
    std::string idx =
        "# VobSub index file, v7 (do not modify this line!)\nsize: 720x576\n"
        "Palette: 00ff00, 000000, 202020, 808080, 808080, 808080, 808080, 808080, 808080, 808080, "
        "808080, 808080, 808080, 808080, 808080, 808080\n\nid: en, index: 0\n";
    for (size_t i = 0; i < pos.size(); ++i) {
        const int ms = int(std::lround(kShownStarts[i] * 1000));
        char line[96];
        std::snprintf(line, sizeof line, "timestamp: 00:00:%02d:%03d, filepos: %09x\n", ms / 1000, ms % 1000,
                      unsigned(int64_t(pos[i]) / 2048 * 2048));
        idx += line;
    }
    WriteText(dir->File("other.idx"), idx);
    fs::copy_file(video, dir->File("other.avi"));

    const std::string vob = MakeDvd(Quote(dir->File("other.avi") + ":" + sub), "vobsub");
    ExpectPlaysWithSubtitlesShown(dir->File("vobsub"));
    const std::vector<double> times = SubtitleTimes(vob);
    ASSERT_EQ(times.size(), std::size(kShownStarts));
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], kShownStarts[i], 0.04) << "unit " << i;
    // The units are the very bytes the first DVD carried, and the palette became the
    // title's colour table: green is Y 0x90, Cr 0x22, Cb 0x35.
    auto a = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(source) + " -map 0:s -c copy -f data - | md5sum");
    auto b = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -map 0:s -c copy -f data - | md5sum");
    EXPECT_EQ(a.out, b.out);
    const auto ifo = ReadBytes(dir->File("vobsub/VIDEO_TS/VTS_01_0.IFO"));
    ASSERT_GT(ifo.size(), size_t(2 * 2048 + 16 + 0xA4 + 4));
    const uint8_t* colour = &ifo[2 * 2048 + 16 + 0xA4];
    EXPECT_EQ(colour[1], 0x90);
    EXPECT_EQ(colour[2], 0x22);
    EXPECT_EQ(colour[3], 0x35);
}

TEST_F(SubtitlesDvd, AMissingOrUnreadableSubtitleFileIsRefusedByName_BeforeAnythingIsMade)
{
    RunResult run;
    run = testsupport::Run(Quote(CliPath()) + " video " + Quote(video + ":" + dir->File("none.srt")) + " --out " +
                           Quote(dir->File("refused")) + " --pal --resolution low --yes 2>&1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("none.srt"), std::string::npos) << run.out;
    WriteText(dir->File("notes.srt"), "just some notes\nwith no times\n");
    run = testsupport::Run(Quote(CliPath()) + " video " + Quote(video + ":" + dir->File("notes.srt")) + " --out " +
                           Quote(dir->File("refused")) + " --pal --resolution low --yes 2>&1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("notes.srt"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir->File("refused/VIDEO_TS")));
    // Without any font the text cannot be drawn: a clear refusal, not blank subtitles.
    WriteText(dir->File("no-fonts.conf"), "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    run = testsupport::Run("FONTCONFIG_FILE=" + Quote(dir->File("no-fonts.conf")) + " " + Quote(CliPath()) + " video " +
                           Quote(video + ":" + dir->File("clip.srt")) + " --out " + Quote(dir->File("refused")) +
                           " --pal --resolution low --yes 2>&1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("fontconfig finds no font"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir->File("refused/VIDEO_TS")));
}

TEST_F(SubtitlesDvd, TheSubtitleFileBesideAVideo_IsUsedWithYes_AndLeftWithNo)
{
    fs::create_directories(dir->File("beside"));
    fs::copy_file(video, dir->File("beside/film.avi"));
    fs::copy_file(dir->File("clip.srt"), dir->File("beside/film.srt"));
    for (const char* answer : {"--yes", "--no"}) {
        const std::string out = dir->File(std::string("beside-dvd") + answer);
        auto run = testsupport::Run(Quote(CliPath()) + " video " + Quote(dir->File("beside/film.avi")) + " --out " +
                                    Quote(out) + " --pal --resolution low " + answer + " 2>&1");
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_NE(run.out.find("associated subtitle file"), std::string::npos) << run.out;
        auto lsdvd = testsupport::Run("lsdvd " + Quote(out) + " 2>/dev/null");
        const bool yes = std::string(answer) == "--yes";
        EXPECT_NE(lsdvd.out.find(yes ? "Subpictures: 01" : "Subpictures: 00"), std::string::npos) << lsdvd.out;
    }
}

TEST_F(SubtitlesDvd, SubtitleStreamsInsideAMediaFile_TextDrawnAndDvdBitmapsCopied)
{
    // A SubRip stream in a Matroska file, and the DVD bitmap stream of a DVD made from
    // it in another; each file names itself as the subtitle source.
    const std::string text = dir->File("text.mkv"), bitmaps = dir->File("bitmaps.mkv");
    auto mux =
        testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(video) + " -i " + Quote(dir->File("clip.srt")) +
                         " -map 0 -map 1 -c:v copy -c:a copy -c:s srt " + Quote(text) + " 2>&1");
    ASSERT_EQ(mux.exitCode, 0) << mux.out;
    const std::string first = MakeDvd(Quote(text + ":" + text), "from-text-stream");
    std::vector<double> times = SubtitleTimes(first);
    ASSERT_GE(times.size(), 8u);
    EXPECT_NEAR(times[0], 1.0, 0.04);
    EXPECT_NEAR(times[1], 3.0, 0.04);
    EXPECT_NEAR(times.back(), 18.0, 0.04);
    mux = testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(video) + " -i " + Quote(first) +
                           " -map 0:v -map 0:a -map 1:s -c copy " + Quote(bitmaps) + " 2>&1");
    ASSERT_EQ(mux.exitCode, 0) << mux.out;
    const std::string second = MakeDvd(Quote(bitmaps + ":" + bitmaps), "from-bitmap-stream");
    ExpectPlaysWithSubtitlesShown(dir->File("from-bitmap-stream"));
    // Each unit is shown at its time in the Matroska file (FFmpeg's remux chose those).
    auto inFile = testsupport::Run("ffprobe -v error -select_streams s -show_entries packet=pts_time -of csv=p=0 " +
                                   Quote(bitmaps));
    const std::vector<double> expected = Numbers(inFile.out);
    const std::vector<double> copied = SubtitleTimes(second);
    ASSERT_EQ(copied.size(), times.size());
    ASSERT_EQ(expected.size(), times.size());
    for (size_t i = 0; i < copied.size(); ++i) EXPECT_NEAR(copied[i], expected[i], 0.04) << "unit " << i;
    auto a = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(first) + " -map 0:s -c copy -f data - | md5sum");
    auto b = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(second) + " -map 0:s -c copy -f data - | md5sum");
    EXPECT_EQ(a.out, b.out);
    // A media file without a subtitle stream is refused by name.
    auto none = testsupport::Run(Quote(CliPath()) + " video " + Quote(video + ":" + video) + " --out " +
                                 Quote(dir->File("no-stream")) + " --pal --resolution low --yes 2>&1");
    EXPECT_NE(none.exitCode, 0);
    EXPECT_NE(none.out.find("no subtitle stream"), std::string::npos) << none.out;
}
