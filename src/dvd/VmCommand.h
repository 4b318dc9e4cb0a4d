// Builders for the navigation commands our program chains carry. Each returns the 8
// bytes of one command as the DVD player's virtual machine reads them. Registers are
// general parameter registers (0..15).
#pragma once

#include <array>
#include <cstdint>

using VmCommand = std::array<uint8_t, 8>;

namespace vmcmd {

// Ends playback (Exit).
VmCommand Exit();
// Starts title `title` (1..99) of the disc (JumpTT).
VmCommand JumpTitle(int title);
// Calls the video manager's title menu, resuming at cell `resumeCell` of the calling
// chain when the menu returns (CallSS VMGM title menu).
VmCommand CallTitleMenu(int resumeCell);
// Sets register `reg` to `value` (SetGPRMMD in register mode).
VmCommand SetRegister(int reg, uint16_t value);
// Selects sub-picture stream `stream` (0..31) and turns its display on (SetSTN).
VmCommand ShowSubPictureStream(int stream);
// `command` (a jump or link) carried out only when registers `a` and `b` hold the same
// value.
VmCommand IfRegistersEqual(VmCommand command, int a, int b);

}  // namespace vmcmd
