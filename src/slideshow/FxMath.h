// The arithmetic the renderer's motions and transitions share.
#pragma once

#include <cmath>

namespace fxmath {

constexpr double kPi = 3.1415926589793;
constexpr double kHalfPi = 1.57079632948965;

// Truncation toward zero that never overflows: values far outside any picture are
// held at +-1e9 and NaN becomes 0, so the span rules simply clip them.
inline int Trunc(double v)
{
    if (!(v == v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return int(v);
}

// tan(a), with an angle of exactly pi/2 first reduced by 0.01 and results between
// 0 and 0.001 raised to 0.001, so that divisions by the slope stay finite.
inline double Slope(double a)
{
    if (a == kHalfPi) a -= 0.01;
    double k = std::tan(a);
    if (k >= 0.0 && k < 0.001) k = 0.001;
    return k;
}

}  // namespace fxmath
