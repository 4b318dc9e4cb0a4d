#include "dvd/DVDIFO.h"

#include "base/Bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string VtsName(int n, const char* ext)
{
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_0.%s", n, ext);
    return name;
}

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::FILE* f, long offset, uint8_t* out, size_t size)
{
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out, 1, size, f) == size;
}

}  // namespace

bool CDVDIFO::WriteVmg(const std::string& path)
{
    folder = path;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\' && folder.back() != ':'))
        folder += '/';
    titleSets = 0;
    error.clear();
    for (int n = 1; n <= maxTitleSets; ++n) {
        bool found = false;
        if (!ScanTitleSet(n, found))
            return false;
        if (!found)
            break;
        ++titleSets;
    }
    if (titleSets == 0) {
        error = "No title set (" + folder + "VTS_01_0.IFO) was found.";
        return false;
    }
    if (!WriteVideoTsIfo())
        return false;
    for (int n = 1; n <= titleSets; ++n) {
        if (!CopyFile(folder + VtsName(n, "IFO"), folder + VtsName(n, "BUP")))
            return false;
    }
    return CopyFile(folder + "VIDEO_TS.IFO", folder + "VIDEO_TS.BUP");
}

bool CDVDIFO::ScanTitleSet(int n, bool& found)
{
    std::string path = folder + VtsName(n, "IFO");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    found = f != nullptr;
    if (!f)
        return true;
    uint8_t mat[2048];
    uint8_t ptt[16];
    bool ok = ReadAt(f, 0, mat, sizeof mat) && std::memcmp(mat, "DVDVIDEO-VTS", 12) == 0;
    if (ok) {
        uint32_t pttSector = GetBe32(mat + 0xC8);
        ok = pttSector < 0x100000 && ReadAt(f, long(pttSector) * 2048, ptt, sizeof ptt);
    }
    std::fclose(f);
    if (!ok) {
        error = path + " is not a readable title-set information file.";
        return false;
    }
    int i = n - 1;
    setSectors[i] = int32_t(GetBe32(mat + 0x0C) + 1);
    std::memcpy(attributes[i], mat + 0x100, 768);
    chapters[i] = int((int64_t(GetBe32(ptt + 4)) - int64_t(GetBe32(ptt + 8)) + 1) / 4);

    // The end-of-title commands put the title-set number into register 0 before calling
    // the title menu; they are written with 1 and get the real number here.
    static const uint8_t pattern[16] = {0x53, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x30, 0x08, 0x00, 0x00, 0x01, 0x42, 0x00, 0x00};
    f = std::fopen(path.c_str(), "r+b");
    if (!f) {
        error = "Cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    uint8_t post[16];
    bool writeOk = true;
    if (ReadAt(f, 0x1104, post, sizeof post)) {
        post[3] = 0;
        if (std::memcmp(post, pattern, sizeof post) == 0) {
            post[3] = uint8_t(n);
            writeOk = std::fseek(f, 0x1104, SEEK_SET) == 0 &&
                      std::fwrite(post, 1, sizeof post, f) == sizeof post;
        }
    }
    writeOk = std::fclose(f) == 0 && writeOk;
    if (!writeOk) {
        error = "Cannot write " + path + ".";
        return false;
    }
    return true;
}

bool CDVDIFO::WriteVideoTsIfo()
{
    int t = titleSets;
    std::vector<uint8_t> ifo(size_t(vmgSectors) * 2048, 0);

    uint8_t* mat = ifo.data();
    std::memcpy(mat, "DVDVIDEO-VMG", 12);
    PutBe32(mat + 0x0C, 105);
    PutBe32(mat + 0x1C, 52);
    PutBe16(mat + 0x20, 0x0011);
    PutBe16(mat + 0x26, 1);
    PutBe16(mat + 0x28, 1);
    mat[0x2A] = 1;
    PutBe16(mat + 0x3E, uint32_t(t));
    PutBe32(mat + 0x80, 0x4FB);
    PutBe32(mat + 0x84, 0x400);
    PutBe32(mat + 0xC4, 1);
    PutBe32(mat + 0xC8, 2);
    PutBe32(mat + 0xD0, 3);
    // First-play program chain: jump to title 1.
    uint8_t* fp = mat + 0x400;
    fp[7] = 0xC0;
    PutBe16(fp + 0xE4, 0xEC);
    PutBe16(fp + 0xEC, 1);
    PutBe16(fp + 0xEC + 6, 0x0F);
    const uint8_t jumpTitle1[8] = {0x30, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
    std::memcpy(fp + 0xF4, jumpTitle1, 8);

    uint8_t* tt = ifo.data() + 2048;
    PutBe16(tt, uint32_t(t));
    PutBe32(tt + 4, uint32_t(12 * t + 7));
    uint32_t start = 106;
    for (int i = 0; i < t; ++i) {
        uint8_t* e = tt + 8 + 12 * i;
        e[0] = 0x14;
        e[1] = 1;
        PutBe16(e + 2, uint32_t(chapters[i]));
        e[6] = uint8_t(i + 1);
        e[7] = 1;
        PutBe32(e + 8, start);
        start += uint32_t(setSectors[i]);
    }

    // Title menu without video: register 0 holds the title set that has just played
    // (0 at the start); the menu jumps to the next title, and exits after the last one.
    uint8_t* ut = ifo.data() + 2 * 2048;
    PutBe16(ut, 1);
    PutBe32(ut + 4, 0x43B);
    ut[8] = 'e';
    ut[9] = 'n';
    ut[0x0B] = 0x80;
    PutBe32(ut + 0x0C, 0x10);
    uint8_t* unit = ut + 0x10;
    PutBe16(unit, 1);
    PutBe32(unit + 4, 0x42B);
    unit[8] = 0x82;
    PutBe32(unit + 0x0C, 0x10);
    uint8_t* pgc = unit + 0x10;
    pgc[7] = 0xC0;
    PutBe16(pgc + 0xE4, 0xEC);
    PutBe16(pgc + 0xEC, 101);
    PutBe16(pgc + 0xEC + 6, 0x32F);
    uint8_t* cmd = pgc + 0xF4;
    for (int k = 0; k < 50; ++k) {
        const uint8_t setReg1[8] = {0x53, 0x00, 0x00, uint8_t(k), 0x00, 0x01, 0x00, 0x00};
        const uint8_t jumpNext[8] = {0x30, 0x22, 0x00, 0x00, 0x00, uint8_t(k + 1), 0x00, 0x01};
        const uint8_t exitIfEqual[8] = {0x30, 0x21, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
        std::memcpy(cmd, setReg1, 8);
        std::memcpy(cmd + 8, k < t ? jumpNext : exitIfEqual, 8);
        cmd += 16;
    }
    const uint8_t exitCmd[8] = {0x30, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::memcpy(cmd, exitCmd, 8);

    uint8_t* atrt = ifo.data() + 3 * 2048;
    PutBe16(atrt, uint32_t(t));
    PutBe32(atrt + 4, uint32_t(780 * t + 7));
    for (int i = 0; i < t; ++i) {
        uint32_t offset = uint32_t(4 * t + 8 + 776 * i);
        PutBe32(atrt + 8 + 4 * i, offset);
        uint8_t* e = atrt + offset;
        PutBe32(e, 0x307);
        std::memcpy(e + 8, attributes[i], 768);
    }

    std::string path = folder + "VIDEO_TS.IFO";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "Cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(ifo.data(), 1, ifo.size(), f) == ifo.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        error = "Cannot write " + path + ".";
        std::remove(path.c_str());
    }
    return ok;
}

bool CDVDIFO::CopyFile(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in)
        return true;  // a missing source is skipped
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        error = "Cannot create " + to + ": " + std::strerror(errno);
        return false;
    }
    uint8_t block[2048];
    bool ok = true;
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        if (std::fwrite(block, 1, got, out) != got) {
            ok = false;
            break;
        }
    }
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok)
        error = "Cannot copy " + from + " to " + to + ".";
    return ok;
}
