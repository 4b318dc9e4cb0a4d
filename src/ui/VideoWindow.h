// The "Convert video files to DVDs" window over CVideoDVDJob: the media list (file,
// duration, sound, range, size, with a thumbnail of each file's first picture, rows
// dragged into order), the subtitle list beside it, the DVD settings and the folder,
// and Create DVD, which runs the job on a worker thread with the window's controls
// disabled and offers the burn window when the DVD is ready.
#pragma once

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/VideoDVDJob.h"

class CMediaListView;
class CDvdFormatBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class CVideoWindow : public QDialog {
    Q_OBJECT
public:
    explicit CVideoWindow(QWidget* parent);
    ~CVideoWindow() override;

    // Adds each file in turn as Add Media does after the chooser (probe, row, the
    // subtitle question); returns how many rows were added.
    int AddFiles(const std::vector<std::string>& paths);
    // Adds what a drop of `items` (files and folders) brings: the video files among them
    // and in the folders' trees.
    int DropItems(const std::vector<std::string>& items);
    // Opens the range dialog of row `row` (modal); true when it was accepted.
    bool EditRange(int row);
    // Moves the rows `rows` before row `insertAt`, as a drag in the list does.
    void MoveRows(const std::vector<int>& rows, int insertAt);
    // Makes the DVD from the list (Create DVD); returns what the job did.
    CVideoDVDJob::Result CreateDvd();

    // The program that plays a file for Play (the desktop's default player unless set).
    void SetPlayer(std::function<void(const std::string& path)> player_) { player = std::move(player_); }

    CVideoDVDJob& Job() { return *job; }
    // The thumbnail shown for `path`; null until it has been made.
    QIcon Thumbnail(const std::string& path) const { return thumbnails.value(QString::fromStdString(path)); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildLists(QLayout* layout);
    QWidget* BuildSettings();
    void AddMedia();
    void PlayMedia();
    void RemoveMedia();
    void AddSubtitles();
    void RemoveSubtitles();
    void ChangeFolder();
    void AdvancedSettings();
    // Shows the job's rows and subtitles again, selecting `current` (-1: none).
    void ShowRows(int current);
    void ShowSubtitles();
    void ShowTotal();
    void UpdateButtons();
    // Starts making the thumbnail of `path` on the thread pool unless it has one.
    void RequestThumbnail(const std::string& path);
    void ThumbnailMade(const QString& path, const QImage& image);
    // Reads the settings shown into the job.
    void ReadControls();
    void SetBusy(bool busy);

    std::unique_ptr<CVideoDVDJob> job;
    std::function<void(const std::string&)> player;
    bool busy = false;
    QHash<QString, QIcon> thumbnails;
    QSet<QString> thumbnailsPending;

    CMediaListView* mediaList;
    QTreeWidget* subtitleList;
    QLabel* total;
    QPushButton* addMedia;
    QPushButton* play;
    QPushButton* removeMedia;
    QPushButton* createDvd;
    QPushButton* exitButton;
    QPushButton* addSubtitles;
    QPushButton* removeSubtitles;
    CDvdFormatBox* format;
    QLineEdit* folderBox;
    QPushButton* change;
    QPushButton* advanced;
    // Last: its destruction waits for the thumbnails still being made.
    QThreadPool thumbnailPool;
};
