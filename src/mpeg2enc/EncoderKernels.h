// The table of the video encoder's kernels: motion search SADs, transforms,
// quantisation, per-block sample loops and the block writers. The table in use is filled
// at start-up for the highest instruction-set level CpuFlags() allows and refilled when
// SetCpuMask changes it (base/Cpu.h); the unsuffixed calls (ForwardDct, ResidualBlock,
// CQuantiser::QuantiseIntra, ...) go through it. Every level gives the same results.
#pragma once

#include "base/Cpu.h"
#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/BlockKernels.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/RdQuantiser.h"
#include "mpeg2enc/Sad.h"

struct SEncoderKernels {
    // Motion search (mpeg2enc/Sad.h).
    decltype(&SadPlain) sad;
    decltype(&SadHalfHPlain) sadHalfH;
    decltype(&SadHalfVPlain) sadHalfV;
    decltype(&SadHalfHVPlain) sadHalfHV;
    decltype(&SadHalfNeighboursPlain) sadHalfNeighbours;
    decltype(&IntraDeviationPlain) intraDeviation;
    // Transforms (mpeg2enc/Dct.h).
    decltype(&ForwardDctPlain) forwardDct;
    decltype(&InverseDctPlain) inverseDct;
    // Quantisation (mpeg2enc/Quantiser.h).
    decltype(&CQuantiser::QuantiseIntraPlain) quantiseIntra;
    decltype(&CQuantiser::NonIntraLevelsPlain) nonIntraLevels;
    decltype(&CQuantiser::DequantiseIntraPlain) dequantiseIntra;
    decltype(&CQuantiser::DequantiseNonIntraPlain) dequantiseNonIntra;
    // The rounding shrink of the high-quality quantisation (mpeg2enc/RdQuantiser.h).
    decltype(&ShrinkBlockPlain) shrinkBlock;
    // Per-block sample loops (mpeg2enc/BlockKernels.h).
    decltype(&ResidualBlockPlain) residualBlock;
    decltype(&ReconstructBlockPlain) reconstructBlock;
    decltype(&PredictBlockPlain) predictBlock;
    decltype(&IsZeroBlockPlain) isZeroBlock;
    // Block coding (mpeg2enc/BlockCoding.h).
    decltype(&NonZeroMaskPlain) nonZeroMask;
    decltype(&WriteIntraBlockPlain) writeIntraBlock;
    decltype(&WriteNonIntraBlockPlain) writeNonIntraBlock;
};

// The routines of every level and the set in use (defined in EncoderKernels.cpp, which
// registers it at start-up).
extern CKernelTable<SEncoderKernels> encoderKernelTable;

// The table in use (see above).
inline const SEncoderKernels& EncoderKernels() { return encoderKernelTable.Current(); }
// The routines of `level` (tests and benchmarks; only call them when
// CpuLevelAvailable(level)).
SEncoderKernels EncoderKernelsAt(ECpuLevel level);
