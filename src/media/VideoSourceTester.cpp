#include "media/VideoSourceTester.h"

#include "media/VobStream.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/InputFile.h"

namespace {

constexpr size_t kScanBytes = size_t(1) << 20;
constexpr size_t kIfoAttributeOffset = 0x200;

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool RegularFile(const std::filesystem::path& p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

// Frame rates of the MPEG-2 frame-rate codes 1 to 8.
double RateOfCode(int code)
{
    static constexpr double kRates[9] = {0.0,  24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0,
                                         50.0, 60000.0 / 1001.0, 60.0};
    return code >= 1 && code <= 8 ? kRates[code] : 0.0;
}

}  // namespace

std::string CVideoSourceTester::ResolveDvdPath(const std::string& path)
{
    namespace fs = std::filesystem;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::string lower = Lower(trimmed);
    std::error_code ec;
    if (EndsWith(lower, "video_ts") && fs::is_directory(trimmed, ec)) {
        std::string main = CVobStream::MainTitleVob(trimmed);
        return main.empty() ? path : main;
    }
    const bool dvdFile = lower.find(".ifo") != std::string::npos || lower.find(".vob") != std::string::npos ||
        lower.find(".bup") != std::string::npos;
    if (!dvdFile || lower.size() <= 11) return path;
    const std::string tail = lower.substr(lower.size() - 12);
    fs::path p(trimmed);
    if (tail.find("vts_") != std::string::npos) {
        std::string stem = p.stem().string();  // VTS_nn_m
        // The title set's information file and menu stand for its first title VOB.
        if (stem.size() == 8 && stem[7] == '0') stem[7] = '1';
        const bool upper = std::isupper(static_cast<unsigned char>(p.extension().string().back())) != 0;
        return (p.parent_path() / (stem + (upper ? ".VOB" : ".vob"))).string();
    }
    if (tail.find("video_ts") != std::string::npos) {
        std::string main = CVobStream::MainTitleVob(p.parent_path().string());
        return main.empty() ? path : main;
    }
    return path;
}

void CVideoSourceTester::Reset()
{
    frameRate = 0.0;
    interlaced = topFieldFirst = progressiveSequence = isDv = false;
    resolvedPath.clear();
    error.clear();
}

bool CVideoSourceTester::ReadHead(const std::string& file, size_t limit, std::vector<uint8_t>& data)
{
    FilePtr in = OpenInputStream(file, error);
    if (!in) return false;
    data.resize(limit);
    const size_t got = std::fread(data.data(), 1, limit, in.get());
    if (got < limit && std::ferror(in.get())) {
        error = file + ": cannot be read";
        return false;
    }
    data.resize(got);
    return true;
}

bool CVideoSourceTester::Test(const std::string& path)
{
    Reset();
    resolvedPath = ResolveDvdPath(path);
    const std::string lower = Lower(resolvedPath);
    const bool avi = EndsWith(lower, ".avi");
    const bool mpeg =
        EndsWith(lower, ".mpg") || EndsWith(lower, ".mpeg") || EndsWith(lower, ".m2v") || EndsWith(lower, ".vob");
    if (!avi && !mpeg) return false;
    std::vector<uint8_t> head;
    if (!ReadHead(resolvedPath, kScanBytes, head)) return false;
    if (avi) {
        isDv = IsDvAvi(head.data(), head.size());
        // DV pictures are always interlaced with the bottom field first.
        interlaced = isDv;
        topFieldFirst = false;
        return isDv;
    }
    const bool found = ScanMpeg(head.data(), head.size());
    if (EndsWith(lower, ".vob")) ReadIfoRate(resolvedPath);
    return found;
}

bool CVideoSourceTester::ScanMpeg(const uint8_t* data, size_t bytes)
{
    bool sequence = false, extension = false, picture = false;
    for (size_t i = 0; i + 9 <= bytes; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const uint8_t code = data[i + 3];
        const uint8_t* p = data + i;
        if (code == 0xB3 && !sequence) {
            sequence = true;
            frameRate = RateOfCode(p[7] & 0x0F);
        } else if (code == 0xB5 && (p[4] >> 4) == 1 && !extension) {
            extension = true;
            progressiveSequence = (p[5] & 0x08) != 0;
        } else if (code == 0xB5 && (p[4] >> 4) == 8 && !picture) {
            picture = true;
            const int structure = p[6] & 0x03;
            if (structure == 3) {
                topFieldFirst = (p[7] & 0x80) != 0;
                interlaced = (p[7] & 0x01) == 0;
            } else if (structure != 0) {
                // Field pictures are interlaced by nature; the field coded first is
                // shown first.
                interlaced = true;
                topFieldFirst = structure == 1;
            }
        }
        if (sequence && extension && picture) break;
    }
    if (sequence && !extension) {
        // MPEG-1: progressive pictures only.
        progressiveSequence = true;
        interlaced = topFieldFirst = false;
    } else if (progressiveSequence) {
        interlaced = false;
    }
    return sequence;
}

bool CVideoSourceTester::IsDvAvi(const uint8_t* data, size_t bytes)
{
    if (bytes < 12 || std::memcmp(data, "RIFF", 4) != 0) return false;
    static constexpr const char* kHandlers[] = {"cdvc", "dvsl", "dvsd", "dvhd", "dvcs", "dsvd",
                                                "dv25", "dv50", "pdvc", "dcap", "drwx", "ipdv"};
    for (size_t i = 12; i + 8 <= bytes; ++i) {
        if (std::memcmp(data + i, "vids", 4) != 0 && std::memcmp(data + i, "iavs", 4) != 0) continue;
        char handler[5] = {};
        for (int k = 0; k < 4; ++k)
            handler[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(data[i + 4 + k])));
        for (const char* known : kHandlers)
            if (std::memcmp(handler, known, 4) == 0) return true;
    }
    return false;
}

// The title set's information file says whether its video is PAL (25) or NTSC (29.97):
// bits 5-4 of its video attribute byte.
void CVideoSourceTester::ReadIfoRate(const std::string& vob)
{
    namespace fs = std::filesystem;
    fs::path p(vob);
    const std::string stem = p.stem().string();
    if (stem.size() != 8 || Lower(stem).compare(0, 4, "vts_") != 0) return;
    const std::string base = stem.substr(0, 7) + "0";
    for (const char* ext : {".IFO", ".ifo"}) {
        const fs::path ifo = p.parent_path() / (base + ext);
        if (!RegularFile(ifo)) continue;
        std::vector<uint8_t> head;
        std::string keep = error;
        if (!ReadHead(ifo.string(), kIfoAttributeOffset + 1, head) || head.size() <= kIfoAttributeOffset) {
            error = keep;
            return;
        }
        frameRate = (head[kIfoAttributeOffset] & 0x30) != 0 ? 25.0 : 30000.0 / 1001.0;
        return;
    }
}
