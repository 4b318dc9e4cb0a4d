#include "audio/Audio.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/Threads.h"

#include <pthread.h>

namespace {

const int layer2KbitPerSecond[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

}  // namespace

// Runs CMP2Encoder::ReadCompressed on a thread of its own. Each call there codes one
// burst of frames and returns all of it (the slot is as large as any burst), so the
// ring holds the bursts exactly as the encoder cut them; Read hands them out with the
// encoder's own rule (at most what is left of the current burst per call), which keeps
// the byte counts of every read, and with them the multiplexer's packs, unchanged.
// A burst of 0 bytes marks the end of the stream.
class CAudio::CLayer2Thread {
public:
    static constexpr int slotCount = 4;
    static constexpr int slotBytes = CMP2Encoder::maxBurstBytes;

    CLayer2Thread() : storage(size_t(slotCount) * slotBytes), lengths(slotCount, 0) {}
    ~CLayer2Thread() { Stop(); }

    // Starts coding from `encoder` (prepared, and not touched by the caller until Stop).
    void Start(CMP2Encoder& encoder)
    {
        Stop();
        head = filled = readPosition = 0;
        holding = ended = stopping = finished = false;
        error = nullptr;
        worker = std::thread([this, &encoder] { Run(encoder); });
    }

    // Ends the thread after the burst it is coding; bursts not read are dropped.
    void Stop()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
            changed.notify_all();
        }
        if (worker.joinable()) worker.join();
        ended = true;
    }

    // Up to `length` bytes of the current burst; 0 at the end of the stream. Rethrows
    // what the PCM reader threw, once the bursts coded before it have been read.
    int Read(int length, uint8_t* buffer)
    {
        if (length <= 0 || ended) return 0;
        if (!holding) {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [this] { return filled > 0 || finished; });
            if (filled == 0) {
                ended = true;
                if (error) std::rethrow_exception(std::exchange(error, nullptr));
                return 0;
            }
            holding = true;
            readPosition = 0;
        }
        const int burst = lengths[size_t(head)];
        if (burst == 0) {
            ended = true;
            Release();
            return 0;
        }
        const int count = std::min(length, burst - readPosition);
        std::memcpy(buffer, Slot(head) + readPosition, size_t(count));
        readPosition += count;
        if (readPosition == burst) Release();
        return count;
    }

private:
    uint8_t* Slot(int index) { return storage.data() + size_t(index) * slotBytes; }

    // The burst at head has been read: its slot goes back to the thread.
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock);
        head = (head + 1) % slotCount;
        --filled;
        holding = false;
        changed.notify_all();
    }

    void Run(CMP2Encoder& encoder)
    {
        pthread_setname_np(pthread_self(), "layer2-encode");
        int tail = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [this] { return stopping || filled < slotCount; });
                if (stopping) break;
            }
            // The slot at tail is the thread's until `filled` counts it.
            int count;
            try {
                count = encoder.ReadCompressed(slotBytes, Slot(tail));
            } catch (...) {
                std::lock_guard<std::mutex> guard(lock);
                error = std::current_exception();
                break;
            }
            lengths[size_t(tail)] = count;
            tail = (tail + 1) % slotCount;
            std::lock_guard<std::mutex> guard(lock);
            ++filled;
            changed.notify_all();
            if (count == 0) break;
        }
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
        changed.notify_all();
    }

    std::vector<uint8_t> storage;  // slotCount slots of slotBytes
    std::vector<int> lengths;  // bytes of the burst in each slot

    // The reader's side (the consumer thread only).
    int readPosition = 0;  // bytes of the burst at head already read
    bool holding = false;  // the burst at head is being read
    bool ended = false;  // the end (or a failure) has been handed out

    std::thread worker;
    std::mutex lock;
    std::condition_variable changed;
    int head = 0;  // slot of the oldest unread burst
    int filled = 0;  // bursts coded and not yet fully read, from head on
    bool stopping = false;
    bool finished = false;
    std::exception_ptr error;
};

CAudio::CAudio() = default;

CAudio::~CAudio() { StopEncoder(); }

int CAudio::Mp2FrameLength(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] != 0xFC && h[1] != 0xFD)) return 0;
    if (((h[2] >> 2) & 3) != 1) return 0;  // 48 kHz
    int rateIndex = h[2] >> 4;
    if (rateIndex < 1 || rateIndex > 14) return 0;
    if ((h[3] & 3) == 2) return 0;  // reserved emphasis
    return 3 * layer2KbitPerSecond[rateIndex] + ((h[2] >> 1) & 1);
}

void CAudio::StartState(int firstUnit, int lastUnit, uint32_t startMilliseconds)
{
    // A stream started again: the coding thread of the old one must not read on while
    // the source rewinds.
    StopEncoder();
    firstUnitNumber = firstUnit;
    lastUnitNumber = lastUnit > firstUnit ? lastUnit : firstUnit + 1;
    unitNumber = firstUnit;
    startTime = firstTime = endTime = startMilliseconds * 90u;
    unitSize = 2013;
    byteTotal32 = 0;
    byteTotal64 = 0;
    unitsInRead = 0;
    firstOffsetInRead = 0;
    firstRead = true;
    channels = 2;
    nextHeaderOffset = 0;
    std::memset(readTail, 0, sizeof readTail);
}

