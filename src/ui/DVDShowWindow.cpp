#include "ui/DVDShowWindow.h"

#include "ui/DvdFormatBox.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/PhotoListWidget.h"
#include "ui/QtUiPort.h"
#include "ui/RotateQuestion.h"
#include "ui/ThumbnailMaker.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <exception>

namespace {

// The size of the photo shown beside the list, and the window's least size.
constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 240;
constexpr int kMinWidth = 928;
constexpr int kMinHeight = 705;
constexpr const char* kNoSoundOutput = "No sound output was found, so the music cannot be played.";

const QStringList& PhotoSuffixes()
{
    static const QStringList suffixes{"jpg", "jpeg", "bmp", "png"};
    return suffixes;
}

const QStringList& MusicSuffixes()
{
    static const QStringList suffixes{"wav", "mp3", "mp2", "mpa", "aif", "aiff", "wma", "ogg", "ogm",
                                      "ra",  "rmj", "rmx", "au",  "snd", "flac", "m4a", "opus"};
    return suffixes;
}

// A Qt name filter for `suffixes` in both letter cases, named `name`.
QString Filter(const QString& name, const QStringList& suffixes)
{
    QStringList patterns;
    for (const QString& s : suffixes) patterns << "*." + s << "*." + s.toUpper();
    return name + " (" + patterns.join(' ') + ")";
}

QString PhotoFilter() { return Filter(T(3311) + "(*.jpg, *.bmp, *.png)", PhotoSuffixes()); }
QString MusicFilter()
{
    return Filter(T(3310) + "(*.wav,*.wma,*.mp3,*.ogg,*.ra,*.aiff,*.rmj,*.au,*.snd...)", MusicSuffixes());
}
QString ProjectFilter() { return T(3304) + " (*.osh *.osh.txt)"; }

// The program's remembered folder of a file dialog kind ("" without the program).
std::string RememberedFolder(int kind)
{
    return CGuiApp::Exists() ? CGuiApp::Instance().RememberedFolder(kind) : std::string();
}

// Remembers the folder of a chosen file for the next dialog of its kind.
void RememberFolder(int kind, const std::string& chosen)
{
    if (CGuiApp::Exists()) CGuiApp::Instance().RememberFolder(kind, chosen);
}

QIcon PlaceholderIcon()
{
    QPixmap blank(CThumbnailMaker::kSide, CThumbnailMaker::kSide);
    blank.fill(Qt::white);
    QPainter painter(&blank);
    painter.setPen(Qt::lightGray);
    painter.drawRect(0, 0, CThumbnailMaker::kSide - 1, CThumbnailMaker::kSide - 1);
    return QIcon(blank);
}

}  // namespace

CDVDShowWindow::CDVDShowWindow(QWidget* parent)
    : QDialog(parent),
      model(CGuiApp::Exists() ? CGuiApp::Instance().dvdFolder : std::string(),
            CGuiApp::Exists() ? CGuiApp::Instance().programFolder : std::string())
{
    setObjectName("slideShowWindow");
    setWindowTitle(T(4000).trimmed());
    setAcceptDrops(true);
    setSizeGripEnabled(true);
    placeholder = PlaceholderIcon();
    const QScreen* screen = QGuiApplication::primaryScreen();
    maker = new CThumbnailMaker(screen ? screen->devicePixelRatio() : 1.0, this);
    connect(maker, &CThumbnailMaker::Made, this, &CDVDShowWindow::ThumbnailMade);
    refit = new QTimer(this);
    refit->setSingleShot(true);
    refit->setInterval(150);
    connect(refit, &QTimer::timeout, this, &CDVDShowWindow::ShowCurrentPhoto);
    BuildLayout();
    Refresh();
}

CDVDShowWindow::~CDVDShowWindow()
{
    if (player) player->stop();
    delete maker;  // waits for the thumbnail being made
    maker = nullptr;
}

