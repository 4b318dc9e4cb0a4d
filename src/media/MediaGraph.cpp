#include "media/MediaGraph.h"

#include <cstdio>
#include <cstring>

#include "media/AVDump.h"
#include "media/FfmpegLoader.h"

namespace {

const AVRational kTicks = {1, 10000000};  // 100 ns

int64_t ToTicks(int64_t value, AVRational base)
{
    return value == AV_NOPTS_VALUE ? -1 : ff().av_rescale_q(value, base, kTicks);
}

// Raw formats that pass unconverted, and the format code each is handed over as.
int DirectCode(int pixFmt)
{
    switch (pixFmt) {
    case AV_PIX_FMT_YUV420P: return 5;
    case AV_PIX_FMT_YUYV422: return 3;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0: return 1;
    default: return -1;
    }
}

AVPixelFormat PixFmtOfCode(int code)
{
    return code == 3 ? AV_PIX_FMT_YUYV422 : code == 1 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_YUV420P;
}

AVCodecContext* OpenDecoder(AVStream* stream)
{
    const AVCodec* codec = ff().avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = ff().avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    if (ff().avcodec_parameters_to_context(ctx, stream->codecpar) < 0) {
        ff().avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->pkt_timebase = stream->time_base;
    ctx->thread_count = 2;
    if (ff().avcodec_open2(ctx, codec, nullptr) < 0) {
        ff().avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace

CMediaGraph::CMediaGraph() = default;

CMediaGraph::~CMediaGraph()
{
    Stop();
    Close();
}

void CMediaGraph::Close()
{
    if (videoCodec) ff().avcodec_free_context(&videoCodec);
    if (audioCodec) ff().avcodec_free_context(&audioCodec);
    if (scaler) ff().sws_freeContext(scaler);
    scaler = nullptr;
    if (converter) ff().swr_free(&converter);
    if (format) ff().avformat_close_input(&format);
}

bool CMediaGraph::Open(const std::string& path, const std::string& forced, bool wantVideo,
                       bool wantAudio, bool acceptAc3)
{
    Stop();
    Close();
    // Without FFmpeg no file can be read: the open fails like an unreadable file's,
    // with the loader's reason for the caller to show.
    if (!FfmpegAvailable(&openError)) return false;
    ff().av_log_set_level(AV_LOG_QUIET);
    const AVInputFormat* input = forced.empty() ? nullptr : ff().av_find_input_format(forced.c_str());
    if (ff().avformat_open_input(&format, path.c_str(), input, nullptr) < 0) {
        format = nullptr;
        return false;
    }
    if (ff().avformat_find_stream_info(format, nullptr) < 0) {
        Close();
        return false;
    }
    formatName = format->iformat ? format->iformat->name : "";
    startOffset = format->start_time != AV_NOPTS_VALUE ? ToTicks(format->start_time, AV_TIME_BASE_Q) : 0;
    duration = format->duration > 0 ? ToTicks(format->duration, AV_TIME_BASE_Q) : -1;
    seekable = duration > 0 && (!format->pb || (format->pb->seekable & AVIO_SEEKABLE_NORMAL));

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVStream* st = format->streams[i];
        st->discard = AVDISCARD_ALL;
        AVCodecParameters* par = st->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            videoStreamPresent = true;
            if (videoIndex < 0 && wantVideo && par->width > 0 && par->height > 0) videoIndex = static_cast<int>(i);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            audioStreamPresent = true;
            if (audioIndex < 0 && wantAudio) audioIndex = static_cast<int>(i);
        }
    }

    if (videoIndex >= 0) {
        AVStream* st = format->streams[videoIndex];
        videoCodec = OpenDecoder(st);
        if (videoCodec) {
            st->discard = AVDISCARD_DEFAULT;
            videoConnected = true;
            videoCodecName = ff().avcodec_get_name(st->codecpar->codec_id);
            fileWidth = st->codecpar->width;
            fileHeight = st->codecpar->height;
            width = fileWidth;
            height = fileHeight;
            // Larger pictures are scaled down to fit 720 x 576 with their shape kept.
            if (width > maxWidth || height > maxHeight) {
                if (int64_t(width) * maxHeight >= int64_t(height) * maxWidth) {
                    height = static_cast<int32_t>((int64_t(height) * maxWidth + width / 2) / width);
                    width = maxWidth;
                } else {
                    width = static_cast<int32_t>((int64_t(width) * maxHeight + height / 2) / height);
                    height = maxHeight;
                }
            }
            int direct = DirectCode(st->codecpar->format);
            // Packed pictures need even sizes; anything else goes through the scaler.
            if ((direct == 3 || direct == 1) && ((width | height) & 1)) direct = -1;
            usesScaler = direct < 0 || width != fileWidth || height != fileHeight;
            videoCode = direct < 0 || (usesScaler && direct != 5) ? 5 : direct;
            outPixFmt = PixFmtOfCode(videoCode);
            AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
            videoDuration = st->duration > 0 ? ToTicks(st->duration, st->time_base) : -1;
        } else {
            videoIndex = -1;
        }
    }

    if (audioIndex >= 0) {
        AVStream* st = format->streams[audioIndex];
        AVCodecParameters* par = st->codecpar;
        audioCodecName = ff().avcodec_get_name(par->codec_id);
        sourceChannels = par->ch_layout.nb_channels;
        audioDuration = st->duration > 0 ? ToTicks(st->duration, st->time_base) : -1;
        if (acceptAc3 && par->codec_id == AV_CODEC_ID_AC3 && par->sample_rate == 48000) {
            passAc3 = true;
            audioConnected = true;
            audioKind = 0;
            channels = sourceChannels;
            sampleRate = 48000;
            bits = 16;
            st->discard = AVDISCARD_DEFAULT;
        } else if ((audioCodec = OpenDecoder(st)) != nullptr && par->sample_rate > 0 &&
                   sourceChannels > 0) {
            audioConnected = true;
            audioKind = 1;
            channels = sourceChannels > 2 ? 2 : sourceChannels;
            sampleRate = par->sample_rate > 48000 ? 48000 : par->sample_rate;
            AVSampleFormat in = static_cast<AVSampleFormat>(audioCodec->sample_fmt);
            AVSampleFormat out = (in == AV_SAMPLE_FMT_U8 || in == AV_SAMPLE_FMT_U8P) ? AV_SAMPLE_FMT_U8
                                                                                    : AV_SAMPLE_FMT_S16;
            bits = out == AV_SAMPLE_FMT_U8 ? 8 : 16;
            outSampleFmt = out;
            usesConverter = in != out || channels != sourceChannels || sampleRate != par->sample_rate;
            st->discard = AVDISCARD_DEFAULT;
        } else {
            if (audioCodec) ff().avcodec_free_context(&audioCodec);
            audioIndex = -1;
        }
    }
    return true;
}

void CMediaGraph::SkipTo(int64_t start)
{
    rangeStart = start;
    nextAudioStart = -1;
}

bool CMediaGraph::Seek(int64_t start)
{
    if (!format || !seekable) return false;
    int64_t target = ff().av_rescale_q(start + startOffset, kTicks, AV_TIME_BASE_Q);
    if (ff().avformat_seek_file(format, -1, INT64_MIN, target, target, 0) < 0 &&
        ff().av_seek_frame(format, -1, target, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    if (videoCodec) ff().avcodec_flush_buffers(videoCodec);
    if (audioCodec) ff().avcodec_flush_buffers(audioCodec);
    rangeStart = start;
    nextAudioStart = -1;
    return true;
}

void CMediaGraph::Start(CAVDump& target, std::function<void(int32_t)> callback)
{
    Stop();
    dump = &target;
    notify = std::move(callback);
    stopping = false;
    worker = std::thread([this] { Run(); });
}

void CMediaGraph::Stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
}

void CMediaGraph::Run()
{
    AVPacket* packet = ff().av_packet_alloc();
    bool ok = packet != nullptr;
    bool readFailed = false;
    while (ok && !stopping) {
        int r = ff().av_read_frame(format, packet);
        if (r < 0) {
            readFailed = r != AVERROR_EOF;
            break;
        }
        if (packet->stream_index == videoIndex && videoIndex >= 0) ok = DecodeVideo(packet);
        else if (packet->stream_index == audioIndex && audioIndex >= 0)
            ok = passAc3 ? PassAc3(packet) : DecodeAudio(packet);
        ff().av_packet_unref(packet);
    }
    if (ok && !stopping) {
        if (videoCodec) ok = DecodeVideo(nullptr);
        if (audioCodec && ok) DecodeAudio(nullptr);
    }
    ff().av_packet_free(&packet);
    dump->EndVideo();
    dump->EndAudio();
    if (notify && !stopping) notify(readFailed ? 3 : 1);
}

bool CMediaGraph::DecodeVideo(const AVPacket* packet)
{
    if (ff().avcodec_send_packet(videoCodec, packet) < 0 && packet) return true;  // damaged data: skip
    AVFrame* frame = ff().av_frame_alloc();
    bool ok = frame != nullptr;
    while (ok && !stopping && ff().avcodec_receive_frame(videoCodec, frame) >= 0) {
        ok = DeliverVideo(frame);
        ff().av_frame_unref(frame);
    }
    ff().av_frame_free(&frame);
    return ok;
}

bool CMediaGraph::DeliverVideo(AVFrame* frame)
{
    AVStream* st = format->streams[videoIndex];
    int64_t start = ToTicks(frame->best_effort_timestamp, st->time_base);
    if (start >= 0) start -= startOffset;
    int64_t length = frame->pkt_duration > 0 ? ToTicks(frame->pkt_duration, st->time_base) : 0;
    if (length <= 0) length = frameRate > 0 ? static_cast<int64_t>(10000000.0 / frameRate + 0.5) : 333667;
    if (rangeStart > 0 && start >= 0 && start + length <= rangeStart) return true;

    const int w = width, h = height;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    size_t bytes = videoCode == 5 ? size_t(w) * h + 2 * size_t(cw) * ch
                   : videoCode == 3 ? size_t(w) * h * 2 : size_t(w) * h * 4;
    frameBytes.resize(bytes);

    uint8_t* planes[4] = {};
    int strides[4] = {};
    AVFrame* src = frame;
    AVFrame* scaled = nullptr;
    if (frame->format != outPixFmt || frame->width != w || frame->height != h) {
        scaler = ff().sws_getCachedContext(scaler, frame->width, frame->height,
                                      static_cast<AVPixelFormat>(frame->format), w, h,
                                      static_cast<AVPixelFormat>(outPixFmt), SWS_BICUBIC,
                                      nullptr, nullptr, nullptr);
        scaled = ff().av_frame_alloc();
        if (!scaler || !scaled) {
            ff().av_frame_free(&scaled);
            return true;
        }
        scaled->format = outPixFmt;
        scaled->width = w;
        scaled->height = h;
        if (ff().av_frame_get_buffer(scaled, 32) < 0 ||
            ff().sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, scaled->data,
                      scaled->linesize) <= 0) {
            ff().av_frame_free(&scaled);
            return true;
        }
        src = scaled;
    }
    for (int i = 0; i < 4; ++i) {
        planes[i] = src->data[i];
        strides[i] = src->linesize[i];
    }
    uint8_t* out = frameBytes.data();
    if (videoCode == 5) {
        for (int y = 0; y < h; ++y) std::memcpy(out + size_t(y) * w, planes[0] + ptrdiff_t(y) * strides[0], w);
        uint8_t* u = out + size_t(w) * h;
        uint8_t* v = u + size_t(cw) * ch;
        for (int y = 0; y < ch; ++y) {
            std::memcpy(u + size_t(y) * cw, planes[1] + ptrdiff_t(y) * strides[1], cw);
            std::memcpy(v + size_t(y) * cw, planes[2] + ptrdiff_t(y) * strides[2], cw);
        }
    } else if (videoCode == 3) {
        for (int y = 0; y < h; ++y)
            std::memcpy(out + size_t(y) * w * 2, planes[0] + ptrdiff_t(y) * strides[0], size_t(w) * 2);
    } else {
        // 32-bit pictures are handed over bottom-up, as the platform's bitmaps are.
        for (int y = 0; y < h; ++y)
            std::memcpy(out + size_t(h - 1 - y) * w * 4, planes[0] + ptrdiff_t(y) * strides[0], size_t(w) * 4);
    }
    ff().av_frame_free(&scaled);
    return dump->ReceiveVideo(out, bytes, start, length);
}

bool CMediaGraph::PassAc3(const AVPacket* packet)
{
    AVStream* st = format->streams[audioIndex];
    int64_t start = ToTicks(packet->pts, st->time_base);
    if (start >= 0) start -= startOffset;
    if (rangeStart > 0 && start >= 0 && start + 320000 <= rangeStart) return true;
    return dump->ReceiveAudio(packet->data, static_cast<size_t>(packet->size), start);
}

bool CMediaGraph::DecodeAudio(const AVPacket* packet)
{
    if (ff().avcodec_send_packet(audioCodec, packet) < 0 && packet) return true;
    AVFrame* frame = ff().av_frame_alloc();
    bool ok = frame != nullptr;
    while (ok && !stopping && ff().avcodec_receive_frame(audioCodec, frame) >= 0) {
        ok = DeliverAudio(frame);
        ff().av_frame_unref(frame);
    }
    ff().av_frame_free(&frame);
    if (ok && !packet && converter) ok = DeliverAudio(nullptr);  // what the converter holds
    return ok;
}

bool CMediaGraph::DeliverAudio(AVFrame* frame)
{
    AVStream* st = format->streams[audioIndex];
    const int frameBytesOut = channels * bits / 8;
    int64_t start = -1;
    const uint8_t* data = nullptr;
    int samples = 0;
    if (frame) {
        start = ToTicks(frame->best_effort_timestamp, st->time_base);
        if (start >= 0) start -= startOffset;
        else start = nextAudioStart;
    } else {
        start = nextAudioStart;
    }
    // A decoder that changes its output on the way is converted from then on.
    if (frame && !usesConverter &&
        (frame->format != outSampleFmt || frame->ch_layout.nb_channels != channels ||
         frame->sample_rate != sampleRate))
        usesConverter = true;
    if (usesConverter) {
        if (!converter) {
            if (!frame) return true;
            AVChannelLayout in;
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                ff().av_channel_layout_default(&in, frame->ch_layout.nb_channels);
            else if (ff().av_channel_layout_copy(&in, &frame->ch_layout) < 0)
                return false;
            AVChannelLayout out;
            ff().av_channel_layout_default(&out, channels);
            int r = ff().swr_alloc_set_opts2(&converter, &out, static_cast<AVSampleFormat>(outSampleFmt),
                                        sampleRate, &in, static_cast<AVSampleFormat>(frame->format),
                                        frame->sample_rate, 0, nullptr);
            ff().av_channel_layout_uninit(&in);
            if (r < 0 || ff().swr_init(converter) < 0) {
                if (converter) ff().swr_free(&converter);
                return false;
            }
        }
        int inSamples = frame ? frame->nb_samples : 0;
        int inRate = frame ? frame->sample_rate : sampleRate;
        int outMax = static_cast<int>(int64_t(inSamples) * sampleRate / (inRate > 0 ? inRate : 1)) + 256 +
                     static_cast<int>(ff().swr_get_delay(converter, sampleRate));
        pcmBytes.resize(size_t(outMax) * frameBytesOut);
        uint8_t* out[1] = {pcmBytes.data()};
        samples = ff().swr_convert(converter, out, outMax,
                              frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                              inSamples);
        if (samples <= 0) return true;
        data = pcmBytes.data();
    } else {
        if (!frame) return true;
        samples = frame->nb_samples;
        data = frame->data[0];
    }
    size_t bytes = size_t(samples) * frameBytesOut;
    const int64_t length = int64_t(samples) * 10000000 / sampleRate;
    if (start >= 0) nextAudioStart = start + length;
    // Sound before the start of the range is dropped to the sample.
    if (rangeStart > 0 && start >= 0 && start < rangeStart) {
        int64_t drop = (rangeStart - start) * sampleRate / 10000000;
        if (drop >= samples) return true;
        data += size_t(drop) * frameBytesOut;
        bytes -= size_t(drop) * frameBytesOut;
        start = rangeStart;
    }
    return dump->ReceiveAudio(data, bytes, start);
}

std::string CMediaGraph::Describe() const
{
    // Filters and pins get stable identifiers from a counter; "Connected to" names the
    // pin at the other end.
    struct Pin {
        unsigned id;
        std::string name;
        bool input;
        unsigned peer;
    };
    struct Filter {
        unsigned id;
        std::string name;
        std::vector<Pin> pins;
    };
    std::vector<Filter> filters;
    unsigned next = 0x1000;
    auto newId = [&] { return next += 0x10; };
    if (!format) return {};
    Filter demux{newId(), "Demuxer (" + formatName + ")", {}};
    Filter grabber{newId(), "Grabber", {}};
    const unsigned grabVideo = newId(), grabAudio = newId();
    std::vector<Filter> chain;
    unsigned videoOut = 0, audioOut = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const char* kind = ff().av_get_media_type_string(format->streams[i]->codecpar->codec_type);
        std::string name = std::string(kind ? kind : "data") + " " + std::to_string(i);
        unsigned pinId = newId();
        if (int(i) == videoIndex) videoOut = pinId;
        if (int(i) == audioIndex) audioOut = pinId;
        demux.pins.push_back({pinId, name, false, 0});
    }
    auto addChain = [&](unsigned from, const std::vector<std::string>& names, unsigned into) {
        unsigned prevOut = from;
        for (size_t k = 0; k < names.size(); ++k) {
            Filter f{newId(), names[k], {}};
            unsigned in = newId(), out = newId();
            f.pins.push_back({in, "Input", true, prevOut});
            for (auto& p : demux.pins) if (p.id == prevOut) p.peer = in;
            for (auto& c : chain) for (auto& p : c.pins) if (p.id == prevOut) p.peer = in;
            f.pins.push_back({out, "Output", false, 0});
            chain.push_back(f);
            prevOut = out;
        }
        for (auto& p : demux.pins) if (p.id == prevOut) p.peer = into;
        for (auto& c : chain) for (auto& p : c.pins) if (p.id == prevOut) p.peer = into;
        return prevOut;
    };
    unsigned videoPeer = 0, audioPeer = 0;
    if (videoConnected) {
        std::vector<std::string> names{"Video Decoder (" + videoCodecName + ")"};
        if (usesScaler) names.push_back("Scaler (swscale)");
        videoPeer = addChain(videoOut, names, grabVideo);
    }
    if (audioConnected) {
        std::vector<std::string> names;
        if (!passAc3) names.push_back("Audio Decoder (" + audioCodecName + ")");
        if (usesConverter) names.push_back("Resampler (swresample)");
        audioPeer = addChain(audioOut, names, grabAudio);
    }
    grabber.pins.push_back({grabVideo, "Video", true, videoPeer});
    grabber.pins.push_back({grabAudio, "Audio", true, audioPeer});
    filters.push_back(demux);
    for (auto& c : chain) filters.push_back(c);
    filters.push_back(grabber);

    std::string text;
    char line[512];
    for (const auto& f : filters) {
        std::snprintf(line, sizeof line, "    Filter [%x]  '%s'\n", f.id, f.name.c_str());
        text += line;
        for (const auto& p : f.pins) {
            if (p.peer)
                std::snprintf(line, sizeof line, "          Pin [%x]  '%s' [%sput]  Connected to pin [%x]\n",
                              p.id, p.name.c_str(), p.input ? "In" : "Out", p.peer);
            else
                std::snprintf(line, sizeof line, "          Pin [%x]  '%s' [%sput]\n", p.id,
                              p.name.c_str(), p.input ? "In" : "Out");
            text += line;
        }
    }
    return text;
}
