// The burn window: a DVD-Video folder or an ISO image in, discs out. It shows the source,
// its size and how full the disc will be, the recorder list (the machine's drives and,
// when asked for, the virtual recorder), the speed, copies and test writing, and runs the
// burn job of a CBurnJob on a worker thread while its bars show the progress, the
// writing rate and the drive's buffer.
#pragma once

#include "app/BurnJob.h"

#include <QDialog>

#include <memory>
#include <string>

class CBurnSession;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class CBurnWindow : public QDialog {
    Q_OBJECT
public:
    // The window over `source` (a folder, an .iso image, or a file of a DVD-Video folder
    // such as VIDEO_TS.IFO, which stands for its folder; empty for none). The recorder list holds the optical drives under
    // `driveRoot` ("" for the running system) and, when `virtualTarget` is not empty,
    // the virtual recorder "IMAGE[:PROFILE]" after them.
    CBurnWindow(QWidget* parent, const std::string& source, const std::string& virtualTarget,
                const std::string& driveRoot = "");
    ~CBurnWindow() override;

    // Burns with the choices the controls show, as "Burn!" does (`test`: as "Test
    // Write" does, asking first). True when every disc was written.
    bool StartBurn(bool test);
    // Opens the tray of the selected recorder, as "Eject" does. True when it opened.
    bool EjectDisc();
    // Shows where a burn stands in the window's bars and status line, with the controls
    // disabled while a disc is being written (called during a burn; a screenshot can call
    // it to show a burn under way).
    void ShowStatus(const CBurnJob::SStatus& status);
    // True while a burn runs.
    bool Burning() const { return burning; }

    CBurnJob& Job() { return *job; }
    // The recorder list the window burns with (the virtual recorder's log for tests).
    CBurnSession& Session() { return *session; }

    // Closes the window, except while a disc is being written.
    void reject() override;

private:
    void BuildControls();
    void FillLists();
    void ReadControls();
    void ShowState();
    void SetBusy(bool busy);

    std::unique_ptr<CBurnSession> session;
    std::unique_ptr<CBurnJob> job;
    bool burning = false;
    bool shownWriting = false;  // the last status shown says a disc is being written
    QLabel* sourceText = nullptr;
    QLineEdit* labelBox = nullptr;
    QLabel* sizeText = nullptr;
    QProgressBar* fillBar = nullptr;
    QComboBox* recorderList = nullptr;
    QCheckBox* burnProof = nullptr;
    QComboBox* speedList = nullptr;
    QSpinBox* copiesBox = nullptr;
    QPushButton* ejectButton = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* writeBar = nullptr;
    QProgressBar* bufferBar = nullptr;
    QPushButton* testButton = nullptr;
    QPushButton* burnButton = nullptr;
    QPushButton* exitButton = nullptr;
};
