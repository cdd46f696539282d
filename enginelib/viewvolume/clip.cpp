// Visibility tests: points, bounding meshes and lights against a view volume, and clip-space
// outcodes. The cheap sphere tests run before the eight-corner test, and each test stops at the
// first plane that rejects.
#include "gevrast/viewvolume.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

inline float distance3(__m128 a, __m128 b) { return length3(_mm_sub_ps(a, b)); }

// Outcode of one clip-space vertex. The quotients x/w, y/w, 1/w sit in lanes 0 to 2; the "not
// within" compares are true for a NaN, which therefore counts as outside.
inline uint8_t outcode(__m128 clip)
{
    const __m128 w = splat<3>(clip);
    const __m128 numerator = _mm_shuffle_ps(clip, _mm_set1_ps(1.0f), _MM_SHUFFLE(0, 0, 1, 0));  // x, y, 1, 1
    const __m128 q = _mm_div_ps(numerator, w);
    const int above = _mm_movemask_ps(_mm_cmpnle_ps(q, _mm_set1_ps(1.0f)));
    const int below = _mm_movemask_ps(_mm_cmpnge_ps(q, _mm_setr_ps(-1.0f, -1.0f, 0.0f, 0.0f)));
    uint8_t code = 0;
    if (above & 1) code |= VIEWPORT_FLAG_RIGHT;
    if (above & 2) code |= VIEWPORT_FLAG_TOP;
    if (above & 4) code |= VIEWPORT_FLAG_NEAR;
    if (below & 1) code |= VIEWPORT_FLAG_LEFT;
    if (below & 2) code |= VIEWPORT_FLAG_BOTTOM;
    if (below & 4) code |= VIEWPORT_FLAG_BEHIND;
    return code;
}

}  // namespace

GEVRAST_API(uint32_t) ClipVertexWithViewVolume(const VIEW_VOLUME* pVolume, const VECTOR3* pPoint)
{
    const __m128 p = load3(pPoint);
    for (int i = 0; i < 4; ++i)
        if (signed_distance(&pVolume->plane[i], p) > 0.0f) return 0;
    return 1;
}

GEVRAST_API(uint32_t) ClipRenderObjectWithViewVolume(const VIEW_VOLUME* pVolume, const BOUNDING_MESH* pMesh,
                                                     uint32_t /*dwReserved*/)
{
    if (!pMesh) return 1;
    const __m128 center = load3(&pMesh->v3SphereCenter);
    const float radius = pMesh->fSphereRadius;
    if (distance3(load3(&pVolume->v3Position), center) > pVolume->fFarDistance + radius) return 0;

    // A flat record (corner 4 on corner 0) carries no usable box.
    const bool has_box = distance3(load3(&pMesh->v3BoxCorner[0]), load3(&pMesh->v3BoxCorner[4])) != 0.0f;
    for (int i = 0; i < 4; ++i) {
        const PLANE* plane = &pVolume->plane[i];
        if (signed_distance(plane, center) > radius) return 0;
        if (!has_box) continue;
        int corner = 0;
        while (corner < 8 && signed_distance(plane, load3(&pMesh->v3BoxCorner[corner])) >= 0.0f) ++corner;
        if (corner == 8) return 0;
    }
    return 1;
}

GEVRAST_API(uint32_t) ClipLightWithRS(LIGHT_HIT* pOut, const BOUNDING_MESH* pMesh, const LIGHT_DESC* pLights,
                                      uint32_t dwCount, uint32_t dwFirst)
{
    const __m128 center = load3(&pMesh->v3SphereCenter);
    uint32_t hits = 0;
    for (uint32_t j = 0; j < dwCount; ++j) {
        const LIGHT_DESC* light = &pLights[j];
        if (pMesh->fSphereRadius + light->fRadius > distance3(center, load3(&light->v3Center))) {
            // The value comes from the light that was tested, so nothing beyond dwCount records
            // is ever read, whatever dwFirst is.
            pOut[hits].dwUserValue = light->dwUserValue;
            pOut[hits].bIndex = (uint8_t)(dwFirst + j);
            ++hits;
        }
    }
    return hits;
}

GEVRAST_API(void) CreateViewPortFlag(uint8_t* pOut, const VECTOR4* pVertices, uint32_t dwCount)
{
    for (uint32_t i = 0; i < dwCount; ++i) pOut[i] = outcode(load4(&pVertices[i]));
}

GEVRAST_API(uint32_t) ClipBoundingBoxWithViewProjMatrix(const MATRIX4* pViewProj, const VECTOR3* pCorners,
                                                        uint32_t /*dwReserved*/)
{
    const __m128 r0 = load4(pViewProj->m[0]), r1 = load4(pViewProj->m[1]);
    const __m128 r2 = load4(pViewProj->m[2]), r3 = load4(pViewProj->m[3]);
    uint8_t codes[8];
    for (int i = 0; i < 8; ++i) {
        const __m128 clip = transform_point(_mm_set1_ps(pCorners[i].x), _mm_set1_ps(pCorners[i].y),
                                            _mm_set1_ps(pCorners[i].z), r0, r1, r2, r3);
        codes[i] = outcode(clip);
    }
    // Culled only when all eight corners lie beyond one common side. Judging edge by edge would
    // also cull a box whose corners surround the screen (an object filling the view): each of its
    // edges lies wholly beyond some side although the box covers every pixel.
    uint8_t common = 0xFF;
    for (uint8_t code : codes) common &= code;
    return common ? 0 : 1;
}
