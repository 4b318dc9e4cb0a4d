// CDVDMplex: the packets of the three streams — video packs with their picture
// tracking, audio packs (Layer II, LPCM or AC-3 with their sub-stream headers) and
// sub-picture units split over as many packs as they need.
#include "dvd/DVDMplex.h"

#include "audio/Audio.h"
#include "base/Bytes.h"
#include "base/UiPort.h"
#include "dvd/NavPack.h"
#include "dvd/PesHeader.h"
#include "dvd/SubPictureSource.h"
#include "mpeg2enc/Video.h"

#include <algorithm>
#include <cstring>

namespace {

const int maxPayload = 2025;  // 2048 - 14 (pack header) - 9 (PES header without data)

constexpr uint8_t kVideoStream = 0xE0;
constexpr uint8_t kMpegAudioStream = 0xC0;
constexpr uint8_t kPrivateStream1 = 0xBD;
constexpr uint8_t kSubPictureSubstream = 0x20;
constexpr uint8_t kLpcmSubstream = 0xA0;
constexpr uint8_t kAc3Substream = 0x80;
// The most sub-picture units sent before one video pack.
constexpr int kMaxUnitsPerPack = 4096;

}  // namespace

// Finds picture start codes (00 00 01 00) in the video bytes sent, across reads. Each
// start is stored as its offset in `data`; a start code that began in the previous
// read gets a negative offset. Returns the number found.
int CDVDMplex::FindPictureStarts(const uint8_t* data, int length, int* starts, int maxStarts)
{
    uint32_t window = startCodeCarry;
    int count = 0;
    for (int i = 0; i < length; ++i) {
        window = window << 8 | data[i];
        if (window == 0x00000100u) {
            if (count < maxStarts) starts[count] = i - 3;
            ++count;
        }
    }
    startCodeCarry = window;
    return count;
}

// Notes the picture starts in a read of `n` video bytes whose first picture has
// presentation time `pts`. After a read that passed a picture start, the source's
// next-picture time is the presentation end of that picture. The last read may
// already report the end of the stream; then each picture it started lasts one frame
// period. Returns the number of starts found.
int CDVDMplex::TrackVideoRead(const uint8_t* payload, int n, uint32_t pts, int* starts, int maxStarts)
{
    int started = FindPictureStarts(payload, n, starts, maxStarts);
    if (started) {
        uint32_t next = video->NextPictureTime();
        if (next < endOfStreamTime) {
            lastVideoPts = OffsetTime(videoTimeOffset, next);
        } else {
            uint32_t period = frameRate == 25 ? 3600 : 3003;
            lastVideoPts = (havePictureEnd ? lastVideoPts : pts) + uint32_t(started) * period;
        }
        havePictureEnd = true;
    }
    return started;
}

// Puts the pack header and a video PES packet of `n` payload bytes into the pack; the
// packet carries PTS and DTS (and the P-STD field when `headerData` is 13). Returns the
// bytes used.
int CDVDMplex::PutVideoPacket(const uint8_t* payload, int n, int headerData, uint32_t pts, uint32_t dts)
{
    std::memcpy(pack, packHeader, sizeof packHeader);
    SPesHeader pes;
    pes.streamId = kVideoStream;
    pes.hasPts = pes.hasDts = headerData > 0;
    pes.pts = pts;
    pes.dts = dts;
    pes.hasPstd = headerData == 13;
    pes.pstd = kVideoPstd;
    pes.payloadBytes = n;
    int at = kPackHeaderLength + PutPesHeader(pack + kPackHeaderLength, pes);
    if (headerData > 0) {
        const int dtsAt = kPackHeaderLength + kPesFixedHeaderLength + 5;
        if (GetTimeStamp(pack + dtsAt) != dts) Warn("Wrong DTS!");
        run.lastVideoPtsSent = pts;
    }
    std::memcpy(pack + at, payload, size_t(n));
    return at + n;
}

bool CDVDMplex::SendVideoPack(uint32_t e)
{
    bool startsVobu = newVobu;
    int h = firstVideoPacket ? 13 : (startsVobu ? 10 : 0);
    uint32_t pts = OffsetTime(videoTimeOffset, video->NextPictureTime());
    uint8_t payload[maxPayload];
    int n = video->Read(payload, maxPayload - h);
    if (n <= 0) {
        // The source had nothing more although its times had not reached the end.
        videoEnded = true;
        return false;
    }
    n = std::min(n, maxPayload - h);
    int starts[64];
    int started = TrackVideoRead(payload, n, pts, starts, 64);

    if (startsVobu && !StartVobu(pts)) return false;
    if (subtitlesEnabled && !startsVobu && !SendSubPictureUnit(e)) return false;

    if (double(e) - currentScr / 300.0 > 90000.0) Warn("TOO EARLY!");

    int used = PutVideoPacket(payload, n, h, pts, e);
    videoBuffer.Push(e, n);
    firstVideoPacket = false;

    int32_t lbn = packsWritten;
    // A picture ends where the next one starts: in this pack, or in the previous video
    // pack when the start code began there.
    for (int i = 0; i < std::min(started, 64); ++i) TrackPictureStart(starts[i] > 0 ? lbn : lastVideoPackLbn);
    if (!FinishAndWritePack(used, false)) return false;
    lastVideoPackLbn = lbn;
    newVobu = video->IsDrained();
    if (subtitlesEnabled && startsVobu && !SendSubPictureUnit(e)) return false;
    return true;
}

// Called for each picture start of the VOBU in order. The start of picture j + 1 marks
// the end of picture j; the ends of the first three pictures are the VOBU's reference
// end addresses.
void CDVDMplex::TrackPictureStart(int32_t endLbn)
{
    ++picturesInVobu;
    if (picturesInVobu < 2 || picturesInVobu > 4 || vobus.empty()) return;
    nav::SetReferenceEnd(*vobus.back(), picturesInVobu - 2, endLbn);
}

