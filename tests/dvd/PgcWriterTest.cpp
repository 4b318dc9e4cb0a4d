// The navigation command builders and the program chain writer, byte by byte.
#include "base/Bytes.h"
#include "dvd/PgcWriter.h"
#include "dvd/VmCommand.h"
#include "media/IfoLayout.h"

#include <gtest/gtest.h>

#include <vector>

TEST(VmCommand, JumpsCallsAndRegisterSetsEncodeTheirOperands)
{
    EXPECT_EQ(vmcmd::Exit(), (VmCommand{0x30, 0x01, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(vmcmd::JumpTitle(1), (VmCommand{0x30, 0x02, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(vmcmd::JumpTitle(99), (VmCommand{0x30, 0x02, 0, 0, 0, 99, 0, 0}));
    // CallSS to the video manager's menu (bits 6-7 of byte 5 = 1) number 2 (the title
    // menu), resuming at the cell in byte 4.
    EXPECT_EQ(vmcmd::CallTitleMenu(1), (VmCommand{0x30, 0x08, 0, 0, 1, 0x42, 0, 0}));
    EXPECT_EQ(vmcmd::CallTitleMenu(3)[4], 3);
    // Immediate value in bytes 2-3, register in byte 5.
    EXPECT_EQ(vmcmd::SetRegister(0, 7), (VmCommand{0x53, 0, 0, 7, 0, 0, 0, 0}));
    EXPECT_EQ(vmcmd::SetRegister(1, 0x1234), (VmCommand{0x53, 0, 0x12, 0x34, 0, 1, 0, 0}));
}

TEST(VmCommand, ComparisonAddsTheEqualTestOfTwoRegisters)
{
    EXPECT_EQ(vmcmd::IfRegistersEqual(vmcmd::JumpTitle(4), 0, 1), (VmCommand{0x30, 0x22, 0, 0, 0, 4, 0, 1}));
    EXPECT_EQ(vmcmd::IfRegistersEqual(vmcmd::Exit(), 2, 3), (VmCommand{0x30, 0x21, 0, 2, 0, 0, 0, 3}));
}

namespace {

SProgramChain TwoCellChain(int cells)
{
    SProgramChain chain;
    chain.playbackTime = {0x00, 0x01, 0x02, 0xC3};
    chain.audioControl[0] = 0x8000;
    chain.subpControl[0] = 0x80000000u;
    chain.palette[0] = 0x108080;
    chain.palette[15] = 0xEB8080;
    chain.postCommands = {vmcmd::SetRegister(0, 1), vmcmd::CallTitleMenu(1)};
    for (int k = 0; k < cells; ++k) {
        chain.programMap.push_back(uint8_t(k + 1));
        SPgcCell c;
        c.category = k == 0 ? 0x02 : 0x08;
        c.playbackTime = {0, 0, uint8_t(k + 1), 0xC0};
        c.firstSector = uint32_t(100 * k);
        c.lastVobuStartSector = uint32_t(100 * k + 90);
        c.lastSector = uint32_t(100 * k + 99);
        c.cellNr = uint8_t(k + 1);
        chain.cells.push_back(c);
    }
    return chain;
}

}  // namespace

TEST(PgcWriter, TitleChainPlacesEveryTableAfterTheLastAndFillsThem)
{
    using namespace ifo;
    for (int cells : {2, 3}) {
        const SProgramChain chain = TwoCellChain(cells);
        std::vector<uint8_t> out(1024, 0xEE);  // garbage the writer must clear
        const int length = WritePgc(out.data(), chain);
        EXPECT_EQ(length, PgcLength(chain));
        // Commands after the header, the map after them, the cell tables on an even offset.
        const int map = pgc::kHeaderLength + 8 + 2 * 8;
        const int playback = (map + cells + 1) & ~1;
        const int position = playback + 24 * cells;
        EXPECT_EQ(length, position + 4 * cells) << cells;
        EXPECT_EQ(out[pgc::kNrOfPrograms], cells);
        EXPECT_EQ(out[pgc::kNrOfCells], cells);
        EXPECT_EQ(GetBe32(&out[pgc::kPlaybackTime]), 0x000102C3u);
        EXPECT_EQ(GetBe16(&out[pgc::kAudioControl]), 0x8000u);
        EXPECT_EQ(GetBe16(&out[pgc::kAudioControl + 2]), 0u);
        EXPECT_EQ(GetBe32(&out[pgc::kSubpControl]), 0x80000000u);
        EXPECT_EQ(GetBe32(&out[pgc::kPalette]), 0x108080u);
        EXPECT_EQ(GetBe32(&out[pgc::kPalette + 60]), 0xEB8080u);
        EXPECT_EQ(GetBe16(&out[pgc::kCommandTblOffset]), uint32_t(pgc::kHeaderLength));
        EXPECT_EQ(GetBe16(&out[pgc::kProgramMapOffset]), uint32_t(map));
        EXPECT_EQ(GetBe16(&out[pgc::kCellPlaybackOffset]), uint32_t(playback));
        EXPECT_EQ(GetBe16(&out[pgc::kCellPositionOffset]), uint32_t(position));

        const uint8_t* table = &out[pgc::kHeaderLength];
        EXPECT_EQ(GetBe16(table), 0u);  // pre
        EXPECT_EQ(GetBe16(table + 2), 2u);  // post
        EXPECT_EQ(GetBe16(table + 4), 0u);  // cell
        EXPECT_EQ(GetBe16(table + 6), 8u + 16 - 1);
        EXPECT_TRUE(std::equal(table + 8, table + 16, vmcmd::SetRegister(0, 1).begin()));
        EXPECT_TRUE(std::equal(table + 16, table + 24, vmcmd::CallTitleMenu(1).begin()));
        if (cells == 3) {
            EXPECT_EQ(out[size_t(map + 3)], 0) << "alignment byte";
        }
        for (int k = 0; k < cells; ++k) {
            EXPECT_EQ(out[size_t(map + k)], k + 1);
            const uint8_t* e = &out[size_t(playback + 24 * k)];
            EXPECT_EQ(e[0], k == 0 ? 0x02 : 0x08);
            EXPECT_EQ(e[6], k + 1);
            EXPECT_EQ(GetBe32(e + 8), uint32_t(100 * k));
            EXPECT_EQ(GetBe32(e + 12), 0u);
            EXPECT_EQ(GetBe32(e + 16), uint32_t(100 * k + 90));
            EXPECT_EQ(GetBe32(e + 20), uint32_t(100 * k + 99));
            const uint8_t* p = &out[size_t(position + 4 * k)];
            EXPECT_EQ(GetBe16(p), 1u);
            EXPECT_EQ(p[3], k + 1);
        }
        EXPECT_EQ(out[size_t(length)], 0xEE) << "written past the chain";
    }
}

TEST(PgcWriter, CommandOnlyChainHasNoProgramOrCellTables)
{
    using namespace ifo;
    SProgramChain chain;
    chain.playbackTime = {0, 0, 0, 0xC0};
    chain.preCommands = {vmcmd::JumpTitle(1), vmcmd::Exit(), vmcmd::Exit()};
    std::vector<uint8_t> out(512, 0xEE);
    const int length = WritePgc(out.data(), chain);
    EXPECT_EQ(length, pgc::kHeaderLength + 8 + 3 * 8);
    EXPECT_EQ(out[pgc::kNrOfPrograms], 0);
    EXPECT_EQ(out[pgc::kNrOfCells], 0);
    EXPECT_EQ(out[7], 0xC0);
    EXPECT_EQ(GetBe16(&out[pgc::kCommandTblOffset]), uint32_t(pgc::kHeaderLength));
    EXPECT_EQ(GetBe16(&out[pgc::kProgramMapOffset]), 0u);
    EXPECT_EQ(GetBe16(&out[pgc::kCellPlaybackOffset]), 0u);
    EXPECT_EQ(GetBe16(&out[pgc::kCellPositionOffset]), 0u);
    const uint8_t* table = &out[pgc::kHeaderLength];
    EXPECT_EQ(GetBe16(table), 3u);
    EXPECT_EQ(GetBe16(table + 2), 0u);
    EXPECT_EQ(GetBe16(table + 6), 8u + 24 - 1);
    EXPECT_TRUE(std::equal(table + 8, table + 16, vmcmd::JumpTitle(1).begin()));
    EXPECT_EQ(GetBe32(&out[pgc::kPalette]), 0u);
}
