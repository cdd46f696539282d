// The common controls the launcher and the updater use, bound to items of a dialog. Every
// operation is a SendMessage to the control, so it may be called from a worker thread too.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "gdi_object.h"
#include "wnd.h"

namespace winfx {

class CDialogEx;

class CStatic : public CWnd {};

class CButton : public CWnd {
public:
    void SetCheck(int state) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
};

class CComboBox : public CWnd {
public:
    // At an explicit position, so a sorted combo box keeps the caller's order.
    int InsertString(int index, const wchar_t* text) const;
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    std::wstring GetLBText(int index) const;
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    COLORREF SetBkColor(COLORREF color) const { return static_cast<COLORREF>(SendMessage(PBM_SETBKCOLOR, 0, color)); }
    COLORREF SetBarColor(COLORREF color) const { return static_cast<COLORREF>(SendMessage(PBM_SETBARCOLOR, 0, color)); }
    // With visual styles on, a themed bar ignores its colours; plain drawing shows them.
    void DisableVisualStyles() const;
};

// Implemented by controls that draw themselves: the dialog hands them their WM_DRAWITEM.
class COwnerDrawn {
public:
    virtual ~COwnerDrawn() = default;
    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

// An owner-drawn push button showing one of four pictures: normal, pressed, focused, disabled.
// A missing focused or disabled picture falls back to the normal one.
class CBitmapButton : public CButton, public COwnerDrawn {
public:
    // Picture resource ids; 0 means none. False when the normal picture cannot be loaded.
    bool LoadBitmaps(UINT normal, UINT pressed = 0, UINT focused = 0, UINT disabled = 0);
    // Binds control `id` of `parent` and asks the parent for its drawing notifications.
    bool SubclassDlgItem(UINT id, CDialogEx& parent);
    // Sizes the button to its normal picture.
    void SizeToContent() const;
    void DrawItem(const DRAWITEMSTRUCT& item) override;

private:
    Bitmap m_normal, m_pressed, m_focused, m_disabled;
};

}  // namespace winfx
