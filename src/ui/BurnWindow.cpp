#include "ui/BurnWindow.h"

#include "app/BurnSession.h"
#include "base/FileIdentity.h"
#include "ui/JobRunner.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

constexpr const char* kCaption = "Kestrova";

QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name, int tipKey)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    if (tipKey) button->setToolTip(T(tipKey));
    return button;
}

}  // namespace

CBurnWindow::CBurnWindow(QWidget* parent, const std::string& source, const std::string& virtualTarget,
                         const std::string& driveRoot)
    : QDialog(parent), session(std::make_unique<CBurnSession>(GuiPort()))
{
    setObjectName("burnWindow");
    setWindowTitle(T(6000));
    BuildControls();

    std::string error;
    if (!session->Open(virtualTarget, error, driveRoot, true)) {
        // A virtual recorder that cannot be made leaves the machine's drives.
        GuiPort().MessageBox("The virtual recorder cannot be used: " + error, kCaption, MsgButtons::Ok,
                             MsgIcon::Warning);
        session->Open("", error, driveRoot);
    }
    job = std::make_unique<CBurnJob>(session->Burner(), GuiPort());
    job->SetStatusListener([this](const CBurnJob::SStatus& status) {
        // The job runs on a worker thread; the bars are moved on the window thread.
        QMetaObject::invokeMethod(
            this, [this, status] { ShowStatus(status); }, Qt::QueuedConnection);
    });
    FillLists();
    if (!source.empty()) job->OpenSource(CBurnJob::ChosenSource(source));
    labelBox->setText(Q(job->label));
    ShowState();
}

CBurnWindow::~CBurnWindow() = default;

