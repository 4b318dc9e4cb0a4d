#include "app/DVDShowDlg.h"

#include "base/Progress.h"
#include "base/Texts.h"
#include "picture/Photo.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

// The valid rows of `rows` for a list of `size` entries, sorted, each once.
std::vector<int> ValidRows(const std::vector<int>& rows, size_t size)
{
    std::vector<int> valid;
    for (int row : rows)
        if (row >= 0 && size_t(row) < size) valid.push_back(row);
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    return valid;
}

// Removes the entries at the sorted, valid rows `rows` from `list`.
template <class T>
void EraseRows(std::vector<T>& list, const std::vector<int>& rows)
{
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) list.erase(list.begin() + *it);
}

}  // namespace

CDVDShowDlg::CDVDShowDlg(const std::string& defaultDvdFolder, const std::string& soundFolder_)
    : dvdFolder(defaultDvdFolder), soundFolder(soundFolder_)
{}

int CDVDShowDlg::AddPhotos(const std::vector<std::string>& paths, CUiPort& port)
{
    if (paths.empty()) return 0;
    CProgress progress(port);
    progress.Open(Text(4017), "");
    int added = 0;
    const size_t n = paths.size();
    for (size_t i = 0; i < n && album.photos.size() < CAlbum::maxPhotos; ++i) {
        progress.SetText(paths[i]);
        progress.SetPercent(int(100 * (i + 1) / n));
        progress.Pump();
        if (progress.IsCancelled()) break;
        if (album.AddPhoto(paths[i])) ++added;
    }
    return added;
}

int CDVDShowDlg::RemovePhotos(const std::vector<int>& selected)
{
    const std::vector<int> rows = ValidRows(selected, album.photos.size());
    if (rows.empty()) return current;
    EraseRows(album.photos, rows);
    if (album.photos.empty()) {
        current = -1;
    } else {
        current = std::min(rows.front(), int(album.photos.size()) - 1);
    }
    return current;
}

void CDVDShowDlg::RemoveAllPhotos()
{
    album.photos.clear();
    current = -1;
}

int CDVDShowDlg::MovePhotos(const std::vector<int>& rows, int destination)
{
    const std::vector<int> moved = ValidRows(rows, album.photos.size());
    if (moved.empty()) return -1;
    const int size = int(album.photos.size());
    destination = std::clamp(destination, 0, size);

    // The new order as old rows: the photos that stay, with the moved ones inserted where
    // the destination photo (or the end) now stands.
    std::vector<char> isMoved(size_t(size), 0);
    for (int row : moved) isMoved[size_t(row)] = 1;
    std::vector<int> order;
    int insertAt = 0;
    for (int row = 0; row < size; ++row) {
        if (row == destination) insertAt = int(order.size());
        if (!isMoved[size_t(row)]) order.push_back(row);
    }
    if (destination == size) insertAt = int(order.size());
    order.insert(order.begin() + insertAt, moved.begin(), moved.end());

    std::vector<CAlbumPhoto> photos;
    photos.reserve(album.photos.size());
    int newCurrent = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        photos.push_back(std::move(album.photos[size_t(order[i])]));
        if (order[i] == current) newCurrent = int(i);
    }
    album.photos = std::move(photos);
    current = newCurrent;
    return insertAt;
}

void CDVDShowDlg::SelectPhoto(int row) { current = row >= 0 && size_t(row) < album.photos.size() ? row : -1; }

