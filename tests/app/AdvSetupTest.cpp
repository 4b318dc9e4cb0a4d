#include "app/AdvSetupDlg.h"

#include "base/Texts.h"

#include <gtest/gtest.h>

namespace {

TEST(AdvSetupDlg, OpensWithDefaultsAndAppliesPresets)
{
    CAdvSetupDlg dlg;
    CDVDParams params;
    params.discSizeText = "123";
    params.intraMatrixText = "00";
    CAdvJobChoices job;
    job.compressAudio = false;
    job.startingFootage = 7;
    dlg.Accept(params, job);
    // The defaults are those of a fresh settings record.
    CDVDParams fresh;
    EXPECT_EQ(params.discSizeText, fresh.discSizeText);
    EXPECT_EQ(params.intraMatrixText, fresh.intraMatrixText);
    EXPECT_EQ(params.interMatrixText, fresh.interMatrixText);
    EXPECT_EQ(params.compressAudio, 1);
    EXPECT_TRUE(job.compressAudio);
    EXPECT_EQ(job.startingFootage, 1);

    dlg.PresetMiniDvd();
    EXPECT_EQ(dlg.discSizeText, "1470000000");
    dlg.PresetCd();
    EXPECT_EQ(dlg.discSizeText, "681984000");
    dlg.PresetDvd();
    EXPECT_EQ(dlg.discSizeText, "4700000000");
    dlg.PresetAnimation();
    EXPECT_EQ(dlg.intraMatrixText, kAnimationIntraMatrix);
    EXPECT_EQ(dlg.interMatrixText, "Default");
    dlg.PresetMpegStandard();
    EXPECT_EQ(dlg.intraMatrixText, "Default");
    EXPECT_EQ(dlg.interMatrixText, "Default");
}

TEST(AdvSetupDlg, AcceptConvertsDelaysAndClampsFootage)
{
    CAdvSetupDlg dlg;
    dlg.PrefillDelays(0.25, -0.1);
    EXPECT_EQ(dlg.audioDelayMs, 250);
    EXPECT_EQ(dlg.videoDelayMs, -100);
    dlg.compressAudio = false;
    CDVDParams params;
    CAdvJobChoices job;
    for (auto [entered, kept] : {std::pair{99, 99}, {1, 1}, {100, 1}, {0, 1}, {-5, 1}, {42, 42}}) {
        dlg.startingFootage = entered;
        dlg.Accept(params, job);
        EXPECT_EQ(job.startingFootage, kept) << entered;
    }
    EXPECT_DOUBLE_EQ(params.audioDelay, 0.25);
    EXPECT_DOUBLE_EQ(params.videoDelay, -0.1);
    EXPECT_EQ(params.compressAudio, 0);
    EXPECT_FALSE(job.compressAudio);

    // A window that does not use the footage number keeps its own.
    CAdvSetupDlg noFootage(false);
    noFootage.startingFootage = 50;
    job.startingFootage = 9;
    noFootage.Accept(params, job);
    EXPECT_EQ(job.startingFootage, 9);
}

TEST(AdvSetupDlg, EveryControlHasItsText)
{
    using C = CAdvSetupDlg::Control;
    for (C c = C::Caption; c <= C::StartingFootage; c = static_cast<C>(static_cast<int>(c) + 1))
        EXPECT_NE(EnglishText(CAdvSetupDlg::LabelKey(c)), nullptr);
    EXPECT_EQ(Text(CAdvSetupDlg::LabelKey(C::Cd650)), "650MB CDR/RW");
    EXPECT_EQ(Text(CAdvSetupDlg::TooltipKey(C::Animation)),
              "Quantize matrix for high-contrast footage (cartoons,animations).");
    EXPECT_EQ(CAdvSetupDlg::TooltipKey(C::DiscSize), 0);
}

}  // namespace
