#include "renovek_dlg.h"

#include <time.h>

#include "gdi_object.h"
#include "renovek_globals.h"
#include "resource.h"
#include "ansi_text.h"
#include "staged_file.h"
#include "worker_thread.h"

char g_szCurDir[MAX_PATH];
renovek::UpdateJob g_jobLauncher;
std::string g_strBaseUrl;
renovek::UpdateJob g_jobBackground;
volatile LONG g_bDone = 0;
volatile LONG g_bFailed = 0;
volatile LONG g_bLauncherWritten = 0;
volatile LONG g_bStopping = 0;
volatile LONG g_nRunning = 0;

namespace {

constexpr UINT_PTR kStartTimer = 1;       // fetch the launcher
constexpr UINT_PTR kBackgroundTimer = 2;  // fetch the picture
constexpr UINT_PTR kCheckTimer = 3;       // start the launcher if a download was written
constexpr UINT kStepMs = 5000;
constexpr DWORD kStopWaitMs = 3000;

const winfx::MessageMapEntry messageEntries[] = {
    WINFX_ON_MESSAGE(WM_PAINT, &CRenovekDlg::OnPaint),
    WINFX_ON_MESSAGE(WM_TIMER, &CRenovekDlg::OnTimer),
    WINFX_ON_MESSAGE(WM_QUERYDRAGICON, &CRenovekDlg::OnQueryDragIcon),
    WINFX_END_MESSAGE_MAP,
};

void StartDownload(renovek::UpdateJob* job)
{
    ::InterlockedIncrement(&g_nRunning);
    try {
        winfx::CWorkerThread([job] { DownloadThreadProc(job); }).Detach();
    } catch (...) {
        ::InterlockedDecrement(&g_nRunning);
        throw;
    }
}

}  // namespace

const winfx::MessageMap CRenovekDlg::messageMap = {&winfx::CDialogEx::messageMap, messageEntries};

const winfx::MessageMap* CRenovekDlg::GetMessageMap() const
{
    return &messageMap;
}

CRenovekDlg::CRenovekDlg() : CDialogEx(IDD_RENOVEK_DIALOG)
{
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

BOOL CRenovekDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    ::GetCurrentDirectoryA(MAX_PATH, g_szCurDir);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetTimer(kStartTimer, kStepMs);
    return TRUE;
}

LRESULT CRenovekDlg::OnPaint(WPARAM, LPARAM)
{
    if (!::IsIconic(m_hWnd)) return Default();
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    winfx::DrawIconCentred(dc, GetClientRect(), m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CRenovekDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

LRESULT CRenovekDlg::OnTimer(WPARAM wparam, LPARAM)
{
    KillTimer(wparam);
    if (wparam == kStartTimer) {
        FetchLauncher();
    } else if (wparam == kBackgroundTimer) {
        FetchBackground();
    } else if (wparam == kCheckTimer) {
        // A picture written first must not start the old launcher while the new one arrives.
        if (g_bLauncherWritten) RunLauncher();
    }
    return 0;
}

void CRenovekDlg::FetchLauncher()
{
    // Started by hand, without the launcher's two pieces: there is nothing to fetch and no file
    // may be touched, so the updater simply ends.
    if (!renovek::MakeLauncherJob(renovek::SplitCommandLine(::GetCommandLineA()), time(nullptr), g_jobLauncher)) {
        EndDialog(IDCANCEL);
        return;
    }
    g_strBaseUrl = renovek::BaseUrlOf(g_jobLauncher.strUrl);
    g_bDone = 0;
    g_bFailed = 0;
    // A run ended in the instant between finishing a file and renaming it may have left its
    // temporary file; the next update starts clean.
    quenlor::StagedFile::RemoveLeftover(quenlor::AnsiToWide(g_jobLauncher.strPath.data(), g_jobLauncher.strPath.size()));
    const renovek::UpdateJob picture = renovek::MakeBackgroundJob(g_szCurDir, g_strBaseUrl);
    quenlor::StagedFile::RemoveLeftover(quenlor::AnsiToWide(picture.strPath.data(), picture.strPath.size()));
    StartDownload(&g_jobLauncher);
    SetTimer(kBackgroundTimer, kStepMs);
}

void CRenovekDlg::FetchBackground()
{
    g_jobBackground = renovek::MakeBackgroundJob(g_szCurDir, g_strBaseUrl);
    StartDownload(&g_jobBackground);
    SetTimer(kCheckTimer, kStepMs);
}

void CRenovekDlg::StopDownloads()
{
    ::InterlockedExchange(&g_bStopping, 1);
    for (DWORD waited = 0; g_nRunning > 0 && waited < kStopWaitMs; waited += 50) ::Sleep(50);
    // A download blocked in a read would run on into the process's exit, over the jobs it reads.
    // Its temporary file is marked for deletion, so ending the process now leaves nothing behind.
    if (g_nRunning > 0) {
        ::TerminateProcess(::GetCurrentProcess(), 0);
        ::ExitProcess(0);
    }
}
