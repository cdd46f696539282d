// Matrix builders, products, inverse, view and projection, and the batch transforms.
#include <vector>

#include "math_test_util.h"

using namespace mathtest;

namespace {

const float kPi = from_bits(0x40490FDB);
const float kHalfPi = from_bits(0x3FC90FDB);

MATRIX4 filled(float v)
{
    MATRIX4 m;
    for (auto& row : m.m)
        for (float& e : row) e = v;
    return m;
}

bool same_bits(const MATRIX4& a, const MATRIX4& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_identity_except(const MATRIX4& m, std::initializer_list<std::pair<int, int>> skip)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            bool skipped = false;
            for (auto& s : skip) skipped |= (s.first == r && s.second == c);
            if (!skipped) {
                EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f) << "element " << r << c;
            }
        }
}

TEST(MathMatrix, SimpleBuilders)
{
    MATRIX4 m = filled(9);
    EXPECT_EQ(SetIdentityMatrix(&m), 1u);
    expect_identity_except(m, {});

    const VECTOR3 s{2, -3, 0.5f};
    m = filled(9);
    SetScaleMatrix(&m, &s);
    expect_identity_except(m, {{0, 0}, {1, 1}, {2, 2}});
    EXPECT_EQ(m.m[0][0], 2.0f);
    EXPECT_EQ(m.m[1][1], -3.0f);
    EXPECT_EQ(m.m[2][2], 0.5f);

    m = filled(9);
    TranslateMatrix(&m, &s);
    expect_identity_except(m, {{3, 0}, {3, 1}, {3, 2}});
    EXPECT_EQ(m.m[3][0], 2.0f);
    EXPECT_EQ(m.m[3][1], -3.0f);
    EXPECT_EQ(m.m[3][2], 0.5f);

    TM_DESC tm;
    std::memset(&tm, 0x55, sizeof tm);
    ResetTM(&tm);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(tm.afParam[i], (i >= 7 && i <= 9) ? 1.0f : 0.0f) << i;
    expect_identity_except(tm.mat[0], {});
    expect_identity_except(tm.mat[1], {});
}

TEST(MathMatrix, AxisRotationsUsePreciseSineAndCosine)
{
    const float a = 0.7f;
    const float c = (float)std::cos((double)a), s = (float)std::sin((double)a);
    MATRIX4 x = filled(9), y = filled(9), z = filled(9);
    SetRotationXMatrix(&x, a);
    SetRotationYMatrix(&y, a);
    SetRotationZMatrix(&z, a);
    expect_identity_except(x, {{1, 1}, {1, 2}, {2, 1}, {2, 2}});
    EXPECT_EQ(bits(x.m[1][1]), bits(c));
    EXPECT_EQ(bits(x.m[1][2]), bits(s));
    EXPECT_EQ(bits(x.m[2][1]), bits(-s));
    EXPECT_EQ(bits(x.m[2][2]), bits(c));
    expect_identity_except(y, {{0, 0}, {0, 2}, {2, 0}, {2, 2}});
    EXPECT_EQ(bits(y.m[0][2]), bits(-s));
    EXPECT_EQ(bits(y.m[2][0]), bits(s));
    expect_identity_except(z, {{0, 0}, {0, 1}, {1, 0}, {1, 1}});
    EXPECT_EQ(bits(z.m[0][1]), bits(s));
    EXPECT_EQ(bits(z.m[1][0]), bits(-s));
}

TEST(MathMatrix, WorkedExampleRotatesThenTranslates)
{
    MATRIX4 r, t, m;
    SetRotationYMatrix(&r, kHalfPi);
    const VECTOR3 move{10, 0, 0};
    TranslateMatrix(&t, &move);
    MatrixMultiply2(&m, &r, &t);
    VECTOR3 p{0, 0, 1};
    TransformVector3_VPTR1(&p, &m, 1);
    EXPECT_NEAR(p.x, 11.0f, 1e-6);
    EXPECT_NEAR(p.y, 0.0f, 1e-6);
    EXPECT_NEAR(p.z, 0.0f, 1e-6);
}

