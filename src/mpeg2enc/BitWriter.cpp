#include "mpeg2enc/BitWriter.h"

void CBitWriter::Attach(uint8_t* newBuffer, size_t newCapacity)
{
    buffer = newBuffer;
    capacity = newCapacity & ~size_t(3);
    Reset();
}

void CBitWriter::Rebase(uint8_t* newBuffer, size_t newCapacity)
{
    buffer = newBuffer;
    capacity = newCapacity & ~size_t(3);
}

void CBitWriter::Rewind()
{
    position = 0;
    accumulator = 0;
    freeBits = 32;
}

void CBitWriter::Reset()
{
    Rewind();
    byteCount = 0;
    overflowed = false;
}

size_t CBitWriter::Finish()
{
    const int used = 32 - freeBits;
    size_t end = position;
    if (used > 0) {
        const int usedBytes = (used + 7) / 8;
        PutBits(0, freeBits);
        end = position - 4 + size_t(usedBytes);
        if (overflowed && position < end) end = position;
    }
    Rewind();
    return end;
}
