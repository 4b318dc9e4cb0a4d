#include "media/MicRecorder.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include <dlfcn.h>

#include "media/FfmpegLoader.h"

namespace {
void Put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
}  // namespace

CMicRecorder::~CMicRecorder() { Stop(); }

bool CMicRecorder::LoadDeviceLibrary(const char* soname, std::string& error)
{
    auto load = [](const char* name, std::string& message) {
        // The library stays loaded for the rest of the run: FFmpeg keeps pointers to
        // the devices it registers.
        void* library = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
        if (!library) {
            const char* why = dlerror();
            message = std::string("Cannot record sound: the audio device library ") + name +
                      " could not be loaded (" + (why ? why : "unknown reason") + ").";
            return false;
        }
        using RegisterAll = void (*)();
        auto registerAll = reinterpret_cast<RegisterAll>(dlsym(library, "avdevice_register_all"));
        if (!registerAll) {
            message = std::string("Cannot record sound: ") + name + " has no avdevice_register_all.";
            return false;
        }
        registerAll();
        message.clear();
        return true;
    };
    if (std::strcmp(soname, deviceLibrary) != 0) return load(soname, error);
    // The program's own library: loaded and registered once, whichever thread asks first.
    static std::once_flag once;
    static bool loaded = false;
    static std::string loadError;
    std::call_once(once, [&] { loaded = load(soname, loadError); });
    error = loadError;
    return loaded;
}

void CMicRecorder::WriteWaveHeader(std::FILE* out, int ch, int sampleRate, int sampleBits, uint32_t bytes)
{
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, uint16_t(ch));
    Put32(h + 24, uint32_t(sampleRate));
    Put32(h + 28, uint32_t(sampleRate * ch * sampleBits / 8));
    Put16(h + 32, uint16_t(ch * sampleBits / 8));
    Put16(h + 34, uint16_t(sampleBits));
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, bytes);
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, out);
}

bool CMicRecorder::Start(const std::string& target)
{
    Stop();
    lastError.clear();
    if (!FfmpegAvailable(&lastError)) {
        lastError = "Cannot record sound: " + lastError;
        return false;
    }
    if (!LoadDeviceLibrary(deviceLibrary, lastError)) return false;
    ff().av_log_set_level(AV_LOG_QUIET);
    struct Choice { const char* format; const char* device; };
    const Choice choices[] = {{"pulse", "default"}, {"alsa", "default"}};
    for (const auto& c : choices) {
        const AVInputFormat* fmt = ff().av_find_input_format(c.format);
        if (!fmt) continue;
        AVDictionary* options = nullptr;
        ff().av_dict_set(&options, "sample_rate", "48000", 0);
        ff().av_dict_set(&options, "channels", "2", 0);
        AVFormatContext* ctx = nullptr;
        int r = ff().avformat_open_input(&ctx, c.device, fmt, &options);
        ff().av_dict_free(&options);
        if (r < 0) continue;
        if (ctx->nb_streams < 1 || ctx->streams[0]->codecpar->codec_id != AV_CODEC_ID_PCM_S16LE) {
            ff().avformat_close_input(&ctx);
            continue;
        }
        input = ctx;
        deviceName = std::string(c.format) + ": " + c.device;
        break;
    }
    if (!input) {
        lastError = "Cannot record sound: no audio capture device could be opened (PulseAudio or ALSA \"default\").";
        return false;
    }
    AVCodecParameters* par = input->streams[0]->codecpar;
    channels = par->ch_layout.nb_channels;
    rate = par->sample_rate;
    bits = 16;
    path = target;
    file = std::fopen(target.c_str(), "wb");
    if (!file) {
        lastError = "Cannot record sound into " + target + ": " + std::strerror(errno);
        ff().avformat_close_input(&input);
        return false;
    }
    WriteWaveHeader(file, channels, rate, bits, 0);
    dataBytes = 0;
    stopping = false;
    worker = std::thread([this] { Run(); });
    return true;
}

void CMicRecorder::Run()
{
    AVPacket* packet = ff().av_packet_alloc();
    while (packet && !stopping) {
        if (ff().av_read_frame(input, packet) < 0) break;
        if (std::fwrite(packet->data, 1, size_t(packet->size), file) != size_t(packet->size)) {
            ff().av_packet_unref(packet);
            break;
        }
        dataBytes += uint64_t(packet->size);
        ff().av_packet_unref(packet);
    }
    ff().av_packet_free(&packet);
}

void CMicRecorder::Stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
    if (file) {
        uint32_t bytes = dataBytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(dataBytes);
        WriteWaveHeader(file, channels, rate, bits, bytes);
        std::fclose(file);
        file = nullptr;
    }
    if (input) ff().avformat_close_input(&input);
}
