#include "media/VobStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "base/InputFile.h"
#include "media/DvdImage.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t kSector = 2048;
constexpr int kMaxTitleSets = 99;
// An IFO is a few hundred KB at most; more is not an IFO, and is not read whole.
constexpr int64_t kMaxIfoBytes = int64_t(8) << 20;

// Where a private stream 1 packet and its fields lie in a pack.
constexpr size_t kPacketStart = 14;
constexpr size_t kHeaderDataLength = kPacketStart + 8;
constexpr size_t kPayloadStart = kPacketStart + 6;
constexpr uint8_t kPrivateStream1 = 0xBD;
constexpr uint8_t kPaddingStream = 0xBE;

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The extension of `path` in lower case ("" when its name has none).
std::string Extension(const std::string& path) { return Lower(fs::path(path).extension().string()); }

// A file of a DVD title set by its extension. A name that only holds ".vob" somewhere
// else ("clip.vob.mp4") is an ordinary media file.
bool HasDvdExtension(const std::string& path)
{
    const std::string extension = Extension(path);
    return extension == ".vob" || extension == ".ifo" || extension == ".bup";
}

std::string VtsName(int titleSet, int part, const char* extension)
{
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.%s", titleSet, part, extension);
    return name;
}

// The regular files of `folder` by upper-cased name: path and size.
struct SFolderFile {
    std::string path;
    int64_t size = 0;
};
std::map<std::string, SFolderFile> ListFolder(const std::string& folder)
{
    std::map<std::string, SFolderFile> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) continue;
        const uintmax_t size = it->file_size(fileEc);
        if (fileEc) continue;
        files[Upper(it->path().filename().string())] = {it->path().string(), int64_t(size)};
    }
    return files;
}

// The sub-folder of `folder` called VIDEO_TS in any case; empty when there is none.
std::string VideoTsInside(const std::string& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code dirEc;
        if (Upper(it->path().filename().string()) == "VIDEO_TS" && it->is_directory(dirEc)) return it->path().string();
    }
    return {};
}

// The main title set among those whose IFO exists: the largest VOB files 1..9 together,
// the lowest number among equals. `sizeOf` gives a file's size, -1 when it is missing.
// 0 when no title set has an IFO.
int MainTitleSet(const std::function<int64_t(const std::string&)>& sizeOf)
{
    int best = 0;
    int64_t bestBytes = -1;
    for (int n = 1; n <= kMaxTitleSets; ++n) {
        if (sizeOf(VtsName(n, 0, "IFO")) < 0) continue;
        int64_t total = 0;
        for (int m = 1; m <= CVobStream::kMaxVobParts; ++m) total += std::max<int64_t>(0, sizeOf(VtsName(n, m, "VOB")));
        if (total > bestBytes) {
            best = n;
            bestBytes = total;
        }
    }
    return best;
}

// The title set a file name "VTS_nn_m.EXT" names, 0 for "VIDEO_TS.*", -1 otherwise.
int TitleSetOfName(const std::string& upperName)
{
    if (upperName.rfind("VIDEO_TS.", 0) == 0) return 0;
    const auto digit = [&](size_t i) { return upperName[i] >= '0' && upperName[i] <= '9'; };
    if (upperName.size() != 12 || upperName.compare(0, 4, "VTS_") != 0 || !digit(4) || !digit(5) ||
        upperName[6] != '_' || !digit(7) || upperName[8] != '.')
        return -1;
    const int n = (upperName[4] - '0') * 10 + (upperName[5] - '0');
    return n >= 1 ? n : -1;
}

}  // namespace

