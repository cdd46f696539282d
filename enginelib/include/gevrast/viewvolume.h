// View volumes, planes, clipping and culling for the renderer.
//
// A view volume is a camera position, four side planes (left, right, bottom, top) whose normals
// point OUT of the volume, and a far distance. A point is inside a plane when its signed
// distance n . p + d is at most 0. There is no near or far plane: depth is bounded by one sphere
// test, |position - p| against the far distance.
//
// Conventions are those of gevrast/math.h (left-handed, row vectors). Records are passed by
// address, scalars by value; 1 means true, 0 false. Nothing allocates and nothing checks for null
// unless a function says so.
#pragma once

#include "gevrast/api.h"
#include "gevrast/math.h"

// Unit normal (a, b, c) and offset d: the signed distance of p is a*p.x + b*p.y + c*p.z + d.
typedef struct PLANE {
    float a, b, c, d;
} PLANE;

typedef struct VIEW_VOLUME {
    VECTOR3 v3Position;    // the eye
    PLANE plane[4];        // left, right, bottom, top; normals face outwards
    float fFarDistance;    // radius of the depth sphere around the eye
    uint32_t dwOrtho;      // 1 when built by MakeViewVolumeWithOrtho, else 0
    float fOrthoWidth;     // the width given to MakeViewVolumeWithOrtho
    VECTOR3 v3FarCorner[4];  // MakeViewVolume only: top-right, top-left, bottom-left, bottom-right
} VIEW_VOLUME;

// A light as ClipLightWithRS reads it; the reserved bytes belong to the caller.
typedef struct LIGHT_DESC {
    uint8_t bReserved0[12];
    VECTOR3 v3Center;
    float fRadius;
    uint8_t bReserved1[48];
    uint32_t dwUserValue;  // handed back in LIGHT_HIT
    uint8_t bReserved2[8];
} LIGHT_DESC;

// One light that reaches a mesh. ClipLightWithRS writes dwUserValue and bIndex only.
typedef struct LIGHT_HIT {
    uint32_t dwUserValue;
    uint8_t bIndex;
    uint8_t bReserved[3];
} LIGHT_HIT;

// Outcode bits of CreateViewPortFlag, with x' = x/w, y' = y/w, q = 1/w. A comparison with a NaN
// counts as outside, so a NaN sets both bits of its axis.
#define VIEWPORT_FLAG_RIGHT 0x40   // x' > 1
#define VIEWPORT_FLAG_TOP 0x20     // y' > 1
#define VIEWPORT_FLAG_NEAR 0x10    // q > 1 (w < 1)
#define VIEWPORT_FLAG_LEFT 0x08    // x' < -1
#define VIEWPORT_FLAG_BOTTOM 0x04  // y' < -1
#define VIEWPORT_FLAG_BEHIND 0x02  // q < 0 (w < 0)

#ifdef __cplusplus
#include <stddef.h>
static_assert(sizeof(PLANE) == 16 && offsetof(PLANE, d) == 12, "PLANE is a, b, c, d");
static_assert(offsetof(VIEW_VOLUME, plane) == 12, "the planes follow the position");
static_assert(offsetof(VIEW_VOLUME, fFarDistance) == 76, "far distance after four planes");
static_assert(offsetof(VIEW_VOLUME, dwOrtho) == 80, "ortho flag at byte 80");
static_assert(offsetof(VIEW_VOLUME, fOrthoWidth) == 84, "ortho width at byte 84");
static_assert(offsetof(VIEW_VOLUME, v3FarCorner) == 88, "far corners at byte 88");
static_assert(sizeof(VIEW_VOLUME) == 136, "VIEW_VOLUME is 136 bytes");
static_assert(sizeof(LIGHT_DESC) == 88, "LIGHT_DESC records are packed 88 bytes apart");
static_assert(offsetof(LIGHT_DESC, v3Center) == 12 && offsetof(LIGHT_DESC, fRadius) == 24,
              "light centre at byte 12, radius at byte 24");
static_assert(offsetof(LIGHT_DESC, dwUserValue) == 76, "light user value at byte 76");
static_assert(sizeof(LIGHT_HIT) == 8 && offsetof(LIGHT_HIT, bIndex) == 4, "LIGHT_HIT is value, index byte, 3 spare");
#endif

// ---- Planes ---------------------------------------------------------------------------------

