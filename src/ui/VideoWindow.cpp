#include "ui/VideoWindow.h"

#include "app/AdvSetupDlg.h"
#include "app/MediaThumbnail.h"
#include "ui/DvdFormatBox.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/MediaListView.h"
#include "ui/QtUiPort.h"
#include "ui/RangeWindow.h"
#include "ui/UiText.h"
#include "ui/Windows.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {

constexpr int kThumbnailWidth = 64;
constexpr int kThumbnailHeight = 48;

QPushButton* Button(QWidget* parent, const char* name, int textKey, int tipKey)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setText(T(textKey));
    if (tipKey != 0) button->setToolTip(T(tipKey));
    return button;
}

// A pattern list of the core ("*.avi;VTS_*.IFO") as Qt's file dialog wants it, each
// extension in lower and upper case (the file system tells them apart).
QString Patterns(const QString& list)
{
    QStringList patterns;
    for (const QString& pattern : list.split(';', Qt::SkipEmptyParts)) {
        patterns << pattern;
        if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
    }
    return patterns.join(' ');
}

// The twelve groups of Add Media as one Qt filter.
QString MediaFilter()
{
    QStringList groups;
    for (const CVideoDVDJob::SFilterGroup& group : CVideoDVDJob::MediaFilterGroups())
        groups << T(group.key) + " (" + Patterns(group.patterns) + ")";
    return groups.join(";;");
}

std::vector<std::string> LocalPaths(const QMimeData* mime)
{
    std::vector<std::string> paths;
    if (!mime) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
    return paths;
}

}  // namespace

CVideoWindow::CVideoWindow(QWidget* parent) : QDialog(parent), job(std::make_unique<CVideoDVDJob>(GuiPort()))
{
    setObjectName("videoWindow");
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    thumbnailPool.setMaxThreadCount(1);
    if (CGuiApp::Exists()) {
        job->dvdFolder = CGuiApp::Instance().dvdFolder;
        job->soundFolder = CGuiApp::Instance().programFolder;
    }

    auto* layout = new QVBoxLayout(this);
    auto* commands = new QHBoxLayout;
    addMedia = Button(this, "addMedia", 3001, 3100);
    play = Button(this, "playMedia", 3002, 3101);
    removeMedia = Button(this, "removeMedia", 3003, 3102);
    createDvd = Button(this, "createDvd", 3004, 3103);
    exitButton = Button(this, "exit", 102, 250);
    for (QPushButton* button : {addMedia, play, removeMedia, createDvd}) commands->addWidget(button);
    commands->addStretch(1);
    commands->addWidget(exitButton);
    layout->addLayout(commands);
    BuildLists(layout);
    layout->addWidget(BuildSettings());

    connect(addMedia, &QPushButton::clicked, this, &CVideoWindow::AddMedia);
    connect(play, &QPushButton::clicked, this, &CVideoWindow::PlayMedia);
    connect(removeMedia, &QPushButton::clicked, this, &CVideoWindow::RemoveMedia);
    connect(createDvd, &QPushButton::clicked, this, [this] { CreateDvd(); });
    connect(exitButton, &QPushButton::clicked, this, &CVideoWindow::close);

    setWindowTitle(T(3000));
    ShowRows(-1);
    resize(800, 572);
}

CVideoWindow::~CVideoWindow()
{
    // Thumbnails still being made report to this window: wait for them here, while it
    // is whole; what they post after is dropped with the window.
    thumbnailPool.clear();
    thumbnailPool.waitForDone();
}

