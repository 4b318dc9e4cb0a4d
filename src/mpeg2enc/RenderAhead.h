// CRenderAhead: runs another frame source on a thread of its own, a few pictures ahead
// of the encoder that pulls from it. The pictures come out in exactly the order the
// wrapped source gives them, so the coded stream is the same as when the encoder pulls
// directly; only the time spent rendering (photo decoding, scaling, effects) overlaps
// the time spent coding.
//
// The ring of pictures is allocated once, when the first picture is asked for (its
// size is then known from the consumer's frame). NextFrame exchanges picture buffers
// with the ring instead of copying them. A failure (exception) on the rendering thread
// is handed to the consumer: the pictures made before it are delivered first, then
// NextFrame throws it, at the same place the direct call would have thrown.
#pragma once

#include "picture/FrameSource.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CRenderAhead : public CFrameSource {
public:
    static constexpr int defaultDepth = 4;

    // Wraps `source` (not owned; it must outlive this object) with a ring of `depth`
    // pictures (at least 1). Nothing runs until the first NextFrame.
    explicit CRenderAhead(CFrameSource& source, int depth = defaultDepth);
    // Stops the rendering thread and waits for it: a picture being rendered is
    // finished first, the rest are not rendered.
    ~CRenderAhead() override;
    CRenderAhead(const CRenderAhead&) = delete;
    CRenderAhead& operator=(const CRenderAhead&) = delete;

    // The wrapped source's frame count (as it was when rendering started, once it has).
    int64_t FrameCount() override;

    // Limits the thread to the first `frames` pictures; any asked for beyond them are
    // rendered on the calling thread. Once the consumer has had its last picture the
    // thread has ended and no longer touches the source. Call before the first
    // NextFrame; negative means no limit (the default).
    void SetFrameLimit(int64_t frames) { frameLimit = frames; }

    // Hands over the next picture of the wrapped source in `frame.picture` (exchanged
    // with a ring buffer). Rethrows an exception the source raised on the thread.
    void NextFrame(CFrame& frame) override;

    // Stops and joins the rendering thread now (the destructor does this too).
    void Stop();

private:
    void StartThread(const CFrame& like);
    void Run();

    CFrameSource& source;
    const int depth;
    int64_t frameLimit = -1;
    int64_t frameCount = 0;
    int64_t delivered = 0;  // pictures handed to the consumer so far

    std::vector<std::unique_ptr<CFrame>> ring;
    std::thread worker;
    bool started = false;

    // Shared with the thread, guarded by `lock`.
    std::mutex lock;
    std::condition_variable changed;
    int head = 0;  // ring index of the next picture to hand over
    int filled = 0;  // pictures ready in the ring from head on
    bool stopping = false;  // the consumer wants the thread to end
    bool finished = false;  // the thread has ended (limit reached, stopped or failed)
    std::exception_ptr error;  // what the source threw, after the filled pictures
};
