// Collision and intersection tests: rays against triangles and bounding boxes (picking), spheres
// against spheres, boxes and planes, lines against planes, and a box-against-box contact test.
//
// Conventions are those of gevrast/math.h (left-handed, row vectors) and gevrast/mesh.h (a
// triangle's front is the side its (c1 - c0) x (c2 - c0) normal points to). Results are 1 for a
// hit and 0 for a miss unless stated. The sphere tests are strict: touching is not colliding.
// A ray's t is in units of its direction's length and may be negative (a hit behind the origin);
// callers that want only forward hits test t themselves. Nothing allocates.
#pragma once

#include "gevrast/api.h"
#include "gevrast/math.h"
#include "gevrast/viewvolume.h"

// A pixel on the screen.
typedef struct SCREEN_POINT {
    int32_t x, y;
} SCREEN_POINT;

// A viewport in pixels; a point on its edge is inside.
typedef struct VIEWPORT_RECT {
    int16_t left, top, right, bottom;
} VIEWPORT_RECT;

#ifdef __cplusplus
static_assert(sizeof(SCREEN_POINT) == 8, "SCREEN_POINT is two 32-bit integers");
static_assert(sizeof(VIEWPORT_RECT) == 8, "VIEWPORT_RECT is four 16-bit integers");
#endif

// ---- Rays -----------------------------------------------------------------------------------

// Ray (origin, direction) against triangle c0 c1 c2. With fCull non-zero only a triangle whose
// front faces the ray's origin can be hit. On a hit *pT is the ray parameter and *pU, *pV the
// barycentric weights of c1 and c2; pHit (may be null) receives c0 + u (c1 - c0) + v (c2 - c0).
// An edge of the triangle counts as inside. A miss after the determinant test may still have
// written unscaled u (and v) values.
GEVRAST_API(uint32_t) IntersectTriangle(VECTOR3* pHit, const VECTOR3* pOrigin, const VECTOR3* pDirection,
                                        const VECTOR3* pc0, const VECTOR3* pc1, const VECTOR3* pc2, float* pT,
                                        float* pU, float* pV, uint32_t dwCull);
// Ray against the mesh's box, tried against its bounding sphere first. Back faces are culled, so
// a ray's line meets only the face it enters the box through (possibly behind the origin: check
// *pT >= 0 for forward hits). *pT gets the smallest t hit, pHit the point of each triangle hit
// in turn; for a box these are the same point.
GEVRAST_API(uint32_t) IsCollisionMeshAndRay(VECTOR3* pHit, float* pT, const BOUNDING_MESH* pMesh,
                                            const VECTOR3* pOrigin, const VECTOR3* pDirection);
// Picking: the ray through a pixel of the viewport against the mesh's box. A pixel outside the
// viewport misses without computing a ray.
GEVRAST_API(uint32_t) IsCollisionMeshWithScreenCoord(VECTOR3* pHit, float* pT, const BOUNDING_MESH* pMesh,
                                                     const MATRIX4* pView, const MATRIX4* pProj,
                                                     const SCREEN_POINT* pScreen, const VIEWPORT_RECT* pViewport);
// The world-space ray through pixel (x, y) of a width x height screen: origin at the camera,
// direction through the pixel at view depth 1 (not normalised). Returns pOrigin. When the view
// matrix is not affine (no inverse) both vectors are set to the invalid float 0xFFC00000, which
// every later test misses and IsValidVector3 reports.
GEVRAST_API(VECTOR3*) CalcRay(VECTOR3* pOrigin, VECTOR3* pDirection, uint32_t dwX, uint32_t dwY, uint32_t dwWidth,
                              uint32_t dwHeight, const MATRIX4* pProj, const MATRIX4* pView);

// ---- Grids, lines and planes ----------------------------------------------------------------

// Grid cell (a, b) of a columns x rows grid to world coordinates:
// x = (a / columns) * width + x0, z = (b / rows) * depth + z0. The two reserved floats are not read.
GEVRAST_API(void) CalcXZ(float* pX, float* pZ, uint32_t dwA, uint32_t dwB, float fZ0, float fX0, float fReserved0,
                         float fReserved1, float fWidth, float fDepth, uint32_t dwColumns, uint32_t dwRows);
// Where the line p0 -> p1 meets the plane: p0 + (p1 - p0) t, t not limited to [0, 1]. Returns
// 0 (nothing written) when the line is parallel to the plane.
GEVRAST_API(uint32_t) CalcIntersectPointLineAndPlane(VECTOR3* pOut, const PLANE* pPlane, const VECTOR3* p0,
                                                     const VECTOR3* p1, float* pT);
// The point of the line a -> b nearest to p: a + (b - a) t, t not clamped (a = b gives a
// non-finite t).
GEVRAST_API(void) FindNearestVertexOnLine(VECTOR3* pOut, float* pT, const VECTOR3* pa, const VECTOR3* pb,
                                          const VECTOR3* pp);

// ---- Spheres --------------------------------------------------------------------------------

// 1 when the sum of the radii is strictly greater than the distance of the centres.
GEVRAST_API(uint32_t) IsCollisionSpherAndSphere(const VECTOR3* pCenter1, float fRadius1, const VECTOR3* pCenter2,
                                                float fRadius2);
// Sphere (centre in x, y, z, radius in w) against a box (eight corners, BOUNDING_MESH order):
// 0 when it lies wholly outside one of the six face planes, else 1. Conservative: a sphere off
// an edge or corner may pass without touching the box.
GEVRAST_API(uint32_t) IsCollisionSphereAndBox(const VECTOR4* pSphere, const VECTOR3* pCorners);
// 1 when the plane passes strictly closer to the centre than the radius.
GEVRAST_API(uint32_t) IsCollisionSphereAndPlane(const VECTOR3* pCenter, float fRadius, const PLANE* pPlane);

// ---- Box against box ------------------------------------------------------------------------

// Casts box A's edges, each way, against box B's outward triangles and returns how many edge
// hits lie within the edges. pPoints (room for four) receives the first four hit points.
// pOutBox gets box A's corners with each hit edge's end corner moved to its hit point. The 24
// directed edges form six groups of four parallel ones (g = 0 to 2 the edges one way, 3 to 5 the
// same edges reversed); each edge carries a pass value, 0 or 1 for the way it was cast when it
// hit and 3 when it did not. Bit g of *pMask is set when the group's fourth edge hit and the
// group's four pass values add up to an even number.
GEVRAST_API(uint32_t) CollisionTestBoxToBox(VECTOR3* pPoints, uint32_t* pMask, VECTOR3* pOutBox,
                                            const VECTOR3* pBoxA, const VECTOR3* pBoxB);
