#include "media/MediaGraph.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/InputFile.h"
#include "media/AVDump.h"
#include "media/FfmpegLoader.h"
#include "media/GraphText.h"
#include "media/VobStream.h"

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
    case AV_PIX_FMT_YUV420P:
        return 5;
    case AV_PIX_FMT_YUYV422:
        return 3;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
        return 1;
    default:
        return -1;
    }
}

AVPixelFormat PixFmtOfCode(int code)
{
    return code == 3 ? AV_PIX_FMT_YUYV422 : code == 1 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_YUV420P;
}

CodecPtr OpenDecoder(AVStream* stream)
{
    const AVCodec* codec = ff().avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    CodecPtr ctx(ff().avcodec_alloc_context3(codec));
    if (!ctx || ff().avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) return nullptr;
    ctx->pkt_timebase = stream->time_base;
    ctx->thread_count = 2;
    if (ff().avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
    return ctx;
}

// Decodes from the current position of `input` until `decoder` gives a picture of
// stream `index` in `frame` (within 500 packets). False when none came.
bool DecodeFirstPicture(AVFormatContext* input, AVCodecContext* decoder, int index, AVFrame* frame)
{
    constexpr int kMostPackets = 500;
    PacketPtr packet = AllocPacket();
    if (!packet) return false;
    for (int n = 0; n < kMostPackets; ++n) {
        const bool more = ff().av_read_frame(input, packet.get()) >= 0;
        if (more && packet->stream_index != index) {
            ff().av_packet_unref(packet.get());
            continue;
        }
        ff().avcodec_send_packet(decoder, more ? packet.get() : nullptr);
        if (more) ff().av_packet_unref(packet.get());
        if (ff().avcodec_receive_frame(decoder, frame) >= 0) return true;
        if (!more) break;
    }
    return false;
}

// Scales `width` x `height` down to fit maxWidth x maxHeight with the shape kept
// (rounded to the nearest line or column); smaller sizes stay.
void FitInside(int32_t& width, int32_t& height, int32_t maxWidth, int32_t maxHeight)
{
    if (width <= maxWidth && height <= maxHeight) return;
    if (int64_t(width) * maxHeight >= int64_t(height) * maxWidth) {
        height = static_cast<int32_t>((int64_t(height) * maxWidth + width / 2) / width);
        width = maxWidth;
    } else {
        width = static_cast<int32_t>((int64_t(width) * maxHeight + height / 2) / height);
        height = maxHeight;
    }
}

// FFmpeg would wait on a FIFO or read a device without end: every file a path names
// (each part of a "concat:" list) must be a regular file. False with `error` naming the
// first one that is not.
bool CheckInputFiles(const std::string& path, std::string& error)
{
    static constexpr char kConcat[] = "concat:";
    const size_t prefix = sizeof kConcat - 1;
    if (path.compare(0, prefix, kConcat) != 0) return bool(OpenInputFile(path, error));
    for (size_t start = prefix;;) {
        const size_t bar = path.find('|', start);
        if (!OpenInputFile(path.substr(start, bar - start), error)) return false;
        if (bar == std::string::npos) return true;
        start = bar + 1;
    }
}

// The I/O buffer for a stream read through callbacks: a few DVD packs.
constexpr int kIoBufferBytes = 32768;

// FFmpeg's read callback over a CVobStream: the bytes read, end of file at its end.
int ReadVobStream(void* opaque, uint8_t* buffer, int size)
{
    const int64_t got = static_cast<CVobStream*>(opaque)->Read(buffer, size);
    if (got < 0) return AVERROR(EIO);
    return got == 0 ? AVERROR_EOF : int(got);
}

// FFmpeg's seek callback over a CVobStream; AVSEEK_SIZE asks for its length.
int64_t SeekVobStream(void* opaque, int64_t offset, int whence)
{
    auto* stream = static_cast<CVobStream*>(opaque);
    if (whence & AVSEEK_SIZE) return stream->Length();
    int64_t target = -1;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = stream->Position() + offset;
        break;
    case SEEK_END:
        target = stream->Length() + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    return stream->SetPosition(target) ? target : AVERROR(EINVAL);
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
    heldPicture.reset();
    holding = false;
    videoCodec.reset();
    audioCodec.reset();
    scaler.reset();
    converter.reset();
    format.reset();
    io.reset();
}

bool CMediaGraph::Open(const std::string& path, const std::string& forced, bool wantVideo, bool wantAudio,
                       bool acceptAc3)
{
    Stop();
    Close();
    openError.clear();
    // Without FFmpeg no file can be read: the open fails like an unreadable file's,
    // with the loader's reason for the caller to show.
    if (!FfmpegAvailable(&openError)) return false;
    if (!OpenFile(path, forced)) return false;
    ChooseStreams(wantVideo, wantAudio);
    if (videoIndex >= 0) ConnectVideo();
    // Still pictures have no fields: they are not decoded twice to find out.
    const bool still = formatName == "image2" || formatName.find("_pipe") != std::string::npos;
    if (videoConnected && !still && !isDevice) ProbeFieldOrder(path, forced);
    if (audioIndex >= 0) ConnectAudio(acceptAc3);
    return true;
}

// The stream's field order is often not what the pictures say (H.264 in MP4 is reported
// top field first whatever it is): the first picture, decoded apart, decides.
void CMediaGraph::ProbeFieldOrder(const std::string& path, const std::string& forced)
{
    const AVInputFormat* input = forced.empty() ? nullptr : ff().av_find_input_format(forced.c_str());
    InputPtr probe = OpenInput(path.c_str(), input, nullptr);
    if (!probe || ff().avformat_find_stream_info(probe.get(), nullptr) < 0 || unsigned(videoIndex) >= probe->nb_streams)
        return;
    CodecPtr decoder = OpenDecoder(probe->streams[videoIndex]);
    FramePtr frame = AllocFrame();
    if (!decoder || !frame || !DecodeFirstPicture(probe.get(), decoder.get(), videoIndex, frame.get())) return;
    interlaced = frame->interlaced_frame != 0;
    topFieldFirst = interlaced && frame->top_field_first != 0;
}

// A DVD title's MPEG-2 pictures state their field order, which the stream information
// already carries: they are not decoded apart to find it.
bool CMediaGraph::Open(CVobStream& stream, const std::string& forced, bool wantVideo, bool wantAudio, bool acceptAc3)
{
    Stop();
    Close();
    openError.clear();
    if (!FfmpegAvailable(&openError)) return false;
    ff().av_log_set_level(AV_LOG_QUIET);
    stream.SetPosition(0);
    io = MakeReadIo(kIoBufferBytes, &stream, ReadVobStream, SeekVobStream);
    if (!io) return false;
    format = OpenInputIo(io.get(), forced.empty() ? nullptr : ff().av_find_input_format(forced.c_str()));
    if (!ReadInputInfo()) return false;
    ChooseStreams(wantVideo, wantAudio);
    if (videoIndex >= 0) ConnectVideo();
    if (audioIndex >= 0) ConnectAudio(acceptAc3);
    return true;
}

// Opens the demuxer and reads what the whole file says: format, start, duration and
// whether it can seek.
bool CMediaGraph::OpenFile(const std::string& path, const std::string& forced)
{
    if (!isDevice && !CheckInputFiles(path, openError)) return false;
    ff().av_log_set_level(AV_LOG_QUIET);
    const AVInputFormat* input = forced.empty() ? nullptr : ff().av_find_input_format(forced.c_str());
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : inputOptions) ff().av_dict_set(&options, key.c_str(), value.c_str(), 0);
    format = OpenInput(path.c_str(), input, options ? &options : nullptr);
    ff().av_dict_free(&options);
    return ReadInputInfo();
}