// Writes the private stream's sub-stream header of the audio (none for Layer II) and
// returns its length: LPCM gives its frame count, first access unit and format, AC-3
// its frame count and first access unit.
int CDVDMplex::PutAudioSubstreamHeader(uint8_t* q)
{
    const int kind = audio->StreamKind();
    if (kind == CAudio::kindMp2) return 0;
    if (kind == CAudio::kindLpcm) {
        q[0] = kLpcmSubstream;
        q[1] = uint8_t(audio->UnitCount());
        PutBe16(q + 2, uint32_t(audio->FirstUnitOffset() + 4));
        q[4] = uint8_t(audio->LpcmFrameInfo());
        q[5] = 0x01;
        q[6] = 0x80;
        return 7;
    }
    q[0] = kAc3Substream;
    q[1] = uint8_t(audio->UnitCount());
    PutBe16(q + 2, uint32_t(audio->FirstUnitOffset() + 1));
    return 4;
}

bool CDVDMplex::SendAudioPack(int limit)
{
    int kind = audio->StreamKind();
    bool mpeg = kind == CAudio::kindMp2;
    bool lpcm = kind == CAudio::kindLpcm;
    // P-STD field in the first packet of the title and in every LPCM packet.
    bool pstd = firstAudioPacket || lpcm;
    int hMax = pstd ? 8 : 5;
    int subHeader = mpeg ? 0 : (lpcm ? 7 : 4);
    // LPCM payloads hold whole stereo sample pairs: 2004 bytes at most.
    int request = mpeg ? maxPayload - hMax : (lpcm ? 2012 - hMax : 2021 - hMax);
    request = std::min(request, limit);

    uint32_t timeBefore = audio->EndTime();
    uint32_t unitTime = OffsetTime(audioTimeOffset, timeBefore);
    uint8_t payload[maxPayload];
    int n = audio->Read(payload, request);
    if (n <= 0) {
        audioEnded = true;  // nothing more, whatever its times say
        return true;
    }
    n = std::min(n, request);

    SPesHeader pes;
    pes.streamId = mpeg ? kMpegAudioStream : kPrivateStream1;
    pes.hasPts = mpeg ? audio->EndTime() != timeBefore : audio->UnitCount() > 0;
    pes.pts = unitTime;
    pes.hasPstd = pstd;
    pes.pstd = mpeg ? kMpegAudioPstd : kPrivateStreamPstd;
    pes.payloadBytes = subHeader + n;
    std::memcpy(pack, packHeader, sizeof packHeader);
    uint8_t* q = pack + kPackHeaderLength + PutPesHeader(pack + kPackHeaderLength, pes);
    q += PutAudioSubstreamHeader(q);
    std::memcpy(q, payload, size_t(n));
    int used = int(q - pack) + n;
    audioFrames.Feed(payload, n);

    audioBuffer.Push(unitTime, n);
    firstAudioPacket = false;
    if (!mpeg && audioSyncPending && !vobus.empty()) {
        nav::SetAudioSync(*vobus.back(), packsWritten);
        audioSyncPending = false;
    }
    return FinishAndWritePack(used, true);
}

bool CDVDMplex::SendSubPictureUnit(uint32_t e)
{
    // Every unit that is due goes out now: subtitles closer together than the video's
    // packs must not fall behind their pictures.
    // (A source that never moves on is not asked without end.)
    bool sent = true;
    for (int i = 0; sent && i < kMaxUnitsPerPack; ++i)
        if (!SendOneSubPictureUnit(e, sent)) return false;
    return true;
}

bool CDVDMplex::SendOneSubPictureUnit(uint32_t e, bool& unitSent)
{
    unitSent = false;
    uint32_t next = subSource->NextUnitTime();
    if (next >= endOfStreamTime) return true;
    // The picture at source time t is presented one frame period after its decoding
    // time videoTimeOffset + t: the unit takes that picture's presentation time.
    const double period = frameRate == 25 ? 3600.0 : 3003.0;
    uint32_t due = OffsetTime(videoTimeOffset + period, next);
    if (e < due) return true;
    uint8_t* unit = subPictureUnit.data();
    // A source reporting more than it was given room for is held to that room.
    int size = std::min(subSource->ReadUnit(unit, maxSubPictureUnit), maxSubPictureUnit);
    unitSent = true;  // an empty unit is passed over as well
    int sent = 0;
    bool firstOfUnit = true;
    while (sent < size) {
        SPesHeader pes;
        pes.streamId = kPrivateStream1;
        pes.hasPts = firstSubPacket || firstOfUnit;
        pes.pts = due;
        pes.hasPstd = firstSubPacket;
        pes.pstd = kPrivateStreamPstd;
        int h = (pes.hasPts ? 5 : 0) + (pes.hasPstd ? 3 : 0);
        int n = std::min(size - sent, 2024 - h);
        pes.payloadBytes = 1 + n;
        std::memcpy(pack, packHeader, sizeof packHeader);
        uint8_t* q = pack + kPackHeaderLength + PutPesHeader(pack + kPackHeaderLength, pes);
        *q++ = kSubPictureSubstream;
        std::memcpy(q, unit + sent, size_t(n));
        if (subSyncPending && !vobus.empty()) {
            nav::SetSubPictureSync(*vobus.back());
            subSyncPending = false;
        }
        firstSubPacket = false;
        firstOfUnit = false;
        sent += n;
        // A unit's last packet may leave 1 to 5 bytes: they become header stuffing.
        if (!FinishAndWritePack(int(q - pack) + n, true)) return false;
    }
    return true;
}
