#include "media/DirectShowAV.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/File.h"
#include "base/InputFile.h"
#include "base/UiPort.h"
#include "media/MediaGraph.h"
#include "media/MediaKernels.h"
#include "media/MicRecorder.h"
#include "media/VideoSourceTester.h"
#include "media/VobStream.h"
#include "picture/Photo.h"
#include "platform/Folders.h"

namespace {

constexpr int64_t kPhotoDuration = 110000000;  // 11 s
constexpr int32_t kPhotoLimit = 2048;
constexpr const char* kCaption = "Kestrova";
// Black in the pictures the encoder takes (video range), as photos are fitted on.
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// Why the photo decoder cannot read `path` fitted to width x height; empty when it can.
std::string PhotoProblem(const std::string& path, int width, int height)
{
    CPhoto photo;
    return photo.LoadFitted(width, height, true, true, path) ? std::string() : photo.Error();
}

void WriteGraphFile(const std::string& text)
{
    std::string folder = CFolders::State();
    if (folder.empty() || !CFolders::Make(folder)) return;
    // Written beside and renamed, so a reader never sees half a description. The file
    // is only a diagnostic: a failure to write it is not reported.
    std::string error;
    ReplaceFileContent(folder + "graph.txt", text.data(), text.size(), error);
}

}  // namespace

int64_t RawFrameBytes(int32_t code, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) return 0;
    const int64_t w = width, h = height;
    switch (code) {
    case kVideoYV12:
    case kVideoIYUV:
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case kVideoYUY2:
        return w * h * 2;
    case kVideoRGB32:
        return w * h * 4;
    default:
        return 0;
    }
}

CDirectShowAV::CDirectShowAV() : dump(std::make_unique<CAVDump>()) {}

CDirectShowAV::~CDirectShowAV()
{
    Stop();
    ReleaseGraph();
}

void CDirectShowAV::ReleaseGraph()
{
    if (graph) {
        dump->Finish();
        graph->Stop();
        graph.reset();
    }
}

bool CDirectShowAV::Refuse(const std::string& message, bool quiet)
{
    refusal = message;
    if (!quiet) Ui().MessageBox(message, kCaption, MsgButtons::Ok, MsgIcon::Error);
    return false;
}

void CDirectShowAV::SetTarget(int32_t width, int32_t height, double fps)
{
    // Pictures have even sizes; an odd or empty size keeps the previous one.
    if (width > 0 && width % 2 == 0) targetWidth = width;
    if (height > 0 && height % 2 == 0) targetHeight = height;
    if (fps > 0.0) {
        targetRate = fps;
        targetPeriod = 1.0 / fps;
    }
    sameSize = sourceWidth == targetWidth && sourceHeight == targetHeight;
}

bool CDirectShowAV::Open(const std::string& file, bool quiet)
{
    Stop();
    ReleaseGraph();
    ResetSource(file);
    const std::string lower = Lower(file);
    isPhoto = Contains(lower, ".jpg") || Contains(lower, ".jpeg") || Contains(lower, ".bmp") || Contains(lower, ".png");
    isVob = !isPhoto && CVobStream::IsDvdSource(file);
    if (isPhoto) return OpenPhoto(quiet);

    graph = std::make_unique<CMediaGraph>();
    bool opened = false;
    if (isVob) {
        if (!OpenDvdGraph(file, quiet, opened)) {
            ReleaseGraph();
            return false;
        }
    } else {
        opened = graph->Open(file, "", wantVideo, wantAudio, acceptAc3);
    }
    if (opened) NoteOpenedGraph();

    if (!graph->openError.empty()) {
        Refuse(graph->openError, quiet);
        if (!opened) {
            // The file could not even be tried: that reason is the whole story.
            ReleaseGraph();
            return false;
        }
    }
    bool audioOn = wantAudio && opened && graph->audioConnected;
    bool videoOn = wantVideo && opened && graph->videoConnected;
    if (wantAudio && !audioOn) Refuse("Unable to open audio stream.", quiet);
    if (wantVideo && !videoOn) Refuse("Unable to open video stream.", quiet);
    if (!audioOn && !videoOn) {
        ReleaseGraph();
        return false;
    }
    TakeGraphFormats(audioOn, videoOn);
    if (!CheckFormats(quiet)) {
        ReleaseGraph();
        return false;
    }
    if (videoFound) SettleVideoShape();
    SettleGraphDuration();
    if (!dump->Prepare(videoFound, audioFound)) {
        ReleaseGraph();
        return Refuse("Not enough memory to open " + file, quiet);
    }
    return true;
}

