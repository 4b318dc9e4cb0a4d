#include "base/Progress.h"

#include "base/Ini.h"
#include "base/Texts.h"
#include "platform/Clock.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex clockMutex;
std::function<int64_t()> testClock;
std::string settingsFile;

// Fills each "%s" of `format` with the next argument in turn and "%%" with "%". Any
// other conversion is copied as it stands, so a translated text with a stray "%d" can
// never read arguments that are not there.
std::string FillStrings(const std::string& format, std::initializer_list<std::string> args)
{
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (next != args.end()) out += *next++;
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

}  // namespace

CProgress::~CProgress() { CloseWindow(); }

void CProgress::SetClock(std::function<int64_t()> clock)
{
    std::lock_guard<std::mutex> lock(clockMutex);
    testClock = std::move(clock);
}

void CProgress::SetSettingsFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(clockMutex);
    settingsFile = path;
}

bool CProgress::RememberedPosition(int& x, int& y)
{
    std::string file;
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        file = settingsFile;
    }
    if (file.empty()) return false;
    const std::string xText = IniRead("Settings", "X", "", file);
    const std::string yText = IniRead("Settings", "Y", "", file);
    if (xText.empty() || yText.empty()) return false;
    char* end = nullptr;
    const long xValue = std::strtol(xText.c_str(), &end, 10);
    if (*end != '\0') return false;
    const long yValue = std::strtol(yText.c_str(), &end, 10);
    if (*end != '\0') return false;
    x = int(xValue);
    y = int(yValue);
    return true;
}

int64_t CProgress::NowSeconds()
{
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        if (testClock) return testClock();
    }
    CClock& clock = Clock();
    const uint64_t frequency = clock.CounterFrequency();
    return frequency == 0 ? 0 : static_cast<int64_t>(clock.Counter() / frequency);
}

int64_t CProgress::RemainingSeconds(int64_t elapsedSeconds, int percent)
{
    int64_t p = percent <= 0 ? 1 : percent;
    int64_t left = 100 - p;
    if (left <= 0 || elapsedSeconds <= 0) return 0;
    return left * elapsedSeconds / p;
}

std::string CProgress::FormatHms(int64_t seconds)
{
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

void CProgress::OpenWindow(const std::string& title, const std::string& body, bool visible)
{
    CloseWindow();
    std::string caption = title.empty() ? std::string(Text(400)) : title;
    window = (port ? *port : Ui()).OpenProgress(caption, body, visible);
    hidden = !visible;
    jobText = body;
    lastPercent = -1;
    havePosition = false;
    startTime = NowSeconds();
}

void CProgress::Open(const std::string& title, const std::string& body) { OpenWindow(title, body, true); }

void CProgress::OpenHidden(const std::string& title, const std::string& body) { OpenWindow(title, body, false); }

void CProgress::EnsureShown()
{
    if (window && hidden) {
        window->Show();
        hidden = false;
    }
}

void CProgress::SetText(const std::string& text)
{
    jobText = text;
    if (window) window->SetText(text);
}

void CProgress::SetPercent(int percent)
{
    EnsureShown();
    if (percent == lastPercent) return;
    lastPercent = percent;
    if (!window) return;
    char tail[32];
    std::snprintf(tail, sizeof tail, "\n %d%%", percent);
    window->SetText(jobText + tail);
    window->SetBar(percent);
}

void CProgress::SetPercentAndTime(int64_t positionSeconds, int percent)
{
    EnsureShown();
    if (havePosition && positionSeconds == lastPosition) return;
    havePosition = true;
    lastPosition = positionSeconds;
    lastPercent = percent;
    if (!window) return;
    int64_t elapsed = NowSeconds() - startTime;
    if (elapsed < 0) elapsed = 0;
    std::string body = FillStrings(std::string(Text(401)),
                                   {jobText, FormatHms(positionSeconds + positionOffset), FormatHms(elapsed),
                                    FormatHms(RemainingSeconds(elapsed, percent))});
    window->SetText(body);
    window->SetBar(percent);
}

bool CProgress::IsStopped() const { return (port ? *port : Ui()).StopRequested(); }

void CProgress::Pump()
{
    if (!window) return;
    // The window is pumped even after a cancel so that it stays responsive while the
    // working loop unwinds; the flag itself never goes back.
    if (window->Pump()) cancelled = true;
}

void CProgress::CloseWindow()
{
    if (!window) return;
    int x = 0;
    int y = 0;
    std::string file;
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        file = settingsFile;
    }
    if (!file.empty() && window->GetPosition(x, y)) {
        IniWrite(file, "Settings", "X", std::to_string(x));
        IniWrite(file, "Settings", "Y", std::to_string(y));
    }
    window.reset();
}
