#include "mpeg2enc/BlockKernels.h"

#include <algorithm>

void ResidualBlockPlain(const uint8_t* source, int stride, const uint8_t prediction[64], int16_t out[64])
{
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) out[j * 8 + i] = int16_t(source[j * stride + i] - prediction[j * 8 + i]);
}

void ReconstructBlockPlain(const uint8_t prediction[64], const int16_t* residual, uint8_t* dest, int stride)
{
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const int v = prediction[j * 8 + i] + (residual ? residual[j * 8 + i] : 0);
            dest[j * stride + i] = uint8_t(std::clamp(v, 0, 255));
        }
}

void PredictBlockPlain(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride,
                       int size)
{
    const uint8_t* p = ref;
    for (int j = 0; j < size; ++j, p += refStride, out += outStride)
        for (int i = 0; i < size; ++i) {
            if (!halfX && !halfY)
                out[i] = p[i];
            else if (halfX && !halfY)
                out[i] = uint8_t((p[i] + p[i + 1] + 1) >> 1);
            else if (!halfX && halfY)
                out[i] = uint8_t((p[i] + p[i + refStride] + 1) >> 1);
            else
                out[i] = uint8_t((p[i] + p[i + 1] + p[i + refStride] + p[i + refStride + 1] + 2) >> 2);
        }
}

void ResidualBlockSse2(const uint8_t* source, int stride, const uint8_t prediction[64], int16_t out[64])
{
    ResidualBlockPlain(source, stride, prediction, out);
}

void ResidualBlockAvx2(const uint8_t* source, int stride, const uint8_t prediction[64], int16_t out[64])
{
    ResidualBlockPlain(source, stride, prediction, out);
}

void ReconstructBlockSse2(const uint8_t prediction[64], const int16_t* residual, uint8_t* dest, int stride)
{
    ReconstructBlockPlain(prediction, residual, dest, stride);
}

void ReconstructBlockAvx2(const uint8_t prediction[64], const int16_t* residual, uint8_t* dest, int stride)
{
    ReconstructBlockPlain(prediction, residual, dest, stride);
}

void PredictBlockSse2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride,
                      int size)
{
    PredictBlockPlain(ref, refStride, halfX, halfY, out, outStride, size);
}

void PredictBlockAvx2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride,
                      int size)
{
    PredictBlockPlain(ref, refStride, halfX, halfY, out, outStride, size);
}

void ResidualBlock(const uint8_t* source, int stride, const uint8_t prediction[64], int16_t out[64])
{
    ResidualBlockPlain(source, stride, prediction, out);
}

void ReconstructBlock(const uint8_t prediction[64], const int16_t* residual, uint8_t* dest, int stride)
{
    ReconstructBlockPlain(prediction, residual, dest, stride);
}

void PredictBlock(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride,
                  int size)
{
    PredictBlockPlain(ref, refStride, halfX, halfY, out, outStride, size);
}