bool CAudio::StartEncoder(int sourceKind, PcmReader pcm)
{
    StopEncoder();
    threadRunning = false;
    if (!encoder.Prepare(sourceKind, std::move(pcm))) return false;
    if (WorkerThreads() > 1) {
        try {
            if (!layer2Thread) layer2Thread = std::make_unique<CLayer2Thread>();
            layer2Thread->Start(encoder);
            threadRunning = true;
        } catch (const std::exception&) {
            // No memory for the ring or no thread to be had: code on the reading thread.
            layer2Thread.reset();
        }
    }
    return true;
}

void CAudio::StopEncoder()
{
    // Later reads find the stream ended rather than the encoder part-way through.
    if (layer2Thread) layer2Thread->Stop();
}

int CAudio::ReadCoded(int length, uint8_t* buffer)
{
    if (threadRunning) return layer2Thread->Read(length, buffer);
    return encoder.ReadCompressed(length, buffer);
}

void CAudio::CountUnits(int bytes)
{
    const uint64_t u = uint64_t(unitSize);
    const uint64_t gap = (u - byteTotal64 % u) % u;
    if (gap < uint64_t(bytes)) {
        firstOffsetInRead = int(gap);
        unitsInRead = int((uint64_t(bytes) - 1 - gap) / u) + 1;
    } else {
        firstOffsetInRead = 0;
        unitsInRead = 0;
    }
    byteTotal64 += uint64_t(bytes);
    byteTotal32 += uint32_t(bytes);
    unitNumber += unitsInRead;
}

void CAudio::SetUnitTimes(int bytesRead, uint32_t ticksPerUnit)
{
    if (bytesRead <= 0) {
        firstTime = endTime = endOfStreamTime;
        return;
    }
    firstTime = endTime = uint32_t(unitNumber - firstUnitNumber) * ticksPerUnit + startTime;
}

int CAudio::ReadLpcm(uint8_t* buffer, int length, const PcmReader& pcm)
{
    // Keep whole 16-bit samples: an odd request loses 7 bytes (1 when that is all it has).
    if (length & 1) length = length > 7 ? length - 7 : length - 1;
    int got = 0;
    if (length > 0 && pcm) got = std::max(0, pcm(buffer, length));
    got &= ~1;
    if (firstRead) {
        firstRead = false;
        unitSize = 320;  // 80 stereo samples, 1/600 s
        byteTotal64 = 0;
    }
    for (int i = 0; i + 1 < got; i += 2) std::swap(buffer[i], buffer[i + 1]);
    if (got > 0)
        CountUnits(got);
    else
        unitsInRead = firstOffsetInRead = 0;
    SetUnitTimes(got, 150);
    return got;
}

int CAudio::ReadMp2(uint8_t* buffer, int length)
{
    int got = ReadCoded(std::min(length, CMP2Encoder::frameBytes), buffer);
    if (firstRead) {
        firstRead = false;
        byteTotal64 = 0;
    }
    if (got <= 0) {
        firstTime = endTime = endOfStreamTime;
        return 0;
    }
    byteTotal64 += uint64_t(got);
    byteTotal32 += uint32_t(got);
    int pos = 0;
    const int carried = -nextHeaderOffset;
    if (carried >= 1 && carried <= 3 && carried + got >= 4) {
        // The reads before ended fewer than 4 bytes after the place where the next
        // header was due: look at it across the reads, so that its frame is not lost
        // from the time line.
        uint8_t header[4];
        std::memcpy(header, readTail + 3 - carried, size_t(carried));
        std::memcpy(header + carried, buffer, size_t(4 - carried));
        int frame = Mp2FrameLength(header);
        if (frame > 0) {
            endTime += 2160;
            pos = nextHeaderOffset + frame;
        }
    } else if (carried >= 1 && carried <= 3) {
        // Still fewer than 4 bytes of that header: it waits for the next read.
        pos = nextHeaderOffset;
    } else {
        pos = std::max(nextHeaderOffset, 0);
    }
    while (got - pos >= 4) {
        int frame = Mp2FrameLength(buffer + pos);
        if (frame > 0) {
            endTime += 2160;  // 1152 samples at 48 kHz
            pos += frame;
        } else {
            ++pos;
        }
    }
    nextHeaderOffset = pos - got;
    // Keep the last 3 bytes of the stream for a header that begins at the end of this
    // read; a read shorter than that keeps the bytes of the reads before it.
    if (got >= 3) {
        std::memcpy(readTail, buffer + got - 3, 3);
    } else {
        std::memmove(readTail, readTail + got, size_t(3 - got));
        std::memcpy(readTail + 3 - got, buffer, size_t(got));
    }
    firstTime = endTime;
    return got;
}
