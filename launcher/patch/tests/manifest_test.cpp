#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest.h"

namespace {

using quenlor::ManifestEntry;
using quenlor::ParseManifest;

std::vector<std::wstring> Flatten(const std::vector<ManifestEntry>& entries)
{
    std::vector<std::wstring> out;
    for (const ManifestEntry& e : entries) out.push_back(e.path + L"=" + e.digest);
    return out;
}

TEST(Manifest, LineEndsHashesAndDoubledBarsAllCutTheSame)
{
    const std::vector<std::wstring> expected = {L"\\a.bin=AA", L"\\d\\b.bin=BB"};
    for (const wchar_t* text : {L"\\a.bin|AA\r\n\\d\\b.bin|BB\r\n", L"\\a.bin|AA\n\\d\\b.bin|BB", L"\\a.bin|AA\r\\d\\b.bin|BB\r",
                                L"\\a.bin|AA#\\d\\b.bin|BB", L"\r\n\r\n##\\a.bin||AA\n\n|\\d\\b.bin|BB|||\r\n#",
                                L"|\\a.bin|AA|\r\n\\d\\b.bin||||BB"}) {
        EXPECT_EQ(Flatten(ParseManifest(text)), expected) << "manifest: " << testing::PrintToString(std::wstring(text));
    }
}

TEST(Manifest, OnlyRecordsOfExactlyTwoFieldsAreEntries)
{
    auto entries = ParseManifest(L"\\one|AA|extra\n\\lonely\n||||\n\\two|BB\n#\n|\n\\x|Y|Z|W\n");
    EXPECT_EQ(Flatten(entries), std::vector<std::wstring>{L"\\two=BB"});
    EXPECT_TRUE(ParseManifest(L"").empty());
    EXPECT_TRUE(ParseManifest(L"\r\n#\n\r").empty());
    // An error page served as the manifest yields nothing.
    EXPECT_TRUE(ParseManifest(L"<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>\r\n</html>\r\n").empty());
}

TEST(Manifest, DuplicatedPathsAndOrderAreKept)
{
    auto entries = ParseManifest(L"\\z|1\n\\a|2\n\\z|3\n");
    EXPECT_EQ(Flatten(entries), (std::vector<std::wstring>{L"\\z=1", L"\\a=2", L"\\z=3"}));
}

TEST(Manifest, BodyTextEndsAtTheFirstNulAndIsReadInTheAnsiCodePage)
{
    const char body[] = "\\\xB8\xFC\xD0\xC2.txt|AA\r\n\0\\hidden|BB\r\n";  // "\更新.txt" in GBK
    std::wstring text = quenlor::ManifestTextFromBody(body, sizeof(body) - 1);
    EXPECT_EQ(Flatten(ParseManifest(text)), std::vector<std::wstring>{L"\\\u66F4\u65B0.txt=AA"});
    EXPECT_TRUE(quenlor::ManifestTextFromBody("\0\\a|AA", 6).empty());
    EXPECT_TRUE(quenlor::ManifestTextFromBody(nullptr, 10).empty());
}

TEST(ManifestPath, OrdinaryPathsInsideTheFolderAreSafe)
{
    for (const wchar_t* path : {L"\\a.bin", L"\\Image\\Autopatch\\AutoPatchURL.bin", L"\\d\\\\e.txt", L"\\.hidden",
                                L"\\a..b\\c", L"\\\u66F4\u65B0\\\u6587\u4EF6.dat", L"\\CONFIG.ini", L"\\COM10.txt",
                                L"\\lpt\\x"}) {
        EXPECT_TRUE(quenlor::IsSafeManifestPath(path)) << testing::PrintToString(std::wstring(path));
    }
}

TEST(ManifestPath, PathsThatLeaveOrEscapeTheFolderAreRefused)
{
    for (const wchar_t* path : {L"", L"\\", L"a.bin", L"..\\a.bin", L"\\..\\a.bin", L"\\d\\..\\..\\a.bin", L"\\d/../../a",
                                L"\\d\\..", L"\\...\\a", L"\\. .\\a", L"\\.. \\a", L"\\.\\a", L"C:\\Windows\\x",
                                L"\\C:\\x", L"\\a.bin:stream", L"\\\\?\\C:\\x", L"\\d\\", L"\\d/", L"\\CON", L"\\nul.txt",
                                L"\\d\\com1", L"\\LPT9.log", L"\\a\tb", L"/etc/passwd"}) {
        EXPECT_FALSE(quenlor::IsSafeManifestPath(path)) << testing::PrintToString(std::wstring(path));
    }
}

}  // namespace
