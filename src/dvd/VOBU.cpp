#include "dvd/VOBU.h"

#include <cstring>

CVOBU::CVOBU()
{
    std::memset(image, 0, sizeof image);
    image[44] = 0x00;
    image[1030] = 0x01;
}

void CVOBU::Put32(int offset, uint32_t value)
{
    image[offset] = uint8_t(value >> 24);
    image[offset + 1] = uint8_t(value >> 16);
    image[offset + 2] = uint8_t(value >> 8);
    image[offset + 3] = uint8_t(value);
}

void CVOBU::Put16(int offset, uint16_t value)
{
    image[offset] = uint8_t(value >> 8);
    image[offset + 1] = uint8_t(value);
}

uint32_t CVOBU::Get32(int offset) const
{
    return uint32_t(image[offset]) << 24 | uint32_t(image[offset + 1]) << 16 | uint32_t(image[offset + 2]) << 8 |
        uint32_t(image[offset + 3]);
}
