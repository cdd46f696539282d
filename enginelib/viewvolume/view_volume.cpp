// Planes and the view volume builders. All vector arithmetic is packed single precision with the
// same helpers as the math family, so a plane built here agrees bit for bit with one built from
// CrossProduct, Normalize and DotProduct.
#include <math.h>

#include "gevrast/viewvolume.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

constexpr float kSameNormal = bits_to_float(0x3F733333);  // 0.95
constexpr float kNearlyVertical = bits_to_float(0x3F666666);  // 0.9

inline void make_plane(PLANE* pOut, __m128 p0, __m128 p1, __m128 p2)
{
    __m128 n = normalize3(cross3(_mm_sub_ps(p1, p0), _mm_sub_ps(p2, p0)));
    store_plane(pOut, n, p0);
}

}  // namespace

GEVRAST_API(uint32_t) CalcPlaneEquation(PLANE* pOut, const VECTOR3* pPoints)
{
    make_plane(pOut, load3(&pPoints[0]), load3(&pPoints[1]), load3(&pPoints[2]));
    return 1;
}

GEVRAST_API(uint32_t) ComparePlane(const PLANE* pa, const PLANE* pb)
{
    const float cos_between = _mm_cvtss_f32(dot3(load_normal(pa), load_normal(pb)));
    if (cos_between < kSameNormal) return 0;
    return fabsf(pa->d - pb->d) <= 1.0f ? 1 : 0;
}

GEVRAST_API(float) DistanceFromSphereAndPlane(const VECTOR3* pCenter, const PLANE* pPlane)
{
    return signed_distance(pPlane, load3(pCenter));
}

GEVRAST_API(void) MakeViewVolume(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* pAt, const VECTOR3* pUp,
                                 float fFov, float fAspect, float fFar)
{
    const __m128 eye = load3(pEye);
    const __m128 forward = normalize3(_mm_sub_ps(load3(pAt), eye));
    const __m128 center = _mm_add_ps(eye, _mm_mul_ps(forward, _mm_set1_ps(fFar)));
    const __m128 to_center = _mm_sub_ps(center, eye);

    const float half_width = (float)tan((double)(fFov * 0.5f)) * fFar;
    const __m128 right = _mm_mul_ps(normalize3(cross3(load3(pUp), to_center)), _mm_set1_ps(half_width));
    const float half_height = (1.0f / fAspect) * half_width;
    const __m128 up = _mm_mul_ps(normalize3(cross3(to_center, right)), _mm_set1_ps(half_height));

    const __m128 top_right = _mm_add_ps(_mm_add_ps(center, right), up);
    const __m128 top_left = _mm_add_ps(_mm_sub_ps(center, right), up);
    const __m128 bottom_left = _mm_sub_ps(_mm_sub_ps(center, right), up);
    const __m128 bottom_right = _mm_sub_ps(_mm_add_ps(center, right), up);
    store3(&pOut->v3FarCorner[0], top_right);
    store3(&pOut->v3FarCorner[1], top_left);
    store3(&pOut->v3FarCorner[2], bottom_left);
    store3(&pOut->v3FarCorner[3], bottom_right);

    make_plane(&pOut->plane[0], eye, bottom_left, top_left);
    make_plane(&pOut->plane[1], eye, top_right, bottom_right);
    make_plane(&pOut->plane[2], eye, bottom_right, bottom_left);
    make_plane(&pOut->plane[3], eye, top_left, top_right);

    store3(&pOut->v3Position, eye);
    pOut->fFarDistance = fFar;
    pOut->dwOrtho = 0;
}

GEVRAST_API(void) MakeViewVolumeWithOrtho(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* pAt,
                                          const VECTOR3* pUp, float fWidth, float fAspect, float fFar)
{
    const __m128 eye = load3(pEye);
    const __m128 forward = _mm_sub_ps(load3(pAt), eye);
    const __m128 right = _mm_mul_ps(normalize3(cross3(load3(pUp), forward)), _mm_set1_ps(fWidth / 2.0f));
    const float half_height = (1.0f / fAspect) * length3(right);
    const __m128 up = _mm_mul_ps(normalize3(cross3(forward, right)), _mm_set1_ps(half_height));

    const __m128 right_dir = normalize3(right);
    const __m128 up_dir = normalize3(up);
    store_plane(&pOut->plane[0], negate(right_dir), _mm_sub_ps(eye, right));
    store_plane(&pOut->plane[1], right_dir, _mm_add_ps(eye, right));
    store_plane(&pOut->plane[2], negate(up_dir), _mm_sub_ps(eye, up));
    store_plane(&pOut->plane[3], up_dir, _mm_add_ps(eye, up));

    store3(&pOut->v3Position, eye);
    pOut->fFarDistance = fFar;
    pOut->dwOrtho = 1;
    pOut->fOrthoWidth = fWidth;
}

GEVRAST_API(uint32_t) MakeViewVolumeIncludingSphere(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR4* pSphere,
                                                    float fFar)
{
    const VECTOR3 center = {pSphere->x, pSphere->y, pSphere->z};
    const float radius = pSphere->w;
    const __m128 to_center = _mm_sub_ps(load3(&center), load3(pEye));
    const float distance = length3(to_center);
    if (distance <= radius) return 0;

    const __m128 forward = _mm_div_ps(to_center, _mm_setr_ps(distance, distance, distance, 1.0f));
    const float forward_y = _mm_cvtss_f32(splat<1>(forward));
    const __m128 rough_up = (forward_y > kNearlyVertical || forward_y < -kNearlyVertical)
                                ? _mm_setr_ps(1.0f, 0.0f, 0.0f, 0.0f)
                                : _mm_setr_ps(0.0f, 1.0f, 0.0f, 0.0f);
    const __m128 right = cross3(rough_up, forward);
    VECTOR3 up;
    store3(&up, cross3(forward, right));

    const float fov = (float)asin((double)(radius / distance));
    MakeViewVolume(pOut, pEye, &center, &up, fov, 1.0f, fFar);
    return 1;
}

GEVRAST_API(VIEW_VOLUME*) MakeViewVolumeWithSelectRange(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* p1,
                                                        const VECTOR3* p2, const VECTOR3* p3, const VECTOR3* p4)
{
    const __m128 eye = load3(pEye);
    const __m128 a = load3(p1), b = load3(p2), c = load3(p3), d = load3(p4);
    pOut->dwOrtho = 0;
    store3(&pOut->v3Position, eye);
    make_plane(&pOut->plane[0], eye, d, a);
    make_plane(&pOut->plane[1], eye, b, c);
    make_plane(&pOut->plane[2], eye, c, d);
    make_plane(&pOut->plane[3], eye, a, b);

    PLANE rectangle;
    make_plane(&rectangle, a, b, c);
    pOut->fFarDistance = signed_distance(&rectangle, eye);
    return pOut;
}
