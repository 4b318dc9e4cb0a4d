// The recorder driver and the transport's own questions on any answers a drive may give.
// The input is a stream: for each command one byte picks the outcome (good, failed or a
// check condition with the next 18 bytes as sense data) and the next bytes fill the data
// a read command asked for. Checked for every input: the capability results stay within
// their bounds, the driver's figures stay within what a command can carry, and a
// preparation never reports success for a disc whose answers said it cannot take the
// image.
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "recorder/ASPI.h"
#include "recorder/CDRDRV.h"

namespace {

class CScriptedDrive : public CASPI {
public:
    CScriptedDrive(const uint8_t* data_, size_t size_) : data(data_), size(size_) {}

    int Scan() override { return 1; }
    int DeviceCount() const override { return 1; }
    std::string DevicePath(int) const override { return "fuzz"; }
    bool SetCurrent(int) override
    {
        current = 0;
        return true;
    }
    int Execute(const uint8_t*, int, Direction direction, uint8_t* buffer, int length) override
    {
        const uint8_t outcome = Next();
        if (direction == Direction::In && buffer)
            for (int i = 0; i < length; ++i) buffer[i] = Next();
        if (outcome % 4 == 1) return kFailed;
        if (outcome % 4 == 2) {
            uint8_t senseData[18];
            for (uint8_t& b : senseData) b = Next();
            StoreSense(senseData, sizeof senseData);
            return sense[2] != 0 ? kCheckCondition : kFailed;
        }
        return kGood;
    }
    bool Exhausted() const { return at >= size; }

private:
    uint8_t Next() { return at < size ? data[at++] : 0; }

    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CScriptedDrive drive(data, size);
    drive.SetCurrent(0);
    drive.Inquiry();
    FUZZ_CHECK(drive.vendor.size() <= 8 && drive.product.size() <= 16 && drive.revision.size() <= 4);
    drive.QueryCapabilities();
    FUZZ_CHECK(drive.writeSpeeds.size() <= 256);

    CCDRDRV driver(drive, Ui());
    int slept = 0;
    driver.SetSleeper([&](int ms) { slept += ms; });
    driver.GetCurrentProfile();
    driver.testWrite = size > 0 && (data[0] & 1) != 0;
    const int64_t total = 4096;
    const int prepared = driver.PrepareWrite(0, total);
    FUZZ_CHECK(driver.BlocksPerWrite() >= 1 && driver.BlocksPerWrite() <= 32);
    if (prepared == 0) FUZZ_CHECK(driver.NextWritable() + driver.FreeBlocks() >= total);
    uint8_t page[56];
    const int sensed = driver.ModeSense10(0x05, page, sizeof page);
    FUZZ_CHECK(sensed >= 0 && sensed <= 2);
    driver.ReadBufferCapacity();
    FUZZ_CHECK(driver.BufferAvailable() > 0);
    if (!drive.Exhausted()) {
        std::vector<uint8_t> blocks(size_t(32) * CCDRDRV::kBlockSize, 0);
        int64_t address = 0;
        driver.WriteBlocks(address, blocks.data(), 32);
        FUZZ_CHECK(address == 0 || address == 32);
        driver.FinishDisc();
        driver.CheckDiscFinished();
    }
    return 0;
}
