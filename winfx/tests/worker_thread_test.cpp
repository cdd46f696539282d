// Bounded joins: a worker that keeps sending to a window of the waiting thread still finishes
// when the wait serves sends, and a worker that does not end in time is reported, not waited for.
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <system_error>
#include <vector>

#include "worker_thread.h"

namespace {

constexpr UINT kCountMessage = WM_APP + 1;
LONG g_received = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == kCountMessage) return ++g_received;
    return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateCountingWindow()
{
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = CountingProc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"WorkerThreadTestCounter";
    ::RegisterClassW(&window_class);
    return ::CreateWindowW(L"WorkerThreadTestCounter", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           window_class.hInstance, nullptr);
}

}  // namespace

TEST(WorkerThread, BoundedJoinServesSendsFromTheWorkerUntilItEnds)
{
    HWND window = CreateCountingWindow();
    ASSERT_NE(window, nullptr);
    g_received = 0;
    LONG answered = 0;
    winfx::CWorkerThread worker([window, &answered] {
        for (int i = 0; i < 200; ++i) answered += ::SendMessageW(window, kCountMessage, 0, 0) > 0 ? 1 : 0;
    });
    // Without serving sends the first SendMessage would block the worker for the whole bound.
    EXPECT_TRUE(worker.JoinFor(60000, true));
    EXPECT_EQ(g_received, 200);
    EXPECT_EQ(answered, 200);
    EXPECT_TRUE(worker.JoinFor(0));  // joined: nothing left to wait for
    ::DestroyWindow(window);
}

TEST(WorkerThread, BoundedJoinGivesUpOnAWorkerThatDoesNotEnd)
{
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    winfx::CWorkerThread worker([release] { ::WaitForSingleObject(release, INFINITE); });
    EXPECT_FALSE(worker.JoinFor(50));
    EXPECT_FALSE(worker.JoinFor(50, true));
    ::SetEvent(release);
    EXPECT_TRUE(worker.JoinFor(60000));
    ::CloseHandle(release);
}

// A thread the system cannot give (here: no address space left for its stack) is an exception
// the caller can answer with its own failure message, carrying the system's reason.
TEST(WorkerThread, RefusedThreadThrowsTheSystemsReason)
{
    std::vector<void*> reserved;
    for (SIZE_T size = 256u << 20; size >= 64u << 10; size /= 2) {
        while (void* block = ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) reserved.push_back(block);
    }
    DWORD code = 0;
    bool ran = false;
    try {
        winfx::CWorkerThread worker([&ran] { ran = true; });
        worker.Join();
    } catch (const std::system_error& refused) {
        // A Windows error code, which the launcher shows the player in its failure message.
        EXPECT_EQ(refused.code().category(), std::system_category());
        code = static_cast<DWORD>(refused.code().value());
    } catch (const std::bad_alloc&) {
        code = ERROR_NOT_ENOUGH_MEMORY;
    }
    for (void* block : reserved) ::VirtualFree(block, 0, MEM_RELEASE);
    EXPECT_FALSE(ran);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    // With the address space back, threads start again.
    winfx::CWorkerThread again([&ran] { ran = true; });
    again.Join();
    EXPECT_TRUE(ran);
}
