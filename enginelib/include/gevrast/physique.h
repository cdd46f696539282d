// Physique skinning: blends each vertex of a skinned mesh over its weighted bones.
//
// Every skinned vertex has a PHYSIQUE_VERTEX that points at its BONE_WEIGHT records. Each
// record names a bone (an index into the caller's MATRIX4 array), a weight, and the vertex's
// position, normal and tangent in that bone's space. For vertex i the transforms compute
//     position = sum over k of  w_k * ((position_k, 1) x M_k)      (translation row included)
//     normal   = sum over k of  w_k * (normal_k x upper 3x3 of M_k)  (tangent likewise)
// with the sums starting at 0 and taking the weights in record order. The weights need not add
// up to 1 and nothing is renormalised. A record with a weight count of 0 gives the empty sums:
// a zero position (and zero normal and tangent where those are written); its weight address is
// never read.
//
// Output record i starts at i * dwStride bytes from pOut, and each transform writes only its
// own fields of it; every other byte stays as it was. A vertex count of 0 writes nothing.
// No argument needs 16-byte alignment and nothing allocates.
#pragma once

#include "gevrast/api.h"
#include "gevrast/math.h"

typedef struct BONE_WEIGHT {
    uint32_t dwBoneIndex;  // index into the caller's MATRIX4 array
    float fWeight;
    VECTOR3 v3Pos;         // in the bone's space
    VECTOR3 v3Normal;
    VECTOR3 v3Tangent;
} BONE_WEIGHT;

// One per skinned vertex, packed to 5 bytes: the weight count and the address of the first of
// that many consecutive BONE_WEIGHT records.
#pragma pack(push, 1)
typedef struct PHYSIQUE_VERTEX {
    uint8_t bWeightCount;
    const BONE_WEIGHT* pWeight;
} PHYSIQUE_VERTEX;
#pragma pack(pop)

// What the transforms write, at a caller-given stride.
typedef struct SKIN_VERTEX {
    VECTOR3 v3Pos;
    VECTOR3 v3Normal;
    float fU, fV;
    VECTOR3 v3Tangent;
} SKIN_VERTEX;

// A texture coordinate pair; the arrays of them have an 8-byte stride.
typedef struct TEXCOORD2 {
    float u, v;
} TEXCOORD2;

#ifdef __cplusplus
#include <stddef.h>
static_assert(sizeof(BONE_WEIGHT) == 44, "BONE_WEIGHT is 44 bytes");
static_assert(offsetof(BONE_WEIGHT, fWeight) == 4 && offsetof(BONE_WEIGHT, v3Pos) == 8 &&
                  offsetof(BONE_WEIGHT, v3Normal) == 20 && offsetof(BONE_WEIGHT, v3Tangent) == 32,
              "BONE_WEIGHT layout");
GEVRAST_LAYOUT32_ASSERT(sizeof(PHYSIQUE_VERTEX) == 5 && offsetof(PHYSIQUE_VERTEX, pWeight) == 1,
              "PHYSIQUE_VERTEX is a byte count and a 32-bit address, unpadded");
static_assert(sizeof(SKIN_VERTEX) == 44, "SKIN_VERTEX is 44 bytes");
static_assert(offsetof(SKIN_VERTEX, v3Normal) == 12 && offsetof(SKIN_VERTEX, fU) == 24 &&
                  offsetof(SKIN_VERTEX, fV) == 28 && offsetof(SKIN_VERTEX, v3Tangent) == 32,
              "SKIN_VERTEX layout");
static_assert(sizeof(TEXCOORD2) == 8, "texture coordinates are packed with an 8-byte stride");
#endif

// Writes the position.
GEVRAST_API(void) PhysiqueTransform(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique, uint32_t dwVertexNum,
                                    uint32_t dwStride, const MATRIX4* pBoneMatrices);

// Writes the position, normal and tangent.
GEVRAST_API(void) PhysiqueTransformPosAndNormal(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                uint32_t dwVertexNum, uint32_t dwStride,
                                                const MATRIX4* pBoneMatrices);

// Writes the position, normal and tangent, and copies u, v from pTexCoord[i].
GEVRAST_API(void) PhysiqueTransformPosAndNormalAndUV(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                     const TEXCOORD2* pTexCoord, uint32_t dwVertexNum,
                                                     uint32_t dwStride, const MATRIX4* pBoneMatrices);

// Writes the position and copies u, v from pTexCoord[i]; normal and tangent stay untouched.
GEVRAST_API(void) PhysiqueTransformPosAndWriteUV(SKIN_VERTEX* pOut, const PHYSIQUE_VERTEX* pPhysique,
                                                 const TEXCOORD2* pTexCoord, uint32_t dwVertexNum,
                                                 uint32_t dwStride, const MATRIX4* pBoneMatrices);
