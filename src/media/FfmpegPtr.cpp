#include "media/FfmpegPtr.h"

#include "media/FfmpegLoader.h"

void SFrameFree::operator()(AVFrame* frame) const { ff().av_frame_free(&frame); }

void SPacketFree::operator()(AVPacket* packet) const { ff().av_packet_free(&packet); }

void SCodecFree::operator()(AVCodecContext* codec) const { ff().avcodec_free_context(&codec); }

void SInputClose::operator()(AVFormatContext* format) const { ff().avformat_close_input(&format); }

void SResamplerFree::operator()(SwrContext* context) const { ff().swr_free(&context); }

void SScalerFree::operator()(SwsContext* context) const { ff().sws_freeContext(context); }

void SIoFree::operator()(AVIOContext* io) const
{
    if (!io) return;
    ff().av_free(io->buffer);  // the context may have replaced the buffer it was given
    ff().avio_context_free(&io);
}

FramePtr AllocFrame() { return FramePtr(ff().av_frame_alloc()); }

PacketPtr AllocPacket() { return PacketPtr(ff().av_packet_alloc()); }

InputPtr OpenInput(const char* url, const AVInputFormat* format, AVDictionary** options)
{
    // A failed open frees the context and leaves the pointer null.
    AVFormatContext* opened = nullptr;
    if (ff().avformat_open_input(&opened, url, format, options) < 0) return nullptr;
    return InputPtr(opened);
}

ResamplerPtr MakeResampler(AVChannelLayout& out, int outFormat, int outRate, AVChannelLayout& in, int inFormat,
                           int inRate)
{
    SwrContext* made = nullptr;
    const int r = ff().swr_alloc_set_opts2(&made, &out, static_cast<AVSampleFormat>(outFormat), outRate, &in,
                                           static_cast<AVSampleFormat>(inFormat), inRate, 0, nullptr);
    ResamplerPtr context(made);
    if (r < 0 || !context || ff().swr_init(context.get()) < 0) return nullptr;
    return context;
}

IoPtr MakeReadIo(int bufferSize, void* opaque, int (*read)(void*, uint8_t*, int), int64_t (*seek)(void*, int64_t, int))
{
    auto* buffer = static_cast<unsigned char*>(ff().av_malloc(size_t(bufferSize)));
    if (!buffer) return nullptr;
    IoPtr io(ff().avio_alloc_context(buffer, bufferSize, 0, opaque, read, nullptr, seek));
    if (!io) ff().av_free(buffer);
    return io;
}

InputPtr OpenInputIo(AVIOContext* io, const AVInputFormat* format)
{
    AVFormatContext* context = ff().avformat_alloc_context();
    if (!context) return nullptr;
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A failed open frees the context (but not the caller's I/O context).
    if (ff().avformat_open_input(&context, "", format, nullptr) < 0) return nullptr;
    return InputPtr(context);
}
