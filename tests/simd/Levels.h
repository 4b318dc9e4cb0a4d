// The instruction-set levels the kernel comparisons run at. Every kernel family's tests
// take the level as parameter, fetch that level's table (PixelKernelsAt, EncoderKernelsAt,
// MediaKernelsAt) and compare each routine with its plain twin bit for bit; a level this
// processor lacks is skipped with a note.
#pragma once

#include "base/Cpu.h"

#include <gtest/gtest.h>

#include <string>

class CLevelTest : public ::testing::TestWithParam<ECpuLevel> {
protected:
    void SetUp() override
    {
        if (!CpuLevelAvailable(GetParam()))
            GTEST_SKIP() << "this processor has no " << CpuLevelName(GetParam()) << "; its routines are not run";
    }
};

// "Sse2", "Avx2": the level as a test name suffix.
inline std::string LevelTestName(const ::testing::TestParamInfo<ECpuLevel>& info)
{
    const std::string name = CpuLevelName(info.param);
    return char(name[0] - 'a' + 'A') + name.substr(1);
}

// The vector levels, each compared with the plain level.
#define KESTROVA_VECTOR_LEVELS ::testing::Values(ECpuLevel::Sse2, ECpuLevel::Avx2), LevelTestName
