// One download of the updater: the file arrives in 512-byte pieces with the progress bar
// following, and replaces the local file only once every announced byte arrived and the bytes
// are a program (or a bitmap), so the launcher executable is never left half written or replaced
// by some server's page, whatever ends the transfer.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "app.h"
#include "ansi_text.h"
#include "content_length.h"
#include "internet_session.h"
#include "renovek_dlg.h"
#include "renovek_globals.h"
#include "resource.h"
#include "staged_file.h"
#include "update_body_check.h"

namespace {

constexpr UINT kPiece = 512;

std::wstring Widen(const std::string& text)
{
    return quenlor::AnsiToWide(text.data(), text.size());
}

// The system's text for an error: WinINet's own codes come from its message table.
std::string ErrorText(DWORD error)
{
    char text[255] = "";
    const bool internet = error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST;
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (internet) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    DWORD length = ::FormatMessageA(flags, internet ? ::GetModuleHandleA("wininet.dll") : nullptr, error, 0, text,
                                    sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) text[--length] = '\0';
    if (length == 0) wsprintfA(text, "Error %lu", error);
    return text;
}

// Ends the transfer: the message for the bottom line, or none when the updater is closing anyway
// or the answer is to be passed over without a word.
struct TransferFailure {
    std::string text;
};

void Transfer(const renovek::UpdateJob& job, HWND progress)
{
    winfx::CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
    std::unique_ptr<winfx::CHttpFile> file;
    try {
        file = session.OpenURL(Widen(job.strUrl).c_str(), 1, INTERNET_FLAG_RELOAD | INTERNET_FLAG_TRANSFER_BINARY);
    } catch (const winfx::CInternetException& e) {
        throw TransferFailure{ErrorText(e.m_dwError)};
    }
    // An error page must never take the launcher's or the picture's place. A missing launcher
    // ends the update with the status in the bottom line; a missing picture is only decoration,
    // so the old one stays and the launcher's download goes on.
    DWORD status = 0;
    if (!file->QueryInfoStatusCode(status) || status != HTTP_STATUS_OK) {
        if (&job == &g_jobBackground) throw TransferFailure{};
        char text[64];
        wsprintfA(text, "HTTP %lu", status);
        throw TransferFailure{text};
    }
    // The remote length, as seeking to the end of the remote file finds it; one that is not a
    // 32-bit number cannot be found either.
    uint32_t length = 0;
    std::wstring length_text;
    if (!file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length_text) || !quenlor::ParseContentLength(length_text, length))
        throw TransferFailure{ErrorText(ERROR_INTERNET_INVALID_OPERATION)};

    quenlor::StagedFile target(Widen(job.strPath));
    if (!target.Open()) throw TransferFailure{ErrorText(::GetLastError())};
    ::SendMessageW(progress, PBM_SETRANGE32, 0, static_cast<LPARAM>(length));
    char buffer[kPiece];
    DWORD total = 0;
    renovek::UpdateBodyCheck check(&job == &g_jobBackground ? renovek::BodyKind::Picture : renovek::BodyKind::Launcher);
    for (;;) {
        if (g_bStopping) throw TransferFailure{};
        UINT got = 0;
        try {
            got = file->Read(buffer, kPiece);
        } catch (const winfx::CInternetException& e) {
            throw TransferFailure{ErrorText(e.m_dwError)};
        }
        if (got == 0) break;
        // Bytes beyond the announced length belong to no file: the answer is broken.
        if (got > length - total) throw TransferFailure{ErrorText(ERROR_INTERNET_CONNECTION_ABORTED)};
        check.Feed(buffer, got);
        if (!target.Write(buffer, got)) throw TransferFailure{ErrorText(ERROR_DISK_FULL)};
        total += got;
        ::SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(total), 0);
    }
    // A body that ended early is a broken connection, not a new launcher.
    if (total != length) throw TransferFailure{ErrorText(ERROR_INTERNET_CONNECTION_ABORTED)};
    // A whole answer that is not a program (or not a picture) is a page of some portal or proxy.
    if (!check.Passes()) throw TransferFailure{ErrorText(ERROR_INVALID_DATA)};
    if (g_bStopping) throw TransferFailure{};
    if (!target.Commit()) throw TransferFailure{ErrorText(::GetLastError())};
}

}  // namespace

void DownloadThreadProc(renovek::UpdateJob* job)
{
    winfx::CWnd* main = winfx::AfxGetMainWnd();
    HWND dialog = main ? main->GetSafeHwnd() : nullptr;
    HWND progress = ::GetDlgItem(dialog, IDC_PROGRESS);
    const bool is_launcher = job == &g_jobLauncher;
    std::string error;
    bool written = false;
    try {
        Transfer(*job, progress);
        written = true;
    } catch (const TransferFailure& failure) {
        error = failure.text;
    } catch (const winfx::CInternetException& e) {  // the session itself could not be opened
        error = ErrorText(e.m_dwError);
    }
    if (written) ::InterlockedExchange(&g_bDone, 1);
    if (!error.empty()) {
        ::SetDlgItemTextA(dialog, IDC_STATIC_ERROR, error.c_str());
        ::InterlockedExchange(&g_bFailed, 1);
    }
    if (is_launcher) {
        if (written) {
            ::InterlockedExchange(&g_bLauncherWritten, 1);
            RunLauncher();
        } else if (!error.empty()) {
            ::SendMessageW(dialog, WM_CLOSE, 0, 0);
        }
    }
    // The picture's end decides nothing while the launcher is still arriving: its error stays in
    // the bottom line, and the launcher download ends the update either way.
    ::InterlockedDecrement(&g_nRunning);
}

void RunLauncher()
{
    // Only a launcher written completely is started, and not once the player closed the window.
    if (!g_bLauncherWritten || g_bStopping) return;
    // Both downloads can end at the same moment, and timer 3 may look too: one launcher only.
    static volatile LONG started = 0;
    if (::InterlockedExchange(&started, 1) != 0) return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // The path goes unquoted as the whole command line, as the launcher has always been started.
    std::string command_line = g_jobLauncher.strPath;
    if (::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    } else {
        winfx::AfxMessageBox(L"已完成更新，请重新運行登綠器登綠", MB_OK);
        ::TerminateProcess(::GetCurrentProcess(), 0);
    }
    if (winfx::CWnd* main = winfx::AfxGetMainWnd()) ::SendMessageW(main->GetSafeHwnd(), WM_CLOSE, 0, 0);
}
