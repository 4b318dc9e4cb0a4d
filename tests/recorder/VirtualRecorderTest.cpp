// The virtual recorder answers as an MMC drive does: its disc state per profile and the
// sense code of each refusal.
#include "base/Bytes.h"
#include "recorder/VirtualRecorder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using Direction = CASPI::Direction;

class VirtualDrive {
public:
    explicit VirtualDrive(int profile, CVirtualRecorder::SFaults faults = {})
        : recorder(dir.File("disc.img"), profile, faults)
    {
        recorder.SetCurrent(0);
    }

    // Sends a command without data; returns "good" or the sense as "K/AA/QQ".
    std::string Send(std::vector<uint8_t> cdb, Direction direction = Direction::None, uint8_t* data = nullptr,
                     int length = 0)
    {
        cdb.resize(cdb[0] >= 0xA0 ? 12 : cdb[0] >= 0x20 ? 10 : 6, 0);
        const int result = recorder.Execute(cdb.data(), int(cdb.size()), direction, data, length);
        return result == CASPI::kGood ? "good" : result == CASPI::kCheckCondition ? recorder.SenseText() : "failed";
    }
    std::string Write(uint32_t lba, int count)
    {
        std::vector<uint8_t> data(size_t(count) * 2048, 0x5A);
        std::vector<uint8_t> cdb(10, 0);
        cdb[0] = 0x2A;
        PutBe32(&cdb[2], lba);
        PutBe16(&cdb[7], uint32_t(count));
        return Send(cdb, Direction::Out, data.data(), int(data.size()));
    }
    std::string Reserve(uint32_t blocks)
    {
        std::vector<uint8_t> cdb(10, 0);
        cdb[0] = 0x53;
        PutBe32(&cdb[5], blocks);
        return Send(cdb);
    }
    std::string SelectWritePage(uint8_t writeType, uint8_t trackMode, bool test)
    {
        uint8_t list[60] = {};
        list[8] = 5;
        list[9] = 50;
        list[10] = uint8_t(writeType | (test ? 0x10 : 0));
        list[11] = trackMode;
        list[12] = 8;
        return Send({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60}, Direction::Out, list, 60);
    }
    // Free blocks and next writable address of track 1.
    void TrackInfo(uint32_t& next, uint32_t& free)
    {
        uint8_t data[40] = {};
        EXPECT_EQ(Send({0x52, 1, 0, 0, 0, 1, 0, 0, 40}, Direction::In, data, 40), "good");
        next = GetBe32(data + 12);
        free = GetBe32(data + 16);
    }

    testsupport::TempDir dir;
    CVirtualRecorder recorder;
};

}  // namespace

TEST(VirtualRecorder, AnswersTheDriveStatesOfLoadingAndAnEmptyTray)
{
    CVirtualRecorder::SFaults empty;
    empty.noDisc = true;
    VirtualDrive none(CVirtualRecorder::kDvdMinusR, empty);
    EXPECT_EQ(none.Send({0x00}), "2/3A/00");
    EXPECT_EQ(none.Send({0x51, 0, 0, 0, 0, 0, 0, 0, 42}), "2/3A/00");

    VirtualDrive drive(CVirtualRecorder::kDvdMinusR);
    EXPECT_EQ(drive.Send({0x00}), "good");
    EXPECT_EQ(drive.Send({0x1B, 0, 0, 0, 2}), "good");  // eject
    EXPECT_EQ(drive.Send({0x00}), "2/3A/00");
    EXPECT_EQ(drive.Send({0x1B, 0, 0, 0, 3}), "good");  // load: a new blank disc
    EXPECT_EQ(drive.Send({0x00}), "2/04/01");
    EXPECT_EQ(drive.Send({0x00}), "2/04/01");
    EXPECT_EQ(drive.Send({0x00}), "good");
    EXPECT_EQ(drive.recorder.DiscsLoaded(), 2);
    EXPECT_EQ(drive.Send({0xEE}), "5/20/00");
    EXPECT_EQ(drive.Send({0x52, 1, 0, 0, 0, 2, 0, 0, 40}), "5/24/00");  // track 2 does not exist
}

TEST(VirtualRecorder, DvdMinusRTakesWritesOnlyInsideTheReservationAtTheNextWritableAddress)
{
    VirtualDrive drive(CVirtualRecorder::kDvdMinusR);
    uint32_t next = 0, free = 0;
    drive.TrackInfo(next, free);
    EXPECT_EQ(next, 0u);
    EXPECT_EQ(free, uint32_t(CVirtualRecorder::kMinusCapacity));
    EXPECT_EQ(drive.Write(0, 16), "5/2C/00");  // no write parameters, no reservation
    EXPECT_EQ(drive.SelectWritePage(1, 5, false), "5/26/00");  // track at once is not offered
    EXPECT_EQ(drive.SelectWritePage(2, 5, false), "good");
    EXPECT_EQ(drive.Write(0, 16), "5/2C/00");  // still no reservation
    EXPECT_EQ(drive.Reserve(uint32_t(CVirtualRecorder::kMinusCapacity + 1)), "5/21/00");
    EXPECT_EQ(drive.Reserve(32), "good");
    EXPECT_EQ(drive.Reserve(32), "5/2C/00");
    EXPECT_EQ(drive.Write(16, 16), "5/21/00");  // not at the next writable address
    EXPECT_EQ(drive.Write(0, 16), "good");
    EXPECT_EQ(drive.Write(16, 32), "5/21/00");  // beyond the reservation
    EXPECT_EQ(drive.Write(16, 16), "good");
    EXPECT_EQ(drive.recorder.DiscStatus(), 1);
    EXPECT_EQ(drive.Send({0x35}), "good");
    EXPECT_EQ(drive.recorder.DiscStatus(), 2);  // the reserved track is full: closed
    EXPECT_EQ(drive.Write(32, 16), "5/2C/00");
    EXPECT_EQ(testsupport::ReadBytes(drive.dir.File("disc.img")).size(), size_t(32 * 2048));
}

