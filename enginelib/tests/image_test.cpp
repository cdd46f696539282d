// 2-bit masks, pixel conversions, attenuation map, resampling, borders, TGA dumps, colour words.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "GevrastSSE.h"

namespace {

TEST(TwoBitImage, SetAddAndSubSaturateAndLeaveTheOtherPixelsOfTheByteAlone)
{
    uint8_t image[4] = {0, 0, 0b10011100, 0};  // row length 4: row 2 is byte 2, pixels 0, 3, 1, 2
    SubPixel2BitImage(image, 2, 2, 4, 0xDEAD, 3);  // 1 - 3 stops at 0
    EXPECT_EQ(image[2], 0b10001100);
    AddPixel2BitImage(image, 1, 2, 4, 0, 2);  // 3 + 2 stops at 3
    EXPECT_EQ(image[2], 0b10001100);
    AddPixel2BitImage(image, 3, 2, 4, 0, 5);  // 2 + (5 & 3) stops at 3
    EXPECT_EQ(image[2], 0b11001100);
    SubPixel2BitImage(image, 1, 2, 4, 0, 1);
    EXPECT_EQ(image[2], 0b11001000);
    SetPixel2BitImage(image, 0, 2, 4, 0, 0xFFFFFFFE);  // only the low two bits count
    EXPECT_EQ(image[2], 0b11001010);
    // The bit position comes from x alone: (5, 1) with row length 8 is byte 3, pixel 1.
    SetPixel2BitImage(image, 5, 1, 8, 0, 3);
    EXPECT_EQ(image[3], 0b00001100);
    EXPECT_EQ(image[0] | image[1], 0);
}

TEST(TwoBitImage, ConversionsTo8BitReverseEachGroupAndBackKeepNaturalOrder)
{
    const uint8_t src[2] = {0b11100100, 0b00000011};  // pixels 0,1,2,3 = 0,1,2,3; then 3,0,0,0
    uint8_t wide[9];
    memset(wide, 0xEE, sizeof(wide));
    Convert2BitTo8BitImage(wide, src, 4, 2);
    const uint8_t expected[9] = {192, 128, 64, 0, 0, 0, 0, 192, 0xEE};
    EXPECT_EQ(memcmp(wide, expected, 9), 0);

    uint8_t back[3] = {0, 0, 0xEE};
    Convert8BitTo2BitImage(back, wide, 4, 2);
    EXPECT_EQ(back[0], 0b00011011);
    EXPECT_EQ(back[1], 0b11000000);
    EXPECT_EQ(back[2], 0xEE);
    // Only the top two bits of each source byte count.
    const uint8_t noisy[4] = {0x3F, 0x7F, 0xBF, 0xFF};
    Convert8BitTo2BitImage(back, noisy, 2, 2);
    EXPECT_EQ(back[0], 0b11100100);
}

TEST(TwoBitImage, ConversionTo16BitWritesWhiteWithDoubledAlphaRowByRowAtThePitch)
{
    const uint8_t src[4] = {0b11100100, 0x00, 0xFF, 0b00011011};  // 8 x 2 pixels
    uint16_t dst[2][10];
    memset(dst, 0x11, sizeof(dst));
    Convert2BitTo16BitImageWithPitch(dst, src, 8, 2, sizeof(dst[0]));
    const uint16_t row0[8] = {0x0FFF, 0x5FFF, 0xAFFF, 0xFFFF, 0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF};
    const uint16_t row1[8] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xAFFF, 0x5FFF, 0x0FFF};
    EXPECT_EQ(memcmp(dst[0], row0, sizeof(row0)), 0);
    EXPECT_EQ(memcmp(dst[1], row1, sizeof(row1)), 0);
    EXPECT_EQ(dst[0][8], 0x1111);  // the gap between rows is not written
    EXPECT_EQ(dst[1][9], 0x1111);
}

TEST(TexturePlanes, TexelsLandAsR5G6B5AtTheirPositionsLaterOnesWinning)
{
    std::vector<TEXEL_RECORD> t1(2), t2(1);
    memset(t1.data(), 0xCC, sizeof(TEXEL_RECORD) * 2);
    memset(t2.data(), 0xCC, sizeof(TEXEL_RECORD));
    t1[0].dwColor = 0xFFFF0000; t1[0].wX = 1; t1[0].wY = 0;  // red
    t1[1].dwColor = 0x0000FF00; t1[1].wX = 2; t1[1].wY = 1;  // green
    t2[0].dwColor = 0x80F80408; t2[0].wX = 2; t2[0].wY = 1;  // overwrites the green one
    TEXTURE_PLANE planes[2];
    memset(planes, 0xCC, sizeof(planes));
    planes[0].dwTexelNum = 2; planes[0].pTexels = t1.data();
    planes[1].dwTexelNum = 1; planes[1].pTexels = t2.data();
    uint16_t surface[2][4] = {};
    SetBitmapFromTexturePlane(surface, sizeof(surface[0]), planes, 1);
    EXPECT_EQ(surface[0][1], 0xF800);
    EXPECT_EQ(surface[1][2], 0x07E0);
    SetBitmapFromTexturePlane(surface, sizeof(surface[0]), planes, 2);
    EXPECT_EQ(surface[1][2], 0xF800 | 0x0020 | 0x0001);
    EXPECT_EQ(surface[0][0] | surface[0][2] | surface[0][3] | surface[1][0] | surface[1][1] | surface[1][3], 0);
}

