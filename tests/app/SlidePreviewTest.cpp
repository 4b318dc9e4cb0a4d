// The slide-show preview: pictures in step with the sound whatever the sound device's
// clock does, the silent preview by the system clock, stopping, the empty album.
//
// Most cases run on a stepped clock: time moves only while both of the preview's
// threads wait on it, so a 30-second show plays in the time its pictures take to
// render, and what the test measures does not depend on how busy the machine is.
#include "app/PcmOutput.h"
#include "app/PreviewTimer.h"
#include "app/ShowClock.h"
#include "app/SlidePreview.h"
#include "base/Texts.h"
#include "picture/YUV420Image.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr double kBytesPerMicrosecond = 192000.0 / 1e6;

// A clock that moves only when every thread reading it is waiting: then it jumps to the
// earliest wake-up time among them.
class CSteppedTimer : public CPreviewTimer {
public:
    int64_t NowMicroseconds() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return now;
    }
    void SleepMicroseconds(int64_t microseconds) override
    {
        if (microseconds <= 0) return;
        std::unique_lock<std::mutex> lock(mutex);
        const int64_t wake = now + microseconds;
        auto mine = wakes.insert(wake);
        Advance();
        woken.wait(lock, [&] { return now >= wake; });
        wakes.erase(mine);
    }
    void ReaderStarts() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++readers;
    }
    void ReaderEnds() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        --readers;
        Advance();
    }

private:
    void Advance()
    {
        if (wakes.empty() || int(wakes.size()) < readers) return;
        now = std::max(now, *wakes.begin());
        woken.notify_all();
    }

    std::mutex mutex;
    std::condition_variable woken;
    std::multiset<int64_t> wakes;
    int readers = 0;
    int64_t now = 0;
};

// A sound device whose clock runs `rate` times as fast as the timer's: it consumes
// what was queued at 192,000 x rate bytes per second of timer time, and stands still
// while nothing is queued.
class CDriftingOutput : public CPcmOutput {
public:
    CDriftingOutput(CPreviewTimer& timer_, double rate_, bool opens_ = true) : timer(timer_), rate(rate_), opens(opens_)
    {}
    bool Open(int sampleRate, int channels, int bitsPerSample) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++opened;
        if (isOpen) openedTwice = true;
        if (!opens || sampleRate != 48000 || channels != 2 || bitsPerSample != 16) return false;
        isOpen = true;
        consumed = 0;
        queued = 0;
        last = timer.NowMicroseconds();
        return true;
    }
    bool Queue(const uint8_t*, int32_t bytes) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        Consume();
        if (!isOpen) return false;
        queued += bytes;
        ++queues;
        return true;
    }
    int64_t BytesPlayed() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        Consume();
        return int64_t(consumed) & ~int64_t(3);
    }
    void Close() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        isOpen = false;
        ++closed;
    }

    int opened = 0, closed = 0, queues = 0;
    bool openedTwice = false;

private:
    void Consume()
    {
        const int64_t t = timer.NowMicroseconds();
        if (isOpen) consumed = std::min(double(queued), consumed + double(t - last) * kBytesPerMicrosecond * rate);
        last = t;
    }

    CPreviewTimer& timer;
    double rate;
    bool opens;
    std::mutex mutex;
    bool isOpen = false;
    double consumed = 0;
    int64_t queued = 0;
    int64_t last = 0;
};

// An album of `count` of the sample photos, each shown `showSeconds` with a 2-second
// transition and no motion.
CAlbum SampleAlbum(int count, int showSeconds)
{
    const char* names[] = {"beach.jpg", "city.jpg", "flowers.jpg", "forest.jpg"};
    CAlbum album;
    for (int i = 0; i < count; ++i) {
        album.AddPhoto(testsupport::DataDir() + "/sample/" + names[i % 4]);
        album.photos.back().showSeconds = showSeconds;
        album.photos.back().transitionSeconds = 2;
        album.photos.back().panZoomType = kEffectNone;
    }
    return album;
}

// Frames the DVD renderer gives a photo: trunc(29.97 x seconds), at least 1.
int Frames(int seconds) { return std::max(1, int(29.97 * seconds)); }

struct SShown {
    int64_t number;
    int64_t bytesPlayed;  // what the sound device had played when the picture came
    int64_t timerNow;  // the timer's time then
    uint64_t sum;  // sum of the picture's bytes, to tell pictures apart
};

