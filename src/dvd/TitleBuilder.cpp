#include "dvd/TitleBuilder.h"

#include "audio/Audio.h"
#include "base/UiPort.h"
#include "dvd/DVDIFO.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/Video.h"

#include <cstdio>

std::unique_ptr<CDVDMplex> CTitleBuilder::MakeMultiplexer() { return std::make_unique<CDVDMplex>(ui, run); }

void CTitleBuilder::Fail(const std::string& message, bool report)
{
    error = message;
    if (report) ui.MessageBox(message, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
}

bool CTitleBuilder::Build(int titleIndex, const std::string& folder)
{
    error.clear();
    run.lastScrWritten = -1;
    std::unique_ptr<CDVDMplex> mplex = MakeMultiplexer();
    if (!OpenSources(*mplex) || !mplex->Video()) {
        Fail("The sources of title " + std::to_string(titleIndex + 1) + " could not be started.", true);
        return false;
    }
    PlanCells(*mplex);
    mplex->SetCurrentCell(0);
    if (mplex->Audio() && mplex->Audio()->StreamKind() == CAudio::kindMp2)
        mplex->SetAudioBufferCapacity(CDVDMplex::mpegAudioBufferBytes);
    PrepareMultiplexer(*mplex);
    if (!mplex->OpenTitle(titleIndex + 1, folder)) {
        Fail("Cannot create " + mplex->VobPath(1) + ".", true);
        return false;
    }
    return RunAndWrite(*mplex, titleIndex);
}

// Multiplexes the opened title and writes its navigation data, its IFO and the
// folder's VIDEO_TS files.
bool CTitleBuilder::RunAndWrite(CDVDMplex& mplex, int titleIndex)
{
    bool ran = mplex.Run();
    AfterRun();
    // A title that could not be finished must not look like a finished one.
    auto discard = [&] {
        mplex.RemoveVobFiles();
        std::remove(mplex.IfoPath().c_str());
        std::string bup = mplex.IfoPath();
        bup.replace(bup.size() - 3, 3, "BUP");
        std::remove(bup.c_str());
    };
    // A stop abandons the title at the next safe point: nothing half-made stays.
    auto stopped = [&] {
        if (!ui.StopRequested()) return false;
        discard();
        Fail("stopped", false);
        return true;
    };
    if (stopped()) return false;
    if (!ran) {
        discard();
        Fail("Title " + std::to_string(titleIndex + 1) + " could not be finished in " + mplex.Folder() + ".", false);
        return false;
    }
    const bool patched = mplex.PatchNavPacks();
    if (stopped()) return false;
    if (!patched) {
        discard();
        Fail("Cannot complete the navigation data in " + mplex.VobPath(1) + ".", false);
        return false;
    }
    if (!mplex.WriteVtsIfo()) {
        discard();
        Fail("Cannot write " + mplex.IfoPath() + ".", true);
        return false;
    }
    CDVDIFO vmg;
    if (!vmg.WriteVmg(mplex.Folder())) {
        Fail(vmg.Error(), true);
        return false;
    }
    mplex.Video()->Finish();
    return true;
}
