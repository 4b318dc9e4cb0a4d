#include "ui/CamcorderWindow.h"

#include "app/DvCaptureJob.h"
#include "platform/Folders.h"
#include "ui/DvdFormatBox.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The VCR buttons: text, tool tip, name and the command they send.
struct STransportButton {
    int textKey;
    int tipKey;
    const char* name;
    CDvCaptureJob::EVcr button;
};
constexpr STransportButton kTransportButtons[] = {
    {5002, 5103, "vcrPlay", CDvCaptureJob::EVcr::Play},
    {5003, 5104, "vcrPause", CDvCaptureJob::EVcr::Pause},
    {5004, 5105, "vcrStop", CDvCaptureJob::EVcr::Stop},
    {5005, 5106, "vcrFastForward", CDvCaptureJob::EVcr::FastForward},
    {5006, 5107, "vcrRewind", CDvCaptureJob::EVcr::Rewind},
    {5007, 5108, "vcrFastPlayFwd", CDvCaptureJob::EVcr::FastPlayForward},
    {5008, 5109, "vcrFastPlayRev", CDvCaptureJob::EVcr::FastPlayReverse},
};

// The preview's size in pixels: the picture's width at 4:3 or 16:9.
constexpr int kPreviewWidth = 360;

std::string StartFolder()
{
    if (CGuiApp::Exists() && !CGuiApp::Instance().dvdFolder.empty()) return CGuiApp::Instance().dvdFolder;
    return CFolders::DefaultDvdFolder();
}

}  // namespace

CCamcorderWindow::CCamcorderWindow(QWidget* parent, const std::string& device, const CDvCaptureJob::SStandIn& standIn)
    : QWidget(parent, Qt::Window), job(std::make_unique<CDvCaptureJob>(GuiPort()))
{
    setObjectName("camcorderWindow");
    setWindowTitle(T(5000));
    job->dvdFolder = StartFolder();
    BuildLayout();
    Connect();
    job->OpenNamedDevice(device, standIn);
    if (job->DeviceOpen()) job->pal = job->SourceIsPal();
    ShowDevice();
}

CCamcorderWindow::~CCamcorderWindow() = default;

bool CCamcorderWindow::DeviceOpen() const { return job->DeviceOpen(); }

QPushButton* CCamcorderWindow::Button(int textKey, int tipKey, const char* name)
{
    auto* button = new QPushButton(T(textKey), this);
    button->setObjectName(name);
    if (tipKey) button->setToolTip(T(tipKey));
    button->setAutoDefault(false);
    return button;
}

QWidget* CCamcorderWindow::BuildPreviewSide()
{
    auto* side = new QWidget(this);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    preview = new QLabel(side);
    preview->setObjectName("preview");
    preview->setAlignment(Qt::AlignCenter);
    preview->setMinimumSize(kPreviewWidth, kPreviewWidth * 3 / 4);
    preview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    preview->setStyleSheet("QLabel { background: black; color: white; }");
    layout->addWidget(preview, 1);
    deviceText = new QLabel(side);
    deviceText->setObjectName("deviceText");
    deviceText->setWordWrap(true);
    layout->addWidget(deviceText);

    auto* vcr = new QGroupBox(T(5001), side);
    vcr->setObjectName("vcrControl");
    auto* grid = new QGridLayout(vcr);
    int i = 0;
    for (const STransportButton& b : kTransportButtons) {
        QPushButton* button = Button(b.textKey, b.tipKey, b.name);
        grid->addWidget(button, i / 4, i % 4);
        transportButtons.push_back(button);
        ++i;
    }
    layout->addWidget(vcr);
    return side;
}

QWidget* CCamcorderWindow::BuildSettingsSide()
{
    auto* side = new QWidget(this);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* captureBox = new QGroupBox(T(5009), side);
    captureBox->setObjectName("captureGroup");
    auto* captureGrid = new QGridLayout(captureBox);
    capture = Button(5010, 5100, "capture");
    playAndCapture = Button(5011, 5101, "playAndCapture");
    captureGrid->addWidget(capture, 0, 0);
    captureGrid->addWidget(playAndCapture, 0, 1, 1, 2);
    captureGrid->addWidget(new QLabel(T(5012), captureBox), 1, 0);
    footage = new QSpinBox(captureBox);
    footage->setObjectName("footage");
    // One past the last footage shows that the DVD is full (a capture there is refused).
    footage->setRange(1, CDvCaptureJob::maxFootage + 1);
    captureGrid->addWidget(footage, 1, 1, 1, 2);
    captureGrid->addWidget(new QLabel(T(5013), captureBox), 2, 0);
    lengthSeconds = new QSpinBox(captureBox);
    lengthSeconds->setObjectName("lengthSeconds");
    lengthSeconds->setRange(int(CDvCaptureJob::minSeconds), int(CDvCaptureJob::maxSeconds));
    lengthSeconds->setValue(int(CDvCaptureJob::defaultSeconds));
    captureGrid->addWidget(lengthSeconds, 2, 1);
    captureGrid->addWidget(new QLabel(T(5014), captureBox), 2, 2);
    layout->addWidget(captureBox);

    auto* folderGroup = new QGroupBox(T(110), side);
    folderGroup->setObjectName("folderGroup");
    auto* folderRow = new QHBoxLayout(folderGroup);
    folderBox = new QLineEdit(Q(job->dvdFolder), folderGroup);
    folderBox->setObjectName("folderBox");
    folderBox->setToolTip(T(205));
    change = Button(111, 206, "changeFolder");
    folderRow->addWidget(folderBox, 1);
    folderRow->addWidget(change);
    layout->addWidget(folderGroup);

    auto* settings = new QGroupBox(T(112), side);
    settings->setObjectName("dvdSetting");
    auto* settingsLayout = new QVBoxLayout(settings);
    format = new CDvdFormatBox(settings, CDvdFormatBox::Arrangement::Stack);
    settingsLayout->addWidget(format);
    advancedButton = Button(126, 0, "advancedSetting");
    settingsLayout->addWidget(advancedButton);
    layout->addWidget(settings);
    layout->addStretch(1);
    return side;
}

