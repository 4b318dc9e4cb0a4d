// CVideo: the video elementary-stream source that the multiplexer pulls bytes from.
// Implemented by CVideoSlide (slide shows) and CVideoDshow (media files); each owns one
// CEncoder and forwards to it. The virtual operations are declared in their fixed slot
// order; the base class gives the neutral behaviour noted on each.
//
// Call order used by the creation job and the multiplexer: construct; (media files)
// SetProgressOffset, SetFlipVertical; (titles from an existing DVD folder) SetWideScreen;
// InitFromSettings; Start; (media files) SetFieldOrder; then Read, CurrentPictureTime,
// NextPictureTime and IsDrained as needed; Finish after the IFO files; destroy.
#pragma once

#include <cstdint>
#include <string>

class CDVDParams;

class CVideo {
public:
    // 90 kHz time that marks "after the end of the stream" (eight hours).
    static constexpr uint32_t endOfStreamTime = 2592000000u;

    // 1. Turns every input frame upside down before coding when set. Base: nothing.
    virtual void SetFlipVertical(bool flip) { (void)flip; }
    // 2. Chooses 16:9 (true) or 4:3 (false) as the aspect. Base: nothing.
    virtual void SetWideScreen(bool wide) { (void)wide; }
    // 3. Sets progressive_frame/top_field_first from the source's field order. Base: nothing.
    virtual void SetFieldOrder(bool interlaced, bool topFieldFirst)
    {
        (void)interlaced;
        (void)topFieldFirst;
    }
    // 4. Seconds added to the position the progress window shows. Base: nothing.
    virtual void SetProgressOffset(int32_t seconds) { (void)seconds; }
    // 5. True when every byte of the buffered group of pictures has been read, so the
    //    next Read codes a new GOP. Base: false.
    virtual bool IsDrained() { return false; }
    // 6. 90 kHz presentation time of the picture at the read position (one picture after
    //    the current one); endOfStreamTime after the last byte. Base: 0.
    virtual uint32_t NextPictureTime() { return 0; }
    // 7. 90 kHz decoding time of the picture at the read position; endOfStreamTime after
    //    the last byte. Base: 0.
    virtual uint32_t CurrentPictureTime() { return 0; }
    // 8. Configures the encoder from the job's DVD settings. Returns 1 on success, 0 when
    //    the encoder's buffers could not be allocated. Base: 1.
    virtual int32_t InitFromSettings(const CDVDParams& params)
    {
        (void)params;
        return 1;
    }
    // 9. Configures the encoder from section "OrvoMPG" of the INI file at `path`.
    //    Returns 1 on success, 0 when the buffers could not be allocated. Base: 1.
    virtual int32_t InitFromConfigFile(const std::string& path)
    {
        (void)path;
        return 1;
    }
    // 10. 0 for width 720, 1 for 704, else 2 when the height is above 400, 3 otherwise.
    //     Base: 0.
    virtual int32_t ResolutionCode() { return 0; }
    // 11. 25 when the frame rate is below 26, else 30. Base: 30.
    virtual int32_t FrameRateClass() { return 30; }
    // 12. Called by the title builders after the IFO files are written. Does nothing.
    virtual void Finish() {}
    // 13. True when the aspect is 16:9. Base: false.
    virtual bool IsWideScreen() { return false; }
    // 14. Copies up to `length` bytes of the elementary stream into `buffer`, coding the
    //     next group of pictures when the buffered one is used up. Returns the number of
    //     bytes copied, 0 at the end of the stream. Base: returns `length`.
    virtual int32_t Read(uint8_t* buffer, int32_t length)
    {
        (void)buffer;
        return length;
    }
    // 15. Attaches the frame source, sets the frame count and opens the encoder's progress
    //     window. `tag`, `a` and `b` are unused by the video sources. Returns 1 on
    //     success. Base: 1.
    virtual int32_t Start(void* tag, int32_t a, int32_t b)
    {
        (void)tag;
        (void)a;
        (void)b;
        return 1;
    }
    // 16. Releases the encoder and, if still open, its progress window.
    virtual ~CVideo() = default;
};
