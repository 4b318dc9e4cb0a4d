// CDVDMplex: turns one video source, one audio source and optionally one sub-picture
// source into the VOB files of one video title set (VTS_nn_1.VOB ... VTS_nn_9.VOB),
// records every VOBU and cell on the way, completes the navigation packs and writes the
// title set's IFO file. One object makes one title set and is then destroyed.
//
// Use: SetSources; plan cells (AddCell, AddCells); OpenTitle; Run; PatchNavPacks;
// WriteVtsIfo. Messages go to the user-interface port it is given; the state shared
// with the job's other titles lives in the run context it is given.
#pragma once

#include "base/File.h"
#include "dvd/AudioFrameEnd.h"
#include "dvd/CELL.h"
#include "dvd/CellPlan.h"
#include "dvd/MuxBuffer.h"
#include "dvd/MuxRunContext.h"
#include "dvd/VOBU.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CVideo;
class CAudio;
class CSubPictureSource;
class CUiPort;

class CDVDMplex {
public:
    static constexpr int packSize = 2048;
    static constexpr uint32_t endOfStreamTime = 0x9A7EC800u;
    static constexpr int64_t defaultSplitBytes = 1070596096;  // 1021 MiB per VOB file
    static constexpr int maxVobus = 40960;
    static constexpr int maxCells = 255;
    static constexpr int maxVobFiles = 9;
    static constexpr int muxRate = 25200;  // units of 50 bytes/s
    static constexpr double packTime = 43885.71428571428;  // 27 MHz ticks per pack
    static constexpr double videoLead = 4785298.285714285;  // 27 MHz ticks
    static constexpr int32_t videoBufferBytes = 237568;
    static constexpr int32_t audioBufferBytes = 16384;
    static constexpr int32_t mpegAudioBufferBytes = 4096;

    // Reports through `ui` and shares `run` with the job's other titles; both must
    // outlive the multiplexer. `splitBytes` is the VOB file size at which a new file is
    // started (lowered only by tests).
    CDVDMplex(CUiPort& ui, SMuxRunContext& run, int64_t splitBytes = defaultSplitBytes);
    ~CDVDMplex();
    CDVDMplex(const CDVDMplex&) = delete;
    CDVDMplex& operator=(const CDVDMplex&) = delete;

    // Takes over the sources (replacing any earlier ones). `audio` may be null.
    void SetSources(std::unique_ptr<CVideo> video, std::unique_ptr<CAudio> audio);
    CVideo* Video() const { return video.get(); }
    CAudio* Audio() const { return audio.get(); }
    // Enables sub-pictures from `source` (not owned; null disables them).
    void SetSubPictureSource(CSubPictureSource* source);

    // Plans one cell from `startSeconds` to `endSeconds` (-1: open end). Ignored once
    // 255 cells exist.
    void AddCell(double startSeconds, double endSeconds);
    // Plans the cells of `plan` in order (see CellPlan.h).
    void AddCells(const std::vector<SCellSpan>& plan);
    // Selects the cell that multiplexing starts in (normally 0).
    void SetCurrentCell(int index) { currentCell = index; }
    // Sets the audio buffer model's capacity (4096 for MPEG audio) and empties it.
    void SetAudioBufferCapacity(int32_t bytes) { audioBuffer.Reset(bytes); }

    // Creates <folder>VTS_<nn>_1.VOB and resets the counters. Returns false when the
    // file cannot be created.
    bool OpenTitle(int vtsNumber, const std::string& folder);
    // Multiplexes until the video ends, then sends the audio on to the end of the last
    // picture and to the end of the audio frame in hand, so that the title's sound
    // neither stops short of its pictures nor ends inside a frame; completes the NAV
    // packs in memory. Returns false when the title could not be finished (a failed
    // write or file creation, a pack without room for padding, too many VOBUs); the
    // reason was reported through the user-interface port and is kept in Error(). The
    // VOB file is closed either way.
    bool Run();
    // Writes every NAV pack image back into its VOB file. Returns false (reported, and
    // kept in Error()) when a file could not be opened or written.
    bool PatchNavPacks();
    // Writes <folder>VTS_<nn>_0.IFO. Returns false when it cannot be written.
    bool WriteVtsIfo();

    // Removes this title set's VOB files (after a failed Run).
    void RemoveVobFiles() const;
    // The first failure reported since OpenTitle; empty when there was none.
    const std::string& Error() const { return error; }

    // Title results, for the IFO writer and the tests.
    const std::vector<CVOBU*>& Vobus() const { return vobus; }
    const std::vector<CCELL>& Cells() const { return cells; }
    int32_t PacksWritten() const { return packsWritten; }
    // Sectors of VOB file n (1..9); 0 for files not written.
    int32_t VobSectors(int n) const { return vobSectors[n]; }
    int VobFileCount() const { return vobNumber; }
    // End of the last picture (offset PTS) once Run has finished.
    uint32_t LastVideoPts() const { return lastVideoPts; }
    std::string VobPath(int n) const;
    std::string IfoPath() const;
    const std::string& Folder() const { return folder; }
    int VtsNumber() const { return vtsNumber; }

