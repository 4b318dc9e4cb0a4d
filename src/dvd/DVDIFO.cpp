#include "dvd/DVDIFO.h"

#include "base/Bytes.h"
#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/InputFile.h"
#include "dvd/PgcWriter.h"
#include "dvd/VmCommand.h"
#include "media/IfoLayout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace ifo;

namespace {

// Where VIDEO_TS.IFO keeps its parts.
constexpr int kFirstPlayPgcAt = 0x400;
constexpr int kTtSrptSector = 1;
constexpr int kPgciUtSector = 2;
constexpr int kVtsAtrtSector = 3;
// Title menus written: one per possible title slot; the menu chain holds two commands
// for each and a final Exit.
constexpr int kMenuSlots = 50;

std::string VtsName(int n, const char* ext) { return VtsFileName(n, 0, ext); }

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::FILE* f, long offset, uint8_t* out, size_t size)
{
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out, 1, size, f) == size;
}

// The title set's end-of-title commands as written (title set 1): register 0 = title
// set, then the title menu.
std::vector<uint8_t> EndOfTitleCommands(int titleSet)
{
    std::vector<uint8_t> bytes;
    for (const VmCommand& c : {vmcmd::SetRegister(0, uint16_t(titleSet)), vmcmd::CallTitleMenu(1)})
        bytes.insert(bytes.end(), c.begin(), c.end());
    return bytes;
}

// First play: start title 1. A disc with subtitles shows them from the start: players
// begin with sub-pictures off unless the disc turns them on.
SProgramChain FirstPlayPgc(bool subtitles)
{
    SProgramChain chain;
    chain.playbackTime = {0, 0, 0, 0xC0};
    if (subtitles) chain.preCommands.push_back(vmcmd::ShowSubPictureStream(0));
    chain.preCommands.push_back(vmcmd::JumpTitle(1));
    return chain;
}

// Title menu without video: register 0 holds the title set that has just played (0 at
// the start); the menu jumps to the next title, and exits after the last one.
SProgramChain TitleMenuPgc(int titles)
{
    SProgramChain chain;
    chain.playbackTime = {0, 0, 0, 0xC0};
    for (int k = 0; k < kMenuSlots; ++k) {
        chain.preCommands.push_back(vmcmd::SetRegister(1, uint16_t(k)));
        VmCommand next = k < titles ? vmcmd::JumpTitle(k + 1) : vmcmd::Exit();
        chain.preCommands.push_back(vmcmd::IfRegistersEqual(next, 0, 1));
    }
    chain.preCommands.push_back(vmcmd::Exit());
    return chain;
}

void WriteVmgMat(uint8_t* mat, int titleSets, bool subtitles)
{
    const SProgramChain firstPlay = FirstPlayPgc(subtitles);
    std::memcpy(mat + vmgi::kVmgIdentifier, "DVDVIDEO-VMG", 12);
    PutBe32(mat + vmgi::kVmgLastSector, 2 * CDVDIFO::vmgSectors - 1);
    PutBe32(mat + vmgi::kVmgiLastSector, CDVDIFO::vmgSectors - 1);
    PutBe16(mat + vmgi::kFormatVersion, 0x0011);
    PutBe16(mat + vmgi::kVmgNrOfVolumes, 1);
    PutBe16(mat + vmgi::kVmgThisVolumeNr, 1);
    mat[vmgi::kDiscSide] = 1;
    PutBe16(mat + vmgi::kVmgNrOfTitleSets, uint32_t(titleSets));
    PutBe32(mat + vmgi::kVmgiLastByte, uint32_t(kFirstPlayPgcAt + PgcLength(firstPlay) - 1));
    PutBe32(mat + vmgi::kFirstPlayPgc, kFirstPlayPgcAt);
    PutBe32(mat + vmgi::kTtSrpt, kTtSrptSector);
    PutBe32(mat + vmgi::kVmgmPgciUt, kPgciUtSector);
    PutBe32(mat + vmgi::kVtsAtrt, kVtsAtrtSector);
    WritePgc(mat + kFirstPlayPgcAt, firstPlay);
}