TEST(MathMatrix, AxisAngleRotation)
{
    MATRIX4 m = filled(9), x;
    const VECTOR3 ux{1, 0, 0};
    EXPECT_EQ(SetRotationMatrix(&m, &ux, 0.9f), &m);
    SetRotationXMatrix(&x, 0.9f);
    TransposeMatrix(&x);
    EXPECT_TRUE(same_bits(m, x));  // the opposite turn of SetRotationXMatrix

    // A non-unit axis is used as given: Rodrigues' terms in double.
    const VECTOR3 axis{0.3f, -1.2f, 0.8f};
    const double c = std::cos(-2.1), s = std::sin(-2.1), k = 1 - c;
    const double ax = axis.x, ay = axis.y, az = axis.z;
    const double want[4][4] = {{ax * ax * k + c, ax * ay * k - az * s, ax * az * k + ay * s, 0},
                               {ax * ay * k + az * s, ay * ay * k + c, ay * az * k - ax * s, 0},
                               {ax * az * k - ay * s, ay * az * k + ax * s, az * az * k + c, 0},
                               {0, 0, 0, 1}};
    SetRotationMatrix(&m, &axis, -2.1f);
    expect_matrix_near(m, want, 2e-6);
}

TEST(MathMatrix, ProductsMatchADoubleReferenceAndMayOverwriteAnOperand)
{
    const MATRIX4 a = busy_matrix(0.5f), b = busy_matrix(-1.25f), c = busy_matrix(0.75f);
    double ab[4][4], abc[4][4];
    for (int r = 0; r < 4; ++r) {
        double row[4] = {a.m[r][0], a.m[r][1], a.m[r][2], a.m[r][3]};
        ref_transform(row, b, ab[r]);
    }
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) {
            abc[r][k] = 0;
            for (int j = 0; j < 4; ++j) abc[r][k] += ab[r][j] * c.m[j][k];
        }

    MATRIX4 out;
    MatrixMultiply2(&out, &a, &b);
    expect_matrix_near(out, ab, 1e-4);
    MATRIX4 a2 = a, b2 = b;
    MatrixMultiply2(&a2, &a2, &b);
    EXPECT_TRUE(same_bits(a2, out));
    MatrixMultiply2(&b2, &a, &b2);
    EXPECT_TRUE(same_bits(b2, out));

    MatrixMultiply3(&out, &a, &b, &c);
    expect_matrix_near(out, abc, 1e-3);
    a2 = a;
    MatrixMultiply3(&a2, &a2, &b, &c);
    EXPECT_TRUE(same_bits(a2, out));
}

TEST(MathMatrix, InverseOfAffineMatrices)
{
    MATRIX4 out = filled(7);
    const MATRIX4 untouched = out;

    MATRIX4 m;
    SetIdentityMatrix(&m);
    m.m[3][3] = 1.002f;
    EXPECT_EQ(SetInverseMatrix(&out, &m), 0u);
    EXPECT_TRUE(same_bits(out, untouched));
    m.m[3][3] = 1.0f;
    m.m[1][3] = -0.0011f;
    EXPECT_EQ(SetInverseMatrix(&out, &m), 0u);
    EXPECT_TRUE(same_bits(out, untouched));
    m.m[1][3] = 0.0009f;  // within the slack: treated as affine, column 3 rewritten
    EXPECT_EQ(SetInverseMatrix(&out, &m), 1u);
    EXPECT_EQ(out.m[1][3], 0.0f);

    const VECTOR3 t{1, 2, 3};
    TranslateMatrix(&m, &t);
    EXPECT_EQ(SetInverseMatrix(&out, &m), 1u);
    expect_identity_except(out, {{3, 0}, {3, 1}, {3, 2}});
    EXPECT_EQ(out.m[3][0], -1.0f);
    EXPECT_EQ(out.m[3][1], -2.0f);
    EXPECT_EQ(out.m[3][2], -3.0f);

    // Scale, turn and move; the product with the inverse is the identity both ways.
    MATRIX4 s, r, tr, sr;
    const VECTOR3 scale{2, 0.5f, -3}, axis{0.6f, 0.0f, 0.8f}, move{-4, 9, 0.25f};
    SetScaleMatrix(&s, &scale);
    SetRotationMatrix(&r, &axis, 1.1f);
    TranslateMatrix(&tr, &move);
    MatrixMultiply3(&m, &s, &r, &tr);
    ASSERT_EQ(SetInverseMatrix(&out, &m), 1u);
    MATRIX4 id;
    SetIdentityMatrix(&id);
    MatrixMultiply2(&sr, &m, &out);
    expect_matrix_near(sr, id, 1e-5);
    MatrixMultiply2(&sr, &out, &m);
    expect_matrix_near(sr, id, 1e-5);
}