// Writes the graph's description and takes its length and seekability.
void CDirectShowAV::NoteOpenedGraph()
{
    graphText = graph->Describe();
    if (writeGraph) WriteGraphFile(graphText);
    duration = graph->duration;
    canSeek = graph->seekable;
    // A title's length comes from its IFO; the stream is then read from its start and a
    // range start reached by dropping what comes before it.
    if (isVob && vob->TitleSeconds() > 0) {
        duration = int64_t(std::llround(vob->TitleSeconds() * 1e7));
        canSeek = false;
    }
}

// Opens the title set `file` stands for as a stream and the graph over it. When sound is
// wanted but none is found at program 1's entry cell, the cell after it is tried, and
// kept when it gives sound. False (the reason shown) when no title can be read;
// `opened` tells whether the graph could read the stream.
bool CDirectShowAV::OpenDvdGraph(const std::string& file, bool quiet, bool& opened)
{
    vob = std::make_unique<CVobStream>();
    if (!vob->Open(file, false)) return Refuse(vob->Error(), quiet);
    opened = graph->Open(*vob, "mpeg", wantVideo, wantAudio, acceptAc3);
    if (wantAudio && !(opened && graph->audioConnected)) {
        auto otherVob = std::make_unique<CVobStream>();
        auto otherGraph = std::make_unique<CMediaGraph>();
        if (otherVob->Open(file, true) && otherVob->StartOffset() != vob->StartOffset() &&
            otherGraph->Open(*otherVob, "mpeg", wantVideo, wantAudio, acceptAc3) && otherGraph->audioConnected) {
            graph = std::move(otherGraph);  // the old graph goes before the stream it read
            vob = std::move(otherVob);
            opened = true;
            vobAlternativeStart = true;
        }
    }
    dvdVobPath = vob->FirstVobName();
    if (vob->HasIfo()) {
        sourceWide = vob->Source().wide ? 1 : 0;
        sourceProgramStarts = ProgramStartSeconds(vob->Source().chain, vobAlternativeStart);
    }
    return true;
}

void CDirectShowAV::ResetSource(const std::string& file)
{
    vob.reset();
    vobAlternativeStart = false;
    sourceWide = -1;
    sourceProgramStarts.clear();
    dvdVobPath.clear();
    path = file;
    refusal.clear();
    videoFound = audioFound = false;
    audioKind = kAudioNone;
    audioChannels = audioRate = audioBits = sourceChannels = 0;
    sourceWidth = sourceHeight = fileWidth = fileHeight = 0;
    duration = -1;
    rangeStart = 0;
    rangeEnd = -1;
    canSeek = false;
    isPhoto = isVob = false;
    interlaced = topFieldFirst = progressiveSequence = false;
    displayAspect = 0.0;
    sampleAspectNum = 0;
    sampleAspectDen = 1;
    fitted = false;
    fitX = fitY = fitWidth = fitHeight = 0;
    sourceRate = 29.997;
    sourcePeriod = 1.0 / sourceRate;
    graphText.clear();
}

void CDirectShowAV::TakeGraphFormats(bool audioOn, bool videoOn)
{
    if (audioOn) {
        audioFound = true;
        audioKind = graph->audioKind;
        audioChannels = graph->channels;
        audioRate = graph->sampleRate;
        audioBits = graph->bits;
        sourceChannels = graph->sourceChannels;
    }
    if (videoOn) {
        videoFound = true;
        videoCode = graph->videoCode;
        sourceWidth = graph->width;
        sourceHeight = graph->height;
        fileWidth = graph->fileWidth;
        fileHeight = graph->fileHeight;
        openWidth = sourceWidth;
        openHeight = sourceHeight;
        sampleAspectNum = graph->sampleAspectNum;
        sampleAspectDen = graph->sampleAspectDen;
    }
}

