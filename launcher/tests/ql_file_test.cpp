// CQLFile against files written by an encoder of the test's own (the inverse of the documented
// unscrambling), including damaged and hostile files.
#include <gtest/gtest.h>

#include <stdio.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/ql_file.h"

namespace {

const std::string kKey = "Rq7!vM2#pL9&zT4^wK8*nB3~hG6$cF1%";

std::vector<uint8_t> Encode(const std::string& text, uint32_t divisor, uint32_t length_field, bool trailing_padding = true)
{
    std::vector<uint8_t> file;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put32(0x12345678);
    put32(divisor);
    put32(length_field);
    file.push_back(0xAA);
    file.push_back(0xBB);
    for (size_t j = 0; j < text.size(); ++j) {
        uint8_t b = static_cast<uint8_t>(text[j]);
        b = static_cast<uint8_t>(b + (static_cast<uint8_t>(kKey[(j + 1) % 32]) ^ static_cast<uint8_t>(j)));
        if (divisor && j % divisor == 0) b = static_cast<uint8_t>(b + divisor);
        file.push_back(b);
    }
    if (trailing_padding) {
        file.push_back(0xCC);
        file.push_back(0xDD);
    }
    return file;
}

std::vector<uint8_t> Encode(const std::string& text, uint32_t divisor = 7)
{
    return Encode(text, divisor, static_cast<uint32_t>(text.size()));
}

class QLFileTest : public ::testing::Test {
protected:
    // One file per test case: ctest runs cases as parallel processes.
    std::string path_ = ::testing::TempDir() + "qlfile_" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";

    void TearDown() override { remove(path_.c_str()); }

    const char* Write(const std::vector<uint8_t>& bytes)
    {
        FILE* f = fopen(path_.c_str(), "wb");
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return path_.c_str();
    }

    std::vector<std::string> Words(CQLFile& file)
    {
        std::vector<std::string> words;
        while (!file.IsEOF()) {
            if (file.ReadWord() != 0) break;
            words.emplace_back(g_szWordBuffer);
        }
        return words;
    }
};

TEST_F(QLFileTest, LoadsHeaderAndUnscramblesBodyForAnyDivisor)
{
    const std::string text = "#主窗口 10 20 800 600\r\nUpUrl http://127.0.0.1:8080/patch/\r\n";
    for (uint32_t divisor : {1u, 2u, 7u, 31u, 256u, 1000u, 0xFFFFFFFFu}) {
        CQLFile file;
        ASSERT_TRUE(file.Open(Write(Encode(text, divisor)))) << divisor;
        EXPECT_EQ(file.m_bLoaded, 1);
        EXPECT_EQ(file.m_dwReserved, 0x12345678u);
        EXPECT_EQ(file.m_dwDivisor, divisor);
        EXPECT_EQ(file.m_dwLength, text.size());
        EXPECT_EQ(file.m_dwReadPos, 0u);
        EXPECT_EQ(std::string(file.m_pBody, text.size()), text) << divisor;
        EXPECT_EQ(file.m_pBody[text.size()], '\0');
        EXPECT_EQ(file.m_byPadding[0], 0xAA);
        EXPECT_EQ(file.m_byPadding[1], 0xBB);
    }
}

TEST_F(QLFileTest, WordsSplitAtSpacesTabsAndCrLfButNotAtLoneLf)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("one  two\tthree\r\nfour\nfive six\rseven"))));
    EXPECT_EQ(Words(file), (std::vector<std::string>{"one", "two", "three", "four\nfive", "six\rseven"}));
    EXPECT_TRUE(file.IsEOF());
}

TEST_F(QLFileTest, WordBeforeCrLfLeavesTheReadPositionOnTheCr)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("key\r\nvalue"))));
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "key");
    EXPECT_EQ(file.m_dwReadPos, 3u);
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "value");
}

TEST_F(QLFileTest, TrailingSeparatorsGiveOneEmptyWordThenTheEnd)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("42 \r\n"))));
    EXPECT_EQ(file.ReadInt(), 42);
    EXPECT_FALSE(file.IsEOF());
    EXPECT_EQ(file.ReadInt(), 0);  // the empty word
    EXPECT_TRUE(file.IsEOF());
    // Past the end the buffer is left as it was, so ReadInt repeats the last word.
    std::strcpy(g_szWordBuffer, "17");
    EXPECT_EQ(file.ReadWord(), -1);
    EXPECT_STREQ(g_szWordBuffer, "17");
    EXPECT_EQ(file.ReadInt(), 17);
    EXPECT_EQ(file.ReadWideString(), L"");
}

