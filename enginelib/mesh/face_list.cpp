// Face lists and the view-dependent index buffers built from them. Each facing test is one dot
// product of the face's normal with the viewer, plus the face's d.
#include "gevrast/mesh.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr uint16_t kFaceMarker = 0xFFFF;

// n . p + d for one face, summed x, y, z, then d: the same order, and so the same rounding, as
// the plane tests of the view volumes. Four products and three sums in scalar registers: no
// shuffles to gather a packed sum, which is what a face list of independent planes costs most.
inline float facing(const PLANE& plane, const VECTOR3& p)
{
    return plane.a * p.x + plane.b * p.y + plane.c * p.z + plane.d;
}

inline void append_face(uint16_t* pOut, uint32_t written, const FACE_DESC& face)
{
    uint16_t* slot = pOut + 3 * (size_t)written;
    slot[0] = face.wIndex[0];
    slot[1] = face.wIndex[1];
    slot[2] = face.wIndex[2];
}

}  // namespace

GEVRAST_API(void) BuildFaceList(FACE_DESC* pOut, const VECTOR3* pPositions, const uint16_t* pIndices,
                                uint32_t dwFaceNum)
{
    // Scalar single precision in the lane order of CalcPlaneEquation (cross product, length
    // summed x, y, z, true divisions), so a face's plane equals the one that function builds;
    // one face's three components gain nothing from packing and lose to the shuffles.
    for (uint32_t f = 0; f < dwFaceNum; ++f) {
        const uint16_t* tri = pIndices + 3 * (size_t)f;
        const VECTOR3 &p0 = pPositions[tri[0]], &p1 = pPositions[tri[1]], &p2 = pPositions[tri[2]];
        const float ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
        const float bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
        const float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
        const float length = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(nx * nx + ny * ny + nz * nz)));
        FACE_DESC* face = &pOut[f];
        face->plane.a = nx / length;
        face->plane.b = ny / length;
        face->plane.c = nz / length;
        face->plane.d = -(face->plane.a * p0.x + face->plane.b * p0.y + face->plane.c * p0.z);
        face->v3Center.x = (p0.x + p1.x + p2.x) / 3.0f;
        face->v3Center.y = (p0.y + p1.y + p2.y) / 3.0f;
        face->v3Center.z = (p0.z + p1.z + p2.z) / 3.0f;
        face->wIndex[0] = tri[0];
        face->wIndex[1] = tri[1];
        face->wIndex[2] = tri[2];
        face->wReserved = kFaceMarker;
    }
}

GEVRAST_API(uint32_t) CullBackFace(uint16_t* pOut, const FACE_DESC* pFaces, const VECTOR3* pViewer,
                                   uint32_t dwFaceNum)
{
    const VECTOR3 viewer = *pViewer;
    uint32_t written = 0;
    for (uint32_t f = 0; f < dwFaceNum; ++f)
        if (facing(pFaces[f].plane, viewer) > 0.0f) pOut[written++] = (uint16_t)f;
    return written;
}

GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexList(uint16_t* pOut, const FACE_DESC* pFaces,
                                                        const uint16_t* pFaceIndices, const VECTOR3* pViewer,
                                                        uint32_t dwNum)
{
    const VECTOR3 viewer = *pViewer;
    uint32_t written = 0;
    for (uint32_t i = 0; i < dwNum; ++i) {
        const FACE_DESC& face = pFaces[pFaceIndices[i]];
        if (facing(face.plane, viewer) >= 0.0f) append_face(pOut, written++, face);
    }
    return written;
}

GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexListForShadow(uint16_t* pOut, const FACE_DESC* pFaces,
                                                                 const uint16_t* pFaceIndices,
                                                                 const VECTOR3* pViewer,
                                                                 const VECTOR4* pLightSphere, uint32_t dwNum)
{
    const VECTOR3 viewer = *pViewer;
    const VECTOR3 light = {pLightSphere->x, pLightSphere->y, pLightSphere->z};
    const float light_radius = pLightSphere->w;
    uint32_t written = 0;
    for (uint32_t i = 0; i < dwNum; ++i) {
        const FACE_DESC& face = pFaces[pFaceIndices[i]];
        if (!(facing(face.plane, viewer) >= 0.0f)) continue;
        // The light may sit behind the face's plane by up to its radius and still cast from it.
        const float l = facing(face.plane, light);
        if (l >= 0.0f || l + light_radius >= 0.0f) append_face(pOut, written++, face);
    }
    return written;
}
