// A byte ring between one producer (the decoding thread) and one consumer (the
// encoding side), with one lock and two events: data available and space available.
// The producer waits while the ring lacks space; the consumer waits for data at most
// `waitSeconds` after the last data arrived, and a timeout marks the ring finished.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class CSampleBuffer {
public:
    CSampleBuffer() = default;
    CSampleBuffer(const CSampleBuffer&) = delete;
    CSampleBuffer& operator=(const CSampleBuffer&) = delete;

    // Reserves `capacity` bytes (the pages are touched only when written) and empties
    // the ring. Returns false when the memory cannot be had.
    bool Allocate(size_t capacity);

    // Empties the ring and clears the finished mark.
    void Reset();

    // Appends `headBytes` of `head` followed by `bytes` of `data` as one record,
    // waiting while there is no room. Returns false (writing nothing) when the ring is
    // finished or the record can never fit.
    bool Write(const uint8_t* head, size_t headBytes, const uint8_t* data, size_t bytes);

    // Takes exactly `bytes` bytes, waiting until they are there. Returns false (taking
    // nothing) when the ring finished, or timed out, before they arrived.
    bool ReadExact(uint8_t* out, size_t bytes);

    // Takes up to `bytes` bytes, waiting until that many are there or the ring has
    // finished; returns the count taken (0 at the end).
    size_t ReadUpTo(uint8_t* out, size_t bytes);

    // The producer is still working towards data (skipping to the start of a range):
    // restarts the consumer's wait as new data would.
    void KeepAlive();

    // Marks the ring finished and wakes both sides. Data already in it can still be read.
    void Finish();

    // Marks the ring finished, drops what it holds and wakes both sides.
    void Abort();

    bool IsFinished() const;
    size_t Filled() const;
    size_t Capacity() const { return capacity; }

    // How long the consumer waits for data before the stream counts as ended.
    void SetWait(std::chrono::milliseconds wait) { waitTime = wait; }

private:
    bool WaitForData(std::unique_lock<std::mutex>& lock, size_t bytes);
    void CopyOut(uint8_t* out, size_t bytes);

    mutable std::mutex lock;
    std::condition_variable dataReady;
    std::condition_variable spaceReady;
    std::unique_ptr<uint8_t[]> ring;
    size_t capacity = 0;
    size_t readPos = 0;
    size_t filled = 0;
    bool finished = false;
    uint64_t alive = 0;  // KeepAlive calls so far
    std::chrono::milliseconds waitTime{1000};
};
