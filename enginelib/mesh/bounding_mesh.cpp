// A mesh's bounding box and sphere, its transform, its twelve triangles, and the degenerate
// triangle test.
#include <string.h>

#include "gevrast/mesh.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kStartMin = bits_to_float(0x49742400);  // 1000000
constexpr float kStartMax = bits_to_float(0xC9742400);  // -1000000

// The box's twelve triangles as corner triples; with the BOUNDING_MESH corner order every one of
// them faces out of the box in the CalcPlaneEquation winding.
constexpr uint8_t kBoxTriangles[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6}, {0, 4, 1}, {4, 5, 1},
                                          {2, 7, 3}, {7, 2, 6}, {0, 3, 7}, {0, 7, 4}, {1, 6, 2}, {5, 6, 1}};

}  // namespace

GEVRAST_API(uint32_t) CalcBoundingMesh(const VECTOR3* pPositions, uint32_t dwCount, BOUNDING_MESH* pOut)
{
    __m128 lo = _mm_set1_ps(kStartMin);
    __m128 hi = _mm_set1_ps(kStartMax);
    for (uint32_t i = 0; i < dwCount; ++i) {
        const __m128 p = load3(&pPositions[i]);
        lo = _mm_min_ps(lo, p);
        hi = _mm_max_ps(hi, p);
    }
    VECTOR3 mn, mx, half;
    store3(&mn, lo);
    store3(&mx, hi);
    const __m128 half_extent = _mm_div_ps(_mm_sub_ps(hi, lo), _mm_set1_ps(2.0f));
    store3(&half, half_extent);

    float h = kStartMax;
    if (half.x > h) h = half.x;
    if (half.y > h) h = half.y;
    if (half.z > h) h = half.z;

    // The sphere around the cube of half size h, so it encloses the box whatever its shape.
    store3(&pOut->v3SphereCenter, _mm_add_ps(lo, half_extent));
    pOut->fSphereRadius = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(3.0f * (h * h))));

    const VECTOR3 corners[8] = {{mn.x, mx.y, mx.z}, {mn.x, mn.y, mx.z}, {mx.x, mn.y, mx.z}, {mx.x, mx.y, mx.z},
                                {mn.x, mx.y, mn.z}, {mn.x, mn.y, mn.z}, {mx.x, mn.y, mn.z}, {mx.x, mx.y, mn.z}};
    memcpy(pOut->v3BoxCorner, corners, sizeof corners);
    return 1;
}

GEVRAST_API(void) SetTransformBoundingMesh(BOUNDING_MESH* pOut, const BOUNDING_MESH* pSrc, const MATRIX4* pm)
{
    // The eight corners and the centre lie next to each other: nine points in one batch.
    static_assert(offsetof(BOUNDING_MESH, v3SphereCenter) == sizeof(VECTOR3) * 8, "centre follows the corners");
    TransformVector3_VPTR2(pOut->v3BoxCorner, pSrc->v3BoxCorner, pm, 9);
}

GEVRAST_API(void*) CreateVertexListWithBox(void* pOut, uint32_t dwStride, const VECTOR3* pCorners)
{
    uint8_t* at = static_cast<uint8_t*>(pOut);
    for (const auto& tri : kBoxTriangles)
        for (uint8_t corner : tri) {
            memcpy(at, &pCorners[corner], sizeof(VECTOR3));
            at += dwStride;
        }
    return at;
}

GEVRAST_API(uint32_t) IsValidTri(const VECTOR3* pa, const VECTOR3* pb, const VECTOR3* pc)
{
    auto same = [](const VECTOR3* p, const VECTOR3* q) { return p->x == q->x && p->y == q->y && p->z == q->z; };
    if (same(pa, pb) || same(pa, pc) || same(pb, pc)) return 0;
    return 1;
}
