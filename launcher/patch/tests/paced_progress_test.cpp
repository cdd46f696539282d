#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "paced_progress.h"

namespace {

using Piece = std::pair<uint32_t, uint32_t>;

struct Shown : quenlor::BodyProgress {
    void OnPiece(uint32_t received, uint32_t missing) override { pieces.push_back({received, missing}); }
    std::vector<Piece> pieces;
};

uint32_t g_now = 0;
uint32_t FakeNow() { return g_now; }

// Feeds a body of `pieces` 8 KiB pieces, the clock moving `step` ms per piece, starting at `start`.
std::vector<Piece> Feed(uint32_t pieces, uint32_t step, uint32_t start = 1000, bool settle = true)
{
    Shown shown;
    quenlor::PacedProgress paced(shown, &FakeNow);
    g_now = start;
    const uint32_t length = pieces * 8192;
    for (uint32_t i = 1; i <= pieces; ++i) {
        g_now += step;
        paced.OnPiece(i * 8192, length - i * 8192);
    }
    if (settle) paced.ShowPending();
    return shown.pieces;
}

TEST(PacedProgress, FastBodyShowsFirstEveryGapAndAlwaysTheEnd)
{
    // 1000 pieces, 1 ms apart: the first, one every 30 ms, and the last.
    std::vector<Piece> shown = Feed(1000, 1);
    ASSERT_GE(shown.size(), 30u);
    EXPECT_LE(shown.size(), 36u);
    EXPECT_EQ(shown.front(), Piece(8192, 999 * 8192));
    EXPECT_EQ(shown.back(), Piece(1000 * 8192, 0));
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GT(shown[i].first, shown[i - 1].first) << i;  // the same values in the same order
        EXPECT_EQ(shown[i].first + shown[i].second, 1000u * 8192) << i;
    }
}

TEST(PacedProgress, SlowBodyShowsEveryPiece)
{
    std::vector<Piece> shown = Feed(20, 30);
    ASSERT_EQ(shown.size(), 20u);
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(shown[i].first, (i + 1) * 8192);
}

TEST(PacedProgress, TickCountWrapKeepsThePace)
{
    // The tick passes 2^32 in the middle: no piece is held back for 49 days, none shown twice.
    std::vector<Piece> shown = Feed(100, 10, 0xFFFFFF00u);
    EXPECT_GE(shown.size(), 30u);
    EXPECT_LE(shown.size(), 36u);
    EXPECT_EQ(shown.back(), Piece(100 * 8192, 0));
}

TEST(PacedProgress, BodyEndingEarlyShowsWhatArrivedOnlyWhenSettled)
{
    Shown shown;
    quenlor::PacedProgress paced(shown, &FakeNow);
    g_now = 50;
    paced.OnPiece(8192, 3 * 8192);
    paced.OnPiece(2 * 8192, 2 * 8192);  // held back: same millisecond
    ASSERT_EQ(shown.pieces.size(), 1u);
    paced.ShowPending();
    ASSERT_EQ(shown.pieces.size(), 2u);
    EXPECT_EQ(shown.pieces.back(), Piece(2 * 8192, 2 * 8192));
    paced.ShowPending();  // nothing pending any more: not shown twice
    EXPECT_EQ(shown.pieces.size(), 2u);
}

}  // namespace
