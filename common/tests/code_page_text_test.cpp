// Conversions between wide text and the 8-bit code pages players run: GBK (936), a Western
// system (1252) and UTF-8 (65001), which refuses the "default character used" question.
#include <gtest/gtest.h>

#include "ansi_text.h"

namespace {

const std::wstring kChinesePath = L"\\数据\\补丁一.dat";
const std::string kChinesePathGbk = "\\\xca\xfd\xbe\xdd\\\xb2\xb9\xb6\xa1\xd2\xbb.dat";

}  // namespace

#if defined(_WIN32)

TEST(CodePageText, Utf8SystemsConvertChineseNamesExactlyBothWays)
{
    const std::string utf8 = "\\\xe6\x95\xb0\xe6\x8d\xae\\\xe8\xa1\xa5\xe4\xb8\x81\xe4\xb8\x80.dat";
    bool exact = false;
    EXPECT_EQ(quenlor::WideToCodePage(65001, kChinesePath, &exact), utf8);
    EXPECT_TRUE(exact);
    EXPECT_EQ(quenlor::CodePageToWide(65001, utf8.data(), utf8.size()), kChinesePath);
    // A lone surrogate has no UTF-8 form: the bytes stand for something else.
    std::wstring broken = L"a";
    broken.push_back(static_cast<wchar_t>(0xD800));
    quenlor::WideToCodePage(65001, broken, &exact);
    EXPECT_FALSE(exact);
}

TEST(CodePageText, InexactConversionsAreToldApartInEveryCodePage)
{
    bool exact = false;
    EXPECT_EQ(quenlor::WideToCodePage(936, kChinesePath, &exact), kChinesePathGbk);
    EXPECT_TRUE(exact);
    // Thai is outside GBK; Chinese is outside the Western page; a Latin letter with a macron
    // becomes its nearest plain letter there, which would name another file.
    quenlor::WideToCodePage(936, L"\u0E01.dat", &exact);
    EXPECT_FALSE(exact);
    quenlor::WideToCodePage(1252, kChinesePath, &exact);
    EXPECT_FALSE(exact);
    std::string nearest = quenlor::WideToCodePage(1252, L"\u0101.dat", &exact);
    EXPECT_FALSE(exact) << nearest;
    EXPECT_EQ(quenlor::WideToCodePage(1252, L"caf\u00E9.dat", &exact), "caf\xe9.dat");
    EXPECT_TRUE(exact);
}

TEST(CodePageText, AGbkNameReadOnAWesternSystemIsAnotherNameThatWritesBackTheSameBytes)
{
    const std::wstring western = quenlor::CodePageToWide(1252, kChinesePathGbk.data(), kChinesePathGbk.size());
    EXPECT_NE(western, kChinesePath);
    EXPECT_EQ(western, L"\\\u00CA\u00FD\u00BE\u00DD\\\u00B2\u00B9\u00B6\u00A1\u00D2\u00BB.dat");
    bool exact = false;
    EXPECT_EQ(quenlor::WideToCodePage(1252, western, &exact), kChinesePathGbk);
    EXPECT_TRUE(exact);
}

#endif

// The system's own page: GBK on the players' Chinese systems and in the test runs.
TEST(AnsiText, TheSystemPageConvertsChineseAndRefusesWhatItCannotHold)
{
    bool exact = false;
    EXPECT_EQ(quenlor::WideToAnsi(kChinesePath, &exact), kChinesePathGbk);
    EXPECT_TRUE(exact);
    EXPECT_EQ(quenlor::AnsiToWide(kChinesePathGbk.data(), kChinesePathGbk.size()), kChinesePath);
    quenlor::WideToAnsi(L"\u0E01.dat", &exact);
    EXPECT_FALSE(exact);
    EXPECT_EQ(quenlor::WideToAnsi(L"", &exact), "");
    EXPECT_TRUE(exact);
}