// Reads what the opened input says as a whole: format, start, duration and whether it
// can seek. False (and the input closed) when its streams cannot be found.
bool CMediaGraph::ReadInputInfo()
{
    if (!format) {
        Close();
        return false;
    }
    if (ff().avformat_find_stream_info(format.get(), nullptr) < 0) {
        Close();
        return false;
    }
    formatName = format->iformat ? format->iformat->name : "";
    startOffset = format->start_time != AV_NOPTS_VALUE ? ToTicks(format->start_time, AV_TIME_BASE_Q) : 0;
    duration = format->duration > 0 ? ToTicks(format->duration, AV_TIME_BASE_Q) : -1;
    seekable = duration > 0 && (!format->pb || (format->pb->seekable & AVIO_SEEKABLE_NORMAL));
    return true;
}

// Notes which media the file has and picks the first wanted video and audio stream;
// every stream is skipped by the demuxer until a decoder is connected to it.
void CMediaGraph::ChooseStreams(bool wantVideo, bool wantAudio)
{
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
}

// Connects a decoder to the chosen video stream and settles the size and raw format
// handed over; without a decoder the stream is dropped.
void CMediaGraph::ConnectVideo()
{
    AVStream* st = format->streams[videoIndex];
    videoCodec = OpenDecoder(st);
    if (!videoCodec) {
        videoIndex = -1;
        return;
    }
    st->discard = AVDISCARD_DEFAULT;
    videoConnected = true;
    videoCodecName = ff().avcodec_get_name(st->codecpar->codec_id);
    fileWidth = st->codecpar->width;
    fileHeight = st->codecpar->height;
    int32_t w = fileWidth, h = fileHeight;
    FitInside(w, h, maxWidth, maxHeight);
    SettleVideoOutput(w, h);
    // The stream's own sample aspect wins over the one in the coded pictures.
    AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0) {
        sampleAspectNum = sar.num;
        sampleAspectDen = sar.den;
    }
    const AVFieldOrder order = st->codecpar->field_order;
    interlaced = order == AV_FIELD_TT || order == AV_FIELD_TB || order == AV_FIELD_BB || order == AV_FIELD_BT;
    topFieldFirst = order == AV_FIELD_TT || order == AV_FIELD_TB;
    isDv = st->codecpar->codec_id == AV_CODEC_ID_DVVIDEO;
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    videoDuration = st->duration > 0 ? ToTicks(st->duration, st->time_base) : -1;
}

