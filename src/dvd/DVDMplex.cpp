#include "dvd/DVDMplex.h"

#include "base/Bytes.h"

#include "audio/Audio.h"
#include "base/Progress.h"
#include "base/UiPort.h"
#include "dvd/SubPictureSource.h"
#include "mpeg2enc/Video.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

int64_t CDVDMplex::lastScrWritten = -1;
uint32_t CDVDMplex::lastVideoPtsSent = 0;

const uint32_t CDVDMplex::defaultColours[16] = {
    0xDB8B3B, 0x84855D, 0x2B8080, 0xEA8080, 0x51F05A, 0xEA8080, 0x51F05A, 0xEA8080,
    0x5050A6, 0x408473, 0x7F2EB6, 0x65B567, 0xD7807F, 0x9D9C73, 0x51F05A, 0x94B96C,
};

namespace {

const uint8_t packHeaderTemplate[14] = {0x00, 0x00, 0x01, 0xBA, 0, 0, 0, 0, 0, 0,
                                        0x01, 0x89, 0xC3, 0xF8};

// Rate bound 25200, one audio and one video stream, buffer sizes of the four stream
// classes (video 232 KiB, MPEG audio 4 KiB, private stream 1 58 KiB, private stream 2).
const uint8_t systemHeaderTemplate[24] = {0x00, 0x00, 0x01, 0xBB, 0x00, 0x12, 0x80, 0xC4,
                                          0xE1, 0x00, 0xE1, 0x7F, 0xB9, 0xE0, 0xE8, 0xB8,
                                          0xC0, 0x20, 0xBD, 0xE0, 0x3A, 0xBF, 0xE0, 0x02};

const int maxPayload = 2025;  // 2048 - 14 (pack header) - 9 (PES header without data)

// The 5-byte PES time stamp with a 4-bit prefix (bit 32 of the time is always 0).
void PutTimeStamp(uint8_t* p, int prefix, uint32_t t)
{
    p[0] = uint8_t(prefix << 4 | ((t >> 30) & 3) << 1 | 1);
    p[1] = uint8_t(t >> 22);
    p[2] = uint8_t((t >> 15) << 1 | 1);
    p[3] = uint8_t(t >> 7);
    p[4] = uint8_t(t << 1 | 1);
}

uint32_t GetTimeStamp(const uint8_t* p)
{
    return uint32_t((p[0] >> 1) & 3) << 30 | uint32_t(p[1]) << 22 | uint32_t(p[2] >> 1) << 15 |
           uint32_t(p[3]) << 7 | uint32_t(p[4] >> 1);
}

// A source time moved by an offset, truncated toward zero and kept to 32 bits.
uint32_t OffsetTime(double offset, uint32_t time)
{
    return uint32_t(int64_t(offset + double(time)));
}

}  // namespace

CDVDMplex::CDVDMplex(int64_t splitBytes_) : splitBytes(splitBytes_)
{
    std::memcpy(packHeader, packHeaderTemplate, sizeof packHeader);
    std::memcpy(systemHeader, systemHeaderTemplate, sizeof systemHeader);
    std::memcpy(colours, defaultColours, sizeof colours);
    std::memset(pack, 0, sizeof pack);
    scratchPgc.resize(1050624);
    scratchTmap.resize(144000);
    scratchCadt.resize(32768);
    scratchAdmap.resize(400000);
    vobus.reserve(size_t(maxVobus));
    vobuBlocks.reserve(size_t((maxVobus + vobuBlockSize - 1) / vobuBlockSize));
}

CDVDMplex::~CDVDMplex()
{
    if (file)
        std::fclose(file);
    delete video;
    delete audio;
}

void CDVDMplex::SetSources(CVideo* v, CAudio* a)
{
    if (v != video)
        delete video;
    if (a != audio)
        delete audio;
    video = v;
    audio = a;
}

void CDVDMplex::SetSubPictureSource(CSubPictureSource* source)
{
    subSource = source;
    subtitlesEnabled = source != nullptr;
    if (subtitlesEnabled && subPictureUnit.empty())
        subPictureUnit.resize(size_t(maxSubPictureUnit));
}

CVOBU* CDVDMplex::NewVobu()
{
    const size_t index = vobus.size();
    const size_t block = index / vobuBlockSize;
    if (block == vobuBlocks.size())
        vobuBlocks.push_back(std::make_unique<CVOBU[]>(size_t(vobuBlockSize)));
    CVOBU* v = &vobuBlocks[block][index % vobuBlockSize];
    *v = CVOBU();  // a record of an earlier title is reused: start from a fresh one
    return v;
}

void CDVDMplex::AddCell(double startSeconds, double endSeconds)
{
    if (int(cells.size()) >= maxCells)
        return;
    CCELL cell;
    cell.startTime = uint32_t(int32_t(startSeconds * 90000.0));
    cell.endTime = uint32_t(int32_t(endSeconds * 90000.0));
    cells.push_back(cell);
}

void CDVDMplex::PlanSlideshowCells(double seconds)
{
    double t = 0;
    for (; t < seconds; t += 120)
        AddCell(t, t + 120);
    AddCell(t, -1);
}

