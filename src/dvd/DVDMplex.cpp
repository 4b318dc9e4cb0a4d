#include "dvd/DVDMplex.h"

#include "audio/Audio.h"
#include "base/Bytes.h"
#include "base/DvdFileNames.h"
#include "base/UiPort.h"
#include "dvd/NavPack.h"
#include "dvd/PesHeader.h"
#include "dvd/VtsIfo.h"
#include "mpeg2enc/Video.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

const uint32_t CDVDMplex::defaultColours[16] = {
    0xDB8B3B, 0x84855D, 0x2B8080, 0xEA8080, 0x51F05A, 0xEA8080, 0x51F05A, 0xEA8080,
    0x5050A6, 0x408473, 0x7F2EB6, 0x65B567, 0xD7807F, 0x9D9C73, 0x51F05A, 0x94B96C,
};

namespace {

const uint8_t packHeaderTemplate[14] = {0x00, 0x00, 0x01, 0xBA, 0, 0, 0, 0, 0, 0, 0x01, 0x89, 0xC3, 0xF8};

// Rate bound 25200, one audio and one video stream, buffer sizes of the four stream
// classes (video 232 KiB, MPEG audio 4 KiB, private stream 1 58 KiB, private stream 2).
const uint8_t systemHeaderTemplate[24] = {0x00, 0x00, 0x01, 0xBB, 0x00, 0x12, 0x80, 0xC4, 0xE1, 0x00, 0xE1, 0x7F,
                                          0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20, 0xBD, 0xE0, 0x3A, 0xBF, 0xE0, 0x02};

// PES header fields the stuffing of a full pack adjusts (pack offsets).
constexpr int kPesLengthAt = kPackHeaderLength + 4;
constexpr int kPesDataLengthAt = kPackHeaderLength + 8;
constexpr uint8_t kPaddingStream = 0xBE;

}  // namespace

CDVDMplex::CDVDMplex(CUiPort& ui_, SMuxRunContext& run_, int64_t splitBytes_)
    : ui(ui_), run(run_), splitBytes(splitBytes_)
{
    std::memcpy(packHeader, packHeaderTemplate, sizeof packHeader);
    std::memcpy(systemHeader, systemHeaderTemplate, sizeof systemHeader);
    std::memcpy(colours, defaultColours, sizeof colours);
    std::memset(pack, 0, sizeof pack);
    vobus.reserve(size_t(maxVobus));
    vobuBlocks.reserve(size_t((maxVobus + vobuBlockSize - 1) / vobuBlockSize));
}

CDVDMplex::~CDVDMplex() = default;

void CDVDMplex::SetSources(std::unique_ptr<CVideo> v, std::unique_ptr<CAudio> a)
{
    video = std::move(v);
    audio = std::move(a);
}

void CDVDMplex::SetSubPictureSource(CSubPictureSource* source)
{
    subSource = source;
    subtitlesEnabled = source != nullptr;
    if (subtitlesEnabled && subPictureUnit.empty()) subPictureUnit.resize(size_t(maxSubPictureUnit));
}

CVOBU* CDVDMplex::NewVobu()
{
    const size_t index = vobus.size();
    const size_t block = index / vobuBlockSize;
    if (block == vobuBlocks.size()) vobuBlocks.push_back(std::make_unique<CVOBU[]>(size_t(vobuBlockSize)));
    CVOBU* v = &vobuBlocks[block][index % vobuBlockSize];
    *v = CVOBU();  // a record of an earlier title is reused: start from a fresh one
    return v;
}

void CDVDMplex::AddCell(double startSeconds, double endSeconds)
{
    if (int(cells.size()) >= maxCells) return;
    CCELL cell;
    cell.startTime = uint32_t(int32_t(startSeconds * 90000.0));
    cell.endTime = uint32_t(int32_t(endSeconds * 90000.0));
    cells.push_back(cell);
}

void CDVDMplex::AddCells(const std::vector<SCellSpan>& plan)
{
    for (const SCellSpan& span : plan) AddCell(span.start, span.end);
}

std::string CDVDMplex::VobPath(int n) const { return folder + VtsFileName(vtsNumber, n, "VOB"); }

std::string CDVDMplex::IfoPath() const { return folder + VtsFileName(vtsNumber, 0, "IFO"); }

void CDVDMplex::Report(const std::string& text)
{
    if (error.empty()) error = text;
    ui.MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
}

void CDVDMplex::Warn(const std::string& text) { ui.MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Warning); }

bool CDVDMplex::OpenVobFile(int n)
{
    vobNumber = n;
    file = OpenFile(VobPath(n), "wb");
    return file != nullptr;
}

bool CDVDMplex::OpenTitle(int vts, const std::string& outputFolder)
{
    folder = outputFolder;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
    vtsNumber = vts;
    error.clear();
    file.reset();
    if (!OpenVobFile(1)) return false;
    currentScr = 0;
    idleTime = 0;
    packsWritten = 0;
    vobus.clear();
    newVobu = true;
    if (video) frameRate = video->FrameRateClass() == 25 ? 25 : 30;
    std::memset(vobSectors, 0, sizeof vobSectors);
    return true;
}

