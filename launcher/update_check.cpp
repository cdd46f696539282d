// The start of patching: is this launcher current? If not, the updater replaces it; if so, the
// manifest is fetched and the verification runs on a thread of its own.
#include <exception>

#include "worker_thread.h"

#include "app.h"
#include "ql_autopatch_dlg.h"
#include "patch_text.h"
#include "updater_handoff.h"

void CQLAutoPatchDlg::StartUpdateCheck()
{
    if (!quenlor::LauncherVersionMatches(m_strLunchVer, g_szLauncherVersion)) {
        MessageBox(L"更新功能需要更新，請稍候...", L"提示", MB_OK);
        StartUpdater();
        return;
    }
    // A failed fetch leaves the window as it is: no tip, start button disabled; the player can
    // only close. A failure inside the fetch has already told the player.
    if (!m_md5.GetUpdateInfo(quenlor::MakeManifestUrl(m_strUpUrl))) return;
    m_md5.SetStopFlag(&m_bStop);
    try {
        m_patchThread.reset(new winfx::CWorkerThread([this] { PatchThread(); }));
    } catch (const std::exception&) {
        // The system refused the thread (memory or handle quota exhausted): the window stays as
        // after a failed fetch, start button disabled; the player can only close.
        return;
    }
    // Set after the thread exists; its own texts come through sends that wait for this thread.
    m_stTip.SetWindowText(quenlor::kCheckingText);
}

void CQLAutoPatchDlg::StartUpdater()
{
    std::wstring application = quenlor::UpdaterPath(m_szCurDir);
    std::wstring command_line = quenlor::UpdaterCommandLine(m_strUpLuchUrl, m_szCurDir, m_strLunchName);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    if (!::CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        winfx::AfxMessageBox(L"更新功能程序啟動失敗!", MB_OK);
        ::TerminateProcess(::GetCurrentProcess(), 0);
        return;
    }
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    winfx::AfxGetMainWnd()->SendMessage(WM_CLOSE);
}
