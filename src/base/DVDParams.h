// The output settings of one DVD job: picture format, frame rate, aspect, bit rate,
// quantiser matrix texts, per-title lengths and audio kinds, output folder and delays.
// Filled by the job window (or the command line), read by the encoders, the
// multiplexer and the IFO writer.
#pragma once

#include <cstdint>
#include <string>

class CDVDParams {
public:
    virtual ~CDVDParams() = default;

    static constexpr int maxTitles = 99;

    int32_t width = 720;           // 720 or 352
    int32_t height = 480;          // 480/240 (NTSC), 576/288 (PAL)
    int32_t videoStandard = 2;     // 2 = NTSC, 1 = PAL
    int32_t aspectCode = 3;        // MPEG-2 aspect_ratio_information: 2 = 4:3, 3 = 16:9
    double frameRate = 30000.0 / 1001.0;
    int32_t frameRateCode = 4;     // 4 = 29.97 (NTSC), 3 = 25 (PAL)
    double videoBitRate = 4800000.0;
    std::string intraMatrixText = "Default";
    std::string interMatrixText =
        "101112131415161711121314151617181213141516171819131415161718191A"
        "1415161718191A1B15161718191A1B1C161718191A1B20201718191A1B1C2022";
    int32_t titleCount = 0;
    int32_t titleSeconds[maxTitles] = {};
    int32_t titleAudioType[maxTitles] = {};
    int32_t totalSeconds = 0;
    std::string outputFolder;      // the DVD folder, ending with '/'
    std::string jobName;           // caption of the job ("Encoding %s...")
    int64_t discBytes = 4700000000LL;
    std::string discSizeText = "4700000000";
    int32_t compressAudio = 1;     // 1 = MPEG-1 Layer II, 0 = LPCM
    int32_t flipVertical = 0;
    double videoDelay = 0.0;       // seconds
    double audioDelay = 0.0;       // seconds
};