void CCamcorderWindow::BuildLayout()
{
    auto* layout = new QVBoxLayout(this);
    auto* sides = new QHBoxLayout;
    sides->addWidget(BuildPreviewSide(), 3);
    sides->addWidget(BuildSettingsSide(), 2);
    layout->addLayout(sides, 1);
    auto* buttons = new QHBoxLayout;
    openFile = Button(0, 0, "openDvFile");
    openFile->setText("Open DV File...");
    openFile->setToolTip("Capture from a DV file (.dv, or DV in AVI or MOV) as if it were the camcorder's tape.");
    createDvd = Button(5015, 5102, "createDvd");
    exitButton = Button(102, 250, "exit");
    buttons->addWidget(openFile);
    buttons->addStretch(1);
    buttons->addWidget(createDvd);
    buttons->addWidget(exitButton);
    layout->addLayout(buttons);
    previewTimer = new QTimer(this);
    previewTimer->setInterval(40);
}

void CCamcorderWindow::Connect()
{
    for (size_t i = 0; i < transportButtons.size(); ++i) {
        const CDvCaptureJob::EVcr button = kTransportButtons[i].button;
        connect(transportButtons[i], &QPushButton::clicked, this, [this, button] { SendVcr(button); });
    }
    connect(capture, &QPushButton::clicked, this, [this] { Capture(false); });
    connect(playAndCapture, &QPushButton::clicked, this, [this] { Capture(true); });
    connect(change, &QPushButton::clicked, this, &CCamcorderWindow::ChangeFolder);
    connect(advancedButton, &QPushButton::clicked, this, &CCamcorderWindow::OpenAdvanced);
    connect(openFile, &QPushButton::clicked, this, &CCamcorderWindow::ChooseDvFile);
    connect(createDvd, &QPushButton::clicked, this, &CCamcorderWindow::CreateDvd);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(format, &CDvdFormatBox::Changed, this, &CCamcorderWindow::ShowAspect);
    connect(previewTimer, &QTimer::timeout, this, &CCamcorderWindow::RefreshPreview);
}

void CCamcorderWindow::ShowDevice()
{
    footage->setValue(job->footage);
    format->Set(job->pal, format->Resolution(), format->Wide());
    ShowAspect();
    if (job->DeviceOpen()) {
        deviceText->setText(Q(job->DeviceName()));
        preview->setText("");
        job->StartPreview();
        previewTimer->start();
    } else {
        deviceText->setText("");
        previewTimer->stop();
    }
    EnableControls(true);
}

void CCamcorderWindow::ShowAspect()
{
    const int height = format->Wide() ? kPreviewWidth * 9 / 16 : kPreviewWidth * 3 / 4;
    job->SetPreviewSize(kPreviewWidth, height);
}

void CCamcorderWindow::EnableControls(bool enable)
{
    const bool open = job->DeviceOpen();
    const bool vcr = enable && open && job->TransportEnabled();
    for (QPushButton* button : transportButtons) button->setEnabled(vcr);
    // Stop ends a running capture too, and with it the tape.
    if (capturing && open && job->TransportEnabled()) transportButtons[2]->setEnabled(true);
    capture->setEnabled(enable && open);
    playAndCapture->setEnabled(vcr);
    for (QWidget* control : std::initializer_list<QWidget*>{footage, lengthSeconds, folderBox, change, format,
                                                            advancedButton, openFile, createDvd, exitButton})
        control->setEnabled(enable);
}

void CCamcorderWindow::ReadSettings()
{
    job->dvdFolder = S(folderBox->text());
    job->footage = footage->value();
    job->lengthSeconds = lengthSeconds->value();
    job->pal = format->Pal();
    job->resolution = format->Resolution();
    job->wide = format->Wide();
}

