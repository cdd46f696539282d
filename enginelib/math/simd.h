// Packed single-precision helpers shared by the math units. Every load and store is unaligned
// and touches exactly the bytes of the object it names: a VECTOR3 is read as x, y, z into the
// low three lanes with a zero fourth lane and written back as three floats, so arrays of 12-byte
// vectors and vectors at the end of a caller's buffer are safe.
#pragma once

#include <emmintrin.h>
#include <stdint.h>
#include <string.h>

#include "gevrast/math.h"

namespace gevrast_math {

inline __m128 load3(const VECTOR3* p)
{
    __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    __m128 z = _mm_load_ss(&p->z);
    return _mm_movelh_ps(xy, z);
}

inline void store3(VECTOR3* p, __m128 v)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
    _mm_store_ss(&p->z, _mm_movehl_ps(v, v));
}

inline __m128 load4(const void* p) { return _mm_loadu_ps(static_cast<const float*>(p)); }
inline void store4(void* p, __m128 v) { _mm_storeu_ps(static_cast<float*>(p), v); }

template <int Lane>
inline __m128 splat(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

// x*x' + y*y' + z*z' summed in that order, in lane 0. The fourth lanes must hold zeros or be
// ignored; they are not added.
inline __m128 dot3(__m128 a, __m128 b)
{
    __m128 p = _mm_mul_ps(a, b);
    __m128 s = _mm_add_ss(p, splat<1>(p));
    return _mm_add_ss(s, _mm_movehl_ps(p, p));
}

// (v, 1) x M and v x M with the rows r0..r3 in registers; the sums run row 0 to row 3.
inline __m128 transform_point(__m128 x, __m128 y, __m128 z, __m128 r0, __m128 r1, __m128 r2, __m128 r3)
{
    __m128 s = _mm_add_ps(_mm_mul_ps(x, r0), _mm_mul_ps(y, r1));
    s = _mm_add_ps(s, _mm_mul_ps(z, r2));
    return _mm_add_ps(s, r3);
}

inline __m128 transform_row(__m128 v, __m128 r0, __m128 r1, __m128 r2, __m128 r3)
{
    __m128 s = _mm_add_ps(_mm_mul_ps(splat<0>(v), r0), _mm_mul_ps(splat<1>(v), r1));
    s = _mm_add_ps(s, _mm_mul_ps(splat<2>(v), r2));
    return _mm_add_ps(s, _mm_mul_ps(splat<3>(v), r3));
}

constexpr float bits_to_float(uint32_t bits) { return __builtin_bit_cast(float, bits); }

inline uint32_t float_to_bits(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The library's constants, fixed by their single-precision bit patterns.
constexpr float kPi = bits_to_float(0x40490FDB);      // 3.1415927
constexpr float kTwoPi = bits_to_float(0x40C90FDB);   // 6.2831855
constexpr float kHalfPi = bits_to_float(0x3FC90FDB);  // 1.5707964
constexpr uint32_t kInvalidFloatBits = 0xFFC00000;    // what an invalid operation produces

// The arc sine polynomial x + c3*x^3 + c5*x^5, shared by ASin, ACos and the slerp angle.
float asin_poly(float x);
// Sine by angle reduction and the odd polynomial; Sin and the slerp weights.
float sin_poly(float angle);

}  // namespace gevrast_math
