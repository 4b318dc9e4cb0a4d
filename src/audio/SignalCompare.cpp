#include "audio/SignalCompare.h"

#include <algorithm>
#include <cmath>

int CSignalCompare::FindDelay(const std::vector<int16_t>& reference, const std::vector<int16_t>& test,
                              int channels, int maxLag)
{
    const long frames = long(reference.size()) / channels;
    const long testFrames = long(test.size()) / channels;
    const long length = std::min<long>(48000, frames / 2);
    const long first = (frames - length) / 2;
    int best = 0;
    double bestValue = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0.0;
        for (long i = first; i < first + length; ++i) {
            long j = i + lag;
            if (j < 0 || j >= testFrames) continue;
            sum += double(reference[size_t(i * channels)]) * test[size_t(j * channels)];
        }
        if (sum > bestValue) {
            bestValue = sum;
            best = lag;
        }
    }
    return best;
}

double CSignalCompare::Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& test,
                           int channels, int delay)
{
    const long frames = long(reference.size()) / channels;
    const long testFrames = long(test.size()) / channels;
    double signal = 0.0, noise = 0.0;
    long overlap = 0;
    for (long i = 0; i < frames; ++i) {
        long j = i + delay;
        if (j < 0 || j >= testFrames) continue;
        ++overlap;
        for (int c = 0; c < channels; ++c) {
            double x = reference[size_t(i * channels + c)], y = test[size_t(j * channels + c)];
            signal += x * x;
            noise += (x - y) * (x - y);
        }
    }
    if (overlap == 0) return -200.0;
    if (noise == 0.0) return 200.0;
    return 10.0 * std::log10(signal / noise);
}
