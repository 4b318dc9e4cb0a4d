// `kestrova audio encode IN.wav OUT.mp2`: codes a 48 kHz 16-bit WAVE file to the DVD's
// MPEG-1 Layer II stream (384 kbit/s stereo with CRC).
// `kestrova audio compare REF.wav TEST.wav`: finds the delay of TEST against REF and
// prints the signal-to-noise ratio, for judging the encoder against others.
#include "cli/Commands.h"

#include "app/AudioTools.h"

#include <cstdio>
#include <string>

namespace {

int Encode(const std::string& input, const std::string& output)
{
    int64_t frames = 0;
    std::string error;
    if (!CAudioTools::EncodeWave(input, output, frames, error)) return Fail(error);
    std::fprintf(stderr, "%s: %lld frames\n", output.c_str(), static_cast<long long>(frames));
    return 0;
}

int Compare(const std::string& referencePath, const std::string& testPath)
{
    int delay = 0;
    double snr = 0;
    std::string error;
    if (!CAudioTools::CompareWaves(referencePath, testPath, delay, snr, error)) return Fail(error);
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
