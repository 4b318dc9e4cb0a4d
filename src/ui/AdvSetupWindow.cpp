#include "ui/AdvSetupWindow.h"

#include "app/AdvSetupDlg.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

using Control = CAdvSetupDlg::Control;

QString Label(Control control) { return T(CAdvSetupDlg::LabelKey(control)); }

// Sets the tool tip of a control when it has one.
void Tip(QWidget* widget, Control control)
{
    const int key = CAdvSetupDlg::TooltipKey(control);
    if (key != 0) widget->setToolTip(T(key));
}

QPushButton* Button(QWidget* parent, Control control, const char* name)
{
    auto* button = new QPushButton(Label(control), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    Tip(button, control);
    return button;
}

QSpinBox* Milliseconds(QWidget* parent, const char* name)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(-60000, 60000);
    box->setSingleStep(10);
    return box;
}

// A matrix text is 64 numbers in one line: shown wrapped, so every digit is in view.
QPlainTextEdit* MatrixBox(QWidget* parent, const char* name)
{
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setWordWrapMode(QTextOption::WrapAnywhere);
    box->setTabChangesFocus(true);
    const int line = box->fontMetrics().lineSpacing();
    box->setFixedHeight(4 * line + 2 * box->frameWidth() + 8);
    return box;
}

}  // namespace

CAdvSetupWindow::CAdvSetupWindow(QWidget* parent, CAdvSetupDlg& values_)
    : QDialog(parent), target(values_), values(values_)
{
    setObjectName("advancedSettings");
    setWindowTitle(Label(Control::Caption));
    auto* layout = new QVBoxLayout(this);

    compress = new QCheckBox(Label(Control::CompressAudio), this);
    compress->setObjectName("compressAudio");
    Tip(compress, Control::CompressAudio);
    layout->addWidget(compress);
    highQuality = new QCheckBox(Label(Control::HighQuality), this);
    highQuality->setObjectName("highQuality");
    highQuality->setToolTip(
        "Encode the video more carefully: a better picture at the same size, in about twice the time.");
    layout->addWidget(highQuality);

    auto* matrices = new QGroupBox(Label(Control::MatrixGroup), this);
    auto* matrixForm = new QFormLayout(matrices);
    intra = MatrixBox(matrices, "intraMatrix");
    Tip(intra, Control::Intra);
    inter = MatrixBox(matrices, "interMatrix");
    Tip(inter, Control::Inter);
    matrixForm->addRow(Label(Control::Intra), intra);
    matrixForm->addRow(Label(Control::Inter), inter);
    auto* presets = new QHBoxLayout;
    QPushButton* standard = Button(matrices, Control::MpegStandard, "mpegStandard");
    QPushButton* animation = Button(matrices, Control::Animation, "animation");
    presets->addWidget(standard);
    presets->addWidget(animation);
    presets->addStretch(1);
    matrixForm->addRow(presets);
    layout->addWidget(matrices);

    auto* disc = new QGroupBox(Label(Control::DiscSize), this);
    auto* discLayout = new QVBoxLayout(disc);
    auto* sizeRow = new QHBoxLayout;
    discSize = new QLineEdit(disc);
    discSize->setObjectName("discSize");
    sizeRow->addWidget(discSize, 1);
    sizeRow->addWidget(new QLabel(Label(Control::Bytes), disc));
    discLayout->addLayout(sizeRow);
    auto* sizeButtons = new QHBoxLayout;
    QPushButton* dvd = Button(disc, Control::Dvd47, "presetDvd");
    QPushButton* mini = Button(disc, Control::MiniDvd, "presetMiniDvd");
    QPushButton* cd = Button(disc, Control::Cd650, "presetCd");
    sizeButtons->addWidget(dvd);
    sizeButtons->addWidget(mini);
    sizeButtons->addWidget(cd);
    sizeButtons->addStretch(1);
    discLayout->addLayout(sizeButtons);
    layout->addWidget(disc);

    auto* sync = new QGroupBox(Label(Control::SyncGroup), this);
    auto* syncForm = new QFormLayout(sync);
    audioDelay = Milliseconds(sync, "audioDelay");
    videoDelay = Milliseconds(sync, "videoDelay");
    syncForm->addRow(Label(Control::AudioDelay), audioDelay);
    syncForm->addRow(Label(Control::VideoDelay), videoDelay);
    layout->addWidget(sync);

    auto* footageForm = new QFormLayout;
    footage = new QSpinBox(this);
    footage->setObjectName("startingFootage");
    footage->setRange(0, 999);
    footage->setEnabled(values.footageEnabled);
    footageForm->addRow(Label(Control::StartingFootage), footage);
    layout->addLayout(footageForm);

    layout->addWidget(OkCancelButtons(*this));

    // The presets change the texts shown; OK takes whatever is shown then.
    auto preset = [this](void (CAdvSetupDlg::*apply)()) {
        return [this, apply] {
            values.intraMatrixText = S(intra->toPlainText());
            values.interMatrixText = S(inter->toPlainText());
            values.discSizeText = S(discSize->text());
            (values.*apply)();
            intra->setPlainText(Q(values.intraMatrixText));
            inter->setPlainText(Q(values.interMatrixText));
            discSize->setText(Q(values.discSizeText));
        };
    };
    connect(standard, &QPushButton::clicked, this, preset(&CAdvSetupDlg::PresetMpegStandard));
    connect(animation, &QPushButton::clicked, this, preset(&CAdvSetupDlg::PresetAnimation));
    connect(dvd, &QPushButton::clicked, this, preset(&CAdvSetupDlg::PresetDvd));
    connect(mini, &QPushButton::clicked, this, preset(&CAdvSetupDlg::PresetMiniDvd));
    connect(cd, &QPushButton::clicked, this, preset(&CAdvSetupDlg::PresetCd));

    ShowValues();
    setMinimumWidth(560);
}

void CAdvSetupWindow::ShowValues()
{
    compress->setChecked(values.compressAudio);
    highQuality->setChecked(values.highQuality);
    intra->setPlainText(Q(values.intraMatrixText));
    inter->setPlainText(Q(values.interMatrixText));
    discSize->setText(Q(values.discSizeText));
    audioDelay->setValue(values.audioDelayMs);
    videoDelay->setValue(values.videoDelayMs);
    footage->setValue(values.startingFootage);
}

void CAdvSetupWindow::accept()
{
    values.compressAudio = compress->isChecked();
    values.highQuality = highQuality->isChecked();
    values.intraMatrixText = S(intra->toPlainText());
    values.interMatrixText = S(inter->toPlainText());
    values.discSizeText = S(discSize->text());
    values.audioDelayMs = audioDelay->value();
    values.videoDelayMs = videoDelay->value();
    if (values.footageEnabled) values.startingFootage = footage->value();
    target = values;
    QDialog::accept();
}

bool OpenAdvancedSettings(QWidget* parent, CAdvSetupDlg& dialog)
{
    CAdvSetupWindow window(parent, dialog);
    return window.exec() == QDialog::Accepted;
}
