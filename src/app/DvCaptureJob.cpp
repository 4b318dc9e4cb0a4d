#include "app/DvCaptureJob.h"

#include "app/DvCaptureTitleBuilder.h"
#include "app/DvdFolderJob.h"
#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/Texts.h"
#include "dvd/MuxRunContext.h"
#include "media/Avc1394Transport.h"
#include "media/DirectShowAV.h"
#include "media/DvCaptureSource.h"
#include "media/FakeTapeTransport.h"
#include "media/PreviewPicture.h"
#include "media/TapeTransport.h"
#include "platform/Folders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

CDvCaptureJob::CDvCaptureJob(CUiPort& ui_) : ui(ui_), preview(std::make_unique<CPreviewPicture>()) {}

CDvCaptureJob::~CDvCaptureJob()
{
    if (source) source->Stop();
}

double CDvCaptureJob::ClampSeconds(double seconds)
{
    if (!(seconds >= minSeconds)) return minSeconds;  // also NaN
    return std::min(seconds, maxSeconds);
}

int CDvCaptureJob::FolderStandard(const std::string& folder)
{
    // The video attributes of the title set's titles: bits 5-4 of their first byte are
    // the standard (0 NTSC, 1 PAL).
    constexpr long kVideoAttributes = 0x200;
    FilePtr file(std::fopen((folder + VtsFileName(1, 0, "IFO")).c_str(), "rb"));
    if (!file || std::fseek(file.get(), kVideoAttributes, SEEK_SET) != 0) return -1;
    const int byte = std::fgetc(file.get());
    if (byte == EOF) return -1;
    const int standard = (byte >> 4) & 3;
    return standard <= 1 ? standard : -1;
}

