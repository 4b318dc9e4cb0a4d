#include "audio/WaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Bytes.h"
#include "base/File.h"
#include "base/InputFile.h"
#include "media/WaveHeader.h"

namespace {

// The largest file read whole: a RIFF file's sizes are 32-bit, so no WAVE file is larger.
constexpr int64_t kMaxWaveFileBytes = int64_t(4) << 30;

// Reads the whole of `path` into `data`. False with `error` set when it cannot be
// opened or read, or is not a regular file of at most 4 GB.
bool ReadWhole(const std::string& path, std::vector<uint8_t>& data, std::string& error)
{
    FilePtr f = OpenInputStream(path, error, kMaxWaveFileBytes);
    if (!f) return false;
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) data.insert(data.end(), block, block + n);
    if (std::ferror(f.get()) != 0) {
        error = path + ": read error";
        return false;
    }
    return true;
}

// Reads the "fmt " chunk `body` (`size` bytes declared, `available` present). Returns
// 1 for 16-bit PCM (channels and rate set), 0 for any other sound, -1 for a chunk too
// short to say.
int ReadFormatChunk(const uint8_t* body, uint32_t size, size_t available, int& channels, int& sampleRate)
{
    if (size < 16 || available < 16) return -1;
    uint32_t format = GetLe16(body);
    channels = int(GetLe16(body + 2));
    sampleRate = int(GetLe32(body + 4));
    const uint32_t bits = GetLe16(body + 14);
    // WAVE_FORMAT_EXTENSIBLE names the real format in its sub-format.
    if (format == 0xFFFE && size >= 26 && available >= 26) format = GetLe16(body + 24);
    return format == 1 && bits == 16 && channels >= 1 ? 1 : 0;
}

}  // namespace

bool CWaveFile::Read(const std::string& path, std::vector<int16_t>& samples, int& channels, int& sampleRate,
                     std::string& error)
{
    std::vector<uint8_t> data;
    if (!ReadWhole(path, data, error)) return false;
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = path + ": not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= data.size()) {
        uint32_t size = GetLe32(data.data() + pos + 4);
        const uint8_t* body = data.data() + pos + 8;
        size_t available = data.size() - pos - 8;
        if (std::memcmp(data.data() + pos, "fmt ", 4) == 0) {
            const int known = ReadFormatChunk(body, size, available, channels, sampleRate);
            if (known < 0) break;
            if (known == 0) {
                error = path + ": only 16-bit PCM WAVE files are supported";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(data.data() + pos, "data", 4) == 0) {
            if (!haveFormat) break;
            size_t bytes = std::min<size_t>(size, available);  // a truncated file keeps what it has
            size_t frame = size_t(channels) * 2;
            bytes -= bytes % frame;
            samples.resize(bytes / 2);
            for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(GetLe16(body + 2 * i));
            return true;
        }
        pos += 8 + size_t(size) + (size & 1);
    }
    error = path + (haveFormat ? ": no data chunk" : ": no format chunk before the data");
    return false;
}

bool CWaveFile::Write(const std::string& path, const std::vector<int16_t>& samples, int channels, int sampleRate,
                      std::string& error)
{
    const uint64_t bytes = uint64_t(samples.size()) * 2;
    if (bytes > kWaveMaxDataBytes) {
        error = path + ": too long for a WAVE file";
        return false;
    }
    std::vector<uint8_t> out(kWaveHeaderBytes);
    out.reserve(size_t(kWaveHeaderBytes + bytes));
    PutWaveHeader(out.data(), channels, sampleRate, 16, uint32_t(bytes));
    for (int16_t s : samples) AppendLe16(out, uint16_t(s));
    return ReplaceFileContent(path, out.data(), out.size(), error);
}