void CVideoWindow::BuildLists(QLayout* layout)
{
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName("lists");
    auto* mediaPane = new QWidget(splitter);
    mediaPane->setObjectName("mediaPane");
    auto* mediaLayout = new QVBoxLayout(mediaPane);
    mediaLayout->setContentsMargins(0, 0, 0, 0);
    mediaList = new CMediaListView(mediaPane);
    mediaList->setObjectName("mediaList");
    mediaList->setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    mediaList->setHeaderLabels({T(3006), T(3007), T(3008), T(3009), T(3010), T(3011)});
    mediaList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 6; ++column)
        mediaList->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    mediaLayout->addWidget(mediaList, 1);
    auto* totalRow = new QHBoxLayout;
    totalRow->addStretch(1);
    total = new QLabel(mediaPane);
    total->setObjectName("total");
    totalRow->addWidget(total);
    mediaLayout->addLayout(totalRow);

    auto* subtitlePane = new QWidget(splitter);
    subtitlePane->setObjectName("subtitlePane");
    auto* subtitleLayout = new QHBoxLayout(subtitlePane);
    subtitleLayout->setContentsMargins(0, 0, 0, 0);
    subtitleList = new QTreeWidget(subtitlePane);
    subtitleList->setObjectName("subtitleList");
    subtitleList->setRootIsDecorated(false);
    subtitleList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    subtitleList->setHeaderLabels({T(3022)});
    subtitleLayout->addWidget(subtitleList, 1);
    auto* subtitleButtons = new QVBoxLayout;
    addSubtitles = Button(subtitlePane, "addSubtitles", 3020, 3120);
    removeSubtitles = Button(subtitlePane, "removeSubtitles", 3021, 3121);
    subtitleButtons->addWidget(addSubtitles);
    subtitleButtons->addWidget(removeSubtitles);
    subtitleButtons->addStretch(1);
    subtitleLayout->addLayout(subtitleButtons);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter);

    connect(mediaList, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EditRange(mediaList->indexOfTopLevelItem(item)); });
    connect(mediaList, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(mediaList, &CMediaListView::rowsDragged, this, &CVideoWindow::MoveRows);
    connect(mediaList, &CMediaListView::filesDropped, this, [this](const QStringList& paths) {
        std::vector<std::string> items;
        for (const QString& path : paths) items.push_back(S(path));
        DropItems(items);
    });
    connect(addSubtitles, &QPushButton::clicked, this, &CVideoWindow::AddSubtitles);
    connect(removeSubtitles, &QPushButton::clicked, this, &CVideoWindow::RemoveSubtitles);
}

QWidget* CVideoWindow::BuildSettings()
{
    auto* box = new QGroupBox(T(112), this);
    box->setObjectName("dvdSettings");
    auto* grid = new QGridLayout(box);

    format = new CDvdFormatBox(box, CDvdFormatBox::Arrangement::Row);
    grid->addWidget(format, 0, 0, 1, 3);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(T(110), box);
    folderLabel->setObjectName("dvdFolderLabel");
    folderLabel->setToolTip(T(205));
    folderBox = new QLineEdit(Q(job->dvdFolder), box);
    folderBox->setObjectName("dvdFolder");
    folderBox->setToolTip(T(205));
    change = Button(box, "changeFolder", 111, 206);
    advanced = Button(box, "advancedSetting", 126, 0);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(folderBox, 1);
    folderRow->addWidget(change);
    folderRow->addSpacing(12);
    folderRow->addWidget(advanced);
    grid->addLayout(folderRow, 1, 0, 1, 3);

    format->Set(job->pal, job->resolution, job->wide);
    connect(change, &QPushButton::clicked, this, &CVideoWindow::ChangeFolder);
    connect(advanced, &QPushButton::clicked, this, &CVideoWindow::AdvancedSettings);
    return box;
}

void CVideoWindow::ShowRows(int current)
{
    const std::vector<CVideoDVDJob::SRow>& rows = job->Rows();
    mediaList->clear();
    for (const CVideoDVDJob::SRow& row : rows) {
        auto* item = new QTreeWidgetItem(mediaList);
        item->setText(0, Q(row.path));
        item->setToolTip(0, Q(row.path));
        item->setText(1, Q(CVideoDVDJob::TimeText(row.duration)));
        item->setData(1, Qt::UserRole, row.duration);
        item->setText(2, Q(row.audioType));
        item->setText(3, Q(CVideoDVDJob::TimeText(row.start)));
        item->setText(4, Q(CVideoDVDJob::TimeText(row.end)));
        item->setText(5, Q(row.size));
        // Rows are dropped between rows, never onto one.
        item->setFlags(item->flags() & ~Qt::ItemIsDropEnabled);
        const QIcon icon = thumbnails.value(Q(row.path));
        if (!icon.isNull()) item->setIcon(0, icon);
        RequestThumbnail(row.path);
    }
    if (current >= 0 && current < int(rows.size())) {
        QTreeWidgetItem* item = mediaList->topLevelItem(current);
        mediaList->setCurrentItem(item);
        mediaList->scrollToItem(item);
    }
    ShowSubtitles();
    ShowTotal();
    UpdateButtons();
}

void CVideoWindow::ShowSubtitles()
{
    subtitleList->clear();
    for (const std::string& subtitle : job->Subtitles()) {
        auto* item = new QTreeWidgetItem(subtitleList);
        item->setText(0, Q(subtitle));
        item->setToolTip(0, Q(subtitle));
    }
}

void CVideoWindow::ShowTotal() { total->setText(T(3005) + " " + Q(CVideoDVDJob::TimeText(job->TotalSeconds()))); }