void CDvCaptureJob::ReportOpenFailure(const std::string& why)
{
    // The four lines by their keys, so that a chosen language translates them.
    const std::string text = Text(5200) + Text(5201) + Text(5202) + Text(5203);
    error = why;
    ui.MessageBox(text + (why.empty() ? "" : "\n\n" + why), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
}

bool CDvCaptureJob::OpenDevice(std::unique_ptr<CDvCaptureSource> source_, std::unique_ptr<CTapeTransport> transport_)
{
    error.clear();
    source = std::move(source_);
    transport = std::move(transport_);
    transportEnabled = false;
    media = std::make_unique<CDirectShowAV>();
    if (!source) {
        error = "no capture device";
        return false;
    }
    source->preview = preview.get();
    // The streams are checked once here, as the device is opened.
    if (!source->Connect(*media, 1.0, true)) {
        error = source->Error();
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        source.reset();
        return false;
    }
    deviceName = source->Name();
    if (!transport) return true;
    if (transport->DeviceType() != kDeviceVcr) {
        ui.MessageBox(Text(5204), Text(6204), MsgButtons::Ok, MsgIcon::Warning);
    } else if (!transport->QueryStatus()) {
        ui.MessageBox(Text(5205), Text(6204), MsgButtons::Ok, MsgIcon::Warning);
    } else {
        transportEnabled = true;
    }
    return true;
}

bool CDvCaptureJob::SendTransport(int32_t mode)
{
    if (!transportEnabled || !transport) return false;
    if (!transport->Command(mode)) return false;
    // A camcorder shows whatever its tape plays; a stand-in file plays only when told.
    if (previewing && !capturing && source && !source->IsDevice()) {
        if (mode == kTransportPlay || mode == kTransportFastPlayForward || mode == kTransportFastPlayReverse) {
            if (!source->Monitoring()) source->StartMonitor(-1);
        } else {
            source->Stop();
        }
    }
    return true;
}

void CDvCaptureJob::StartPreview()
{
    if (!source || capturing) return;
    previewing = true;
    source->StartMonitor(source->IsDevice() ? -1 : 1);
}

bool CDvCaptureJob::SourceIsPal() const { return source && source->pal; }

CDvCaptureJob::SProgress CDvCaptureJob::Progress() const
{
    SProgress now;
    if (!source || !media) return now;
    now.captured = source->SecondsCaptured();
    now.dropped = source->FramesDropped();
    const double frameBytes = double(source->width) * source->height * 1.5;
    const double fps = source->frameRate > 0 ? source->frameRate : 25.0;
    if (frameBytes > 0) {
        now.waiting = double(media->Dump().videoRing.Filled()) / frameBytes / fps;
        now.room = double(media->Dump().videoRing.Capacity()) / frameBytes / fps;
    }
    return now;
}

std::vector<std::string> CDvCaptureJob::ListDevices(std::string& why) { return CAvc1394Transport::ListDevices(why); }

bool CDvCaptureJob::OpenNamedDevice(const std::string& device, const SStandIn& standIn)
{
    auto opened = std::make_unique<CDvCaptureSource>();
    std::unique_ptr<CTapeTransport> tape;
    std::error_code ec;
    const bool isFile =
        !device.empty() && (std::filesystem::exists(device, ec) || device.find_first_of("/.") != std::string::npos);
    if (isFile) {
        const auto kind = standIn.transport == "camera" ? CFakeTapeTransport::EKind::Camera
            : standIn.transport == "no-tape"            ? CFakeTapeTransport::EKind::VcrWithoutTape
                                                        : CFakeTapeTransport::EKind::VcrWithTape;
        if (standIn.transport != "vcr" && standIn.transport != "camera" && standIn.transport != "no-tape") {
            Refuse("The stand-in transport answers as vcr, camera or no-tape, not \"" + standIn.transport + "\".");
            return false;
        }
        if (!opened->OpenFile(device)) {
            ReportOpenFailure(opened->Error());
            return false;
        }
        auto fake = std::make_unique<CFakeTapeTransport>(kind);
        if (!standIn.transportLog.empty() && !fake->SetLogFile(standIn.transportLog)) {
            Refuse(fake->Error());
            return false;
        }
        opened->fast = standIn.fast;
        opened->pullAfterSeconds = standIn.pullAfterSeconds;
        tape = std::move(fake);
    } else {
        if (!opened->OpenDevice(device)) {
            ReportOpenFailure(opened->Error());
            return false;
        }
        // A device whose transport cannot be reached is captured without VCR control.
        auto avc = std::make_unique<CAvc1394Transport>();
        if (avc->Open(device)) tape = std::move(avc);
    }
    return OpenDevice(std::move(opened), std::move(tape));
}

CDvCaptureJob::Result CDvCaptureJob::Refuse(const std::string& message)
{
    error = message;
    ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    return Result::Refused;
}

void CDvCaptureJob::PrepareParams(double seconds)
{
    params = CDVDParams();
    params.titleCount = 1;
    params.totalSeconds = params.titleSeconds[0] = int32_t(std::ceil(seconds));
    params.titleAudioType[0] = compressAudio ? 1 : 2;
    ApplyVideoFormat(resolution, wide, pal, params);
    params.compressAudio = compressAudio ? 1 : 0;
    params.highQuality = highQuality ? 1 : 0;
    params.discSizeText = discSizeText;
    FitBitRate(params);
    params.outputFolder = CFolders::WithSlash(dvdFolder);
    params.intraMatrixText = intraMatrixText;
    params.interMatrixText = interMatrixText;
    params.audioDelay = audioDelay;
    params.videoDelay = videoDelay;
    params.jobName = "DV Live Capture";
}

void CDvCaptureJob::OnEnd(int32_t code)
{
    endCode = code;
    // Completion, a stop, an error and a pulled device all leave the tape stopped.
    if (code == kCaptureComplete || code == kCaptureUserAbort || code == kCaptureErrorAbort ||
        code == kCaptureDeviceLost)
        SendTransport(kTransportStop);
    if (onCaptureEnd) onCaptureEnd(code);
}

CDvCaptureJob::Result CDvCaptureJob::CheckCapture()
{
    if (!source) return Refuse("No DV device is open to capture from.");
    if (footage < 1 || footage > maxFootage)
        return Refuse("Footage " + std::to_string(footage) + " cannot be captured: footages are numbered 1 to " +
                      std::to_string(maxFootage) + ".");
    if (playAndCapture && !transportEnabled)
        return Refuse("Play and Capture needs VCR control, which this device does not allow.");
    // One disc holds one television standard: a footage joins the earlier ones in theirs.
    const int standard = footage > 1 ? FolderStandard(dvdFolder) : -1;
    if (standard >= 0 && standard != (pal ? 1 : 0))
        return Refuse("The DVD in " + dvdFolder + " is " + (standard ? "PAL" : "NTSC") + ": footage " +
                      std::to_string(footage) + " must be " + (standard ? "PAL" : "NTSC") + " too.");
    return Result::Done;
}

CDvCaptureJob::Result CDvCaptureJob::RunFootage(double seconds, const std::string& folder)
{
    if (playAndCapture) SendTransport(kTransportPlay);
    SMuxRunContext run;
    CDvCaptureTitleBuilder builder(*media, *source, seconds, params, ui, run);
    builder.SetOnEnd([this](int32_t code) { OnEnd(code); });
    const bool built = builder.Build(footage - 1, folder);
    source->Stop();
    framesCoded = builder.FramesCoded();
    framesDropped = source->FramesDropped();
    capturedSeconds = double(framesCoded) / params.frameRate;
    if (!built) {
        error = builder.Error();
        return Result::Failed;
    }
    if (source->FramesCaptured() == 0) {
        // A title without a single captured picture is no footage.
        error = "Nothing was captured: the device delivered no pictures.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return Result::Failed;
    }
    const bool early = builder.Cancelled() || endCode == kCaptureUserAbort || endCode == kCaptureDeviceLost ||
        endCode == kCaptureErrorAbort;
    return early ? Result::Stopped : Result::Done;
}

CDvCaptureJob::Result CDvCaptureJob::Capture()
{
    if (!source) return CaptureFootage();
    // The idle preview gives the tape over to the capture, and takes it back after.
    capturing = true;
    source->Stop();
    const Result result = CaptureFootage();
    capturing = false;
    if (previewing && source->IsDevice()) source->StartMonitor(-1);
    return result;
}

CDvCaptureJob::Result CDvCaptureJob::CaptureFootage()
{
    error.clear();
    capturedSeconds = 0;
    framesCoded = framesDropped = 0;
    endCode = 0;
    if (dvdFolder.empty()) dvdFolder = CFolders::DefaultDvdFolder();
    dvdFolder = CFolders::WithSlash(dvdFolder);
    const Result checked = CheckCapture();
    if (checked != Result::Done) return checked;
    const double seconds = ClampSeconds(lengthSeconds);
    PrepareParams(seconds);

    // The tape is checked before anything in the folder is touched or asked about.
    if (!source->Connect(*media, seconds, true)) {
        error = source->Error();
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return Result::Failed;
    }

    CDvdFolderJob folderJob(ui, dvdFolder, footage, footage);
    const CDvdFolderJob::EPrepared prepared = folderJob.Prepare({});
    if (prepared != CDvdFolderJob::EPrepared::Ready) {
        error = folderJob.Error();
        return CDvdFolderJob::Refusal<Result>(prepared);
    }

    Result result = RunFootage(seconds, folderJob.WorkFolder());
    const bool keep = result == Result::Done || result == Result::Stopped;
    if (folderJob.Conclude(keep, error))
        ++footage;
    else if (keep)
        result = Result::Failed;
    return result;
}

void CDvCaptureJob::StopCapture()
{
    if (source) source->RequestStop();
}

bool CDvCaptureJob::FinishDvd(const std::function<void(const std::string&)>& openBurnWindow)
{
    SendTransport(kTransportStop);
    if (dvdFolder.empty()) dvdFolder = CFolders::DefaultDvdFolder();
    dvdFolder = CFolders::WithSlash(dvdFolder);
    std::error_code ec;
    if (!std::filesystem::exists(dvdFolder + "VIDEO_TS.IFO", ec)) {
        // Nothing to burn yet: offering the burn window would only lead to its refusal.
        error = "There is no DVD in " + dvdFolder + " yet: capture a footage first.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    bool asked = false;
    CDvdFolderJob folderJob(ui, dvdFolder, 1, 1);
    folderJob.Finish("", [&](const std::string& folder) {
        asked = true;
        if (openBurnWindow) openBurnWindow(folder);
    });
    return asked;
}

void CDvCaptureJob::SetPreviewSize(int32_t width, int32_t height) { preview->SetSize(width, height); }

bool CDvCaptureJob::TakePreview(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height, uint64_t& serial) const
{
    CPreviewPicture::SFrame frame;
    if (!preview->Take(frame, serial)) return false;
    pixels.swap(frame.pixels);
    width = frame.width;
    height = frame.height;
    return true;
}

uint64_t CDvCaptureJob::PreviewSerial() const { return preview->Serial(); }

bool CDvCaptureJob::SendVcr(EVcr button)
{
    switch (button) {
    case EVcr::Play:
        return SendTransport(kTransportPlay);
    case EVcr::Pause:
        return SendTransport(kTransportPause);
    case EVcr::Stop:
        return SendTransport(kTransportStop);
    case EVcr::FastForward:
        return SendTransport(kTransportFastForward);
    case EVcr::Rewind:
        return SendTransport(kTransportRewind);
    case EVcr::FastPlayForward:
        return SendTransport(kTransportFastPlayForward);
    case EVcr::FastPlayReverse:
        return SendTransport(kTransportFastPlayReverse);
    }
    return false;
}
