// Fast sine, cosine, arc sine and arc cosine: short polynomials evaluated with packed single
// precision, the powers and their products computed side by side in the lanes. They trade
// accuracy for speed: close near zero, rough toward the ends of their ranges (Sin(pi) gives
// about 0.52, ACos(1) about 0.33). They never validate or clamp their arguments.
#include "math/simd.h"

namespace gevrast_math {
namespace {

constexpr float kSin3 = bits_to_float(0x3E2AAA7E);   // 0.166666
constexpr float kSin5 = bits_to_float(0x3C088723);   // 0.008333
constexpr float kCos4 = bits_to_float(0x3D2AA9F8);   // 0.041666
constexpr float kCos6 = bits_to_float(0x3AB5ED8D);   // 0.001388
constexpr float kASin3 = bits_to_float(0x3E2AAA7E);  // 0.166666
constexpr float kASin5 = bits_to_float(0x3D99999A);  // 0.075

// k = angle / pi truncated toward zero; a nonzero k takes k whole turns off the angle. k counts
// half turns, so the result stays within [-pi, pi] only for angles below 2*pi in magnitude;
// callers keep their angles in that range.
inline __m128 reduce(float angle)
{
    __m128 a = _mm_set_ss(angle);
    int k = _mm_cvttss_si32(_mm_div_ss(a, _mm_set_ss(kPi)));
    if (k != 0) a = _mm_sub_ss(a, _mm_mul_ss(_mm_cvtsi32_ss(_mm_setzero_ps(), k), _mm_set_ss(kTwoPi)));
    return a;
}

// Lanes 0 and 1 of the result: c3 * x^3 and c5 * x^5.
inline __m128 odd_terms(__m128 x, float c3, float c5)
{
    __m128 x2 = _mm_mul_ss(x, x);
    __m128 x4 = _mm_mul_ss(x2, x2);
    __m128 even = _mm_unpacklo_ps(x2, x4);                           // x^2, x^4
    __m128 odd = _mm_mul_ps(even, _mm_shuffle_ps(x, x, 0));           // x^3, x^5
    return _mm_mul_ps(odd, _mm_setr_ps(c3, c5, 0.0f, 0.0f));
}

}  // namespace

float sin_poly(float angle)
{
    __m128 x = reduce(angle);
    __m128 t = odd_terms(x, kSin3, kSin5);
    return _mm_cvtss_f32(_mm_add_ss(_mm_sub_ss(x, t), _mm_shuffle_ps(t, t, 1)));
}

float asin_poly(float value)
{
    __m128 x = _mm_set_ss(value);
    __m128 t = odd_terms(x, kASin3, kASin5);
    return _mm_cvtss_f32(_mm_add_ss(_mm_add_ss(x, t), _mm_shuffle_ps(t, t, 1)));
}

}  // namespace gevrast_math

using namespace gevrast_math;

GEVRAST_API(float) Sin(float fAngle) { return sin_poly(fAngle); }

// 1 + c4*x^4 - (0.5*x^2 + c6*x^6)
GEVRAST_API(float) Cos(float fAngle)
{
    __m128 x = reduce(fAngle);
    __m128 x2 = _mm_mul_ss(x, x);
    __m128 x4 = _mm_mul_ss(x2, x2);
    __m128 x6 = _mm_mul_ss(x4, x2);
    __m128 powers = _mm_movelh_ps(_mm_unpacklo_ps(x2, x4), x6);  // x^2, x^4, x^6
    __m128 t = _mm_mul_ps(powers, _mm_setr_ps(0.5f, kCos4, kCos6, 0.0f));
    __m128 even = _mm_add_ss(_mm_set_ss(1.0f), _mm_shuffle_ps(t, t, 1));
    __m128 rest = _mm_add_ss(t, _mm_movehl_ps(t, t));
    return _mm_cvtss_f32(_mm_sub_ss(even, rest));
}

GEVRAST_API(float) ASin(float f) { return asin_poly(f); }

GEVRAST_API(float) ACos(float f)
{
    return _mm_cvtss_f32(_mm_sub_ss(_mm_set_ss(kHalfPi), _mm_set_ss(asin_poly(f))));
}
