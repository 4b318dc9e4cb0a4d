// CEncoder: turns a sequence of 4:2:0 frames into an MPEG-2 video elementary stream for
// DVD-Video (Main Profile at Main Level, frame pictures, I and P pictures, closed
// groups of pictures). It is a pull encoder: Read hands out the coded bytes of one
// group of pictures (GOP) from the group buffer and codes the next GOP, pulling its
// frames from the frame source, whenever the buffer has been read completely.
//
// Pictures are coded in display order. Frame n is at position n mod gopLength of its
// GOP; position 0 is an I picture, every other position a P picture predicted from the
// reconstruction of the picture before it. The sequence header and its two extensions
// are repeated before every GOP.
//
// With more than one thread, the macroblock rows of a picture are shared out among a
// small pool of workers (started with the stream): every row is a slice that starts on
// a byte boundary and resets its predictors, so each is coded into its own buffer and
// the buffers are joined in row order. The motion search runs row by row in the same
// workers, each macroblock waiting for the neighbours its candidates come from, so
// every decision and every byte is the same as with one thread.
#pragma once

#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/MotionSearch.h"
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/RateController.h"
#include "mpeg2enc/RdQuantiser.h"
#include "mpeg2enc/VbvModel.h"
#include "picture/Frame.h"
#include "picture/Memory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDVDParams;
class CFrameSource;
class CProgress;

class CEncoder {
public:
    static constexpr size_t groupBufferSize = 4096000;
    static constexpr uint32_t endOfStreamTime = 2592000000u;
    static constexpr int headerBitRate = 8200000;

    // What the encoder reports after each coded picture (tests and tools).
    struct SPictureInfo {
        int64_t frameNumber;
        bool intra;
        int quantiser;
        uint64_t bits;  // picture header to the end of the last slice
        const CFrame& reconstruction;  // also holds the final vectors and flags
        const CYUV420Image& source;  // the input picture as coded (after any flip)
    };

    CEncoder();
    ~CEncoder();
    CEncoder(const CEncoder&) = delete;
    CEncoder& operator=(const CEncoder&) = delete;

    // Configures the encoder from the DVD settings (size, video format, aspect, frame
    // rate code, target bit rate, matrix texts, job name) and allocates its frames and
    // buffers. Returns false when memory could not be allocated or the size is not a
    // positive multiple of 16.
    bool InitFromSettings(const CDVDParams& params);
    // Configures the encoder from section "OrvoMPG" of the INI file at `path`; values
    // out of range take their defaults. Returns false as InitFromSettings does.
    bool InitFromConfigFile(const std::string& path);

    // Attaches the frame source and the number of frames to code, and opens the progress
    // window. Returns false before a successful initialisation.
    bool Start(CFrameSource* source, int64_t frameCount);

    // Copies up to `length` bytes of the stream into `buffer`, coding the next GOP when
    // the buffered one has been read. When fewer than `length` bytes are left in the
    // buffered GOP, a read returns them only when they are fewer than length - 16, and
    // length - 16 bytes otherwise. Returns the number of bytes copied, 0 at the end.
    int32_t Read(uint8_t* buffer, int32_t length);
    // True when every byte of the buffered GOP has been read.
    bool IsDrained() const { return readPosition == endPosition; }
    // 90 kHz times of the picture at the read position (decoding and presentation);
    // endOfStreamTime once the last byte of the stream has been read.
    uint32_t CurrentPictureTime() const { return currentPictureTime; }
    uint32_t NextPictureTime() const { return nextPictureTime; }

    // Number of threads that code a picture (1..64), taking effect at the next Start; 1
    // codes on the calling thread alone. The default is WorkerThreads().
    void SetThreads(int count);
    // The number of threads set (the stream may use fewer when workers could not be
    // started: the output is the same either way).
    int Threads() const { return threadCount; }

    // Chooses the high-quality mode (true) or the standard one (false, the default) for
    // the next Start: a lower quantiser for I pictures than for the P pictures of their
    // group, a wider motion search and rate-distortion choices of the coded levels.
    void SetHighQuality(bool on) { highQuality = on; }
    // True when the high-quality mode is chosen.
    bool HighQuality() const { return highQuality; }

    void SetFlipVertical(bool flip) { flipVertical = flip; }
    void SetAspectCode(int code) { aspectCode = code; }
    // progressive_frame and chroma_420_type := !interlaced; top_field_first := 1 when
    // topFieldFirst is true or the source is not interlaced.
    void SetFieldOrder(bool interlaced, bool topFieldFirst);
    void SetProgressOffset(int32_t seconds) { progressOffset = seconds; }
    // Called after every coded picture; empty to stop. While a hook is set, every
    // picture is reconstructed (otherwise the last picture of each group, which no other
    // picture predicts from, is not).
    void SetPictureHook(std::function<void(const SPictureInfo&)> hook) { pictureHook = std::move(hook); }

