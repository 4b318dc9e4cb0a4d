// CTitleBuilder: makes one complete video title set in a DVD folder — sources, cell
// plan, multiplexing, NAV completion, the title set's IFO and the folder's
// VIDEO_TS.IFO/.BUP. The kinds of title (slide show, video file, camcorder footage)
// differ only in their sources and cell plans, which subclasses supply.
#pragma once

#include "dvd/MuxRunContext.h"

#include <memory>
#include <string>

class CDVDMplex;
class CUiPort;

class CTitleBuilder {
public:
    // Reports through `ui`; `run` is the job's multiplexer state, shared by all its
    // titles. Both must outlive the builder.
    CTitleBuilder(CUiPort& ui_, SMuxRunContext& run_) : ui(ui_), run(run_) {}
    virtual ~CTitleBuilder() = default;

    // Builds title set `titleIndex` + 1 in `folder`. Returns true when the VOB, IFO
    // and BUP files and VIDEO_TS.IFO/.BUP were written. On failure the reason has been
    // reported through the user-interface port (and is kept in Error()). A title set
    // that could not be finished leaves no files behind; when only VIDEO_TS.IFO cannot
    // be written, the finished title set stays. When the port asks to stop
    // (CUiPort::StopRequested), the title set is removed and Error() is "stopped".
    bool Build(int titleIndex, const std::string& folder);
    const std::string& Error() const { return error; }

protected:
    CUiPort& UiPort() const { return ui; }
    SMuxRunContext& RunContext() const { return run; }

    // Creates the sources, hands them to `mplex` (SetSources) and starts them. Returns
    // false when a source cannot start.
    virtual bool OpenSources(CDVDMplex& mplex) = 0;
    // Plans the title's cells (AddCell, AddCells with a plan from CellPlan.h).
    virtual void PlanCells(CDVDMplex& mplex) = 0;
    // Sets the time offsets or other multiplexer options before OpenTitle.
    virtual void PrepareMultiplexer(CDVDMplex& mplex) { (void)mplex; }
    // Runs after the multiplexing, before the IFO files (closes media graphs).
    virtual void AfterRun() {}
    // The multiplexer to use, on this builder's port and run context; tests lower its
    // VOB split size.
    virtual std::unique_ptr<CDVDMplex> MakeMultiplexer();

private:
    void Fail(const std::string& message, bool report);
    bool RunAndWrite(CDVDMplex& mplex, int titleIndex);

    CUiPort& ui;
    SMuxRunContext& run;
    std::string error;
};
