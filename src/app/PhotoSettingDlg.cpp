#include "app/PhotoSettingDlg.h"

#include "app/DVDShowDlg.h"
#include "base/EffectCodes.h"
#include "base/Texts.h"
#include "media/MicRecorder.h"

#include <strings.h>

#include <algorithm>
#include <filesystem>

namespace {

// The longest time a photo is given, as the job takes it: one day.
constexpr int kMaxPhotoSeconds = 86400;

std::vector<std::string> NamesOf(const CEffectCode* table, size_t count)
{
    std::vector<std::string> names{"None"};
    for (size_t i = 0; i < count; ++i)
        if (table[i].code != kEffectNone) names.push_back(table[i].name);
    return names;
}

}  // namespace

CPhotoSettingDlg::CPhotoSettingDlg(CAlbum& album_, const std::vector<int>& selected, const MusicLengthFn& measure_)
    : album(album_), measure(measure_)
{
    for (int row : selected)
        if (row >= 0 && size_t(row) < album.photos.size()) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (album.photos.empty()) return;
    photoIndex = rows.empty() ? 0 : rows.front();

    const CAlbumPhoto& photo = album.photos[size_t(photoIndex)];
    showSeconds = photo.showSeconds;
    transitionSeconds = photo.transitionSeconds;
    panZoomName = PanZoomNameOf(photo.panZoomType);
    transitionName = TransitionNameOf(photo.transitionType);
    narrationPath = photo.narrationPath;
    MeasureNarration();
}

CPhotoSettingDlg::~CPhotoSettingDlg()
{
    if (recorder) recorder->Stop();
}

std::vector<std::string> CPhotoSettingDlg::PanZoomNames()
{
    size_t count = 0;
    const CEffectCode* table = PanZoomTable(count);
    return NamesOf(table, count);
}

std::vector<std::string> CPhotoSettingDlg::TransitionNames()
{
    size_t count = 0;
    const CEffectCode* table = TransitionTable(count);
    return NamesOf(table, count);
}

int CPhotoSettingDlg::IndexOfName(const std::vector<std::string>& names, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (strcasecmp(names[i].c_str(), name.c_str()) == 0) return int(i);
    return 0;
}

std::string CPhotoSettingDlg::PhotoPath() const
{
    return photoIndex < 0 ? std::string() : album.photos[size_t(photoIndex)].photoPath;
}

bool CPhotoSettingDlg::HasNarration() const
{
    CAlbumPhoto probe;
    probe.narrationPath = narrationPath;
    return CDVDShowDlg::HasNarration(probe);
}

std::string CPhotoSettingDlg::NarrationText() const
{
    if (!HasNarration()) return Text(4507);
    return FormatText(Text(4508), {FormatSeconds(narrationSeconds)});
}

int CPhotoSettingDlg::MeasureNarration()
{
    narrationSeconds = HasNarration() && measure ? std::max(0, measure(narrationPath)) : 0;
    if (showSeconds < narrationSeconds) showSeconds = narrationSeconds;
    return narrationSeconds;
}

std::string CPhotoSettingDlg::RecordingPath() const
{
    if (photoIndex < 0) return std::string();
    return std::filesystem::path(PhotoPath()).replace_extension(".wav").string();
}

bool CPhotoSettingDlg::StartRecording()
{
    error.clear();
    if (recorder) return true;
    if (photoIndex < 0) {
        error = "there is no photo to record a narration for";
        return false;
    }
    auto started = std::make_unique<CMicRecorder>();
    if (!started->Start(RecordingPath())) {
        error = started->Error();
        return false;
    }
    recorder = std::move(started);
    return true;
}

bool CPhotoSettingDlg::StopRecording()
{
    if (!recorder) return false;
    recorder->Stop();
    error = recorder->Error();
    recorder.reset();
    if (!error.empty()) return false;
    narrationPath = RecordingPath();
    MeasureNarration();
    return true;
}

void CPhotoSettingDlg::Erase()
{
    narrationPath = "NONE";
    narrationSeconds = 0;
}

void CPhotoSettingDlg::Accept()
{
    if (photoIndex < 0 || size_t(photoIndex) >= album.photos.size()) return;
    if (recorder) StopRecording();
    showSeconds = std::clamp(std::max(showSeconds, narrationSeconds), 0, kMaxPhotoSeconds);
    transitionSeconds = std::clamp(transitionSeconds, 0, kMaxPhotoSeconds);
    const int panZoom = PanZoomCodeOf(panZoomName);
    const int transition = TransitionCodeOf(transitionName);

    std::vector<int> targets = rows.empty() ? std::vector<int>{photoIndex} : rows;
    if (applyToAll) {
        targets.clear();
        for (size_t i = 0; i < album.photos.size(); ++i) targets.push_back(int(i));
    }
    for (int row : targets) {
        if (size_t(row) >= album.photos.size()) continue;
        CAlbumPhoto& photo = album.photos[size_t(row)];
        photo.showSeconds = showSeconds;
        photo.transitionSeconds = transitionSeconds;
        photo.panZoomType = panZoom;
        photo.transitionType = transition;
    }
    album.photos[size_t(photoIndex)].narrationPath = narrationPath;
}
