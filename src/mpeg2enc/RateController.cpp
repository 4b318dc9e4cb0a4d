#include "mpeg2enc/RateController.h"

#include <algorithm>
#include <iterator>

void CRateController::Initialise(double newBitRate, double newFrameRate)
{
    frameRate = newFrameRate > 0.0 ? newFrameRate : 30000.0 / 1001.0;
    bitRate = newBitRate;
    pictureTarget = bitRate / frameRate;
    pictures = 0;
    totalBits = 0.0;
    q = 5;
    quality = 2.0 / 5.0;
    averageP = pictureTarget;
    std::fill(std::begin(fraction), std::end(fraction), 0.0);
}

int CRateController::Snap(int quantiser)
{
    if (quantiser <= 8) return quantiser;
    if (quantiser <= 24) return quantiser & ~1;
    if (quantiser <= 26) return 24;
    return 28;
}

void CRateController::Update(bool isIntraPicture, double bits)
{
    const int q0 = q;
    ++pictures;
    totalBits += bits;
    quality += (2.0 / q0 - quality) / 200.0;
    if (quality < 0.1) quality = 0.1;
    if (!isIntraPicture) averageP += (bits - averageP) / 64.0;

    const double ratio = averageP > 0.0 ? pictureTarget / averageP : 4.0;
    const double l = ratio * ratio;
    double o = l >= 1.0 ? 1.0 - (1.0 - quality) / l : l * (quality - 0.0625) + 0.0625;
    const double excess = totalBits - double(pictures) * pictureTarget;
    if (pictureTarget > 0.0) o -= excess * (o - 0.0625) / pictureTarget / 100.0;
    o = std::clamp(o, 0.0625, 2.0);

    q = Choose(2.0 / o, q0);
}

int CRateController::Choose(double rawQuantiser, int q0)
{
    const double raw = std::clamp(rawQuantiser, 1.0, 32.0);
    int next = int(raw);
    if (next < 31) {
        fraction[next] += raw - next;
        if (fraction[next] >= 1.0) {
            fraction[next] -= 1.0;
            ++next;
        }
    }
    if (next > q0 + 2)
        next = q0 + 2;
    else if (next < q0 - 2)
        next = q0 - 2;
    next = std::clamp(next, minQuantiser, 31);
    int snapped = Snap(next);
    // Above 24 the table steps by 4, so a rise of 2 from 24 would snap back to 24 and
    // the quantiser could never reach the top value; a rise takes the next table value.
    if (q0 >= 24 && next > q0 && snapped <= q0) snapped = maxQuantiser;
    return snapped;
}