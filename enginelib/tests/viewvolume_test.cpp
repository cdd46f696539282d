// View volumes, planes, light and box culling, and clip-space outcodes. Geometry is checked
// against double-precision references; the comparisons that decide inside or outside are
// checked exactly on their boundaries.
#include <cfloat>
#include <vector>

#include "math_test_util.h"

using namespace mathtest;

namespace {

struct D3 {
    double x, y, z;
};

D3 d3(const VECTOR3& v) { return {v.x, v.y, v.z}; }
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(D3 a) { return std::sqrt(dot(a, a)); }
D3 unit(D3 a) { return a * (1.0 / length(a)); }

struct DPlane {
    D3 n;
    double d;
};

DPlane plane_through(D3 p0, D3 p1, D3 p2)
{
    const D3 n = unit(cross(p1 - p0, p2 - p0));
    return {n, -dot(n, p0)};
}

void expect_plane_near(const PLANE& got, const DPlane& want, double tol, const char* what)
{
    EXPECT_NEAR(got.a, want.n.x, tol) << what;
    EXPECT_NEAR(got.b, want.n.y, tol) << what;
    EXPECT_NEAR(got.c, want.n.z, tol) << what;
    EXPECT_NEAR(got.d, want.d, tol * (1 + std::fabs(want.d))) << what;
}

void expect_vec_near(const VECTOR3& got, D3 want, double tol, const char* what)
{
    EXPECT_NEAR(got.x, want.x, tol) << what;
    EXPECT_NEAR(got.y, want.y, tol) << what;
    EXPECT_NEAR(got.z, want.z, tol) << what;
}

double distance_to(const PLANE& p, D3 q) { return p.a * q.x + p.b * q.y + p.c * q.z + p.d; }

float next_up(float f) { return std::nextafter(f, FLT_MAX); }
float next_down(float f) { return std::nextafter(f, -FLT_MAX); }

VIEW_VOLUME filled_volume(uint8_t byte)
{
    VIEW_VOLUME v;
    std::memset(&v, byte, sizeof v);
    return v;
}

// Orthographic volume down +z with exactly representable planes x = +-4, y = +-2.
VIEW_VOLUME ortho_box(float far)
{
    VIEW_VOLUME v = filled_volume(0xCD);
    const VECTOR3 eye{0, 0, 0}, at{0, 0, 10}, up{0, 1, 0};
    MakeViewVolumeWithOrtho(&v, &eye, &at, &up, 8.0f, 2.0f, far);
    return v;
}

BOUNDING_MESH box_mesh(D3 lo, D3 hi)
{
    BOUNDING_MESH m;
    const float x0 = (float)lo.x, y0 = (float)lo.y, z0 = (float)lo.z;
    const float x1 = (float)hi.x, y1 = (float)hi.y, z1 = (float)hi.z;
    const VECTOR3 corners[8] = {{x0, y1, z1}, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1},
                                {x0, y1, z0}, {x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}};
    std::memcpy(m.v3BoxCorner, corners, sizeof corners);
    const D3 c = (lo + hi) * 0.5;
    m.v3SphereCenter = {(float)c.x, (float)c.y, (float)c.z};
    m.fSphereRadius = (float)(length(hi - lo) * 0.5);
    return m;
}

// ---- Planes -----------------------------------------------------------------------------------

