#include "dvd/PesHeader.h"

#include "base/Bytes.h"

namespace {

constexpr uint8_t kMarkerBits = 0x81;  // '10' marker, original flag
constexpr uint8_t kPtsFlag = 0x80;
constexpr uint8_t kDtsFlag = 0x40;
constexpr uint8_t kExtensionFlag = 0x01;
// PES extension byte with only the P-STD buffer flag (and the reserved bits) set.
constexpr uint8_t kPstdOnlyExtension = 0x1E;

}  // namespace

void PutTimeStamp(uint8_t* p, int prefix, uint32_t t)
{
    p[0] = uint8_t(prefix << 4 | ((t >> 30) & 3) << 1 | 1);
    p[1] = uint8_t(t >> 22);
    p[2] = uint8_t((t >> 15) << 1 | 1);
    p[3] = uint8_t(t >> 7);
    p[4] = uint8_t(t << 1 | 1);
}

uint32_t GetTimeStamp(const uint8_t* p)
{
    return uint32_t((p[0] >> 1) & 3) << 30 | uint32_t(p[1]) << 22 | uint32_t(p[2] >> 1) << 15 | uint32_t(p[3]) << 7 |
        uint32_t(p[4] >> 1);
}

int PutPesHeader(uint8_t* p, const SPesHeader& h)
{
    const bool dts = h.hasPts && h.hasDts;
    const int dataLength = (h.hasPts ? 5 : 0) + (dts ? 5 : 0) + (h.hasPstd ? 3 : 0);
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = h.streamId;
    PutBe16(p + 4, uint32_t(3 + dataLength + h.payloadBytes));
    p[6] = kMarkerBits;
    p[7] = uint8_t((h.hasPts ? kPtsFlag : 0) | (dts ? kDtsFlag : 0) | (h.hasPstd ? kExtensionFlag : 0));
    p[8] = uint8_t(dataLength);
    uint8_t* q = p + kPesFixedHeaderLength;
    if (h.hasPts) {
        PutTimeStamp(q, dts ? 3 : 2, h.pts);
        q += 5;
    }
    if (dts) {
        PutTimeStamp(q, 1, h.dts);
        q += 5;
    }
    if (h.hasPstd) {
        q[0] = kPstdOnlyExtension;
        q[1] = uint8_t(0x40 | (h.pstd.scale1024 ? 0x20 : 0) | ((h.pstd.size >> 8) & 0x1F));
        q[2] = uint8_t(h.pstd.size);
    }
    return kPesFixedHeaderLength + dataLength;
}

void PutPackScr(uint8_t* pack, int64_t scr)
{
    uint64_t base = uint64_t(scr) / 300;
    uint64_t ext = uint64_t(scr) % 300;
    pack[4] = uint8_t(0x44 | ((base >> 30) & 3) << 3 | ((base >> 28) & 3));
    pack[5] = uint8_t(base >> 20);
    pack[6] = uint8_t(((base >> 15) << 3) | ((base >> 13) & 3) | 4);
    pack[7] = uint8_t(base >> 5);
    pack[8] = uint8_t((base << 3) | ((ext >> 7) & 3) | 4);
    pack[9] = uint8_t((ext << 1) | 1);
}
