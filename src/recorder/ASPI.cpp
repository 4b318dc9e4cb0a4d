#include "recorder/ASPI.h"

#include "base/Bytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The text of a fixed-width inquiry field, cut at its width and stripped of trailing
// spaces (and of anything after a zero byte).
std::string InquiryField(const uint8_t* data, int width)
{
    std::string text(reinterpret_cast<const char*>(data), size_t(width));
    if (size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

std::string CASPI::SenseText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", SenseKey(), Asc(), Ascq());
    return text;
}

void CASPI::StoreSense(const uint8_t* data, int length)
{
    std::memset(sense, 0, sizeof sense);
    std::memcpy(sense, data, size_t(std::clamp(length, 0, kSenseBytes)));
}

void CASPI::ClearSense() { std::memset(sense, 0, sizeof sense); }

bool CASPI::Inquiry()
{
    uint8_t cdb[6] = {0x12, 0, 0, 0, 44, 0};
    uint8_t data[44] = {};
    if (Execute(cdb, 6, Direction::In, data, 44) != kGood) return false;
    vendor = InquiryField(data + 8, 8);
    product = InquiryField(data + 16, 16);
    revision = InquiryField(data + 32, 4);
    vendorSpecific = InquiryField(data + 36, 8);
    return true;
}

bool CASPI::QueryCapabilities()
{
    constexpr int kLength = 16384;
    std::vector<uint8_t> data(kLength, 0);
    uint8_t cdb[10] = {0x5A, 0, 0x2A, 0, 0, 0, 0, uint8_t(kLength >> 8), uint8_t(kLength & 0xFF), 0};
    underrunSupported = false;
    currentWriteSpeed = 0;
    writeSpeeds.clear();
    if (Execute(cdb, 10, Direction::In, data.data(), kLength) != kGood) return false;
    const int dataLength = int(GetBe16(data.data()));
    const int start = 8 + int(GetBe16(data.data() + 6));
    if (start + 6 >= std::min(dataLength, kLength)) return false;
    const uint8_t* page = data.data() + start;
    underrunSupported = (page[4] & 0x80) != 0;
    // The write speeds are read only as far as the answer reaches.
    const int available = std::min(dataLength, kLength) - start;
    if (available >= 32) {
        currentWriteSpeed = int(GetBe16(page + 28));
        const int count = std::min(int(GetBe16(page + 30)), 256);
        for (int i = 0; i < count && 32 + 4 * i + 4 <= available; ++i)
            writeSpeeds.push_back(int(GetBe16(page + 32 + 4 * i + 2)));
    }
    return (page[2] & 0x08) != 0 && (page[3] & 0x01) != 0;
}
