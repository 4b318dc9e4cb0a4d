// The video window's list logic without the window: moving and removing rows keeps each
// subtitle with its video, the range dialog's whole seconds, the subtitle found beside a
// file, the chooser's groups and the first-picture thumbnail.
#include "app/MediaThumbnail.h"
#include "app/VideoDVDJob.h"
#include "base/Texts.h"
#include "picture/ImageFile.h"
#include "picture/RgbImage.h"
#include "support/MediaFixtures.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>

using testsupport::TempDir;

namespace {

const char kCue[] = "1\n00:00:00,500 --> 00:00:02,000\nHello\n\n";

// A slide-show project of `photos` photos (7 s each): a row that probes fast.
std::string Project(const TempDir& dir, const std::string& name, int photos)
{
    std::string text = "[General]\nID=OrvoPhotoShow\nPhotoCount=" + std::to_string(photos) + "\n";
    for (int i = 1; i <= photos; ++i) text += "[Photo" + std::to_string(i) + "]\nPath=x.jpg\n";
    testsupport::WriteText(dir.File(name), text);
    return dir.File(name);
}

std::vector<std::string> Paths(const CVideoDVDJob& job)
{
    std::vector<std::string> paths;
    for (const auto& row : job.Rows()) paths.push_back(row.path);
    return paths;
}

}  // namespace

TEST(VideoList, SubtitlesStayWithTheirVideosWhenRowsMoveOrGo)
{
    TempDir dir;
    CScriptedUi ui;
    CVideoDVDJob job(ui);
    const std::string a = Project(dir, "a.osh", 1), b = Project(dir, "b.osh", 2), c = Project(dir, "c.osh", 3);
    for (const std::string& path : {a, b, c}) ASSERT_TRUE(job.AddMedia(path));
    testsupport::WriteText(dir.File("b.srt"), kCue);
    testsupport::WriteText(dir.File("c.srt"), kCue);
    ASSERT_TRUE(job.SetRowSubtitle(1, dir.File("b.srt")));
    ASSERT_TRUE(job.SetRowSubtitle(2, dir.File("c.srt")));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{"", dir.File("b.srt"), dir.File("c.srt")}));

    // Dragging the last row to the top takes its subtitle along.
    EXPECT_EQ(job.MoveRows({2}, 0), 0);
    EXPECT_EQ(Paths(job), (std::vector<std::string>{c, a, b}));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{dir.File("c.srt"), "", dir.File("b.srt")}));
    // Two rows dragged below the last keep their order; rows that are not rows are not moved.
    EXPECT_EQ(job.MoveRows({1, 0}, 3), 1);
    EXPECT_EQ(Paths(job), (std::vector<std::string>{b, c, a}));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{dir.File("b.srt"), dir.File("c.srt")}));
    EXPECT_EQ(job.MoveRows({5, -1}, 0), -1);
    // Dropped onto itself a row stays; one moved down lands before the row it was dropped on.
    EXPECT_EQ(job.MoveRows({1}, 1), 1);
    EXPECT_EQ(job.MoveRows({0}, 2), 1);
    EXPECT_EQ(Paths(job), (std::vector<std::string>{c, b, a}));
    EXPECT_EQ(job.MoveRows({2}, 0), 0);
    EXPECT_EQ(Paths(job), (std::vector<std::string>{a, c, b}));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{"", dir.File("c.srt"), dir.File("b.srt")}));

    // Removing a video removes its subtitle; b keeps its own.
    job.RemoveRows({1});
    EXPECT_EQ(Paths(job), (std::vector<std::string>{a, b}));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{"", dir.File("b.srt")}));

    // Removing a subtitle row empties it rather than moving later ones up; empty rows at
    // the end go.
    ASSERT_TRUE(job.AddSubtitle(dir.File("c.srt")));
    job.RemoveSubtitles({1, 7, -2});
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{"", "", dir.File("c.srt")}));
    job.RemoveSubtitles({2});
    EXPECT_TRUE(job.Subtitles().empty());

    // A file that is not a subtitle is refused by name and not given to the row.
    testsupport::WriteText(dir.File("bad.srt"), "no cues here\n");
    EXPECT_FALSE(job.SetRowSubtitle(0, dir.File("bad.srt")));
    EXPECT_NE(job.Error().find("bad.srt"), std::string::npos) << job.Error();
    EXPECT_TRUE(job.Subtitles().empty());
}

