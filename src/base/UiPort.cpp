#include "base/UiPort.h"

namespace {

class CSilentProgress : public CProgressWindow {
public:
    void Show() override {}
    void SetTitle(const std::string&) override {}
    void SetText(const std::string&) override {}
    void SetBar(int) override {}
    bool Pump() override { return false; }
};

class CSilentUi : public CUiPort {
public:
    MsgAnswer MessageBox(const std::string&, const std::string&, MsgButtons buttons, MsgIcon) override
    {
        return SafeAnswer(buttons);
    }
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string&, const std::string&, bool) override
    {
        return std::make_unique<CSilentProgress>();
    }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
    void PlaySoundFile(const std::string&) override {}
};

CSilentUi silentUi;
CUiPort* currentUi = &silentUi;

}  // namespace

CUiPort& Ui() { return *currentUi; }

void SetUi(CUiPort* port) { currentUi = port ? port : &silentUi; }

MsgAnswer SafeAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OkCancel:
        return MsgAnswer::Cancel;
    case MsgButtons::Ok:
        break;
    }
    return MsgAnswer::Ok;
}
