#include "audio/SignalCompare.h"

#include <algorithm>
#include <cmath>
#include <utility>

int CSignalCompare::FindDelay(const std::vector<int16_t>& reference, const std::vector<int16_t>& test, int channels,
                              int maxLag)
{
    const long frames = long(reference.size()) / channels;
    const long testFrames = long(test.size()) / channels;
    const long length = std::min<long>(48000, frames / 2);
    const long first = (frames - length) / 2;
    // Cross-correlation of the first channel over one second in the middle.
    std::vector<std::pair<double, int>> scores;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0.0;
        for (long i = first; i < first + length; ++i) {
            long j = i + lag;
            if (j < 0 || j >= testFrames) continue;
            sum += double(reference[size_t(i * channels)]) * test[size_t(j * channels)];
        }
        scores.push_back({sum, lag});
    }
    // Periodic music correlates almost as well one period off, so the strongest peaks
    // are checked again by their error over up to ten seconds of every channel.
    const size_t candidates = std::min<size_t>(8, scores.size());
    std::partial_sort(
        scores.begin(), scores.begin() + long(candidates), scores.end(),
        [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    const long checkLength = std::min<long>(480000, frames);
    const long checkFirst = (frames - checkLength) / 2;
    int best = scores.empty() ? 0 : scores[0].second;
    double bestError = -1.0;
    for (size_t c = 0; c < candidates; ++c) {
        const int lag = scores[c].second;
        double error = 0.0;
        long overlap = 0;
        for (long i = checkFirst; i < checkFirst + checkLength; ++i) {
            long j = i + lag;
            if (j < 0 || j >= testFrames) continue;
            ++overlap;
            for (int ch = 0; ch < channels; ++ch) {
                double d = double(reference[size_t(i * channels + ch)]) - test[size_t(j * channels + ch)];
                error += d * d;
            }
        }
        if (overlap == 0) continue;
        error /= double(overlap);
        if (bestError < 0.0 || error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    return best;
}

double CSignalCompare::Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& test, int channels,
                           int delay)
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
