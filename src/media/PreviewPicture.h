// CPreviewPicture: the newest picture of a live source, made small for a window's
// preview. The thread that delivers the pictures offers each one; at most one in every
// `interval` seconds is shrunk to the preview's size and turned into 32-bit pixels
// (0xffRRGGBB words, top line first) right there, so the window only copies a finished
// picture when it repaints. Safe between one offering thread and any number of takers.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

class CPreviewPicture {
public:
    // A finished preview picture.
    struct SFrame {
        int32_t width = 0;
        int32_t height = 0;
        std::vector<uint32_t> pixels;  // width x height words, 0xffRRGGBB, top line first
    };

    // Sets the size of the preview pictures (at least 2 x 2) and how often one is made.
    void SetSize(int32_t width, int32_t height);
    void SetInterval(double seconds) { interval = seconds; }

    // Offers a raw picture of `code` (kVideoIYUV, kVideoYV12, kVideoYUY2 or kVideoRGB32,
    // as CDirectShowAV hands them over) and `width` x `height`. Makes the preview from
    // it when the last one is older than the interval; ignores unknown codes and empty
    // pictures. True when a preview was made.
    bool Offer(int32_t code, int32_t width, int32_t height, const uint8_t* data);

    // Copies the newest preview into `out` when it is newer than `serial` (then updated);
    // false when there is nothing new.
    bool Take(SFrame& out, uint64_t& serial) const;
    // How many previews have been made.
    uint64_t Serial() const;

private:
    void Convert(int32_t code, int32_t width, int32_t height, const uint8_t* data);

    int32_t outWidth = 320;
    int32_t outHeight = 240;
    double interval = 0.08;
    mutable std::mutex lock;
    SFrame frame;  // under `lock`
    uint64_t serial = 0;  // under `lock`
    std::vector<uint32_t> work;  // the offering thread's picture being made
    std::chrono::steady_clock::time_point last{};
    bool made = false;
};
