#include "dvd/VmCommand.h"

namespace vmcmd {

namespace {

// Byte 0 of a jump or link command; byte 1 holds its kind in the low four bits and the
// comparison in bits 4 to 6.
constexpr uint8_t kJumpGroup = 0x30;
constexpr uint8_t kExit = 0x01;
constexpr uint8_t kJumpTT = 0x02;
constexpr uint8_t kCallSS = 0x08;
constexpr uint8_t kCompareEqual = 0x20;
// CallSS target in byte 5: bits 6-7 say where (1: a video manager menu), bits 0-3
// which menu (2: the title menu).
constexpr uint8_t kCallVmgmMenu = 0x40;
constexpr uint8_t kTitleMenu = 0x02;
// SetGPRMMD with an immediate value.
constexpr uint8_t kSetRegisterDirect = 0x53;
// SetSTN with immediate values: bytes 3, 4 and 5 set the audio, sub-picture and angle
// stream when their top bit is set. The sub-picture value's bit 6 turns display on.
constexpr uint8_t kSetStreamsDirect = 0x51;
constexpr uint8_t kStreamGiven = 0x80;
constexpr uint8_t kSubPictureShown = 0x40;

}  // namespace

VmCommand Exit() { return {kJumpGroup, kExit, 0, 0, 0, 0, 0, 0}; }

VmCommand JumpTitle(int title) { return {kJumpGroup, kJumpTT, 0, 0, 0, uint8_t(title & 0x7F), 0, 0}; }

VmCommand CallTitleMenu(int resumeCell)
{
    return {kJumpGroup, kCallSS, 0, 0, uint8_t(resumeCell), uint8_t(kCallVmgmMenu | kTitleMenu), 0, 0};
}

VmCommand SetRegister(int reg, uint16_t value)
{
    return {kSetRegisterDirect, 0, uint8_t(value >> 8), uint8_t(value), 0, uint8_t(reg & 0x0F), 0, 0};
}

VmCommand ShowSubPictureStream(int stream)
{
    return {kSetStreamsDirect, 0, 0, 0, uint8_t(kStreamGiven | kSubPictureShown | (stream & 0x1F)), 0, 0, 0};
}

VmCommand IfRegistersEqual(VmCommand command, int a, int b)
{
    command[1] = uint8_t(command[1] | kCompareEqual);
    command[3] = uint8_t(a & 0x0F);
    command[7] = uint8_t(b & 0x0F);
    return command;
}

}  // namespace vmcmd
