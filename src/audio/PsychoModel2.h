// CPsychoModel2: psychoacoustic model 2 of MPEG-1 audio for one channel at 48 kHz.
// Each call analyses one window of 1024 samples (a Hann-windowed FFT), measures how
// tonal each part of the spectrum is from how well its magnitude and phase follow from
// the two previous calls, spreads the energy over the critical-band scale, and returns
// the signal-to-mask ratio of each of the 32 sub-bands in dB.
#pragma once

#include <vector>

#include "audio/SubbandFilter.h"

class CPsychoModel2 {
public:
    static constexpr int fftSize = 1024;
    static constexpr int lineCount = fftSize / 2 + 1;

    // Builds the model's tables for the sampling rate (Hz). Throws std::bad_alloc when
    // memory runs out.
    explicit CPsychoModel2(double sampleRate = 48000.0);

    // Analyses `samples` (fftSize values, full scale ±1.0) and writes 32 signal-to-mask
    // ratios (dB) to `smr`. The model remembers the spectrum for the next two calls.
    void Analyse(const float* samples, double* smr);

    // Threshold in quiet (dB, on the scale where a full-scale sine is 96 dB) at `hz`.
    static double QuietThresholdDb(double hz);
    // Critical-band rate (Bark) of a frequency in Hz.
    static double Bark(double hz);
    // The spreading function: fraction of a masker's energy at `maskerBark` that masks
    // at `maskeeBark`.
    static double Spreading(double maskerBark, double maskeeBark);

    // Per-line state and results of the unpredictability measure (arrays of `count`).
    struct CLineArrays {
        const double* re;  // spectrum, real part
        const double* im;  // spectrum, imaginary part
        double* mag1;  // magnitude one call ago (updated to this call's)
        double* mag2;  // magnitude two calls ago (updated to one call ago)
        double* phase1Re;  // unit phasor one call ago (updated)
        double* phase1Im;
        double* phase2Re;  // unit phasor two calls ago (updated)
        double* phase2Im;
        double* energy;  // out: |X|²
        double* unpredict;  // out: unpredictability 0..1 (1 where nothing is known)
    };
    // Measures for each line how far it lies from the value extrapolated from the two
    // previous spectra (magnitude 2r1 - r2, phase 2φ1 - φ2), relative to r + |r̂|, and
    // moves the state on by one call. All kernel sets give the same bits.
    static void UnpredictabilityKernel(CSubbandFilter::Isa isa, int count, const CLineArrays& a);

    // Number of threshold partitions the spectrum is divided into.
    int PartitionCount() const { return int(partFirst.size()); }

private:
    // The window, the transform's twiddles and bit reversal, and its working arrays.
    void BuildFftTables();
    // Divides the lines into partitions about a third of a Bark wide and sets the
    // threshold in quiet of each line. Returns the Bark value of each partition's centre.
    std::vector<double> BuildPartitions(double sampleRate);
    // The spreading between partitions (from their centres `partBark`), its
    // normalisation and each partition's lowest signal-to-noise ratio.
    void BuildSpreading(const std::vector<double>& partBark);

    // Spectrum of the 1024 real values in `input`: a 512-point complex transform of the
    // even/odd pairs, then split into lines 0..512 (specRe, specIm).
    void RealFft(const double* input);

    std::vector<double> hann;  // analysis window
    std::vector<double> stageCos, stageSin;  // twiddles of each stage, stage after stage
    std::vector<double> splitCos, splitSin;  // e^{-2πik/1024} for the final split
    std::vector<int> bitReverse;  // of the 512-point transform
    std::vector<double> workRe, workIm, windowed, specRe, specIm;
    std::vector<double> absThr;  // threshold in quiet per line (energy)
    std::vector<int> partOfLine;  // partition of each line
    std::vector<int> partFirst, partCount;  // lines of each partition
    std::vector<double> minVal, rnorm;  // per partition
    // Spreading as a sparse band per partition: contributions from partitions
    // spreadFirst[b] .. spreadFirst[b] + spreadWeights[b].size() - 1.
    std::vector<int> spreadFirst;
    std::vector<std::vector<double>> spreadWeights;

    // State carried between calls: magnitudes and unit phasors of the two previous spectra.
    std::vector<double> mag1, mag2, phase1Re, phase1Im, phase2Re, phase2Im;

    // Working arrays.
    std::vector<double> energy, unpredict, thr;
    std::vector<double> ePart, cPart;
};
