#include "mpeg2enc/Encoder.h"

#include "base/DVDParams.h"
#include "base/Ini.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "base/Threads.h"
#include "mpeg2enc/VlcTables.h"
#include "picture/FrameSource.h"

#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr size_t noPicture = std::numeric_limits<size_t>::max();

// The frame_rate_code table of 13818-2 as numerator / denominator.
constexpr int64_t rateTable[9][2] = {{30000, 1001}, {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                     {30, 1},       {50, 1},       {60000, 1001}, {60, 1}};

// Largest number of bytes one picture can take: per macroblock six blocks of 63 escaped
// coefficients (24 bits) with DC and end of block, plus macroblock and slice headers.
size_t WorstCasePictureBytes(int mbCount, int mbRows)
{
    return size_t(mbCount) * (6 * (63 * 3 + 8) + 16) + size_t(mbRows) * 8 + 4096;
}

// Largest number of bytes one slice (macroblock row) can take, rounded up to whole
// cache lines: the same bound per macroblock plus the slice header.
size_t WorstCaseSliceBytes(int mbColumns)
{
    return (size_t(mbColumns) * (6 * (63 * 3 + 8) + 16) + 64 + 63) & ~size_t(63);
}

long ParseLong(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

}  // namespace

// The worker pool of one stream. The calling thread is worker 0 and `helpers` hold the
// others. For each picture the calling thread sets the picture's fields and then
// publishes a new generation in `work` (generation in the high half, next row in the low
// half); every worker claims rows from it until none is left, and the calling thread
// waits only until every row is coded, never for a helper that has not woken up (on a
// busy machine the picture is then simply coded by fewer threads). A claim succeeds only
// on the current generation, and the fields of a picture change only after all its
// rows are done, so a helper never codes a row with another picture's fields.
struct CEncoder::SSliceWorkers {
    explicit SSliceWorkers(CEncoder& owner) : encoder(owner) {}
    ~SSliceWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        wake.notify_all();
        for (std::thread& t : helpers) t.join();
    }

    // Allocates the slice buffers and starts `count - 1` helper threads. Returns false
    // when memory or a thread could not be had.
    bool Start(int count)
    {
        const int rows = encoder.mbRows;
        sliceCapacity = WorstCaseSliceBytes(encoder.mbColumns);
        if (!sliceMemory.Allocate(sliceCapacity * size_t(rows) + 128)) return false;
        uint8_t* base = sliceMemory.AlignedAbove(64);
        try {
            searches = std::make_unique<SSearcher[]>(size_t(count));
            for (int i = 0; i < count; ++i) searches[i].search.highQuality = encoder.highQuality;
            searchCount = size_t(count);
            searched = std::make_unique<SProgress[]>(size_t(rows));
            slices = std::make_unique<SSlice[]>(size_t(rows));
            for (int r = 0; r < rows; ++r) {
                slices[r].data = base + size_t(r) * sliceCapacity;
                slices[r].writer.Attach(slices[r].data, sliceCapacity);
            }
            helpers.reserve(size_t(count - 1));
            for (int i = 1; i < count; ++i) helpers.emplace_back([this, i] { HelperLoop(i); });
        } catch (...) {
            return false;  // the destructor stops any helper already started
        }
        return true;
    }

    // Searches (P pictures) and codes every row, each into its own slice buffer.
    void CodePicture(bool isIntra, int quantiser, const CFrame& referenceFrame, CFrame& currentFrame)
    {
        intra = isIntra;
        q = quantiser;
        // The search's weight comes from the picture's first quantiser, so that a picture
        // coded again finds the same vectors (as the serial path keeps them).
        for (size_t i = 0; i < searchCount; ++i) searches[i].search.SetQuantiser(encoder.searchQuantiser);
        reference = &referenceFrame;
        current = &currentFrame;
        const int rows = encoder.mbRows;
        for (int r = 0; r < rows; ++r) searched[r].columns.store(0, std::memory_order_relaxed);
        rowsDone.store(0, std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> lock(mutex);
            work.store(++generation << 32, std::memory_order_release);
        }
        wake.notify_all();
        RunRows(0);
        // Rows that other workers still code: a short spin, then sleep until the last
        // one is done.
        for (int spins = 0;; ++spins) {
            const int done = rowsDone.load(std::memory_order_acquire);
            if (done == rows) break;
            if (spins < 1000)
                _mm_pause();
            else
                rowsDone.wait(done, std::memory_order_acquire);
        }
    }

    void HelperLoop(int index)
    {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return quit || (work.load(std::memory_order_relaxed) >> 32) != seen; });
                if (quit) return;
                seen = work.load(std::memory_order_relaxed) >> 32;
            }
            RunRows(index);
        }
    }

    // Waits until the motion search of `row` has finished at least `columns` macroblocks.
    void WaitForSearch(int row, int columns) const
    {
        const std::atomic<int>& progress = searched[row].columns;
        for (int spins = 0;; ++spins) {
            const int done = progress.load(std::memory_order_acquire);
            if (done >= columns) return;
            if (spins < 1000)
                _mm_pause();
            else
                progress.wait(done, std::memory_order_acquire);  // its worker lost its processor
        }
    }

    // Claims the next row of the current picture; -1 when every row is taken.
    int ClaimRow()
    {
        uint64_t v = work.load(std::memory_order_acquire);
        while (int(v & 0xFFFFFFFFu) < encoder.mbRows)
            if (work.compare_exchange_weak(v, v + 1, std::memory_order_acq_rel, std::memory_order_acquire))
                return int(v & 0xFFFFFFFFu);
        return -1;
    }

    void RunRows(int index)
    {
        CEncoder& e = encoder;
        const int columns = e.mbColumns;
        for (int row; (row = ClaimRow()) >= 0;) {
            if (!intra) {
                // A macroblock's candidates come from its left, top and top-right
                // neighbours: the row above must be final up to the next column.
                int32_t* vx = current->Array(CFrame::kMotionX);
                int32_t* vy = current->Array(CFrame::kMotionY);
                int32_t* flags = current->Array(CFrame::kMbFlags);
                std::atomic<int>& progress = searched[row].columns;
                for (int column = 0; column < columns; ++column) {
                    if (row > 0) WaitForSearch(row - 1, std::min(column + 2, columns));
                    searches[index].search.SearchAndClassify(
                        row * columns + column, e.input.picture.planeY, reference->picture.planeY, e.width, e.height,
                        reference->Array(CFrame::kMotionX), reference->Array(CFrame::kMotionY), vx, vy, flags);
                    progress.store(column + 1, std::memory_order_release);
                    progress.notify_all();
                }
            }
            SSlice& slice = slices[row];
            slice.writer.Reset();
            e.CodeRow(row, slice.writer, intra, q, *reference, *current);
            slice.bits = slice.writer.BitCount();
            slice.writer.Finish();
            if (rowsDone.fetch_add(1, std::memory_order_acq_rel) + 1 == e.mbRows) rowsDone.notify_all();
        }
    }

    // What one thread updates all the time sits on its own cache lines, so that the
    // workers do not slow each other down by sharing them.
    struct alignas(64) SSearcher {
        CMotionSearch search;
    };
    struct alignas(64) SProgress {
        std::atomic<int> columns{0};  // macroblocks of the row whose search is final
    };
    struct alignas(64) SSlice {
        CBitWriter writer;  // over `data`, a part of sliceMemory
        uint8_t* data = nullptr;
        uint64_t bits = 0;  // length of the coded slice
    };

    CEncoder& encoder;
    std::vector<std::thread> helpers;
    std::unique_ptr<SSearcher[]> searches;  // one per worker
    size_t searchCount = 0;
    std::unique_ptr<SProgress[]> searched;  // per row
    std::unique_ptr<SSlice[]> slices;  // per row
    CMemory sliceMemory;
    size_t sliceCapacity = 0;

    // The picture being coded (written by the calling thread before it is published).
    bool intra = true;
    int q = 2;
    const CFrame* reference = nullptr;
    CFrame* current = nullptr;
    uint64_t generation = 0;  // the calling thread's count of published pictures

    alignas(64) std::atomic<uint64_t> work{0};
    alignas(64) std::atomic<int> rowsDone{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
};