// Stamps the SCR into the pack buffer and writes it to the open VOB file.
bool CDVDMplex::WritePack()
{
    currentScr = double(packsWritten) * packTime + idleTime;
    int64_t s = int64_t(currentScr);
    if (s < run.lastScrWritten) Warn("Error 1173!");
    run.lastScrWritten = s;
    PutPackScr(pack, s);
    if (std::fwrite(pack, 1, packSize, file.get()) != size_t(packSize)) {
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
        int headerEnd = kPackHeaderLength + kPesFixedHeaderLength + pack[kPesDataLengthAt];
        std::memmove(pack + headerEnd + spare, pack + headerEnd, size_t(used - headerEnd));
        std::memset(pack + headerEnd, 0xFF, size_t(spare));
        pack[kPesDataLengthAt] = uint8_t(pack[kPesDataLengthAt] + spare);
        PutBe16(pack + kPesLengthAt, GetBe16(pack + kPesLengthAt) + uint32_t(spare));
        used = packSize;
        spare = 0;
    }
    if (spare > 0) {
        std::memset(pack + used, 0xFF, size_t(spare));
        pack[used] = 0x00;
        pack[used + 1] = 0x00;
        pack[used + 2] = 0x01;
        pack[used + 3] = kPaddingStream;
        PutBe16(pack + used + 4, uint32_t(spare - 6));
    }
    return WritePack();
}

bool CDVDMplex::Run()
{
    failed = false;
    videoEnded = false;
    audioEnded = false;
    if (audio) audioFrames.Start(audio->StreamKind());
    newVobu = true;
    firstVideoPacket = firstAudioPacket = firstSubPacket = true;
    havePictureEnd = false;
    lastVideoPts = 0;
    startCodeCarry = 0xFFFFFFFFu;
    if (cells.empty()) AddCell(0, -1);
    if (currentCell < 0 || currentCell >= int(cells.size())) currentCell = 0;
    if (!file || !video) {
        Report(file ? "The title has no video source." : "No VOB file is open for the title.");
        failed = true;
    }

    while (!failed && !videoEnded) {
        if (!MultiplexStep()) break;
    }
    if (!failed && audio && !vobus.empty()) FinishAudio();

    if (!vobus.empty()) CompleteTitle();
    CloseVobAfterRun();
    if (vobus.empty() && !failed) {
        Report("No video was produced for " + VobPath(1) + ".");
        failed = true;
    }
    return !failed;
}

// Sends one pack (audio when its next unit is due before the next picture, else video
// when the buffer model allows) or lets time pass. Returns false to end the title.
bool CDVDMplex::MultiplexStep()
{
    uint32_t now = uint32_t(int64_t(currentScr / 300.0));
    videoBuffer.Drain(now);
    audioBuffer.Drain(now);

    uint32_t e = OffsetTime(videoTimeOffset, video->CurrentPictureTime());
    uint32_t f = audio ? OffsetTime(audioTimeOffset, audio->FirstUnitTime()) : endOfStreamTime;
    if (video->CurrentPictureTime() >= endOfStreamTime || e >= endOfStreamTime) return false;

    bool videoOk = videoBuffer.Free() > 2034 && double(e) < (currentScr + videoLead) / 300.0;
    if (double(e) - (currentScr - 4 * packTime) / 300.0 > 90000.0) videoOk = false;
    // Audio may go out while a VOBU is about to end: such packs still belong to the
    // ending VOBU, and the next NAV pack is written right before the next video pack.
    bool audioOk = audio && !audioEnded && audioBuffer.Free() > 2034 && f < endOfStreamTime &&
        audio->FirstUnitTime() < endOfStreamTime && !vobus.empty();

    if (audioOk && e > f) return SendAudioPack();
    if (videoOk) return SendVideoPack(e);
    Idle();
    return true;
}

// After the last picture: audio packs until the audio reaches the end of the last
// picture, then packs of just the bytes that complete the frame in hand (Layer II and
// AC-3) or sample pair (linear PCM). A decoder that is handed the title's last audio
// packet must find a whole frame in it. Returns false when a pack could not be written.
bool CDVDMplex::FinishAudio()
{
    while (!failed && !audioEnded) {
        const uint32_t now = uint32_t(int64_t(currentScr / 300.0));
        videoBuffer.Drain(now);
        audioBuffer.Drain(now);
        const uint32_t next = audio->FirstUnitTime();
        int limit = packSize;
        if (next >= endOfStreamTime || OffsetTime(audioTimeOffset, next) >= lastVideoPts) {
            limit = audioFrames.BytesToUnitEnd();
            if (limit <= 0) break;
        }
        if (audioBuffer.Free() <= 2034) {
            Idle();
            continue;
        }
        if (!SendAudioPack(limit)) return false;
    }
    return !failed;
}

