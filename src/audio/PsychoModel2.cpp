#include "audio/PsychoModel2.h"

#include <algorithm>
#include <cmath>

namespace {

// Masking index of a tone masking noise and of noise masking a tone, in dB.
constexpr double toneMaskingNoise = 29.0;
constexpr double noiseMaskingTone = 6.0;
// Energy of the strongest line of a full-scale sine under the Hann window (N/4)²,
// which the model places at 96 dB.
constexpr double fullScaleEnergy = (CPsychoModel2::fftSize / 4.0) * (CPsychoModel2::fftSize / 4.0);
constexpr double partitionWidthBark = 1.0 / 3.0;

// Lowest signal-to-noise ratio a partition is given, whatever its tonality (dB).
double MinimumSnr(double bark)
{
    if (bark < 2.0) return 24.5;
    if (bark < 5.0) return 20.0;
    if (bark < 6.0) return 18.0;
    if (bark < 7.0) return 12.0;
    if (bark < 13.0) return 6.0;
    return 3.0;
}

}  // namespace

double CPsychoModel2::Bark(double hz)
{
    return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0));
}

double CPsychoModel2::QuietThresholdDb(double hz)
{
    double f = std::max(hz, 20.0) / 1000.0;
    return 3.64 * std::pow(f, -0.8) - 6.5 * std::exp(-0.6 * (f - 3.3) * (f - 3.3)) +
           0.001 * f * f * f * f;
}

double CPsychoModel2::Spreading(double maskerBark, double maskeeBark)
{
    double tmpx = 1.05 * (maskeeBark - maskerBark);
    double t = tmpx - 0.5;
    double x = 8.0 * std::min(t * t - 2.0 * t, 0.0);
    double tmpy = 15.811389 + 7.5 * (tmpx + 0.474) -
                  17.5 * std::sqrt(1.0 + (tmpx + 0.474) * (tmpx + 0.474));
    if (tmpy < -100.0) return 0.0;
    return std::pow(10.0, (x + tmpy) / 10.0);
}

CPsychoModel2::CPsychoModel2(double sampleRate)
{
    const int n = fftSize;
    hann.resize(n);
    for (int i = 0; i < n; ++i) hann[i] = 0.5 * (1.0 - std::cos(2.0 * M_PI * (i - 0.5) / n));
    const int half = n / 2;
    for (int len = 2; len <= half; len <<= 1)
        for (int k = 0; k < len / 2; ++k) {
            stageCos.push_back(std::cos(-2.0 * M_PI * k / len));
            stageSin.push_back(std::sin(-2.0 * M_PI * k / len));
        }
    for (int k = 0; k <= half; ++k) {
        splitCos.push_back(std::cos(-2.0 * M_PI * k / n));
        splitSin.push_back(std::sin(-2.0 * M_PI * k / n));
    }
    bitReverse.resize(half);
    int bits = 0;
    while ((1 << bits) < half) ++bits;
    for (int i = 0; i < half; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        bitReverse[i] = r;
    }
    workRe.resize(half);
    workIm.resize(half);
    windowed.resize(n);
    specRe.resize(lineCount);
    specIm.resize(lineCount);

    // Threshold in quiet per line, and partitions about a third of a Bark wide.
    absThr.resize(lineCount);
    partOfLine.resize(lineCount);
    std::vector<double> partBark;
    double lineHz = sampleRate / n;
    int first = 0;
    while (first < lineCount) {
        double startBark = Bark(first * lineHz);
        int last = first;
        while (last + 1 < lineCount && Bark((last + 1) * lineHz) - startBark < partitionWidthBark)
            ++last;
        int b = int(partFirst.size());
        partFirst.push_back(first);
        partCount.push_back(last - first + 1);
        partBark.push_back(Bark(0.5 * (first + last) * lineHz));
        for (int w = first; w <= last; ++w) partOfLine[w] = b;
        first = last + 1;
    }
    for (int w = 0; w < lineCount; ++w)
        absThr[w] = fullScaleEnergy * std::pow(10.0, (QuietThresholdDb(w * lineHz) - 96.0) / 10.0);

    const int parts = PartitionCount();
    minVal.resize(parts);
    rnorm.resize(parts);
    spreadFirst.resize(parts);
    spreadWeights.resize(parts);
    for (int b = 0; b < parts; ++b) {
        minVal[b] = MinimumSnr(partBark[b]);
        int lo = -1, hi = -1;
        std::vector<double> all(parts);
        double sum = 0.0;
        for (int bb = 0; bb < parts; ++bb) {
            all[bb] = Spreading(partBark[bb], partBark[b]);
            sum += all[bb];
            if (all[bb] > 1e-12) {
                if (lo < 0) lo = bb;
                hi = bb;
            }
        }
        rnorm[b] = sum > 0.0 ? 1.0 / sum : 1.0;
        spreadFirst[b] = lo;
        spreadWeights[b].assign(all.begin() + lo, all.begin() + hi + 1);
    }

    mag1.assign(lineCount, 0.0);
    mag2.assign(lineCount, 0.0);
    phase1.assign(lineCount, {1.0, 0.0});
    phase2.assign(lineCount, {1.0, 0.0});
    energy.resize(lineCount);
    unpredict.resize(lineCount);
    thr.resize(lineCount);
    ePart.resize(parts);
    cPart.resize(parts);
}

