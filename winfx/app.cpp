#include "app.h"

#include <ole2.h>

namespace winfx {

namespace {
CWinApp* g_application = nullptr;  // the program's one application object
}

CWinApp::CWinApp()
{
    g_application = this;
}

CWinApp::~CWinApp()
{
    if (m_bOleStarted) ::OleUninitialize();
    if (g_application == this) g_application = nullptr;
}

CWinApp* CWinApp::Current()
{
    return g_application;
}

BOOL CWinApp::InitInstance()
{
    if (m_dwRestartManagerSupportFlags & kRestartManagerSupportRestart) ::RegisterApplicationRestart(nullptr, 0);
    return TRUE;
}

void CWinApp::EnableControlContainer()
{
    if (!m_bOleStarted) m_bOleStarted = SUCCEEDED(::OleInitialize(nullptr));
}

CWnd* AfxGetMainWnd()
{
    return g_application ? g_application->m_pMainWnd : nullptr;
}

int AfxMessageBox(const wchar_t* text, UINT type)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring title = path;
    size_t slash = title.find_last_of(L"\\/");
    if (slash != std::wstring::npos) title.erase(0, slash + 1);
    size_t dot = title.rfind(L'.');
    if (dot != std::wstring::npos) title.erase(dot);
    return ::MessageBoxW(nullptr, text, title.c_str(), type);
}

int RunApplication(HINSTANCE instance)
{
    CWinApp* app = CWinApp::Current();
    if (!app) return 1;
    app->m_hInstance = instance;
    app->InitInstance();  // a dialog program returns false from it: its work is done
    return app->ExitInstance();
}

}  // namespace winfx
