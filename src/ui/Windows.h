// The windows the others open, each defined beside its own window class. A function
// returns when its window is modal; otherwise it shows the window and returns it.
#pragma once

#include <string>
#include <vector>

class CAdvSetupDlg;
class CAlbum;
class CDVDShowDlg;
class QWidget;

// The slide-show window, with `projectFile` loaded when it is not empty.
QWidget* OpenSlideShowWindow(QWidget* parent, const std::string& projectFile);
// The photo settings of `rows` of the slide show (the first selected, or the first
// photo when `rows` is empty); true when the person pressed OK.
bool OpenPhotoSettings(QWidget* parent, CDVDShowDlg& show, const std::vector<int>& rows);
// The preview of `album`, modal; returns when it is closed.
void OpenPreview(QWidget* parent, const CAlbum& album);
// The advanced settings, modal; true when the person pressed OK (the values are in
// `dialog`, to be accepted by the caller).
bool OpenAdvancedSettings(QWidget* parent, CAdvSetupDlg& dialog);
// The video-to-DVD window (not modal); returns it.
QWidget* OpenVideoWindow(QWidget* parent);
// The camcorder window (not modal); returns it, or null when no device could be used.
QWidget* OpenCamcorderWindow(QWidget* parent);
// The burn window for `source`: a DVD-Video folder, a VIDEO_TS.IFO, VOB or BUP file
// inside one, or an .iso image; modal.
void OpenBurnWindow(QWidget* parent, const std::string& source);
// The disc-image window for the DVD folder `folder`, modal.
void OpenIsoWindow(QWidget* parent, const std::string& folder);