QPushButton* CDVDShowWindow::Button(const char* name, int labelKey, int tipKey, void (CDVDShowWindow::*slot)())
{
    auto* button = new QPushButton(T(labelKey), this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    if (tipKey) button->setToolTip(T(tipKey));
    connect(button, &QPushButton::clicked, this, slot);
    return button;
}

void CDVDShowWindow::BuildLayout()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(BuildPhotoSide(), 3);

    auto* right = new QVBoxLayout;
    photoPreview = new QLabel(this);
    photoPreview->setObjectName("photoPreview");
    photoPreview->setMinimumSize(kPreviewWidth, kPreviewHeight);
    photoPreview->setAlignment(Qt::AlignCenter);
    photoPreview->setAutoFillBackground(true);
    QPalette white = photoPreview->palette();
    white.setColor(QPalette::Window, Qt::white);
    photoPreview->setPalette(white);
    photoPreview->setFrameShape(QFrame::StyledPanel);
    right->addWidget(photoPreview, 1);
    statusTotals = new QLabel(this);
    statusTotals->setObjectName("statusTotals");
    statusTotals->setWordWrap(true);
    statusCurrent = new QLabel(this);
    statusCurrent->setObjectName("statusCurrent");
    statusCurrent->setWordWrap(true);
    statusCurrent->setMinimumWidth(kPreviewWidth);
    right->addWidget(statusTotals);
    right->addWidget(statusCurrent);
    top->addLayout(right, 2);
    layout->addLayout(top, 3);

    auto* middle = new QHBoxLayout;
    middle->addWidget(BuildMusicGroup(), 1);
    middle->addWidget(BuildSettingsGroup(), 1);
    layout->addLayout(middle, 2);

    auto* bottom = new QHBoxLayout;
    saveProject = Button("saveProject", 4006, 4105, &CDVDShowWindow::SaveProjectAs);
    loadProject = Button("loadProject", 4007, 4106, &CDVDShowWindow::LoadProjectFile);
    preview = Button("previewButton", 4019, 4111, &CDVDShowWindow::ShowPreview);
    createDvd = Button("createDvd", 4005, 4104, &CDVDShowWindow::CreateDvd);
    exitButton = new QPushButton(T(102), this);
    exitButton->setObjectName("exitButton");
    exitButton->setAutoDefault(false);
    exitButton->setToolTip(T(250));
    connect(exitButton, &QPushButton::clicked, this, &QDialog::close);
    bottom->addWidget(saveProject);
    bottom->addWidget(loadProject);
    bottom->addStretch(1);
    bottom->addWidget(preview);
    bottom->addWidget(createDvd);
    bottom->addWidget(exitButton);
    layout->addLayout(bottom);
    setMinimumSize(kMinWidth, kMinHeight);
}

QWidget* CDVDShowWindow::BuildPhotoSide()
{
    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);
    photoList = new CPhotoListWidget(side);
    photoList->setObjectName("photoList");
    photoList->setMinimumHeight(CThumbnailMaker::kSide * 2 + 80);
    column->addWidget(photoList, 1);
    connect(photoList, &QListWidget::itemSelectionChanged, this, &CDVDShowWindow::PhotoSelectionChanged);
    connect(photoList, &QListWidget::itemDoubleClicked, this, [this] { PhotoSettings(); });
    connect(photoList, &CPhotoListWidget::RowsDropped, this, &CDVDShowWindow::PhotosDropped);
    connect(photoList, &CPhotoListWidget::FilesDropped, this, &CDVDShowWindow::AddDroppedFiles);
    connect(photoList, &CPhotoListWidget::InsertPressed, this, [this] { AddPhotos(); });
    connect(photoList, &CPhotoListWidget::DeletePressed, this, [this] { RemovePhotos(); });

    auto* buttons = new QHBoxLayout;
    addPhotos = Button("addPhotos", 4001, 4100, &CDVDShowWindow::AddPhotos);
    removePhotos = Button("removePhotos", 4002, 4101, &CDVDShowWindow::RemovePhotos);
    removeAll = Button("removeAll", 4003, 4102, &CDVDShowWindow::RemoveAllPhotos);
    photoSetting = Button("photoSetting", 4004, 4103, &CDVDShowWindow::PhotoSettings);
    rotate = Button("rotate", 4020, 4112, &CDVDShowWindow::RotatePhotos);
    for (QPushButton* b : {addPhotos, removePhotos, removeAll, photoSetting, rotate}) buttons->addWidget(b);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return side;
}

