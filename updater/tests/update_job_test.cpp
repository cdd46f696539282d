// The updater's command line and URL rules.
#include <gtest/gtest.h>

#include "update_job.h"

using namespace renovek;

TEST(SplitCommandLine, RunsOfBarsSeparateAndEmptyPiecesDrop)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("http://h/l/QL.exe|C:\\Game Dir\\QL.exe"), V({"http://h/l/QL.exe", "C:\\Game Dir\\QL.exe"}));
    EXPECT_EQ(SplitCommandLine("|a||b|"), V({"a", "b"}));
    EXPECT_EQ(SplitCommandLine("||a|||b|c"), V({"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine(""), V());
    EXPECT_EQ(SplitCommandLine("|||"), V());
    EXPECT_EQ(SplitCommandLine("Renovek.exe"), V({"Renovek.exe"}));
}

TEST(MakeUpdateUrl, QueryIsTheLow32BitsSignedAndBackslashesBecomeSlashes)
{
    EXPECT_EQ(MakeUpdateUrl("http://h/l/QL.exe", 1700000000), "http://h/l/QL.exe?abc=1700000000");
    EXPECT_EQ(MakeUpdateUrl("http://h\\patch\\QL.exe", 5), "http://h/patch/QL.exe?abc=5");
    // After 2038 the low 32 bits read as a negative number.
    EXPECT_EQ(MakeUpdateUrl("u", 0x80000000LL), "u?abc=-2147483648");
    EXPECT_EQ(MakeUpdateUrl("u", 0x100000005LL), "u?abc=5");
}

TEST(Jobs, PictureComesFromTheLauncherFolderWithoutQuery)
{
    UpdateJob launcher;
    ASSERT_TRUE(MakeLauncherJob({"http://h:81/up\\l\\QL.exe", "C:\\My Game\\QL.exe"}, 42, launcher));
    EXPECT_EQ(launcher.strPath, "C:\\My Game\\QL.exe");
    EXPECT_EQ(launcher.strUrl, "http://h:81/up/l/QL.exe?abc=42");
    const std::string base = BaseUrlOf(launcher.strUrl);
    EXPECT_EQ(base, "http://h:81/up/l");
    UpdateJob picture = MakeBackgroundJob("C:\\My Game", base);
    EXPECT_EQ(picture.strPath, "C:\\My Game\\Image\\Autopatch\\BackGround.bmp");
    EXPECT_EQ(picture.strUrl, "http://h:81/up/l/BackGround.bmp");
}

TEST(Jobs, FewerThanTwoPiecesGiveNoJobAndLeaveItUntouched)
{
    UpdateJob job{"keep", "keep"};
    EXPECT_FALSE(MakeLauncherJob({}, 1, job));
    EXPECT_FALSE(MakeLauncherJob({"only-one"}, 1, job));
    EXPECT_EQ(job.strPath, "keep");
    EXPECT_EQ(job.strUrl, "keep");
    // Extra pieces are ignored.
    EXPECT_TRUE(MakeLauncherJob({"u", "p", "extra"}, 1, job));
    EXPECT_EQ(job.strPath, "p");
}

TEST(BaseUrlOf, CutsBeforeTheLastSlash)
{
    EXPECT_EQ(BaseUrlOf("http://h/a/b?abc=1"), "http://h/a");
    EXPECT_EQ(BaseUrlOf("noslash"), "noslash");
}
