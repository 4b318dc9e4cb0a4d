#include "dvd/SubSUB.h"

#include "base/Bytes.h"
#include "base/InputFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// "palette: rrggbb, rrggbb, ..." (16 entries) into `palette`; false when fewer are read.
bool ReadPalette(const std::string& line, uint32_t* palette)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    const char* p = line.c_str() + colon + 1;
    for (int i = 0; i < 16; ++i) {
        while (*p == ' ' || *p == '\t' || *p == ',') ++p;
        char* end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 16);
        if (end == p) return false;
        palette[i] = uint32_t(v & 0xFFFFFF);
        p = end;
    }
    return true;
}

// "timestamp: h:m:s:ms, filepos: hex" into a start (90 kHz) and a position.
bool ReadTimestamp(const std::string& line, uint32_t& start, int64_t& position)
{
    int h = 0, m = 0, s = 0, ms = 0;
    char separator[8] = {};
    unsigned long long pos = 0;
    if (std::sscanf(line.c_str(), "timestamp: %9d:%9d:%9d%7[,.:]%9d, filepos: %12llx", &h, &m, &s, separator, &ms,
                    &pos) != 6)
        return false;
    if (h < 0 || m < 0 || s < 0 || ms < 0) return false;
    const int64_t ticks = int64_t(ms / 10) * 900 + int64_t(s) * 90000 + int64_t(m) * 5400000 + int64_t(h) * 324000000;
    if (ticks >= int64_t(0x9A7EC800u)) return false;
    start = uint32_t(ticks);
    position = int64_t(pos);
    return true;
}

}  // namespace

uint32_t CSubSUB::RgbToYCrCb(uint32_t rgb)
{
    const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    const int y = int(0.257 * r + 0.504 * g + 0.098 * b + 16);
    const int cr = int(0.439 * r - 0.368 * g - 0.071 * b + 128);
    const int cb = int(-0.148 * r - 0.291 * g + 0.439 * b + 128);
    return uint32_t((y * 256 + cr) * 256 + cb);
}

void CSubSUB::PgcColours(uint32_t* colours) const
{
    for (int i = 0; i < 16; ++i) colours[i] = RgbToYCrCb(palette[i]);
}

bool CSubSUB::ParseIndex(const std::string& idx, const std::string& name)
{
    entries.clear();
    paletteRead = false;
    bool inEntries = false, ended = false;
    size_t from = 0;
    while (from < idx.size() && !ended) {
        size_t end = idx.find('\n', from);
        if (end == std::string::npos) end = idx.size();
        std::string line = idx.substr(from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string lower = Lower(line.substr(0, 4));
        if (!inEntries) {
            if (lower == "pale") paletteRead = ReadPalette(line, palette) || paletteRead;
            if (lower.rfind("id:", 0) == 0) inEntries = true;
            continue;
        }
        // Inside the first stream's section: comments and blank lines are passed over,
        // and the section ends at the first other line that is not a time stamp.
        if (line.empty() || line[0] == '#') continue;
        SEntry entry;
        if (!ReadTimestamp(line, entry.start, entry.position)) {
            ended = true;
            continue;
        }
        if (int(entries.size()) < maxEntries) entries.push_back(entry);
    }
    if (!inEntries) {
        error = name + ": a VobSub index needs an \"id:\" line followed by its time stamps";
        return false;
    }
    if (entries.empty()) {
        error = name + ": the VobSub index lists no subtitle (\"timestamp: 00:00:01:000, filepos: 000000000\")";
        return false;
    }
    return true;
}

bool CSubSUB::Open(const std::string& path)
{
    error.clear();
    subPath = path;
    const std::string idxPath = std::filesystem::path(path).replace_extension(".idx").string();
    std::string idx;
    if (!ReadInputFile(idxPath, int64_t(16) << 20, idx, error)) {
        error = path + ": its VobSub index cannot be read (" + error + ")";
        return false;
    }
    if (!ParseIndex(idx, idxPath)) return false;
    sub = OpenInputStream(path, error);
    return sub != nullptr;
}

int CSubSUB::UnitFromPacks(const uint8_t* data, size_t size, int64_t position, uint8_t* out, int maxBytes)
{
    if (position < 0 || uint64_t(position) >= size) return 0;
    maxBytes = std::min(maxBytes, maxUnitBytes);
    int have = 0, declared = -1, substream = -1;
    for (size_t at = size_t(position); at + packBytes <= size; at += packBytes) {
        const uint8_t* pk = data + at;
        if (GetBe32(pk) != 0x000001BAu) break;
        size_t pes = 14 + (pk[13] & 7);
        // A system header may come first in a pack (in the first pack of a file).
        if (pes + 6 <= packBytes && GetBe32(pk + pes) == 0x000001BBu) pes += 6 + GetBe16(pk + pes + 4);
        if (pes + 9 > packBytes || GetBe32(pk + pes) != 0x000001BDu) {
            if (have > 0) continue;  // a padding or other pack inside the unit
            break;
        }
        const int pesLength = int(GetBe16(pk + pes + 4));
        const bool hasPts = (pk[pes + 7] & 0x80) != 0;
        const int headerData = pk[pes + 8];
        // The payload follows the header data; its first byte names the sub-stream.
        const size_t payload = pes + 9 + size_t(headerData);
        const int length = pesLength - 3 - headerData - 1;
        if (payload + 1 + size_t(std::max(length, 0)) > packBytes || length <= 0) {
            if (have > 0) continue;
            break;
        }
        if (have > 0 && hasPts) break;  // the next unit begins
        if (substream < 0) substream = pk[payload];
        if (pk[payload] != substream) continue;  // another language's pack
        const int n = std::min(length, maxBytes - have);
        if (n <= 0) break;
        std::memcpy(out + have, pk + payload + 1, size_t(n));
        have += n;
        if (declared < 0 && have >= 2) declared = int(GetBe16(out));
        if (declared >= 0 && have >= declared) return declared;
    }
    if (declared < 4 || have < declared) return 0;  // a unit cut short is not sent
    return declared;
}

int CSubSUB::ReadUnit(int index, uint8_t* out, int maxBytes)
{
    if (!sub || index < 0 || index >= int(entries.size())) return 0;
    // A unit spans at most maxUnitBytes in packs, plus the packs of other streams.
    std::vector<uint8_t> packs(size_t(packBytes) * 64);
    if (fseeko(sub.get(), entries[size_t(index)].position, SEEK_SET) != 0) return 0;
    const size_t got = std::fread(packs.data(), 1, packs.size(), sub.get());
    return UnitFromPacks(packs.data(), got, 0, out, maxBytes);
}