TEST_F(QLFileTest, EscapesInWords)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("a^sb ^e ^^x ab^ x^qy ab^ecd 12abc"))));
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "a b");
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "");
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "^x");
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "ab");
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "xy");
    EXPECT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "");  // "^e" empties what came before it
    EXPECT_EQ(std::string(g_szWordBuffer + 1), "bcd");
    EXPECT_EQ(file.ReadInt(), 12);
}

TEST_F(QLFileTest, DoubleByteCharactersPassWholeEvenWithACaretTrailByte)
{
    // 0x81 0x5E is one GBK character whose trail byte is '^'.
    const std::string text = std::string("\x81\x5E") + "^s" + "\xD6\xD0\xCE\xC4";
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode(text))));
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_EQ(std::string(g_szWordBuffer), std::string("\x81\x5E") + " " + "\xD6\xD0\xCE\xC4");
}

TEST_F(QLFileTest, WideStringsAreRawAndConvertedFromTheAnsiCodePage)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("http://h/a^b?c=1 \xD6\xD0\xCE\xC4"))));
    EXPECT_EQ(file.ReadWideString(), L"http://h/a^b?c=1");
    EXPECT_EQ(file.ReadWideString(), L"\u4E2D\u6587");  // 中文
    EXPECT_TRUE(file.IsEOF());
}

TEST_F(QLFileTest, EmptyBodyLoadsAndIsAtItsEndAtOnce)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("", 0, 0))));
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.m_pBody, nullptr);
    EXPECT_EQ(file.ReadWord(), -1);
    // A file too short for a header loads as empty for a fresh reader.
    CQLFile fresh;
    ASSERT_TRUE(fresh.Open(Write({1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(fresh.m_dwReserved, 0x04030201u);
    EXPECT_TRUE(fresh.IsEOF());
}

TEST_F(QLFileTest, MissingTrailingPaddingIsTolerated)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("abc def", 3, 7, false))));
    EXPECT_EQ(Words(file), (std::vector<std::string>{"abc", "def"}));
}

TEST_F(QLFileTest, InvalidFilesAreRefusedAndEarlierContentsStay)
{
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode("first second"))));
    ASSERT_EQ(file.ReadWord(), 0);

    EXPECT_FALSE(file.Open(nullptr));
    EXPECT_FALSE(file.Open((path_ + ".missing").c_str()));
    EXPECT_FALSE(file.Open(Write(Encode("abc", 0, 3))));              // divisor 0 with a body
    EXPECT_FALSE(file.Open(Write(Encode("abc", 5, 4000))));           // length beyond the file
    EXPECT_FALSE(file.Open(Write(Encode("abc", 5, 0xFFFFFFFFu))));    // length that would wrap

    EXPECT_EQ(file.m_bLoaded, 1);
    EXPECT_EQ(file.m_dwLength, 12u);
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "second");
}

TEST_F(QLFileTest, OverlongWordsAreCutAt511BytesAndTheRestIsConsumed)
{
    std::string longword(2000, 'x');
    longword[510] = 'y';
    longword[511] = 'z';
    CQLFile file;
    ASSERT_TRUE(file.Open(Write(Encode(longword + " after"))));
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_EQ(std::strlen(g_szWordBuffer), 511u);
    EXPECT_EQ(g_szWordBuffer[510], 'y');
    ASSERT_EQ(file.ReadWord(), 0);
    EXPECT_STREQ(g_szWordBuffer, "after");
    // An overlong word ending in a lead byte at the cut does not pull in a byte past it.
    std::string lead(510, 'a');
    lead += "\xD6\xD0";
    CQLFile second;
    ASSERT_TRUE(second.Open(Write(Encode(lead))));
    ASSERT_EQ(second.ReadWord(), 0);
    EXPECT_EQ(std::strlen(g_szWordBuffer), 511u);
}

TEST_F(QLFileTest, DestructorFreesAndClears)
{
    auto* file = new CQLFile;
    ASSERT_TRUE(file->Open(Write(Encode("x"))));
    delete file;  // the sanitizer build reports a leak or a double free here
}

}  // namespace
