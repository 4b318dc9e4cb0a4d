// CVideoDshow: the video source of a video-file (or camcorder) title. Owns one CEncoder
// that pulls its pictures from a decoded media file (CDirectShowAV) at the title's frame
// size and rate; the multiplexer reads the coded stream through the CVideo operations.
//
// Its picture times are the encoder's plus the start offset between the file's first
// sound and its first picture: a file whose pictures start later than its sound shows
// them later on the disc too (the sound source shifts itself in the other case).
#pragma once

#include "mpeg2enc/Encoder.h"
#include "mpeg2enc/Video.h"
#include "picture/FrameSource.h"

#include <cstdint>

class CDirectShowAV;

class CVideoDshow : public CVideo {
public:
    // Pictures to code when the file does not say how long it is (four hours at 29.97);
    // the stream still ends with the file's last picture.
    static constexpr int64_t unknownLengthFrames = 432000;

    // Reads from `media` (not owned; it must outlive this source and be opened, its
    // target and range set, before Start).
    explicit CVideoDshow(CDirectShowAV* media);
    ~CVideoDshow() override;

    void SetFlipVertical(bool flip) override { encoder.SetFlipVertical(flip); }
    // Forces 16:9 (true) or 4:3 (false), as the source DVD's own IFO says; kept over
    // the settings and over the picture's shape.
    void SetWideScreen(bool wide) override;
    void SetFieldOrder(bool interlaced, bool topFieldFirst) override
    {
        encoder.SetFieldOrder(interlaced, topFieldFirst);
    }
    void SetProgressOffset(int32_t seconds) override { encoder.SetProgressOffset(seconds); }
    bool IsDrained() override { return encoder.IsDrained(); }
    // The encoder's 90 kHz picture times plus the start offset.
    uint32_t NextPictureTime() override;
    uint32_t CurrentPictureTime() override;
    int32_t InitFromSettings(const CDVDParams& params) override;
    int32_t InitFromConfigFile(const std::string& path) override;
    // 0 for 720 wide, 1 for 704, else 2 above 400 lines and 3 otherwise.
    int32_t ResolutionCode() override;
    // 25 below 26 pictures per second, else 30.
    int32_t FrameRateClass() override;
    bool IsWideScreen() override { return encoder.AspectCode() == 3; }
    // The next bytes of the stream (0 at the end); updates the start offset.
    int32_t Read(uint8_t* buffer, int32_t length) override;
    // Attaches the decoded file with its frame count (its range's length at the title's
    // rate, or unknownLengthFrames) and opens the progress window; a wide source makes a
    // 16:9 title. Returns 1, or 0 when the encoder was not initialised.
    int32_t Start(void* tag, int32_t a, int32_t b) override;

    // True when a source of `width` x `height` shown with `displayAspect` (width over
    // height as seen; 0 = square pixels) is nearer 16:9 than 4:3.
    static bool IsWideShape(int width, int height, double displayAspect);

    // The encoder, for callers that need its state (tests, tools).
    CEncoder& Encoder() { return encoder; }
    // 90 kHz added to the picture times.
    uint32_t StartOffset() const { return startOffset; }

private:
    // The decoded file as the encoder's frame source.
    class CMediaFrames : public CFrameSource {
    public:
        explicit CMediaFrames(CDirectShowAV* media_) : media(media_) {}
        int64_t FrameCount() override { return frames; }
        void NextFrame(CFrame& frame) override;
        bool Exhausted() override { return ended; }
        int64_t frames = 0;

    private:
        CDirectShowAV* media;
        bool ended = false;
    };

    // Settles the start offset once both media have handed over their first sample
    // (waiting for them), so that the first pictures already carry it.
    void UpdateStartOffset();

    CDirectShowAV* media;
    CMediaFrames frames;
    CEncoder encoder;
    int forcedAspect = 0;  // 0 none, else the aspect code SetWideScreen chose
    uint32_t startOffset = 0;
    bool offsetSettled = false;
};
