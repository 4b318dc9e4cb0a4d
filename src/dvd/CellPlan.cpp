#include "dvd/CellPlan.h"

#include "base/Bytes.h"
#include "base/File.h"
#include "base/InputFile.h"
#include "dvd/DvdTime.h"
#include "media/IfoLayout.h"

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

// VTS_01_1.VOB -> VTS_01_0.IFO, in the file name's own case or in capitals.
FilePtr OpenSourceIfo(const std::string& sourcePath)
{
    size_t slash = sourcePath.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (sourcePath.size() < nameStart + 5) return nullptr;
    size_t digit = sourcePath.size() - 5;
    if (!std::isdigit(static_cast<unsigned char>(sourcePath[digit]))) return nullptr;
    std::string base = sourcePath.substr(0, digit) + "0";
    std::string unreadable;
    for (const char* ext : {".IFO", ".ifo"}) {
        if (FilePtr f = OpenInputStream(base + ext, unreadable)) return f;
    }
    std::string upper = base;
    for (size_t i = nameStart; i < upper.size(); ++i)
        upper[i] = char(std::toupper(static_cast<unsigned char>(upper[i])));
    return OpenInputStream(upper + ".IFO", unreadable);
}

// The starts of the programs of the chain at `pgc` (bounds checked by the caller).
std::vector<double> ProgramStarts(const uint8_t* pgc, bool skipFirstCell)
{
    using namespace ifo;
    const int programs = pgc[pgc::kNrOfPrograms];
    const int cellCount = pgc[pgc::kNrOfCells];
    const uint8_t* map = pgc + GetBe16(pgc + pgc::kProgramMapOffset);
    const uint8_t* playback = pgc + GetBe16(pgc + pgc::kCellPlaybackOffset);
    std::vector<double> starts{0.0};
    for (int p = 2; p <= programs; ++p) {
        int entry = map[p - 1];
        double t = 0;
        for (int cell = skipFirstCell ? 2 : 1; cell < entry && cell <= cellCount; ++cell)
            t += BcdSeconds(playback + cellPlayback::kEntryLength * (cell - 1) + cellPlayback::kPlaybackTime);
        starts.push_back(t);
    }
    return starts;
}

}  // namespace

bool SourceIfoCellPlan(const std::string& sourcePath, bool openedAtSecondCell, SSourceIfoPlan& plan)
{
    using namespace ifo;
    FilePtr f = OpenSourceIfo(sourcePath);
    if (!f) return false;
    std::vector<uint8_t> mat(kSectorBytes), pgcit(48000, 0);
    bool ok = std::fread(mat.data(), 1, mat.size(), f.get()) == mat.size();
    if (ok) {
        uint32_t sector = GetBe32(&mat[vtsi::kVtsPgcit]) & 0xFFFFFF;
        ok = std::fseek(f.get(), long(sector) * kSectorBytes, SEEK_SET) == 0 &&
            std::fread(pgcit.data(), 1, pgcit.size(), f.get()) > 16;
    }
    f.reset();
    if (!ok) return false;
    const bool wide = ((mat[vtsi::kVtsVideoAttr] >> 2) & 3) == 3;

    uint32_t pgcOffset = GetBe32(&pgcit[table::kHeaderLength + pgcit::kPgcStartByte]);
    if (pgcOffset + 0x100 > pgcit.size()) return false;
    const uint8_t* pgc = &pgcit[pgcOffset];
    int programs = pgc[pgc::kNrOfPrograms];
    int cellCount = pgc[pgc::kNrOfCells];
    uint32_t mapOffset = GetBe16(pgc + pgc::kProgramMapOffset);
    uint32_t playbackOffset = GetBe16(pgc + pgc::kCellPlaybackOffset);
    if (programs == 0 || pgcOffset + mapOffset + uint32_t(programs) > pgcit.size() ||
        pgcOffset + playbackOffset + uint32_t(cellPlayback::kEntryLength * cellCount) > pgcit.size())
        return false;
    const uint8_t* playback = pgc + playbackOffset;
    bool skipFirst = openedAtSecondCell;
    if (cellCount >= 2) {
        uint32_t first = GetBe32(playback + cellPlayback::kFirstSector);
        uint32_t second = GetBe32(playback + cellPlayback::kEntryLength + cellPlayback::kFirstSector);
        if (!(first & 0x80000000u) && first > 2000007 && second < first) skipFirst = true;
    }
    std::vector<double> starts = ProgramStarts(pgc, skipFirst);
    plan.cells.clear();
    for (size_t i = 0; i + 1 < starts.size(); ++i) plan.cells.push_back({starts[i], starts[i + 1]});
    plan.cells.push_back({starts.back(), -1});
    if (int(plan.cells.size()) > kMaxPlannedCells) plan.cells.resize(size_t(kMaxPlannedCells));
    plan.wideScreen = wide;
    return true;
}
