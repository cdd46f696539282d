#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "ansi_text.h"
#include "md5_ctx.h"
#include "md5_transform.h"
#include "scratch_dir.h"

namespace {

std::wstring DigestOf(MD5_CTX& md5, const std::string& bytes)
{
    md5.MD5Update(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    uint8_t digest[16];
    md5.MD5Final(digest);
    return quenlor::DigestText(digest);
}

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

TEST(MD5, RfcTestSuiteInUpperCaseText)
{
    const std::pair<const char*, const wchar_t*> kSuite[] = {
        {"", L"D41D8CD98F00B204E9800998ECF8427E"},
        {"a", L"0CC175B9C0F1B6A831C399E269772661"},
        {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", L"C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         L"57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    MD5_CTX md5;  // one context for all: MD5Final must leave it ready for the next input
    for (const auto& vector : kSuite) EXPECT_EQ(DigestOf(md5, vector.first), vector.second) << vector.first;
}

TEST(MD5, AnySplitOfTheInputGivesTheSameDigest)
{
    MD5_CTX md5;
    // Lengths around the padding and block edges, where the final block count changes.
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        std::string bytes = PatternBytes(length);
        std::wstring whole = DigestOf(md5, bytes);
        for (size_t step : {1u, 3u, 63u, 64u, 65u}) {
            for (size_t at = 0; at < length; at += step) {
                size_t n = std::min(step, length - at);
                md5.MD5Update(reinterpret_cast<const uint8_t*>(bytes.data() + at), static_cast<uint32_t>(n));
            }
            uint8_t digest[16];
            md5.MD5Final(digest);
            EXPECT_EQ(quenlor::DigestText(digest), whole) << "length " << length << " step " << step;
        }
    }
}

#if defined(__i386__)
TEST(MD5, X86TransformAgreesWithThePortableOne)
{
    std::string blocks = PatternBytes(64 * 200 + 1);
    uint32_t portable[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    uint32_t x86[4] = {portable[0], portable[1], portable[2], portable[3]};
    for (size_t at = 0; at + 64 <= blocks.size(); at += 64) {
        // Odd offsets too: blocks come straight from the caller's unaligned bytes.
        const uint8_t* block = reinterpret_cast<const uint8_t*>(blocks.data() + at + (at / 64) % 2);
        quenlor::Md5TransformPortable(portable, block);
        quenlor_md5_blocks_x86(x86, block, 1);
        ASSERT_EQ(memcmp(portable, x86, sizeof(x86)), 0) << "block " << at / 64;
    }
    // A run of blocks in one call, and an empty run, which must change nothing.
    uint32_t run[4] = {1, 2, 3, 4};
    uint32_t one_by_one[4] = {1, 2, 3, 4};
    quenlor_md5_blocks_x86(run, reinterpret_cast<const uint8_t*>(blocks.data()), 0);
    EXPECT_EQ(run[0], 1u);
    quenlor_md5_blocks_x86(run, reinterpret_cast<const uint8_t*>(blocks.data()), 200);
    for (size_t at = 0; at < 200 * 64; at += 64) quenlor::Md5TransformPortable(one_by_one, reinterpret_cast<const uint8_t*>(blocks.data() + at));
    EXPECT_EQ(memcmp(run, one_by_one, sizeof(run)), 0);
}
#endif

TEST(MD5, DigestTextKeepsLeadingZeros)
{
    uint8_t digest[16] = {10, 0, 1, 0xAB, 0xF0, 0x0F};
    EXPECT_EQ(quenlor::DigestText(digest), L"0A0001ABF00F00000000000000000000");
}

TEST(MD5, FileDigestOverManyChunksMatchesTheKnownValue)
{
    ScratchDir dir("md5_file_large");
    dir.Write("million_a.bin", std::string(1000000, 'a'));  // spans several read chunks
    dir.Write("empty.bin", "");
    MD5_CTX md5;
    std::wstring text = L"prefix:";
    ASSERT_TRUE(md5.MD5File(text, (dir.Path() / "million_a.bin").string().c_str()));
    EXPECT_EQ(text, L"prefix:7707D6AE4E027C70EEA2A935C2296F21");  // appended, upper case
    std::wstring empty;
    ASSERT_TRUE(md5.MD5File(empty, (dir.Path() / "empty.bin").string().c_str()));
    EXPECT_EQ(empty, L"D41D8CD98F00B204E9800998ECF8427E");

    std::wstring untouched = L"keep";
    EXPECT_FALSE(md5.MD5File(untouched, (dir.Path() / "missing.bin").string().c_str()));
    EXPECT_FALSE(md5.MD5File(untouched, dir.Path().string().c_str()));  // a folder is no file
    EXPECT_EQ(untouched, L"keep");
    // The failed attempts leave nothing behind in the context.
    EXPECT_EQ(DigestOf(md5, "abc"), L"900150983CD24FB0D6963F7D28E17F72");
}

class CheckFilesTest : public ::testing::Test {
protected:
    void UseFolder(const ScratchDir& dir)
    {
        std::wstring wide = dir.Wide();
        ASSERT_LT(wide.size(), 259u);
        wmemcpy(g_szWorkDir, wide.c_str(), wide.size() + 1);
    }
};

TEST_F(CheckFilesTest, ListsMissingAndDifferingFilesInManifestOrder)
{
    ScratchDir dir("check_order");
    dir.Write("a.bin", "abc");
    dir.Write("Data/b.bin", "message digest");
    dir.Write("Data/c.bin", "changed");
    dir.Write("empty.bin", "");
    MD5_CTX md5;
    UseFolder(dir);
    md5.m_strUpdateInfo =
        L"\\a.bin|900150983CD24FB0D6963F7D28E17F72\r\n"
        L"\\Data\\b.bin|f96b697d7cb7938d525a2f31aaf161d0\n"   // right content, lower-case digest
        L"\\Data\\c.bin|F96B697D7CB7938D525A2F31AAF161D0\r"
        L"\\Data\\gone.bin|D41D8CD98F00B204E9800998ECF8427E#"
        L"\\empty.bin||D41D8CD98F00B204E9800998ECF8427E\n"
        L"\\three|fields|here\n\\single\n";
    std::vector<std::wstring> wanted = {L"\\kept-from-before"};
    md5.CheckFiles(wanted);
    EXPECT_EQ(wanted, (std::vector<std::wstring>{L"\\kept-from-before", L"\\Data\\b.bin", L"\\Data\\c.bin",
                                                 L"\\Data\\gone.bin"}));
    EXPECT_EQ(md5.m_mapFileMD5.size(), 5u);
    EXPECT_EQ(md5.m_mapFileMD5[L"\\empty.bin"], L"D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(CheckFilesTest, SamePathTwiceIsComparedWithEachDigest)
{
    ScratchDir dir("check_twice");
    dir.Write("a.bin", "abc");
    MD5_CTX md5;
    UseFolder(dir);
    md5.m_strUpdateInfo =
        L"\\a.bin|00000000000000000000000000000000\n"
        L"\\a.bin|900150983CD24FB0D6963F7D28E17F72\n"
        L"\\a.bin|11111111111111111111111111111111\n";
    std::vector<std::wstring> wanted;
    md5.CheckFiles(wanted);
    EXPECT_EQ(wanted, (std::vector<std::wstring>{L"\\a.bin", L"\\a.bin"}));
    EXPECT_EQ(md5.m_mapFileMD5[L"\\a.bin"], L"11111111111111111111111111111111");
}

TEST_F(CheckFilesTest, PathsLeavingTheFolderAreNeverEntries)
{
    ScratchDir outer("check_hostile");
    outer.Write("secret.txt", "abc");
    ScratchDir client_dir("check_hostile/client");  // inside outer, see below
    client_dir.Write("ok.bin", "abc");
    MD5_CTX md5;
    UseFolder(client_dir);
    md5.m_strUpdateInfo =
        L"\\..\\..\\ql_patch_check_hostile\\secret.txt|00000000000000000000000000000000\n"
        L"\\sub\\..\\..\\secret.txt|00000000000000000000000000000000\n"
        L"..\\secret.txt|00000000000000000000000000000000\n"
        L"C:\\Windows\\win.ini|00000000000000000000000000000000\n"
        L"\\ok.bin:stream|00000000000000000000000000000000\n"
        L"\\ok.bin|00000000000000000000000000000000\n";
    std::vector<std::wstring> wanted;
    md5.CheckFiles(wanted);
    EXPECT_EQ(wanted, std::vector<std::wstring>{L"\\ok.bin"});
    ASSERT_EQ(md5.m_mapFileMD5.size(), 1u);
}

}  // namespace

TEST_F(CheckFilesTest, ClosingLauncherStopsThePassAndLeftoverTemporariesGo)
{
    ScratchDir dir("check_stop");
    dir.Write("a.bin", std::string(1000000, 'a'));  // several read chunks
    dir.Write("b.bin", "abc");
    dir.Write("b.bin.qlpart", "half of a new b.bin");
    MD5_CTX md5;
    UseFolder(dir);
    md5.m_strUpdateInfo = L"\\b.bin|900150983CD24FB0D6963F7D28E17F72\n\\gone.bin|00000000000000000000000000000000\n";
    volatile int32_t stop = 0;
    md5.SetStopFlag(&stop);
    std::vector<std::wstring> wanted;
    md5.CheckFiles(wanted);
    EXPECT_TRUE(wanted == std::vector<std::wstring>{L"\\gone.bin"});
    EXPECT_FALSE(dir.Exists("b.bin.qlpart"));
    EXPECT_EQ(dir.Read("b.bin"), "abc");

    // Once the launcher is closing, a file is given up after its current chunk (no digest) and
    // no further entry is looked at; the context is left clean for any later use.
    stop = 1;
    std::wstring text = L"keep";
    EXPECT_FALSE(md5.MD5File(text, (dir.Path() / "a.bin").string().c_str()));
    EXPECT_EQ(text, L"keep");
    wanted.clear();
    md5.CheckFiles(wanted);
    EXPECT_TRUE(wanted.empty());
    stop = 0;
    EXPECT_EQ(DigestOf(md5, "abc"), L"900150983CD24FB0D6963F7D28E17F72");
}