void CVideoWindow::UpdateButtons()
{
    const bool any = !job->Rows().empty();
    const bool focused = any && mediaList->currentItem() != nullptr;
    createDvd->setEnabled(!busy && any);
    play->setEnabled(!busy && focused);
    removeMedia->setEnabled(!busy && focused);
}

void CVideoWindow::RequestThumbnail(const std::string& path)
{
    const QString key = Q(path);
    if (thumbnails.contains(key) || thumbnailsPending.contains(key)) return;
    thumbnailsPending.insert(key);
    thumbnailPool.start([this, key, path] {
        CMediaThumbnail thumbnail;
        QImage image;
        if (thumbnail.Make(path, kThumbnailWidth, kThumbnailHeight))
            image = QImage(thumbnail.rgb.data(), thumbnail.width, thumbnail.height, thumbnail.width * 3,
                           QImage::Format_RGB888)
                        .copy();
        QMetaObject::invokeMethod(
            this, [this, key, image] { ThumbnailMade(key, image); }, Qt::QueuedConnection);
    });
}

void CVideoWindow::ThumbnailMade(const QString& path, const QImage& image)
{
    thumbnailsPending.remove(path);
    if (image.isNull()) return;  // no picture to show: the row keeps no icon
    const QIcon icon(QPixmap::fromImage(image));
    thumbnails.insert(path, icon);
    for (int i = 0; i < mediaList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = mediaList->topLevelItem(i);
        if (item->text(0) == path) item->setIcon(0, icon);
    }
}

int CVideoWindow::AddFiles(const std::vector<std::string>& paths)
{
    int added = 0;
    for (const std::string& path : paths) {
        if (!job->AddMedia(path)) continue;
        ++added;
        const int row = int(job->Rows().size()) - 1;
        ShowRows(row);
        job->OfferAssociatedSubtitle(row);
        ShowSubtitles();
    }
    return added;
}

int CVideoWindow::DropItems(const std::vector<std::string>& items)
{
    if (busy) return 0;
    return AddFiles(CVideoDVDJob::DroppedFiles(items));
}

void CVideoWindow::AddMedia()
{
    CGuiApp* app = CGuiApp::Exists() ? &CGuiApp::Instance() : nullptr;
    const std::string start = app ? app->RememberedFolder(CKestrovaApp::kMedia) : std::string();
    const std::vector<std::string> files = GuiPort().ChooseOpenFiles(T(3001), start, MediaFilter(), true);
    if (files.empty()) return;
    if (app) app->RememberFolder(CKestrovaApp::kMedia, files.front());
    AddFiles(files);
}

