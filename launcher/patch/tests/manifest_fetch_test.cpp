// The manifest fetch against our fault server on loopback (started by fetch_with_server.py): how
// the body is taken, and what happens with a short body, a NUL or an error page.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "manifest_fetch.h"
#include "md5_ctx.h"

namespace {

// Set by the test driver, which runs our fault server with the answers used below.
std::wstring ServerUrl(const wchar_t* variable)
{
    wchar_t value[256] = {};
    DWORD n = GetEnvironmentVariableW(variable, value, 256);
    return n > 0 && n < 256 ? std::wstring(value, n) : std::wstring();
}

std::wstring Url(const std::wstring& path) { return ServerUrl(L"QL_FETCH_URL") + path; }

class ManifestFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ServerUrl(L"QL_FETCH_URL").empty()) GTEST_SKIP() << "run through fetch_with_server.py";
    }
};

TEST_F(ManifestFetch, ReadsTheAnnouncedBodyAsAnsiTextWithoutQuery)
{
    MD5_CTX md5;  // the served text is GBK, read in the system code page (936 here)
    md5.m_strUpdateInfo = L"earlier text";
    ASSERT_TRUE(md5.GetUpdateInfo(Url(L"/patch/MyUpdata.txt")));
    EXPECT_EQ(md5.m_strUpdateInfo, L"\\\u66F4\u65B0.txt|AA\r\n\\b|BB\r\n");
}

TEST_F(ManifestFetch, BodyIsTakenWhateverTheStatusAndEndsAtNul)
{
    std::wstring text;
    ASSERT_TRUE(quenlor::FetchManifestText(Url(L"/error/MyUpdata.txt"), text));
    EXPECT_EQ(text, L"<html><body>404 Not Found</body></html>");
    ASSERT_TRUE(quenlor::FetchManifestText(Url(L"/nul/MyUpdata.txt"), text));
    EXPECT_EQ(text, L"\\a|AA");
}

TEST_F(ManifestFetch, ACutBodyGivesWhatArrived)
{
    std::wstring text;
    ASSERT_TRUE(quenlor::FetchManifestText(Url(L"/cut/MyUpdata.txt"), text));  // 100 announced, 7 sent
    EXPECT_EQ(text, L"\\a|AA\r\n");
}

// A body without Content-Length (read as an empty manifest) and a negative Content-Length (refused
// before any read) are covered by the end-to-end suite with the real launcher.

TEST_F(ManifestFetch, UnreachableServerFailsSilently)
{
    MD5_CTX md5;
    md5.m_strUpdateInfo = L"kept";
    EXPECT_FALSE(md5.GetUpdateInfo(ServerUrl(L"QL_CLOSED_URL") + L"/MyUpdata.txt"));
    EXPECT_EQ(md5.m_strUpdateInfo, L"kept");
}

}  // namespace
