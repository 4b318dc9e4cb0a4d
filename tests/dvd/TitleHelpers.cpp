#include "TitleHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

std::vector<std::string> VobFiles(const std::string& folder, int vts)
{
    std::vector<std::string> files;
    for (int i = 1; i <= 9; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/VTS_%02d_%d.VOB", vts, i);
        if (std::filesystem::exists(folder + name)) files.push_back(folder + name);
    }
    return files;
}

vobcheck::Scan CheckWrittenTitle(const std::string& folder, int vts, int pictures, int audioKind, uint32_t period)
{
    const uint32_t offset = 18418;
    vobcheck::Scan scan = vobcheck::ScanVobs(VobFiles(folder, vts));
    vobcheck::CheckVideoTimes(scan, offset, period);
    bool lpcm = audioKind == CAudio::kindLpcm;
    if (audioKind >= 0) vobcheck::CheckAudioTimes(scan, lpcm, offset);
    vobcheck::CheckNavPacks(scan, offset + uint32_t(pictures + 1) * period);
    vobcheck::BufferPeaks peaks = vobcheck::MeasureBuffers(scan, lpcm, offset, period, offset);
    if (peaks.video > 237568) scan.errors.push_back("video buffer holds " + std::to_string(peaks.video) + " bytes");
    int64_t audioLimit = lpcm ? 58 * 1024 : 4096;
    if (peaks.audio > audioLimit) scan.errors.push_back("audio buffer holds " + std::to_string(peaks.audio) + " bytes");
    if (peaks.lateVideo)
        scan.errors.push_back(std::to_string(peaks.lateVideo) + " pictures arrive after their decode time");
    if (peaks.lateAudio)
        scan.errors.push_back(std::to_string(peaks.lateAudio) + " audio frames arrive after their decode time");
    if (int(vobcheck::PictureStarts(scan.video).size()) != pictures)
        scan.errors.push_back("the VOBs hold " + std::to_string(vobcheck::PictureStarts(scan.video).size()) +
                              " pictures, the source " + std::to_string(pictures));
    return scan;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}

uint16_t Be16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) << 8 | b.at(at + 1)); }
