// The macroblock loop of the encoder: one slice per macroblock row, each macroblock
// predicted, transformed, quantised, written and reconstructed in turn.
#include "mpeg2enc/Encoder.h"

#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/BlockKernels.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/VlcTables.h"

namespace {

// See TransformMacroblock.
constexpr uint32_t kWeakBlockFactor = 12;

}  // namespace

void CEncoder::FormPrediction(SMacroblock& mb, int mvx, int mvy, const CFrame& reference) const
{
    const CYUV420Image& ref = reference.picture;
    // Luma: the 16 x 16 area at the vector (half samples). At a whole-sample vector the
    // blocks are read where they lie; otherwise the area is interpolated in one call.
    const uint8_t* area = ref.planeY + mb.offset[0] + ptrdiff_t(mvy >> 1) * width + (mvx >> 1);
    int lumaStride = width;
    if ((mvx | mvy) & 1) {
        PredictBlock(area, width, mvx & 1, mvy & 1, mb.predLuma, 16, 16);
        area = mb.predLuma;
        lumaStride = 16;
    }
    for (int b = 0; b < 4; ++b) {
        mb.pred[b] = area + (b >> 1) * 8 * lumaStride + (b & 1) * 8;
        mb.predStride[b] = lumaStride;
    }
    // Chroma: the vector halved toward zero, in chroma half samples.
    const int chromaWidth = width / 2;
    const int cvx = mvx / 2, cvy = mvy / 2;
    const ptrdiff_t offset = ptrdiff_t(mb.offset[4]) + ptrdiff_t(cvy >> 1) * chromaWidth + (cvx >> 1);
    const uint8_t* const planes[2] = {ref.planeCb + offset, ref.planeCr + offset};
    for (int c = 0; c < 2; ++c) {
        if ((cvx | cvy) & 1) {
            PredictBlock(planes[c], chromaWidth, cvx & 1, cvy & 1, mb.predChroma[c], 8, 8);
            mb.pred[4 + c] = mb.predChroma[c];
            mb.predStride[4 + c] = 8;
        } else {
            mb.pred[4 + c] = planes[c];
            mb.predStride[4 + c] = chromaWidth;
        }
    }
}

void CEncoder::CodeRow(int row, CBitWriter& writer, bool intra, int q, const CFrame& reference, CFrame& current) const
{
    const int32_t* vx = current.Array(CFrame::kMotionX);
    const int32_t* vy = current.Array(CFrame::kMotionY);
    int32_t* flags = current.Array(CFrame::kMbFlags);

    writer.PutStartCode(0x00000101 + uint32_t(row));
    writer.PutBits(uint32_t(NonLinearScaleCode(q)), 5);
    writer.PutBits(0, 1);
    SSliceState slice;
    SMacroblock mb;
    mb.row = row;
    mb.intraPicture = intra;
    const int chromaWidth = width / 2;
    for (int column = 0; column < mbColumns; ++column) {
        const int b = row * mbColumns + column;
        mb.column = column;
        const size_t luma = size_t(row * 16) * size_t(width) + size_t(column * 16);
        mb.offset[0] = luma;
        mb.offset[1] = luma + 8;
        mb.offset[2] = luma + size_t(width) * 8;
        mb.offset[3] = mb.offset[2] + 8;
        mb.offset[4] = mb.offset[5] = size_t(row * 8) * size_t(chromaWidth) + size_t(column * 8);
        mb.flags = flags[b];
        mb.intra = (mb.flags & flagIntra) != 0;
        TransformMacroblock(mb, q, reference, vx[b], vy[b]);
        const bool skipped = SettleFlags(mb);
        flags[b] = mb.flags;
        if (skipped) {
            ++slice.increment;
            slice.predX = slice.predY = 0;
            slice.dc[0] = slice.dc[1] = slice.dc[2] = 0;
        } else {
            WriteMacroblock(writer, mb, intra, vx[b], vy[b], slice);
        }
        if (reconstructPicture) ReconstructMacroblock(mb, q, current.picture);
    }
}

