// CShowStreams: a job's slide show written as files of their own instead of a DVD title:
// the MPEG-2 video elementary stream, the MPEG-1 Layer II sound, or every rendered
// picture as a YUV4MPEG2 file. Each comes from the job's own show and settings
// (CSlideShowJob::PrepareParams and BuildShow), so it is exactly what the DVD job puts
// on the disc. Each file is written beside its name and renamed when complete: a
// failure or a cancel never leaves a partial file under the requested name. A file
// that is one of the show's own inputs is refused, and each output is locked for the
// time it is written.
#pragma once

#include "app/SlideShowJob.h"
#include "base/OutputLock.h"

#include <cstdint>
#include <string>
#include <vector>

class CShowStreams {
public:
    // What one writer produced.
    struct SWritten {
        int64_t units = 0;  // pictures (video, frames) or Layer II frames (sound)
        uint64_t bytes = 0;  // bytes of the file
        double seconds = 0;  // the length of what was written
    };

    // Prepares the job's settings (PrepareParams) from its album and inputs; `job`
    // must outlive this object.
    explicit CShowStreams(CSlideShowJob& job);

    // The show's video as the DVD title codes it. False with Error() set when the
    // album has no photo, the show does not fit the disc size, the renderer or encoder cannot be set up, the encoding is
    // cancelled or runs out of memory, or the file cannot be written.
    bool WriteVideo(const std::string& output, SWritten& written);
    // The show's music and narrations as MPEG-1 Layer II, timed to the pictures (also
    // when the job itself would carry linear PCM).
    bool WriteAudio(const std::string& output, SWritten& written);
    // Every picture of the show, as YUV4MPEG2 (4:2:0, the DVD's frame size and rate).
    // Cancelling the progress window stops it without a file.
    bool WriteFrames(const std::string& output, SWritten& written);

    // The last failure, one line naming the file.
    const std::string& Error() const { return error; }

private:
    // Refuses an output that is one of the show's own files, and locks it against
    // another job writing the same file. False with Error() set.
    bool ClaimOutput(const std::string& output, COutputLock& lock);
    std::unique_ptr<CPhotoSlideSource> Show();

    CSlideShowJob& job;
    std::string error;
};
