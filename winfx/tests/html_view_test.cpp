// The browser host under the system's browser control: a hidden child at its rectangle with its
// id, the browser in place over it and movable through its site, the navigation events of an
// address that cannot load, and the view's lifetime bound to its window both ways.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "html_view.h"

namespace {

int g_viewsDeleted = 0;

class RecordingView : public winfx::CHtmlView {
public:
    std::vector<std::wstring> events;
    bool cancelNext = false;

    ~RecordingView() override { ++g_viewsDeleted; }

protected:
    void OnBeforeNavigate2(const wchar_t* url, DWORD, const wchar_t*, const wchar_t*, BOOL* cancel) override
    {
        events.push_back(std::wstring(L"before ") + url);
        if (cancelNext) *cancel = TRUE;
        cancelNext = false;
    }
    void OnDownloadBegin() override { events.push_back(L"begin"); }
    void OnDownloadComplete() override { events.push_back(L"complete"); }
    void OnDocumentComplete(const wchar_t* url) override { events.push_back(std::wstring(L"document ") + url); }
};

// Pumps this thread's messages until `done` holds or 60 s have passed (the browser's events
// come through them).
template <typename Done>
bool PumpUntil(Done done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 60000) return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

RECT RectIn(HWND window, HWND parent)
{
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class HtmlViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        parent = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_TRUE(parent);
        g_viewsDeleted = 0;
    }
    void TearDown() override
    {
        if (parent) ::DestroyWindow(parent);
        ::OleUninitialize();
    }
    HWND parent = nullptr;
};

TEST_F(HtmlViewTest, HostsTheBrowserInPlaceInAHiddenChildThatItsWindowOwns)
{
    auto* view = new RecordingView;
    ASSERT_TRUE(view->Create(nullptr, 0, RECT{10, 20, 210, 170}, parent, 138));
    HWND hwnd = view->GetSafeHwnd();
    EXPECT_EQ(::GetDlgCtrlID(hwnd), 138);
    EXPECT_EQ(::GetParent(hwnd), parent);
    EXPECT_FALSE(::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE);
    RECT rect = RectIn(hwnd, parent);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 210);
    EXPECT_EQ(rect.bottom, 170);

    // In place: the browser's own window sits inside the view over its whole client area.
    ASSERT_NE(view->GetBrowser(), nullptr);
    HWND browser = ::GetWindow(hwnd, GW_CHILD);
    ASSERT_TRUE(browser);
    RECT inner = RectIn(browser, hwnd);
    EXPECT_EQ(inner.left, 0);
    EXPECT_EQ(inner.top, 0);
    EXPECT_EQ(inner.right, 200);
    EXPECT_EQ(inner.bottom, 150);
    EXPECT_EQ(view->GetLeft(), 0);
    EXPECT_EQ(view->GetWidth(), 200);
    EXPECT_EQ(view->GetHeight(), 150);

    // Moved through its site: pushed 2 pixels past the left and top edges, still covering the rest.
    view->SetLeft(-2);
    view->SetTop(-2);
    view->SetWidth(view->GetWidth() + 2);
    view->SetHeight(view->GetHeight() + 2);
    inner = RectIn(browser, hwnd);
    EXPECT_EQ(inner.left, -2);
    EXPECT_EQ(inner.top, -2);
    EXPECT_GE(inner.right, 200);
    EXPECT_GE(inner.bottom, 150);
    EXPECT_EQ(view->GetLeft(), -2);
    EXPECT_EQ(view->GetTop(), -2);

    // The parent's end takes the view with it, once.
    ::DestroyWindow(parent);
    parent = nullptr;
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(g_viewsDeleted, 1);
}

TEST_F(HtmlViewTest, AnEmptyRectangleGivesAViewWithoutArea)
{
    auto* view = new RecordingView;
    ASSERT_TRUE(view->Create(nullptr, 0, RECT{0, 0, 0, 0}, parent, 138));
    RECT rect = RectIn(view->GetSafeHwnd(), parent);
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    EXPECT_EQ(::GetDlgItem(parent, 138), view->GetSafeHwnd());
    EXPECT_FALSE(::IsWindowVisible(view->GetSafeHwnd()));
}

TEST_F(HtmlViewTest, ACallerKeepsAViewWhoseWindowCouldNotBeMadeAndMayDeleteALiveOne)
{
    auto* orphan = new RecordingView;
    // A child needs a parent: no window, and the object is still the caller's.
    EXPECT_FALSE(orphan->Create(nullptr, 0, RECT{0, 0, 10, 10}, nullptr, 138));
    EXPECT_EQ(orphan->GetSafeHwnd(), nullptr);
    EXPECT_EQ(g_viewsDeleted, 0);
    delete orphan;
    EXPECT_EQ(g_viewsDeleted, 1);

    auto* view = new RecordingView;
    ASSERT_TRUE(view->Create(nullptr, 0, RECT{0, 0, 10, 10}, parent, 7));
    HWND hwnd = view->GetSafeHwnd();
    delete view;  // the window goes with it, without a second deletion
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(g_viewsDeleted, 2);
    EXPECT_EQ(::GetDlgItem(parent, 7), nullptr);
}

TEST_F(HtmlViewTest, AHandlerThatCancelsStopsTheNavigationBeforeAnyDownload)
{
    auto* view = new RecordingView;
    ASSERT_TRUE(view->Create(nullptr, 0, RECT{0, 0, 120, 90}, parent, 138));
    ASSERT_NE(view->GetBrowser(), nullptr);
    view->cancelNext = true;
    view->Navigate2(L"about:blank#cancelled");
    view->Navigate2(L"about:blank");
    ASSERT_TRUE(PumpUntil([&] { return std::find(view->events.begin(), view->events.end(), L"complete") != view->events.end(); }));
    std::vector<std::wstring> expected = {L"before about:blank#cancelled", L"before about:blank", L"begin", L"complete"};
    view->events.resize(std::min(view->events.size(), expected.size()));
    EXPECT_EQ(view->events, expected);
}

TEST_F(HtmlViewTest, NavigationEventsArriveInOrderForAnAddressThatCannotLoad)
{
    auto* view = new RecordingView;
    ASSERT_TRUE(view->Create(nullptr, 0, RECT{0, 0, 120, 90}, parent, 138));
    ASSERT_NE(view->GetBrowser(), nullptr);
    // Port 9 on loopback: nothing listens, the connection is refused at once.
    view->Navigate2(L"http://127.0.0.1:9/notice.html");
    ASSERT_TRUE(PumpUntil([&] { return std::find(view->events.begin(), view->events.end(), L"complete") != view->events.end(); }));
    ASSERT_GE(view->events.size(), 3u);
    EXPECT_EQ(view->events[0], L"before http://127.0.0.1:9/notice.html");
    EXPECT_EQ(view->events[1], L"begin");
    EXPECT_EQ(view->events[2], L"complete");
    // Nothing was shown meanwhile: showing is the user's decision.
    EXPECT_FALSE(::IsWindowVisible(view->GetSafeHwnd()));
}

}  // namespace
