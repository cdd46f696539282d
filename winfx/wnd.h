// CWnd: a thin owner-less view of a window handle. Controls are bound to dialog items and talk to
// their windows only through SendMessage, which is synchronous even when the caller is another
// thread: worker threads may update a control and know the update is done when the call returns.
#pragma once

#include <windows.h>

#include <string>

namespace winfx {

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Binds this object to an existing window; the window is not owned and not destroyed here.
    void Attach(HWND hwnd) { m_hWnd = hwnd; }

    LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const;

    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const;
    BOOL MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) const;
    BOOL ShowWindow(int show) const;
    BOOL EnableWindow(BOOL enable) const;
    BOOL RedrawWindow(UINT flags) const;
    void SetWindowText(const wchar_t* text) const;
    std::wstring GetWindowText() const;
    int GetDlgCtrlID() const;
    HWND GetDlgItem(int id) const;
    RECT GetClientRect() const;

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse_ms) const;
    BOOL KillTimer(UINT_PTR id) const;

    // Modal message box owned by this window.
    int MessageBox(const wchar_t* text, const wchar_t* caption, UINT type = MB_OK) const;

protected:
    HWND m_hWnd = nullptr;
};

}  // namespace winfx
