#include "dvd/PgcWriter.h"

#include "base/Bytes.h"
#include "media/IfoLayout.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets of the chain's tables within it; 0 for a table that is not there.
struct SPgcOffsets {
    int commands = 0;
    int programMap = 0;
    int cellPlayback = 0;
    int cellPosition = 0;
    int length = 0;
};

SPgcOffsets Offsets(const SProgramChain& chain)
{
    using namespace ifo;
    SPgcOffsets o;
    int at = pgc::kHeaderLength;
    const size_t commands = chain.preCommands.size() + chain.postCommands.size();
    if (commands > 0) {
        o.commands = at;
        at += pgcCommandTbl::kHeaderLength + pgcCommandTbl::kCommandLength * int(commands);
    }
    if (!chain.programMap.empty()) {
        o.programMap = at;
        at += int(chain.programMap.size());
    }
    if (!chain.cells.empty()) {
        at += at & 1;
        const int n = int(chain.cells.size());
        o.cellPlayback = at;
        o.cellPosition = at + cellPlayback::kEntryLength * n;
        at = o.cellPosition + cellPosition::kEntryLength * n;
    }
    o.length = at;
    return o;
}

void WriteCommands(uint8_t* table, const SProgramChain& chain)
{
    using namespace ifo::pgcCommandTbl;
    const size_t count = chain.preCommands.size() + chain.postCommands.size();
    PutBe16(table + kNrOfPre, uint32_t(chain.preCommands.size()));
    PutBe16(table + kNrOfPost, uint32_t(chain.postCommands.size()));
    PutBe16(table + kNrOfCell, 0);
    PutBe16(table + kLastByte, uint32_t(kHeaderLength + kCommandLength * int(count) - 1));
    uint8_t* at = table + kHeaderLength;
    for (const auto* list : {&chain.preCommands, &chain.postCommands}) {
        for (const VmCommand& c : *list) {
            std::copy(c.begin(), c.end(), at);
            at += kCommandLength;
        }
    }
}

void WriteCells(uint8_t* playback, uint8_t* position, const std::vector<SPgcCell>& cells)
{
    using namespace ifo;
    for (const SPgcCell& c : cells) {
        playback[cellPlayback::kCategory] = c.category;
        std::copy(c.playbackTime.begin(), c.playbackTime.end(), playback + cellPlayback::kPlaybackTime);
        PutBe32(playback + cellPlayback::kFirstSector, c.firstSector);
        PutBe32(playback + cellPlayback::kLastVobuStartSector, c.lastVobuStartSector);
        PutBe32(playback + cellPlayback::kLastSector, c.lastSector);
        PutBe16(position + cellPosition::kVobIdNr, c.vobId);
        position[cellPosition::kCellNr] = c.cellNr;
        playback += cellPlayback::kEntryLength;
        position += cellPosition::kEntryLength;
    }
}

}  // namespace

int PgcLength(const SProgramChain& chain) { return Offsets(chain).length; }

int WritePgc(uint8_t* out, const SProgramChain& chain)
{
    using namespace ifo::pgc;
    const SPgcOffsets o = Offsets(chain);
    std::memset(out, 0, size_t(o.length));
    out[kNrOfPrograms] = uint8_t(chain.programMap.size());
    out[kNrOfCells] = uint8_t(chain.cells.size());
    std::copy(chain.playbackTime.begin(), chain.playbackTime.end(), out + kPlaybackTime);
    for (size_t i = 0; i < chain.audioControl.size(); ++i) PutBe16(out + kAudioControl + 2 * i, chain.audioControl[i]);
    for (size_t i = 0; i < chain.subpControl.size(); ++i) PutBe32(out + kSubpControl + 4 * i, chain.subpControl[i]);
    for (size_t i = 0; i < chain.palette.size(); ++i) PutBe32(out + kPalette + 4 * i, chain.palette[i]);
    PutBe16(out + kCommandTblOffset, uint32_t(o.commands));
    PutBe16(out + kProgramMapOffset, uint32_t(o.programMap));
    PutBe16(out + kCellPlaybackOffset, uint32_t(o.cellPlayback));
    PutBe16(out + kCellPositionOffset, uint32_t(o.cellPosition));
    if (o.commands) WriteCommands(out + o.commands, chain);
    std::copy(chain.programMap.begin(), chain.programMap.end(), out + o.programMap);
    WriteCells(out + o.cellPlayback, out + o.cellPosition, chain.cells);
    return o.length;
}
