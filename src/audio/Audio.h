// CAudio: the audio elementary-stream source that the multiplexer pulls from. A source
// delivers bytes of one stream kind (DVD linear PCM, MPEG-1 Layer II, or AC-3 passed on
// unchanged) and, for each read, the count, position and 90 kHz time of the access
// units that start in it. CAudioSlide (slide shows) and CAudioDshow (video files)
// implement it; the operations below are listed in their fixed slot order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/MP2Encoder.h"

class CAudio {
public:
    // Stream kinds returned by StreamKind().
    static constexpr int kindAc3 = 0;
    static constexpr int kindLpcm = 1;
    static constexpr int kindMp2 = 4;

    // 90 kHz time that marks "after the end of the stream" (eight hours).
    static constexpr uint32_t endOfStreamTime = 2592000000u;

    CAudio();
    CAudio(const CAudio&) = delete;
    CAudio& operator=(const CAudio&) = delete;

    // The frame-information byte of the LPCM sub-stream header; 0.
    virtual int LpcmFrameInfo() { return 0; }
    // The stream kind: 0 AC-3, 1 linear PCM, 4 MPEG-1 Layer II (base: 5).
    virtual int StreamKind() { return 5; }
    // Byte offset, within the last read, of the first access unit starting in it
    // (linear PCM and AC-3; 0 when none starts).
    virtual int FirstUnitOffset() { return 0; }
    // Number of access units starting in the last read (linear PCM and AC-3).
    virtual int UnitCount() { return 0; }
    // Fills `buffer` with at most `length` bytes of the stream; returns the number of
    // bytes written, 0 at the end of the stream (base: returns length).
    virtual int Read(uint8_t* buffer, int length)
    {
        (void)buffer;
        return length;
    }
    // 90 kHz time of the first access unit of the last read; endOfStreamTime at the end.
    virtual uint32_t FirstUnitTime() { return 1; }
    // 90 kHz time at the end of the last read; endOfStreamTime at the end.
    virtual uint32_t EndTime() { return 1; }
    // Quantisation field of the IFO audio attributes (3 for AC-3, else 0).
    virtual int QuantisationCode() { return 0; }
    // Sample-rate field of the IFO audio attributes; 0 means 48 kHz.
    virtual int SampleRateCode() { return 0; }
    // Number of audio channels of the stream.
    virtual int ChannelCount() { return 2; }
    // Called once after the last read; does nothing unless a source needs it.
    virtual void Finish() {}
    // True when the stream is Dolby Surround or has more than two channels.
    virtual bool IsSurround() { return false; }
    // Prepares the source for reading: units are numbered from firstUnit (lastUnit is
    // raised to firstUnit + 1 when not greater) and times start at
    // startMilliseconds × 90. Returns true when the source is ready.
    virtual bool Start(int tag, int firstUnit, int lastUnit, uint32_t startMilliseconds)
    {
        (void)tag;
        (void)firstUnit;
        (void)lastUnit;
        (void)startMilliseconds;
        return true;
    }
    // Releases the source's buffers (and its Layer II encoder's); stops the Layer II
    // coding thread first.
    virtual ~CAudio();

    // Reads up to `bytes` bytes of 48 kHz 16-bit stereo little-endian PCM into `buffer`;
    // returns the bytes read, 0 at the end.
    using PcmReader = std::function<int(uint8_t* buffer, int bytes)>;

    // Frame length in bytes of the Layer II header at `header` (4 bytes), or 0 when it is
    // not a 48 kHz MPEG-1 Layer II header the sources accept.
    static int Mp2FrameLength(const uint8_t* header);

protected:
    // The state both sources share, and the reading paths they share.

    // Resets the state for a new stream (first part of Start); stops the coding thread
    // of a stream started before.
    void StartState(int firstUnit, int lastUnit, uint32_t startMilliseconds);
    // Prepares the embedded Layer II encoder to read from `pcm`; false when its buffers
    // cannot be allocated. When the chain may use more than one thread (WorkerThreads),
    // the encoder then codes on a thread of its own, a few bursts ahead of ReadMp2, and
    // `pcm` is called on that thread.
    bool StartEncoder(int sourceKind, PcmReader pcm);
    // Stops the Layer II coding thread, if one runs, and waits for it; afterwards `pcm`
    // is no longer called. Sources call it in their destructors, before the objects
    // their reader uses go away.
    void StopEncoder();
    // Linear PCM read: PCM from `pcm`, swapped to big-endian, with unit accounting.
    int ReadLpcm(uint8_t* buffer, int length, const PcmReader& pcm);
    // Layer II read: bytes from the encoder, one 2160-tick step per frame header.
    int ReadMp2(uint8_t* buffer, int length);
    // Counts the access units (of unitSize bytes) starting within `bytes` new bytes and
    // advances the byte total and the running unit number.
    void CountUnits(int bytes);
    // Sets both times from the running unit number (`ticksPerUnit` per unit), or to
    // endOfStreamTime when nothing was read.
    void SetUnitTimes(int bytesRead, uint32_t ticksPerUnit);

    int kind = kindLpcm;
    int firstUnitNumber = 0;
    int lastUnitNumber = 1;
    int unitNumber = 0;
    uint32_t startTime = 0;
    uint32_t firstTime = 0;
    uint32_t endTime = 0;
    int unitSize = 2013;
    uint32_t byteTotal32 = 0;
    uint64_t byteTotal64 = 0;
    int unitsInRead = 0;
    int firstOffsetInRead = 0;
    int channels = 2;
    bool surround = false;
    bool firstRead = true;
    int nextHeaderOffset = 0;  // Layer II: where the next header is expected, relative to the next read
    uint8_t readTail[3] = {};  // Layer II: the last 3 bytes of the previous read
    CMP2Encoder encoder;

private:
    class CLayer2Thread;

    // The encoder's coded bytes in the bursts ReadCompressed gives them, from the coding
    // thread when one runs.
    int ReadCoded(int length, uint8_t* buffer);

    // The coding thread with its ring of bursts (made at the first threaded start and
    // reused); destroyed before the encoder it drives.
    std::unique_ptr<CLayer2Thread> layer2Thread;
    bool threadRunning = false;  // ReadMp2 reads from layer2Thread
};