// Plane through pPoints[0..2]: normal = normalise((p1 - p0) x (p2 - p0)), d = -(normal . p0).
// A degenerate triangle gives non-finite values. Returns 1.
GEVRAST_API(uint32_t) CalcPlaneEquation(PLANE* pOut, const VECTOR3* pPoints);
// 1 when the normals' dot product is at least 0.95 and the offsets differ by at most 1.
GEVRAST_API(uint32_t) ComparePlane(const PLANE* pa, const PLANE* pb);
// Signed distance of the centre from the plane (a sphere's radius plays no part).
GEVRAST_API(float) DistanceFromSphereAndPlane(const VECTOR3* pCenter, const PLANE* pPlane);

// ---- Building view volumes ------------------------------------------------------------------

// Perspective camera: fFov is the full horizontal angle (radians), the half height is the half
// width / fAspect. Fills the far corners; leaves fOrthoWidth alone.
GEVRAST_API(void) MakeViewVolume(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* pAt, const VECTOR3* pUp,
                                 float fFov, float fAspect, float fFar);
// Orthographic camera fWidth wide and fWidth / fAspect high. The far corners are not touched.
GEVRAST_API(void) MakeViewVolumeWithOrtho(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* pAt,
                                          const VECTOR3* pUp, float fWidth, float fAspect, float fFar);
// A square cone from the eye toward a sphere; pSphere holds the centre in x, y, z and the radius
// in w (the layout of a BOUNDING_MESH's centre and radius). The field of view handed to
// MakeViewVolume is asin(radius / distance) itself, so the cone's half-angle is half the angle
// under which the radius is seen. Returns 0 and leaves pOut alone when the eye is inside or on
// the sphere.
GEVRAST_API(uint32_t) MakeViewVolumeIncludingSphere(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR4* pSphere,
                                                    float fFar);
// The volume through a picking rectangle p1..p4 (top-left, top-right, bottom-right, bottom-left
// as seen from the eye); the far distance is the eye's distance from the rectangle's plane.
// Returns pOut.
GEVRAST_API(VIEW_VOLUME*) MakeViewVolumeWithSelectRange(VIEW_VOLUME* pOut, const VECTOR3* pEye, const VECTOR3* p1,
                                                        const VECTOR3* p2, const VECTOR3* p3, const VECTOR3* p4);

// ---- Tests against a view volume ------------------------------------------------------------

// 1 when the point is inside (or on) all four side planes; the far distance is not used.
GEVRAST_API(uint32_t) ClipVertexWithViewVolume(const VIEW_VOLUME* pVolume, const VECTOR3* pPoint);
// 0 when the mesh surely lies outside: its sphere beyond the far distance or wholly outside a
// plane, or all eight box corners on the outer side of one plane (a corner exactly on the plane
// counts as outside). A mesh whose corner 0 equals corner 4 is judged by its sphere alone. A
// null mesh is visible. dwReserved is not used.
GEVRAST_API(uint32_t) ClipRenderObjectWithViewVolume(const VIEW_VOLUME* pVolume, const BOUNDING_MESH* pMesh,
                                                     uint32_t dwReserved);
// Writes one entry for each light j < dwCount whose sphere overlaps the mesh's sphere (sum of the
// radii strictly above the centre distance): the light's dwUserValue and the index byte
// (dwFirst + j) mod 256. Returns the number of entries written.
GEVRAST_API(uint32_t) ClipLightWithRS(LIGHT_HIT* pOut, const BOUNDING_MESH* pMesh, const LIGHT_DESC* pLights,
                                      uint32_t dwCount, uint32_t dwFirst);

// ---- Clip space -----------------------------------------------------------------------------

// One outcode byte (VIEWPORT_FLAG_*) per clip-space vertex; z is not used. A count of 0 does
// nothing.
GEVRAST_API(void) CreateViewPortFlag(uint8_t* pOut, const VECTOR4* pVertices, uint32_t dwCount);
// Transforms the eight box corners (BOUNDING_MESH corner order) by the view-projection matrix and
// returns 0 when all of them lie outside one common side (VIEWPORT_FLAG_*), else 1 (possibly
// visible). A box whose corners surround the screen is kept. dwReserved is not used.
GEVRAST_API(uint32_t) ClipBoundingBoxWithViewProjMatrix(const MATRIX4* pViewProj, const VECTOR3* pCorners,
                                                        uint32_t dwReserved);
