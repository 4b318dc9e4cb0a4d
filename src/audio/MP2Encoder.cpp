#include "audio/MP2Encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int channels = 2;
constexpr int blocksPerFrame = 36;  // sub-band samples per sub-band and frame
constexpr int frameBits = CMP2Encoder::frameBytes * 8;
constexpr int headerBits = 32;
constexpr int crcBits = 16;
constexpr int psychoLead = 192;  // samples before the frame in the model's window
constexpr int streamBufferSize = 4096;

// Quantisation classes: number of steps, bits of one codeword, whether three samples
// share one codeword, and the signal-to-noise ratio the class achieves (dB).
struct CQuantClass {
    int steps;
    int codeBits;
    bool grouped;
    double snr;
};
const CQuantClass quantClasses[17] = {
    {3, 5, true, 7.00},        {5, 7, true, 11.00},      {7, 3, false, 16.00},      {9, 10, true, 20.84},
    {15, 4, false, 25.28},     {31, 5, false, 31.59},    {63, 6, false, 37.75},     {127, 7, false, 43.84},
    {255, 8, false, 49.89},    {511, 9, false, 55.93},   {1023, 10, false, 61.96},  {2047, 11, false, 67.98},
    {4095, 12, false, 74.01},  {8191, 13, false, 80.03}, {16383, 14, false, 86.05}, {32767, 15, false, 92.01},
    {65535, 16, false, 98.01},
};

// Bit allocation table for 48 kHz at 192 kbit/s per channel (27 sub-bands): the width
// of each sub-band's allocation field and the quantisation class of each allocation
// value from 1 up.
struct CAllocRow {
    int nbal;
    int classes[15];
};
const CAllocRow allocLow = {4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
const CAllocRow allocMid = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}};
const CAllocRow allocHigh = {3, {0, 1, 2, 3, 4, 5, 16}};
const CAllocRow allocTop = {2, {0, 1, 16}};

const CAllocRow& AllocRow(int sb)
{
    if (sb < 3) return allocLow;
    if (sb < 11) return allocMid;
    if (sb < 23) return allocHigh;
    return allocTop;
}

int MaxAlloc(int sb) { return (1 << AllocRow(sb).nbal) - 1; }

const CQuantClass& ClassOf(int sb, int alloc) { return quantClasses[AllocRow(sb).classes[alloc - 1]]; }

// Bits the 36 samples of one sub-band take with allocation `alloc`.
int SampleBits(int sb, int alloc)
{
    if (alloc == 0) return 0;
    const CQuantClass& q = ClassOf(sb, alloc);
    return q.grouped ? 12 * q.codeBits : 36 * q.codeBits;
}

double SnrOf(int sb, int alloc) { return alloc == 0 ? 0.0 : ClassOf(sb, alloc).snr; }

// Scale factors: 2^(1 - i/3) for i = 0..62.
struct CScaleTable {
    double value[63];
    CScaleTable()
    {
        for (int i = 0; i < 63; ++i) value[i] = std::pow(2.0, 1.0 - i / 3.0);
    }
};
const CScaleTable& ScaleTable()
{
    static const CScaleTable table;
    return table;
}

// Scale-factor selection information chosen from the classes of the two differences
// between the three scale factors of a sub-band (rows: first difference, columns: second).
// 0: three factors sent; 1: parts 1 and 2 share one; 2: one for all; 3: parts 2 and 3 share.
const int scfsiByClass[5][5] = {
    {0, 3, 3, 3, 0}, {1, 2, 2, 2, 1}, {2, 2, 2, 2, 1}, {2, 2, 2, 2, 0}, {0, 3, 3, 3, 0},
};

int DifferenceClass(int d)
{
    if (d <= -3) return 0;
    if (d < 0) return 1;
    if (d == 0) return 2;
    if (d < 3) return 3;
    return 4;
}

int ScaleFactorsSent(int scfsi) { return scfsi == 0 ? 3 : scfsi == 2 ? 1 : 2; }

