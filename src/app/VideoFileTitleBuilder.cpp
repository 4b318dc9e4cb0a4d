#include "app/VideoFileTitleBuilder.h"

#include "app/SlideshowTitleBuilder.h"
#include "audio/AudioDshow.h"
#include "base/DVDParams.h"
#include "base/Texts.h"
#include "base/UiPort.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "dvd/SubTitle.h"
#include "media/DirectShowAV.h"
#include "media/SubtitleStream.h"
#include "mpeg2enc/VideoDshow.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// Below this many lines a picture is too small for its two fields to mean anything:
// such titles are coded progressive.
constexpr int kInterlacedMinLines = 400;

}  // namespace

CVideoFileTitleBuilder::CVideoFileTitleBuilder(const std::string& path_, double start, double end,
                                               const CDVDParams& params_, CUiPort& ui, SMuxRunContext& run)
    : CTitleBuilder(ui, run), path(path_), startSeconds(std::max(0.0, start)), endSeconds(end), params(params_)
{}

CVideoFileTitleBuilder::~CVideoFileTitleBuilder() = default;

std::unique_ptr<CDVDMplex> CVideoFileTitleBuilder::MakeMultiplexer()
{
    auto made = CTitleBuilder::MakeMultiplexer();
    mplex = made.get();
    return made;
}

bool CVideoFileTitleBuilder::OpenSubtitleSource(const std::string& path, bool ntsc, int64_t offset, CSubTitle& subtitle)
{
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* ending : {".srt", ".txt", ".vtt", ".ass", ".ssa", ".sub"}) {
        const size_t n = std::char_traits<char>::length(ending);
        if (lower.size() > n && lower.compare(lower.size() - n, n, ending) == 0)
            return subtitle.Open(path, ntsc, offset);
    }
    CSubtitleStream stream;
    if (!stream.Open(path)) {
        subtitle.OpenUnits({}, path, offset);
        subtitle.SetError(stream.Error());
        return false;
    }
    if (stream.IsBitmap()) {
        std::vector<CSubTitle::SReadyUnit> units;
        for (const CSubtitleStream::SUnit& u : stream.Units()) units.push_back({u.start, u.bytes});
        return subtitle.OpenUnits(std::move(units), path, offset);
    }
    std::vector<CSubText::SCue> cues;
    for (const CSubtitleStream::SUnit& u : stream.Units()) cues.push_back({u.start, u.duration, u.lines});
    return subtitle.OpenCues(cues, path, ntsc, offset);
}

