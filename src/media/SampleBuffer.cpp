#include "media/SampleBuffer.h"

#include <cstring>
#include <new>

bool CSampleBuffer::Allocate(size_t bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    if (capacity != bytes || !ring) {
        ring.reset();
        capacity = 0;
        // Uninitialised on purpose: the pages are only touched when samples arrive.
        ring.reset(new (std::nothrow) uint8_t[bytes]);
        if (!ring) return false;
        capacity = bytes;
    }
    readPos = 0;
    filled = 0;
    finished = false;
    return true;
}

void CSampleBuffer::Reset()
{
    std::lock_guard<std::mutex> guard(lock);
    readPos = 0;
    filled = 0;
    finished = false;
}

bool CSampleBuffer::Write(const uint8_t* head, size_t headBytes, const uint8_t* data, size_t bytes)
{
    const size_t total = headBytes + bytes;
    std::unique_lock<std::mutex> guard(lock);
    if (total > capacity) return false;
    spaceReady.wait(guard, [&] { return finished || capacity - filled >= total; });
    if (finished) return false;
    size_t writePos = (readPos + filled) % capacity;
    auto put = [&](const uint8_t* src, size_t n) {
        size_t first = std::min(n, capacity - writePos);
        std::memcpy(ring.get() + writePos, src, first);
        std::memcpy(ring.get(), src + first, n - first);
        writePos = (writePos + n) % capacity;
    };
    if (headBytes) put(head, headBytes);
    if (bytes) put(data, bytes);
    filled += total;
    dataReady.notify_all();
    return true;
}

void CSampleBuffer::KeepAlive()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        ++alive;
    }
    dataReady.notify_all();
}

bool CSampleBuffer::WaitForData(std::unique_lock<std::mutex>& guard, size_t bytes)
{
    // The wait restarts whenever new data arrives; only a ring that stays without new
    // data for the whole wait counts as ended.
    while (!finished && filled < bytes) {
        const size_t before = filled;
        const uint64_t aliveBefore = alive;
        if (!dataReady.wait_for(guard, waitTime,
                                [&] { return finished || filled != before || alive != aliveBefore; })) {
            finished = true;
            spaceReady.notify_all();
        }
    }
    return filled >= bytes;
}

void CSampleBuffer::CopyOut(uint8_t* out, size_t bytes)
{
    size_t first = std::min(bytes, capacity - readPos);
    std::memcpy(out, ring.get() + readPos, first);
    std::memcpy(out + first, ring.get(), bytes - first);
    readPos = (readPos + bytes) % capacity;
    filled -= bytes;
    spaceReady.notify_all();
}

bool CSampleBuffer::ReadExact(uint8_t* out, size_t bytes)
{
    std::unique_lock<std::mutex> guard(lock);
    if (!ring || bytes > capacity) return false;
    if (!WaitForData(guard, bytes)) return false;
    CopyOut(out, bytes);
    return true;
}

size_t CSampleBuffer::ReadUpTo(uint8_t* out, size_t bytes)
{
    std::unique_lock<std::mutex> guard(lock);
    if (!ring) return 0;
    WaitForData(guard, std::min(bytes, capacity));
    size_t n = std::min(bytes, filled);
    if (n) CopyOut(out, n);
    return n;
}

void CSampleBuffer::Finish()
{
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
    dataReady.notify_all();
    spaceReady.notify_all();
}

void CSampleBuffer::Abort()
{
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
    filled = 0;
    dataReady.notify_all();
    spaceReady.notify_all();
}

bool CSampleBuffer::IsFinished() const
{
    std::lock_guard<std::mutex> guard(lock);
    return finished;
}

size_t CSampleBuffer::Filled() const
{
    std::lock_guard<std::mutex> guard(lock);
    return filled;
}
