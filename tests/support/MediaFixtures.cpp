#include "support/MediaFixtures.h"

#include "support/TestSupport.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace testsupport {

namespace {

// What one fixture is made of: the picture generator's arguments, the audio source and
// the encoders and container.
struct SRecipe {
    const char* label;
    const char* file;
    int width;
    int height;
    const char* rate;  // frames per second as FFmpeg writes it
    const char* picture;  // extra filters after the picture generator ("" for none)
    const char* audio;  // lavfi audio source with its options, "" for no audio
    const char* codecs;  // encoder and container options
};

// A white frame round the picture, so that the picture's edges can be found on a DVD.
const char kBorder[] = ",drawbox=c=white:t=8";

const SRecipe kRecipes[] = {
    {"h264-aac-mp4", "h264_aac.mp4", 640, 360, "30000/1001", "", "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    {"mpeg4-ac3-avi", "mpeg4_ac3.avi", 640, 480, "25", "", "sine=f=660:r=48000",
     "-c:v mpeg4 -q:v 4 -c:a ac3 -b:a 192k -ac 2"},
    {"mpeg2-ps", "mpeg2_ps.mpg", 720, 480, "30000/1001", "", "sine=f=550:r=48000",
     "-c:v mpeg2video -b:v 4M -c:a mp2 -b:a 192k -ac 2 -f vob"},
    {"1080p-5.1", "full_hd_51.mkv", 1920, 1080, "25", "", "anoisesrc=r=48000:a=0.1:c=pink",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 6 -channel_layout 5.1"},
    {"640x480-15fps", "vga_15fps.mov", 640, 480, "15", "", "sine=f=440:r=44100",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    {"23.976fps", "film_23976.mp4", 640, 360, "24000/1001", "", "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    // Every frame for the first second, then every third: 30 then 10 frames/s.
    {"variable-rate", "variable_rate.mkv", 640, 360, "30", ",select='lt(n\\,30)+not(mod(n\\,3))'", "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -fps_mode vfr -c:a aac -ac 2"},
    {"interlaced-tff", "interlaced_tff.mpg", 720, 576, "25", ",setfield=tff", "sine=f=440:r=48000",
     "-c:v mpeg2video -b:v 6M -flags +ilme+ildct -top 1 -c:a mp2 -b:a 192k -ac 2 -f vob"},
    {"interlaced-bff", "interlaced_bff.mpg", 720, 576, "25", ",setfield=bff", "sine=f=440:r=48000",
     "-c:v mpeg2video -b:v 6M -flags +ilme+ildct -top 0 -c:a mp2 -b:a 192k -ac 2 -f vob"},
    {"no-audio", "no_audio.mp4", 640, 360, "30000/1001", "", "", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
    {"mono-22050", "mono_22050.mp4", 640, 360, "30000/1001", "", "sine=f=440:r=22050",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 1 -ar 22050"},
    {"2.39:1", "scope_239.mp4", 860, 360, "24000/1001", kBorder, "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    {"9:16", "upright_916.mp4", 360, 640, "30000/1001", kBorder, "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    {"square", "square.mp4", 480, 480, "30000/1001", kBorder, "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
    {"named-9876", "holiday_9876.mp4", 640, 360, "30000/1001", "", "sine=f=440:r=48000",
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
};

constexpr EMediaFixture kAll[] = {
    EMediaFixture::H264AacMp4,    EMediaFixture::Mpeg4Ac3Avi, EMediaFixture::Mpeg2Ps,      EMediaFixture::FullHd51,
    EMediaFixture::Vga15,         EMediaFixture::Film23976,   EMediaFixture::VariableRate, EMediaFixture::InterlacedTff,
    EMediaFixture::InterlacedBff, EMediaFixture::NoAudio,     EMediaFixture::Mono22050,    EMediaFixture::Scope239,
    EMediaFixture::Upright916,    EMediaFixture::Square,      EMediaFixture::Named9876,
};
static_assert(std::size(kAll) == std::size(kRecipes));

std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

// Runs one FFmpeg command line; on failure returns false with its stderr in `error`.
bool RunFfmpeg(const std::string& arguments, std::string* error)
{
    auto r = Run("ffmpeg -nostdin -v error -y " + arguments);
    if (r.exitCode == 0) return true;
    if (error) *error = "ffmpeg " + arguments + "\n" + r.err;
    return false;
}

}  // namespace

const EMediaFixture* AllMediaFixtures(int* count)
{
    *count = int(std::size(kAll));
    return kAll;
}

SMediaFixture MakeMediaFixture(EMediaFixture kind, const std::string& folder, std::string* error)
{
    const SRecipe& r = kRecipes[int(kind)];
    SMediaFixture made;
    made.label = r.label;
    made.width = r.width;
    made.height = r.height;
    made.seconds = kFixtureSeconds;
    made.hasAudio = r.audio[0] != '\0';
    const std::string size = std::to_string(r.width) + "x" + std::to_string(r.height);
    const std::string length = Seconds(kFixtureSeconds);
    std::string picture;
    if (kind == EMediaFixture::Named9876) {
        // Upper half white, lower half black, so that a flip shows in the mean brightness.
        picture =
            "color=c=black:s=" + size + ":r=" + r.rate + ":d=" + length + ",drawbox=x=0:y=0:w=iw:h=ih/2:c=white:t=fill";
    } else {
        picture = std::string(kind == EMediaFixture::Mpeg2Ps ? "smptebars" : "testsrc2") + "=s=" + size +
            ":r=" + r.rate + ":d=" + length + r.picture;
    }
    std::string arguments = "-f lavfi -i " + Quote(picture);
    if (made.hasAudio) arguments += " -f lavfi -i " + Quote(std::string(r.audio) + ":d=" + length);
    if (kind == EMediaFixture::FullHd51) arguments += " -filter:a aformat=channel_layouts=5.1";
    const std::string path = folder + "/" + r.file;
    arguments += " " + std::string(r.codecs) + " -t " + length + " " + Quote(path);
    if (!RunFfmpeg(arguments, error)) return made;
    made.path = path;
    return made;
}

std::string MakeCountingSource(const std::string& folder, const std::string& rate, double seconds, std::string* error)
{
    const std::string length = Seconds(seconds);
    const std::string picture =
        "color=c=black:s=320x240:r=" + rate + ":d=" + length + ",geq=lum='16+8*mod(N\\,25)':cb=128:cr=128";
    const std::string path = folder + "/counting_" + (rate == "25" ? std::string("25") : std::string("2997")) + ".mp4";
    std::string arguments = "-f lavfi -i " + Quote(picture) + " -f lavfi -i " +
        Quote("sine=f=440:r=48000:d=" + length) +
        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2 -t " + length + " " + Quote(path);
    return RunFfmpeg(arguments, error) ? path : std::string();
}

std::string ProbeMedia(const std::string& file, const std::string& entries, const std::string& stream)
{
    auto r = Run("ffprobe -v error " + (stream.empty() ? std::string() : "-select_streams " + stream) +
                 " -show_entries " + entries + " -of csv=p=0 " + Quote(file));
    std::string lines;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        if (end == std::string::npos) end = r.out.size();
        std::string line = r.out.substr(start, end - start);
        while (!line.empty() && line.back() == ',') line.pop_back();
        if (!line.empty()) lines += line + "\n";
        start = end + 1;
    }
    return lines;
}

double SyncInterval(const std::string& rate) { return rate == "25" ? 2.0 : 48 * 1001.0 / 24000.0; }

std::string MakeSyncSource(const std::string& folder, const std::string& rate, double seconds, std::string* error)
{
    const int period = rate == "25" ? 50 : 48;
    const std::string length = Seconds(seconds);
    // The white picture is picture 0 of every period; the tone starts at the same
    // instant, as the audio's own clock counts it, and lasts 0.1 s.
    const std::string picture = "color=c=black:s=320x240:r=" + rate + ":d=" + length +
        ",drawbox=c=white:t=fill:enable='eq(mod(n\\," + std::to_string(period) + ")\\,0)'";
    char tone[160];
    std::snprintf(tone, sizeof tone, "aevalsrc='0.5*sin(2*PI*1000*t)*lt(mod(t\\,%.6f)\\,0.1)':s=48000:d=%s",
                  SyncInterval(rate), length.c_str());
    const std::string name = rate == "25" ? "sync_25.mp4" : "sync_23976.mp4";
    const std::string path = folder + "/" + name;
    std::string arguments = "-f lavfi -i " + Quote(picture) + " -f lavfi -i " + Quote(tone) +
        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 -t " + length + " " + Quote(path);
    return RunFfmpeg(arguments, error) ? path : std::string();
}

}  // namespace testsupport
