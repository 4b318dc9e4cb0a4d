#include "dvd/AudioFrameEnd.h"

#include "audio/Audio.h"
#include "audio/AudioDshow.h"

#include <algorithm>
#include <cstring>

void CAudioFrameEnd::Start(int streamKind)
{
    kind = streamKind;
    sent = 0;
    left = 0;
    collected = 0;
    inStep = false;
}

int CAudioFrameEnd::HeaderBytes() const { return kind == CAudio::kindAc3 ? 8 : 4; }

int CAudioFrameEnd::FrameLength() const
{
    if (kind == CAudio::kindMp2) return CAudio::Mp2FrameLength(header);
    int frameBytes = 0, channels = 0;
    bool surround = false;
    return CAudioDshow::ParseAc3Header(header, frameBytes, channels, surround) ? frameBytes : 0;
}

void CAudioFrameEnd::Feed(const uint8_t* data, int n)
{
    if (n <= 0) return;
    sent += n;
    if (kind == CAudio::kindLpcm) return;
    const int need = HeaderBytes();
    for (int i = 0; i < n;) {
        if (left > 0) {
            const int take = std::min(left, n - i);
            left -= take;
            i += take;
            continue;
        }
        header[collected++] = data[i++];
        if (collected < need) continue;
        const int length = FrameLength();
        if (length >= need) {
            left = length - need;
            collected = 0;
            inStep = true;
        } else {
            // No frame where one was due: look for the next header one byte on.
            inStep = false;
            std::memmove(header, header + 1, size_t(--collected));
        }
    }
}

int CAudioFrameEnd::BytesToUnitEnd() const
{
    if (kind == CAudio::kindLpcm) return int((4 - sent % 4) % 4);
    if (left > 0) return left;
    if (collected > 0 && inStep) return HeaderBytes() - collected;
    return 0;
}
