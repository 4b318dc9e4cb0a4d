// Photos fitted on white for the windows (thumbnails and the shown photo), as plain
// R, G, B, A bytes that any toolkit can wrap. One fitter keeps its decoding buffers from
// one photo to the next, so a thread that makes many thumbnails reserves them once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPhoto;

class CPhotoFitter {
public:
    CPhotoFitter();
    virtual ~CPhotoFitter();
    CPhotoFitter(const CPhotoFitter&) = delete;
    CPhotoFitter& operator=(const CPhotoFitter&) = delete;

    // Decodes `path` and fits it, centred, into a `width` x `height` picture on white
    // (on black with `black`): `rgba` receives width x height x 4 bytes, lines top-down.
    // False (with `rgba` emptied and Error() saying why) when the photo cannot be decoded
    // or the picture is larger than 1,048,576 pixels.
    bool Fit(const std::string& path, int width, int height, std::vector<uint8_t>& rgba, bool black = false);

    // Why the last Fit failed.
    const std::string& Error() const { return error; }

private:
    std::unique_ptr<CPhoto> photo;
    std::string error;
};
