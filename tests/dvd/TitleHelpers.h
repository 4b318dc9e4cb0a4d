// Shared helpers of the DVD tests: a title builder over the fake sources, and the
// whole-title check of what was written.
#pragma once

#include "FakeSources.h"
#include "base/UiPort.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "dvd/TitleBuilder.h"
#include "support/VobChecker.h"

#include <cstdint>
#include <string>
#include <vector>

struct FakeTitle {
    std::vector<uint8_t> video;
    int rate = 30;
    int resolutionCode = 0;
    bool wide = false;
    int audioKind = CAudio::kindMp2;  // -1: no audio source
    std::vector<uint8_t> audio;
    double seconds = 0;  // for the 120-second cell plan
    int64_t splitBytes = CDVDMplex::defaultSplitBytes;
    int shortBy = 16;
};

// A run context of the builder's own, for tests that make a single title.
struct SOwnRunContext {
    SMuxRunContext ownRun;
};

class CFakeTitleBuilder : private SOwnRunContext, public CTitleBuilder {
public:
    explicit CFakeTitleBuilder(const FakeTitle& t, CUiPort& ui = Ui()) : CTitleBuilder(ui, ownRun), title(t) {}
    CFakeTitleBuilder(const FakeTitle& t, CUiPort& ui, SMuxRunContext& run) : CTitleBuilder(ui, run), title(t) {}

protected:
    bool OpenSources(CDVDMplex& mplex) override
    {
        auto v = std::make_unique<CFakeVideo>(title.video, title.rate, title.resolutionCode, title.wide);
        v->shortBy = title.shortBy;
        std::unique_ptr<CAudio> a;
        if (title.audioKind >= 0) a = std::make_unique<CFakeAudio>(title.audio, title.audioKind);
        mplex.SetSources(std::move(v), std::move(a));
        return true;
    }
    void PlanCells(CDVDMplex& mplex) override { mplex.AddCells(SlideshowCellPlan(title.seconds)); }
    std::unique_ptr<CDVDMplex> MakeMultiplexer() override
    {
        return std::make_unique<CDVDMplex>(UiPort(), RunContext(), title.splitBytes);
    }

    const FakeTitle& title;
};

// The VOB files of title set `vts` in `folder`, in order.
std::vector<std::string> VobFiles(const std::string& folder, int vts);

// Reads the title set back and runs every stream and NAV check; the returned scan's
// errors list what failed. `pictures` is the number of pictures in the video.
vobcheck::Scan CheckWrittenTitle(const std::string& folder, int vts, int pictures, int audioKind,
                                 uint32_t period = 3003);

// Big-endian readers for IFO bytes.
uint32_t Be32(const std::vector<uint8_t>& b, size_t at);
uint16_t Be16(const std::vector<uint8_t>& b, size_t at);