    int Width() const { return width; }
    int Height() const { return height; }
    int AspectCode() const { return aspectCode; }
    int FrameRateCode() const { return frameRateCode; }
    // Pictures per second from the frame-rate code (25 or 30000/1001 for DVD).
    double FrameRate() const { return double(rateNumerator) / double(rateDenominator); }
    int GopLength() const { return gopLength; }
    double TargetBitRate() const { return targetBitRate; }
    int VideoFormat() const { return videoFormat; }
    bool IntraMatrixLoaded() const { return loadIntra; }
    bool NonIntraMatrixLoaded() const { return loadNonIntra; }
    const std::string& OutputFileName() const { return outputFileName; }
    int64_t MaxFileSize() const { return maxFileSize; }
    int64_t FramesCoded() const { return frameCounter; }
    int64_t TotalFrames() const { return totalFrames; }
    // True after the last GOP (or a cancel) has been coded; reads then run dry.
    bool StreamFinished() const { return streamFinished; }
    // True when the person cancelled in the progress window.
    bool Cancelled() const { return cancelled; }
    // True when coding stopped because the group buffer could not be enlarged.
    bool Failed() const { return failed; }

    // 90 kHz time of picture `n`: n x 90000 / frame rate, computed exactly in integers.
    uint64_t PictureTicks(int64_t n) const;

private:
    bool Configure();
    bool LoadMatrix(const std::string& text, uint8_t matrix[64]);
    bool EnsureGroupSpace();
    bool EncodePicture();
    size_t FinishGop();
    void CloseProgress();

    void WriteSequenceHeaders();
    void WriteGopHeader(int64_t frameNumber);
    void WritePictureHeaders(bool intra, int temporalReference);
    // Codes the picture's headers and slices at quantiser `q` into the group buffer, and
    // in the high-quality mode codes it again with another quantiser where that pays
    // (leaving the one used in `q`). `bits` receives its size. Returns false when a slice
    // did not fit its buffer.
    bool CodePicture(bool intra, int position, int& q, const CFrame& reference, CFrame& current, uint64_t& bits);
    void CodeSlices(bool intra, int q, const CFrame& reference, CFrame& current);
    // Codes macroblock row `row` as one slice into `w`, and reconstructs it into `current`
    // when `reconstructPicture` is set.
    void CodeRow(int row, CBitWriter& w, bool intra, int q, const CFrame& reference, CFrame& current) const;

    // Macroblock flags: those the motion search leaves, and a coded block pattern.
    static constexpr int flagIntra = CMotionSearch::flagIntra;
    static constexpr int flagPattern = 2;
    static constexpr int flagForward = CMotionSearch::flagForward;

