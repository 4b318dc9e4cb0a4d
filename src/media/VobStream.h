// Presents the VOB files of one DVD title set as one continuous MPEG-2 program stream:
// the title set is found from a VIDEO_TS folder, its parent, one of its IFO, BUP or VOB
// files, or a disc image holding it; the stream starts at the first cell of the title's
// first program and its first 64 KiB show only the first AC-3 or LPCM track, so that a
// demuxer probing the start finds one audio stream. The title's length, picture shape
// and programs come from the title set's IFO.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/File.h"
#include "media/IfoReader.h"

class CDvdImage;

class CVobStream {
public:
    static constexpr int64_t kCacheBytes = 65536;
    static constexpr int kMaxVobParts = 9;

    CVobStream();
    ~CVobStream();
    CVobStream(const CVobStream&) = delete;
    CVobStream& operator=(const CVobStream&) = delete;

    // True when `path` names a DVD source: its extension is ".vob", ".ifo" or ".bup" (any
    // case), or it is a folder that is or holds VIDEO_TS, or a disc image.
    static bool IsDvdSource(const std::string& path);

    // The main title set of the VIDEO_TS folder `folder` (ending in '/' or not): the one
    // whose VOB files 1..9 together are largest, the lowest number among equals. Returns
    // the path of its VTS_nn_1.VOB, empty when the folder holds no title set.
    static std::string MainTitleVob(const std::string& folder);

    // Opens the title set `path` stands for (see IsDvdSource); a VOB file not named as
    // one of a title set (VTS_nn_m.VOB) is read alone. `alternative` starts at
    // the cell after program 1's entry cell. Returns false when no title set is found, a
    // file cannot be read or the IFO or image is damaged; Error() says why.
    bool Open(const std::string& path, bool alternative = false);

    // Moves the read position to `position` bytes of the stream. False beyond Length().
    bool SetPosition(int64_t position);

    // Reads up to `bytes` bytes at the read position into `buffer` and advances it.
    // Returns the bytes read (0 at the end), -1 when a file cannot be read (Error()).
    int64_t Read(uint8_t* buffer, int64_t bytes);

    // Bytes of the stream (from the start cell to the end of the last VOB file).
    int64_t Length() const { return length; }

    // The read position.
    int64_t Position() const { return position; }

    // Length in seconds of the title from where the stream starts (the IFO's playback
    // times, to the picture), -1 when unknown.
    double TitleSeconds() const { return titleSeconds; }

    // Whether the stream starts at the cell after program 1's entry cell.
    bool AlternativeStart() const { return alternativeStart; }

    // True when an IFO was read; then Source() holds what it says.
    bool HasIfo() const { return hasIfo; }
    const SVtsSource& Source() const { return source; }

    // The first VOB file: its path, or "image.iso:VIDEO_TS/VTS_01_1.VOB" in an image.
    const std::string& FirstVobName() const { return firstVobName; }

    // Byte offset of the stream's start in the title set's VOB files.
    int64_t StartOffset() const { return startOffset; }

    // Why the last operation failed, naming the file; empty otherwise.
    const std::string& Error() const { return error; }

private:
    // One run of bytes of the title: a whole VOB file, or an extent of one in an image.
    struct SPiece {
        int file = 0;  // index into `files`
        int64_t offset = 0;  // byte offset in that file
        int64_t length = 0;
    };

    bool Fail(const std::string& message);
    bool ResolveFolder(const std::string& folder, int titleSet);
    bool ResolveImage(const std::string& image);
    bool AddPiece(const std::string& file, int64_t offset, int64_t size);
    bool ReadIfo(const std::string& name, const std::string& file, const std::vector<SPiece>& pieces, int64_t size);
    bool SettleStart();
    bool LoadCache();
    int64_t ReadRaw(int64_t absolute, uint8_t* buffer, int64_t bytes);

    std::mutex lock;
    double titleSeconds = -1;
    std::vector<uint8_t> cache;  // the first bytes of the stream, secondary audio hidden
    bool alternativeStart = false;
    int64_t length = 0;
    int64_t position = 0;
    std::vector<std::string> files;  // files the pieces read from
    std::vector<SPiece> pieces;
    std::vector<int64_t> pieceEnds;  // cumulative end of each piece in the title's bytes
    int openFile = -1;
    CFileDescriptor handle;
    int64_t startOffset = 0;
    bool hasIfo = false;
    SVtsSource source;
    std::string firstVobName;
    std::string error;
    std::unique_ptr<CDvdImage> image;
};

// Makes the secondary audio of `data` (whole 2048-byte packs) invisible: a private
// stream 1 packet carrying AC-3 or LPCM stream 2 to 8 becomes padding filled with 0xFF.
void HideSecondaryAudio(uint8_t* data, size_t bytes);
