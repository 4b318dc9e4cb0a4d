// The bundled sample album: other parts of the program and the demo use it, so every file
// it names must be there and readable by a decoder we did not write.
#include "app/Project.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <filesystem>

using testsupport::Quote;
using testsupport::RunResult;

namespace {

TEST(SampleAlbum, EveryFileDecodesAndTheShapesVary)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CAlbum album;
    std::string error;
    ASSERT_TRUE(LoadProject(album, testsupport::DataDir() + "/sample/album.osh", &error)) << error;
    ASSERT_EQ(album.photos.size(), 8u);
    ASSERT_EQ(album.music.size(), 1u);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_GE(album.music[0].seconds, 50);

    bool portrait = false, panorama = false, png = false, large = false;
    int narrations = 0;
    for (const CAlbumPhoto& p : album.photos) {
        RunResult r = testsupport::Run(
            "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
            "-of csv=p=0 " +
            Quote(p.photoPath));
        ASSERT_EQ(r.exitCode, 0) << p.photoPath;
        EXPECT_EQ(r.err, "") << p.photoPath;
        int w = 0, h = 0;
        ASSERT_EQ(std::sscanf(r.out.c_str(), "%d,%d", &w, &h), 2) << r.out;
        portrait |= h > w;
        panorama |= w >= 3 * h;
        large |= w > 3000 || h > 3000;
        png |= std::filesystem::path(p.photoPath).extension() == ".png";
        if (p.narrationPath != "NONE") {
            ++narrations;
            RunResult n = testsupport::Run("ffprobe -v error " + Quote(p.narrationPath));
            EXPECT_EQ(n.exitCode, 0);
            EXPECT_EQ(n.err, "");
        }
    }
    EXPECT_TRUE(portrait && panorama && large && png);
    EXPECT_EQ(narrations, 1);

    uintmax_t bytes = 0;
    for (const auto& e : std::filesystem::directory_iterator(testsupport::DataDir() + "/sample"))
        bytes += e.file_size();
    EXPECT_LT(bytes, 5u * 1000 * 1000);
}

}  // namespace
