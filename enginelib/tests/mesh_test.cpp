// Mesh building: face lists against a double-precision evaluation, the strict and inclusive
// facing tests and the shadow variant on their boundaries, the accumulating normal and tangent
// sums, bounding meshes, the box triangle list, the degenerate triangle test, and calls with
// nothing to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "GevrastSSE.h"
#include "math_test_util.h"

namespace {

constexpr uint16_t kGuard16 = 0xBEEF;

// A small closed mesh: a tetrahedron with every face wound outwards.
const std::vector<VECTOR3> kTetra = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
const std::vector<uint16_t> kTetraIndices = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};

std::vector<FACE_DESC> face_list(const std::vector<VECTOR3>& pos, const std::vector<uint16_t>& idx)
{
    std::vector<FACE_DESC> faces(idx.size() / 3);
    BuildFaceList(faces.data(), pos.data(), idx.data(), (uint32_t)faces.size());
    return faces;
}

TEST(MeshFaceList, PlanesCentroidsAndMarker)
{
    const std::vector<VECTOR3> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const FACE_DESC f = face_list(tri, {0, 1, 2})[0];
    EXPECT_EQ(f.plane.a, 0.0f);
    EXPECT_EQ(f.plane.b, 0.0f);
    EXPECT_EQ(f.plane.c, 1.0f);
    EXPECT_EQ(f.plane.d, 0.0f);
    EXPECT_FLOAT_EQ(f.v3Center.x, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(f.v3Center.y, 1.0f / 3.0f);
    EXPECT_EQ(f.v3Center.z, 0.0f);
    EXPECT_EQ(f.wIndex[0], 0);
    EXPECT_EQ(f.wIndex[2], 2);
    EXPECT_EQ(f.wReserved, 0xFFFF);

    // Random triangles against the formulas in double.
    uint32_t s = 11;
    auto next = [&s]() {
        s = s * 1664525u + 1013904223u;
        return (float)((s >> 8) * (1.0 / 16777216.0)) * 20.0f - 10.0f;
    };
    std::vector<VECTOR3> pos(60);
    for (VECTOR3& p : pos) p = {next(), next(), next()};
    std::vector<uint16_t> idx;
    for (uint16_t i = 0; i < 60; ++i) idx.push_back((uint16_t)((i * 37) % 60));
    const std::vector<FACE_DESC> faces = face_list(pos, idx);
    for (size_t k = 0; k < faces.size(); ++k) {
        const VECTOR3 &p0 = pos[idx[3 * k]], &p1 = pos[idx[3 * k + 1]], &p2 = pos[idx[3 * k + 2]];
        const double e1[3] = {(double)p1.x - p0.x, (double)p1.y - p0.y, (double)p1.z - p0.z};
        const double e2[3] = {(double)p2.x - p0.x, (double)p2.y - p0.y, (double)p2.z - p0.z};
        double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (double& c : n) c /= len;
        const double d = -(n[0] * p0.x + n[1] * p0.y + n[2] * p0.z);
        const FACE_DESC& f = faces[k];
        EXPECT_NEAR(f.plane.a, n[0], 1e-5);
        EXPECT_NEAR(f.plane.b, n[1], 1e-5);
        EXPECT_NEAR(f.plane.c, n[2], 1e-5);
        EXPECT_NEAR(f.plane.d, d, 1e-4);
        EXPECT_NEAR(f.v3Center.y, ((double)p0.y + p1.y + p2.y) / 3, 1e-5);
        // The same plane, bit for bit, as the view volumes' plane builder makes.
        const VECTOR3 corners[3] = {p0, p1, p2};
        PLANE same;
        CalcPlaneEquation(&same, corners);
        EXPECT_TRUE(mathtest::same_bits(&f.plane, &same, sizeof same)) << "face " << k;
        EXPECT_EQ(f.wIndex[1], idx[3 * k + 1]);
        EXPECT_EQ(f.wReserved, 0xFFFF);
    }
}

TEST(MeshFaceList, ViewerInThePlaneIsCulledButIndexedAndCountsOfZero)
{
    const std::vector<FACE_DESC> faces = face_list(kTetra, kTetraIndices);
    // Faces: 0 is z = 0 (normal -z), 1 is y = 0 (-y), 2 is x = 0 (-x), 3 the slanted one.
    const VECTOR3 below{0.5f, 0.5f, -3};  // in front of face 0 only
    uint16_t list[5] = {kGuard16, kGuard16, kGuard16, kGuard16, kGuard16};
    ASSERT_EQ(CullBackFace(list, faces.data(), &below, 4), 1u);
    EXPECT_EQ(list[0], 0);
    EXPECT_EQ(list[1], kGuard16);

    // The viewer in the plane of faces 0 and 1 (z = 0, y = 0) and in front of face 2 (x < 0).
    const VECTOR3 edge_on{-1, 0, 0};
    ASSERT_EQ(CullBackFace(list, faces.data(), &edge_on, 4), 1u);
    EXPECT_EQ(list[0], 2);

    const uint16_t all[4] = {3, 0, 1, 2};  // the listed order is the output order
    uint16_t ib[13];
    std::fill(std::begin(ib), std::end(ib), kGuard16);
    ASSERT_EQ(BuildIndexBufferWithFaceIndexList(ib, faces.data(), all, &edge_on, 4), 3u);
    const uint16_t want[9] = {0, 2, 1, 0, 1, 3, 0, 3, 2};
    EXPECT_TRUE(mathtest::same_bits(ib, want, sizeof want));
    EXPECT_EQ(ib[9], kGuard16);

    // Nothing to do: nothing read, nothing written.
    EXPECT_EQ(CullBackFace(list, nullptr, &below, 0), 0u);
    EXPECT_EQ(BuildIndexBufferWithFaceIndexList(ib, nullptr, nullptr, &below, 0), 0u);
    const VECTOR4 light{0, 0, 0, 1};
    EXPECT_EQ(BuildIndexBufferWithFaceIndexListForShadow(ib, nullptr, nullptr, &below, &light, 0), 0u);
    BuildFaceList(nullptr, nullptr, nullptr, 0);
    SetFaceNormalToVertex(nullptr, nullptr, 0, nullptr, 0);
    SetFaceTangentToVertex(nullptr, nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(ib[0], 0);
}

TEST(MeshFaceList, ShadowKeepsFacesWhoseLightIsWithinItsRadiusBehind)
{
    // One face, z = 0 with normal +z; the viewer in front.
    const std::vector<VECTOR3> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<FACE_DESC> faces = face_list(tri, {0, 1, 2});
    const VECTOR3 viewer{0, 0, 5}, viewer_behind{0, 0, -5}, viewer_in_plane{3, 3, 0};
    const uint16_t which[1] = {0};
    uint16_t ib[3];
    struct Case {
        float light_z, radius;
        const VECTOR3* viewer;
        uint32_t kept;
    } cases[] = {
        {2, 1, &viewer, 1},            // light in front
        {0, 0, &viewer, 1},            // light in the plane
        {-0.5f, 1, &viewer, 1},        // behind by less than its radius
        {-1, 1, &viewer, 1},           // behind by exactly its radius
        {-1.5f, 1, &viewer, 0},        // farther behind
        {2, 1, &viewer_behind, 0},     // back face
        {2, 1, &viewer_in_plane, 1},   // edge-on is kept by the inclusive test
    };
    for (const Case& c : cases) {
        const VECTOR4 light{0.3f, 0.3f, c.light_z, c.radius};
        EXPECT_EQ(BuildIndexBufferWithFaceIndexListForShadow(ib, faces.data(), which, c.viewer, &light, 1), c.kept)
            << c.light_z << " " << c.radius;
    }
}

TEST(MeshVertexSums, NormalsAndTangentsAddToWhatIsThere)
{
    // Two faces in z = 0 sharing vertices 0 and 2, a kite with its far corner at (2, 2).
    const std::vector<VECTOR3> pos = {{0, 0, 0}, {1, 0, 0}, {2, 2, 0}, {0, 1, 0}};
    const std::vector<uint16_t> idx = {0, 1, 2, 0, 2, 3};
    std::vector<VECTOR3> normals(4, VECTOR3{1, 1, 1});
    SetFaceNormalToVertex(normals.data(), pos.data(), 0xDEAD, idx.data(), 2);
    // (1,0,0) x (2,2,0) = (0,0,2) and (2,2,0) x (0,1,0) = (0,0,2): twice each face's area, added
    // to the (1, 1, 1) already there.
    EXPECT_EQ(normals[1].z, 3.0f);
    EXPECT_EQ(normals[3].z, 3.0f);
    EXPECT_EQ(normals[0].z, 5.0f);
    EXPECT_EQ(normals[2].z, 5.0f);
    EXPECT_EQ(normals[0].x, 1.0f);

    // Tangents against the formula in double, u along a skewed direction.
    const std::vector<TEXCOORD2> uv = {{0, 0}, {0.5f, 0.25f}, {1, 1.5f}, {-0.25f, 0.75f}};
    std::vector<VECTOR3> tangents(4, VECTOR3{0, 0, 0});
    SetFaceTangentToVertex(tangents.data(), pos.data(), uv.data(), 0, idx.data(), 2);
    std::vector<double> want(12, 0.0);
    for (int f = 0; f < 2; ++f) {
        const uint16_t* t = &idx[3 * f];
        const double du1 = (double)uv[t[1]].u - uv[t[0]].u, dv1 = (double)uv[t[1]].v - uv[t[0]].v;
        const double du2 = (double)uv[t[2]].u - uv[t[0]].u, dv2 = (double)uv[t[2]].v - uv[t[0]].v;
        const double r = 1 / (du1 * dv2 - du2 * dv1);
        const double e1[3] = {(double)pos[t[1]].x - pos[t[0]].x, (double)pos[t[1]].y - pos[t[0]].y, 0};
        const double e2[3] = {(double)pos[t[2]].x - pos[t[0]].x, (double)pos[t[2]].y - pos[t[0]].y, 0};
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c) want[3 * t[k] + c] += (e1[c] * dv2 - e2[c] * dv1) * r;
    }
    for (int v = 0; v < 4; ++v) {
        EXPECT_NEAR(tangents[v].x, want[3 * v], 1e-5) << v;
        EXPECT_NEAR(tangents[v].y, want[3 * v + 1], 1e-5) << v;
        EXPECT_EQ(tangents[v].z, 0.0f);
    }

    // Degenerate texture coordinates give non-finite tangents.
    const std::vector<TEXCOORD2> flat = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    std::vector<VECTOR3> bad(4, VECTOR3{0, 0, 0});
    SetFaceTangentToVertex(bad.data(), pos.data(), flat.data(), 0, idx.data(), 1);
    EXPECT_FALSE(std::isfinite(bad[0].x));
}

TEST(MeshBounding, BoxSphereAndCornerOrder)
{
    const VECTOR3 two[2] = {{-1, -2, -3}, {1, 2, 3}};
    BOUNDING_MESH m;
    ASSERT_EQ(CalcBoundingMesh(two, 2, &m), 1u);
    EXPECT_EQ(m.v3SphereCenter.x, 0.0f);
    EXPECT_EQ(m.v3SphereCenter.z, 0.0f);
    EXPECT_FLOAT_EQ(m.fSphereRadius, std::sqrt(27.0f));
    const VECTOR3 want[8] = {{-1, 2, 3}, {-1, -2, 3}, {1, -2, 3}, {1, 2, 3},
                             {-1, 2, -3}, {-1, -2, -3}, {1, -2, -3}, {1, 2, -3}};
    EXPECT_TRUE(mathtest::same_bits(m.v3BoxCorner, want, sizeof want));

    // The sphere encloses every point of an irregular cloud.
    std::vector<VECTOR3> cloud;
    for (int i = 0; i < 50; ++i) cloud.push_back({(float)(i % 7) * 1.5f - 3, (float)(i % 5) - 40, (float)(i % 11) * 0.1f});
    ASSERT_EQ(CalcBoundingMesh(cloud.data(), (uint32_t)cloud.size(), &m), 1u);
    for (const VECTOR3& p : cloud) EXPECT_LE(CalcDistance(&p, &m.v3SphereCenter), m.fSphereRadius * 1.000001f);
    EXPECT_FLOAT_EQ(m.v3SphereCenter.y, -38.0f);

    // No positions: the start values span the box, inside out.
    ASSERT_EQ(CalcBoundingMesh(nullptr, 0, &m), 1u);
    EXPECT_EQ(m.v3BoxCorner[0].x, 1000000.0f);
    EXPECT_EQ(m.v3BoxCorner[0].y, -1000000.0f);
    EXPECT_EQ(m.v3SphereCenter.x, 0.0f);
}

TEST(MeshBounding, TransformMovesCornersAndCentreButNotTheRadius)
{
    const VECTOR3 two[2] = {{-1, -2, -3}, {1, 2, 3}};
    BOUNDING_MESH src, out;
    CalcBoundingMesh(two, 2, &src);
    out.fSphereRadius = 42.0f;
    MATRIX4 move;
    const VECTOR3 by{10, 0, 0};
    TranslateMatrix(&move, &by);
    SetTransformBoundingMesh(&out, &src, &move);
    EXPECT_EQ(out.fSphereRadius, 42.0f);
    EXPECT_EQ(out.v3SphereCenter.x, 10.0f);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out.v3BoxCorner[i].x, src.v3BoxCorner[i].x + 10) << i;
        EXPECT_EQ(out.v3BoxCorner[i].z, src.v3BoxCorner[i].z) << i;
    }
}

