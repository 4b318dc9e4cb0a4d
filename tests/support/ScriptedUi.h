// A user-interface port for tests: records every message box, progress window update
// and sound, and answers questions from a script given in advance.
#pragma once

#include "base/UiPort.h"

#include <deque>
#include <string>
#include <vector>

class CScriptedUi : public CUiPort {
public:
    struct Box {
        std::string text;
        std::string caption;
        MsgButtons buttons;
        MsgIcon icon;
        MsgAnswer answer;
    };
    struct ProgressEvent {
        int window;  // which progress window (0, 1, ... in order of opening)
        std::string what;  // "open", "show", "title", "text", "bar", "close"
        std::string value;  // the text, or the bar's value in decimal
    };

    // Answers for the next questions, in order; when they run out the safe answer is given.
    void QueueAnswer(MsgAnswer answer) { answers.push_back(answer); }
    // Makes progress window number `window` report a cancel request at its n-th Pump
    // (counted from 1).
    void CancelAtPump(int window, int n)
    {
        cancelWindow = window;
        cancelPump = n;
    }

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
    void PlaySoundFile(const std::string& path) override { sounds.push_back(path); }

    std::vector<Box> boxes;
    std::vector<ProgressEvent> progress;
    std::vector<std::string> sounds;
    std::deque<std::string> folderAnswers;  // answers for ChooseFolder; empty = declined
    int pumps = 0;  // Pump calls over all windows

private:
    friend class CScriptedProgress;
    std::deque<MsgAnswer> answers;
    int windowsOpened = 0;
    int cancelWindow = -1;
    int cancelPump = 0;
};