void CEncoder::TransformMacroblock(SMacroblock& mb, int q, const CFrame& reference, int vx, int vy) const
{
    const CYUV420Image& src = input.picture;
    const int chromaWidth = width / 2;
    const uint8_t* const planes[6] = {src.planeY, src.planeY, src.planeY, src.planeY, src.planeCb, src.planeCr};
    if (mb.intra) {
        static constexpr uint8_t kGreyRow[8] = {128, 128, 128, 128, 128, 128, 128, 128};
        for (int blk = 0; blk < 6; ++blk) {
            mb.pred[blk] = kGreyRow;
            mb.predStride[blk] = 0;
        }
    } else {
        FormPrediction(mb, vx, vy, reference);
    }
    // A predicted block whose error is too small for any level to come of its transform
    // (an exact match among them) is not transformed and not coded (`still` marks it):
    // the quantiser would leave all its levels zero. The high-quality mode also leaves
    // weak blocks (up to kWeakBlockFactor times that error) uncoded without transforming
    // them: its block decision drops nearly all of them anyway, and on the test material
    // the picture quality at equal rate stayed the same while the mode ran faster.
    int still = 0;
    const uint32_t zeroSum = mb.intra ? 0 : quantiser.NonIntraZeroSum(q) * (highQuality ? kWeakBlockFactor : 1);
    for (int blk = 0; blk < 6; ++blk) {
        const uint32_t error = ResidualBlock(planes[blk] + mb.offset[blk], blk < 4 ? width : chromaWidth, mb.pred[blk],
                                             mb.predStride[blk], mb.coefficients[blk]);
        if (!mb.intra && error <= zeroSum)
            still |= 32 >> blk;
        else
            ForwardDct(mb.coefficients[blk]);
    }

    mb.pattern = 0;
    if (highQuality) {
        if (mb.intra) {
            for (int blk = 0; blk < 6; ++blk)
                rdQuantiser.QuantiseIntra(mb.coefficients[blk], mb.levels[blk], q, mb.intraPicture ? 1 : 0);
            mb.pattern = 63;
        } else {
            for (int blk = 0; blk < 6; ++blk)
                if (!(still & (32 >> blk)) && rdQuantiser.QuantiseNonIntra(mb.coefficients[blk], mb.levels[blk], q))
                    mb.pattern |= 32 >> blk;
        }
    } else if (mb.intra) {
        for (int blk = 0; blk < 6; ++blk) quantiser.QuantiseIntra(mb.coefficients[blk], mb.levels[blk], q);
        mb.pattern = 63;
    } else {
        for (int blk = 0; blk < 6; ++blk)
            if (!(still & (32 >> blk)) && quantiser.QuantiseNonIntra(mb.coefficients[blk], mb.levels[blk], q))
                mb.pattern |= 32 >> blk;
    }
}

bool CEncoder::SettleFlags(SMacroblock& mb) const
{
    if (mb.intra) return false;
    if (mb.pattern != 0)
        mb.flags |= flagPattern;
    else if (!(mb.flags & flagForward) && mb.column != 0 && mb.column != mbColumns - 1)
        return true;
    else
        mb.flags |= flagForward;
    return false;
}

void CEncoder::WriteMacroblock(CBitWriter& writer, const SMacroblock& mb, bool intraPicture, int vx, int vy,
                               SSliceState& slice) const
{
    WriteAddressIncrement(writer, slice.increment);
    slice.increment = 1;
    const bool forward = (mb.flags & flagForward) != 0;
    const SVlc type = intraPicture ? vlcMacroblockTypeIntraI : VlcMacroblockTypeP(mb.flags);
    writer.PutBits(type.code, type.length);
    // Without frame_pred_frame_dct (the standard mode) each macroblock names its frame
    // prediction and frame DCT.
    if (forward && !highQuality) writer.PutBits(2, 2);  // frame_motion_type: frame
    if ((mb.intra || mb.pattern != 0) && !highQuality) writer.PutBits(0, 1);  // dct_type: frame
    if (forward) {
        WriteMotionDifference(writer, vx - slice.predX);
        WriteMotionDifference(writer, vy - slice.predY);
        slice.predX = vx;
        slice.predY = vy;
    }
    if (!mb.intra && mb.pattern != 0) {
        const SVlc cbp = VlcCodedBlockPattern(mb.pattern);
        writer.PutBits(cbp.code, cbp.length);
    }
    const int intraTable = intraPicture ? 1 : 0;
    // The high-quality mode sends its levels in the zigzag scan.
    for (int blk = 0; blk < 6; ++blk) {
        if (!(mb.pattern & (32 >> blk))) continue;
        const int16_t* levels = mb.levels[blk];
        if (mb.intra) {
            const int component = blk < 4 ? 0 : blk - 3;
            WriteIntraBlock(writer, levels, component, slice.dc[component], intraTable, highQuality);
        } else {
            WriteNonIntraBlock(writer, levels, highQuality);
        }
    }
    if (mb.intra || !forward) slice.predX = slice.predY = 0;
    if (!mb.intra) slice.dc[0] = slice.dc[1] = slice.dc[2] = 0;
}

void CEncoder::ReconstructMacroblock(const SMacroblock& mb, int q, CYUV420Image& out) const
{
    const int chromaWidth = width / 2;
    uint8_t* const planes[6] = {out.planeY, out.planeY, out.planeY, out.planeY, out.planeCb, out.planeCr};
    alignas(16) int16_t dequantised[64];
    alignas(16) int16_t residual[64];
    for (int blk = 0; blk < 6; ++blk) {
        const bool coded = (mb.pattern & (32 >> blk)) != 0;
        if (coded) {
            if (mb.intra)
                quantiser.DequantiseIntra(mb.levels[blk], dequantised, q);
            else
                quantiser.DequantiseNonIntra(mb.levels[blk], dequantised, q);
            InverseDct(dequantised, residual);
        }
        ReconstructBlock(mb.pred[blk], mb.predStride[blk], coded ? residual : nullptr, planes[blk] + mb.offset[blk],
                         blk < 4 ? width : chromaWidth);
    }
}
