// CVideoFileTitleBuilder: the title builder of one video file (or DVD title) over a
// chosen range. The file is decoded once (CDirectShowAV) and feeds both sources: the
// pictures at the title's size and rate to the MPEG-2 encoder (CVideoDshow), the sound
// to CAudioDshow (AC-3 passed through, anything else coded as Layer II or linear PCM
// as the settings ask, silence when the file has none). Cells come from the source
// DVD's own chapters or every 180 seconds, and the decoding is ended before the IFO
// files are written.
#pragma once

#include "dvd/CellPlan.h"
#include "dvd/TitleBuilder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDirectShowAV;
class CSubTitle;
class CDVDParams;
class CVideoDshow;

class CVideoFileTitleBuilder : public CTitleBuilder {
public:
    // `params` (the job's settings: size, rate, aspect, bit rate, sound kind, delays,
    // flip) must outlive Build. The range is [startSeconds, endSeconds] of the file; a
    // negative end runs to the file's end.
    CVideoFileTitleBuilder(const std::string& path, double startSeconds, double endSeconds, const CDVDParams& params,
                           CUiPort& ui, SMuxRunContext& run);
    ~CVideoFileTitleBuilder() override;

    // Shows the subtitles of `subtitlePath` (SubRip text or a VobSub .sub) in the title,
    // moved with the range's start. A file that cannot be read is reported as a warning
    // and the title is made without it; no font to draw text with fails the title.
    void SetSubtitle(const std::string& subtitlePath) { subtitleFile = subtitlePath; }
    // Opens `path` into `subtitle`: a subtitle file by its name (.srt, .srt.txt, .txt,
    // .vtt, .ass, .ssa, .sub), any other file as a media file whose first subtitle
    // stream is used (text drawn, DVD bitmaps copied). False as CSubTitle::Open.
    static bool OpenSubtitleSource(const std::string& path, bool ntsc, int64_t offset, CSubTitle& subtitle);

    // The cells of a title over [begin, end] seconds of a source whose own chapters
    // start at `programStarts` (seconds of the source): a cell from each chapter start
    // inside the range, the first from the range's start, the last one open; the
    // 180-second plan when the source has no chapters.
    static std::vector<SCellSpan> CellsForRange(const std::vector<double>& programStarts, double begin, double end);

    // After Build: whether the person cancelled the encoding (the title then holds the
    // pictures coded so far), how many pictures were coded, and the title's shape.
    bool Cancelled() const { return cancelled; }
    int64_t FramesCoded() const { return framesCoded; }
    bool WideScreen() const { return wideScreen; }
    // Pictures the range should give at the title's rate (known once the file is open).
    int64_t FramesPlanned() const { return framesPlanned; }

protected:
    bool OpenSources(CDVDMplex& mplex) override;
    void PlanCells(CDVDMplex& mplex) override;
    void PrepareMultiplexer(CDVDMplex& mplex) override;
    void AfterRun() override;
    std::unique_ptr<CDVDMplex> MakeMultiplexer() override;

private:
    std::string path;
    double startSeconds;
    double endSeconds;
    const CDVDParams& params;
    std::unique_ptr<CDirectShowAV> media;
    std::string subtitleFile;
    std::unique_ptr<CSubTitle> subtitle;
    bool OpenSubtitle();
    CVideoDshow* video = nullptr;  // owned by the multiplexer
    CDVDMplex* mplex = nullptr;
    bool cancelled = false;
    bool wideScreen = false;
    int64_t framesCoded = 0;
    int64_t framesPlanned = 0;
};
