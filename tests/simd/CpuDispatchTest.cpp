// The one CPU feature query and its mask: lowering the mask refills every kernel table
// with the routines of the lower level, restoring it brings the best ones back, and
// KESTROVA_CPU sets the starting mask of a process (checked in a child process, since
// the variable is read once).
#include "base/Cpu.h"
#include "media/MediaKernels.h"
#include "mpeg2enc/EncoderKernels.h"
#include "picture/PixelKernels.h"
#include "simd/Levels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using testsupport::Quote;
using testsupport::Run;
using testsupport::RunResult;

// True when a table holds exactly the routines of `level` (every entry compared).
template <typename Table>
bool SameTable(const Table& a, const Table& b)
{
    return std::memcmp(&a, &b, sizeof(Table)) == 0;
}

bool TablesAreAt(ECpuLevel level)
{
    return SameTable(PixelKernels(), PixelKernelsAt(level)) && SameTable(EncoderKernels(), EncoderKernelsAt(level)) &&
        SameTable(MediaKernels(), MediaKernelsAt(level));
}

// Runs this test program again with KESTROVA_CPU set to `value`, running only the
// report below; returns its output.
RunResult RunChild(const std::string& value)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    return Run("KESTROVA_CPU=" + Quote(value) + " KESTROVA_CPU_REPORT=1 " + Quote(self) +
               " --gtest_filter=CpuDispatchChild.ReportsTheLevelItStartedWith");
}

}  // namespace

TEST(CpuDispatch, LevelsFollowTheirFeatureBits)
{
    EXPECT_EQ(CpuLevelOf(0), ECpuLevel::Plain);
    EXPECT_EQ(CpuLevelOf(kCpuSse2), ECpuLevel::Sse2);
    EXPECT_EQ(CpuLevelOf(kCpuAvx2), ECpuLevel::Plain);  // AVX2 routines also use SSE2
    EXPECT_EQ(CpuLevelOf(kCpuAll), ECpuLevel::Avx2);
    for (ECpuLevel level : kCpuLevels) EXPECT_EQ(CpuLevelOf(CpuLevelFlags(level)), level);
    EXPECT_EQ(CpuFlags() & ~CpuHardwareFlags(), 0u);
    EXPECT_EQ(CpuFlags() & ~CpuMask(), 0u);
}

TEST(CpuDispatch, LoweringTheMaskRefillsEveryTable)
{
    const ECpuLevel best = CpuLevel();
    ASSERT_TRUE(TablesAreAt(best));
    for (ECpuLevel level : kCpuLevels) {
        if (!CpuLevelAvailable(level)) continue;
        {
            const CCpuMaskScope lowered(level);
            EXPECT_EQ(CpuLevel(), level);
            EXPECT_TRUE(TablesAreAt(level)) << CpuLevelName(level);
        }
        EXPECT_TRUE(TablesAreAt(best)) << "after " << CpuLevelName(level);
    }
    // A mask above what the processor has stops at the processor's level.
    const CCpuMaskScope everything(kCpuAll);
    EXPECT_EQ(CpuLevel(), CpuLevelOf(CpuHardwareFlags()));
}

TEST(CpuDispatch, PlainMaskPutsThePlainRoutinesInTheTables)
{
    const CCpuMaskScope plain(ECpuLevel::Plain);
    EXPECT_EQ(PixelKernels().blendRows, &BlendRowsPlain);
    EXPECT_EQ(PixelKernels().rgbRowPairToYuv, &RgbRowPairToYuvPlain);
    EXPECT_EQ(PixelKernels().bilinearPlaneRow, &BilinearPlaneRowPlain);
    EXPECT_EQ(EncoderKernels().sad, &SadPlain);
    EXPECT_EQ(EncoderKernels().sadHalfHV, &SadHalfHVPlain);
    EXPECT_EQ(EncoderKernels().forwardDct, &ForwardDctPlain);
    EXPECT_EQ(EncoderKernels().quantiseIntra, &CQuantiser::QuantiseIntraPlain);
    EXPECT_EQ(EncoderKernels().predictBlock, &PredictBlockPlain);
    EXPECT_EQ(EncoderKernels().writeNonIntraBlock, &WriteNonIntraBlockPlain);
    EXPECT_EQ(MediaKernels().fadeChroma, &FadeChromaPlain);
    EXPECT_EQ(MediaKernels().expandToStereo16, &ExpandToStereo16Plain);
}

// The child's side of the environment tests: prints the level and whether every table
// holds that level's routines. Skipped in an ordinary run.
TEST(CpuDispatchChild, ReportsTheLevelItStartedWith)
{
    if (!std::getenv("KESTROVA_CPU_REPORT")) GTEST_SKIP() << "runs only as the child of the environment tests";
    std::printf("[level %s, tables %s]\n", CpuLevelName(CpuLevel()), TablesAreAt(CpuLevel()) ? "match" : "differ");
}

TEST(CpuDispatch, EnvironmentVariableSetsTheStartingLevel)
{
    for (ECpuLevel level : kCpuLevels) {
        if (!CpuLevelAvailable(level)) continue;
        const RunResult child = RunChild(CpuLevelName(level));
        ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
        EXPECT_NE(child.out.find(std::string("[level ") + CpuLevelName(level) + ", tables match]"), std::string::npos)
            << child.out;
        EXPECT_EQ(child.err.find("KESTROVA_CPU"), std::string::npos) << child.err;
    }
}

TEST(CpuDispatch, UnknownEnvironmentValueIsReportedAndEverythingUsed)
{
    const RunResult child = RunChild("sse9");
    ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
    EXPECT_NE(child.err.find("KESTROVA_CPU"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("sse9"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("plain, sse2, avx2"), std::string::npos) << child.err;
    const std::string best = CpuLevelName(CpuLevelOf(CpuHardwareFlags()));
    EXPECT_NE(child.out.find("[level " + best + ", tables match]"), std::string::npos) << child.out;
}
