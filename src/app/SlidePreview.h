// CSlidePreview: plays the album as the DVD will show it, small and with its sound, for
// the slide-show window's "Preview". The show is built exactly as the DVD job builds it
// (CSlideShowJob::BuildSource) at 320 x 240 pictures and 20 frames per second; its
// frame counts use the DVD's 29.97, so the preview runs about 1.5 times slower than the
// disc, and its sound timeline is laid out at the preview's rate so that it follows
// the preview's pictures.
//
// Two threads play it. The picture thread renders totalFrames + 5 pictures, one every
// 50 ms of show time, and hands each to the picture callback as RGB. The sound thread
// reads the show's PCM (48 kHz, 16-bit stereo) into three rotating buffers of 48,000
// bytes (250 ms each) and queues each buffer on the sound output once the output has
// played it. Show time is the sound's own while it plays (CShowClock), so the
// pictures stay in step with what is heard even when the sound device's clock runs
// off from the system's; without a sound device the pictures run by the system clock.
// Stop clears the running flag both threads watch and joins them.
#pragma once

#include "app/ShowClock.h"
#include "base/Album.h"
#include "base/UiPort.h"
#include "picture/RgbImage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CPcmOutput;
class CPhotoSlideSource;
class CPreviewTimer;
class CYUV420Image;

class CSlidePreview {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    static constexpr double kFrameRate = 20.0;
    static constexpr int64_t kFrameMicroseconds = 50000;
    static constexpr int kTailFrames = 5;  // black pictures after the show, as on the DVD
    static constexpr int kSoundBuffers = 3;
    static constexpr int32_t kSoundBufferBytes = 48000;  // 250 ms of 48 kHz 16-bit stereo
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;
    static constexpr int kBitsPerSample = 16;

    // Receives picture `number` (from 0) as 320 x 240 RGB. Called on the picture thread:
    // it must copy what it keeps and never wait for the thread that calls Stop.
    using PictureCallback = std::function<void(const CRgbImage& picture, int64_t number)>;

    // `ui` shows the refusal of an empty album; `output` plays the sound; `timer` is the
    // clock both threads read and wait on. All three must outlive the preview.
    CSlidePreview(CUiPort& ui, CPcmOutput& output, CPreviewTimer& timer);
    // Stops a running preview (Stop).
    ~CSlidePreview();
    CSlidePreview(const CSlidePreview&) = delete;
    CSlidePreview& operator=(const CSlidePreview&) = delete;

    // Stops a preview that still plays, builds the show of `album` and starts playing
    // it: pictures go to `onPicture`, sound to the output when it opens (when it does
    // not, the pictures run silent by the system clock and SoundOpened() is false).
    // An album without photos is refused with "No photo is in the list!" (key 4302,
    // caption "Kestrova"); a show that cannot be built is reported through the port.
    // Returns true when the preview started; false with Error() set otherwise.
    bool Start(const CAlbum& album, PictureCallback onPicture);

    // Stops pictures and sound at once: clears the running flag, joins both threads,
    // closes the sound output and drops the show. Does nothing when nothing plays.
    void Stop();

    // True from Start until the last picture has been handed over (or Stop).
    bool PicturesRunning() const { return picturesRunning; }
    // True from Start until the sound thread has ended (all its sound played, Stop,
    // or a failing output); false throughout a silent preview.
    bool SoundPlaying() const { return soundPlaying; }
    // Whether the sound output opened for the running (or last) preview.
    bool SoundOpened() const { return soundOpened; }
    // Pictures the running (or last) preview plays in all: the show's frames + 5.
    int64_t FrameCount() const { return frameCount; }
    // Pictures handed to the callback so far.
    int64_t FramesShown() const { return framesShown; }
    // Bytes of sound queued on the output so far.
    int64_t BytesQueued() const { return bytesQueued; }
    // One line for the last failure.
    const std::string& Error() const { return error; }

    // Converts a studio-range Y'CbCr 4:2:0 picture into packed RGB of the same size.
    static void ToRgb(const CYUV420Image& picture, CRgbImage& rgb);

private:
    void PictureLoop();
    void SoundLoop();
    // Waits (in short steps, so that Stop is answered at once) until show time reaches
    // `due` microseconds; false when the preview was stopped meanwhile.
    bool WaitForShowTime(CShowClock& clock, int64_t due);

    CUiPort& ui;
    CPcmOutput& output;
    CPreviewTimer& timer;
    std::unique_ptr<CPhotoSlideSource> show;  // picture half read by one thread, audio half by the other
    PictureCallback onPicture;
    std::thread pictureThread;
    std::thread soundThread;
    std::atomic<bool> running{false};  // cleared to make both threads stop
    std::atomic<bool> picturesRunning{false};
    std::atomic<bool> soundPlaying{false};
    std::atomic<int64_t> framesShown{0};
    std::atomic<int64_t> bytesQueued{0};
    bool soundOpened = false;  // for the running or last preview
    bool outputOpen = false;  // until Stop closes it
    int64_t frameCount = 0;
    std::string error;
};