TEST(ViewVolumePlane, EquationMatchesTheVectorFunctionsAndADoubleReference)
{
    std::vector<VECTOR3> pts{{1.5f, -2.0f, 3.25f}, {4.0f, 0.5f, -1.0f}, {-2.0f, 3.0f, 0.75f}};
    std::vector<PLANE> out(1);
    EXPECT_EQ(CalcPlaneEquation(out.data(), pts.data()), 1u);
    expect_plane_near(out[0], plane_through(d3(pts[0]), d3(pts[1]), d3(pts[2])), 1e-6, "plane");

    // The same steps through the exported vector functions give the same bits.
    VECTOR3 e1, e2, n;
    VECTOR3_SUB_VECTOR3(&e1, &pts[1], &pts[0]);
    VECTOR3_SUB_VECTOR3(&e2, &pts[2], &pts[0]);
    CrossProduct(&n, &e1, &e2);
    Normalize(&n, &n);
    const PLANE want{n.x, n.y, n.z, -DotProduct(&n, &pts[0])};
    EXPECT_TRUE(same_bits(out.data(), &want, sizeof want));

    // (1, 0, 0) x (0, 1, 0) = (0, 0, 1): the normal follows the cross product of the edges.
    const VECTOR3 tri[3] = {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}};
    CalcPlaneEquation(out.data(), tri);
    EXPECT_TRUE(out[0].a == 0 && out[0].b == 0 && out[0].c == 1 && out[0].d == -5);
    EXPECT_EQ(DistanceFromSphereAndPlane(&pts[0], out.data()), 3.25f - 5.0f);
}

TEST(ViewVolumePlane, CompareIsInclusiveAtBothLimits)
{
    const float limit = from_bits(0x3F733333);  // 0.95
    const PLANE base{1, 0, 0, 2};
    const struct {
        PLANE other;
        uint32_t want;
    } cases[] = {
        {{limit, 0, 0, 3}, 1},                    // dot exactly 0.95, offsets exactly 1 apart
        {{limit, 0, 0, 1}, 1},                    // the other way round
        {{next_down(limit), 0, 0, 2}, 0},         // dot just below
        {{limit, 0, 0, next_up(3.0f)}, 0},        // offsets just over 1 apart
        {{-1, 0, 0, -2}, 0},                      // the same plane facing the other way
        {{0.6f, 0.8f, 0, 2}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComparePlane(&base, &c.other), c.want) << c.other.a << " " << c.other.d;
        EXPECT_EQ(ComparePlane(&c.other, &base), c.want) << c.other.a << " " << c.other.d;
    }
}

// ---- Builders ---------------------------------------------------------------------------------

