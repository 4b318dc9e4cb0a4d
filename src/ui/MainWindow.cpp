#include "ui/MainWindow.h"

#include "base/Language.h"
#include "base/UiPort.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCommandLinkButton>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The tasks in the order of their keys: title key, explanation key, object name.
struct STask {
    int titleKey;
    int explainKey;
    const char* name;
    bool available;
};
const STask taskList[4] = {
    {1001, 1101, "taskVideo", true},
    {1002, 1102, "taskSlideShow", true},
    {1003, 1103, "taskCamcorder", true},
    {1004, 1104, "taskDiscImage", true},
};

const char unavailableTip[] = "This task is not part of this version yet.";

}  // namespace

CMainWindow::CMainWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("mainWindow");
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(this);
    heading->setObjectName("heading");
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);
    for (int i = 0; i < 4; ++i) {
        tasks[i] = new QCommandLinkButton(this);
        tasks[i]->setObjectName(taskList[i].name);
        tasks[i]->setEnabled(taskList[i].available);
        tasks[i]->setMinimumWidth(520);
        layout->addWidget(tasks[i]);
    }
    connect(tasks[0], &QCommandLinkButton::clicked, this, [this] { OpenVideoWindow(this); });
    connect(tasks[1], &QCommandLinkButton::clicked, this, [this] { OpenSlideShow(""); });
    connect(tasks[2], &QCommandLinkButton::clicked, this, [this] { OpenCamcorderWindow(this); });
    connect(tasks[3], &QCommandLinkButton::clicked, this, &CMainWindow::BurnExisting);

    auto* row = new QHBoxLayout;
    language = new QToolButton(this);
    language->setObjectName("languageButton");
    language->setPopupMode(QToolButton::InstantPopup);
    language->setToolButtonStyle(Qt::ToolButtonTextOnly);
    languageMenu = new QMenu(language);
    language->setMenu(languageMenu);
    connect(languageMenu, &QMenu::aboutToShow, this, &CMainWindow::FillLanguageMenu);
    // The disc-image window, reached from the window's own menu in the original, is a
    // button here: a desktop window has no system menu to put it in.
    isoButton = new QPushButton("Create ISO Disc Image", this);
    isoButton->setObjectName("isoButton");
    connect(isoButton, &QPushButton::clicked, this,
            [this] { OpenIsoWindow(this, CGuiApp::Exists() ? CGuiApp::Instance().dvdFolder : std::string()); });
    exitButton = new QPushButton(this);
    exitButton->setObjectName("exitButton");
    connect(exitButton, &QPushButton::clicked, this, &CMainWindow::close);
    row->addWidget(language);
    row->addStretch(1);
    row->addWidget(isoButton);
    row->addWidget(exitButton);
    layout->addSpacing(8);
    layout->addLayout(row);
    Relabel();
    FillLanguageMenu();
}

void CMainWindow::Relabel()
{
    setWindowTitle(T(1000));
    findChild<QLabel*>("heading")->setText(T(1000));
    for (int i = 0; i < 4; ++i) {
        tasks[i]->setText(T(taskList[i].titleKey));
        tasks[i]->setDescription(T(taskList[i].explainKey));
        tasks[i]->setToolTip(taskList[i].available ? T(taskList[i].explainKey) : QString(unavailableTip));
    }
    language->setText(Q(CurrentLanguageName()));
    exitButton->setText(T(102));
    exitButton->setToolTip(T(250));
}

void CMainWindow::FillLanguageMenu()
{
    languageMenu->clear();
    auto* group = new QActionGroup(languageMenu);
    const std::vector<CLanguageEntry> entries = LanguageList();
    const std::string current = CurrentLanguageName();
    for (size_t i = 0; i < entries.size(); ++i) {
        QAction* action = languageMenu->addAction(Q(entries[i].name));
        action->setCheckable(true);
        action->setChecked(entries[i].name == current);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] {
            SelectLanguage(int(i));
            Relabel();
        });
    }
}

QWidget* CMainWindow::OpenSlideShow(const std::string& projectFile)
{
    if (slideShow) {
        slideShow->raise();
        slideShow->activateWindow();
        return slideShow;
    }
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QSize size = screen->size();
        if ((size.width() < 1024 || size.height() < 768) &&
            GuiPort().MessageBox(S(T(303)), S(T(422)), MsgButtons::YesNo, MsgIcon::Warning) != MsgAnswer::Yes)
            return nullptr;
    }
    slideShow = OpenSlideShowWindow(this, projectFile);
    return slideShow;
}

void CMainWindow::BurnExisting()
{
    CGuiApp* app = CGuiApp::Exists() ? &CGuiApp::Instance() : nullptr;
    const std::string start = app ? app->RememberedFolder(CKestrovaApp::kDiscImage) : std::string();
    const QString filter = T(3313) + " (VIDEO_TS.IFO *.vob *.VOB *.bup *.BUP *.iso *.ISO);;" + T(3312) + " (*)";
    const std::vector<std::string> chosen = GuiPort().ChooseOpenFiles(T(1004), start, filter, false);
    if (chosen.empty()) return;
    if (app) app->RememberFolder(CKestrovaApp::kDiscImage, chosen.front());
    OpenBurnWindow(this, chosen.front());
}

void CMainWindow::reject() { close(); }

void CMainWindow::closeEvent(QCloseEvent* event)
{
    // Closing during a job asks the job to stop at its next safe point; the window
    // closes once it has.
    if (JobRunning()) {
        GuiPort().RequestStop();
        event->ignore();
        return;
    }
    event->accept();
    QDialog::closeEvent(event);
    if (QCoreApplication::instance()) QCoreApplication::quit();
}
