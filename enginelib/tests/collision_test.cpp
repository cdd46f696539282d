// Collision tests: the ray-triangle test against a double-precision evaluation of the same
// barycentric formulas and on each of its boundaries, picking through the box and the screen,
// lines and planes, the strict sphere tests, and the box-to-box contacts and face mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "GevrastSSE.h"
#include "math_test_util.h"

using mathtest::bits;
using mathtest::from_bits;

namespace {

constexpr float kNoWrite = 12345.0f;

struct RayHit {
    uint32_t hit;
    float t, u, v;
    VECTOR3 point;
};

RayHit cast(const VECTOR3& o, const VECTOR3& d, const VECTOR3& c0, const VECTOR3& c1, const VECTOR3& c2,
            uint32_t cull)
{
    RayHit r{0, kNoWrite, kNoWrite, kNoWrite, {kNoWrite, kNoWrite, kNoWrite}};
    r.hit = IntersectTriangle(&r.point, &o, &d, &c0, &c1, &c2, &r.t, &r.u, &r.v, cull);
    return r;
}

// The barycentric ray-triangle test in double. margin is how far the nearest boundary
// (determinant threshold, u, v, u + v) lies, relative to det; cases too close to call are skipped.
struct RefHit {
    bool hit;
    double t, u, v, margin;
};

RefHit reference_hit(const VECTOR3& o, const VECTOR3& d, const VECTOR3& c0, const VECTOR3& c1, const VECTOR3& c2,
                     bool cull)
{
    auto sub = [](const VECTOR3& a, const VECTOR3& b) { return std::vector<double>{(double)a.x - b.x, (double)a.y - b.y, (double)a.z - b.z}; };
    auto dot = [](const std::vector<double>& a, const std::vector<double>& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto cross = [](const std::vector<double>& a, const std::vector<double>& b) {
        return std::vector<double>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    const std::vector<double> dd{d.x, d.y, d.z};
    const auto e1 = sub(c1, c0), e2 = sub(c2, c0);
    const auto p = cross(dd, e2);
    double det = dot(e1, p);
    std::vector<double> s;
    if (det > 0) {
        s = sub(o, c0);
    } else {
        if (cull) return {false, 0, 0, 0, std::fabs(det)};
        s = sub(c0, o);
        det = -det;
    }
    const double u = dot(s, p);
    const auto q = cross(s, e1);
    const double v = dot(dd, q);
    const double margin = std::min({std::fabs(det - 0.0001) / det, std::fabs(u) / det, std::fabs(det - u) / det,
                                    std::fabs(v) / det, std::fabs(det - u - v) / det});
    const bool hit = det >= 0.0001 && u >= 0 && u <= det && v >= 0 && u + v <= det;
    return {hit, dot(e2, q) / det, u / det, v / det, margin};
}

TEST(CollisionIntersectTriangle, AgreesWithDoubleReference)
{
    uint32_t s = 7;
    auto next = [&s](float lo, float hi) {
        s = s * 1664525u + 1013904223u;
        return lo + (hi - lo) * (float)((s >> 8) * (1.0 / 16777216.0));
    };
    int hits = 0, misses = 0;
    for (int i = 0; i < 4000; ++i) {
        const VECTOR3 c0{next(-2, 2), next(-2, 2), next(-2, 2)}, c1{next(-2, 2), next(-2, 2), next(-2, 2)},
            c2{next(-2, 2), next(-2, 2), next(-2, 2)};
        const VECTOR3 o{next(-5, 5), next(-5, 5), next(-5, 5)};
        const VECTOR3 aim{next(-1, 1), next(-1, 1), next(-1, 1)};
        const VECTOR3 d{aim.x - o.x, aim.y - o.y, aim.z - o.z};
        const uint32_t cull = i % 2;
        const RefHit want = reference_hit(o, d, c0, c1, c2, cull != 0);
        if (want.margin < 1e-3) continue;
        const RayHit got = cast(o, d, c0, c1, c2, cull);
        ASSERT_EQ(got.hit, want.hit ? 1u : 0u) << "case " << i;
        if (!want.hit) {
            ++misses;
            continue;
        }
        ++hits;
        EXPECT_NEAR(got.t, want.t, 1e-4 * (1 + std::fabs(want.t))) << "case " << i;
        EXPECT_NEAR(got.u, want.u, 1e-4) << "case " << i;
        EXPECT_NEAR(got.v, want.v, 1e-4) << "case " << i;
        // The hit point is c0 + e1 u + e2 v, and lies on the ray at t.
        EXPECT_NEAR(got.point.x, o.x + d.x * want.t, 1e-3 * (1 + std::fabs(want.t)));
        EXPECT_NEAR(got.point.y, o.y + d.y * want.t, 1e-3 * (1 + std::fabs(want.t)));
        EXPECT_NEAR(got.point.z, o.z + d.z * want.t, 1e-3 * (1 + std::fabs(want.t)));
    }
    EXPECT_GT(hits, 200);
    EXPECT_GT(misses, 200);
}

// The unit triangle in z = 0 with its front (normal +z) towards a ray coming down from z = 1:
// det = 1, u = x and v = y exactly, so every boundary can be hit on the dot.
const VECTOR3 kC0{0, 0, 0}, kC1{1, 0, 0}, kC2{0, 1, 0};
const VECTOR3 kDown{0, 0, -1};

RayHit down_at(float x, float y, uint32_t cull = 1)
{
    return cast({x, y, 1}, kDown, kC0, kC1, kC2, cull);
}

TEST(CollisionIntersectTriangle, FrontBackAndCulling)
{
    const float third = 1.0f / 3.0f;
    for (uint32_t cull : {0u, 1u}) {
        const RayHit front = down_at(third, third, cull);
        ASSERT_EQ(front.hit, 1u);
        EXPECT_FLOAT_EQ(front.u, third);
        EXPECT_FLOAT_EQ(front.v, third);
        EXPECT_FLOAT_EQ(front.t, 1.0f);
        EXPECT_FLOAT_EQ(front.point.x, third);
        EXPECT_FLOAT_EQ(front.point.z, 0.0f);
    }
    const VECTOR3 below{third, third, -1}, up{0, 0, 1};
    EXPECT_EQ(cast(below, up, kC0, kC1, kC2, 1).hit, 0u);
    const RayHit back = cast(below, up, kC0, kC1, kC2, 0);
    ASSERT_EQ(back.hit, 1u);
    EXPECT_FLOAT_EQ(back.u, third);
    EXPECT_FLOAT_EQ(back.t, 1.0f);

    // t is not limited to forward hits: the triangle behind the origin is hit at t = -2.
    const RayHit behind = cast({0.25f, 0.25f, -2}, kDown, kC0, kC1, kC2, 0);
    ASSERT_EQ(behind.hit, 1u);
    EXPECT_FLOAT_EQ(behind.t, -2.0f);

    // The hit point is optional.
    const VECTOR3 o{0.25f, 0.25f, 1};
    float t, u, v;
    EXPECT_EQ(IntersectTriangle(nullptr, &o, &kDown, &kC0, &kC1, &kC2, &t, &u, &v, 1), 1u);
}

TEST(CollisionIntersectTriangle, EdgesCountAndDeterminantThreshold)
{
    EXPECT_EQ(down_at(0, 0.5f).hit, 1u);             // u = 0, on edge c0-c2
    EXPECT_EQ(down_at(0.5f, 0).hit, 1u);             // v = 0
    EXPECT_EQ(down_at(0.25f, 0.75f).hit, 1u);        // u + v = det exactly
    EXPECT_EQ(down_at(0, 0).hit, 1u);                // the corner c0
    EXPECT_EQ(down_at(-1e-7f, 0.5f).hit, 0u);        // u just below 0
    EXPECT_EQ(down_at(0.5f, -1e-7f).hit, 0u);        // v just below 0
    EXPECT_EQ(down_at(0.25f, std::nextafter(std::nextafter(0.75f, 1.0f), 1.0f)).hit, 0u);  // u + v above det

    // Parallel (det = 0) and nearly parallel rays miss, whatever the cull flag.
    const VECTOR3 o{-1, 0.25f, 0};
    const VECTOR3 along{1, 0, 0};
    EXPECT_EQ(cast(o, along, kC0, kC1, kC2, 0).hit, 0u);
    // det = -d.z for this triangle: 0.00009 is below the 0.0001 threshold, 0.00011 above it.
    const VECTOR3 o2{0.25f, 0.25f, 0.00001f};
    EXPECT_EQ(cast(o2, {0, 0, -0.00009f}, kC0, kC1, kC2, 0).hit, 0u);
    const RayHit grazing = cast(o2, {0, 0, -0.00011f}, kC0, kC1, kC2, 0);
    EXPECT_EQ(grazing.hit, 1u);
    EXPECT_NEAR(grazing.t, 0.00001 / 0.00011, 1e-5);
}

TEST(CollisionIntersectTriangle, MissesKeepUnscaledProducts)
{
    // Triangle twice the unit size: det = 4, u = 2x, v = 2y before scaling.
    const VECTOR3 c1{2, 0, 0}, c2{0, 2, 0};
    const RayHit hit = cast({0.5f, 0.5f, 1}, kDown, kC0, c1, c2, 1);
    ASSERT_EQ(hit.hit, 1u);
    EXPECT_FLOAT_EQ(hit.u, 0.25f);  // scaled by det on a hit
    EXPECT_FLOAT_EQ(hit.v, 0.25f);
    // u + v > det: u and v are left as computed, t and the point are not written.
    const RayHit miss = cast({0.5f, 3, 1}, kDown, kC0, c1, c2, 1);
    EXPECT_EQ(miss.hit, 0u);
    EXPECT_FLOAT_EQ(miss.u, 1.0f);
    EXPECT_FLOAT_EQ(miss.v, 6.0f);
    EXPECT_EQ(miss.t, kNoWrite);
    EXPECT_EQ(miss.point.x, kNoWrite);
    // NaN input misses.
    const RayHit nan = cast({std::nanf(""), 0.25f, 1}, kDown, kC0, kC1, kC2, 0);
    EXPECT_EQ(nan.hit, 0u);
}

BOUNDING_MESH box_mesh(VECTOR3 lo, VECTOR3 hi)
{
    const VECTOR3 two[2] = {lo, hi};
    BOUNDING_MESH m;
    EXPECT_EQ(CalcBoundingMesh(two, 2, &m), 1u);
    return m;
}

TEST(CollisionPicking, RayAgainstMeshBox)
{
    const BOUNDING_MESH m = box_mesh({-1, -2, -3}, {1, 2, 3});
    VECTOR3 hit{kNoWrite, kNoWrite, kNoWrite};
    float t = kNoWrite;
    const VECTOR3 forward{0, 0, 1}, front{0.5f, 0.5f, -10}, beyond{0.5f, 0.5f, 10};
    ASSERT_EQ(IsCollisionMeshAndRay(&hit, &t, &m, &front, &forward), 1u);
    EXPECT_FLOAT_EQ(t, 7.0f);  // enters through z = min; the far face is culled
    EXPECT_FLOAT_EQ(hit.x, 0.5f);
    EXPECT_FLOAT_EQ(hit.z, -3.0f);

    // Moving away from the box: the line still enters it, behind the origin.
    ASSERT_EQ(IsCollisionMeshAndRay(&hit, &t, &m, &beyond, &forward), 1u);
    EXPECT_FLOAT_EQ(t, -13.0f);

    // From the side, with a direction that is not unit length: t in units of the direction.
    const VECTOR3 side{-6, 0.5f, 0.5f}, right2{2, 0, 0};
    ASSERT_EQ(IsCollisionMeshAndRay(&hit, &t, &m, &side, &right2), 1u);
    EXPECT_FLOAT_EQ(t, 2.5f);
    EXPECT_FLOAT_EQ(hit.x, -1.0f);

    // Inside the sphere (radius sqrt(27)) but beside the box; and outside the sphere.
    t = kNoWrite;
    const VECTOR3 beside{1.5f, 2.5f, -10}, far_beside{6, 0, -10};
    EXPECT_EQ(IsCollisionMeshAndRay(&hit, &t, &m, &beside, &forward), 0u);
    EXPECT_EQ(IsCollisionMeshAndRay(&hit, &t, &m, &far_beside, &forward), 0u);
    EXPECT_EQ(t, kNoWrite);
}

// A camera at (0, 0, -10) looking at the origin with a 90-degree field of view: view depth 10
// reaches x = +-10 at the screen edges.
struct Camera {
    MATRIX4 view, proj;
    Camera()
    {
        const VECTOR3 eye{0, 0, -10}, at{0, 0, 0}, up{0, 1, 0};
        EXPECT_EQ(SetViewMatrix(&view, &eye, &at, &up), 1u);
        EXPECT_EQ(SetProjectionMatrix(&proj, 1.5707964f, 1.0f, 1.0f, 100.0f), 1u);
    }
};

TEST(CollisionPicking, CalcRayThroughPixels)
{
    const Camera cam;
    VECTOR3 o, d;
    EXPECT_EQ(CalcRay(&o, &d, 320, 240, 640, 480, &cam.proj, &cam.view), &o);
    EXPECT_NEAR(o.z, -10, 1e-5);
    EXPECT_NEAR(d.x, 0, 1e-6);
    EXPECT_NEAR(d.y, 0, 1e-6);
    EXPECT_NEAR(d.z, 1, 1e-6);
    // Top-left pixel: left and up (pixel rows grow downwards), at view depth 1.
    CalcRay(&o, &d, 0, 0, 640, 480, &cam.proj, &cam.view);
    EXPECT_NEAR(d.x, -1, 1e-5);
    EXPECT_NEAR(d.y, 1, 1e-5);
    EXPECT_NEAR(d.z, 1, 1e-5);

    // A view matrix with no inverse gives vectors every test rejects.
    MATRIX4 bad = cam.view;
    bad.m[0][3] = 0.5f;
    CalcRay(&o, &d, 10, 10, 640, 480, &cam.proj, &bad);
    EXPECT_EQ(bits(o.x), 0xFFC00000u);
    EXPECT_EQ(IsValidVector3(&o, 1), 0u);
    EXPECT_EQ(IsValidVector3(&d, 1), 0u);
}

TEST(CollisionPicking, ScreenCoordinateInsideAndOnTheViewportEdge)
{
    const Camera cam;
    // A box straddling the right screen edge, its front face at z = -1 (view depth 9).
    const BOUNDING_MESH m = box_mesh({8, -2, -1}, {12, 2, 1});
    const VIEWPORT_RECT vp{0, 0, 640, 480};
    VECTOR3 hit;
    float t;
    SCREEN_POINT at_right{640, 240};
    ASSERT_EQ(IsCollisionMeshWithScreenCoord(&hit, &t, &m, &cam.view, &cam.proj, &at_right, &vp), 1u);
    EXPECT_NEAR(t, 9, 1e-4);
    EXPECT_NEAR(hit.x, 9, 1e-4);
    EXPECT_NEAR(hit.z, -1, 1e-5);
    SCREEN_POINT past_right{641, 240};
    EXPECT_EQ(IsCollisionMeshWithScreenCoord(&hit, &t, &m, &cam.view, &cam.proj, &past_right, &vp), 0u);
    SCREEN_POINT centre{320, 240};
    EXPECT_EQ(IsCollisionMeshWithScreenCoord(&hit, &t, &m, &cam.view, &cam.proj, &centre, &vp), 0u);

    // The pixel is taken relative to the viewport's top-left corner.
    const VIEWPORT_RECT shifted{100, 50, 740, 530};
    SCREEN_POINT shifted_right{740, 290};
    EXPECT_EQ(IsCollisionMeshWithScreenCoord(&hit, &t, &m, &cam.view, &cam.proj, &shifted_right, &shifted), 1u);
    for (SCREEN_POINT outside : {SCREEN_POINT{99, 290}, SCREEN_POINT{400, 49}, SCREEN_POINT{400, 531}})
        EXPECT_EQ(IsCollisionMeshWithScreenCoord(&hit, &t, &m, &cam.view, &cam.proj, &outside, &shifted), 0u);
}

TEST(CollisionLines, GridLinePlaneAndNearestPoint)
{
    float x = 0, z = 0;
    CalcXZ(&x, &z, 3, 1, -5.0f, 10.0f, NAN, NAN, 100.0f, 50.0f, 4, 2);
    EXPECT_FLOAT_EQ(x, 85.0f);  // 3/4 of 100 from x0 = 10
    EXPECT_FLOAT_EQ(z, 20.0f);  // 1/2 of 50 from z0 = -5
    CalcXZ(&x, &z, 0x80000000u, 0, 0.0f, 0.0f, 0, 0, 1.0f, 1.0f, 0x40000000u, 1);
    EXPECT_FLOAT_EQ(x, 2.0f);  // taken as unsigned; as signed it would be -2

    const PLANE ground{0, 1, 0, 0};
    const VECTOR3 a{0, 5, 0}, b{0, -5, 0};
    VECTOR3 p{kNoWrite, kNoWrite, kNoWrite};
    float t = kNoWrite;
    ASSERT_EQ(CalcIntersectPointLineAndPlane(&p, &ground, &a, &b, &t), 1u);
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
    // Beyond the segment: t is not clamped; the plane y = -10 (d = 10).
    const PLANE low{0, 1, 0, 10};
    ASSERT_EQ(CalcIntersectPointLineAndPlane(&p, &low, &a, &b, &t), 1u);
    EXPECT_FLOAT_EQ(t, 1.5f);
    EXPECT_FLOAT_EQ(p.y, -10.0f);
    // Parallel: nothing written.
    const VECTOR3 c{1, 5, 0};
    VECTOR3 untouched{kNoWrite, kNoWrite, kNoWrite};
    float t2 = kNoWrite;
    EXPECT_EQ(CalcIntersectPointLineAndPlane(&untouched, &ground, &a, &c, &t2), 0u);
    EXPECT_EQ(untouched.x, kNoWrite);
    EXPECT_EQ(t2, kNoWrite);

    const VECTOR3 l0{0, 0, 0}, l1{2, 0, 0}, q{3, 1, 0};
    FindNearestVertexOnLine(&p, &t, &l0, &l1, &q);
    EXPECT_FLOAT_EQ(t, 1.5f);
    EXPECT_FLOAT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.y, 0.0f);
    FindNearestVertexOnLine(&p, &t, &l0, &l0, &q);
    EXPECT_FALSE(std::isfinite(t));
}

TEST(CollisionSpheres, StrictComparisons)
{
    const VECTOR3 o{0, 0, 0}, three{3, 0, 0};
    EXPECT_EQ(IsCollisionSpherAndSphere(&o, 1, &three, 2), 0u);  // touching
    EXPECT_EQ(IsCollisionSpherAndSphere(&o, 1.001f, &three, 2), 1u);
    EXPECT_EQ(IsCollisionSpherAndSphere(&o, 0.5f, &three, 2), 0u);

    const PLANE ground{0, 1, 0, 0};
    const VECTOR3 above{7, 2, -1}, below{7, -2, -1};
    EXPECT_EQ(IsCollisionSphereAndPlane(&above, 2, &ground), 0u);  // touching
    EXPECT_EQ(IsCollisionSphereAndPlane(&above, 2.001f, &ground), 1u);
    EXPECT_EQ(IsCollisionSphereAndPlane(&below, 2.001f, &ground), 1u);  // either side
    EXPECT_EQ(IsCollisionSphereAndPlane(&below, 1.999f, &ground), 0u);
}

TEST(CollisionSpheres, SphereAgainstEachFaceOfABox)
{
    const BOUNDING_MESH m = box_mesh({-1, -2, -3}, {1, 2, 3});
    const float half[3] = {1, 2, 3};
    for (int axis = 0; axis < 3; ++axis)
        for (float side : {-1.0f, 1.0f}) {
            // A unit sphere whose centre is 1 beyond the face touches it: not outside.
            VECTOR4 s{0, 0, 0, 1};
            (&s.x)[axis] = side * (half[axis] + 1);
            EXPECT_EQ(IsCollisionSphereAndBox(&s, m.v3BoxCorner), 1u) << axis << side;
            (&s.x)[axis] = side * (half[axis] + 1.01f);
            EXPECT_EQ(IsCollisionSphereAndBox(&s, m.v3BoxCorner), 0u) << axis << side;
        }
    const VECTOR4 inside{0.2f, -0.3f, 1, 0.1f};
    EXPECT_EQ(IsCollisionSphereAndBox(&inside, m.v3BoxCorner), 1u);
    // Off a corner: inside every face plane's reach, yet nowhere near the box (conservative).
    const VECTOR4 corner{1.9f, 2.9f, 3.9f, 1};
    EXPECT_EQ(IsCollisionSphereAndBox(&corner, m.v3BoxCorner), 1u);
}

// Box-to-box: B is the cube [-1, 1]^3; A is a bar along x. The bar's edges stay off B's face
// diagonals so that each entering edge meets exactly one triangle.
struct BoxBox {
    VECTOR3 points[5];
    uint32_t mask = 0xDEADBEEF;
    VECTOR3 out[8];
    uint32_t count;
    BOUNDING_MESH a;
    BoxBox(VECTOR3 lo, VECTOR3 hi)
    {
        const BOUNDING_MESH b = box_mesh({-1, -1, -1}, {1, 1, 1});
        a = box_mesh(lo, hi);
        for (VECTOR3& p : points) p = {kNoWrite, kNoWrite, kNoWrite};
        count = CollisionTestBoxToBox(points, &mask, out, a.v3BoxCorner, b.v3BoxCorner);
    }
};

void expect_point(const VECTOR3& got, float x, float y, float z)
{
    EXPECT_NEAR(got.x, x, 1e-5);
    EXPECT_NEAR(got.y, y, 1e-5);
    EXPECT_NEAR(got.z, z, 1e-5);
}

TEST(CollisionBoxToBox, ApartBoxesLeaveEverythingAsItWas)
{
    const BoxBox r({2, 2, 2}, {3, 4, 5});
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(r.mask, 0u);
    EXPECT_EQ(r.points[0].x, kNoWrite);
    EXPECT_TRUE(mathtest::same_bits(r.out, r.a.v3BoxCorner, sizeof r.out));
}

TEST(CollisionBoxToBox, CornersInsideMoveToTheEntryPoints)
{
    // A's min-x end (x = 0.5) is inside B: only the reversed x edges (entries 12 to 15, cast
    // from the outside corners 7, 6, 2, 3) enter B, through its x = 1 face, at t = 0.8.
    const BoxBox r({0.5f, -0.4f, -0.3f}, {3, 0.6f, 0.7f});
    EXPECT_EQ(r.count, 4u);
    expect_point(r.points[0], 1, 0.6f, -0.3f);   // from corner 7 towards 4
    expect_point(r.points[1], 1, -0.4f, -0.3f);  // 6 towards 5
    expect_point(r.points[2], 1, -0.4f, 0.7f);   // 2 towards 1
    expect_point(r.points[3], 1, 0.6f, 0.7f);    // 3 towards 0
    EXPECT_EQ(r.points[4].x, kNoWrite);
    expect_point(r.out[4], 1, 0.6f, -0.3f);
    expect_point(r.out[5], 1, -0.4f, -0.3f);
    expect_point(r.out[1], 1, -0.4f, 0.7f);
    expect_point(r.out[0], 1, 0.6f, 0.7f);
    for (int outside : {2, 3, 6, 7}) EXPECT_TRUE(mathtest::same_bits(&r.out[outside], &r.a.v3BoxCorner[outside], 12));
    EXPECT_EQ(r.mask, 1u << 3);  // group 3: all four hit in pass 1, 1+1+1+1 even
}

TEST(CollisionBoxToBox, CountGoesOnAfterFourContacts)
{
    // A runs right through B: the x edges enter through x = -1 one way and x = 1 the other.
    const BoxBox r({-3, -0.4f, -0.3f}, {3, 0.6f, 0.7f});
    EXPECT_EQ(r.count, 8u);
    expect_point(r.points[0], -1, 0.6f, 0.7f);  // entry 0: corner 0 towards 3
    expect_point(r.points[3], -1, 0.6f, -0.3f); // entry 3: corner 4 towards 7
    EXPECT_EQ(r.points[4].x, kNoWrite);         // room for four only
    expect_point(r.out[3], -1, 0.6f, 0.7f);     // forward hits move the max-x corners
    expect_point(r.out[0], 1, 0.6f, 0.7f);      // reversed hits the min-x ones
    EXPECT_EQ(r.mask, (1u << 0) | (1u << 3));
}

TEST(CollisionBoxToBox, FaceMaskNeedsTheFourthEdgeAndAnEvenPassSum)
{
    // Two of the four x edges (entries 0 and 3, at y = max) pass through B: passes 0+3+3+0 even
    // in group 0 and 1+3+3+1 in group 3.
    const BoxBox two({-3, -1.5f, -0.3f}, {3, -0.5f, 0.7f});
    EXPECT_EQ(two.count, 4u);
    EXPECT_EQ(two.mask, (1u << 0) | (1u << 3));

    // Only the edge from corner 4 to 7 passes: entry 3 hits but group 0 sums 3+3+3+0, odd; in
    // group 3 the hit is entry 12, not the fourth.
    const BoxBox one({-3, -1.5f, 0.3f}, {3, 0.5f, 1.3f});
    EXPECT_EQ(one.count, 2u);
    EXPECT_EQ(one.mask, 0u);
    expect_point(one.points[0], -1, 0.5f, 0.3f);
    expect_point(one.points[1], 1, 0.5f, 0.3f);
}

}  // namespace