TEST(ViewVolumeBuild, PerspectiveCornersAndOutwardPlanes)
{
    const VECTOR3 eye{1.0f, 2.0f, -3.0f}, at{4.0f, 1.0f, 6.0f}, up{0.1f, 1.0f, 0.0f};
    const float fov = 1.1f, aspect = 1.6f, far = 250.0f;
    VIEW_VOLUME v = filled_volume(0xCD);
    const uint32_t untouched_width = mathtest::bits(v.fOrthoWidth);
    MakeViewVolume(&v, &eye, &at, &up, fov, aspect, far);

    const D3 E = d3(eye);
    const D3 f = unit(d3(at) - E);
    const D3 C = E + f * far;
    const double half_w = std::tan(fov / 2.0) * far;
    const D3 r = unit(cross(d3(up), C - E)) * half_w;
    const D3 u = unit(cross(C - E, r)) * (half_w / aspect);
    const D3 A = C + r + u, B = C - r + u, Cc = C - r - u, D = C + r - u;
    const double tol = 1e-5 * far;
    expect_vec_near(v.v3FarCorner[0], A, tol, "top-right");
    expect_vec_near(v.v3FarCorner[1], B, tol, "top-left");
    expect_vec_near(v.v3FarCorner[2], Cc, tol, "bottom-left");
    expect_vec_near(v.v3FarCorner[3], D, tol, "bottom-right");
    expect_plane_near(v.plane[0], plane_through(E, Cc, B), 1e-5, "left");
    expect_plane_near(v.plane[1], plane_through(E, A, D), 1e-5, "right");
    expect_plane_near(v.plane[2], plane_through(E, D, Cc), 1e-5, "bottom");
    expect_plane_near(v.plane[3], plane_through(E, B, A), 1e-5, "top");

    // Each normal faces away from the volume: along -r, +r, -u, +u.
    const D3 ru = unit(r), uu = unit(u);
    const double facing[4] = {-1, 1, -1, 1};
    const D3 axis[4] = {ru, ru, uu, uu};
    for (int i = 0; i < 4; ++i) {
        const D3 n{v.plane[i].a, v.plane[i].b, v.plane[i].c};
        EXPECT_GT(dot(n, axis[i]) * facing[i], 0.5) << "plane " << i;
        EXPECT_NEAR(distance_to(v.plane[i], E), 0.0, 1e-4) << "plane " << i;  // through the eye
        EXPECT_LT(distance_to(v.plane[i], C), -1.0) << "plane " << i;         // far centre inside
    }
    // A point just inside and just outside each side, half-way out.
    const D3 mid = E + f * (far / 2);
    const D3 side[4] = {ru * -1, ru, uu * -1, uu};
    const double extent[4] = {half_w / 2, half_w / 2, half_w / aspect / 2, half_w / aspect / 2};
    for (int i = 0; i < 4; ++i) {
        const D3 in = mid + side[i] * (extent[i] * 0.98), out = mid + side[i] * (extent[i] * 1.02);
        const VECTOR3 pin{(float)in.x, (float)in.y, (float)in.z}, pout{(float)out.x, (float)out.y, (float)out.z};
        EXPECT_EQ(ClipVertexWithViewVolume(&v, &pin), 1u) << "side " << i;
        EXPECT_EQ(ClipVertexWithViewVolume(&v, &pout), 0u) << "side " << i;
    }
    EXPECT_TRUE(same_bits(&v.v3Position, &eye, 12));
    EXPECT_EQ(v.fFarDistance, far);
    EXPECT_EQ(v.dwOrtho, 0u);
    EXPECT_EQ(mathtest::bits(v.fOrthoWidth), untouched_width);
}

TEST(ViewVolumeBuild, OrthoPlanesAreTheBoxSidesAndPointsOnThemAreInside)
{
    VIEW_VOLUME v = ortho_box(40.0f);
    const PLANE want[4] = {{-1, 0, 0, -4}, {1, 0, 0, -4}, {0, -1, 0, -2}, {0, 1, 0, -2}};
    for (int i = 0; i < 4; ++i)  // compared by value: the negated normals carry -0 lanes
        EXPECT_TRUE(v.plane[i].a == want[i].a && v.plane[i].b == want[i].b && v.plane[i].c == want[i].c &&
                    v.plane[i].d == want[i].d)
            << "plane " << i;
    EXPECT_EQ(v.dwOrtho, 1u);
    EXPECT_EQ(v.fOrthoWidth, 8.0f);
    EXPECT_EQ(v.fFarDistance, 40.0f);
    const VIEW_VOLUME untouched = filled_volume(0xCD);
    EXPECT_TRUE(same_bits(v.v3FarCorner, untouched.v3FarCorner, sizeof v.v3FarCorner));

    // Signed distance exactly 0 is inside; one float further is outside. Depth plays no part.
    const VECTOR3 on[4] = {{-4, 0, 1e6f}, {4, 0, -1e6f}, {0, -2, 3}, {0, 2, 3}};
    const VECTOR3 off[4] = {{next_down(-4.0f), 0, 0}, {next_up(4.0f), 0, 0}, {0, next_down(-2.0f), 0}, {0, next_up(2.0f), 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ClipVertexWithViewVolume(&v, &on[i]), 1u) << "side " << i;
        EXPECT_EQ(ClipVertexWithViewVolume(&v, &off[i]), 0u) << "side " << i;
    }

    // Off-axis camera against a double reference.
    const VECTOR3 eye{3, -1, 2}, at{-5, 4, 9}, up{0, 0.8f, 0.6f};
    const float width = 12.0f, aspect = 0.75f;
    MakeViewVolumeWithOrtho(&v, &eye, &at, &up, width, aspect, 9.0f);
    const D3 E = d3(eye), f = d3(at) - E;
    const D3 r = unit(cross(d3(up), f)) * (width / 2), u = unit(cross(f, r)) * (width / 2 / aspect);
    const DPlane ref[4] = {{unit(r) * -1, dot(unit(r), E - r)},
                           {unit(r), -dot(unit(r), E + r)},
                           {unit(u) * -1, dot(unit(u), E - u)},
                           {unit(u), -dot(unit(u), E + u)}};
    for (int i = 0; i < 4; ++i) expect_plane_near(v.plane[i], ref[i], 1e-5, "ortho plane");
}

