#include "app/Project.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>

using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

TEST(EffectCodes, NamesIgnoreCaseAndUnknownGiveNone)
{
    size_t count = 0;
    const CEffectCode* rows = TransitionTable(count);
    for (size_t i = 0; i < count; ++i) EXPECT_STREQ(TransitionNameOf(rows[i].code), rows[i].name);
    EXPECT_EQ(TransitionCodeOf("checkboardACROSS"), 10);
    EXPECT_EQ(PanZoomCodeOf("zoomin and panright"), 5);
    for (const char* unknown : {"None", "no such effect", "", " ZoomIn", "SwingIn"}) {
        EXPECT_EQ(TransitionCodeOf(unknown), -1) << unknown;
        EXPECT_EQ(PanZoomCodeOf(unknown), -1) << unknown;
    }
    EXPECT_STREQ(PanZoomNameOf(500), "None");
}

TEST(Album, LimitsAndTotals)
{
    CAlbum album;
    for (size_t i = 0; i < CAlbum::maxPhotos; ++i) ASSERT_TRUE(album.AddPhoto("/p/" + std::to_string(i) + ".jpg"));
    EXPECT_FALSE(album.AddPhoto("/p/extra.jpg"));
    EXPECT_EQ(album.photos.size(), 800u);
    EXPECT_EQ(album.photos[7].name, "7.jpg");
    EXPECT_EQ(album.TotalSeconds(), 800 * 7);
    EXPECT_EQ(album.PhotoTotalsText(), "Total 800 photos, total time: 01:33:20");

    for (size_t i = 0; i < CAlbum::maxMusic; ++i) ASSERT_TRUE(album.AddMusic("m", 61));
    EXPECT_FALSE(album.AddMusic("m", 61));
    EXPECT_EQ(album.MusicTotalsText(), "Total 99 background musics, total music length: 01:40:39");
    EXPECT_EQ(FormatSeconds(100 * 3600 + 1), "100:00:01");
    EXPECT_EQ(FormatSeconds(-3), "00:00:00");
}

TEST(SaveProject, NewPhotoWritesTheDefaultsInFileOrder)
{
    TempDir dir;
    CAlbum album;
    album.AddPhoto("/pics/a.jpg");
    album.AddMusic("/music/song.mp3", 60);
    const std::string f = dir.File("one.osh");
    ASSERT_TRUE(SaveProject(album, f));
    EXPECT_EQ(ReadText(f),
              "\n\n[General]\nID=OrvoPhotoShow\nPhotoCount=1\nMusicCount=1\n"
              "\n[Photo1]\nPath=/pics/a.jpg\nWavePath=NONE\nShowingTime=5\nTransitionTime=2\n"
              "KenBurns=Auto\nTransitionType=Auto\n"
              "\n[Music1]\nPath=/music/song.mp3\n");
}

TEST(SaveProject, EmptyAlbumRoundTrips)
{
    TempDir dir;
    const std::string f = dir.File("empty.osh");
    ASSERT_TRUE(SaveProject(CAlbum(), f));
    EXPECT_EQ(ReadText(f), "\n\n[General]\nID=OrvoPhotoShow\nPhotoCount=0\nMusicCount=0\n");
    CAlbum loaded;
    loaded.AddPhoto("/old.jpg");
    ASSERT_TRUE(LoadProject(loaded, f));
    EXPECT_TRUE(loaded.photos.empty());
    EXPECT_TRUE(loaded.music.empty());
}

TEST(SaveProject, SavedAndLoadedBackUnchanged)
{
    TempDir dir;
    CAlbum album;
    size_t nTrans = 0, nPan = 0;
    const CEffectCode* trans = TransitionTable(nTrans);
    const CEffectCode* pans = PanZoomTable(nPan);
    for (int i = 0; i < 40; ++i) {
        album.AddPhoto(dir.File("photo " + std::to_string(i) + (i % 3 ? ".jpg" : ".PNG")));
        CAlbumPhoto& p = album.photos.back();
        p.showSeconds = i % 9;
        p.transitionSeconds = i % 4;
        p.transitionType = trans[i % nTrans].code;
        p.panZoomType = pans[i % nPan].code;
        if (i % 5 == 0) p.narrationPath = dir.File("voice\xFF" + std::to_string(i) + ".wav");
    }
    album.AddMusic(dir.File("a.mp3"), 0);
    album.AddMusic(dir.File("b=c.ogg"), 0);
    const std::string f = dir.File("album.osh");
    ASSERT_TRUE(SaveProject(album, f));
    CAlbum loaded;
    ASSERT_TRUE(LoadProject(loaded, f, nullptr, {}));
    EXPECT_TRUE(loaded == album);
    // Saving again gives the same bytes.
    const std::string again = dir.File("again.osh");
    ASSERT_TRUE(SaveProject(loaded, again));
    EXPECT_EQ(ReadText(again), ReadText(f));
}

