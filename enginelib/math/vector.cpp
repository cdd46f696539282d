// VECTOR3 operators, products and lengths in packed single precision. Each operation loads
// all of its inputs before it stores, so the output may be one of the inputs.
#include <math.h>

#include "math/simd.h"

using namespace gevrast_math;

namespace {

// 1.0 in the fourth lane of a divisor, so the unused lane divides 0 by 1 rather than 0 by 0
// and leaves no invalid-operation flag behind.
inline __m128 divisor3(const VECTOR3* p)
{
    return _mm_or_ps(load3(p), _mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f));
}

inline __m128 divisor3(float f) { return _mm_setr_ps(f, f, f, 1.0f); }

inline float length3(__m128 v) { return _mm_cvtss_f32(_mm_sqrt_ss(dot3(v, v))); }

// Lengths for the angle functions come from the C runtime's double-precision square root.
inline float precise_length3(__m128 v) { return (float)sqrt((double)_mm_cvtss_f32(dot3(v, v))); }

inline float cos_angle(const VECTOR3* pa, const VECTOR3* pb)
{
    __m128 a = load3(pa);
    __m128 b = load3(pb);
    float lengths = precise_length3(b) * precise_length3(a);
    return _mm_cvtss_f32(dot3(a, b)) / lengths;
}

}  // namespace

GEVRAST_API(VECTOR3*) SET_VECTOR3(VECTOR3* pv, float f)
{
    store3(pv, _mm_set1_ps(f));
    return pv;
}

GEVRAST_API(void) VECTOR3_ADD_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb)
{
    store3(pOut, _mm_add_ps(load3(pa), load3(pb)));
}

GEVRAST_API(void) VECTOR3_SUB_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb)
{
    store3(pOut, _mm_sub_ps(load3(pa), load3(pb)));
}

GEVRAST_API(void) VECTOR3_MUL_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb)
{
    store3(pOut, _mm_mul_ps(load3(pa), load3(pb)));
}

GEVRAST_API(void) VECTOR3_DIV_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb)
{
    store3(pOut, _mm_div_ps(load3(pa), divisor3(pb)));
}

GEVRAST_API(void) VECTOR3_ADD_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f)
{
    store3(pOut, _mm_add_ps(load3(pa), _mm_set1_ps(f)));
}

GEVRAST_API(void) VECTOR3_SUB_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f)
{
    store3(pOut, _mm_sub_ps(load3(pa), _mm_set1_ps(f)));
}

GEVRAST_API(void) VECTOR3_MUL_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f)
{
    store3(pOut, _mm_mul_ps(load3(pa), _mm_set1_ps(f)));
}

GEVRAST_API(void) VECTOR3_DIV_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f)
{
    store3(pOut, _mm_div_ps(load3(pa), divisor3(f)));
}

GEVRAST_API(void) VECTOR3_ADDEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb) { VECTOR3_ADD_VECTOR3(pv, pv, pb); }
GEVRAST_API(void) VECTOR3_SUBEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb) { VECTOR3_SUB_VECTOR3(pv, pv, pb); }
GEVRAST_API(void) VECTOR3_MULEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb) { VECTOR3_MUL_VECTOR3(pv, pv, pb); }
GEVRAST_API(void) VECTOR3_DIVEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb) { VECTOR3_DIV_VECTOR3(pv, pv, pb); }
GEVRAST_API(void) VECTOR3_ADDEQU_FLOAT(VECTOR3* pv, float f) { VECTOR3_ADD_FLOAT(pv, pv, f); }
GEVRAST_API(void) VECTOR3_SUBEQU_FLOAT(VECTOR3* pv, float f) { VECTOR3_SUB_FLOAT(pv, pv, f); }
GEVRAST_API(void) VECTOR3_MULEQU_FLOAT(VECTOR3* pv, float f) { VECTOR3_MUL_FLOAT(pv, pv, f); }
GEVRAST_API(void) VECTOR3_DIVEQU_FLOAT(VECTOR3* pv, float f) { VECTOR3_DIV_FLOAT(pv, pv, f); }

GEVRAST_API(float) DotProduct(const VECTOR3* pa, const VECTOR3* pb)
{
    return _mm_cvtss_f32(dot3(load3(pa), load3(pb)));
}

// (ay*bz - az*by, az*bx - ax*bz, ax*by - ay*bx): the yzx and zxy rotations of both inputs.
GEVRAST_API(void) CrossProduct(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb)
{
    __m128 a = load3(pa);
    __m128 b = load3(pb);
    __m128 a_yzx = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1));
    __m128 b_zxy = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 1, 0, 2));
    __m128 a_zxy = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 1, 0, 2));
    __m128 b_yzx = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
    store3(pOut, _mm_sub_ps(_mm_mul_ps(a_yzx, b_zxy), _mm_mul_ps(a_zxy, b_yzx)));
}

GEVRAST_API(void) Normalize(VECTOR3* pOut, const VECTOR3* pv)
{
    __m128 v = load3(pv);
    store3(pOut, _mm_div_ps(v, divisor3(length3(v))));
}

GEVRAST_API(float) VECTOR3Length(const VECTOR3* pv) { return length3(load3(pv)); }

GEVRAST_API(float) CalcDistance(const VECTOR3* pa, const VECTOR3* pb)
{
    return length3(_mm_sub_ps(load3(pa), load3(pb)));
}

GEVRAST_API(float) CalcCosAngle(const VECTOR3* pa, const VECTOR3* pb) { return cos_angle(pa, pb); }

GEVRAST_API(float) CalcAngle(const VECTOR3* pa, const VECTOR3* pb)
{
    return (float)acos((double)cos_angle(pa, pb));
}

GEVRAST_API(uint32_t) IsValidFloat(float f) { return float_to_bits(f) == kInvalidFloatBits ? 0 : 1; }

GEVRAST_API(uint32_t) IsValidVector3(const VECTOR3* pv, uint32_t dwCount)
{
    for (uint32_t i = 0; i < dwCount; ++i) {
        if (float_to_bits(pv[i].x) == kInvalidFloatBits || float_to_bits(pv[i].y) == kInvalidFloatBits ||
            float_to_bits(pv[i].z) == kInvalidFloatBits)
            return 0;
    }
    return 1;
}
