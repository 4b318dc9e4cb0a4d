#include "support/ScriptedUi.h"

class CScriptedProgress : public CProgressWindow {
public:
    CScriptedProgress(CScriptedUi& ui, int index) : ui(ui), index(index) {}
    ~CScriptedProgress() override { Record("close", ""); }

    void Show() override { Record("show", ""); }
    void SetTitle(const std::string& title) override { Record("title", title); }
    void SetText(const std::string& text) override { Record("text", text); }
    void SetBar(int percent) override { Record("bar", std::to_string(percent)); }
    bool Pump() override
    {
        ++ui.pumps;
        ++pumps;
        return index == ui.cancelWindow && pumps >= ui.cancelPump;
    }

    void Record(const std::string& what, const std::string& value) { ui.progress.push_back({index, what, value}); }

private:
    CScriptedUi& ui;
    int index;
    int pumps = 0;
};

MsgAnswer CScriptedUi::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons, MsgIcon icon)
{
    MsgAnswer answer = SafeAnswer(buttons);
    if (buttons != MsgButtons::Ok && !answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    boxes.push_back({text, caption, buttons, icon, answer});
    return answer;
}

std::unique_ptr<CProgressWindow> CScriptedUi::OpenProgress(const std::string& title, const std::string& body,
                                                           bool visible)
{
    auto window = std::make_unique<CScriptedProgress>(*this, windowsOpened++);
    window->Record("open", title + "\n" + body);
    if (visible) window->Record("show", "");
    return window;
}

std::optional<std::string> CScriptedUi::ChooseFolder(const std::string&, const std::string&)
{
    if (folderAnswers.empty()) return std::nullopt;
    std::string folder = folderAnswers.front();
    folderAnswers.pop_front();
    return folder;
}
