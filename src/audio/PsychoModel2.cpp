#include "audio/PsychoModel2.h"

#include <emmintrin.h>
#include <immintrin.h>
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
    return 3.64 * std::pow(f, -0.8) - 6.5 * std::exp(-0.6 * (f - 3.3) * (f - 3.3)) + 0.001 * f * f * f * f;
}

double CPsychoModel2::Spreading(double maskerBark, double maskeeBark)
{
    double tmpx = 1.05 * (maskeeBark - maskerBark);
    double t = tmpx - 0.5;
    double x = 8.0 * std::min(t * t - 2.0 * t, 0.0);
    double tmpy = 15.811389 + 7.5 * (tmpx + 0.474) - 17.5 * std::sqrt(1.0 + (tmpx + 0.474) * (tmpx + 0.474));
    if (tmpy < -100.0) return 0.0;
    return std::pow(10.0, (x + tmpy) / 10.0);
}

CPsychoModel2::CPsychoModel2(double sampleRate)
{
    BuildFftTables();
    const std::vector<double> partBark = BuildPartitions(sampleRate);
    BuildSpreading(partBark);

    const int parts = PartitionCount();
    mag1.assign(lineCount, 0.0);
    mag2.assign(lineCount, 0.0);
    phase1Re.assign(lineCount, 1.0);
    phase1Im.assign(lineCount, 0.0);
    phase2Re.assign(lineCount, 1.0);
    phase2Im.assign(lineCount, 0.0);
    energy.resize(lineCount);
    unpredict.resize(lineCount);
    thr.resize(lineCount);
    ePart.resize(parts);
    cPart.resize(parts);
}

void CPsychoModel2::BuildFftTables()
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
}

std::vector<double> CPsychoModel2::BuildPartitions(double sampleRate)
{
    // Threshold in quiet per line, and partitions about a third of a Bark wide.
    absThr.resize(lineCount);
    partOfLine.resize(lineCount);
    std::vector<double> partBark;
    double lineHz = sampleRate / fftSize;
    int first = 0;
    while (first < lineCount) {
        double startBark = Bark(first * lineHz);
        int last = first;
        while (last + 1 < lineCount && Bark((last + 1) * lineHz) - startBark < partitionWidthBark) ++last;
        int b = int(partFirst.size());
        partFirst.push_back(first);
        partCount.push_back(last - first + 1);
        partBark.push_back(Bark(0.5 * (first + last) * lineHz));
        for (int w = first; w <= last; ++w) partOfLine[w] = b;
        first = last + 1;
    }
    for (int w = 0; w < lineCount; ++w)
        absThr[w] = fullScaleEnergy * std::pow(10.0, (QuietThresholdDb(w * lineHz) - 96.0) / 10.0);
    return partBark;
}

