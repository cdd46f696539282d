// Matrix builders and products for row vectors in a left-handed system: a point transforms as
// (x, y, z, 1) x M, translation lives in row 3, and A x B applies A first.
#include <math.h>

#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kAffineSlack = bits_to_float(0x3A83126F);    // 0.001
constexpr float kShortVector = bits_to_float(0x358637BD);    // 1e-6
constexpr float kDepthRangeMin = bits_to_float(0x3C23D70A);  // 0.01

// The rotation builders take precise values, computed in double and rounded to float.
inline float precise_sin(float a) { return (float)sin((double)a); }
inline float precise_cos(float a) { return (float)cos((double)a); }

inline void identity(MATRIX4* pm)
{
    const __m128 one = _mm_set_ss(1.0f);
    store4(pm->m[0], one);
    store4(pm->m[1], _mm_shuffle_ps(one, one, _MM_SHUFFLE(1, 1, 0, 1)));
    store4(pm->m[2], _mm_shuffle_ps(one, one, _MM_SHUFFLE(1, 0, 1, 1)));
    store4(pm->m[3], _mm_shuffle_ps(one, one, _MM_SHUFFLE(0, 1, 1, 1)));
}

// out = a x b. All of b is in registers before the first store, and each row of a is read
// before the same row of out is written, so out may be a or b.
inline void multiply(MATRIX4* pOut, const MATRIX4* pa, const MATRIX4* pb)
{
    __m128 b0 = load4(pb->m[0]), b1 = load4(pb->m[1]), b2 = load4(pb->m[2]), b3 = load4(pb->m[3]);
    for (int r = 0; r < 4; ++r) store4(pOut->m[r], transform_row(load4(pa->m[r]), b0, b1, b2, b3));
}

inline VECTOR3 sub(const VECTOR3& a, const VECTOR3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline float dot(const VECTOR3& a, const VECTOR3& b) { return _mm_cvtss_f32(dot3(load3(&a), load3(&b))); }
inline float length(const VECTOR3& v) { return _mm_cvtss_f32(_mm_sqrt_ss(dot3(load3(&v), load3(&v)))); }
inline VECTOR3 scaled(const VECTOR3& v, float f) { return {v.x * f, v.y * f, v.z * f}; }
inline VECTOR3 divided(const VECTOR3& v, float f) { return {v.x / f, v.y / f, v.z / f}; }

}  // namespace

GEVRAST_API(uint32_t) SetIdentityMatrix(MATRIX4* pm)
{
    identity(pm);
    return 1;
}

GEVRAST_API(void) SetScaleMatrix(MATRIX4* pm, const VECTOR3* pScale)
{
    VECTOR3 s = *pScale;
    identity(pm);
    pm->m[0][0] = s.x;
    pm->m[1][1] = s.y;
    pm->m[2][2] = s.z;
}

GEVRAST_API(void) TranslateMatrix(MATRIX4* pm, const VECTOR3* pMove)
{
    VECTOR3 t = *pMove;
    identity(pm);
    pm->m[3][0] = t.x;
    pm->m[3][1] = t.y;
    pm->m[3][2] = t.z;
}

GEVRAST_API(void) SetRotationXMatrix(MATRIX4* pm, float fAngle)
{
    float c = precise_cos(fAngle), s = precise_sin(fAngle);
    identity(pm);
    pm->m[1][1] = c;
    pm->m[1][2] = s;
    pm->m[2][1] = -s;
    pm->m[2][2] = c;
}

GEVRAST_API(void) SetRotationYMatrix(MATRIX4* pm, float fAngle)
{
    float c = precise_cos(fAngle), s = precise_sin(fAngle);
    identity(pm);
    pm->m[0][0] = c;
    pm->m[0][2] = -s;
    pm->m[2][0] = s;
    pm->m[2][2] = c;
}

GEVRAST_API(void) SetRotationZMatrix(MATRIX4* pm, float fAngle)
{
    float c = precise_cos(fAngle), s = precise_sin(fAngle);
    identity(pm);
    pm->m[0][0] = c;
    pm->m[0][1] = s;
    pm->m[1][0] = -s;
    pm->m[1][1] = c;
}

GEVRAST_API(MATRIX4*) SetRotationMatrix(MATRIX4* pm, const VECTOR3* pAxis, float fAngle)
{
    const float x = pAxis->x, y = pAxis->y, z = pAxis->z;
    const float c = precise_cos(fAngle), s = precise_sin(fAngle);
    const float k = 1.0f - c;
    identity(pm);
    pm->m[0][0] = x * x * k + c;
    pm->m[0][1] = x * y * k - z * s;
    pm->m[0][2] = x * z * k + y * s;
    pm->m[1][0] = x * y * k + z * s;
    pm->m[1][1] = y * y * k + c;
    pm->m[1][2] = y * z * k - x * s;
    pm->m[2][0] = x * z * k - y * s;
    pm->m[2][1] = y * z * k + x * s;
    pm->m[2][2] = z * z * k + c;
    return pm;
}

GEVRAST_API(void) TransposeMatrix(MATRIX4* pm)
{
    __m128 r0 = load4(pm->m[0]), r1 = load4(pm->m[1]), r2 = load4(pm->m[2]), r3 = load4(pm->m[3]);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    store4(pm->m[0], r0);
    store4(pm->m[1], r1);
    store4(pm->m[2], r2);
    store4(pm->m[3], r3);
}

