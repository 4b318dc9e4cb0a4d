// CSubbandFilter: the polyphase analysis filter bank of MPEG-1 audio for one channel.
// Every call takes 32 new PCM samples and gives one sample for each of the 32 sub-bands
// (the 512-tap analysis window followed by the cosine matrixing). The window and the
// matrixing run as SSE2 or AVX2 kernels chosen at run time, each with a plain C++ twin
// that gives the same bits.
#pragma once

class CSubbandFilter {
public:
    enum class Isa { Plain, Sse2, Avx2 };

    CSubbandFilter();

    // Clears the filter's history (as if it had only seen silence).
    void Reset();
    // Filters 32 new samples (oldest first, full scale ±1.0) into 32 sub-band samples
    // (sub-band 0 first) with the fastest kernels the processor supports.
    void Process(const float* in, float* out);
    // As Process, with the given kernel set (for tests and benchmarks).
    void Process(const float* in, float* out, Isa isa);

    // The kernel set Process uses: the highest CpuFlags() allows (base/Cpu.h).
    static Isa BestIsa();
    // Windowing: y[k] = sum over j of window[k + 64j] × x[k + 64j] for k < 64, where x
    // holds the 512 most recent samples, newest first. Summation order is fixed, so all
    // kernel sets give the same bits.
    static void WindowKernel(Isa isa, const float* x, float* y);
    // Matrixing: s[i] = sum over a of cosTable[a][i] × u[a] for 32 folded inputs u.
    static void MatrixKernel(Isa isa, const float* u, float* s);
    // The analysis window coefficient C[i], i < 512.
    static float WindowCoefficient(int i);

private:
    alignas(32) float history[1024];  // 512 samples, written twice so a window is contiguous
    int position;  // start of the newest sample in `history`
};
