#include "recorder/CDRDRV.h"

#include "base/Bytes.h"
#include "recorder/RetryPacer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr const char* kErrorCaption = "Error Trace";
using Direction = CASPI::Direction;

// Builds a zeroed command block of `size` bytes with `opcode` in byte 0.
struct SCdb {
    explicit SCdb(uint8_t opcode) { bytes[0] = opcode; }
    uint8_t& operator[](int i) { return bytes[i]; }
    uint8_t bytes[12] = {};
};

}  // namespace

CCDRDRV::CCDRDRV(CASPI& transport_, CUiPort& ui_)
    : transport(transport_),
      ui(ui_),
      sleeper([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); })
{}

CCDRDRV::~CCDRDRV() = default;

void CCDRDRV::SetSleeper(std::function<void(int)> sleep) { sleeper = std::move(sleep); }

std::string CCDRDRV::ProfileText(int profile)
{
    switch (profile) {
    case kProfileDvdMinusR:
        return "DVD-R";
    case kProfileDvdRam:
        return "DVD RAM";
    case kProfileDvdMinusRwOverwrite:
        return "DVD-RW (RO)";
    case kProfileDvdMinusRwSequential:
        return "DVD-RW (SEQ)";
    case kProfileDvdPlusRw:
        return "DVD+RW";
    case kProfileDvdPlusR:
        return "DVD+R";
    default:
        return "N/A";
    }
}

int CCDRDRV::Run(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length)
{
    return transport.Execute(cdb, cdbLength, direction, data, length);
}

bool CCDRDRV::NotReadyYet() const
{
    return transport.SenseKey() == 2 && transport.Asc() == 0x04 &&
        (transport.Ascq() == 0x01 || transport.Ascq() == 0x07 || transport.Ascq() == 0x08);
}

int CCDRDRV::RunPatiently(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length,
                          bool& timedOut)
{
    CRetryPacer pacer(sleeper);
    timedOut = false;
    for (;;) {
        const int result = Run(cdb, cdbLength, direction, data, length);
        if (result != CASPI::kCheckCondition || !NotReadyYet()) return result;
        if (!pacer.Pause()) {
            timedOut = true;
            return result;
        }
    }
}

void CCDRDRV::Report(const std::string& text, bool plain)
{
    error = text;
    while (!error.empty() && error.back() == '\n') error.pop_back();
    ui.MessageBox(text, plain ? "" : kErrorCaption, MsgButtons::Ok, plain ? MsgIcon::None : MsgIcon::Error);
}

void CCDRDRV::WaitReady(int seconds)
{
    for (int i = 0; i < seconds; ++i) {
        if (TestUnitReady() == 0) return;
        sleeper(1000);
    }
}

int CCDRDRV::Init() { return 0; }

int CCDRDRV::TestUnitReady()
{
    SCdb cdb(0x00);
    const int result = Run(cdb.bytes, 6, Direction::None, nullptr, 0);
    if (result == CASPI::kGood) return 0;
    if (result == CASPI::kCheckCondition) return transport.SenseKey() == 2 ? 2 : 0;
    return 1;
}