TEST(VideoList, TheSubtitleBesideAVideoIsOfferedAndTakenOnlyOnYes)
{
    TempDir dir;
    CScriptedUi ui;
    CVideoDVDJob job(ui);
    ASSERT_TRUE(job.AddMedia(Project(dir, "plain.osh", 1)));
    EXPECT_EQ(job.OfferAssociatedSubtitle(0), "");
    EXPECT_TRUE(ui.boxes.empty()) << "no question without a file beside";

    ASSERT_TRUE(job.AddMedia(Project(dir, "talk.osh", 1)));
    testsupport::WriteText(dir.File("talk.srt"), kCue);
    ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(job.OfferAssociatedSubtitle(1), "");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.rfind(Text(3221), 0), 0u) << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].caption, Text(3220));
    EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(job.Subtitles().empty());

    // Yes gives it to its own row, not to the first row without one.
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(job.OfferAssociatedSubtitle(1), dir.File("talk.srt"));
    EXPECT_EQ(job.Subtitles(), (std::vector<std::string>{"", dir.File("talk.srt")}));

    // An unreadable file beside is reported by name after the Yes.
    ASSERT_TRUE(job.AddMedia(Project(dir, "junk.osh", 1)));
    testsupport::WriteText(dir.File("junk.srt"), "");
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(job.OfferAssociatedSubtitle(2), "");
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_NE(ui.boxes[3].text.find("junk.srt"), std::string::npos) << ui.boxes[3].text;
    EXPECT_EQ(job.Subtitles().size(), 2u);
}

TEST(VideoList, TheRangeDialogsWholeSecondsKeepExactEndsLeftAlone)
{
    TempDir dir;
    CScriptedUi ui;
    CVideoDVDJob job(ui);
    ASSERT_TRUE(job.AddMedia(Project(dir, "a.osh", 2)));
    // The list shows whole seconds; a row whose file lasts 14.6 s keeps that end when
    // the dialog's end is left at 00:00:14.
    job.SetRange(0, 0, 14.6);
    job.SetShownRange(0, 3, 14);
    EXPECT_DOUBLE_EQ(job.Rows()[0].start, 3);
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 14.6);
    // The dialog's rules: a start after the end, an end of 0.
    job.SetShownRange(0, 600, 300);
    EXPECT_DOUBLE_EQ(job.Rows()[0].start, 299);
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 300);
    job.SetShownRange(0, 0, 0);
    EXPECT_DOUBLE_EQ(job.Rows()[0].start, 0);
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 1);
}

TEST(VideoList, TheChooserHasTwelveGroupsWithTheirOwnTexts)
{
    const auto& groups = CVideoDVDJob::MediaFilterGroups();
    ASSERT_EQ(groups.size(), 12u);
    std::set<int> keys;
    for (const auto& group : groups) keys.insert(group.key);
    EXPECT_EQ(keys.size(), 12u);
    EXPECT_EQ(*keys.begin(), 3301);
    EXPECT_EQ(*keys.rbegin(), 3312);
    EXPECT_EQ(Text(groups.back().key), "All Files");
    EXPECT_STREQ(groups.back().patterns, "*");
    EXPECT_NE(std::string(groups[0].patterns).find("VTS_*.IFO"), std::string::npos);
}

TEST(MediaThumbnail, ShowsTheFirstPictureInItsShape)
{
    TempDir dir;
    std::string error;
    const testsupport::SMediaFixture clip =
        testsupport::MakeMediaFixture(testsupport::EMediaFixture::Named9876, dir.Path().string(), &error);
    ASSERT_FALSE(clip.path.empty()) << error;
    CMediaThumbnail thumb;
    ASSERT_TRUE(thumb.Make(clip.path, 96, 96)) << thumb.Error();
    // Its shape is the clip's, inside the box.
    EXPECT_EQ(thumb.width, 96);
    EXPECT_NEAR(double(thumb.height), 96.0 * clip.height / clip.width, 2.0);
    ASSERT_EQ(thumb.rgb.size(), size_t(thumb.width) * size_t(thumb.height) * 3);
    // White upper half, black lower half, the right way up.
    auto at = [&](int x, int y) { return thumb.rgb[(size_t(y) * size_t(thumb.width) + size_t(x)) * 3 + 1]; };
    EXPECT_GT(at(thumb.width / 2, thumb.height / 4), 200);
    EXPECT_LT(at(thumb.width / 2, thumb.height * 3 / 4), 50);

    // A slide-show project shows its first photo (here red, 40 x 30).
    CRgbImage red;
    red.width = 40;
    red.height = 30;
    for (int i = 0; i < 40 * 30; ++i) red.pixels.insert(red.pixels.end(), {220, 20, 20});
    ASSERT_TRUE(CImageFile::WriteJpeg(dir.File("red.jpg"), red, 90, error)) << error;
    const std::string project = dir.File("p.osh");
    testsupport::WriteText(project,
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=1\n[Photo1]\nPath=" + dir.File("red.jpg") + "\n");
    ASSERT_TRUE(thumb.Make(project, 96, 96)) << thumb.Error();
    EXPECT_EQ(thumb.width, 96);
    EXPECT_EQ(thumb.height, 72);
    EXPECT_GT(thumb.rgb[0], 180);
    EXPECT_LT(thumb.rgb[1], 60);

    // A project whose photo is missing and a missing file have no picture.
    testsupport::WriteText(project,
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=1\n[Photo1]\nPath=" + dir.File("gone.jpg") + "\n");
    EXPECT_FALSE(thumb.Make(project, 96, 96));
    EXPECT_FALSE(thumb.Make(dir.File("missing.mp4"), 96, 96));
    EXPECT_FALSE(thumb.Error().empty());
    EXPECT_TRUE(thumb.rgb.empty());
}
