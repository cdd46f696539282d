// Vector operators, products and lengths, validity checks and the fast angle polynomials.
#include <cfloat>
#include <vector>

#include "math_test_util.h"

using namespace mathtest;

namespace {

// One rounding of the exact result: what a single-precision operation must give.
float r_add(float a, float b) { return (float)((double)a + b); }
float r_sub(float a, float b) { return (float)((double)a - b); }
float r_mul(float a, float b) { return (float)((double)a * b); }
float r_div(float a, float b) { return (float)((double)a / b); }

using VecOp = void(GEVRAST_CALL*)(VECTOR3*, const VECTOR3*, const VECTOR3*);
using FloatOp = void(GEVRAST_CALL*)(VECTOR3*, const VECTOR3*, float);
using VecEqu = void(GEVRAST_CALL*)(VECTOR3*, const VECTOR3*);
using FloatEqu = void(GEVRAST_CALL*)(VECTOR3*, float);

TEST(MathVector, OperatorsRoundOncePerComponentAndMayWriteOverAnInput)
{
    // 5/3 also tells a true division from a product with the rounded reciprocal.
    const VECTOR3 a0{5.0f, -7.25f, 1e-3f}, b0{3.0f, 0.1f, -2.5e4f};
    const float f = 3.0f;
    ASSERT_NE(r_div(5.0f, 3.0f), r_mul(5.0f, r_div(1.0f, 3.0f)));
    const struct {
        VecOp vec;
        FloatOp flt;
        VecEqu vec_equ;
        FloatEqu flt_equ;
        float (*ref)(float, float);
    } ops[] = {{VECTOR3_ADD_VECTOR3, VECTOR3_ADD_FLOAT, VECTOR3_ADDEQU_VECTOR3, VECTOR3_ADDEQU_FLOAT, r_add},
               {VECTOR3_SUB_VECTOR3, VECTOR3_SUB_FLOAT, VECTOR3_SUBEQU_VECTOR3, VECTOR3_SUBEQU_FLOAT, r_sub},
               {VECTOR3_MUL_VECTOR3, VECTOR3_MUL_FLOAT, VECTOR3_MULEQU_VECTOR3, VECTOR3_MULEQU_FLOAT, r_mul},
               {VECTOR3_DIV_VECTOR3, VECTOR3_DIV_FLOAT, VECTOR3_DIVEQU_VECTOR3, VECTOR3_DIVEQU_FLOAT, r_div}};
    for (size_t i = 0; i < 4; ++i) {
        const auto& op = ops[i];
        const VECTOR3 want_v{op.ref(a0.x, b0.x), op.ref(a0.y, b0.y), op.ref(a0.z, b0.z)};
        const VECTOR3 want_f{op.ref(a0.x, f), op.ref(a0.y, f), op.ref(a0.z, f)};
        // Each operand alone in an exactly sized heap block: a 16-byte access to a 12-byte
        // vector is caught by the address sanitizer.
        std::vector<VECTOR3> a{a0}, b{b0}, out(1);
        op.vec(out.data(), a.data(), b.data());
        EXPECT_TRUE(same_bits(out.data(), &want_v, 12)) << "op " << i;
        op.flt(out.data(), a.data(), f);
        EXPECT_TRUE(same_bits(out.data(), &want_f, 12)) << "op " << i;
        op.vec_equ(a.data(), b.data());
        EXPECT_TRUE(same_bits(a.data(), &want_v, 12)) << "op " << i;
        a[0] = a0;
        op.flt_equ(a.data(), f);
        EXPECT_TRUE(same_bits(a.data(), &want_f, 12)) << "op " << i;
        a[0] = a0;
        op.vec(b.data(), a.data(), b.data());
        EXPECT_TRUE(same_bits(b.data(), &want_v, 12)) << "op " << i;
    }
    VECTOR3 v;
    EXPECT_EQ(SET_VECTOR3(&v, -2.0f), &v);
    EXPECT_TRUE(v.x == -2.0f && v.y == -2.0f && v.z == -2.0f);
}

TEST(MathVector, ProductsAndLengths)
{
    std::vector<VECTOR3> a{{3.0f, -4.0f, 12.0f}}, b{{-1.5f, 2.0f, 0.25f}}, out(1);
    EXPECT_EQ(DotProduct(a.data(), b.data()), -4.5f - 8.0f + 3.0f);
    EXPECT_EQ(VECTOR3Length(a.data()), 13.0f);
    EXPECT_ULPS(CalcDistance(a.data(), b.data()), (float)std::sqrt(4.5 * 4.5 + 6.0 * 6.0 + 11.75 * 11.75), 1);

    const VECTOR3 x{1, 0, 0}, y{0, 1, 0};
    CrossProduct(out.data(), &x, &y);
    EXPECT_TRUE(out[0].x == 0 && out[0].y == 0 && out[0].z == 1);
    CrossProduct(a.data(), a.data(), b.data());  // out aliasing the first input
    EXPECT_EQ(a[0].x, -4.0f * 0.25f - 12.0f * 2.0f);
    EXPECT_EQ(a[0].y, 12.0f * -1.5f - 3.0f * 0.25f);
    EXPECT_EQ(a[0].z, 3.0f * 2.0f - -4.0f * -1.5f);

    VECTOR3 v{2.0f, -3.0f, 6.0f};  // length 7
    Normalize(&v, &v);
    EXPECT_TRUE(v.x == r_div(2, 7) && v.y == r_div(-3, 7) && v.z == r_div(6, 7));
    const VECTOR3 zero{0, 0, 0};
    Normalize(&v, &zero);
    EXPECT_FALSE(std::isfinite(v.x));
}

TEST(MathVector, AngleBetweenVectorsUsesPreciseFunctions)
{
    const VECTOR3 a{2, 0, 0}, b{0, 0, 5}, c{1, 1, 0};
    EXPECT_EQ(CalcCosAngle(&a, &b), 0.0f);
    EXPECT_EQ(CalcAngle(&a, &b), (float)std::acos(0.0));
    EXPECT_ULPS(CalcCosAngle(&a, &c), (float)(1.0 / std::sqrt(2.0)), 1);
    EXPECT_ULPS(CalcAngle(&a, &c), (float)(kPiD / 4), 1);
    EXPECT_EQ(CalcAngle(&a, &a), 0.0f);
}

TEST(MathVector, OnlyTheInvalidOperationPatternIsInvalid)
{
    volatile float zero = 0.0f;
    EXPECT_EQ(IsValidFloat(from_bits(0xFFC00000)), 0u);
    EXPECT_EQ(IsValidFloat(zero / zero), 0u);  // what the hardware makes of 0/0
    for (uint32_t valid : {0x7FC00000u, 0xFFC00001u, 0x7F800000u, 0xFF800000u, 0u})
        EXPECT_EQ(IsValidFloat(from_bits(valid)), 1u) << std::hex << valid;

    std::vector<VECTOR3> vs(3, VECTOR3{1, 2, 3});
    EXPECT_EQ(IsValidVector3(vs.data(), 3), 1u);
    vs[2].z = from_bits(0xFFC00000);
    EXPECT_EQ(IsValidVector3(vs.data(), 3), 0u);
    EXPECT_EQ(IsValidVector3(vs.data(), 2), 1u);  // only the counted vectors are read
    EXPECT_EQ(IsValidVector3(nullptr, 0), 1u);    // nothing to read, nothing invalid
}

// ---- Fast angles: the polynomials in double, at an argument reduced in single precision ----

double c(uint32_t b) { return (double)from_bits(b); }
double ref_sin(double x) { return x - c(0x3E2AAA7E) * std::pow(x, 3) + c(0x3C088723) * std::pow(x, 5); }
double ref_cos(double x) { return 1 + c(0x3D2AA9F8) * std::pow(x, 4) - (0.5 * x * x + c(0x3AB5ED8D) * std::pow(x, 6)); }
double ref_asin(double x) { return x + c(0x3E2AAA7E) * std::pow(x, 3) + c(0x3D99999A) * std::pow(x, 5); }

TEST(MathAngles, ListedValuesToSinglePrecision)
{
    EXPECT_ULPS(Sin(0.5f), 0.47942716f, 1);
    EXPECT_ULPS(Cos(1.0f), 0.54027802f, 1);
    EXPECT_ULPS(Sin(1.5707964f), 1.0045242f, 1);
    EXPECT_ULPS(ASin(1.0f), 1.2416661f, 1);
    EXPECT_ULPS(ACos(1.0f), 0.32913029f, 1);
    EXPECT_EQ(bits(ACos(0.0f)), 0x3FC90FDBu);  // pi/2 exactly
    EXPECT_EQ(Cos(0.0f), 1.0f);
}

TEST(MathAngles, PolynomialsMatchTheirDoubleReference)
{
    for (int i = -100; i <= 100; ++i) {
        const float x = 3.1f * (float)i / 100.0f;  // within (-pi, pi): no reduction
        const double tol = 4.0 * FLT_EPSILON * (1.0 + std::pow(std::fabs(x), 4));
        EXPECT_NEAR(Sin(x), ref_sin(x), tol) << x;
        EXPECT_NEAR(Cos(x), ref_cos(x), tol) << x;
        EXPECT_EQ(Sin(-x), -Sin(x)) << x;
        const float v = (float)i / 100.0f;
        EXPECT_NEAR(ASin(v), ref_asin(v), 4.0 * FLT_EPSILON) << v;
        EXPECT_NEAR(ACos(v), c(0x3FC90FDB) - ref_asin(v), 4.0 * FLT_EPSILON) << v;
    }
}

TEST(MathAngles, ReductionTakesAWholeTurnPerHalfTurn)
{
    const double two_pi = c(0x40C90FDB);
    for (float a : {4.0f, -4.0f, 5.5f, -6.0f, 3.2f}) {  // k = +-1
        const float reduced = (float)(a - (a > 0 ? two_pi : -two_pi));
        EXPECT_NEAR(Sin(a), ref_sin(reduced), 16 * FLT_EPSILON) << a;
        EXPECT_NEAR(Cos(a), ref_cos(reduced), 16 * FLT_EPSILON) << a;
    }
    // Sin(4) is near the true sine; at 4 itself the polynomial would give about 1.87.
    EXPECT_NEAR(Sin(4.0f), std::sin(4.0), 0.1);
    // k = 2 at 7: two whole turns come off, leaving about -5.57 and a poor value.
    EXPECT_NEAR(Sin(7.0f), ref_sin((float)(7.0 - 2.0 * two_pi)), 1e-4);
}

}  // namespace