TEST(ViewVolumeBuild, IncludingSphereRefusesAnEyeInsideOrOnTheSphere)
{
    const VECTOR3 eye{0, 0, 0};
    const VECTOR4 on{3, 4, 0, 5};  // |centre - eye| is exactly 5
    VIEW_VOLUME v = filled_volume(0x5A);
    const VIEW_VOLUME before = v;
    EXPECT_EQ(MakeViewVolumeIncludingSphere(&v, &eye, &on, 100.0f), 0u);
    const VECTOR4 inside{1, 1, 1, 10};
    EXPECT_EQ(MakeViewVolumeIncludingSphere(&v, &eye, &inside, 100.0f), 0u);
    EXPECT_TRUE(same_bits(&v, &before, sizeof v));
    const VECTOR4 just_outside{3, 4, 0, next_down(5.0f)};
    EXPECT_EQ(MakeViewVolumeIncludingSphere(&v, &eye, &just_outside, 100.0f), 1u);
}

TEST(ViewVolumeBuild, IncludingSphereUsesTheArcSineAsTheFieldOfView)
{
    const struct {
        VECTOR3 eye;
        VECTOR4 sphere;
        bool vertical;  // |f.y| > 0.9 chooses (1, 0, 0) as the provisional up
    } cases[] = {
        {{1, 2, 3}, {11, 4, -7, 3}, false},
        {{0, 0, 0}, {0.2f, 10, 0.1f, 2}, true},
        {{0, 5, 0}, {0.3f, -20, 0.4f, 1.5f}, true},
        {{0, 0, 0}, {3, 5, 1, 2}, false},  // f.y about 0.85
    };
    for (const auto& c : cases) {
        VIEW_VOLUME got = filled_volume(0), want = filled_volume(0);
        ASSERT_EQ(MakeViewVolumeIncludingSphere(&got, &c.eye, &c.sphere, 300.0f), 1u);

        // The same steps through the exports, with the up direction chosen here.
        const VECTOR3 center{c.sphere.x, c.sphere.y, c.sphere.z};
        VECTOR3 v, f, r, up;
        VECTOR3_SUB_VECTOR3(&v, &center, &c.eye);
        const float dist = VECTOR3Length(&v);
        VECTOR3_DIV_FLOAT(&f, &v, dist);
        const bool vertical = f.y > 0.9f || f.y < -0.9f;
        const VECTOR3 rough = vertical ? VECTOR3{1, 0, 0} : VECTOR3{0, 1, 0};
        CrossProduct(&r, &rough, &f);
        CrossProduct(&up, &f, &r);
        volatile float ratio = c.sphere.w / dist;  // rounded to a float, as the library does
        MakeViewVolume(&want, &c.eye, &center, &up, (float)std::asin((double)ratio), 1.0f, 300.0f);
        EXPECT_TRUE(same_bits(&got, &want, sizeof got)) << c.sphere.y;

        // Geometry: every side plane leans asin(radius / distance) / 2 away from the axis, so
        // the centre lies distance * sin(that) inside each of them.
        const double dd = length(d3(center) - d3(c.eye));
        const double half = std::asin(c.sphere.w / dd) / 2;
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(distance_to(got.plane[i], d3(center)), -dd * std::sin(half), 1e-4 * dd) << "plane " << i;
        // Looking straight up or down, the right direction comes out along +-z, never NaN.
        if (c.vertical) {
            const D3 right = d3(got.v3FarCorner[0]) - d3(got.v3FarCorner[1]);
            EXPECT_GT(std::fabs(right.z), 0.9 * length(right)) << c.sphere.y;
        }
    }
}