CEncoder::CEncoder() : threadCount(WorkerThreads()) {}

CEncoder::~CEncoder()
{
    StopWorkers();
    CloseProgress();
}

void CEncoder::SetThreads(int count) { threadCount = std::clamp(count, 1, 64); }

void CEncoder::StartWorkers()
{
    StopWorkers();
    if (threadCount <= 1 || mbRows <= 1) return;
    workers = std::make_unique<SSliceWorkers>(*this);
    // Without memory or threads the stream is coded serially: the same bytes, slower.
    if (!workers->Start(std::min(threadCount, mbRows))) workers.reset();
}

void CEncoder::StopWorkers() { workers.reset(); }

bool CEncoder::CodePictureParallel(bool intra, int q, const CFrame& reference, CFrame& current)
{
    workers->CodePicture(intra, q, reference, current);
    for (int row = 0; row < mbRows; ++row) {
        const SSliceWorkers::SSlice& slice = workers->slices[row];
        if (slice.writer.overflowed) return false;
        writer.AlignToByte();
        writer.AppendBits(slice.data, slice.bits);
    }
    return true;
}

uint64_t CEncoder::PictureTicks(int64_t n) const
{
    return uint64_t(n) * 90000u * uint64_t(rateDenominator) / uint64_t(rateNumerator);
}

