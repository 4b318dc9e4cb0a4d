#include "FakeSources.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

CFakeVideo::CFakeVideo(std::vector<uint8_t> stream, int rate_, int resolutionCode, bool wide_)
    : es(std::move(stream)), rate(rate_), period(rate_ == 25 ? 3600 : 3003), resolution(resolutionCode), wide(wide_)
{
    // A GOP begins at the sequence or GOP header that follows a picture.
    uint32_t window = 0xFFFFFFFF;
    bool inPicture = true;
    for (size_t i = 0; i < es.size(); ++i) {
        window = window << 8 | es[i];
        if ((window & 0xFFFFFF00u) != 0x00000100u) continue;
        uint8_t code = uint8_t(window);
        int64_t at = int64_t(i) - 3;
        if ((code == 0xB3 || code == 0xB8) && inPicture) {
            gopStarts.push_back(gopStarts.empty() ? 0 : at);
            inPicture = false;
        } else if (code == 0x00) {
            pictureStarts.push_back(at);
            inPicture = true;
        }
    }
    gopStarts.push_back(int64_t(es.size()));
}

int32_t CFakeVideo::Read(uint8_t* buffer, int32_t length)
{
    if (ended) return 0;
    if (pos == gopEnd) {
        if (gop + 1 >= gopStarts.size()) {
            ended = true;
            return 0;
        }
        pos = gopStarts[gop];
        gopEnd = gopStarts[gop + 1];
        ++gop;
    }
    int64_t remaining = gopEnd - pos;
    int64_t n = length;
    if (pos + length >= gopEnd) n = remaining < length - shortBy ? remaining : length - shortBy;
    if (shortBy < 16) n = std::min<int64_t>(remaining, length - shortBy);
    std::memcpy(buffer, es.data() + pos, size_t(n));
    pos += n;
    counted = uint32_t(std::upper_bound(pictureStarts.begin(), pictureStarts.end(), pos) - pictureStarts.begin());
    if (pos == gopEnd && gop + 1 >= gopStarts.size()) ended = true;
    return int32_t(n);
}

CFakeAudio::CFakeAudio(std::vector<uint8_t> bytes, int kind_) : data(std::move(bytes)), kind(kind_) {}

int CFakeAudio::Read(uint8_t* buffer, int length)
{
    if (kind == kindMp2)
        length = std::min(length, 1152);
    else if (length & 1)
        length -= 7;
    int n = int(std::min<size_t>(size_t(std::max(length, 0)), data.size() - pos));
    if (n == 0) {
        firstTime = endTime = endOfStreamTime;
        unitCount = 0;
        return 0;
    }
    std::memcpy(buffer, data.data() + pos, size_t(n));
    pos += size_t(n);
    if (kind == kindMp2) {
        static const int rates[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
        int scan = std::max(carry, 0);
        while (scan + 4 <= n) {
            const uint8_t* h = buffer + scan;
            int index = h[2] >> 4;
            if (h[0] == 0xFF && (h[1] == 0xFC || h[1] == 0xFD) && ((h[2] >> 2) & 3) == 1 && index >= 1 && index <= 14 &&
                (h[3] & 3) != 2) {
                endTime += 2160;
                scan += 144 * rates[index] * 1000 / 48000 + ((h[2] >> 1) & 1);
            } else {
                ++scan;
            }
        }
        carry = scan - n;
        firstTime = endTime;
        return n;
    }
    // DVD linear PCM is big-endian; units of 80 stereo samples (320 bytes).
    for (int i = 0; i + 1 < n; i += 2) std::swap(buffer[i], buffer[i + 1]);
    const int unit = 320;
    int gap = int((unit - total % unit) % unit);
    if (gap < n) {
        firstOffset = gap;
        unitCount = (n - gap + unit - 1) / unit;
    } else {
        firstOffset = 0;
        unitCount = 0;
    }
    total += n;
    units += unitCount;
    firstTime = endTime = uint32_t(units * 150);
    return n;
}

namespace fakestreams {
namespace {

std::vector<uint8_t> Make(const std::string& key, const std::string& args, const std::string& ext)
{
    static std::map<std::string, std::vector<uint8_t>> cache;
    static std::unique_ptr<testsupport::TempDir> dir;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    if (!dir) dir = std::make_unique<testsupport::TempDir>();
    std::string out = dir->File("s" + std::to_string(cache.size()) + "." + ext);
    auto r = testsupport::Run("ffmpeg -nostdin -loglevel error -y " + args + " " + testsupport::Quote(out));
    if (r.exitCode != 0) throw std::runtime_error("ffmpeg failed: " + r.err);
    return cache[key] = testsupport::ReadBytes(out);
}

}  // namespace

std::vector<uint8_t> Video(double seconds, int width, int height, int gop, bool pal, int bitRate)
{
    std::string rate = pal ? "25" : "30000/1001";
    std::string args = "-f lavfi -i testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
        ":rate=" + rate + " -t " + std::to_string(seconds) + " -c:v mpeg2video -g " + std::to_string(gop) +
        " -bf 0 -sc_threshold 1000000000 -flags +cgop -pix_fmt yuv420p -b:v " + std::to_string(bitRate) +
        " -maxrate 8000000 -bufsize 1835008 -f mpeg2video";
    return Make(args, args, "m2v");
}

std::vector<uint8_t> StillVideo(double seconds)
{
    std::string args = "-f lavfi -i smptehdbars=size=720x480:rate=30000/1001 -t " + std::to_string(seconds) +
        " -c:v mpeg2video -g 15 -bf 0 -sc_threshold 1000000000 -flags +cgop -pix_fmt yuv420p"
        " -q:v 2 -f mpeg2video";
    return Make(args, args, "m2v");
}

std::vector<uint8_t> Mp2(double seconds, int kbps)
{
    std::string args = "-f lavfi -i sine=frequency=440:sample_rate=48000 -t " + std::to_string(seconds) +
        " -ac 2 -c:a mp2 -b:a " + std::to_string(kbps) + "k -f mp2";
    return Make(args, args, "mp2");
}

std::vector<uint8_t> Pcm(double seconds)
{
    std::string args = "-f lavfi -i sine=frequency=440:sample_rate=48000 -t " + std::to_string(seconds) +
        " -ac 2 -f s16le -c:a pcm_s16le";
    return Make(args, args, "pcm");
}

}  // namespace fakestreams