int CCDRDRV::RezeroUnit()
{
    SCdb cdb(0x01);
    return Run(cdb.bytes, 6, Direction::None, nullptr, 0) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::ReadFormatCapacities()
{
    SCdb cdb(0x23);
    cdb[8] = 12;
    std::memset(formatCapacities, 0, sizeof formatCapacities);
    if (Run(cdb.bytes, 10, Direction::In, formatCapacities, 12) != CASPI::kGood) {
        Report("unable to READ FORMAT CAPACITIES", true);
        return 1;
    }
    const int listLength = formatCapacities[3];
    if (listLength < 16 || listLength % 8 != 0) {
        Report("unable to READ FORMAT CAPACITIES 2", true);
        return 1;
    }
    cdb[7] = 0;
    cdb[8] = uint8_t(listLength + 4);
    if (Run(cdb.bytes, 10, Direction::In, formatCapacities, listLength + 4) != CASPI::kGood ||
        formatCapacities[3] != listLength) {
        Report("unable to READ FORMAT CAPACITIES 3", true);
        return 1;
    }
    return 0;
}

int CCDRDRV::FormatUnit()
{
    SCdb cdb(0x04);
    cdb[1] = 0x11;
    uint8_t list[12] = {};
    list[1] = 0x80;
    list[3] = 8;
    // The first formattable descriptor follows the current capacity descriptor.
    std::memcpy(list + 4, formatCapacities + 12, 4);
    list[8] = 0x26 << 2;
    bool timedOut = false;
    return RunPatiently(cdb.bytes, 6, Direction::Out, list, 12, timedOut) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::ModeSelect6(const uint8_t* page, bool blockDescriptor)
{
    const int pageSize = page[1] + 2;
    std::vector<uint8_t> list(size_t(4 + (blockDescriptor ? 8 : 0) + pageSize), 0);
    if (blockDescriptor) list[3] = 8;
    std::memcpy(list.data() + 4 + (blockDescriptor ? 8 : 0), page, size_t(pageSize));
    SCdb cdb(0x15);
    cdb[1] = 0x10;
    cdb[4] = uint8_t(list.size());
    return Run(cdb.bytes, 6, Direction::Out, list.data(), int(list.size())) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::StartStopUnit(bool start)
{
    SCdb cdb(0x1B);
    cdb[4] = start ? 1 : 0;
    if (Run(cdb.bytes, 6, Direction::None, nullptr, 0) == CASPI::kGood) return 0;
    Report("Cannot start/stop unit.");
    return 1;
}

int CCDRDRV::LoadEject(bool load)
{
    SCdb cdb(0x1B);
    cdb[4] = load ? 3 : 2;
    Run(cdb.bytes, 6, Direction::None, nullptr, 0);
    return 0;
}

int CCDRDRV::PreventMediumRemoval(bool prevent)
{
    SCdb cdb(0x1E);
    cdb[4] = prevent ? 1 : 0;
    return Run(cdb.bytes, 6, Direction::None, nullptr, 0) == CASPI::kGood ? 0 : 1;
}

int64_t CCDRDRV::ReadCapacity()
{
    SCdb cdb(0x25);
    uint8_t data[8] = {};
    if (Run(cdb.bytes, 10, Direction::In, data, 8) != CASPI::kGood) {
        Report("Cannot read capacity.\n");
        return 0;
    }
    return int64_t(GetBe32(data)) + 1;
}

int CCDRDRV::WriteBlocks(int64_t& address, const uint8_t* buffer, int count)
{
    CRetryPacer pacer(sleeper);
    while (count > 0) {
        const int n = std::min(blocksPerWrite, count);
        // Without underrun protection the host must never overrun the drive's buffer.
        if (!underrunFree) {
            pacer.Reset();
            while (ReadBufferCapacity() != 0 || bufferAvailable < n * kBlockSize) {
                if (!pacer.Pause()) {
                    Report("The recorder's buffer stayed full for 200 seconds; writing stopped at block " +
                           std::to_string(address) + ".");
                    return 1;
                }
            }
        }
        SCdb cdb(0x2A);
        PutBe32(&cdb[2], uint32_t(address));
        PutBe16(&cdb[7], uint32_t(n));
        bool timedOut = false;
        const int result =
            RunPatiently(cdb.bytes, 10, Direction::Out, const_cast<uint8_t*>(buffer), n * kBlockSize, timedOut);
        if (timedOut) {
            Report("The recorder stayed busy (" + transport.SenseText() +
                   ") for 200 seconds; writing stopped at block " + std::to_string(address) + ".");
            return 1;
        }
        if (result == CASPI::kCheckCondition) {
            char text[96];
            std::snprintf(text, sizeof text, "KEY,ASC,ASCQ,ASCLEN=%x,%x,%x,%x\n", transport.Sense()[2], transport.Asc(),
                          transport.Ascq(), transport.Sense()[7]);
            ui.MessageBox(text, kErrorCaption, MsgButtons::Ok, MsgIcon::Error);
            Report("Write data failed at block " + std::to_string(address) + " (" + transport.SenseText() + ").");
            return 1;
        }
        if (result != CASPI::kGood) {
            Report("Write data failed !!!.");
            return 1;
        }
        address += n;
        buffer += size_t(n) * kBlockSize;
        count -= n;
    }
    return 0;
}

int CCDRDRV::ReadBlocks(int64_t address, uint8_t* buffer, int count)
{
    while (count > 0) {
        const int n = std::min(blocksPerWrite, count);
        SCdb cdb(0x28);
        PutBe32(&cdb[2], uint32_t(address));
        PutBe16(&cdb[7], uint32_t(n));
        bool timedOut = false;
        if (RunPatiently(cdb.bytes, 10, Direction::In, buffer, n * kBlockSize, timedOut) != CASPI::kGood) {
            error = "reading block " + std::to_string(address) + " back failed (" + transport.SenseText() + ")";
            return 1;
        }
        address += n;
        buffer += size_t(n) * kBlockSize;
        count -= n;
    }
    return 0;
}

int CCDRDRV::SynchronizeCache()
{
    SCdb cdb(0x35);
    bool timedOut = false;
    return RunPatiently(cdb.bytes, 10, Direction::None, nullptr, 0, timedOut) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::SynchronizeCacheImmediate()
{
    SCdb cdb(0x35);
    cdb[1] = 2;
    bool timedOut = false;
    return RunPatiently(cdb.bytes, 10, Direction::None, nullptr, 0, timedOut) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::GetCurrentProfile()
{
    SCdb cdb(0x46);
    cdb[8] = 8;
    uint8_t data[8] = {};
    if (Run(cdb.bytes, 10, Direction::In, data, 8) != CASPI::kGood) {
        profile = -1;
        return -1;
    }
    profile = int(GetBe16(data + 6));
    return profile;
}

int CCDRDRV::QueryUnderrunFree()
{
    // Feature 002Fh (DVD-R/-RW Write) holds both abilities: BUF and Test Write.
    uint8_t data[252] = {};
    SCdb cdb(0x46);
    cdb[1] = 2;
    PutBe16(&cdb[2], 0x002F);
    cdb[8] = 252;
    if (Run(cdb.bytes, 10, Direction::In, data, 252) == CASPI::kGood && GetBe32(data) >= 12 &&
        GetBe16(data + 8) == 0x002F) {
        underrunFree = (data[12] & 0x40) != 0;
        testWriteSupported = (data[12] & 0x04) != 0;
        return 0;
    }
    // Older drives: the BUF bit of feature 0021h.
    std::memset(data, 0, sizeof data);
    PutBe16(&cdb[2], 0x0021);
    if (Run(cdb.bytes, 10, Direction::In, data, 252) != CASPI::kGood) {
        underrunFree = false;
        return 1;
    }
    underrunFree = (data[14] & 0x01) != 0;
    return 0;
}

int CCDRDRV::ReadDiscInformation()
{
    SCdb cdb(0x51);
    cdb[8] = 42;
    uint8_t data[42] = {};
    int result = Run(cdb.bytes, 10, Direction::In, data, 42);
    if (result == CASPI::kCheckCondition && (transport.SenseKey() == 2 || transport.SenseKey() == 6)) {
        sleeper(500);
        std::memset(data, 0, sizeof data);
        result = Run(cdb.bytes, 10, Direction::In, data, 42);
    }
    if (result != CASPI::kGood) {
        discStatus = -1;
        return 1;
    }
    discStatus = data[2] & 3;
    backgroundFormat = data[7] & 3;
    if (GetBe16(data) <= 32) SendOpc();
    return discStatus == 0 ? 0 : 1;
}

int64_t CCDRDRV::ReadTrackInformation()
{
    SCdb cdb(0x52);
    cdb[1] = 1;
    cdb[5] = 1;
    cdb[8] = 40;
    uint8_t data[40] = {};
    if (Run(cdb.bytes, 10, Direction::In, data, 40) != CASPI::kGood) {
        Report("Cannot get Track Information.");
        freeBlocks = 0;
        return 0;
    }
    nextWritable = GetBe32(data + 12);
    freeBlocks = GetBe32(data + 16);
    return nextWritable;
}

int CCDRDRV::ReserveTrack(int64_t blocks)
{
    SCdb cdb(0x53);
    PutBe32(&cdb[5], uint32_t(blocks));
    bool timedOut = false;
    if (RunPatiently(cdb.bytes, 10, Direction::None, nullptr, 0, timedOut) == CASPI::kGood) return 0;
    Report("Unable to reserve track!", true);
    return 1;
}

int CCDRDRV::SendOpc()
{
    SCdb cdb(0x54);
    cdb[1] = 1;
    bool timedOut = false;
    return RunPatiently(cdb.bytes, 10, Direction::None, nullptr, 0, timedOut) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::ModeSelect10(const uint8_t* page)
{
    const int pageSize = page[1] + 2;
    std::vector<uint8_t> list(size_t(8 + pageSize), 0);
    std::memcpy(list.data() + 8, page, size_t(pageSize));
    SCdb cdb(0x55);
    cdb[1] = 0x10;
    PutBe16(&cdb[7], uint32_t(pageSize + 8));
    return Run(cdb.bytes, 10, Direction::Out, list.data(), int(list.size())) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::ModeSense10(int code, uint8_t* page, int size)
{
    constexpr int kLength = 16384;
    std::vector<uint8_t> data(kLength, 0);
    SCdb cdb(0x5A);
    cdb[2] = uint8_t(code & 0x3F);
    PutBe16(&cdb[7], kLength);
    if (Run(cdb.bytes, 10, Direction::In, data.data(), kLength) != CASPI::kGood) {
        Report("No mode page data received.");
        return 1;
    }
    const int start = 8 + int(GetBe16(data.data() + 6));
    if (start + 6 >= int(GetBe16(data.data())) || start + 2 > kLength) {
        Report("No mode page data received.");
        return 1;
    }
    const int pageSize = data[size_t(start) + 1] + 2;
    if (pageSize > size || start + pageSize > kLength) {
        Report("Requested mode page exceeds provided buffer size.");
        return 2;
    }
    std::memcpy(page, data.data() + start, size_t(pageSize));
    return 0;
}

int CCDRDRV::CloseTrackSession(int function, int track)
{
    SCdb cdb(0x5B);
    cdb[2] = uint8_t(function & 7);
    PutBe16(&cdb[4], uint32_t(track));
    bool timedOut = false;
    return RunPatiently(cdb.bytes, 10, Direction::None, nullptr, 0, timedOut) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::ReadBufferCapacity()
{
    SCdb cdb(0x5C);
    cdb[8] = 12;
    uint8_t data[12] = {};
    if (Run(cdb.bytes, 10, Direction::In, data, 12) != CASPI::kGood) {
        bufferLength = 513000;
        bufferAvailable = 131072;
        return 1;
    }
    bufferLength = int(std::min<uint32_t>(GetBe32(data + 4), 0x7FFFFFFF));
    bufferAvailable = int(std::min<uint32_t>(GetBe32(data + 8), 0x7FFFFFFF));
    if (bufferAvailable == 0) bufferAvailable = 131072;
    return 0;
}

int CCDRDRV::SetStreaming(int64_t total, int speed)
{
    uint8_t data[28] = {};
    PutBe32(data + 8, uint32_t(total));
    PutBe32(data + 12, 0xFFFFFFFF);
    PutBe32(data + 16, 1000);
    PutBe32(data + 20, speed == 0 ? 0xFFFFFFFF : uint32_t(speed));
    PutBe32(data + 24, 1000);
    SCdb cdb(0xB6);
    cdb[10] = 28;
    return Run(cdb.bytes, 12, Direction::Out, data, 28) == CASPI::kGood ? 0 : 1;
}

int CCDRDRV::SetWriteSpeed(int speed)
{
    SCdb cdb(0xBB);
    PutBe16(&cdb[2], 0xFFFF);
    PutBe16(&cdb[4], speed == 0 ? 0xFFFF : uint32_t(std::min(speed, 0xFFFF)));
    if (Run(cdb.bytes, 12, Direction::None, nullptr, 0) == CASPI::kGood) return 0;
    Report("Cannot set writing speed.");
    return 1;
}

int CCDRDRV::SetCdSpeed(int speed)
{
    SCdb cdb(0xBB);
    PutBe16(&cdb[2], 0xFFFF);
    PutBe16(&cdb[4], speed == 0 ? 0xFFFF : uint32_t(std::min(speed * 177, 0xFFFF)));
    if (Run(cdb.bytes, 12, Direction::None, nullptr, 0) == CASPI::kGood) return 0;
    Report("Cannot set cd speed.");
    return 1;
}

int CCDRDRV::SetDvdWriteParameters()
{
    uint8_t page[56] = {};
    if (ModeSense10(0x05, page, 56) != 0) {
        Report("Cannot retrieve write parameters mode page.");
        return 1;
    }
    page[0] &= 0x7F;
    page[2] = (Minus() && testWrite) ? 0x72 : 0x62;
    page[3] = Minus() ? 5 : 4;
    page[4] = 8;
    page[5] = 16;
    PutBe32(page + 10, profile == kProfileDvdPlusR ? 0 : 16);
    page[16] = 0;
    // The page goes back with its first 50 bytes; anything beyond them is sent as zeros.
    std::memset(page + 50, 0, sizeof page - 50);
    return ModeSelect10(page);
}

int CCDRDRV::SetCdWriteParameters()
{
    uint8_t page[56] = {};
    if (ModeSense10(0x05, page, 56) != 0) {
        Report("Cannot retrieve write parameters mode page.");
        return 1;
    }
    page[0] &= 0x7F;
    page[2] = uint8_t((page[2] & 0xE2) | 2 | (testWrite ? 0x10 : 0));
    page[3] &= 0x3F;
    page[4] = 8;
    page[8] = 0;
    if (ModeSelect10(page) == 0) return 0;
    Report("Cannot set write parameters mode page.");
    return 1;
}

int CCDRDRV::AllocateZeroBuffer()
{
    zeroBuffer.assign(size_t(blocksPerWrite) * kBlockSize, 0);
    return 0;
}

int CCDRDRV::WriteZeroBlocks(int64_t& address, int64_t count)
{
    if (zeroBuffer.empty()) AllocateZeroBuffer();
    while (count > 0) {
        const int n = int(std::min<int64_t>(blocksPerWrite, count));
        if (WriteBlocks(address, zeroBuffer.data(), n) != 0) return 1;
        count -= n;
    }
    return 0;
}

int CCDRDRV::PrepareCdTrack()
{
    ReadTrackInformation();
    if (SetCdWriteParameters() != 0) return 1;
    Init();
    SendOpc();
    int64_t address = -150;
    return WriteZeroBlocks(address, 150);
}

int CCDRDRV::FinishTrack()
{
    if (SynchronizeCache() != 0) return 1;
    WaitReady(300);
    zeroBuffer.clear();
    zeroBuffer.shrink_to_fit();
    return 0;
}

int CCDRDRV::PreparePlusRw()
{
    if (ReadFormatCapacities() != 0) return 1;
    // Descriptor type 1: unformatted. A background format that was interrupted is
    // restarted; a formatted disc is written as it is, not formatted again.
    const bool unformatted = (formatCapacities[8] & 3) == 1;
    ReadDiscInformation();
    const bool interrupted = backgroundFormat == 1;
    if (!unformatted && !interrupted) return 0;
    if (FormatUnit() != 0) {
        Report("The recorder refused to format the DVD+RW disc (" + transport.SenseText() + ").");
        return 1;
    }
    return 0;
}

int CCDRDRV::PrepareWrite(int speed, int64_t total)
{
    blocksPerWrite = std::min(transport.MaxTransfer(), CASPI::kMaxTransfer) / kBlockSize;
    if (blocksPerWrite < 1) blocksPerWrite = 1;
    underrunFree = true;
    testWriteSupported = profile != kProfileDvdPlusR && profile != kProfileDvdPlusRw;
    if (Minus()) {
        QueryUnderrunFree();
        if (testWrite && !testWriteSupported) {
            Report("This recorder cannot make a test write.");
            return 1;
        }
    }
    if (profile == kProfileDvdPlusRw && PreparePlusRw() != 0) return 1;
    if (ReadDiscInformation() != 0 && profile != kProfileDvdPlusRw) return 1;
    ReadTrackInformation();
    // The image must fit between the next writable address and the end of the disc.
    if (nextWritable + freeBlocks < total || (profile != kProfileDvdPlusRw && nextWritable != 0)) {
        Report("The disc has room for " + std::to_string(std::max<int64_t>(freeBlocks, 0)) + " blocks from block " +
               std::to_string(nextWritable) + "; the image needs " + std::to_string(total) + " blocks from block 0.");
        return 1;
    }
    if (Minus()) SetWriteSpeed(speed);
    SynchronizeCache();
    SetStreaming(total, speed);
    // A drive that refuses the write parameters would write a DVD-R the wrong way (or
    // for real instead of as a test): that ends the preparation.
    if (SetDvdWriteParameters() != 0 && Minus()) {
        if (error.empty() || error.find("write parameters") == std::string::npos)
            Report("The recorder refused the write parameters (" + transport.SenseText() + ").");
        return 1;
    }
    if (Minus() && ReserveTrack(total) != 0) return 1;
    return 0;
}

int CCDRDRV::ClosePlus()
{
    if (profile == kProfileDvdPlusR) {
        if (CloseTrackSession(1, 1) != 0) {
            Report("Closing the track failed (" + transport.SenseText() + ").");
            return 1;
        }
        WaitReady(300);
        if (CloseTrackSession(5, 0) != 0) {
            Report("Closing the disc failed (" + transport.SenseText() + ").");
            return 1;
        }
        WaitReady(300);
    } else {
        if (CloseTrackSession(2, 0) != 0) {
            Report("Closing the session failed (" + transport.SenseText() + ").");
            return 1;
        }
        WaitReady(300);
    }
    return 0;
}

int CCDRDRV::FinishDisc()
{
    switch (profile) {
    case kProfileDvdMinusR:
    case kProfileDvdMinusRwSequential:
        if (SynchronizeCacheImmediate() == 0) WaitReady(900);
        if (SynchronizeCache() != 0) {
            Report("FlushCache!Error!");
            return 1;
        }
        WaitReady(900);
        return 0;
    case kProfileDvdMinusRwOverwrite:
        if (SynchronizeCacheImmediate() == 0) WaitReady(300);
        if (SynchronizeCache() != 0) return 1;
        WaitReady(900);
        return 0;
    case kProfileDvdPlusRw:
    case kProfileDvdPlusR:
        if (SynchronizeCacheImmediate() != 0) {
            Report("FlushCache!Error!");
            return 1;
        }
        WaitReady(300);
        return ClosePlus();
    default:
        return 0;
    }
}

bool CCDRDRV::CheckDiscFinished()
{
    ReadDiscInformation();
    if (discStatus < 0) {
        error = "the disc status could not be read back after closing";
        return false;
    }
    if (Minus() && testWrite) {
        if (discStatus == 0) return true;
        error = "the test write left the disc written (disc status " + std::to_string(discStatus) + ")";
        return false;
    }
    // A DVD+RW is never "closed" as a write-once disc is; what matters is that its
    // formatting was not left interrupted.
    if (profile == kProfileDvdPlusRw) {
        if (backgroundFormat != 1) return true;
        error = "the DVD+RW disc's formatting was left interrupted";
        return false;
    }
    if (discStatus != 2) {
        error = "the disc was not closed (disc status " + std::to_string(discStatus) + ")";
        return false;
    }
    return true;
}
