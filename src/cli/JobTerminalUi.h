// The terminal's port for a DVD job (`kestrova slideshow --out`, `kestrova video`).
// The ready-to-burn question is answered Yes when the job was told to burn (--burn),
// otherwise No with a word on how to burn later; everything else goes to the terminal
// port.
#pragma once

#include "base/UiPort.h"
#include "cli/TerminalUi.h"

#include <filesystem>
#include <string>

struct CArgs;

class CJobTerminalUi : public CUiPort {
public:
    // `dvdRoot` is the folder holding VIDEO_TS, named in the word on burning; `burn`
    // answers the ready-to-burn question Yes.
    CJobTerminalUi(CUiPort& inner_, std::string dvdRoot_, bool burn_ = false)
        : inner(inner_), dvdRoot(std::move(dvdRoot_)), burn(burn_)
    {}

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override
    {
        return inner.OpenProgress(title, body, visible);
    }
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override
    {
        return inner.ChooseFolder(title, start);
    }
    void PlaySoundFile(const std::string& path) override { inner.PlaySoundFile(path); }
    bool StopRequested() override { return inner.StopRequested(); }

private:
    CUiPort& inner;
    std::string dvdRoot;
    bool burn;
};

// How a job's questions are answered: --yes / --no answer them; otherwise they are asked
// at a terminal, and answered with the safe choice (keep the existing DVD) when there
// is none.
CTerminalUi::Answers JobAnswers(const CArgs& args);

// The DVD folder a job writes: DIR/VIDEO_TS for --out DIR, DIR itself when it is a
// VIDEO_TS folder, ~/TempDVD/VIDEO_TS without --out.
std::filesystem::path OutputVideoTs(const CArgs& args);