TEST(AttenuationMap, InteriorFallsOffWithTheSquaredDistanceBorderUntouched)
{
    uint8_t map[5][5];
    memset(map, 0xAB, sizeof(map));
    Create8BitsAttenuationMap(&map[0][0], 5, 5, 2);
    EXPECT_EQ(map[2][2], 255);
    EXPECT_EQ(map[1][2], 191);  // distance² 1: trunc(3/4 · 255)
    EXPECT_EQ(map[2][3], 191);
    EXPECT_EQ(map[1][1], 127);  // distance² 2: trunc(2/4 · 255)
    EXPECT_EQ(map[3][3], 127);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(map[0][i], 0xAB);
        EXPECT_EQ(map[4][i], 0xAB);
        EXPECT_EQ(map[i][0], 0xAB);
        EXPECT_EQ(map[i][4], 0xAB);
    }
    // Radius 5 over an 11 x 11 map (centre (5, 5)). At distance² 20 the ratio is 1/5, which binary
    // floating point cannot hold exactly; the truncation must still give 51, not 50.
    uint8_t big[11][11];
    memset(big, 0xAB, sizeof(big));
    Create8BitsAttenuationMap(&big[0][0], 11, 11, 5);
    EXPECT_EQ(big[5][5], 255);
    EXPECT_EQ(big[3][1], 51);   // dx 4, dy 2
    EXPECT_EQ(big[5][1], 91);   // distance² 16: trunc(9/25 · 255)
    EXPECT_EQ(big[1][2], 0);    // distance² 25: at the radius
    EXPECT_EQ(big[1][1], 0);    // distance² 32: beyond it
    // Nothing is written when there is no interior.
    uint8_t thin[2][8];
    memset(thin, 0xAB, sizeof(thin));
    Create8BitsAttenuationMap(&thin[0][0], 8, 2, 4);
    for (auto& r : thin) for (uint8_t b : r) EXPECT_EQ(b, 0xAB);
}

TEST(Resize, NearestNeighbourScatterKeepsTheLastPixelAndLeavesUnmappedPixels)
{
    uint32_t b[16];
    for (uint32_t i = 0; i < 16; ++i) b[i] = i;  // (x, y) = x + 4y
    uint32_t a[4] = {99, 99, 99, 99};
    EXPECT_EQ(ResizeImage(a, 2, 2, b, 4, 4, 4), 1u);
    EXPECT_EQ(a[0], 5u);   // B (1, 1)
    EXPECT_EQ(a[1], 7u);   // B (3, 1)
    EXPECT_EQ(a[2], 13u);  // B (1, 3)
    EXPECT_EQ(a[3], 15u);  // B (3, 3) lands on A (1, 1)

    // Enlarging: pixels of A that no pixel of B reaches keep what they had.
    const uint8_t small[2][2][3] = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}};
    uint8_t large[3][3][3];
    memset(large, 0, sizeof(large));
    EXPECT_EQ(ResizeImage(large, 3, 3, small, 2, 2, 3), 1u);  // scale 1.5: targets 0 and 1
    EXPECT_EQ(large[0][0][0], 1);
    EXPECT_EQ(large[0][1][2], 6);
    EXPECT_EQ(large[1][1][0], 10);
    EXPECT_EQ(large[2][2][0], 0);
    EXPECT_EQ(large[0][2][0], 0);
    EXPECT_EQ(ResizeImage(large, 3, 3, small, 0, 2, 3), 1u);
}

TEST(Border, OnePixelFrameOfTheValueAtThePitch)
{
    uint16_t s16[3][6];
    memset(s16, 0, sizeof(s16));
    SetOutLineBorder2Bytes(s16, 4, 3, sizeof(s16[0]), 0xABCD1234);
    const uint16_t expect16[3][6] = {{0x1234, 0x1234, 0x1234, 0x1234, 0, 0},
                                     {0x1234, 0, 0, 0x1234, 0, 0},
                                     {0x1234, 0x1234, 0x1234, 0x1234, 0, 0}};
    EXPECT_EQ(memcmp(s16, expect16, sizeof(s16)), 0);

    uint32_t s32[4][5];
    memset(s32, 0, sizeof(s32));
    SetOutLineBorder4Bytes(s32, 3, 4, sizeof(s32[0]), 0xABCD1234);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool edge = x < 3 && (y == 0 || y == 3 || x == 0 || x == 2);
            EXPECT_EQ(s32[y][x], edge ? 0xABCD1234u : 0u) << x << "," << y;
        }
    uint32_t one = 0;
    SetOutLineBorder4Bytes(&one, 1, 1, 4, 7);
    EXPECT_EQ(one, 7u);
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