void CPsychoModel2::RealFft(const double* input)
{
    const int half = fftSize / 2;
    double* re = workRe.data();
    double* im = workIm.data();
    for (int i = 0; i < half; ++i) {
        re[bitReverse[i]] = input[2 * i];
        im[bitReverse[i]] = input[2 * i + 1];
    }
    const double* wc = stageCos.data();
    const double* ws = stageSin.data();
    for (int len = 2; len <= half; len <<= 1) {
        const int h = len >> 1;
        for (int start = 0; start < half; start += len) {
            double* ar = re + start;
            double* ai = im + start;
            double* br = ar + h;
            double* bi = ai + h;
            for (int k = 0; k < h; ++k) {
                const double tr = br[k] * wc[k] - bi[k] * ws[k];
                const double ti = br[k] * ws[k] + bi[k] * wc[k];
                br[k] = ar[k] - tr;
                bi[k] = ai[k] - ti;
                ar[k] += tr;
                ai[k] += ti;
            }
        }
        wc += h;
        ws += h;
    }
    // Z = FFT of x[2n] + i x[2n+1]; X[k] = E[k] + e^{-2πik/N} O[k] with
    // E[k] = (Z[k] + conj Z[M-k]) / 2 and O[k] = (Z[k] - conj Z[M-k]) / 2i.
    for (int k = 0; k <= half; ++k) {
        const int a = k % half, b = (half - k) % half;
        const double zr = re[a], zi = im[a], cr = re[b], ci = -im[b];
        const double er = 0.5 * (zr + cr), ei = 0.5 * (zi + ci);
        const double or_ = 0.5 * (zi - ci), oi = -0.5 * (zr - cr);
        specRe[k] = er + or_ * splitCos[k] - oi * splitSin[k];
        specIm[k] = ei + or_ * splitSin[k] + oi * splitCos[k];
    }
}

void CPsychoModel2::Analyse(const float* samples, double* smr)
{
    const int parts = PartitionCount();
    for (int i = 0; i < fftSize; ++i) windowed[i] = hann[i] * samples[i];
    RealFft(windowed.data());

    // Unpredictability: distance of each line from its value extrapolated from the two
    // previous spectra (magnitude 2r1 - r2, phase 2φ1 - φ2), relative to r + |r̂|.
    for (int w = 0; w < lineCount; ++w) {
        const double xr = specRe[w], xi = specIm[w];
        const double e = xr * xr + xi * xi;
        const double r = std::sqrt(e);
        const std::complex<double> unit =
            r > 0.0 ? std::complex<double>(xr / r, xi / r) : std::complex<double>(1.0, 0.0);
        // Predicted phasor e^{i(2φ1 - φ2)} = u1 · u1 · conj(u2).
        const double u1r = phase1[w].real(), u1i = phase1[w].imag();
        const double u2r = phase2[w].real(), u2i = -phase2[w].imag();
        const double sqr = u1r * u1r - u1i * u1i, sqi = 2.0 * u1r * u1i;
        const double pr = sqr * u2r - sqi * u2i, pi = sqr * u2i + sqi * u2r;
        const double rPred = 2.0 * mag1[w] - mag2[w];
        const double dr = xr - rPred * pr, di = xi - rPred * pi;
        const double denom = r + std::fabs(rPred);
        unpredict[w] = denom > 0.0 ? std::sqrt(dr * dr + di * di) / denom : 1.0;
        energy[w] = e;
        mag2[w] = mag1[w];
        phase2[w] = phase1[w];
        mag1[w] = r;
        phase1[w] = unit;
    }

    // Energy and energy-weighted unpredictability per partition.
    std::fill(ePart.begin(), ePart.end(), 0.0);
    std::fill(cPart.begin(), cPart.end(), 0.0);
    for (int w = 0; w < lineCount; ++w) {
        ePart[partOfLine[w]] += energy[w];
        cPart[partOfLine[w]] += energy[w] * unpredict[w];
    }

    // Spread over the Bark scale, derive tonality and the masking threshold.
    for (int b = 0; b < parts; ++b) {
        double ecb = 0.0, ct = 0.0;
        const std::vector<double>& weights = spreadWeights[b];
        for (size_t j = 0; j < weights.size(); ++j) {
            int bb = spreadFirst[b] + int(j);
            ecb += ePart[bb] * weights[j];
            ct += cPart[bb] * weights[j];
        }
        double tonality = 0.0;
        if (ecb > 0.0) {
            double cb = ct / ecb;
            tonality = cb > 0.0 ? std::clamp(-0.299 - 0.43 * std::log(cb), 0.0, 1.0) : 1.0;
        }
        double snr = std::max(minVal[b], tonality * toneMaskingNoise +
                                             (1.0 - tonality) * noiseMaskingTone);
        double nb = ecb * rnorm[b] * std::pow(10.0, -snr / 10.0);
        double perLine = nb / partCount[b];
        for (int w = partFirst[b]; w < partFirst[b] + partCount[b]; ++w)
            thr[w] = std::max(perLine, absThr[w]);
    }

    // Signal-to-mask ratio of each sub-band (16 lines each): its energy against the
    // lowest threshold within it spread over its lines.
    const int linesPerBand = fftSize / 64;
    for (int sb = 0; sb < 32; ++sb) {
        double sum = 0.0, minThr = 1e300;
        for (int w = sb * linesPerBand; w < (sb + 1) * linesPerBand; ++w) {
            sum += energy[w];
            minThr = std::min(minThr, thr[w]);
        }
        double noise = minThr * linesPerBand;
        smr[sb] = sum > 0.0 && noise > 0.0 ? 10.0 * std::log10(sum / noise) : -200.0;
    }
}
