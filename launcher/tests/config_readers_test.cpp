// The URL and skin readers against files from the tests' own encoder: every key and section,
// repeats, short sections, LF-only lines, 16-bit numbers, overlong and hostile values.
#include <gtest/gtest.h>

#include <string>

#include "config/skin_layout.h"
#include "config/url_config.h"
#include "config_test_files.h"

namespace {

// GBK section words, spelled as bytes so the test does not depend on its own source encoding.
const std::string kMainWindow = "#\xD6\xF7\xBD\xE7\xC3\xE6";                   // 主界面
const std::string kStartButton = "#\xBF\xAA\xCA\xBC\xB0\xB4\xC5\xA5";           // 开始按钮
const std::string kCloseButton = "#\xB9\xD8\xB1\xD5\xB0\xB4\xC5\xA5";           // 关闭按钮
const std::string kNotice = "#\xB9\xAB\xB8\xE6";                                // 公告
const std::string kFontColor = "#\xD7\xD6\xCC\xE5\xD1\xD5\xC9\xAB";             // 字体颜色
const std::string kFont = "#\xD7\xD6\xCC\xE5";                                  // 字体
const std::string kTotalBarColor = "#\xCD\xEA\xB3\xC9\xBD\xF8\xB6\xC8\xCC\xF5\xC7\xB0\xBE\xB0\xC9\xAB";  // 完成进度条前景色
const std::string kTipColor = "#\xCC\xE1\xCA\xBE\xCF\xFB\xCF\xA2\xD1\xD5\xC9\xAB";  // 提示消息颜色
const std::string kVersionText = "#\xB0\xE6\xB1\xBE\xBA\xC5";                   // 版本号

QLSkinLayout ReadSkin(const std::string& text)
{
    ScratchFile file(".skin.bin");
    QLSkinLayout layout;
    EXPECT_TRUE(ReadSkinLayout(file.Write(ScrambledConfigFile(text)), layout));
    return layout;
}

QLUrlConfig ReadUrls(const std::string& text)
{
    ScratchFile file(".url.bin");
    QLUrlConfig config;
    EXPECT_TRUE(ReadUrlConfig(file.Write(ScrambledConfigFile(text, 3)), config));
    return config;
}

TEST(UrlConfig, EveryKeyReachesItsOwnString)
{
    QLUrlConfig c = ReadUrls(
        "*UpUrl http://p/u\r\n*HomePage http://p/h\r\n*PayUrl http://p/pay\r\n*QQ 10001\r\n*Line L1\r\n"
        "*ExeName game.exe\r\n*LunchVer 2022091302\r\n*GGUrl http://p/gg\r\n*UpLuchUrl http://p/new\r\n"
        "*LunchName QuenlorLauncher.exe\r\n");
    EXPECT_EQ(c.m_strUpUrl, L"http://p/u");
    EXPECT_EQ(c.m_strHomePage, L"http://p/h");
    EXPECT_EQ(c.m_strPayUrl, L"http://p/pay");
    EXPECT_EQ(c.m_strQQ, L"10001");
    EXPECT_EQ(c.m_strLine, L"L1");
    EXPECT_EQ(c.m_strExeName, L"game.exe");
    EXPECT_EQ(c.m_strLunchVer, L"2022091302");
    EXPECT_EQ(c.m_strGGUrl, L"http://p/gg");
    EXPECT_EQ(c.m_strUpLuchUrl, L"http://p/new");
    EXPECT_EQ(c.m_strLunchName, L"QuenlorLauncher.exe");
}

TEST(UrlConfig, RepeatsUnknownKeysRawValuesAndATrailingKey)
{
    // The later *ExeName wins; *Nope and its value are skipped, but a value that is itself a key
    // is consumed as the value; values keep "^s" and carets; a last key without value empties.
    QLUrlConfig c = ReadUrls("*ExeName a.exe *Nope x.exe *ExeName b.exe\r\n*Nope *QQ 7\r\n*PayUrl http://h/a^sb^\r\n"
                             "*HomePage *Line *GGUrl");
    EXPECT_EQ(c.m_strExeName, L"b.exe");
    EXPECT_EQ(c.m_strQQ, L"7");
    EXPECT_EQ(c.m_strPayUrl, L"http://h/a^sb^");
    EXPECT_EQ(c.m_strHomePage, L"*Line");
    EXPECT_EQ(c.m_strLine, L"");
    EXPECT_EQ(c.m_strGGUrl, L"");
    EXPECT_EQ(c.m_strUpUrl, L"");
}

TEST(UrlConfig, UnloadableFilesLeaveTheStringsAlone)
{
    ScratchFile file(".url.bin");
    QLUrlConfig c;
    c.m_strUpUrl = L"kept";
    EXPECT_FALSE(ReadUrlConfig(file.Path(), c));  // not written: missing
    std::string zero_divisor = ScrambledConfigFile("*UpUrl x", 3);
    zero_divisor[4] = 0;  // divisor 0 with a body
    EXPECT_FALSE(ReadUrlConfig(file.Write(zero_divisor), c));
    std::string long_length = ScrambledConfigFile("*UpUrl x", 3);
    long_length[9] = 0x10;  // a length far beyond the file
    EXPECT_FALSE(ReadUrlConfig(file.Write(long_length), c));
    EXPECT_EQ(c.m_strUpUrl, L"kept");
}

TEST(SkinLayout, SectionsFillTheirMembersAsSixteenBitNumbers)
{
    QLSkinLayout s = ReadSkin(kMainWindow + " 100 50 480 300\r\n" + kStartButton + "\r\n-1 2x 70000 abc\r\n" + kNotice +
                              " 10 20 300 150\r\n" + kFontColor + " 300 255 0\r\n" + kTotalBarColor + " 1 2 3\r\n" + kFont +
                              " 120 \xCB\xCE\xCC\xE5\r\n");  // 宋体
    EXPECT_EQ(s.m_posMainWindow.x, 100);
    EXPECT_EQ(s.m_posMainWindow.y, 50);
    EXPECT_EQ(s.m_posMainWindow.cx, 480);
    EXPECT_EQ(s.m_posMainWindow.cy, 300);
    EXPECT_EQ(s.m_posStartButton.x, 65535);  // -1
    EXPECT_EQ(s.m_posStartButton.y, 2);      // leading digits
    EXPECT_EQ(s.m_posStartButton.cx, 70000 - 65536);
    EXPECT_EQ(s.m_posStartButton.cy, 0);
    EXPECT_EQ(s.m_rcNotice.left, 10);
    EXPECT_EQ(s.m_rcNotice.top, 20);
    EXPECT_EQ(s.m_rcNotice.right, 310);
    EXPECT_EQ(s.m_rcNotice.bottom, 170);
    EXPECT_EQ(s.m_clrFont.r, 300);  // kept whole; only its low byte is drawn
    EXPECT_EQ(s.m_clrTotalBar.b, 3);
    EXPECT_EQ(s.m_nFontSize, 120);
    EXPECT_EQ(std::wstring(s.m_szFontFace), L"\u5B8B\u4F53");
    EXPECT_EQ(s.m_posCloseButton.cx, 0);  // no section: stays 0
    EXPECT_EQ(s.m_clrTipText.r, 0);
}

TEST(SkinLayout, ShortSectionsRepeatsAndLoneLineFeeds)
{
    // The start button lacks a value: the next section word is read as 0 and that section is lost.
    // A repeated section overwrites. With LF-only lines "4\n#..." is one word: the section vanishes.
    QLSkinLayout s = ReadSkin(kStartButton + " 1 2 3\r\n" + kCloseButton + " 9 9 9 9\r\n" + kMainWindow +
                              " 1 1 1 1\r\n" + kMainWindow + " 5 6 7 8\n" + kVersionText + " 1 2 3 4\n");
    EXPECT_EQ(s.m_posStartButton.cx, 3);
    EXPECT_EQ(s.m_posStartButton.cy, 0);
    EXPECT_EQ(s.m_posCloseButton.x, 0);
    EXPECT_EQ(s.m_posMainWindow.x, 5);
    EXPECT_EQ(s.m_posMainWindow.cy, 8);
    EXPECT_EQ(s.m_posVersionText.x, 0);
}

TEST(SkinLayout, AMissingLastNumberRepeatsTheLastWordOrReadsZeroAfterALineEnd)
{
    QLSkinLayout right_after = ReadSkin(kTipColor + " 10 20");
    EXPECT_EQ(right_after.m_clrTipText.g, 20);
    EXPECT_EQ(right_after.m_clrTipText.b, 20);
    QLSkinLayout line_end = ReadSkin(kTipColor + " 10 20\r\n");
    EXPECT_EQ(line_end.m_clrTipText.g, 20);
    EXPECT_EQ(line_end.m_clrTipText.b, 0);
}

TEST(SkinLayout, LongFaceNamesAreCutToSixtyThreeCharacters)
{
    const std::string face63(63, 'F');
    QLSkinLayout exact = ReadSkin(kFont + " 90 " + face63 + "\r\n");
    EXPECT_EQ(std::wstring(exact.m_szFontFace), std::wstring(63, L'F'));

    // 64 characters, and one far beyond the word buffer: both end at 63 with the 0 in place.
    for (size_t length : {size_t(64), size_t(2000)}) {
        QLSkinLayout s = ReadSkin(kFont + " 90 " + std::string(length, 'G') + " " + kFontColor + " 1 2 3\r\n");
        EXPECT_EQ(std::wstring(s.m_szFontFace), std::wstring(63, L'G')) << length;
        EXPECT_EQ(s.m_rcNotice.left, 0);  // the member after the face is untouched
        EXPECT_EQ(s.m_clrFont.b, 3) << "the reader goes on after the long word";
    }
}

TEST(SkinLayout, UnloadableFilesLeaveTheLayoutAlone)
{
    ScratchFile file(".skin.bin");
    QLSkinLayout s;
    s.m_posMainWindow.x = 42;
    EXPECT_FALSE(ReadSkinLayout(file.Path(), s));
    std::string zero_divisor = ScrambledConfigFile(kMainWindow + " 1 2 3 4");
    zero_divisor[4] = 0;
    EXPECT_FALSE(ReadSkinLayout(file.Write(zero_divisor), s));
    EXPECT_EQ(s.m_posMainWindow.x, 42);
}

}  // namespace
