#include "ql_autopatch_app.h"

#include <commctrl.h>

#include "ql_autopatch_dlg.h"

CQLAutoPatchApp theApp;

CQLAutoPatchApp::CQLAutoPatchApp()
{
    m_dwRestartManagerSupportFlags = winfx::kRestartManagerSupportRestart;
}

BOOL CQLAutoPatchApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};  // every Windows 95 class
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    EnableControlContainer();  // the notice page is a hosted browser control
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CQLAutoPatchDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    dlg.EndWorkers();  // no worker may outlive the dialog on this stack
    // The dialog was the program; there is no message loop of our own to run.
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return winfx::RunApplication(instance);
}
