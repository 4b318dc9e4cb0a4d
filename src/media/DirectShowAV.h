// Opens one video, audio or picture file and delivers its content in the form the
// encoders need: pictures as CYUV420Image at the DVD frame size and rate, sound as
// 48 kHz 16-bit stereo PCM, both over a chosen time range.
//
// Decoding runs on a thread of its own (CMediaGraph over FFmpeg) that fills the two
// ring buffers of a CAVDump with raw pictures (YV12, IYUV, YUY2, RGB32) and PCM of at
// most two channels, 8 or 16 bits, at most 48 kHz. Everything after that hand-over,
// the frame repetition and dropping, duration smoothing, picture conversion, the photo
// clip and the PCM conversion, happens here on the reader's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/ACMResample.h"
#include "media/AVDump.h"
#include "picture/YUV420Image.h"

class CMediaGraph;
class CMicRecorder;
class CVobStream;

// Raw formats of pictures handed over by the decoding side.
enum : int32_t {
    kVideoYV12 = 0,  // planar Y, V, U, chroma halved both ways
    kVideoRGB32 = 1,  // bottom-up B, G, R, unused
    kVideoYUY2 = 3,  // packed Y0 U Y1 V
    kVideoIYUV = 5,  // planar Y, U, V, chroma halved both ways
};

// Audio kinds: undecoded AC-3, PCM, none.
enum : int32_t { kAudioAc3 = 0, kAudioPcm = 1, kAudioNone = -1 };

// Bytes of one raw picture of `code` at `width` x `height` (odd sizes round the
// chroma planes up); 0 for an unknown code.
int64_t RawFrameBytes(int32_t code, int32_t width, int32_t height);

// What a fed source (camcorder capture, tests) hands over instead of a file.
struct CMediaFeedFormat {
    bool video = false;
    int32_t videoCode = kVideoIYUV;
    int32_t width = 0;
    int32_t height = 0;
    double frameRate = 0.0;  // 0 = unknown
    bool audio = false;
    int32_t audioKind = kAudioPcm;
    int32_t channels = 2;
    int32_t sampleRate = 48000;
    int32_t bitsPerSample = 16;
    int64_t duration = -1;  // 100 ns, -1 unknown
};

class CDirectShowAV {
public:
    CDirectShowAV();
    virtual ~CDirectShowAV();
    CDirectShowAV(const CDirectShowAV&) = delete;
    CDirectShowAV& operator=(const CDirectShowAV&) = delete;

    // Opens `path` and prepares decoding (not started: call Run). Refusals are shown
    // as message boxes unless `quiet`. Returns false when the file cannot be used.
    bool Open(const std::string& path, bool quiet);

    // Prepares for samples fed through Dump() by the caller instead of a file, with
    // the same checks of the formats as Open. Returns false when they are refused.
    bool OpenFeed(const CMediaFeedFormat& format, bool quiet);

    // Sets the output picture size (even sizes; others keep the previous size) and rate;
    // recomputes the same-size flag.
    void SetTarget(int32_t width, int32_t height, double fps);

    // Limits reading to [startSeconds, endSeconds] (a negative end: to the end of the
    // file); seeks when the source can, else decodes from the beginning and drops what
    // comes before the start. The remaining duration becomes end - start (not below 0).
    // Returns false when nothing is open to limit.
    bool SetRange(double startSeconds, double endSeconds);

    // Shows the source inside a frame displayed at `titleAspect` (width / height of the
    // screen, 4/3 or 16/9) instead of stretching it over the target: the picture keeps
    // its own display aspect (its sample aspect honoured), is centred, and the rest of
    // the frame is black (bars above and below a wide film, beside an upright or square
    // clip). The decoder's scaler makes the fitted picture in one step; interlaced
    // sources are scaled field by field. 0 switches fitting off (the picture is stretched
    // over the target, pictures above 720 x 576 first scaled down with their shape
    // kept). Takes effect at Run; photos (fitted when loaded) and pictures fed through
    // Dump() are not affected.
    void SetDisplayAspect(double titleAspect);