QWidget* CDVDShowWindow::BuildMusicGroup()
{
    auto* group = new QGroupBox(T(4008), this);
    group->setObjectName("musicGroup");
    auto* column = new QVBoxLayout(group);
    musicList = new QTreeWidget(group);
    musicList->setObjectName("musicList");
    musicList->setColumnCount(2);
    musicList->setHeaderLabels({T(4009), T(4010)});
    musicList->setRootIsDecorated(false);
    musicList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    musicList->header()->setStretchLastSection(false);
    musicList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    musicList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(musicList, &QTreeWidget::itemSelectionChanged, this, &CDVDShowWindow::UpdateButtons);
    column->addWidget(musicList, 1);
    auto* buttons = new QHBoxLayout;
    addMusic = Button("addMusic", 4011, 4107, &CDVDShowWindow::AddMusic);
    removeMusic = Button("removeMusic", 4012, 4109, &CDVDShowWindow::RemoveMusic);
    playMusic = Button("playMusic", 4013, 4108, &CDVDShowWindow::PlayMusic);
    for (QPushButton* b : {addMusic, removeMusic, playMusic}) buttons->addWidget(b);
    buttons->addStretch(1);
    column->addLayout(buttons);
    autoSync = Button("autoSync", 4014, 4110, &CDVDShowWindow::AutoSync);
    column->addWidget(autoSync);
    return group;
}

QWidget* CDVDShowWindow::BuildSettingsGroup()
{
    auto* group = new QGroupBox(T(112), this);
    group->setObjectName("dvdSettingGroup");
    auto* column = new QVBoxLayout(group);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(T(110), group);
    folderLabel->setToolTip(T(205));
    folderEdit = new QLineEdit(Q(model.dvdFolder), group);
    folderEdit->setObjectName("dvdFolder");
    folderEdit->setToolTip(T(205));
    folderLabel->setBuddy(folderEdit);
    changeFolder = Button("changeFolder", 111, 206, &CDVDShowWindow::ChangeFolder);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(folderEdit, 1);
    folderRow->addWidget(changeFolder);
    column->addLayout(folderRow);

    format = new CDvdFormatBox(group, CDvdFormatBox::Arrangement::Row);
    format->Set(model.pal, model.resolution, model.wide);
    connect(format, &CDvdFormatBox::Changed, this, &CDVDShowWindow::ReadSettingsControls);
    column->addWidget(format);

    advanced = Button("advancedSetting", 126, 0, &CDVDShowWindow::AdvancedSettings);
    auto* advancedRow = new QHBoxLayout;
    advancedRow->addStretch(1);
    advancedRow->addWidget(advanced);
    column->addLayout(advancedRow);
    column->addStretch(1);
    return group;
}

void CDVDShowWindow::ReadSettingsControls()
{
    model.pal = format->Pal();
    model.resolution = format->Resolution();
    model.wide = format->Wide();
    // A typed folder follows the chooser's rule; an empty one leaves the job its default.
    const std::string folder = S(folderEdit->text().trimmed());
    if (folder.empty())
        model.dvdFolder.clear();
    else
        model.ChooseDvdFolder(folder);
}

std::vector<int> CDVDShowWindow::SelectedMusicRows() const
{
    std::vector<int> rows;
    for (QTreeWidgetItem* item : musicList->selectedItems()) rows.push_back(musicList->indexOfTopLevelItem(item));
    return rows;
}

void CDVDShowWindow::FillPhotoList(const std::vector<int>& selectRows)
{
    {
        const QSignalBlocker block(photoList);
        photoList->clear();
        for (const CAlbumPhoto& photo : model.album.photos) {
            const QString path = Q(photo.photoPath);
            auto* item = new QListWidgetItem(thumbnails.value(path, placeholder), Q(photo.name));
            item->setData(Qt::UserRole, path);
            item->setToolTip(path);
            photoList->addItem(item);
            if (!thumbnails.contains(path) && !requested.contains(path)) {
                requested.insert(path);
                maker->Request(path);
            }
        }
        for (int row : selectRows)
            if (row >= 0 && row < photoList->count()) photoList->item(row)->setSelected(true);
        const int current = model.CurrentPhoto();
        if (current >= 0 && current < photoList->count())
            photoList->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    }
    Refresh();
    ShowCurrentPhoto();
}

void CDVDShowWindow::FillMusicList()
{
    musicList->clear();
    for (const CAlbumMusic& music : model.album.music) {
        auto* item = new QTreeWidgetItem({QFileInfo(Q(music.path)).fileName(), Q(FormatSeconds(music.seconds))});
        item->setToolTip(0, Q(music.path));
        musicList->addTopLevelItem(item);
    }
    Refresh();
}

