// The one way the core reaches the person: message boxes, progress windows, choosers
// and sound. The desktop program, the terminal and the tests each provide their own
// implementation; a job written against this port runs unchanged under all three.
#pragma once

#include <memory>
#include <optional>
#include <string>

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// A modeless progress window: a body text, a bar of range 0..100 and a Cancel button.
class CProgressWindow {
public:
    virtual ~CProgressWindow() = default;
    // Shows a window that was opened hidden.
    virtual void Show() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void SetBar(int percent) = 0;
    // Handles pending user input; returns true when the person asked to cancel since
    // the last call (Escape, the Cancel button, Ctrl-C in a terminal).
    virtual bool Pump() = 0;
    // Screen position of the window, for the settings file; the terminal has none.
    virtual bool GetPosition(int& x, int& y) const
    {
        (void)x;
        (void)y;
        return false;
    }
};

class CUiPort {
public:
    virtual ~CUiPort() = default;

    // Shows a message and returns the answer. Texts may hold line breaks.
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                                 MsgIcon icon) = 0;

    // Opens a progress window; when `visible` is false it stays hidden until Show().
    virtual std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                          bool visible) = 0;

    // Lets the person choose a folder; nothing when they declined.
    virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) = 0;

    // Plays a sound file and returns at once; a port without sound ignores it.
    virtual void PlaySoundFile(const std::string& path) = 0;

    // True once the person asked to stop the work at once (a second interrupt in a
    // terminal): unlike a cancel, which finishes what was made so far, a stop abandons
    // it at the next safe point. Stays true for the rest of the run.
    virtual bool StopRequested() { return false; }
};

// The port in force for this process. Before SetUi is called it is a silent port that
// answers every question with the safe choice (No, Cancel, OK for a plain notice).
CUiPort& Ui();
// Installs a port (not owned); nullptr restores the silent one.
void SetUi(CUiPort* port);

// The safe answer for a set of buttons: No for Yes/No, Cancel for OK/Cancel, else OK.
MsgAnswer SafeAnswer(MsgButtons buttons);

// Installs a port for the lifetime of a scope and restores the previous one after.
class CUiScope {
public:
    explicit CUiScope(CUiPort& port) : previous(&Ui()) { SetUi(&port); }
    ~CUiScope() { SetUi(previous); }
    CUiScope(const CUiScope&) = delete;
    CUiScope& operator=(const CUiScope&) = delete;

private:
    CUiPort* previous;
};
