// Helpers shared by the math tests: float bits and double-precision references.
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

// Distance in representable floats; -0 and +0 are the same place.
inline int64_t ulps_apart(float a, float b)
{
    auto place = [](float f) {
        const int64_t magnitude = bits(f) & 0x7FFFFFFF;
        return (bits(f) >> 31) ? -magnitude : magnitude;
    };
    const int64_t d = place(a) - place(b);
    return d < 0 ? -d : d;
}

#define EXPECT_ULPS(got, want, n) \
    EXPECT_LE(mathtest::ulps_apart((got), (want)), (n)) << "got " << (got) << ", want " << (want)

template <typename Want>
void expect_matrix_near(const MATRIX4& got, const Want& want, double tol)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(got.m[r][c], want(r, c), tol) << "element " << r << c;
}

inline void expect_matrix_near(const MATRIX4& got, const MATRIX4& want, double tol)
{
    expect_matrix_near(got, [&](int r, int c) { return (double)want.m[r][c]; }, tol);
}

inline bool same_bits(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

// (v0, v1, v2, v3) x M in double.
inline double ref_transform(const double v[4], const MATRIX4& m, int c)
{
    return v[0] * m.m[0][c] + v[1] * m.m[1][c] + v[2] * m.m[2][c] + v[3] * m.m[3][c];
}

// A matrix with an unremarkable, distinct value in every place.
inline MATRIX4 busy_matrix(float seed)
{
    MATRIX4 m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = seed * (float)(r * 4 + c + 1) * ((r + c) % 2 ? -0.37f : 0.61f);
    return m;
}

}  // namespace mathtest