// Settles the raw format handed over for pictures of `outWidth` x `outHeight`: the
// decoder's own format when it is one the renderer takes at that size, else IYUV made
// by the scaler.
void CMediaGraph::SettleVideoOutput(int32_t outWidth, int32_t outHeight)
{
    width = outWidth;
    height = outHeight;
    int direct = DirectCode(format->streams[videoIndex]->codecpar->format);
    // Packed pictures need even sizes; anything else goes through the scaler.
    if ((direct == 3 || direct == 1) && ((width | height) & 1)) direct = -1;
    usesScaler = direct < 0 || width != fileWidth || height != fileHeight;
    videoCode = direct < 0 || (usesScaler && direct != 5) ? 5 : direct;
    outPixFmt = PixFmtOfCode(videoCode);
}

void CMediaGraph::SetOutputSize(int32_t outWidth, int32_t outHeight, bool fieldsApart)
{
    if (!videoConnected || outWidth <= 0 || outHeight <= 0 || ((outWidth | outHeight) & 1)) return;
    SettleVideoOutput(outWidth, outHeight);
    scaleFields = fieldsApart;
}

// Connects the chosen audio stream: 48 kHz AC-3 passes undecoded when accepted, other
// sound gets a decoder; a stream that can have neither is dropped.
void CMediaGraph::ConnectAudio(bool acceptAc3)
{
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
    } else if (!ConnectAudioDecoder(st)) {
        audioCodec.reset();
        audioIndex = -1;
    }
}

// Opens a decoder for `stream` and settles the PCM handed over: at most two channels
// and 48 kHz, 8-bit sound as 8 bits and everything else as 16. False when the stream
// cannot be decoded, says nothing of its rate or channels, or gives a rate above 768 kHz.
bool CMediaGraph::ConnectAudioDecoder(AVStream* stream)
{
    AVCodecParameters* par = stream->codecpar;
    // No sound is recorded above 768 kHz; a damaged header's rate of a billion would
    // keep the sound converter building its filter for seconds.
    constexpr int kMaxSourceRate = 768000;
    if (par->sample_rate > kMaxSourceRate) return false;
    audioCodec = OpenDecoder(stream);
    if (!audioCodec || par->sample_rate <= 0 || sourceChannels <= 0) return false;
    audioConnected = true;
    audioKind = 1;
    channels = sourceChannels > 2 ? 2 : sourceChannels;
    sampleRate = par->sample_rate > 48000 ? 48000 : par->sample_rate;
    AVSampleFormat in = static_cast<AVSampleFormat>(audioCodec->sample_fmt);
    AVSampleFormat out = (in == AV_SAMPLE_FMT_U8 || in == AV_SAMPLE_FMT_U8P) ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    bits = out == AV_SAMPLE_FMT_U8 ? 8 : 16;
    outSampleFmt = out;
    usesConverter = in != out || channels != sourceChannels || sampleRate != par->sample_rate;
    stream->discard = AVDISCARD_DEFAULT;
    return true;
}

