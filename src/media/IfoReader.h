// Reads the headers of DVD-Video information files (VIDEO_TS.IFO and VTS_nn_0.IFO) from
// bytes in memory and checks them the way a player's reader does before it trusts them:
// the identifier, the file's sectors against its own last-sector field, every table
// pointer inside the file, and the counts and entries of the tables a player needs to
// find the titles and their video. Nothing is read outside the bytes given, whatever
// they hold, so the parsers also serve for damaged and random input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry of the title table of VIDEO_TS.IFO.
struct SIfoTitle {
    int titleSet = 0;  // title set that holds the title (1-99)
    int vtsTitle = 0;  // title number within that title set
    int chapters = 0;
    uint32_t titleSetSector = 0;  // first sector of the title set, counted from VIDEO_TS.IFO
};

// What VIDEO_TS.IFO says about the video manager's files and the title sets.
struct SVmgInfo {
    uint32_t lastSector = 0;  // last sector of the video manager (IFO, menu VOB, BUP)
    uint32_t ifoSectors = 0;  // sectors of VIDEO_TS.IFO (and of its BUP)
    uint32_t menuVobSector = 0;  // first sector of VIDEO_TS.VOB, 0 when there is none
    uint32_t menuCellSectors = 0;  // sectors of VIDEO_TS.VOB its menu cells reach
    int titleSets = 0;
    std::vector<SIfoTitle> titles;
};

// What VTS_nn_0.IFO says about its title set's files.
struct SVtsInfo {
    uint32_t lastSector = 0;  // last sector of the title set (IFO, VOBs, BUP)
    uint32_t ifoSectors = 0;  // sectors of the IFO (and of its BUP)
    uint32_t menuVobSector = 0;  // first sector of VTS_nn_0.VOB, 0 when there is none
    uint32_t titleVobSector = 0;  // first sector of VTS_nn_1.VOB
    uint32_t menuCellSectors = 0;  // sectors of the menu VOB its menu cells reach
    uint32_t titleCellSectors = 0;  // sectors of the title VOBs its title cells reach
    int titles = 0;  // titles of the title set (entries of its chapter table)

    // Sector where the BUP starts: the title set ends with it.
    uint32_t BupSector() const { return lastSector + 1 - ifoSectors; }
};

// Parses the whole of a VIDEO_TS.IFO file (`size` bytes at `data`). Returns false when
// it is not a video manager information file a player could use; `error` then says
// what is wrong in one line meant to follow the file's name ("is 100 bytes, ...").
bool ParseVmgIfo(const uint8_t* data, size_t size, SVmgInfo& out, std::string& error);

// Parses the whole of a VTS_nn_0.IFO file as ParseVmgIfo does.
bool ParseVtsIfo(const uint8_t* data, size_t size, SVtsInfo& out, std::string& error);
