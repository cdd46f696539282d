// Batch transforms of vector arrays by one matrix. The four rows stay in registers for the
// whole batch; each element is read completely before its result is stored, so the in-place
// forms and a destination equal to the source are safe. A count of 0 touches nothing.
#include "math/simd.h"

using namespace gevrast_math;

namespace {

struct Rows {
    __m128 r0, r1, r2, r3;
    explicit Rows(const MATRIX4* pm)
        : r0(load4(pm->m[0])), r1(load4(pm->m[1])), r2(load4(pm->m[2])), r3(load4(pm->m[3])) {}

    // (v, 1) x M; the three components are broadcast straight from memory.
    __m128 point(const VECTOR3* p) const
    {
        return transform_point(_mm_load1_ps(&p->x), _mm_load1_ps(&p->y), _mm_load1_ps(&p->z), r0, r1, r2, r3);
    }
};

}  // namespace

GEVRAST_API(void) TransformVector3_VPTR1(VECTOR3* pv, const MATRIX4* pm, uint32_t dwCount)
{
    const Rows m(pm);
    for (uint32_t i = 0; i < dwCount; ++i) store3(&pv[i], m.point(&pv[i]));
}

GEVRAST_API(void) TransformVector3_VPTR2(VECTOR3* pDst, const VECTOR3* pSrc, const MATRIX4* pm, uint32_t dwCount)
{
    const Rows m(pm);
    for (uint32_t i = 0; i < dwCount; ++i) store3(&pDst[i], m.point(&pSrc[i]));
}

GEVRAST_API(void) TransformNSizeVector3_VPTR1(VECTOR3* pv, uint32_t dwStride, const MATRIX4* pm, uint32_t dwCount)
{
    const Rows m(pm);
    uint8_t* p = reinterpret_cast<uint8_t*>(pv);
    for (uint32_t i = 0; i < dwCount; ++i, p += dwStride) {
        VECTOR3* v = reinterpret_cast<VECTOR3*>(p);
        store3(v, m.point(v));
    }
}

GEVRAST_API(void) TransformVector4_VPTR2(VECTOR4* pDst, const VECTOR4* pSrc, const MATRIX4* pm, uint32_t dwCount)
{
    const Rows m(pm);
    for (uint32_t i = 0; i < dwCount; ++i) store4(&pDst[i], transform_row(load4(&pSrc[i]), m.r0, m.r1, m.r2, m.r3));
}

GEVRAST_API(void) TransformV3TOV4(VECTOR4* pDst, const VECTOR3* pSrc, const MATRIX4* pm, uint32_t dwCount)
{
    const Rows m(pm);
    for (uint32_t i = 0; i < dwCount; ++i) store4(&pDst[i], m.point(&pSrc[i]));
}
