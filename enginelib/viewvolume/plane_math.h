// Packed helpers for planes, shared by the view volume builders and the clip tests.
#pragma once

#include "gevrast/viewvolume.h"
#include "math/simd.h"

namespace gevrast_view {

using namespace gevrast_math;

// Same lane order and rounding as CrossProduct.
inline __m128 cross3(__m128 a, __m128 b)
{
    __m128 a_yzx = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1));
    __m128 b_zxy = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 1, 0, 2));
    __m128 a_zxy = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 1, 0, 2));
    __m128 b_yzx = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
    return _mm_sub_ps(_mm_mul_ps(a_yzx, b_zxy), _mm_mul_ps(a_zxy, b_yzx));
}

inline float length3(__m128 v) { return _mm_cvtss_f32(_mm_sqrt_ss(dot3(v, v))); }

// As Normalize: a true division by the length, the fourth lane divided by 1.
inline __m128 normalize3(__m128 v)
{
    const float length = length3(v);
    return _mm_div_ps(v, _mm_setr_ps(length, length, length, 1.0f));
}

inline __m128 negate(__m128 v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }

// (a, b, c) with a zero fourth lane.
inline __m128 load_normal(const PLANE* p) { return load3(reinterpret_cast<const VECTOR3*>(p)); }

// n . p + d: the dot product summed x, y, z, then the offset added.
inline float signed_distance(const PLANE* plane, __m128 p)
{
    return _mm_cvtss_f32(dot3(load_normal(plane), p)) + plane->d;
}

// The plane with normal n through point p: d = -(n . p).
inline void store_plane(PLANE* pOut, __m128 n, __m128 p)
{
    const float d = -_mm_cvtss_f32(dot3(n, p));
    store3(reinterpret_cast<VECTOR3*>(pOut), n);
    pOut->d = d;
}

}  // namespace gevrast_view
