#include "cli/TerminalUi.h"

#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstring>
#include <string>

namespace {

std::atomic<int> interrupts{0};
std::atomic<bool> interruptPending{false};
std::atomic<bool> stopRequested{false};

void Say(const char* text) { (void)!write(STDERR_FILENO, text, std::strlen(text)); }

// Ctrl-C, SIGTERM and SIGHUP alike: the first asks to cancel (the work so far is
// finished as far as it makes sense), the second to stop at the next safe point
// (what was being made is abandoned), a third ends the program at once.
void OnInterrupt(int)
{
    const int count = interrupts.fetch_add(1) + 1;
    if (count >= 3) {
        Say("\nQuitting at once.\n");
        _exit(130);
    }
    if (count == 2) {
        stopRequested.store(true);
        interruptPending.store(true);
        Say("\nStopping... (interrupt once more to quit at once)\n");
        return;
    }
    interruptPending.store(true);
    Say("\nCancelling... (interrupt again to stop without finishing)\n");
}

// The remaining time of a progress body made from the time format ("... Remaining
// Time: 00:03:00"), or "" when the body carries none.
std::string RemainingTime(const std::string& body)
{
    static const std::string label = "Remaining Time: ";
    size_t at = body.rfind(label);
    if (at == std::string::npos) return {};
    std::string value = body.substr(at + label.size());
    size_t end = value.find_first_of("\r\n");
    return end == std::string::npos ? value : value.substr(0, end);
}

class CTerminalProgress : public CProgressWindow {
public:
    CTerminalProgress(std::FILE* out, std::string title, std::string body, bool visible)
        : out(out), title(std::move(title)), body(std::move(body)), visible(visible), tty(isatty(fileno(out)) != 0)
    {
        if (visible) Show();
    }
    ~CTerminalProgress() override
    {
        if (shown && tty && barShown) std::fputc('\n', out);
        std::fflush(out);
    }

    void Show() override
    {
        if (shown) return;
        shown = true;
        std::fprintf(out, "%s: %s\n", title.c_str(), FirstLine(body).c_str());
        std::fflush(out);
    }
    void SetTitle(const std::string& t) override { title = t; }
    void SetText(const std::string& text) override { body = text; }
    void SetBar(int percent) override
    {
        if (!shown) Show();
        // Callers may overshoot (a source longer than measured); the bar never does.
        if (percent < 0) percent = 0;
        if (percent > 100) percent = 100;
        if (percent == lastPercent) return;
        lastPercent = percent;
        if (tty) {
            const int width = 30;
            int filled = percent * width / 100;
            std::string bar(static_cast<size_t>(filled), '#');
            bar.append(static_cast<size_t>(width - filled), '-');
            std::string line = FirstLine(body);
            std::string left = RemainingTime(body);
            if (!left.empty()) left = " " + left + " left";
            const size_t room = left.empty() ? 40 : 30;
            if (line.size() > room) line = line.substr(0, room - 3) + "...";
            line += left;
            std::fprintf(out, "\r[%s] %3d%% %-40s", bar.c_str(), percent, line.c_str());
            barShown = true;
        } else if (percent >= nextLinePercent || percent == 100) {
            std::string left = RemainingTime(body);
            if (left.empty())
                std::fprintf(out, "%s: %d%%\n", title.c_str(), percent);
            else
                std::fprintf(out, "%s: %d%% (%s left)\n", title.c_str(), percent, left.c_str());
            nextLinePercent = percent + 10;
        }
        std::fflush(out);
    }
    bool Pump() override
    {
        // The request is handed to the first window that pumps; the window's owner keeps
        // it (a cancel is sticky there).
        return interruptPending.exchange(false);
    }

private:
    static std::string FirstLine(const std::string& text)
    {
        std::string plain = PlainLines(text);
        size_t end = plain.find('\n');
        return end == std::string::npos ? plain : plain.substr(0, end);
    }

    std::FILE* out;
    std::string title;
    std::string body;
    bool visible;
    bool tty;
    bool shown = false;
    bool barShown = false;
    int lastPercent = -1;
    int nextLinePercent = 0;
};

}  // namespace

std::string PlainLines(const std::string& text)
{
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') {
            plain += '\n';
            ++i;
        } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            plain += '\n';
            ++i;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

CTerminalUi::CTerminalUi(Answers answers, std::FILE* out, std::FILE* in) : answers(answers), out(out), in(in) {}

MsgAnswer CTerminalUi::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons, MsgIcon)
{
    std::string plain = PlainLines(text);
    while (!plain.empty() && plain.back() == '\n') plain.pop_back();
    std::fprintf(out, "%s: %s\n", caption.c_str(), plain.c_str());
    if (buttons == MsgButtons::Ok) {
        std::fflush(out);
        return MsgAnswer::Ok;
    }
    const bool yesNo = buttons == MsgButtons::YesNo;
    MsgAnswer positive = yesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    MsgAnswer negative = yesNo ? MsgAnswer::No : MsgAnswer::Cancel;
    MsgAnswer answer = negative;
    switch (answers) {
    case Answers::Yes:
        answer = positive;
        break;
    case Answers::No:
        answer = negative;
        break;
    case Answers::Safe:
        answer = SafeAnswer(buttons);
        break;
    case Answers::Ask: {
        std::fprintf(out, "%s ", yesNo ? "[y/N]" : "[o(k)/C(ancel)]");
        std::fflush(out);
        char line[64] = {};
        if (in && std::fgets(line, sizeof line, in)) {
            char c = line[0];
            if (c == 'y' || c == 'Y' || c == 'o' || c == 'O') answer = positive;
        }
        break;
    }
    }
    std::fprintf(out, "  -> %s\n",
                 answer == MsgAnswer::Yes      ? "Yes"
                     : answer == MsgAnswer::No ? "No"
                     : answer == MsgAnswer::Ok ? "OK"
                                               : "Cancel");
    std::fflush(out);
    return answer;
}

std::unique_ptr<CProgressWindow> CTerminalUi::OpenProgress(const std::string& title, const std::string& body,
                                                           bool visible)
{
    return std::make_unique<CTerminalProgress>(out, title, body, visible);
}

std::optional<std::string> CTerminalUi::ChooseFolder(const std::string&, const std::string&) { return std::nullopt; }

void CTerminalUi::InstallInterruptHandler()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &sa, nullptr);
}

bool CTerminalUi::StopRequested() { return stopRequested.load(); }

bool CTerminalUi::StopWasRequested() { return stopRequested.load(); }

bool CTerminalUi::InterruptPending() { return interruptPending.load(); }

void CTerminalUi::ClearInterrupt() { interruptPending.store(false); }
