#include "dialog.h"

#include "app.h"
#include "controls.h"

namespace winfx {

const MessageMap CDialogEx::messageMap = {nullptr, nullptr};

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!control.GetSafeHwnd()) control.Attach(dx->m_dialog.GetDlgItem(id));
}

CDialogEx::CDialogEx(UINT template_id, HWND parent) : m_nTemplateId(template_id), m_hParent(parent) {}

CDialogEx::~CDialogEx() = default;

const MessageMap* CDialogEx::GetMessageMap() const
{
    return &messageMap;
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

BOOL CDialogEx::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

bool CDialogEx::UpdateData(bool save)
{
    CDataExchange dx(*this, save);
    DoDataExchange(&dx);
    return true;
}

void CDialogEx::AddOwnerDrawn(int id, COwnerDrawn* control)
{
    m_ownerDrawn.push_back(OwnerDrawnItem{id, control});
}

INT_PTR CDialogEx::DoModal()
{
    HINSTANCE instance = CWinApp::Current() ? CWinApp::Current()->m_hInstance : ::GetModuleHandleW(nullptr);
    INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(m_nTemplateId), m_hParent, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    m_ownerDrawn.clear();
    return result;
}

LRESULT CDialogEx::Default()
{
    m_bDefaultRequested = true;
    return 0;
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogEx*>(lparam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;  // messages that come before WM_INITDIALOG
    return self->Dispatch(message, wparam, lparam);
}

const MessageMapEntry* CDialogEx::FindEntry(UINT message, WPARAM wparam) const
{
    UINT key = (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ? kCtlColorAnyMessage : message;
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        if (!map->entries) continue;
        for (const MessageMapEntry* entry = map->entries; entry->message != 0; ++entry) {
            if (entry->message != key) continue;
            if (key == WM_COMMAND && (entry->code != HIWORD(wparam) || entry->id != LOWORD(wparam))) continue;
            return entry;
        }
    }
    return nullptr;
}

// Messages whose result a dialog procedure returns itself rather than through DWLP_MSGRESULT.
static bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_QUERYDRAGICON ||
           message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM;
}

INT_PTR CDialogEx::Dispatch(UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DRAWITEM) {
        for (const OwnerDrawnItem& item : m_ownerDrawn) {
            if (item.id == static_cast<int>(wparam)) {
                item.control->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
                ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);  // "drawn", to whoever sent it
                return TRUE;
            }
        }
    }
    if (const MessageMapEntry* entry = FindEntry(message, wparam)) {
        // A handler may run a nested message loop (a message box), so the flag is per call.
        bool outer_default = m_bDefaultRequested;
        m_bDefaultRequested = false;
        LRESULT result = 0;
        if (entry->onCommand) (this->*entry->onCommand)();
        else result = (this->*entry->onMessage)(wparam, lparam);
        bool wants_default = m_bDefaultRequested;
        m_bDefaultRequested = outer_default;
        if (wants_default) return FALSE;
        if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
        if (m_hWnd) ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
        if (LOWORD(wparam) == IDOK) { OnOK(); return TRUE; }
        if (LOWORD(wparam) == IDCANCEL) { OnCancel(); return TRUE; }
    }
    return FALSE;
}

}  // namespace winfx