TEST(ViewVolumeBuild, SelectRangeFacesOutwardsAndReachesTheRectangle)
{
    const VECTOR3 eye{1, 1, -2};
    // A rectangle 10 in front of the eye: top-left, top-right, bottom-right, bottom-left.
    const VECTOR3 p1{-1, 2, 8}, p2{3, 2, 8}, p3{3, 0, 8}, p4{-1, 0, 8};
    VIEW_VOLUME v = filled_volume(0xEE);
    EXPECT_EQ(MakeViewVolumeWithSelectRange(&v, &eye, &p1, &p2, &p3, &p4), &v);
    EXPECT_EQ(v.dwOrtho, 0u);
    EXPECT_TRUE(same_bits(&v.v3Position, &eye, 12));
    EXPECT_NEAR(v.fFarDistance, 10.0, 1e-5);
    const D3 E = d3(eye), A = d3(p1), B = d3(p2), C = d3(p3), D = d3(p4);
    expect_plane_near(v.plane[0], plane_through(E, D, A), 1e-6, "left");
    expect_plane_near(v.plane[1], plane_through(E, B, C), 1e-6, "right");
    expect_plane_near(v.plane[2], plane_through(E, C, D), 1e-6, "bottom");
    expect_plane_near(v.plane[3], plane_through(E, A, B), 1e-6, "top");
    EXPECT_LT(v.plane[0].a, -0.9f);
    EXPECT_GT(v.plane[1].a, 0.9f);
    EXPECT_LT(v.plane[2].b, -0.9f);
    EXPECT_GT(v.plane[3].b, 0.9f);
    const VECTOR3 centre{1, 1, 8}, beside{-1.5f, 1, 8};
    EXPECT_EQ(ClipVertexWithViewVolume(&v, &centre), 1u);
    EXPECT_EQ(ClipVertexWithViewVolume(&v, &beside), 0u);
}

// ---- Culling ----------------------------------------------------------------------------------

TEST(ViewVolumeCull, RenderObjectSphereTests)
{
    const VIEW_VOLUME v = ortho_box(10.0f);
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, nullptr, 0), 1u);

    // Far test: |position - centre| > far + radius, strictly. Both meshes sit on the axis.
    BOUNDING_MESH m = box_mesh({-1, -1, 29}, {1, 1, 31});
    m.fSphereRadius = 20.0f;  // 30 against 10 + 20: kept
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &m, 0), 1u);
    m.fSphereRadius = next_down(20.0f);
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &m, 0), 0u);

    // Against a side plane the sphere is rejected only when strictly beyond its radius; a flat
    // record (corner 4 on corner 0) is then kept without any corner test.
    BOUNDING_MESH flat{};
    flat.v3SphereCenter = {6, 0, 5};
    flat.fSphereRadius = 2;  // exactly touching x = 4 from outside
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &flat, 0), 1u);
    flat.fSphereRadius = next_down(2.0f);
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &flat, 0), 0u);
    flat.v3SphereCenter = {0, -3, 5};
    flat.fSphereRadius = 1;  // bottom plane y = -2, touching
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &flat, 0), 1u);
}

