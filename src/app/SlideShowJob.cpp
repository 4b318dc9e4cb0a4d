#include "app/SlideShowJob.h"

#include "app/SlideshowTitleBuilder.h"
#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/Texts.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/VideoSlide.h"
#include "platform/Folders.h"
#include "slideshow/PhotoSlideSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// A photo time as the job uses it: whole seconds from 0 to one day, so that a damaged
// project cannot give negative times or overflow the millisecond counts.
int32_t UsableSeconds(int seconds) { return std::clamp(seconds, 0, 24 * 3600); }

bool IsNone(const std::string& path)
{
    if (path.empty()) return true;
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower == "none";
}

// The slide-show title, remembering how far the encoder got.
class CJobTitleBuilder : public CSlideshowTitleBuilder {
public:
    CJobTitleBuilder(CPhotoSlideSource& show, const CDVDParams& params, int totalSeconds, CUiPort& ui,
                     SMuxRunContext& run)
        : CSlideshowTitleBuilder(show, params, double(totalSeconds), ui, run)
    {}

    bool cancelled = false;
    int64_t framesCoded = 0;

protected:
    std::unique_ptr<CDVDMplex> MakeMultiplexer() override
    {
        auto made = CSlideshowTitleBuilder::MakeMultiplexer();
        mplex = made.get();
        return made;
    }

    void AfterRun() override
    {
        if (!mplex) return;
        if (auto* video = dynamic_cast<CVideoSlide*>(mplex->Video())) {
            cancelled = video->Encoder().Cancelled();
            framesCoded = video->Encoder().FramesCoded();
        }
    }

private:
    CDVDMplex* mplex = nullptr;
};

}  // namespace

std::string CSlideShowJob::VobName(const std::string& folder, int titleSet, int part)
{
    return folder + VtsFileName(titleSet, part, "VOB");
}

std::string CSlideShowJob::IfoName(const std::string& folder, int titleSet)
{
    return folder + VtsFileName(titleSet, 0, "IFO");
}

std::string CSlideShowJob::BupName(const std::string& folder, int titleSet)
{
    return folder + VtsFileName(titleSet, 0, "BUP");
}

std::vector<CSlideShowJob::CellSpan> CSlideShowJob::CellPlan(int totalSeconds)
{
    std::vector<CellSpan> cells;
    for (const SCellSpan& span : SlideshowCellPlan(totalSeconds)) cells.push_back({int(span.start), int(span.end)});
    return cells;
}

void CSlideShowJob::CapBitRate(CDVDParams& p)
{
    if (p.videoBitRate > maxSlideShowBitRate) p.videoBitRate = maxSlideShowBitRate;
}

int32_t CSlideShowJob::ShowSeconds(const CAlbum& album)
{
    int64_t total = 0;
    const size_t used = std::min(album.photos.size(), CAlbum::maxPhotos);
    for (size_t i = 0; i < used; ++i)
        total += int64_t(UsableSeconds(album.photos[i].showSeconds)) + UsableSeconds(album.photos[i].transitionSeconds);
    return int32_t(std::clamp<int64_t>(total, 0, INT32_MAX));
}

void CSlideShowJob::PrepareParams()
{
    params = CDVDParams();
    params.titleCount = 1;
    params.totalSeconds = params.titleSeconds[0] = ShowSeconds(album);
    params.titleAudioType[0] = compressAudio ? 1 : 2;
    ApplyVideoFormat(resolution, wide, pal, params);
    params.compressAudio = compressAudio ? 1 : 0;
    params.discSizeText = discSizeText;
    params.intraMatrixText = intraMatrixText;
    params.interMatrixText = interMatrixText;
    FitBitRate(params);
    CapBitRate(params);
    if (fixedVideoBitRate > 0) params.videoBitRate = fixedVideoBitRate;
    params.outputFolder = CFolders::WithSlash(dvdFolder);
    params.jobName = Text(4018);
}

bool CSlideShowJob::CheckEarlierTitleSets()
{
    // VIDEO_TS.IFO lists the title sets from VTS_01 up to the first one missing, so a
    // title set written after a gap could never be played.
    const std::string folder = CFolders::WithSlash(dvdFolder);
    for (int n = 1; n < startingFootage; ++n) {
        const std::string ifo = IfoName(folder, n);
        std::error_code ec;
        if (!std::filesystem::exists(ifo, ec)) {
            error = "Title set " + std::to_string(startingFootage) + " needs title set " + std::to_string(n) +
                " first: " + ifo + " is missing.";
            ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    return true;
}

bool CSlideShowJob::AskToReplace()
{
    const std::string folder = CFolders::WithSlash(dvdFolder);
    if (!OpenFile(folder + kVideoTsIfo, "rb")) return true;  // no DVD there to replace
    const std::string text = FormatText(Text(428), {folder}) + Text(429);
    if (ui.MessageBox(text, Text(422), MsgButtons::YesNo, MsgIcon::Warning) == MsgAnswer::Yes) return true;
    error = "The DVD in " + folder + " was kept.";
    return false;
}

bool CSlideShowJob::MakeFolders(bool checkOnly)
{
    // The VIDEO_TS folder and (unless only checking) an empty AUDIO_TS beside it when
    // the folder is named VIDEO_TS. A failure shows up in the write check that follows,
    // naming the first file.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path videoTs = fs::path(CFolders::WithSlash(dvdFolder)).parent_path();
    fs::create_directories(videoTs, ec);
    if (ec) return false;
    if (!checkOnly && videoTs.filename() == "VIDEO_TS") fs::create_directories(videoTs.parent_path() / "AUDIO_TS", ec);
    return true;
}

bool CSlideShowJob::CheckWritable()
{
    // Every file the job writes first must be creatable. Files that exist are opened
    // for writing without being truncated, and files made only for the check are
    // removed again, so a failed check leaves the folder exactly as it was.
    const std::string folder = CFolders::WithSlash(dvdFolder);
    const std::string files[] = {folder + kVideoTsIfo, folder + kVideoTsBup, VobName(folder, startingFootage, 1),
                                 IfoName(folder, startingFootage), BupName(folder, startingFootage)};
    std::vector<std::string> made;
    bool ok = true;
    std::string failedFile;
    for (const std::string& file : files) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) made.push_back(file);
        }
        if (fd < 0) {
            ok = false;
            failedFile = file;
            break;
        }
        ::close(fd);
    }
    for (const std::string& file : made) std::remove(file.c_str());
    if (!ok) {
        const std::string text = FormatText(Text(430), {failedFile}) + Text(431);
        error = "Unable to write file: " + failedFile;
        ui.MessageBox(text, Text(422), MsgButtons::Ok, MsgIcon::Warning);
    }
    return ok;
}

