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

// One cell of a program chain's cell playback table.
struct SIfoCell {
    uint32_t playbackTime = 0;  // BCD hours, minutes, seconds, then the frames byte
    uint32_t firstSector = 0;  // first VOBU sector, counted from the start of VTS_nn_1.VOB
    uint32_t lastSector = 0;  // last sector of the cell
};

// The first program chain of a title set: its programs, each given by its entry cell,
// and its cells in playback order.
struct SIfoProgramChain {
    uint32_t playbackTime = 0;  // BCD, as in a cell
    std::vector<int> entryCells;  // entry cell (1-based) of each program, in order
    std::vector<SIfoCell> cells;
};

// What a title set's information file says about the title a source reader plays.
struct SVtsSource {
    uint8_t videoAttributes = 0;  // the first video attribute byte (offset 0x200)
    bool wide = false;  // 16:9: bits 3-2 of the attribute byte are 11
    bool pal = false;  // 625 lines: bits 5-4 of the attribute byte are not 00
    SIfoProgramChain chain;  // the first program chain (no programs when the table is empty)
};

// Reads the video attributes and the first program chain of a VTS_nn_0.IFO (`size`
// bytes at `data`; the file may be cut after its program chain table). Returns false
// when the file is not a title set information file or its tables lie outside it or
// contradict each other; `error` then says why, as ParseVmgIfo does.
bool ParseVtsSource(const uint8_t* data, size_t size, SVtsSource& out, std::string& error);

// Seconds of a BCD playback time: hours, minutes and seconds, plus the frames at
// 25 frames/s (frame-rate bits 7-6 below 11) or 30000/1001 frames/s.
double PlaybackSeconds(uint32_t bcdTime);

// Whole seconds of a BCD playback time (hours x 3600 + minutes x 60 + seconds).
int PlaybackWholeSeconds(uint32_t bcdTime);

// The first sector index (0-based, into `chain.cells`) at which a reader starts the
// title: program 1's entry cell, or the cell after it when that one lies earlier and the
// entry cell is stored above sector 2,000,007, or when `alternative` asks for it (and a
// next cell exists). -1 when the chain has no program.
int StartCellIndex(const SIfoProgramChain& chain, bool alternative);

// The start times in seconds of programs 2..n of `chain`, counted in the stream a reader
// presents from the start chosen by StartCellIndex(chain, alternative): the playback
// times of the cells before each program's entry cell, without the first cell when the
// stream starts after it. Times that do not lie after the previous start are left out.
// Empty when the chain has fewer than two programs.
std::vector<double> ProgramStartSeconds(const SIfoProgramChain& chain, bool alternative);
