// The twelve edges of a box in the BOUNDING_MESH corner order, as corner pairs: the four
// x-direction edges (0,3), (1,2), (5,6), (4,7), the four y-direction ones, then the four joining
// corner i + 4 to corner i. The box clip test and the box-to-box contact test walk them in this
// order, so the order is part of their results.
#pragma once

#include <stdint.h>

namespace gevrast_mesh {

constexpr uint8_t kBoxEdges[12][2] = {{0, 3}, {1, 2}, {5, 6}, {4, 7}, {1, 0}, {2, 3},
                                      {6, 7}, {5, 4}, {4, 0}, {5, 1}, {6, 2}, {7, 3}};

}  // namespace gevrast_mesh
