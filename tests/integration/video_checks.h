// Checks of a DVD folder made by `kestrova video`, shared by the video integration
// tests: lsdvd's title lengths, libdvdnav's play from first play to the stop, FFmpeg's
// decode of every VOB and the VOB checker's rules.
#pragma once

#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/VobChecker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace videochecks {

namespace fs = std::filesystem;
using testsupport::Quote;

// NTSC or PAL, with the picture period in 90 kHz ticks.
struct SStandard {
    bool pal = false;
    uint32_t Period() const { return pal ? 3600 : 3003; }
    double FrameSeconds() const { return Period() / 90000.0; }
    const char* Option() const { return pal ? "--pal" : "--ntsc"; }
};

// Runs `kestrova video ROWS... --out OUT OPTIONS`; the result of the run.
inline testsupport::RunResult MakeVideoDvd(const std::vector<std::string>& rows, const std::string& out,
                                           const std::string& options)
{
    std::string command = Quote(testsupport::CliPath()) + " video";
    for (const auto& row : rows) command += " " + Quote(row);
    return testsupport::Run(command + " --out " + Quote(out) + " --yes " + options);
}

// The VOB files of title set `vts` in the VIDEO_TS folder, in order.
inline std::vector<std::string> TitleVobs(const std::string& videoTs, int vts)
{
    std::vector<std::string> files;
    for (int i = 1; i <= 9; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/VTS_%02d_%d.VOB", vts, i);
        if (fs::exists(videoTs + name)) files.push_back(videoTs + name);
    }
    return files;
}

// Title lengths in seconds as lsdvd lists them, in title order.
inline std::vector<double> LsdvdLengths(const std::string& dvd)
{
    auto ls = testsupport::Run("lsdvd " + Quote(dvd) + " 2>/dev/null");
    EXPECT_EQ(ls.exitCode, 0) << ls.out;
    std::vector<double> lengths;
    std::regex title(R"(Title: (\d\d), Length: (\d\d):(\d\d):(\d\d)\.(\d\d\d))");
    for (auto it = std::sregex_iterator(ls.out.begin(), ls.out.end(), title); it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        EXPECT_EQ(std::stoi(m[1]), int(lengths.size()) + 1) << ls.out;
        lengths.push_back(std::stoi(m[2]) * 3600 + std::stoi(m[3]) * 60 + std::stoi(m[4]) + std::stoi(m[5]) / 1000.0);
    }
    return lengths;
}

// A row's name for messages: its file name, or "title N" when the rows are not given.
inline std::string RowName(const std::vector<std::string>& rows, size_t i)
{
    if (i < rows.size()) return fs::path(rows[i]).filename().string();
    return "title " + std::to_string(i + 1);
}

// lsdvd lists one title per row, each as long as its range within one picture.
inline void ExpectTitleLengths(const std::string& dvd, const std::vector<double>& ranges, SStandard standard,
                               const std::vector<std::string>& rows = {})
{
    auto lengths = LsdvdLengths(dvd);
    ASSERT_EQ(lengths.size(), ranges.size()) << dvd;
    for (size_t i = 0; i < ranges.size(); ++i)
        EXPECT_NEAR(lengths[i], ranges[i], standard.FrameSeconds() + 0.001)
            << RowName(rows, i) << ": lsdvd gives " << lengths[i] << " s for a range of " << ranges[i] << " s";
}

// libdvdnav goes from first play through title 1, 2 ... `titles` in order and stops.
inline void ExpectPlaysInOrder(const std::string& dvd, int titles)
{
    auto play = testsupport::Run(Quote(testsupport::ToolPath("dvdnav_play")) + " " + Quote(dvd));
    EXPECT_EQ(play.exitCode, 0) << play.out;
    EXPECT_EQ(play.out.find("ERROR"), std::string::npos) << play.out;
    std::vector<int> order;
    std::istringstream lines(play.out);
    std::string line, last;
    while (std::getline(lines, line)) {
        int title = 0, part = 0;
        if (std::sscanf(line.c_str(), "TITLE %d PART %d", &title, &part) == 2 &&
            (order.empty() || order.back() != title))
            order.push_back(title);
        if (!line.empty() && line.rfind("libdvd", 0) != 0) last = line;
    }
    std::vector<int> expected;
    for (int t = 1; t <= titles; ++t) expected.push_back(t);
    EXPECT_EQ(order, expected) << play.out;
    EXPECT_EQ(last, "STOP") << play.out;
}

// FFmpeg decodes every VOB of the folder without a single error line.
inline void ExpectDecodesCleanly(const std::string& videoTs)
{
    int vobs = 0;
    for (const auto& entry : fs::directory_iterator(videoTs)) {
        if (entry.path().extension() != ".VOB") continue;
        ++vobs;
        auto decode =
            testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(entry.path().string()) + " -f null - 2>&1");
        EXPECT_EQ(decode.exitCode, 0) << entry.path();
        EXPECT_EQ(decode.out, "") << entry.path();
    }
    EXPECT_GT(vobs, 0) << videoTs;
}

