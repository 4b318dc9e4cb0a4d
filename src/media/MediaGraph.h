// The decoding chain of one media file over FFmpeg: demuxer, decoders, picture scaler
// and sound converter, run on a thread of its own that hands raw pictures and PCM to a
// CAVDump. It delivers only what that renderer accepts: pictures in IYUV, YUY2 or
// RGB32 no larger than 720 x 576 (larger ones are scaled down with their shape kept)
// or at the size the caller sets (SetOutputSize), PCM of at most two channels (more are mixed down to stereo), 8 or 16 bits, at most
// 48 kHz, or AC-3 undecoded.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "media/FfmpegPtr.h"

struct AVStream;
class CAVDump;
class CVobStream;

class CMediaGraph {
public:
    static constexpr int32_t maxWidth = 720;
    static constexpr int32_t maxHeight = 576;

    CMediaGraph();
    ~CMediaGraph();
    CMediaGraph(const CMediaGraph&) = delete;
    CMediaGraph& operator=(const CMediaGraph&) = delete;

    // Opens `path` (`format` forces a demuxer, e.g. "mpeg"; empty lets FFmpeg probe)
    // and connects a decoder for the first video and the first audio stream that are
    // wanted. Returns false when the file cannot be read as media at all.
    bool Open(const std::string& path, const std::string& format, bool wantVideo, bool wantAudio, bool acceptAc3);

    // As Open, but the bytes come from `stream` (read and positioned by the demuxer
    // through its own I/O context; no file name reaches FFmpeg). `stream` must outlive
    // this graph's decoding.
    bool Open(CVobStream& stream, const std::string& format, bool wantVideo, bool wantAudio, bool acceptAc3);

    // Positions the file at `start` (100 ns from the beginning); decoded pictures and
    // sound before it are dropped. False when the file cannot seek there.
    bool Seek(int64_t start);

    // Drops decoded pictures and sound before `start` (100 ns) without seeking, for
    // files that cannot seek: decoding runs from the beginning.
    void SkipTo(int64_t start);

    // Ends the pictures and sound handed over at `end` (100 ns from the beginning; -1:
    // the end of the file): the last picture is cut short there, sound is cut to the
    // sample, and reading stops once both have passed it.
    void SetEnd(int64_t end) { rangeEnd = end; }

    // Hands pictures over at `outWidth` x `outHeight` (even, positive) instead of the
    // size Open chose, scaled from the decoded size in one step. With `fieldsApart` the
    // two fields of a picture are scaled each on its own whenever the height changes,
    // so that interlaced pictures keep their fields. Call before Start.
    void SetOutputSize(int32_t outWidth, int32_t outHeight, bool fieldsApart);

    // Starts the decoding thread feeding `dump`. `notify` (may be empty) receives 1 when
    // the end was reached and 3 when reading failed.
    void Start(CAVDump& dump, std::function<void(int32_t)> notify);

    // Asks the thread to end and waits for it. The caller finishes the dump's rings
    // first so that a blocked thread wakes up.
    void Stop();

    // The graph description: one line per filter and one per pin under it.
    std::string Describe() const;

    // Why the last Open could not even try the file (FFmpeg's libraries could not be
    // loaded, or a file it names is missing or not a regular file); empty otherwise, also
    // when FFmpeg could not read the file.
    std::string openError;

    // Options handed to the demuxer on Open (a capture device's "dvguid", ...). With
    // `isDevice` the name given to Open is a device, not a file to check first.
    std::vector<std::pair<std::string, std::string>> inputOptions;
    bool isDevice = false;