void CDVDMplex::CloseVobAfterRun()
{
    if (!file) return;
    long length = std::ftell(file.get());
    if (length >= 0) {
        int32_t before = 0;
        for (int i = 1; i < vobNumber; ++i) before += vobSectors[i];
        vobSectors[vobNumber] = packsWritten - before;
    }
    if (std::fclose(file.release()) != 0 && !failed) {
        Report("Cannot write " + VobPath(vobNumber) + ": " + std::strerror(errno));
        failed = true;
    }
}

void CDVDMplex::Idle()
{
    idleTime += packTime;
    currentScr = idleTime + double(packsWritten) * packTime;
    uint32_t t = 0;
    if (!videoBuffer.IsEmpty() && !audioBuffer.IsEmpty()) t = std::min(videoBuffer.HeadTime(), audioBuffer.HeadTime());
    for (int i = 0; i < 20 && currentScr / 300.0 < double(t); ++i) {
        idleTime += packTime;
        currentScr = idleTime + double(packsWritten) * packTime;
    }
}

bool CDVDMplex::SplitVobFileIfFull()
{
    long length = std::ftell(file.get());
    if (length < 0 || int64_t(length) < splitBytes || vobNumber >= maxVobFiles) return true;
    vobSectors[vobNumber] = int32_t(length / packSize);
    if (std::fclose(file.release()) != 0) {
        Report("Cannot write " + VobPath(vobNumber) + ": " + std::strerror(errno));
        failed = true;
        return false;
    }
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
    if (currentCell + 1 >= int(cells.size()) || s < cells[currentCell].endTime) return;
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
    if (!SplitVobFileIfFull()) return false;
    pendingCellStart = false;
    CheckCellBoundary(s);

    // The record joins the list at the end, once the previous unit has been linked.
    CVOBU& v = *NewVobu();
    v.cellIndex = currentCell;
    v.startsCell = vobus.empty() || pendingCellStart;

    SNavStart start;
    start.lbn = uint32_t(packsWritten);
    start.startPts = s;
    start.scr = uint32_t(int64_t((double(packsWritten) * packTime + idleTime) / 300.0));
    start.cellElapsed = s - cells[currentCell].startTime;
    start.titleStartPts = vobus.empty() ? s : nav::TitleStartPts(*vobus.front());
    start.frameRate = frameRate;
    start.cellNumber = currentCell + 1;
    start.subPictures = subtitlesEnabled;
    nav::StartNavPack(v, vobus.empty() ? nullptr : vobus.back(), packHeader, systemHeader, start);

    audioSyncPending = true;
    subSyncPending = true;
    picturesInVobu = 0;

    vobus.push_back(&v);
    std::memcpy(pack, v.image, sizeof pack);
    if (!WritePack()) return false;
    std::memcpy(v.image + 4, pack + 4, 6);  // the SCR just stamped
    return true;
}

void CDVDMplex::CompleteTitle()
{
    if (currentCell < int(cells.size()) - 1) cells.resize(size_t(currentCell) + 1);
    CCELL& last = cells.back();
    last.endTime = lastVideoPts;
    last.lastSector = packsWritten - 1;
    last.lastVobu = int32_t(vobus.size()) - 1;
    nav::CompleteTitle(vobus, cells, lastVideoPts, packsWritten);
}

bool CDVDMplex::PatchNavPacks()
{
    bool ok = nav::WriteNavPacks(ui, vobus, vobSectors, [this](int n) { return VobPath(n); });
    if (!ok) Report("Cannot complete the navigation data of " + VobPath(1) + ".");
    return ok;
}

bool CDVDMplex::WriteVtsIfo()
{
    if (vobus.empty() || cells.empty() || !video) return false;
    SVtsTitle title{cells, vobus, packsWritten, colours, SVtsStreams()};
    SVtsStreams& s = title.streams;
    s.frameRate = frameRate;
    s.wideScreen = video->IsWideScreen();
    s.resolutionCode = video->ResolutionCode();
    s.subPictures = subtitlesEnabled;
    if (audio) {
        s.hasAudio = true;
        s.audioKind = audio->StreamKind();
        s.surround = audio->IsSurround();
        s.quantisationCode = audio->QuantisationCode();
        s.sampleRateCode = audio->SampleRateCode();
        s.channels = audio->ChannelCount();
    }
    const std::vector<uint8_t> ifo = BuildVtsIfo(title);

    std::string path = IfoPath();
    FilePtr out = OpenFile(path, "wb");
    if (!out) return false;
    bool ok = std::fwrite(ifo.data(), 1, ifo.size(), out.get()) == ifo.size();
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) std::remove(path.c_str());
    return ok;
}

void CDVDMplex::RemoveVobFiles() const
{
    for (int i = 1; i <= maxVobFiles; ++i) std::remove(VobPath(i).c_str());
}
