// Matrix builders, products, inverse, view and projection, and the batch transforms.
#include <vector>

#include "math_test_util.h"

using namespace mathtest;

namespace {

const float kHalfPi = from_bits(0x3FC90FDB);

MATRIX4 filled(float v)
{
    MATRIX4 m;
    for (auto& row : m.m)
        for (float& e : row) e = v;
    return m;
}

// The identity, with the listed (row, column, value) places replaced.
struct Place {
    int r, c;
    float v;
};
void expect_identity_with(const MATRIX4& m, std::initializer_list<Place> places)
{
    MATRIX4 want;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) want.m[r][c] = r == c ? 1.0f : 0.0f;
    for (const Place& p : places) want.m[p.r][p.c] = p.v;
    expect_matrix_near(m, want, 0);  // exact, though -0 passes for 0
}

TEST(MathMatrix, Builders)
{
    MATRIX4 m = filled(9);
    EXPECT_EQ(SetIdentityMatrix(&m), 1u);
    expect_identity_with(m, {});
    const VECTOR3 s{2, -3, 0.5f};
    SetScaleMatrix(&m, &s);
    expect_identity_with(m, {{0, 0, 2}, {1, 1, -3}, {2, 2, 0.5f}});
    TranslateMatrix(&m, &s);
    expect_identity_with(m, {{3, 0, 2}, {3, 1, -3}, {3, 2, 0.5f}});

    // Precise sine and cosine, rounded once.
    const float co = (float)std::cos(0.7), si = (float)std::sin(0.7);
    SetRotationXMatrix(&m, 0.7f);
    expect_identity_with(m, {{1, 1, co}, {1, 2, si}, {2, 1, -si}, {2, 2, co}});
    SetRotationYMatrix(&m, 0.7f);
    expect_identity_with(m, {{0, 0, co}, {0, 2, -si}, {2, 0, si}, {2, 2, co}});
    SetRotationZMatrix(&m, 0.7f);
    expect_identity_with(m, {{0, 0, co}, {0, 1, si}, {1, 0, -si}, {1, 1, co}});

    SetLightTexMatrix(&m, &s, 4.0f);  // k = 1/8; row 3 = 0.5 - centre * k
    expect_identity_with(m, {{0, 0, 0.125f}, {1, 1, 0.125f}, {2, 2, 0.125f}, {3, 0, 0.25f}, {3, 1, 0.875f}, {3, 2, 0.4375f}});

    TM_DESC tm;
    std::memset(&tm, 0x55, sizeof tm);
    ResetTM(&tm);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(tm.afParam[i], (i >= 7 && i <= 9) ? 1.0f : 0.0f) << i;
    expect_identity_with(tm.mat[0], {});
    expect_identity_with(tm.mat[1], {});
}

TEST(MathMatrix, AxisAngleRotation)
{
    MATRIX4 m, x;
    const VECTOR3 ux{1, 0, 0};
    EXPECT_EQ(SetRotationMatrix(&m, &ux, 0.9f), &m);
    SetRotationXMatrix(&x, 0.9f);
    TransposeMatrix(&x);
    EXPECT_TRUE(same_bits(&m, &x, sizeof m));  // the opposite turn of SetRotationXMatrix

    // A non-unit axis is used as given.
    const double ax = 0.3f, ay = -1.2f, az = 0.8f, c = std::cos(-2.1), s = std::sin(-2.1), k = 1 - c;
    const double want[4][4] = {{ax * ax * k + c, ax * ay * k - az * s, ax * az * k + ay * s, 0},
                               {ax * ay * k + az * s, ay * ay * k + c, ay * az * k - ax * s, 0},
                               {ax * az * k - ay * s, ay * az * k + ax * s, az * az * k + c, 0},
                               {0, 0, 0, 1}};
    const VECTOR3 axis{0.3f, -1.2f, 0.8f};
    SetRotationMatrix(&m, &axis, -2.1f);
    expect_matrix_near(m, [&](int r, int c) { return want[r][c]; }, 2e-6);
}