void CDVDMplex::PlanVideoFileCells(double b, double c)
{
    double p = b;
    if (b < c - 180) {
        uint32_t n = uint32_t(int64_t(c - b - 181)) / 180 + 1;
        for (uint32_t k = 0; k < n; ++k)
            AddCell(180.0 * k, 180.0 * (k + 1));
        p = b + 180.0 * n;
    }
    if (p < c - 16 && c - b > 16) {
        AddCell(p - b, c - b - 10);
        AddCell(c - b - 10, -1);
    } else {
        AddCell(p - b, -1);
    }
}

namespace {

// Seconds of a BCD playback time; frames count 1/25 s unless the rate bits say 30.
double BcdSeconds(const uint8_t* t)
{
    auto digits = [](uint8_t v) { return (v >> 4) * 10 + (v & 15); };
    double frameTime = (t[3] & 0xC0) < 0xC0 ? 0.04 : 0.033366700033366704;
    return digits(t[0]) * 3600.0 + digits(t[1]) * 60.0 + digits(t[2]) + digits(t[3] & 0x3F) * frameTime;
}

}  // namespace

bool CDVDMplex::PlanCellsFromSourceIfo(const std::string& sourcePath, bool openedAtSecondCell)
{
    // VTS_01_1.VOB -> VTS_01_0.IFO, in the file name's own case or in capitals.
    size_t slash = sourcePath.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (sourcePath.size() < nameStart + 5)
        return false;
    size_t digit = sourcePath.size() - 5;
    if (!std::isdigit(static_cast<unsigned char>(sourcePath[digit])))
        return false;
    std::string base = sourcePath.substr(0, digit) + "0";
    std::FILE* f = nullptr;
    for (const char* ext : {".IFO", ".ifo"}) {
        f = std::fopen((base + ext).c_str(), "rb");
        if (f)
            break;
    }
    if (!f) {
        std::string upper = base;
        for (size_t i = nameStart; i < upper.size(); ++i)
            upper[i] = char(std::toupper(static_cast<unsigned char>(upper[i])));
        f = std::fopen((upper + ".IFO").c_str(), "rb");
    }
    if (!f)
        return false;
    std::vector<uint8_t> mat(2048), pgcit(48000, 0);
    bool ok = std::fread(mat.data(), 1, mat.size(), f) == mat.size();
    if (ok) {
        uint32_t sector = GetBe32(&mat[0xCC]) & 0xFFFFFF;
        ok = std::fseek(f, long(sector) * 2048, SEEK_SET) == 0 && std::fread(pgcit.data(), 1, pgcit.size(), f) > 16;
    }
    std::fclose(f);
    if (!ok)
        return false;
    if (video)
        video->SetWideScreen(((mat[0x200] >> 2) & 3) == 3);

    uint32_t pgcOffset = GetBe32(&pgcit[0x0C]);
    if (pgcOffset + 0x100 > pgcit.size())
        return false;
    const uint8_t* pgc = &pgcit[pgcOffset];
    int programs = pgc[2];
    int cellCount = pgc[3];
    uint32_t mapOffset = uint32_t(pgc[0xE6] << 8 | pgc[0xE7]);
    uint32_t playbackOffset = uint32_t(pgc[0xE8] << 8 | pgc[0xE9]);
    if (programs == 0 || pgcOffset + mapOffset + uint32_t(programs) > pgcit.size() ||
        pgcOffset + playbackOffset + 24u * uint32_t(cellCount) > pgcit.size())
        return false;
    const uint8_t* playback = pgc + playbackOffset;
    bool skipFirst = openedAtSecondCell;
    if (cellCount >= 2) {
        uint32_t first = GetBe32(playback + 8), second = GetBe32(playback + 24 + 8);
        if (!(first & 0x80000000u) && first > 2000007 && second < first)
            skipFirst = true;
    }
    std::vector<double> starts{0.0};
    for (int p = 2; p <= programs; ++p) {
        int entry = pgc[mapOffset + uint32_t(p - 1)];
        double t = 0;
        for (int cell = skipFirst ? 2 : 1; cell < entry && cell <= cellCount; ++cell)
            t += BcdSeconds(playback + 24 * (cell - 1) + 4);
        starts.push_back(t);
    }
    for (size_t i = 0; i + 1 < starts.size(); ++i)
        AddCell(starts[i], starts[i + 1]);
    AddCell(starts.back(), -1);
    return true;
}

std::string CDVDMplex::VobPath(int n) const
{
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", vtsNumber, n);
    return folder + name;
}

std::string CDVDMplex::IfoPath() const
{
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", vtsNumber);
    return folder + name;
}

void CDVDMplex::Report(const std::string& text) const
{
    Ui().MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
}

bool CDVDMplex::OpenVobFile(int n)
{
    vobNumber = n;
    file = std::fopen(VobPath(n).c_str(), "wb");
    return file != nullptr;
}

