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

    int32_t width = 720;  // 720 or 352
    int32_t height = 480;  // 480/240 (NTSC), 576/288 (PAL)
    int32_t videoStandard = 2;  // 2 = NTSC, 1 = PAL
    int32_t aspectCode = 3;  // MPEG-2 aspect_ratio_information: 2 = 4:3, 3 = 16:9
    double frameRate = 30000.0 / 1001.0;
    int32_t frameRateCode = 4;  // 4 = 29.97 (NTSC), 3 = 25 (PAL)
    double videoBitRate = 4800000.0;
    std::string intraMatrixText = "Default";
    std::string interMatrixText =
        "101112131415161711121314151617181213141516171819131415161718191A"
        "1415161718191A1B15161718191A1B1C161718191A1B20201718191A1B1C2022";
    int32_t titleCount = 0;
    int32_t titleSeconds[maxTitles] = {};
    int32_t titleAudioType[maxTitles] = {};
    int32_t totalSeconds = 0;
    std::string outputFolder;  // the DVD folder, ending with '/'
    std::string jobName;  // caption of the job ("Encoding %s...")
    int64_t discBytes = 4700000000LL;
    std::string discSizeText = "4700000000";
    int32_t compressAudio = 1;  // 1 = MPEG-1 Layer II, 0 = LPCM
    int32_t flipVertical = 0;
    int32_t highQuality = 0;  // 1: the video encoder's high-quality mode
    double videoDelay = 0.0;  // seconds
    double audioDelay = 0.0;  // seconds
};

// Sets the picture format together: resolution 0 = High (720 wide), 1 = Medium
// (352 x full height), any other value = Low (352 x half height); `pal` chooses PAL
// (576 lines, 25 frames/s, frame_rate_code 3) over NTSC (480 lines, 30000/1001,
// code 4); `wide` chooses the 16:9 aspect code 3 over 4:3 (code 2).
void ApplyVideoFormat(int resolution, bool wide, bool pal, CDVDParams& params);

// Chooses the average video bit rate that makes the titles fit on the disc named by
// `discSizeText`: subtracts audio (with pack overhead) and navigation bits from the
// usable disc budget, spreads the rest over the total time with a safety margin, and
// caps the result so that video plus audio stays under 7.2 Mbit/s. Rewrites `discBytes`
// with the usable byte budget. A job without titles gets 4,800,000 bit/s.
void FitBitRate(CDVDParams& params);

// The outcome of ParseMatrixText.
struct CMatrixParse {
    int byteCount = 0;  // bytes produced, 0..64
    bool wholePairs = true;  // false when the digits stopped on a lone high nibble
};

// Turns quantiser matrix text into bytes: hex digit pairs (high nibble first) fill
// `out` in order; tabs, line breaks and spaces are skipped; anything else (or a zero
// byte) ends the text, as does the 64th byte. A lone last digit becomes a byte with a
// low nibble of 0. Returns the byte count and whether the digits came in whole pairs.
CMatrixParse ParseMatrixText(const std::string& text, uint8_t out[64]);

// The stored "Animation" intra matrix: 8 followed by 63 values of 32.
extern const char* const kAnimationIntraMatrix;
// The default non-intra matrix text (the default of interMatrixText).
extern const char* const kDefaultInterMatrix;
