// Helpers shared by the math tests: float bit access and double-precision references.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "GevrastSSE.h"

namespace mathtest {

constexpr double kPiD = 3.14159265358979323846;

inline uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float from_bits(uint32_t b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// Distance in representable floats (same-sign values).
inline int64_t ulps_apart(float a, float b)
{
    auto key = [](float f) {
        int64_t i = (int32_t)bits(f);
        return i < 0 ? (int64_t)INT32_MIN - i : i;
    };
    int64_t d = key(a) - key(b);
    return d < 0 ? -d : d;
}

#define EXPECT_ULPS(got, want, n) \
    EXPECT_LE(mathtest::ulps_apart((got), (want)), (n)) << "got " << (got) << ", want " << (want)

inline void expect_matrix_near(const MATRIX4& got, const double (&want)[4][4], double tol)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(got.m[r][c], want[r][c], tol) << "element " << r << c;
}

inline void expect_matrix_near(const MATRIX4& got, const MATRIX4& want, double tol)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(got.m[r][c], want.m[r][c], tol) << "element " << r << c;
}

// (v, w) x M in double.
inline void ref_transform(const double v[4], const MATRIX4& m, double out[4])
{
    for (int c = 0; c < 4; ++c) {
        out[c] = 0;
        for (int r = 0; r < 4; ++r) out[c] += v[r] * (double)m.m[r][c];
    }
}

// A matrix with unremarkable entries in every place.
inline MATRIX4 busy_matrix(float seed)
{
    MATRIX4 m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = seed * (float)(r * 4 + c + 1) * ((r + c) % 2 ? -0.37f : 0.61f);
    return m;
}

}  // namespace mathtest
