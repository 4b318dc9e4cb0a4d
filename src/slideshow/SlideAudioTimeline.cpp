#include "slideshow/SlideAudioTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/DirectShowAV.h"
#include "media/MediaLength.h"

CSlideAudioTimeline::CSlideAudioTimeline() { Clear(); }

CSlideAudioTimeline::~CSlideAudioTimeline() { CloseDecoder(); }

void CSlideAudioTimeline::Clear()
{
    CloseDecoder();
    narrationPaths.clear();
    musicPaths.clear();
    narrationCount = 0;
    musicCount = 0;
    scheduleCount = 0;
    scheduleIndex = 0;
    audioClock = 0.0;
    entryFailed = false;
    soundSamples = bytesLeft = 0;
}

int32_t CSlideAudioTimeline::MeasureLength(const std::string& path) { return MeasureAudioLength(path); }

bool CSlideAudioTimeline::AddPhotoClip(const std::string& path, int32_t photoIndex)
{
    if (path == "NONE" || narrationCount >= maxNarrations) return false;
    int32_t length = MeasureLength(path);
    if (length <= 0) return false;
    narrationPaths.push_back(path);
    narrationPhoto[narrationCount] = photoIndex;
    narrationLength[narrationCount] = length;
    ++narrationCount;
    return true;
}

bool CSlideAudioTimeline::AddBackgroundMusic(const std::string& path)
{
    if (musicCount >= maxMusic) return false;
    int32_t length = MeasureLength(path);
    if (length <= 0) return false;
    musicPaths.push_back(path);
    musicLength[musicCount] = length;
    ++musicCount;
    return true;
}

void CSlideAudioTimeline::BuildAudioTimeline(const CSlidePictureTiming& pictures)
{
    CloseDecoder();
    const double rate = pictures.frameRate > 0.0 ? pictures.frameRate : 30000.0 / 1001.0;
    const int32_t pictureLength = static_cast<int32_t>(pictures.totalFrames * 10000.0 / rate);
    scheduleIndex = 0;
    audioClock = 0.0;
    // The sound lasts as long as the pictures, to the sample.
    const int32_t soundFrames = pictures.soundFrames > 0 ? pictures.soundFrames : pictures.totalFrames;
    soundSamples = std::llround(soundFrames * 48000.0 / rate);
    bytesLeft = soundSamples * 4;
    for (auto& e : schedule) e = CAudioScheduleEntry{0, pictureLength, kindSilence, 0, 0};
    scheduleCount = 0;

    // Music files end to end from the start, without gaps.
    int32_t start = 0;
    for (int32_t i = 0; i < musicCount && scheduleCount < maxSchedule; ++i) {
        schedule[scheduleCount++] = {start, start + musicLength[i], kindMusic, i, 0};
        start += musicLength[i];
    }

    // Each narration starts when its photo first appears; it pauses whatever plays at
    // that moment, and everything after it moves later by its length.
    for (int32_t n = 0; n < narrationCount; ++n) {
        int64_t framesBefore = 0;
        for (int32_t p = 0; p < narrationPhoto[n] && p < pictures.photoCount; ++p)
            framesBefore += pictures.segmentFrames[p];
        const int32_t m = static_cast<int32_t>(framesBefore * 10000.0 / rate);
        const int32_t length = narrationLength[n];

        int32_t j = 0;
        while (j < scheduleCount && !(schedule[j].start <= m && m < schedule[j].end)) ++j;
        if (j == scheduleCount) {
            if (scheduleCount < maxSchedule) schedule[scheduleCount++] = {m, m + length, kindNarration, n, 0};
            continue;
        }
        if (scheduleCount + 2 > maxSchedule) continue;
        for (int32_t k = scheduleCount - 1; k > j; --k) {
            schedule[k + 2] = schedule[k];
            schedule[k + 2].start += length;
            schedule[k + 2].end += length;
        }
        const CAudioScheduleEntry cut = schedule[j];
        schedule[j].end = m;
        schedule[j + 1] = {m, m + length, kindNarration, n, 0};
        schedule[j + 2] = {m + length, cut.end + length, cut.kind, cut.index, cut.offset + (m - cut.start)};
        scheduleCount += 2;
    }
}

int32_t CSlideAudioTimeline::ScheduleLength() const
{
    int32_t end = 0;
    for (int32_t i = 0; i < scheduleCount; ++i) end = std::max(end, schedule[i].end);
    return end;
}

bool CSlideAudioTimeline::OpenEntry(const CAudioScheduleEntry& e)
{
    const std::string* file = nullptr;
    if (e.kind == kindNarration) {
        if (e.index >= 0 && e.index < narrationCount) file = &narrationPaths[e.index];
    } else if (e.index >= 0 && e.index < musicCount) {
        file = &musicPaths[e.index];
    }
    if (!file) return false;
    auto av = std::make_unique<CDirectShowAV>();
    av->wantVideo = false;
    av->wantAudio = true;
    av->acceptAc3 = false;
    if (!av->Open(*file, true) || !av->audioFound) return false;
    // A piece cut by a narration resumes where it stopped; narrations cut by a later
    // narration resume the same way.
    if (e.offset > 0 && !av->SetRange(e.offset / 10000.0, -1.0)) return false;
    av->Run();
    decoder = std::move(av);
    return true;
}

void CSlideAudioTimeline::CloseDecoder()
{
    if (decoder) decoder->Stop();
    decoder.reset();
    entryFailed = false;
}

int32_t CSlideAudioTimeline::ReadMusicPcm(uint8_t* buffer, int32_t bytes)
{
    if (bytes <= 0 || !buffer || bytesLeft <= 0) return 0;
    bytes = int32_t(std::min<int64_t>(bytes, bytesLeft));
    bytesLeft -= bytes;
    std::memset(buffer, 0, static_cast<size_t>(bytes));
    const double covered = bytes * 10.0 / 192.0;
    // Entries of no length (a narration starting exactly where a piece starts) play
    // nothing.
    while (scheduleIndex < scheduleCount && !decoder && !entryFailed &&
           schedule[scheduleIndex].end <= schedule[scheduleIndex].start)
        ++scheduleIndex;
    // Before an entry starts, and after the last one, the pictures go on in silence.
    if (scheduleIndex >= scheduleCount || schedule[scheduleIndex].start > audioClock) {
        audioClock += covered;
        return bytes;
    }

    const CAudioScheduleEntry& e = schedule[scheduleIndex];
    if (!decoder && !entryFailed) entryFailed = !OpenEntry(e);
    if (decoder) {
        int32_t got = 0;
        while (got < bytes) {
            int32_t n = decoder->ReadPcm(bytes - got, buffer + got);
            if (n <= 0) break;
            got += n;
        }
    }
    audioClock += covered;
    if (audioClock > e.end || bytesLeft == 0) {
        CloseDecoder();
        ++scheduleIndex;
    }
    return bytes;
}