void HideSecondaryAudio(uint8_t* data, size_t bytes)
{
    for (size_t pack = 0; pack + kSector <= bytes; pack += kSector) {
        uint8_t* p = data + pack;
        if (p[kPacketStart] != 0 || p[kPacketStart + 1] != 0 || p[kPacketStart + 2] != 1 ||
            p[kPacketStart + 3] != kPrivateStream1)
            continue;
        const size_t subStream = kHeaderDataLength + 1 + p[kHeaderDataLength];
        if (subStream >= size_t(kSector)) continue;
        const uint8_t id = p[subStream];
        if (!((id >= 0x81 && id <= 0x88) || (id >= 0xA1 && id <= 0xA8))) continue;
        p[kPacketStart + 3] = kPaddingStream;
        const size_t packetLength = size_t(p[kPacketStart + 4]) << 8 | p[kPacketStart + 5];
        const size_t end = std::min<size_t>(kPayloadStart + packetLength, size_t(kSector));
        std::memset(p + kPayloadStart, 0xFF, end - kPayloadStart);
    }
}

CVobStream::CVobStream() = default;
CVobStream::~CVobStream() = default;

bool CVobStream::IsDvdSource(const std::string& path)
{
    if (HasDvdExtension(path)) return true;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return Upper(fs::path(path).lexically_normal().filename().string()) == "VIDEO_TS" ||
            Upper(fs::path(path).lexically_normal().parent_path().filename().string()) == "VIDEO_TS" ||
            !VideoTsInside(path).empty();
    if (!CDvdImage::LooksLikeImage(path)) return false;
    if (Lower(path).size() > 4 && Lower(path).substr(path.size() - 4) == ".iso") return true;
    CDvdImage probe;
    return probe.Open(path);
}

std::string CVobStream::MainTitleVob(const std::string& folder)
{
    const auto files = ListFolder(folder);
    const int n = MainTitleSet([&](const std::string& name) {
        const auto it = files.find(name);
        return it == files.end() ? int64_t(-1) : it->second.size;
    });
    if (n == 0) return {};
    const auto vob = files.find(VtsName(n, 1, "VOB"));
    return vob != files.end() ? vob->second.path : (fs::path(folder) / VtsName(n, 1, "VOB")).string();
}

bool CVobStream::Fail(const std::string& message)
{
    error = message;
    return false;
}

bool CVobStream::Open(const std::string& path, bool alternative)
{
    std::lock_guard<std::mutex> guard(lock);
    titleSeconds = -1;
    cache.clear();
    alternativeStart = alternative;
    length = position = startOffset = 0;
    files.clear();
    pieces.clear();
    pieceEnds.clear();
    openFile = -1;
    handle.Reset();
    hasIfo = false;
    source = SVtsSource();
    firstVobName.clear();
    error.clear();
    image.reset();

    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        const std::string inside = VideoTsInside(path);
        return ResolveFolder(inside.empty() ? path : inside, 0) && SettleStart() && LoadCache();
    }
    // The named file itself must be a regular file: a FIFO or device is refused at once.
    std::string reason;
    if (!OpenInputFile(path, reason)) return Fail(reason);
    if (!HasDvdExtension(path)) {
        if (!CDvdImage::LooksLikeImage(path)) return Fail(path + ": is neither a DVD title file nor a disc image");
        return ResolveImage(path) && SettleStart() && LoadCache();
    }
    const int titleSet = TitleSetOfName(Upper(fs::path(path).filename().string()));
    if (titleSet < 0 && Extension(path) == ".vob") {
        // A VOB file of its own (a camcorder's, or renamed): read alone, from its start.
        int64_t size = 0;
        if (!IsReadableRegularFile(path, &size)) return Fail(path + ": cannot be read");
        if (size <= 0) return Fail(path + ": is empty");
        firstVobName = path;
        AddPiece(path, 0, size);
        return SettleStart() && LoadCache();
    }
    if (titleSet < 0)
        return Fail(path + ": is not a file of a DVD title set (VTS_nn_m.VOB, .IFO or .BUP, or VIDEO_TS.IFO)");
    const std::string folder = fs::path(path).parent_path().string();
    return ResolveFolder(folder.empty() ? "." : folder, titleSet) && SettleStart() && LoadCache();
}

