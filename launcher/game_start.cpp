// Starting the game client: the line text goes to the shared block "SendMessAge", the client is
// created from the client folder, and timer 1 watches the block for the client's close request.
#include <stdio.h>

#include "worker_thread.h"

#include "app.h"
#include "ansi_text.h"
#include "ql_autopatch_dlg.h"
#include "share_block.h"

namespace {

// The launcher cannot go on without a client it could start: tell the player and end at once.
[[noreturn]] void FailLaunch(DWORD error, const std::wstring& path)
{
    wchar_t text[MAX_PATH + 64];
    swprintf(text, sizeof(text) / sizeof(text[0]), L"运行失败!错误代码%d %ls", static_cast<int>(error), path.c_str());
    winfx::AfxMessageBox(text, MB_OK);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

}  // namespace

void CQLAutoPatchDlg::StartGame()
{
    // Under "RunClient" this runs on the patching thread: a launcher that is closing starts no
    // game and must not read its controls, which may already be gone.
    if (m_bStop) return;
    SaveLaunchOptions();
    std::wstring path = std::wstring(m_szCurDir) + L"\\" + m_strExeName;
    // The caller waits, so the dialog is never used by both threads at once.
    winfx::CWorkerThread([this, path] { LaunchClient(path); }).Join();
}

void CQLAutoPatchDlg::LaunchClient(std::wstring path)
{
    // While a click waits here the UI thread is blocked: nothing below may send to the dialog.
    HANDLE map = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(quenlor::kShareBlockSize), quenlor::kShareBlockName);
    if (!map) FailLaunch(::GetLastError(), path);
    void* view = ::MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, quenlor::kShareBlockSize);
    if (!view) FailLaunch(::GetLastError(), path);
    // A further start opens the same block again; the earlier view and handle are let go.
    if (m_pShareView) ::UnmapViewOfFile(m_pShareView);
    if (m_hShareMap) ::CloseHandle(m_hShareMap);
    m_hShareMap = map;
    m_pShareView = view;

    // A line that does not fit would reach the client cut off: refused like a failed start.
    if (!quenlor::WriteLineToShareBlock(quenlor::WideToAnsi(m_strLine), static_cast<uint8_t*>(m_pShareView)))
        FailLaunch(quenlor::kLineTooLongError, path);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        FailLaunch(::GetLastError(), path);
    // The launcher never waits for the client nor watches its process.
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    SetTimer(kGameWatchTimer, 1000);
}

LRESULT CQLAutoPatchDlg::OnTimer(WPARAM timer, LPARAM)
{
    // The game's request closes the launcher as the close button does.
    if (timer == kGameWatchTimer && m_pShareView && quenlor::IsCloseRequest(static_cast<const uint8_t*>(m_pShareView)))
        CloseLauncher();
    return Default();
}
