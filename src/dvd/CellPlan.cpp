#include "dvd/CellPlan.h"

#include "base/InputFile.h"
#include "media/IfoReader.h"

#include <cctype>
#include <cstdint>

std::vector<SCellSpan> SlideshowCellPlan(double seconds)
{
    std::vector<SCellSpan> cells;
    double t = 0;
    for (; t < seconds && int(cells.size()) < kMaxPlannedCells - 1; t += kSlideshowCellSeconds)
        cells.push_back({t, t + kSlideshowCellSeconds});
    cells.push_back({t, -1});
    return cells;
}

std::vector<SCellSpan> VideoFileCellPlan(double b, double c)
{
    const double step = kVideoFileCellSeconds;
    std::vector<SCellSpan> cells;
    double p = b;
    if (b < c - step) {
        uint32_t n = uint32_t(int64_t(c - b - step - 1)) / uint32_t(step) + 1;
        for (uint32_t k = 0; k < n && int(cells.size()) < kMaxPlannedCells; ++k)
            cells.push_back({step * k, step * (k + 1)});
        p = b + step * n;
    }
    if (p < c - 16 && c - b > 16) {
        cells.push_back({p - b, c - b - 10});
        cells.push_back({c - b - 10, -1});
    } else {
        cells.push_back({p - b, -1});
    }
    if (int(cells.size()) > kMaxPlannedCells) cells.resize(size_t(kMaxPlannedCells));
    return cells;
}

namespace {

// VTS_01_1.VOB -> VTS_01_0.IFO, in the file name's own case or in capitals; its bytes,
// empty when there is none.
std::vector<uint8_t> ReadSourceIfo(const std::string& sourcePath)
{
    size_t slash = sourcePath.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (sourcePath.size() < nameStart + 5) return {};
    size_t digit = sourcePath.size() - 5;
    if (!std::isdigit(static_cast<unsigned char>(sourcePath[digit]))) return {};
    std::string base = sourcePath.substr(0, digit) + "0";
    std::string upper = base;
    for (size_t i = nameStart; i < upper.size(); ++i)
        upper[i] = char(std::toupper(static_cast<unsigned char>(upper[i])));
    // An information file is a few hundred kilobytes at most; a larger one is not read.
    constexpr int64_t kMaxIfoBytes = int64_t(16) << 20;
    std::string bytes, unreadable;
    for (const std::string& name : {base + ".IFO", base + ".ifo", upper + ".IFO"})
        if (ReadInputFile(name, kMaxIfoBytes, bytes, unreadable))
            return std::vector<uint8_t>(bytes.begin(), bytes.end());
    return {};
}

}  // namespace

bool SourceIfoCellPlan(const std::string& sourcePath, bool openedAtSecondCell, SSourceIfoPlan& plan)
{
    const std::vector<uint8_t> ifo = ReadSourceIfo(sourcePath);
    SVtsSource source;
    std::string error;
    if (ifo.empty() || !ParseVtsSource(ifo.data(), ifo.size(), source, error) || source.chain.entryCells.empty())
        return false;
    std::vector<double> starts{0.0};
    for (double t : ProgramStartSeconds(source.chain, openedAtSecondCell)) starts.push_back(t);
    plan.cells.clear();
    for (size_t i = 0; i + 1 < starts.size(); ++i) plan.cells.push_back({starts[i], starts[i + 1]});
    plan.cells.push_back({starts.back(), -1});
    if (int(plan.cells.size()) > kMaxPlannedCells) plan.cells.resize(size_t(kMaxPlannedCells));
    plan.wideScreen = source.wide;
    return true;
}
