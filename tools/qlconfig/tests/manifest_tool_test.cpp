// The manifests the tool writes must be what the launcher reads: its parser, its path rules and
// its verifier find every file current in the folder the manifest was built from.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manifest_tool.h"
#include "manifest.h"
#include "md5_ctx.h"

namespace {

namespace fs = std::filesystem;

class ManifestFolder {
public:
    explicit ManifestFolder(const std::string& name) : root_(fs::path(::testing::TempDir()) / ("ql_manifest_" + name))
    {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~ManifestFolder()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void Write(const std::string& relativeUtf8, const std::string& bytes) const
    {
        fs::path file = root_ / fs::u8path(relativeUtf8);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    const fs::path& Root() const { return root_; }

private:
    fs::path root_;
};

TEST(ManifestTool, BuildsSortedGbkRecordsWithBackslashesAndCrLf)
{
    ManifestFolder folder("build");
    folder.Write("b.txt", "abc");
    folder.Write("Data/Sub/empty.bin", "");
    folder.Write("更新/说明.txt", "message digest");
    folder.Write("MyUpdata.txt", "old manifest, not listed");
    qlconfig::ManifestBuild build = qlconfig::BuildManifest(folder.Root(), folder.Root() / "MyUpdata.txt");
    ASSERT_TRUE(build.errors.empty());
    EXPECT_EQ(build.files, 3u);
    EXPECT_EQ(build.text,
              "\\Data\\Sub\\empty.bin|D41D8CD98F00B204E9800998ECF8427E\r\n"
              "\\b.txt|900150983CD24FB0D6963F7D28E17F72\r\n"
              "\\\xB8\xFC\xD0\xC2\\\xCB\xB5\xC3\xF7.txt|F96B697D7CB7938D525A2F31AAF161D0\r\n");
}

TEST(ManifestTool, NamesTheManifestCannotHoldAreReportedNotListed)
{
    ManifestFolder folder("bad_names");
    folder.Write("ok.txt", "x");
    folder.Write("a#b.txt", "x");
    folder.Write("\xF0\x9F\x98\x80.txt", "x");  // no GBK form
    size_t expected_errors = 2;
#if !defined(_WIN32)
    folder.Write("a|b.txt", "x");  // Windows allows no '|' in names
    ++expected_errors;
#endif
    qlconfig::ManifestBuild build = qlconfig::BuildManifest(folder.Root(), fs::path());
    EXPECT_EQ(build.errors.size(), expected_errors);
    EXPECT_EQ(build.files, 1u);
}

TEST(ManifestTool, TheLaunchersVerifierFindsTheBuiltFolderCurrent)
{
    ManifestFolder folder("roundtrip");
    folder.Write("a.bin", std::string(300000, 'q'));
    folder.Write("Image/Autopatch/x.bmp", "BM");
#if defined(_WIN32)
    // Only Windows names files in the ANSI code page; the native build's file system is UTF-8.
    folder.Write("更新.dat", "z");
    const size_t expected_entries = 3;
#else
    const size_t expected_entries = 2;
#endif
    qlconfig::ManifestBuild build = qlconfig::BuildManifest(folder.Root(), fs::path());
    ASSERT_TRUE(build.errors.empty());
    MD5_CTX md5;
    std::wstring root = folder.Root().wstring();
    wmemcpy(g_szWorkDir, root.c_str(), root.size() + 1);
    // The launcher reads the manifest in its code page; GBK here as on the players' systems.
    md5.m_strUpdateInfo = quenlor::ManifestTextFromBody(build.text.data(), build.text.size());
    std::vector<std::wstring> wanted;
    md5.CheckFiles(wanted);
    EXPECT_TRUE(wanted.empty());
    EXPECT_EQ(md5.m_mapFileMD5.size(), expected_entries);
}

TEST(ManifestTool, VerifyReportsEachEntryAsTheLauncherWouldJudgeIt)
{
    ManifestFolder folder("verify");
    folder.Write("a.bin", "abc");
    folder.Write("b.bin", "changed");
    const std::string manifest =
        "\\a.bin|900150983CD24FB0D6963F7D28E17F72\r\n"
        "\\a.bin|900150983cd24fb0d6963f7d28e17f72\n"
        "\\b.bin||900150983CD24FB0D6963F7D28E17F72\r"
        "\\gone.bin|900150983CD24FB0D6963F7D28E17F72#"
        "\\..\\a.bin|900150983CD24FB0D6963F7D28E17F72\n"
        "\\three|fields|x\n";
    qlconfig::ManifestCheck check = qlconfig::VerifyFolder(folder.Root(), manifest + std::string(1, '\0') + "\\hidden|X\n");
    ASSERT_TRUE(check.readable);
    ASSERT_EQ(check.entries.size(), 5u);
    using qlconfig::EntryState;
    EXPECT_EQ(check.entries[0].state, EntryState::Matches);
    EXPECT_EQ(check.entries[1].state, EntryState::Differs);
    EXPECT_TRUE(check.entries[1].lowerCaseDigest);
    EXPECT_EQ(check.entries[2].state, EntryState::Differs);
    EXPECT_EQ(check.entries[3].state, EntryState::Missing);
    EXPECT_EQ(check.entries[4].state, EntryState::Refused);
    EXPECT_EQ(check.entries[4].path, "\\..\\a.bin");
    EXPECT_FALSE(qlconfig::VerifyFolder(folder.Root(), "\\a|\x81\n").readable);
}

}  // namespace
