#include "app/ShowStreams.h"

#include "app/SlideshowTitleBuilder.h"
#include "audio/AudioSlide.h"
#include "base/File.h"
#include "base/Progress.h"
#include "mpeg2enc/VideoSlide.h"
#include "picture/Frame.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

// Copies everything `read` gives (chunks of `chunk` bytes, 0 at the end) into the
// replacement file. False with `error` set when a write fails.
bool CopyStream(CReplaceFile& out, size_t chunk, const std::function<int(uint8_t*, int)>& read, uint64_t& bytes,
                std::string& error)
{
    std::vector<uint8_t> buffer(chunk);
    bytes = 0;
    for (int n; (n = read(buffer.data(), int(buffer.size()))) > 0;) {
        if (std::fwrite(buffer.data(), 1, size_t(n), out.File()) != size_t(n)) {
            error = out.Path() + ": cannot write (" + std::strerror(errno) + ")";
            out.Abandon();
            return false;
        }
        bytes += uint64_t(n);
    }
    return true;
}

}  // namespace

CShowStreams::CShowStreams(CSlideShowJob& job_) : job(job_) { job.PrepareParams(); }

bool CShowStreams::ClaimOutput(const std::string& output, COutputLock& lock)
{
    if (const std::string input = job.InputAt(output); !input.empty()) {
        error = output + " is " + input + ", one of the show's own files; choose another name";
        return false;
    }
    if (lock.Acquire(output) == COutputLock::EResult::Locked) return true;
    error = lock.Error();
    return false;
}

std::unique_ptr<CPhotoSlideSource> CShowStreams::Show()
{
    if (CSlideShowJob::AlbumIsEmpty(job.album)) {
        error = "the project has no photos";
        return nullptr;
    }
    std::unique_ptr<CPhotoSlideSource> show = job.BuildShow();
    if (!show) error = job.Error();
    return show;
}

bool CShowStreams::WriteVideo(const std::string& output, SWritten& written)
{
    if (!job.CheckShowFits()) {
        error = job.Error();
        return false;
    }
    COutputLock lock;
    if (!ClaimOutput(output, lock)) return false;
    std::unique_ptr<CPhotoSlideSource> show = Show();
    if (!show) return false;
    CVideoSlide video(std::make_unique<CSlideFrameSource>(*show));
    if (!video.InitFromSettings(job.params)) {
        error = "the video encoder could not be set up (out of memory?)";
        return false;
    }
    CReplaceFile out(output);
    if (!out.Open(error)) return false;
    video.Start(nullptr, 0, 0);
    const bool copied = CopyStream(
        out, 2048, [&](uint8_t* buffer, int size) { return int(video.Read(buffer, size)); }, written.bytes, error);
    if (!copied) return false;
    const CEncoder& encoder = video.Encoder();
    if (encoder.Cancelled() || encoder.Failed()) {
        out.Abandon();
        error = encoder.Cancelled() ? "cancelled; " + output + " was not written"
                                    : "out of memory while encoding; " + output + " was not written";
        return false;
    }
    written.units = encoder.FramesCoded();
    written.seconds = double(written.units) / encoder.FrameRate();
    return out.Commit(error);
}

bool CShowStreams::WriteAudio(const std::string& output, SWritten& written)
{
    COutputLock lock;
    if (!ClaimOutput(output, lock)) return false;
    std::unique_ptr<CPhotoSlideSource> show = Show();
    if (!show) return false;
    show->Audio().compressAudio = true;
    CAudioSlide audio(&show->Audio());
    if (!audio.Start(1, 0, 0, 0)) {
        error = "the audio encoder could not be set up (out of memory)";
        return false;
    }
    CSlideshowTitleBuilder::NoteAudioModel(audio);
    CReplaceFile out(output);
    if (!out.Open(error)) return false;
    constexpr int kFrameBytes = 1152;  // one Layer II frame at 384 kbit/s and 48 kHz
    if (!CopyStream(
            out, kFrameBytes, [&](uint8_t* buffer, int size) { return audio.Read(buffer, size); }, written.bytes,
            error))
        return false;
    written.units = int64_t(written.bytes / kFrameBytes);
    written.seconds = double(written.units) * 0.024;
    return out.Commit(error);
}

bool CShowStreams::WriteFrames(const std::string& output, SWritten& written)
{
    COutputLock lock;
    if (!ClaimOutput(output, lock)) return false;
    std::unique_ptr<CPhotoSlideSource> show = Show();
    if (!show) return false;
    const CDVDParams& params = job.params;
    CFrame frame;
    if (!frame.Create(params.width, params.height)) {
        error =
            "out of memory for a " + std::to_string(params.width) + " x " + std::to_string(params.height) + " picture";
        return false;
    }
    CReplaceFile out(output);
    if (!out.Open(error)) return false;
    std::FILE* file = out.File();
    const bool ntscRate = params.frameRateCode == 4;
    std::fprintf(file, "YUV4MPEG2 W%d H%d F%s Ip A0:0 C420jpeg\n", params.width, params.height,
                 ntscRate ? "30000:1001" : "25:1");
    CProgress progress(job.Port());
    progress.Open("Rendering", params.jobName);
    const size_t pictureBytes = size_t(frame.picture.planarSize);
    for (int32_t n = 0; n < show->totalFrames; ++n) {
        show->NextFrame(frame);
        if (std::fputs("FRAME\n", file) < 0 || std::fwrite(frame.picture.planeY, 1, pictureBytes, file) != pictureBytes)
            break;  // the stream's error flag makes Commit report it
        if ((n & 15) != 0) continue;
        progress.SetPercent(int(100LL * n / show->totalFrames));
        progress.Pump();
        if (progress.IsCancelled()) {
            out.Abandon();
            error = "cancelled; " + output + " was not written";
            return false;
        }
    }
    written.units = show->totalFrames;
    written.seconds = params.frameRate > 0 ? double(written.units) / params.frameRate : 0.0;
    if (!out.Commit(error)) return false;
    std::error_code ec;
    written.bytes = std::filesystem::file_size(output, ec);
    return true;
}
