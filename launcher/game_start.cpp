// Starting the game client: the line text goes to the shared block "SendMessAge", the client is
// created from the client folder, and timer 1 watches the block for the client's close request.
#include <stdio.h>

#include <new>
#include <system_error>

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
    try {
        winfx::CWorkerThread([this, path] { LaunchClient(path); }).Join();
    } catch (const std::system_error& refused) {
        // No thread to start the client from (memory or handle quota exhausted): a failed start.
        if (!m_bStop) FailLaunch(static_cast<DWORD>(refused.code().value()), path);
    } catch (const std::bad_alloc&) {
        if (!m_bStop) FailLaunch(ERROR_NOT_ENOUGH_MEMORY, path);
    }
}

void CQLAutoPatchDlg::LaunchClient(std::wstring path)
{
    // While a click waits here the UI thread is blocked: nothing below may send to the dialog.
    HANDLE map = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(quenlor::kShareBlockSize), quenlor::kShareBlockName);
    if (!map) FailLaunch(::GetLastError(), path);
    void* view = ::MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, quenlor::kShareBlockSize);
    if (!view) FailLaunch(::GetLastError(), path);

    // A line that does not fit would reach the client cut off: refused like a failed start.
    if (!quenlor::WriteLineToShareBlock(quenlor::WideToAnsi(m_strLine), static_cast<uint8_t*>(view)))
        FailLaunch(quenlor::kLineTooLongError, path);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    bool created = false;
    DWORD error = ERROR_SUCCESS;
    // The last look at the stop, right before the client exists: a player who closed the launcher
    // while the last file arrived gets no game. Under the stop lock, so a close either comes first
    // (no client) or finds the client started and its block published, and lets the block go.
    const bool attempted = UnlessStopping([&] {
        if (!::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            error = ::GetLastError();
            return;
        }
        created = true;
        // The launcher never waits for the client nor watches its process.
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
        // A further start opens the same block again; the earlier view and handle are let go.
        if (m_pShareView) ::UnmapViewOfFile(m_pShareView);
        if (m_hShareMap) ::CloseHandle(m_hShareMap);
        m_hShareMap = map;
        m_pShareView = view;
        SetTimer(kGameWatchTimer, 1000);
    });
    if (!created) {
        ::UnmapViewOfFile(view);
        ::CloseHandle(map);
        if (attempted) FailLaunch(error, path);
    }
}

LRESULT CQLAutoPatchDlg::OnTimer(WPARAM timer, LPARAM)
{
    // The game's request closes the launcher as the close button does.
    if (timer == kGameWatchTimer && m_pShareView && quenlor::IsCloseRequest(static_cast<const uint8_t*>(m_pShareView)))
        CloseLauncher();
    return Default();
}
