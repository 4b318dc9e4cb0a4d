// CDvCaptureTitleBuilder: the title builder of one camcorder footage. The capture's
// CDirectShowAV, fed live by a CDvCaptureSource, feeds both sources: the pictures at the
// title's size and rate to the MPEG-2 encoder (CVideoDshow), coded interlaced bottom
// field first as DV is, and the sound to CAudioDshow. The footage lasts the capture's
// length (or less when the tape ends or the capture is stopped); cells every 120 s.
#pragma once

#include "dvd/TitleBuilder.h"

#include <cstdint>
#include <functional>
#include <memory>

class CDirectShowAV;
class CDvCaptureSource;
class CDVDParams;
class CVideoDshow;

class CDvCaptureTitleBuilder : public CTitleBuilder {
public:
    // `media` must have been connected to `source` (CDvCaptureSource::Connect) for
    // `seconds`; the builder starts the tape and ends it before the IFO files are
    // written. All references must outlive Build.
    CDvCaptureTitleBuilder(CDirectShowAV& media, CDvCaptureSource& source, double seconds, const CDVDParams& params,
                           CUiPort& ui, SMuxRunContext& run);
    ~CDvCaptureTitleBuilder() override;

    // Called with the capture's event code when the tape has ended (on the capture's
    // thread); set before Build.
    void SetOnEnd(std::function<void(int32_t)> onEnd_) { onEnd = std::move(onEnd_); }

    // After Build: whether the encoding was cancelled, and how many pictures were coded.
    bool Cancelled() const { return cancelled; }
    int64_t FramesCoded() const { return framesCoded; }

protected:
    bool OpenSources(CDVDMplex& mplex) override;
    void PlanCells(CDVDMplex& mplex) override;
    void PrepareMultiplexer(CDVDMplex& mplex) override;
    void AfterRun() override;

private:
    CDirectShowAV& media;
    CDvCaptureSource& source;
    double seconds;
    const CDVDParams& params;
    std::function<void(int32_t)> onEnd;
    CVideoDshow* video = nullptr;  // owned by the multiplexer
    bool started = false;
    bool cancelled = false;
    int64_t framesCoded = 0;
};
