#include <gtest/gtest.h>

#include "download_info.h"
#include "patch_text.h"
#include "updater_handoff.h"

namespace {

TEST(PatchText, ProgressTextHasSingleSpacesAndWholeKilobytes)
{
    EXPECT_EQ(quenlor::ProgressText(L"a.bin", 1536, 1536), L"文件:a.bin 大小:1 KB 剩余:1 KB ");
    EXPECT_EQ(quenlor::ProgressText(L"a.bin", 1023, 1023), L"文件:a.bin 大小:0 KB 剩余:0 KB ");
    EXPECT_EQ(quenlor::ProgressText(L"\u66F4\u65B0.dat", 0xFFFFFFFFu, 2048), L"文件:\u66F4\u65B0.dat 大小:4194303 KB 剩余:2 KB ");
}

TEST(PatchText, TipTexts)
{
    EXPECT_EQ(quenlor::RemainingText(3), L"需下載數[3]");
    EXPECT_EQ(quenlor::DownloadErrorText(L"b.bin"), L"文件[b.bin]下載出錯！！！");
    EXPECT_STREQ(quenlor::kDoneText, L"完成");
    EXPECT_STREQ(quenlor::kStartingText, L"開始下载");
    EXPECT_STREQ(quenlor::kCheckingText, L"文件查驗中...");
}

TEST(PatchText, FileNameIsThePartAfterTheLastBackslash)
{
    EXPECT_EQ(quenlor::FileNameOf(L"C:\\game dir\\Data\\x.pak"), L"x.pak");
    EXPECT_EQ(quenlor::FileNameOf(L"x.pak"), L"x.pak");
    EXPECT_EQ(quenlor::FileNameOf(L"C:\\dir\\"), L"");
}

TEST(DownloadInfo, UrlGetsSlashesAndTheTimeQueryLocalPathKeepsBackslashes)
{
    const std::wstring path = L"\\Image\\Autopatch\\AutoPatchURL.bin";
    EXPECT_EQ(quenlor::MakeDownloadUrl(L"http://127.0.0.1:8080/patch", path, 1765245600),
              L"http://127.0.0.1:8080/patch/Image/Autopatch/AutoPatchURL.bin?abc=1765245600");
    EXPECT_EQ(quenlor::MakeDownloadUrl(L"http://h", L"\\a", 5000000000LL), L"http://h/a?abc=5000000000");
    EXPECT_EQ(quenlor::MakeLocalPath(L"C:\\Games\\Quenlor", path), L"C:\\Games\\Quenlor\\Image\\Autopatch\\AutoPatchURL.bin");
    EXPECT_EQ(quenlor::MakeManifestUrl(L"http://h/p"), L"http://h/p/MyUpdata.txt");
    std::wstring now = quenlor::MakeDownloadUrl(L"http://h", L"\\a");
    ASSERT_EQ(now.compare(0, 14, L"http://h/a?abc"), 0);
    EXPECT_GT(std::stoll(now.substr(15)), 1600000000LL);
}

TEST(UpdaterHandoff, VersionIsExactTextAndCommandLineIsTwoPieces)
{
    EXPECT_TRUE(quenlor::LauncherVersionMatches(L"2022091302", L"2022091302"));
    for (const wchar_t* other : {L"", L"2022091302 ", L"2022091303", L"2022091301", L"02022091302"}) {
        EXPECT_FALSE(quenlor::LauncherVersionMatches(other, L"2022091302"));
    }
    EXPECT_EQ(quenlor::UpdaterCommandLine(L"http://h/launch", L"C:\\My Games\\Quen lor", L"QuenlorLauncher.exe"),
              L"http://h/launch/QuenlorLauncher.exe|C:\\My Games\\Quen lor\\QuenlorLauncher.exe");
    EXPECT_EQ(quenlor::UpdaterCommandLine(L"http://h/", L"C:\\g", L"L.exe"), L"http://h//L.exe|C:\\g\\L.exe");
    EXPECT_EQ(quenlor::UpdaterCommandLine(L"", L"C:\\g", L""), L"/|C:\\g\\");
    EXPECT_EQ(quenlor::UpdaterPath(L"C:\\My Games"), L"C:\\My Games\\Image\\Autopatch\\Renovek.exe");
}

}  // namespace
