#include "app/AudioTools.h"

#include "audio/MP2Encoder.h"
#include "audio/SignalCompare.h"
#include "audio/WaveFile.h"
#include "base/File.h"
#include "base/FileIdentity.h"
#include "base/OutputLock.h"

#include <algorithm>
#include <vector>

namespace {

// False with `error` set: the sound is not 48 kHz mono or stereo.
bool CheckDvdSound(const std::string& input, int rate, int channels, std::string& error)
{
    if (rate == 48000 && channels >= 1 && channels <= 2) return true;
    error = input + ": needs 48000 Hz mono or stereo sound (has " + std::to_string(rate) + " Hz, " +
        std::to_string(channels) + " channels)";
    return false;
}

}  // namespace

bool CAudioTools::EncodeWave(const std::string& input, const std::string& output, int64_t& frames, std::string& error)
{
    if (IsSameFile(input, output)) {
        error = output + " is the input file " + input + "; choose another name for the Layer II stream";
        return false;
    }
    COutputLock lock;
    if (lock.Acquire(output) != COutputLock::EResult::Locked) {
        error = lock.Error();
        return false;
    }
    std::vector<int16_t> samples;
    int channels = 0, rate = 0;
    if (!CWaveFile::Read(input, samples, channels, rate, error)) return false;
    if (!CheckDvdSound(input, rate, channels, error)) return false;
    if (channels == 1) {
        std::vector<int16_t> stereo(samples.size() * 2);
        for (size_t i = 0; i < samples.size(); ++i) stereo[2 * i] = stereo[2 * i + 1] = samples[i];
        samples.swap(stereo);
    }
    size_t position = 0;  // in bytes
    const size_t total = samples.size() * 2;
    CMP2Encoder encoder;
    const bool ready = encoder.Prepare(CMP2Encoder::sourceMediaImport, [&](uint8_t* buffer, int bytes) {
        const size_t n = std::min(size_t(bytes), total - position);
        for (size_t i = 0; i < n; ++i) {
            const size_t b = position + i;
            const uint16_t s = uint16_t(samples[b / 2]);
            buffer[i] = uint8_t((b & 1) ? s >> 8 : s);
        }
        position += n;
        return int(n);
    });
    if (!ready) {
        error = output + ": not enough memory for the encoder";
        return false;
    }

    CReplaceFile out(output);
    if (!out.Open(error)) return false;
    std::vector<uint8_t> buffer(16384);
    for (int n; (n = encoder.ReadCompressed(int(buffer.size()), buffer.data())) > 0;)
        if (std::fwrite(buffer.data(), 1, size_t(n), out.File()) != size_t(n)) break;  // Commit reports it
    if (!out.Commit(error)) return false;
    frames = encoder.FrameCount();
    return true;
}

bool CAudioTools::CompareWaves(const std::string& referencePath, const std::string& testPath, int& delay, double& snr,
                               std::string& error)
{
    std::vector<int16_t> reference, test;
    int channels = 0, rate = 0, testChannels = 0, testRate = 0;
    if (!CWaveFile::Read(referencePath, reference, channels, rate, error)) return false;
    if (!CWaveFile::Read(testPath, test, testChannels, testRate, error)) return false;
    if (channels != testChannels || rate != testRate) {
        error = testPath + ": channels or sampling rate differ from " + referencePath;
        return false;
    }
    delay = CSignalCompare::FindDelay(reference, test, channels, 4000);
    snr = CSignalCompare::Snr(reference, test, channels, delay);
    return true;
}
