// CRateController: chooses one quantiser per picture so that the average bit rate of
// the stream follows the target. A feedback controller with a long memory: a slow mean
// of the quality (2 / q), a running mean of the P-picture size, a correction for the
// bits spent beyond the budget so far, dithering between neighbouring quantisers, a
// slew limit of 2 per picture and a snap to the non-linear quantiser table (where the
// table steps by 4, at 24 -> 28, a rise moves to the next table value).
#pragma once

#include <cstdint>

class CRateController {
public:
    static constexpr int minQuantiser = 2;
    // The largest value used: 28 is the largest non-linear quantiser value within the
    // quantisation tables (1..31), so 29..31 are never produced.
    static constexpr int maxQuantiser = 28;

    // Sets the target (bit/s) and the picture rate and restarts from quantiser 5.
    void Initialise(double bitRate, double frameRate);
    // Takes the size in bits of the picture just coded with the current quantiser and
    // whether it was an I picture; computes the quantiser of the next picture.
    void Update(bool isIntraPicture, double bits);
    // Turns a raw quantiser value into the one used after a picture coded with q0:
    // integer part, dithered by the accumulated fractions, slew-limited to q0 +- 2,
    // limited to 2..31 and snapped to the table. Updates the fraction accumulators.
    int Choose(double rawQuantiser, int q0);
    // Quantiser for the next picture: a value of the non-linear table, 2..28.
    int Quantiser() const { return q; }

    // Non-linear table value for a quantiser 1..31: the largest value of the table that
    // is not above it (2..8 stay, 9 -> 8, 10..11 -> 10, ..., 24..26 -> 24, 27..31 -> 28).
    static int Snap(int quantiser);

    double TargetBitRate() const { return bitRate; }
    double PictureTarget() const { return pictureTarget; }
    int64_t Pictures() const { return pictures; }
    double TotalBits() const { return totalBits; }

private:
    double frameRate = 30000.0 / 1001.0;
    double bitRate = 0.0;
    double pictureTarget = 0.0;
    int64_t pictures = 0;
    double totalBits = 0.0;
    int q = 5;
    double quality = 0.4;
    double averageP = 0.0;
    double fraction[32] = {};
};
