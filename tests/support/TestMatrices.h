// Weight matrices the quantiser tests build their quantisers from: flat (16), every weight
// 1 (the largest reciprocals, levels that reach the 2047 limit), every weight 255, and
// one drawn at random (1..255, 64 draws from the caller's generator).
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

struct STestMatrices {
    uint8_t flat[64];
    uint8_t ones[64];
    uint8_t heavy[64];
    uint8_t custom[64];

    explicit STestMatrices(std::mt19937& rng)
    {
        std::memset(flat, 16, sizeof flat);
        std::memset(ones, 1, sizeof ones);
        std::memset(heavy, 255, sizeof heavy);
        for (auto& w : custom) w = uint8_t(1 + rng() % 255);
    }
};