bool CDVDMplex::OpenTitle(int vts, const std::string& outputFolder)
{
    folder = outputFolder;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
        folder += '/';
    vtsNumber = vts;
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    if (!OpenVobFile(1))
        return false;
    currentScr = 0;
    idleTime = 0;
    packsWritten = 0;
    vobus.clear();
    newVobu = true;
    if (video)
        frameRate = video->FrameRateClass() == 25 ? 25 : 30;
    std::memset(vobSectors, 0, sizeof vobSectors);
    return true;
}

void CDVDMplex::PutBcdTime(uint8_t* out, uint32_t ticks, int rate)
{
    auto bcd = [](uint32_t v) { return uint8_t(v + 6 * (v / 10)); };
    uint32_t seconds = ticks / 90000;
    out[0] = bcd(seconds / 3600);
    out[1] = bcd(seconds / 60 % 60);
    out[2] = bcd(seconds % 60);
    uint32_t frames = uint32_t(uint64_t(ticks % 90000) * uint32_t(rate) / 90000);
    out[3] = uint8_t(bcd(frames) | (rate == 30 ? 0xC0 : 0x40));
}

// Stamps the SCR into the pack buffer and writes it to the open VOB file.
bool CDVDMplex::WritePack()
{
    currentScr = double(packsWritten) * packTime + idleTime;
    int64_t s = int64_t(currentScr);
    if (s < lastScrWritten)
        Ui().MessageBox("Error 1173!", "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    lastScrWritten = s;
    uint64_t base = uint64_t(s) / 300;
    uint64_t ext = uint64_t(s) % 300;
    pack[4] = uint8_t(0x44 | ((base >> 30) & 3) << 3 | ((base >> 28) & 3));
    pack[5] = uint8_t(base >> 20);
    pack[6] = uint8_t(((base >> 15) << 3) | ((base >> 13) & 3) | 4);
    pack[7] = uint8_t(base >> 5);
    pack[8] = uint8_t((base << 3) | ((ext >> 7) & 3) | 4);
    pack[9] = uint8_t((ext << 1) | 1);
    if (std::fwrite(pack, 1, packSize, file) != size_t(packSize)) {
        Report("Cannot write " + VobPath(vobNumber) + ": " + std::strerror(errno));
        failed = true;
        return false;
    }
    ++packsWritten;
    return true;
}

// Pads a pack of which `used` bytes are filled and writes it. Spare room of 1 to 5
// bytes cannot hold a padding packet; when allowed, it becomes stuffing bytes of the
// pack's PES header instead (the header starts at offset 14).
bool CDVDMplex::FinishAndWritePack(int used, bool allowStuffing)
{
    int spare = packSize - used;
    if (spare > 0 && spare < 6) {
        if (!allowStuffing) {
            Report("Error Padding!");
            failed = true;
            return false;
        }
        int headerEnd = 23 + pack[22];
        std::memmove(pack + headerEnd + spare, pack + headerEnd, size_t(used - headerEnd));
        std::memset(pack + headerEnd, 0xFF, size_t(spare));
        pack[22] = uint8_t(pack[22] + spare);
        PutBe16(pack + 18, uint32_t(pack[18] << 8 | pack[19]) + uint32_t(spare));
        used = packSize;
        spare = 0;
    }
    if (spare > 0) {
        std::memset(pack + used, 0xFF, size_t(spare));
        pack[used] = 0x00;
        pack[used + 1] = 0x00;
        pack[used + 2] = 0x01;
        pack[used + 3] = 0xBE;
        PutBe16(pack + used + 4, uint32_t(spare - 6));
    }
    return WritePack();
}

bool CDVDMplex::Run()
{
    failed = false;
    videoEnded = false;
    audioEnded = false;
    newVobu = true;
    firstVideoPacket = firstAudioPacket = firstSubPacket = true;
    havePictureEnd = false;
    lastVideoPts = 0;
    startCodeCarry = 0xFFFFFFFFu;
    if (cells.empty())
        AddCell(0, -1);
    if (currentCell < 0 || currentCell >= int(cells.size()))
        currentCell = 0;
    if (!file || !video) {
        Report(file ? "The title has no video source." : "No VOB file is open for the title.");
        failed = true;
    }

    while (!failed && !videoEnded) {
        uint32_t now = uint32_t(int64_t(currentScr / 300.0));
        videoBuffer.Drain(now);
        audioBuffer.Drain(now);

        uint32_t e = OffsetTime(videoTimeOffset, video->CurrentPictureTime());
        uint32_t f = audio ? OffsetTime(audioTimeOffset, audio->FirstUnitTime()) : endOfStreamTime;
        if (video->CurrentPictureTime() >= endOfStreamTime || e >= endOfStreamTime)
            break;

        bool videoOk = videoBuffer.Free() > 2034 && double(e) < (currentScr + videoLead) / 300.0;
        if (double(e) - (currentScr - 4 * packTime) / 300.0 > 90000.0)
            videoOk = false;
        // Audio may go out while a VOBU is about to end: such packs still belong to the
        // ending VOBU, and the next NAV pack is written right before the next video pack.
        bool audioOk = audio && !audioEnded && audioBuffer.Free() > 2034 && f < endOfStreamTime &&
                       audio->FirstUnitTime() < endOfStreamTime && !vobus.empty();

        if (audioOk && e > f) {
            if (!SendAudioPack())
                break;
        } else if (videoOk) {
            if (!SendVideoPack(e))
                break;
        } else {
            Idle();
        }
    }

    if (!vobus.empty())
        CompleteTitle();
    if (file) {
        long length = std::ftell(file);
        if (length >= 0) {
            int32_t before = 0;
            for (int i = 1; i < vobNumber; ++i)
                before += vobSectors[i];
            vobSectors[vobNumber] = packsWritten - before;
        }
        if (std::fclose(file) != 0 && !failed) {
            Report("Cannot write " + VobPath(vobNumber) + ": " + std::strerror(errno));
            failed = true;
        }
        file = nullptr;
    }
    if (vobus.empty() && !failed) {
        Report("No video was produced for " + VobPath(1) + ".");
        failed = true;
    }
    return !failed;
}

void CDVDMplex::Idle()
{
    idleTime += packTime;
    currentScr = idleTime + double(packsWritten) * packTime;
    uint32_t t = 0;
    if (!videoBuffer.IsEmpty() && !audioBuffer.IsEmpty())
        t = std::min(videoBuffer.HeadTime(), audioBuffer.HeadTime());
    for (int i = 0; i < 20 && currentScr / 300.0 < double(t); ++i) {
        idleTime += packTime;
        currentScr = idleTime + double(packsWritten) * packTime;
    }
}

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
            if (count < maxStarts)
                starts[count] = i - 3;
            ++count;
        }
    }
    startCodeCarry = window;
    return count;
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
    // After a read that passed a picture start, the source's next-picture time is the
    // presentation end of that picture. The last read may already report the end of
    // the stream; then each picture it started lasts one frame period.
    int starts[64];
    int started = FindPictureStarts(payload, n, starts, 64);
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

    if (startsVobu && !StartVobu(pts))
        return false;
    if (subtitlesEnabled && !startsVobu && !SendSubPictureUnit(e))
        return false;

    if (double(e) - currentScr / 300.0 > 90000.0)
        Ui().MessageBox("TOO EARLY!", "Kestrova", MsgButtons::Ok, MsgIcon::Warning);

    std::memcpy(pack, packHeader, sizeof packHeader);
    uint8_t* p = pack + 14;
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = 0xE0;
    PutBe16(p + 4, uint32_t(3 + h + n));
    p[6] = 0x81;
    p[7] = uint8_t(h == 13 ? 0xC1 : (h == 10 ? 0xC0 : 0x00));
    p[8] = uint8_t(h);
    if (h > 0) {
        PutTimeStamp(p + 9, 3, pts);
        PutTimeStamp(p + 14, 1, e);
        if (GetTimeStamp(p + 14) != e)
            Ui().MessageBox("Wrong DTS!", "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        lastVideoPtsSent = pts;
    }
    if (h == 13) {
        p[19] = 0x1E;
        p[20] = 0x60;
        p[21] = 0xE8;
    }
    std::memcpy(pack + 23 + h, payload, size_t(n));
    videoBuffer.Push(e, n);
    firstVideoPacket = false;

    int32_t lbn = packsWritten;
    // A picture ends where the next one starts: in this pack, or in the previous video
    // pack when the start code began there.
    for (int i = 0; i < std::min(started, 64); ++i)
        TrackPictureStart(starts[i] > 0 ? lbn : lastVideoPackLbn);
    if (!FinishAndWritePack(23 + h + n, false))
        return false;
    lastVideoPackLbn = lbn;
    newVobu = video->IsDrained();
    if (subtitlesEnabled && startsVobu && !SendSubPictureUnit(e))
        return false;
    return true;
}

