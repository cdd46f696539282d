// Vectors, matrices, quaternions and angles: the engine's math types and operations.
//
// Convention: vectors are ROWS and the system is LEFT-HANDED. A point p = (x, y, z) transforms
// as the row (x, y, z, 1) times the matrix, so a matrix keeps its translation in row 3
// (m[3][0..2]) and A x B means "apply A, then B". In view space +x is right, +y up and +z
// into the screen; projection maps depth to [0, 1].
//
// Worked example. Turn a point a quarter turn about +y, then move it by (10, 0, 0):
//     MATRIX4 r, t, m;
//     SetRotationYMatrix(&r, 1.5707964f);   // m00 = cos, m02 = -sin, m20 = sin, m22 = cos
//     VECTOR3 move = {10, 0, 0};
//     TranslateMatrix(&t, &move);           // row 3 = (10, 0, 0, 1)
//     MatrixMultiply2(&m, &r, &t);          // rotate first, then translate
//     VECTOR3 p = {0, 0, 1};
//     TransformVector3_VPTR1(&p, &m, 1);    // (0, 0, 1, 1) x m = (1, 0, 0) + (10, 0, 0)
// p is now (11, 0, 0) up to rounding: +z ("into the screen") turned onto +x ("right").
//
// Every function takes vectors, matrices and quaternions by address and scalars by value
// (32-bit floats, 32-bit unsigned counts). Nothing checks for null and nothing allocates. No
// argument needs 16-byte alignment. Unless a function says otherwise, out may be the same
// object as an input.
#pragma once

#include "gevrast/api.h"

typedef struct VECTOR3 {
    float x, y, z;
} VECTOR3;

typedef struct VECTOR4 {
    float x, y, z, w;
} VECTOR4;

// Row-major: m[r][c]; row 3 holds the translation.
typedef struct MATRIX4 {
    float m[4][4];
} MATRIX4;

// Vector (x, y, z) first, scalar w last.
typedef struct QUATERNION {
    float x, y, z, w;
} QUATERNION;

// A box and a sphere around a mesh. Corners 0-1-2-3 form the face z = max and 4-5-6-7 the face
// z = min, corner i + 4 behind corner i: 0 (min x, max y), 1 (min x, min y), 2 (max x, min y),
// 3 (max x, max y), likewise for 4 to 7.
typedef struct BOUNDING_MESH {
    VECTOR3 v3BoxCorner[8];
    VECTOR3 v3SphereCenter;
    float fSphereRadius;
} BOUNDING_MESH;

// A transform record. ResetTM sets afParam[0..6] to 0, afParam[7..9] to 1, afParam[10..13] to 0
// and both matrices to identity.
typedef struct TM_DESC {
    float afParam[14];
    MATRIX4 mat[2];
} TM_DESC;

#ifdef __cplusplus
#include <stddef.h>
static_assert(sizeof(VECTOR3) == 12, "VECTOR3 arrays are packed with a 12-byte stride");
static_assert(sizeof(VECTOR4) == 16, "VECTOR4 arrays are packed with a 16-byte stride");
static_assert(sizeof(MATRIX4) == 64, "MATRIX4 is 16 floats");
static_assert(sizeof(QUATERNION) == 16 && offsetof(QUATERNION, w) == 12, "QUATERNION keeps w last");
static_assert(sizeof(BOUNDING_MESH) == 112, "BOUNDING_MESH is 112 bytes");
static_assert(offsetof(BOUNDING_MESH, v3SphereCenter) == 96, "sphere centre follows 8 corners");
static_assert(offsetof(BOUNDING_MESH, fSphereRadius) == 108, "sphere radius is the last float");
static_assert(sizeof(TM_DESC) == 46 * 4, "TM_DESC is 46 floats");
static_assert(offsetof(TM_DESC, mat) == 14 * 4, "the matrices start at float 14");
#endif

// ---- Vectors --------------------------------------------------------------------------------
// Operators work per component; division is a true division, never a reciprocal product.

GEVRAST_API(VECTOR3*) SET_VECTOR3(VECTOR3* pv, float f);

