// VobSub pairs of any content: the first two bytes give the length of the index text
// that follows; the rest is the .sub file's packs.
// Checked for every input: an index that reads lists 1 to 4096 units; every unit read
// back from the packs is empty or exactly as long as its own header says, and never
// longer than the room given.
#include <algorithm>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "dvd/SubSUB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const size_t idxLength = std::min<size_t>(size - 2, size_t(data[0]) << 8 | data[1]);
    const std::string idx(reinterpret_cast<const char*>(data + 2), idxLength);
    const uint8_t* sub = data + 2 + idxLength;
    const size_t subSize = size - 2 - idxLength;
    CSubSUB reader;
    if (!reader.ParseIndex(idx, "fuzz.idx")) {
        FUZZ_CHECK(!reader.Error().empty());
        return 0;
    }
    FUZZ_CHECK(!reader.Entries().empty() && int(reader.Entries().size()) <= CSubSUB::maxEntries);
    std::vector<uint8_t> unit(CSubSUB::maxUnitBytes);
    const int room = 1 + int(size % CSubSUB::maxUnitBytes);
    int tried = 0;
    for (const CSubSUB::SEntry& entry : reader.Entries()) {
        if (++tried > 64) break;
        const int n = CSubSUB::UnitFromPacks(sub, subSize, entry.position, unit.data(), room);
        FUZZ_CHECK(n >= 0 && n <= room);
        if (n > 0) FUZZ_CHECK((unit[0] << 8 | unit[1]) == n);
    }
    return 0;
}
