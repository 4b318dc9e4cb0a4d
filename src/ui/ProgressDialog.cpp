#include "ui/ProgressDialog.h"

#include "ui/UiText.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

CProgressDialog::CProgressDialog(QWidget* parent, const QString& title, const QString& body,
                                 std::shared_ptr<SProgressShared> shared_)
    : QDialog(parent), shared(std::move(shared_))
{
    setObjectName("progressDialog");
    setWindowTitle(title.isEmpty() ? T(400) : title);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    text = new QLabel(body, this);
    text->setObjectName("progressText");
    text->setWordWrap(false);
    text->setMinimumWidth(420);
    bar = new QProgressBar(this);
    bar->setObjectName("progressBar");
    bar->setRange(0, 100);
    bar->setValue(0);
    cancel = new QPushButton(T(101), this);
    cancel->setObjectName("progressCancel");
    cancel->setAutoDefault(false);
    layout->addWidget(text);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, &CProgressDialog::RequestCancel);
}

void CProgressDialog::SetText(const QString& body) { text->setText(body); }

void CProgressDialog::SetBar(int percent) { bar->setValue(std::clamp(percent, 0, 100)); }

void CProgressDialog::PlaceAt(int x, int y)
{
    const QPoint point(x, y);
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().contains(point)) {
            move(point);
            return;
        }
}

void CProgressDialog::RequestCancel()
{
    shared->cancelRequested.store(true);
    cancel->setEnabled(false);
}

void CProgressDialog::reject() { RequestCancel(); }

void CProgressDialog::closeEvent(QCloseEvent* event)
{
    RequestCancel();
    event->ignore();
}

void CProgressDialog::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    const QPoint at = pos();
    shared->x.store(at.x());
    shared->y.store(at.y());
    shared->havePosition.store(true);
}
