#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "picture/RgbImage.h"
#include "picture/YUV420Image.h"

// Renders the pictures of one photo segment of a slide show: the photo shown still
// or with a pan-and-zoom motion, then the transition into the next photo's first
// motion frame. Also the photo stage that turns a file into frame-sized pictures.
class CImageFx {
public:
    // Transition codes with a rule of their own; every other code fades.
    enum ETransition {
        kBoxIn = 0,
        kBoxOut = 1,
        kCircleIn = 2,
        kCircleOut = 3,
        kWipeUp = 4,
        kWipeDown = 5,
        kWipeRight = 6,
        kWipeLeft = 7,
        kVerticalBlinds = 8,
        kHorizontalBlinds = 9,
        kCheckboardAcross = 10,
        kCheckboardDown = 11,
        kRandomDissolve = 12,
        kSplitVerticalIn = 13,
        kSplitVerticalOut = 14,
        kSplitHorizontalIn = 15,
        kSplitHorizontalOut = 16,
        kStripsLeftDown = 17,
        kStripsLeftUp = 18,
        kStripsRightDown = 19,
        kStripsRightUp = 20,
        kBlend = 21,
        kFadeInOut = 22,
        kIrisCross = 23,
        kIrisDiamond = 24,
        kClockWipe = 27,
        kRadialWipe = 28,
        kPinwheelWipe = 29,
        kWedgeWipe = 30,
        kInset = 31,
        kSlide = 32,
        kPush = 33,
        kBandSlide = 34,
        kSwinIn = 36,
        kSwinOut = 37,
        kAuto = 999,
        kNone = -1
    };

    CImageFx();
    virtual ~CImageFx() = default;

    // Creates the four pictures and the bitmaps for frames of width x height and
    // clears them; the segment rate is 25 for heights 576 and 288, else 29.97.
    // Returns false on bad sizes (odd, or over 1,048,576 pixels) or lack of memory.
    bool InitFx(int width, int height);

    // S + T for a photo: S = max(1, trunc(rate x showSeconds)), T likewise for the
    // transition seconds.
    int FrameCountFor(double showSeconds, double transitionSeconds, int transitionCode) const;
    int ShowFramesFor(double showSeconds) const;
    int TransitionFramesFor(double transitionSeconds) const;

    // Photo stage: decodes `path` and fits it (black bars, gaps under two pixels
    // closed) into the frame bitmap, writes the softened copy and converts the
    // unsoftened bitmap into photoPicture. On failure returns false with all three
    // black and the reason in Error().
    bool LoadFramePhoto(const std::string& path);

    // Prepares a segment: loads the next photo (none: "") and renders its first motion
    // frame as the arrival picture (black when there is no next photo), then loads
    // this photo, clears outputPicture and blackPicture and rewinds to frame 0.
    // Auto motion codes resolve from photoCounter.
    void PrepareSegment(const std::string& photoPath, int transitionCode, int motionCode, int nextMotionCode,
                        double showSeconds, double transitionSeconds, const std::string& nextPhotoPath);

    // Returns the picture for the segment's next frame and advances. After the last
    // frame the counters of photos and transitions grow by one.
    const CYUV420Image& NextPicture();

    // Renders the softened frame bitmap of the current photo through motion `code`
    // (already resolved from Auto) at progress t into `out`. Code -1 (or unknown)
    // gives the still picture.
    void RenderMotion(int code, double t, CYUV420Image& out);

    // Draws transition `code` (already resolved from Auto) at progress p from
    // `from` to `to` into `out`; all three pictures have the frame size.
    void RenderTransition(int code, double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out);

    // The motion used for photo number k of the show by Auto, and any other code
    // passed through.
    static int ResolveMotion(int code, int photoNumber);
    // The transition used for transition number k by Auto, other codes passed through.
    static int ResolveTransition(int code, int transitionNumber);

    // The crop rectangle (x, y from the top, w, h in pixels) of motion `code` at
    // progress t in a W x H frame; false for codes without motion.
    static bool MotionRect(int code, double t, int W, int H, double& x, double& y, double& w, double& h);

    // Seconds used to seed RandomDissolve; replaceable for tests.
    std::function<int64_t()> clockSeconds;

    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    CYUV420Image outputPicture;
    CYUV420Image blackPicture;
    CYUV420Image photoPicture;
    CYUV420Image arrivalPicture;
    std::vector<uint8_t> frameBitmap;  // fitted photo, 32-bit, bottom-up
    std::vector<uint8_t> softBitmap;  // softened copy that motions sample
    CRgbImage decodedImage;  // the decoded source, kept until the next load
    double segmentRate = 29.97;
    int32_t showFrames = 1;
    int32_t transitionFrames = 1;
    int32_t segmentFrames = 2;
    int32_t frameInSegment = 0;
    int32_t transitionCode = kNone;
    int32_t motionCode = kNone;
    double motionProgress = 0.0;
    int32_t photoCounter = 0;
    int32_t transitionCounter = 0;
    bool arrivalPending = false;
    bool photoLoaded = false;  // the current photo decoded
    int32_t photoLoads = 0;  // LoadFramePhoto calls since InitFx

    // Why the last LoadFramePhoto failed.
    const std::string& Error() const { return error; }

private:
    std::string error;

    // One luma line of outputPicture and its chroma line take samples a..b-1 of src.
    void Reveal(const CYUV420Image& src, int r, int a, int b);
    // The same span, output sample x taking source sample x + k (chroma x/2 + k/2).
    void ShiftCopy(const CYUV420Image& src, int r, int a, int b, int k);
    void RevealLine(const CYUV420Image& src, int r) { Reveal(src, r, 0, frameWidth); }
    void Mix(const CYUV420Image& a, const CYUV420Image& b, double p, CYUV420Image& out);
    void RandomDissolve(double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out);
    void Swing(bool in, double p, const CYUV420Image& to, CYUV420Image& out);
    void Pinwheel(const CYUV420Image& to, double p);
    void Strips(int code, double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out);
    // The transition families RenderTransition hands its codes to.
    void ShapeTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic, CYUV420Image& out);
    void WipeTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic, CYUV420Image& out);
    void SweepTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic, CYUV420Image& out);
    void SlideTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic, CYUV420Image& out);

    // Exchanges the working photo (bitmaps, still picture) with the kept one.
    void SwapWithKept();

    std::vector<uint8_t> work;  // resized photo before centring
    // The next photo of the previous segment, kept for the segment that shows it.
    std::vector<uint8_t> keptBitmap, keptSoft;
    CYUV420Image keptStill;
    std::string keptPath;
    bool keptValid = false;
    bool keptLoaded = false;
    std::vector<uint8_t> motionBitmap;  // two lines of a motion frame, 32-bit, bottom-up
    std::vector<uint16_t> motionRows[2];
    std::vector<int> motionX0, motionW1;
    std::vector<uint16_t> motionWeights;  // motionW1 prepared for the row kernel
    std::vector<uint8_t> dissolveChoice;  // RandomDissolve: one choice per 3 x 3 block
    std::vector<uint8_t> dissolveMask;  // RandomDissolve: one line of choices
    std::vector<double> swingFactor;  // Swing: the per-column part of the line mapping
    std::vector<int> swingColumn;  // Swing: the source or target column
    CYUV420Image* target = nullptr;  // picture that Reveal and ShiftCopy draw into
};
