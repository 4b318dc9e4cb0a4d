// CPreviewWindow: the modal "Preview" window of the slide-show window. It plays the
// album through CSlidePreview, 320 x 240 pictures at 20 per second with the show's
// sound, and draws each picture scaled up smoothly to fill its picture area at 4:3.
// "Close" (or Escape, or closing the window) stops pictures and sound at once.
#pragma once

#include "app/SlidePreview.h"
#include "ui/QtPcmOutput.h"

#include <QDialog>
#include <QImage>

#include <cstdint>

class CAlbum;
class QPushButton;

class CPreviewWindow : public QDialog {
    Q_OBJECT
public:
    // A window for `album`, which it copies; nothing plays until Start.
    CPreviewWindow(QWidget* parent, const CAlbum& album);
    // Stops the preview.
    ~CPreviewWindow() override;

    // Starts playing (a preview already playing starts over). False when the album
    // has no photo ("No photo is in the list!" has then been shown) or the show could
    // not be built.
    bool Start();

    // Stops pictures and sound, then closes the window with `result`.
    void done(int result) override;

    // Pictures drawn so far and the last one (for the tests and the screenshots).
    int64_t PicturesDrawn() const { return picturesDrawn; }
    const QImage& Picture() const { return picture; }
    int64_t PictureNumber() const { return pictureNumber; }
    CSlidePreview& Preview() { return preview; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Takes picture `number` of run `run` on the window thread and repaints the
    // picture area; pictures of an earlier run are dropped.
    void ShowPicture(int run, const QImage& next, int64_t number);

    CAlbum album;
    CQtPcmOutput output;
    CSlidePreview preview;
    QWidget* pictureArea;
    QPushButton* closeButton;
    QImage picture;
    int64_t picturesDrawn = 0;
    int64_t pictureNumber = -1;  // number of the picture drawn last
    int generation = 0;  // counts Start and close, so late pictures of a stopped run are dropped
};