    // Where a source of display aspect `sourceAspect` lands inside a `width` x `height`
    // frame displayed at `titleAspect`: the largest centred region of even size (and
    // whole chroma lines of each field: height and top a multiple of 4 for
    // `interlaced`) that keeps the source's shape. The region fills the frame when
    // either aspect is not positive.
    static void FitRegion(double sourceAspect, double titleAspect, int32_t width, int32_t height, bool interlaced,
                          int32_t& x, int32_t& y, int32_t& regionWidth, int32_t& regionHeight);

    // Clears the clocks and starts decoding.
    void Run();

    // Ends decoding and recording; wakes every waiter on both rings.
    void Stop();

    // Waits, at most `seconds`, until decoding has handed over its first picture (when
    // there is video) and its first sound (when there is sound), or that medium ended:
    // only then is the offset between their start times known. True when both are.
    bool WaitForFirstSamples(double seconds);

    // Why the last Open refused the file (the message it showed or would have shown).
    const std::string& Refusal() const { return refusal; }

    // Delivers the next output picture into `picture` (created at the target size when
    // it has another size). Returns false once the source has no more pictures; the
    // picture then shows the last one (black for a photo or a file without video).
    bool GetFrame(CYUV420Image& picture);

    // Copies up to `bytes` bytes of 48 kHz 16-bit stereo PCM (or undecoded AC-3 when
    // the audio kind is AC-3) into `out`. Returns the bytes copied, 0 at the end.
    int32_t ReadPcm(int32_t bytes, uint8_t* out);

    // Opens `path` for a preview: both media, decoded on their own thread at once.
    // `notify` receives event codes (1 = the end was reached, 3 = decoding failed).
    bool OpenForPlayback(const std::string& path, std::function<void(int32_t)> notify);

    // Length in seconds of the first audio stream of `path`; 0 when unknown.
    static double GetAudioLength(const std::string& path);

    // Records the first audio capture device (PulseAudio, else ALSA "default") into a
    // RIFF WAVE file at `path` until Stop. Returns false when no device could be opened.
    bool RecordMicrophone(const std::string& path);

    // The renderer whose rings the decoding side fills (feed samples here after
    // OpenFeed).
    CAVDump& Dump() { return *dump; }

    // The graph description last written ("graph.txt" lines).
    const std::string& GraphText() const { return graphText; }

    // Settings made before Open.
    bool wantVideo = true;
    bool wantAudio = true;
    bool acceptAc3 = true;  // false: AC-3 is decoded to PCM like any other sound
    bool shortWait = true;  // the reader waits 1 s for data (90 s when false)
    bool writeGraph = true;  // rewrite graph.txt in the state folder on Open

