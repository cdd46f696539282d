// Quaternions, slerp and the angle operations on directions and pivots.
#include "math_test_util.h"

using namespace mathtest;

namespace {

const float kPi = from_bits(0x40490FDB), kHalfPi = from_bits(0x3FC90FDB);

QUATERNION unit_quaternion(double ax, double ay, double az, double angle)
{
    const double s = std::sin(angle / 2) / std::sqrt(ax * ax + ay * ay + az * az);
    return {(float)(ax * s), (float)(ay * s), (float)(az * s), (float)std::cos(angle / 2)};
}

void expect_quat_near(const QUATERNION& got, const QUATERNION& want, double tol)
{
    for (int i = 0; i < 4; ++i) EXPECT_NEAR((&got.x)[i], (&want.x)[i], tol) << "component " << i;
}

TEST(MathQuaternion, RotationMatricesAgree)
{
    QUATERNION q;
    const VECTOR3 long_axis{0, 2, 0}, axis{0.48f, -0.6f, 0.64f};  // the second one unit length
    QuaternionFromRotation(&q, &long_axis, 1.0f);                 // the axis is used as given
    expect_quat_near(q, {0, 2.0f * (float)std::sin(0.5), 0, (float)std::cos(0.5)}, 0);

    MATRIX4 fromq, fromaxis;
    QuaternionFromRotation(&q, &axis, 2.3f);
    EXPECT_EQ(MatrixFromQuaternion(&fromq, &q), &fromq);
    SetRotationMatrix(&fromaxis, &axis, 2.3f);
    expect_matrix_near(fromq, fromaxis, 2e-6);
}

TEST(MathQuaternion, ProductAppliesQ1ThenQ2)
{
    const QUATERNION pairs[][2] = {{unit_quaternion(1, 0, 0, 0.4), unit_quaternion(0, 1, 0, 1.3)},
                                   {unit_quaternion(0.2, -0.5, 0.9, 2.8), unit_quaternion(-1, 0.3, 0.1, -0.9)},
                                   {unit_quaternion(0, 0, 1, 3.0), unit_quaternion(0.6, 0.6, -0.5, 5.5)}};
    for (const auto& p : pairs) {
        QUATERNION prod, a = p[0], b = p[1];
        EXPECT_EQ(QuaternionMultiply(&prod, &p[0], &p[1]), &prod);
        MATRIX4 mp, m1, m2, m21;
        MatrixFromQuaternion(&mp, &prod);
        MatrixFromQuaternion(&m1, &p[0]);
        MatrixFromQuaternion(&m2, &p[1]);
        MatrixMultiply2(&m21, &m2, &m1);
        expect_matrix_near(mp, m21, 2e-6);
        // Written over either operand, the result is the same.
        QuaternionMultiply(&a, &a, &p[1]);
        QuaternionMultiply(&b, &p[0], &b);
        EXPECT_TRUE(same_bits(&a, &prod, sizeof a) && same_bits(&b, &prod, sizeof b));
    }
}

TEST(MathQuaternion, SlerpEndPointsAndWeights)
{
    QUATERNION q1 = unit_quaternion(0, 1, 0, 0.2), q2 = unit_quaternion(1, 1, 0, 1.9), out;
    const QUATERNION q1_before = q1;
    EXPECT_EQ(QuaternionSlerp(&out, &q1, &q2, 0.0f), &out);
    EXPECT_TRUE(same_bits(&out, &q1, sizeof out));
    QuaternionSlerp(&out, &q1, &q2, 1.0f);
    EXPECT_TRUE(same_bits(&out, &q2, sizeof out));
    EXPECT_TRUE(same_bits(&q1, &q1_before, sizeof q1));  // same hemisphere: q1 untouched

    // The weights from the fast polynomials, in double.
    auto p = [](double x, uint32_t c3, uint32_t c5, double sign) {
        return x + sign * (double)from_bits(c3) * std::pow(x, 3) + (double)from_bits(c5) * std::pow(x, 5);
    };
    auto fast_sin = [&](double x) { return p(x, 0x3E2AAA7E, 0x3C088723, -1); };
    const double d = (double)q1.x * q2.x + (double)q1.y * q2.y + (double)q1.z * q2.z + (double)q1.w * q2.w;
    const double theta = (double)kHalfPi - p(d, 0x3E2AAA7E, 0x3D99999A, 1);
    const double k1 = fast_sin(0.3 * theta) / fast_sin(theta), k2 = fast_sin(0.7 * theta) / fast_sin(theta);
    QuaternionSlerp(&out, &q1, &q2, 0.7f);
    expect_quat_near(out, {(float)(k1 * q1.x + k2 * q2.x), (float)(k1 * q1.y + k2 * q2.y), (float)(k1 * q1.z + k2 * q2.z),
                           (float)(k1 * q1.w + k2 * q2.w)}, 1e-5);

    // Near-equal quaternions (1 - d < 0.05) interpolate linearly.
    QUATERNION a{0, 0, 0, 1}, b{0.28f, 0, 0, 0.96f};
    QuaternionSlerp(&out, &a, &b, 0.25f);
    expect_quat_near(out, {0.07f, 0, 0, 0.99f}, 1e-7);
}

TEST(MathQuaternion, SlerpTakesTheShortWayByNegatingQ1InPlace)
{
    const QUATERNION q2 = unit_quaternion(0.3, -0.4, 0.5, 1.0), minus_q2{-q2.x, -q2.y, -q2.z, -q2.w};
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        QUATERNION q1 = minus_q2, out;
        QuaternionSlerp(&out, &q1, &q2, t);
        EXPECT_TRUE(same_bits(&q1, &q2, sizeof q1));  // the caller's q1 was flipped
        expect_quat_near(out, q2, 1e-7);
    }
    // Opposite hemispheres but not antipodal: q1 flips and the result lies halfway.
    const QUATERNION c = unit_quaternion(0, 0, 1, 0.5), e = unit_quaternion(0, 0, 1, 1.5);
    QUATERNION minus_c{-c.x, -c.y, -c.z, -c.w}, out;
    QuaternionSlerp(&out, &minus_c, &e, 0.5f);
    EXPECT_TRUE(same_bits(&minus_c, &c, sizeof c));
    expect_quat_near(out, unit_quaternion(0, 0, 1, 1.0), 1e-2);  // the fast arc cosine is rough near 1
}

