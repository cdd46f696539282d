// Per-vertex normal and tangent sums. Each face adds its vector to its three vertices; the
// caller clears the arrays before and normalises after, so meshes can be accumulated in parts.
#include "gevrast/mesh.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

inline void add_to(VECTOR3* entry, __m128 v) { store3(entry, _mm_add_ps(load3(entry), v)); }

inline void add_to_face(VECTOR3* array, const uint16_t* tri, __m128 v)
{
    add_to(&array[tri[0]], v);
    add_to(&array[tri[1]], v);
    add_to(&array[tri[2]], v);
}

}  // namespace

GEVRAST_API(void) SetFaceNormalToVertex(VECTOR3* pNormals, const VECTOR3* pPositions, uint32_t /*dwReserved*/,
                                        const uint16_t* pIndices, uint32_t dwFaceNum)
{
    for (uint32_t f = 0; f < dwFaceNum; ++f) {
        const uint16_t* tri = pIndices + 3 * (size_t)f;
        const __m128 p0 = load3(&pPositions[tri[0]]);
        // Not normalised: a face's length is twice its area, so large faces weigh more.
        const __m128 n = cross3(_mm_sub_ps(load3(&pPositions[tri[1]]), p0), _mm_sub_ps(load3(&pPositions[tri[2]]), p0));
        add_to_face(pNormals, tri, n);
    }
}

GEVRAST_API(void) SetFaceTangentToVertex(VECTOR3* pTangents, const VECTOR3* pPositions, const TEXCOORD2* pTexCoords,
                                         uint32_t /*dwReserved*/, const uint16_t* pIndices, uint32_t dwFaceNum)
{
    for (uint32_t f = 0; f < dwFaceNum; ++f) {
        const uint16_t* tri = pIndices + 3 * (size_t)f;
        const TEXCOORD2& ta = pTexCoords[tri[0]];
        const TEXCOORD2& tb = pTexCoords[tri[1]];
        const TEXCOORD2& tc = pTexCoords[tri[2]];
        const float du1 = tb.u - ta.u, dv1 = tb.v - ta.v;
        const float du2 = tc.u - ta.u, dv2 = tc.v - ta.v;
        const float r = 1.0f / (du1 * dv2 - du2 * dv1);
        const __m128 p0 = load3(&pPositions[tri[0]]);
        const __m128 e1 = _mm_sub_ps(load3(&pPositions[tri[1]]), p0);
        const __m128 e2 = _mm_sub_ps(load3(&pPositions[tri[2]]), p0);
        const __m128 t = _mm_sub_ps(_mm_mul_ps(e1, _mm_set1_ps(dv2)), _mm_mul_ps(e2, _mm_set1_ps(dv1)));
        add_to_face(pTangents, tri, _mm_mul_ps(t, _mm_set1_ps(r)));
    }
}