std::string temp_path(const char* name)
{
    return ::testing::TempDir() + name;
}

TEST(WriteTga, HeaderAndBottomUpBgrRowsFromEachDepth)
{
    const std::string path = temp_path("gevrast_tga_test.tga");
    // 32 bits, 2 x 1: 18 + 6 bytes, depth 24 whatever the source.
    const uint8_t px32[8] = {1, 2, 3, 0xFF, 4, 5, 6, 0xFF};
    ASSERT_EQ(WriteTGA(path.c_str(), px32, 2, 1, 8, 32), 1u);
    std::vector<uint8_t> f = read_file(path);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0};
    ASSERT_EQ(f.size(), 24u);
    EXPECT_EQ(memcmp(f.data(), header, 18), 0);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.end()), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));

    // 24 bits, 1 x 2 with a padded pitch: the last row comes first.
    const uint8_t px24[2][4] = {{10, 11, 12, 0xEE}, {20, 21, 22, 0xEE}};
    ASSERT_EQ(WriteTGA(path.c_str(), px24, 1, 2, 4, 24), 1u);
    f = read_file(path);
    ASSERT_EQ(f.size(), 24u);
    EXPECT_EQ(f[12], 1);
    EXPECT_EQ(f[14], 2);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.end()), (std::vector<uint8_t>{20, 21, 22, 10, 11, 12}));

    // 16 bits R5G6B5: each channel's bits moved to the top of its byte.
    const uint16_t px16[3] = {0xF800, 0x07E0, 0xFFFF};
    ASSERT_EQ(WriteTGA(path.c_str(), px16, 3, 1, 6, 16), 1u);
    f = read_file(path);
    ASSERT_EQ(f.size(), 27u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.end()),
              (std::vector<uint8_t>{0, 0, 0xF8, 0, 0xFC, 0, 0xF8, 0xFC, 0xF8}));
    remove(path.c_str());

    EXPECT_EQ(WriteTGA(temp_path("no_such_dir/x.tga").c_str(), px32, 2, 1, 8, 32), 0u);
}

#if !defined(_WIN32)
// An independent reader must accept the file as a 24-bit image of the right size.
TEST(WriteTga, AnImageToolOpensTheFile)
{
    if (system("command -v identify >/dev/null 2>&1") != 0) GTEST_SKIP() << "no identify on this machine";
    const std::string path = temp_path("gevrast_identify.tga");
    std::vector<uint32_t> px(7 * 5);
    for (size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x030507);
    ASSERT_EQ(WriteTGA(path.c_str(), px.data(), 7, 5, 28, 32), 1u);
    const std::string out = path + ".txt";
    const std::string cmd = "identify -format '%w %h %m %z' '" + path + "' > '" + out + "' 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0);
    std::vector<uint8_t> text = read_file(out);
    EXPECT_EQ(std::string(text.begin(), text.end()), "7 5 TGA 8");
    remove(path.c_str());
    remove(out.c_str());
}
#endif

TEST(ColorWords, PackingTruncatesWithoutClampingAndUnpackingDividesBy255)
{
    EXPECT_EQ(COLORtoDWORD(1.0f, 0.5f, 0.0f, 1.0f), 0xFFFF7F00u);
    EXPECT_EQ(COLORtoDWORD(0.0f, 0.0f, 1.0f, 0.0f), 0x000000FFu);
    // 2.0 · 255 = 510 keeps its low 8 bits; nothing is clamped.
    EXPECT_EQ(COLORtoDWORD(2.0f, 0.0f, 0.0f, 0.0f), 0x00FE0000u);

    float r, g, b, a;
    DWORDtoCOLOR(0x80FF0033u, &r, &g, &b, &a);
    EXPECT_FLOAT_EQ(a, 128.0f / 255.0f);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(g, 0.0f);
    EXPECT_FLOAT_EQ(b, 51.0f / 255.0f);
    DWORDtoCOLOR(0xFF00FF00u, &r, &g, &b, &a);
    EXPECT_EQ(COLORtoDWORD(r, g, b, a), 0xFF00FF00u);
}

TEST(PowerOfTwo, LargestNotAboveTheValueButAtLeastTwo)
{
    const struct { uint32_t in, out; } cases[] = {
        {0, 2}, {1, 2}, {3, 2}, {4, 4}, {7, 4}, {8, 8}, {1000, 512}, {1024, 1024}, {0x7FFFFFFF, 0x40000000}};
    for (const auto& c : cases) {
        uint32_t stored = 0;
        EXPECT_EQ(Set2PowValueLess(&stored, c.in), c.out) << c.in;
        EXPECT_EQ(stored, c.out) << c.in;
    }
}

}  // namespace
