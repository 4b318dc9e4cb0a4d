// CDvCaptureJob: the camcorder capture without its window. It holds the open device
// (a CDvCaptureSource and its tape transport), the DVD settings and the footage number,
// and captures one footage at a time into the DVD folder: title set N for footage N
// (1 to 49), "DV Live Capture", the length clamped to 1 ... 7200 s, VIDEO_TS.IFO
// rewritten so that all footages play in order. The tape is stopped whenever a capture
// ends: completion, a stop, an error or the device going away.
//
// Like the other DVD jobs it writes into a new version of the DVD folder that takes
// the old one's place only when the footage is complete.
#pragma once

#include "base/DVDParams.h"
#include "base/UiPort.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDirectShowAV;
class CDvCaptureSource;
class CPreviewPicture;
class CTapeTransport;

class CDvCaptureJob {
public:
    static constexpr int maxFootage = 49;
    static constexpr double minSeconds = 1;
    static constexpr double maxSeconds = 7200;
    static constexpr double defaultSeconds = 3780;

    enum class Result {
        Done,  // the footage was captured for its length or to the end of the tape
        Stopped,  // ended early (stop, cancel, pulled device): the footage holds what came
        Refused,  // footage number out of range, an earlier title set missing, no device
        Declined,  // the person kept the DVD already in the folder
        NotWritable,  // a file of the folder could not be created; nothing was changed
        Busy,  // another job is writing into the folder
        Failed,  // the footage could not be made (reported); the folder was left as it was
    };

    explicit CDvCaptureJob(CUiPort& ui_ = Ui());
    ~CDvCaptureJob();
    CDvCaptureJob(const CDvCaptureJob&) = delete;
    CDvCaptureJob& operator=(const CDvCaptureJob&) = delete;

    // A capture length as the dialog takes it: 1 ... 7200 seconds.
    static double ClampSeconds(double seconds);

    // Shows that the device could not be opened (the four-line message, then `why`)
    // and keeps it in Error().
    void ReportOpenFailure(const std::string& why);

    // The television standard of the DVD in `folder` (ending in "/"), as its first title
    // set's IFO says: 0 NTSC, 1 PAL, -1 when there is none or it cannot be read.
    static int FolderStandard(const std::string& folder);

    // How a DV file standing in for the camcorder is read: as fast as the encoder takes
    // it or at the tape's pace, its transport answering as "vcr", "camera" or "no-tape"
    // (its queries and commands also written to `transportLog` when set), and a pulled
    // device after `pullAfterSeconds` (negative: never).
    struct SStandIn {
        bool fast = false;
        std::string transport = "vcr";
        std::string transportLog;
        double pullAfterSeconds = -1;
    };

    // Opens `device`: a DV file standing in for the tape (as `standIn` says) when such
    // a file exists or the name looks like a path, otherwise the IEEE 1394 device with
    // that GUID (empty: the first), with its AV/C transport when it answers. A device
    // that cannot be opened gets the four-line message, other refusals one line; false
    // then, Error() says why.
    bool OpenNamedDevice(const std::string& device, const SStandIn& standIn);
    // The IEEE 1394 AV/C devices, one line each ("GUID  what it is"); empty with the
    // reason in `why` when there is none.
    static std::vector<std::string> ListDevices(std::string& why);

    // Takes the opened device and its transport (may be null: no transport control),
    // checks the streams ("Unsupported audio stream", "Unsupported video stream") and
    // asks the transport what it is: a device not in VCR mode or without a tape gets
    // the warning and no transport control. False (shown, kept in Error()) when the
    // device's streams cannot be captured.
    bool OpenDevice(std::unique_ptr<CDvCaptureSource> source, std::unique_ptr<CTapeTransport> transport);
    // Whether the transport takes commands (VCR mode with a tape).
    bool TransportEnabled() const { return transportEnabled; }
    // Sends a transport command when transport control is on; false otherwise. Outside
    // a capture, a DV file standing in plays into the preview on Play and the fast
    // plays, and stops on the other commands.
    bool SendTransport(int32_t mode);
    // Starts the preview of an idle device: a camcorder's pictures as they come, a DV
    // file's first picture (its tape then moves on a little, as a tape shown does).
    void StartPreview();

