#include "ui/QtUiPort.h"

#include "base/Progress.h"
#include "ui/ProgressDialog.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

void OnWindowThread(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

namespace {

// A progress window of the port: the dialog lives on the window thread; the job's
// thread changes it through calls queued to the application object, which run only
// while the dialog still exists (a window it belonged to may have taken it along), and
// reads the cancel flag directly.
class CQtProgressWindow : public CProgressWindow {
public:
    CQtProgressWindow(QPointer<CProgressDialog> dialog_, std::shared_ptr<SProgressShared> shared_)
        : dialog(std::move(dialog_)), shared(std::move(shared_))
    {}
    ~CQtProgressWindow() override
    {
        // The job's thread may end here; the dialog goes away on its own thread.
        Post([](CProgressDialog& d) { d.deleteLater(); });
    }
    void Show() override
    {
        Post([](CProgressDialog& d) {
            d.show();
            d.raise();
        });
    }
    void SetTitle(const std::string& title) override
    {
        Post([text = Q(title)](CProgressDialog& d) { d.setWindowTitle(text.isEmpty() ? T(400) : text); });
    }
    void SetText(const std::string& text) override
    {
        Post([body = Q(text)](CProgressDialog& d) { d.SetText(body); });
    }
    void SetBar(int percent) override
    {
        Post([percent](CProgressDialog& d) { d.SetBar(percent); });
    }
    bool Pump() override
    {
        // On the window thread the job would otherwise starve the window; beside it the
        // window thread runs its own loop and nothing needs doing here.
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) QCoreApplication::processEvents();
        return shared->cancelRequested.exchange(false);
    }
    bool GetPosition(int& x, int& y) const override
    {
        if (!shared->havePosition.load()) return false;
        x = shared->x.load();
        y = shared->y.load();
        return true;
    }

private:
    template <class F>
    void Post(F change)
    {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [d = dialog, change] {
                if (d) change(*d);
            },
            Qt::QueuedConnection);
    }

    QPointer<CProgressDialog> dialog;  // made on the window thread, read only there
    std::shared_ptr<SProgressShared> shared;
};

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

}  // namespace

CQtUiPort::CQtUiPort() = default;
CQtUiPort::~CQtUiPort() = default;

CQtUiPort& GuiPort()
{
    static CQtUiPort* port = new CQtUiPort;  // used until the very end of the program
    return *port;
}

QWidget* CQtUiPort::DialogParent() const
{
    if (parentWindow) return parentWindow;
    QWidget* window = QApplication::activeWindow();
    // A progress window goes away when its stage ends, taking its children with it: a
    // dialog opened meanwhile (the next stage's progress, a message) is parented to the
    // window below it instead.
    while (window && qobject_cast<CProgressDialog*>(window)) window = window->parentWidget();
    return window;
}

std::optional<std::string> CQtUiPort::NextChoice()
{
    if (script->choices.empty()) return std::nullopt;
    std::vector<std::string> choice = script->choices.front();
    script->choices.pop_front();
    if (choice.empty()) return std::nullopt;
    return choice.front();
}

MsgAnswer CQtUiPort::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons, MsgIcon icon)
{
    MsgAnswer answer = SafeAnswer(buttons);
    OnWindowThread([&] {
        if (script) {
            script->messages.push_back({text, caption, buttons, icon});
            if (!script->answers.empty()) {
                answer = script->answers.front();
                script->answers.pop_front();
            }
            return;
        }
        QMessageBox box(BoxIcon(icon), Q(caption), Q(text), QMessageBox::NoButton, DialogParent());
        switch (buttons) {
        case MsgButtons::Ok:
            box.addButton(T(100), QMessageBox::AcceptRole);
            box.exec();
            answer = MsgAnswer::Ok;
            return;
        case MsgButtons::OkCancel: {
            QAbstractButton* ok = box.addButton(T(100), QMessageBox::AcceptRole);
            box.setEscapeButton(static_cast<QAbstractButton*>(box.addButton(T(101), QMessageBox::RejectRole)));
            box.exec();
            answer = box.clickedButton() == ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
            return;
        }
        case MsgButtons::YesNo: {
            QAbstractButton* yes = box.addButton(QMessageBox::Yes);
            box.setEscapeButton(static_cast<QAbstractButton*>(box.addButton(QMessageBox::No)));
            box.exec();
            answer = box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
            return;
        }
        }
    });
    return answer;
}

std::unique_ptr<CProgressWindow> CQtUiPort::OpenProgress(const std::string& title, const std::string& body,
                                                         bool visible)
{
    auto shared = std::make_shared<SProgressShared>();
    QPointer<CProgressDialog> dialog;
    OnWindowThread([&] {
        auto* made = new CProgressDialog(DialogParent(), Q(title), Q(body), shared);
        dialog = made;
        int x = 0, y = 0;
        if (CProgress::RememberedPosition(x, y)) made->PlaceAt(x, y);
        if (visible) made->show();
        if (script && script->onProgress) script->onProgress(*made);
    });
    return std::make_unique<CQtProgressWindow>(dialog, shared);
}

std::optional<std::string> CQtUiPort::ChooseFolder(const std::string& title, const std::string& start)
{
    std::optional<std::string> chosen;
    OnWindowThread([&] {
        if (script) {
            chosen = NextChoice();
            return;
        }
        const QString folder = QFileDialog::getExistingDirectory(DialogParent(), Q(title), Q(start));
        if (!folder.isEmpty()) chosen = S(folder);
    });
    return chosen;
}

std::vector<std::string> CQtUiPort::ChooseOpenFiles(const QString& title, const std::string& startFolder,
                                                    const QString& filter, bool multi)
{
    std::vector<std::string> chosen;
    OnWindowThread([&] {
        if (script) {
            if (!script->choices.empty()) {
                chosen = script->choices.front();
                script->choices.pop_front();
            }
            return;
        }
        if (multi) {
            for (const QString& file : QFileDialog::getOpenFileNames(DialogParent(), title, Q(startFolder), filter))
                chosen.push_back(S(file));
        } else {
            const QString file = QFileDialog::getOpenFileName(DialogParent(), title, Q(startFolder), filter);
            if (!file.isEmpty()) chosen.push_back(S(file));
        }
    });
    return chosen;
}

std::optional<std::string> CQtUiPort::ChooseSaveFile(const QString& title, const std::string& startFolder,
                                                     const QString& filter, const QString& suffix)
{
    std::optional<std::string> chosen;
    OnWindowThread([&] {
        if (script) {
            chosen = NextChoice();
            return;
        }
        QFileDialog dialog(DialogParent(), title, Q(startFolder), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = S(dialog.selectedFiles().front());
    });
    return chosen;
}

void CQtUiPort::PlaySoundFile(const std::string& path)
{
    OnWindowThread([&] {
        if (script) {
            script->sounds.push_back(path);
            return;
        }
        if (!QFileInfo::exists(Q(path))) return;
        if (!sound) sound = std::make_unique<QSoundEffect>();
        sound->setSource(QUrl::fromLocalFile(Q(path)));
        sound->play();
    });
}