// The first packet's PTS (audio) or DTS (video) of the chosen stream, or -1.
inline int64_t FirstTime(const vobcheck::Scan& scan, bool video)
{
    for (const auto& p : scan.packets) {
        bool isVideo = p.stream == 0xE0;
        bool isAudio = p.stream == 0xC0 || (p.stream == 0xBD && (p.substream & 0xE0) == 0x80);
        if ((video ? isVideo : isAudio) && p.hasPts) return video ? (p.hasDts ? p.dts : p.pts) : p.pts;
    }
    return -1;
}

// What one title set holds, as the VOB checker read it.
struct STitleFacts {
    int pictures = 0;
    bool ac3 = false;
    bool lpcm = false;
    int64_t videoStart = -1;  // first DTS, 90 kHz
    int64_t audioStart = -1;  // first audio PTS, 90 kHz
};

// The VOB checker's rules over title set `vts`: packs, time stamps against the
// streams' own picture and frame counts, whole audio frames, decoder buffers and NAV
// packs. AC-3 frames carry 1536 samples, which the checker's audio-time rule does not
// count, so for AC-3 only whole frames are checked.
inline STitleFacts ExpectVobRules(const std::string& videoTs, int vts, SStandard standard)
{
    STitleFacts facts;
    auto vobs = TitleVobs(videoTs, vts);
    EXPECT_FALSE(vobs.empty()) << "no VOB of title set " << vts;
    if (vobs.empty()) return facts;
    auto scan = vobcheck::ScanVobs(vobs);
    facts.pictures = vobcheck::PictureCount(scan.video);
    facts.videoStart = FirstTime(scan, true);
    facts.audioStart = FirstTime(scan, false);
    for (const auto& p : scan.packets) {
        if (p.stream != 0xBD) continue;
        facts.ac3 = facts.ac3 || (p.substream & 0xF8) == 0x80;
        facts.lpcm = facts.lpcm || (p.substream & 0xF8) == 0xA0;
    }
    EXPECT_GT(facts.pictures, 0);
    EXPECT_FALSE(scan.audio.empty()) << "title set " << vts << " has no audio";
    if (facts.videoStart < 0) return facts;
    const uint32_t offset = uint32_t(facts.videoStart), period = standard.Period();
    vobcheck::CheckVideoTimes(scan, offset, period);
    if (facts.ac3)
        vobcheck::CheckAudioFrames(scan);
    else if (facts.audioStart >= 0)
        vobcheck::CheckAudioTimes(scan, facts.lpcm, uint32_t(facts.audioStart));
    vobcheck::CheckNavPacks(scan, offset + uint32_t(facts.pictures + 1) * period);
    auto peaks =
        vobcheck::MeasureBuffers(scan, facts.lpcm, offset, period, uint32_t(std::max<int64_t>(0, facts.audioStart)));
    EXPECT_LE(peaks.video, 237568);
    EXPECT_EQ(peaks.lateVideo, 0);
    if (!facts.ac3) {
        EXPECT_LE(peaks.audio, facts.lpcm ? 58 * 1024 : 4096);
        EXPECT_EQ(peaks.lateAudio, 0);
    }
    EXPECT_TRUE(scan.errors.empty()) << "title set " << vts << ":\n" << vobcheck::ErrorText(scan);
    return facts;
}

// Every check of a DVD made from `ranges.size()` rows: lengths, playback, decoding and
// the VOB rules of each title set; returns each title set's facts. `rows`, when given,
// name the titles in messages.
inline std::vector<STitleFacts> ExpectGoodDvd(const std::string& dvd, const std::vector<double>& ranges,
                                              SStandard standard, const std::vector<std::string>& rows = {})
{
    const std::string videoTs = dvd + "/VIDEO_TS";
    ExpectTitleLengths(dvd, ranges, standard, rows);
    ExpectPlaysInOrder(dvd, int(ranges.size()));
    ExpectDecodesCleanly(videoTs);
    std::vector<STitleFacts> facts;
    for (size_t i = 0; i < ranges.size(); ++i) {
        SCOPED_TRACE("title set " + std::to_string(i + 1) + ", from " + RowName(rows, i));
        facts.push_back(ExpectVobRules(videoTs, int(i) + 1, standard));
    }
    return facts;
}

// One stream property of the first VOB of title set `vts` as ffprobe gives it.
inline std::string ProbeTitle(const std::string& videoTs, int vts, const std::string& stream,
                              const std::string& entries)
{
    auto vobs = TitleVobs(videoTs, vts);
    return vobs.empty() ? std::string() : testsupport::ProbeMedia(vobs[0], entries, stream);
}

}  // namespace videochecks
