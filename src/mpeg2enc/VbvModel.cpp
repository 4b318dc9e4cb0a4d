#include "mpeg2enc/VbvModel.h"

#include <algorithm>

CVbvModel::CVbvModel(double frameRate, double peakRate, double bufferBits)
    : buffer(bufferBits), fill(frameRate > 0.0 ? peakRate / frameRate : peakRate), fullness(bufferBits)
{}

bool CVbvModel::Remove(uint64_t bits)
{
    const bool fits = Fits(bits);
    fullness = std::min(buffer, std::max(fullness - double(bits), 0.0) + fill);
    return fits;
}
