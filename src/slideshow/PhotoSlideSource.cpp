#include "slideshow/PhotoSlideSource.h"

#include "picture/FrameSource.h"

bool CPhotoSlideSource::Init(int frameWidth, int frameHeight, double rate)
{
    photoPaths.clear();
    photoCount = totalFrames = 0;
    currentPhoto = frameInSegment = 0;
    frameRate = rate;
    audio.Clear();
    if (!fx.InitFx(frameWidth, frameHeight)) return false;
    if (!workPictures[0].Create(frameHeight, frameWidth) || !workPictures[1].Create(frameHeight, frameWidth))
        return false;
    width = frameWidth;
    height = frameHeight;
    return true;
}

bool CPhotoSlideSource::AddPhoto(int transitionCode, const std::string& path, int32_t showMilliseconds,
                                 int32_t transitionMilliseconds, int panZoomCode)
{
    if (photoCount >= maxPhotos) return false;
    const int i = photoCount;
    photoPaths.push_back(path);
    showMs[i] = showMilliseconds;
    transitionMs[i] = transitionMilliseconds;
    transitionCodes[i] = transitionCode;
    panZoomCodes[i] = panZoomCode;
    segmentFrames[i] = fx.FrameCountFor(showMilliseconds / 1000.0, transitionMilliseconds / 1000.0, transitionCode);
    totalFrames += segmentFrames[i];
    ++photoCount;
    return true;
}

void CPhotoSlideSource::BuildAudioTimeline()
{
    CSlidePictureTiming timing;
    timing.segmentFrames = segmentFrames;
    timing.photoCount = photoCount;
    timing.totalFrames = totalFrames;
    timing.soundFrames = totalFrames + int32_t(kShowTailFrames);  // as long as the video title
    timing.frameRate = frameRate;
    audio.BuildAudioTimeline(timing);
}

void CPhotoSlideSource::Rewind()
{
    currentPhoto = 0;
    frameInSegment = 0;
    fx.photoCounter = 0;
    fx.transitionCounter = 0;
}

const CYUV420Image& CPhotoSlideSource::Produce()
{
    if (photoCount == 0 || width == 0) return workPictures[0];
    if (frameInSegment >= segmentFrames[currentPhoto] && currentPhoto < photoCount - 1) {
        ++currentPhoto;
        frameInSegment = 0;
    }
    if (frameInSegment >= segmentFrames[currentPhoto]) {
        // Past the last frame of the last segment: the show has ended in black.
        workPictures[0].Clear();
        return workPictures[0];
    }
    if (frameInSegment == 0) {
        const int i = currentPhoto;
        const bool hasNext = i + 1 < photoCount;
        fx.PrepareSegment(photoPaths[i], transitionCodes[i], panZoomCodes[i],
                          hasNext ? panZoomCodes[i + 1] : int(CImageFx::kNone), showMs[i] / 1000.0,
                          transitionMs[i] / 1000.0, hasNext ? photoPaths[i + 1] : std::string());
        workPictures[1].Clear();
    }
    ++frameInSegment;
    return fx.NextPicture();
}

bool CPhotoSlideSource::NextPicture(CYUV420Image& picture)
{
    const bool inShow =
        photoCount > 0 && (currentPhoto < photoCount - 1 || frameInSegment < segmentFrames[currentPhoto]);
    const CYUV420Image& p = Produce();
    if (!picture.CopyPlanes(p)) picture = p;
    return inShow;
}

bool CPhotoSlideSource::NextFrame(CFrame& frame) { return NextPicture(frame.picture); }
