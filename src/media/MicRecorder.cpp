#include "media/MicRecorder.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include <dlfcn.h>

#include "media/FfmpegLoader.h"
#include "media/WaveHeader.h"

namespace {

// Opens the first capture device that answers with 16-bit PCM, asking for 48 kHz
// stereo, and names it in `name` ("pulse: default"). Empty when none does.
InputPtr OpenCaptureDevice(std::string& name)
{
    struct SChoice {
        const char* format;
        const char* device;
    };
    const SChoice choices[] = {{"pulse", "default"}, {"alsa", "default"}};
    for (const auto& c : choices) {
        const AVInputFormat* fmt = ff().av_find_input_format(c.format);
        if (!fmt) continue;
        AVDictionary* options = nullptr;
        ff().av_dict_set(&options, "sample_rate", "48000", 0);
        ff().av_dict_set(&options, "channels", "2", 0);
        InputPtr device = OpenInput(c.device, fmt, &options);
        ff().av_dict_free(&options);
        if (!device || device->nb_streams < 1 || device->streams[0]->codecpar->codec_id != AV_CODEC_ID_PCM_S16LE)
            continue;
        name = std::string(c.format) + ": " + c.device;
        return device;
    }
    return nullptr;
}

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
            message = std::string("Cannot record sound: the audio device library ") + name + " could not be loaded (" +
                (why ? why : "unknown reason") + ").";
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
    input = OpenCaptureDevice(deviceName);
    if (!input) {
        lastError = "Cannot record sound: no audio capture device could be opened (PulseAudio or ALSA \"default\").";
        return false;
    }
    AVCodecParameters* par = input->streams[0]->codecpar;
    channels = par->ch_layout.nb_channels;
    rate = par->sample_rate;
    bits = 16;
    path = target;
    // Written beside the target and renamed over it when the recording ends, so that an
    // earlier recording of that name stays whole until then.
    file = std::make_unique<CReplaceFile>(target);
    std::string error;
    if (!file->Open(error)) {
        lastError = "Cannot record sound: " + error;
        file.reset();
        input.reset();
        return false;
    }
    // A placeholder until Stop knows the size of the sound.
    WriteWaveHeader(file->File(), channels, rate, bits, 0);
    dataBytes = 0;
    stopping = false;
    worker = std::thread([this] { Run(); });
    return true;
}

void CMicRecorder::Run()
{
    PacketPtr packet = AllocPacket();
    while (packet && !stopping) {
        if (ff().av_read_frame(input.get(), packet.get()) < 0) break;
        const size_t size = size_t(packet->size);
        const bool written = std::fwrite(packet->data, 1, size, file->File()) == size;
        ff().av_packet_unref(packet.get());
        if (!written) break;
        dataBytes += uint64_t(size);
    }
}

void CMicRecorder::Stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
    if (file) {
        uint32_t bytes = dataBytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(dataBytes);
        WriteWaveHeader(file->File(), channels, rate, bits, bytes);
        std::string error;
        if (!file->Commit(error)) lastError = error;
        file.reset();
    }
    input.reset();
}
