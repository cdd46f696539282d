#include "controls.h"

#include <uxtheme.h>

#include "dialog.h"

namespace winfx {

int CComboBox::InsertString(int index, const wchar_t* text) const
{
    return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}

std::wstring CComboBox::GetLBText(int index) const
{
    LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

void CProgressCtrl::DisableVisualStyles() const
{
    ::SetWindowTheme(m_hWnd, L"", L"");
    // Some theme engines take empty names for "the default"; a name that matches no theme class
    // turns the styles off there too.
    if (::GetWindowTheme(m_hWnd)) ::SetWindowTheme(m_hWnd, L" ", L" ");
}

namespace {

HBITMAP LoadPicture(UINT id)
{
    if (id == 0) return nullptr;
    return static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION));
}

SIZE PictureSize(HBITMAP bitmap)
{
    BITMAP info = {};
    if (bitmap) ::GetObjectW(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

}  // namespace

bool CBitmapButton::LoadBitmaps(UINT normal, UINT pressed, UINT focused, UINT disabled)
{
    m_normal.Reset(LoadPicture(normal));
    m_pressed.Reset(LoadPicture(pressed));
    m_focused.Reset(LoadPicture(focused));
    m_disabled.Reset(LoadPicture(disabled));
    return static_cast<bool>(m_normal);
}

bool CBitmapButton::SubclassDlgItem(UINT id, CDialogEx& parent)
{
    Attach(parent.GetDlgItem(static_cast<int>(id)));
    if (!m_hWnd) return false;
    parent.AddOwnerDrawn(static_cast<int>(id), this);
    return true;
}

void CBitmapButton::SizeToContent() const
{
    SIZE size = PictureSize(m_normal.Get());
    if (size.cx > 0) SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    HBITMAP picture = m_normal.Get();
    if ((item.itemState & ODS_SELECTED) && m_pressed) picture = m_pressed.Get();
    else if ((item.itemState & ODS_FOCUS) && m_focused) picture = m_focused.Get();
    else if ((item.itemState & ODS_DISABLED) && m_disabled) picture = m_disabled.Get();
    if (!picture) return;
    SIZE size = PictureSize(picture);
    MemoryDC source(item.hDC, picture);
    ::BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
}

}  // namespace winfx
