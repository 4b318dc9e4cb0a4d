// The IFO reader on any bytes, as VIDEO_TS.IFO and as VTS_nn_0.IFO. The input is the
// file.
// Checked for every input: a refusal says why, and what a file that passes says about
// its sectors and titles is consistent: the file is as long as its header says, its set
// of files has room for it and its BUP, and every title names a title set the manager
// counts. As the source of a title, the first program chain's programs enter at cells it
// has, in order, and the program starts a reader derives from them increase.
#include <string>

#include "FuzzCheck.h"
#include "media/IfoReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    SVmgInfo vmg;
    if (ParseVmgIfo(data, size, vmg, error)) {
        FUZZ_CHECK(vmg.ifoSectors >= 1 && uint64_t(vmg.ifoSectors) * 2048 == size);
        FUZZ_CHECK(uint64_t(vmg.lastSector) + 1 >= 2 * uint64_t(vmg.ifoSectors));
        for (const SIfoTitle& t : vmg.titles) FUZZ_CHECK(t.titleSet >= 1 && t.titleSet <= vmg.titleSets);
    } else {
        FUZZ_CHECK(!error.empty());
    }

    error.clear();
    SVtsInfo vts;
    if (ParseVtsIfo(data, size, vts, error)) {
        FUZZ_CHECK(vts.ifoSectors >= 1 && uint64_t(vts.ifoSectors) * 2048 == size);
        FUZZ_CHECK(uint64_t(vts.lastSector) + 1 >= 2 * uint64_t(vts.ifoSectors));
        FUZZ_CHECK(vts.BupSector() >= vts.ifoSectors);
        FUZZ_CHECK(vts.titleVobSector >= vts.ifoSectors && vts.titleVobSector < vts.BupSector());
    } else {
        FUZZ_CHECK(!error.empty());
    }

    error.clear();
    SVtsSource source;
    if (ParseVtsSource(data, size, source, error)) {
        const SIfoProgramChain& chain = source.chain;
        FUZZ_CHECK(chain.entryCells.size() <= chain.cells.size());
        for (size_t p = 0; p < chain.entryCells.size(); ++p)
            FUZZ_CHECK(chain.entryCells[p] >= 1 && size_t(chain.entryCells[p]) <= chain.cells.size() &&
                       (p == 0 || chain.entryCells[p] > chain.entryCells[p - 1]));
        for (bool alternative : {false, true}) {
            const int start = StartCellIndex(chain, alternative);
            FUZZ_CHECK(start < int(chain.cells.size()) && (start >= 0) == !chain.entryCells.empty());
            const auto starts = ProgramStartSeconds(chain, alternative);
            FUZZ_CHECK(starts.size() < chain.entryCells.size() || starts.empty());
            for (size_t i = 0; i < starts.size(); ++i) FUZZ_CHECK(starts[i] > (i ? starts[i - 1] : 0.0));
        }
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
