// The camcorder window ("Kestrova: Camcorder Direct to DVD") over CDvCaptureJob: the
// live preview of the device, the VCR controls (enabled only when the device takes
// transport commands), Capture and Play and Capture into the footage number shown, the
// capture length, the DVD settings and folder, and Create DVD with the burn question.
// A DV file can stand in for the camcorder ("Open DV File...").
#pragma once

#include "app/AdvSetupDlg.h"
#include "app/DvCaptureJob.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class CDvdFormatBox;
class QSpinBox;
class QTimer;

class CCamcorderWindow : public QWidget {
    Q_OBJECT
public:
    // Opens `device`: an IEEE 1394 device's GUID (empty: the first one) or a DV file
    // standing in for the tape, read and answering as `standIn` says. DeviceOpen()
    // tells whether it could be used; the refusal has been shown.
    CCamcorderWindow(QWidget* parent, const std::string& device,
                     const CDvCaptureJob::SStandIn& standIn = CDvCaptureJob::SStandIn());
    ~CCamcorderWindow() override;

    // Whether a device (or stand-in file) is open.
    bool DeviceOpen() const;
    // Opens the DV file `path` as the tape in place of the device; true when it can be
    // captured from (a refusal has been shown otherwise and the old device is kept).
    bool OpenDvFile(const std::string& path);
    // "Open DV File...": asks for a DV file and opens it.
    bool ChooseDvFile();

    // "Capture" (or "Play and Capture" with `play`): captures one footage with the
    // window's settings while the window stays live; true when a footage was made.
    bool Capture(bool play);
    // "Create DVD": stops the tape and asks whether to burn the folder now.
    void CreateDvd();
    // A VCR button: its command to the device (during a capture, Stop ends the capture).
    void SendVcr(CDvCaptureJob::EVcr button);
    // Whether the preview has shown a picture of the device.
    bool PreviewShown() const { return previewSerial != 0; }

    CDvCaptureJob& Job() { return *job; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildPreviewSide();
    QWidget* BuildSettingsSide();
    void Connect();
    void ShowDevice();
    // Sizes the preview to the chosen aspect ratio.
    void ShowAspect();
    void ReadSettings();
    void ChangeFolder();
    void OpenAdvanced();
    void EnableControls(bool enable);
    void RefreshPreview();
    void ShowPicture();
    QPushButton* Button(int textKey, int tipKey, const char* name);

    std::unique_ptr<CDvCaptureJob> job;
    CAdvSetupDlg advanced{false};
    bool capturing = false;
    uint64_t previewSerial = 0;
    std::vector<uint32_t> previewPixels;
    QImage picture;  // the preview picture last taken, fitted to the preview as it is resized
    QTimer* previewTimer;
    QLabel* preview;
    QLabel* deviceText;
    std::vector<QPushButton*> transportButtons;
    QPushButton* capture;
    QPushButton* playAndCapture;
    QSpinBox* footage;
    QSpinBox* lengthSeconds;
    QLineEdit* folderBox;
    QPushButton* change;
    CDvdFormatBox* format;
    QPushButton* advancedButton;
    QPushButton* openFile;
    QPushButton* createDvd;
    QPushButton* exitButton;
};
