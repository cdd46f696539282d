// Box against box: box A's twelve edges are cast both ways against box B's twelve outward
// triangles (back faces culled), so an edge registers where it enters B from outside.
#include <string.h>

#include "gevrast/collision.h"
#include "math/simd.h"

using namespace gevrast_math;

namespace {

constexpr float kNoHitPoint = bits_to_float(0x497423F0);  // 999999
constexpr uint32_t kNoHitPass = 3;
constexpr uint32_t kMaxContacts = 4;

// Box A's edges as corner pairs in the BOUNDING_MESH corner order, in groups of four parallel
// ones: along x, along y, then corner i + 4 to corner i. The order is part of the results: it
// decides which contacts are kept and which hit point moves a shared corner.
constexpr uint8_t kBoxEdges[12][2] = {{0, 3}, {1, 2}, {5, 6}, {4, 7}, {1, 0}, {2, 3},
                                      {6, 7}, {5, 4}, {4, 0}, {5, 1}, {6, 2}, {7, 3}};

// Box B's triangles as corner triples, each facing out of the box.
constexpr uint8_t kTargetTriangles[12][3] = {{4, 6, 5}, {4, 7, 6}, {3, 1, 2}, {3, 0, 1}, {7, 2, 6}, {7, 3, 2},
                                             {0, 5, 1}, {0, 4, 5}, {0, 7, 4}, {0, 3, 7}, {5, 2, 1}, {5, 6, 2}};

// Entries 12 to 23: the edges reversed, in the group order of entries 0 to 11 (each group of
// four parallel edges keeps its four members together).
constexpr uint8_t kReversedEdges[12][2] = {{7, 4}, {6, 5}, {2, 1}, {3, 0}, {4, 5}, {7, 6},
                                           {3, 2}, {0, 1}, {3, 7}, {2, 6}, {1, 5}, {0, 4}};

struct DirectedEdge {
    uint8_t start, end;
    uint32_t hit;
    VECTOR3 point;
    uint32_t pass;
};

}  // namespace

GEVRAST_API(uint32_t) CollisionTestBoxToBox(VECTOR3* pPoints, uint32_t* pMask, VECTOR3* pOutBox,
                                            const VECTOR3* pBoxA, const VECTOR3* pBoxB)
{
    memmove(pOutBox, pBoxA, 8 * sizeof(VECTOR3));

    DirectedEdge edges[24];
    for (int i = 0; i < 24; ++i) {
        const uint8_t* pair = i < 12 ? kBoxEdges[i] : kReversedEdges[i - 12];
        edges[i] = {pair[0], pair[1], 0, {kNoHitPoint, kNoHitPoint, kNoHitPoint}, kNoHitPass};
    }

    uint32_t count = 0, contacts = 0;
    for (uint32_t pass = 0; pass < 2; ++pass) {
        for (int i = 12 * (int)pass; i < 12 * (int)pass + 12; ++i) {
            DirectedEdge& edge = edges[i];
            const VECTOR3* start = &pBoxA[edge.start];
            VECTOR3 direction;
            store3(&direction, _mm_sub_ps(load3(&pBoxA[edge.end]), load3(start)));
            for (const auto& tri : kTargetTriangles) {
                VECTOR3 point;
                float t, u, v;
                if (!IntersectTriangle(&point, start, &direction, &pBoxB[tri[0]], &pBoxB[tri[1]], &pBoxB[tri[2]], &t,
                                       &u, &v, 1))
                    continue;
                if (!(t >= 0.0f && t <= 1.0f)) continue;  // the line's hit lies off the edge
                edge.hit = 1;
                edge.point = point;
                edge.pass = pass;
                if (contacts < kMaxContacts) pPoints[contacts++] = point;
                ++count;
            }
        }
    }

    for (const DirectedEdge& edge : edges)
        if (edge.hit) pOutBox[edge.end] = edge.point;

    uint32_t mask = 0;
    for (uint32_t g = 0; g < 6; ++g) {
        const DirectedEdge* group = &edges[4 * g];
        const uint32_t passes = group[0].pass + group[1].pass + group[2].pass + group[3].pass;
        if (group[3].hit && passes % 2 == 0) mask |= 1u << g;
    }
    *pMask = mask;
    return count;
}
