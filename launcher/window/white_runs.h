// The outline of the skinned window: the runs of pure white pixels of the shape picture, row by
// row, which together make the window's region.
#pragma once

#include <stdint.h>

#include <functional>
#include <vector>

struct QLPixelRun {
    int32_t left, right, y;  // right is exclusive
};

constexpr uint32_t kShapeWhite = 0xFFFFFF;

// pixel(x, y) gives the colour as 0xRRGGBB (or any order, as long as white is 0xFFFFFF).
std::vector<QLPixelRun> FindWhiteRuns(int32_t width, int32_t height, const std::function<uint32_t(int32_t, int32_t)>& pixel);
