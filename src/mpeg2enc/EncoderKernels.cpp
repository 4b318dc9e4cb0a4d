#include "mpeg2enc/EncoderKernels.h"

namespace {

constexpr SEncoderKernels kPlain{SadPlain,
                                 SadHalfHPlain,
                                 SadHalfVPlain,
                                 SadHalfHVPlain,
                                 SadHalfNeighboursPlain,
                                 IntraDeviationPlain,
                                 ForwardDctPlain,
                                 InverseDctPlain,
                                 &CQuantiser::QuantiseIntraPlain,
                                 &CQuantiser::NonIntraLevelsPlain,
                                 &CQuantiser::DequantiseIntraPlain,
                                 &CQuantiser::DequantiseNonIntraPlain,
                                 ShrinkBlockPlain,
                                 ResidualBlockPlain,
                                 ReconstructBlockPlain,
                                 PredictBlockPlain,
                                 IsZeroBlockPlain,
                                 NonZeroMaskPlain,
                                 WriteIntraBlockPlain,
                                 WriteNonIntraBlockPlain};

constexpr SEncoderKernels kSse2{SadSse2,
                                SadHalfHSse2,
                                SadHalfVSse2,
                                SadHalfHVSse2,
                                SadHalfNeighboursSse2,
                                IntraDeviationSse2,
                                ForwardDctSse2,
                                InverseDctSse2,
                                &CQuantiser::QuantiseIntraSse2,
                                &CQuantiser::NonIntraLevelsSse2,
                                &CQuantiser::DequantiseIntraSse2,
                                &CQuantiser::DequantiseNonIntraSse2,
                                ShrinkBlockSse2,
                                ResidualBlockSse2,
                                ReconstructBlockSse2,
                                PredictBlockSse2,
                                IsZeroBlockSse2,
                                NonZeroMaskSse2,
                                WriteIntraBlockSse2,
                                WriteNonIntraBlockSse2};

// The intra deviation has no AVX2 routine: the SSE2 one serves that level.
constexpr SEncoderKernels kAvx2{SadAvx2,
                                SadHalfHAvx2,
                                SadHalfVAvx2,
                                SadHalfHVAvx2,
                                SadHalfNeighboursAvx2,
                                IntraDeviationSse2,
                                ForwardDctAvx2,
                                InverseDctAvx2,
                                &CQuantiser::QuantiseIntraAvx2,
                                &CQuantiser::NonIntraLevelsAvx2,
                                &CQuantiser::DequantiseIntraAvx2,
                                &CQuantiser::DequantiseNonIntraAvx2,
                                ShrinkBlockAvx2,
                                ResidualBlockAvx2,
                                ReconstructBlockAvx2,
                                PredictBlockAvx2,
                                IsZeroBlockAvx2,
                                NonZeroMaskAvx2,
                                WriteIntraBlockAvx2,
                                WriteNonIntraBlockAvx2};

[[maybe_unused]] const bool registered = encoderKernelTable.Register();

}  // namespace

constinit CKernelTable<SEncoderKernels> encoderKernelTable(kPlain, kSse2, kAvx2);

SEncoderKernels EncoderKernelsAt(ECpuLevel level) { return encoderKernelTable.At(level); }
