// Quaternions (x, y, z, w) and the two angle operations on directions and pivots.
#include <math.h>

#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kSlerpLinear = bits_to_float(0x3D4CCCCD);  // 0.05: below this 1 - cos is too flat
constexpr float kNearVertical = bits_to_float(0x3F7FBE77); // 0.999

}  // namespace

GEVRAST_API(void) QuaternionFromRotation(QUATERNION* pq, const VECTOR3* pAxis, float fAngle)
{
    const double half = (double)fAngle / 2.0;
    const float s = (float)sin(half), c = (float)cos(half);
    const VECTOR3 axis = *pAxis;
    pq->x = axis.x * s;
    pq->y = axis.y * s;
    pq->z = axis.z * s;
    pq->w = c;
}

// Hamilton product a * b with a = q2 and b = q1: the rotation of q1 followed by that of q2.
GEVRAST_API(QUATERNION*) QuaternionMultiply(QUATERNION* pOut, const QUATERNION* pq1, const QUATERNION* pq2)
{
    const QUATERNION a = *pq2, b = *pq1;
    pOut->x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    pOut->y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    pOut->z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    pOut->w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    return pOut;
}

// Negating q1 (the same rotation) keeps the interpolation on the short arc; the caller sees
// its q1 negated. Near-equal quaternions fall back to linear weights, where sin(theta) would
// divide by almost nothing.
GEVRAST_API(QUATERNION*) QuaternionSlerp(QUATERNION* pOut, QUATERNION* pq1, const QUATERNION* pq2, float t)
{
    __m128 q1 = load4(pq1);
    const __m128 q2 = load4(pq2);
    __m128 p = _mm_mul_ps(q1, q2);
    p = _mm_add_ps(p, _mm_movehl_ps(p, p));
    float d = _mm_cvtss_f32(_mm_add_ss(p, splat<1>(p)));
    if (d < 0.0f) {
        q1 = _mm_xor_ps(q1, _mm_set1_ps(-0.0f));
        store4(pq1, q1);
        d = -d;
    }

    float k1, k2;
    if (1.0f - d < kSlerpLinear) {
        k1 = 1.0f - t;
        k2 = t;
    } else {
        const float theta = kHalfPi - asin_poly(d);
        const float s = sin_poly(theta);
        k1 = sin_poly((1.0f - t) * theta) / s;
        k2 = sin_poly(t * theta) / s;
    }
    store4(pOut, _mm_add_ps(_mm_mul_ps(_mm_set1_ps(k1), q1), _mm_mul_ps(_mm_set1_ps(k2), q2)));
    return pOut;
}

GEVRAST_API(MATRIX4*) MatrixFromQuaternion(MATRIX4* pm, const QUATERNION* pq)
{
    const float x = pq->x, y = pq->y, z = pq->z, w = pq->w;
    SetIdentityMatrix(pm);
    pm->m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    pm->m[0][1] = 2.0f * (x * y - w * z);
    pm->m[0][2] = 2.0f * (x * z + w * y);
    pm->m[1][0] = 2.0f * (x * y + w * z);
    pm->m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    pm->m[1][2] = 2.0f * (y * z - w * x);
    pm->m[2][0] = 2.0f * (x * z - w * y);
    pm->m[2][1] = 2.0f * (y * z + w * x);
    pm->m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    return pm;
}

// Yaw turns about +y from +z toward +x; pitch is positive looking down. Straight up or down
// has no yaw, so it is 0 there.
GEVRAST_API(void) ConvertFromTo2YPR(const VECTOR3* pDirection, VECTOR3* pOut)
{
    VECTOR3 n;
    Normalize(&n, pDirection);
    if (n.y > kNearVertical) {
        *pOut = {0.0f, -kHalfPi, 0.0f};
        return;
    }
    if (n.y < -kNearVertical) {
        *pOut = {0.0f, kHalfPi, 0.0f};
        return;
    }
    float yaw = (float)atan2((double)n.x, (double)n.z);
    if (yaw >= kTwoPi) yaw -= kTwoPi;
    if (yaw < 0.0f) yaw += kTwoPi;
    const float pitch = -(float)asin((double)n.y);
    *pOut = {yaw, pitch, 0.0f};
}

GEVRAST_API(void) RotatePositionWithPivot(VECTOR3* pOut, const VECTOR3* pPivot, const VECTOR3* pPosition,
                                          const float* pAngles, float fYaw, float fTilt)
{
    const VECTOR3 pivot = *pPivot;
    VECTOR3 d;
    VECTOR3_SUB_VECTOR3(&d, pPosition, &pivot);
    MATRIX4 m;
    // The tilt turns about the horizontal axis across the heading pAngles[1]; looking straight
    // up or down (pAngles[0] at or beyond a quarter turn) that axis is undefined, so no tilt.
    if (pAngles[0] > -kHalfPi && pAngles[0] < kHalfPi) {
        SetRotationYMatrix(&m, pAngles[1]);
        const VECTOR3 heading = {m.m[2][0], m.m[2][1], m.m[2][2]};  // (0, 0, 1) x m
        const VECTOR3 axis = {heading.z, 0.0f, -heading.x};
        SetRotationMatrix(&m, &axis, fTilt);
        TransformVector3_VPTR1(&d, &m, 1);
    }
    SetRotationYMatrix(&m, fYaw);
    TransformVector3_VPTR1(&d, &m, 1);
    VECTOR3_ADD_VECTOR3(pOut, &pivot, &d);
}