// Writes bits most significant first into a byte array.
class CBitWriter {
public:
    explicit CBitWriter(uint8_t* data) : bytes(data) {}
    void Put(unsigned value, int count)
    {
        if (count > 32) {
            std::fprintf(stderr, "Cannot read or write more than %d bits at a time.\n", 32);
            return;
        }
        if (count == 0) return;
        value &= count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1u);
        accumulator = (accumulator << count) | value;
        pending += count;
        position += count;
        while (pending >= 8) {
            pending -= 8;
            bytes[byteIndex++] = uint8_t(accumulator >> pending);
        }
    }
    // Writes out a last partial byte (the rest of the bytes must already be zero).
    void Flush()
    {
        if (pending > 0) bytes[byteIndex++] = uint8_t(accumulator << (8 - pending));
        pending = 0;
    }
    int Position() const { return position; }

private:
    uint8_t* bytes;
    uint64_t accumulator = 0;
    int pending = 0;
    int byteIndex = 0;
    int position = 0;
};

// The index of the smallest scale factor above `peak` (62 for silence).
int ScaleIndex(const CScaleTable& scales, float peak)
{
    // Start near the answer from the logarithm, then settle on the table.
    int index = peak > 0.0f ? int(std::floor(3.0 * (1.0 - std::log2(double(peak))))) : 62;
    index = std::clamp(index, 0, 62);
    while (index < 62 && scales.value[index + 1] > peak) ++index;
    while (index > 0 && !(scales.value[index] > peak)) --index;
    return index;
}

// The frame header: sync word, MPEG-1 Layer II with a CRC, 384 kbit/s at 48 kHz,
// stereo, and room for the CRC, which is filled in once the side information is known.
void PutHeader(CBitWriter& bits)
{
    bits.Put(0xFFF, 12);
    bits.Put(1, 1);  // MPEG-1
    bits.Put(2, 2);  // Layer II
    bits.Put(0, 1);  // protected by a CRC
    bits.Put(14, 4);  // 384 kbit/s
    bits.Put(1, 2);  // 48 kHz
    bits.Put(0, 1);  // no padding
    bits.Put(0, 1);  // private bit
    bits.Put(0, 2);  // stereo
    bits.Put(0, 2);  // mode extension
    bits.Put(0, 1);  // copyright
    bits.Put(0, 1);  // original/copy
    bits.Put(0, 2);  // emphasis
    bits.Put(0, 16);  // CRC, filled in later
}

// Quantises one granule (three consecutive samples) of a sub-band, already divided by
// its scale factor, onto the levels of `q` and writes it: x in [-1, 1) is coded as
// floor(steps (x + 1) / 2); three samples of a grouped class form one codeword.
// `where` names the samples in the warning for a value out of range.
void PutGranule(CBitWriter& bits, const CQuantClass& q, const double (&x)[3], const int (&where)[3])
{
    unsigned codes[3];
    for (int k = 0; k < 3; ++k) {
        long code = long(std::floor(q.steps * (x[k] + 1.0) * 0.5));
        if (code < 0 || code >= q.steps) {
            std::fprintf(stderr, "Not scaled properly %d %d %d %d\n", where[0], where[1], where[2], k);
            code = std::clamp(code, 0L, long(q.steps - 1));
        }
        codes[k] = unsigned(code);
    }
    if (q.grouped) {
        unsigned n = unsigned(q.steps);
        bits.Put(codes[0] + n * (codes[1] + n * codes[2]), q.codeBits);
    } else {
        for (unsigned c : codes) bits.Put(c, q.codeBits);
    }
}

}  // namespace

// The working state of the encoder, and the steps that code one frame from it.
struct CMP2Encoder::CState {
    CSubbandFilter filter[channels];
    CPsychoModel2 model[channels];
    // PCM of the frame per channel, with the model's lead-in from the previous frame.
    float pcm[channels][psychoLead + frameSamples] = {};
    float subband[channels][blocksPerFrame][32] = {};
    int scale[channels][3][32] = {};
    int scfsi[channels][32] = {};
    int alloc[channels][32] = {};
    double smr[channels][32] = {};
    uint8_t pcmBytes[pcmFrameBytes] = {};

