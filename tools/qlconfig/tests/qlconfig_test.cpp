// The operator tool's files must read back through the launcher's own reader, word for word.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "config/ql_file.h"
#include "config_file.h"
#include "gbk_text.h"

namespace {

std::string WriteTemp(const std::string& name, const std::string& bytes)
{
    std::string path = ::testing::TempDir() + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

TEST(QLConfigTool, Utf8TextRoundTripsThroughTheLaunchersReader)
{
    const std::string utf8 = "#字体 90 宋体\nUpUrl http://127.0.0.1/a^b\r\nLine 电信一区^s二线\n";
    std::string gbk;
    ASSERT_TRUE(qlconfig::Utf8ToGbk(utf8, gbk));
    EXPECT_EQ(gbk.substr(0, 5), "#\xD7\xD6\xCC\xE5");  // the section word in GBK bytes
    for (uint32_t divisor : {1u, 5u, 16u, 4096u}) {
        std::string path = WriteTemp("qlconfig_roundtrip.bin",
                                     qlconfig::BuildConfigFile(qlconfig::WithCrLfLineEnds(gbk), divisor));
        CQLFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_EQ(file.ReadWord(), 0);
        EXPECT_STREQ(g_szWordBuffer, "#\xD7\xD6\xCC\xE5");
        EXPECT_EQ(file.ReadInt(), 90);
        EXPECT_EQ(file.ReadWideString(), L"\u5B8B\u4F53");
        ASSERT_EQ(file.ReadWord(), 0);
        EXPECT_STREQ(g_szWordBuffer, "UpUrl");
        EXPECT_EQ(file.ReadWideString(), L"http://127.0.0.1/a^b");
        ASSERT_EQ(file.ReadWord(), 0);
        ASSERT_EQ(file.ReadWord(), 0);
        std::string back;
        ASSERT_TRUE(qlconfig::GbkToUtf8(g_szWordBuffer, back));
        EXPECT_EQ(back, "电信一区 二线");
        remove(path.c_str());
    }
}

TEST(QLConfigTool, ParseUndoesBuildAndRefusesWhatTheLauncherRefuses)
{
    std::string body, error;
    ASSERT_TRUE(qlconfig::ParseConfigFile(qlconfig::BuildConfigFile("abc\r\ndef", 3), body, error));
    EXPECT_EQ(body, "abc\r\ndef");
    ASSERT_TRUE(qlconfig::ParseConfigFile(qlconfig::BuildConfigFile("", 0), body, error));
    EXPECT_EQ(body, "");

    std::string zero_divisor = qlconfig::BuildConfigFile("abc", 3);
    zero_divisor[4] = 0;
    EXPECT_FALSE(qlconfig::ParseConfigFile(zero_divisor, body, error));
    std::string truncated = qlconfig::BuildConfigFile("abcdef", 3).substr(0, 17);
    EXPECT_FALSE(qlconfig::ParseConfigFile(truncated, body, error));
    EXPECT_FALSE(qlconfig::ParseConfigFile("short", body, error));
}

TEST(QLConfigTool, LineEndsBecomeCrLfOnce)
{
    EXPECT_EQ(qlconfig::WithCrLfLineEnds("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(qlconfig::WithCrLfLineEnds("\n"), "\r\n");
}

TEST(QLConfigTool, TextGbkCannotHoldIsRefused)
{
    std::string gbk;
    EXPECT_FALSE(qlconfig::Utf8ToGbk("\xF0\x9F\x98\x80", gbk));  // an emoji
    EXPECT_FALSE(qlconfig::Utf8ToGbk("\xC3\x28", gbk));          // not UTF-8
}

}  // namespace
