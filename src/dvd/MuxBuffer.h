// CMuxBuffer: a model of one decoder input buffer (video or audio) used by the
// multiplexer to decide when a stream may be sent. Each entry is a block of bytes that
// leaves the buffer once the system clock passes its decode time. The ring holds 512
// slots, so at most 511 entries are kept; a new entry is dropped when the ring is full.
#pragma once

#include <cstdint>

class CMuxBuffer {
public:
    static constexpr int slotCount = 512;

    explicit CMuxBuffer(int32_t capacityBytes = 237568) : capacity(capacityBytes) {}

    // Changes the capacity and empties the buffer.
    void Reset(int32_t capacityBytes);
    // Empties the buffer, keeping its capacity.
    void Clear() { head = tail = 0; }

    // Adds `bytes` bytes that are decoded at `decodeTime` (90 kHz). Returns false when
    // the ring is full and the entry was dropped.
    bool Push(uint32_t decodeTime, int32_t bytes);
    // Removes every entry from the head whose decode time is before `now` (90 kHz).
    void Drain(uint32_t now);

    // Sum of the sizes of all held entries.
    int32_t Occupancy() const;
    // Bytes still free: capacity minus occupancy.
    int32_t Free() const { return capacity - Occupancy(); }
    int32_t Capacity() const { return capacity; }
    bool IsEmpty() const { return head == tail; }
    // Decode time of the oldest entry; only meaningful when the buffer is not empty.
    uint32_t HeadTime() const { return times[head]; }
    // Number of entries held.
    int Count() const { return (tail - head + slotCount) % slotCount; }

private:
    int32_t capacity;
    uint32_t times[slotCount] = {};
    int32_t sizes[slotCount] = {};
    int head = 0;
    int tail = 0;
};
