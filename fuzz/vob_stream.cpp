// The VOB stream and the disc image reader on any bytes. The first byte of the input says
// what the rest is:
// - 'I': a disc image, as records of a 2-byte sector number, a 2-byte length and that many
//   bytes written at the start of that sector (at most 1024 sectors; the rest are zeros),
//   so that seeds holding a UDF anchor at sector 256 stay small;
// - anything else: a VTS_01_0.IFO, opened beside two small VOB files of fixed content.
// Checked for every input: a refusal says why; the files an image lists lie inside it and
// their extents add up to their sizes; an open stream reads exactly its length, from any
// position, and refuses positions beyond it; the title's program starts increase.
#include <algorithm>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "ScratchFolder.h"
#include "media/DvdImage.h"
#include "media/VobStream.h"

namespace {

constexpr size_t kMaxSectors = 1024;
constexpr size_t kSector = 2048;

std::vector<uint8_t> ImageOfRecords(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image;
    for (size_t at = 0; at + 4 <= size;) {
        const size_t sector = size_t(data[at]) << 8 | data[at + 1];
        const size_t length = std::min<size_t>(size_t(data[at + 2]) << 8 | data[at + 3], kSector);
        at += 4;
        const size_t take = std::min(length, size - at);
        if (sector < kMaxSectors) {
            if (image.size() < (sector + 1) * kSector) image.resize((sector + 1) * kSector, 0);
            std::copy_n(data + at, take, image.begin() + long(sector * kSector));
        }
        at += take;
    }
    return image;
}

// A pack carrying a private stream 1 packet of sub-stream `id`.
std::vector<uint8_t> AudioPack(uint8_t id)
{
    std::vector<uint8_t> p(kSector, id);
    const uint8_t head[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0,    4,    0,    4,    1,    0x01, 0x89, 0xC3, 0xF8,
                            0x00, 0x00, 0x01, 0xBD, 0x07, 0xEC, 0x81, 0x80, 0x05, 0x21, 0,    1,    0,    1};
    std::copy(std::begin(head), std::end(head), p.begin());
    p[28] = id;
    return p;
}

const CScratchFolder& TitleFolder()
{
    static const CScratchFolder folder;
    static const bool written = [] {
        for (int m = 1; m <= 2; ++m) {
            std::vector<uint8_t> vob;
            for (uint8_t id : {0x80, 0x81, 0xA1}) {
                const auto p = AudioPack(uint8_t(id + m - 1));
                vob.insert(vob.end(), p.begin(), p.end());
            }
            CScratchFolder::WriteWholeFile(folder.Path() + "VTS_01_" + std::to_string(m) + ".VOB", vob.data(),
                                           vob.size());
        }
        return true;
    }();
    (void)written;
    return folder;
}

// Reads the whole stream in pieces of varied size and checks what it gives.
void ReadAll(CVobStream& stream, uint8_t seed)
{
    FUZZ_CHECK(stream.Length() >= 0 && stream.StartOffset() >= 0);
    FUZZ_CHECK(!stream.SetPosition(stream.Length() + 1));
    std::vector<uint8_t> buffer(70000);
    int64_t total = 0;
    for (int64_t piece = 1 + seed % 97;; piece = piece * 3 % 69997 + 1) {
        const int64_t n = stream.Read(buffer.data(), piece);
        FUZZ_CHECK(n >= -1 && n <= piece);
        if (n <= 0) {
            FUZZ_CHECK(n == 0 || !stream.Error().empty());
            break;
        }
        total += n;
    }
    FUZZ_CHECK(total == stream.Length() || !stream.Error().empty());
    FUZZ_CHECK(stream.SetPosition(stream.Length() / 2));
    FUZZ_CHECK(stream.Read(buffer.data(), 10) <= 10);
    if (stream.HasIfo()) {
        const auto starts = ProgramStartSeconds(stream.Source().chain, stream.AlternativeStart());
        for (size_t i = 0; i < starts.size(); ++i) FUZZ_CHECK(starts[i] > (i ? starts[i - 1] : 0.0));
    }
}

void TryImage(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes = ImageOfRecords(data, size);
    const CMemoryFile file(bytes.data(), bytes.size());
    CDvdImage image;
    if (image.Open(file.Path())) {
        for (const SImageFile& f : image.Files()) {
            uint64_t sum = 0;
            for (const SImageExtent& e : f.extents) {
                FUZZ_CHECK(e.offset <= bytes.size() && e.length <= bytes.size() - e.offset);
                sum += e.length;
            }
            FUZZ_CHECK(sum == f.size);
        }
    } else {
        FUZZ_CHECK(!image.Error().empty());
    }
    CVobStream stream;
    if (stream.Open(file.Path()))
        ReadAll(stream, size ? data[size - 1] : 0);
    else
        FUZZ_CHECK(!stream.Error().empty());
}

void TryIfo(const uint8_t* data, size_t size)
{
    const CScratchFolder& folder = TitleFolder();
    const std::string ifo = folder.Path() + "VTS_01_0.IFO";
    CScratchFolder::WriteWholeFile(ifo, data, size);
    for (bool alternative : {false, true}) {
        CVobStream stream;
        if (stream.Open(ifo, alternative))
            ReadAll(stream, size ? data[0] : 0);
        else
            FUZZ_CHECK(!stream.Error().empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    if (data[0] == 'I')
        TryImage(data + 1, size - 1);
    else
        TryIfo(data + 1, size - 1);
    return 0;
}
