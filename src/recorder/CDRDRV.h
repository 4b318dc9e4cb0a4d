// The recorder driver: turns the burn job's requests (which disc is in the drive,
// prepare it for N blocks at a speed, write these blocks, finish the disc, eject) into
// MMC command blocks for the current device of a transport, and reads the answers. It
// knows DVD-R, DVD-RW (sequential and restricted overwrite), DVD+R and DVD+RW by their
// MMC profile and picks per profile the commands that prepare and close the disc.
//
// Results: 0 is success and anything else failure, unless a call says otherwise. A
// failure is shown where it happens (caption "Error Trace") and kept in Error.
// Commands the drive answers "not ready yet" (2/04/01, 2/04/07, 2/04/08) are sent again
// after a short pause, for about 200 seconds at most.
#pragma once

#include "base/UiPort.h"
#include "recorder/ASPI.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CCDRDRV {
public:
    static constexpr int kProfileDvdMinusR = 0x11;
    static constexpr int kProfileDvdRam = 0x12;
    static constexpr int kProfileDvdMinusRwOverwrite = 0x13;
    static constexpr int kProfileDvdMinusRwSequential = 0x14;
    static constexpr int kProfileDvdPlusRw = 0x1A;
    static constexpr int kProfileDvdPlusR = 0x1B;
    static constexpr int kBlockSize = 2048;

    // A driver for the current device of `transport`; messages go to `ui`. Both must
    // outlive it.
    CCDRDRV(CASPI& transport, CUiPort& ui);
    virtual ~CCDRDRV();
    CCDRDRV(const CCDRDRV&) = delete;
    CCDRDRV& operator=(const CCDRDRV&) = delete;

    // Does nothing; returns 0.
    virtual int Init();
    // SYNCHRONIZE CACHE, then TEST UNIT READY each second until ready (300 at most);
    // frees the zero buffer.
    virtual int FinishTrack();
    // SYNCHRONIZE CACHE(10).
    virtual int SynchronizeCache();
    // CD media only: track information, write parameters, OPC and 150 zero blocks
    // before block 0.
    virtual int PrepareCdTrack();
    // Allocates the zero-filled block buffer (blocks per write x 2048 bytes).
    virtual int AllocateZeroBuffer();
    // Writes `count` zero blocks from `address` on (the address is advanced).
    virtual int WriteZeroBlocks(int64_t& address, int64_t count);
    // WRITE(10) of `count` blocks from `buffer` at `address`, in commands of at most
    // blocks-per-write; the address is advanced by what was written.
    virtual int WriteBlocks(int64_t& address, const uint8_t* buffer, int count);
    // READ TRACK INFORMATION of track 1: returns the next writable address (0 on
    // failure) and keeps it and the free blocks.
    virtual int64_t ReadTrackInformation();
    // READ DISC INFORMATION: 0 when the disc is blank, non-zero on failure or any other
    // disc status. Sends OPC when the drive gives the short form of the answer.
    virtual int ReadDiscInformation();
    // The write parameters page for CD media.
    virtual int SetCdWriteParameters();
    // MODE SELECT(10) of `page` (its length byte plus 2 bytes).
    virtual int ModeSelect10(const uint8_t* page);
    // MODE SENSE(10) of page `code` into `page` (`size` bytes): 0 copied, 1 no page or
    // failure, 2 the page is larger than `size`.
    virtual int ModeSense10(int code, uint8_t* page, int size);
    // READ CAPACITY: the last block address + 1, or 0 on failure.
    virtual int64_t ReadCapacity();
    virtual int RezeroUnit();
    // PREVENT ALLOW MEDIUM REMOVAL: `prevent` true to lock the tray.
    virtual int PreventMediumRemoval(bool prevent);
    // 0 when ready, 2 when the drive answers "not ready" (sense key 2), 1 when the
    // command failed otherwise; other check conditions count as ready.
    virtual int TestUnitReady();
    // SET CD SPEED with a speed in CD units (x 177 kB/s).
    virtual int SetCdSpeed(int speed);
    // Loads (`load` true) or ejects the disc; always returns 0.
    virtual int LoadEject(bool load);
    // START STOP UNIT: starts (`start` true) or stops the spindle.
    virtual int StartStopUnit(bool start);
    virtual int SendOpc();
    // MODE SELECT(6) of `page`, with an 8-byte block descriptor when `blockDescriptor`.
    virtual int ModeSelect6(const uint8_t* page, bool blockDescriptor);

    // GET CONFIGURATION: the current profile, kept; -1 on failure.
    int GetCurrentProfile();
    // SYNCHRONIZE CACHE with the immediate bit.
    int SynchronizeCacheImmediate();
    // CLOSE TRACK/SESSION with close function `function` for track `track`.
    int CloseTrackSession(int function, int track);
    // Prepares the disc for writing `total` blocks at `speed` kB/s (0: the drive's
    // maximum). Non-zero when the disc cannot take them (the reason was shown).
    int PrepareWrite(int speed, int64_t total);
    // SET WRITE SPEED (SET CD SPEED with a speed in kB/s; 0 sends 0xFFFF).
    int SetWriteSpeed(int speed);
    // Sets the DVD write parameters page (session at once, test writing on DVD-R/-RW).
    int SetDvdWriteParameters();
    // SET STREAMING for blocks 0 .. `total` at `speed` kB/s (0 sends 0xFFFFFFFF).
    int SetStreaming(int64_t total, int speed);
    // RESERVE TRACK of `blocks` blocks.
    int ReserveTrack(int64_t blocks);
    // READ FORMAT CAPACITIES into the kept format capacity data.
    int ReadFormatCapacities();
    // FORMAT UNIT with format type 26h and the first descriptor's block count.
    int FormatUnit();
    // READ BUFFER CAPACITY: keeps the buffer's length and free space (bytes).
    int ReadBufferCapacity();
    // Reads the drive's buffer-underrun protection and test-write ability (feature
    // 002Fh, else the BUF bit of feature 0021h).
    int QueryUnderrunFree();
    // Flushes the drive's cache and closes the disc as its profile needs. Non-zero when
    // a step failed.
    int FinishDisc();
    // After FinishDisc: true when the disc is closed (a test write: left blank). False
    // with the reason in Error otherwise.
    bool CheckDiscFinished();
    // READ(10) of `count` blocks at `address` into `buffer`. 0 on success.
    int ReadBlocks(int64_t address, uint8_t* buffer, int count);

    // TEST UNIT READY once a second until the drive is ready, `seconds` times at most.
    void WaitReady(int seconds);

    // Replaces the sleep used between polls and tries (milliseconds), for tests.
    void SetSleeper(std::function<void(int)> sleeper);

    // The diagnostic log's name of a profile ("DVD-R", "DVD+R", ... "N/A").
    static std::string ProfileText(int profile);

    // Set by the burn job before each disc.
    bool testWrite = false;

    int CurrentProfile() const { return profile; }
    int BlocksPerWrite() const { return blocksPerWrite; }
    int64_t NextWritable() const { return nextWritable; }
    int64_t FreeBlocks() const { return freeBlocks; }
    bool UnderrunFree() const { return underrunFree; }
    bool TestWriteSupported() const { return testWriteSupported; }
    int BufferLength() const { return bufferLength; }
    int BufferAvailable() const { return bufferAvailable; }
    // The last failure, one line.
    const std::string& Error() const { return error; }

