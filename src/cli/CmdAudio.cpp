// `kestrova audio encode IN.wav OUT.mp2`: codes a 48 kHz 16-bit WAVE file to the DVD's
// MPEG-1 Layer II stream (384 kbit/s stereo with CRC).
// `kestrova audio compare REF.wav TEST.wav`: finds the delay of TEST against REF and
// prints the signal-to-noise ratio, for judging the encoder against others.
#include "cli/Commands.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audio/MP2Encoder.h"
#include "audio/SignalCompare.h"
#include "audio/WaveFile.h"

namespace {

int Encode(const std::string& input, const std::string& output)
{
    std::vector<int16_t> samples;
    int channels = 0, rate = 0;
    std::string error;
    if (!CWaveFile::Read(input, samples, channels, rate, error)) return Fail(error);
    if (rate != 48000 || channels < 1 || channels > 2)
        return Fail(input + ": needs 48000 Hz mono or stereo sound (has " + std::to_string(rate) +
                    " Hz, " + std::to_string(channels) + " channels)");
    if (channels == 1) {
        std::vector<int16_t> stereo(samples.size() * 2);
        for (size_t i = 0; i < samples.size(); ++i) stereo[2 * i] = stereo[2 * i + 1] = samples[i];
        samples.swap(stereo);
    }
    size_t position = 0;  // in bytes
    const size_t total = samples.size() * 2;
    CMP2Encoder encoder;
    bool ready = encoder.Prepare(CMP2Encoder::sourceMediaImport, [&](uint8_t* buffer, int bytes) {
        size_t n = std::min(size_t(bytes), total - position);
        for (size_t i = 0; i < n; ++i) {
            size_t b = position + i;
            uint16_t s = uint16_t(samples[b / 2]);
            buffer[i] = uint8_t((b & 1) ? s >> 8 : s);
        }
        position += n;
        return int(n);
    });
    if (!ready) return Fail(output + ": not enough memory for the encoder");

    const std::string temporary = output + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) return Fail(output + ": cannot create (" + std::strerror(errno) + ")");
    std::vector<uint8_t> buffer(16384);
    bool ok = true;
    for (;;) {
        int n = encoder.ReadCompressed(int(buffer.size()), buffer.data());
        if (n == 0) break;
        if (std::fwrite(buffer.data(), 1, size_t(n), f) != size_t(n)) {
            ok = false;
            break;
        }
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        std::remove(temporary.c_str());
        return Fail(output + ": cannot write (" + reason + ")");
    }
    std::fprintf(stderr, "%s: %lld frames\n", output.c_str(), (long long)encoder.FrameCount());
    return 0;
}

int Compare(const std::string& referencePath, const std::string& testPath)
{
    std::vector<int16_t> reference, test;
    int channels = 0, rate = 0, testChannels = 0, testRate = 0;
    std::string error;
    if (!CWaveFile::Read(referencePath, reference, channels, rate, error)) return Fail(error);
    if (!CWaveFile::Read(testPath, test, testChannels, testRate, error)) return Fail(error);
    if (channels != testChannels || rate != testRate)
        return Fail(testPath + ": channels or sampling rate differ from " + referencePath);
    int delay = CSignalCompare::FindDelay(reference, test, channels, 4000);
    double snr = CSignalCompare::Snr(reference, test, channels, delay);
    std::printf("delay %d samples, SNR %.2f dB\n", delay, snr);
    return 0;
}

int RunAudio(const CArgs& args)
{
    const auto& p = args.positional;
    if (p.size() == 3 && p[0] == "encode") return Encode(p[1], p[2]);
    if (p.size() == 3 && p[0] == "compare") return Compare(p[1], p[2]);
    return Fail("usage: kestrova audio encode IN.wav OUT.mp2 | kestrova audio compare REF.wav TEST.wav");
}

CCommandRegistrar registrar(CCommand{
    "audio",
    "code a WAVE file to DVD Layer II audio, or compare two WAVE files",
    "Usage: kestrova audio encode IN.wav OUT.mp2\n"
    "       kestrova audio compare REF.wav TEST.wav\n\n"
    "encode: codes 48 kHz 16-bit PCM (mono or stereo) to MPEG-1 Layer II, 384 kbit/s\n"
    "        stereo with CRC, as written on DVDs.\n"
    "compare: finds the delay of TEST against REF and prints the signal-to-noise ratio.\n",
    {},
    RunAudio});

}  // namespace
