#include "dvd/NavPack.h"

#include "base/File.h"
#include "base/Progress.h"
#include "dvd/DvdTime.h"

#include <algorithm>
#include <cstring>

namespace {

// PCI fields, from the start of the PCI data.
constexpr int kPciNvPckLbn = 0;
constexpr int kPciVobuSPtm = 12;
constexpr int kPciVobuEPtm = 16;
constexpr int kPciCEltm = 24;
// DSI fields, from the start of the DSI data.
constexpr int kDsiNvPckScr = 0;
constexpr int kDsiNvPckLbn = 4;
constexpr int kDsiVobuEa = 8;
constexpr int kDsiVobu1stRefEa = 12;  // then the 2nd and 3rd, 4 bytes apart
constexpr int kDsiVobuVobIdn = 24;
constexpr int kDsiVobuCIdn = 27;
constexpr int kDsiCEltm = 28;
constexpr int kDsiVobVSPtm = 44;
constexpr int kDsiVobVEPtm = 48;
constexpr int kDsiNextVideo = 234;  // search information, forward
constexpr int kDsiFwda = 238;  // 19 forward distances
constexpr int kDsiNextVobu = 314;
constexpr int kDsiPrevVobu = 318;
constexpr int kDsiBwda = 322;  // 19 backward distances
constexpr int kDsiPrevVideo = 398;
constexpr int kDsiASynca = 402;  // 16 bits per audio stream
constexpr int kDsiSpSynca = 418;  // 32 bits per sub-picture stream
constexpr int kSearchDistances = 19;

constexpr uint32_t kSriEndOfCell = 0xBFFFFFFFu;  // no VOBU in this direction, cell ends
constexpr uint32_t kSriNone = 0x3FFFFFFFu;  // no VOBU at this distance
constexpr uint32_t kSriValid = 0x80000000u;
constexpr uint32_t kSpSyncPresent = 0x7FFFFFFFu;

// Pack offsets of the two private stream 2 packets.
constexpr int kSystemHeaderAt = 14;
constexpr int kPciPacketAt = 38;
constexpr int kDsiPacketAt = 1024;
const uint8_t kPciHeader[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xD4, 0x00};
const uint8_t kDsiHeader[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};

// No VOBU ahead within the cell.
void EndForwardLinks(CVOBU& v)
{
    v.PutDsi32(kDsiNextVideo, kSriEndOfCell);
    for (int i = 0; i < kSearchDistances; ++i) v.PutDsi32(kDsiFwda + 4 * i, kSriNone);
    v.PutDsi32(kDsiNextVobu, kSriNone);
}

void LinkToPrevious(CVOBU& v, CVOBU* previous, uint32_t startPts)
{
    for (int i = 0; i < kSearchDistances; ++i) v.PutDsi32(kDsiBwda + 4 * i, kSriNone);
    if (!previous) {
        v.PutDsi32(kDsiPrevVobu, kSriNone);
        v.PutDsi32(kDsiPrevVideo, kSriEndOfCell);
        return;
    }
    CVOBU& prev = *previous;
    uint32_t diff = v.Lbn() - prev.Lbn();
    v.PutDsi32(kDsiPrevVobu, diff | kSriValid);
    v.PutDsi32(kDsiPrevVideo, diff | kSriValid);
    prev.PutPci32(kPciVobuEPtm, startPts);
    prev.PutDsi32(kDsiVobuEa, diff - 1);
    // Forward links stop at cell boundaries; backward links do not.
    if (!v.startsCell) {
        prev.PutDsi32(kDsiNextVideo, diff | kSriValid);
        prev.PutDsi32(kDsiNextVobu, diff | kSriValid);
    }
}

}  // namespace

