// Vector operators, products and lengths, validity checks and the fast angle polynomials.
#include <cfloat>
#include <vector>

#include "math_test_util.h"

using namespace mathtest;

namespace {

// Each operand lives alone in an exactly sized heap block, so a 16-byte load or store of a
// 12-byte vector is caught by the address sanitizer.
struct Heap3 {
    std::vector<VECTOR3> v;
    explicit Heap3(VECTOR3 x) : v{x} {}
    VECTOR3* p() { return v.data(); }
};

void expect_vec_eq(const VECTOR3& got, float x, float y, float z)
{
    EXPECT_EQ(bits(got.x), bits(x)) << got.x << " vs " << x;
    EXPECT_EQ(bits(got.y), bits(y)) << got.y << " vs " << y;
    EXPECT_EQ(bits(got.z), bits(z)) << got.z << " vs " << z;
}

// Single-precision results of one operation, rounded once from the exact double value.
float r_add(float a, float b) { return (float)((double)a + (double)b); }
float r_sub(float a, float b) { return (float)((double)a - (double)b); }
float r_mul(float a, float b) { return (float)((double)a * (double)b); }
float r_div(float a, float b) { return (float)((double)a / (double)b); }

TEST(MathVector, OperatorsAreExactPerComponentAndMayWriteOverAnInput)
{
    const VECTOR3 a0{1.5f, -7.25f, 1e-3f}, b0{0.1f, 3.0f, -2.5e4f};
    const float f = 0.3f;
    Heap3 a(a0), b(b0), out({});

    VECTOR3_ADD_VECTOR3(out.p(), a.p(), b.p());
    expect_vec_eq(*out.p(), r_add(a0.x, b0.x), r_add(a0.y, b0.y), r_add(a0.z, b0.z));
    VECTOR3_SUB_VECTOR3(out.p(), a.p(), b.p());
    expect_vec_eq(*out.p(), r_sub(a0.x, b0.x), r_sub(a0.y, b0.y), r_sub(a0.z, b0.z));
    VECTOR3_MUL_VECTOR3(out.p(), a.p(), b.p());
    expect_vec_eq(*out.p(), r_mul(a0.x, b0.x), r_mul(a0.y, b0.y), r_mul(a0.z, b0.z));
    VECTOR3_DIV_VECTOR3(out.p(), a.p(), b.p());
    expect_vec_eq(*out.p(), r_div(a0.x, b0.x), r_div(a0.y, b0.y), r_div(a0.z, b0.z));

    VECTOR3_ADD_FLOAT(out.p(), a.p(), f);
    expect_vec_eq(*out.p(), r_add(a0.x, f), r_add(a0.y, f), r_add(a0.z, f));
    VECTOR3_SUB_FLOAT(out.p(), a.p(), f);
    expect_vec_eq(*out.p(), r_sub(a0.x, f), r_sub(a0.y, f), r_sub(a0.z, f));
    VECTOR3_MUL_FLOAT(out.p(), a.p(), f);
    expect_vec_eq(*out.p(), r_mul(a0.x, f), r_mul(a0.y, f), r_mul(a0.z, f));
    VECTOR3_DIV_FLOAT(out.p(), a.p(), f);
    expect_vec_eq(*out.p(), r_div(a0.x, f), r_div(a0.y, f), r_div(a0.z, f));

    // The compound forms, and the plain forms with out equal to either input.
    VECTOR3_ADDEQU_VECTOR3(a.p(), b.p());
    expect_vec_eq(*a.p(), r_add(a0.x, b0.x), r_add(a0.y, b0.y), r_add(a0.z, b0.z));
    *a.p() = a0;
    VECTOR3_SUBEQU_VECTOR3(a.p(), b.p());
    expect_vec_eq(*a.p(), r_sub(a0.x, b0.x), r_sub(a0.y, b0.y), r_sub(a0.z, b0.z));
    *a.p() = a0;
    VECTOR3_MULEQU_VECTOR3(a.p(), b.p());
    expect_vec_eq(*a.p(), r_mul(a0.x, b0.x), r_mul(a0.y, b0.y), r_mul(a0.z, b0.z));
    *a.p() = a0;
    VECTOR3_DIVEQU_VECTOR3(a.p(), b.p());
    expect_vec_eq(*a.p(), r_div(a0.x, b0.x), r_div(a0.y, b0.y), r_div(a0.z, b0.z));
    *a.p() = a0;
    VECTOR3_ADDEQU_FLOAT(a.p(), f);
    expect_vec_eq(*a.p(), r_add(a0.x, f), r_add(a0.y, f), r_add(a0.z, f));
    *a.p() = a0;
    VECTOR3_SUBEQU_FLOAT(a.p(), f);
    expect_vec_eq(*a.p(), r_sub(a0.x, f), r_sub(a0.y, f), r_sub(a0.z, f));
    *a.p() = a0;
    VECTOR3_MULEQU_FLOAT(a.p(), f);
    expect_vec_eq(*a.p(), r_mul(a0.x, f), r_mul(a0.y, f), r_mul(a0.z, f));
    *a.p() = a0;
    VECTOR3_DIVEQU_FLOAT(a.p(), f);
    expect_vec_eq(*a.p(), r_div(a0.x, f), r_div(a0.y, f), r_div(a0.z, f));

    *a.p() = a0;
    VECTOR3_SUB_VECTOR3(b.p(), a.p(), b.p());
    expect_vec_eq(*b.p(), r_sub(a0.x, b0.x), r_sub(a0.y, b0.y), r_sub(a0.z, b0.z));

    EXPECT_EQ(SET_VECTOR3(out.p(), -2.0f), out.p());
    expect_vec_eq(*out.p(), -2.0f, -2.0f, -2.0f);
}

TEST(MathVector, DivisionIsATrueDivisionNotAReciprocalProduct)
{
    // Values whose quotient and reciprocal product round differently.
    const float n = 5.0f, d = 3.0f;
    ASSERT_NE(bits(r_div(n, d)), bits(r_mul(n, r_div(1.0f, d))));
    Heap3 a({n, n, n}), b({d, d, d}), out({});
    VECTOR3_DIV_VECTOR3(out.p(), a.p(), b.p());
    expect_vec_eq(*out.p(), r_div(n, d), r_div(n, d), r_div(n, d));
    VECTOR3_DIV_FLOAT(out.p(), a.p(), d);
    expect_vec_eq(*out.p(), r_div(n, d), r_div(n, d), r_div(n, d));
}

TEST(MathVector, ProductsAndLengths)
{
    Heap3 a({3.0f, -4.0f, 12.0f}), b({-1.5f, 2.0f, 0.25f});
    EXPECT_EQ(DotProduct(a.p(), b.p()), -4.5f - 8.0f + 3.0f);
    EXPECT_EQ(VECTOR3Length(a.p()), 13.0f);
    EXPECT_ULPS(CalcDistance(a.p(), b.p()), (float)std::sqrt(4.5 * 4.5 + 6.0 * 6.0 + 11.75 * 11.75), 1);

    // Left-handed: x cross y is z; the formula is the same, with an out that aliases.
    Heap3 x({1, 0, 0}), y({0, 1, 0}), out({});
    CrossProduct(out.p(), x.p(), y.p());
    expect_vec_eq(*out.p(), 0, 0, 1);
    CrossProduct(a.p(), a.p(), b.p());
    expect_vec_eq(*a.p(), -4.0f * 0.25f - 12.0f * 2.0f, 12.0f * -1.5f - 3.0f * 0.25f, 3.0f * 2.0f - -4.0f * -1.5f);

    Heap3 v({2.0f, -3.0f, 6.0f});  // length 7
    Normalize(v.p(), v.p());
    expect_vec_eq(*v.p(), r_div(2.0f, 7.0f), r_div(-3.0f, 7.0f), r_div(6.0f, 7.0f));

    Heap3 zero({0, 0, 0});
    Normalize(out.p(), zero.p());
    EXPECT_FALSE(std::isfinite(out.p()->x));
}

TEST(MathVector, AngleBetweenVectorsUsesPreciseFunctions)
{
    Heap3 a({2, 0, 0}), b({0, 0, 5}), c({1, 1, 0});
    EXPECT_EQ(CalcCosAngle(a.p(), b.p()), 0.0f);
    EXPECT_EQ(bits(CalcAngle(a.p(), b.p())), bits((float)std::acos(0.0)));
    EXPECT_ULPS(CalcCosAngle(a.p(), c.p()), (float)(2.0 / (std::sqrt(2.0) * 2.0)), 1);
    EXPECT_ULPS(CalcAngle(a.p(), c.p()), (float)(kPiD / 4), 1);
    EXPECT_EQ(CalcAngle(a.p(), a.p()), 0.0f);
}

TEST(MathVector, OnlyTheInvalidOperationPatternIsInvalid)
{
    EXPECT_EQ(IsValidFloat(from_bits(0xFFC00000)), 0u);
    volatile float zero = 0.0f;
    EXPECT_EQ(IsValidFloat(zero / zero), 0u);  // what the hardware produces for 0/0
    EXPECT_EQ(IsValidFloat(from_bits(0x7FC00000)), 1u);
    EXPECT_EQ(IsValidFloat(from_bits(0xFFC00001)), 1u);
    EXPECT_EQ(IsValidFloat(INFINITY), 1u);
    EXPECT_EQ(IsValidFloat(-INFINITY), 1u);
    EXPECT_EQ(IsValidFloat(0.0f), 1u);

    std::vector<VECTOR3> vs(3, VECTOR3{1, 2, 3});
    EXPECT_EQ(IsValidVector3(vs.data(), 3), 1u);
    vs[2].z = from_bits(0xFFC00000);
    EXPECT_EQ(IsValidVector3(vs.data(), 3), 0u);
    EXPECT_EQ(IsValidVector3(vs.data(), 2), 1u);  // only the counted vectors are read
    EXPECT_EQ(IsValidVector3(nullptr, 0), 1u);    // nothing to read, nothing invalid
}

// ---- Fast angles ----

// The polynomials in double, from an argument already reduced in single precision.
double ref_sin_poly(double x) { return x - 0.16666600108146667 * x * x * x + 0.0083330003544688225 * std::pow(x, 5); }
double ref_cos_poly(double x)
{
    return 1 + (double)from_bits(0x3D2AA9F8) * std::pow(x, 4) - (0.5 * x * x + (double)from_bits(0x3AB5ED8D) * std::pow(x, 6));
}
double ref_asin_poly(double x) { return x + (double)from_bits(0x3E2AAA7E) * x * x * x + (double)from_bits(0x3D99999A) * std::pow(x, 5); }

TEST(MathAngles, ListedValues)
{
    EXPECT_ULPS(Sin(0.5f), 0.47942716f, 1);
    EXPECT_ULPS(Cos(1.0f), 0.54027802f, 1);
    EXPECT_ULPS(Sin(1.5707964f), 1.0045242f, 1);
    EXPECT_ULPS(ASin(1.0f), 1.2416661f, 1);
    EXPECT_ULPS(ACos(1.0f), 0.32913029f, 1);
    EXPECT_EQ(bits(ACos(0.0f)), 0x3FC90FDBu);  // pi/2 exactly
    EXPECT_EQ(Sin(0.0f), 0.0f);
    EXPECT_EQ(Cos(0.0f), 1.0f);
}

TEST(MathAngles, PolynomialsMatchTheirDoubleReference)
{
    ASSERT_EQ(bits((float)0.16666600108146667), 0x3E2AAA7Eu);
    ASSERT_EQ(bits((float)0.0083330003544688225), 0x3C088723u);
    for (int i = -100; i <= 100; ++i) {
        const float x = 3.1f * (float)i / 100.0f;  // within (-pi, pi): no reduction
        const double tol = 4.0 * FLT_EPSILON * (1.0 + std::pow(std::fabs(x), 3));
        EXPECT_NEAR(Sin(x), ref_sin_poly(x), tol) << x;
        EXPECT_NEAR(Cos(x), ref_cos_poly(x), tol * (1.0 + std::fabs(x))) << x;
        EXPECT_EQ(Sin(-x), -Sin(x)) << x;
        EXPECT_EQ(Cos(-x), Cos(x)) << x;
        const float v = (float)i / 100.0f;
        EXPECT_NEAR(ASin(v), ref_asin_poly(v), 4.0 * FLT_EPSILON) << v;
        EXPECT_NEAR(ACos(v), (double)from_bits(0x3FC90FDB) - ref_asin_poly(v), 4.0 * FLT_EPSILON) << v;
    }
}

TEST(MathAngles, ReductionTakesAWholeTurnPerHalfTurn)
{
    const float two_pi = from_bits(0x40C90FDB);
    for (float a : {4.0f, -4.0f, 5.5f, -6.0f, 3.2f}) {
        const float reduced = (float)((double)a - (a > 0 ? 1 : -1) * (double)two_pi);  // k = +-1
        const double tol = 4.0 * FLT_EPSILON * 4.0;
        EXPECT_NEAR(Sin(a), ref_sin_poly(reduced), tol) << a;
        EXPECT_NEAR(Cos(a), ref_cos_poly(reduced), tol) << a;
    }
    // Sin(4) is the polynomial at 4 - 2*pi: near the true sine (at 4 itself the polynomial
    // would give about 1.87).
    EXPECT_NEAR(Sin(4.0f), std::sin(4.0), 0.1);
    // k = 2 at 7: two whole turns come off, leaving an angle near -5.57 and a poor value.
    const float far = (float)(7.0 - 2.0 * (double)two_pi);
    EXPECT_NEAR(Sin(7.0f), ref_sin_poly(far), 4.0 * FLT_EPSILON * 200);
}

}  // namespace