bool CEncoder::LoadMatrix(const std::string& text, uint8_t matrix[64])
{
    if (text == "Default") return false;
    uint8_t parsed[64] = {};
    const CMatrixParse result = ParseMatrixText(text, parsed);
    // A matrix needs 64 entries of 1..255; anything shorter or with a zero entry cannot be
    // written into a sequence header, so the default matrix is used instead.
    if (result.byteCount < 64) return false;
    for (uint8_t v : parsed)
        if (v == 0) return false;
    std::memcpy(matrix, parsed, 64);
    return true;
}

bool CEncoder::InitFromSettings(const CDVDParams& params)
{
    width = params.width;
    height = params.height;
    videoFormat = params.videoStandard;
    aspectCode = params.aspectCode;
    frameRateCode = params.frameRateCode;
    targetBitRate = params.videoBitRate;
    jobName = params.jobName;
    displayWidth = width;
    displayHeight = height;
    progressiveFrame = true;
    topFieldFirst = true;
    gopLength = 15;
    highQuality = params.highQuality != 0;
    loadIntra = LoadMatrix(params.intraMatrixText, intraMatrix);
    loadNonIntra = LoadMatrix(params.interMatrixText, nonIntraMatrix);
    return Configure();
}

bool CEncoder::InitFromConfigFile(const std::string& path)
{
    const std::string section = "OrvoMPG";
    auto read = [&](const char* key, const char* def) { return IniRead(section, key, def, path, 2047); };

    width = int(ParseLong(read("OutputWidth", "720")));
    height = int(ParseLong(read("OutputHeight", "480")));
    const std::string aspect = read("AspectRatio", "4:3");
    aspectCode = aspect == "1:1" ? 1 : aspect == "16:9" ? 3 : 2;
    videoFormat = read("VideoFormat", "NTSC") == "PAL" ? 1 : 2;
    frameRateCode = read("FrameRate", "29.97") == "25" ? 3 : 4;
    const long gop = ParseLong(read("MaxKeyframeInterval", "15"));
    gopLength = gop < 1 || gop > 255 ? 15 : int(gop);
    const double rate = std::strtod(read("TargetBitRate", "7000000.0").c_str(), nullptr);
    targetBitRate = rate < 256000.0 || rate > 15000000.0 || std::isnan(rate) ? 7000000.0 : rate;
    loadIntra = LoadMatrix(read("IntraQuantMatrix", "Default"), intraMatrix);
    loadNonIntra = LoadMatrix(read("InterQuantMatrix", "Default"), nonIntraMatrix);
    outputFileName = read("OutputVideoFileName", "./orvompg.m2v");
    const long long size = std::strtoll(read("MaxMpegFileSize", "1024000000").c_str(), nullptr, 10);
    maxFileSize = size < 256 || size > 1024000000 ? 1024000000 : size;
    // The file names no display size or field order: use those of the settings path.
    displayWidth = width;
    displayHeight = height;
    progressiveFrame = true;
    topFieldFirst = true;
    jobName.clear();
    return Configure();
}

void CEncoder::SetFieldOrder(bool interlaced, bool topFirst)
{
    progressiveFrame = !interlaced;
    topFieldFirst = topFirst || !interlaced;
}

