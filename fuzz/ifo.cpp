// The IFO reader on any bytes, as VIDEO_TS.IFO and as VTS_nn_0.IFO. The input is the
// file.
// Checked for every input: a refusal says why, and what a file that passes says about
// its sectors and titles is consistent: the file is as long as its header says, its set
// of files has room for it and its BUP, and every title names a title set the manager
// counts.
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
    return 0;
}
