// Checks of one DVD disc image by programs we did not write, shared by the disc image
// integration tests. Each compares the image with the VIDEO_TS folder it was made from.
#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace discreaders {

namespace fs = std::filesystem;
using testsupport::Quote;

// The folder's files with their sizes in bytes.
inline std::map<std::string, uint64_t> FolderFiles(const std::string& folder)
{
    std::map<std::string, uint64_t> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.file_size() > 0)
            files[entry.path().filename().string()] = entry.file_size();
    return files;
}

// isoinfo: volume size, path tables and the VIDEO_TS directory, without a complaint.
inline void CheckIsoinfo(const std::string& image, const std::string& videoTs)
{
    auto d = testsupport::Run("isoinfo -d -i " + Quote(image));
    EXPECT_EQ(d.exitCode, 0);
    EXPECT_EQ(d.err, "");
    uint64_t sectors = fs::file_size(image) / 2048;
    EXPECT_NE(d.out.find(std::string("Volume size is: ") + std::to_string(sectors) + "\n"), std::string::npos) << d.out;
    auto p = testsupport::Run("isoinfo -p -i " + Quote(image));
    EXPECT_EQ(p.err, "");
    EXPECT_NE(p.out.find("Path table starts at block 70, size 42"), std::string::npos) << p.out;
    EXPECT_NE(p.out.find("2:    1 51 AUDIO_TS"), std::string::npos) << p.out;
    EXPECT_NE(p.out.find("3:    1 52 VIDEO_TS"), std::string::npos) << p.out;
    auto l = testsupport::Run("isoinfo -l -i " + Quote(image));
    EXPECT_EQ(l.err, "");
    for (const auto& [name, size] : FolderFiles(videoTs)) {
        std::regex line(std::to_string(size) + " [A-Za-z]{3} +[0-9]+ [0-9]{4} \\[ *[0-9]+ 00\\]  " + name + ";1");
        EXPECT_TRUE(std::regex_search(l.out, line)) << name << "\n" << l.out;
    }
}

// xorriso loads the tree without warnings; udfinfo reads a closed UDF 1.02 volume.
inline void CheckXorrisoAndUdfinfo(const std::string& image, const std::string& videoTs, const std::string& label)
{
    auto files = FolderFiles(videoTs);
    auto x = testsupport::Run("xorriso -abort_on FAILURE -return_with SORRY 32 -indev " + Quote(image) +
                              " -find /VIDEO_TS -type f -exec lsdl");
    EXPECT_EQ(x.exitCode, 0) << x.err;
    for (const char* bad : {"WARNING", "SORRY", "FAILURE"}) EXPECT_EQ(x.err.find(bad), std::string::npos) << x.err;
    for (const auto& [name, size] : files)
        EXPECT_TRUE(std::regex_search(
            x.out, std::regex(std::string(" ") + std::to_string(size) + " .*'/VIDEO_TS/" + name + "'")))
            << name << "\n"
            << x.out;
    EXPECT_EQ(size_t(std::count(x.out.begin(), x.out.end(), '\n')), files.size());

    auto u = testsupport::Run("udfinfo " + Quote(image));
    EXPECT_EQ(u.exitCode, 0) << u.err;
    EXPECT_NE(u.out.find("label=" + label + "\n"), std::string::npos) << u.out;
    EXPECT_NE(u.out.find("integrity=closed"), std::string::npos);
    EXPECT_NE(u.out.find("udfrev=1.02"), std::string::npos);
    EXPECT_NE(u.out.find(std::string("numfiles=") + std::to_string(files.size()) + "\n"), std::string::npos) << u.out;
    EXPECT_NE(u.out.find("numdirs=3\n"), std::string::npos) << u.out;
}

// 7z lists the same files in the UDF and the ISO 9660 view and extracts each one
// byte-identical to the folder; `scratch` receives the extracted trees.
inline void CheckSevenZip(const std::string& image, const std::string& videoTs, const std::string& scratch)
{
    auto files = FolderFiles(videoTs);
    std::set<std::string> listed[2];
    int view = 0;
    for (const std::string type : {"udf", "iso"}) {
        SCOPED_TRACE(type);
        auto list = testsupport::Run("7z l -slt -t" + type + " " + Quote(image));
        ASSERT_EQ(list.exitCode, 0) << list.err;
        std::istringstream lines(list.out);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("Path = VIDEO_TS/", 0) == 0) listed[view].insert(line.substr(16));
        std::string out = scratch + "/7z_" + type;
        auto x = testsupport::Run("7z x -y -t" + type + " -o" + Quote(out) + " " + Quote(image));
        ASSERT_EQ(x.exitCode, 0) << x.err;
        EXPECT_TRUE(fs::is_directory(out + "/AUDIO_TS"));
        for (const auto& [name, size] : files) {
            auto c = testsupport::Run("cmp " + Quote(videoTs + "/" + name) + " " + Quote(out + "/VIDEO_TS/" + name));
            EXPECT_EQ(c.exitCode, 0) << name << " " << c.out << c.err;
        }
        fs::remove_all(out);
        ++view;
    }
    EXPECT_EQ(listed[0], listed[1]);
    EXPECT_EQ(listed[0].size(), files.size());
}

// libdvdread finds every file at the sector the IFO files give, and the ISO 9660 view
// points at the same sectors.
inline void CheckPlacement(const std::string& image, const std::string& videoTs)
{
    auto r = testsupport::Run(Quote(testsupport::ToolPath("udf_placement")) + " " + Quote(image));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos) << r.out;
    auto l = testsupport::Run("isoinfo -l -i " + Quote(image));
    std::regex entry(R"(^(\S+\.(IFO|VOB|BUP)) ([0-9]+) ([0-9]+) (-?[0-9]+)$)");
    std::istringstream lines(r.out);
    std::string line;
    size_t files = 0;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        EXPECT_TRUE(std::regex_search(l.out, std::regex("\\[ *" + m[3].str() + " 00\\]  " + m[1].str()))) << line;
        ++files;
    }
    EXPECT_EQ(files, FolderFiles(videoTs).size());
}

// What the libdvdnav player reports, without the library's own log lines.
inline std::string PlayerReport(const std::string& source)
{
    auto play = testsupport::Run(Quote(testsupport::ToolPath("dvdnav_play")) + " " + Quote(source));
    EXPECT_EQ(play.exitCode, 0) << play.out;
    std::istringstream lines(play.out);
    std::string line, report;
    while (std::getline(lines, line))
        if (line.rfind("libdvd", 0) != 0 && line.find("**") == std::string::npos && !line.empty())
            report += line + "\n";
    return report;
}

// lsdvd reads the image file itself and lists `titles` titles; libdvdnav plays it to
// the stop exactly as it plays the folder.
inline void CheckPlayback(const std::string& image, const std::string& videoTs, int titles)
{
    auto ls = testsupport::Run("lsdvd " + Quote(image));
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    for (int t = 1; t <= titles; ++t) {
        char title[32];
        std::snprintf(title, sizeof title, "Title: %02d,", t);
        EXPECT_NE(ls.out.find(title), std::string::npos) << ls.out;
    }
    std::string fromImage = PlayerReport(image);
    EXPECT_NE(fromImage.find("VTS 1\n"), std::string::npos) << fromImage;
    EXPECT_NE(fromImage.find("STOP\n"), std::string::npos) << fromImage;
    EXPECT_EQ(fromImage.find("ERROR"), std::string::npos) << fromImage;
    EXPECT_EQ(fromImage, PlayerReport(fs::path(videoTs).parent_path().string()));
}

}  // namespace discreaders
