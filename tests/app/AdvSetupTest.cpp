#include "app/AdvSetupDlg.h"

#include <gtest/gtest.h>

namespace {

TEST(AdvSetupDlg, AcceptCopiesValuesAndClampsFootage)
{
    // The dialog opens with a fresh settings record's values, whatever the job held.
    CAdvSetupDlg dlg;
    CDVDParams params, fresh;
    params.discSizeText = "123";
    params.interMatrixText = "00";
    CAdvJobChoices job;
    dlg.Accept(params, job);
    EXPECT_EQ(params.discSizeText, fresh.discSizeText);
    EXPECT_EQ(params.intraMatrixText, fresh.intraMatrixText);
    EXPECT_EQ(params.interMatrixText, fresh.interMatrixText);

    dlg.PrefillDelays(0.25, -0.1);
    dlg.compressAudio = false;
    dlg.PresetAnimation();
    for (auto [entered, kept] : {std::pair{99, 99}, {1, 1}, {100, 1}, {0, 1}, {-5, 1}, {42, 42}}) {
        dlg.startingFootage = entered;
        dlg.Accept(params, job);
        EXPECT_EQ(job.startingFootage, kept) << entered;
    }
    EXPECT_DOUBLE_EQ(params.audioDelay, 0.25);
    EXPECT_DOUBLE_EQ(params.videoDelay, -0.1);
    EXPECT_EQ(params.compressAudio, 0);
    EXPECT_FALSE(job.compressAudio);
    EXPECT_EQ(params.intraMatrixText, kAnimationIntraMatrix);
    EXPECT_EQ(params.interMatrixText, "Default");

    // A window that does not use the footage number keeps its own.
    CAdvSetupDlg noFootage(false);
    noFootage.startingFootage = 50;
    job.startingFootage = 9;
    noFootage.Accept(params, job);
    EXPECT_EQ(job.startingFootage, 9);
}

TEST(AdvSetupDlg, HighQualityIsOffUntilChosenAndReachesTheJob)
{
    CAdvSetupDlg dlg;
    CDVDParams params;
    CAdvJobChoices job;
    EXPECT_FALSE(dlg.highQuality);
    dlg.Accept(params, job);
    EXPECT_EQ(params.highQuality, 0);
    EXPECT_FALSE(job.highQuality);
    dlg.highQuality = true;
    dlg.Accept(params, job);
    EXPECT_EQ(params.highQuality, 1);
    EXPECT_TRUE(job.highQuality);
    EXPECT_EQ(CAdvSetupDlg::LabelKey(CAdvSetupDlg::Control::HighQuality), 2017);
}

}  // namespace
