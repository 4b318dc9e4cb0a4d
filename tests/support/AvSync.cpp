#include "support/AvSync.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace avsync {

namespace {

constexpr int kRate = 48000;

// Reads the metadata filter's log: "frame:N pts:P pts_time:T" lines each followed by
// the picture's "lavfi.signalstats.YAVG=Y".
void ReadBrightness(const std::string& text, std::vector<double>& times, std::vector<double>& brightness)
{
    std::istringstream lines(text);
    std::string line;
    double time = 0;
    bool haveTime = false;
    while (std::getline(lines, line)) {
        size_t at = line.find("pts_time:");
        if (at != std::string::npos) {
            time = std::atof(line.c_str() + at + 9);
            haveTime = true;
            continue;
        }
        at = line.find("YAVG=");
        if (at != std::string::npos && haveTime) {
            times.push_back(time);
            brightness.push_back(std::atof(line.c_str() + at + 5));
            haveTime = false;
        }
    }
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The files as one FFmpeg input: a file alone, or the concat protocol over all.
std::string InputOf(const std::vector<std::string>& files)
{
    if (files.size() == 1) return files[0];
    std::string input = "concat:";
    for (size_t i = 0; i < files.size(); ++i) input += (i ? "|" : "") + files[i];
    return input;
}

const char kBrightnessFilter[] =
    " -map 0:v:0 -vf "
    "'crop=iw/2:ih/2,scale=64:-2,signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=brightness.txt'"
    " -f null -";

}  // namespace

std::vector<double> ToneOnsets(const std::vector<short>& samples, int rate)
{
    std::vector<double> onsets;
    int peak = 0;
    for (short s : samples) peak = std::max(peak, std::abs(int(s)));
    if (peak < 1000) return onsets;
    const int threshold = peak * 3 / 10;
    const size_t quietNeeded = size_t(rate) * 3 / 10;
    size_t quiet = quietNeeded;  // the title's start counts as after a silence
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) >= threshold) {
            if (quiet >= quietNeeded) onsets.push_back(double(i) / rate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

std::vector<double> FlashStarts(const std::vector<double>& times, const std::vector<double>& brightness)
{
    std::vector<double> starts;
    if (brightness.empty()) return starts;
    auto [low, high] = std::minmax_element(brightness.begin(), brightness.end());
    if (*high - *low < 50) return starts;
    const double middle = (*low + *high) / 2;
    bool wasBright = false;
    for (size_t i = 0; i < brightness.size() && i < times.size(); ++i) {
        bool bright = brightness[i] > middle;
        if (bright && !wasBright) starts.push_back(times[i]);
        wasBright = bright;
    }
    return starts;
}

bool PictureBrightness(const std::vector<std::string>& files, const std::string& scratch, std::vector<double>& times,
                       std::vector<double>& brightness, std::string* error)
{
    using testsupport::Quote;
    const std::string input = InputOf(files);
    auto run = testsupport::Run("cd " + Quote(scratch) + " && ffmpeg -nostdin -v error -y -copyts -i " + Quote(input) +
                                kBrightnessFilter);
    times.clear();
    brightness.clear();
    if (run.exitCode == 0) ReadBrightness(testsupport::ReadText(scratch + "/brightness.txt"), times, brightness);
    if (run.exitCode == 0 && !times.empty()) return true;
    if (error) *error = "decoding the pictures of " + input + " failed: " + run.err;
    return false;
}

SMeasure MeasureSync(const std::vector<std::string>& files, const std::string& scratch, double interval)
{
    using testsupport::Quote;
    SMeasure m;
    if (files.empty()) {
        m.error = "no file to measure";
        return m;
    }
    const std::string input = InputOf(files);
    // Both streams keep the file's time stamps (-copyts). The sound is padded with
    // silence from time 0 and wherever it has a gap, so that sample k is at k / 48000 s.
    const std::string command = "cd " + Quote(scratch) + " && ffmpeg -nostdin -v error -y -copyts -i " + Quote(input) +
        kBrightnessFilter + " -map 0:a:0 -af 'aresample=48000:async=1:first_pts=0' -ac 1 -f s16le sound.raw";
    auto run = testsupport::Run(command);
    if (run.exitCode != 0) {
        m.error = "decoding " + input + " failed: " + run.err;
        return m;
    }
    std::vector<double> times, brightness;
    ReadBrightness(testsupport::ReadText(scratch + "/brightness.txt"), times, brightness);
    auto bytes = testsupport::ReadBytes(scratch + "/sound.raw");
    std::vector<short> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = short(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (times.empty() || samples.empty()) {
        m.error = input + ": no pictures or no sound decoded";
        return m;
    }
    std::vector<double> steps;
    for (size_t i = 1; i < times.size(); ++i) steps.push_back(times[i] - times[i - 1]);
    m.framePeriod = Median(steps);
    m.firstPicture = times.front();
    m.flashes = FlashStarts(times, brightness);
    m.beeps = ToneOnsets(samples, kRate);
    for (double flash : m.flashes) {
        auto nearest = std::min_element(m.beeps.begin(), m.beeps.end(), [flash](double a, double b) {
            return std::fabs(a - flash) < std::fabs(b - flash);
        });
        if (nearest != m.beeps.end() && std::fabs(*nearest - flash) < interval / 2)
            m.pairs.push_back({flash, *nearest, (*nearest - flash) * 1000});
    }
    m.ok = true;
    return m;
}

double SMeasure::WorstDeviationMs(double expectedMs) const
{
    double worst = 0;
    for (const auto& p : pairs) worst = std::max(worst, std::fabs(p.offsetMs - expectedMs));
    return worst;
}

std::string SMeasure::Text() const
{
    std::string text = error;
    char line[128];
    std::snprintf(line, sizeof line, "picture period %.2f ms, first picture at %.4f s\n", framePeriod * 1000,
                  firstPicture);
    text += line;
    for (double f : flashes) {
        std::snprintf(line, sizeof line, "flash %.4f\n", f);
        text += line;
    }
    for (double b : beeps) {
        std::snprintf(line, sizeof line, "beep  %.4f\n", b);
        text += line;
    }
    for (const auto& p : pairs) {
        std::snprintf(line, sizeof line, "pair  %.4f %.4f  %+.1f ms\n", p.flash, p.beep, p.offsetMs);
        text += line;
    }
    return text;
}

}  // namespace avsync
