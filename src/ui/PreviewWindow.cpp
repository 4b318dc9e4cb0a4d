#include "ui/PreviewWindow.h"

#include "app/PreviewTimer.h"
#include "base/Album.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The picture area starts at twice the preview's size and never gets smaller than it.
constexpr int kStartScale = 2;

}  // namespace

CPreviewWindow::CPreviewWindow(QWidget* parent, const CAlbum& album_)
    : QDialog(parent), album(album_), preview(GuiPort(), output, CPreviewTimer::System())
{
    setWindowTitle(T(7001));
    setModal(true);
    setObjectName("previewWindow");

    pictureArea = new QWidget(this);
    pictureArea->setObjectName("pictureArea");
    pictureArea->setMinimumSize(CSlidePreview::kWidth, CSlidePreview::kHeight);
    pictureArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    closeButton = new QPushButton(T(7002), this);
    closeButton->setObjectName("close");
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pictureArea, 1);
    layout->addLayout(buttons);
    // Opens with the picture area at exactly twice the preview's size.
    const QMargins margins = layout->contentsMargins();
    resize(kStartScale * CSlidePreview::kWidth + margins.left() + margins.right(),
           kStartScale * CSlidePreview::kHeight + margins.top() + margins.bottom() + layout->spacing() +
               closeButton->sizeHint().height());
}

CPreviewWindow::~CPreviewWindow() { preview.Stop(); }

bool CPreviewWindow::Start()
{
    picturesDrawn = 0;
    picture = QImage();
    const int run = ++generation;
    return preview.Start(album, [this, run](const CRgbImage& rgb, int64_t number) {
        // On the picture thread: copy the pixels, then hand them to the window thread.
        // A call still on its way when the window goes is dropped with the window.
        QImage next(rgb.pixels.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888);
        QMetaObject::invokeMethod(
            this, [this, run, copy = next.copy(), number] { ShowPicture(run, copy, number); }, Qt::QueuedConnection);
    });
}

void CPreviewWindow::done(int result)
{
    preview.Stop();
    ++generation;
    QDialog::done(result);
}

void CPreviewWindow::ShowPicture(int run, const QImage& next, int64_t number)
{
    // A picture of a stopped preview that was still on its way is not drawn.
    if (run != generation) return;
    picture = next;
    pictureNumber = number;
    ++picturesDrawn;
    update(pictureArea->geometry());
}

void CPreviewWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    const QRect area = pictureArea->geometry();
    painter.fillRect(area, Qt::black);
    if (picture.isNull()) return;
    // The largest 4:3 rectangle in the middle of the area, drawn with smooth scaling.
    QSize size = picture.size().scaled(area.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(area.center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, picture);
}

void OpenPreview(QWidget* parent, const CAlbum& album)
{
    CPreviewWindow window(parent, album);
    if (!window.Start()) return;
    window.exec();
}
