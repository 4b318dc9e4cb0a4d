// Disc image writing speed: our disc image job (describe the folder, then read every
// sector and write it to the image file) against genisoimage -dvd-video -udf on the
// same DVD folder in the same run (xorriso has no UDF and no -dvd-video). Each reports
// the image bytes written per second.
//
// The folder is KESTROVA_BENCH_DVD (a folder holding VIDEO_TS) when set; otherwise one of
// about 200 MB is authored with ffmpeg and dvdauthor into a temporary folder first.
#include "app/IsoJob.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Workspace {
    std::string root;  // temporary folder for images (and the made DVD)
    std::string parent;  // folder holding VIDEO_TS
    bool ok = false;

    Workspace()
    {
        root = (fs::temp_directory_path() / ("kestrova-bench-iso-" + std::to_string(getpid()))).string();
        fs::create_directories(root);
        if (const char* given = std::getenv("KESTROVA_BENCH_DVD")) {
            parent = given;
            ok = fs::exists(parent + "/VIDEO_TS/VIDEO_TS.IFO");
            return;
        }
        // A 4-second noisy clip at a constant 8 Mbit/s, repeated 50 times without re-encoding.
        parent = root + "/dvd";
        std::string clip = root + "/clip.mpg", longer = root + "/long.mpg";
        std::string make =
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i "
            "\"testsrc2=size=720x480:rate=30000/1001,noise=alls=30:allf=t\" "
            "-f lavfi -i sine -t 4 -target ntsc-dvd -b:v 8000k -minrate 8000k -maxrate 8000k " +
            Quote(clip) + " && ffmpeg -nostdin -loglevel error -y -stream_loop 49 -i " + Quote(clip) +
            " -c copy -f dvd " + Quote(longer) + " && VIDEO_FORMAT=NTSC dvdauthor -o " + Quote(parent) + " -t " +
            Quote(longer) + " >/dev/null 2>&1 && VIDEO_FORMAT=NTSC dvdauthor -o " + Quote(parent) +
            " -T >/dev/null 2>&1";
        ok = std::system(make.c_str()) == 0 && fs::exists(parent + "/VIDEO_TS/VIDEO_TS.IFO");
        fs::remove(clip);
        fs::remove(longer);
    }
    ~Workspace()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Workspace& Space()
{
    static Workspace space;
    return space;
}

void BM_KestrovaImage(benchmark::State& state)
{
    Workspace& space = Space();
    if (!space.ok) return state.SkipWithError("no DVD folder");
    const std::string out = space.root + "/ours.iso";
    int64_t bytes = 0;
    for (auto _ : state) {
        // The whole job as the program runs it: accept the folder, describe it, write.
        CIsoJob job;
        if (!job.ChooseFolder(space.parent)) return state.SkipWithError("folder refused");
        if (job.CreateImage(out) != CIsoJob::Result::Written) return state.SkipWithError("write failed");
        bytes += job.ImageSectors() * 2048;
    }
    state.SetBytesProcessed(bytes);
    fs::remove(out);
}

void RunPeer(benchmark::State& state, const std::string& command, const std::string& out)
{
    Workspace& space = Space();
    if (!space.ok) return state.SkipWithError("no DVD folder");
    int64_t bytes = 0;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) return state.SkipWithError(command.c_str());
        bytes += int64_t(fs::file_size(out));
    }
    state.SetBytesProcessed(bytes);
    fs::remove(out);
}

void BM_GenisoimageDvdVideoUdf(benchmark::State& state)
{
    const std::string out = Space().root + "/genisoimage.iso";
    RunPeer(state, "genisoimage -quiet -dvd-video -udf -o " + Quote(out) + " " + Quote(Space().parent), out);
}

}  // namespace

BENCHMARK(BM_KestrovaImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_GenisoimageDvdVideoUdf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
