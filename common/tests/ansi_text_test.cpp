// The ANSI code page conversion on the players' systems' code page (GBK): exact texts both ways,
// the lead-byte range, and input that cannot be converted.
#include <gtest/gtest.h>

#include <string>

#include "ansi_text.h"

namespace {

using quenlor::AnsiToWide;
using quenlor::IsAnsiLeadByte;
using quenlor::WideToAnsi;

std::wstring Wide(const std::string& bytes) { return AnsiToWide(bytes.data(), bytes.size()); }

TEST(AnsiText, DoubleByteTextConvertsExactlyBothWays)
{
    const std::string gbk = "\xC4\xE3\xBA\xC3 a1\\\xB8\xFC\xD0\xC2";  // 你好 a1\更新
    const std::wstring wide = L"\u4F60\u597D a1\\\u66F4\u65B0";
    EXPECT_EQ(Wide(gbk), wide);
    bool exact = false;
    EXPECT_EQ(WideToAnsi(wide, &exact), gbk);
    EXPECT_TRUE(exact);
    // A trail byte in the ASCII range ('\\' is 0x5C) belongs to its character, not to the path.
    EXPECT_EQ(Wide("\x81\x5C"), L"\u4E57");
    EXPECT_EQ(WideToAnsi(L"\u4E57"), "\x81\x5C");
    EXPECT_EQ(Wide(""), L"");
    EXPECT_EQ(WideToAnsi(L"", &exact), "");
    EXPECT_TRUE(exact);
}

TEST(AnsiText, LeadBytesAreExactly0x81To0xFE)
{
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(IsAnsiLeadByte(static_cast<unsigned char>(b)), b >= 0x81 && b <= 0xFE) << "byte " << b;
}

TEST(AnsiText, ACharacterTheCodePageCannotHoldIsReported)
{
    bool exact = true;
    const std::string ansi = WideToAnsi(L"a\u0E01b", &exact);  // a Thai letter has no GBK form
    EXPECT_FALSE(exact);
    EXPECT_NE(Wide(ansi), L"a\u0E01b");
    exact = true;
    WideToAnsi(L"\u0E01", &exact);
    EXPECT_FALSE(exact);
}

TEST(AnsiText, TruncatedOrInvalidDoubleByteInputIsNotTakenForText)
{
    // A lead byte with nothing after it, or followed by a byte that cannot end a character.
    for (const std::string& bad : {std::string("\xC4"), std::string("ab\xC4"), std::string("\xC4\x7F"),
                                   std::string("\xC4\xFF")}) {
        const std::wstring wide = Wide(bad);
        // Refused outright (the portable build) or marked with the system's '?' (Windows): never
        // silently some other, valid-looking text, and never the same bytes on the way back.
        EXPECT_TRUE(wide.empty() || wide.find(L'?') != std::wstring::npos) << "input of " << bad.size() << " bytes";
        EXPECT_NE(WideToAnsi(wide), bad) << "input of " << bad.size() << " bytes";
#if !defined(_WIN32)
        EXPECT_EQ(wide, L"");
#endif
    }
}

}  // namespace
