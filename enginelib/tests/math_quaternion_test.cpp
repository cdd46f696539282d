// Quaternions, slerp and the angle operations on directions and pivots.
#include "math_test_util.h"

using namespace mathtest;

namespace {

const float kPi = from_bits(0x40490FDB);
const float kHalfPi = from_bits(0x3FC90FDB);

QUATERNION unit_quaternion(double ax, double ay, double az, double angle)
{
    const double n = std::sqrt(ax * ax + ay * ay + az * az);
    const double s = std::sin(angle / 2) / n;
    return {(float)(ax * s), (float)(ay * s), (float)(az * s), (float)std::cos(angle / 2)};
}

void expect_quat_near(const QUATERNION& got, const QUATERNION& want, double tol)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
    EXPECT_NEAR(got.w, want.w, tol);
}

TEST(MathQuaternion, FromRotationUsesTheAxisAsGiven)
{
    QUATERNION q;
    const VECTOR3 axis{0, 2, 0};
    QuaternionFromRotation(&q, &axis, 1.0f);
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(bits(q.y), bits(2.0f * (float)std::sin(0.5)));
    EXPECT_EQ(q.z, 0.0f);
    EXPECT_EQ(bits(q.w), bits((float)std::cos(0.5)));
}

TEST(MathQuaternion, MatrixAgreesWithAxisAngleMatrix)
{
    const VECTOR3 axis{0.48f, -0.6f, 0.64f};  // unit length
    QUATERNION q;
    QuaternionFromRotation(&q, &axis, 2.3f);
    MATRIX4 fromq, fromaxis;
    EXPECT_EQ(MatrixFromQuaternion(&fromq, &q), &fromq);
    SetRotationMatrix(&fromaxis, &axis, 2.3f);
    expect_matrix_near(fromq, fromaxis, 2e-6);
    EXPECT_EQ(fromq.m[3][3], 1.0f);
    EXPECT_EQ(fromq.m[3][0], 0.0f);
    EXPECT_EQ(fromq.m[0][3], 0.0f);
}

TEST(MathQuaternion, ProductAppliesQ1ThenQ2)
{
    const QUATERNION pairs[][2] = {
        {unit_quaternion(1, 0, 0, 0.4), unit_quaternion(0, 1, 0, 1.3)},
        {unit_quaternion(0.2, -0.5, 0.9, 2.8), unit_quaternion(-1, 0.3, 0.1, -0.9)},
        {unit_quaternion(0, 0, 1, 3.0), unit_quaternion(0.6, 0.6, -0.5, 5.5)},
    };
    for (const auto& p : pairs) {
        QUATERNION prod;
        EXPECT_EQ(QuaternionMultiply(&prod, &p[0], &p[1]), &prod);
        MATRIX4 mp, m1, m2, m21;
        MatrixFromQuaternion(&mp, &prod);
        MatrixFromQuaternion(&m1, &p[0]);
        MatrixFromQuaternion(&m2, &p[1]);
        MatrixMultiply2(&m21, &m2, &m1);
        expect_matrix_near(mp, m21, 2e-6);

        // Written over either operand, the result is the same.
        QUATERNION a = p[0], b = p[1];
        QuaternionMultiply(&a, &a, &p[1]);
        QuaternionMultiply(&b, &p[0], &b);
        EXPECT_EQ(std::memcmp(&a, &prod, sizeof a), 0);
        EXPECT_EQ(std::memcmp(&b, &prod, sizeof b), 0);
    }
    // The identity changes nothing, on either side.
    const QUATERNION id{0, 0, 0, 1}, q = pairs[1][0];
    QUATERNION out;
    QuaternionMultiply(&out, &id, &q);
    EXPECT_EQ(std::memcmp(&out, &q, sizeof q), 0);
    QuaternionMultiply(&out, &q, &id);
    EXPECT_EQ(std::memcmp(&out, &q, sizeof q), 0);
}

// The slerp weights in double, from the same polynomials the library uses.
double ref_sin(double x) { return x - (double)from_bits(0x3E2AAA7E) * x * x * x + (double)from_bits(0x3C088723) * std::pow(x, 5); }

TEST(MathQuaternion, SlerpEndPointsAndMidpoint)
{
    QUATERNION q1 = unit_quaternion(0, 1, 0, 0.2), q2 = unit_quaternion(1, 1, 0, 1.9);
    const QUATERNION q1_before = q1;
    QUATERNION out;
    EXPECT_EQ(QuaternionSlerp(&out, &q1, &q2, 0.0f), &out);
    EXPECT_EQ(std::memcmp(&out, &q1, sizeof out), 0);
    QuaternionSlerp(&out, &q1, &q2, 1.0f);
    EXPECT_EQ(std::memcmp(&out, &q2, sizeof out), 0);
    EXPECT_EQ(std::memcmp(&q1, &q1_before, sizeof q1), 0);  // same hemisphere: q1 untouched

    const double d = (double)q1.x * q2.x + (double)q1.y * q2.y + (double)q1.z * q2.z + (double)q1.w * q2.w;
    const double theta = (double)kHalfPi - (d + (double)from_bits(0x3E2AAA7E) * d * d * d + (double)from_bits(0x3D99999A) * std::pow(d, 5));
    const double k1 = ref_sin(0.3 * theta) / ref_sin(theta), k2 = ref_sin(0.7 * theta) / ref_sin(theta);
    QuaternionSlerp(&out, &q1, &q2, 0.7f);
    expect_quat_near(out, {(float)(k1 * q1.x + k2 * q2.x), (float)(k1 * q1.y + k2 * q2.y), (float)(k1 * q1.z + k2 * q2.z),
                           (float)(k1 * q1.w + k2 * q2.w)},
                     1e-5);
}