void CDirectShowAV::SettleVideoShape()
{
    const double sar = sampleAspectNum > 0 ? double(sampleAspectNum) / sampleAspectDen : 1.0;
    displayAspect = fileHeight > 0 ? fileWidth * sar / fileHeight : 0.0;
    // The file's own headers (MPEG, DV in AVI) say more than the container.
    CVideoSourceTester tester;
    if (tester.Test(path)) {
        interlaced = tester.interlaced;
        topFieldFirst = tester.topFieldFirst;
        progressiveSequence = tester.progressiveSequence;
        return;
    }
    interlaced = graph && graph->interlaced;
    topFieldFirst = graph && graph->topFieldFirst;
    // DV pictures are interlaced, bottom field first, whatever the container says.
    if (graph && graph->isDv) {
        interlaced = true;
        topFieldFirst = false;
    }
    progressiveSequence = !interlaced;
}

void CDirectShowAV::SettleGraphDuration()
{
    // Sound alone lasts as long as its stream; video falls back on its stream's length
    // when the file does not say.
    if (!videoFound && graph->audioDuration > 0) duration = graph->audioDuration;
    if (videoFound) {
        if (graph->frameRate > 0.0) sourceRate = graph->frameRate;
        if (duration <= 0 && graph->videoDuration > 0) duration = graph->videoDuration;
    }
    if (duration <= 0) {
        duration = -1;
        canSeek = false;
    }
    sourcePeriod = sourceRate != 0.0 ? 1.0 / sourceRate : 1.0;
}

bool CDirectShowAV::CheckFormats(bool quiet)
{
    if (audioFound) {
        if (audioKind == kAudioPcm) {
            if (audioChannels > 2 || (audioBits != 8 && audioBits != 16) || audioRate > 48000 || audioChannels < 1 ||
                audioRate <= 0)
                return Refuse("Unsupported audio stream", quiet);
            if (audioRate < 48000) {
                resamplerOpen = resampler.OpenResampler(audioRate);
                if (!resamplerOpen) return Refuse("Unsupported audio stream", quiet);
            }
        }
    }
    if (videoFound) {
        const bool packed = videoCode == kVideoYUY2 || videoCode == kVideoRGB32;
        if (sourceWidth < 16 || sourceWidth > 720 || sourceHeight < 16 || sourceHeight > 576 ||
            RawFrameBytes(videoCode, sourceWidth, sourceHeight) == 0 || (packed && ((sourceWidth | sourceHeight) & 1)))
            return Refuse("Unsupported video stream", quiet);
        sourceFrameBytes = RawFrameBytes(videoCode, sourceWidth, sourceHeight);
        // The source-size picture needs even sizes; an odd line or column is repeated.
        if (!current.Create((sourceHeight + 1) & ~1, (sourceWidth + 1) & ~1))
            return Refuse("Not enough memory to open " + path, quiet);
        sameSize = sourceWidth == targetWidth && sourceHeight == targetHeight;
    }
    return true;
}

bool CDirectShowAV::OpenPhoto(bool quiet)
{
    // The picture's size is read from the file first, so that an oversized photo is
    // refused before it is decoded.
    std::string unreadable;
    if (!OpenInputFile(path, unreadable)) return Refuse(unreadable, quiet);
    CMediaGraph probe;
    if (!probe.Open(path, "", true, false, false) || !probe.videoConnected) {
        // The photo decoder says why, when it cannot read the picture either.
        const std::string problem = PhotoProblem(path, targetWidth, targetHeight);
        if (!problem.empty()) return Refuse(problem, quiet);
        if (wantAudio) Refuse("Unable to open audio stream.", quiet);
        return Refuse("Unable to open video stream.", quiet);
    }
    fileWidth = probe.fileWidth;
    fileHeight = probe.fileHeight;
    if (fileWidth > kPhotoLimit || fileHeight > kPhotoLimit)
        return Refuse("Photo size is too big! must be smaller than 2048x2048.", quiet);
    if (!LoadPhotoPicture()) {
        const std::string problem = PhotoProblem(path, targetWidth, targetHeight);
        return Refuse(problem.empty() ? "Unable to open video stream." : problem, quiet);
    }
    videoFound = true;
    videoCode = kVideoIYUV;
    sourceWidth = targetWidth;
    sourceHeight = targetHeight;
    sameSize = true;
    duration = kPhotoDuration;
    canSeek = false;
    return true;
}