    // Analysis filter bank: 36 blocks of 32 sub-band samples per channel.
    void FilterSubbands();
    // Scale factors: for each third of the frame, the smallest table value above the
    // largest magnitude.
    void FindScaleFactors();
    // Scale-factor selection: which factors are sent; a shared factor is the largest of
    // the ones it replaces, so no sample exceeds its factor.
    void SelectScaleFactors();
    // Bit allocation from the signal-to-mask ratios in smr.
    void AllocateBits();
    // Writes the whole frame (frameBytes bytes) from the allocation.
    void WriteFrame(uint8_t* frame) const;

private:
    void PutSideInformation(CBitWriter& bits) const;
    void PutScaleFactors(CBitWriter& bits) const;
    void PutSamples(CBitWriter& bits) const;
};

void CMP2Encoder::CState::FilterSubbands()
{
    for (int ch = 0; ch < channels; ++ch)
        for (int blk = 0; blk < blocksPerFrame; ++blk)
            filter[ch].Process(pcm[ch] + psychoLead + 32 * blk, subband[ch][blk]);
}

void CMP2Encoder::CState::FindScaleFactors()
{
    const CScaleTable& scales = ScaleTable();
    for (int ch = 0; ch < channels; ++ch)
        for (int part = 0; part < 3; ++part)
            for (int sb = 0; sb < 32; ++sb) {
                float peak = 0.0f;
                for (int blk = 12 * part; blk < 12 * part + 12; ++blk)
                    peak = std::max(peak, std::fabs(subband[ch][blk][sb]));
                scale[ch][part][sb] = ScaleIndex(scales, peak);
            }
}

void CMP2Encoder::CState::SelectScaleFactors()
{
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < subbandLimit; ++sb) {
            int* sf = &scale[ch][0][0];
            int a = sf[sb], b = sf[32 + sb], c = sf[64 + sb];
            int code = scfsiByClass[DifferenceClass(a - b)][DifferenceClass(b - c)];
            switch (code) {
            case 1:
                a = b = std::min(a, b);
                break;
            case 2:
                a = b = c = std::min({a, b, c});
                break;
            case 3:
                b = c = std::min(b, c);
                break;
            default:
                break;
            }
            sf[sb] = a;
            sf[32 + sb] = b;
            sf[64 + sb] = c;
            scfsi[ch][sb] = code;
        }
}

void CMP2Encoder::CState::AllocateBits()
{
    // Repeatedly give the sub-band with the lowest mask-to-noise ratio its next
    // quantiser while the bits last.
    int allocBits = 0;
    for (int sb = 0; sb < subbandLimit; ++sb) allocBits += channels * AllocRow(sb).nbal;
    const int available = frameBits - headerBits - crcBits - allocBits;
    int used = 0;
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < 32; ++sb) alloc[ch][sb] = 0;
    // Candidates ordered by ratio, ties going to the lower sub-band and channel.
    struct CCandidate {
        double mnr;
        int index;  // sb * channels + ch
        bool operator<(const CCandidate& o) const { return mnr > o.mnr || (mnr == o.mnr && index > o.index); }
    };
    CCandidate heap[subbandLimit * channels];
    int heapSize = 0;
    for (int sb = 0; sb < subbandLimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) heap[heapSize++] = {-smr[ch][sb], sb * channels + ch};
    std::make_heap(heap, heap + heapSize);
    while (heapSize > 0) {
        std::pop_heap(heap, heap + heapSize);
        const int sb = heap[heapSize - 1].index / channels, ch = heap[heapSize - 1].index % channels;
        int& al = alloc[ch][sb];
        int cost = SampleBits(sb, al + 1) - SampleBits(sb, al);
        if (al == 0) cost += 2 + 6 * ScaleFactorsSent(scfsi[ch][sb]);
        if (used + cost > available) {
            --heapSize;  // this sub-band can grow no further
            continue;
        }
        used += cost;
        ++al;
        if (al >= MaxAlloc(sb)) {
            --heapSize;
            continue;
        }
        heap[heapSize - 1].mnr = SnrOf(sb, al) - smr[ch][sb];
        std::push_heap(heap, heap + heapSize);
    }
}

