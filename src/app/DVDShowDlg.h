// The slide-show window's state and operations, without any widget: the album, the DVD
// settings (standard, resolution, aspect, folder, advanced values), the photo shown and
// every operation of the window's buttons. The desktop window shows this object and
// calls its operations; tests drive it directly.
#pragma once

#include "app/AdvSetupDlg.h"
#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "base/Album.h"
#include "base/DVDParams.h"
#include "base/UiPort.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDVDShowDlg {
public:
    // Which of the window's buttons can act now.
    struct SButtonStates {
        bool removePhotos = false;
        bool removeAll = false;
        bool photoSetting = false;
        bool rotate = false;
        bool createDvd = false;
        bool preview = false;
        bool saveProject = false;
        bool removeMusic = false;
        bool autoSync = false;
        bool playMusic = false;
    };

    // `defaultDvdFolder` is the program's DVD folder (ends with "/"); `soundFolder` holds
    // "done.wav" (empty: the job plays nothing).
    CDVDShowDlg(const std::string& defaultDvdFolder, const std::string& soundFolder);
    virtual ~CDVDShowDlg() = default;

    // Appends the photo files `paths` with the defaults of a new photo while a progress
    // window "Loading..." shows each file and 100 x i / n percent. Stops at 800 photos or
    // when the person cancels. Returns the number of photos added (at the album's end).
    int AddPhotos(const std::vector<std::string>& paths, CUiPort& port);
    // Removes the photos at the rows `selected` (any order, duplicates and rows out of
    // range ignored). Returns the row that holds the focus afterwards (the row where the
    // first removed photo stood, or the last row), -1 when the album is empty; that row
    // becomes the current photo.
    int RemovePhotos(const std::vector<int>& selected);
    // Empties the photo list; no photo is current.
    void RemoveAllPhotos();
    // Moves the photos at `rows` together, in their album order, in front of the photo
    // at `destination` (the album's length: to the end), as a drag in the list does.
    // Returns the new row of the first moved photo, -1 when nothing moved. The current
    // photo stays the same photo.
    int MovePhotos(const std::vector<int>& rows, int destination);

    // Makes `row` the photo shown (-1: none); rows out of range give none.
    void SelectPhoto(int row);
    // The photo shown, -1 for none.
    int CurrentPhoto() const { return current; }

    // False after "You must select at least one photo in the list." (key 4303) when
    // `selected` is empty; the window asks this before its rotate question.
    bool CheckRotateSelection(const std::vector<int>& selected, CUiPort& port) const;
    // Replaces each selected photo by its copy turned by `turn` (0 = 90 degrees
    // clockwise, 1 = 180 degrees, 2 = 90 degrees counter-clockwise), written beside it
    // as "<name>-r.jpg". A photo that cannot be turned stays as it was. Refuses an empty
    // selection as CheckRotateSelection does. Returns the rows that were turned.
    std::vector<int> Rotate(const std::vector<int>& selected, int turn, CUiPort& port);

    // Measures and appends the music files `paths`; a file whose length is 0 is refused
    // with "Unable to determine the duration of %s" (key 4301). Nothing is added once
    // the list holds 99 files. Returns the number of files added.
    int AddMusic(const std::vector<std::string>& paths, CUiPort& port,
                 const MusicLengthFn& measure = MeasureMusicSeconds);
    // Removes the music files at the rows `selected`.
    void RemoveMusic(const std::vector<int>& selected);

    // Makes the show as long as the music: the remaining time after every transition
    // and every narrated photo is shared out over the photos without narration, each
    // time rounded so that they add up exactly. Does nothing (and says nothing) when
    // there is no music or photo, or less than one second per photo would remain;
    // otherwise shows "Now the slide show is synced with the background music." (key
    // 4300). Returns true when the times were changed.
    bool AutoSync(CUiPort& port);

    // First status line: the photo totals (key 4200) and, on a new line, the music
    // totals (key 4201).
    std::string TotalsText() const;
    // Second status line: "Current Photo: None" (key 4202) or the current photo's times,
    // effect names and narration (key 4203).
    std::string CurrentPhotoText() const;

    // What the buttons can do now; `musicPlaying` tells whether a music file or a
    // preview is playing.
    SButtonStates Buttons(bool musicPlaying = false) const;
    // The message keys of the three resolution buttons for the standard.
    static std::array<int, 3> ResolutionKeys(bool palStandard);

    // Writes the album to `path` (".osh" added when it has no extension); remembers the
    // path as the project. False with `error` naming the file on failure.
    bool SaveProject(const std::string& path, std::string* error = nullptr);
    // Replaces the album by the project `path`, showing its progress and messages through
    // `port`; no photo is current afterwards. False, leaving the album as it was, with
    // `error` naming the file and the problem; `notes` receives what was corrected.
    bool LoadProject(const std::string& path, CUiPort& port, std::string* error = nullptr,
                     std::vector<std::string>* notes = nullptr, const MusicLengthFn& measure = MeasureMusicSeconds);

    // Takes the folder the person chose as the DVD folder: a folder named VIDEO_TS is
    // used as it is, any other gets its VIDEO_TS inside (AUDIO_TS goes beside it), so the
    // files always form a DVD. Returns the DVD folder, ending with "/".
    std::string ChooseDvdFolder(const std::string& chosen);

    // A new advanced-settings dialog showing the values last accepted.
    CAdvSetupDlg AdvancedDialog() const;
    // Keeps the values of an accepted advanced-settings dialog for the next jobs.
    void AcceptAdvanced(const CAdvSetupDlg& dialog);

    // A creation job for the window's album and settings, reporting through `port`.
    std::unique_ptr<CSlideShowJob> MakeJob(CUiPort& port) const;
    // Runs the creation job ("Create DVD"); `openBurnWindow` is called with the DVD
    // folder when the person wants to burn it. Returns what the job did.
    CSlideShowJob::Result CreateDvd(CUiPort& port, std::function<void(const std::string&)> openBurnWindow = {});

    // True when a photo has a narration file ("NONE" or empty mean none).
    static bool HasNarration(const CAlbumPhoto& photo);

    CAlbum album;
    std::string dvdFolder;  // the DVD folder ("DVD Video Folder"), ends with "/"
    std::string soundFolder;  // where "done.wav" is
    std::string projectFile;  // the project last saved or loaded, "" when none
    bool pal = false;  // standard: NTSC (false) or PAL
    int resolution = 0;  // 0 High, 1 Medium, 2 Low
    bool wide = false;  // aspect: 4:3 (false) or 16:9
    CDVDParams params;  // the advanced values last accepted
    CAdvJobChoices choices;  // audio compression and starting footage kept between jobs

private:
    CAdvSetupDlg advanced;
    int current = -1;
};
