// Mesh building: face lists with planes and centroids, back-face culling and view-dependent
// index buffers, per-vertex normal and tangent sums, and a mesh's bounding box and sphere.
//
// A mesh is a VECTOR3 position array (12-byte stride) and a list of 16-bit vertex numbers, three
// per triangle. A triangle's normal is (p1 - p0) x (p2 - p0) (the CalcPlaneEquation winding), so
// a face is seen from its front when the viewer's signed distance from its plane is positive.
//
// Conventions are those of gevrast/math.h (left-handed, row vectors). Every output array belongs
// to the caller and must be large enough; nothing allocates, nothing checks for null. A count of
// 0 writes nothing and returns 0.
#pragma once

#include "gevrast/api.h"
#include "gevrast/math.h"
#include "gevrast/physique.h"
#include "gevrast/viewvolume.h"

// One triangle of a face list.
typedef struct FACE_DESC {
    VECTOR3 v3Center;      // (p0 + p1 + p2) / 3
    PLANE plane;           // unit normal and d
    uint16_t wIndex[3];    // the triangle's vertex numbers
    uint16_t wReserved;    // always 0xFFFF
} FACE_DESC;

#ifdef __cplusplus
#include <stddef.h>
static_assert(sizeof(FACE_DESC) == 36, "FACE_DESC is 36 bytes");
static_assert(offsetof(FACE_DESC, plane) == 12 && offsetof(FACE_DESC, wIndex) == 28 &&
                  offsetof(FACE_DESC, wReserved) == 34,
              "FACE_DESC layout: centroid, plane, three vertex numbers, marker");
#endif

// ---- Face lists -----------------------------------------------------------------------------

// One FACE_DESC per triangle of the index list, in order.
GEVRAST_API(void) BuildFaceList(FACE_DESC* pOut, const VECTOR3* pPositions, const uint16_t* pIndices,
                                uint32_t dwFaceNum);
// Writes the position in the face list of every face whose plane has the viewer strictly in
// front (a viewer in the plane culls the face). Returns how many it wrote.
GEVRAST_API(uint32_t) CullBackFace(uint16_t* pOut, const FACE_DESC* pFaces, const VECTOR3* pViewer,
                                   uint32_t dwFaceNum);
// For each listed face with the viewer in front of or in its plane, appends its three vertex
// numbers to the index buffer. Returns the number of faces appended.
GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexList(uint16_t* pOut, const FACE_DESC* pFaces,
                                                        const uint16_t* pFaceIndices, const VECTOR3* pViewer,
                                                        uint32_t dwNum);
// As above, and the light sphere (centre in x, y, z, radius in w) must also be in front of the
// face's plane or behind it by no more than its radius.
GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexListForShadow(uint16_t* pOut, const FACE_DESC* pFaces,
                                                                 const uint16_t* pFaceIndices,
                                                                 const VECTOR3* pViewer,
                                                                 const VECTOR4* pLightSphere, uint32_t dwNum);

// ---- Vertex normals and tangents ------------------------------------------------------------
// Both ADD each face's vector to the entries of its three vertices: zero the array before and
// normalise each entry after. Normals are weighted by face area (the cross product is not
// normalised). A face with degenerate texture coordinates adds non-finite tangents.

GEVRAST_API(void) SetFaceNormalToVertex(VECTOR3* pNormals, const VECTOR3* pPositions, uint32_t dwReserved,
                                        const uint16_t* pIndices, uint32_t dwFaceNum);
GEVRAST_API(void) SetFaceTangentToVertex(VECTOR3* pTangents, const VECTOR3* pPositions, const TEXCOORD2* pTexCoords,
                                         uint32_t dwReserved, const uint16_t* pIndices, uint32_t dwFaceNum);

// ---- Bounding meshes ------------------------------------------------------------------------

// The axis-aligned box around the positions (corner order of BOUNDING_MESH) and a sphere at its
// centre that encloses the cube of the largest half extent. Returns 1. With no positions the box
// spans the start values, min 1000000 and max -1000000 per axis.
GEVRAST_API(uint32_t) CalcBoundingMesh(const VECTOR3* pPositions, uint32_t dwCount, BOUNDING_MESH* pOut);
// Transforms the corners and the centre as points. The output's radius is NOT written: the
// caller keeps or rescales it.
GEVRAST_API(void) SetTransformBoundingMesh(BOUNDING_MESH* pOut, const BOUNDING_MESH* pSrc, const MATRIX4* pm);
// Writes the 36 corners of the box's twelve outward-facing triangles, one every dwStride bytes,
// and returns the address just past the last one.
GEVRAST_API(void*) CreateVertexListWithBox(void* pOut, uint32_t dwStride, const VECTOR3* pCorners);
// 0 when two of the vertices are exactly equal, else 1.
GEVRAST_API(uint32_t) IsValidTri(const VECTOR3* pa, const VECTOR3* pb, const VECTOR3* pc);