void CMP2Encoder::CState::WriteFrame(uint8_t* frame) const
{
    // Header, CRC, allocation, selection information, scale factors, samples.
    std::memset(frame, 0, frameBytes);
    CBitWriter bits(frame);
    PutHeader(bits);
    const int protectedStart = bits.Position();
    PutSideInformation(bits);
    const int protectedEnd = bits.Position();
    // The CRC needs the bits written so far, including a partial last byte; a copy of
    // the writer puts that byte out without disturbing the real one.
    CBitWriter peek = bits;
    peek.Flush();
    unsigned crc = CrcBits(frame, 16, 16, 0xFFFFu);
    crc = CrcBits(frame, protectedStart, protectedEnd - protectedStart, crc);
    frame[4] = uint8_t(crc >> 8);
    frame[5] = uint8_t(crc);

    PutScaleFactors(bits);
    PutSamples(bits);
    bits.Flush();
    // The rest of the frame stays zero.
    const int sent = bits.Position() > frameBits ? bits.Position() : frameBits;
    if (sent % 8 != 0)
        std::fprintf(stderr, "Sent %ld bits = %ld slots plus %ld\n", long(sent), long(sent / 8), long(sent % 8));
}

// The allocation of every coded sub-band, then the selection information of those
// that have samples.
void CMP2Encoder::CState::PutSideInformation(CBitWriter& bits) const
{
    for (int sb = 0; sb < subbandLimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) bits.Put(unsigned(alloc[ch][sb]), AllocRow(sb).nbal);
    for (int sb = 0; sb < subbandLimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb]) bits.Put(unsigned(scfsi[ch][sb]), 2);
}

// The scale factors the selection information says are sent.
void CMP2Encoder::CState::PutScaleFactors(CBitWriter& bits) const
{
    for (int sb = 0; sb < subbandLimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) {
            if (!alloc[ch][sb]) continue;
            switch (scfsi[ch][sb]) {
            case 0:
                for (int part = 0; part < 3; ++part) bits.Put(unsigned(scale[ch][part][sb]), 6);
                break;
            case 1:
            case 3:
                bits.Put(unsigned(scale[ch][0][sb]), 6);
                bits.Put(unsigned(scale[ch][2][sb]), 6);
                break;
            default:
                bits.Put(unsigned(scale[ch][0][sb]), 6);
                break;
            }
        }
}

// The samples, granule by granule: each divided by its scale factor and quantised.
void CMP2Encoder::CState::PutSamples(CBitWriter& bits) const
{
    const CScaleTable& scales = ScaleTable();
    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr / 4;
        for (int sb = 0; sb < subbandLimit; ++sb)
            for (int ch = 0; ch < channels; ++ch) {
                int al = alloc[ch][sb];
                if (!al) continue;
                const double inverse = 1.0 / scales.value[scale[ch][part][sb]];
                double x[3];
                for (int k = 0; k < 3; ++k) x[k] = subband[ch][3 * gr + k][sb] * inverse;
                PutGranule(bits, ClassOf(sb, al), x, {ch, sb, gr});
            }
    }
}

CMP2Encoder::CMP2Encoder() = default;
CMP2Encoder::~CMP2Encoder() = default;

bool CMP2Encoder::Prepare(int kind, PcmReader source)
{
    const char* what = "buffer";
    try {
        state.reset();
        what = "buffer";
        output.assign(16384, 0);
        streamBuffer.clear();
        streamBuffer.reserve(streamBufferSize);
        what = "filter";
        state = std::make_unique<CState>();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Unable to allocate %s\n", what);
        state.reset();
        output.clear();
        endFlag = true;
        writeCount = readPosition = 0;
        return false;
    }
    reader = std::move(source);
    sourceKind = kind;
    endFlag = false;
    writeCount = readPosition = 0;
    frameCount = 0;
    bitsWritten = 0;
    return true;
}