    // What Open found.
    bool videoFound = false;
    bool audioFound = false;
    int32_t audioKind = kAudioNone;
    int32_t audioChannels = 0;
    int32_t audioRate = 0;
    int32_t audioBits = 0;
    int32_t sourceChannels = 0;  // channels of the file before any downmix
    int32_t videoCode = kVideoIYUV;
    int32_t sourceWidth = 0;  // size of the pictures handed over
    int32_t sourceHeight = 0;
    int32_t fileWidth = 0;  // size stored in the file, before fitting
    int32_t fileHeight = 0;
    // The source's field order: from the MPEG headers or the AVI's DV handler when the
    // file has them, else from FFmpeg (DV is always interlaced, bottom field first).
    bool interlaced = false;
    bool topFieldFirst = false;
    bool progressiveSequence = false;  // MPEG-2's flag; otherwise not interlaced
    double displayAspect = 0.0;  // display width / height of the source; 0 unknown
    int32_t sampleAspectNum = 0;  // the source's sample aspect; 0/1 square (not said)
    int32_t sampleAspectDen = 1;
    double titleAspect = 0.0;  // SetDisplayAspect; 0 off
    // The region of the target the source fills while fitting is on (after Run).
    int32_t fitX = 0;
    int32_t fitY = 0;
    int32_t fitWidth = 0;
    int32_t fitHeight = 0;
    int32_t targetWidth = 720;
    int32_t targetHeight = 480;
    double targetRate = 30000.0 / 1001.0;
    double targetPeriod = 1001.0 / 30000.0;
    bool sameSize = false;
    double sourceRate = 29.997;
    double sourcePeriod = 1.0 / 29.997;
    int64_t sourceFrameBytes = 0;
    int64_t duration = -1;  // 100 ns, -1 unknown
    int64_t rangeStart = 0;  // 100 ns
    int64_t rangeEnd = -1;  // 100 ns, -1 = to the end
    bool canSeek = false;
    bool isPhoto = false;
    bool isVob = false;  // a DVD source: VOB, IFO or BUP file, VIDEO_TS folder, disc image
    int64_t outputFrames = 0;
    double sourceClock = 0.0;  // seconds of source consumed
    double outputClock = 0.0;  // seconds of output produced
    int32_t smoothCarry = 0;  // 100 ns still to pay out
    int32_t smoothStep = 0;  // 100 ns paid out per frame
    int64_t sourceFramesRead = 0;  // pictures taken from the video ring
    std::string path;
    // What a DVD source's title set says (set by Open).
    bool vobAlternativeStart = false;  // opened at the cell after program 1's entry cell
    int sourceWide = -1;  // 1 16:9, 0 4:3, -1 unknown or not a DVD source
    // The title set's own chapter starts: programs 2..n in seconds of the stream, empty
    // without an IFO or programs.
    std::vector<double> sourceProgramStarts;
    std::string dvdVobPath;  // the first VOB read ("image.iso:VIDEO_TS/VTS_01_1.VOB" in an image)

private:
    bool Refuse(const std::string& message, bool quiet);
    // Forgets what the last Open found, for a new source `file`.
    void ResetSource(const std::string& file);
    // Copies the formats the graph connected (sound when `audioOn`, pictures when
    // `videoOn`).
    void TakeGraphFormats(bool audioOn, bool videoOn);
    // Settles the duration, seekability and frame period from what the graph found.
    void SettleGraphDuration();
    // Settles the field order and display aspect of the video found.
    void SettleVideoShape();
    // Sets the size the graph hands pictures over at for the fitting chosen.
    bool ApplyFit();
    // Fills `picture` with black around the fitted region and copies `current` into it.
    void PlaceFitted(CYUV420Image& picture);
    bool CheckFormats(bool quiet);
    bool OpenPhoto(bool quiet);
    bool OpenDvdGraph(const std::string& file, bool quiet, bool& opened);
    void NoteOpenedGraph();
    bool LoadPhotoPicture();
    bool ReadSourceFrame();
    void ConvertSourceFrame(CYUV420Image& picture);
    void PhotoFrame(CYUV420Image& picture);
    int32_t ConvertChunk(const uint8_t* chunk, int32_t bytes);
    void ReleaseGraph();

    std::unique_ptr<CAVDump> dump;
    std::unique_ptr<CVobStream> vob;  // a DVD source's bytes; outlives the graph reading it
    std::unique_ptr<CMediaGraph> graph;
    std::unique_ptr<CMicRecorder> recorder;
    CACMResample resampler;
    bool resamplerOpen = false;
    bool resamplerFlushed = false;
    std::string graphText;
    std::string refusal;

    CYUV420Image current;  // source-size picture (even-rounded)
    CYUV420Image photoPicture;  // the photo fitted to the target size
    std::vector<uint8_t> frameBuffer;  // the last source frame
    bool haveFrame = false;
    bool fitted = false;  // pictures arrive at the fitted region's size
    int32_t openWidth = 0;  // the size Open chose for the pictures handed over
    int32_t openHeight = 0;
    bool videoEnded = false;

    std::vector<uint8_t> chunkBuffer;  // raw PCM read from the ring
    std::vector<int16_t> stereoBuffer;  // 16-bit stereo before resampling
    std::vector<uint8_t> outBuffer;  // converted PCM
    std::vector<uint8_t> carry;  // converted PCM not yet handed out
    size_t carryPos = 0;
    bool audioEnded = false;
};
