#include "media/MediaLength.h"

#include "media/DirectShowAV.h"

int32_t MeasureAudioLength(const std::string& path)
{
    CDirectShowAV av;
    av.wantVideo = false;
    av.wantAudio = true;
    av.acceptAc3 = false;
    av.writeGraph = false;
    if (!av.Open(path, true) || av.duration <= 0) return 0;
    const int64_t units = av.duration / 1000;  // 100 ns -> 1/10,000 s
    return units > INT32_MAX ? INT32_MAX : static_cast<int32_t>(units);
}