bool CDVDMplex::SendAudioPack()
{
    int kind = audio->StreamKind();
    bool mpeg = kind == CAudio::kindMp2;
    bool lpcm = kind == CAudio::kindLpcm;
    bool first = firstAudioPacket;
    // P-STD field in the first packet of the title and in every LPCM packet.
    bool pstd = first || lpcm;
    int hMax = pstd ? 8 : 5;
    int subHeader = mpeg ? 0 : (lpcm ? 7 : 4);
    // LPCM payloads hold whole stereo sample pairs: 2004 bytes at most.
    int request = mpeg ? maxPayload - hMax : (lpcm ? 2012 - hMax : 2021 - hMax);

    uint32_t timeBefore = audio->EndTime();
    uint32_t unitTime = OffsetTime(audioTimeOffset, timeBefore);
    uint8_t payload[maxPayload];
    int n = audio->Read(payload, request);
    if (n <= 0) {
        audioEnded = true;  // nothing more, whatever its times say
        return true;
    }
    n = std::min(n, request);
    bool unitStarts = mpeg ? audio->EndTime() != timeBefore : audio->UnitCount() > 0;
    int h = (unitStarts ? 5 : 0) + (pstd ? 3 : 0);

    std::memcpy(pack, packHeader, sizeof packHeader);
    uint8_t* p = pack + 14;
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = mpeg ? 0xC0 : 0xBD;
    PutBe16(p + 4, uint32_t(3 + h + subHeader + n));
    p[6] = 0x81;
    p[7] = uint8_t((unitStarts ? 0x80 : 0x00) | (pstd ? 0x01 : 0x00));
    p[8] = uint8_t(h);
    uint8_t* q = p + 9;
    if (unitStarts) {
        PutTimeStamp(q, 2, unitTime);
        q += 5;
    }
    if (pstd) {
        q[0] = 0x1E;
        q[1] = mpeg ? 0x40 : 0x60;
        q[2] = mpeg ? 0x20 : 0x3A;
        q += 3;
    }
    if (lpcm) {
        q[0] = 0xA0;
        q[1] = uint8_t(audio->UnitCount());
        PutBe16(q + 2, uint32_t(audio->FirstUnitOffset() + 4));
        q[4] = uint8_t(audio->LpcmFrameInfo());
        q[5] = 0x01;
        q[6] = 0x80;
    } else if (!mpeg) {
        q[0] = 0x80;
        q[1] = uint8_t(audio->UnitCount());
        PutBe16(q + 2, uint32_t(audio->FirstUnitOffset() + 1));
    }
    q += subHeader;
    std::memcpy(q, payload, size_t(n));
    int used = int(q - pack) + n;

    audioBuffer.Push(unitTime, n);
    firstAudioPacket = false;
    int32_t lbn = packsWritten;
    if (!mpeg && audioSyncPending && !vobus.empty()) {
        CVOBU& v = *vobus.back();
        int32_t vobuLbn = int32_t(v.Lbn());
        uint32_t sync = lbn - vobuLbn > 0 ? uint32_t(lbn - vobuLbn)
                                          : (uint32_t(vobuLbn - lbn) | 0x8000u);
        v.Put16(CVOBU::dsiOffset + 402, uint16_t(sync));
        audioSyncPending = false;
    }
    return FinishAndWritePack(used, true);
}

