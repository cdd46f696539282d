#include "wnd.h"

namespace winfx {

LRESULT CWnd::SendMessage(UINT message, WPARAM wparam, LPARAM lparam) const
{
    return ::SendMessageW(m_hWnd, message, wparam, lparam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wparam, LPARAM lparam) const
{
    return ::PostMessageW(m_hWnd, message, wparam, lparam);
}

BOOL CWnd::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const
{
    return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
}

BOOL CWnd::MoveWindow(int x, int y, int cx, int cy, BOOL repaint) const
{
    return ::MoveWindow(m_hWnd, x, y, cx, cy, repaint);
}

BOOL CWnd::ShowWindow(int show) const
{
    return ::ShowWindow(m_hWnd, show);
}

BOOL CWnd::EnableWindow(BOOL enable) const
{
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::RedrawWindow(UINT flags) const
{
    return ::RedrawWindow(m_hWnd, nullptr, nullptr, flags);
}

void CWnd::SetWindowText(const wchar_t* text) const
{
    ::SetWindowTextW(m_hWnd, text);
}

std::wstring CWnd::GetWindowText() const
{
    int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(m_hWnd, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

int CWnd::GetDlgCtrlID() const
{
    return ::GetDlgCtrlID(m_hWnd);
}

HWND CWnd::GetDlgItem(int id) const
{
    return ::GetDlgItem(m_hWnd, id);
}

RECT CWnd::GetClientRect() const
{
    RECT rect = {};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse_ms) const
{
    return ::SetTimer(m_hWnd, id, elapse_ms, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) const
{
    return ::KillTimer(m_hWnd, id);
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const
{
    return ::MessageBoxW(m_hWnd, text, caption, type);
}

}  // namespace winfx