TEST(VirtualRecorder, TestWriteOnDvdMinusRwLeavesTheDiscBlank)
{
    VirtualDrive drive(CVirtualRecorder::kDvdMinusRwSequential);
    EXPECT_EQ(drive.SelectWritePage(2, 5, true), "good");
    EXPECT_EQ(drive.Reserve(16), "good");
    EXPECT_EQ(drive.Write(0, 16), "good");
    EXPECT_EQ(drive.Send({0x35, 2}), "good");  // immediate
    EXPECT_EQ(drive.Send({0x00}), "2/04/07");
    EXPECT_EQ(drive.Send({0x00}), "2/04/07");
    EXPECT_EQ(drive.Send({0x00}), "good");
    EXPECT_EQ(drive.recorder.DiscStatus(), 0);
    EXPECT_EQ(drive.recorder.SectorsWritten(), 0);
    EXPECT_FALSE(std::filesystem::exists(drive.dir.File("disc.img")));
}

TEST(VirtualRecorder, DvdPlusRIsClosedByCloseTrackThenCloseFunctionFive)
{
    VirtualDrive drive(CVirtualRecorder::kDvdPlusR);
    uint32_t next = 0, free = 0;
    drive.TrackInfo(next, free);
    EXPECT_EQ(free, 2295104u);
    EXPECT_EQ(drive.SelectWritePage(2, 4, true), "5/26/00");  // no test writing on DVD+R
    EXPECT_EQ(drive.Write(uint32_t(CVirtualRecorder::kPlusCapacity), 16), "5/21/00");
    EXPECT_EQ(drive.Send({0x5B, 0, 5}), "5/2C/00");  // nothing written yet
    EXPECT_EQ(drive.Write(0, 16), "good");
    EXPECT_EQ(drive.Send({0x5B, 0, 5}), "5/2C/00");  // the track is still open
    EXPECT_EQ(drive.Send({0x5B, 0, 1, 0, 0, 1}), "good");
    EXPECT_EQ(drive.Send({0x5B, 0, 5}), "good");
    EXPECT_EQ(drive.recorder.DiscStatus(), 2);
}

TEST(VirtualRecorder, DvdPlusRwMustBeFormattedBeforeWriting)
{
    VirtualDrive drive(CVirtualRecorder::kDvdPlusRw);
    EXPECT_EQ(drive.Write(0, 16), "5/2C/00");
    uint8_t list[12] = {0, 0x80, 0, 8};
    PutBe32(list + 4, uint32_t(CVirtualRecorder::kPlusCapacity));
    list[8] = 0x24 << 2;  // a format type DVD+RW does not know
    EXPECT_EQ(drive.Send({0x04, 0x11}, Direction::Out, list, 12), "5/26/00");
    list[8] = 0x26 << 2;
    EXPECT_EQ(drive.Send({0x04, 0x11}, Direction::Out, list, 12), "good");
    EXPECT_EQ(drive.Write(4096, 16), "good");  // random access once formatted
    EXPECT_EQ(drive.recorder.Formats(), 1);
}

TEST(VirtualRecorder, InjectedFaultsAnswerWithTheirSenseCodes)
{
    CVirtualRecorder::SFaults faults;
    faults.busyWrites = 2;
    faults.writeErrorAt = 40;
    VirtualDrive drive(CVirtualRecorder::kDvdPlusR, faults);
    EXPECT_EQ(drive.Write(0, 16), "2/04/08");
    EXPECT_EQ(drive.Write(0, 16), "2/04/08");
    EXPECT_EQ(drive.Write(0, 16), "good");
    EXPECT_EQ(drive.Write(16, 16), "good");
    EXPECT_EQ(drive.Write(32, 16), "3/0C/00");
    EXPECT_EQ(drive.recorder.NextWritable(), 32);
}

TEST(VirtualRecorder, ParsesItsTargetText)
{
    std::string image, error;
    int profile = 0;
    CVirtualRecorder::SFaults faults;
    ASSERT_TRUE(
        CVirtualRecorder::ParseTarget("a.img:DVD+RW:write-error=5000:busy-writes=-1", image, profile, faults, error));
    EXPECT_EQ(image, "a.img");
    EXPECT_EQ(profile, CVirtualRecorder::kDvdPlusRw);
    EXPECT_EQ(faults.writeErrorAt, 5000);
    EXPECT_EQ(faults.busyWrites, -1);
    ASSERT_TRUE(CVirtualRecorder::ParseTarget("b.img", image, profile, faults, error));
    EXPECT_EQ(profile, CVirtualRecorder::kDvdMinusR);
    EXPECT_FALSE(CVirtualRecorder::ParseTarget("b.img:CD-R", image, profile, faults, error));
    EXPECT_NE(error.find("CD-R"), std::string::npos);
    EXPECT_FALSE(CVirtualRecorder::ParseTarget("b.img:DVD-R:write-error=x", image, profile, faults, error));
    EXPECT_FALSE(CVirtualRecorder::ParseTarget(":DVD-R", image, profile, faults, error));
}
