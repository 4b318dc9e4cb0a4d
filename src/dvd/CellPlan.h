// Cell plans: where the cells (and so the chapters) of a title are meant to start, in
// seconds of the title, before multiplexing moves each boundary to the first GOP that
// reaches it. Every plan ends with one open cell and has at most 255 cells.
#pragma once

#include <string>
#include <vector>

// One planned cell; `end` is -1 for the open last cell.
struct SCellSpan {
    double start = 0;
    double end = -1;
};

constexpr int kMaxPlannedCells = 255;
constexpr double kSlideshowCellSeconds = 120;
constexpr double kVideoFileCellSeconds = 180;

// Slide shows and camcorder footage: [0,120), [120,240) ... up to the first boundary
// at or after `seconds`, then one open cell from that boundary.
std::vector<SCellSpan> SlideshowCellPlan(double seconds);

// Video files over the source range [begin, end] seconds: cells every 180 s, and a last
// chapter ten seconds before the end when the rest is long enough for it.
std::vector<SCellSpan> VideoFileCellPlan(double beginSeconds, double endSeconds);

// The plan of a DVD video object file (VTS_nn_k.VOB) from the IFO beside it
// (VTS_nn_0.IFO, in the file name's case or in capitals): one cell per program of its
// first program chain, the last one open. A first cell that lies far into the disc
// (beyond sector 2000007) behind the second one is left out of the chapter times, as it
// is when `openedAtSecondCell` is set.
struct SSourceIfoPlan {
    std::vector<SCellSpan> cells;
    bool wideScreen = false;  // the IFO's video is 16:9
};
// Returns false, leaving `plan` alone, when there is no such IFO or it has no programs.
bool SourceIfoCellPlan(const std::string& sourcePath, bool openedAtSecondCell, SSourceIfoPlan& plan);