TEST(MathMatrix, ProductsMatchADoubleReferenceAndMayOverwriteAnOperand)
{
    const MATRIX4 a = busy_matrix(0.5f), b = busy_matrix(-1.25f), c = busy_matrix(0.75f);
    double ab[4][4];
    for (int r = 0; r < 4; ++r) {
        const double row[4] = {a.m[r][0], a.m[r][1], a.m[r][2], a.m[r][3]};
        for (int k = 0; k < 4; ++k) ab[r][k] = ref_transform(row, b, k);
    }
    MATRIX4 out, a2 = a, b2 = b;
    MatrixMultiply2(&out, &a, &b);
    expect_matrix_near(out, [&](int r, int k) { return ab[r][k]; }, 1e-4);
    MatrixMultiply2(&a2, &a2, &b);
    MatrixMultiply2(&b2, &a, &b2);
    EXPECT_TRUE(same_bits(&a2, &out, sizeof out));
    EXPECT_TRUE(same_bits(&b2, &out, sizeof out));

    MatrixMultiply3(&out, &a, &b, &c);
    expect_matrix_near(out, [&](int r, int k) { return ab[r][0] * c.m[0][k] + ab[r][1] * c.m[1][k] + ab[r][2] * c.m[2][k] + ab[r][3] * c.m[3][k]; }, 1e-3);
    a2 = a;
    MatrixMultiply3(&a2, &a2, &b, &c);
    EXPECT_TRUE(same_bits(&a2, &out, sizeof out));
}

TEST(MathMatrix, InverseOfAffineMatrices)
{
    MATRIX4 out = filled(7), m;
    const MATRIX4 untouched = out;
    SetIdentityMatrix(&m);
    m.m[3][3] = 1.002f;
    EXPECT_EQ(SetInverseMatrix(&out, &m), 0u);
    m.m[3][3] = 1.0f;
    m.m[1][3] = -0.0011f;
    EXPECT_EQ(SetInverseMatrix(&out, &m), 0u);
    EXPECT_TRUE(same_bits(&out, &untouched, sizeof out));
    m.m[1][3] = 0.0009f;  // within the slack: affine, and column 3 comes out clean
    EXPECT_EQ(SetInverseMatrix(&out, &m), 1u);
    expect_identity_with(out, {});

    const VECTOR3 t{1, 2, 3};
    TranslateMatrix(&m, &t);
    EXPECT_EQ(SetInverseMatrix(&out, &m), 1u);
    expect_identity_with(out, {{3, 0, -1}, {3, 1, -2}, {3, 2, -3}});

    // Scale, turn and move; the product with the inverse is the identity either way round.
    MATRIX4 s, r, tr, id, check;
    const VECTOR3 scale{2, 0.5f, -3}, axis{0.6f, 0.0f, 0.8f}, move{-4, 9, 0.25f};
    SetScaleMatrix(&s, &scale);
    SetRotationMatrix(&r, &axis, 1.1f);
    TranslateMatrix(&tr, &move);
    MatrixMultiply3(&m, &s, &r, &tr);
    SetIdentityMatrix(&id);
    ASSERT_EQ(SetInverseMatrix(&out, &m), 1u);
    MatrixMultiply2(&check, &m, &out);
    expect_matrix_near(check, id, 1e-5);
    MatrixMultiply2(&check, &out, &m);
    expect_matrix_near(check, id, 1e-5);
}

TEST(MathMatrix, ViewMatrix)
{
    MATRIX4 v = filled(7);
    const MATRIX4 untouched = v;
    const VECTOR3 eye{1, 2, 3}, up{0, 1, 0}, origin{0, 0, 0};
    EXPECT_EQ(SetViewMatrix(&v, &eye, &eye, &up), 0u);
    EXPECT_TRUE(same_bits(&v, &untouched, sizeof v));

    // Looking down +z with +y up: only the eye moves to the origin.
    const VECTOR3 ahead{1, 2, 13};
    ASSERT_EQ(SetViewMatrix(&v, &eye, &ahead, &up), 1u);
    expect_identity_with(v, {{3, 0, -1}, {3, 1, -2}, {3, 2, -3}});

    // From +x toward the origin with a leaning up: +z is to the right, up straightens to +y.
    const VECTOR3 side{5, 0, 0}, leaning{0.3f, 1, 0};
    ASSERT_EQ(SetViewMatrix(&v, &side, &origin, &leaning), 1u);
    VECTOR3 p[3] = {origin, {0, 0, 1}, {0, 2, 0}};
    TransformVector3_VPTR1(p, &v, 3);
    const float want[3][3] = {{0, 0, 5}, {1, 0, 5}, {0, 2, 5}};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR((&p[i].x)[k], want[i][k], 1e-6) << i << k;

    // Looking straight up along up: the (0, 1, 0) stand-in fails too and (0, 0, 1) is used.
    ASSERT_EQ(SetViewMatrix(&v, &origin, &up, &up), 1u);
    expect_identity_with(v, {{0, 0, -1}, {1, 1, 0}, {2, 1, 1}, {1, 2, 1}, {2, 2, 0}});
}

