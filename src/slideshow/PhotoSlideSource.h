#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "picture/Frame.h"
#include "picture/YUV420Image.h"
#include "slideshow/ImageFx.h"
#include "slideshow/SlideAudioTimeline.h"

// The slide show as a source of media: the album becomes one picture per frame
// (each photo's showing frames with its motion, then its transition frames) and,
// through its audio half, a stream of 48 kHz PCM. The video and audio read
// positions are independent.
class CPhotoSlideSource {
public:
    static constexpr int maxPhotos = 800;

    CPhotoSlideSource() = default;
    virtual ~CPhotoSlideSource() = default;
    CPhotoSlideSource(const CPhotoSlideSource&) = delete;
    CPhotoSlideSource& operator=(const CPhotoSlideSource&) = delete;

    // Sizes the renderer and the work pictures for width x height frames at
    // `rate` frames per second and empties every list and counter (audio too).
    // Returns false when the renderer cannot be created for that size.
    bool Init(int frameWidth, int frameHeight, double rate = 29.97);

    // Appends a photo with its transition into the next photo, its showing and
    // transition times in milliseconds and its pan-zoom code, and adds its segment
    // to totalFrames. Returns false (and ignores the photo) when 800 are present.
    bool AddPhoto(int transitionCode, const std::string& path, int32_t showMilliseconds, int32_t transitionMilliseconds,
                  int panZoomCode);

    // Renders the next picture of the show into frame.picture. Returns false once
    // the show is over; the picture is then black.
    bool NextFrame(CFrame& frame);
    // The same into a picture of the frame size.
    bool NextPicture(CYUV420Image& picture);

    // Frames the show has (totalFrames), for frame sources that ask.
    int64_t FrameCount() const { return totalFrames; }

    // Rewinds the video read position to the first frame of the show.
    void Rewind();

    // The audio half: music, narrations and their PCM timeline.
    CSlideAudioTimeline& Audio() { return audio; }

    // Audio operations, forwarded to Audio() with the picture timing they need.
    bool AddPhotoClip(const std::string& path, int32_t photoIndex) { return audio.AddPhotoClip(path, photoIndex); }
    bool AddBackgroundMusic(const std::string& path) { return audio.AddBackgroundMusic(path); }
    void BuildAudioTimeline();
    int32_t ReadMusicPcm(uint8_t* buffer, int32_t bytes) { return audio.ReadMusicPcm(buffer, bytes); }

    CImageFx fx;
    std::vector<std::string> photoPaths;
    int32_t showMs[maxPhotos] = {};
    int32_t transitionMs[maxPhotos] = {};
    int32_t transitionCodes[maxPhotos] = {};
    int32_t panZoomCodes[maxPhotos] = {};
    int32_t segmentFrames[maxPhotos] = {};
    int32_t photoCount = 0;
    int32_t totalFrames = 0;
    double frameRate = 29.97;
    int32_t width = 0;
    int32_t height = 0;
    int32_t currentPhoto = 0;
    int32_t frameInSegment = 0;

private:
    const CYUV420Image& Produce();

    CYUV420Image workPictures[2];  // [0] the black picture given after the show
    CSlideAudioTimeline audio;
};
