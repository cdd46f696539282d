// Grid coordinates, lines against planes, nearest points on lines, and the sphere tests. The
// sphere tests compare strictly, so spheres that only touch do not collide.
#include <math.h>

#include "gevrast/collision.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

inline float dot(__m128 a, __m128 b) { return _mm_cvtss_f32(dot3(a, b)); }

// The box's six face planes as corner triples for CalcPlaneEquation, normals facing out:
// x = max, x = min, y = max, y = min, z = max, z = min.
constexpr uint8_t kBoxFacePlanes[6][3] = {{7, 3, 2}, {0, 4, 1}, {0, 3, 7}, {1, 5, 2}, {0, 1, 3}, {4, 7, 6}};

}  // namespace

GEVRAST_API(void) CalcXZ(float* pX, float* pZ, uint32_t dwA, uint32_t dwB, float fZ0, float fX0, float /*fReserved0*/,
                         float /*fReserved1*/, float fWidth, float fDepth, uint32_t dwColumns, uint32_t dwRows)
{
    *pX = ((float)dwA / (float)dwColumns) * fWidth + fX0;
    *pZ = ((float)dwB / (float)dwRows) * fDepth + fZ0;
}

GEVRAST_API(uint32_t) CalcIntersectPointLineAndPlane(VECTOR3* pOut, const PLANE* pPlane, const VECTOR3* p0,
                                                     const VECTOR3* p1, float* pT)
{
    const __m128 start = load3(p0);
    const __m128 edge = _mm_sub_ps(load3(p1), start);
    const __m128 normal = load_normal(pPlane);
    const float h = dot(normal, edge);
    if (h == 0.0f) return 0;
    const float t = -(pPlane->d + dot(normal, start)) / h;
    store3(pOut, _mm_add_ps(start, _mm_mul_ps(edge, _mm_set1_ps(t))));
    *pT = t;
    return 1;
}

GEVRAST_API(void) FindNearestVertexOnLine(VECTOR3* pOut, float* pT, const VECTOR3* pa, const VECTOR3* pb,
                                          const VECTOR3* pp)
{
    const __m128 a = load3(pa);
    const __m128 edge = _mm_sub_ps(load3(pb), a);
    const float t = dot(_mm_sub_ps(load3(pp), a), edge) / dot(edge, edge);
    store3(pOut, _mm_add_ps(a, _mm_mul_ps(edge, _mm_set1_ps(t))));
    *pT = t;
}

GEVRAST_API(uint32_t) IsCollisionSpherAndSphere(const VECTOR3* pCenter1, float fRadius1, const VECTOR3* pCenter2,
                                                float fRadius2)
{
    return fRadius1 + fRadius2 > length3(_mm_sub_ps(load3(pCenter1), load3(pCenter2))) ? 1 : 0;
}

GEVRAST_API(uint32_t) IsCollisionSphereAndBox(const VECTOR4* pSphere, const VECTOR3* pCorners)
{
    const __m128 center = load3(reinterpret_cast<const VECTOR3*>(pSphere));
    const float radius = pSphere->w;
    for (const auto& face : kBoxFacePlanes) {
        const VECTOR3 points[3] = {pCorners[face[0]], pCorners[face[1]], pCorners[face[2]]};
        PLANE plane;
        CalcPlaneEquation(&plane, points);
        if (signed_distance(&plane, center) > radius) return 0;
    }
    return 1;
}

GEVRAST_API(uint32_t) IsCollisionSphereAndPlane(const VECTOR3* pCenter, float fRadius, const PLANE* pPlane)
{
    return fRadius > fabsf(signed_distance(pPlane, load3(pCenter))) ? 1 : 0;
}
