#include "media/SubtitleStream.h"

#include "media/FfmpegLoader.h"
#include "media/FfmpegPtr.h"

#include <algorithm>

namespace {

// Ticks of 90 kHz for `value` in `base`.
int64_t Ticks(int64_t value, AVRational base) { return ff().av_rescale_q(value, base, AVRational{1, 90000}); }

}  // namespace

std::vector<std::string> CSubtitleStream::EventLines(const std::string& event)
{
    // The text is the ninth field of the event.
    size_t at = 0;
    for (int comma = 0; comma < 8 && at != std::string::npos; ++comma) {
        at = event.find(',', at);
        if (at != std::string::npos) ++at;
    }
    const std::string raw = at == std::string::npos ? event : event.substr(at);
    std::vector<std::string> lines(1);
    for (size_t k = 0; k < raw.size(); ++k) {
        const size_t close = raw[k] == '{' ? raw.find('}', k) : std::string::npos;
        if (close != std::string::npos) {
            k = close;
        } else if (raw[k] == '\\' && k + 1 < raw.size() && (raw[k + 1] == 'N' || raw[k + 1] == 'n')) {
            ++k;
            lines.emplace_back();
        } else if (raw[k] == '\\' && k + 1 < raw.size() && raw[k + 1] == 'h') {
            ++k;
            lines.back().push_back(' ');
        } else if (raw[k] != '\r' && raw[k] != '\n') {
            lines.back().push_back(raw[k]);
        }
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.find_first_not_of(' ') == std::string::npos; }),
                lines.end());
    if (lines.size() > size_t(maxLines)) lines.resize(size_t(maxLines));
    return lines;
}

bool CSubtitleStream::Open(const std::string& path)
{
    units.clear();
    error.clear();
    bitmap = false;
    std::string why;
    if (!FfmpegAvailable(&why)) {
        error = path + ": " + why;
        return false;
    }
    InputPtr input = OpenInput(path.c_str(), nullptr, nullptr);
    if (!input || ff().avformat_find_stream_info(input.get(), nullptr) < 0) {
        error = path + ": cannot be read as a media file";
        return false;
    }
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) index = int(i);
    if (index < 0) {
        error = path + ": holds no subtitle stream";
        return false;
    }
    AVStream* stream = input->streams[index];
    const AVCodecID id = stream->codecpar->codec_id;
    bitmap = id == AV_CODEC_ID_DVD_SUBTITLE;
    CodecPtr codec;
    if (!bitmap) {
        const AVCodec* decoder = ff().avcodec_find_decoder(id);
        codec.reset(decoder ? ff().avcodec_alloc_context3(decoder) : nullptr);
        if (!codec || ff().avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0 ||
            ff().avcodec_open2(codec.get(), decoder, nullptr) < 0) {
            error = path + ": its subtitle stream (" + ff().avcodec_get_name(id) + ") cannot be decoded";
            return false;
        }
    }
    PacketPtr packet = AllocPacket();
    const int64_t firstTime = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time;
    const int64_t origin = ff().av_rescale_q(firstTime, AVRational{1, AV_TIME_BASE}, AVRational{1, 90000});
    while (packet && int(units.size()) < maxUnits && ff().av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE) {
            SUnit unit;
            const int64_t start = Ticks(packet->pts, stream->time_base) - origin;
            int64_t duration = packet->duration > 0 ? Ticks(packet->duration, stream->time_base) : 0;
            bool keep = start >= 0 && start < int64_t(0x9A7EC800u);
            if (bitmap) {
                unit.bytes.assign(packet->data, packet->data + packet->size);
                keep = keep && packet->size >= 4;
            } else {
                AVSubtitle decoded{};
                int got = 0;
                if (ff().avcodec_decode_subtitle2(codec.get(), &decoded, &got, packet.get()) >= 0 && got) {
                    for (unsigned r = 0; r < decoded.num_rects; ++r) {
                        const AVSubtitleRect* rect = decoded.rects[r];
                        std::vector<std::string> lines;
                        if (rect->type == SUBTITLE_ASS && rect->ass) lines = EventLines(rect->ass);
                        if (rect->type == SUBTITLE_TEXT && rect->text) lines = {rect->text};
                        for (auto& l : lines)
                            if (int(unit.lines.size()) < maxLines) unit.lines.push_back(l);
                    }
                    if (decoded.end_display_time > 0 && decoded.end_display_time != UINT32_MAX)
                        duration = int64_t(decoded.end_display_time) * 90;
                    ff().avsubtitle_free(&decoded);
                }
                keep = keep && !unit.lines.empty() && duration > 0;
            }
            if (keep) {
                unit.start = uint32_t(start);
                unit.duration = uint32_t(std::min<int64_t>(duration, INT32_MAX));
                units.push_back(std::move(unit));
            }
        }
        ff().av_packet_unref(packet.get());
    }
    std::stable_sort(units.begin(), units.end(), [](const SUnit& a, const SUnit& b) { return a.start < b.start; });
    if (units.empty()) {
        error = path + ": its subtitle stream holds no subtitle that can be shown";
        return false;
    }
    return true;
}
