// Publishing sets the launcher version in the URL configuration as the launcher reads it, and
// finds where the updater will fetch the launcher and the picture.
#include <gtest/gtest.h>

#include <string>

#include "config_file.h"
#include "publish.h"
#include "url_config_edit.h"

namespace {

std::string ReadVersion(const std::string& file)
{
    QLUrlConfig config;
    std::string error;
    EXPECT_TRUE(qlconfig::ReadUrlConfigImage(file, config, error)) << error;
    return std::string(config.m_strLunchVer.begin(), config.m_strLunchVer.end());
}

std::string Body(const std::string& file)
{
    std::string body, error;
    EXPECT_TRUE(qlconfig::ParseConfigFile(file, body, error)) << error;
    return body;
}

TEST(PublishVersion, EveryValueOfTheKeyIsReplacedInPlaceAndTheRestKeptByteForByte)
{
    // A later key wins in the launcher, so both values change; "*GGUrl *LunchVer" is a value,
    // not the key; tabs, a lone LF inside a word and a GBK line stay as they were.
    const std::string body =
        "*UpUrl\thttp://h/p\r\n*LunchVer 2022091301\r\n#\xB5\xE7\xD0\xC5 x\r\n*GGUrl *LunchVer\r\n"
        "*LunchVer   old\r\n*Line a\nb\r\n";
    std::string file = qlconfig::BuildConfigFile(body, 7);
    file.replace(0, 4, "\x78\x56\x34\x12", 4);
    std::string result, error;
    ASSERT_TRUE(qlconfig::SetLauncherVersion(file, "2022091302", result, error)) << error;
    EXPECT_EQ(Body(result),
              "*UpUrl\thttp://h/p\r\n*LunchVer 2022091302\r\n#\xB5\xE7\xD0\xC5 x\r\n*GGUrl *LunchVer\r\n"
              "*LunchVer   2022091302\r\n*Line a\nb\r\n");
    EXPECT_EQ(result.substr(0, 8), std::string("\x78\x56\x34\x12\x07\0\0\0", 8));  // reserved field and divisor
    EXPECT_EQ(ReadVersion(result), "2022091302");
}

TEST(PublishVersion, AMissingKeyOrValueIsWrittenSoTheLauncherReadsIt)
{
    struct Case {
        std::string body;
        std::string expected;
    } cases[] = {
        {"*UpUrl u", "*UpUrl u\r\n*LunchVer 9\r\n"},
        {"*UpUrl u\r\n", "*UpUrl u\r\n*LunchVer 9\r\n"},
        {"", "*LunchVer 9\r\n"},
        {"*UpUrl u *LunchVer", "*UpUrl u *LunchVer 9"},
        {"*LunchVer \t", "*LunchVer \t9"},
    };
    for (const Case& c : cases) {
        std::string result, error;
        ASSERT_TRUE(qlconfig::SetLauncherVersion(qlconfig::BuildConfigFile(c.body, c.body.empty() ? 0 : 3), "9", result,
                                                 error))
            << c.body << ": " << error;
        EXPECT_EQ(Body(result), c.expected);
        EXPECT_EQ(ReadVersion(result), "9");
    }
}

TEST(PublishVersion, RefusesWhatCannotBeWrittenWithoutChangingAnotherValue)
{
    std::string result, error;
    // The added key would become GGUrl's missing value.
    EXPECT_FALSE(qlconfig::SetLauncherVersion(qlconfig::BuildConfigFile("*GGUrl", 3), "9", result, error));
    std::string zero_divisor = qlconfig::BuildConfigFile("*LunchVer 1", 3);
    zero_divisor[4] = 0;
    EXPECT_FALSE(qlconfig::SetLauncherVersion(zero_divisor, "9", result, error));
    for (const char* version : {"", "2022 0913", "1234567890123456", "\xE7\x89\x88"}) {
        EXPECT_FALSE(qlconfig::IsPublishableVersion(version)) << version;
    }
    EXPECT_TRUE(qlconfig::IsPublishableVersion("123456789012345"));
}

TEST(PublishPlaces, TheLauncherAndPictureLieWhereTheUpdaterFetchesThem)
{
    qlconfig::UpdaterPlaces places;
    std::string error;
    ASSERT_TRUE(qlconfig::FindUpdaterPlaces(L"http://h/patch", L"http://h/patch/launcher", L"QuenlorLauncher.exe", places,
                                            error));
    EXPECT_EQ(places.launcher, "launcher/QuenlorLauncher.exe");
    EXPECT_EQ(places.picture, "launcher/BackGround.bmp");
    // The same folder as the patch files, a trailing slash, a backslash in the name.
    ASSERT_TRUE(qlconfig::FindUpdaterPlaces(L"http://h/patch/", L"http://h/patch", L"Bin\\L.exe", places, error));
    EXPECT_EQ(places.launcher, "Bin/L.exe");
    EXPECT_EQ(places.picture, "Bin/BackGround.bmp");
    ASSERT_TRUE(qlconfig::FindUpdaterPlaces(L"http://h", L"http://h", L"L.exe", places, error));
    EXPECT_EQ(places.picture, "BackGround.bmp");

    for (auto luch : {L"http://other/patch", L"http://h/patchx", L"http://h/patch/../x", L"http://h/patch/a?b", L""}) {
        EXPECT_FALSE(qlconfig::FindUpdaterPlaces(L"http://h/patch", luch, L"L.exe", places, error)) << luch;
    }
    EXPECT_FALSE(qlconfig::FindUpdaterPlaces(L"http://h/patch", L"http://h/patch", L"", places, error));
}

TEST(PublishPlaces, TheLauncherMustCarryTheVersionAsWideTextWithItsEnd)
{
    const std::string program = std::string("MZ\0\0", 4) + std::string("2\0" "0\0" "2\0" "1\0" "\0\0", 10) + "x";
    EXPECT_TRUE(qlconfig::CarriesLauncherVersion(program, "2021"));
    EXPECT_FALSE(qlconfig::CarriesLauncherVersion(program, "202"));   // no end after it
    EXPECT_FALSE(qlconfig::CarriesLauncherVersion(program, "2022"));
    EXPECT_FALSE(qlconfig::CarriesLauncherVersion("2021", "2021"));   // narrow text is not the launcher's
}

}  // namespace