bool CVobStream::AddPiece(const std::string& file, int64_t offset, int64_t size)
{
    if (size <= 0) return true;
    if (files.empty() || files.back() != file) files.push_back(file);
    pieces.push_back({int(files.size()) - 1, offset, size});
    pieceEnds.push_back((pieceEnds.empty() ? 0 : pieceEnds.back()) + size);
    return true;
}

bool CVobStream::ResolveFolder(const std::string& folder, int titleSet)
{
    const auto list = ListFolder(folder);
    const auto sizeOf = [&](const std::string& name) {
        const auto it = list.find(name);
        return it == list.end() ? int64_t(-1) : it->second.size;
    };
    if (titleSet == 0) titleSet = MainTitleSet(sizeOf);
    if (titleSet == 0) return Fail(folder + ": holds no DVD title set (no VTS_nn_0.IFO)");
    // The VOB files in order; a missing one ends the title, since the cells' sectors
    // count through every file before it.
    for (int m = 1; m <= kMaxVobParts; ++m) {
        const auto it = list.find(VtsName(titleSet, m, "VOB"));
        if (it == list.end()) break;
        if (firstVobName.empty()) firstVobName = it->second.path;
        AddPiece(it->second.path, 0, it->second.size);
    }
    if (pieces.empty()) return Fail(folder + ": has no " + VtsName(titleSet, 1, "VOB") + " to read");
    for (const char* extension : {"IFO", "BUP"}) {
        const auto it = list.find(VtsName(titleSet, 0, extension));
        if (it == list.end()) continue;
        return ReadIfo(it->second.path, it->second.path, {{0, 0, it->second.size}}, it->second.size);
    }
    return true;
}

bool CVobStream::ResolveImage(const std::string& imagePath)
{
    image = std::make_unique<CDvdImage>();
    if (!image->Open(imagePath)) return Fail(image->Error());
    const int titleSet = MainTitleSet([&](const std::string& name) {
        const SImageFile* f = image->Find(name);
        return f ? int64_t(f->size) : int64_t(-1);
    });
    if (titleSet == 0) return Fail(imagePath + ": holds no DVD title set (no VIDEO_TS/VTS_nn_0.IFO)");
    for (int m = 1; m <= kMaxVobParts; ++m) {
        const SImageFile* f = image->Find(VtsName(titleSet, m, "VOB"));
        if (!f) break;
        if (firstVobName.empty()) firstVobName = imagePath + ":VIDEO_TS/" + f->name;
        for (const SImageExtent& e : f->extents) AddPiece(imagePath, int64_t(e.offset), int64_t(e.length));
    }
    if (pieces.empty()) return Fail(imagePath + ": has no VIDEO_TS/" + VtsName(titleSet, 1, "VOB") + " to read");
    for (const char* extension : {"IFO", "BUP"}) {
        const SImageFile* f = image->Find(VtsName(titleSet, 0, extension));
        if (!f) continue;
        std::vector<SPiece> ifoPieces;
        for (const SImageExtent& e : f->extents) ifoPieces.push_back({0, int64_t(e.offset), int64_t(e.length)});
        return ReadIfo(imagePath + ":VIDEO_TS/" + f->name, imagePath, ifoPieces, int64_t(f->size));
    }
    return true;
}

// Reads the IFO called `name`, stored as `ifoPieces` of `file`, and parses what the
// title needs. A damaged IFO is an error: the title's start and cells would be guesses.
bool CVobStream::ReadIfo(const std::string& name, const std::string& file, const std::vector<SPiece>& ifoPieces,
                         int64_t size)
{
    std::string reason;
    CFileDescriptor in = OpenInputFile(file, reason);
    if (!in) return Fail(reason);
    std::vector<uint8_t> bytes;
    const int64_t wanted = std::min(size, kMaxIfoBytes);
    for (const SPiece& p : ifoPieces) {
        const int64_t take = std::min(p.length, wanted - int64_t(bytes.size()));
        if (take <= 0) break;
        const size_t at = bytes.size();
        bytes.resize(at + size_t(take));
        if (ReadDescriptorAt(in.Get(), bytes.data() + at, size_t(take), p.offset) != size_t(take))
            return Fail(name + ": cannot be read");
    }
    if (!ParseVtsSource(bytes.data(), bytes.size(), source, reason)) return Fail(name + ": " + reason);
    hasIfo = true;
    return true;
}

