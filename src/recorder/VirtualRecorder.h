// A DVD recorder made of software: one device that answers the MMC commands the
// recorder driver sends as a real drive does, keeps the state of the disc in its tray
// per profile (DVD-R, DVD-RW sequential, DVD+R, DVD+RW: disc status, next writable
// address, free blocks, reservation, formatting, closing), refuses what a drive refuses
// with the drive's sense codes, and writes the burned sectors to an image file. Every
// command is kept in a log, and faults can be injected (a write error at a chosen
// block, a storm of "long write in progress", no disc, a used disc, an interrupted
// format), so that the burn can be checked end to end without a drive.
#pragma once

#include "base/File.h"
#include "recorder/ASPI.h"
#include "recorder/CommandLog.h"

#include <cstdint>
#include <string>
#include <vector>

class CVirtualRecorder : public CASPI {
public:
    // MMC profile numbers of the discs it can hold.
    static constexpr int kDvdMinusR = 0x11;
    static constexpr int kDvdMinusRwSequential = 0x14;
    static constexpr int kDvdPlusRw = 0x1A;
    static constexpr int kDvdPlusR = 0x1B;
    // User-data capacities of a single-layer 4.7 GB disc, in sectors.
    static constexpr int64_t kMinusCapacity = 2298496;
    static constexpr int64_t kPlusCapacity = 2295104;
    // The drive's write buffer.
    static constexpr int kBufferBytes = 2 * 1024 * 1024;

    // What goes wrong on purpose.
    struct SFaults {
        int64_t writeErrorAt = -1;  // a WRITE covering this block fails with 3/0C/00
        int busyWrites = 0;  // the next WRITEs answered 2/04/08; -1: all of them
        bool noDisc = false;  // the tray is empty
        bool usedDisc = false;  // the first disc is already written and closed
        bool formatted = false;  // a DVD+RW comes formatted (otherwise blank)
        bool interruptedFormat = false;  // a DVD+RW whose background format was cut short
        bool noUnderrunProtection = false;  // the drive lacks buffer-underrun protection
        bool noTestWrite = false;  // the drive cannot test-write
        bool refuseWriteParameters = false;  // MODE SELECT of the write parameters answered 5/26/00
        int64_t corruptAt = -1;  // this block is recorded with its first byte changed
        int busyPolls = 2;  // TEST UNIT READYs answered 2/04/07 after an immediate command
        int lingeringBusy = 0;  // commands still answered 2/04/07 once TEST UNIT READY is ready
    };

    // A recorder holding a blank disc of MMC profile `profile` that writes to `imagePath`.
    CVirtualRecorder(const std::string& imagePath, int profile, const SFaults& faults);
    ~CVirtualRecorder() override;

    // Reads "IMAGE[:PROFILE[:FAULT...]]": PROFILE one of DVD-R, DVD-RW, DVD+R, DVD+RW
    // (default DVD-R), FAULT one of nodisc, used, formatted, interrupted, nobuf, notest,
    // refuse-write-parameters, corrupt=BLOCK,
    // write-error=BLOCK, busy-writes=N (-1: for ever), lingering=N (commands answered
    // 2/04/07 after the drive said it was ready). False with `error` set otherwise.
    static bool ParseTarget(const std::string& text, std::string& imagePath, int& profile, SFaults& faults,
                            std::string& error);
    // "DVD-R", "DVD-RW", "DVD+R", "DVD+RW" for the four profiles, "" otherwise.
    static std::string ProfileName(int profile);