bool CEncoder::Configure()
{
    // Workers are sized for the old picture; a stream that goes on after a new
    // configuration is coded serially (the same bytes).
    StopWorkers();
    initialised = false;
    if (width < 16 || height < 16 || width % 16 || height % 16 || width > 4080 || height > 4080) return false;
    mbColumns = width / 16;
    mbRows = height / 16;
    if (frameRateCode < 1 || frameRateCode > 8) frameRateCode = 4;
    rateNumerator = rateTable[frameRateCode][0];
    rateDenominator = rateTable[frameRateCode][1];
    rateController.Initialise(targetBitRate, FrameRate());

    if (!input.Create(width, height) || !reconstruction[0].Create(width, height) ||
        !reconstruction[1].Create(width, height))
        return false;
    groupCapacity = std::max(groupBufferSize, WorstCasePictureBytes(mbColumns * mbRows, mbRows) * 2);
    if (!groupMemory.Allocate(groupCapacity + 512)) return false;
    groupBuffer = groupMemory.AlignedAbove(128);

    if (!loadIntra) std::memcpy(intraMatrix, defaultIntraMatrix, 64);
    if (!loadNonIntra) std::memset(nonIntraMatrix, 16, 64);
    quantiser.Build(intraMatrix, nonIntraMatrix);
    rdQuantiser.Build(quantiser, CRdQuantiser::SSettings());

    writer.Attach(groupBuffer, groupCapacity);
    frameCounter = 0;
    totalFrames = 10800000;
    currentPictureTime = 0;
    nextPictureTime = uint32_t(PictureTicks(1));
    readPosition = endPosition = 0;
    currentIndex = 0;
    initialised = true;
    return true;
}

bool CEncoder::Start(CFrameSource* frameSource, int64_t frameCount)
{
    if (!initialised) return false;
    source = frameSource;
    totalFrames = std::max<int64_t>(frameCount, 0);
    readPosition = endPosition = 0;
    frameCounter = 0;
    gopComplete = streamFinished = endOfStream = false;
    cancelled = failed = false;
    std::fill(std::begin(pictureStarts), std::end(pictureStarts), noPicture);
    motionSearch.highQuality = highQuality;
    vbv = CVbvModel(FrameRate(), headerBitRate);
    lastIntraBits = 0.0;
    StartWorkers();

    std::string name = jobName;
    if (name.size() > 48) name = name.substr(0, 45) + "...";
    std::string body = Text(421);
    const size_t at = body.find("%s");
    if (at != std::string::npos) body.replace(at, 2, name);
    progress = std::make_unique<CProgress>();
    progress->SetPositionOffset(progressOffset);
    progress->Open(Text(420), body);
    return true;
}

void CEncoder::CloseProgress() { progress.reset(); }

bool CEncoder::EnsureGroupSpace()
{
    const size_t needed = WorstCasePictureBytes(mbColumns * mbRows, mbRows);
    if (writer.FreeBytes() >= needed) return true;
    // Grow rather than wrap: a GOP never overwrites its own start.
    const size_t newCapacity = std::max(groupCapacity * 2, writer.Position() + 2 * needed);
    CMemory bigger;
    if (!bigger.Allocate(newCapacity + 512)) return false;
    uint8_t* newBuffer = bigger.AlignedAbove(128);
    std::memcpy(newBuffer, groupBuffer, writer.Position());
    groupMemory = std::move(bigger);
    groupBuffer = newBuffer;
    groupCapacity = newCapacity;
    writer.Rebase(groupBuffer, groupCapacity);
    return true;
}

size_t CEncoder::FinishGop() { return writer.Finish(); }

int32_t CEncoder::Read(uint8_t* buffer, int32_t length)
{
    if (length <= 0 || !initialised) return 0;
    if (readPosition == endPosition) {
        if (streamFinished) {
            currentPictureTime = nextPictureTime = endOfStreamTime;
            return 0;
        }
        readPosition = endPosition = 0;
        gopComplete = false;
        std::fill(std::begin(pictureStarts), std::end(pictureStarts), noPicture);
        bool reachedEnd = true;  // false when filling stopped at the end of a GOP
        while (frameCounter < totalFrames && source) {
            if (gopComplete) {
                endPosition = FinishGop();
                reachedEnd = false;
                break;
            }
            if (!EnsureGroupSpace()) {
                failed = true;
                break;
            }
            // A decoded source that ran out before its estimated length ends the stream
            // with the pictures it gave.
            if (source->Exhausted()) break;
            source->NextFrame(input);
            if (!EncodePicture()) break;
        }
        if (reachedEnd) {
            // The frame count was reached (or coding was cancelled): the GOP in the buffer
            // is the last one, complete or short, and the stream ends after its last byte.
            endPosition = FinishGop();
            endOfStream = true;
            writer.Rewind();
            StopWorkers();
            CloseProgress();
            gopComplete = true;
            streamFinished = true;
        }
    }
    if (readPosition == endPosition) {
        currentPictureTime = nextPictureTime = endOfStreamTime;
        return 0;
    }
    const size_t remaining = endPosition - readPosition;
    size_t count;
    if (readPosition + size_t(length) < endPosition)
        count = size_t(length);
    else if (length > 16)
        count = remaining < size_t(length - 16) ? remaining : size_t(length - 16);
    else
        count = std::min(remaining, size_t(length));  // tiny reads simply take what is left
    std::memcpy(buffer, groupBuffer + readPosition, count);
    readPosition += count;
    UpdateTimes();
    return int32_t(count);
}