    // Captures footage `footage` (with Play first for `playAndCapture`) and, when it was
    // made, moves to the next footage number.
    Result Capture();
    // Asks a running capture to end (from any thread); the footage keeps what came.
    void StopCapture();
    // Whether a device is open.
    bool DeviceOpen() const { return source != nullptr; }
    // The device's name as opened ("tape.dv", "the first IEEE 1394 device").
    const std::string& DeviceName() const { return deviceName; }

    // "Create DVD": stops the tape when transport control is on, then asks whether to
    // burn the DVD in the folder now; Yes calls `openBurnWindow` with the folder. A
    // folder without a DVD yet is named in a message instead of offered for burning.
    // True when the burn window was asked for.
    bool FinishDvd(const std::function<void(const std::string&)>& openBurnWindow);

    // The live preview: the pictures of the device, made small on the thread that
    // reads the tape (the window takes them from here).
    CPreviewPicture& Preview() { return *preview; }
    // The preview pictures' size in pixels.
    void SetPreviewSize(int32_t width, int32_t height);
    // Copies the newest preview picture (0xffRRGGBB words, top line first) when it is
    // newer than `serial` (then updated); false when there is nothing new.
    bool TakePreview(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height, uint64_t& serial) const;
    // How many preview pictures have been made.
    uint64_t PreviewSerial() const;

    // The VCR buttons, in the order the window shows them.
    enum class EVcr { Play, Pause, Stop, FastForward, Rewind, FastPlayForward, FastPlayReverse };
    // Sends the transport command of a VCR button (as SendTransport).
    bool SendVcr(EVcr button);

    // Settings, as the dialog (or the command line) chose them.
    std::string dvdFolder;  // the VIDEO_TS folder (empty: ~/TempDVD/VIDEO_TS/)
    int resolution = 0;  // 0 High, 1 Medium, other Low
    bool wide = false;
    bool pal = false;
    int compressAudio = 1;  // 1 Layer II, 0 linear PCM
    bool highQuality = false;  // the video encoder's high-quality mode
    int footage = 1;  // the next title set, 1 ... 49
    double lengthSeconds = defaultSeconds;
    bool playAndCapture = false;
    std::string discSizeText = "4700000000";
    // The advanced settings' quantiser matrices and sync correction (seconds).
    std::string intraMatrixText = "Default";
    std::string interMatrixText;
    double audioDelay = 0;
    double videoDelay = 0;
    // Called with the capture's event code when a tape ends (on the capture's thread).
    std::function<void(int32_t code)> onCaptureEnd;

    // Whether the open device delivers PAL (25 pictures a second).
    bool SourceIsPal() const;
    // Where the running capture stands: seconds of tape captured, pictures dropped, and
    // seconds of pictures waiting for the encoder out of the seconds the ring can hold
    // (the encoder's margin over the tape).
    struct SProgress {
        double captured = 0;
        int64_t dropped = 0;
        double waiting = 0;
        double room = 0;
    };
    SProgress Progress() const;

    // Results of the last capture.
    CDVDParams params;
    double capturedSeconds = 0;  // length of the footage made
    int64_t framesCoded = 0;
    int64_t framesDropped = 0;
    int32_t endCode = 0;  // the capture's event code
    const std::string& Error() const { return error; }

private:
    Result Refuse(const std::string& message);
    // Refuses a capture that cannot be made (no device, footage number, Play without
    // VCR control, another standard than the DVD's); Done when it can.
    Result CheckCapture();
    // Checks, captures and builds one footage (Capture without the preview's part).
    Result CaptureFootage();
    // Captures and builds the footage into `folder`.
    Result RunFootage(double seconds, const std::string& folder);
    void PrepareParams(double seconds);
    void OnEnd(int32_t code);

    CUiPort& ui;
    std::unique_ptr<CPreviewPicture> preview;  // outlives the source that feeds it
    std::unique_ptr<CDvCaptureSource> source;
    std::unique_ptr<CTapeTransport> transport;
    std::unique_ptr<CDirectShowAV> media;
    bool transportEnabled = false;
    bool previewing = false;  // the window shows the idle device
    std::atomic<bool> capturing{false};
    std::string deviceName;
    std::string error;
};