bool CDirectShowAV::LoadPhotoPicture()
{
    CPhoto photo;
    if (!photo.LoadFitted(targetWidth, targetHeight, true, true, path)) return false;
    if (!photoPicture.Create(targetHeight, targetWidth)) return false;
    photoPicture.FromRGBX(photo.pixels.data());
    return true;
}

bool CDirectShowAV::OpenFeed(const CMediaFeedFormat& format, bool quiet)
{
    Stop();
    ReleaseGraph();
    path.clear();
    isPhoto = isVob = false;
    videoFound = format.video;
    audioFound = format.audio;
    videoCode = format.videoCode;
    sourceWidth = fileWidth = format.width;
    sourceHeight = fileHeight = format.height;
    audioKind = format.audio ? format.audioKind : kAudioNone;
    audioChannels = sourceChannels = format.channels;
    audioRate = format.sampleRate;
    audioBits = format.bitsPerSample;
    duration = format.duration;
    canSeek = false;
    sourceRate = format.frameRate > 0.0 ? format.frameRate : 29.997;
    sourcePeriod = 1.0 / sourceRate;
    if (!videoFound && !audioFound) return false;
    if (!CheckFormats(quiet)) return false;
    return dump->Prepare(videoFound, audioFound);
}

bool CDirectShowAV::SetRange(double startSeconds, double endSeconds)
{
    rangeStart = static_cast<int64_t>(std::max(0.0, startSeconds) * 1e7);
    rangeEnd = endSeconds >= 0.0 ? static_cast<int64_t>(endSeconds * 1e7) : -1;
    const int64_t end = rangeEnd >= 0 ? rangeEnd : duration;
    bool ok = true;
    if (rangeStart > 0 && graph && !(canSeek && graph->Seek(rangeStart))) {
        // A file that cannot seek is decoded from its beginning and the part before
        // the range is dropped.
        graph->SkipTo(rangeStart);
    } else if (rangeStart > 0 && !graph) {
        ok = false;
    }
    if (graph) graph->SetEnd(rangeEnd);
    if (end >= 0) duration = std::max<int64_t>(0, end - rangeStart);
    return ok;
}

void CDirectShowAV::Run()
{
    outputFrames = 0;
    sourceClock = outputClock = 0.0;
    smoothCarry = smoothStep = 0;
    sourceFramesRead = 0;
    haveFrame = videoEnded = audioEnded = false;
    carry.clear();
    carryPos = 0;
    resamplerFlushed = false;
    dump->SetWait(shortWait ? 1.0 : 90.0);
    if (!ApplyFit()) {
        // Without room for the fitted pictures the source is stretched as before.
        titleAspect = 0.0;
        ApplyFit();
    }
    if (graph) graph->Start(*dump, nullptr);
}

void CDirectShowAV::SetDisplayAspect(double aspect) { titleAspect = aspect > 0.0 ? aspect : 0.0; }

void CDirectShowAV::FitRegion(double sourceAspect, double aspect, int32_t width, int32_t height, bool fields,
                              int32_t& x, int32_t& y, int32_t& regionWidth, int32_t& regionHeight)
{
    regionWidth = width;
    regionHeight = height;
    if (sourceAspect > 0.0 && aspect > 0.0) {
        if (sourceAspect > aspect)
            regionHeight = int32_t(std::lround(height * aspect / sourceAspect));
        else
            regionWidth = int32_t(std::lround(width * sourceAspect / aspect));
    }
    // Even sizes; for interlaced pictures whole chroma lines in each field.
    const int32_t lineStep = fields ? 4 : 2;
    regionWidth = std::clamp((regionWidth + 1) & ~1, 2, width);
    regionHeight = std::clamp((regionHeight + lineStep / 2) / lineStep * lineStep, lineStep, height);
    x = ((width - regionWidth) / 2) & ~1;
    y = (height - regionHeight) / 2 / lineStep * lineStep;
}