void CEncoder::UpdateTimes()
{
    if (endOfStream && readPosition == endPosition) {
        currentPictureTime = nextPictureTime = endOfStreamTime;
        return;
    }
    int i = 0;
    while (i < gopLength && pictureStarts[i] <= readPosition) ++i;
    currentPictureTime = uint32_t(PictureTicks(i + gopFirstFrame));
    nextPictureTime = uint32_t(PictureTicks(i + gopFirstFrame + 1));
}

void CEncoder::WriteSequenceHeaders()
{
    CBitWriter& w = writer;
    const uint32_t bitRateValue = (headerBitRate + 399) / 400;  // 20500
    w.PutStartCode(0x000001B3);
    w.PutBits(uint32_t(width) & 0xFFF, 12);
    w.PutBits(uint32_t(height) & 0xFFF, 12);
    w.PutBits(uint32_t(aspectCode), 4);
    w.PutBits(uint32_t(frameRateCode), 4);
    w.PutBits(bitRateValue & 0x3FFFF, 18);
    w.PutBits(1, 1);
    w.PutBits(112, 10);
    w.PutBits(0, 1);
    w.PutBits(loadIntra ? 1 : 0, 1);
    if (loadIntra)
        for (int i = 0; i < 64; ++i) w.PutBits(intraMatrix[zigzagScan[i]], 8);
    w.PutBits(loadNonIntra ? 1 : 0, 1);
    if (loadNonIntra)
        for (int i = 0; i < 64; ++i) w.PutBits(nonIntraMatrix[zigzagScan[i]], 8);

    w.PutStartCode(0x000001B5);
    w.PutBits(1, 4);
    w.PutBits(0x48, 8);
    w.PutBits(0, 1);  // progressive_sequence
    w.PutBits(1, 2);  // 4:2:0
    w.PutBits(uint32_t(width) >> 12, 2);
    w.PutBits(uint32_t(height) >> 12, 2);
    w.PutBits(bitRateValue >> 18, 12);
    w.PutBits(1, 1);
    w.PutBits(112 >> 10, 8);
    w.PutBits(0, 1);  // low_delay
    w.PutBits(0, 2);
    w.PutBits(0, 5);

    w.PutStartCode(0x000001B5);
    w.PutBits(2, 4);
    w.PutBits(uint32_t(videoFormat), 3);
    w.PutBits(1, 1);
    w.PutBits(5, 8);
    w.PutBits(5, 8);
    w.PutBits(4, 8);
    w.PutBits(uint32_t(displayWidth), 14);
    w.PutBits(1, 1);
    w.PutBits(uint32_t(displayHeight), 14);
}

void CEncoder::WriteGopHeader(int64_t n)
{
    const int64_t r = int64_t(FrameRate() + 0.5);
    const int64_t pictures = n % r;
    const int64_t s = n / r;
    const uint32_t seconds = uint32_t(s % 60), minutes = uint32_t((s / 60) % 60), hours = uint32_t((s / 3600) % 24);
    writer.PutStartCode(0x000001B8);
    writer.PutBits(0, 1);  // drop_frame_flag
    writer.PutBits(hours, 5);
    writer.PutBits(minutes, 6);
    writer.PutBits(1, 1);
    writer.PutBits(seconds, 6);
    writer.PutBits(uint32_t(pictures), 6);
    writer.PutBits(1, 1);  // closed_gop
    writer.PutBits(0, 1);  // broken_link
}