bool CDVDMplex::SendSubPictureUnit(uint32_t e)
{
    uint32_t next = subSource->NextUnitTime();
    if (next >= endOfStreamTime)
        return true;
    uint32_t due = OffsetTime(videoTimeOffset + 13500.0, next);
    if (e < due)
        return true;
    uint8_t* unit = subPictureUnit.data();
    // A source reporting more than it was given room for is held to that room.
    int size = std::min(subSource->ReadUnit(unit, maxSubPictureUnit), maxSubPictureUnit);
    int sent = 0;
    bool firstOfUnit = true;
    while (sent < size) {
        int h = firstSubPacket ? 8 : (firstOfUnit ? 5 : 0);
        int n = std::min(size - sent, 2024 - h);
        std::memcpy(pack, packHeader, sizeof packHeader);
        uint8_t* p = pack + 14;
        p[0] = 0x00;
        p[1] = 0x00;
        p[2] = 0x01;
        p[3] = 0xBD;
        PutBe16(p + 4, uint32_t(h + n + 4));
        p[6] = 0x81;
        p[7] = uint8_t(h == 8 ? 0x81 : (h == 5 ? 0x80 : 0x00));
        p[8] = uint8_t(h);
        if (h > 0)
            PutTimeStamp(p + 9, 2, due);
        if (h == 8) {
            p[14] = 0x1E;
            p[15] = 0x60;
            p[16] = 0x3A;
        }
        p[9 + h] = 0x20;
        std::memcpy(p + 10 + h, unit + sent, size_t(n));
        if (subSyncPending && !vobus.empty()) {
            vobus.back()->PutDsi32(418, 0x7FFFFFFF);
            subSyncPending = false;
        }
        firstSubPacket = false;
        firstOfUnit = false;
        sent += n;
        // A unit's last packet may leave 1 to 5 bytes: they become header stuffing.
        if (!FinishAndWritePack(24 + h + n, true))
            return false;
    }
    return true;
}

// Called for each picture start of the VOBU in order. The start of picture j + 1 marks
// the end of picture j; the ends of the first three pictures are the VOBU's reference
// end addresses.
void CDVDMplex::TrackPictureStart(int32_t endLbn)
{
    ++picturesInVobu;
    if (picturesInVobu < 2 || picturesInVobu > 4 || vobus.empty())
        return;
    CVOBU& v = *vobus.back();
    int32_t ea = endLbn - int32_t(v.Lbn());
    v.PutDsi32(12 + 4 * (picturesInVobu - 2), uint32_t(std::max(ea, 0)));
}

bool CDVDMplex::SplitVobFileIfFull()
{
    long length = std::ftell(file);
    if (length < 0 || int64_t(length) < splitBytes || vobNumber >= maxVobFiles)
        return true;
    vobSectors[vobNumber] = int32_t(length / packSize);
    if (std::fclose(file) != 0) {
        file = nullptr;
        Report("Cannot write " + VobPath(vobNumber) + ": " + std::strerror(errno));
        failed = true;
        return false;
    }
    file = nullptr;
    if (!OpenVobFile(vobNumber + 1)) {
        Report("Cannot create " + VobPath(vobNumber) + ": " + std::strerror(errno));
        failed = true;
        return false;
    }
    return true;
}