TEST(LoadProject, ReadsByTheFileRules)
{
    TempDir dir;
    const std::string f = dir.File("rules.osh");
    WriteText(f,
              "[General]\r\nID=OrvoPhotoShow\r\nPhotoCount=6\r\nMusicCount=2\r\n\r\n"
              "[Photo1]\nPath=pics/one.jpg\nkenburns=PanLeft\nTransitionType=blend\n\n"
              "[Photo2]\nPath=/abs/two.jpg\nKenBurns =zoomin\nTransitionType= Blend\n\n"
              "[Photo3]\nPath=three.jpg\nKenBurns=Sideways\nTransitionType=None\nWavePath=say.wav\n"
              "[Photo4]\nShowingTime=12\nTransitionTime=-3\n\n"
              "[Photo6]\nShowingTime=9x\nTransitionTime=abc\n\n"
              "[Music2]\nPath=../song.mp3\n");
    CScriptedUi ui;
    CUiScope scope(ui);
    CAlbum album;
    ASSERT_TRUE(LoadProject(album, f, nullptr, {}));
    ASSERT_EQ(album.photos.size(), 6u);
    const std::string folder = dir.Path().string() + "/";

    // A lower-case key is not found; a lower-case name is.
    EXPECT_EQ(album.photos[0].photoPath, folder + "pics/one.jpg");
    EXPECT_EQ(album.photos[0].name, "one.jpg");
    EXPECT_EQ(album.photos[0].panZoomType, 999);
    EXPECT_EQ(album.photos[0].transitionType, 21);
    // Blanks before "=" match; a blank after it stays in the value, which names nothing.
    EXPECT_EQ(album.photos[1].photoPath, "/abs/two.jpg");
    EXPECT_EQ(album.photos[1].panZoomType, 0);
    EXPECT_EQ(album.photos[1].transitionType, -1);
    // Unknown names and "None" give -1.
    EXPECT_EQ(album.photos[2].panZoomType, -1);
    EXPECT_EQ(album.photos[2].transitionType, -1);
    EXPECT_EQ(album.photos[2].narrationPath, folder + "say.wav");
    // Photo3's section runs on into [Photo4] for want of an empty line.
    EXPECT_EQ(album.photos[2].showSeconds, 12);
    EXPECT_EQ(album.photos[3].showSeconds, 12);
    EXPECT_EQ(album.photos[3].transitionSeconds, 0);  // negative times are refused
    // A missing section gives an empty path and every default.
    CAlbumPhoto blank;
    blank.name = "";
    EXPECT_TRUE(album.photos[4] == blank);
    EXPECT_EQ(album.photos[5].showSeconds, 9);
    EXPECT_EQ(album.photos[5].transitionSeconds, 0);

    ASSERT_EQ(album.music.size(), 2u);
    EXPECT_EQ(album.music[0].path, "None");
    EXPECT_EQ(album.music[1].path, dir.Path().parent_path().string() + "/song.mp3");

    // The load showed its progress: "Loading..." with each photo path and percentage.
    ASSERT_FALSE(ui.progress.empty());
    EXPECT_EQ(ui.progress.front().what, "open");
    EXPECT_EQ(ui.progress.front().value, "Loading...\nPhotos");
    bool sawPath = false, saw100 = false;
    for (const auto& e : ui.progress) {
        if (e.value.find("/abs/two.jpg") != std::string::npos) sawPath = true;
        if (e.what == "bar" && e.value == "100") saw100 = true;
    }
    EXPECT_TRUE(sawPath);
    EXPECT_TRUE(saw100);
    EXPECT_EQ(ui.progress.back().what, "close");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(LoadProject, RefusesMusicWithoutLength)
{
    TempDir dir;
    const std::string f = dir.File("music.osh");
    WriteText(f,
              "\n[General]\nID=OrvoPhotoShow\nMusicCount=3\n\n[Music1]\nPath=/a.mp3\n\n"
              "[Music2]\nPath=/broken.mp3\n\n[Music3]\nPath=/c.ogg\n");
    CScriptedUi ui;
    CUiScope scope(ui);
    CAlbum album;
    ASSERT_TRUE(LoadProject(album, f, nullptr,
                            [](const std::string& p) { return p == "/broken.mp3" ? 0 : static_cast<int>(p.size()); }));
    ASSERT_EQ(album.music.size(), 2u);
    EXPECT_EQ(album.music[0].seconds, 6);
    EXPECT_EQ(album.music[1].path, "/c.ogg");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Unable to determine the duration of /broken.mp3");
    EXPECT_EQ(ui.boxes[0].caption, "Kestrova");
}

TEST(LoadProject, MeasuresMusicWithTheMediaDecoder)
{
    TempDir dir;
    const std::string fake = dir.File("fake.mp3");
    WriteText(fake, "not music at all");
    const std::string f = dir.File("measured.osh");
    WriteText(f,
              "\n[General]\nID=OrvoPhotoShow\nMusicCount=2\n\n[Music1]\nPath=" + testsupport::DataDir() +
                  "/sample/music.mp3\n\n[Music2]\nPath=fake.mp3\n");
    CScriptedUi ui;
    CUiScope scope(ui);
    CAlbum album;
    ASSERT_TRUE(LoadProject(album, f));
    ASSERT_EQ(album.music.size(), 1u);
    EXPECT_GE(album.music[0].seconds, 59);
    EXPECT_LE(album.music[0].seconds, 61);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Unable to determine the duration of " + fake);
}

TEST(LoadProject, BadFilesLeaveTheAlbumAlone)
{
    TempDir dir;
    CAlbum album;
    album.AddPhoto("/keep.jpg");
    const CAlbum before = album;
    std::string error;

    EXPECT_FALSE(LoadProject(album, dir.File("missing.osh"), &error));
    EXPECT_NE(error.find(dir.File("missing.osh")), std::string::npos);
    EXPECT_NE(error.find(": no such file"), std::string::npos);

    const std::string wrong = dir.File("wrong.osh");
    WriteText(wrong, "[General]\nID=orvophotoshow\nPhotoCount=1\n\n[Photo1]\nPath=/x.jpg\n");
    EXPECT_FALSE(LoadProject(album, wrong, &error));
    EXPECT_NE(error.find("not a Kestrova"), std::string::npos);
    EXPECT_NE(error.find(wrong), std::string::npos);

    const std::string huge = dir.File("huge.osh");
    WriteText(huge, "[General]\nID=OrvoPhotoShow\nPhotoCount=2000000000\n");
    EXPECT_FALSE(LoadProject(album, huge, &error));
    EXPECT_NE(error.find("2000000000 photos"), std::string::npos);

    EXPECT_FALSE(LoadProject(album, dir.Path().string(), &error));
    EXPECT_NE(error.find("folder"), std::string::npos);
    EXPECT_TRUE(album == before);

    // A negative count loads an empty album.
    const std::string negative = dir.File("negative.osh");
    WriteText(negative, "[General]\nID=OrvoPhotoShow\nPhotoCount=-4\n");
    EXPECT_TRUE(LoadProject(album, negative, &error));
    EXPECT_TRUE(album.photos.empty());
}

TEST(SaveProject, FailureKeepsTheOldFile)
{
    TempDir dir;
    const std::string f = dir.File("kept.osh");
    WriteText(f, "old contents\n");
    CAlbum album;
    album.AddPhoto("/pics/line\nbreak.jpg");
    std::string error;
    EXPECT_FALSE(SaveProject(album, f, &error));
    EXPECT_NE(error.find("line break"), std::string::npos);
    EXPECT_EQ(ReadText(f), "old contents\n");

    album.photos[0].photoPath = "/pics/fine.jpg";
    if (geteuid() != 0) {
        chmod(dir.Path().c_str(), 0500);
        EXPECT_FALSE(SaveProject(album, f, &error));
        chmod(dir.Path().c_str(), 0700);
        EXPECT_NE(error.find(f), std::string::npos);
        EXPECT_EQ(ReadText(f), "old contents\n");
    }
    EXPECT_FALSE(SaveProject(album, dir.File("none/x.osh"), &error));

    // The disc fills up half-way through the new file (here: a file size limit).
    for (int i = 0; i < 50; ++i) album.AddPhoto("/pics/more" + std::to_string(i) + ".jpg");
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit;
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = 512;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = SaveProject(album, f, &error);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(ReadText(f), "old contents\n");
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);  // no temporary file left behind

    ASSERT_TRUE(SaveProject(album, f, &error));
    EXPECT_NE(ReadText(f).find("Path=/pics/fine.jpg"), std::string::npos);
}

}  // namespace
