#include "app/VideoDVDJob.h"

#include "app/DvdFolderJob.h"
#include "app/MediaProbe.h"
#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "app/SlideshowTitleBuilder.h"
#include "app/VideoFileTitleBuilder.h"
#include "base/Album.h"
#include "base/Texts.h"
#include "diag/Debugger.h"
#include "dvd/CellPlan.h"
#include "dvd/MuxRunContext.h"
#include "dvd/SubTitle.h"
#include "platform/Folders.h"
#include "slideshow/PhotoSlideSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string Lower(std::string s)
{
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void CVideoDVDJob::OpenLog()
{
    if (!ownLog && !CDebugger::Active()) ownLog = std::make_shared<CDebugger>();
}

bool CVideoDVDJob::AddMedia(const std::string& path)
{
    if (CDebugger* log = CDebugger::Active()) log->WriteVideoFile(path);
    if (int(rows.size()) >= maxRows) return false;
    CMediaProbe::SFacts facts;
    std::string refusal;
    if (!CMediaProbe::Probe(path, facts, refusal)) {
        error = refusal;
        ui.MessageBox(refusal, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    SRow row;
    row.path = path;
    row.isProject = facts.isProject;
    row.duration = facts.exactSeconds > 0 ? facts.exactSeconds : double(facts.seconds);
    row.audioType = facts.audioType;
    row.start = 0;
    row.end = row.duration;
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", facts.fileWidth, facts.fileHeight);
    row.size = facts.isProject ? " " : size;
    rows.push_back(row);
    return true;
}

bool CVideoDVDJob::AddSubtitle(const std::string& path)
{
    if (int(subtitles.size()) >= maxRows) return false;
    subtitles.push_back(path);
    return true;
}

bool CVideoDVDJob::SetRowSubtitle(int index, const std::string& path)
{
    if (index < 0 || index >= maxRows) return false;
    CSubTitle check;
    if (!CVideoFileTitleBuilder::OpenSubtitleSource(path, !pal, 0, check)) {
        error = check.Error();
        return false;
    }
    if (int(subtitles.size()) <= index) subtitles.resize(size_t(index) + 1);
    subtitles[size_t(index)] = path;
    return true;
}

void CVideoDVDJob::RemoveRows(std::vector<int> indices)
{
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        if (*it < 0 || *it >= int(rows.size())) continue;
        rows.erase(rows.begin() + *it);
        if (*it < int(subtitles.size())) subtitles.erase(subtitles.begin() + *it);
    }
    TrimSubtitles();
}

int CVideoDVDJob::MoveRows(std::vector<int> indices, int insertAt)
{
    const int count = int(rows.size());
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    indices.erase(std::remove_if(indices.begin(), indices.end(), [&](int i) { return i < 0 || i >= count; }),
                  indices.end());
    if (indices.empty()) return -1;
    insertAt = std::clamp(insertAt, 0, count);
    // The new order: the rows not moved, with the moved ones put in before the first
    // row not moved at or after insertAt.
    std::vector<int> order;
    int first = -1;
    for (int i = 0; i <= count; ++i) {
        if (i == insertAt) {
            first = int(order.size());
            order.insert(order.end(), indices.begin(), indices.end());
        }
        if (i < count && !std::binary_search(indices.begin(), indices.end(), i)) order.push_back(i);
    }
    if (int(subtitles.size()) < count) subtitles.resize(size_t(count));
    std::vector<SRow> newRows;
    std::vector<std::string> newSubtitles;
    for (int i : order) {
        newRows.push_back(std::move(rows[size_t(i)]));
        newSubtitles.push_back(std::move(subtitles[size_t(i)]));
    }
    rows = std::move(newRows);
    subtitles = std::move(newSubtitles);
    TrimSubtitles();
    return first;
}

void CVideoDVDJob::RemoveSubtitles(std::vector<int> indices)
{
    for (int index : indices)
        if (index >= 0 && index < int(subtitles.size())) subtitles[size_t(index)].clear();
    TrimSubtitles();
}

void CVideoDVDJob::TrimSubtitles()
{
    while (!subtitles.empty() && subtitles.back().empty()) subtitles.pop_back();
}

std::string CVideoDVDJob::OfferAssociatedSubtitle(int index)
{
    if (index < 0 || index >= int(rows.size())) return {};
    const std::string subtitle = AssociatedSubtitle(rows[size_t(index)].path);
    if (subtitle.empty()) return {};
    if (ui.MessageBox(Text(3221) + "\n" + subtitle, Text(3220), MsgButtons::YesNo, MsgIcon::Information) !=
        MsgAnswer::Yes)
        return {};
    if (SetRowSubtitle(index, subtitle)) return subtitle;
    ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    return {};
}

void CVideoDVDJob::SetRange(int index, double start, double end)
{
    if (index < 0 || index >= int(rows.size())) return;
    if (end <= 0) end = 1;
    if (start >= end) start = end - 1;
    rows[size_t(index)].start = std::max(0.0, start);
    rows[size_t(index)].end = end;
}

void CVideoDVDJob::SetShownRange(int index, int64_t start, int64_t end)
{
    if (index < 0 || index >= int(rows.size())) return;
    const SRow& row = rows[size_t(index)];
    const double exactStart = start == int64_t(row.start) ? row.start : double(start);
    const double exactEnd = end == int64_t(row.end) ? row.end : double(end);
    SetRange(index, exactStart, exactEnd);
}

const std::vector<CVideoDVDJob::SFilterGroup>& CVideoDVDJob::MediaFilterGroups()
{
    static const std::vector<SFilterGroup> groups = {
        {3301,
         "*.avi;*.asf;*.wmv;*.mpg;*.m2v;*.m1v;*.mpv;*.rm;*.rmvb;*.mov;*.mpeg;*.vob;*.avs;*.dat;*.mp3;*.wav;*.ra;"
         "*.rmj;*.rmx;*.wma;*.mp2;*.mpa;*.ogg;*.ogm;*.snd;*.au;*.aiff;*.aif;*.jpg;*.bmp;*.osh;VIDEO_TS.IFO;"
         "VTS_*.IFO;*.dvr-ms"},
        {3302, "*.avi;*.asf;*.wmv;*.dvr-ms"},
        {3303, "*.vob;VIDEO_TS.IFO;VTS_*.IFO"},
        {3304, "*.osh"},
        {3305, "*.dat"},
        {3306, "*.mpg;*.mpeg;*.mpv;*.m1v;*.m2v"},
        {3307, "*.rm;*.rmvb"},
        {3308, "*.mov"},
        {3309, "*.avs"},
        {3310, "*.mp3;*.wav;*.ra;*.rmj;*.rmx;*.wma;*.mp2;*.mpa;*.ogg;*.ogm;*.snd;*.au;*.aiff;*.aif"},
        {3311, "*.jpg;*.bmp"},
        {3312, "*"},
    };
    return groups;
}

double CVideoDVDJob::TotalSeconds() const
{
    double total = 0;
    for (const SRow& row : rows) total += row.Seconds();
    return total;
}

std::string CVideoDVDJob::TimeText(double seconds)
{
    const int64_t s = seconds > 0 ? int64_t(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return text;
}

int64_t CVideoDVDJob::ParseTimeText(const std::string& text)
{
    auto digits = [&](size_t at) -> int {
        if (at + 1 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
            !std::isdigit(static_cast<unsigned char>(text[at + 1])))
            return -1;
        return (text[at] - '0') * 10 + (text[at + 1] - '0');
    };
    const int h = digits(0), m = digits(3), s = digits(6);
    if (h < 0 || m < 0 || s < 0 || text[2] != ':' || text[5] != ':') return -1;
    return int64_t(h) * 3600 + m * 60 + s;
}

double CVideoDVDJob::ParseTime(const std::string& text)
{
    if (text.empty()) return -1;
    // Seconds, or up to three fields separated by ':' (the last may have decimals).
    double total = 0;
    size_t at = 0;
    int fields = 0;
    while (true) {
        const size_t colon = text.find(':', at);
        const std::string field = text.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
        const bool last = colon == std::string::npos;
        if (field.empty() || field.find_first_not_of(last ? "0123456789." : "0123456789") != std::string::npos ||
            std::count(field.begin(), field.end(), '.') > 1 || field == ".")
            return -1;
        const double value = std::strtod(field.c_str(), nullptr);
        if (fields > 0 && value >= 60) return -1;  // minutes and seconds after a field
        total = total * 60 + value;
        if (++fields > 3) return -1;
        if (last) break;
        at = colon + 1;
    }
    return total;
}

std::vector<std::string> CVideoDVDJob::DroppedFiles(const std::vector<std::string>& items)
{
    namespace fs = std::filesystem;
    static const char* const kinds[] = {".avi", ".wmv", ".asf", ".mov", ".rm", ".rmvb", ".mpg", ".mpeg"};
    auto wanted = [](const fs::path& p) {
        const std::string ext = Lower(p.extension().string());
        return std::any_of(std::begin(kinds), std::end(kinds), [&](const char* k) { return ext == k; });
    };
    std::vector<std::string> files;
    for (const std::string& item : items) {
        std::error_code ec;
        if (!fs::is_directory(item, ec)) {
            if (fs::is_regular_file(item, ec) && wanted(item)) files.push_back(item);
            continue;
        }
        // Sorted within each folder, so that a drop adds files in the order a person
        // sees them; hidden entries and links back up the tree are not followed.
        std::vector<std::string> found;
        auto options = fs::directory_options::skip_permission_denied;
        for (auto it = fs::recursive_directory_iterator(item, options, ec); !ec && it != fs::end(it);
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name[0] == '.') {
                if (it->is_directory(ec)) it.disable_recursion_pending();
                continue;
            }
            if (it->is_regular_file(ec) && wanted(it->path())) found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

std::string CVideoDVDJob::AssociatedSubtitle(const std::string& mediaPath)
{
    namespace fs = std::filesystem;
    fs::path p(mediaPath);
    const std::string base = (p.parent_path() / p.stem()).string();
    for (const char* ending : {".srt", ".srt.txt", ".sub"}) {
        std::error_code ec;
        if (fs::is_regular_file(base + ending, ec)) return base + ending;
    }
    return {};
}

std::vector<int> CVideoDVDJob::RowsToMake() const
{
    std::vector<int> made;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].Seconds() > 0) made.push_back(int(i));
    return made;
}

void CVideoDVDJob::PrepareParams()
{
    params = CDVDParams();
    const std::vector<int> made = RowsToMake();
    params.titleCount = int32_t(made.size());
    double total = 0;
    for (size_t t = 0; t < made.size() && t < size_t(CDVDParams::maxTitles); ++t) {
        const SRow& row = rows[size_t(made[t])];
        params.titleSeconds[t] = int32_t(std::ceil(row.Seconds()));
        params.titleAudioType[t] = !row.audioType.empty() && row.audioType[0] == 'A' ? 0 : compressAudio ? 1 : 2;
        total += row.Seconds();
    }
    params.totalSeconds = int32_t(std::ceil(total));
    ApplyVideoFormat(resolution, wide, pal, params);
    params.compressAudio = compressAudio ? 1 : 0;
    params.discSizeText = discSizeText;
    params.intraMatrixText = intraMatrixText;
    if (!interMatrixText.empty()) params.interMatrixText = interMatrixText;
    params.highQuality = highQuality ? 1 : 0;
    if (CDebugger* log = ownLog ? ownLog.get() : CDebugger::Active(); log && highQuality)
        log->WriteVideoQuality("high");
    FitBitRate(params);
    params.outputFolder = CFolders::WithSlash(dvdFolder);
    params.jobName = Text(3000);
    params.audioDelay = audioDelay;
    params.videoDelay = videoDelay;
    params.flipVertical = flip ? 1 : 0;
}

bool CVideoDVDJob::CheckFits()
{
    if (params.videoBitRate >= minVideoBitRate) return true;
    char text[400];
    std::snprintf(text, sizeof text,
                  "The videos (%s) do not fit the disc size of %s bytes: they would get %.0f bit/s of video and need "
                  "at least %.0f bit/s. Shorten the ranges, remove rows or give a larger disc size.",
                  FormatSeconds(params.totalSeconds).c_str(), params.discSizeText.c_str(),
                  std::max(params.videoBitRate, 0.0), minVideoBitRate);
    error = text;
    return false;
}

std::vector<std::string> CVideoDVDJob::InputFiles() const
{
    std::vector<std::string> inputs;
    for (const SRow& row : rows) {
        inputs.push_back(row.path);
        if (!row.isProject) continue;
        CSlideShowJob show(ui);
        if (LoadProject(show.album, row.path)) {
            show.projectFile = row.path;
            for (const std::string& file : show.InputFiles()) inputs.push_back(file);
        }
    }
    for (const std::string& subtitle : subtitles) {
        if (subtitle.empty()) continue;
        inputs.push_back(subtitle);
        if (CSubTitle::IsVobSubName(subtitle))
            inputs.push_back(std::filesystem::path(subtitle).replace_extension(".idx").string());
    }
    return inputs;
}

bool CVideoDVDJob::MakeSlideShowTitle(const SRow& row, int titleSet, const std::string& folder, int64_t& frames,
                                      bool& cancelled)
{
    // The project becomes a slide show exactly as the slide-show job makes it, in this
    // job's picture format and at its fitted rate (capped for slide shows).
    CSlideShowJob show(ui);
    std::string loadError;
    if (!LoadProject(show.album, row.path, &loadError)) {
        error = loadError;
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    show.projectFile = row.path;
    show.params = params;
    show.params.titleCount = 1;
    show.params.totalSeconds = show.params.titleSeconds[0] = CSlideShowJob::ShowSeconds(show.album);
    show.params.titleAudioType[0] = compressAudio ? 1 : 2;
    show.params.videoBitRate = std::min(params.videoBitRate, maxSlideShowBitRate);
    show.params.flipVertical = 0;
    show.onNote = onNote;
    if (CSlideShowJob::AlbumIsEmpty(show.album)) {
        error = row.path + ": " + Text(4302);
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    for (const std::string& line : show.ReportAlbum()) (void)line;
    std::unique_ptr<CPhotoSlideSource> source = show.BuildShow();
    if (!source) {
        error = show.Error();
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    SMuxRunContext run;
    CSlideshowTitleBuilder builder(*source, show.params, show.params.totalSeconds, ui, run);
    if (!builder.Build(titleSet - 1, folder)) {
        error = builder.Error();
        return false;
    }
    frames = builder.FramesCoded();
    cancelled = builder.Cancelled();
    return true;
}

void CVideoDVDJob::Note(const std::string& line)
{
    if (CDebugger* log = ownLog ? ownLog.get() : CDebugger::Active()) log->WriteJobNote(line);
    if (onNote) onNote(line);
}

CVideoDVDJob::Result CVideoDVDJob::MakeTitles(const std::string& folder)
{
    const std::vector<int> made = RowsToMake();
    SMuxRunContext run;  // the job's multiplexer state, shared by its titles
    for (size_t t = 0; t < made.size(); ++t) {
        const SRow& row = rows[size_t(made[t])];
        const int titleSet = startingFootage + int(t);
        if (onTitle) onTitle(made[t], titleSet, int(made.size()));
        int64_t frames = 0;
        bool cancelled = false;
        if (row.isProject) {
            if (!MakeSlideShowTitle(row, titleSet, folder, frames, cancelled)) return Result::Failed;
        } else {
            // A range that runs to the file's end is given open, so that the title keeps
            // the file's last fraction of a second.
            const double end = row.end >= row.duration ? -1.0 : row.end;
            CVideoFileTitleBuilder builder(row.path, row.start, end, params, ui, run);
            // Subtitle row i belongs to media row i.
            if (size_t(made[t]) < subtitles.size() && !subtitles[size_t(made[t])].empty())
                builder.SetSubtitle(subtitles[size_t(made[t])]);
            if (!builder.Build(titleSet - 1, folder)) {
                error = builder.Error() == "stopped" ? "stopped" : row.path + ": " + builder.Error();
                return Result::Failed;
            }
            frames = builder.FramesCoded();
            cancelled = builder.Cancelled();
            // A damaged or cut file ends before its range does: the title holds what
            // could be decoded, and the person hears of it.
            const double planned = double(builder.FramesPlanned()) / params.frameRate;
            const double made = double(frames) / params.frameRate;
            if (!cancelled && made + 1.0 < planned)
                Note(row.path + ": the file ended after " + FormatSeconds(std::llround(made)) + " of its " +
                     FormatSeconds(std::llround(planned)) + " range; the title is that long");
        }
        framesCoded[size_t(made[t])] = frames;
        ++titleSetsWritten;
        // A cancel ends the job with the titles made so far.
        if (cancelled) return Result::Cancelled;
    }
    return Result::Done;
}

CVideoDVDJob::Result CVideoDVDJob::CreateDvd()
{
    error.clear();
    titleSetsWritten = 0;
    framesCoded.assign(rows.size(), 0);
    if (dvdFolder.empty()) dvdFolder = CFolders::DefaultDvdFolder();
    dvdFolder = CFolders::WithSlash(dvdFolder);
    if (startingFootage < 1 || startingFootage > CDVDParams::maxTitles) startingFootage = 1;

    const std::vector<int> made = RowsToMake();
    if (made.empty()) {
        error = "No video file with a range to make is in the list.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::Empty;
    }
    const int last = startingFootage + int(made.size()) - 1;
    if (last > CDVDParams::maxTitles) {
        error = std::to_string(made.size()) + " titles starting at title set " + std::to_string(startingFootage) +
            " would need title set " + std::to_string(last) + "; a DVD holds at most 99.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::Refused;
    }
    PrepareParams();
    if (!CheckFits()) {
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return Result::TooLong;
    }

    CDvdFolderJob folderJob(ui, dvdFolder, startingFootage, last);
    const CDvdFolderJob::EPrepared prepared = folderJob.Prepare(InputFiles());
    if (prepared != CDvdFolderJob::EPrepared::Ready) {
        error = folderJob.Error();
        return CDvdFolderJob::Refusal<Result>(prepared);
    }

    Result result = MakeTitles(folderJob.WorkFolder());
    const bool keep = result == Result::Done || result == Result::Cancelled;
    if (!folderJob.Conclude(keep, error) && keep) result = Result::Failed;
    if (result == Result::Done || result == Result::Cancelled) folderJob.Finish(soundFolder, openBurnWindow);
    return result;
}
