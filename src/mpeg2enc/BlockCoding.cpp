#include "mpeg2enc/BlockCoding.h"

#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/VlcTables.h"

#include <cstdlib>

void WriteAddressIncrement(CBitWriter& writer, int increment)
{
    while (increment > 33) {
        writer.PutBits(vlcMacroblockEscape.code, vlcMacroblockEscape.length);
        increment -= 33;
    }
    const SVlc code = VlcAddressIncrement(increment);
    writer.PutBits(code.code, code.length);
}

void WriteMotionDifference(CBitWriter& writer, int delta)
{
    constexpr int rSize = 4;  // f_code 5
    constexpr int span = 16 << rSize;
    if (delta > span - 1) delta -= 2 * span;
    if (delta < -span) delta += 2 * span;
    const int magnitude = std::abs(delta);
    const int code = (magnitude + (1 << rSize) - 1) >> rSize;
    const SVlc vlc = VlcMotionCode(code);
    writer.PutBits(vlc.code, vlc.length);
    if (code != 0) {
        writer.PutBits(delta < 0 ? 1 : 0, 1);
        writer.PutBits(uint32_t((magnitude + (1 << rSize) - 1) & ((1 << rSize) - 1)), rSize);
    }
}

void WriteIntraBlock(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table)
{
    const int difference = levels[0] - dcPredictor;
    dcPredictor = levels[0];
    int size = 0;
    for (int m = std::abs(difference); m; m >>= 1) ++size;
    const SVlc sizeCode = component == 0 ? VlcDcSizeLuma(size) : VlcDcSizeChroma(size);
    writer.PutBits(sizeCode.code, sizeCode.length);
    if (size > 0) writer.PutBits(uint32_t(difference < 0 ? (1 << size) + difference - 1 : difference), size);
    int run = 0;
    for (int i = 1; i < 64; ++i) {
        const int level = levels[alternateScan[i]];
        if (level == 0) {
            ++run;
            continue;
        }
        const SVlc code = VlcCoefficient(table, run, std::abs(level));
        if (code.length) {
            writer.PutBits(code.code, code.length);
            writer.PutBits(level < 0 ? 1 : 0, 1);
        } else {
            writer.PutBits(vlcCoefficientEscape.code, vlcCoefficientEscape.length);
            writer.PutBits(uint32_t(run), 6);
            writer.PutBits(uint32_t(level) & 0xFFF, 12);
        }
        run = 0;
    }
    const SVlc eob = VlcEndOfBlock(table);
    writer.PutBits(eob.code, eob.length);
}

void WriteNonIntraBlock(CBitWriter& writer, const int16_t levels[64])
{
    int run = 0;
    bool first = true;
    for (int i = 0; i < 64; ++i) {
        const int level = levels[alternateScan[i]];
        if (level == 0) {
            ++run;
            continue;
        }
        const int magnitude = std::abs(level);
        if (first && run == 0 && magnitude == 1) {
            writer.PutBits(level < 0 ? 3 : 2, 2);  // "1s"
        } else {
            const SVlc code = VlcCoefficient(0, run, magnitude);
            if (code.length) {
                writer.PutBits(code.code, code.length);
                writer.PutBits(level < 0 ? 1 : 0, 1);
            } else {
                writer.PutBits(vlcCoefficientEscape.code, vlcCoefficientEscape.length);
                writer.PutBits(uint32_t(run), 6);
                writer.PutBits(uint32_t(level) & 0xFFF, 12);
            }
        }
        first = false;
        run = 0;
    }
    const SVlc eob = VlcEndOfBlock(0);
    writer.PutBits(eob.code, eob.length);
}

