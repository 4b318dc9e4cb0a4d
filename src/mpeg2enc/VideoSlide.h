// CVideoSlide: the video source of a slide-show title. Owns one CEncoder that pulls its
// frames from the slide-show frame source given at construction; the multiplexer reads
// the coded stream through the CVideo operations.
#pragma once

#include "mpeg2enc/Encoder.h"
#include "mpeg2enc/Video.h"

#include <memory>

class CFrameSource;
class CRenderAhead;

class CVideoSlide : public CVideo {
public:
    // Encodes the pictures of a rendered source (the slide show) that it owns. When more
    // than one worker thread is allowed (WorkerThreads), the source renders on a
    // thread of its own a few pictures ahead of the encoder (CRenderAhead).
    explicit CVideoSlide(std::unique_ptr<CFrameSource> source);
    // Encodes the pictures of any frame source, on the encoder's thread; `source` must
    // outlive this object.
    explicit CVideoSlide(CFrameSource& source);
    ~CVideoSlide() override;

    // Drained: every byte of the buffered GOP has been read.
    bool IsDrained() override;
    // The encoder's 90 kHz picture times at the read position.
    uint32_t NextPictureTime() override;
    uint32_t CurrentPictureTime() override;
    // Configure the encoder; 0 when its memory could not be allocated.
    int32_t InitFromSettings(const CDVDParams& params) override;
    int32_t InitFromConfigFile(const std::string& path) override;
    // 0 for 720 wide, 1 for 704, else 2 above 400 lines and 3 otherwise.
    int32_t ResolutionCode() override;
    // 25 below 26 pictures per second, else 30.
    int32_t FrameRateClass() override;
    // True when the aspect code is 3 (16:9).
    bool IsWideScreen() override;
    // The next bytes of the stream; 0 at the end.
    int32_t Read(uint8_t* buffer, int32_t length) override;
    // Attaches the frame source with its frame count + 5 and opens the progress window.
    // Returns 1, or 0 when the encoder was not initialised.
    int32_t Start(void* tag, int32_t a, int32_t b) override;

    // The encoder, for callers that need its state (tests, tools).
    CEncoder& Encoder() { return encoder; }

private:
    // Members are destroyed bottom up: the encoder first, then the rendering thread
    // (joined), then the source it rendered from.
    std::unique_ptr<CFrameSource> ownedSource;
    std::unique_ptr<CRenderAhead> renderAhead;
    CFrameSource& frameSource;
    CEncoder encoder;
};
