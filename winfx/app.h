// CWinApp: the application object. The program defines exactly one; the framework's entry point
// calls its InitInstance, and a dialog program runs its whole life inside that call.
#pragma once

#include <windows.h>

#include <string>

namespace winfx {

class CWnd;

// RegisterApplicationRestart on start-up.
constexpr DWORD kRestartManagerSupportRestart = 0x01;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // False ends the program at once with ExitInstance's code.
    virtual BOOL InitInstance();
    virtual int ExitInstance() { return 0; }

    // Hosted ActiveX controls need OLE on the UI thread.
    void EnableControlContainer();
    // Kept for the program; the framework itself stores nothing in the registry.
    void SetRegistryKey(const wchar_t* key) { m_strRegistryKey = key; }

    static CWinApp* Current();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
    std::wstring m_strRegistryKey;

private:
    bool m_bOleStarted = false;
};

CWnd* AfxGetMainWnd();

// The application's message box: no owner, the program's name as its title, so it can be shown
// from any thread, even while the main window's thread is waiting for that thread.
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);

// The entry point's work, callable from the program's own wWinMain.
int RunApplication(HINSTANCE instance);

}  // namespace winfx