bool CDirectShowAV::ApplyFit()
{
    if (!graph || !videoFound || isPhoto) return true;
    int32_t w = openWidth, h = openHeight;
    fitX = fitY = 0;
    if (titleAspect > 0.0)
        FitRegion(displayAspect, titleAspect, targetWidth, targetHeight, interlaced, fitX, fitY, w, h);
    fitted = titleAspect > 0.0;
    fitWidth = w;
    fitHeight = h;
    graph->SetOutputSize(w, h, interlaced);
    videoCode = graph->videoCode;
    sourceWidth = graph->width;
    sourceHeight = graph->height;
    sourceFrameBytes = RawFrameBytes(videoCode, sourceWidth, sourceHeight);
    sameSize = sourceWidth == targetWidth && sourceHeight == targetHeight;
    return current.Create((sourceHeight + 1) & ~1, (sourceWidth + 1) & ~1);
}

void CDirectShowAV::Stop()
{
    dump->Finish();
    if (graph) graph->Stop();
    if (recorder) {
        recorder->Stop();
        recorder.reset();
    }
}

bool CDirectShowAV::WaitForFirstSamples(double seconds)
{
    auto videoKnown = [this] { return !videoFound || dump->VideoFirstStart() >= 0; };
    auto audioKnown = [this] { return !audioFound || dump->AudioFirstStart() >= 0; };
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!(videoKnown() || dump->videoRing.IsFinished()) || !(audioKnown() || dump->audioRing.IsFinished())) {
        if (std::chrono::steady_clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return videoKnown() && audioKnown();
}

bool CDirectShowAV::ReadSourceFrame()
{
    frameBuffer.resize(static_cast<size_t>(sourceFrameBytes));
    int64_t length = 0;
    if (!dump->NextVideoSample(frameBuffer.data(), frameBuffer.size(), length)) return false;
    ++sourceFramesRead;
    // Pictures of a 30 frames/s source come at a steady pace: one that lasts longer
    // than 0.1 s is counted as one frame, and the rest is paid out over the next ones.
    if (sourceRate > 29.9 && sourceRate < 30.1) {
        if (length > 1000000) {
            smoothCarry += static_cast<int32_t>(length - 333666);
            smoothStep = smoothCarry / 12;
            length = 333666;
        } else if (smoothCarry > 0) {
            int32_t pay = std::min(std::max(smoothStep, 1), smoothCarry);
            length += pay;
            smoothCarry -= pay;
        }
    }
    sourceClock += static_cast<double>(length) / 1e7;
    haveFrame = true;
    return true;
}

bool CDirectShowAV::GetFrame(CYUV420Image& picture)
{
    if (picture.width != targetWidth || picture.height != targetHeight || !picture.planeY) {
        if (!picture.Create(targetHeight, targetWidth)) return false;
    }
    if (isPhoto) {
        PhotoFrame(picture);
        bool more = outputFrames < static_cast<int64_t>(std::llround(11.0 * targetRate));
        ++outputFrames;
        outputClock += targetPeriod;
        return more;
    }
    if (!videoFound) {
        picture.Clear();
        ++outputFrames;
        outputClock += targetPeriod;
        return false;
    }
    // Each output picture shows the source picture on screen at its middle, so that a
    // converted rate moves no picture by more than half an output period. Behind the
    // source: show the last picture again. Otherwise take pictures until the source is
    // ahead, so that a faster source drops the pictures the output has no room for.
    const double middle = outputClock + targetPeriod / 2;
    if (!haveFrame || middle >= sourceClock) {
        while (!videoEnded) {
            if (!ReadSourceFrame()) {
                videoEnded = true;
                break;
            }
            if (sourceClock > middle) break;
        }
    }
    if (haveFrame)
        ConvertSourceFrame(picture);
    else
        picture.Clear();
    // The source has ended once its last picture is over before this one starts.
    const bool ended = videoEnded && outputClock >= sourceClock;
    ++outputFrames;
    outputClock += targetPeriod;
    return !ended;
}

void CDirectShowAV::ConvertSourceFrame(CYUV420Image& picture)
{
    const uint8_t* raw = frameBuffer.data();
    const int w = sourceWidth, h = sourceHeight;
    CYUV420Image& into = sameSize ? picture : current;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (videoCode) {
    case kVideoIYUV:
    case kVideoYV12: {
        const uint8_t* y = raw;
        const uint8_t* first = raw + int64_t(w) * h;
        const uint8_t* second = first + int64_t(cw) * ch;
        const uint8_t* u = videoCode == kVideoIYUV ? first : second;
        const uint8_t* v = videoCode == kVideoIYUV ? second : first;
        // Odd sizes: the last line and column are repeated to reach the even picture.
        for (int row = 0; row < into.height; ++row) {
            uint8_t* dst = into.planeY + int64_t(row) * into.lumaStride;
            std::memcpy(dst, y + int64_t(std::min(row, h - 1)) * w, w);
            if (into.width > w) dst[w] = dst[w - 1];
        }
        const int icw = into.width / 2, ich = into.height / 2;
        for (int row = 0; row < ich; ++row) {
            int sr = std::min(row, ch - 1);
            std::memcpy(into.planeCb + int64_t(row) * into.chromaStride, u + int64_t(sr) * cw, std::min(cw, icw));
            std::memcpy(into.planeCr + int64_t(row) * into.chromaStride, v + int64_t(sr) * cw, std::min(cw, icw));
        }
        break;
    }
    case kVideoYUY2:
        into.FromYUY2(raw);
        break;
    case kVideoRGB32:
        into.FromBGRX(raw);
        break;
    default:
        into.Clear();
        break;
    }
    if (sameSize) return;
    if (fitted) {
        PlaceFitted(picture);
        return;
    }
    picture.Clear();
    CYUV420Image::FitPicture(picture, current);
}

void CDirectShowAV::PlaceFitted(CYUV420Image& picture)
{
    std::memset(picture.planeY, kBlackLuma, size_t(picture.lumaSize));
    std::memset(picture.planeCb, kBlackChroma, size_t(picture.chromaSize));
    std::memset(picture.planeCr, kBlackChroma, size_t(picture.chromaSize));
    const int w = std::min(current.width, picture.width - fitX);
    const int h = std::min(current.height, picture.height - fitY);
    for (int row = 0; row < h; ++row)
        std::memcpy(picture.planeY + int64_t(fitY + row) * picture.lumaStride + fitX,
                    current.planeY + int64_t(row) * current.lumaStride, size_t(w));
    for (int row = 0; row < h / 2; ++row) {
        const int64_t to = int64_t(fitY / 2 + row) * picture.chromaStride + fitX / 2;
        const int64_t from = int64_t(row) * current.chromaStride;
        std::memcpy(picture.planeCb + to, current.planeCb + from, size_t(w / 2));
        std::memcpy(picture.planeCr + to, current.planeCr + from, size_t(w / 2));
    }
}

void CDirectShowAV::PhotoFrame(CYUV420Image& picture)
{
    if (photoPicture.width != targetWidth || photoPicture.height != targetHeight) {
        if (!LoadPhotoPicture()) photoPicture.Create(targetHeight, targetWidth);
    }
    const double n = static_cast<double>(outputFrames);
    const double fade = 3.0 * targetRate;
    double k;
    if (n < fade)
        k = n / fade;  // fading in
    else if (n < 8.0 * targetRate)
        k = 1.0;  // shown
    else if (n < 11.0 * targetRate)
        k = (11.0 * targetRate - n) / fade;  // fading out
    else
        k = 0.0;  // black
    const int k256 = std::clamp(static_cast<int>(k * 256.0 + 0.5), 0, 256);
    FadeLuma(photoPicture.planeY, picture.planeY, static_cast<size_t>(picture.lumaSize), k256);
    FadeChroma(photoPicture.planeCb, picture.planeCb, static_cast<size_t>(picture.chromaSize), k256);
    FadeChroma(photoPicture.planeCr, picture.planeCr, static_cast<size_t>(picture.chromaSize), k256);
}

int32_t CDirectShowAV::ConvertChunk(const uint8_t* chunk, int32_t bytes)
{
    // Undecoded AC-3 and 48 kHz 16-bit stereo pass unchanged.
    if (audioKind == kAudioAc3 || (audioBits == 16 && audioChannels == 2 && audioRate >= 48000)) {
        outBuffer.assign(chunk, chunk + bytes);
        return bytes;
    }
    const int frameBytes = audioChannels * audioBits / 8;
    const size_t frames = static_cast<size_t>(bytes / frameBytes);
    stereoBuffer.resize(frames * 2);
    ExpandToStereo16(chunk, frames, audioChannels, audioBits, stereoBuffer.data());
    const int32_t stereoBytes = static_cast<int32_t>(frames * 4);
    if (audioRate >= 48000 || !resamplerOpen) {
        outBuffer.resize(static_cast<size_t>(stereoBytes));
        std::memcpy(outBuffer.data(), stereoBuffer.data(), outBuffer.size());
        return stereoBytes;
    }
    // Sized from the rates, so that sound at low rates never overruns the buffer.
    outBuffer.resize(static_cast<size_t>(resampler.MaxOutput(stereoBytes)));
    return resampler.Resample(stereoBytes, reinterpret_cast<const uint8_t*>(stereoBuffer.data()), outBuffer.data());
}

int32_t CDirectShowAV::ReadPcm(int32_t bytes, uint8_t* out)
{
    if (!audioFound || bytes <= 0 || !out) return 0;
    int32_t done = 0;
    while (done < bytes) {
        if (carryPos < carry.size()) {
            size_t n = std::min(carry.size() - carryPos, static_cast<size_t>(bytes - done));
            std::memcpy(out + done, carry.data() + carryPos, n);
            carryPos += n;
            done += static_cast<int32_t>(n);
            continue;
        }
        if (audioEnded) break;
        const size_t chunkBytes = audioRate == 44100 ? 44100 : 48000;
        chunkBuffer.resize(chunkBytes);
        size_t got = dump->ReadAudio(chunkBuffer.data(), chunkBytes);
        int32_t produced = 0;
        if (got == 0) {
            audioEnded = true;
            // The converter's last samples.
            if (resamplerOpen && !resamplerFlushed && audioKind == kAudioPcm && audioRate < 48000) {
                resamplerFlushed = true;
                outBuffer.resize(static_cast<size_t>(resampler.MaxOutput(0)));
                produced = resampler.Flush(outBuffer.data());
            }
        } else {
            const int frameBytes = audioKind == kAudioAc3 ? 1 : audioChannels * audioBits / 8;
            got -= got % static_cast<size_t>(frameBytes);
            produced = ConvertChunk(chunkBuffer.data(), static_cast<int32_t>(got));
        }
        carry.assign(outBuffer.begin(), outBuffer.begin() + std::max(produced, 0));
        carryPos = 0;
    }
    return done;
}

bool CDirectShowAV::OpenForPlayback(const std::string& file, std::function<void(int32_t)> notify)
{
    writeGraph = false;
    if (!Open(file, true)) {
        if (notify) notify(3);
        return false;
    }
    outputFrames = 0;
    sourceClock = outputClock = 0.0;
    smoothCarry = smoothStep = 0;
    haveFrame = videoEnded = audioEnded = false;
    carry.clear();
    carryPos = 0;
    dump->SetWait(shortWait ? 1.0 : 90.0);
    if (graph)
        graph->Start(*dump, std::move(notify));
    else if (notify)
        notify(1);
    return true;
}

double CDirectShowAV::GetAudioLength(const std::string& file)
{
    CMediaGraph probe;
    if (!probe.Open(file, "", false, true, true) || !probe.audioStreamPresent) return 0.0;
    int64_t length = probe.audioDuration > 0 ? probe.audioDuration : probe.duration;
    return length > 0 ? static_cast<double>(length) / 1e7 : 0.0;
}

bool CDirectShowAV::RecordMicrophone(const std::string& file)
{
    if (recorder) {
        recorder->Stop();
        recorder.reset();
    }
    auto mic = std::make_unique<CMicRecorder>();
    if (!mic->Start(file)) return false;
    recorder = std::move(mic);
    return true;
}
