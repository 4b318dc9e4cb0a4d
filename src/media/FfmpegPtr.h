// FFmpeg objects as owned pointers: each is freed through the loader's function table
// (ff()) when its owner goes, on every path, so no caller frees one by hand.
//
// An owned pointer only ever holds an object FFmpeg made, and FFmpeg can only be called
// after FfmpegAvailable() answered true, so a deleter never runs without the table.
// The FFmpeg types are only declared here, so that headers holding owned pointers do
// not pull in FFmpeg's headers.
#pragma once

#include <cstdint>
#include <memory>

struct AVChannelLayout;
struct AVCodecContext;
struct AVDictionary;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVInputFormat;
struct AVPacket;
struct SwrContext;
struct SwsContext;

// Frees a frame and the buffers it references (av_frame_free).
struct SFrameFree {
    void operator()(AVFrame* frame) const;
};
// Frees a packet and the data it references (av_packet_free).
struct SPacketFree {
    void operator()(AVPacket* packet) const;
};
// Frees a decoder context (avcodec_free_context).
struct SCodecFree {
    void operator()(AVCodecContext* codec) const;
};
// Closes an opened input and frees its context (avformat_close_input).
struct SInputClose {
    void operator()(AVFormatContext* format) const;
};
// Frees a sound converter (swr_free).
struct SResamplerFree {
    void operator()(SwrContext* context) const;
};
// Frees a picture scaler (sws_freeContext).
struct SScalerFree {
    void operator()(SwsContext* context) const;
};

// Frees a custom I/O context and its buffer (av_free, avio_context_free).
struct SIoFree {
    void operator()(AVIOContext* io) const;
};

using FramePtr = std::unique_ptr<AVFrame, SFrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, SPacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, SCodecFree>;
using InputPtr = std::unique_ptr<AVFormatContext, SInputClose>;
using ResamplerPtr = std::unique_ptr<SwrContext, SResamplerFree>;
using ScalerPtr = std::unique_ptr<SwsContext, SScalerFree>;
using IoPtr = std::unique_ptr<AVIOContext, SIoFree>;

// A new frame without buffers; empty when memory runs out.
FramePtr AllocFrame();
// A new empty packet; empty when memory runs out.
PacketPtr AllocPacket();

// Opens `url` for reading (avformat_open_input) with demuxer `format` (null: probe)
// and demuxer `options` (may be null; what the demuxer did not use is left in it).
// Returns the opened input, empty when it cannot be opened.
InputPtr OpenInput(const char* url, const AVInputFormat* format, AVDictionary** options);

// A sound converter from `in` (layout, AVSampleFormat, rate in Hz) to `out`, set up and
// ready (swr_alloc_set_opts2 and swr_init; the layouts are only read). Returns it,
// empty when it cannot be made.
ResamplerPtr MakeResampler(AVChannelLayout& out, int outFormat, int outRate, AVChannelLayout& in, int inFormat,
                           int inRate);

// A reading I/O context over `opaque` with a `bufferSize`-byte buffer, whose `read` and
// `seek` callbacks FFmpeg calls for its data (avio_alloc_context). Empty when memory
// runs out.
IoPtr MakeReadIo(int bufferSize, void* opaque, int (*read)(void*, uint8_t*, int), int64_t (*seek)(void*, int64_t, int));

// Opens an input read through `io` (which must outlive it) with demuxer `format` (null:
// probe). Returns the opened input, empty when it cannot be opened.
InputPtr OpenInputIo(AVIOContext* io, const AVInputFormat* format);
