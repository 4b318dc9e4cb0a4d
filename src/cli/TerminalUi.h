// The user-interface port of the command-line program: messages go to stderr with their
// caption, questions are answered from --yes / --no (or asked on a terminal when the
// program was told to ask), progress is a bar on stderr, and Ctrl-C asks to cancel.
#pragma once

#include "base/UiPort.h"

#include <cstdio>

class CTerminalUi : public CUiPort {
public:
    enum class Answers { Safe, Yes, No, Ask };

    explicit CTerminalUi(Answers answers = Answers::Safe, std::FILE* out = stderr, std::FILE* in = stdin);

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
    void PlaySoundFile(const std::string&) override {}

    bool StopRequested() override;

    // Installs the handler of Ctrl-C, SIGTERM and SIGHUP: the first is seen as a cancel
    // request at the next Pump of any progress window, the second as a request to stop
    // at the next safe point (StopRequested), a third ends the program at once.
    static void InstallInterruptHandler();
    // True once a second interrupt asked to stop.
    static bool StopWasRequested();
    // True once Ctrl-C was pressed (and not yet consumed by a progress window).
    static bool InterruptPending();
    static void ClearInterrupt();

private:
    Answers answers;
    std::FILE* out;
    std::FILE* in;
};

// Turns message text line breaks ("\n\r" from the message table) into plain "\n".
std::string PlainLines(const std::string& text);
