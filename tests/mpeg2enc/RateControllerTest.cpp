#include "mpeg2enc/RateController.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(RateController, FirstPPictureAtTargetKeepsQuantiserFive)
{
    CRateController rc;
    rc.Initialise(6000000.0, 30000.0 / 1001.0);
    EXPECT_EQ(rc.Quantiser(), 5);
    rc.Update(false, rc.PictureTarget());
    EXPECT_EQ(rc.Quantiser(), 5);
}

TEST(RateController, LargePicturesRaiseByAtMostTwoUpToTheTopValue)
{
    CRateController rc;
    rc.Initialise(6000000.0, 25.0);
    int previous = rc.Quantiser();
    for (int i = 0; i < 60; ++i) {
        rc.Update(i % 15 == 0, rc.PictureTarget() * 20.0);
        const int q = rc.Quantiser();
        EXPECT_GE(q, previous);
        // The non-linear table steps by 4 above 24; elsewhere the slew limit holds.
        EXPECT_LE(q - previous, previous >= 24 ? 4 : 2);
        EXPECT_NE(q, 0);
        previous = q;
    }
    EXPECT_EQ(rc.Quantiser(), 28);  // the largest table value within the tables
}

TEST(RateController, EasyPicturesLowerByAtMostTwoDownToTwo)
{
    CRateController rc;
    rc.Initialise(6000000.0, 25.0);
    int previous = rc.Quantiser();
    for (int i = 0; i < 100; ++i) {
        rc.Update(false, 1000.0);
        EXPECT_LE(previous - rc.Quantiser(), 2);
        previous = rc.Quantiser();
    }
    EXPECT_EQ(rc.Quantiser(), 2);
}

TEST(RateController, DithersARawValueOf7Point3)
{
    CRateController rc;
    rc.Initialise(6000000.0, 25.0);
    int q = 7, eights = 0;
    for (int i = 0; i < 100; ++i) {
        q = rc.Choose(7.3, q);
        ASSERT_TRUE(q == 7 || q == 8) << q;
        eights += q == 8;
    }
    EXPECT_NEAR(eights, 30, 1);
    // Dithering never produces a value off the table: 9.5 alternates between 8 and 10.
    q = 9;
    for (int i = 0; i < 20; ++i) {
        q = rc.Choose(9.5, q);
        ASSERT_TRUE(q == 8 || q == 10) << q;
    }
}

TEST(RateController, SnapKeepsValuesInsideTheTables)
{
    EXPECT_EQ(CRateController::Snap(2), 2);
    EXPECT_EQ(CRateController::Snap(8), 8);
    EXPECT_EQ(CRateController::Snap(9), 8);
    EXPECT_EQ(CRateController::Snap(11), 10);
    EXPECT_EQ(CRateController::Snap(26), 24);
    EXPECT_EQ(CRateController::Snap(29), 28);
    EXPECT_EQ(CRateController::Snap(30), 28);
    EXPECT_EQ(CRateController::Snap(31), 28);
}
