// The "Photo Effects Setting" window over CPhotoSettingDlg: the showing and transition
// times, the pan-zoom and transition lists, the narration (record from the microphone,
// play, erase), "apply to all" and the photo itself fitted on black.
#pragma once

#include "app/PhotoSettingDlg.h"

#include <QDialog>

class QAudioOutput;
class QCheckBox;
class QComboBox;
class QLabel;
class QMediaPlayer;
class QPushButton;
class QSpinBox;

class CPhotoSettingWindow : public QDialog {
    Q_OBJECT
public:
    // Edits `rows` of `album` (the first selected photo, or the first photo).
    CPhotoSettingWindow(QWidget* parent, CAlbum& album, const std::vector<int>& rows);
    ~CPhotoSettingWindow() override;

    CPhotoSettingDlg& Values() { return values; }
    // The Record / Stop button's action.
    void ToggleRecording();
    // The Play / Stop button's action.
    void TogglePlaying();
    // The Erase button's action.
    void EraseNarration();

    void accept() override;
    void reject() override;

private:
    void ShowNarration();
    void ShowPhoto();
    void StopPlaying();

    CPhotoSettingDlg values;
    QLabel* picture;
    QSpinBox* showTime;
    QSpinBox* transitionTime;
    QComboBox* panZoom;
    QComboBox* transition;
    QLabel* narration;
    QPushButton* record;
    QPushButton* play;
    QPushButton* erase;
    QCheckBox* applyAll;
    QMediaPlayer* player = nullptr;
    QAudioOutput* output = nullptr;
};
