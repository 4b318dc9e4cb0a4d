// Rendering ahead on a thread of its own: the same pictures in the same order as the
// wrapped source (also past its end and past the thread's limit), failures handed to
// the consumer in place, clean ends when the consumer stops early, and the slide-show
// video coded to the same bytes with and without the thread.
#include "mpeg2enc/RenderAhead.h"
#include "picture/Frame.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int width = 64;
constexpr int height = 48;

// Picture n of a show of `frames` pictures: every sample depends on n and its place,
// so that any two pictures differ. Past the end the last picture repeats.
void Draw(int64_t n, CYUV420Image& p)
{
    for (int i = 0; i < p.lumaSize; ++i) p.planeY[i] = uint8_t(n * 37 + i * 11 + (i >> 7));
    for (int i = 0; i < p.chromaSize; ++i) {
        p.planeCb[i] = uint8_t(n * 5 + i);
        p.planeCr[i] = uint8_t(255 - n * 3 - i);
    }
}

class CNumberedSource : public CFrameSource {
public:
    explicit CNumberedSource(int64_t frames) : frames(frames) {}
    int64_t FrameCount() override { return frames; }
    void NextFrame(CFrame& frame) override
    {
        inside = true;
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        const int64_t n = calls++;
        {
            std::lock_guard<std::mutex> guard(lock);
            threads.push_back(std::this_thread::get_id());
        }
        if (n == failAt) {
            inside = false;
            throw std::runtime_error("photo " + std::to_string(n) + " is damaged");
        }
        Draw(n < frames ? n : frames - 1, frame.picture);
        inside = false;
    }

    int64_t frames;
    int64_t failAt = -1;
    std::chrono::milliseconds delay{0};
    std::atomic<int64_t> calls{0};
    std::atomic<bool> inside{false};
    std::mutex lock;
    std::vector<std::thread::id> threads;
};

bool SamePicture(const CYUV420Image& a, const CYUV420Image& b)
{
    return a.width == b.width && a.height == b.height && std::memcmp(a.planeY, b.planeY, size_t(a.planarSize)) == 0;
}

// Pulls `count` pictures from `source` into one frame, as the encoder does, and keeps
// a copy of each.
std::vector<CYUV420Image> Pull(CFrameSource& source, int count)
{
    CFrame frame;
    EXPECT_TRUE(frame.Create(width, height));
    std::vector<CYUV420Image> pictures;
    for (int i = 0; i < count; ++i) {
        source.NextFrame(frame);
        pictures.push_back(frame.picture);
    }
    return pictures;
}

void ExpectSame(const std::vector<CYUV420Image>& direct, const std::vector<CYUV420Image>& ahead)
{
    ASSERT_EQ(direct.size(), ahead.size());
    for (size_t i = 0; i < direct.size(); ++i) EXPECT_TRUE(SamePicture(direct[i], ahead[i])) << "picture " << i;
}

}  // namespace

TEST(RenderAhead, GivesTheSourcesPicturesInOrderAlsoPastItsEndAndItsLimit)
{
    const int frames = 9;
    CNumberedSource plain(frames);
    const auto direct = Pull(plain, frames + 12);
    // The pictures really differ from one another (the comparison below means something).
    ASSERT_FALSE(SamePicture(direct[0], direct[1]));

    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        CNumberedSource wrapped(frames);
        CRenderAhead ahead(wrapped, depth);
        EXPECT_EQ(ahead.FrameCount(), frames);
        ExpectSame(direct, Pull(ahead, frames + 12));
        // The thread has rendered at most a ring's worth beyond what was asked.
        EXPECT_LE(wrapped.calls.load(), frames + 12 + depth);
    }

    // With a limit the thread stops there and later pictures are made on the caller's
    // thread, still in order.
    CNumberedSource limited(frames);
    {
        CRenderAhead ahead(limited, 3);
        ahead.SetFrameLimit(frames + 5);
        ExpectSame(direct, Pull(ahead, frames + 12));
    }
    ASSERT_EQ(limited.calls.load(), frames + 12);
    const std::thread::id me = std::this_thread::get_id();
    for (int i = 0; i < frames + 5; ++i) EXPECT_NE(limited.threads[size_t(i)], me) << "picture " << i;
    for (int i = frames + 5; i < frames + 12; ++i) EXPECT_EQ(limited.threads[size_t(i)], me) << "picture " << i;
}

TEST(RenderAhead, ExchangesPictureBuffersWithoutLosingAny)
{
    CYUV420Image a, b;
    ASSERT_TRUE(a.Create(height, width));
    ASSERT_TRUE(b.Create(2 * height, 2 * width));
    Draw(1, a);
    Draw(2, b);
    CYUV420Image a0 = a, b0 = b;
    const uint8_t* aBlock = a.memory.block;
    a.Swap(b);
    EXPECT_EQ(b.memory.block, aBlock);
    EXPECT_TRUE(SamePicture(a, b0));
    EXPECT_TRUE(SamePicture(b, a0));
    EXPECT_EQ(a.planeCr + a.chromaSize, a.scratchA);
    EXPECT_EQ(a.lumaStride, 2 * width);
}

TEST(RenderAhead, HandsAFailureOnTheThreadToTheConsumerInItsPlace)
{
    CNumberedSource plain(20);
    const auto direct = Pull(plain, 8);

    CNumberedSource failing(20);
    failing.failAt = 5;
    CRenderAhead ahead(failing, 4);
    CFrame frame;
    ASSERT_TRUE(frame.Create(width, height));
    for (int i = 0; i < 5; ++i) {
        ahead.NextFrame(frame);
        EXPECT_TRUE(SamePicture(frame.picture, direct[size_t(i)])) << "picture " << i;
    }
    try {
        ahead.NextFrame(frame);
        ADD_FAILURE() << "the source's failure was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "photo 5 is damaged");
    }
    // Asked again, the source is asked afresh (as a direct caller would find it).
    ahead.NextFrame(frame);
    EXPECT_TRUE(SamePicture(frame.picture, direct[6]));
    ahead.NextFrame(frame);
    EXPECT_TRUE(SamePicture(frame.picture, direct[7]));
}

TEST(RenderAhead, AConsumerThatStopsEarlyEndsTheThreadWithoutWaitingForTheShow)
{
    // A slow source of many pictures, of which only three are taken.
    CNumberedSource slow(100000);
    slow.delay = std::chrono::milliseconds(20);
    {
        CRenderAhead ahead(slow, 4);
        Pull(ahead, 3);
    }
    // Joined: no call is running or starts afterwards, and it stopped near the consumer.
    EXPECT_FALSE(slow.inside.load());
    const int64_t calls = slow.calls.load();
    EXPECT_LE(calls, 3 + 4 + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(slow.calls.load(), calls);

    // Destroyed before the first picture (nothing started) and stopped twice.
    CNumberedSource idle(10);
    {
        CRenderAhead ahead(idle, 4);
        ahead.Stop();
    }
    EXPECT_EQ(idle.calls.load(), 0);

    // Stopped while pictures wait in the ring: those come out first, then the rest
    // directly, in order.
    CNumberedSource plain(30);
    const auto direct = Pull(plain, 12);
    CNumberedSource source(30);
    CRenderAhead ahead(source, 4);
    CFrame frame;
    ASSERT_TRUE(frame.Create(width, height));
    ahead.NextFrame(frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ahead.Stop();
    for (int i = 1; i < 12; ++i) {
        ahead.NextFrame(frame);
        EXPECT_TRUE(SamePicture(frame.picture, direct[size_t(i)])) << "picture " << i;
    }
}