void CVideoWindow::PlayMedia()
{
    const int row = mediaList->indexOfTopLevelItem(mediaList->currentItem());
    if (row < 0 || row >= int(job->Rows().size())) return;
    const std::string& path = job->Rows()[size_t(row)].path;
    if (player)
        player(path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

void CVideoWindow::RemoveMedia()
{
    std::vector<int> rows = mediaList->SelectedRows();
    const int current = mediaList->indexOfTopLevelItem(mediaList->currentItem());
    if (rows.empty() && current >= 0) rows.push_back(current);
    if (rows.empty()) return;
    job->RemoveRows(rows);
    // The row now where the first removed one was gets the focus; none when the list
    // is empty.
    ShowRows(std::min(rows.front(), int(job->Rows().size()) - 1));
}

bool CVideoWindow::EditRange(int row)
{
    if (busy || row < 0 || row >= int(job->Rows().size())) return false;
    const CVideoDVDJob::SRow& shown = job->Rows()[size_t(row)];
    CRangeWindow range(this, shown.path, shown.duration, int64_t(shown.start), int64_t(shown.end));
    if (range.exec() != QDialog::Accepted) return false;
    job->SetShownRange(row, range.Start(), range.End());
    ShowRows(row);
    return true;
}

void CVideoWindow::MoveRows(const std::vector<int>& rows, int insertAt)
{
    if (busy) return;
    const int first = job->MoveRows(rows, insertAt);
    if (first < 0) return;
    ShowRows(first);
    // The moved rows stay selected.
    for (size_t i = 0; i < rows.size(); ++i)
        if (QTreeWidgetItem* item = mediaList->topLevelItem(first + int(i))) item->setSelected(true);
}

void CVideoWindow::AddSubtitles()
{
    CGuiApp* app = CGuiApp::Exists() ? &CGuiApp::Instance() : nullptr;
    const std::string start = app ? app->RememberedFolder(CKestrovaApp::kMusic) : std::string();
    const QString filter = T(3315) + "(*.srt,*.srt.txt,*.sub...) (" + Patterns(CVideoDVDJob::kSubtitlePatterns) + ")";
    const std::vector<std::string> files = GuiPort().ChooseOpenFiles(T(3020), start, filter, true);
    if (files.empty()) return;
    if (app) app->RememberFolder(CKestrovaApp::kMusic, files.front());
    for (const std::string& file : files) {
        if (int(job->Subtitles().size()) >= CVideoDVDJob::maxRows) break;
        // Each file is read first, so one that holds no subtitle is named now rather
        // than when the DVD is being made.
        if (!job->SetRowSubtitle(int(job->Subtitles().size()), file))
            GuiPort().MessageBox(job->Error(), "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    }
    ShowSubtitles();
}

void CVideoWindow::RemoveSubtitles()
{
    std::vector<int> rows;
    for (QTreeWidgetItem* item : subtitleList->selectedItems()) rows.push_back(subtitleList->indexOfTopLevelItem(item));
    job->RemoveSubtitles(rows);
    ShowSubtitles();
}

void CVideoWindow::ChangeFolder()
{
    const std::optional<std::string> folder =
        GuiPort().ChooseFolder("Please select a destination folder.", S(folderBox->text()));
    if (folder && !folder->empty()) folderBox->setText(Q(*folder));
}

void CVideoWindow::AdvancedSettings()
{
    // The dialog shows the settings in effect, the delays in milliseconds.
    CAdvSetupDlg dialog(true);
    dialog.compressAudio = job->compressAudio != 0;
    dialog.discSizeText = job->discSizeText;
    dialog.intraMatrixText = job->intraMatrixText;
    dialog.interMatrixText = job->interMatrixText;
    dialog.startingFootage = job->startingFootage;
    dialog.highQuality = job->highQuality;
    dialog.PrefillDelays(job->audioDelay, job->videoDelay);
    if (!OpenAdvancedSettings(this, dialog)) return;
    CDVDParams params;
    CAdvJobChoices choices;
    dialog.Accept(params, choices);
    CAdvSetupDlg::ApplyToJob(params, choices, *job);
}

void CVideoWindow::ReadControls()
{
    job->pal = format->Pal();
    job->resolution = format->Resolution();
    job->wide = format->Wide();
    job->dvdFolder = S(folderBox->text());
}

void CVideoWindow::SetBusy(bool busy_)
{
    busy = busy_;
    // The list is the job's input while it runs: nothing may change it then.
    for (QWidget* control : std::initializer_list<QWidget*>{addMedia, exitButton, change, advanced, addSubtitles,
                                                            removeSubtitles, mediaList, folderBox})
        control->setEnabled(!busy);
    setAcceptDrops(!busy);
    UpdateButtons();
}

CVideoDVDJob::Result CVideoWindow::CreateDvd()
{
    if (busy || job->Rows().empty()) return CVideoDVDJob::Result::Empty;
    ReadControls();
    SetBusy(true);
    GuiPort().ClearStop();
    GuiPort().SetParentWindow(this);
    std::string burnFolder;
    std::vector<std::string> notes;
    // Both are called on the job's thread; what they keep is read after it has ended.
    job->openBurnWindow = [&burnFolder](const std::string& folder) { burnFolder = folder; };
    job->onNote = [&notes](const std::string& line) { notes.push_back(line); };
    CVideoDVDJob::Result result = CVideoDVDJob::Result::Failed;
    try {
        RunJob([&] { result = job->CreateDvd(); });
    } catch (const std::exception& failure) {
        GuiPort().MessageBox(failure.what(), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
    }
    job->openBurnWindow = nullptr;
    job->onNote = nullptr;
    folderBox->setText(Q(job->dvdFolder));
    if (result == CVideoDVDJob::Result::Failed && !job->Error().empty() && job->Error() != "stopped")
        GuiPort().MessageBox(job->Error(), "Kestrova", MsgButtons::Ok, MsgIcon::Error);
    if (!notes.empty()) {
        std::string text;
        for (const std::string& line : notes) text += line + "\n";
        GuiPort().MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    }
    if (!burnFolder.empty()) OpenBurnWindow(this, burnFolder);
    SetBusy(false);
    return result;
}

void CVideoWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!busy && !LocalPaths(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CVideoWindow::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> items = LocalPaths(event->mimeData());
    if (busy || items.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    DropItems(items);
}

void CVideoWindow::closeEvent(QCloseEvent* event)
{
    // The window cannot go while its job runs (the job uses it).
    if (busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CVideoWindow::reject()
{
    if (!busy) QDialog::reject();
}

QWidget* OpenVideoWindow(QWidget* parent)
{
    auto* window = new CVideoWindow(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}