void CPsychoModel2::BuildSpreading(const std::vector<double>& partBark)
{
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

namespace {

// One line of the unpredictability measure; the SIMD kernels below follow the same
// operations in the same order.
inline void UnpredictLine(int w, const CPsychoModel2::CLineArrays& a)
{
    const double xr = a.re[w], xi = a.im[w];
    const double e = xr * xr + xi * xi;
    const double r = std::sqrt(e);
    const double ur = r > 0.0 ? xr / r : 1.0;
    const double ui = r > 0.0 ? xi / r : 0.0;
    // Predicted phasor e^{i(2φ1 - φ2)} = u1 · u1 · conj(u2).
    const double u1r = a.phase1Re[w], u1i = a.phase1Im[w];
    const double u2r = a.phase2Re[w], u2i = -a.phase2Im[w];
    const double sqr = u1r * u1r - u1i * u1i, sqi = (2.0 * u1r) * u1i;
    const double pr = sqr * u2r - sqi * u2i, pi = sqr * u2i + sqi * u2r;
    const double rPred = 2.0 * a.mag1[w] - a.mag2[w];
    const double dr = xr - rPred * pr, di = xi - rPred * pi;
    const double denom = r + std::fabs(rPred);
    a.unpredict[w] = denom > 0.0 ? std::sqrt(dr * dr + di * di) / denom : 1.0;
    a.energy[w] = e;
    a.mag2[w] = a.mag1[w];
    a.phase2Re[w] = u1r;
    a.phase2Im[w] = u1i;
    a.mag1[w] = r;
    a.phase1Re[w] = ur;
    a.phase1Im[w] = ui;
}

void UnpredictSse2(int count, const CPsychoModel2::CLineArrays& a)
{
    const __m128d zero = _mm_setzero_pd(), one = _mm_set1_pd(1.0), two = _mm_set1_pd(2.0);
    const __m128d sign = _mm_set1_pd(-0.0);
    int w = 0;
    for (; w + 2 <= count; w += 2) {
        const __m128d xr = _mm_loadu_pd(a.re + w), xi = _mm_loadu_pd(a.im + w);
        const __m128d e = _mm_add_pd(_mm_mul_pd(xr, xr), _mm_mul_pd(xi, xi));
        const __m128d r = _mm_sqrt_pd(e);
        const __m128d positive = _mm_cmpgt_pd(r, zero);
        const __m128d ur = _mm_or_pd(_mm_and_pd(positive, _mm_div_pd(xr, r)), _mm_andnot_pd(positive, one));
        const __m128d ui = _mm_and_pd(positive, _mm_div_pd(xi, r));
        const __m128d u1r = _mm_loadu_pd(a.phase1Re + w), u1i = _mm_loadu_pd(a.phase1Im + w);
        const __m128d u2r = _mm_loadu_pd(a.phase2Re + w), u2i = _mm_xor_pd(_mm_loadu_pd(a.phase2Im + w), sign);
        const __m128d sqr = _mm_sub_pd(_mm_mul_pd(u1r, u1r), _mm_mul_pd(u1i, u1i));
        const __m128d sqi = _mm_mul_pd(_mm_mul_pd(two, u1r), u1i);
        const __m128d pr = _mm_sub_pd(_mm_mul_pd(sqr, u2r), _mm_mul_pd(sqi, u2i));
        const __m128d pi = _mm_add_pd(_mm_mul_pd(sqr, u2i), _mm_mul_pd(sqi, u2r));
        const __m128d m1 = _mm_loadu_pd(a.mag1 + w);
        const __m128d rPred = _mm_sub_pd(_mm_mul_pd(two, m1), _mm_loadu_pd(a.mag2 + w));
        const __m128d dr = _mm_sub_pd(xr, _mm_mul_pd(rPred, pr));
        const __m128d di = _mm_sub_pd(xi, _mm_mul_pd(rPred, pi));
        const __m128d denom = _mm_add_pd(r, _mm_andnot_pd(sign, rPred));
        const __m128d known = _mm_cmpgt_pd(denom, zero);
        const __m128d c = _mm_div_pd(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(dr, dr), _mm_mul_pd(di, di))), denom);
        _mm_storeu_pd(a.unpredict + w, _mm_or_pd(_mm_and_pd(known, c), _mm_andnot_pd(known, one)));
        _mm_storeu_pd(a.energy + w, e);
        _mm_storeu_pd(a.mag2 + w, m1);
        _mm_storeu_pd(a.phase2Re + w, u1r);
        _mm_storeu_pd(a.phase2Im + w, u1i);
        _mm_storeu_pd(a.mag1 + w, r);
        _mm_storeu_pd(a.phase1Re + w, ur);
        _mm_storeu_pd(a.phase1Im + w, ui);
    }
    for (; w < count; ++w) UnpredictLine(w, a);
}