void CBurnWindow::BuildControls()
{
    auto* layout = new QVBoxLayout(this);

    auto* sourceGroup = new QGroupBox(T(6001), this);
    sourceGroup->setObjectName("sourceGroup");
    auto* sourceGrid = new QGridLayout(sourceGroup);
    sourceText = new QLabel(sourceGroup);
    sourceText->setObjectName("sourceText");
    sourceText->setWordWrap(true);
    sourceText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sourceGrid->addWidget(sourceText, 0, 0, 1, 2);
    sourceGrid->addWidget(new QLabel(T(6004), sourceGroup), 1, 0);
    labelBox = new QLineEdit(sourceGroup);
    labelBox->setObjectName("labelBox");
    labelBox->setMaxLength(30);
    labelBox->setToolTip(T(6100));
    sourceGrid->addWidget(labelBox, 1, 1);
    sourceGrid->addWidget(new QLabel(T(6005), sourceGroup), 2, 0);
    sizeText = new QLabel(sourceGroup);
    sizeText->setObjectName("sizeText");
    sourceGrid->addWidget(sizeText, 2, 1);
    fillBar = new QProgressBar(sourceGroup);
    fillBar->setObjectName("fillBar");
    fillBar->setRange(0, 100);
    sourceGrid->addWidget(fillBar, 3, 0, 1, 2);
    sourceGrid->setColumnStretch(1, 1);
    layout->addWidget(sourceGroup);

    auto* destinationGroup = new QGroupBox(T(6007), this);
    destinationGroup->setObjectName("destinationGroup");
    auto* destinationGrid = new QGridLayout(destinationGroup);
    recorderList = new QComboBox(destinationGroup);
    recorderList->setObjectName("recorderList");
    ejectButton = MakeButton(destinationGroup, "Eject", "eject", 0);
    ejectButton->setToolTip("Open the tray of the selected recorder.");
    destinationGrid->addWidget(recorderList, 0, 0, 1, 3);
    destinationGrid->addWidget(ejectButton, 0, 3);
    destinationGrid->addWidget(new QLabel(T(6009), destinationGroup), 1, 0);
    speedList = new QComboBox(destinationGroup);
    speedList->setObjectName("speedList");
    speedList->setToolTip(T(6103));
    destinationGrid->addWidget(speedList, 1, 1);
    destinationGrid->addWidget(new QLabel(T(6010), destinationGroup), 1, 2);
    copiesBox = new QSpinBox(destinationGroup);
    copiesBox->setObjectName("copies");
    // The box itself keeps the number of copies within 1..99.
    copiesBox->setRange(1, 99);
    destinationGrid->addWidget(copiesBox, 1, 3);
    burnProof = new QCheckBox(T(6008), destinationGroup);
    burnProof->setObjectName("burnProof");
    burnProof->setToolTip(T(6102));
    destinationGrid->addWidget(burnProof, 2, 0, 1, 4);
    destinationGrid->setColumnStretch(1, 1);
    layout->addWidget(destinationGroup);

    statusText = new QLabel(this);
    statusText->setObjectName("burnStatus");
    layout->addWidget(statusText);
    auto* bars = new QHBoxLayout;
    writeBar = new QProgressBar(this);
    writeBar->setObjectName("writeBar");
    writeBar->setRange(0, 100);
    writeBar->setValue(0);
    bufferBar = new QProgressBar(this);
    bufferBar->setObjectName("bufferBar");
    bufferBar->setRange(0, 100);
    bufferBar->setValue(0);
    bufferBar->setFormat("Buffer %p%");
    bufferBar->setToolTip("How full the recorder's buffer is: a full buffer keeps the laser writing.");
    bars->addWidget(writeBar, 3);
    bars->addWidget(bufferBar, 1);
    layout->addLayout(bars);

    auto* buttons = new QHBoxLayout;
    testButton = MakeButton(this, T(6011), "testWrite", 6104);
    burnButton = MakeButton(this, T(6012), "burn", 6105);
    exitButton = MakeButton(this, T(102), "exit", 250);
    buttons->addWidget(testButton);
    buttons->addWidget(burnButton);
    buttons->addStretch(1);
    buttons->addWidget(exitButton);
    layout->addLayout(buttons);
    setMinimumWidth(560);

    connect(testButton, &QPushButton::clicked, this, [this] { StartBurn(true); });
    connect(burnButton, &QPushButton::clicked, this, [this] { StartBurn(false); });
    connect(ejectButton, &QPushButton::clicked, this, &CBurnWindow::EjectDisc);
    connect(exitButton, &QPushButton::clicked, this, &CBurnWindow::reject);
    connect(copiesBox, &QSpinBox::valueChanged, this, [this](int value) {
        if (const int kept = job->SetCopies(value); kept != value) copiesBox->setValue(kept);
    });
    connect(labelBox, &QLineEdit::textChanged, this, [this](const QString& text) { job->label = S(text); });
}

void CBurnWindow::FillLists()
{
    for (const std::string& line : job->RecorderLines()) recorderList->addItem(Q(line));
    recorderList->setCurrentIndex(0);
    if (session->Virtual()) {
        const int last = recorderList->count() - 1;
        recorderList->setItemText(last, recorderList->itemText(last) + " - " + Q(session->VirtualImage()));
    }
    // Drives that were seen but cannot be used (busy, mounted, not open to this user).
    QStringList notes;
    for (const std::string& note : session->Notes()) notes << Q(note);
    if (!notes.isEmpty()) recorderList->setToolTip(notes.join("\n"));
    for (const char* speed : CBurnJob::kSpeedTexts) speedList->addItem(speed);
    speedList->setCurrentIndex(0);
    burnProof->setChecked(job->burnProof);
    copiesBox->setValue(job->Copies());
}

