// Ray against triangle in barycentric form. The tests reject as early as they can: the
// determinant first, then u, then v. Each rejecting compare is written so that a NaN fails it,
// so a NaN anywhere in the input ends in a miss rather than a "hit" with NaN results.
#include "gevrast/collision.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

constexpr float kMinDeterminant = bits_to_float(0x38D1B717);  // 0.0001

inline float dot(__m128 a, __m128 b) { return _mm_cvtss_f32(dot3(a, b)); }

}  // namespace

GEVRAST_API(uint32_t) IntersectTriangle(VECTOR3* pHit, const VECTOR3* pOrigin, const VECTOR3* pDirection,
                                        const VECTOR3* pc0, const VECTOR3* pc1, const VECTOR3* pc2, float* pT,
                                        float* pU, float* pV, uint32_t dwCull)
{
    const __m128 c0 = load3(pc0);
    const __m128 origin = load3(pOrigin);
    const __m128 direction = load3(pDirection);
    const __m128 e1 = _mm_sub_ps(load3(pc1), c0);
    const __m128 e2 = _mm_sub_ps(load3(pc2), c0);
    const __m128 p = cross3(direction, e2);
    float det = dot(e1, p);

    // A positive determinant means the ray meets the front of the triangle.
    __m128 s;
    if (det > 0.0f) {
        s = _mm_sub_ps(origin, c0);
    } else {
        if (dwCull) return 0;
        s = _mm_sub_ps(c0, origin);
        det = -det;
    }
    if (!(det >= kMinDeterminant)) return 0;  // parallel, or nearly so

    const float u = dot(s, p);
    *pU = u;
    if (!(u >= 0.0f && u <= det)) return 0;

    const __m128 q = cross3(s, e1);
    const float v = dot(direction, q);
    *pV = v;
    if (!(v >= 0.0f && u + v <= det)) return 0;

    const float t = dot(e2, q) / det;
    const float su = u / det;
    const float sv = v / det;
    *pT = t;
    *pU = su;
    *pV = sv;
    if (pHit) {
        const __m128 hit = _mm_add_ps(_mm_add_ps(c0, _mm_mul_ps(e1, _mm_set1_ps(su))), _mm_mul_ps(e2, _mm_set1_ps(sv)));
        store3(pHit, hit);
    }
    return 1;
}