    // What Open found (pictures and sound as handed over).
    bool videoConnected = false;
    bool audioConnected = false;
    int32_t videoCode = 5;  // 5 IYUV, 3 YUY2, 1 RGB32
    int32_t width = 0;  // handed-over size
    int32_t height = 0;
    int32_t fileWidth = 0;  // size in the file
    int32_t fileHeight = 0;
    double frameRate = 0.0;  // 0 when the file does not say
    int32_t sampleAspectNum = 0;  // the pictures' sample aspect; 0/1 = square (not said)
    int32_t sampleAspectDen = 1;
    // The field order FFmpeg found: what the first decoded picture says, else the
    // stream's field order (top/top and top/bottom orders: top field first; bottom/bottom
    // and bottom/top: bottom field first; progressive or unknown: not interlaced).
    bool interlaced = false;
    bool topFieldFirst = false;
    bool isDv = false;  // the video stream is DV
    int32_t audioKind = -1;  // 0 AC-3, 1 PCM, -1 none
    int32_t channels = 0;  // handed-over channels
    int32_t sourceChannels = 0;  // channels in the file
    int32_t sampleRate = 0;  // handed-over rate
    int32_t bits = 0;  // 8 or 16
    int64_t duration = -1;  // 100 ns of the whole file, -1 unknown
    int64_t videoDuration = -1;  // 100 ns of the video stream, -1 unknown
    int64_t audioDuration = -1;  // 100 ns of the audio stream, -1 unknown
    bool seekable = false;
    bool videoStreamPresent = false;  // the file has a video stream at all
    bool audioStreamPresent = false;  // the file has an audio stream at all
    std::string formatName;
    std::string videoCodecName;
    std::string audioCodecName;

private:
    bool OpenFile(const std::string& path, const std::string& forced);
    bool ReadInputInfo();
    void ChooseStreams(bool wantVideo, bool wantAudio);
    void ConnectVideo();
    bool SeekTo(int64_t position);
    int64_t FirstPictureStart();
    void ProbeFieldOrder(const std::string& path, const std::string& forced);
    void SettleVideoOutput(int32_t outWidth, int32_t outHeight);
    void ConnectAudio(bool acceptAc3);
    bool ConnectAudioDecoder(AVStream* stream);
    void Run();
    bool DecodeVideo(const AVPacket* packet);
    bool DecodeAudio(const AVPacket* packet);
    bool DeliverVideo(AVFrame* frame);
    bool DeliverHeldPicture(int64_t nextStart);
    bool CopyPicture(AVFrame* frame);
    bool ScalePicture(AVFrame* frame, AVFrame* scaled);
    bool PastEnd() const;
    // The length of a picture at the file's frame rate (100 ns).
    int64_t NominalLength() const;
    // The held picture's length as the file says, else as the pictures before it lasted.
    int64_t HeldLength() const;
    bool DeliverAudio(AVFrame* frame);
    bool OpenConverter(const AVFrame& frame);
    int ConvertAudio(AVFrame* frame);
    bool HandOverAudio(const uint8_t* data, int samples, int64_t start);
    bool PassAc3(const AVPacket* packet);
    void Close();

    // Freed in Close in the reverse order: decoders and converters before the input,
    // the input before the I/O context it reads through.
    IoPtr io;
    InputPtr format;
    CodecPtr videoCodec;
    CodecPtr audioCodec;
    ScalerPtr scaler;
    ResamplerPtr converter;
    int videoIndex = -1;
    int audioIndex = -1;
    int outPixFmt = -1;  // AVPixelFormat handed over
    int outSampleFmt = -1;  // AVSampleFormat handed over
    bool usesScaler = false;
    bool scaleFields = false;  // interlaced: each field scaled on its own
    bool usesConverter = false;
    bool passAc3 = false;
    int64_t startOffset = 0;  // 100 ns of the file's start time
    int64_t rangeStart = 0;  // 100 ns; earlier samples are dropped
    int64_t rangeEnd = -1;  // 100 ns; later samples are dropped, -1 none
    bool videoPastEnd = false;
    bool audioPastEnd = false;
    // The decoded picture held back until the next one's start says how long it lasts.
    FramePtr heldPicture;
    bool holding = false;
    int64_t heldStart = -1;  // 100 ns, -1 unknown
    int64_t heldLength = 0;  // 100 ns, what the file says (used when the next start cannot)
    int64_t lastInterval = 0;  // 100 ns between the last two pictures
    int64_t deliveredEnd = -1;  // 100 ns, where the last picture handed over ends
    int64_t nextAudioStart = -1;  // 100 ns, for frames without a time stamp
    std::vector<uint8_t> frameBytes;
    std::vector<uint8_t> pcmBytes;
    CAVDump* dump = nullptr;
    std::function<void(int32_t)> notify;
    std::thread worker;
    std::atomic<bool> stopping{false};
};