// One title per title set, the title sets lying one after another behind the VMG.
void WriteTtSrpt(uint8_t* tt, int titleSets, const int* chapters, const int32_t* setSectors)
{
    PutBe16(tt + table::kCount, uint32_t(titleSets));
    PutBe32(tt + table::kLastByte, uint32_t(ttSrpt::kEntryLength * titleSets + 7));
    uint32_t start = 2 * CDVDIFO::vmgSectors;
    for (int i = 0; i < titleSets; ++i) {
        uint8_t* e = tt + table::kHeaderLength + ttSrpt::kEntryLength * i;
        e[ttSrpt::kPbTy] = ttSrpt::kPbTyCommandsInTitle;
        e[ttSrpt::kNrOfAngles] = 1;
        PutBe16(e + ttSrpt::kNrOfPtts, uint32_t(chapters[i]));
        e[ttSrpt::kTitleSetNr] = uint8_t(i + 1);
        e[ttSrpt::kVtsTtn] = 1;
        PutBe32(e + ttSrpt::kTitleSetSector, start);
        start += uint32_t(setSectors[i]);
    }
}

// The menu unit table: one English language unit holding the title menu chain.
void WritePgciUt(uint8_t* ut, int titleSets)
{
    const SProgramChain menu = TitleMenuPgc(titleSets);
    const int unitAt = table::kHeaderLength + pgciUt::kLuLength;
    const int pgcAt = table::kHeaderLength + pgcit::kSrpLength;
    const int unitLength = pgcAt + PgcLength(menu);
    PutBe16(ut + table::kCount, 1);
    PutBe32(ut + table::kLastByte, uint32_t(unitAt + unitLength - 1));
    uint8_t* lu = ut + table::kHeaderLength;
    lu[pgciUt::kLangCode] = 'e';
    lu[pgciUt::kLangCode + 1] = 'n';
    lu[pgciUt::kExists] = pgciUt::kTitleMenuExists;
    PutBe32(lu + pgciUt::kLangStartByte, uint32_t(unitAt));
    uint8_t* unit = ut + unitAt;
    PutBe16(unit + table::kCount, 1);
    PutBe32(unit + table::kLastByte, uint32_t(unitLength - 1));
    unit[table::kHeaderLength + pgcit::kEntryId] = pgcit::kEntryTitleMenu;
    PutBe32(unit + table::kHeaderLength + pgcit::kPgcStartByte, uint32_t(pgcAt));
    WritePgc(unit + pgcAt, menu);
}

void WriteVtsAtrt(uint8_t* atrt, int titleSets, const uint8_t (*attributes)[vtsi::kAttributesLength])
{
    PutBe16(atrt + table::kCount, uint32_t(titleSets));
    PutBe32(atrt + table::kLastByte, uint32_t((4 + vtsAtrt::kEntryLength) * titleSets + 7));
    for (int i = 0; i < titleSets; ++i) {
        uint32_t offset = uint32_t(vtsAtrt::kOffsets + 4 * titleSets + vtsAtrt::kEntryLength * i);
        PutBe32(atrt + vtsAtrt::kOffsets + 4 * i, offset);
        uint8_t* e = atrt + offset;
        PutBe32(e + vtsAtrt::kLastByte, vtsAtrt::kEntryLength - 1);
        std::memcpy(e + vtsAtrt::kAttributes, attributes[i], vtsi::kAttributesLength);
    }
}

}  // namespace

bool CDVDIFO::WriteVmg(const std::string& path)
{
    folder = path;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\' && folder.back() != ':')) folder += '/';
    titleSets = 0;
    error.clear();
    for (int n = 1; n <= maxTitleSets; ++n) {
        bool found = false;
        if (!ScanTitleSet(n, found)) return false;
        if (!found) break;
        ++titleSets;
    }
    if (titleSets == 0) {
        error = "No title set (" + folder + "VTS_01_0.IFO) was found.";
        return false;
    }
    if (!WriteVideoTsIfo()) return false;
    for (int n = 1; n <= titleSets; ++n) {
        if (!CopyFile(folder + VtsName(n, "IFO"), folder + VtsName(n, "BUP"))) return false;
    }
    return CopyFile(folder + "VIDEO_TS.IFO", folder + "VIDEO_TS.BUP");
}