// Plays `album` to the end on `timer` through `output` and returns every picture shown.
std::vector<SShown> PlayToEnd(CSlidePreview& preview, const CAlbum& album, CPreviewTimer& timer, CPcmOutput& output)
{
    std::vector<SShown> shown;
    std::mutex mutex;
    const bool started = preview.Start(album, [&](const CRgbImage& picture, int64_t number) {
        const uint64_t sum = std::accumulate(picture.pixels.begin(), picture.pixels.end(), uint64_t(0));
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({number, output.BytesPlayed(), timer.NowMicroseconds(), sum});
    });
    EXPECT_TRUE(started) << preview.Error();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while ((preview.PicturesRunning() || preview.SoundPlaying()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(preview.PicturesRunning()) << "the preview did not end";
    preview.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    return shown;
}

}  // namespace

TEST(ShowClock, FollowsTheSoundWhilePlayingAndTheSystemClockOtherwise)
{
    CShowClock clock;
    clock.Start(1000000);
    // A device running 2 % fast: 1 s of system time plays 1.02 s of sound.
    EXPECT_EQ(clock.Now(1000000, true, 0), 0);
    EXPECT_EQ(clock.Now(2000000, true, 195840), 1020000);
    EXPECT_TRUE(clock.FollowsSound());
    // The sound ends: the system clock carries on from the sound's time.
    EXPECT_EQ(clock.Now(2100000, false, 0), 1120000);
    EXPECT_FALSE(clock.FollowsSound());

    CShowClock silent;
    silent.Start(500);
    EXPECT_EQ(silent.Now(50500, false, 0), 50000);
    EXPECT_EQ(silent.Now(3000500, false, 0), 3000000);
}

TEST(ShowClock, StalledDeviceHandsOverToTheSystemClockWithoutJumpingAndNeverRunsBack)
{
    constexpr int64_t stall = CShowClock::kStallMicroseconds;
    CShowClock clock;
    clock.Start(0);
    EXPECT_EQ(clock.Now(100000, true, 19200), 100000);
    // The device stops consuming: show time stands while it might still catch up...
    const int64_t standing = 100000 + stall - 50000;
    EXPECT_EQ(clock.Now(standing, true, 19200), 100000);
    EXPECT_TRUE(clock.FollowsSound());
    // ...and after the stall limit goes on by the system clock from the last reading.
    const int64_t stalled = 100000 + stall + 10000;
    EXPECT_EQ(clock.Now(stalled, true, 19200), 100000 + (stalled - standing));
    EXPECT_FALSE(clock.FollowsSound());
    EXPECT_EQ(clock.Now(stalled + 90000, true, 19200), 100000 + (stalled - standing) + 90000);
    const int64_t shown = 100000 + (stalled - standing) + 90000;
    // The device comes back behind the show: show time waits rather than running back,
    // then follows the sound again once it has caught up.
    EXPECT_EQ(clock.Now(stalled + 100000, true, 28800), shown);
    EXPECT_EQ(clock.Now(stalled + 120000, true, shown * 192 / 1000 + 9600), shown + 50000);
    EXPECT_TRUE(clock.FollowsSound());
}

TEST(SlidePreview, PicturesStayInStepWithASoundDeviceRunningOffTheSystemClock)
{
    // Four photos of 3 + 2 s: 4 x (89 + 59) frames at the DVD's rate, played at 20/s.
    const CAlbum album = SampleAlbum(4, 3);
    const int64_t frames = 4 * (Frames(3) + Frames(2)) + 5;
    for (double rate : {1.01, 0.99}) {
        SCOPED_TRACE("sound device rate " + std::to_string(rate));
        CScriptedUi ui;
        CSteppedTimer timer;
        CDriftingOutput output(timer, rate);
        CSlidePreview preview(ui, output, timer);
        const std::vector<SShown> shown = PlayToEnd(preview, album, timer, output);
        EXPECT_TRUE(preview.SoundOpened());
        EXPECT_EQ(preview.FrameCount(), frames);
        ASSERT_EQ(int64_t(shown.size()), frames);
        int64_t worst = 0;
        for (size_t i = 0; i < shown.size(); ++i) {
            ASSERT_EQ(shown[i].number, int64_t(i));
            const int64_t pictureTime = shown[i].number * 50000;
            const int64_t soundTime = int64_t(double(shown[i].bytesPlayed) / kBytesPerMicrosecond);
            worst = std::max(worst, std::abs(pictureTime - soundTime));
        }
        EXPECT_LE(worst, 100000) << "pictures and sound apart by " << worst << " us";
        // The show is about 30 s long, and its end is visibly off the system clock:
        // pictures run by the system clock would be 300 ms away from the sound.
        EXPECT_GT(shown.back().number * 50000, 29000000);
        EXPECT_GT(std::abs(shown.back().timerNow - shown.back().number * 50000), 250000);
        // The whole sound, as long as the pictures, was queued.
        EXPECT_EQ(preview.BytesQueued(), frames * 9600);
        EXPECT_EQ(output.closed, 1);
        // The pictures change from photo to photo.
        EXPECT_NE(shown.front().sum, shown[size_t(Frames(3) + Frames(2) + 10)].sum);
    }
}

TEST(SlidePreview, WithoutASoundDevicePicturesRunSilentByTheSystemClock)
{
    const CAlbum album = SampleAlbum(2, 1);
    CScriptedUi ui;
    CSteppedTimer timer;
    CDriftingOutput output(timer, 1.0, false);
    CSlidePreview preview(ui, output, timer);
    const std::vector<SShown> shown = PlayToEnd(preview, album, timer, output);
    EXPECT_FALSE(preview.SoundOpened());
    EXPECT_EQ(output.queues, 0);
    EXPECT_EQ(output.closed, 0);
    ASSERT_EQ(int64_t(shown.size()), 2 * (Frames(1) + Frames(2)) + 5);
    const int64_t start = shown.front().timerNow;
    for (const SShown& s : shown) EXPECT_NEAR(double(s.timerNow - start), double(s.number * 50000), 10000.0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(SlidePreview, StopEndsPicturesAndSoundAtOnceAndANewStartStopsTheOldFirst)
{
    const CAlbum album = SampleAlbum(3, 5);
    CScriptedUi ui;
    CDriftingOutput output(CPreviewTimer::System(), 1.0);
    CSlidePreview preview(ui, output, CPreviewTimer::System());
    std::atomic<int> firstShown{0}, secondShown{0};
    ASSERT_TRUE(preview.Start(album, [&](const CRgbImage&, int64_t) { ++firstShown; }));
    const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (firstShown < 5 && std::chrono::steady_clock::now() < give)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(firstShown, 5);
    EXPECT_TRUE(preview.SoundPlaying());

    // A second preview while the first plays: the first is stopped and its output
    // closed before the output is opened again.
    ASSERT_TRUE(preview.Start(album, [&](const CRgbImage&, int64_t) { ++secondShown; }));
    const int firstAtRestart = firstShown;
    EXPECT_FALSE(output.openedTwice);
    EXPECT_EQ(output.opened, 2);
    EXPECT_EQ(output.closed, 1);
    while (secondShown < 5 && std::chrono::steady_clock::now() < give)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(firstShown, firstAtRestart);

    const auto before = std::chrono::steady_clock::now();
    preview.Stop();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::milliseconds(300));
    EXPECT_FALSE(preview.PicturesRunning());
    EXPECT_FALSE(preview.SoundPlaying());
    EXPECT_EQ(output.closed, 2);
    EXPECT_LT(preview.FramesShown(), preview.FrameCount());
    const int atStop = secondShown;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(secondShown, atStop);
}

TEST(SlidePreview, AnAlbumWithoutPhotosIsRefusedAndNothingStarts)
{
    CAlbum noPhotos;
    CAlbum unnamed;
    unnamed.photos.push_back(CAlbumPhoto());  // a project whose photo section names no file
    for (const CAlbum* album : {&noPhotos, &unnamed}) {
        CScriptedUi ui;
        CDriftingOutput output(CPreviewTimer::System(), 1.0);
        CSlidePreview preview(ui, output, CPreviewTimer::System());
        EXPECT_FALSE(preview.Start(*album, [](const CRgbImage&, int64_t) { ADD_FAILURE() << "a picture came"; }));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, Text(4302));
        EXPECT_EQ(ui.boxes[0].caption, "Kestrova");
        EXPECT_EQ(output.opened, 0);
        EXPECT_FALSE(preview.PicturesRunning());
    }
}

TEST(SlidePreview, ToRgbGivesTheColoursOfStudioRangePictures)
{
    CYUV420Image picture;
    ASSERT_TRUE(picture.Create(2, 4));
    // White, black, and the red the renderer makes of (255, 0, 0).
    const uint8_t y[4] = {235, 16, 82, 82}, cb[2] = {128, 90}, cr[2] = {128, 240};
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 4; ++x) picture.planeY[row * 4 + x] = y[x];
    picture.planeCb[0] = cb[0];
    picture.planeCr[0] = cr[0];
    picture.planeCb[1] = cb[1];
    picture.planeCr[1] = cr[1];
    CRgbImage rgb;
    CSlidePreview::ToRgb(picture, rgb);
    ASSERT_EQ(rgb.width, 4);
    ASSERT_EQ(rgb.height, 2);
    ASSERT_EQ(rgb.pixels.size(), 24u);
    const uint8_t* p = rgb.pixels.data();
    EXPECT_EQ(std::vector<int>(p, p + 6), std::vector<int>({255, 255, 255, 0, 0, 0}));
    EXPECT_NEAR(p[6], 255, 3);
    EXPECT_NEAR(p[7], 0, 3);
    EXPECT_NEAR(p[8], 0, 3);
    EXPECT_EQ(std::vector<int>(p + 12, p + 24), std::vector<int>(p, p + 12));  // second row repeats the first
}
