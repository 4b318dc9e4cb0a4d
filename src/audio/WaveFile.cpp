#include "audio/WaveFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

}  // namespace

bool CWaveFile::Read(const std::string& path, std::vector<int16_t>& samples, int& channels,
                     int& sampleRate, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) data.insert(data.end(), block, block + n);
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        error = path + ": read error";
        return false;
    }
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = path + ": not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= data.size()) {
        uint32_t size = Le32(data.data() + pos + 4);
        const uint8_t* body = data.data() + pos + 8;
        size_t available = data.size() - pos - 8;
        if (std::memcmp(data.data() + pos, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) break;
            uint16_t format = Le16(body);
            channels = Le16(body + 2);
            sampleRate = int(Le32(body + 4));
            uint16_t bits = Le16(body + 14);
            if (format == 0xFFFE && size >= 26 && available >= 26) format = Le16(body + 24);
            if (format != 1 || bits != 16 || channels < 1) {
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
            for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(Le16(body + 2 * i));
            return true;
        }
        pos += 8 + size_t(size) + (size & 1);
    }
    error = path + (haveFormat ? ": no data chunk" : ": no format chunk before the data");
    return false;
}

bool CWaveFile::Write(const std::string& path, const std::vector<int16_t>& samples, int channels,
                      int sampleRate, std::string& error)
{
    const uint64_t bytes = uint64_t(samples.size()) * 2;
    if (bytes > 0xFFFFFFFFull - 36) {
        error = path + ": too long for a WAVE file";
        return false;
    }
    std::vector<uint8_t> out;
    out.reserve(size_t(44 + bytes));
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, uint32_t(36 + bytes));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, uint16_t(channels));
    Put32(out, uint32_t(sampleRate));
    Put32(out, uint32_t(sampleRate * channels * 2));
    Put16(out, uint16_t(channels * 2));
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, uint32_t(bytes));
    for (int16_t s : samples) Put16(out, uint16_t(s));

    const std::string temporary = path + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        error = path + ": cannot create (" + std::strerror(errno) + ")";
        return false;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot write (" + std::strerror(errno) + ")";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