bool CDVDIFO::ScanTitleSet(int n, bool& found)
{
    std::string path = folder + VtsName(n, "IFO");
    std::string unreadable;
    FilePtr f = OpenInputStream(path, unreadable);
    found = f != nullptr;
    if (!f) {
        // Only a missing file ends the title sets; a FIFO or a folder in its place is named.
        if (errno == ENOENT) return true;
        error = unreadable;
        return false;
    }
    uint8_t mat[kSectorBytes];
    uint8_t ptt[16];
    bool ok = ReadAt(f.get(), 0, mat, sizeof mat) && std::memcmp(mat, "DVDVIDEO-VTS", 12) == 0;
    if (ok) {
        uint32_t pttSector = GetBe32(mat + vtsi::kVtsPttSrpt);
        ok = pttSector < 0x100000 && ReadAt(f.get(), long(pttSector) * kSectorBytes, ptt, sizeof ptt);
    }
    f.reset();
    if (!ok) {
        error = path + " is not a readable title-set information file.";
        return false;
    }
    int i = n - 1;
    setSectors[i] = int32_t(GetBe32(mat + vtsi::kVtsLastSector) + 1);
    std::memcpy(attributes[i], mat + vtsi::kVtsmVideoAttr, vtsi::kAttributesLength);
    chapters[i] = int((int64_t(GetBe32(ptt + table::kLastByte)) - int64_t(GetBe32(ptt + pttSrpt::kTtuOffset)) + 1) /
                      pttSrpt::kEntryLength);
    return RenumberEndOfTitle(path, n);
}

// The end-of-title commands put the title-set number into register 0 before calling
// the title menu; they are written with 1 and get the real number here.
bool CDVDIFO::RenumberEndOfTitle(const std::string& path, int n)
{
    FilePtr f = OpenFile(path, "r+b");
    if (!f) {
        error = "Cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    const std::vector<uint8_t> pattern = EndOfTitleCommands(0);
    std::vector<uint8_t> post(pattern.size());
    bool writeOk = true;
    if (ReadAt(f.get(), kTitlePostCommands, post.data(), post.size())) {
        post[3] = 0;  // the register value's low byte
        if (post == pattern) {
            const std::vector<uint8_t> renumbered = EndOfTitleCommands(n);
            writeOk = std::fseek(f.get(), kTitlePostCommands, SEEK_SET) == 0 &&
                std::fwrite(renumbered.data(), 1, renumbered.size(), f.get()) == renumbered.size();
        }
    }
    writeOk = std::fclose(f.release()) == 0 && writeOk;
    if (!writeOk) {
        error = "Cannot write " + path + ".";
        return false;
    }
    return true;
}

bool CDVDIFO::WriteVideoTsIfo()
{
    std::vector<uint8_t> ifo(size_t(vmgSectors) * kSectorBytes, 0);
    bool subtitles = false;
    for (int i = 0; i < titleSets; ++i)
        subtitles = subtitles || attributes[i][vtsi::kNrOfVtsSubpStreams - vtsi::kVtsmVideoAttr] > 0;
    WriteVmgMat(ifo.data(), titleSets, subtitles);
    WriteTtSrpt(ifo.data() + kTtSrptSector * kSectorBytes, titleSets, chapters, setSectors);
    WritePgciUt(ifo.data() + kPgciUtSector * kSectorBytes, titleSets);
    WriteVtsAtrt(ifo.data() + kVtsAtrtSector * kSectorBytes, titleSets, attributes);

    std::string path = folder + "VIDEO_TS.IFO";
    FilePtr f = OpenFile(path, "wb");
    if (!f) {
        error = "Cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(ifo.data(), 1, ifo.size(), f.get()) == ifo.size();
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok) {
        error = "Cannot write " + path + ".";
        std::remove(path.c_str());
    }
    return ok;
}

bool CDVDIFO::CopyFile(const std::string& from, const std::string& to)
{
    std::string unreadable;
    FilePtr in = OpenInputStream(from, unreadable);
    if (!in) return true;  // a missing source is skipped
    FilePtr out = OpenFile(to, "wb");
    if (!out) {
        error = "Cannot create " + to + ": " + std::strerror(errno);
        return false;
    }
    uint8_t block[kSectorBytes];
    bool ok = true;
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in.get())) > 0) {
        if (std::fwrite(block, 1, got, out.get()) != got) {
            ok = false;
            break;
        }
    }
    ok = !std::ferror(in.get()) && ok;
    in.reset();
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) error = "Cannot copy " + from + " to " + to + ".";
    return ok;
}