GEVRAST_API(void) VECTOR3_ADD_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_SUB_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_MUL_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_DIV_VECTOR3(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_ADD_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f);
GEVRAST_API(void) VECTOR3_SUB_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f);
GEVRAST_API(void) VECTOR3_MUL_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f);
GEVRAST_API(void) VECTOR3_DIV_FLOAT(VECTOR3* pOut, const VECTOR3* pa, float f);
GEVRAST_API(void) VECTOR3_ADDEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_SUBEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_MULEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_DIVEQU_VECTOR3(VECTOR3* pv, const VECTOR3* pb);
GEVRAST_API(void) VECTOR3_ADDEQU_FLOAT(VECTOR3* pv, float f);
GEVRAST_API(void) VECTOR3_SUBEQU_FLOAT(VECTOR3* pv, float f);
GEVRAST_API(void) VECTOR3_MULEQU_FLOAT(VECTOR3* pv, float f);
GEVRAST_API(void) VECTOR3_DIVEQU_FLOAT(VECTOR3* pv, float f);

GEVRAST_API(float) DotProduct(const VECTOR3* pa, const VECTOR3* pb);
// out = a x b; in a left-handed system (0, 1, 0) x (0, 0, 1) = (1, 0, 0).
GEVRAST_API(void) CrossProduct(VECTOR3* pOut, const VECTOR3* pa, const VECTOR3* pb);
// A zero vector gives non-finite components.
GEVRAST_API(void) Normalize(VECTOR3* pOut, const VECTOR3* pv);
GEVRAST_API(float) VECTOR3Length(const VECTOR3* pv);
GEVRAST_API(float) CalcDistance(const VECTOR3* pa, const VECTOR3* pb);
// Cosine of the angle between a and b, and the angle itself (radians, precise arc cosine).
GEVRAST_API(float) CalcCosAngle(const VECTOR3* pa, const VECTOR3* pb);
GEVRAST_API(float) CalcAngle(const VECTOR3* pa, const VECTOR3* pb);

// Only the bit pattern 0xFFC00000 (what an invalid operation produces) counts as invalid;
// other NaNs and infinities are valid. Return 1 when valid, 0 when not.
GEVRAST_API(uint32_t) IsValidFloat(float f);
GEVRAST_API(uint32_t) IsValidVector3(const VECTOR3* pv, uint32_t dwCount);

// ---- Fast angles ----------------------------------------------------------------------------
// Short polynomials for speed: close near zero, rough toward the ends of their ranges (Sin(pi)
// gives about 0.52, ACos(1) about 0.33), and no clamping of the argument. Sin and Cos reduce by
// whole turns and are meant for angles below 2*pi in magnitude.

GEVRAST_API(float) Sin(float fAngle);
GEVRAST_API(float) Cos(float fAngle);
GEVRAST_API(float) ASin(float f);
GEVRAST_API(float) ACos(float f);

// ---- Matrices -------------------------------------------------------------------------------
// The rotation builders use precise sine and cosine.

GEVRAST_API(uint32_t) SetIdentityMatrix(MATRIX4* pm);
GEVRAST_API(void) SetScaleMatrix(MATRIX4* pm, const VECTOR3* pScale);
GEVRAST_API(void) TranslateMatrix(MATRIX4* pm, const VECTOR3* pMove);
GEVRAST_API(void) SetRotationXMatrix(MATRIX4* pm, float fAngle);
GEVRAST_API(void) SetRotationYMatrix(MATRIX4* pm, float fAngle);
GEVRAST_API(void) SetRotationZMatrix(MATRIX4* pm, float fAngle);
// Rotation about an axis as given (not normalised). For the axis (1, 0, 0) this is the
// transpose of SetRotationXMatrix: the two turn in opposite directions.
GEVRAST_API(MATRIX4*) SetRotationMatrix(MATRIX4* pm, const VECTOR3* pAxis, float fAngle);
GEVRAST_API(void) TransposeMatrix(MATRIX4* pm);
// Inverse of an affine matrix (column 3 = (0, 0, 0, 1) within 0.001). Returns 0 and leaves out
// alone for any other matrix. out must not be m.
GEVRAST_API(uint32_t) SetInverseMatrix(MATRIX4* pOut, const MATRIX4* pm);
// out = a x b (a applied first).
GEVRAST_API(void) MatrixMultiply2(MATRIX4* pOut, const MATRIX4* pa, const MATRIX4* pb);
// out = (a x b) x c; out must not be c.
GEVRAST_API(void) MatrixMultiply3(MATRIX4* pOut, const MATRIX4* pa, const MATRIX4* pb, const MATRIX4* pc);
// Look-at view matrix. When up is parallel to the view direction, (0, 1, 0) and then (0, 0, 1)
// stand in for it. Returns 0 (out unchanged) when eye and at meet or no up vector fits.
GEVRAST_API(uint32_t) SetViewMatrix(MATRIX4* pOut, const VECTOR3* pEye, const VECTOR3* pAt, const VECTOR3* pUp);
// Perspective: near maps to depth 0, far to 1, w carries view-space z. Returns 0 (out
// unchanged) when far and near are within 0.01 or the field of view is nearly zero.
GEVRAST_API(uint32_t) SetProjectionMatrix(MATRIX4* pOut, float fFov, float fAspect, float fNear, float fFar);
// Maps the cube around a sphere onto [0, 1] in x, y and z (shadow and light textures).
GEVRAST_API(void) SetLightTexMatrix(MATRIX4* pOut, const VECTOR3* pCenter, float fRadius);
GEVRAST_API(void) ResetTM(TM_DESC* pDesc);