TEST(ViewVolumeCull, RenderObjectCornerTestCountsCornersOnThePlaneAsOutside)
{
    const VIEW_VOLUME v = ortho_box(100.0f);
    // Right of x = 4 with its near face exactly on the plane: every corner has distance >= 0.
    BOUNDING_MESH m = box_mesh({4, -1, 4}, {6, 1, 6});
    m.fSphereRadius = 3;  // a sphere generous enough to reach inside
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &m, 0), 0u);
    // One corner a little inside keeps it.
    m.v3BoxCorner[6].x = 3.5f;
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &m, 0), 1u);
    // The same box with corner 4 moved onto corner 0 is judged by its sphere alone.
    m = box_mesh({4, -1, 4}, {6, 1, 6});
    m.fSphereRadius = 3;
    m.v3BoxCorner[4] = m.v3BoxCorner[0];
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &m, 0), 1u);

    // Above the top plane y = 2, below the bottom one, left of the left one.
    for (const auto& box : {box_mesh({-1, 2, 5}, {1, 3, 6}), box_mesh({-1, -3, 5}, {1, -2, 6}),
                            box_mesh({-7, -1, 5}, {-4, 1, 6})}) {
        BOUNDING_MESH b = box;
        b.fSphereRadius *= 2;
        EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &b, 0), 0u);
    }
    // Across the volume: kept.
    BOUNDING_MESH across = box_mesh({-6, -3, 5}, {6, 3, 9});
    EXPECT_EQ(ClipRenderObjectWithViewVolume(&v, &across, 0), 1u);
}

TEST(ViewVolumeCull, LightsOverlapStrictlyAndNumberFromFirst)
{
    BOUNDING_MESH mesh{};
    mesh.v3SphereCenter = {0, 0, 0};
    mesh.fSphereRadius = 2;
    // Exactly sized so that any read past the last light is caught by the address sanitizer.
    std::vector<LIGHT_DESC> lights(5);
    std::memset(lights.data(), 0x77, lights.size() * sizeof(LIGHT_DESC));
    const struct {
        VECTOR3 c;
        float r;
    } placed[5] = {{{3, 0, 0}, 1.5f},   // 3.5 > 3: reaches
                   {{0, 4, 0}, 2.0f},   // 4 > 4 fails: only touching
                   {{0, 0, -5}, 3.5f},  // reaches
                   {{0, 0, 9}, 1.0f},   // far away
                   {{3, 4, 0}, 3.01f}};  // distance 5: reaches
    for (int i = 0; i < 5; ++i) {
        lights[i].v3Center = placed[i].c;
        lights[i].fRadius = placed[i].r;
        lights[i].dwUserValue = 0xA000u + i;
    }
    std::vector<LIGHT_HIT> out(5);
    std::memset(out.data(), 0xCC, out.size() * sizeof(LIGHT_HIT));
    ASSERT_EQ(ClipLightWithRS(out.data(), &mesh, lights.data(), 5, 3), 3u);
    const uint32_t want_value[3] = {0xA000, 0xA002, 0xA004};
    const uint8_t want_index[3] = {3, 5, 7};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(out[k].dwUserValue, want_value[k]) << k;
        EXPECT_EQ(out[k].bIndex, want_index[k]) << k;
        EXPECT_TRUE(out[k].bReserved[0] == 0xCC && out[k].bReserved[1] == 0xCC && out[k].bReserved[2] == 0xCC);
    }
    EXPECT_EQ(out[3].dwUserValue, 0xCCCCCCCCu);

    // Only the low 8 bits of first count, and the index byte wraps.
    ASSERT_EQ(ClipLightWithRS(out.data(), &mesh, lights.data(), 5, 0x3FE), 3u);
    EXPECT_EQ(out[0].bIndex, 0xFE);
    EXPECT_EQ(out[1].bIndex, 0x00);
    EXPECT_EQ(out[2].bIndex, 0x02);

    // Nothing to test: nothing written.
    std::memset(out.data(), 0xCC, out.size() * sizeof(LIGHT_HIT));
    EXPECT_EQ(ClipLightWithRS(out.data(), &mesh, lights.data(), 0, 9), 0u);
    EXPECT_EQ(out[0].dwUserValue, 0xCCCCCCCCu);
}

