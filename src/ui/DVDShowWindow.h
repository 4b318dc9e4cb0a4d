// The slide-show window: the photo list with thumbnails, the photo fitted on white, the
// music list, the DVD settings and the buttons of every operation on the album. The
// album and the operations live in CDVDShowDlg; this window shows them, asks the person
// through the program's port and fills its lists again after each operation.
#pragma once

#include "app/DVDShowDlg.h"

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>

#include <string>
#include <vector>

class CDvdFormatBox;
class CPhotoListWidget;
class CThumbnailMaker;
class QAudioOutput;
class QLabel;
class QLineEdit;
class QMediaPlayer;
class QPushButton;
class QTimer;
class QTreeWidget;

class CDVDShowWindow : public QDialog {
    Q_OBJECT
public:
    explicit CDVDShowWindow(QWidget* parent = nullptr);
    ~CDVDShowWindow() override;

    // The window's album, settings and operations.
    CDVDShowDlg& Model() { return model; }
    // Loads the project `path` into the window as "Load Project" does; false (after a
    // message naming the file) when it cannot be read.
    bool OpenProject(const std::string& path);
    // Adds the files `paths`: photos to the photo list, sound files to the music list.
    void AddDroppedFiles(const QStringList& paths);
    // True while thumbnails are still being made.
    bool ThumbnailsPending() const;
    // True while a music file plays.
    bool MusicPlaying() const;

    // The operations of the buttons, as the buttons call them.
    void AddPhotos();
    void RemovePhotos();
    void RemoveAllPhotos();
    void PhotoSettings();
    void RotatePhotos();
    void SaveProjectAs();
    void LoadProjectFile();
    void AddMusic();
    void RemoveMusic();
    void PlayMusic();
    void AutoSync();
    void ShowPreview();
    void ChangeFolder();
    void AdvancedSettings();
    void CreateDvd();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildPhotoSide();
    QWidget* BuildMusicGroup();
    QWidget* BuildSettingsGroup();
    QPushButton* Button(const char* name, int labelKey, int tipKey, void (CDVDShowWindow::*slot)());

    void FillPhotoList(const std::vector<int>& selectRows);
    void FillMusicList();
    void Refresh();
    void UpdateButtons();
    void ShowCurrentPhoto();
    void PhotoSelectionChanged();
    void ThumbnailMade(const QString& path, const QImage& image);
    void ForgetQueuedThumbnails();
    void PhotosDropped(const std::vector<int>& rows, int destination);
    void AddPhotoFiles(const std::vector<std::string>& paths);
    void AddMusicFiles(const std::vector<std::string>& paths);
    void StopMusic();
    void SetBusy(bool busy);
    void ReadSettingsControls();
    std::vector<int> SelectedMusicRows() const;

    CDVDShowDlg model;
    bool busy = false;
    QHash<QString, QIcon> thumbnails;
    QSet<QString> requested;
    QIcon placeholder;

    CThumbnailMaker* maker = nullptr;
    CPhotoListWidget* photoList = nullptr;
    QLabel* photoPreview = nullptr;
    QLabel* statusTotals = nullptr;
    QLabel* statusCurrent = nullptr;
    QTreeWidget* musicList = nullptr;
    QLineEdit* folderEdit = nullptr;
    CDvdFormatBox* format = nullptr;
    QPushButton* addPhotos = nullptr;
    QPushButton* removePhotos = nullptr;
    QPushButton* removeAll = nullptr;
    QPushButton* photoSetting = nullptr;
    QPushButton* rotate = nullptr;
    QPushButton* saveProject = nullptr;
    QPushButton* loadProject = nullptr;
    QPushButton* addMusic = nullptr;
    QPushButton* removeMusic = nullptr;
    QPushButton* playMusic = nullptr;
    QPushButton* autoSync = nullptr;
    QPushButton* preview = nullptr;
    QPushButton* changeFolder = nullptr;
    QPushButton* advanced = nullptr;
    QPushButton* createDvd = nullptr;
    QPushButton* exitButton = nullptr;
    QTimer* refit = nullptr;  // fits the shown photo again once resizing pauses
    QMediaPlayer* player = nullptr;
    QAudioOutput* audioOutput = nullptr;
};