namespace nav {

void StartNavPack(CVOBU& v, CVOBU* previous, const uint8_t* packHeader, const uint8_t* systemHeader, const SNavStart& s)
{
    std::memset(v.image, 0, sizeof v.image);
    std::memcpy(v.image, packHeader, kSystemHeaderAt);
    std::memcpy(v.image + kSystemHeaderAt, systemHeader, kPciPacketAt - kSystemHeaderAt);
    std::memcpy(v.image + kPciPacketAt, kPciHeader, sizeof kPciHeader);
    std::memcpy(v.image + kDsiPacketAt, kDsiHeader, sizeof kDsiHeader);

    uint8_t elapsed[4];
    PutBcdTime(elapsed, s.cellElapsed, s.frameRate);
    v.PutPci32(kPciNvPckLbn, s.lbn);
    v.PutPci32(kPciVobuSPtm, s.startPts);
    v.PutPci32(kPciVobuEPtm, s.startPts + 45000);
    std::memcpy(v.image + CVOBU::pciOffset + kPciCEltm, elapsed, 4);

    v.PutDsi32(kDsiNvPckScr, s.scr);
    v.PutDsi32(kDsiNvPckLbn, s.lbn);
    v.PutDsi32(kDsiVobuEa, 0xFF);
    v.Put16(CVOBU::dsiOffset + kDsiVobuVobIdn, 1);
    v.image[CVOBU::dsiOffset + kDsiVobuCIdn] = uint8_t(s.cellNumber);
    std::memcpy(v.image + CVOBU::dsiOffset + kDsiCEltm, elapsed, 4);
    v.PutDsi32(kDsiVobVSPtm, s.titleStartPts);

    EndForwardLinks(v);
    LinkToPrevious(v, previous, s.startPts);
    if (s.subPictures) v.PutDsi32(kDsiSpSynca, kSpSyncPresent);
}

uint32_t TitleStartPts(const CVOBU& v) { return v.GetDsi32(kDsiVobVSPtm); }

void SetReferenceEnd(CVOBU& v, int index, int32_t endLbn)
{
    int32_t ea = endLbn - int32_t(v.Lbn());
    v.PutDsi32(kDsiVobu1stRefEa + 4 * index, uint32_t(std::max(ea, 0)));
}

void SetAudioSync(CVOBU& v, int32_t packLbn)
{
    int32_t vobuLbn = int32_t(v.Lbn());
    uint32_t sync = packLbn - vobuLbn > 0 ? uint32_t(packLbn - vobuLbn) : (uint32_t(vobuLbn - packLbn) | 0x8000u);
    v.Put16(CVOBU::dsiOffset + kDsiASynca, uint16_t(sync));
}

void SetSubPictureSync(CVOBU& v) { v.PutDsi32(kDsiSpSynca, kSpSyncPresent); }

void CompleteTitle(const std::vector<CVOBU*>& vobus, const std::vector<CCELL>& cells, uint32_t lastVideoPts,
                   int32_t packsWritten)
{
    for (const CCELL& c : cells) {
        if (c.lastVobu < 0 || c.lastVobu >= int(vobus.size())) continue;
        EndForwardLinks(*vobus[size_t(c.lastVobu)]);
    }
    CVOBU& lastVobu = *vobus.back();
    lastVobu.PutPci32(kPciVobuEPtm, lastVideoPts);
    lastVobu.PutDsi32(kDsiVobuEa, uint32_t(packsWritten) - lastVobu.Lbn() - 1);
    for (CVOBU* v : vobus) v->PutDsi32(kDsiVobVEPtm, lastVideoPts);
}

bool WriteNavPacks(CUiPort& ui, const std::vector<CVOBU*>& vobus, const int32_t* vobSectors,
                   const std::function<std::string(int)>& vobPath)
{
    CProgress progress(ui);
    progress.Open("Kestrova", "Creating DVD video data");
    FilePtr out;
    int openFile = -1;
    bool ok = true;
    for (size_t i = 0; i < vobus.size(); ++i) {
        if (i % 10 == 0) {
            progress.SetPercent(int(i * 100 / vobus.size()));
            progress.Pump();
        }
        int64_t lbn = vobus[i]->Lbn();
        int j = 0;
        for (; j < 10 && lbn >= vobSectors[j]; ++j) lbn -= vobSectors[j];
        if (j == 10) {
            ok = false;
            continue;
        }
        if (j != openFile) {
            if (out && std::fclose(out.release()) != 0) ok = false;
            out = OpenFile(vobPath(j), "r+b");
            openFile = out ? j : -1;
            if (!out) {
                ok = false;
                continue;
            }
        }
        if (std::fseek(out.get(), long(lbn * CVOBU::packSize), SEEK_SET) != 0 ||
            std::fwrite(vobus[i]->image, 1, CVOBU::packSize, out.get()) != size_t(CVOBU::packSize))
            ok = false;
    }
    if (out && std::fclose(out.release()) != 0) ok = false;
    return ok;
}

}  // namespace nav
