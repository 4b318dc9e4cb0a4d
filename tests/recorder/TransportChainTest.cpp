// Several transports as one device list: slots run through the parts in order, and the
// sense data of a refused command reaches the driver through the chain.
#include "recorder/TransportChain.h"
#include "recorder/VirtualRecorder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

TEST(TransportChain, ListsThePartsInOrderAndCarriesEachCommandAndItsSense)
{
    testsupport::TempDir dir;
    CVirtualRecorder::SFaults empty;
    empty.noDisc = true;
    CTransportChain chain;
    auto first = std::make_unique<CVirtualRecorder>(dir.File("a.img"), CVirtualRecorder::kDvdMinusR, empty);
    auto second =
        std::make_unique<CVirtualRecorder>(dir.File("b.img"), CVirtualRecorder::kDvdPlusR, CVirtualRecorder::SFaults{});
    CVirtualRecorder& a = *first;
    CVirtualRecorder& b = *second;
    chain.Add(std::move(first));
    chain.Add(std::move(second));
    ASSERT_EQ(chain.Scan(), 2);
    EXPECT_EQ(chain.DeviceCount(), 2);
    EXPECT_EQ(chain.DevicePath(0), "virtual:" + dir.File("a.img"));
    EXPECT_EQ(chain.DevicePath(1), "virtual:" + dir.File("b.img"));
    EXPECT_EQ(chain.DevicePath(2), "");
    EXPECT_FALSE(chain.SetCurrent(2));
    EXPECT_FALSE(chain.Error().empty());

    // The empty tray of the first answers "medium not present", seen on the chain.
    ASSERT_TRUE(chain.SetCurrent(0));
    const uint8_t testUnitReady[6] = {};
    EXPECT_EQ(chain.Execute(testUnitReady, 6, CASPI::Direction::None, nullptr, 0), CASPI::kCheckCondition);
    EXPECT_EQ(chain.SenseKey(), 2);
    EXPECT_EQ(chain.Asc(), 0x3A);
    EXPECT_EQ(a.Log().size(), 1u);
    EXPECT_TRUE(b.Log().empty());

    // The second answers for itself, and its good answer clears the sense.
    ASSERT_TRUE(chain.SetCurrent(1));
    ASSERT_TRUE(chain.Inquiry());
    EXPECT_EQ(chain.vendor, "KESTROVA");
    EXPECT_EQ(chain.SenseKey(), 0);
    EXPECT_EQ(b.Log().size(), 1u);
    EXPECT_EQ(a.Log().size(), 1u) << "nothing more went to the first";
}