TEST(MathMatrix, ViewMatrixLooksDownPlusZ)
{
    MATRIX4 v = filled(7);
    const MATRIX4 untouched = v;
    const VECTOR3 eye{1, 2, 3}, at{1, 2, 13}, up{0, 1, 0};
    ASSERT_EQ(SetViewMatrix(&v, &eye, &at, &up), 1u);
    // Straight down +z with +y up: only the eye moves to the origin.
    expect_identity_except(v, {{3, 0}, {3, 1}, {3, 2}});
    EXPECT_EQ(v.m[3][0], -1.0f);
    EXPECT_EQ(v.m[3][1], -2.0f);
    EXPECT_EQ(v.m[3][2], -3.0f);

    // From the side: eye on +x looking at the origin; world +z is then to the right.
    const VECTOR3 eye2{5, 0, 0}, origin{0, 0, 0}, tilted_up{0.3f, 1, 0};
    ASSERT_EQ(SetViewMatrix(&v, &eye2, &origin, &tilted_up), 1u);
    VECTOR3 p[3] = {origin, {0, 0, 1}, {0, 2, 0}};
    TransformVector3_VPTR1(p, &v, 3);
    EXPECT_NEAR(p[0].x, 0, 1e-6);
    EXPECT_NEAR(p[0].z, 5, 1e-6);
    EXPECT_NEAR(p[1].x, 1, 1e-6);
    EXPECT_NEAR(p[2].y, 2, 1e-6);

    v = untouched;
    EXPECT_EQ(SetViewMatrix(&v, &eye, &eye, &up), 0u);
    EXPECT_TRUE(same_bits(v, untouched));

    // Looking straight up along the given up: the (0, 1, 0) stand-in fails too, (0, 0, 1) is used.
    const VECTOR3 above{0, 1, 0};
    ASSERT_EQ(SetViewMatrix(&v, &origin, &above, &above), 1u);
    EXPECT_EQ(v.m[0][1], 0.0f);
    EXPECT_EQ(v.m[1][1], 0.0f);
    EXPECT_EQ(v.m[2][1], 1.0f);   // up axis = +z
    EXPECT_EQ(v.m[0][0], -1.0f);  // right = up x forward = -x
    EXPECT_EQ(v.m[1][2], 1.0f);   // forward = +y
}

TEST(MathMatrix, ProjectionMapsNearToZeroAndFarToOne)
{
    MATRIX4 p = filled(7);
    const MATRIX4 untouched = p;
    EXPECT_EQ(SetProjectionMatrix(&p, 1.0f, 1.0f, 1.0f, 1.005f), 0u);
    EXPECT_EQ(SetProjectionMatrix(&p, 0.015f, 1.0f, 1.0f, 100.0f), 0u);  // sin(fov/2) < 0.01
    EXPECT_TRUE(same_bits(p, untouched));

    ASSERT_EQ(SetProjectionMatrix(&p, kHalfPi, 0.75f, 2.0f, 50.0f), 1u);
    const double cot = std::cos(kHalfPi / 2.0) / std::sin(kHalfPi / 2.0);
    const double want[4][4] = {{cot * 0.75, 0, 0, 0}, {0, cot, 0, 0}, {0, 0, 50.0 / 48.0, 1}, {0, 0, -50.0 / 48.0 * 2.0, 0}};
    expect_matrix_near(p, want, 1e-6);

    const VECTOR3 pts[2] = {{1, 1, 2}, {-3, 4, 50}};
    VECTOR4 h[2];
    TransformV3TOV4(h, pts, &p, 2);
    EXPECT_NEAR(h[0].z / h[0].w, 0.0, 1e-6);
    EXPECT_NEAR(h[1].z / h[1].w, 1.0, 1e-6);
    EXPECT_EQ(h[1].w, 50.0f);
}

TEST(MathMatrix, LightTextureMatrixMapsTheSphereCubeToUnitCube)
{
    MATRIX4 m;
    const VECTOR3 centre{10, -4, 2};
    SetLightTexMatrix(&m, &centre, 4.0f);
    EXPECT_EQ(m.m[0][0], 0.125f);
    EXPECT_EQ(m.m[3][3], 1.0f);
    VECTOR3 corners[2] = {{6, -8, -2}, {14, 0, 6}};
    TransformVector3_VPTR1(corners, &m, 2);
    for (float f : {corners[0].x, corners[0].y, corners[0].z}) EXPECT_EQ(f, 0.0f);
    for (float f : {corners[1].x, corners[1].y, corners[1].z}) EXPECT_EQ(f, 1.0f);
}

// ---- Batch transforms ----

std::vector<VECTOR3> sample_points(size_t n)
{
    std::vector<VECTOR3> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = {0.5f * (float)i - 3.0f, 1.0f / (float)(i + 1), (float)(i % 5) - 2.25f};
    return v;
}

