#include "dvd/MuxBuffer.h"

void CMuxBuffer::Reset(int32_t capacityBytes)
{
    capacity = capacityBytes;
    Clear();
}

bool CMuxBuffer::Push(uint32_t decodeTime, int32_t bytes)
{
    int next = (tail + 1) % slotCount;
    if (next == head) return false;
    times[tail] = decodeTime;
    sizes[tail] = bytes;
    tail = next;
    return true;
}

void CMuxBuffer::Drain(uint32_t now)
{
    while (head != tail && times[head] < now) head = (head + 1) % slotCount;
}

int32_t CMuxBuffer::Occupancy() const
{
    int32_t sum = 0;
    for (int i = head; i != tail; i = (i + 1) % slotCount) sum += sizes[i];
    return sum;
}
