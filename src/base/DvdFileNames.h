// The names of the folders and files of a DVD-Video disc, built in one place so that the
// writers of the files and the disc image agree on every letter.
#pragma once

#include <string>

// The two folders at the root of the disc.
inline constexpr const char* kVideoTsFolder = "VIDEO_TS";
inline constexpr const char* kAudioTsFolder = "AUDIO_TS";

// The video manager's files.
inline constexpr const char* kVideoTsIfo = "VIDEO_TS.IFO";
inline constexpr const char* kVideoTsVob = "VIDEO_TS.VOB";
inline constexpr const char* kVideoTsBup = "VIDEO_TS.BUP";

// The name of a video manager file with `extension` ("IFO", "VOB", "BUP"), e.g.
// "VIDEO_TS.BUP".
std::string VmgFileName(const char* extension);

// The name of a file of title set `titleSet` (1-99, two digits): part 0 is the IFO, the
// BUP and the menu VOB, parts 1-9 the title VOBs. VtsFileName(1, 1, "VOB") gives
// "VTS_01_1.VOB", VtsFileName(12, 0, "IFO") "VTS_12_0.IFO". Numbers outside those ranges
// are written out in full, never cut.
std::string VtsFileName(int titleSet, int part, const char* extension);
