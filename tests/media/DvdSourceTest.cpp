// Existing DVD-Video as a media source: a title made by another authoring program, split
// over several VOB files, decoded by FFmpeg through the stream; the same title in disc
// images read back byte for byte; damaged and unusual inputs refused with their names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "MediaTestFiles.h"
#include "media/DirectShowAV.h"
#include "media/DvdImage.h"
#include "media/VobStream.h"

using testsupport::Quote;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

namespace fs = std::filesystem;

// A 4-second 16:9 NTSC title with chapters at 0, 1.5 and 3 s made by dvdauthor in
// dvd/VIDEO_TS, its VOB split into three files at pack boundaries, and two images of it:
// one with UDF (genisoimage -dvd-video) and one with ISO 9660 alone.
class DvdSource : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = std::make_unique<TempDir>();
        const std::string w = work->Path().string();
        auto step = [](const std::string& command) {
            const auto r = testsupport::Run(command);
            if (r.exitCode != 0) setupError += command + "\n" + r.err + "\n";
        };
        step(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001 -f lavfi -i "
            "sine=frequency=1000 -t 4 -target ntsc-dvd -aspect 16:9 " +
            Quote(w + "/a.mpg"));
        step("export VIDEO_FORMAT=NTSC; dvdauthor -o " + Quote(w + "/dvd") + " -t -c 0,1.5,3 " + Quote(w + "/a.mpg") +
             " && dvdauthor -o " + Quote(w + "/dvd") + " -T");
        if (!setupError.empty()) return;
        const std::string v = w + "/dvd/VIDEO_TS/";
        whole = ReadBytes(v + "VTS_01_1.VOB");
        const size_t cuts[] = {0, 100 * 2048, 217 * 2048, whole.size()};
        for (int m = 1; m <= 3; ++m)
            WriteBytes(v + "VTS_01_" + std::to_string(m) + ".VOB",
                       std::vector<uint8_t>(whole.begin() + long(cuts[m - 1]), whole.begin() + long(cuts[m])));
        step("genisoimage -quiet -dvd-video -o " + Quote(w + "/udf.iso") + " " + Quote(w + "/dvd"));
        step("genisoimage -quiet -o " + Quote(w + "/plain.img") + " " + Quote(w + "/dvd"));
    }
    static void TearDownTestSuite() { work.reset(); }
    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static std::string W(const std::string& name) { return work->Path().string() + "/" + name; }

    // Every byte of the stream over `path`.
    static std::vector<uint8_t> StreamBytes(const std::string& path)
    {
        CVobStream stream;
        EXPECT_TRUE(stream.Open(path)) << stream.Error();
        std::vector<uint8_t> all(size_t(stream.Length()));
        EXPECT_EQ(stream.Read(all.data(), stream.Length()), stream.Length());
        return all;
    }

    static std::unique_ptr<TempDir> work;
    static std::string setupError;
    static std::vector<uint8_t> whole;  // the VOB as dvdauthor wrote it
};
std::unique_ptr<TempDir> DvdSource::work;
std::string DvdSource::setupError;
std::vector<uint8_t> DvdSource::whole;

}  // namespace

TEST_F(DvdSource, TitleOverThreeVobFilesDecodesThroughTheStream)
{
    mediatest::StateFolderScope state(W("state"));
    CDirectShowAV av;
    av.acceptAc3 = false;  // the AC-3 track is decoded, so its length shows in PCM
    ASSERT_TRUE(av.Open(W("dvd"), true));
    EXPECT_TRUE(av.isVob);
    EXPECT_EQ(av.dvdVobPath, W("dvd/VIDEO_TS/VTS_01_1.VOB"));
    EXPECT_FALSE(av.vobAlternativeStart);
    EXPECT_EQ(av.sourceWide, 1);
    EXPECT_TRUE(av.videoFound);
    EXPECT_TRUE(av.audioFound);
    EXPECT_EQ(av.fileWidth, 720);
    EXPECT_EQ(av.fileHeight, 480);
    // dvdauthor gives the chain 00:00:04 or a few frames less.
    EXPECT_GE(av.duration, 30000000);
    EXPECT_LE(av.duration, 40000000);
    // Chapters begin at the first picture group at or after the asked time.
    ASSERT_EQ(av.sourceProgramStarts.size(), 2u);
    EXPECT_NEAR(av.sourceProgramStarts[0], 1.5, 0.65);
    EXPECT_NEAR(av.sourceProgramStarts[1], 3.0, 0.65);
    EXPECT_LT(av.sourceProgramStarts[0], av.sourceProgramStarts[1]);

    av.SetTarget(720, 480, 30000.0 / 1001.0);
    av.Run();
    CYUV420Image picture;
    int frames = 0;
    while (frames < 1000 && av.GetFrame(picture)) ++frames;
    uint8_t block[4096];
    int64_t pcm = 0;
    while (int32_t n = av.ReadPcm(sizeof block, block)) pcm += n;
    av.Stop();
    EXPECT_NEAR(frames, 120, 4);
    EXPECT_NEAR(double(pcm) / 192000.0, 4.0, 0.2);  // 48 kHz 16-bit stereo
}