TEST(MathMatrix, ProjectionMapsNearToZeroAndFarToOne)
{
    MATRIX4 p = filled(7);
    const MATRIX4 untouched = p;
    EXPECT_EQ(SetProjectionMatrix(&p, 1.0f, 1.0f, 1.0f, 1.005f), 0u);
    EXPECT_EQ(SetProjectionMatrix(&p, 0.015f, 1.0f, 1.0f, 100.0f), 0u);  // sin(fov/2) < 0.01
    EXPECT_TRUE(same_bits(&p, &untouched, sizeof p));

    ASSERT_EQ(SetProjectionMatrix(&p, kHalfPi, 0.75f, 2.0f, 50.0f), 1u);
    const double cot = 1.0 / std::tan(kHalfPi / 2.0);
    const double want[4][4] = {{cot * 0.75, 0, 0, 0}, {0, cot, 0, 0}, {0, 0, 50.0 / 48, 1}, {0, 0, -100.0 / 48, 0}};
    expect_matrix_near(p, [&](int r, int c) { return want[r][c]; }, 1e-6);

    const VECTOR3 pts[2] = {{1, 1, 2}, {-3, 4, 50}};
    VECTOR4 h[2];
    TransformV3TOV4(h, pts, &p, 2);
    EXPECT_EQ(h[0].z, 0.0f);
    EXPECT_NEAR(h[1].z / h[1].w, 1.0, 1e-6);
    EXPECT_EQ(h[1].w, 50.0f);
}

// ---- Batch transforms ----

std::vector<VECTOR3> sample_points(size_t n)
{
    std::vector<VECTOR3> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = {0.5f * (float)i - 3.0f, 1.0f / (float)(i + 1), (float)(i % 5) - 2.25f};
    return v;
}

void expect_transformed(const float* got, const VECTOR3& src, float w, const MATRIX4& m, int components)
{
    const double in[4] = {src.x, src.y, src.z, w};
    for (int c = 0; c < components; ++c) EXPECT_NEAR(got[c], ref_transform(in, m, c), 1e-4) << c;
}

TEST(MathTransform, Vector3ArraysInPlaceStridedAndEmpty)
{
    const MATRIX4 m = busy_matrix(0.3f);
    // Exactly sized arrays: a 16-byte access to the last 12-byte vector would be caught.
    const std::vector<VECTOR3> src = sample_points(7);
    std::vector<VECTOR3> dst(7), inplace = src, same = src;
    TransformVector3_VPTR2(dst.data(), src.data(), &m, 7);
    TransformVector3_VPTR1(inplace.data(), &m, 7);
    TransformVector3_VPTR2(same.data(), same.data(), &m, 7);
    for (size_t i = 0; i < 7; ++i) expect_transformed(&dst[i].x, src[i], 1, m, 3);
    EXPECT_TRUE(same_bits(inplace.data(), dst.data(), 7 * sizeof(VECTOR3)));
    EXPECT_TRUE(same_bits(same.data(), dst.data(), 7 * sizeof(VECTOR3)));

    // A count of 0 touches nothing: with null arrays any access at all would fault.
    TransformVector3_VPTR1(nullptr, &m, 0);
    TransformVector3_VPTR2(nullptr, nullptr, &m, 0);
    TransformNSizeVector3_VPTR1(nullptr, 20, &m, 0);
    TransformVector4_VPTR2(nullptr, nullptr, &m, 0);
    TransformV3TOV4(nullptr, nullptr, &m, 0);

    // Vectors inside larger records: the rest of each record is left alone.
    struct Vertex {
        VECTOR3 pos;
        float u, v;
    };
    std::vector<Vertex> verts(5);
    for (size_t i = 0; i < 5; ++i) verts[i] = {src[i], 100.0f + (float)i, -1.0f};
    TransformNSizeVector3_VPTR1(&verts[0].pos, sizeof(Vertex), &m, 5);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(same_bits(&verts[i].pos, &dst[i], sizeof(VECTOR3))) << i;
        EXPECT_TRUE(verts[i].u == 100.0f + (float)i && verts[i].v == -1.0f) << i;
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
        expect_transformed(&dst[i].x, src3[i], src4[i].w, m, 4);
        expect_transformed(&from3[i].x, src3[i], 1, m, 4);
    }
    TransformVector4_VPTR2(src4.data(), src4.data(), &m, 3);
    EXPECT_TRUE(same_bits(src4.data(), dst.data(), 3 * sizeof(VECTOR4)));
}

}  // namespace