void CCamcorderWindow::SendVcr(CDvCaptureJob::EVcr button)
{
    if (capturing) {
        // During a capture only Stop is offered: it ends the capture, which stops the tape.
        if (button == CDvCaptureJob::EVcr::Stop) job->StopCapture();
        return;
    }
    job->SendVcr(button);
}

bool CCamcorderWindow::Capture(bool play)
{
    if (capturing || !job->DeviceOpen()) return false;
    ReadSettings();
    job->playAndCapture = play;
    const int before = job->footage;
    capturing = true;
    EnableControls(false);
    CDvCaptureJob::Result result = CDvCaptureJob::Result::Failed;
    GuiPort().ClearStop();
    RunJob([&] { result = job->Capture(); });
    capturing = false;
    EnableControls(true);
    RefreshPreview();
    folderBox->setText(Q(job->dvdFolder));
    footage->setValue(job->footage);
    return job->footage > before && (result == CDvCaptureJob::Result::Done || result == CDvCaptureJob::Result::Stopped);
}

void CCamcorderWindow::CreateDvd()
{
    ReadSettings();
    job->FinishDvd([this](const std::string& folder) { OpenBurnWindow(this, folder); });
}

void CCamcorderWindow::ChangeFolder()
{
    const std::optional<std::string> chosen =
        GuiPort().ChooseFolder("Please select a destination folder.", S(folderBox->text()));
    if (chosen) folderBox->setText(Q(CFolders::WithSlash(*chosen)));
}

void CCamcorderWindow::OpenAdvanced()
{
    if (!OpenAdvancedSettings(this, advanced)) return;
    CDVDParams params;
    CAdvJobChoices choices;
    advanced.Accept(params, choices);
    CAdvSetupDlg::ApplyToJob(params, choices, *job);
}

bool CCamcorderWindow::OpenDvFile(const std::string& path)
{
    if (capturing) return false;
    // A file that cannot be used leaves the device open before it in place.
    auto trial = std::make_unique<CDvCaptureJob>(GuiPort());
    if (!trial->OpenNamedDevice(path, CDvCaptureJob::SStandIn())) return false;
    ReadSettings();
    trial->dvdFolder = job->dvdFolder;
    trial->footage = job->footage;
    trial->lengthSeconds = job->lengthSeconds;
    trial->resolution = job->resolution;
    trial->wide = job->wide;
    trial->compressAudio = job->compressAudio;
    trial->highQuality = job->highQuality;
    trial->discSizeText = job->discSizeText;
    trial->intraMatrixText = job->intraMatrixText;
    trial->interMatrixText = job->interMatrixText;
    trial->audioDelay = job->audioDelay;
    trial->videoDelay = job->videoDelay;
    trial->pal = trial->SourceIsPal();
    job = std::move(trial);
    previewSerial = 0;
    picture = QImage();
    preview->setPixmap(QPixmap());
    ShowDevice();
    return true;
}

bool CCamcorderWindow::ChooseDvFile()
{
    const std::vector<std::string> files = GuiPort().ChooseOpenFiles(
        "Open DV File", CGuiApp::Exists() ? CGuiApp::Instance().RememberedFolder(CKestrovaApp::kMedia) : "",
        "DV Files (*.dv *.dif *.avi *.mov);;All Files (*)", false);
    if (files.empty()) return false;
    if (CGuiApp::Exists()) CGuiApp::Instance().RememberFolder(CKestrovaApp::kMedia, files.front());
    return OpenDvFile(files.front());
}

void CCamcorderWindow::RefreshPreview()
{
    int32_t width = 0, height = 0;
    if (!job->TakePreview(previewPixels, width, height, previewSerial)) return;
    // The picture is already made; the window only copies it and fits it to the label.
    picture =
        QImage(reinterpret_cast<const uchar*>(previewPixels.data()), width, height, width * 4, QImage::Format_RGB32)
            .copy();
    ShowPicture();
}

void CCamcorderWindow::ShowPicture()
{
    if (picture.isNull()) return;
    preview->setPixmap(QPixmap::fromImage(picture.scaled(preview->size(), Qt::KeepAspectRatio)));
}

void CCamcorderWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ShowPicture();
}

void CCamcorderWindow::closeEvent(QCloseEvent* event)
{
    if (capturing) {
        // The capture ends first (keeping what it captured); then the window may close.
        job->StopCapture();
        event->ignore();
        return;
    }
    job->SendVcr(CDvCaptureJob::EVcr::Stop);
    QWidget::closeEvent(event);
}

QWidget* OpenCamcorderWindow(QWidget* parent)
{
    auto* window = new CCamcorderWindow(parent, "");
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->DeviceOpen()) {
        // The four lines have been shown; a person with DV files may use one instead.
        const MsgAnswer answer = GuiPort().MessageBox(
            "No camcorder could be opened. Do you want to capture from a DV file (.dv, or DV in AVI or MOV) "
            "instead?",
            "Kestrova", MsgButtons::YesNo, MsgIcon::Question);
        if (answer != MsgAnswer::Yes || !window->ChooseDvFile()) {
            delete window;
            return nullptr;
        }
    }
    window->show();
    return window;
}
