#include "base/DVDParams.h"

#include <cstdlib>

const char* const kAnimationIntraMatrix =
    "0820202020202020202020202020202020202020202020202020202020202020"
    "2020202020202020202020202020202020202020202020202020202020202020";
const char* const kDefaultInterMatrix =
    "101112131415161711121314151617181213141516171819131415161718191A"
    "1415161718191A1B15161718191A1B1C161718191A1B20201718191A1B1C2022";

void ApplyVideoFormat(int resolution, bool wide, bool pal, CDVDParams& params)
{
    const int fullHeight = pal ? 576 : 480;
    switch (resolution) {
    case 0:
        params.width = 720;
        params.height = fullHeight;
        break;
    case 1:
        params.width = 352;
        params.height = fullHeight;
        break;
    default:
        params.width = 352;
        params.height = fullHeight / 2;
        break;
    }
    params.videoStandard = pal ? 1 : 2;
    params.frameRate = pal ? 25.0 : 30000.0 / 1001.0;
    params.frameRateCode = pal ? 3 : 4;
    params.aspectCode = wide ? 3 : 2;
}

void FitBitRate(CDVDParams& params)
{
    // The arrays hold 99 titles; a count outside that range never reads past them.
    int titles = params.titleCount;
    if (titles < 0) titles = 0;
    if (titles > CDVDParams::maxTitles) titles = CDVDParams::maxTitles;

    double seconds = 0.0;
    double audioBits = 0.0;
    for (int i = 0; i < titles; ++i) {
        double rate = 1536000.0;  // LPCM
        if (params.titleAudioType[i] == 0)
            rate = 448000.0;
        else if (params.titleAudioType[i] == 1)
            rate = 671000.0;
        seconds += params.titleSeconds[i];
        audioBits += params.titleSeconds[i] * rate;
    }
    if (seconds == 0.0) {
        params.videoBitRate = 4800000.0;
        return;
    }
    // Audio travels in packs of which 2012 of 2048 bytes are payload.
    audioBits *= 2048.0 / 2012.0;
    // Navigation packs and the like: 4,096 bytes per second.
    const double navBits = seconds * 32768.0;

    // The two stock disc sizes are known to hold 97 %; any other size is given 95 %.
    const long long disc = std::strtoll(params.discSizeText.c_str(), nullptr, 10);
    const double factor = (disc == 4700000000LL || disc == 1470000000LL) ? 0.97 : 0.95;
    params.discBytes = static_cast<int64_t>(static_cast<double>(disc) * factor) - 30000000;

    double videoBits = 8.0 * static_cast<double>(params.discBytes) - audioBits - navBits;
    if (videoBits < 0.0) videoBits = 0.0;
    const double fitting = videoBits * 0.982421875 / seconds * 0.975;
    const double ceiling = 7200000.0 - (audioBits + navBits) / seconds;
    params.videoBitRate = fitting <= ceiling ? fitting : ceiling;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

CMatrixParse ParseMatrixText(const std::string& text, uint8_t out[64])
{
    CMatrixParse result;
    int high = -1;  // a digit waiting for its partner
    for (char c : text) {
        if (result.byteCount == 64) break;
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ') continue;
        int v = HexValue(c);
        if (v < 0) break;
        if (high < 0) {
            high = v;
        } else {
            out[result.byteCount++] = static_cast<uint8_t>(high << 4 | v);
            high = -1;
        }
    }
    if (high >= 0) {
        result.wholePairs = false;
        if (result.byteCount < 64) out[result.byteCount++] = static_cast<uint8_t>(high << 4);
    }
    return result;
}
