#include "support/VobChecker.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace vobcheck {

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

uint32_t TimeStamp(const uint8_t* p)
{
    return uint32_t((p[0] >> 1) & 3) << 30 | uint32_t(p[1]) << 22 | uint32_t(p[2] >> 1) << 15 | uint32_t(p[3]) << 7 |
        uint32_t(p[4] >> 1);
}

std::string At(int lbn, const std::string& what) { return "pack " + std::to_string(lbn) + ": " + what; }

// Units of a stream: start offsets with their decode times.
struct Unit {
    int64_t start;
    uint32_t time;
};

std::vector<Unit> VideoUnits(const std::vector<uint8_t>& es, uint32_t offset, uint32_t period)
{
    // A picture's bytes run from its start code (or the sequence/GOP header in front of
    // it) to the next picture's; headers count with the picture they precede.
    std::vector<Unit> units;
    uint32_t window = 0xFFFFFFFF;
    int64_t headerStart = -1;
    bool inPicture = false;
    for (size_t i = 0; i < es.size(); ++i) {
        window = window << 8 | es[i];
        if ((window & 0xFFFFFF00u) != 0x00000100u) continue;
        uint8_t code = uint8_t(window);
        int64_t at = int64_t(i) - 3;
        if (code == 0xB3 || code == 0xB8) {
            if (headerStart < 0 || inPicture) headerStart = at;
            inPicture = false;
        } else if (code == 0x00) {
            int64_t start = headerStart >= 0 && !inPicture ? headerStart : at;
            if (units.empty()) start = 0;
            units.push_back({start, offset + uint32_t(units.size()) * period});
            inPicture = true;
            headerStart = -1;
        }
    }
    return units;
}

std::vector<Unit> AudioUnits(const std::vector<uint8_t>& es, bool lpcm, uint32_t offset)
{
    std::vector<Unit> units;
    if (lpcm) {
        for (int64_t k = 0; k * 320 < int64_t(es.size()); ++k) units.push_back({k * 320, offset + uint32_t(k) * 150});
    } else {
        auto frames = MpegAudioFrames(es);
        for (size_t k = 0; k < frames.size(); ++k) units.push_back({frames[k].first, offset + uint32_t(k) * 2160});
    }
    return units;
}

// Index of the first unit that starts within [from, from + size), or -1.
int64_t FirstUnitIn(const std::vector<Unit>& units, int64_t from, int size)
{
    auto it = std::lower_bound(units.begin(), units.end(), from, [](const Unit& u, int64_t v) { return u.start < v; });
    if (it == units.end() || it->start >= from + size) return -1;
    return it - units.begin();
}

int64_t PeakOccupancy(const std::vector<Packet>& packets, bool (*pick)(const Packet&), const std::vector<Unit>& units,
                      int64_t streamSize)
{
    int64_t arrived = 0;
    int64_t peak = 0;
    size_t removed = 0;  // units decoded so far
    for (const Packet& p : packets) {
        if (!pick(p)) continue;
        arrived += p.payloadSize;
        uint32_t now = uint32_t(p.scr / 300);
        while (removed < units.size() && units[removed].time <= now) ++removed;
        int64_t gone = removed == 0 ? 0 : removed < units.size() ? units[removed].start : streamSize;
        peak = std::max(peak, arrived - gone);
    }
    return peak;
}

// Units whose last byte arrives after their decode time.
int LateUnits(const std::vector<Packet>& packets, bool (*pick)(const Packet&), const std::vector<Unit>& units,
              int64_t streamSize)
{
    std::vector<const Packet*> chosen;
    for (const Packet& p : packets)
        if (pick(p) && p.payloadSize > 0) chosen.push_back(&p);
    int late = 0;
    for (size_t k = 0; k < units.size(); ++k) {
        int64_t lastByte = (k + 1 < units.size() ? units[k + 1].start : streamSize) - 1;
        auto it = std::upper_bound(chosen.begin(), chosen.end(), lastByte,
                                   [](int64_t b, const Packet* p) { return b < p->esOffset; });
        if (it == chosen.begin()) continue;
        if (uint32_t((*(it - 1))->scr / 300) > units[k].time) ++late;
    }
    return late;
}

bool IsVideo(const Packet& p) { return p.stream == 0xE0; }
bool IsAudio(const Packet& p) { return p.stream == 0xC0 || (p.stream == 0xBD && p.substream != 0x20); }

}  // namespace