bool CDVDShowDlg::CheckRotateSelection(const std::vector<int>& selected, CUiPort& port) const
{
    if (!ValidRows(selected, album.photos.size()).empty()) return true;
    port.MessageBox(Text(4303), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

std::vector<int> CDVDShowDlg::Rotate(const std::vector<int>& selected, int turn, CUiPort& port)
{
    std::vector<int> turned;
    if (!CheckRotateSelection(selected, port)) return turned;
    for (int row : ValidRows(selected, album.photos.size())) {
        CAlbumPhoto& photo = album.photos[size_t(row)];
        const std::string copy = CPhoto::RotatePhotoFile(photo.photoPath, turn);
        if (copy.empty()) continue;
        photo.photoPath = copy;
        photo.name = CAlbum::NewPhoto(copy).name;
        turned.push_back(row);
    }
    return turned;
}

int CDVDShowDlg::AddMusic(const std::vector<std::string>& paths, CUiPort& port, const MusicLengthFn& measure)
{
    int added = 0;
    for (const std::string& path : paths) {
        if (album.music.size() >= CAlbum::maxMusic) break;
        const int seconds = measure ? measure(path) : 0;
        if (seconds <= 0) {
            port.MessageBox(FormatText(Text(4301), {path}), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            continue;
        }
        if (album.AddMusic(path, seconds)) ++added;
    }
    return added;
}

void CDVDShowDlg::RemoveMusic(const std::vector<int>& selected)
{
    EraseRows(album.music, ValidRows(selected, album.music.size()));
}

bool CDVDShowDlg::AutoSync(CUiPort& port)
{
    const int64_t music = album.MusicSeconds();
    if (music <= 0 || album.photos.empty()) return false;
    int64_t remaining = music;
    int64_t plain = 0;
    for (const CAlbumPhoto& photo : album.photos) {
        if (HasNarration(photo)) {
            remaining -= int64_t(photo.showSeconds) + photo.transitionSeconds;
        } else {
            remaining -= photo.transitionSeconds;
            ++plain;
        }
    }
    if (plain == 0 || remaining <= 0 || double(remaining) / double(plain) < 1.0) return false;

    // Each photo gets the rounded share that brings the running sum nearest to k shares,
    // so the times add up to the remaining time exactly.
    const double share = double(remaining) / double(plain);
    int64_t given = 0;
    int k = 0;
    for (CAlbumPhoto& photo : album.photos) {
        if (HasNarration(photo)) continue;
        ++k;
        const int64_t seconds = int64_t(std::trunc(k * share - double(given) + 0.5));
        photo.showSeconds = int(seconds);
        given += seconds;
    }
    port.MessageBox(Text(4300), "Kestrova", MsgButtons::Ok, MsgIcon::Information);
    return true;
}

std::string CDVDShowDlg::TotalsText() const { return album.PhotoTotalsText() + "\n" + album.MusicTotalsText(); }

std::string CDVDShowDlg::CurrentPhotoText() const
{
    if (current < 0 || size_t(current) >= album.photos.size()) return Text(4202);
    const CAlbumPhoto& photo = album.photos[size_t(current)];
    return FormatText(
        Text(4203),
        {FormatSeconds(photo.showSeconds), PanZoomNameOf(photo.panZoomType), TransitionNameOf(photo.transitionType),
         FormatSeconds(photo.transitionSeconds), HasNarration(photo) ? "Yes" : "No"});
}

CDVDShowDlg::SButtonStates CDVDShowDlg::Buttons(bool musicPlaying) const
{
    SButtonStates s;
    const bool photos = !album.photos.empty();
    const bool music = !album.music.empty();
    s.removePhotos = s.removeAll = s.photoSetting = s.rotate = s.createDvd = s.preview = s.saveProject = photos;
    s.removeMusic = s.autoSync = music;
    s.playMusic = music || musicPlaying;
    return s;
}

std::array<int, 3> CDVDShowDlg::ResolutionKeys(bool palStandard)
{
    return palStandard ? std::array<int, 3>{119, 120, 121} : std::array<int, 3>{116, 117, 118};
}

bool CDVDShowDlg::SaveProject(const std::string& path, std::string* error)
{
    std::string target = path;
    if (std::filesystem::path(target).extension().empty()) target += kProjectExtension;
    if (!::SaveProject(album, target, error)) return false;
    projectFile = target;
    return true;
}

bool CDVDShowDlg::LoadProject(const std::string& path, CUiPort& port, std::string* error,
                              std::vector<std::string>* notes, const MusicLengthFn& measure)
{
    // The project reader reports through the port in force; the window's for this load.
    CUiScope scope(port);
    if (!::LoadProject(album, path, error, measure, notes)) return false;
    projectFile = path;
    current = -1;
    return true;
}

std::string CDVDShowDlg::ChooseDvdFolder(const std::string& chosen)
{
    std::filesystem::path folder(chosen);
    if (folder.filename().empty()) folder = folder.parent_path();
    if (folder.filename() != "VIDEO_TS") folder /= "VIDEO_TS";
    dvdFolder = folder.string() + "/";
    return dvdFolder;
}

CAdvSetupDlg CDVDShowDlg::AdvancedDialog() const { return advanced; }

void CDVDShowDlg::AcceptAdvanced(const CAdvSetupDlg& dialog)
{
    advanced = dialog;
    advanced.footageEnabled = true;
    dialog.Accept(params, choices);
    advanced.compressAudio = choices.compressAudio;
    advanced.startingFootage = choices.startingFootage;
}

std::unique_ptr<CSlideShowJob> CDVDShowDlg::MakeJob(CUiPort& port) const
{
    auto job = std::make_unique<CSlideShowJob>(port);
    job->album = album;
    job->dvdFolder = dvdFolder;
    job->resolution = resolution;
    job->wide = wide;
    job->pal = pal;
    CAdvSetupDlg::ApplyToJob(params, choices, *job);
    job->soundFolder = soundFolder;
    job->projectFile = projectFile;
    return job;
}

CSlideShowJob::Result CDVDShowDlg::CreateDvd(CUiPort& port, std::function<void(const std::string&)> openBurnWindow)
{
    std::unique_ptr<CSlideShowJob> job = MakeJob(port);
    job->openBurnWindow = std::move(openBurnWindow);
    job->OpenLog();
    return job->CreateDvd();
}

bool CDVDShowDlg::HasNarration(const CAlbumPhoto& photo)
{
    return !photo.narrationPath.empty() && strcasecmp(photo.narrationPath.c_str(), "NONE") != 0;
}