__attribute__((target("avx2"))) void UnpredictAvx2(int count, const CPsychoModel2::CLineArrays& a)
{
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0);
    const __m256d sign = _mm256_set1_pd(-0.0);
    int w = 0;
    for (; w + 4 <= count; w += 4) {
        const __m256d xr = _mm256_loadu_pd(a.re + w), xi = _mm256_loadu_pd(a.im + w);
        const __m256d e = _mm256_add_pd(_mm256_mul_pd(xr, xr), _mm256_mul_pd(xi, xi));
        const __m256d r = _mm256_sqrt_pd(e);
        const __m256d positive = _mm256_cmp_pd(r, zero, _CMP_GT_OQ);
        const __m256d ur = _mm256_blendv_pd(one, _mm256_div_pd(xr, r), positive);
        const __m256d ui = _mm256_and_pd(positive, _mm256_div_pd(xi, r));
        const __m256d u1r = _mm256_loadu_pd(a.phase1Re + w), u1i = _mm256_loadu_pd(a.phase1Im + w);
        const __m256d u2r = _mm256_loadu_pd(a.phase2Re + w);
        const __m256d u2i = _mm256_xor_pd(_mm256_loadu_pd(a.phase2Im + w), sign);
        const __m256d sqr = _mm256_sub_pd(_mm256_mul_pd(u1r, u1r), _mm256_mul_pd(u1i, u1i));
        const __m256d sqi = _mm256_mul_pd(_mm256_mul_pd(two, u1r), u1i);
        const __m256d pr = _mm256_sub_pd(_mm256_mul_pd(sqr, u2r), _mm256_mul_pd(sqi, u2i));
        const __m256d pi = _mm256_add_pd(_mm256_mul_pd(sqr, u2i), _mm256_mul_pd(sqi, u2r));
        const __m256d m1 = _mm256_loadu_pd(a.mag1 + w);
        const __m256d rPred = _mm256_sub_pd(_mm256_mul_pd(two, m1), _mm256_loadu_pd(a.mag2 + w));
        const __m256d dr = _mm256_sub_pd(xr, _mm256_mul_pd(rPred, pr));
        const __m256d di = _mm256_sub_pd(xi, _mm256_mul_pd(rPred, pi));
        const __m256d denom = _mm256_add_pd(r, _mm256_andnot_pd(sign, rPred));
        const __m256d known = _mm256_cmp_pd(denom, zero, _CMP_GT_OQ);
        const __m256d c =
            _mm256_div_pd(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dr, dr), _mm256_mul_pd(di, di))), denom);
        _mm256_storeu_pd(a.unpredict + w, _mm256_blendv_pd(one, c, known));
        _mm256_storeu_pd(a.energy + w, e);
        _mm256_storeu_pd(a.mag2 + w, m1);
        _mm256_storeu_pd(a.phase2Re + w, u1r);
        _mm256_storeu_pd(a.phase2Im + w, u1i);
        _mm256_storeu_pd(a.mag1 + w, r);
        _mm256_storeu_pd(a.phase1Re + w, ur);
        _mm256_storeu_pd(a.phase1Im + w, ui);
    }
    for (; w < count; ++w) UnpredictLine(w, a);
}

}  // namespace

void CPsychoModel2::UnpredictabilityKernel(CSubbandFilter::Isa isa, int count, const CLineArrays& a)
{
    switch (isa) {
    case CSubbandFilter::Isa::Avx2:
        UnpredictAvx2(count, a);
        break;
    case CSubbandFilter::Isa::Sse2:
        UnpredictSse2(count, a);
        break;
    default:
        for (int w = 0; w < count; ++w) UnpredictLine(w, a);
        break;
    }
}

void CPsychoModel2::Analyse(const float* samples, double* smr)
{
    const int parts = PartitionCount();
    for (int i = 0; i < fftSize; ++i) windowed[i] = hann[i] * samples[i];
    RealFft(windowed.data());

    const CLineArrays arrays = {specRe.data(),   specIm.data(),   mag1.data(),     mag2.data(),   phase1Re.data(),
                                phase1Im.data(), phase2Re.data(), phase2Im.data(), energy.data(), unpredict.data()};
    UnpredictabilityKernel(CSubbandFilter::BestIsa(), lineCount, arrays);

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
        double snr = std::max(minVal[b], tonality * toneMaskingNoise + (1.0 - tonality) * noiseMaskingTone);
        double nb = ecb * rnorm[b] * std::pow(10.0, -snr / 10.0);
        double perLine = nb / partCount[b];
        for (int w = partFirst[b]; w < partFirst[b] + partCount[b]; ++w) thr[w] = std::max(perLine, absThr[w]);
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