void CBurnWindow::ShowState()
{
    sourceText->setText(Q(job->SourceText()));
    sizeText->setText(Q(job->SizeText()));
    fillBar->setValue(job->Percent() > 100 ? 100 : job->Percent());
    const bool haveRecorder = session->Burner().EntryCount() > 0;
    // A status that says a disc is being written shows the window as during a burn.
    const bool burning = this->burning || shownWriting;
    labelBox->setEnabled(!burning && job->SourceKind() == CBurnJob::Source::Folder);
    testButton->setEnabled(!burning && job->CanBurn());
    burnButton->setEnabled(!burning && job->CanBurn());
    ejectButton->setEnabled(!burning && haveRecorder);
    recorderList->setEnabled(!burning && haveRecorder);
    for (QWidget* control : {static_cast<QWidget*>(speedList), static_cast<QWidget*>(copiesBox),
                             static_cast<QWidget*>(burnProof), static_cast<QWidget*>(exitButton)})
        control->setEnabled(!burning);
}

void CBurnWindow::ReadControls()
{
    job->label = S(labelBox->text());
    job->recorderIndex = recorderList->currentIndex() < 0 ? 0 : recorderList->currentIndex();
    job->speedIndex = speedList->currentIndex() < 0 ? 0 : speedList->currentIndex();
    job->burnProof = burnProof->isChecked();
    copiesBox->setValue(job->SetCopies(copiesBox->value()));
}

void CBurnWindow::SetBusy(bool busy)
{
    burning = busy;
    ShowState();
}

bool CBurnWindow::StartBurn(bool test)
{
    if (burning || !job->CanBurn()) return false;
    ReadControls();
    // The virtual recorder writes its image over: never over a file being burned.
    if (session->Virtual() && job->recorderIndex == session->Burner().EntryCount() - 1) {
        if (const std::string same = FindSameFile(session->VirtualImage(), job->SourceFiles()); !same.empty()) {
            GuiPort().MessageBox(session->VirtualImage() + " is " + same +
                                     ", which is being burned; choose another image file for the virtual recorder.",
                                 kCaption, MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    SetBusy(true);
    statusText->clear();
    writeBar->setValue(0);
    bufferBar->setValue(0);
    bool ok = false;
    GuiPort().SetParentWindow(this);
    RunJob([&] { ok = test ? job->TestWrite() : job->Burn(false); });
    GuiPort().SetParentWindow(nullptr);
    // The status of the last block may still be on its way: show it before the result.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    shownWriting = false;
    session->WriteCommandLog();
    // An empty label was given the default one for the burn.
    labelBox->setText(Q(job->label));
    SetBusy(false);
    return ok;
}

bool CBurnWindow::EjectDisc()
{
    if (burning) return false;
    ReadControls();
    bool ok = false;
    SetBusy(true);
    RunJob([&] { ok = job->Eject(); });
    SetBusy(false);
    if (!ok) GuiPort().MessageBox(job->Error(), kCaption, MsgButtons::Ok, MsgIcon::Warning);
    return ok;
}

void CBurnWindow::ShowStatus(const CBurnJob::SStatus& status)
{
    if (shownWriting != status.writing) {
        shownWriting = status.writing;
        ShowState();
    }
    writeBar->setValue(status.percent);
    bufferBar->setValue(status.bufferPercent < 0 ? 0 : status.bufferPercent);
    bufferBar->setEnabled(status.bufferPercent >= 0);
    QString text = status.writing ? T(6301) : status.percent == 100 ? T(6303) : QString();
    if (status.copies > 1) text += QString(" (%1/%2)").arg(status.copy).arg(status.copies);
    if (status.writing && status.megabytesPerSecond > 0)
        text += QString(" %1 MB/s").arg(status.megabytesPerSecond, 0, 'f', 1);
    statusText->setText(text);
}

void CBurnWindow::reject()
{
    // A disc being written cannot be stopped: the window stays until it is done.
    if (burning) return;
    QDialog::reject();
}

void OpenBurnWindow(QWidget* parent, const std::string& source)
{
    const char* target = std::getenv("KESTROVA_VIRTUAL_RECORDER");
    CBurnWindow window(parent, source, target ? target : "");
    // A source that was refused (the message said why) leaves nothing to burn.
    if (!source.empty() && window.Job().SourceKind() == CBurnJob::Source::None) return;
    window.exec();
}