uint32_t Nav::Pci32(int offset) const { return Be32(pack.data() + 45 + offset); }
uint32_t Nav::Dsi32(int offset) const { return Be32(pack.data() + 1031 + offset); }
uint16_t Nav::Dsi16(int offset) const
{
    return uint16_t(pack[size_t(1031 + offset)] << 8 | pack[size_t(1032 + offset)]);
}

std::string ErrorText(const Scan& scan)
{
    std::string text;
    for (size_t i = 0; i < scan.errors.size() && i < 12; ++i) text += scan.errors[i] + "\n";
    return text;
}

std::vector<int64_t> PictureStarts(const std::vector<uint8_t>& es)
{
    std::vector<int64_t> starts;
    uint32_t window = 0xFFFFFFFF;
    for (size_t i = 0; i < es.size(); ++i) {
        window = window << 8 | es[i];
        if (window == 0x00000100u) starts.push_back(int64_t(i) - 3);
    }
    return starts;
}

std::vector<std::pair<int64_t, int>> MpegAudioFrames(const std::vector<uint8_t>& es)
{
    static const int rates[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    std::vector<std::pair<int64_t, int>> frames;
    size_t i = 0;
    while (i + 4 <= es.size()) {
        if (es[i] != 0xFF || (es[i + 1] & 0xFE) != 0xFC) {
            ++i;
            continue;
        }
        int index = es[i + 2] >> 4;
        if (index == 0 || index == 15 || ((es[i + 2] >> 2) & 3) != 1) {
            ++i;
            continue;
        }
        int length = 144 * rates[index] * 1000 / 48000 + ((es[i + 2] >> 1) & 1);
        frames.push_back({int64_t(i), length});
        i += size_t(length);
    }
    return frames;
}

Scan ScanVobs(const std::vector<std::string>& files)
{
    Scan scan;
    std::vector<uint8_t> data;
    for (const std::string& name : files) {
        std::ifstream in(name, std::ios::binary);
        if (!in) {
            scan.errors.push_back("cannot read " + name);
            continue;
        }
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() % 2048 != 0) scan.errors.push_back(name + " is not a whole number of packs");
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    scan.packs = int(data.size() / 2048);
    bool expectVideoWithTimes = false;
    for (int lbn = 0; lbn < scan.packs; ++lbn) {
        const uint8_t* pk = data.data() + size_t(lbn) * 2048;
        if (Be32(pk) != 0x000001BA || (pk[4] & 0xC4) != 0x44) {
            scan.errors.push_back(At(lbn, "no MPEG-2 pack header"));
            scan.scrs.push_back(scan.scrs.empty() ? 0 : scan.scrs.back());
            scan.kinds.push_back(0);
            continue;
        }
        uint64_t base = uint64_t((pk[4] >> 3) & 7) << 30 | uint64_t(pk[4] & 3) << 28 | uint64_t(pk[5]) << 20 |
            uint64_t(pk[6] >> 3) << 15 | uint64_t(pk[6] & 3) << 13 | uint64_t(pk[7]) << 5 | uint64_t(pk[8] >> 3);
        uint64_t ext = uint64_t(pk[8] & 3) << 7 | uint64_t(pk[9] >> 1);
        int64_t scr = int64_t(base * 300 + ext);
        if (!scan.scrs.empty()) {
            if (scr < scan.scrs.back())
                scan.errors.push_back(At(lbn, "SCR decreases"));
            else if (scr - scan.scrs.back() < 43885)
                scan.errors.push_back(At(lbn, "SCR less than one pack time after the previous pack"));
        }
        scan.scrs.push_back(scr);
        int pos = 14 + (pk[13] & 7);
        uint8_t kind = 0;
        bool sawVideo = false;
        bool videoHadTimes = false;
        while (pos < 2048) {
            if (2048 - pos < 6) {
                scan.errors.push_back(At(lbn, std::to_string(2048 - pos) + " bytes left over"));
                break;
            }
            if (pk[pos] != 0 || pk[pos + 1] != 0 || pk[pos + 2] != 1) {
                scan.errors.push_back(At(lbn, "no packet start code at " + std::to_string(pos)));
                break;
            }
            uint8_t id = pk[pos + 3];
            int length = pk[pos + 4] << 8 | pk[pos + 5];
            if (pos + 6 + length > 2048) {
                scan.errors.push_back(At(lbn, "packet runs past the pack"));
                break;
            }
            if (kind == 0 || (kind == 0xBE && id != 0xBE)) kind = id == 0xBB ? 0xBF : id;
            if (id == 0xBF && pk[pos + 6] == 0x00) {
                Nav nav;
                nav.lbn = lbn;
                std::copy(pk, pk + 2048, nav.pack.begin());
                if (nav.Pci32(0) != uint32_t(lbn) || nav.Dsi32(4) != uint32_t(lbn))
                    scan.errors.push_back(At(lbn, "NV_PCK_LBN is not the pack's own number"));
                scan.navs.push_back(nav);
            }
            if (id == 0xE0 || id == 0xC0 || id == 0xBD) {
                Packet p;
                p.lbn = lbn;
                p.scr = scr;
                p.stream = id;
                const uint8_t* h = pk + pos + 6;
                p.headerLength = h[2];
                int flags = h[1];
                const uint8_t* f = h + 3;
                if (flags & 0x80) {
                    p.hasPts = true;
                    p.pts = TimeStamp(f);
                    f += 5;
                }
                if ((flags & 0xC0) == 0xC0) {
                    p.hasDts = true;
                    p.dts = TimeStamp(f);
                    f += 5;
                }
                if (flags & 0x01) {
                    if (f[0] & 0x10) p.hasPstd = true;
                    f += 3;
                }
                const uint8_t* payload = h + 3 + p.headerLength;
                int size = length - 3 - p.headerLength;
                if (id == 0xBD) {
                    p.substream = payload[0];
                    if ((p.substream & 0xF8) == 0x80) {
                        p.unitCount = payload[1];
                        p.firstUnitPointer = payload[2] << 8 | payload[3];
                        payload += 4;
                        size -= 4;
                    } else if ((p.substream & 0xF8) == 0xA0) {
                        p.unitCount = payload[1];
                        p.firstUnitPointer = payload[2] << 8 | payload[3];
                        payload += 7;
                        size -= 7;
                    } else {
                        payload += 1;
                        size -= 1;
                    }
                }
                p.payloadSize = size;
                if (id == 0xE0) {
                    sawVideo = true;
                    videoHadTimes = p.hasPts && p.hasDts;
                    p.esOffset = int64_t(scan.video.size());
                    scan.video.insert(scan.video.end(), payload, payload + size);
                } else if (id == 0xC0 || (p.substream & 0xF0) == 0x80 || (p.substream & 0xF8) == 0xA0) {
                    p.esOffset = int64_t(scan.audio.size());
                    scan.audio.insert(scan.audio.end(), payload, payload + size);
                }
                scan.packets.push_back(p);
            }
            pos += 6 + length;
        }
        scan.kinds.push_back(kind);
        if (expectVideoWithTimes) {
            if (!sawVideo || !videoHadTimes)
                scan.errors.push_back(At(lbn, "the pack after a NAV pack is not video with PTS and DTS"));
            expectVideoWithTimes = false;
        }
        if (kind == 0xBF) expectVideoWithTimes = true;
    }
    if (!scan.packs || scan.kinds.front() != 0xBF) scan.errors.push_back("the title does not begin with a NAV pack");
    return scan;
}

void CheckVideoTimes(Scan& scan, uint32_t offset, uint32_t period)
{
    std::vector<int64_t> starts = PictureStarts(scan.video);
    for (const Packet& p : scan.packets) {
        if (p.stream != 0xE0 || !p.hasPts) continue;
        auto it = std::lower_bound(starts.begin(), starts.end(), p.esOffset);
        if (it == starts.end() || *it >= p.esOffset + p.payloadSize) {
            scan.errors.push_back(At(p.lbn, "video time stamps in a packet where no picture starts"));
            continue;
        }
        uint32_t k = uint32_t(it - starts.begin());
        uint32_t dts = offset + k * period;
        if (!p.hasDts || p.dts != dts || p.pts != dts + period)
            scan.errors.push_back(At(p.lbn,
                                     "picture " + std::to_string(k) + " has DTS " + std::to_string(p.dts) + " PTS " +
                                         std::to_string(p.pts) + ", expected " + std::to_string(dts) + "/" +
                                         std::to_string(dts + period)));
    }
}

void CheckAudioTimes(Scan& scan, bool lpcm, uint32_t offset)
{
    std::vector<Unit> units = AudioUnits(scan.audio, lpcm, offset);
    for (const Packet& p : scan.packets) {
        bool isAudio = p.stream == 0xC0 || (p.stream == 0xBD && p.substream != 0x20);
        if (!isAudio) continue;
        int64_t k = FirstUnitIn(units, p.esOffset, p.payloadSize);
        if (k < 0) {
            if (p.hasPts) scan.errors.push_back(At(p.lbn, "audio PTS in a packet where no frame starts"));
        } else {
            uint32_t want = units[size_t(k)].time;
            if (!p.hasPts)
                scan.errors.push_back(At(p.lbn, "audio frame starts without a PTS"));
            else if (p.pts + 1 < want || p.pts > want + 1)
                scan.errors.push_back(At(p.lbn,
                                         "audio PTS " + std::to_string(p.pts) + ", frame " + std::to_string(k) +
                                             " is at " + std::to_string(want)));
        }
        if (lpcm) {
            if (p.payloadSize % 4 != 0 || p.esOffset % 4 != 0)
                scan.errors.push_back(At(p.lbn, "LPCM payload is not whole stereo samples"));
            int64_t started = 0;
            for (int64_t j = std::max<int64_t>(k, 0);
                 k >= 0 && j < int64_t(units.size()) && units[size_t(j)].start < p.esOffset + p.payloadSize; ++j)
                ++started;
            if (p.unitCount != started)
                scan.errors.push_back(At(
                    p.lbn, "LPCM unit count " + std::to_string(p.unitCount) + ", expected " + std::to_string(started)));
            if (k >= 0 && p.firstUnitPointer != int(units[size_t(k)].start - p.esOffset) + 4)
                scan.errors.push_back(At(p.lbn, "LPCM first unit pointer is wrong"));
        }
    }
    CheckAudioFrames(scan);
}

void CheckAudioFrames(Scan& scan)
{
    static const int rates[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int ac3Words[19] = {64,  80,  96,  112, 128, 160, 192,  224,  256, 320,
                                     384, 448, 512, 640, 768, 896, 1024, 1152, 1280};
    auto first = std::find_if(scan.packets.begin(), scan.packets.end(), IsAudio);
    if (first == scan.packets.end()) return;
    const std::vector<uint8_t>& es = scan.audio;
    const int64_t size = int64_t(es.size());
    if (first->stream == 0xBD && (first->substream & 0xF8) == 0xA0) {
        if (size % 4 != 0)
            scan.errors.push_back("the LPCM audio ends " + std::to_string(size % 4) + " bytes into a stereo sample");
        return;
    }
    const bool ac3 = first->stream == 0xBD;
    const std::string name = ac3 ? "AC-3" : "Layer II";
    const int64_t headerBytes = ac3 ? 5 : 4;
    int64_t pos = 0;
    for (int k = 0; pos < size; ++k) {
        const std::string frame = name + " frame " + std::to_string(k);
        if (size - pos < headerBytes) {
            scan.errors.push_back("the audio ends inside the header of " + frame);
            return;
        }
        const uint8_t* h = es.data() + pos;
        int length = 0;
        if (ac3) {
            if (h[0] == 0x0B && h[1] == 0x77 && (h[4] >> 6) == 0 && (h[4] & 0x3F) < 38)
                length = 2 * ac3Words[(h[4] & 0x3F) / 2];
        } else if (h[0] == 0xFF && (h[1] & 0xFE) == 0xFC && ((h[2] >> 2) & 3) == 1) {
            const int index = h[2] >> 4;
            if (index > 0 && index < 15) length = 3 * rates[index] + ((h[2] >> 1) & 1);
        }
        if (length == 0) {
            scan.errors.push_back("no " + name + " header at audio byte " + std::to_string(pos) + ", where " + frame +
                                  " should start");
            return;
        }
        if (pos + length > size) {
            scan.errors.push_back("the audio ends " + std::to_string(size - pos) + " bytes into " + frame + " of " +
                                  std::to_string(length) + " bytes");
            return;
        }
        pos += length;
    }
}

BufferPeaks MeasureBuffers(const Scan& scan, bool lpcm, uint32_t videoOffset, uint32_t period, uint32_t audioOffset)
{
    BufferPeaks peaks;
    std::vector<Unit> video = VideoUnits(scan.video, videoOffset, period);
    std::vector<Unit> audio = AudioUnits(scan.audio, lpcm, audioOffset);
    peaks.video = PeakOccupancy(scan.packets, IsVideo, video, int64_t(scan.video.size()));
    peaks.audio = PeakOccupancy(scan.packets, IsAudio, audio, int64_t(scan.audio.size()));
    peaks.lateVideo = LateUnits(scan.packets, IsVideo, video, int64_t(scan.video.size()));
    peaks.lateAudio = LateUnits(scan.packets, IsAudio, audio, int64_t(scan.audio.size()));
    return peaks;
}

void CheckNavPacks(Scan& scan, uint32_t endPts)
{
    auto& navs = scan.navs;
    if (navs.empty()) return;
    std::vector<int64_t> starts = PictureStarts(scan.video);
    // Pack holding each video elementary-stream byte range, for the reference addresses.
    std::vector<const Packet*> video;
    for (const Packet& p : scan.packets)
        if (p.stream == 0xE0) video.push_back(&p);
    auto packOfByte = [&](int64_t byte) {
        auto it = std::upper_bound(video.begin(), video.end(), byte,
                                   [](int64_t b, const Packet* p) { return b < p->esOffset; });
        return (*(it - 1))->lbn;
    };
    // First video packet after each NAV pack.
    auto firstVideoAfter = [&](int lbn) -> const Packet* {
        auto it = std::upper_bound(video.begin(), video.end(), lbn, [](int l, const Packet* p) { return l < p->lbn; });
        return it == video.end() ? nullptr : *it;
    };

    uint32_t firstS = navs.front().Pci32(12);
    for (size_t i = 0; i < navs.size(); ++i) {
        const Nav& n = navs[i];
        auto err = [&](const std::string& what) { scan.errors.push_back(At(n.lbn, what)); };
        bool last = i + 1 == navs.size();
        const Packet* first = firstVideoAfter(n.lbn);
        if (first && first->hasPts && n.Pci32(12) != first->pts)
            err("VOBU_S_PTM is not the PTS of the VOBU's first picture");
        uint32_t e = last ? endPts : navs[i + 1].Pci32(12);
        if (n.Pci32(16) != e) err("VOBU_E_PTM " + std::to_string(n.Pci32(16)) + ", expected " + std::to_string(e));
        int nextLbn = last ? scan.packs : navs[i + 1].lbn;
        if (n.Dsi32(8) != uint32_t(nextLbn - n.lbn - 1)) err("VOBU_EA does not end before the next VOBU");
        if (n.Dsi32(44) != firstS || n.Dsi32(48) != endPts)
            err("VOB_V_S_PTM/VOB_V_E_PTM are not the title's video start and end");
        bool sameCellNext = !last && navs[i + 1].pack[1031 + 27] == n.pack[1031 + 27];
        uint32_t fwd = sameCellNext ? (uint32_t(nextLbn - n.lbn) | 0x80000000u) : 0;
        if (n.Dsi32(234) != (sameCellNext ? fwd : 0xBFFFFFFFu) || n.Dsi32(314) != (sameCellNext ? fwd : 0x3FFFFFFFu))
            err("wrong next-VOBU links");
        if (i == 0) {
            if (n.Dsi32(318) != 0x3FFFFFFFu || n.Dsi32(398) != 0xBFFFFFFFu) err("first VOBU has previous links");
        } else {
            uint32_t back = uint32_t(n.lbn - navs[i - 1].lbn) | 0x80000000u;
            if (n.Dsi32(318) != back || n.Dsi32(398) != back) err("wrong previous-VOBU links");
        }
        // Reference pictures: the pack holding the last byte of picture j of the VOBU,
        // known once picture j + 1 has started inside the VOBU.
        if (!first) continue;
        int64_t vobuBegin = first->esOffset;
        int64_t vobuEnd = last ? int64_t(scan.video.size()) : firstVideoAfter(navs[i + 1].lbn)->esOffset;
        auto pic = std::lower_bound(starts.begin(), starts.end(), vobuBegin);
        for (int j = 0; j < 3; ++j) {
            uint32_t want = 0;
            if (pic + j + 1 < starts.end() && *(pic + j + 1) < vobuEnd)
                want = uint32_t(packOfByte(*(pic + j + 1) - 1) - n.lbn);
            if (n.Dsi32(12 + 4 * j) != want)
                err("VOBU_" + std::to_string(j + 1) + "REF_EA " + std::to_string(n.Dsi32(12 + 4 * j)) + ", expected " +
                    std::to_string(want));
        }
    }
}

}  // namespace vobcheck