void CDVDShowWindow::Refresh()
{
    statusTotals->setText(Q(model.TotalsText()));
    statusCurrent->setText(Q(model.CurrentPhotoText()));
    UpdateButtons();
}

void CDVDShowWindow::UpdateButtons()
{
    const CDVDShowDlg::SButtonStates s = model.Buttons(MusicPlaying());
    const bool on = !busy;
    removePhotos->setEnabled(on && s.removePhotos);
    removeAll->setEnabled(on && s.removeAll);
    photoSetting->setEnabled(on && s.photoSetting);
    rotate->setEnabled(on && s.rotate);
    createDvd->setEnabled(on && s.createDvd);
    preview->setEnabled(on && s.preview);
    saveProject->setEnabled(on && s.saveProject);
    removeMusic->setEnabled(on && s.removeMusic);
    autoSync->setEnabled(on && s.autoSync);
    playMusic->setEnabled(on && s.playMusic);
    for (QWidget* w : std::initializer_list<QWidget*>{addPhotos, loadProject, addMusic, changeFolder, advanced,
                                                      exitButton, folderEdit, format})
        w->setEnabled(on);
    photoList->setDragEnabled(on);
    photoList->setAcceptDrops(on);
}

void CDVDShowWindow::ShowCurrentPhoto()
{
    const int row = model.CurrentPhoto();
    QPixmap picture;
    if (row >= 0) {
        // Made at the screen's pixel density, within the 1,048,576 pixels a fitted photo may have.
        const qreal ratio = photoPreview->devicePixelRatioF();
        const QSize area = (QSizeF(photoPreview->contentsRect().size()) * ratio).toSize().boundedTo(QSize(1024, 1024));
        const QImage fitted = CThumbnailMaker::MakeFitted(Q(model.album.photos[size_t(row)].photoPath),
                                                          std::max(area.width(), 16), std::max(area.height(), 16));
        if (!fitted.isNull()) {
            picture = QPixmap::fromImage(fitted);
            picture.setDevicePixelRatio(ratio);
        }
    }
    photoPreview->setPixmap(picture);
}

void CDVDShowWindow::PhotoSelectionChanged()
{
    const std::vector<int> rows = photoList->SelectedRows();
    int current = photoList->currentRow();
    if (std::find(rows.begin(), rows.end(), current) == rows.end()) current = rows.empty() ? -1 : rows.front();
    if (current == model.CurrentPhoto()) {
        UpdateButtons();
        return;
    }
    model.SelectPhoto(current);
    Refresh();
    ShowCurrentPhoto();
}

void CDVDShowWindow::ThumbnailMade(const QString& path, const QImage& image)
{
    requested.remove(path);
    const QIcon icon = image.isNull() ? placeholder : QIcon(QPixmap::fromImage(image));
    thumbnails.insert(path, icon);
    for (int i = 0; i < photoList->count(); ++i) {
        QListWidgetItem* item = photoList->item(i);
        if (item->data(Qt::UserRole).toString() == path) item->setIcon(icon);
    }
}

void CDVDShowWindow::ForgetQueuedThumbnails()
{
    // A thumbnail being made still arrives and is kept; the ones waiting are not made.
    maker->ClearQueue();
    requested.clear();
}

bool CDVDShowWindow::ThumbnailsPending() const { return !requested.isEmpty() || maker->Busy(); }

bool CDVDShowWindow::MusicPlaying() const { return player && player->playbackState() == QMediaPlayer::PlayingState; }

void CDVDShowWindow::PhotosDropped(const std::vector<int>& rows, int destination)
{
    const int first = model.MovePhotos(rows, destination);
    if (first < 0) return;
    std::vector<int> moved;
    for (size_t i = 0; i < rows.size(); ++i) moved.push_back(first + int(i));
    FillPhotoList(moved);
}

void CDVDShowWindow::AddPhotos()
{
    if (busy) return;
    const std::vector<std::string> files =
        GuiPort().ChooseOpenFiles(T(4001), RememberedFolder(CKestrovaApp::kPhoto), PhotoFilter(), true);
    if (files.empty()) return;
    RememberFolder(CKestrovaApp::kPhoto, files.front());
    AddPhotoFiles(files);
}

