// The disc-image window: a DVD-Video folder in, an .iso image out. It shows the folder,
// the data size and the disc label of a CIsoJob and runs the job's writing with its
// progress window while the window stays live.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

class CIsoJob;
class QLabel;
class QLineEdit;
class QPushButton;

class CIsoWindow : public QDialog {
    Q_OBJECT
public:
    // Starts with `folder` in the folder box, accepted at once when it holds a DVD.
    CIsoWindow(QWidget* parent, const std::string& folder);
    ~CIsoWindow() override;

    // Accepts `path` as the source folder (as Browse does after the chooser).
    bool AcceptFolder(const std::string& path);
    // Asks for the image file and writes it; true when the image was written.
    bool CreateImage();

    CIsoJob& Job() { return *job; }

private:
    void Browse();
    void ShowState();

    std::unique_ptr<CIsoJob> job;
    QLineEdit* folderBox;
    QLineEdit* labelBox;
    QLabel* sizeText;
    QPushButton* browse;
    QPushButton* create;
    QPushButton* exitButton;
};