void CDVDMplex::CheckCellBoundary(uint32_t s)
{
    if (vobus.empty()) {
        // The first cell starts at the first VOBU, so chapter 1 starts at time 0.
        CCELL& c = cells[currentCell];
        c.startTime = s;
        c.firstSector = packsWritten;
        c.firstVobu = 0;
        return;
    }
    if (currentCell + 1 >= int(cells.size()) || s < cells[currentCell].endTime)
        return;
    // Planned cells that would hold no VOBU at all are merged into the next one.
    while (currentCell + 2 < int(cells.size()) && s >= cells[currentCell + 1].endTime)
        cells.erase(cells.begin() + currentCell + 1);
    CCELL& c = cells[currentCell];
    c.endTime = s;
    c.lastSector = packsWritten - 1;
    c.lastVobu = int32_t(vobus.size()) - 1;
    ++currentCell;
    CCELL& n = cells[currentCell];
    n.startTime = s;
    n.firstSector = packsWritten;
    n.firstVobu = int32_t(vobus.size());
    pendingCellStart = true;
}

bool CDVDMplex::StartVobu(uint32_t s)
{
    if (int(vobus.size()) >= maxVobus) {
        Report("The title in " + VobPath(vobNumber) + " is too long: more than 40960 VOBUs.");
        failed = true;
        return false;
    }
    if (!SplitVobFileIfFull())
        return false;
    pendingCellStart = false;
    CheckCellBoundary(s);

    // The record joins the list at the end, once the previous unit has been linked.
    CVOBU& v = *NewVobu();
    v.cellIndex = currentCell;
    v.startsCell = vobus.empty() || pendingCellStart;

    std::memset(pack, 0, sizeof pack);
    std::memcpy(pack, packHeader, sizeof packHeader);
    std::memcpy(pack + 14, systemHeader, sizeof systemHeader);
    const uint8_t pciHeader[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xD4, 0x00};
    const uint8_t dsiHeader[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
    std::memcpy(pack + 38, pciHeader, 7);
    std::memcpy(pack + 1024, dsiHeader, 7);
    std::memcpy(v.image, pack, sizeof pack);

    const CCELL& cell = cells[currentCell];
    uint32_t lbn = uint32_t(packsWritten);
    uint8_t elapsed[4];
    PutBcdTime(elapsed, s - cell.startTime, frameRate);

    v.PutPci32(0, lbn);
    v.PutPci32(12, s);
    v.PutPci32(16, s + 45000);
    std::memcpy(v.image + CVOBU::pciOffset + 24, elapsed, 4);

    v.PutDsi32(0, uint32_t(int64_t((double(packsWritten) * packTime + idleTime) / 300.0)));
    v.PutDsi32(4, lbn);
    v.PutDsi32(8, 0xFF);
    v.Put16(CVOBU::dsiOffset + 24, 1);
    v.image[CVOBU::dsiOffset + 27] = uint8_t(currentCell + 1);
    std::memcpy(v.image + CVOBU::dsiOffset + 28, elapsed, 4);
    v.PutDsi32(44, vobus.empty() ? s : vobus.front()->GetDsi32(44));

    v.PutDsi32(234, 0xBFFFFFFF);
    for (int i = 0; i < 19; ++i)
        v.PutDsi32(238 + 4 * i, 0x3FFFFFFF);
    v.PutDsi32(314, 0x3FFFFFFF);
    for (int i = 0; i < 19; ++i)
        v.PutDsi32(322 + 4 * i, 0x3FFFFFFF);
    if (vobus.empty()) {
        v.PutDsi32(318, 0x3FFFFFFF);
        v.PutDsi32(398, 0xBFFFFFFF);
    } else {
        CVOBU& prev = *vobus.back();
        uint32_t diff = lbn - prev.Lbn();
        v.PutDsi32(318, diff | 0x80000000u);
        v.PutDsi32(398, diff | 0x80000000u);
        prev.PutPci32(16, s);
        prev.PutDsi32(8, diff - 1);
        // Forward links stop at cell boundaries; backward links do not.
        if (!v.startsCell) {
            prev.PutDsi32(234, diff | 0x80000000u);
            prev.PutDsi32(314, diff | 0x80000000u);
        }
    }
    if (subtitlesEnabled)
        v.PutDsi32(418, 0x7FFFFFFF);

    audioSyncPending = true;
    subSyncPending = true;
    picturesInVobu = 0;

    vobus.push_back(&v);
    std::memcpy(pack, v.image, sizeof pack);
    if (!WritePack())
        return false;
    std::memcpy(v.image + 4, pack + 4, 6);  // the SCR just stamped
    return true;
}

void CDVDMplex::CompleteTitle()
{
    if (currentCell < int(cells.size()) - 1)
        cells.resize(size_t(currentCell) + 1);
    CCELL& last = cells.back();
    last.endTime = lastVideoPts;
    last.lastSector = packsWritten - 1;
    last.lastVobu = int32_t(vobus.size()) - 1;
    for (const CCELL& c : cells) {
        if (c.lastVobu < 0 || c.lastVobu >= int(vobus.size()))
            continue;
        CVOBU& v = *vobus[size_t(c.lastVobu)];
        v.PutDsi32(234, 0xBFFFFFFF);
        for (int i = 0; i < 19; ++i)
            v.PutDsi32(238 + 4 * i, 0x3FFFFFFF);
        v.PutDsi32(314, 0x3FFFFFFF);
    }
    CVOBU& lastVobu = *vobus.back();
    lastVobu.PutPci32(16, lastVideoPts);
    lastVobu.PutDsi32(8, uint32_t(packsWritten) - lastVobu.Lbn() - 1);
    for (auto& v : vobus)
        v->PutDsi32(48, lastVideoPts);
}

bool CDVDMplex::PatchNavPacks()
{
    CProgress progress;
    progress.Open("Kestrova", "Creating DVD video data");
    std::FILE* out = nullptr;
    int openFile = -1;
    bool ok = true;
    for (size_t i = 0; i < vobus.size(); ++i) {
        if (i % 10 == 0) {
            progress.SetPercent(int(i * 100 / vobus.size()));
            progress.Pump();
        }
        int64_t lbn = vobus[i]->Lbn();
        int j = 0;
        for (; j < 10; ++j) {
            if (lbn < vobSectors[j])
                break;
            lbn -= vobSectors[j];
        }
        if (j == 10) {
            ok = false;
            continue;
        }
        if (j != openFile) {
            if (out && std::fclose(out) != 0)
                ok = false;
            out = std::fopen(VobPath(j).c_str(), "r+b");
            openFile = out ? j : -1;
            if (!out) {
                ok = false;
                continue;
            }
        }
        if (std::fseek(out, long(lbn * packSize), SEEK_SET) != 0 ||
            std::fwrite(vobus[i]->image, 1, packSize, out) != size_t(packSize))
            ok = false;
    }
    if (out && std::fclose(out) != 0)
        ok = false;
    if (!ok)
        Report("Cannot complete the navigation data of " + VobPath(1) + ".");
    return ok;
}

int CDVDMplex::BuildPgcit(uint8_t* out) const
{
    int n = int(cells.size());
    int p = 0x104 + n;
    p += p & 1;
    int pgcLength = p + 24 * n + 4 * n;
    std::memset(out, 0, size_t(16 + pgcLength));
    PutBe16(out, 1);
    PutBe32(out + 4, uint32_t(16 + pgcLength - 1));
    out[8] = 0x81;
    PutBe32(out + 12, 0x10);

    uint8_t* g = out + 16;
    g[2] = uint8_t(n);
    g[3] = uint8_t(n);
    PutBcdTime(g + 4, cells.back().endTime - cells.front().startTime, frameRate);
    g[0x0C] = 0x80;
    if (subtitlesEnabled)
        g[0x1C] = 0x80;
    for (int i = 0; i < 16; ++i)
        PutBe32(g + 0xA4 + 4 * i, colours[i] & 0xFFFFFF);
    PutBe16(g + 0xE4, 0xEC);
    PutBe16(g + 0xE6, 0x104);
    PutBe16(g + 0xE8, uint32_t(p));
    PutBe16(g + 0xEA, uint32_t(p + 24 * n));
    PutBe16(g + 0xEC + 2, 2);
    PutBe16(g + 0xEC + 6, 0x17);
    const uint8_t post[16] = {0x53, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                              0x30, 0x08, 0x00, 0x00, 0x01, 0x42, 0x00, 0x00};
    std::memcpy(g + 0xF4, post, sizeof post);
    for (int k = 0; k < n; ++k) {
        g[0x104 + k] = uint8_t(k + 1);
        const CCELL& c = cells[size_t(k)];
        uint8_t* e = g + p + 24 * k;
        e[0] = k == 0 ? 0x02 : 0x08;
        PutBcdTime(e + 4, c.endTime - c.startTime, frameRate);
        PutBe32(e + 8, uint32_t(c.firstSector));
        int lastVobu = std::clamp(c.lastVobu, 0, int(vobus.size()) - 1);
        PutBe32(e + 16, vobus[size_t(lastVobu)]->Lbn());
        PutBe32(e + 20, uint32_t(c.lastSector));
        uint8_t* pos = g + p + 24 * n + 4 * k;
        PutBe16(pos, 1);
        pos[3] = uint8_t(k + 1);
    }
    return (16 + pgcLength + 2047) / 2048;
}

int CDVDMplex::BuildTmapt(uint8_t* out) const
{
    uint32_t first = cells.front().startTime;
    uint32_t s = (cells.back().endTime - first) / 90000;
    if (s < 1)
        s = 1;
    // The map has room for 36,000 entries (ten hours); longer titles are not allowed.
    s = std::min<uint32_t>(s, 35990);
    size_t bytes = size_t(4 * s + 8);
    std::memset(out, 0, bytes);
    PutBe16(out, 1);
    PutBe32(out + 8, 0x0C);
    if (s == 1) {
        PutBe32(out + 4, 15);
        return 1;
    }
    PutBe32(out + 4, 4 * s + 7);
    out[0x0C] = 1;
    PutBe16(out + 0x0E, s - 2);
    size_t v = 0;
    int previousCell = -1;
    for (uint32_t i = 1; i <= s - 2; ++i) {
        while (v + 1 < vobus.size() && vobus[v + 1]->StartPtm() - first < i * 90000u)
            ++v;
        uint8_t* entry = out + 0x10 + 4 * (i - 1);
        PutBe32(entry, vobus[v]->Lbn());
        int cell = vobus[v]->cellIndex;
        if (i > 1 && cell != previousCell)
            entry[-4] |= 0x80;
        previousCell = cell;
    }
    return int((4 * s + 2055) / 2048);
}

int CDVDMplex::BuildCadt(uint8_t* out) const
{
    int n = int(cells.size());
    std::memset(out, 0, size_t(12 * n + 8));
    PutBe16(out, 1);
    PutBe32(out + 4, uint32_t(12 * n + 7));
    for (int k = 0; k < n; ++k) {
        uint8_t* e = out + 8 + 12 * k;
        PutBe16(e, 1);
        e[2] = uint8_t(k + 1);
        PutBe32(e + 4, uint32_t(cells[size_t(k)].firstSector));
        PutBe32(e + 8, uint32_t(cells[size_t(k)].lastSector));
    }
    return (12 * n + 2055) / 2048;
}

int CDVDMplex::BuildVobuAdmap(uint8_t* out) const
{
    size_t v = vobus.size();
    PutBe32(out, uint32_t(4 * v + 3));
    for (size_t i = 0; i < v; ++i)
        PutBe32(out + 4 + 4 * i, vobus[i]->Lbn());
    return int((4 * v + 2051) / 2048);
}

bool CDVDMplex::WriteVtsIfo()
{
    if (vobus.empty() || cells.empty() || !video)
        return false;
    int n = int(cells.size());
    int a = BuildPgcit(scratchPgc.data());
    int b = BuildTmapt(scratchTmap.data());
    int c = BuildCadt(scratchCadt.data());
    int d = BuildVobuAdmap(scratchAdmap.data());
    int total = a + b + c + d + 2;

    std::vector<uint8_t> ifo(size_t(total) * packSize, 0);
    uint8_t* mat = ifo.data();
    std::memcpy(mat, "DVDVIDEO-VTS", 12);
    PutBe32(mat + 0x0C, uint32_t(2 * total + packsWritten - 1));
    PutBe32(mat + 0x1C, uint32_t(total - 1));
    PutBe16(mat + 0x20, 0x0011);
    PutBe32(mat + 0x80, 0x7FF);
    PutBe32(mat + 0xC4, uint32_t(total));
    PutBe32(mat + 0xC8, 1);
    PutBe32(mat + 0xCC, 2);
    PutBe32(mat + 0xD4, uint32_t(a + 2));
    PutBe32(mat + 0xE0, uint32_t(a + b + 2));
    PutBe32(mat + 0xE4, uint32_t(a + b + c + 2));
    mat[0x200] = uint8_t((frameRate == 30 ? 0x40 : 0x50) | (video->IsWideScreen() ? 0x0C : 0x03));
    mat[0x201] = uint8_t(video->ResolutionCode() * 8);
    mat[0x203] = 1;
    if (audio) {
        static const uint8_t codingModes[5] = {0x00, 0x80, 0xC0, 0x60, 0x40};
        int kind = audio->StreamKind();
        uint8_t mode = kind >= 0 && kind < 5 ? codingModes[kind] : 0x40;
        if (audio->IsSurround()) {
            mode |= 0x02;
            mat[0x204 + 7] = 0x08;
        }
        mat[0x204] = mode;
        mat[0x205] = uint8_t((audio->QuantisationCode() * 4 + audio->SampleRateCode()) * 16 +
                             (audio->ChannelCount() - 1));
    } else {
        mat[0x204] = 0x40;  // an MPEG-1 stream that is never sent
        mat[0x205] = 0x01;
    }
    mat[0x255] = subtitlesEnabled ? 1 : 0;

    uint8_t* ptt = ifo.data() + packSize;
    PutBe16(ptt, 1);
    PutBe32(ptt + 4, uint32_t(4 * n + 11));
    PutBe32(ptt + 8, 0x0C);
    for (int k = 1; k <= n; ++k) {
        PutBe16(ptt + 0x0C + 4 * (k - 1), 1);
        PutBe16(ptt + 0x0C + 4 * (k - 1) + 2, uint32_t(k));
    }

    uint8_t* at = ifo.data() + 2 * packSize;
    std::memcpy(at, scratchPgc.data(), size_t(a) * packSize);
    at += size_t(a) * packSize;
    std::memcpy(at, scratchTmap.data(), size_t(b) * packSize);
    at += size_t(b) * packSize;
    std::memcpy(at, scratchCadt.data(), size_t(c) * packSize);
    at += size_t(c) * packSize;
    std::memcpy(at, scratchAdmap.data(), size_t(d) * packSize);

    std::string path = IfoPath();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(ifo.data(), 1, ifo.size(), out) == ifo.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

void CDVDMplex::RemoveVobFiles() const
{
    for (int i = 1; i <= maxVobFiles; ++i)
        std::remove(VobPath(i).c_str());
}
