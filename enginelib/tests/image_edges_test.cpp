// The pixel routines at their limits: empty borders, the 2-bit saturation over every pair of
// values, colour words at the ends of the byte range.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include "GevrastSSE.h"

namespace {

TEST(BorderEdges, AnEmptySurfaceGetsNoFrameAndNothingAroundItIsWritten)
{
    // The surface sits in the middle of a larger block; every byte of the block must stay.
    uint32_t block32[8][8];
    uint16_t block16[8][8];
    const int32_t pitch32 = sizeof(block32[0]), pitch16 = sizeof(block16[0]);
    const uint32_t sizes[][2] = {{0, 0}, {0, 3}, {3, 0}};
    for (const auto& wh : sizes) {
        memset(block32, 0x5A, sizeof(block32));
        memset(block16, 0x5A, sizeof(block16));
        SetOutLineBorder4Bytes(&block32[4][4], wh[0], wh[1], pitch32, 0);
        SetOutLineBorder2Bytes(&block16[4][4], wh[0], wh[1], pitch16, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(block32[y][x], 0x5A5A5A5Au) << wh[0] << "x" << wh[1] << " at " << x << "," << y;
                EXPECT_EQ(block16[y][x], 0x5A5Au) << wh[0] << "x" << wh[1] << " at " << x << "," << y;
            }
    }
}

TEST(BorderEdges, ASingleRowOrColumnIsFilledWhole)
{
    uint16_t s16[3][4];
    memset(s16, 0, sizeof(s16));
    SetOutLineBorder2Bytes(s16, 1, 3, sizeof(s16[0]), 0x11117777);  // one column
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(s16[y][0], 0x7777u);
        EXPECT_EQ(s16[y][1] | s16[y][2] | s16[y][3], 0u);
    }
    uint32_t s32[2][4];
    memset(s32, 0, sizeof(s32));
    SetOutLineBorder4Bytes(s32, 4, 1, sizeof(s32[0]), 9);  // one row
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(s32[0][x], 9u);
        EXPECT_EQ(s32[1][x], 0u);
    }
}

TEST(TwoBitSaturation, EveryOldValueAndOperandInEveryPositionOfTheByte)
{
    for (uint32_t pos = 0; pos < 4; ++pos)
        for (uint32_t old = 0; old < 4; ++old)
            for (uint32_t v = 0; v < 8; ++v) {  // operands above 3 count by their low two bits
                const uint32_t low = v & 3;
                const uint8_t others = 0b10'01'11'10;  // a different pattern in the other pixels
                const unsigned shift = pos * 2;
                const uint8_t start = static_cast<uint8_t>((others & ~(3u << shift)) | old << shift);
                uint8_t px = start;
                AddPixel2BitImage(&px, pos, 0, 4, 0, v);
                const uint32_t sum = old + low > 3 ? 3 : old + low;
                EXPECT_EQ(px, static_cast<uint8_t>((start & ~(3u << shift)) | sum << shift))
                    << "add " << old << "+" << v << " at " << pos;
                px = start;
                SubPixel2BitImage(&px, pos, 0, 4, 0, v);
                const uint32_t diff = old > low ? old - low : 0;
                EXPECT_EQ(px, static_cast<uint8_t>((start & ~(3u << shift)) | diff << shift))
                    << "sub " << old << "-" << v << " at " << pos;
            }
}

TEST(ColorWordEdges, TheEndsOfTheByteRangeAndJustBeyond)
{
    EXPECT_EQ(COLORtoDWORD(0.0f, 0.0f, 0.0f, 0.0f), 0u);
    EXPECT_EQ(COLORtoDWORD(1.0f, 1.0f, 1.0f, 1.0f), 0xFFFFFFFFu);
    // Just below a whole step truncates down: 254.99 is 254.
    EXPECT_EQ(COLORtoDWORD(254.99f / 255.0f, 0.0f, 1.5f / 255.0f, 0.0f), 0x00FE0001u);
    // Not clamped: 256.02 keeps its low byte 0, 257.04 gives 1, 510 gives 0xFE.
    EXPECT_EQ(COLORtoDWORD(1.004f, 1.008f, 0.0f, 2.0f), 0xFE000100u);
    float r, g, b, a;
    DWORDtoCOLOR(0xFF00FF01u, &r, &g, &b, &a);
    EXPECT_EQ(a, 1.0f);
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(g, 1.0f);
    EXPECT_EQ(b, 1.0f / 255.0f);
}

TEST(AttenuationEdges, TheRadiusItselfIsDarkAndOneStepInsideIsNot)
{
    uint8_t map[7][7];
    memset(map, 0xEE, sizeof(map));
    Create8BitsAttenuationMap(&map[0][0], 7, 7, 2);
    EXPECT_EQ(map[3][3], 255);
    EXPECT_EQ(map[3][2], 191);  // distance² 1 of 4
    EXPECT_EQ(map[2][2], 127);  // distance² 2 of 4: 127.5 truncated
    EXPECT_EQ(map[3][1], 0);    // distance² 4: at the radius
    EXPECT_EQ(map[1][1], 0);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(map[0][i], 0xEE);
        EXPECT_EQ(map[6][i], 0xEE);
        EXPECT_EQ(map[i][0], 0xEE);
        EXPECT_EQ(map[i][6], 0xEE);
    }
}

}  // namespace
