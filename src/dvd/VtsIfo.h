// The information file of one video title set (VTS_nn_0.IFO): its management table,
// the chapter table, the one title program chain, the time map, the cell address
// table and the VOBU address map, each starting on a sector of its own.
#pragma once

#include "dvd/CELL.h"
#include "dvd/VOBU.h"

#include <cstdint>
#include <vector>

// The stream attributes the title set announces.
struct SVtsStreams {
    int frameRate = 30;  // 30 or 25
    bool wideScreen = false;
    int resolutionCode = 0;  // picture size code of the video attributes
    bool hasAudio = false;  // false: an MPEG-1 stream that is never sent is declared
    int audioKind = 0;  // CAudio stream kind
    bool surround = false;
    int quantisationCode = 0;
    int sampleRateCode = 0;
    int channels = 2;
    bool subPictures = false;
};

// A finished title: its cells and VOBUs as the multiplexer recorded them.
struct SVtsTitle {
    const std::vector<CCELL>& cells;
    const std::vector<CVOBU*>& vobus;
    int32_t packsWritten = 0;  // sectors of the title's VOBs
    const uint32_t* colours = nullptr;  // 16 entries, 0x00YYCrCb
    SVtsStreams streams;
};

// The whole IFO file; `title` must have at least one cell and one VOBU.
std::vector<uint8_t> BuildVtsIfo(const SVtsTitle& title);
