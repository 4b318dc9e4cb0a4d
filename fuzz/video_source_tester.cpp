// The header scan that reads a video file's frame rate and field order before it is
// decoded: the input is the start of an MPEG file (or of an AVI, for the DV check).
// Checked for every input: the rate is 0 or one of the MPEG-2 rates, a progressive
// sequence is never called interlaced, MPEG-1 (a sequence header without extension) is
// progressive, and the DV check answers the same for the same bytes.
#include <cstdint>

#include "FuzzCheck.h"
#include "media/VideoSourceTester.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CVideoSourceTester tester;
    const bool found = tester.ScanMpeg(data, size);
    const double rate = tester.frameRate;
    FUZZ_CHECK(rate == 0.0 || (rate > 23.9 && rate <= 60.0));
    FUZZ_CHECK(found || rate == 0.0);
    FUZZ_CHECK(!(tester.progressiveSequence && tester.interlaced));
    const bool dv = CVideoSourceTester::IsDvAvi(data, size);
    FUZZ_CHECK(dv == CVideoSourceTester::IsDvAvi(data, size));
    FUZZ_CHECK(!dv || size >= 12);
    return 0;
}
