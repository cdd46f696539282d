// CRenovekApp: the updater's application object; the dialog is the whole program.
#include <windows.h>
#include <commctrl.h>

#include "app.h"
#include "renovek_dlg.h"

class CRenovekApp : public winfx::CWinApp {
public:
    BOOL InitInstance() override;
};

CRenovekApp theApp;

BOOL CRenovekApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    EnableControlContainer();
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CRenovekDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    CRenovekDlg::StopDownloads();
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return winfx::RunApplication(instance);
}