TEST_F(DvdSource, ImagesReadBackByteForByteLikeTheirFolder)
{
    const std::string v = W("dvd/VIDEO_TS/");
    const auto fromFolder = StreamBytes(v + "VTS_01_0.IFO");
    ASSERT_EQ(fromFolder, whole);
    for (const auto& [image, fileSystem] : {std::pair{W("udf.iso"), "UDF"}, std::pair{W("plain.img"), "ISO 9660"}}) {
        CDvdImage reader;
        ASSERT_TRUE(reader.Open(image)) << reader.Error();
        EXPECT_EQ(reader.FileSystem(), fileSystem);
        EXPECT_TRUE(CDvdImage::LooksLikeImage(image));
        EXPECT_TRUE(CVobStream::IsDvdSource(image));
        const auto imageBytes = ReadBytes(image);
        size_t compared = 0;
        for (const auto& entry : fs::directory_iterator(v)) {
            const SImageFile* f = reader.Find(entry.path().filename().string());
            ASSERT_NE(f, nullptr) << entry.path();
            std::vector<uint8_t> bytes;
            for (const SImageExtent& e : f->extents)
                bytes.insert(bytes.end(), imageBytes.begin() + long(e.offset),
                             imageBytes.begin() + long(e.offset + e.length));
            EXPECT_EQ(bytes, ReadBytes(entry.path().string())) << entry.path();
            ++compared;
        }
        EXPECT_EQ(compared, reader.Files().size());
        EXPECT_EQ(StreamBytes(image), fromFolder) << image;
    }
    CDirectShowAV av;
    av.writeGraph = false;
    av.wantAudio = false;
    ASSERT_TRUE(av.Open(W("udf.iso"), true));
    EXPECT_EQ(av.dvdVobPath, W("udf.iso") + ":VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(av.sourceWide, 1);
    EXPECT_EQ(av.sourceProgramStarts.size(), 2u);
}

TEST_F(DvdSource, DamagedAndUnusualInputsAreRefusedWithTheirNames)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    auto refused = [](const std::string& path, const std::string& named, const std::string& what) {
        CVobStream stream;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(stream.Open(path)) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << path;
        EXPECT_NE(stream.Error().find(named), std::string::npos) << stream.Error();
        EXPECT_NE(stream.Error().find(what), std::string::npos) << stream.Error();
    };
    // A title set whose IFO was cut short.
    fs::create_directories(f + "cut/VIDEO_TS");
    fs::copy_file(W("dvd/VIDEO_TS/VTS_01_1.VOB"), f + "cut/VIDEO_TS/VTS_01_1.VOB");
    auto ifo = ReadBytes(W("dvd/VIDEO_TS/VTS_01_0.IFO"));
    ifo.resize(3000);
    WriteBytes(f + "cut/VIDEO_TS/VTS_01_0.IFO", ifo);
    refused(f + "cut", "VTS_01_0.IFO", "program chain table");
    // An image without VIDEO_TS, one cut in half, and bytes that are no image at all.
    fs::create_directories(f + "plain");
    testsupport::WriteText(f + "plain/notes.txt", "no video here\n");
    ASSERT_EQ(testsupport::Run("genisoimage -quiet -o " + Quote(f + "plain.iso") + " " + Quote(f + "plain")).exitCode,
              0);
    refused(f + "plain.iso", "plain.iso", "no VIDEO_TS");
    auto image = ReadBytes(W("udf.iso"));
    image.resize(image.size() / 2);
    WriteBytes(f + "half.iso", image);
    refused(f + "half.iso", "half.iso", "");
    WriteBytes(f + "noise.iso", std::vector<uint8_t>(100000, 0x5A));
    refused(f + "noise.iso", "noise.iso", "");
    // A folder without title sets, and a FIFO in place of a VOB.
    refused(f + "plain", "plain", "no DVD title set");
    ASSERT_EQ(mkfifo((f + "VTS_01_1.VOB").c_str(), 0600), 0);
    refused(f + "VTS_01_1.VOB", "VTS_01_1.VOB", "");
    CDirectShowAV av;
    av.writeGraph = false;
    EXPECT_FALSE(av.Open(f + "VTS_01_1.VOB", true));
    EXPECT_FALSE(av.Open(f + "plain.iso", true));
}
