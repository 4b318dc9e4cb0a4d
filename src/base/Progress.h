// The handle every long operation reports through: it owns at most one progress window
// of the user-interface port, formats the body text (job text, percentage, times),
// keeps the window alive through Pump and remembers a cancel request for the rest of
// its life. Working loops poll IsCancelled; nothing is ever interrupted from outside.
#pragma once

#include "base/UiPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CProgress {
public:
    // A window of the port installed when it opens (Ui()).
    CProgress() = default;
    // A window of `port`, which must outlive this object.
    explicit CProgress(CUiPort& port_) : port(&port_) {}
    // Stores the window position (when the port has one) and closes the window.
    virtual ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // Opens and shows the window with `title` (empty: the "Progress" text) and `body`;
    // records the start time. A window already open is closed first.
    void Open(const std::string& title, const std::string& body);
    // As Open, but the window stays hidden until the first percentage or time update.
    void OpenHidden(const std::string& title, const std::string& body);

    // Replaces the job text and shows it as the body.
    void SetText(const std::string& text);
    // Shows the window if hidden; when `percent` differs from the value last shown, the
    // body becomes the job text followed by the percentage, and the bar moves.
    void SetPercent(int percent);
    // Shows the window if hidden; when the source position changed, the body shows the
    // job text, the position (plus the position offset), the elapsed time and the
    // estimated remaining time; the bar moves to `percent`.
    void SetPercentAndTime(int64_t positionSeconds, int percent);
    // Seconds added to every source position shown by SetPercentAndTime.
    void SetPositionOffset(int64_t seconds) { positionOffset = seconds; }

    // Lets the window handle pending input; a cancel request (Escape, the Cancel button,
    // Ctrl-C in a terminal) sets the cancelled flag, which then stays set.
    void Pump();
    // True once a cancel was requested.
    bool IsCancelled() const { return cancelled; }
    // Records a cancel request made elsewhere (for example a failed step of the job).
    void Cancel() { cancelled = true; }
    // True once the port says the work is to be stopped at once (see
    // CUiPort::StopRequested); asks the port each time, so it needs no Pump.
    bool IsStopped() const;

    // True while a window is open.
    bool IsOpen() const { return window != nullptr; }
    // The job text and the last percentage shown (-1 before the first one).
    const std::string& JobText() const { return jobText; }
    int LastPercent() const { return lastPercent; }

    // Seconds left when `percent` of the work took `elapsedSeconds`: (100 - p) x elapsed
    // / p, never below 0, with p taken as 1 when it is 0 or less.
    static int64_t RemainingSeconds(int64_t elapsedSeconds, int percent);
    // "HH:MM:SS" for a number of seconds; hours keep counting past 23, negatives are 0.
    static std::string FormatHms(int64_t seconds);

    // Replaces the clock (whole seconds) for every handle, for tests; an empty function
    // restores the platform clock (platform/Clock.h).
    static void SetClock(std::function<int64_t()> clock);
    // Where the window position is stored ("Settings", "X"/"Y"); set once by the
    // application at start. Empty: the position is not stored.
    static void SetSettingsFile(const std::string& path);
    // The window position stored by the last handle that closed a window ("Settings",
    // "X"/"Y" of the settings file); false when none is stored or no file is set.
    static bool RememberedPosition(int& x, int& y);

private:
    void OpenWindow(const std::string& title, const std::string& body, bool visible);
    void EnsureShown();
    void CloseWindow();
    static int64_t NowSeconds();

    std::unique_ptr<CProgressWindow> window;
    bool hidden = false;
    bool cancelled = false;
    int lastPercent = -1;
    bool havePosition = false;
    int64_t lastPosition = 0;
    std::string jobText;
    int64_t startTime = 0;
    int64_t positionOffset = 0;
    CUiPort* port = nullptr;  // null: the port installed when the window opens
};
