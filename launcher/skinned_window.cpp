// The skinned look of the main window: controls placed and coloured from the skin, the window
// outline from the shape picture, the background picture painted from the client folder.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "background_picture.h"
#include "gdiplus_include.h"
#include "html_view_notice.h"
#include "ql_autopatch_dlg.h"
#include "resource.h"
#include "window/white_runs.h"

namespace {

COLORREF ToColorRef(const QLColor& color)
{
    return RGB(color.r & 0xFF, color.g & 0xFF, color.b & 0xFF);
}

// Shows, moves, sizes and raises a control as the skin says.
void Place(const winfx::CWnd& control, const QLPlacement& placement)
{
    control.SetWindowPos(nullptr, placement.x, placement.y, placement.cx, placement.cy, SWP_SHOWWINDOW);
}

void PlaceText(const winfx::CWnd& text, const QLPlacement& placement)
{
    Place(text, placement);
    text.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

}  // namespace

void CQLAutoPatchDlg::InitControls()
{
    m_btnStart.LoadBitmaps(IDB_START_NORMAL, IDB_START_PRESSED, IDB_START_NORMAL, IDB_START_DISABLED);
    m_btnStart.SubclassDlgItem(IDC_BTN_START, *this);
    m_btnStart.SizeToContent();
    Place(m_btnStart, m_posStartButton);

    m_btnHomePage.LoadBitmaps(IDB_HOMEPAGE_NORMAL, IDB_HOMEPAGE_PRESSED, IDB_HOMEPAGE_NORMAL, 0);
    m_btnHomePage.SubclassDlgItem(IDC_BTN_HOMEPAGE, *this);
    m_btnHomePage.SizeToContent();
    Place(m_btnHomePage, m_posHomePageButton);

    m_btnClose.LoadBitmaps(IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED, 0, 0);
    m_btnClose.SubclassDlgItem(IDC_BTN_CLOSE, *this);
    m_btnClose.SizeToContent();
    Place(m_btnClose, m_posCloseButton);

    Place(m_chkWindowMode, m_posWindowMode);
    m_chkWindowMode.SetCheck(BST_CHECKED);

    Place(m_progCurrent, m_posCurrentProgress);
    m_progCurrent.DisableVisualStyles();
    m_progCurrent.SetBkColor(ToColorRef(m_clrCurrentBack));
    m_progCurrent.SetBarColor(ToColorRef(m_clrCurrentBar));
    m_progCurrent.ShowWindow(SW_SHOW);

    Place(m_progTotal, m_posTotalProgress);
    m_progTotal.DisableVisualStyles();
    m_progTotal.SetBkColor(ToColorRef(m_clrTotalBack));
    m_progTotal.SetBarColor(ToColorRef(m_clrTotalBar));
    m_progTotal.ShowWindow(SW_SHOW);

    Place(m_cmbResolution, m_posResolution);

    PlaceText(m_stTip, m_posTipText);
    PlaceText(m_stDownload, m_posDownloadText);
    PlaceText(m_stVersion, m_posVersionText);

    m_stTip.SetWindowText(L"");
    m_stDownload.SetWindowText(L"");
    m_stVersion.SetWindowText(g_szLauncherVersion);

    // Hidden until its page has loaded; when it cannot load, the picture shows through.
    const RECT notice = {m_rcNotice.left, m_rcNotice.top, m_rcNotice.right, m_rcNotice.bottom};
    m_bNoticeOwnedByWindow = m_pNotice->CreateAndNavigate(m_hWnd, notice, m_strGGUrl.c_str());

    ShapeWindow();

    m_font.CreatePointFont(m_nFontSize, m_szFontFace);

    m_brTip.Reset(::CreateSolidBrush(ToColorRef(m_clrTipText)));
    m_brVersion.Reset(::CreateSolidBrush(ToColorRef(m_clrVersionText)));
    m_brDownload.Reset(::CreateSolidBrush(ToColorRef(m_clrDownloadText)));

    SetWindowPos(nullptr, m_posMainWindow.x, m_posMainWindow.y, m_posMainWindow.cx, m_posMainWindow.cy, 0);

    m_btnStart.EnableWindow(FALSE);

    ::GetCurrentDirectoryW(MAX_PATH, m_szCurDir);

    LoadLaunchOptions();

    ReadCommandLine();
}

void CQLAutoPatchDlg::ReadCommandLine()
{
    // The program path counts too: a launcher in a folder named ...RunClient... starts the game.
    m_bRunClient = wcsstr(::GetCommandLineW(), L"RunClient") != nullptr;
}

void CQLAutoPatchDlg::ShapeWindow()
{
    winfx::Bitmap shape(static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_WINDOW_SHAPE),
                                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP info = {};
    if (!shape || !::GetObjectW(shape.Get(), sizeof(info), &info)) return;

    // All pixels in one call, as 0x00RRGGBB top-down rows: the same colours a memory DC reports
    // pixel by pixel, at a fraction of the cost.
    const int32_t width = info.bmWidth;
    const int32_t height = info.bmHeight;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    BITMAPINFO request = {};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = width;
    request.bmiHeader.biHeight = -height;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    winfx::WindowDC window_dc(m_hWnd);
    if (::GetDIBits(window_dc.Get(), shape.Get(), 0, static_cast<UINT>(height), pixels.data(), &request, DIB_RGB_COLORS) !=
        height) {
        return;
    }

    std::vector<QLPixelRun> runs = FindWhiteRuns(width, height, [&](int32_t x, int32_t y) {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    });
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    for (const QLPixelRun& run : runs) {
        winfx::Region row(::CreateRectRgn(run.left, run.y, run.right, run.y + 1));
        ::CombineRgn(region, region, row.Get(), RGN_OR);
    }
    // The window owns the region from here on.
    if (!::SetWindowRgn(m_hWnd, region, TRUE)) ::DeleteObject(region);
}

LRESULT CQLAutoPatchDlg::OnPaint(WPARAM, LPARAM)
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    RECT client = GetClientRect();
    if (::IsIconic(m_hWnd)) {
        winfx::DrawIconCentred(dc, client, m_hIcon);
    } else {
        // Read at every paint: the updater may have replaced the picture. The file is closed
        // again before drawing, so a replacement never finds it held by the launcher.
        delete m_pBackground;
        m_pBackground = LoadDetachedPicture(L".\\Image\\Autopatch\\BackGround.bmp");
        if (m_pBackground) {
            Gdiplus::Graphics graphics(dc);
            graphics.DrawImage(m_pBackground, 0, 0, client.right - client.left, client.bottom - client.top);
        }
    }
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CQLAutoPatchDlg::OnCtlColor(WPARAM wparam, LPARAM lparam)
{
    HDC dc = reinterpret_cast<HDC>(wparam);
    if (m_font.GetSafeHandle()) ::SelectObject(dc, m_font.GetSafeHandle());
    ::SetTextColor(dc, ToColorRef(m_clrFont));
    ::SetBkMode(dc, TRANSPARENT);
    switch (::GetDlgCtrlID(reinterpret_cast<HWND>(lparam))) {
    case IDC_STATIC_VERSION: return reinterpret_cast<LRESULT>(m_brVersion.Get());
    case IDC_STATIC_DOWNLOAD: return reinterpret_cast<LRESULT>(m_brDownload.Get());
    default: return reinterpret_cast<LRESULT>(m_brTip.Get());
    }
}

LRESULT CQLAutoPatchDlg::OnLButtonDown(WPARAM, LPARAM lparam)
{
    // Grabbing the surface moves the window as if it had a caption.
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(LOWORD(lparam), HIWORD(lparam)));
    return Default();
}

LRESULT CQLAutoPatchDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

void CQLAutoPatchDlg::OnBnClickedHomePage()
{
    ::ShellExecuteW(nullptr, L"open", m_strHomePage.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
