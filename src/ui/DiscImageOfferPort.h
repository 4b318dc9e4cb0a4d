// A user-interface port that passes everything to another port, except that the
// ready-to-burn question at the end of a DVD job says what Yes does while the program
// cannot burn: it opens the disc-image window for the new DVD folder instead.
#pragma once

#include "base/UiPort.h"

class CDiscImageOfferPort : public CUiPort {
public:
    // Passes everything to `inner`, which must outlive this port.
    explicit CDiscImageOfferPort(CUiPort& inner_) : inner(inner_) {}

    // The line added to the ready-to-burn question.
    static std::string OfferText();

    // The ready-to-burn question (caption key 423) gets OfferText() added; every other
    // message is passed on unchanged. Returns the person's answer.
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    // Passed on to the inner port.
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override;
    // Passed on to the inner port.
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
    // Passed on to the inner port.
    void PlaySoundFile(const std::string& path) override;
    // Passed on to the inner port.
    bool StopRequested() override;

private:
    CUiPort& inner;
};