    int Scan() override;
    int DeviceCount() const override { return 1; }
    std::string DevicePath(int slot) const override;
    bool SetCurrent(int slot) override;
    int Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length) override;

    // The commands received, one line each (runs of WRITE, READ and READ BUFFER CAPACITY
    // gathered into one line), with the answer.
    const std::vector<std::string>& Log() const { return commandLog.Lines(); }
    // Writes the log to `path`, one line per entry. False when it could not be written.
    bool WriteLog(const std::string& path) const { return commandLog.Write(path); }

    // The disc in the tray, for tests and the command log.
    int DiscStatus() const { return status; }
    int64_t NextWritable() const { return nextWritable; }
    int DiscsLoaded() const { return discsLoaded; }
    int Formats() const { return formats; }
    int64_t SectorsWritten() const { return sectorsWritten; }
    bool TrayHoldsDisc() const { return discPresent; }
    // Why writing the image failed ("" when it did not).
    const std::string& ImageError() const { return imageError; }

private:
    // One command's answer: good, or a check condition with key/ASC/ASCQ.
    int Answer(int key, int asc, int ascq);
    // Carries out one command the drive is free to take.
    int Dispatch(const uint8_t* cdb, Direction direction, uint8_t* data, int length);

    // A fresh disc of the recorder's profile in the tray (blank unless `used`).
    void InsertDisc(bool used);
    int64_t Capacity() const;
    bool Minus() const { return profile == kDvdMinusR || profile == kDvdMinusRwSequential; }
    bool Plus() const { return profile == kDvdPlusR || profile == kDvdPlusRw; }

    int TestUnitReady();
    int StartStop(const uint8_t* cdb);
    int Inquiry(uint8_t* data, int length);
    int FormatUnit(const uint8_t* cdb, const uint8_t* data, int length);
    int ReadFormatCapacities(uint8_t* data, int length);
    int ReadCapacity(uint8_t* data, int length);
    int Write(const uint8_t* cdb, const uint8_t* data, int length);
    int Read(const uint8_t* cdb, uint8_t* data, int length);
    int SynchronizeCache(const uint8_t* cdb);
    int GetConfiguration(const uint8_t* cdb, uint8_t* data, int length);
    int ReadDiscInformation(uint8_t* data, int length);
    int ReadTrackInformation(const uint8_t* cdb, uint8_t* data, int length);
    int ReserveTrack(const uint8_t* cdb);
    int ModeSelect(const uint8_t* cdb, const uint8_t* data, int length);
    int ModeSense(const uint8_t* cdb, uint8_t* data, int length);
    int CloseTrackSession(const uint8_t* cdb);
    int ReadBufferCapacity(uint8_t* data, int length);
    int SetStreaming(const uint8_t* cdb, const uint8_t* data, int length);
    int SetSpeed(const uint8_t* cdb);
    // Writes `count` sectors at `lba` to the image file. False (with imageError) when
    // the file could not be written.
    bool StoreSectors(int64_t lba, const uint8_t* data, int count);
    // Starts an operation that keeps the drive busy for the next TEST UNIT READYs.
    void StartImmediate();

    std::string imagePath;
    const int profile;
    SFaults faults;
    CCommandLog commandLog;

    // The disc.
    bool discPresent = false;
    bool trayOpen = false;
    int status = 0;  // 0 blank, 1 incomplete, 2 complete
    int backgroundFormat = 0;  // DVD+RW: 0 none, 1 interrupted, 2 running, 3 complete
    bool plusRwFormatted = false;
    int64_t nextWritable = 0;
    int64_t reserved = 0;  // DVD-R/-RW: the reserved track's size, 0 when none
    bool trackOpen = false;  // DVD+R: a track is being written
    int64_t sectorsWritten = 0;
    int64_t highestWritten = 0;  // the image's length in sectors
    int discsLoaded = 0;
    int formats = 0;
    int becomingReady = 0;  // TEST UNIT READYs still answered 2/04/01 after a load
    int busy = 0;  // TEST UNIT READYs still answered 2/04/07
    int lingering = 0;  // other commands still answered 2/04/07

    // The drive's settings.
    uint8_t writePage[56] = {};
    bool writePageSet = false;
    bool testWrite = false;
    int writeSpeed = 0;
    int bufferFill = 0;

    CFileDescriptor image;
    std::string imageError;
};
