#include "media/FfmpegPtr.h"

#include "media/FfmpegLoader.h"

void SFrameFree::operator()(AVFrame* frame) const { ff().av_frame_free(&frame); }

void SPacketFree::operator()(AVPacket* packet) const { ff().av_packet_free(&packet); }

void SCodecFree::operator()(AVCodecContext* codec) const { ff().avcodec_free_context(&codec); }

void SInputClose::operator()(AVFormatContext* format) const { ff().avformat_close_input(&format); }

void SResamplerFree::operator()(SwrContext* context) const { ff().swr_free(&context); }

void SScalerFree::operator()(SwsContext* context) const { ff().sws_freeContext(context); }

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