    // The 16 entries (0x00YYCrCb) of the default sub-picture colour table.
    static const uint32_t defaultColours[16];

    // Offsets added to every video and audio time (90 kHz); may be changed before Run.
    double videoTimeOffset = 18418.514285714286;
    double audioTimeOffset = 18418.514285714286;
    // The PGC colour table written into the IFO.
    uint32_t colours[16];

private:
    // Run: one step of the loop (false: leave it), and the VOB file's close at the end.
    bool MultiplexStep();
    void CloseVobAfterRun();
    bool FinishAudio();
    void Idle();
    // Cells and VOBUs.
    void CheckCellBoundary(uint32_t startPts);
    bool StartVobu(uint32_t startPts);
    void CompleteTitle();
    // Packets of the three streams (DVDMplexPackets.cpp).
    bool SendVideoPack(uint32_t decodeTime);
    int TrackVideoRead(const uint8_t* payload, int n, uint32_t pts, int* starts, int maxStarts);
    int PutVideoPacket(const uint8_t* payload, int n, int headerData, uint32_t pts, uint32_t dts);
    int FindPictureStarts(const uint8_t* data, int length, int* starts, int maxStarts);
    void TrackPictureStart(int32_t endLbn);
    // Sends one audio pack of at most `limit` stream bytes.
    bool SendAudioPack(int limit = packSize);
    int PutAudioSubstreamHeader(uint8_t* out);
    // Sends every sub-picture unit due by `decodeTime`; SendOneSubPictureUnit sends the
    // next one if it is due (`unitSent` says whether one was taken from the source).
    bool SendSubPictureUnit(uint32_t decodeTime);
    bool SendOneSubPictureUnit(uint32_t decodeTime, bool& unitSent);
    // Packs and VOB files.
    bool WritePack();
    bool FinishAndWritePack(int used, bool allowStuffing);
    bool SplitVobFileIfFull();
    bool OpenVobFile(int n);
    // A source time moved by an offset, truncated toward zero and kept to 32 bits.
    static uint32_t OffsetTime(double offset, uint32_t time) { return uint32_t(int64_t(offset + double(time))); }
    // A failure (kept as Error() when it is the first) and a warning, both shown.
    void Report(const std::string& text);
    void Warn(const std::string& text);

    CUiPort& ui;
    SMuxRunContext& run;
    std::string error;
    int64_t splitBytes;
    double currentScr = 0;
    double idleTime = 0;
    bool firstVideoPacket = true;
    bool firstAudioPacket = true;
    bool firstSubPacket = true;
    bool newVobu = true;
    bool audioSyncPending = false;
    bool subSyncPending = false;
    bool videoEnded = false;
    bool audioEnded = false;
    bool failed = false;

    uint8_t packHeader[14];
    uint8_t systemHeader[24];

    std::unique_ptr<CVideo> video;
    std::unique_ptr<CAudio> audio;
    CAudioFrameEnd audioFrames;  // the access units of the audio sent
    CSubPictureSource* subSource = nullptr;

    int32_t packsWritten = 0;
    CMuxBuffer videoBuffer{videoBufferBytes};
    CMuxBuffer audioBuffer{audioBufferBytes};
    uint8_t pack[packSize];

    std::string folder;
    int vtsNumber = 0;
    int vobNumber = 0;
    FilePtr file;
    int32_t vobSectors[10] = {};

    // The title's VOBU records in order. They live in blocks of vobuBlockSize records
    // that are kept (and reused by the next OpenTitle), so the steady state makes no
    // allocation per VOBU; the list's room for maxVobus entries is reserved up front.
    static constexpr int vobuBlockSize = 256;
    // The record for the next VOBU (index vobus.size()), cleared; not yet in the list.
    CVOBU* NewVobu();
    std::vector<CVOBU*> vobus;
    std::vector<std::unique_ptr<CVOBU[]>> vobuBlocks;
    std::vector<CCELL> cells;
    int currentCell = 0;

    bool subtitlesEnabled = false;
    int frameRate = 30;

    // Reference-picture tracking within the current VOBU: picture starts seen so far
    // and the LBN of the last video pack written.
    int picturesInVobu = 0;
    int32_t lastVideoPackLbn = 0;

    bool pendingCellStart = false;

    // End of the last picture sent (offset PTS), for the end of the title.
    bool havePictureEnd = false;
    uint32_t lastVideoPts = 0;
    uint32_t startCodeCarry = 0xFFFFFFFFu;

    // One sub-picture unit as read from the source; allocated when sub-pictures are
    // enabled.
    static constexpr int maxSubPictureUnit = 64000;
    std::vector<uint8_t> subPictureUnit;
};
