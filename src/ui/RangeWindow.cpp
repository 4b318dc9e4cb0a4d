#include "ui/RangeWindow.h"

#include "app/VideoDVDJob.h"
#include "ui/UiText.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The pickers hold times of one day; the seconds since its midnight are the time. A
// range past a day is shown as the last second of it.
QTime TimeOf(int64_t seconds) { return QTime(0, 0).addSecs(int(std::clamp<int64_t>(seconds, 0, 24 * 3600 - 1))); }

int64_t SecondsOf(const QTime& time) { return QTime(0, 0).secsTo(time); }

QTimeEdit* Picker(QWidget* parent, const char* name, int tipKey, int64_t seconds)
{
    auto* edit = new QTimeEdit(TimeOf(seconds), parent);
    edit->setObjectName(name);
    edit->setDisplayFormat("HH:mm:ss");
    edit->setToolTip(T(tipKey));
    return edit;
}

}  // namespace

CRangeWindow::CRangeWindow(QWidget* parent, const std::string& path, double durationSeconds, int64_t start_,
                           int64_t end_)
    : QDialog(parent), start(start_), end(end_)
{
    setObjectName("rangeWindow");
    setWindowTitle(T(3500));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QFileInfo(Q(path)).fileName(), this);
    name->setObjectName("fileName");
    name->setToolTip(Q(path));
    layout->addWidget(name);
    auto* length = new QLabel(T(3502).replace("%s", Q(CVideoDVDJob::TimeText(durationSeconds))), this);
    length->setObjectName("sourceLength");
    layout->addWidget(length);
    auto* form = new QFormLayout;
    startEdit = Picker(this, "startTime", 3600, start);
    endEdit = Picker(this, "endTime", 3601, end);
    auto* startLabel = new QLabel(T(3503), this);
    startLabel->setObjectName("startLabel");
    auto* endLabel = new QLabel(T(3504), this);
    endLabel->setObjectName("endLabel");
    form->addRow(startLabel, startEdit);
    form->addRow(endLabel, endEdit);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(*this));
    setMinimumWidth(360);
}

void CRangeWindow::SetTimes(int64_t startSeconds, int64_t endSeconds)
{
    startEdit->setTime(TimeOf(startSeconds));
    endEdit->setTime(TimeOf(endSeconds));
}

void CRangeWindow::accept()
{
    end = SecondsOf(endEdit->time());
    start = SecondsOf(startEdit->time());
    if (end == 0) end = 1;
    if (start >= end) start = end - 1;
    QDialog::accept();
}