// ---- Outcodes ---------------------------------------------------------------------------------

uint8_t reference_outcode(const VECTOR4& v)
{
    // A single division of floats, rounded once, is what x/w in single precision gives.
    // volatile: x87 code would otherwise keep the quotients wider than a float.
    volatile float x = (float)((double)v.x / v.w), y = (float)((double)v.y / v.w), q = (float)(1.0 / v.w);
    uint8_t code = 0;
    if (!(x <= 1)) code |= 0x40;
    if (!(y <= 1)) code |= 0x20;
    if (!(q <= 1)) code |= 0x10;
    if (!(x >= -1)) code |= 0x08;
    if (!(y >= -1)) code |= 0x04;
    if (!(q >= 0)) code |= 0x02;
    return code;
}

TEST(ViewVolumeOutcode, BitsOnAndBesideEachBoundary)
{
    const float nan = std::nanf("");
    const struct {
        VECTOR4 v;
        uint8_t want;
    } cases[] = {
        {{0, 0, 0, 1}, 0},
        {{0, 0, 0, 0.5f}, 0x10},
        {{0, 0, 0, -2}, 0x02},
        {{3, 3, 0, 3}, 0},                     // x' = y' = 1 exactly: inside
        {{-3, -3, 0, 3}, 0},                   // -1 exactly
        {{next_up(3.0f), 0, 0, 3}, 0x40},
        {{0, next_up(3.0f), 0, 3}, 0x20},
        {{next_down(-3.0f), 0, 0, 3}, 0x08},
        {{0, next_down(-3.0f), 0, 3}, 0x04},
        {{0, 0, 0, next_down(1.0f)}, 0x10},    // q just above 1
        {{5, -5, 7, -2}, 0x02 | 0x08 | 0x20},  // behind: signs flip
        {{0, 0, nan, 1}, 0},                   // z is not used
        {{nan, 0, 0, 1}, 0x48},                // a NaN is outside both ways
        {{0, 0, 0, 0}, 0x7C},                  // 0/0 on x and y, q = +inf
        {{1, 0, 0, -0.0f}, 0x2E},              // x' = -inf, y' = 0/0, q = -inf
    };
    const size_t n = sizeof cases / sizeof cases[0];
    std::vector<VECTOR4> in(n);
    for (size_t i = 0; i < n; ++i) in[i] = cases[i].v;
    std::vector<uint8_t> out(n, 0xFF);
    CreateViewPortFlag(out.data(), in.data(), (uint32_t)n);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(out[i], cases[i].want) << "case " << i;
        EXPECT_EQ(out[i], reference_outcode(in[i])) << "case " << i;
    }

    // Many ordinary vertices against the reference, then a count of 0 that writes nothing.
    std::vector<VECTOR4> many(200);
    for (size_t i = 0; i < many.size(); ++i) {
        const float t = (float)i;
        many[i] = {std::sin(t) * 3.0f, std::cos(t * 1.7f) * 2.5f, t, 1.5f * std::sin(t * 0.3f) + 0.4f};
    }
    std::vector<uint8_t> codes(many.size());
    CreateViewPortFlag(codes.data(), many.data(), (uint32_t)many.size());
    for (size_t i = 0; i < many.size(); ++i) EXPECT_EQ(codes[i], reference_outcode(many[i])) << "vertex " << i;
    uint8_t sentinel = 0xA5;
    CreateViewPortFlag(&sentinel, nullptr, 0);
    EXPECT_EQ(sentinel, 0xA5);
}

// ---- Boxes in clip space ----------------------------------------------------------------------

std::vector<VECTOR3> box_corners(float x0, float x1, float y0, float y1, float z0, float z1)
{
    const BOUNDING_MESH m = box_mesh({x0, y0, z0}, {x1, y1, z1});
    return std::vector<VECTOR3>(m.v3BoxCorner, m.v3BoxCorner + 8);
}