// ---- Batch transforms -----------------------------------------------------------------------
// A VECTOR3 transforms as (v, 1) x M keeping x, y, z (no division by w). A count of 0 does
// nothing.

GEVRAST_API(void) TransformVector3_VPTR1(VECTOR3* pv, const MATRIX4* pm, uint32_t dwCount);
GEVRAST_API(void) TransformVector3_VPTR2(VECTOR3* pDst, const VECTOR3* pSrc, const MATRIX4* pm, uint32_t dwCount);
// In place, for vectors embedded in larger vertex records dwStride bytes apart.
GEVRAST_API(void) TransformNSizeVector3_VPTR1(VECTOR3* pv, uint32_t dwStride, const MATRIX4* pm, uint32_t dwCount);
GEVRAST_API(void) TransformVector4_VPTR2(VECTOR4* pDst, const VECTOR4* pSrc, const MATRIX4* pm, uint32_t dwCount);
GEVRAST_API(void) TransformV3TOV4(VECTOR4* pDst, const VECTOR3* pSrc, const MATRIX4* pm, uint32_t dwCount);

// ---- Quaternions ----------------------------------------------------------------------------

// (axis * sin(angle / 2), cos(angle / 2)); the axis is used as given.
GEVRAST_API(void) QuaternionFromRotation(QUATERNION* pq, const VECTOR3* pAxis, float fAngle);
// out = q2 * q1 (q2 on the left): the matrix of the result is MatrixFromQuaternion(q2) x
// MatrixFromQuaternion(q1).
GEVRAST_API(QUATERNION*) QuaternionMultiply(QUATERNION* pOut, const QUATERNION* pq1, const QUATERNION* pq2);
// Spherical interpolation from q1 (t = 0) to q2 (t = 1), by the fast angles, not renormalised.
// When q1 and q2 lie in opposite hemispheres q1 is NEGATED IN PLACE to take the short way.
GEVRAST_API(QUATERNION*) QuaternionSlerp(QUATERNION* pOut, QUATERNION* pq1, const QUATERNION* pq2, float t);
// Agrees with SetRotationMatrix for a quaternion made from the same unit axis and angle.
GEVRAST_API(MATRIX4*) MatrixFromQuaternion(MATRIX4* pm, const QUATERNION* pq);

// ---- Angles of directions -------------------------------------------------------------------

// out = (yaw in [0, 2*pi), pitch, 0) of a direction; straight up or down gives yaw 0 and pitch
// -pi/2 or pi/2.
GEVRAST_API(void) ConvertFromTo2YPR(const VECTOR3* pDirection, VECTOR3* pOut);
// Rotates position about pivot: first a tilt about the horizontal axis across the heading
// pAngles[1] (skipped unless pAngles[0] lies strictly within (-pi/2, pi/2)), then a turn about
// the vertical axis by fYaw.
GEVRAST_API(void) RotatePositionWithPivot(VECTOR3* pOut, const VECTOR3* pPivot, const VECTOR3* pPosition,
                                          const float* pAngles, float fYaw, float fTilt);
