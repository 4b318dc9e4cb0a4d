#include "ui/IsoWindow.h"

#include "app/IsoJob.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CIsoWindow::CIsoWindow(QWidget* parent, const std::string& folder)
    : QDialog(parent), job(std::make_unique<CIsoJob>(folder, GuiPort()))
{
    setObjectName("isoWindow");
    setWindowTitle("Create DVD Disc Image From Existing DVD Video Folder");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Select source DVD VIDEO_TS Folder:", this));
    auto* folderRow = new QHBoxLayout;
    folderBox = new QLineEdit(Q(job->FolderText()), this);
    folderBox->setObjectName("folderBox");
    browse = new QPushButton("Browse", this);
    browse->setObjectName("browse");
    browse->setAutoDefault(false);
    folderRow->addWidget(folderBox, 1);
    folderRow->addWidget(browse);
    layout->addLayout(folderRow);
    sizeText = new QLabel(Q(job->SizeText()), this);
    sizeText->setObjectName("sizeText");
    layout->addWidget(sizeText);
    auto* labelRow = new QHBoxLayout;
    labelRow->addWidget(new QLabel("Disc Label", this));
    labelBox = new QLineEdit(Q(job->label), this);
    labelBox->setObjectName("labelBox");
    labelBox->setMaxLength(32);
    labelRow->addWidget(labelBox, 1);
    layout->addLayout(labelRow);
    auto* buttons = new QHBoxLayout;
    create = new QPushButton("Create ISO Disc Image", this);
    create->setObjectName("createIso");
    create->setAutoDefault(false);
    exitButton = new QPushButton(T(102), this);
    exitButton->setObjectName("exit");
    exitButton->setAutoDefault(false);
    buttons->addWidget(create);
    buttons->addStretch(1);
    buttons->addWidget(exitButton);
    layout->addLayout(buttons);
    setMinimumWidth(560);

    connect(browse, &QPushButton::clicked, this, &CIsoWindow::Browse);
    // A folder typed into the box is taken when Enter is pressed there.
    connect(folderBox, &QLineEdit::returnPressed, this, [this] { AcceptFolder(S(folderBox->text())); });
    connect(create, &QPushButton::clicked, this, &CIsoWindow::CreateImage);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(labelBox, &QLineEdit::textChanged, this, [this](const QString& text) { job->label = S(text); });

    if (!folder.empty() && !CIsoJob::ResolveSource(folder).empty()) job->ChooseFolder(folder);
    ShowState();
}

CIsoWindow::~CIsoWindow() = default;

void CIsoWindow::ShowState()
{
    folderBox->setText(Q(job->FolderText()));
    sizeText->setText(Q(job->SizeText()));
    create->setEnabled(job->CanCreate());
}

void CIsoWindow::Browse()
{
    job->label = S(labelBox->text());
    if (job->Browse()) ShowState();
}

bool CIsoWindow::AcceptFolder(const std::string& path)
{
    job->label = S(labelBox->text());
    const bool accepted = job->ChooseFolder(path);
    ShowState();
    return accepted;
}

bool CIsoWindow::CreateImage()
{
    CGuiApp* app = CGuiApp::Exists() ? &CGuiApp::Instance() : nullptr;
    const std::string start = app ? app->RememberedFolder(CKestrovaApp::kDiscImage) : std::string();
    const std::optional<std::string> file =
        GuiPort().ChooseSaveFile("Disc Image File", start, "Disc Image File (*.iso *.ISO)", "iso");
    if (!file) return false;
    job->label = S(labelBox->text());
    for (QWidget* control :
         {static_cast<QWidget*>(browse), static_cast<QWidget*>(create), static_cast<QWidget*>(exitButton),
          static_cast<QWidget*>(folderBox), static_cast<QWidget*>(labelBox)})
        control->setEnabled(false);
    CIsoJob::Result result = CIsoJob::Result::Failed;
    RunJob([&] { result = job->CreateImage(*file); });
    for (QWidget* control : {static_cast<QWidget*>(browse), static_cast<QWidget*>(exitButton),
                             static_cast<QWidget*>(folderBox), static_cast<QWidget*>(labelBox)})
        control->setEnabled(true);
    ShowState();
    return result == CIsoJob::Result::Written;
}

void OpenIsoWindow(QWidget* parent, const std::string& folder)
{
    CIsoWindow window(parent, folder);
    window.exec();
}
