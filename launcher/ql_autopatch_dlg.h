// CQLAutoPatchDlg: the launcher's skinned main window. It loads the two configuration files,
// places and colours its controls from the skin, offers the launch options and closes on request.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/skin_layout.h"
#include "config/url_config.h"
#include "md5_ctx.h"
#include "download_info.h"
#include "controls.h"
#include "dialog.h"
#include "gdi_object.h"
#include "worker_thread.h"

namespace Gdiplus {
class Image;
}
class CHtmlViewNotice;

// The launcher's own version, compared with the configured LunchVer.
extern wchar_t g_szLauncherVersion[16];

// The layout (QLSkinLayout) and the ten configuration strings (QLUrlConfig) are members of the
// dialog through its two configuration bases, so the readers fill them in place.
class CQLAutoPatchDlg : public winfx::CDialogEx, public QLSkinLayout, public QLUrlConfig {
public:
    CQLAutoPatchDlg();
    ~CQLAutoPatchDlg() override;

    bool LoadUrlConfig();
    bool LoadSkinConfig();
    void InitControls();
    void LoadLaunchOptions();
    void SaveLaunchOptions();

    // Patching: the version check, the verification pass and the downloads (worker threads).
    void StartUpdateCheck();
    void StartUpdater();
    void PatchThread();
    void DownloadThread();
    void DownloadFile(DownLoadInfo info);
    std::wstring MakeLocalPath(const std::wstring& manifestPath) const;
    std::wstring MakeDownloadUrl(const std::wstring& manifestPath) const;

    // The game start: the click handler, also run by the patching thread under "RunClient".
    void StartGame();
    void LaunchClient(std::wstring path);

    // Run once the modal loop has ended, whichever way: tells the patching threads to stop (if no
    // close path has yet) and
    // waits kExitWaitMs for them; a thread still inside (a read blocked in WinINet) would outlive
    // this object, so the process then ends at once instead of destroying the dialog under it.
    void EndWorkers();

protected:
    const winfx::MessageMap* GetMessageMap() const override;
    void DoDataExchange(winfx::CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    LRESULT OnCreate(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    // Enter and Esc (the dialog's OK and Cancel) end the dialog like every other close.
    void OnOK() override;
    void OnCancel() override;
    void OnCbnSelchangeResolution();
    void OnBnClickedStart();
    void OnBnClickedClose();
    void OnBnClickedHomePage();

private:
    static const winfx::MessageMapEntry messageEntries[];
    static const winfx::MessageMap messageMap;

    void ShapeWindow();
    void ReadCommandLine();
    // The end of patching: the game started under "RunClient", else the start button enabled.
    void CompletePatching();
    // The close button and the game's close request: the close steps, then the window closes.
    void CloseLauncher();
    // The close steps, first on every path that ends the dialog (close button, Enter, Esc,
    // Alt+F4, the system menu's Close, WM_CLOSE, the game's request): workers are told to stop and
    // given kCloseWaitMs, the shared block is let go, the game watch ends. Runs once.
    void StopAndRelease();
    // Sets m_bStop under m_stopLock: once it returns, no work guarded by UnlessStopping is running
    // and none will begin.
    void StopWorkers();
    // Runs `work` unless the launcher is closing, holding the stop off meanwhile; true when it
    // ran. For the steps that must never happen after a close: writing the option file, creating
    // the client's process.
    bool UnlessStopping(const std::function<void()>& work);

    winfx::CFont m_font;
    winfx::Brush m_brTip, m_brDownload, m_brVersion;
    winfx::CBitmapButton m_btnStart, m_btnHomePage, m_btnClose;
    Gdiplus::Image* m_pBackground = nullptr;
    winfx::CButton m_chkWindowMode;
    winfx::CComboBox m_cmbResolution;
    winfx::CStatic m_stTip, m_stDownload, m_stVersion;
    // The notice page in m_rcNotice of the skin. Once its window exists the window owns it and
    // deletes it with itself; until then (or when it could not be made) the dialog does.
    CHtmlViewNotice* m_pNotice = nullptr;
    bool m_bNoticeOwnedByWindow = false;

public:
    // Polls the shared block for the game's request to close the launcher.
    static constexpr UINT_PTR kGameWatchTimer = 1;

    bool m_bRunClient = false;
    // Set once the launcher is closing (UI thread, through StopWorkers; never cleared after
    // start-up). The workers poll it between files, chunks and reads; once it is set nothing
    // completes: no game start, no start button, no option file written.
    // Invariant: m_bStop goes from 0 to 1 only while m_stopLock is held, and every step that must
    // not follow a close tests it while holding m_stopLock (UnlessStopping). So each such step
    // either ends before the stop is set or sees it; the lock is never held across a send to a
    // window, so the UI thread taking it cannot deadlock with a worker waiting for the UI thread.
    volatile int32_t m_bStop = 0;
    int32_t m_nRemaining = 0;

private:
    winfx::CProgressCtrl m_progTotal;
    winfx::CProgressCtrl m_progCurrent;
    wchar_t m_szCurDir[MAX_PATH] = {};
    std::vector<std::wstring> m_vecDownload;
    MD5_CTX m_md5;
    // The patch thread, which joins the download thread, which joins each transfer thread: once
    // it has ended no worker touches the dialog. Written by the UI thread only.
    std::unique_ptr<winfx::CWorkerThread> m_patchThread;
    // How long the close paths wait for the patch thread; it answers m_bStop between files and
    // between chunks, so only a read blocked in WinINet takes longer.
    static constexpr DWORD kCloseWaitMs = 3000;
    static constexpr DWORD kExitWaitMs = 2000;
    std::mutex m_stopLock;
    bool m_bReleased = false;  // the close steps have run (UI thread only)
    HANDLE m_hShareMap = nullptr;
    void* m_pShareView = nullptr;
    HICON m_hIcon = nullptr;
    ULONG_PTR m_gdiplusToken = 0;
};
