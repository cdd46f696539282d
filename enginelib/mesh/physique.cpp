// The physique skinning transforms. Per weight the four rows of the bone matrix are loaded
// (unaligned) into registers; the position, normal and tangent sums stay in registers until the
// vertex is stored. The weight records are read where they lie.
#include "gevrast/physique.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

struct Sums {
    __m128 pos, normal, tangent;
};

// Blends one vertex. With kNormals false the normal and tangent are neither read nor summed.
template <bool kNormals>
inline Sums blend(const PHYSIQUE_VERTEX* pv, const MATRIX4* bones)
{
    Sums s{_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    const uint32_t n = pv->bWeightCount;
    if (n == 0) return s;  // the address of an empty record is never followed
    const BONE_WEIGHT* w = pv->pWeight;
    for (uint32_t k = 0; k < n; ++k, ++w) {
        const MATRIX4* m = &bones[w->dwBoneIndex];
        const __m128 r0 = load4(m->m[0]), r1 = load4(m->m[1]), r2 = load4(m->m[2]), r3 = load4(m->m[3]);
        const __m128 weight = _mm_load1_ps(&w->fWeight);
        const __m128 p = transform_point(_mm_load1_ps(&w->v3Pos.x), _mm_load1_ps(&w->v3Pos.y),
                                         _mm_load1_ps(&w->v3Pos.z), r0, r1, r2, r3);
        s.pos = _mm_add_ps(s.pos, _mm_mul_ps(weight, p));
        if (kNormals) {
            __m128 nv = _mm_add_ps(_mm_mul_ps(_mm_load1_ps(&w->v3Normal.x), r0),
                                   _mm_mul_ps(_mm_load1_ps(&w->v3Normal.y), r1));
            nv = _mm_add_ps(nv, _mm_mul_ps(_mm_load1_ps(&w->v3Normal.z), r2));
            s.normal = _mm_add_ps(s.normal, _mm_mul_ps(weight, nv));
            __m128 tv = _mm_add_ps(_mm_mul_ps(_mm_load1_ps(&w->v3Tangent.x), r0),
                                   _mm_mul_ps(_mm_load1_ps(&w->v3Tangent.y), r1));
            tv = _mm_add_ps(tv, _mm_mul_ps(_mm_load1_ps(&w->v3Tangent.z), r2));
            s.tangent = _mm_add_ps(s.tangent, _mm_mul_ps(weight, tv));
        }
    }
    return s;
}

inline SKIN_VERTEX* at(SKIN_VERTEX* base, uint32_t i, uint32_t stride)
{
    return reinterpret_cast<SKIN_VERTEX*>(reinterpret_cast<unsigned char*>(base) + (size_t)i * stride);
}

// u and v are copied as bits (8 bytes), so NaN payloads and -0 pass through unchanged.
inline void copy_uv(SKIN_VERTEX* out, const TEXCOORD2* uv)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&out->fU), _mm_loadl_epi64(reinterpret_cast<const __m128i*>(uv)));
}

template <bool kNormals, bool kUV>
inline void skin(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique, const TEXCOORD2* pTexCoord,
                 uint32_t dwVertexNum, uint32_t dwStride, const MATRIX4* pBoneMatrices)
{
    for (uint32_t i = 0; i < dwVertexNum; ++i) {
        const Sums s = blend<kNormals>(&pPhysique[i], pBoneMatrices);
        SKIN_VERTEX* out = at(pOut, i, dwStride);
        store3(&out->v3Pos, s.pos);
        if (kNormals) {
            store3(&out->v3Normal, s.normal);
            store3(&out->v3Tangent, s.tangent);
        }
        if (kUV) copy_uv(out, &pTexCoord[i]);
    }
}

}  // namespace

GEVRAST_API(void) PhysiqueTransform(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique, uint32_t dwVertexNum,
                                    uint32_t dwStride, const MATRIX4* pBoneMatrices)
{
    skin<false, false>(pOut, pPhysique, nullptr, dwVertexNum, dwStride, pBoneMatrices);
}

GEVRAST_API(void) PhysiqueTransformPosAndNormal(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                uint32_t dwVertexNum, uint32_t dwStride,
                                                const MATRIX4* pBoneMatrices)
{
    skin<true, false>(pOut, pPhysique, nullptr, dwVertexNum, dwStride, pBoneMatrices);
}

GEVRAST_API(void) PhysiqueTransformPosAndNormalAndUV(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                     const TEXCOORD2* pTexCoord, uint32_t dwVertexNum,
                                                     uint32_t dwStride, const MATRIX4* pBoneMatrices)
{
    skin<true, true>(pOut, pPhysique, pTexCoord, dwVertexNum, dwStride, pBoneMatrices);
}

GEVRAST_API(void) PhysiqueTransformPosAndWriteUV(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                 const TEXCOORD2* pTexCoord, uint32_t dwVertexNum,
                                                 uint32_t dwStride, const MATRIX4* pBoneMatrices)
{
    skin<false, true>(pOut, pPhysique, pTexCoord, dwVertexNum, dwStride, pBoneMatrices);
}