void CSlideShowJob::ClearFolder()
{
    const std::string folder = CFolders::WithSlash(dvdFolder);
    for (int n = startingFootage; n <= maxTitleSetNumber; ++n) {
        for (int k = 0; k <= 9; ++k) std::remove(VobName(folder, n, k).c_str());
        std::remove(IfoName(folder, n).c_str());
        std::remove(BupName(folder, n).c_str());
    }
    std::remove((folder + kVideoTsBup).c_str());
    std::remove((folder + kVideoTsIfo).c_str());
    std::remove((folder + kVideoTsVob).c_str());
}

std::unique_ptr<CPhotoSlideSource> CSlideShowJob::BuildShow()
{
    auto show = std::make_unique<CPhotoSlideSource>();
    if (!show->Init(params.width, params.height, params.frameRate)) {
        error = "The slide-show renderer could not be set up for " + std::to_string(params.width) + " x " +
            std::to_string(params.height) + " pictures.";
        return nullptr;
    }
    const size_t used = std::min(album.photos.size(), CAlbum::maxPhotos);
    for (size_t i = 0; i < used; ++i) {
        const CAlbumPhoto& photo = album.photos[i];
        show->AddPhoto(photo.transitionType, photo.photoPath, UsableSeconds(photo.showSeconds) * 1000,
                       UsableSeconds(photo.transitionSeconds) * 1000, photo.panZoomType);
    }
    for (size_t i = 0; i < used; ++i)
        if (!IsNone(album.photos[i].narrationPath)) show->AddPhotoClip(album.photos[i].narrationPath, int32_t(i));
    for (const CAlbumMusic& music : album.music) show->AddBackgroundMusic(music.path);
    show->BuildAudioTimeline();
    show->Audio().compressAudio = params.compressAudio != 0;
    return show;
}

CSlideShowJob::Result CSlideShowJob::RunSlideShowJob()
{
    framesCoded = framesPlanned = 0;
    if (album.photos.empty()) {
        error = "No photo is in the list.";
        ui.MessageBox(Text(4302), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::EmptyAlbum;
    }

    std::unique_ptr<CPhotoSlideSource> show = BuildShow();
    if (!show) {
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return Result::Failed;
    }
    framesPlanned = show->FrameCount();

    SMuxRunContext muxRun;  // the job's multiplexer state, shared by its titles
    CJobTitleBuilder builder(*show, params, params.totalSeconds, ui, muxRun);
    const bool built = builder.Build(startingFootage - 1, params.outputFolder);
    framesCoded = builder.framesCoded;
    if (!built) {
        error = builder.Error();
        return Result::Failed;
    }
    return builder.cancelled ? Result::Cancelled : Result::Done;
}

void CSlideShowJob::Finish()
{
    if (!soundFolder.empty()) {
        const std::string sound = CFolders::WithSlash(soundFolder) + "done.wav";
        std::error_code ec;
        if (std::filesystem::exists(sound, ec)) ui.PlaySoundFile(sound);
    }
    const std::string text = Text(424) + Text(425) + Text(426) + Text(427);
    if (ui.MessageBox(text, Text(423), MsgButtons::YesNo, MsgIcon::Information) == MsgAnswer::Yes && openBurnWindow)
        openBurnWindow(CFolders::WithSlash(dvdFolder));
}

CSlideShowJob::Result CSlideShowJob::CreateDvd()
{
    error.clear();
    framesCoded = framesPlanned = 0;
    if (dvdFolder.empty()) dvdFolder = CFolders::DefaultDvdFolder();
    dvdFolder = CFolders::WithSlash(dvdFolder);
    if (startingFootage < 1 || startingFootage > maxTitleSetNumber) startingFootage = 1;

    // An empty album would clear the folder and then make nothing: refuse it first.
    if (album.photos.empty()) return RunSlideShowJob();
    if (!CheckEarlierTitleSets()) return Result::Refused;
    if (!AskToReplace()) return Result::Declined;
    MakeFolders(true);
    if (!CheckWritable()) return Result::NotWritable;
    MakeFolders(false);
    ClearFolder();

    PrepareParams();
    const Result result = RunSlideShowJob();
    // The sound and the question follow every run that left a playable title set,
    // a cancelled one included.
    if (result == Result::Done || result == Result::Cancelled) Finish();
    return result;
}