TEST(MathQuaternion, SlerpTakesTheShortWayByNegatingQ1InPlace)
{
    const QUATERNION q2 = unit_quaternion(0.3, -0.4, 0.5, 1.0);
    QUATERNION q1{-q2.x, -q2.y, -q2.z, -q2.w};
    QUATERNION out;
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        QuaternionSlerp(&out, &q1, &q2, t);
        EXPECT_EQ(std::memcmp(&q1, &q2, sizeof q1), 0);  // flipped once, then same hemisphere
        expect_quat_near(out, q2, 1e-7);
        q1 = {-q2.x, -q2.y, -q2.z, -q2.w};
    }

    // Near-equal quaternions (1 - d < 0.05) interpolate linearly.
    QUATERNION a{0, 0, 0, 1}, b{0.28f, 0, 0, 0.96f};  // d = 0.96
    QuaternionSlerp(&out, &a, &b, 0.25f);
    expect_quat_near(out, {0.07f, 0, 0, 0.99f}, 1e-7);

    // An opposite-hemisphere pair that is not antipodal: q1 flips and the result lies between.
    QUATERNION c = unit_quaternion(0, 0, 1, 0.5), e = unit_quaternion(0, 0, 1, 1.5);
    const QUATERNION c_before = c;
    c = {-c.x, -c.y, -c.z, -c.w};
    QuaternionSlerp(&out, &c, &e, 0.5f);
    EXPECT_EQ(std::memcmp(&c, &c_before, sizeof c), 0);
    expect_quat_near(out, unit_quaternion(0, 0, 1, 1.0), 1e-2);  // the fast arc cosine is rough near 1
}

TEST(MathAngles, YawPitchRollOfADirection)
{
    VECTOR3 out;
    const VECTOR3 back{0, 0, -1};
    ConvertFromTo2YPR(&back, &out);
    EXPECT_ULPS(out.x, kPi, 1);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);

    const VECTOR3 up{0, 1, 0}, down{0, -3, 0};
    ConvertFromTo2YPR(&up, &out);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(bits(out.y), bits(-kHalfPi));
    ConvertFromTo2YPR(&down, &out);
    EXPECT_EQ(bits(out.y), bits(kHalfPi));

    // Yaw runs from +z toward +x and is kept in [0, 2*pi); looking down gives a positive pitch.
    const VECTOR3 left_down{-2, -2, 0};
    ConvertFromTo2YPR(&left_down, &out);
    EXPECT_ULPS(out.x, 3.0f * kHalfPi, 1);
    EXPECT_ULPS(out.y, (float)(kPiD / 4), 1);
    const VECTOR3 right{5, 0, 0};
    ConvertFromTo2YPR(&right, &out);
    EXPECT_ULPS(out.x, kHalfPi, 1);
}

TEST(MathAngles, RotateAboutAPivot)
{
    const VECTOR3 pivot{1, 2, 3};
    const VECTOR3 ahead{1, 2, 4};  // pivot + (0, 0, 1)
    VECTOR3 out;

    // No tilt (the first angle outside the open quarter turn): yaw alone turns +z onto +x.
    const float level_up[2] = {kHalfPi, 0.0f};
    RotatePositionWithPivot(&out, &pivot, &ahead, level_up, kHalfPi, 1.0f);
    EXPECT_NEAR(out.x, 2.0f, 1e-6);
    EXPECT_NEAR(out.y, 2.0f, 1e-6);
    EXPECT_NEAR(out.z, 3.0f, 1e-6);

    // Heading +z: the tilt turns about +x, lifting +z to +y; yaw then leaves +y alone.
    const float heading_z[2] = {0.0f, 0.0f};
    RotatePositionWithPivot(&out, &pivot, &ahead, heading_z, 0.8f, kHalfPi);
    EXPECT_NEAR(out.x, 1.0f, 1e-6);
    EXPECT_NEAR(out.y, 3.0f, 1e-6);
    EXPECT_NEAR(out.z, 3.0f, 1e-6);

    // Heading +x: the tilt axis is -z and lifts +x to +y.
    const float heading_x[2] = {-0.5f, kHalfPi};
    const VECTOR3 to_x{2, 2, 3};
    RotatePositionWithPivot(&out, &pivot, &to_x, heading_x, 0.0f, kHalfPi);
    EXPECT_NEAR(out.x, 1.0f, 1e-6);
    EXPECT_NEAR(out.y, 3.0f, 1e-6);
    EXPECT_NEAR(out.z, 3.0f, 1e-6);
}

}  // namespace
