// Ray against triangle in barycentric form. The tests reject as early as they can: the
// determinant first, then u, then v. Each rejecting compare is written so that a NaN fails it,
// so a NaN anywhere in the input ends in a miss rather than a "hit" with NaN results.
//
// Scalar single precision: one ray and one triangle leave little to pack, and the products and
// sums run in the component order of CrossProduct and DotProduct, so the results are theirs.
#include "gevrast/collision.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kMinDeterminant = bits_to_float(0x38D1B717);  // 0.0001

inline VECTOR3 sub(const VECTOR3& a, const VECTOR3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

inline VECTOR3 cross(const VECTOR3& a, const VECTOR3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float dot(const VECTOR3& a, const VECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

GEVRAST_API(uint32_t) IntersectTriangle(VECTOR3* pHit, const VECTOR3* pOrigin, const VECTOR3* pDirection,
                                        const VECTOR3* pc0, const VECTOR3* pc1, const VECTOR3* pc2, float* pT,
                                        float* pU, float* pV, uint32_t dwCull)
{
    const VECTOR3 c0 = *pc0, direction = *pDirection;
    const VECTOR3 e1 = sub(*pc1, c0);
    const VECTOR3 e2 = sub(*pc2, c0);
    const VECTOR3 p = cross(direction, e2);
    float det = dot(e1, p);

    // A positive determinant means the ray meets the front of the triangle.
    VECTOR3 s;
    if (det > 0.0f) {
        s = sub(*pOrigin, c0);
    } else {
        if (dwCull) return 0;
        s = sub(c0, *pOrigin);
        det = -det;
    }
    if (!(det >= kMinDeterminant)) return 0;  // parallel, or nearly so

    const float u = dot(s, p);
    *pU = u;
    if (!(u >= 0.0f && u <= det)) return 0;

    const VECTOR3 q = cross(s, e1);
    const float v = dot(direction, q);
    *pV = v;
    if (!(v >= 0.0f && u + v <= det)) return 0;

    // The three quotients in one packed division: each lane is the exact IEEE quotient, as three
    // scalar divisions would give, at about the cost of one.
    alignas(16) float quotients[4];
    _mm_store_ps(quotients, _mm_div_ps(_mm_setr_ps(dot(e2, q), u, v, det), _mm_set1_ps(det)));
    const float t = quotients[0];
    const float su = quotients[1];
    const float sv = quotients[2];
    *pT = t;
    *pU = su;
    *pV = sv;
    if (pHit)
        *pHit = {c0.x + e1.x * su + e2.x * sv, c0.y + e1.y * su + e2.y * sv, c0.z + e1.z * su + e2.z * sv};
    return 1;
}
