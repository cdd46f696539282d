// Picking: a ray against a mesh's bounding box, and the ray through a pixel of the screen.
#include "gevrast/collision.h"
#include "gevrast/mesh.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kNoHitYet = bits_to_float(0x495BBA00);  // 900000

inline float dot(__m128 a, __m128 b) { return _mm_cvtss_f32(dot3(a, b)); }

// The ray's line passes within the sphere (the closest point of the whole line, either way).
inline bool line_meets_sphere(__m128 origin, __m128 direction, const BOUNDING_MESH* pMesh)
{
    const __m128 center = load3(&pMesh->v3SphereCenter);
    const float k = (dot(direction, center) - dot(direction, origin)) / dot(direction, direction);
    const __m128 offset = _mm_sub_ps(_mm_add_ps(origin, _mm_mul_ps(direction, _mm_set1_ps(k))), center);
    return !(_mm_cvtss_f32(_mm_sqrt_ss(dot3(offset, offset))) > pMesh->fSphereRadius);
}

}  // namespace

GEVRAST_API(uint32_t) IsCollisionMeshAndRay(VECTOR3* pHit, float* pT, const BOUNDING_MESH* pMesh,
                                            const VECTOR3* pOrigin, const VECTOR3* pDirection)
{
    if (!line_meets_sphere(load3(pOrigin), load3(pDirection), pMesh)) return 0;

    VECTOR3 triangles[36];
    CreateVertexListWithBox(triangles, sizeof(VECTOR3), pMesh->v3BoxCorner);
    float best = kNoHitYet;
    uint32_t hit = 0;
    for (int i = 0; i < 12; ++i) {
        const VECTOR3* tri = &triangles[3 * i];
        float t, u, v;
        if (!IntersectTriangle(pHit, pOrigin, pDirection, &tri[0], &tri[1], &tri[2], &t, &u, &v, 1)) continue;
        if (t < best) {
            best = t;
            *pT = t;
            hit = 1;
        }
    }
    return hit;
}

GEVRAST_API(uint32_t) IsCollisionMeshWithScreenCoord(VECTOR3* pHit, float* pT, const BOUNDING_MESH* pMesh,
                                                     const MATRIX4* pView, const MATRIX4* pProj,
                                                     const SCREEN_POINT* pScreen, const VIEWPORT_RECT* pViewport)
{
    const int32_t x = pScreen->x, y = pScreen->y;
    const VIEWPORT_RECT& vp = *pViewport;
    if (x > vp.right || y > vp.bottom || x < vp.left || y < vp.top) return 0;

    VECTOR3 origin, direction;
    CalcRay(&origin, &direction, (uint32_t)(x - vp.left), (uint32_t)(y - vp.top), (uint16_t)(vp.right - vp.left),
            (uint16_t)(vp.bottom - vp.top), pProj, pView);
    return IsCollisionMeshAndRay(pHit, pT, pMesh, &origin, &direction);
}

GEVRAST_API(VECTOR3*) CalcRay(VECTOR3* pOrigin, VECTOR3* pDirection, uint32_t dwX, uint32_t dwY, uint32_t dwWidth,
                              uint32_t dwHeight, const MATRIX4* pProj, const MATRIX4* pView)
{
    MATRIX4 inverse;
    if (!SetInverseMatrix(&inverse, pView)) {
        // No camera to cast from: hand back vectors every test misses and IsValidVector3 flags.
        const __m128 invalid = _mm_castsi128_ps(_mm_set1_epi32((int)kInvalidFloatBits));
        store3(pOrigin, invalid);
        store3(pDirection, invalid);
        return pOrigin;
    }
    // Pixel rows grow downwards, view-space y grows upwards.
    const float sx = (2.0f * (float)dwX / (float)dwWidth - 1.0f) / pProj->m[0][0];
    const float sy = -(2.0f * (float)dwY / (float)dwHeight - 1.0f) / pProj->m[1][1];
    const __m128 r0 = load4(inverse.m[0]), r1 = load4(inverse.m[1]), r2 = load4(inverse.m[2]);
    const __m128 direction =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(sx), r0), _mm_mul_ps(_mm_set1_ps(sy), r1)), r2);
    store3(pDirection, direction);
    store3(pOrigin, load4(inverse.m[3]));
    return pOrigin;
}
