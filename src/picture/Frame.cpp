#include "picture/Frame.h"

#include <cstring>

bool CFrame::Create(int w, int h)
{
    if (w <= 0 || h <= 0 || w % 16 != 0 || h % 16 != 0 || int64_t(w) * h > (1 << 26)) return false;
    if (!picture.Create(h, w)) return false;
    width = w;
    height = h;
    mbCount = w * h / 256;
    const size_t bytes = size_t(mbCount) * sizeof(int32_t);
    for (int i = 0; i < kArrayCount; ++i) {
        if (!arrayMemory[i].Allocate(bytes + 128)) {
            for (auto& a : arrays) a = nullptr;
            return false;
        }
        arrays[i] = reinterpret_cast<int32_t*>(arrayMemory[i].AlignedAbove(128));
        std::memset(arrays[i], 0, bytes);
    }
    return true;
}
