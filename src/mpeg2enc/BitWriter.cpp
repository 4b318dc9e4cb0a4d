#include "mpeg2enc/BitWriter.h"

void CBitWriter::Attach(uint8_t* newBuffer, size_t newCapacity)
{
    buffer = newBuffer;
    capacity = newCapacity & ~size_t(7);
    Reset();
}

void CBitWriter::Rebase(uint8_t* newBuffer, size_t newCapacity)
{
    buffer = newBuffer;
    capacity = newCapacity & ~size_t(7);
}

void CBitWriter::Rewind()
{
    position = 0;
    accumulator = 0;
    freeBits = 64;
}

void CBitWriter::Reset()
{
    Rewind();
    byteCount = 0;
    overflowed = false;
}

bool CBitWriter::AppendBits(const uint8_t* data, uint64_t bitCount)
{
    if ((64 - freeBits) & 7) return false;
    size_t wholeBytes = size_t(bitCount / 8);
    // Byte by byte until the accumulator is empty, so that whole words can be copied.
    while (wholeBytes > 0 && freeBits != 64) {
        PutBits(*data++, 8);
        --wholeBytes;
    }
    if (wholeBytes >= 8) {
        const size_t words = wholeBytes / 8 * 8;
        if (position + words > capacity) {
            overflowed = true;  // as StoreWord: nothing is written past the buffer
            return true;
        }
        std::memcpy(buffer + position, data, words);
        position += words;
        byteCount += words;
        data += words;
        wholeBytes -= words;
    }
    for (; wholeBytes > 0; --wholeBytes) PutBits(*data++, 8);
    if (const int tail = int(bitCount & 7)) PutBits(uint32_t(*data >> (8 - tail)), tail);
    return true;
}

size_t CBitWriter::Finish()
{
    const int used = 64 - freeBits;
    size_t end = position;
    if (used > 0) {
        const size_t wordStart = position;
        StoreWord(accumulator << freeBits);
        if (position != wordStart) end = wordStart + size_t((used + 7) / 8);
    }
    Rewind();
    return end;
}
