// The values behind the "Photo Effects Setting" dialog, without any window: the photo
// it edits, its showing and transition times, the pan-zoom and transition chosen from
// their lists, the narration (recorded from the microphone, erased, measured) and
// whether OK applies the times and effects to every photo. The dialog shows these, edits
// them and calls Accept on OK; Cancel drops the object (a recording already made stays
// on disk but is not attached to the photo).
#pragma once

#include "app/Project.h"
#include "base/Album.h"

#include <memory>
#include <string>
#include <vector>

class CMicRecorder;

class CPhotoSettingDlg {
public:
    // Edits the first of the rows `selected` of `album` (the first photo when none is
    // selected); `album` must outlive the object. The narration, when present, is
    // measured with `measure` and the showing time raised to its length.
    CPhotoSettingDlg(CAlbum& album, const std::vector<int>& selected,
                     const MusicLengthFn& measure = MeasureMusicSeconds);
    virtual ~CPhotoSettingDlg();
    CPhotoSettingDlg(const CPhotoSettingDlg&) = delete;
    CPhotoSettingDlg& operator=(const CPhotoSettingDlg&) = delete;

    // The two effect lists as the dialog offers them: "None" followed by every name of
    // the pan-zoom (transition) table in its order.
    static std::vector<std::string> PanZoomNames();
    static std::vector<std::string> TransitionNames();
    // The row of `name` in `names` (letter case ignored), 0 ("None") when absent.
    static int IndexOfName(const std::vector<std::string>& names, const std::string& name);

    // The row of the album being edited, -1 when the album is empty.
    int PhotoIndex() const { return photoIndex; }
    // The photo file being edited ("" when none).
    std::string PhotoPath() const;

    // The narration line: "Yes, Length=%s" (key 4508) with the length as HH:MM:SS, or
    // "No" (key 4507).
    std::string NarrationText() const;
    // True when the edited photo has a narration.
    bool HasNarration() const;
    // Measures the narration and raises the showing time to its length in whole
    // seconds when it is shorter. Returns the length (0 without a narration).
    int MeasureNarration();

    // The file a recording for this photo goes to: the photo's path with ".wav" in place
    // of its extension.
    std::string RecordingPath() const;
    // Starts recording the microphone into RecordingPath(). False, with Error() saying
    // why, when no device or file could be opened.
    bool StartRecording();
    // True between StartRecording and StopRecording.
    bool IsRecording() const { return recorder != nullptr; }
    // Ends the recording; when the file is complete it becomes the photo's narration
    // and is measured (MeasureNarration). False with Error() set when it failed.
    bool StopRecording();
    // Removes the narration from the photo: its path becomes "NONE".
    void Erase();

    // OK: the showing time (raised to the narration's length), transition time,
    // transition and pan-zoom go to every photo when applyToAll is set, else to every
    // selected photo (the edited one when none was selected); the narration only to the
    // edited photo. Times are kept between 0 and one day.
    void Accept();

    // Why the last recording failed.
    const std::string& Error() const { return error; }

    int showSeconds = 5;
    int transitionSeconds = 2;
    std::string panZoomName = "Auto";  // an entry of PanZoomNames()
    std::string transitionName = "Auto";  // an entry of TransitionNames()
    std::string narrationPath = "NONE";
    int narrationSeconds = 0;  // the narration's measured length
    bool applyToAll = false;  // "Apply setting to all the photos in the slideshow"

private:
    CAlbum& album;
    std::vector<int> rows;  // the selected rows, valid and sorted
    int photoIndex = -1;
    MusicLengthFn measure;
    std::unique_ptr<CMicRecorder> recorder;
    std::string error;
};
