// Reads the stream properties of a video file from its own headers before it is
// decoded: the frame rate, whether the pictures are interlaced and which field comes
// first, and MPEG-2's progressive-sequence flag.
//
// MPEG files (.mpg, .mpeg, .m2v, .vob and DVD paths) are judged by the first sequence
// header, sequence extension and picture coding extension within their first 1 MiB; a
// DVD title set's IFO decides between 25 and 29.97 frames/s. An AVI whose video stream
// has a DV handler is DV: interlaced, bottom field first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CVideoSourceTester {
public:
    // Reads the properties of `path` into the results below. Returns true when the file
    // is of a kind the tester knows and its headers said something (for MPEG: a sequence
    // header was found; for AVI: it is DV); false otherwise, with Error() saying why in
    // one line naming the file when the file could not be read.
    bool Test(const std::string& path);

    // The properties of the MPEG stream in `data` (the start of a file): true when a
    // sequence header was found.
    bool ScanMpeg(const uint8_t* data, size_t bytes);

    // True when `data` (the start of a file) is a RIFF file whose video stream header
    // names a DV handler.
    static bool IsDvAvi(const uint8_t* data, size_t bytes);

    // The file a DVD path stands for when tested: a title set's VTS_nn_0.IFO/.BUP or
    // menu VOB stands for VTS_nn_1.VOB, a VIDEO_TS folder or its VIDEO_TS.IFO for the
    // first VOB of its largest title set. Other paths are returned unchanged.
    static std::string ResolveDvdPath(const std::string& path);

    // Why the last Test could not read the file; empty otherwise.
    const std::string& Error() const { return error; }

    // Results of the last Test.
    double frameRate = 0.0;  // from the sequence header or the IFO; 0 when unknown
    bool interlaced = false;
    bool topFieldFirst = false;
    bool progressiveSequence = false;
    bool isDv = false;  // an AVI with a DV video stream
    std::string resolvedPath;

private:
    void Reset();
    bool ReadHead(const std::string& file, size_t limit, std::vector<uint8_t>& data);
    void ReadIfoRate(const std::string& vob);

    std::string error;
};
