// Encodes a raw YUV4MPEG2 (4:2:0) file with Kestrova's MPEG-2 video encoder into an
// elementary stream, optionally writing the encoder's own reconstruction beside it.
//
//   bench_encode_file IN.y4m OUT.m2v [--bitrate BITS] [--recon RECON.y4m] [--pal] [--threads N]
//                     [--quality standard|high]
//
// Prints one line: frames, seconds spent encoding (wall clock and CPU of all threads),
// frames per second by each, stream bytes, the average bit rate and the encoder's
// threads (default WorkerThreads(): KESTROVA_THREADS or the processors available). Used by encode_vs_ffmpeg.sh to race FFmpeg on the same frames.
#include "base/DVDParams.h"
#include "base/Threads.h"
#include "mpeg2enc/Encoder.h"
#include "picture/Frame.h"
#include "picture/FrameSource.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Reads every frame of a 4:2:0 YUV4MPEG2 file into memory, so that reading the file is
// not part of the measured encoding time.
struct SY4m {
    int width = 0, height = 0;
    int rateNum = 30000, rateDen = 1001;
    std::vector<std::vector<uint8_t>> frames;
};

bool LoadY4m(const std::string& path, SY4m& out, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open";
        return false;
    }
    char line[512];
    if (!std::fgets(line, sizeof line, f) || std::strncmp(line, "YUV4MPEG2", 9) != 0) {
        error = path + ": not a YUV4MPEG2 file";
        std::fclose(f);
        return false;
    }
    for (char* tok = std::strtok(line + 9, " \n"); tok; tok = std::strtok(nullptr, " \n")) {
        if (tok[0] == 'W') out.width = std::atoi(tok + 1);
        if (tok[0] == 'H') out.height = std::atoi(tok + 1);
        if (tok[0] == 'F') std::sscanf(tok + 1, "%d:%d", &out.rateNum, &out.rateDen);
        if (tok[0] == 'C' && std::strncmp(tok + 1, "420", 3) != 0) {
            error = path + ": only 4:2:0 pictures can be encoded";
            std::fclose(f);
            return false;
        }
    }
    if (out.width <= 0 || out.height <= 0 || out.width % 16 || out.height % 16) {
        error = path + ": the picture size must be a multiple of 16";
        std::fclose(f);
        return false;
    }
    const size_t frameBytes = size_t(out.width) * size_t(out.height) * 3 / 2;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "FRAME", 5) != 0) break;
        std::vector<uint8_t> frame(frameBytes);
        if (std::fread(frame.data(), 1, frameBytes, f) != frameBytes) break;
        out.frames.push_back(std::move(frame));
    }
    std::fclose(f);
    if (out.frames.empty()) {
        error = path + ": no frames";
        return false;
    }
    return true;
}

class CMemorySource : public CFrameSource {
public:
    explicit CMemorySource(const SY4m& y4m) : video(y4m) {}
    int64_t FrameCount() override { return int64_t(video.frames.size()); }
    void NextFrame(CFrame& frame) override
    {
        const size_t i = next < video.frames.size() ? next : video.frames.size() - 1;
        ++next;
        const auto& data = video.frames[i];
        CYUV420Image& p = frame.picture;
        std::memcpy(p.planeY, data.data(), size_t(p.lumaSize));
        std::memcpy(p.planeCb, data.data() + p.lumaSize, size_t(p.chromaSize));
        std::memcpy(p.planeCr, data.data() + p.lumaSize + p.chromaSize, size_t(p.chromaSize));
    }

private:
    const SY4m& video;
    size_t next = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s IN.y4m OUT.m2v [--bitrate BITS] [--recon RECON.y4m] [--pal] [--threads N] [--quality "
                     "standard|high]\n",
                     argv[0]);
        return 2;
    }
    const std::string in = argv[1], outPath = argv[2];
    double bitRate = 6000000.0;
    std::string reconPath;
    bool pal = false;
    int threads = WorkerThreads();
    bool highQuality = false;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--bitrate" && i + 1 < argc)
            bitRate = std::atof(argv[++i]);
        else if (a == "--recon" && i + 1 < argc)
            reconPath = argv[++i];
        else if (a == "--pal")
            pal = true;
        else if (a == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
            if (threads < 1 || threads > 64) {
                std::fprintf(stderr, "--threads takes a number from 1 to 64\n");
                return 2;
            }
        } else if (a == "--quality" && i + 1 < argc) {
            const std::string mode = argv[++i];
            if (mode != "standard" && mode != "high") {
                std::fprintf(stderr, "--quality takes standard or high\n");
                return 2;
            }
            highQuality = mode == "high";
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    SY4m video;
    std::string error;
    if (!LoadY4m(in, video, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CDVDParams params;
    params.width = video.width;
    params.height = video.height;
    params.videoStandard = pal ? 1 : 2;
    params.frameRateCode = pal ? 3 : 4;
    params.videoBitRate = bitRate;
    params.aspectCode = 2;
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    params.highQuality = highQuality ? 1 : 0;
    CEncoder encoder;
    encoder.SetThreads(threads);
    if (!encoder.InitFromSettings(params)) {
        std::fprintf(stderr, "the encoder could not be initialised (out of memory?)\n");
        return 1;
    }
    FILE* recon = nullptr;
    if (!reconPath.empty()) {
        recon = std::fopen(reconPath.c_str(), "wb");
        if (!recon) {
            std::fprintf(stderr, "%s: cannot create\n", reconPath.c_str());
            return 1;
        }
        std::fprintf(recon, "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C420jpeg\n", video.width, video.height, pal ? 25 : 30000,
                     pal ? 1 : 1001);
        encoder.SetPictureHook([recon](const CEncoder::SPictureInfo& info) {
            const CYUV420Image& p = info.reconstruction.picture;
            std::fputs("FRAME\n", recon);
            std::fwrite(p.planeY, 1, size_t(p.planarSize), recon);
        });
    }
    CMemorySource source(video);
    encoder.Start(&source, source.FrameCount());
    FILE* out = std::fopen(outPath.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "%s: cannot create\n", outPath.c_str());
        return 1;
    }
    std::vector<uint8_t> chunk(2048);
    uint64_t bytes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (int32_t n; (n = encoder.Read(chunk.data(), int32_t(chunk.size()))) > 0;) {
        std::fwrite(chunk.data(), 1, size_t(n), out);
        bytes += uint64_t(n);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpuSeconds = double(std::clock() - c0) / CLOCKS_PER_SEC;
    const bool ok = std::fclose(out) == 0 && (!recon || std::fclose(recon) == 0);
    const double duration = double(video.frames.size()) / encoder.FrameRate();
    std::printf("frames %zu seconds %.3f fps %.2f cpu_seconds %.3f cpu_fps %.2f bytes %llu bitrate %.0f threads %d\n",
                video.frames.size(), seconds, double(video.frames.size()) / seconds, cpuSeconds,
                double(video.frames.size()) / cpuSeconds, (unsigned long long)bytes, bytes * 8.0 / duration, threads);
    return ok ? 0 : 1;
}
