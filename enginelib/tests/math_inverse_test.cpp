// The inverse refuses every matrix whose last column is not (0, 0, 0, 1) within 0.001, and states
// its answer for one matrix that is.
#include <limits>

#include "math_test_util.h"

using namespace mathtest;

namespace {

MATRIX4 affine_sample()
{
    // Scale 2, 4, 0.5 and a move of (1, -2, 3): its inverse can be written down exactly.
    MATRIX4 m;
    const float rows[4][4] = {{2, 0, 0, 0}, {0, 4, 0, 0}, {0, 0, 0.5f, 0}, {1, -2, 3, 1}};
    std::memcpy(m.m, rows, sizeof rows);
    return m;
}

TEST(MathInverse, EveryEntryOfTheLastColumnOutsideTheSlackIsRefused)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int r = 0; r < 4; ++r) {
        const float want = r == 3 ? 1.0f : 0.0f;
        for (float off : {0.0011f, -0.0011f, 0.5f, -7.0f}) {
            MATRIX4 m = affine_sample(), out;
            std::memset(&out, 0x7F, sizeof out);
            const MATRIX4 untouched = out;
            m.m[r][3] = want + off;
            EXPECT_EQ(SetInverseMatrix(&out, &m), 0u) << "row " << r << " off by " << off;
            EXPECT_TRUE(same_bits(&out, &untouched, sizeof out)) << "row " << r;
        }
        for (float odd : {nan, inf, -inf}) {
            MATRIX4 m = affine_sample(), out;
            m.m[r][3] = odd;
            EXPECT_EQ(SetInverseMatrix(&out, &m), 0u) << "row " << r << " holding " << odd;
        }
        // Just inside the slack is still affine.
        MATRIX4 m = affine_sample(), out;
        m.m[r][3] = want + 0.0009f;
        EXPECT_EQ(SetInverseMatrix(&out, &m), 1u) << "row " << r;
    }
}

TEST(MathInverse, StatedAnswerForAScaleAndMove)
{
    const MATRIX4 m = affine_sample();
    MATRIX4 out;
    ASSERT_EQ(SetInverseMatrix(&out, &m), 1u);
    const float want[4][4] = {{0.5f, 0, 0, 0}, {0, 0.25f, 0, 0}, {0, 0, 2, 0}, {-0.5f, 0.5f, -6, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(out.m[r][c], want[r][c]) << "element " << r << c;
}

}  // namespace
