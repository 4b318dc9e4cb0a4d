// The information files of the smallest DVD-Video folder a player accepts, for tests
// that need a folder that passes the disc image job's check without authoring video.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// Writes VIDEO_TS.IFO, VIDEO_TS.BUP, VTS_01_0.IFO and VTS_01_0.BUP into the existing
// folder `videoTs`: one title set with one title whose title VOBs (written by the
// caller) are `vobSectors` sectors. Each IFO file has kSmallVmgSectors or
// kSmallVtsSectors sectors.
void WriteSmallDvdIfoFiles(const std::string& videoTs, size_t vobSectors);

constexpr size_t kSmallVmgSectors = 3;
constexpr size_t kSmallVtsSectors = 5;

}  // namespace testsupport
