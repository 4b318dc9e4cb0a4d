// The desktop program's user-interface port: message boxes, progress windows, file and
// folder choosers and sounds as Qt windows. Every call may come from any thread: a call
// from a job's worker thread is carried to the window thread and waits for the answer,
// so a job runs unchanged whether it runs on the window thread or beside it.
//
// Tests install a script (SUiScript): then no dialog opens; every message is recorded
// and answered from the script, and file choices come from the script too.
#pragma once

#include "base/UiPort.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CProgressDialog;
class QSoundEffect;
#include <QWidget>

// One message box as it was asked for.
struct SUiMessage {
    std::string text;
    std::string caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

// What a test answers in place of the person.
struct SUiScript {
    std::vector<SUiMessage> messages;  // every message, in order
    std::deque<MsgAnswer> answers;  // the next answers; when empty, the safe answer
    std::deque<std::vector<std::string>> choices;  // the next file or folder choices; {} declines
    std::vector<std::string> sounds;  // every sound file played
    // Called on the window thread when a progress window opens (for example to press
    // its Cancel button later).
    std::function<void(CProgressDialog&)> onProgress;
};

class CQtUiPort : public QObject, public CUiPort {
    Q_OBJECT
public:
    CQtUiPort();
    ~CQtUiPort() override;

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
    void PlaySoundFile(const std::string& path) override;
    bool StopRequested() override { return stop.load(); }

    // An open-file dialog starting in `startFolder` with a Qt name filter ("Photo Files
    // (*.jpg *.png)"); several files when `multi`. Nothing when declined.
    std::vector<std::string> ChooseOpenFiles(const QString& title, const std::string& startFolder,
                                             const QString& filter, bool multi);
    // A save-file dialog; nothing when declined. `suffix` is added to a name without one.
    std::optional<std::string> ChooseSaveFile(const QString& title, const std::string& startFolder,
                                              const QString& filter, const QString& suffix);

    // Asks a running job to stop at its next safe point (the application is closing).
    void RequestStop() { stop.store(true); }
    // Clears a stop request before the next job.
    void ClearStop() { stop.store(false); }

    // Installs a test script (not owned); nullptr restores the real dialogs.
    void SetScript(SUiScript* script_) { script = script_; }
    SUiScript* Script() const { return script; }

    // The window that parents dialogs opened for a job (the active window when unset).
    void SetParentWindow(QWidget* window) { parentWindow = window; }

private:
    QWidget* DialogParent() const;
    std::optional<std::string> NextChoice();

    SUiScript* script = nullptr;
    QPointer<QWidget> parentWindow;
    std::unique_ptr<QSoundEffect> sound;
    std::atomic<bool> stop{false};
};

// The program's port (made on first use; lives until the program ends).
CQtUiPort& GuiPort();

// Runs `work` on the window thread and returns its result; from the window thread it
// runs at once, from another thread it waits until the window thread has run it.
void OnWindowThread(const std::function<void()>& work);