TEST(MathAngles, YawPitchRollOfADirection)
{
    const struct {
        VECTOR3 dir;
        float yaw, pitch;
    } cases[] = {{{0, 0, -1}, kPi, 0},
                 {{0, 1, 0}, 0, -kHalfPi},
                 {{0, -3, 0}, 0, kHalfPi},
                 {{-2, -2, 0}, 3 * kHalfPi, (float)(kPiD / 4)},  // yaw kept in [0, 2*pi); down is positive
                 {{5, 0, 0}, kHalfPi, 0}};
    for (const auto& c : cases) {
        VECTOR3 out;
        ConvertFromTo2YPR(&c.dir, &out);
        EXPECT_ULPS(out.x, c.yaw, 1) << c.dir.x << c.dir.y << c.dir.z;
        EXPECT_ULPS(out.y, c.pitch, 1) << c.dir.x << c.dir.y << c.dir.z;
        EXPECT_EQ(out.z, 0.0f);
    }
}

TEST(MathAngles, RotateAboutAPivot)
{
    const VECTOR3 pivot{1, 2, 3}, ahead{1, 2, 4}, to_x{2, 2, 3};
    const float no_tilt[2] = {kHalfPi, 0.0f}, heading_z[2] = {0.0f, 0.0f}, heading_x[2] = {-0.5f, kHalfPi};
    const struct {
        const VECTOR3* position;
        const float* angles;
        float yaw, tilt;
        VECTOR3 want;
    } cases[] = {
        {&ahead, no_tilt, kHalfPi, 1.0f, {2, 2, 3}},      // no tilt: yaw turns +z onto +x
        {&ahead, heading_z, 0.8f, kHalfPi, {1, 3, 3}},    // tilt about +x lifts +z to +y; yaw keeps +y
        {&to_x, heading_x, 0.0f, kHalfPi, {1, 3, 3}},     // heading +x: tilt about -z lifts +x to +y
    };
    for (const auto& c : cases) {
        VECTOR3 out;
        RotatePositionWithPivot(&out, &pivot, c.position, c.angles, c.yaw, c.tilt);
        EXPECT_NEAR(out.x, c.want.x, 1e-6);
        EXPECT_NEAR(out.y, c.want.y, 1e-6);
        EXPECT_NEAR(out.z, c.want.z, 1e-6);
    }
}

}  // namespace
