#include "app/SlidePreview.h"

#include "app/PcmOutput.h"
#include "app/PreviewTimer.h"
#include "app/SlideShowJob.h"
#include "base/Texts.h"
#include "picture/Frame.h"
#include "picture/YUV420Image.h"
#include "slideshow/PhotoSlideSource.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The longest single wait of either thread, so that a cleared running flag is seen
// within a few milliseconds.
constexpr int64_t kPollMicroseconds = 5000;

uint8_t Clamp8(int value) { return uint8_t(std::clamp(value, 0, 255)); }

}  // namespace

CSlidePreview::CSlidePreview(CUiPort& ui_, CPcmOutput& output_, CPreviewTimer& timer_)
    : ui(ui_), output(output_), timer(timer_)
{}

CSlidePreview::~CSlidePreview() { Stop(); }

bool CSlidePreview::Start(const CAlbum& album, PictureCallback onPicture_)
{
    // An earlier preview gives up the threads and the sound output before this one
    // opens them again.
    Stop();
    error.clear();
    framesShown = 0;
    bytesQueued = 0;
    frameCount = 0;
    soundOpened = false;
    if (CSlideShowJob::AlbumIsEmpty(album)) {
        error = "No photo is in the list.";
        ui.MessageBox(Text(4302), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    show = CSlideShowJob::BuildSource(album, kWidth, kHeight, kFrameRate, true, error);
    if (!show) {
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    frameCount = show->FrameCount() + kTailFrames;
    onPicture = std::move(onPicture_);

    soundOpened = outputOpen = output.Open(kSampleRate, kChannels, kBitsPerSample);
    running = true;
    picturesRunning = true;
    soundPlaying = soundOpened;
    timer.ReaderStarts();
    if (soundOpened) {
        timer.ReaderStarts();
        soundThread = std::thread(&CSlidePreview::SoundLoop, this);
    }
    pictureThread = std::thread(&CSlidePreview::PictureLoop, this);
    return true;
}

void CSlidePreview::Stop()
{
    running = false;
    if (pictureThread.joinable()) pictureThread.join();
    if (soundThread.joinable()) soundThread.join();
    if (outputOpen) output.Close();
    outputOpen = false;
    picturesRunning = false;
    soundPlaying = false;
    show.reset();
    onPicture = nullptr;
}

bool CSlidePreview::WaitForShowTime(CShowClock& clock, int64_t due)
{
    while (running) {
        const bool sound = soundPlaying;
        const int64_t now = clock.Now(timer.NowMicroseconds(), sound, sound ? output.BytesPlayed() : 0);
        if (now >= due) return true;
        timer.SleepMicroseconds(std::min(due - now, kPollMicroseconds));
    }
    return false;
}

void CSlidePreview::PictureLoop()
{
    CFrame frame;
    CRgbImage rgb;
    if (frame.Create(kWidth, kHeight)) {
        CShowClock clock;
        clock.Start(timer.NowMicroseconds());
        for (int64_t n = 0; n < frameCount && running; ++n) {
            // Render first, then wait: the picture is ready when its time comes.
            show->NextFrame(frame);
            ToRgb(frame.picture, rgb);
            if (!WaitForShowTime(clock, n * kFrameMicroseconds)) break;
            if (onPicture) onPicture(rgb, n);
            framesShown = n + 1;
        }
    }
    picturesRunning = false;
    timer.ReaderEnds();
}

void CSlidePreview::SoundLoop()
{
    std::array<std::vector<uint8_t>, kSoundBuffers> buffers;
    std::array<int64_t, kSoundBuffers> playedAt{};  // bytes played once each buffer is done
    for (std::vector<uint8_t>& buffer : buffers) buffer.resize(kSoundBufferBytes);
    int64_t queued = 0;
    int index = 0;
    bool failed = false;
    while (running) {
        if (output.BytesPlayed() < playedAt[index]) {
            timer.SleepMicroseconds(kPollMicroseconds);
            continue;
        }
        const int32_t got = show->ReadMusicPcm(buffers[index].data(), kSoundBufferBytes);
        if (got > 0) {
            if (!output.Queue(buffers[index].data(), got)) {
                failed = true;
                break;
            }
            queued += got;
            playedAt[index] = queued;
            bytesQueued = queued;
        }
        if (got < kSoundBufferBytes) break;
        index = (index + 1) % kSoundBuffers;
    }
    // The sound ends when all three buffers are played (or at once when stopped).
    while (running && !failed && output.BytesPlayed() < queued) timer.SleepMicroseconds(kPollMicroseconds);
    soundPlaying = false;
    timer.ReaderEnds();
}

void CSlidePreview::ToRgb(const CYUV420Image& picture, CRgbImage& rgb)
{
    const int w = picture.width, h = picture.height;
    rgb.width = w;
    rgb.height = h;
    rgb.pixels.resize(size_t(w) * size_t(h) * 3);
    const int chromaStride = picture.chromaStride;
    for (int y = 0; y < h; ++y) {
        const uint8_t* lineY = picture.planeY + size_t(y) * w;
        const uint8_t* lineCb = picture.planeCb + size_t(y / 2) * chromaStride;
        const uint8_t* lineCr = picture.planeCr + size_t(y / 2) * chromaStride;
        uint8_t* out = rgb.pixels.data() + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            // ITU-R BT.601 studio range, weights in 1/256.
            const int c = 298 * (lineY[x] - 16) + 128;
            const int d = lineCb[x / 2] - 128, e = lineCr[x / 2] - 128;
            out[3 * x] = Clamp8((c + 409 * e) >> 8);
            out[3 * x + 1] = Clamp8((c - 100 * d - 208 * e) >> 8);
            out[3 * x + 2] = Clamp8((c + 516 * d) >> 8);
        }
    }
}