void expect_point(const VECTOR3& got, const VECTOR3& src, const MATRIX4& m)
{
    double in[4] = {src.x, src.y, src.z, 1}, want[4];
    ref_transform(in, m, want);
    EXPECT_NEAR(got.x, want[0], 1e-4);
    EXPECT_NEAR(got.y, want[1], 1e-4);
    EXPECT_NEAR(got.z, want[2], 1e-4);
}

TEST(MathTransform, Vector3ArraysAgreeWithTheReference)
{
    const MATRIX4 m = busy_matrix(0.3f);
    // Exactly sized arrays: a 16-byte access on the last 12-byte vector would be caught.
    const std::vector<VECTOR3> src = sample_points(7);
    std::vector<VECTOR3> dst(7), inplace = src;
    TransformVector3_VPTR2(dst.data(), src.data(), &m, 7);
    TransformVector3_VPTR1(inplace.data(), &m, 7);
    for (size_t i = 0; i < 7; ++i) {
        expect_point(dst[i], src[i], m);
        EXPECT_EQ(std::memcmp(&dst[i], &inplace[i], sizeof(VECTOR3)), 0) << i;
    }
    std::vector<VECTOR3> same = src;
    TransformVector3_VPTR2(same.data(), same.data(), &m, 7);
    EXPECT_EQ(std::memcmp(same.data(), dst.data(), 7 * sizeof(VECTOR3)), 0);
}

TEST(MathTransform, StridedVectorsLeaveTheRestOfTheirRecordAlone)
{
    struct Vertex {
        VECTOR3 pos;
        float u, v;
    };
    static_assert(sizeof(Vertex) == 20, "");
    const MATRIX4 m = busy_matrix(-0.7f);
    const std::vector<VECTOR3> src = sample_points(5);
    std::vector<Vertex> verts(5);
    for (size_t i = 0; i < 5; ++i) verts[i] = {src[i], 100.0f + (float)i, -1.0f};
    TransformNSizeVector3_VPTR1(&verts[0].pos, sizeof(Vertex), &m, 5);
    for (size_t i = 0; i < 5; ++i) {
        expect_point(verts[i].pos, src[i], m);
        EXPECT_EQ(verts[i].u, 100.0f + (float)i);
        EXPECT_EQ(verts[i].v, -1.0f);
    }
}

TEST(MathTransform, FourComponentResults)
{
    const MATRIX4 m = busy_matrix(1.1f);
    const std::vector<VECTOR3> src3 = sample_points(3);
    std::vector<VECTOR4> src4(3), dst(3), from3(3);
    for (size_t i = 0; i < 3; ++i) src4[i] = {src3[i].x, src3[i].y, src3[i].z, 0.5f * (float)i - 1.0f};
    TransformVector4_VPTR2(dst.data(), src4.data(), &m, 3);
    TransformV3TOV4(from3.data(), src3.data(), &m, 3);
    for (size_t i = 0; i < 3; ++i) {
        double in4[4] = {src4[i].x, src4[i].y, src4[i].z, src4[i].w}, w4[4];
        double in3[4] = {src3[i].x, src3[i].y, src3[i].z, 1}, w3[4];
        ref_transform(in4, m, w4);
        ref_transform(in3, m, w3);
        const float* g4 = &dst[i].x;
        const float* g3 = &from3[i].x;
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(g4[c], w4[c], 1e-4) << i << c;
            EXPECT_NEAR(g3[c], w3[c], 1e-4) << i << c;
        }
    }
    TransformVector4_VPTR2(src4.data(), src4.data(), &m, 3);
    EXPECT_EQ(std::memcmp(src4.data(), dst.data(), 3 * sizeof(VECTOR4)), 0);
}

TEST(MathTransform, CountZeroTouchesNothing)
{
    const MATRIX4 m = busy_matrix(1.0f);
    // Null arrays: any access at all would fault.
    TransformVector3_VPTR1(nullptr, &m, 0);
    TransformVector3_VPTR2(nullptr, nullptr, &m, 0);
    TransformNSizeVector3_VPTR1(nullptr, 20, &m, 0);
    TransformVector4_VPTR2(nullptr, nullptr, &m, 0);
    TransformV3TOV4(nullptr, nullptr, &m, 0);
    VECTOR4 out{1, 2, 3, 4};
    const VECTOR3 in{5, 6, 7};
    TransformV3TOV4(&out, &in, &m, 0);
    EXPECT_EQ(out.w, 4.0f);
}

}  // namespace