TEST(MeshBounding, BoxTrianglesFaceOutAtAnyStride)
{
    const VECTOR3 two[2] = {{-1, -2, -3}, {1, 2, 3}};
    BOUNDING_MESH m;
    CalcBoundingMesh(two, 2, &m);
    // 20-byte records: 12 bytes of corner, 8 bytes of the caller's that must survive.
    std::vector<unsigned char> buf(36 * 20 + 4, 0xA5);
    void* end = CreateVertexListWithBox(buf.data(), 20, m.v3BoxCorner);
    EXPECT_EQ(end, buf.data() + 36 * 20);
    int faces_per_side[6] = {};
    for (int t = 0; t < 12; ++t) {
        VECTOR3 tri[3];
        for (int k = 0; k < 3; ++k) std::memcpy(&tri[k], &buf[(3 * t + k) * 20], 12);
        for (size_t b = (3 * t) * 20 + 12; b < (size_t)(3 * t) * 20 + 20; ++b) ASSERT_EQ(buf[b], 0xA5);
        PLANE p;
        CalcPlaneEquation(&p, tri);
        EXPECT_LT(DistanceFromSphereAndPlane(&m.v3SphereCenter, &p), 0.0f) << "triangle " << t << " faces in";
        const int axis = std::fabs(p.a) > 0.5f ? 0 : std::fabs(p.b) > 0.5f ? 1 : 2;
        const float normal = axis == 0 ? p.a : axis == 1 ? p.b : p.c;
        ++faces_per_side[2 * axis + (normal > 0)];
    }
    for (int side = 0; side < 6; ++side) EXPECT_EQ(faces_per_side[side], 2) << side;
    EXPECT_EQ(buf[36 * 20], 0xA5);
}

TEST(MeshValidTri, ExactComparison)
{
    const VECTOR3 a{1, 2, 3}, b{1, 2, 3.0000005f}, c{4, 5, 6};
    EXPECT_EQ(IsValidTri(&a, &b, &c), 1u);  // thin but not degenerate
    EXPECT_EQ(IsValidTri(&a, &a, &c), 0u);
    EXPECT_EQ(IsValidTri(&a, &c, &a), 0u);
    EXPECT_EQ(IsValidTri(&c, &a, &a), 0u);
    const VECTOR3 zero{0, 0, 0}, negzero{-0.0f, 0, 0}, nan{NAN, 0, 0};
    EXPECT_EQ(IsValidTri(&zero, &negzero, &c), 0u);  // -0 equals 0
    EXPECT_EQ(IsValidTri(&nan, &nan, &c), 1u);       // a NaN equals nothing
}

}  // namespace
