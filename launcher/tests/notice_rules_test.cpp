// The notice page's decisions, driven by a browser double that plays the event sequences a real
// browser produces: a page that loads, a redirect to an unreachable address (which ends on the
// browser's own error page), addresses of the browser's own pages, and an error page followed
// by a good page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "window/notice_rules.h"

namespace {

// Plays browser events into the rules and records what they do to the view.
class BrowserDouble : public QLNoticeSurface {
public:
    bool visible = false;  // the view is created hidden
    std::vector<std::string> actions;

    void ShowView() override
    {
        visible = true;
        actions.push_back("show");
    }
    void HideView() override
    {
        visible = false;
        actions.push_back("hide");
    }
    void HideScrollBars() override { actions.push_back("noscroll"); }

    void Before(const wchar_t* url) { rules.OnBeforeNavigate2(url, *this); }
    void Begin() { rules.OnDownload(*this); }
    void Complete() { rules.OnDownload(*this); }
    void Document() { rules.OnDocumentComplete(*this); }

    // A page that loads: its navigation, one download and its document.
    void LoadPage(const wchar_t* url)
    {
        Before(url);
        Begin();
        Complete();
        Document();
    }
    // A page that cannot be reached: the browser goes on to its own error page.
    void FailPage(const wchar_t* url)
    {
        Before(url);
        Begin();
        Complete();
        LoadPage(L"res://ieframe.dll/dnserror.htm#http://notice.example/");
    }

    QLNoticeRules rules;
};

const std::vector<std::string> kLoadedPage = {"noscroll", "noscroll", "noscroll", "show"};

TEST(NoticeRules, APageThatLoadsShowsOnlyWhenItsDocumentCompletesWithoutScrollBars)
{
    BrowserDouble browser;
    browser.Before(L"http://notice.example/gg.html");
    browser.Begin();
    browser.Complete();
    EXPECT_FALSE(browser.visible) << "shown before the document completed";
    browser.Document();
    EXPECT_TRUE(browser.visible);
    // Scroll bars go at every download step and before the page is shown.
    EXPECT_EQ(browser.actions, kLoadedPage);
    EXPECT_FALSE(browser.rules.SawErrorPage());

    // Frames and later pages complete too: the view stays shown, still without scroll bars.
    browser.LoadPage(L"http://notice.example/frame.html");
    EXPECT_TRUE(browser.visible);
    EXPECT_EQ(browser.actions.size(), 8u);
}

TEST(NoticeRules, ARedirectToAnUnreachableAddressHidesOnTheErrorPageAndStaysHidden)
{
    BrowserDouble browser;
    browser.Before(L"http://notice.example/gg.html");
    browser.Begin();
    browser.Before(L"http://unreachable.example/moved.html");  // the redirect
    browser.Complete();
    browser.Before(L"res://ieframe.dll/dnserror.htm#http://unreachable.example/moved.html");
    EXPECT_TRUE(browser.rules.SawErrorPage());
    EXPECT_EQ(browser.actions.back(), "hide");
    browser.Begin();
    browser.Complete();
    browser.Document();  // the error page itself completes
    EXPECT_FALSE(browser.visible);
    EXPECT_EQ(std::count(browser.actions.begin(), browser.actions.end(), std::string("show")), 0);
}

TEST(NoticeRules, AnAddressStartingWithResInAnyCaseIsAnErrorPage)
{
    for (const wchar_t* url : {L"res://ieframe.dll/navcancl.htm", L"RES://x", L"Res:", L"rEs", L"resource.html"}) {
        BrowserDouble browser;
        browser.LoadPage(url);
        EXPECT_FALSE(browser.visible) << "shown: " << url;
        EXPECT_TRUE(browser.rules.SawErrorPage());
    }
    // Only the first three characters count, and only these letters.
    for (const wchar_t* url : {L"", L"re", L"r", L" res://x", L"http://res/", L"about:blank", L"rés://x", L"rez://x"}) {
        BrowserDouble browser;
        browser.LoadPage(url);
        EXPECT_TRUE(browser.visible) << "hidden: " << url;
    }
    EXPECT_FALSE(IsBrowserResourceAddress(nullptr));
    EXPECT_TRUE(IsBrowserResourceAddress(L"RES"));
}

TEST(NoticeRules, AnErrorPageKeepsTheViewHiddenForTheRestOfTheRun)
{
    BrowserDouble browser;
    browser.FailPage(L"http://notice.example/gg.html");
    EXPECT_FALSE(browser.visible);
    // The player follows nothing here, but a script on the error page could navigate on: a good
    // page afterwards must still not show the view.
    browser.LoadPage(L"http://notice.example/gg.html");
    browser.LoadPage(L"http://notice.example/gg.html");
    EXPECT_FALSE(browser.visible);
    EXPECT_EQ(std::count(browser.actions.begin(), browser.actions.end(), std::string("show")), 0);

    // A view already shown hides at the first error page.
    BrowserDouble shown;
    shown.LoadPage(L"http://notice.example/gg.html");
    ASSERT_TRUE(shown.visible);
    shown.FailPage(L"http://notice.example/next.html");
    EXPECT_FALSE(shown.visible);
}

}  // namespace
