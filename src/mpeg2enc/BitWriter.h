// CBitWriter: the encoder's bit writer over a caller's buffer. Bits are collected in a
// 64-bit accumulator and stored as whole 64-bit big-endian words; positions are byte
// offsets from the buffer start so that the buffer can be moved when it grows.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

class CBitWriter {
public:
    // Points the writer at `buffer` of `capacity` bytes (rounded down to a multiple of 8)
    // and empties it.
    void Attach(uint8_t* buffer, size_t capacity);
    // Moves the writer to a new buffer that already holds a copy of the bytes written.
    void Rebase(uint8_t* buffer, size_t capacity);
    // Empties the accumulator and returns the write position to the buffer start; the
    // running bit count is kept.
    void Rewind();
    // Empties everything, including the running bit count.
    void Reset();

    // Appends the low `count` bits (1..32) of `value`, most significant first.
    void PutBits(uint32_t value, int count)
    {
        PutWholeBits(value & (count >= 32 ? 0xFFFFFFFFu : ((1u << count) - 1u)), count);
    }
    // PutBits for a value that has no bit set above its low `count` bits (1..32), as the
    // coefficient codes from a table: the masking is left out.
    void PutWholeBits(uint32_t value, int count)
    {
        assert(count == 32 || (value >> count) == 0);
        const uint64_t bits = value;
        if (count < freeBits) {
            accumulator = (accumulator << count) | bits;
            freeBits -= count;
            return;
        }
        // The accumulator's word is completed by the top `freeBits` bits of the value
        // (freeBits is 1..32 here, so neither shift reaches 64).
        const int rest = count - freeBits;
        StoreWord((accumulator << freeBits) | (bits >> rest));
        accumulator = bits;  // only the low `rest` bits count
        freeBits = 64 - rest;
    }
    // Writes zero bits up to the next byte boundary (nothing when already on one).
    void AlignToByte()
    {
        const int used = (64 - freeBits) & 7;
        if (used) PutBits(0, 8 - used);
    }
    // Byte-aligns and writes a 32-bit start code.
    void PutStartCode(uint32_t code)
    {
        AlignToByte();
        PutBits(code, 32);
    }
    // Appends the first `bitCount` bits of `data` (most significant bit of each byte
    // first) to a writer that stands on a byte boundary; the encoder joins slices coded
    // by separate writers this way. Returns false, writing nothing, when the writer is
    // not byte-aligned.
    bool AppendBits(const uint8_t* data, uint64_t bitCount);
    // Completes the accumulator's word with zero bits and stores it. Returns the offset
    // just past the last byte that holds written bits; the writer then starts again at
    // the buffer start.
    size_t Finish();

    // Bits written since the last Reset.
    uint64_t BitCount() const { return byteCount * 8 + uint64_t(64 - freeBits); }
    // Offset of the byte that the next bit will start after byte alignment.
    size_t AlignedPosition() const { return position + size_t((64 - freeBits + 7) / 8); }
    // Whole-word write position and the bytes still free after it.
    size_t Position() const { return position; }
    size_t FreeBytes() const { return capacity - position; }

private:
    void StoreWord(uint64_t word)
    {
        if (position + 8 > capacity) {
            overflowed = true;  // never written past the buffer; the caller grows it first
            return;
        }
        const uint64_t bigEndian = __builtin_bswap64(word);
        std::memcpy(buffer + position, &bigEndian, 8);
        position += 8;
        byteCount += 8;
    }

    uint8_t* buffer = nullptr;
    size_t capacity = 0;
    size_t position = 0;
    uint64_t accumulator = 0;
    int freeBits = 64;  // 1..64 bits still free in the accumulator's word
    uint64_t byteCount = 0;

public:
    // True once a word had to be dropped because the buffer was full.
    bool overflowed = false;
};