// An affine matrix [R 0; t 1] has the inverse [R^-1 0; -t R^-1 1]. R^-1 comes from the
// cofactors of R divided by its determinant; a singular R is the caller's concern.
GEVRAST_API(uint32_t) SetInverseMatrix(MATRIX4* pOut, const MATRIX4* pm)
{
    const float(*m)[4] = pm->m;
    // Written as "not within" so that a NaN, which compares false with everything, is refused too.
    if (!(fabsf(m[3][3] - 1.0f) <= kAffineSlack && fabsf(m[0][3]) <= kAffineSlack && fabsf(m[1][3]) <= kAffineSlack &&
          fabsf(m[2][3]) <= kAffineSlack))
        return 0;

    float inv[3][3];
    inv[0][0] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    inv[0][1] = m[0][2] * m[2][1] - m[0][1] * m[2][2];
    inv[0][2] = m[0][1] * m[1][2] - m[0][2] * m[1][1];
    inv[1][0] = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    inv[1][1] = m[0][0] * m[2][2] - m[0][2] * m[2][0];
    inv[1][2] = m[0][2] * m[1][0] - m[0][0] * m[1][2];
    inv[2][0] = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    inv[2][1] = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    inv[2][2] = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    const float det = m[0][0] * inv[0][0] + m[0][1] * inv[1][0] + m[0][2] * inv[2][0];

    float(*o)[4] = pOut->m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) o[r][c] = inv[r][c] / det;
        o[r][3] = 0.0f;
    }
    const float tx = m[3][0], ty = m[3][1], tz = m[3][2];
    for (int c = 0; c < 3; ++c) o[3][c] = -(tx * o[0][c] + ty * o[1][c] + tz * o[2][c]);
    o[3][3] = 1.0f;
    return 1;
}

GEVRAST_API(void) MatrixMultiply2(MATRIX4* pOut, const MATRIX4* pa, const MATRIX4* pb) { multiply(pOut, pa, pb); }

GEVRAST_API(void) MatrixMultiply3(MATRIX4* pOut, const MATRIX4* pa, const MATRIX4* pb, const MATRIX4* pc)
{
    multiply(pOut, pa, pb);
    multiply(pOut, pOut, pc);
}

// Columns 0, 1, 2 are the camera's right, up and forward axes; row 3 moves the eye to the
// origin. An up vector parallel to the view direction leaves no up axis, so (0, 1, 0) and then
// (0, 0, 1) stand in for it.
GEVRAST_API(uint32_t) SetViewMatrix(MATRIX4* pOut, const VECTOR3* pEye, const VECTOR3* pAt, const VECTOR3* pUp)
{
    const VECTOR3 eye = *pEye;
    VECTOR3 forward = sub(*pAt, eye);
    float forward_length = length(forward);
    if (forward_length < kShortVector) return 0;
    forward = divided(forward, forward_length);

    const VECTOR3 candidates[3] = {*pUp, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    VECTOR3 up{};
    float up_length = 0.0f;
    int i = 0;
    for (; i < 3; ++i) {
        up = sub(candidates[i], scaled(forward, dot(candidates[i], forward)));
        up_length = length(up);
        if (!(up_length < kShortVector)) break;
    }
    if (i == 3) return 0;
    up = divided(up, up_length);

    VECTOR3 right;
    CrossProduct(&right, &up, &forward);

    identity(pOut);
    float(*o)[4] = pOut->m;
    o[0][0] = right.x, o[1][0] = right.y, o[2][0] = right.z;
    o[0][1] = up.x, o[1][1] = up.y, o[2][1] = up.z;
    o[0][2] = forward.x, o[1][2] = forward.y, o[2][2] = forward.z;
    o[3][0] = -dot(eye, right);
    o[3][1] = -dot(eye, up);
    o[3][2] = -dot(eye, forward);
    return 1;
}

GEVRAST_API(uint32_t) SetProjectionMatrix(MATRIX4* pOut, float fFov, float fAspect, float fNear, float fFar)
{
    if (fabsf(fFar - fNear) < kDepthRangeMin) return 0;
    const float half = fFov / 2.0f;
    const float s = precise_sin(half);
    if (fabsf(s) < kDepthRangeMin) return 0;
    const float c = precise_cos(half);

    memset(pOut, 0, sizeof *pOut);
    const float cot = c / s;
    pOut->m[1][1] = cot;
    pOut->m[0][0] = cot * fAspect;
    pOut->m[2][2] = fFar / (fFar - fNear);
    pOut->m[3][2] = -pOut->m[2][2] * fNear;
    pOut->m[2][3] = 1.0f;
    return 1;
}

GEVRAST_API(void) SetLightTexMatrix(MATRIX4* pOut, const VECTOR3* pCenter, float fRadius)
{
    const VECTOR3 centre = *pCenter;
    const float k = 1.0f / (2.0f * fRadius);
    identity(pOut);
    pOut->m[0][0] = pOut->m[1][1] = pOut->m[2][2] = k;
    pOut->m[3][0] = 0.5f - centre.x * k;
    pOut->m[3][1] = 0.5f - centre.y * k;
    pOut->m[3][2] = 0.5f - centre.z * k;
}

GEVRAST_API(void) ResetTM(TM_DESC* pDesc)
{
    for (int i = 0; i < 14; ++i) pDesc->afParam[i] = (i >= 7 && i <= 9) ? 1.0f : 0.0f;
    identity(&pDesc->mat[0]);
    identity(&pDesc->mat[1]);
}
