// The coding of one picture at its quantiser, and the high-quality mode's choices around
// it: the I pictures' finer quantiser, a new scene's P picture coded again with it, and a
// picture coded again coarser when the decoder's buffer could not take it.
#include "mpeg2enc/Encoder.h"

#include <algorithm>

bool CEncoder::CodePicture(bool intra, int position, int& q, const CFrame& reference, CFrame& current, uint64_t& bits)
{
    const int mbCount = mbColumns * mbRows;
    int32_t* quant = current.Array(CFrame::kQuantiser);
    if (highQuality) SaveDecisions(current);
    const uint64_t startBits = writer.BitCount();
    const CBitWriter pictureStart = writer;
    bool sceneChecked = false;
    const double limit = BufferLimit(intra, position);
    for (;;) {
        std::fill(quant, quant + mbCount, q);
        WritePictureHeaders(intra, position);
        if (!workers)
            CodeSlices(intra, q, reference, current);
        else if (!CodePictureParallel(intra, q, reference, current))
            return false;
        bits = writer.BitCount() - startBits;
        if (!highQuality) return true;
        int retry = 0;
        // A P picture whose macroblocks are mostly intra (a new scene) is the reference of
        // the rest of its group, as an I picture is: it is coded again with the I
        // pictures' quantiser.
        if (!intra && !sceneChecked) {
            sceneChecked = true;
            const int sceneQ = PictureQuantiser(true);
            if (sceneQ < q && IntraShare(current) > 0.5) retry = sceneQ;
        }
        // A picture over its share of the decoder's buffer is coded again coarser.
        if (!retry && double(bits) > limit && q < CRateController::maxQuantiser) retry = CoarserQuantiser(q);
        if (!retry) break;
        writer = pictureStart;
        RestoreDecisions(current);
        q = retry;
    }
    vbv.Remove(bits);
    if (intra) lastIntraBits = double(bits);
    return true;
}

double CEncoder::BufferLimit(bool intra, int position) const
{
    // Every picture leaves room in the buffer for the next two at the peak rate.
    const double fill = vbv.PeriodBits();
    const double room = vbv.Fullness() - 2.0 * fill;
    if (intra) return room;
    // A P picture also leaves room for the next I picture (taken as large as the last
    // one): the P pictures after it, taken as large as this one, and the bits that enter
    // until then must cover it.
    const double after = double(gopLength - 1 - position);
    return std::min(room, (vbv.Fullness() + (after - 1.0) * fill - lastIntraBits) / (after + 1.0));
}

int CEncoder::PictureQuantiser(bool intra) const
{
    const int q = rateController.Quantiser();
    if (!highQuality || !intra) return q;
    // An I picture is the reference of its whole group: coding it finer pays back in
    // every P picture that predicts from it.
    return CRateController::Snap(std::max(CRateController::minQuantiser, (q * 3 + 2) / 4));
}

int CEncoder::CoarserQuantiser(int q) { return q >= 24 ? CRateController::maxQuantiser : CRateController::Snap(q + 2); }

void CEncoder::SaveDecisions(const CFrame& current)
{
    const size_t count = size_t(mbColumns) * size_t(mbRows);
    savedDecisions.resize(3 * count);
    const int32_t* arrays[3] = {current.Array(CFrame::kMotionX), current.Array(CFrame::kMotionY),
                                current.Array(CFrame::kMbFlags)};
    for (size_t a = 0; a < 3; ++a) std::copy(arrays[a], arrays[a] + count, savedDecisions.begin() + a * count);
}

void CEncoder::RestoreDecisions(CFrame& current) const
{
    const size_t count = size_t(mbColumns) * size_t(mbRows);
    int32_t* arrays[3] = {current.Array(CFrame::kMotionX), current.Array(CFrame::kMotionY),
                          current.Array(CFrame::kMbFlags)};
    for (size_t a = 0; a < 3; ++a)
        std::copy(savedDecisions.begin() + a * count, savedDecisions.begin() + (a + 1) * count, arrays[a]);
}

double CEncoder::IntraShare(const CFrame& current) const
{
    const int count = mbColumns * mbRows;
    const int32_t* flags = current.Array(CFrame::kMbFlags);
    const int intra = int(std::count_if(flags, flags + count, [](int32_t f) { return (f & flagIntra) != 0; }));
    return double(intra) / double(count);
}