TEST(ViewVolumeClipBox, IdentityClipSpaceBesideOnAndAcross)
{
    MATRIX4 id;
    SetIdentityMatrix(&id);  // clip = (x, y, z, 1): x' = x, y' = y, q = 1
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(1.5f, 2, -0.5f, 0.5f, 0, 1).data(), 0), 0u);
    // Left face exactly on x' = 1 is not outside.
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(1, 2, -0.5f, 0.5f, 0, 1).data(), 0), 1u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(next_up(1.0f), 2, -0.5f, 0.5f, 0, 1).data(), 0), 0u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-3, -1.01f, -3, 3, 0, 1).data(), 0), 0u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-3, 3, 1.2f, 3, 0, 1).data(), 0), 0u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-3, 3, -3, -1.2f, 0, 1).data(), 0), 0u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-3, 3, -0.5f, 0.5f, 0, 1).data(), 0), 1u);  // across
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-0.5f, 0.5f, -3, 3, 0, 1).data(), 0), 1u);
    // A box whose corners all lie beyond the four corners of the screen covers the whole screen:
    // every edge lies beyond some side, but no side holds all eight corners, so it is kept.
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(-3, 3, -3, 3, 0, 1).data(), 0), 1u);
    // Beyond a screen corner with every corner outside both the right and the top side.
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, box_corners(1.5f, 3, 1.5f, 3, 0, 1).data(), 0), 0u);

    // A square turned 45 degrees over the top-right corner of the screen: every corner is outside
    // (right, top or both) but the edge from (1.6, 0.2) to (0.2, 1.6) shares no side.
    std::vector<VECTOR3> diamond{{1.6f, 0.2f, 1}, {0.2f, 1.6f, 1}, {1.6f, 3.0f, 1}, {3.0f, 1.6f, 1},
                                 {1.6f, 0.2f, 0}, {0.2f, 1.6f, 0}, {1.6f, 3.0f, 0}, {3.0f, 1.6f, 0}};
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, diamond.data(), 0), 1u);

    // Twelve edges that each share some side do not cull the box when no one side is shared by
    // all eight corners (corner 0 only right, corner 2 only top): its face 0-1-2 reaches the
    // screen's corner.
    std::vector<VECTOR3> per_edge{{2, 0, 1}, {2, 2, 1}, {0, 2, 1}, {2, 2, 1},
                                  {2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}};
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&id, per_edge.data(), 0), 1u);
}

TEST(ViewVolumeClipBox, CameraViewProjection)
{
    MATRIX4 view, proj, vp;
    const VECTOR3 eye{0, 0, -10}, at{0, 0, 0}, up{0, 1, 0};
    ASSERT_EQ(SetViewMatrix(&view, &eye, &at, &up), 1u);
    ASSERT_EQ(SetProjectionMatrix(&proj, 1.2f, 1.0f, 1.0f, 100.0f), 1u);
    MatrixMultiply2(&vp, &view, &proj);
    // The screen edge at depth 10 (z = 0) is at tan(0.6) * 10, about 6.84.
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-1, 1, -1, 1, -1, 1).data(), 0), 1u);
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(8, 10, -1, 1, -1, 1).data(), 0), 0u);   // right
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-10, -8, -1, 1, -1, 1).data(), 0), 0u); // left
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-1, 1, 8, 10, -1, 1).data(), 0), 0u);   // above
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-1, 1, -1, 1, -30, -20).data(), 0), 0u); // behind
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-20, 20, -1, 1, -1, 1).data(), 0), 1u);  // across
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(5, 9, 5, 9, -1, 1).data(), 0), 1u);     // over a corner
    // A wall in front of the camera that fills the whole view, all corners off screen.
    EXPECT_EQ(ClipBoundingBoxWithViewProjMatrix(&vp, box_corners(-20, 20, -20, 20, -1, 1).data(), 0), 1u);
}

}  // namespace
