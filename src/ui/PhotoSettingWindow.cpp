#include "ui/PhotoSettingWindow.h"

#include "app/DVDShowDlg.h"
#include "app/PhotoFitter.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 240;
constexpr int kMostSeconds = 24 * 3600;

QSpinBox* Seconds(QWidget* parent, const char* name, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, kMostSeconds);
    box->setValue(value);
    return box;
}

QComboBox* NameList(QWidget* parent, const char* name, const std::vector<std::string>& names, const std::string& chosen)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (const std::string& entry : names) box->addItem(Q(entry));
    box->setCurrentIndex(CPhotoSettingDlg::IndexOfName(names, chosen));
    return box;
}

// A row of a spin box and the word "Seconds".
QWidget* WithSeconds(QWidget* parent, QSpinBox* box)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    layout->addWidget(new QLabel(T(4503), row));
    layout->addStretch(1);
    return row;
}

}  // namespace

CPhotoSettingWindow::CPhotoSettingWindow(QWidget* parent, CAlbum& album, const std::vector<int>& rows)
    : QDialog(parent), values(album, rows)
{
    setObjectName("photoSettings");
    setWindowTitle(T(4500));
    auto* layout = new QHBoxLayout(this);

    picture = new QLabel(this);
    picture->setObjectName("photoPicture");
    picture->setFixedSize(kPictureWidth, kPictureHeight);
    picture->setAlignment(Qt::AlignCenter);
    picture->setStyleSheet("background: black;");
    layout->addWidget(picture, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    auto* form = new QFormLayout;
    showTime = Seconds(this, "showTime", values.showSeconds);
    showTime->setToolTip(T(4600));
    transitionTime = Seconds(this, "transitionTime", values.transitionSeconds);
    transitionTime->setToolTip(T(4601));
    form->addRow(T(4501), WithSeconds(this, showTime));
    form->addRow(T(4502), WithSeconds(this, transitionTime));
    column->addLayout(form);

    panZoom = NameList(this, "panZoom", CPhotoSettingDlg::PanZoomNames(), values.panZoomName);
    panZoom->setToolTip(T(4602));
    transition = NameList(this, "transition", CPhotoSettingDlg::TransitionNames(), values.transitionName);
    transition->setToolTip(T(4603));
    column->addWidget(new QLabel(T(4504), this));
    column->addWidget(panZoom);
    column->addWidget(new QLabel(T(4505), this));
    column->addWidget(transition);

    auto* narrationRow = new QHBoxLayout;
    narrationRow->addWidget(new QLabel(T(4506), this));
    narration = new QLabel(this);
    narration->setObjectName("narrationText");
    narrationRow->addWidget(narration, 1);
    column->addLayout(narrationRow);
    auto* narrationButtons = new QHBoxLayout;
    record = new QPushButton(T(4510), this);
    record->setObjectName("record");
    play = new QPushButton(T(4511), this);
    play->setObjectName("play");
    erase = new QPushButton(T(4513), this);
    erase->setObjectName("erase");
    erase->setToolTip(T(4608));
    for (QPushButton* button : {record, play, erase}) {
        button->setAutoDefault(false);
        narrationButtons->addWidget(button);
    }
    narrationButtons->addStretch(1);
    column->addLayout(narrationButtons);

    applyAll = new QCheckBox(T(4514), this);
    applyAll->setObjectName("applyToAll");
    column->addWidget(applyAll);
    column->addStretch(1);
    column->addWidget(OkCancelButtons(*this));
    layout->addLayout(column, 1);

    connect(record, &QPushButton::clicked, this, &CPhotoSettingWindow::ToggleRecording);
    connect(play, &QPushButton::clicked, this, &CPhotoSettingWindow::TogglePlaying);
    connect(erase, &QPushButton::clicked, this, &CPhotoSettingWindow::EraseNarration);

    // A narration longer than the showing time raises it as soon as the window opens.
    values.MeasureNarration();
    showTime->setValue(values.showSeconds);
    ShowNarration();
    ShowPhoto();
}

CPhotoSettingWindow::~CPhotoSettingWindow() { StopPlaying(); }

void CPhotoSettingWindow::ShowPhoto()
{
    const std::string path = values.PhotoPath();
    if (path.empty()) return;
    const qreal ratio = devicePixelRatioF();
    const int width = int(kPictureWidth * ratio);
    const int height = int(kPictureHeight * ratio);
    CPhotoFitter fitter;
    std::vector<uint8_t> rgba;
    if (!fitter.Fit(path, width, height, rgba, true)) return;
    const QImage view(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    QPixmap pixmap = QPixmap::fromImage(view.copy());
    pixmap.setDevicePixelRatio(ratio);
    picture->setPixmap(pixmap);
}

void CPhotoSettingWindow::ShowNarration()
{
    narration->setText(Q(values.NarrationText()));
    const bool recording = values.IsRecording();
    const bool playing = player && player->playbackState() == QMediaPlayer::PlayingState;
    record->setText(recording ? T(4512) : T(4510));
    record->setToolTip(recording ? T(4605) : T(4604));
    record->setEnabled(!playing);
    play->setText(playing ? T(4512) : T(4511));
    play->setToolTip(playing ? T(4607) : T(4606));
    // Without a sound output there is nothing to play the narration through.
    play->setEnabled(values.HasNarration() && !recording && !QMediaDevices::defaultAudioOutput().isNull());
    erase->setEnabled(values.HasNarration() && !recording && !playing);
}

void CPhotoSettingWindow::ToggleRecording()
{
    if (values.IsRecording()) {
        if (!values.StopRecording()) GuiPort().MessageBox(values.Error(), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        showTime->setValue(std::max(showTime->value(), values.narrationSeconds));
    } else {
        StopPlaying();
        if (!values.StartRecording())
            GuiPort().MessageBox(values.Error(), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    }
    ShowNarration();
}

void CPhotoSettingWindow::TogglePlaying()
{
    if (player && player->playbackState() == QMediaPlayer::PlayingState) {
        StopPlaying();
        ShowNarration();
        return;
    }
    if (!values.HasNarration()) return;
    if (!player) {
        player = new QMediaPlayer(this);
        output = new QAudioOutput(this);
        player->setAudioOutput(output);
        connect(player, &QMediaPlayer::playbackStateChanged, this, [this] { ShowNarration(); });
    }
    player->setSource(QUrl::fromLocalFile(Q(values.narrationPath)));
    player->play();
    ShowNarration();
}

void CPhotoSettingWindow::StopPlaying()
{
    if (player) player->stop();
}

void CPhotoSettingWindow::EraseNarration()
{
    StopPlaying();
    values.Erase();
    ShowNarration();
}

void CPhotoSettingWindow::accept()
{
    StopPlaying();
    values.showSeconds = showTime->value();
    values.transitionSeconds = transitionTime->value();
    values.panZoomName = S(panZoom->currentText());
    values.transitionName = S(transition->currentText());
    values.applyToAll = applyAll->isChecked();
    values.Accept();
    QDialog::accept();
}

void CPhotoSettingWindow::reject()
{
    StopPlaying();
    // A recording still running is ended, so the microphone is let go; it is not
    // attached to the photo.
    if (values.IsRecording()) values.StopRecording();
    QDialog::reject();
}

bool OpenPhotoSettings(QWidget* parent, CDVDShowDlg& show, const std::vector<int>& rows)
{
    if (show.album.photos.empty()) return false;
    CPhotoSettingWindow window(parent, show.album, rows);
    return window.exec() == QDialog::Accepted;
}
