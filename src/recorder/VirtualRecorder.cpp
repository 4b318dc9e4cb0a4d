#include "recorder/VirtualRecorder.h"

#include "base/Bytes.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSector = 2048;
// What the drive's buffer passes on to the disc while one command is handled.
constexpr int kDrainPerCommand = 48 * 1024;
// TEST UNIT READYs answered "becoming ready" after a disc is loaded.
constexpr int kLoadPolls = 2;

// Copies an answer of `size` bytes into the caller's buffer of `length` bytes.
void Give(uint8_t* data, int length, const uint8_t* answer, int size)
{
    if (data && length > 0) {
        std::memset(data, 0, size_t(length));
        std::memcpy(data, answer, size_t(std::min(length, size)));
    }
}

bool ParseCount(const std::string& text, long long low, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0 && value >= low;
}

}  // namespace

CVirtualRecorder::CVirtualRecorder(const std::string& imagePath_, int profile_, const SFaults& faults_)
    : imagePath(imagePath_), profile(profile_), faults(faults_)
{
    if (!faults.noDisc) InsertDisc(faults.usedDisc);
    becomingReady = 0;
}

CVirtualRecorder::~CVirtualRecorder() = default;

std::string CVirtualRecorder::ProfileName(int profile)
{
    switch (profile) {
    case kDvdMinusR:
        return "DVD-R";
    case kDvdMinusRwSequential:
        return "DVD-RW";
    case kDvdPlusR:
        return "DVD+R";
    case kDvdPlusRw:
        return "DVD+RW";
    default:
        return "";
    }
}

bool CVirtualRecorder::ParseTarget(const std::string& text, std::string& imagePath, int& profile, SFaults& faults,
                                   std::string& error)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t colon = text.find(':'); colon != std::string::npos; colon = text.find(':', start)) {
        parts.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    parts.push_back(text.substr(start));
    imagePath = parts[0];
    profile = kDvdMinusR;
    faults = SFaults();
    if (imagePath.empty()) {
        error = "--virtual-recorder needs an image file name (IMAGE[:PROFILE])";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& word = parts[i];
        const size_t eq = word.find('=');
        const std::string name = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        long long number = 0;
        if (i == 1 && (word == "DVD-R" || word == "DVD-RW" || word == "DVD+R" || word == "DVD+RW")) {
            profile = word == "DVD-R" ? kDvdMinusR
                : word == "DVD-RW"    ? kDvdMinusRwSequential
                : word == "DVD+R"     ? kDvdPlusR
                                      : kDvdPlusRw;
        } else if (word == "nodisc") {
            faults.noDisc = true;
        } else if (word == "used") {
            faults.usedDisc = true;
        } else if (word == "formatted") {
            faults.formatted = true;
        } else if (word == "interrupted") {
            faults.interruptedFormat = true;
        } else if (word == "nobuf") {
            faults.noUnderrunProtection = true;
        } else if (word == "notest") {
            faults.noTestWrite = true;
        } else if (word == "refuse-write-parameters") {
            faults.refuseWriteParameters = true;
        } else if (name == "corrupt" && ParseCount(value, 0, number)) {
            faults.corruptAt = number;
        } else if (name == "write-error" && ParseCount(value, 0, number)) {
            faults.writeErrorAt = number;
        } else if (name == "lingering" && ParseCount(value, 0, number) && number < 1000000) {
            faults.lingeringBusy = int(number);
        } else if (name == "busy-writes" && ParseCount(value, -1, number) && number < 1000000000) {
            faults.busyWrites = int(number);
        } else {
            error = "--virtual-recorder: unknown profile or fault \"" + word +
                "\" (profiles DVD-R, DVD-RW, DVD+R, DVD+RW; faults nodisc, used, formatted, interrupted, nobuf, "
                "notest, refuse-write-parameters, write-error=BLOCK, corrupt=BLOCK, busy-writes=N, lingering=N)";
            return false;
        }
    }
    return true;
}

int CVirtualRecorder::Scan() { return 1; }

std::string CVirtualRecorder::DevicePath(int slot) const { return slot == 0 ? "virtual:" + imagePath : ""; }

