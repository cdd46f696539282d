#include "ql_autopatch_dlg.h"

#include "app.h"
#include "gdiplus_include.h"
#include "html_view_notice.h"
#include "resource.h"

wchar_t g_szLauncherVersion[16] = L"2022091302";

const winfx::MessageMapEntry CQLAutoPatchDlg::messageEntries[] = {
    WINFX_ON_MESSAGE(WM_PAINT, &CQLAutoPatchDlg::OnPaint),
    WINFX_ON_MESSAGE(WM_QUERYDRAGICON, &CQLAutoPatchDlg::OnQueryDragIcon),
    WINFX_ON_MESSAGE(WM_LBUTTONDOWN, &CQLAutoPatchDlg::OnLButtonDown),
    WINFX_ON_CTLCOLOR(&CQLAutoPatchDlg::OnCtlColor),
    WINFX_ON_MESSAGE(WM_CREATE, &CQLAutoPatchDlg::OnCreate),
    WINFX_ON_COMMAND(CBN_SELCHANGE, IDC_CMB_RESOLUTION, &CQLAutoPatchDlg::OnCbnSelchangeResolution),
    WINFX_ON_COMMAND(BN_CLICKED, IDC_BTN_START, &CQLAutoPatchDlg::OnBnClickedStart),
    WINFX_ON_COMMAND(BN_CLICKED, IDC_BTN_CLOSE, &CQLAutoPatchDlg::OnBnClickedClose),
    WINFX_ON_COMMAND(BN_CLICKED, IDC_BTN_HOMEPAGE, &CQLAutoPatchDlg::OnBnClickedHomePage),
    WINFX_ON_MESSAGE(WM_TIMER, &CQLAutoPatchDlg::OnTimer),
    WINFX_ON_MESSAGE(WM_CLOSE, &CQLAutoPatchDlg::OnClose),
    WINFX_END_MESSAGE_MAP,
};

const winfx::MessageMap CQLAutoPatchDlg::messageMap = {&winfx::CDialogEx::messageMap, messageEntries};

const winfx::MessageMap* CQLAutoPatchDlg::GetMessageMap() const
{
    return &messageMap;
}

CQLAutoPatchDlg::CQLAutoPatchDlg() : CDialogEx(IDD_AUTOPATCH_DIALOG)
{
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_pNotice = new CHtmlViewNotice;
}

CQLAutoPatchDlg::~CQLAutoPatchDlg()
{
    if (!m_bNoticeOwnedByWindow) delete m_pNotice;
    m_pNotice = nullptr;
    // The picture is a GDI+ object: it goes before GDI+ itself.
    delete m_pBackground;
    m_pBackground = nullptr;
    if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
}

void CQLAutoPatchDlg::DoDataExchange(winfx::CDataExchange* dx)
{
    CDialogEx::DoDataExchange(dx);
    winfx::DDX_Control(dx, IDC_CHK_WINDOWMODE, m_chkWindowMode);
    winfx::DDX_Control(dx, IDC_CMB_RESOLUTION, m_cmbResolution);
    winfx::DDX_Control(dx, IDC_STATIC_TIP, m_stTip);
    winfx::DDX_Control(dx, IDC_STATIC_DOWNLOAD, m_stDownload);
    winfx::DDX_Control(dx, IDC_PROGRESS_CURRENT, m_progCurrent);
    winfx::DDX_Control(dx, IDC_PROGRESS_TOTAL, m_progTotal);
    m_bStop = 0;
    winfx::DDX_Control(dx, IDC_STATIC_VERSION, m_stVersion);
}

BOOL CQLAutoPatchDlg::OnInitDialog()
{
    // The game client holds "ClientRun" while it runs; a second launcher must not patch under it.
    if (HANDLE running = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"ClientRun")) {
        ::CloseHandle(running);
        MessageBox(L"游戏已运行!", L"提示", MB_OK);
        winfx::AfxGetMainWnd()->SendMessage(WM_CLOSE);
        return FALSE;
    }

    Gdiplus::GdiplusStartupInput gdiplus_input;  // version 1, no callback, no suppression
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplus_input, nullptr);

    CDialogEx::OnInitDialog();

    m_hShareMap = nullptr;
    m_pShareView = nullptr;

    if (!LoadUrlConfig()) MessageBox(L"配置列表加载失败!", L"错误", MB_OK);
    if (!LoadSkinConfig()) {
        MessageBox(L"界面配置加载失败!", L"错误", MB_OK);
        MessageBox(L"登录器初始化失败!", L"错误！", MB_OK);
        return FALSE;
    }
    InitControls();
    StartUpdateCheck();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;
}

bool CQLAutoPatchDlg::LoadUrlConfig()
{
    return ReadUrlConfig(".\\Image\\Autopatch\\AutoPatchURL.bin", *this);
}

bool CQLAutoPatchDlg::LoadSkinConfig()
{
    return ReadSkinLayout(".\\Image\\Autopatch\\AutoPatchDlg.bin", *this);
}

LRESULT CQLAutoPatchDlg::OnCreate(WPARAM, LPARAM)
{
    return Default();
}

void CQLAutoPatchDlg::OnBnClickedStart()
{
    StartGame();
}

void CQLAutoPatchDlg::OnBnClickedClose()
{
    CloseLauncher();
}

void CQLAutoPatchDlg::CloseLauncher()
{
    StopAndRelease();
    winfx::AfxGetMainWnd()->SendMessage(WM_CLOSE);
}

LRESULT CQLAutoPatchDlg::OnClose(WPARAM, LPARAM)
{
    // Alt+F4 and the system menu's Close arrive here; the dialog manager then cancels the dialog.
    StopAndRelease();
    return Default();
}

void CQLAutoPatchDlg::OnOK()
{
    StopAndRelease();
    CDialogEx::OnOK();
}

void CQLAutoPatchDlg::OnCancel()
{
    StopAndRelease();
    CDialogEx::OnCancel();
}

void CQLAutoPatchDlg::StopAndRelease()
{
    // The close button runs this, then WM_CLOSE and the cancel it brings: one wait is enough.
    if (m_bReleased) return;
    m_bReleased = true;
    // The workers poll m_bStop; they may still send to the controls while they leave, so the
    // wait answers those sends.
    StopWorkers();
    if (m_patchThread) m_patchThread->JoinFor(kCloseWaitMs, true);
    // A client start still in progress can no longer publish the block (UnlessStopping), so what
    // is here is all there is.
    if (m_pShareView) ::UnmapViewOfFile(m_pShareView);
    m_pShareView = nullptr;
    if (m_hShareMap) ::CloseHandle(m_hShareMap);
    m_hShareMap = nullptr;
    if (m_hWnd) KillTimer(kGameWatchTimer);
}

void CQLAutoPatchDlg::StopWorkers()
{
    std::lock_guard<std::mutex> hold(m_stopLock);
    m_bStop = 1;
}

bool CQLAutoPatchDlg::UnlessStopping(const std::function<void()>& work)
{
    std::lock_guard<std::mutex> hold(m_stopLock);
    if (m_bStop) return false;
    work();
    return true;
}

void CQLAutoPatchDlg::EndWorkers()
{
    StopWorkers();
    if (m_patchThread && !m_patchThread->JoinFor(kExitWaitMs, true)) {
        // Its temporary file is marked for deletion, so ending here leaves no trace of it.
        ::TerminateProcess(::GetCurrentProcess(), 0);
        ::ExitProcess(0);
    }
}
