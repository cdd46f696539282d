// The window outline: only exactly white pixels belong to the window, taken as row runs.
#include <gtest/gtest.h>

#include <vector>

#include "window/white_runs.h"

// Found by argument lookup, so it lives beside QLPixelRun.
bool operator==(const QLPixelRun& a, const QLPixelRun& b)
{
    return a.left == b.left && a.right == b.right && a.y == b.y;
}

namespace {

TEST(WhiteRuns, RunsStopAtAnyNonWhitePixelAndReachTheRightEdge)
{
    // Row 0: white at 1-2 and 4-5 (right edge); row 1: near-white only; row 2: all white.
    const std::vector<std::vector<uint32_t>> picture = {
        {0x000000, 0xFFFFFF, 0xFFFFFF, 0xFFFFFE, 0xFFFFFF, 0xFFFFFF},
        {0xFEFFFF, 0xFFFEFF, 0x7F7F7F, 0x000000, 0xFFFFFE, 0x00FFFF},
        {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},
    };
    std::vector<QLPixelRun> runs = FindWhiteRuns(6, 3, [&](int32_t x, int32_t y) { return picture[y][x]; });
    std::vector<QLPixelRun> expected = {{1, 3, 0}, {4, 6, 0}, {0, 6, 2}};
    EXPECT_EQ(runs, expected);
}

TEST(WhiteRuns, NoWhiteGivesNoWindowAndALeftHalfGivesHalfRows)
{
    EXPECT_TRUE(FindWhiteRuns(8, 4, [](int32_t, int32_t) { return 0x101010u; }).empty());
    std::vector<QLPixelRun> half = FindWhiteRuns(8, 2, [](int32_t x, int32_t) { return x < 4 ? 0xFFFFFFu : 0u; });
    std::vector<QLPixelRun> expected = {{0, 4, 0}, {0, 4, 1}};
    EXPECT_EQ(half, expected);
}

}  // namespace
