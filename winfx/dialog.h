// CDialogEx: a modal dialog made from a resource template, whose messages are routed through a
// message table of the derived class (searched before its base's tables). Controls are bound to
// dialog items in DoDataExchange.
#pragma once

#include <windows.h>

#include <vector>

#include "wnd.h"

namespace winfx {

class CDialogEx;
class COwnerDrawn;

// Handlers take the message's raw parameters; command handlers take none.
using MsgHandler = LRESULT (CDialogEx::*)(WPARAM, LPARAM);
using CmdHandler = void (CDialogEx::*)();

struct MessageMapEntry {
    UINT message;  // WM_COMMAND entries also match `code` and `id`
    UINT code;
    UINT id;
    MsgHandler onMessage;
    CmdHandler onCommand;
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;  // ends with an entry whose message is 0
};

// Stands for every WM_CTLCOLOR* message in a table, as the controls' colour requests are one
// concern whatever the control's class.
constexpr UINT kCtlColorAnyMessage = 0x0019;

#define WINFX_ON_MESSAGE(message, handler) {message, 0, 0, static_cast<::winfx::MsgHandler>(handler), nullptr}
#define WINFX_ON_CTLCOLOR(handler) WINFX_ON_MESSAGE(::winfx::kCtlColorAnyMessage, handler)
#define WINFX_ON_COMMAND(code, id, handler) {WM_COMMAND, code, id, nullptr, static_cast<::winfx::CmdHandler>(handler)}
#define WINFX_END_MESSAGE_MAP {0, 0, 0, nullptr, nullptr}

class CDataExchange {
public:
    CDataExchange(CDialogEx& dialog, bool save) : m_dialog(dialog), m_bSaveAndValidate(save) {}
    CDialogEx& m_dialog;
    bool m_bSaveAndValidate;
};

// Binds `control` to dialog item `id` (once).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialogEx : public CWnd {
public:
    explicit CDialogEx(UINT template_id, HWND parent = nullptr);
    ~CDialogEx() override;

    // Runs the dialog until EndDialog; the result passed to it, or -1 when it could not be made.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) const { ::EndDialog(m_hWnd, result); }
    bool UpdateData(bool save);

    // Called by controls that draw themselves, to receive WM_DRAWITEM for item `id`.
    void AddOwnerDrawn(int id, COwnerDrawn* control);

protected:
    virtual const MessageMap* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* dx);
    // Binds the controls; returns true to let the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Called from a handler: the message then also gets the dialog manager's own processing.
    LRESULT Default();

    static const MessageMap messageMap;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
    const MessageMapEntry* FindEntry(UINT message, WPARAM wparam) const;

    UINT m_nTemplateId;
    HWND m_hParent;
    bool m_bDefaultRequested = false;
    struct OwnerDrawnItem {
        int id;
        COwnerDrawn* control;
    };
    std::vector<OwnerDrawnItem> m_ownerDrawn;
};

}  // namespace winfx