void CDVDShowWindow::AddPhotoFiles(const std::vector<std::string>& paths)
{
    GuiPort().SetParentWindow(this);
    model.AddPhotos(paths, GuiPort());
    FillPhotoList(photoList->SelectedRows());
}

void CDVDShowWindow::AddDroppedFiles(const QStringList& paths)
{
    if (busy) return;
    std::vector<std::string> photos, music;
    for (const QString& path : paths) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (PhotoSuffixes().contains(suffix)) photos.push_back(S(path));
        if (MusicSuffixes().contains(suffix)) music.push_back(S(path));
    }
    if (!photos.empty()) AddPhotoFiles(photos);
    if (!music.empty()) AddMusicFiles(music);
}

void CDVDShowWindow::RemovePhotos()
{
    if (busy) return;
    const std::vector<int> rows = photoList->SelectedRows();
    if (rows.empty()) return;
    const int current = model.RemovePhotos(rows);
    FillPhotoList(current >= 0 ? std::vector<int>{current} : std::vector<int>{});
}

void CDVDShowWindow::RemoveAllPhotos()
{
    if (busy) return;
    model.RemoveAllPhotos();
    ForgetQueuedThumbnails();
    FillPhotoList({});
}

void CDVDShowWindow::PhotoSettings()
{
    if (busy || model.album.photos.empty()) return;
    const std::vector<int> rows = photoList->SelectedRows();
    StopMusic();
    if (OpenPhotoSettings(this, model, rows)) FillPhotoList(rows);
}

void CDVDShowWindow::RotatePhotos()
{
    if (busy) return;
    const std::vector<int> rows = photoList->SelectedRows();
    if (!model.CheckRotateSelection(rows, GuiPort())) return;
    const int turn = CRotateQuestion::Ask(this);
    if (turn < 0) return;
    for (int row : model.Rotate(rows, turn, GuiPort())) {
        // A copy written again under the same name needs a new thumbnail.
        const QString path = Q(model.album.photos[size_t(row)].photoPath);
        thumbnails.remove(path);
        requested.remove(path);
    }
    FillPhotoList(rows);
}

void CDVDShowWindow::SaveProjectAs()
{
    if (busy) return;
    const std::optional<std::string> path = GuiPort().ChooseSaveFile(T(4006), RememberedFolder(CKestrovaApp::kProject),
                                                                     T(3304) + " (*.osh)", kProjectExtension);
    if (!path) return;
    RememberFolder(CKestrovaApp::kProject, *path);
    std::string error;
    if (!model.SaveProject(*path, &error)) GuiPort().MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
}

void CDVDShowWindow::LoadProjectFile()
{
    if (busy) return;
    const std::vector<std::string> files =
        GuiPort().ChooseOpenFiles(T(4007), RememberedFolder(CKestrovaApp::kProject), ProjectFilter(), false);
    if (files.empty()) return;
    RememberFolder(CKestrovaApp::kProject, files.front());
    OpenProject(files.front());
}

bool CDVDShowWindow::OpenProject(const std::string& path)
{
    StopMusic();
    GuiPort().SetParentWindow(this);
    std::string error;
    std::vector<std::string> notes;
    if (!model.LoadProject(path, GuiPort(), &error, &notes)) {
        GuiPort().MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    ForgetQueuedThumbnails();
    FillPhotoList({});
    FillMusicList();
    if (!notes.empty()) {
        std::string text = path + ":";
        for (const std::string& note : notes) text += "\n" + note;
        GuiPort().MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Information);
    }
    return true;
}

void CDVDShowWindow::AddMusic()
{
    if (busy) return;
    const std::vector<std::string> files =
        GuiPort().ChooseOpenFiles(T(4011), RememberedFolder(CKestrovaApp::kMusic), MusicFilter(), true);
    if (files.empty()) return;
    RememberFolder(CKestrovaApp::kMusic, files.front());
    AddMusicFiles(files);
}

void CDVDShowWindow::AddMusicFiles(const std::vector<std::string>& paths)
{
    model.AddMusic(paths, GuiPort());
    FillMusicList();
}

void CDVDShowWindow::RemoveMusic()
{
    if (busy) return;
    const std::vector<int> rows = SelectedMusicRows();
    if (rows.empty()) return;
    StopMusic();
    model.RemoveMusic(rows);
    FillMusicList();
}