bool CVobStream::SettleStart()
{
    const int64_t total = pieceEnds.back();
    if (hasIfo && !source.chain.entryCells.empty()) {
        // The title's length to the picture (whole seconds would cut up to a second off
        // its end), less the cells before the one the stream starts at.
        const int cell = StartCellIndex(source.chain, alternativeStart);
        double seconds = PlaybackSeconds(source.chain.playbackTime);
        for (int i = 0; i < cell; ++i) seconds -= PlaybackSeconds(source.chain.cells[size_t(i)].playbackTime);
        titleSeconds = seconds > 0 ? seconds : -1;
        startOffset = int64_t(source.chain.cells[size_t(cell)].firstSector) * kSector;
        if (startOffset >= total)
            return Fail(firstVobName + ": the title's IFO starts it at sector " +
                        std::to_string(startOffset / kSector) + ", past the end of its VOB files (" +
                        std::to_string(total / kSector) + " sectors)");
    }
    length = total - startOffset;
    return true;
}

bool CVobStream::LoadCache()
{
    cache.resize(size_t(std::min(length, kCacheBytes)));
    if (ReadRaw(startOffset, cache.data(), int64_t(cache.size())) != int64_t(cache.size())) {
        cache.clear();
        return false;
    }
    HideSecondaryAudio(cache.data(), cache.size());
    return true;
}

int64_t CVobStream::ReadRaw(int64_t absolute, uint8_t* buffer, int64_t bytes)
{
    int64_t done = 0;
    while (done < bytes) {
        const auto it = std::upper_bound(pieceEnds.begin(), pieceEnds.end(), absolute + done);
        if (it == pieceEnds.end()) break;
        const size_t i = size_t(it - pieceEnds.begin());
        const SPiece& piece = pieces[i];
        const int64_t within = absolute + done - (*it - piece.length);
        const int64_t take = std::min(bytes - done, piece.length - within);
        if (openFile != piece.file) {
            handle.Reset();
            openFile = -1;
            std::string reason;
            handle = OpenInputFile(files[size_t(piece.file)], reason);
            if (!handle) {
                Fail(reason);
                return -1;
            }
            openFile = piece.file;
        }
        const size_t got = ReadDescriptorAt(handle.Get(), buffer + done, size_t(take), piece.offset + within);
        if (got != size_t(take)) {
            Fail(files[size_t(piece.file)] + ": cannot be read at byte " + std::to_string(piece.offset + within + got) +
                 " (the file is shorter than when it was opened)");
            return -1;
        }
        done += take;
    }
    return done;
}

bool CVobStream::SetPosition(int64_t newPosition)
{
    std::lock_guard<std::mutex> guard(lock);
    if (newPosition < 0 || newPosition > length) return false;
    position = newPosition;
    return true;
}

int64_t CVobStream::Read(uint8_t* buffer, int64_t bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    if (bytes <= 0 || position >= length) return 0;
    const int64_t n = std::min(bytes, length - position);
    int64_t done = 0;
    if (position < int64_t(cache.size())) {
        done = std::min(n, int64_t(cache.size()) - position);
        std::memcpy(buffer, cache.data() + position, size_t(done));
    }
    if (done < n) {
        const int64_t got = ReadRaw(startOffset + position + done, buffer + done, n - done);
        if (got < 0) return -1;
        done += got;
    }
    position += done;
    return done;
}