void CEncoder::WritePictureHeaders(bool intra, int temporalReference)
{
    CBitWriter& w = writer;
    w.PutStartCode(0x00000100);
    w.PutBits(uint32_t(temporalReference), 10);
    w.PutBits(intra ? 1 : 2, 3);
    w.PutBits(0xFFFF, 16);
    if (!intra) {
        w.PutBits(0, 1);
        w.PutBits(7, 3);
    }
    w.PutBits(0, 1);

    w.PutStartCode(0x000001B5);
    w.PutBits(8, 4);
    if (intra) {
        w.PutBits(0xFFFF, 16);
    } else {
        w.PutBits(5, 4);
        w.PutBits(5, 4);
        w.PutBits(15, 4);
        w.PutBits(15, 4);
    }
    w.PutBits(1, 2);  // intra_dc_precision: 9 bits
    w.PutBits(3, 2);  // frame picture
    w.PutBits(topFieldFirst ? 1 : 0, 1);
    // frame_pred_frame_dct: every macroblock uses frame prediction and the frame DCT; the
    // high-quality mode says so once here instead of in each macroblock.
    w.PutBits(highQuality ? 1 : 0, 1);
    w.PutBits(0, 1);  // concealment_motion_vectors
    w.PutBits(1, 1);  // q_scale_type: non-linear
    w.PutBits(intra ? 1 : 0, 1);  // intra_vlc_format
    w.PutBits(highQuality ? 0 : 1, 1);  // alternate_scan (the high-quality mode: zigzag)
    w.PutBits(0, 1);  // repeat_first_field
    w.PutBits(progressiveFrame ? 1 : 0, 1);  // chroma_420_type
    w.PutBits(progressiveFrame ? 1 : 0, 1);  // progressive_frame
    w.PutBits(0, 1);  // composite_display_flag
}

bool CEncoder::EncodePicture()
{
    const int64_t n = frameCounter;
    const int position = int(n % gopLength);
    const bool intra = position == 0;
    pictureStarts[position] = writer.AlignedPosition();

    if (flipVertical) FlipInput();

    if (intra) {
        gopFirstFrame = n;
        WriteSequenceHeaders();
        WriteGopHeader(n);
        if (progress) {
            const int64_t percent = totalFrames > 0 ? n * 100 / totalFrames : 0;
            progress->SetPercentAndTime(int64_t(double(n) / FrameRate()), int(percent));
            progress->Pump();
            if (progress->IsCancelled()) cancelled = true;
        }
    }

    CFrame& current = reconstruction[currentIndex];
    const CFrame& reference = reconstruction[1 - currentIndex];
    int q = PictureQuantiser(intra);
    searchQuantiser = q;
    // Groups are closed and hold no B pictures: the picture after the last of a group is
    // an I picture, so nothing predicts from the last one.
    reconstructPicture = position != gopLength - 1 || pictureHook;
    const int mbCount = mbColumns * mbRows;
    int32_t* vx = current.Array(CFrame::kMotionX);
    int32_t* vy = current.Array(CFrame::kMotionY);
    int32_t* flags = current.Array(CFrame::kMbFlags);
    if (intra) {
        std::fill(vx, vx + mbCount, 0);
        std::fill(vy, vy + mbCount, 0);
        std::fill(flags, flags + mbCount, flagIntra);
    } else if (!workers) {
        motionSearch.SetQuantiser(searchQuantiser);
        motionSearch.SearchPicture(input.picture.planeY, reference.picture.planeY, width, height,
                                   reference.Array(CFrame::kMotionX), reference.Array(CFrame::kMotionY), vx, vy, flags);
    }

    uint64_t bits = 0;
    if (!CodePicture(intra, position, q, reference, current, bits)) {
        failed = true;  // a slice outgrew its bound: never expected, but never written cut
        return false;
    }
    rateController.Update(intra, double(bits));
    if (pictureHook) pictureHook(SPictureInfo{n, intra, q, bits, current, input.picture});

    currentIndex = 1 - currentIndex;
    ++frameCounter;
    if (position == gopLength - 1) gopComplete = true;
    // A stop ends the coding after this picture; a cancel waits for the next group.
    if (progress && progress->IsStopped()) cancelled = true;
    return !cancelled;
}

void CEncoder::FlipInput()
{
    CYUV420Image& p = input.picture;
    auto flip = [](uint8_t* plane, int w, int h) {
        for (int top = 0, bottom = h - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(plane + size_t(top) * size_t(w), plane + size_t(top + 1) * size_t(w),
                             plane + size_t(bottom) * size_t(w));
    };
    flip(p.planeY, width, height);
    flip(p.planeCb, width / 2, height / 2);
    flip(p.planeCr, width / 2, height / 2);
}

void CEncoder::CodeSlices(bool intra, int q, const CFrame& reference, CFrame& current)
{
    for (int row = 0; row < mbRows; ++row) CodeRow(row, writer, intra, q, reference, current);
}