    // One macroblock on its way through CodeRow: its six blocks' prediction, transform
    // and levels (four luma blocks, then Cb and Cr), its flags and coded block pattern.
    struct SMacroblock {
        // The prediction of each block, read in place (rows predStride apart): the
        // reference plane itself at a whole-sample vector, predLuma (stride 16) or
        // predChroma (stride 8) at a half-sample one, one grey row (stride 0) when intra.
        // The reconstruction goes into the other frame, so the reference stays as read.
        const uint8_t* pred[6] = {};
        int predStride[6] = {};
        alignas(16) uint8_t predLuma[256];
        alignas(16) uint8_t predChroma[2][64];
        alignas(16) int16_t coefficients[6][64];
        alignas(16) int16_t levels[6][64];
        int row = 0, column = 0;
        // Offsets of the six blocks in their planes (luma blocks 0..3, then Cb and Cr).
        size_t offset[6] = {};
        int flags = 0;
        int pattern = 0;  // bit 32 >> block set for each coded block
        bool intra = false;
        bool intraPicture = false;  // in an I picture (coefficient table B.15)
    };
    // What a slice carries from one coded macroblock to the next: the address increment,
    // the motion vector predictors and the DC predictors of Y, Cb and Cr.
    struct SSliceState {
        int increment = 1;
        int predX = 0, predY = 0;
        int dc[3] = {0, 0, 0};
    };
    // Forms the prediction (grey for intra, else from `reference` at vx, vy), transforms
    // the prediction error and quantises it; sets mb.pattern.
    void TransformMacroblock(SMacroblock& mb, int q, const CFrame& reference, int vx, int vy) const;
    // Settles the flags of a non-intra macroblock from its pattern; returns true when the
    // macroblock is skipped (nothing coded, no vector, neither first nor last of the row).
    bool SettleFlags(SMacroblock& mb) const;
    // Writes the macroblock's header, vector differences and coded blocks; `intraPicture`
    // chooses the I-picture macroblock type and the intra VLC table.
    void WriteMacroblock(CBitWriter& w, const SMacroblock& mb, bool intraPicture, int vx, int vy,
                         SSliceState& slice) const;
    // Adds the decoded residual of the coded blocks to the prediction in `out`.
    void ReconstructMacroblock(const SMacroblock& mb, int q, CYUV420Image& out) const;
    // Motion search and coding of the whole picture by the worker pool, joined into
    // `writer`. Returns false when a slice did not fit its buffer.
    bool CodePictureParallel(bool intra, int q, const CFrame& reference, CFrame& current);
    struct SSliceWorkers;
    friend struct SSliceWorkers;
    void StartWorkers();
    void StopWorkers();
    // Points mb.pred at each block's prediction from `reference` at vx, vy (half samples)
    // for the macroblock at mb.offset:
    // in the reference itself at a whole-sample vector, else interpolated into mb's buffers.
    void FormPrediction(SMacroblock& mb, int vx, int vy, const CFrame& reference) const;
    void UpdateTimes();
    // Turns the input picture upside down.
    void FlipInput();
    // The quantiser of the picture about to be coded: the rate controller's, or in the
    // high-quality mode for an I picture a lower one.
    int PictureQuantiser(bool intra) const;
    // The next coarser quantiser of the non-linear table (28 stays 28).
    static int CoarserQuantiser(int q);
    // Keep and put back the picture's vectors and macroblock flags (coding adds flags),
    // so that a picture can be coded again with the same decisions.
    void SaveDecisions(const CFrame& current);
    void RestoreDecisions(CFrame& current) const;
    // The most bits the high-quality mode lets the picture at `position` (an I picture
    // when `intra`) take out of the decoder's buffer.
    double BufferLimit(bool intra, int position) const;
    // The share of the picture's macroblocks coded intra (0..1).
    double IntraShare(const CFrame& current) const;

    // Configuration.
    int width = 720, height = 480;
    int displayWidth = 720, displayHeight = 480;
    int aspectCode = 2, videoFormat = 2, frameRateCode = 4;
    int64_t rateNumerator = 30000, rateDenominator = 1001;
    int gopLength = 15;
    double targetBitRate = 7000000.0;
    bool progressiveFrame = true, topFieldFirst = true;
    bool loadIntra = false, loadNonIntra = false;
    bool highQuality = false;
    uint8_t intraMatrix[64] = {}, nonIntraMatrix[64] = {};
    std::string jobName;
    std::string outputFileName = "./orvompg.m2v";
    int64_t maxFileSize = 1024000000;
    int mbColumns = 45, mbRows = 30;
    bool initialised = false;

    // Working objects.
    CFrame input, reconstruction[2];
    int currentIndex = 0;  // reconstruction[currentIndex] receives the next picture
    CQuantiser quantiser;
    CRdQuantiser rdQuantiser;  // the high-quality mode's quantisation over `quantiser`
    CMotionSearch motionSearch;
    CRateController rateController;
    CVbvModel vbv{30000.0 / 1001.0, headerBitRate};  // the high-quality mode's buffer check
    std::vector<int32_t> savedDecisions;  // vectors and flags of the picture being coded
    int searchQuantiser = 5;  // the first quantiser of the picture being coded
    // False while coding a picture that nothing predicts from (the last of its closed
    // group) and no picture hook asks for it: its reconstruction is then left undone.
    bool reconstructPicture = true;
    double lastIntraBits = 0.0;  // size of the last I picture (the high-quality mode's buffer check)
    CBitWriter writer;
    CMemory groupMemory;
    uint8_t* groupBuffer = nullptr;
    size_t groupCapacity = 0;

    // Group-buffer state.
    size_t readPosition = 0, endPosition = 0;
    size_t pictureStarts[256] = {};
    int64_t gopFirstFrame = 0;
    bool gopComplete = false, streamFinished = false, endOfStream = false;
    int64_t frameCounter = 0, totalFrames = 10800000;
    uint32_t currentPictureTime = 0, nextPictureTime = 0;

    int threadCount = 1;
    std::unique_ptr<SSliceWorkers> workers;  // only while a stream runs with threads > 1

    CFrameSource* source = nullptr;
    bool flipVertical = false;
    int32_t progressOffset = 0;
    std::unique_ptr<CProgress> progress;
    bool cancelled = false, failed = false;
    std::function<void(const SPictureInfo&)> pictureHook;
};