bool CVirtualRecorder::SetCurrent(int slot)
{
    if (slot != 0) {
        error = "virtual recorder: no device " + std::to_string(slot);
        return false;
    }
    current = 0;
    maxTransfer = kMaxTransfer;
    return true;
}

void CVirtualRecorder::InsertDisc(bool used)
{
    discPresent = true;
    trayOpen = false;
    ++discsLoaded;
    status = used ? 2 : 0;
    nextWritable = used ? 1000 : 0;
    reserved = 0;
    trackOpen = false;
    sectorsWritten = 0;
    plusRwFormatted = profile == kDvdPlusRw && (used || faults.formatted || faults.interruptedFormat);
    backgroundFormat = profile != kDvdPlusRw ? 0 : faults.interruptedFormat ? 1 : plusRwFormatted ? 3 : 0;
    if (profile == kDvdPlusRw && plusRwFormatted) status = 2;
    if (profile == kDvdPlusRw) nextWritable = 0;
    writePageSet = false;
    testWrite = false;
    becomingReady = kLoadPolls;
    // A new disc starts a new image; the file itself is replaced at the first write.
    image.Reset();
    highestWritten = 0;
}

int64_t CVirtualRecorder::Capacity() const { return Minus() ? kMinusCapacity : kPlusCapacity; }

void CVirtualRecorder::StartImmediate()
{
    busy = faults.busyPolls;
    lingering = faults.lingeringBusy;
}

int CVirtualRecorder::Answer(int key, int asc, int ascq)
{
    if (key == 0) {
        ClearSense();
        return kGood;
    }
    uint8_t data[18] = {0x70, 0, uint8_t(key), 0, 0, 0, 0, 10, 0, 0, 0, 0, uint8_t(asc), uint8_t(ascq), 0, 0, 0, 0};
    StoreSense(data, sizeof data);
    return kCheckCondition;
}

int CVirtualRecorder::Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length)
{
    if (!cdb || (cdbLength != 6 && cdbLength != 10 && cdbLength != 12)) return kFailed;
    if (direction == Direction::None) length = 0;
    const int opcode = cdb[0];
    bufferFill = std::max(0, bufferFill - kDrainPerCommand);

    int result = kGood;
    // Commands a drive answers whatever the tray holds and whatever it is doing.
    const bool anyTime = opcode == 0x00 || opcode == 0x03 || opcode == 0x12 || opcode == 0x46 || opcode == 0x5A ||
        opcode == 0x1B || opcode == 0x1E || opcode == 0x5C;
    if (!anyTime && (busy > 0 || lingering > 0)) {
        if (busy == 0) --lingering;
        result = Answer(2, 0x04, 0x07);
    } else if (!anyTime && opcode != 0x55 && opcode != 0xBB && opcode != 0xB6 && !discPresent) {
        result = Answer(2, 0x3A, 0x00);
    } else {
        result = Dispatch(cdb, direction, data, length);
    }

    commandLog.Add(cdb, direction, data, length, result == kGood ? "good" : SenseText());
    return result;
}

int CVirtualRecorder::Dispatch(const uint8_t* cdb, Direction direction, uint8_t* data, int length)
{
    const int opcode = cdb[0];
    uint8_t* in = direction == Direction::In ? data : nullptr;
    const uint8_t* out = direction == Direction::Out ? data : nullptr;
    switch (opcode) {
    case 0x00:
        return TestUnitReady();
    case 0x01:
    case 0x54:
    case 0x1E:
        return Answer(0, 0, 0);
    case 0x03:
        Give(in, length, sense, 18);
        return kGood;
    case 0x04:
        return FormatUnit(cdb, out, length);
    case 0x12:
        return Inquiry(in, length);
    case 0x1B:
        return StartStop(cdb);
    case 0x23:
        return ReadFormatCapacities(in, length);
    case 0x25:
        return ReadCapacity(in, length);
    case 0x28:
        return Read(cdb, in, length);
    case 0x2A:
        return Write(cdb, out, length);
    case 0x35:
        return SynchronizeCache(cdb);
    case 0x46:
        return GetConfiguration(cdb, in, length);
    case 0x51:
        return ReadDiscInformation(in, length);
    case 0x52:
        return ReadTrackInformation(cdb, in, length);
    case 0x53:
        return ReserveTrack(cdb);
    case 0x55:
        return ModeSelect(cdb, out, length);
    case 0x5A:
        return ModeSense(cdb, in, length);
    case 0x5B:
        return CloseTrackSession(cdb);
    case 0x5C:
        return ReadBufferCapacity(in, length);
    case 0xB6:
        return SetStreaming(cdb, out, length);
    case 0xBB:
        return SetSpeed(cdb);
    default:
        return Answer(5, 0x20, 0x00);
    }
}

