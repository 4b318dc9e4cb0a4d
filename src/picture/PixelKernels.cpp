// The table of pixel kernels and the entry points that call through it.
#include "picture/PixelKernels.h"

namespace {

constexpr SPixelKernels kPlain{RgbRowPairToYuvPlain, BilinearVerticalPlain, Cubic4VerticalPlain, BlendRowsPlain,
                               BilinearRgbxRowPlain, Packed422RowPlain,     BlurRgbxRowHPlain,   BlurRgbxRowVPlain,
                               ResizeRgbRowHPlain,   ResizeRgbxRowVPlain,   SelectBytesPlain,    Cubic4RowPlain,
                               BilinearPlaneRowPlain};
constexpr SPixelKernels kSse2{RgbRowPairToYuvSse2, BilinearVerticalSse2, Cubic4VerticalSse2, BlendRowsSse2,
                              BilinearRgbxRowSse2, Packed422RowSse2,     BlurRgbxRowHSse2,   BlurRgbxRowVSse2,
                              ResizeRgbRowHSse2,   ResizeRgbxRowVSse2,   SelectBytesSse2,    Cubic4RowSse2,
                              BilinearPlaneRowSse2};
constexpr SPixelKernels kAvx2{RgbRowPairToYuvAvx2, BilinearVerticalAvx2, Cubic4VerticalAvx2, BlendRowsAvx2,
                              BilinearRgbxRowAvx2, Packed422RowAvx2,     BlurRgbxRowHAvx2,   BlurRgbxRowVAvx2,
                              ResizeRgbRowHAvx2,   ResizeRgbxRowVAvx2,   SelectBytesAvx2,    Cubic4RowAvx2,
                              BilinearPlaneRowAvx2};

constinit CKernelTable<SPixelKernels> table(kPlain, kSse2, kAvx2);

[[maybe_unused]] const bool registered = table.Register();

}  // namespace

SPixelKernels PixelKernelsAt(ECpuLevel level) { return table.At(level); }

const SPixelKernels& PixelKernels() { return table.Current(); }

void RgbRowPairToYuv(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                     uint8_t* yBottom, uint8_t* cb, uint8_t* cr)
{
    table.Current().rgbRowPairToYuv(top, bottom, width, redFirst, yTop, yBottom, cb, cr);
}

void BilinearVertical(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n)
{
    table.Current().bilinearVertical(row0, row1, w0, w1, out, n);
}

void Cubic4Vertical(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n)
{
    table.Current().cubic4Vertical(rows, weights, out, n);
}

void BlendRows(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n)
{
    table.Current().blendRows(a, b, k, out, n);
}

void BilinearRgbxRow(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n)
{
    table.Current().bilinearRgbxRow(src, x0, weights, out, n);
}

void Packed422Row(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr)
{
    table.Current().packed422Row(row, width, yOffset, average, y, cb, cr);
}

void BlurRgbxRowH(const uint8_t* padded, const int w[5], uint32_t* mid, int width)
{
    table.Current().blurRgbxRowH(padded, w, mid, width);
}

void BlurRgbxRowV(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width)
{
    table.Current().blurRgbxRowV(rows, w, alpha, out, width);
}

void ResizeRgbRowH(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps, uint16_t* out,
                   int n)
{
    table.Current().resizeRgbRowH(src, srcWidth, first, weights, taps, out, n);
}

void ResizeRgbxRowV(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n)
{
    table.Current().resizeRgbxRowV(rows, weights, taps, out, n);
}

void SelectBytes(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n)
{
    table.Current().selectBytes(a, b, mask, out, n);
}

void Cubic4Row(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n)
{
    table.Current().cubic4Row(src, srcWidth, first, weights, out, n);
}

void BilinearPlaneRow(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n)
{
    table.Current().bilinearPlaneRow(src, srcWidth, x0, w1, out, n);
}
