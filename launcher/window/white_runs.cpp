#include "white_runs.h"

std::vector<QLPixelRun> FindWhiteRuns(int32_t width, int32_t height, const std::function<uint32_t(int32_t, int32_t)>& pixel)
{
    std::vector<QLPixelRun> runs;
    for (int32_t y = 0; y < height; ++y) {
        int32_t x = 0;
        while (x < width) {
            while (x < width && (pixel(x, y) & 0xFFFFFF) != kShapeWhite) ++x;
            if (x == width) break;
            int32_t start = x;
            while (x < width && (pixel(x, y) & 0xFFFFFF) == kShapeWhite) ++x;
            runs.push_back(QLPixelRun{start, x, y});
        }
    }
    return runs;
}