int CVirtualRecorder::TestUnitReady()
{
    if (!discPresent) return Answer(2, 0x3A, 0x00);
    if (becomingReady > 0) {
        --becomingReady;
        return Answer(2, 0x04, 0x01);
    }
    if (busy > 0) {
        --busy;
        return Answer(2, 0x04, 0x07);
    }
    return Answer(0, 0, 0);
}

int CVirtualRecorder::StartStop(const uint8_t* cdb)
{
    const int loadEject = cdb[4] & 3;
    if (loadEject == 2) {
        // The disc leaves the drive; whoever stands by puts the next blank one in.
        discPresent = false;
        trayOpen = true;
        image.Reset();
    } else if (loadEject == 3 && trayOpen) {
        trayOpen = false;
        if (!faults.noDisc) InsertDisc(false);
    }
    return Answer(0, 0, 0);
}

int CVirtualRecorder::Inquiry(uint8_t* data, int length)
{
    uint8_t answer[44] = {};
    answer[0] = 0x05;  // CD/DVD device
    answer[2] = 0x05;
    answer[3] = 0x32;
    answer[4] = 44 - 5;
    std::memcpy(answer + 8, "KESTROVA", 8);
    std::memcpy(answer + 16, "VIRTUAL DVD-RW  ", 16);
    std::memcpy(answer + 32, "1.00", 4);
    std::memcpy(answer + 36, "SOFTWARE", 8);
    Give(data, length, answer, sizeof answer);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::FormatUnit(const uint8_t* cdb, const uint8_t* data, int length)
{
    if (profile != kDvdPlusRw) return Answer(5, 0x24, 0x00);
    if (cdb[1] != 0x11 || !data || length < 12) return Answer(5, 0x24, 0x00);
    if (GetBe16(data + 2) != 8 || (data[8] >> 2) != 0x26) return Answer(5, 0x26, 0x00);
    const int64_t blocks = GetBe32(data + 4);
    if (blocks == 0 || blocks > kPlusCapacity) return Answer(5, 0x26, 0x00);
    ++formats;
    plusRwFormatted = true;
    backgroundFormat = 2;
    status = 2;
    nextWritable = 0;
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReadFormatCapacities(uint8_t* data, int length)
{
    uint8_t answer[20] = {};
    const bool listsPlusRw = profile == kDvdPlusRw;
    answer[3] = listsPlusRw ? 16 : 8;
    PutBe32(answer + 4, uint32_t(Capacity()));
    answer[8] = plusRwFormatted || profile != kDvdPlusRw ? 2 : 1;
    PutBe32(answer + 8, (uint32_t(answer[8]) << 24) | kSector);
    if (listsPlusRw) {
        PutBe32(answer + 12, uint32_t(kPlusCapacity));
        answer[16] = 0x26 << 2;
    }
    Give(data, length, answer, 4 + answer[3]);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReadCapacity(uint8_t* data, int length)
{
    uint8_t answer[8] = {};
    PutBe32(answer, uint32_t(std::max<int64_t>(highestWritten, 1) - 1));
    PutBe32(answer + 4, kSector);
    Give(data, length, answer, sizeof answer);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::Write(const uint8_t* cdb, const uint8_t* data, int length)
{
    const int64_t lba = GetBe32(cdb + 2);
    const int count = int(GetBe16(cdb + 7));
    if (count == 0 || !data || length != count * kSector) return Answer(5, 0x24, 0x00);
    if (faults.busyWrites != 0) {
        if (faults.busyWrites > 0) --faults.busyWrites;
        return Answer(2, 0x04, 0x08);
    }
    if (Minus()) {
        if (status == 2 || !writePageSet || reserved == 0) return Answer(5, 0x2C, 0x00);
        if (lba != nextWritable || lba + count > reserved) return Answer(5, 0x21, 0x00);
    } else if (profile == kDvdPlusR) {
        if (status == 2) return Answer(5, 0x2C, 0x00);
        if (lba != nextWritable || lba + count > kPlusCapacity) return Answer(5, 0x21, 0x00);
    } else {
        if (!plusRwFormatted) return Answer(5, 0x2C, 0x00);
        if (lba + count > kPlusCapacity) return Answer(5, 0x21, 0x00);
    }
    if (faults.writeErrorAt >= lba && faults.writeErrorAt < lba + count) {
        if (profile != kDvdPlusRw) status = 1;
        return Answer(3, 0x0C, 0x00);
    }
    if (bufferFill + count * kSector > kBufferBytes) return Answer(2, 0x04, 0x08);
    bufferFill += count * kSector;
    const bool simulated = Minus() && testWrite;
    if (!simulated && !StoreSectors(lba, data, count)) return Answer(3, 0x0C, 0x00);
    if (!simulated) sectorsWritten += count;
    nextWritable = profile == kDvdPlusRw ? 0 : lba + count;
    if (profile == kDvdPlusR) trackOpen = true;
    if (profile != kDvdPlusRw) status = 1;
    return Answer(0, 0, 0);
}

bool CVirtualRecorder::StoreSectors(int64_t lba, const uint8_t* data, int count)
{
    if (!image) {
        const int fd = ::open(imagePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            imageError = imagePath + ": " + std::strerror(errno);
            return false;
        }
        image.Reset(fd);
        highestWritten = 0;
    }
    const size_t bytes = size_t(count) * kSector;
    std::vector<uint8_t> changed;
    if (faults.corruptAt >= lba && faults.corruptAt < lba + count) {
        changed.assign(data, data + bytes);
        changed[size_t(faults.corruptAt - lba) * kSector] ^= 0xFF;
        data = changed.data();
    }
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pwrite(image.Get(), data + done, bytes - done, off_t(lba * kSector + int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            imageError = imagePath + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += size_t(n);
    }
    highestWritten = std::max(highestWritten, lba + count);
    return true;
}

int CVirtualRecorder::Read(const uint8_t* cdb, uint8_t* data, int length)
{
    const int64_t lba = GetBe32(cdb + 2);
    const int count = int(GetBe16(cdb + 7));
    if (!data || length != count * kSector) return Answer(5, 0x24, 0x00);
    if (!image || lba + count > highestWritten) return Answer(5, 0x21, 0x00);
    const size_t got = ReadDescriptorAt(image.Get(), data, size_t(length), lba * kSector);
    if (got != size_t(length)) return Answer(3, 0x11, 0x00);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::SynchronizeCache(const uint8_t* cdb)
{
    if (Minus() && reserved > 0 && nextWritable == reserved) {
        if (testWrite) {
            // A test write leaves the disc as it found it.
            status = 0;
            nextWritable = 0;
            reserved = 0;
        } else {
            status = 2;
        }
    }
    bufferFill = 0;
    if (cdb[1] & 2) StartImmediate();
    return Answer(0, 0, 0);
}

int CVirtualRecorder::GetConfiguration(const uint8_t* cdb, uint8_t* data, int length)
{
    const int type = cdb[1] & 3;
    const int feature = int(GetBe16(cdb + 2));
    if (type == 3) return Answer(5, 0x24, 0x00);
    uint8_t answer[64] = {};
    int size = 8;
    PutBe16(answer + 6, discPresent ? uint32_t(profile) : 0);
    const bool current = discPresent && Minus();
    auto add = [&](int code, uint8_t byte4, uint8_t byte6) {
        if (size + 8 > int(sizeof answer)) return;
        if (type == 2 && code != feature) return;
        if (code < feature) return;
        if (type == 1 && !current) return;
        uint8_t* d = answer + size;
        PutBe16(d, uint32_t(code));
        d[2] = uint8_t(0x04 | (current ? 1 : 0));
        d[3] = 4;
        d[4] = byte4;
        d[6] = byte6;
        size += 8;
    };
    const bool buf = !faults.noUnderrunProtection;
    add(0x0021, 0x00, buf ? 0x01 : 0x00);
    if (faults.noTestWrite)
        add(0x002F, uint8_t(buf ? 0x40 : 0) | 0x02, 0);
    else
        add(0x002F, uint8_t(buf ? 0x40 : 0) | 0x04 | 0x02, 0);
    PutBe32(answer, uint32_t(size - 4));
    Give(data, length, answer, size);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReadDiscInformation(uint8_t* data, int length)
{
    uint8_t answer[34] = {};
    PutBe16(answer, 32);
    const bool rewritable = profile == kDvdMinusRwSequential || profile == kDvdPlusRw;
    const int lastSession = status == 2 ? 3 : status == 1 ? 1 : 0;
    answer[2] = uint8_t(status | lastSession << 2 | (rewritable ? 0x10 : 0));
    answer[3] = 1;
    answer[4] = 1;
    answer[5] = 1;
    answer[6] = 1;
    answer[7] = uint8_t(profile == kDvdPlusRw ? backgroundFormat : 0);
    Give(data, length, answer, sizeof answer);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReadTrackInformation(const uint8_t* cdb, uint8_t* data, int length)
{
    if ((cdb[1] & 3) != 1 || GetBe32(cdb + 2) != 1) return Answer(5, 0x24, 0x00);
    uint8_t answer[40] = {};
    PutBe16(answer, 38);
    answer[2] = 1;
    answer[3] = 1;
    answer[5] = Minus() ? 5 : 4;
    const bool writable = status != 2 || profile == kDvdPlusRw;
    if (status == 0) answer[6] = 0x40;  // blank
    answer[7] = writable ? 1 : 0;  // next writable address valid
    int64_t free = 0;
    if (writable) free = (Minus() && reserved > 0 ? reserved : Capacity()) - nextWritable;
    PutBe32(answer + 12, writable ? uint32_t(nextWritable) : 0);
    PutBe32(answer + 16, uint32_t(free));
    PutBe32(answer + 20, 16);
    PutBe32(answer + 24, uint32_t(Minus() && reserved > 0 ? reserved : Capacity()));
    Give(data, length, answer, sizeof answer);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReserveTrack(const uint8_t* cdb)
{
    if (!Minus()) return Answer(5, 0x2C, 0x00);
    const int64_t size = GetBe32(cdb + 5);
    if (status != 0 || reserved != 0) return Answer(5, 0x2C, 0x00);
    if (size == 0) return Answer(5, 0x24, 0x00);
    if (size > kMinusCapacity) return Answer(5, 0x21, 0x00);
    reserved = size;
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ModeSelect(const uint8_t* cdb, const uint8_t* data, int length)
{
    const int listLength = int(GetBe16(cdb + 7));
    if ((cdb[1] & 0x10) == 0 || listLength != length || !data || length < 10) return Answer(5, 0x24, 0x00);
    const uint8_t* page = data + 8;
    const int pageSize = page[1] + 2;
    if ((page[0] & 0x3F) != 0x05 || 8 + pageSize > length || pageSize > int(sizeof writePage))
        return Answer(5, 0x26, 0x00);
    const int writeType = page[2] & 0x0F;
    const bool test = (page[2] & 0x10) != 0;
    if ((page[4] & 0x0F) != 8 || faults.refuseWriteParameters) return Answer(5, 0x26, 0x00);
    if (Minus()) {
        if (writeType != 2 || (test && faults.noTestWrite) || ((page[3] & 0x0F) != 5 && (page[3] & 0x0F) != 4))
            return Answer(5, 0x26, 0x00);
    } else if (test) {
        return Answer(5, 0x26, 0x00);  // DVD+R and DVD+RW know no test writing
    }
    std::memcpy(writePage, page, size_t(pageSize));
    writePageSet = true;
    testWrite = test;
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ModeSense(const uint8_t* cdb, uint8_t* data, int length)
{
    const int code = cdb[2] & 0x3F;
    uint8_t answer[8 + 64] = {};
    uint8_t* page = answer + 8;
    int pageSize = 0;
    if (code == 0x2A) {
        pageSize = 32 + 4 * 4;
        page[0] = 0x2A;
        page[1] = uint8_t(pageSize - 2);
        page[2] = 0x08 | 0x10 | 0x20 | 0x03;  // reads CD-R/RW, DVD-ROM, DVD-R, DVD-RAM
        page[3] = 0x01 | 0x02 | 0x10;  // writes CD-R, CD-RW, DVD-R
        page[4] = faults.noUnderrunProtection ? 0 : 0x80;
        PutBe16(page + 28, uint32_t(writeSpeed ? writeSpeed : 22160));
        PutBe16(page + 30, 4);
        const int speeds[4] = {22160, 11080, 5540, 2770};
        for (int i = 0; i < 4; ++i) PutBe16(page + 32 + 4 * i + 2, uint32_t(speeds[i]));
    } else if (code == 0x05) {
        pageSize = 52;
        if (writePageSet) {
            std::memcpy(page, writePage, size_t(pageSize));
        } else {
            page[0] = 0x05;
            page[1] = uint8_t(pageSize - 2);
            page[2] = 0x01;  // track at once
            page[3] = 0x04;
            page[4] = 0x08;
        }
        page[0] &= 0x3F;
    } else {
        return Answer(5, 0x24, 0x00);
    }
    PutBe16(answer, uint32_t(8 + pageSize - 2));
    Give(data, length, answer, 8 + pageSize);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::CloseTrackSession(const uint8_t* cdb)
{
    const int function = cdb[2] & 7;
    const int track = int(GetBe16(cdb + 4));
    if (profile == kDvdPlusR) {
        if (function == 1) {
            if (track != 1) return Answer(5, 0x24, 0x00);
            if (!trackOpen) return Answer(5, 0x2C, 0x00);
            trackOpen = false;
        } else if (function == 2) {
            if (trackOpen || status == 0) return Answer(5, 0x2C, 0x00);
        } else if (function == 5 || function == 6) {
            if (trackOpen || status == 0) return Answer(5, 0x2C, 0x00);
            status = 2;
        } else {
            return Answer(5, 0x24, 0x00);
        }
    } else if (profile == kDvdPlusRw) {
        if (function != 2 && function != 3) return Answer(5, 0x24, 0x00);
        if (!plusRwFormatted) return Answer(5, 0x2C, 0x00);
        if (backgroundFormat == 2) backgroundFormat = 3;
    } else {
        if (function != 1 && function != 2) return Answer(5, 0x24, 0x00);
        if (status != 1) return Answer(5, 0x2C, 0x00);
        if (function == 2) status = 2;
    }
    if (cdb[1] & 1) StartImmediate();
    return Answer(0, 0, 0);
}

int CVirtualRecorder::ReadBufferCapacity(uint8_t* data, int length)
{
    uint8_t answer[12] = {};
    PutBe16(answer, 10);
    PutBe32(answer + 4, kBufferBytes);
    PutBe32(answer + 8, uint32_t(kBufferBytes - bufferFill));
    Give(data, length, answer, sizeof answer);
    return Answer(0, 0, 0);
}

int CVirtualRecorder::SetStreaming(const uint8_t* cdb, const uint8_t* data, int length)
{
    if (cdb[8] != 0 || int(GetBe16(cdb + 9)) != length || length != 28 || !data) return Answer(5, 0x24, 0x00);
    if (GetBe32(data + 16) == 0 || GetBe32(data + 24) == 0) return Answer(5, 0x26, 0x00);
    const uint32_t size = GetBe32(data + 20);
    writeSpeed = size == 0xFFFFFFFF ? 0 : int(std::min<uint32_t>(size, 65535));
    return Answer(0, 0, 0);
}

int CVirtualRecorder::SetSpeed(const uint8_t* cdb)
{
    const uint32_t speed = GetBe16(cdb + 4);
    writeSpeed = speed == 0xFFFF ? 0 : int(speed);
    return Answer(0, 0, 0);
}
