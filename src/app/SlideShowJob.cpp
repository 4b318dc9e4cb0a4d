#include "app/SlideShowJob.h"

#include "app/DvdFolderUpdate.h"
#include "app/SlideshowTitleBuilder.h"
#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/FileIdentity.h"
#include "base/InputFile.h"
#include "base/Texts.h"
#include "diag/Debugger.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/VideoSlide.h"
#include "picture/ImageFile.h"
#include "platform/Folders.h"
#include "slideshow/PhotoSlideSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        // The kept title set's IFO is copied into the new version of the folder: it must
        // be a file that can be read.
        if (!OpenInputFile(ifo, error)) {
            ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    return true;
}

bool CSlideShowJob::AskToReplace()
{
    const std::string folder = CFolders::WithSlash(dvdFolder);
    if (!IsReadableRegularFile(folder + kVideoTsIfo)) return true;  // no DVD there to replace
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

bool CSlideShowJob::CheckInputs(const CDvdFolderUpdate& update)
{
    // The files the new DVD replaces must not be any of the show's own.
    const std::vector<std::string> inputs = InputFiles();
    for (const std::string& replaced : update.ReplacedFiles()) {
        const std::string input = FindSameFile(replaced, inputs);
        if (input.empty()) continue;
        error = input + " is " + replaced + ", which the new DVD replaces; move it out of the folder first.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    return true;
}

void CSlideShowJob::ReportNotWritable(const std::string& file, const std::string& reason)
{
    error = file + ": cannot write (" + reason + ")";
    const std::string text = FormatText(Text(430), {file + " (" + reason + ")"}) + Text(431);
    ui.MessageBox(text, Text(422), MsgButtons::Ok, MsgIcon::Warning);
}

bool CSlideShowJob::CheckWritable(CDvdFolderUpdate& update, bool locked)
{
    // Every file the job writes first must be creatable in the new version of the
    // folder, and no name it replaces may be taken by a folder of the person's. Only
    // the new version is touched, so a failed check leaves the folder as it was.
    const std::string folder = CFolders::WithSlash(dvdFolder);
    const std::string files[] = {folder + kVideoTsIfo, folder + kVideoTsBup, VobName(folder, startingFootage, 1),
                                 IfoName(folder, startingFootage), BupName(folder, startingFootage)};
    if (!locked) {
        ReportNotWritable(files[0], update.LockReason());
        return false;
    }
    for (const std::string& file : files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            ReportNotWritable(file, S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
            return false;
        }
    }
    std::string reason;
    if (!update.Begin(reason)) {
        ReportNotWritable(files[0], reason);
        return false;
    }
    for (const std::string& file : files) {
        const std::string probe = update.WorkFolder() + std::filesystem::path(file).filename().string();
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            ReportNotWritable(file, std::strerror(errno));
            update.Abandon();
            return false;
        }
        ::close(fd);
        std::remove(probe.c_str());
    }
    return true;
}

std::vector<std::string> CSlideShowJob::InputFiles() const
{
    std::vector<std::string> inputs;
    if (!projectFile.empty()) inputs.push_back(projectFile);
    const size_t used = std::min(album.photos.size(), CAlbum::maxPhotos);
    for (size_t i = 0; i < used; ++i) {
        inputs.push_back(album.photos[i].photoPath);
        if (!IsNone(album.photos[i].narrationPath)) inputs.push_back(album.photos[i].narrationPath);
    }
    for (const CAlbumMusic& music : album.music) inputs.push_back(music.path);
    return inputs;
}

std::string CSlideShowJob::InputAt(const std::string& output) const { return FindSameFile(output, InputFiles()); }

void CSlideShowJob::OpenLog()
{
    if (!ownLog && !CDebugger::Active()) ownLog = std::make_shared<CDebugger>();
}

bool CSlideShowJob::AlbumIsEmpty(const CAlbum& album)
{
    return std::all_of(album.photos.begin(), album.photos.end(),
                       [](const CAlbumPhoto& photo) { return photo.photoPath.empty(); });
}

bool CSlideShowJob::CheckShowFits()
{
    auto videoRate = [this](double discBytes) {
        CDVDParams fitted = params;
        fitted.discSizeText = std::to_string(int64_t(discBytes));
        FitBitRate(fitted);
        return fitted.videoBitRate;
    };
    const double disc = double(std::strtoll(params.discSizeText.c_str(), nullptr, 10));
    const double rate = videoRate(disc);
    if (rate >= minSlideShowBitRate) return true;
    // The smallest disc that gives the show the least rate, by halving the interval.
    double small = std::max(disc, 0.0), large = 1e16;
    for (int step = 0; step < 80 && large - small > 1e6; ++step) {
        const double middle = (small + large) / 2;
        (videoRate(middle) >= minSlideShowBitRate ? large : small) = middle;
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "The show (%s) does not fit the disc size of %s bytes: it would get %.0f bit/s of video and needs "
                  "at least %.0f bit/s, which takes a disc of about %.1f GB. Shorten the show or give a larger disc "
                  "size.",
                  FormatSeconds(params.totalSeconds).c_str(), params.discSizeText.c_str(), std::max(rate, 0.0),
                  minSlideShowBitRate, std::ceil(large / 1e8) / 10);
    error = text;
    return false;
}

std::vector<std::string> CSlideShowJob::ReportAlbum()
{
    std::vector<std::string> lines;
    photosShownBlack = photosLeftOut = 0;
    if (album.photos.size() > CAlbum::maxPhotos) {
        photosLeftOut = int(album.photos.size() - CAlbum::maxPhotos);
        lines.push_back("the album has " + std::to_string(album.photos.size()) + " photos; a show holds at most " +
                        std::to_string(CAlbum::maxPhotos) + ", so the last " + std::to_string(photosLeftOut) +
                        " are left out");
    }
    const size_t used = std::min(album.photos.size(), CAlbum::maxPhotos);
    for (size_t i = 0; i < used; ++i) {
        const std::string& path = album.photos[i].photoPath;
        std::string why;
        CRgbImage decoded;
        if (path.empty())
            why = "no file is named";
        else if (CImageFile::Decode(path, decoded, why, params.width, params.height))
            continue;
        ++photosShownBlack;
        lines.push_back("photo " + std::to_string(i + 1) + ": " + why + "; shown black");
    }
    for (const std::string& line : lines) {
        if (CDebugger* log = ownLog ? ownLog.get() : CDebugger::Active()) log->WriteJobNote(line);
        if (onNote) onNote(line);
    }
    return lines;
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
    if (AlbumIsEmpty(album)) {
        error = "No photo is in the list.";
        ui.MessageBox(Text(4302), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::EmptyAlbum;
    }
    ReportAlbum();

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

    // An empty album would replace the folder with nothing, and a show too long
    // for the disc would encode for hours in vain: refuse them first.
    if (AlbumIsEmpty(album)) return RunSlideShowJob();
    PrepareParams();
    if (!CheckShowFits()) {
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::TooLong;
    }
    CDvdFolderUpdate update(dvdFolder, startingFootage);
    const COutputLock::EResult lock = update.Lock();
    if (lock == COutputLock::EResult::Busy) {
        error = update.Error();
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::Busy;
    }
    if (!CheckEarlierTitleSets()) return Result::Refused;
    const bool hadDvd = IsReadableRegularFile(dvdFolder + kVideoTsIfo);
    if (!AskToReplace()) return Result::Declined;
    if (!CheckInputs(update)) return Result::Refused;
    if (!CheckWritable(update, lock == COutputLock::EResult::Locked)) return Result::NotWritable;

    // The title set is made in the new version of the folder, which takes the old one's
    // place only once it is complete (params were prepared for the disc-size check).
    params.outputFolder = update.WorkFolder();
    Result result = RunSlideShowJob();
    params.outputFolder = dvdFolder;
    if (result == Result::Done || result == Result::Cancelled) {
        std::string swapError;
        if (update.Commit(swapError)) {
            MakeFolders(false);
        } else {
            error = swapError;
            ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
            result = Result::Failed;
        }
    } else {
        update.Abandon();
        if (hadDvd) error += std::string(error.empty() ? "" : " ") + "The DVD already in " + dvdFolder + " was kept.";
    }
    update.Unlock();
    // The sound and the question follow every run that left a playable title set,
    // a cancelled one included.
    if (result == Result::Done || result == Result::Cancelled) Finish();
    return result;
}