void CMediaGraph::SkipTo(int64_t start)
{
    rangeStart = start;
    nextAudioStart = -1;
    holding = false;
    lastInterval = 0;
    deliveredEnd = -1;
}

bool CMediaGraph::SeekTo(int64_t position)
{
    int64_t target = ff().av_rescale_q(std::max<int64_t>(position, 0) + startOffset, kTicks, AV_TIME_BASE_Q);
    if (ff().avformat_seek_file(format.get(), -1, INT64_MIN, target, target, 0) < 0 &&
        ff().av_seek_frame(format.get(), -1, target, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    if (videoCodec) ff().avcodec_flush_buffers(videoCodec.get());
    if (audioCodec) ff().avcodec_flush_buffers(audioCodec.get());
    return true;
}

int64_t CMediaGraph::FirstPictureStart()
{
    FramePtr frame = AllocFrame();
    if (!frame || !DecodeFirstPicture(format.get(), videoCodec.get(), videoIndex, frame.get())) return -1;
    const int64_t start = ToTicks(frame->best_effort_timestamp, format->streams[videoIndex]->time_base);
    return start >= 0 ? start - startOffset : -1;
}

bool CMediaGraph::Seek(int64_t start)
{
    if (!format || !seekable) return false;
    // MPEG program streams seek by time stamps and can land after the key picture before
    // the start: while the first picture decoded there starts after the start, the seek
    // goes 1, 2, 4 ... s further back; the place found is then sought once more.
    int64_t back = 0;
    for (int attempt = 0;; ++attempt) {
        if (!SeekTo(start - back)) return false;
        if (!videoCodec || attempt == 6 || start - back <= 0) break;
        const int64_t first = FirstPictureStart();
        if (first < 0 || first <= start) {
            if (!SeekTo(start - back)) return false;
            break;
        }
        back = back ? back * 2 : 10000000;
    }
    rangeStart = start;
    nextAudioStart = -1;
    holding = false;
    lastInterval = 0;
    deliveredEnd = -1;
    return true;
}

void CMediaGraph::Start(CAVDump& target, std::function<void(int32_t)> callback)
{
    Stop();
    dump = &target;
    notify = std::move(callback);
    stopping = false;
    videoPastEnd = audioPastEnd = false;
    worker = std::thread([this] { Run(); });
}

void CMediaGraph::Stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
}

void CMediaGraph::Run()
{
    PacketPtr packet = AllocPacket();
    bool ok = packet != nullptr;
    bool readFailed = false;
    while (ok && !stopping && !PastEnd()) {
        int r = ff().av_read_frame(format.get(), packet.get());
        if (r < 0) {
            readFailed = r != AVERROR_EOF;
            break;
        }
        if (packet->stream_index == videoIndex && videoIndex >= 0)
            ok = DecodeVideo(packet.get());
        else if (packet->stream_index == audioIndex && audioIndex >= 0)
            ok = passAc3 ? PassAc3(packet.get()) : DecodeAudio(packet.get());
        ff().av_packet_unref(packet.get());
    }
    if (ok && !stopping && !PastEnd()) {
        if (videoCodec) ok = DecodeVideo(nullptr);
        if (audioCodec && ok) DecodeAudio(nullptr);
    }
    // The last picture lasts as long as the file says.
    if (ok && !stopping && videoCodec) DeliverHeldPicture(-1);
    packet.reset();
    dump->EndVideo();
    dump->EndAudio();
    if (notify && !stopping) notify(readFailed ? 3 : 1);
}

bool CMediaGraph::DecodeVideo(const AVPacket* packet)
{
    if (ff().avcodec_send_packet(videoCodec.get(), packet) < 0 && packet) return true;  // damaged data: skip
    FramePtr frame = AllocFrame();
    bool ok = frame != nullptr;
    while (ok && !stopping && ff().avcodec_receive_frame(videoCodec.get(), frame.get()) >= 0) {
        ok = DeliverVideo(frame.get());
        ff().av_frame_unref(frame.get());
    }
    return ok;
}

int64_t CMediaGraph::NominalLength() const
{
    return frameRate > 0 ? static_cast<int64_t>(10000000.0 / frameRate + 0.5) : 333667;
}

int64_t CMediaGraph::HeldLength() const
{
    return heldLength > 0 ? heldLength : lastInterval > 0 ? lastInterval : NominalLength();
}

bool CMediaGraph::PastEnd() const
{
    return rangeEnd >= 0 && (videoIndex < 0 || videoPastEnd) && (audioIndex < 0 || audioPastEnd);
}

// Holds `frame` back until the next picture arrives: a picture lasts until the next one
// starts, whatever the container says of its duration (a file of variable frame rate
// often says nothing, or the same for every picture).
bool CMediaGraph::DeliverVideo(AVFrame* frame)
{
    AVStream* st = format->streams[videoIndex];
    int64_t start = ToTicks(frame->best_effort_timestamp, st->time_base);
    if (start >= 0) start -= startOffset;
    // A picture without a time stamp (several in one packet) follows the one before.
    if (start < 0 && holding && heldStart >= 0) start = heldStart + HeldLength();
    if (!DeliverHeldPicture(start)) return false;
    if (rangeEnd >= 0 && start >= rangeEnd) {
        videoPastEnd = true;
        return true;
    }
    if (!heldPicture) heldPicture = AllocFrame();
    if (!heldPicture || ff().av_frame_ref(heldPicture.get(), frame) < 0) return true;  // no memory: skipped
    holding = true;
    heldStart = start;
    heldLength = frame->pkt_duration > 0 ? ToTicks(frame->pkt_duration, st->time_base) : 0;
    return true;
}

// Hands over the held picture, lasting until `nextStart` (100 ns, -1 unknown) when that
// is believable, and cut to the range; pictures wholly outside the range are dropped.
bool CMediaGraph::DeliverHeldPicture(int64_t nextStart)
{
    if (!holding) return true;
    holding = false;
    const int64_t nominal = NominalLength();
    int64_t start = heldStart;
    int64_t length = HeldLength();
    // A jump back or far ahead (a joined file, a damaged time stamp) says nothing of
    // this picture's length.
    const int64_t longest = std::max<int64_t>(20000000, 8 * nominal);
    if (start >= 0 && nextStart > start && nextStart - start <= longest) {
        length = nextStart - start;
        lastInterval = length;
    }
    struct SUnref {
        AVFrame* frame;
        ~SUnref() { ff().av_frame_unref(frame); }
    } unref{heldPicture.get()};
    if (start >= 0 && rangeStart > 0) {
        const int64_t end = start + length;
        if (end <= rangeStart) {
            dump->KeepAlive();
            return true;
        }
        // The picture showing at the start of the range counts from there.
        if (start < rangeStart) {
            start = rangeStart;
            length = end - start;
        }
    }
    // Pictures follow each other: a time stamp that goes back (guessed wrongly for a
    // picture that had none) does not make a picture start before the last one ended.
    if (deliveredEnd >= 0 && start < deliveredEnd) start = deliveredEnd;
    if (start >= 0 && rangeEnd >= 0) {
        if (start >= rangeEnd) {
            videoPastEnd = true;
            return true;
        }
        // The picture showing at the end of the range counts until there.
        length = std::min(length, rangeEnd - start);
    }
    deliveredEnd = start >= 0 ? start + length : -1;
    // A picture the scaler cannot take is skipped.
    if (!CopyPicture(heldPicture.get())) return true;
    return dump->ReceiveVideo(frameBytes.data(), frameBytes.size(), start, length);
}

// Puts `frame` into frameBytes in the raw format and size handed over, through the
// scaler when it has another format or size. False when the scaler fails.
bool CMediaGraph::CopyPicture(AVFrame* frame)
{
    const int w = width, h = height;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    size_t bytes = videoCode == 5 ? size_t(w) * h + 2 * size_t(cw) * ch
        : videoCode == 3          ? size_t(w) * h * 2
                                  : size_t(w) * h * 4;
    frameBytes.resize(bytes);

    const AVFrame* src = frame;
    FramePtr scaled;
    if (frame->format != outPixFmt || frame->width != w || frame->height != h) {
        scaled = AllocFrame();
        if (!scaled) return false;
        scaled->format = outPixFmt;
        scaled->width = w;
        scaled->height = h;
        if (ff().av_frame_get_buffer(scaled.get(), 32) < 0 || !ScalePicture(frame, scaled.get())) return false;
        src = scaled.get();
    }
    uint8_t* const* planes = src->data;
    const int* strides = src->linesize;
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
    return true;
}

// Scales `frame` into `scaled` (allocated at the size handed over). An interlaced
// picture whose height changes is scaled as two field pictures, each from its own lines
// into its own lines, so that the fields neither blend nor trade places.
bool CMediaGraph::ScalePicture(AVFrame* frame, AVFrame* scaled)
{
    const AVPixelFormat in = static_cast<AVPixelFormat>(frame->format);
    const bool fields = scaleFields && frame->height != scaled->height && frame->height % 4 == 0 &&
        scaled->height % 4 == 0 && in != AV_PIX_FMT_PAL8;
    const int parts = fields ? 2 : 1;
    scaler.reset(ff().sws_getCachedContext(scaler.release(), frame->width, frame->height / parts, in, scaled->width,
                                           scaled->height / parts, static_cast<AVPixelFormat>(outPixFmt), SWS_BICUBIC,
                                           nullptr, nullptr, nullptr));
    if (!scaler) return false;
    for (int field = 0; field < parts; ++field) {
        const uint8_t* srcPlanes[4] = {};
        uint8_t* dstPlanes[4] = {};
        int srcStrides[4] = {}, dstStrides[4] = {};
        for (int i = 0; i < 4; ++i) {
            if (frame->data[i]) srcPlanes[i] = frame->data[i] + ptrdiff_t(field) * frame->linesize[i];
            if (scaled->data[i]) dstPlanes[i] = scaled->data[i] + ptrdiff_t(field) * scaled->linesize[i];
            srcStrides[i] = frame->linesize[i] * parts;
            dstStrides[i] = scaled->linesize[i] * parts;
        }
        if (ff().sws_scale(scaler.get(), srcPlanes, srcStrides, 0, frame->height / parts, dstPlanes, dstStrides) <= 0)
            return false;
    }
    return true;
}

bool CMediaGraph::PassAc3(const AVPacket* packet)
{
    AVStream* st = format->streams[audioIndex];
    int64_t start = ToTicks(packet->pts, st->time_base);
    if (start >= 0) start -= startOffset;
    if (rangeStart > 0 && start >= 0 && start + 320000 <= rangeStart) {
        dump->KeepAlive();
        return true;
    }
    if (rangeEnd >= 0 && start >= rangeEnd) {
        audioPastEnd = true;
        return true;
    }
    return dump->ReceiveAudio(packet->data, static_cast<size_t>(packet->size), start);
}

bool CMediaGraph::DecodeAudio(const AVPacket* packet)
{
    if (ff().avcodec_send_packet(audioCodec.get(), packet) < 0 && packet) return true;
    FramePtr frame = AllocFrame();
    bool ok = frame != nullptr;
    while (ok && !stopping && ff().avcodec_receive_frame(audioCodec.get(), frame.get()) >= 0) {
        ok = DeliverAudio(frame.get());
        ff().av_frame_unref(frame.get());
    }
    frame.reset();
    if (ok && !packet && converter) ok = DeliverAudio(nullptr);  // what the converter holds
    return ok;
}

// Hands over the sound of `frame`, or with a null frame what the converter still holds.
bool CMediaGraph::DeliverAudio(AVFrame* frame)
{
    int64_t start = nextAudioStart;
    if (frame) {
        AVStream* st = format->streams[audioIndex];
        start = ToTicks(frame->best_effort_timestamp, st->time_base);
        if (start >= 0)
            start -= startOffset;
        else
            start = nextAudioStart;
    }
    // A decoder that changes its output on the way is converted from then on.
    if (frame && !usesConverter &&
        (frame->format != outSampleFmt || frame->ch_layout.nb_channels != channels || frame->sample_rate != sampleRate))
        usesConverter = true;
    if (!usesConverter) {
        if (!frame) return true;
        return HandOverAudio(frame->data[0], frame->nb_samples, start);
    }
    if (!converter) {
        if (!frame) return true;
        if (!OpenConverter(*frame)) return false;
    }
    const int samples = ConvertAudio(frame);
    if (samples <= 0) return true;
    return HandOverAudio(pcmBytes.data(), samples, start);
}

// Sets up the converter from the shape of `frame` to the PCM handed over. False when
// it cannot be made.
bool CMediaGraph::OpenConverter(const AVFrame& frame)
{
    AVChannelLayout in;
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        ff().av_channel_layout_default(&in, frame.ch_layout.nb_channels);
    else if (ff().av_channel_layout_copy(&in, &frame.ch_layout) < 0)
        return false;
    AVChannelLayout out;
    ff().av_channel_layout_default(&out, channels);
    converter = MakeResampler(out, outSampleFmt, sampleRate, in, frame.format, frame.sample_rate);
    ff().av_channel_layout_uninit(&in);
    return converter != nullptr;
}

// Converts `frame` (null: the converter's remaining samples) into pcmBytes. Returns the
// samples made.
int CMediaGraph::ConvertAudio(AVFrame* frame)
{
    const int inSamples = frame ? frame->nb_samples : 0;
    const int inRate = frame ? frame->sample_rate : sampleRate;
    const int outMax = static_cast<int>(int64_t(inSamples) * sampleRate / (inRate > 0 ? inRate : 1)) + 256 +
        static_cast<int>(ff().swr_get_delay(converter.get(), sampleRate));
    pcmBytes.resize(size_t(outMax) * (channels * bits / 8));
    uint8_t* out[1] = {pcmBytes.data()};
    return ff().swr_convert(converter.get(), out, outMax,
                            frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inSamples);
}

// Hands `samples` samples of PCM starting at `start` (100 ns, -1 unknown) to the dump,
// less what lies before the start of the range.
bool CMediaGraph::HandOverAudio(const uint8_t* data, int samples, int64_t start)
{
    const int frameBytesOut = channels * bits / 8;
    size_t bytes = size_t(samples) * frameBytesOut;
    const int64_t length = int64_t(samples) * 10000000 / sampleRate;
    if (start >= 0) nextAudioStart = start + length;
    // Sound before the start of the range is dropped to the sample.
    if (rangeStart > 0 && start >= 0 && start < rangeStart) {
        int64_t drop = (rangeStart - start) * sampleRate / 10000000;
        if (drop >= samples) {
            dump->KeepAlive();
            return true;
        }
        data += size_t(drop) * frameBytesOut;
        bytes -= size_t(drop) * frameBytesOut;
        start = rangeStart;
    }
    // Sound after the end of the range likewise.
    if (rangeEnd >= 0 && start >= 0) {
        if (start >= rangeEnd) {
            audioPastEnd = true;
            return true;
        }
        const int64_t keep = ((rangeEnd - start) * sampleRate + 5000000) / 10000000;
        if (keep < int64_t(bytes / frameBytesOut)) {
            bytes = size_t(keep) * frameBytesOut;
            audioPastEnd = true;
            if (bytes == 0) return true;
        }
    }
    return dump->ReceiveAudio(data, bytes, start);
}

std::string CMediaGraph::Describe() const
{
    if (!format) return {};
    CGraphText graph;
    SGraphFilter demux{graph.NewId(), "Demuxer (" + formatName + ")", {}};
    SGraphFilter grabber{graph.NewId(), "Grabber", {}};
    const unsigned grabVideo = graph.NewId(), grabAudio = graph.NewId();
    unsigned videoOut = 0, audioOut = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const char* kind = ff().av_get_media_type_string(format->streams[i]->codecpar->codec_type);
        std::string name = std::string(kind ? kind : "data") + " " + std::to_string(i);
        unsigned pinId = graph.NewId();
        if (int(i) == videoIndex) videoOut = pinId;
        if (int(i) == audioIndex) audioOut = pinId;
        demux.pins.push_back({pinId, name, false, 0});
    }
    graph.Add(std::move(demux));
    unsigned videoPeer = 0, audioPeer = 0;
    if (videoConnected) {
        std::vector<std::string> names{"Video Decoder (" + videoCodecName + ")"};
        if (usesScaler) names.push_back("Scaler (swscale)");
        videoPeer = graph.AddChain(videoOut, names, grabVideo);
    }
    if (audioConnected) {
        std::vector<std::string> names;
        if (!passAc3) names.push_back("Audio Decoder (" + audioCodecName + ")");
        if (usesConverter) names.push_back("Resampler (swresample)");
        audioPeer = graph.AddChain(audioOut, names, grabAudio);
    }
    grabber.pins.push_back({grabVideo, "Video", true, videoPeer});
    grabber.pins.push_back({grabAudio, "Audio", true, audioPeer});
    graph.Add(std::move(grabber));
    return graph.Text();
}