void CDVDShowWindow::PlayMusic()
{
    if (MusicPlaying()) {
        StopMusic();
        return;
    }
    if (model.album.music.empty()) return;
    std::vector<int> rows = SelectedMusicRows();
    const int row = rows.empty() ? 0 : *std::min_element(rows.begin(), rows.end());
    if (!player) {
        // Qt's media player cannot be made without a sound output (it crashes), so
        // that case is told rather than tried.
        if (QMediaDevices::audioOutputs().isEmpty()) {
            GuiPort().MessageBox(kNoSoundOutput, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        // Made on first use: the media back end starts only when someone listens.
        player = new QMediaPlayer(this);
        audioOutput = new QAudioOutput(this);
        player->setAudioOutput(audioOutput);
        connect(player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
            if (state == QMediaPlayer::StoppedState) playMusic->setText(T(4013));
            UpdateButtons();
        });
        connect(player, &QMediaPlayer::errorOccurred, this, [this] { StopMusic(); });
    }
    player->setSource(QUrl::fromLocalFile(Q(model.album.music[size_t(row)].path)));
    player->play();
    playMusic->setText(T(4512));
    UpdateButtons();
}

void CDVDShowWindow::StopMusic()
{
    if (player) player->stop();
    if (playMusic) playMusic->setText(T(4013));
}

void CDVDShowWindow::AutoSync()
{
    if (busy) return;
    model.AutoSync(GuiPort());
    Refresh();
}

void CDVDShowWindow::ShowPreview()
{
    if (busy) return;
    if (model.album.photos.empty()) {
        GuiPort().MessageBox(S(T(4302)), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    StopMusic();
    OpenPreview(this, model.album);
}

void CDVDShowWindow::ChangeFolder()
{
    if (busy) return;
    const std::optional<std::string> folder =
        GuiPort().ChooseFolder("Please select a destination folder.", S(folderEdit->text()));
    if (!folder) return;
    folderEdit->setText(Q(model.ChooseDvdFolder(*folder)));
    ReadSettingsControls();
}

void CDVDShowWindow::AdvancedSettings()
{
    if (busy) return;
    CAdvSetupDlg dialog = model.AdvancedDialog();
    if (OpenAdvancedSettings(this, dialog)) model.AcceptAdvanced(dialog);
}

void CDVDShowWindow::SetBusy(bool busy_)
{
    busy = busy_;
    photoList->setEnabled(!busy);
    musicList->setEnabled(!busy);
    UpdateButtons();
}

void CDVDShowWindow::CreateDvd()
{
    if (busy) return;
    StopMusic();
    ReadSettingsControls();
    if (!model.dvdFolder.empty()) folderEdit->setText(Q(model.dvdFolder));
    SetBusy(true);
    // The job runs beside the window thread; the burn window it asks for opens here once
    // the job has ended.
    std::string burnFolder;
    GuiPort().ClearStop();
    GuiPort().SetParentWindow(this);
    try {
        RunJob([&] { model.CreateDvd(GuiPort(), [&](const std::string& folder) { burnFolder = folder; }); });
    } catch (const std::exception& e) {
        GuiPort().MessageBox(std::string("The DVD could not be made: ") + e.what(), "Kestrova", MsgButtons::Ok,
                             MsgIcon::Error);
    }
    SetBusy(false);
    Refresh();
    if (!burnFolder.empty()) OpenBurnWindow(this, burnFolder);
}

void CDVDShowWindow::reject()
{
    if (busy) return;
    QDialog::reject();
}

void CDVDShowWindow::closeEvent(QCloseEvent* event)
{
    // The job's progress window has the Cancel button; the window stays until it ends.
    if (busy) {
        event->ignore();
        return;
    }
    StopMusic();
    QDialog::closeEvent(event);
}

void CDVDShowWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The photo is decoded again for the new size, once, when the resizing pauses.
    if (model.CurrentPhoto() >= 0) refit->start();
}

void CDVDShowWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!busy && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDVDShowWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    AddDroppedFiles(paths);
}

QWidget* OpenSlideShowWindow(QWidget* parent, const std::string& projectFile)
{
    auto* window = new CDVDShowWindow(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    if (!projectFile.empty()) window->OpenProject(projectFile);
    return window;
}