private:
    // Sends one command; the transport's result (0, 1, 2).
    int Run(const uint8_t* cdb, int cdbLength, CASPI::Direction direction, uint8_t* data, int length);
    // As Run, but sends it again after a pause while the drive answers 2/04/01, 2/04/07
    // or 2/04/08, up to the pacer's bound; then sets `timedOut`.
    int RunPatiently(const uint8_t* cdb, int cdbLength, CASPI::Direction direction, uint8_t* data, int length,
                     bool& timedOut);
    // True when the last answer was "not ready yet" (2/04/01, 2/04/07 or 2/04/08).
    bool NotReadyYet() const;
    // Shows `text` as an "Error Trace" box (a plain box when `plain`) and keeps it.
    void Report(const std::string& text, bool plain = false);
    bool Minus() const { return profile == kProfileDvdMinusR || profile == kProfileDvdMinusRwSequential; }
    // Prepares a DVD+RW: formats it when it is unformatted or its background format
    // was interrupted. Non-zero when that failed.
    int PreparePlusRw();
    // The close steps of DVD+R and DVD+RW after the cache was flushed.
    int ClosePlus();

    CASPI& transport;
    CUiPort& ui;
    std::function<void(int)> sleeper;
    int profile = -1;
    int blocksPerWrite = 32;
    std::vector<uint8_t> zeroBuffer;
    int64_t nextWritable = 0;
    int64_t freeBlocks = 0;
    bool underrunFree = true;
    bool testWriteSupported = true;
    uint8_t formatCapacities[256] = {};
    int bufferLength = 0;
    int bufferAvailable = 0;
    int discStatus = -1;
    int backgroundFormat = 0;
    std::string error;
};