// Opens the row's subtitle file, if it has one. Returns false only when the title
// cannot be made as asked (no font to draw its text).
bool CVideoFileTitleBuilder::OpenSubtitle()
{
    subtitle.reset();
    if (subtitleFile.empty()) return true;
    auto opened = std::make_unique<CSubTitle>();
    // The title starts at the range's start: so do its subtitles.
    const int64_t offset = -int64_t(std::llround(startSeconds * 90000.0));
    if (OpenSubtitleSource(subtitleFile, params.frameRateCode != 3, offset, *opened)) {
        subtitle = std::move(opened);
        return true;
    }
    if (opened->FontFailed()) {
        UiPort().MessageBox(opened->Error(), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    UiPort().MessageBox(opened->Error() + " - the title is made without subtitles.", "Kestrova", MsgButtons::Ok,
                        MsgIcon::Warning);
    return true;
}

bool CVideoFileTitleBuilder::OpenSources(CDVDMplex& target)
{
    if (!OpenSubtitle()) return false;
    media = std::make_unique<CDirectShowAV>();
    media->wantVideo = media->wantAudio = true;
    // The title's own message says what went wrong; a file without sound is not one.
    if (!media->Open(path, true) || !media->videoFound) {
        std::string text = FormatText(Text(3200), {path});
        if (!media->Refusal().empty()) text += " (" + media->Refusal() + ")";
        UiPort().MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    media->SetTarget(params.width, params.height, params.frameRate);
    media->SetRange(startSeconds, endSeconds > startSeconds ? endSeconds : -1.0);

    auto ownedVideo = std::make_unique<CVideoDshow>(media.get());
    auto ownedAudio = std::make_unique<CAudioDshow>(media.get(), params.compressAudio != 0);
    video = ownedVideo.get();
    CAudioDshow* audio = ownedAudio.get();
    target.SetSources(std::move(ownedVideo), std::move(ownedAudio));

    video->SetProgressOffset(int32_t(startSeconds));
    video->SetFlipVertical(params.flipVertical != 0);
    if (media->isVob && media->sourceWide >= 0) video->SetWideScreen(media->sourceWide == 1);
    if (!video->InitFromSettings(params)) return false;
    if (!video->Start(nullptr, 0, 0)) return false;
    wideScreen = video->IsWideScreen();
    framesPlanned = video->Encoder().TotalFrames();
    // The picture keeps its shape inside the title's frame, bars around it.
    media->SetDisplayAspect(wideScreen ? 16.0 / 9.0 : 4.0 / 3.0);
    video->SetFieldOrder(media->interlaced && params.height >= kInterlacedMinLines, media->topFieldFirst);

    // Every title has sound as long as its pictures: silence when the file has none.
    audio->SetMinimumPcmBytes(int64_t(double(framesPlanned) / params.frameRate * 48000.0) * 4);
    media->Run();
    if (!audio->Start(0, 0, 1, 0)) return false;
    CSlideshowTitleBuilder::NoteAudioModel(*audio);
    return true;
}

std::vector<SCellSpan> CVideoFileTitleBuilder::CellsForRange(const std::vector<double>& programStarts, double begin,
                                                             double end)
{
    if (programStarts.empty()) return VideoFileCellPlan(begin, end);
    // Chapters closer than a second to the range's start or to each other add nothing
    // a viewer could use.
    std::vector<double> starts{0.0};
    for (double s : programStarts) {
        const double t = s - begin;
        if (t < 1.0 || (end > begin && s >= end)) continue;
        if (t - starts.back() >= 1.0) starts.push_back(t);
    }
    std::vector<SCellSpan> cells;
    for (size_t i = 0; i + 1 < starts.size() && int(cells.size()) < kMaxPlannedCells - 1; ++i)
        cells.push_back({starts[i], starts[i + 1]});
    cells.push_back({cells.empty() ? 0.0 : cells.back().end, -1});
    return cells;
}

void CVideoFileTitleBuilder::PlanCells(CDVDMplex& target)
{
    const double end = endSeconds > startSeconds ? endSeconds
        : media && media->duration > 0           ? startSeconds + double(media->duration) / 1e7
                                                 : startSeconds;
    const std::vector<double> none;
    target.AddCells(CellsForRange(media && media->isVob ? media->sourceProgramStarts : none, startSeconds, end));
}

void CVideoFileTitleBuilder::PrepareMultiplexer(CDVDMplex& target)
{
    // Delays move the sound or the pictures later. A negative delay cannot move a stream
    // before the start of the disc's clock: the other stream is moved later instead.
    const double baseVideo = target.videoTimeOffset, baseAudio = target.audioTimeOffset;
    // The first picture is shown one picture period after its decoding time, which is
    // where the video's times start: the sound starts with that first picture.
    target.audioTimeOffset += 90000.0 / params.frameRate;
    target.videoTimeOffset += params.videoDelay * 90000.0;
    target.audioTimeOffset += params.audioDelay * 90000.0;
    const double deficit = std::max({0.0, baseVideo - target.videoTimeOffset, baseAudio - target.audioTimeOffset});
    target.videoTimeOffset += deficit;
    target.audioTimeOffset += deficit;
    if (subtitle) {
        target.SetSubPictureSource(subtitle.get());
        subtitle->PgcColours(target.colours);  // a VobSub palette replaces the default colours
    }
}

void CVideoFileTitleBuilder::AfterRun()
{
    if (video) {
        cancelled = video->Encoder().Cancelled();
        framesCoded = video->Encoder().FramesCoded();
    }
    // The decoding thread ends before the IFO files are written.
    if (media) media->Stop();
}
