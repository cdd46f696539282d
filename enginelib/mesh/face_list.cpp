// Face lists and the view-dependent index buffers built from them. Each facing test is one
// packed dot product of the face's normal with the viewer, plus the face's d.
#include "gevrast/mesh.h"
#include "math/simd.h"
#include "viewvolume/plane_math.h"

using namespace gevrast_math;
using namespace gevrast_view;

namespace {

constexpr uint16_t kFaceMarker = 0xFFFF;

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
    const __m128 three = _mm_setr_ps(3.0f, 3.0f, 3.0f, 1.0f);
    for (uint32_t f = 0; f < dwFaceNum; ++f) {
        const uint16_t* tri = pIndices + 3 * (size_t)f;
        const __m128 p0 = load3(&pPositions[tri[0]]);
        const __m128 p1 = load3(&pPositions[tri[1]]);
        const __m128 p2 = load3(&pPositions[tri[2]]);
        FACE_DESC* face = &pOut[f];
        store_plane(&face->plane, normalize3(cross3(_mm_sub_ps(p1, p0), _mm_sub_ps(p2, p0))), p0);
        store3(&face->v3Center, _mm_div_ps(_mm_add_ps(_mm_add_ps(p0, p1), p2), three));
        face->wIndex[0] = tri[0];
        face->wIndex[1] = tri[1];
        face->wIndex[2] = tri[2];
        face->wReserved = kFaceMarker;
    }
}

GEVRAST_API(uint32_t) CullBackFace(uint16_t* pOut, const FACE_DESC* pFaces, const VECTOR3* pViewer,
                                   uint32_t dwFaceNum)
{
    const __m128 viewer = load3(pViewer);
    uint32_t written = 0;
    for (uint32_t f = 0; f < dwFaceNum; ++f)
        if (signed_distance(&pFaces[f].plane, viewer) > 0.0f) pOut[written++] = (uint16_t)f;
    return written;
}

GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexList(uint16_t* pOut, const FACE_DESC* pFaces,
                                                        const uint16_t* pFaceIndices, const VECTOR3* pViewer,
                                                        uint32_t dwNum)
{
    const __m128 viewer = load3(pViewer);
    uint32_t written = 0;
    for (uint32_t i = 0; i < dwNum; ++i) {
        const FACE_DESC& face = pFaces[pFaceIndices[i]];
        if (signed_distance(&face.plane, viewer) >= 0.0f) append_face(pOut, written++, face);
    }
    return written;
}

GEVRAST_API(uint32_t) BuildIndexBufferWithFaceIndexListForShadow(uint16_t* pOut, const FACE_DESC* pFaces,
                                                                 const uint16_t* pFaceIndices,
                                                                 const VECTOR3* pViewer,
                                                                 const VECTOR4* pLightSphere, uint32_t dwNum)
{
    const __m128 viewer = load3(pViewer);
    const __m128 light = load3(reinterpret_cast<const VECTOR3*>(pLightSphere));
    const float light_radius = pLightSphere->w;
    uint32_t written = 0;
    for (uint32_t i = 0; i < dwNum; ++i) {
        const FACE_DESC& face = pFaces[pFaceIndices[i]];
        if (!(signed_distance(&face.plane, viewer) >= 0.0f)) continue;
        // The light may sit behind the face's plane by up to its radius and still cast from it.
        const float l = signed_distance(&face.plane, light);
        if (l >= 0.0f || l + light_radius >= 0.0f) append_face(pOut, written++, face);
    }
    return written;
}
