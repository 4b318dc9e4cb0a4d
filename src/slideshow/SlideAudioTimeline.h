// The audio half of the slide show: background music files played one after another
// and each photo's spoken narration inserted at the moment its photo first appears,
// delivered as one stream of 48 kHz, 16-bit, stereo PCM that lines up with the
// pictures and lasts exactly as long as they do: silence where nothing is scheduled
// (a show without music or narration gets a silent track), and music or narration
// that would outlast the pictures is cut at their end. Times are kept in units of
// 1/10,000 s.
//
// CPhotoSlideSource owns one of these and forwards its audio operations here; the
// picture half supplies the per-photo frame counts through CSlidePictureTiming.
#pragma once

#include "media/PcmSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDirectShowAV;

// What the audio timeline needs to know of the pictures.
struct CSlidePictureTiming {
    const int32_t* segmentFrames = nullptr;  // frames of each photo's segment, album order
    int32_t photoCount = 0;  // entries in segmentFrames
    int32_t totalFrames = 0;  // sum of segmentFrames
    int32_t soundFrames = 0;  // frames the sound lasts; 0: totalFrames
    double frameRate = 30000.0 / 1001.0;  // frames per second of the show
};

// One entry of the audio schedule.
struct CAudioScheduleEntry {
    int32_t start = 0;  // 1/10,000 s
    int32_t end = 0;  // 1/10,000 s
    int32_t kind = 0;  // 0 silence, 1 music, 2 narration
    int32_t index = 0;  // position in the music or narration list
    int32_t offset = 0;  // where to start inside the file, 1/10,000 s
};

class CSlideAudioTimeline : public CPcmSource {
public:
    static constexpr int maxNarrations = 128;
    static constexpr int maxMusic = 99;
    static constexpr int maxSchedule = 1024;
    static constexpr int kindSilence = 0;
    static constexpr int kindMusic = 1;
    static constexpr int kindNarration = 2;

    CSlideAudioTimeline();
    virtual ~CSlideAudioTimeline();
    CSlideAudioTimeline(const CSlideAudioTimeline&) = delete;
    CSlideAudioTimeline& operator=(const CSlideAudioTimeline&) = delete;

    // Empties the lists and the schedule and closes any open file (the source's Init).
    void Clear();

    // Appends the narration at `path` to the photo with album index `photoIndex`.
    // "NONE" adds nothing; a file whose length measures 0, or a 129th narration, is
    // ignored. Returns true when the narration was added.
    bool AddPhotoClip(const std::string& path, int32_t photoIndex);

    // Appends a background music file. A file whose length measures 0, or a 100th
    // file, is ignored. Returns true when the file was added.
    bool AddBackgroundMusic(const std::string& path);

    // Builds the schedule from the music and narrations added so far, sets the sound's
    // length to the pictures' and rewinds the read position. Call after all adds and
    // before the first ReadMusicPcm.
    void BuildAudioTimeline(const CSlidePictureTiming& pictures);

    // Fills `buffer` with up to `bytes` bytes of 48 kHz 16-bit stereo little-endian PCM.
    // Returns `bytes`, fewer in the last read (whole sample pairs up to the pictures'
    // end), 0 once the pictures' length has been delivered.
    int32_t ReadMusicPcm(uint8_t* buffer, int32_t bytes) override;

    // Measures a music or narration file in 1/10,000 s (0 when it cannot be measured).
    // Replaceable so that tests can build schedules without media files.
    virtual int32_t MeasureLength(const std::string& path);

    // Length of the whole schedule in 1/10,000 s (end of its last entry, 0 when empty).
    int32_t ScheduleLength() const;
    // Stereo sample pairs the sound delivers in all: the pictures' length (soundFrames)
    // at 48 kHz.
    int64_t SoundSamples() const { return soundSamples; }

    // Fields of the audio half (read by the source, its tests and the preview).
    std::vector<std::string> narrationPaths;
    int32_t narrationPhoto[maxNarrations] = {};
    int32_t narrationLength[maxNarrations] = {};
    int32_t narrationCount = 0;
    std::vector<std::string> musicPaths;
    int32_t musicLength[maxMusic] = {};
    int32_t musicCount = 0;
    CAudioScheduleEntry schedule[maxSchedule];
    int32_t scheduleCount = 0;
    int32_t scheduleIndex = 0;
    double audioClock = 0.0;  // 1/10,000 s delivered so far

private:
    // Opens the file of schedule entry `e` for 48 kHz stereo output; false gives silence.
    bool OpenEntry(const CAudioScheduleEntry& e);
    void CloseDecoder();

    std::unique_ptr<CDirectShowAV> decoder;
    bool entryFailed = false;  // the current entry's file could not be opened
    int64_t soundSamples = 0;  // sample pairs of the whole sound (the pictures' length)
    int64_t bytesLeft = 0;  // PCM bytes still to deliver
};
