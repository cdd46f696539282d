// A hidden window whose queue collects the component's messages, as a client's window would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

constexpr UINT kMessage = WM_APP + 7;

class MessageWindow {
public:
    MessageWindow()
    {
        m_hWnd = CreateWindowExA(0, "STATIC", "nimbrel test", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~MessageWindow() { DestroyWindow(m_hWnd); }
    HWND hwnd() const { return m_hWnd; }

    // Waits up to `ms` for one of our messages; removes it.
    bool waitMessage(DWORD ms = 10000)
    {
        const DWORD start = GetTickCount();
        MSG msg;
        while (GetTickCount() - start < ms) {
            if (PeekMessageA(&msg, m_hWnd, kMessage, kMessage, PM_REMOVE)) {
                EXPECT_EQ(msg.wParam, 0u);
                EXPECT_EQ(msg.lParam, 0);
                return true;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        }
        return false;
    }
    int pending()
    {
        int n = 0;
        MSG msg;
        while (PeekMessageA(&msg, m_hWnd, kMessage, kMessage, PM_REMOVE)) ++n;
        return n;
    }

private:
    HWND m_hWnd;
};

