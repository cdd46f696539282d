#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "ansi_text.h"
#include "share_block.h"

namespace {

using quenlor::kShareBlockSize;

TEST(ShareBlock, LineOfUpTo63AnsiBytesIsWrittenWithItsNul)
{
    uint8_t block[kShareBlockSize];
    memset(block, 0xEE, sizeof(block));
    std::string line(63, 'x');
    ASSERT_TRUE(quenlor::WriteLineToShareBlock(line, block));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 63), line);
    EXPECT_EQ(block[63], 0);
    EXPECT_EQ(quenlor::ReadShareBlockText(block), line);

    memset(block, 0xEE, sizeof(block));
    ASSERT_TRUE(quenlor::WriteLineToShareBlock("", block));
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[1], 0xEE);  // only the text and its NUL are written
}

TEST(ShareBlock, LongerLineIsRefusedAndTheBlockIsUntouched)
{
    uint8_t block[kShareBlockSize];
    memset(block, 0x5A, sizeof(block));
    EXPECT_FALSE(quenlor::WriteLineToShareBlock(std::string(64, 'x'), block));
    // The limit is in ANSI bytes: 32 Chinese characters take 64 bytes in GBK, 31 and one letter 63.
    std::wstring wide(32, L'\u7535');
    EXPECT_FALSE(quenlor::WriteLineToShareBlock(quenlor::WideToAnsi(wide), block));
    for (uint8_t b : block) ASSERT_EQ(b, 0x5A);
    std::string fits = quenlor::WideToAnsi(std::wstring(31, L'\u7535') + L"1");
    ASSERT_EQ(fits.size(), 63u);
    EXPECT_TRUE(quenlor::WriteLineToShareBlock(fits, block));
    EXPECT_EQ(quenlor::ReadShareBlockText(block), fits);
}

TEST(ShareBlock, OnlyTheExactWordAsksTheLauncherToClose)
{
    uint8_t block[kShareBlockSize] = {};
    memcpy(block, "Dangerou", 9);
    EXPECT_TRUE(quenlor::IsCloseRequest(block));
    memcpy(block, "Dangerous", 10);
    EXPECT_FALSE(quenlor::IsCloseRequest(block));
    memset(block, 0, sizeof(block));
    memcpy(block, "Dangero", 7);
    EXPECT_FALSE(quenlor::IsCloseRequest(block));
}

TEST(ShareBlock, BlockWithoutNulHoldsNoText)
{
    uint8_t block[kShareBlockSize + 8];  // bytes past the block must not be looked at
    memset(block, 'D', sizeof(block));
    block[kShareBlockSize] = 0;
    bool terminated = true;
    EXPECT_EQ(quenlor::ReadShareBlockText(block, &terminated), "");
    EXPECT_FALSE(terminated);
    memcpy(block, "Dangerou", 8);  // the word without its NUL, filler after it
    EXPECT_FALSE(quenlor::IsCloseRequest(block));
}

}  // namespace