int CMP2Encoder::ReadCompressed(int length, uint8_t* buffer)
{
    if (length <= 0) return 0;
    if (readPosition == writeCount) {
        if (endFlag) return 0;
        readPosition = writeCount = 0;
        while (writeCount < burstBytes && !endFlag)
            if (!EncodeFrame()) break;
    }
    int buffered = writeCount - readPosition;
    if (buffered <= 0) return 0;
    int count = std::min(length, buffered);
    std::memcpy(buffer, output.data() + readPosition, size_t(count));
    readPosition += count;
    return count;
}

void CMP2Encoder::MoveToOutput(const uint8_t* data, int count)
{
    if (writeCount + count > int(output.size())) output.resize(size_t(writeCount + count));
    std::memcpy(output.data() + writeCount, data, size_t(count));
    writeCount += count;
}

void CMP2Encoder::FlushStreamBuffer()
{
    if (!streamBuffer.empty()) MoveToOutput(streamBuffer.data(), int(streamBuffer.size()));
    streamBuffer.clear();
    streamBuffer.shrink_to_fit();
}

bool CMP2Encoder::EncodeFrame()
{
    if (!state || !reader) {
        endFlag = true;
        FlushStreamBuffer();
        return false;
    }
    // Fill the frame; a source may hand over its PCM in pieces, so read until the frame
    // is full or the source has nothing more. A short last frame ends in silence.
    uint8_t* pcm = state->pcmBytes;
    std::memset(pcm, 0, pcmFrameBytes);
    int got = 0;
    while (got < pcmFrameBytes) {
        int n = reader(pcm + got, pcmFrameBytes - got);
        if (n <= 0) break;
        got += std::min(n, pcmFrameBytes - got);
    }
    if (got == 0) {
        endFlag = true;
        FlushStreamBuffer();
        return false;
    }

    for (int ch = 0; ch < channels; ++ch) {
        float* dst = state->pcm[ch] + psychoLead;
        for (int i = 0; i < frameSamples; ++i) {
            int16_t s = int16_t(pcm[4 * i + 2 * ch] | (pcm[4 * i + 2 * ch + 1] << 8));
            dst[i] = float(s) * (1.0f / 32768.0f);
        }
    }

    uint8_t frame[frameBytes];
    CodeFrame(frame);

    // Keep the end of this frame as the model's lead-in for the next.
    for (int ch = 0; ch < channels; ++ch)
        std::memmove(state->pcm[ch], state->pcm[ch] + frameSamples, sizeof(float) * psychoLead);

    // Through the bit-stream buffer: whenever 4096 bytes have gathered, the first 4092
    // go on to the output buffer and the last 4 stay.
    for (int i = 0; i < frameBytes; ++i) {
        streamBuffer.push_back(frame[i]);
        if (int(streamBuffer.size()) == streamBufferSize) {
            MoveToOutput(streamBuffer.data(), blockBytes);
            streamBuffer.erase(streamBuffer.begin(), streamBuffer.begin() + blockBytes);
        }
    }
    ++frameCount;
    bitsWritten += frameBits;
    return true;
}

std::string CMP2Encoder::ModelSetupText() { return "absthr[][] sampling frequency index: 2"; }

unsigned CMP2Encoder::CrcBits(const uint8_t* data, int firstBit, int bitCount, unsigned crc)
{
    for (int i = firstBit; i < firstBit + bitCount; ++i) {
        unsigned bit = (data[i >> 3] >> (7 - (i & 7))) & 1u;
        unsigned top = (crc >> 15) & 1u;
        crc = (crc << 1) & 0xFFFFu;
        if (top ^ bit) crc ^= 0x8005u;
    }
    return crc;
}

void CMP2Encoder::CodeFrame(uint8_t* frame)
{
    CState& s = *state;
    s.FilterSubbands();
    s.FindScaleFactors();
    s.SelectScaleFactors();
    // Psychoacoustic model 2 per channel.
    for (int ch = 0; ch < channels; ++ch) s.model[ch].Analyse(s.pcm[ch], s.smr[ch]);
    s.AllocateBits();
    s.WriteFrame(frame);
}
