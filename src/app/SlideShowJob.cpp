#include "app/SlideShowJob.h"

#include "app/DvdFolderJob.h"
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
    params.highQuality = highQuality ? 1 : 0;
    if (CDebugger* log = ownLog ? ownLog.get() : CDebugger::Active(); log && highQuality)
        log->WriteVideoQuality("high");
    FitBitRate(params);
    CapBitRate(params);
    if (fixedVideoBitRate > 0) params.videoBitRate = fixedVideoBitRate;
    params.outputFolder = CFolders::WithSlash(dvdFolder);
    params.jobName = Text(4018);
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
    return BuildSource(album, params.width, params.height, params.frameRate, params.compressAudio != 0, error);
}

std::unique_ptr<CPhotoSlideSource> CSlideShowJob::BuildSource(const CAlbum& album, int width, int height,
                                                              double frameRate, bool compressAudio, std::string& error)
{
    auto show = std::make_unique<CPhotoSlideSource>();
    if (!show->Init(width, height, frameRate)) {
        error = "The slide-show renderer could not be set up for " + std::to_string(width) + " x " +
            std::to_string(height) + " pictures.";
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
    show->Audio().compressAudio = compressAudio;
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
    CSlideshowTitleBuilder builder(*show, params, params.totalSeconds, ui, muxRun);
    const bool built = builder.Build(startingFootage - 1, params.outputFolder);
    framesCoded = builder.FramesCoded();
    if (!built) {
        error = builder.Error();
        return Result::Failed;
    }
    return builder.Cancelled() ? Result::Cancelled : Result::Done;
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
    CDvdFolderJob folderJob(ui, dvdFolder, startingFootage, startingFootage);
    const CDvdFolderJob::EPrepared prepared = folderJob.Prepare(InputFiles());
    if (prepared != CDvdFolderJob::EPrepared::Ready) {
        error = folderJob.Error();
        return CDvdFolderJob::Refusal<Result>(prepared);
    }

    // The title set is made in the new version of the folder, which takes the old one's
    // place only once it is complete (params were prepared for the disc-size check).
    params.outputFolder = folderJob.WorkFolder();
    Result result = RunSlideShowJob();
    params.outputFolder = dvdFolder;
    const bool keep = result == Result::Done || result == Result::Cancelled;
    if (!folderJob.Conclude(keep, error) && keep) result = Result::Failed;
    // The sound and the question follow every run that left a playable title set,
    // a cancelled one included.
    if (result == Result::Done || result == Result::Cancelled) folderJob.Finish(soundFolder, openBurnWindow);
    return result;
}
