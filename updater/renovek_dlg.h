// CRenovekDlg: the updater's only window. Five seconds after it opens it fetches the launcher,
// five seconds later the launcher's background picture. The launcher written completely starts
// the launcher again and closes the updater; a failed launcher download closes it without. A
// picture that ends first, written or failed, waits for the launcher download.
#pragma once

#include <windows.h>

#include "dialog.h"
#include "update_job.h"

class CRenovekDlg : public winfx::CDialogEx {
public:
    CRenovekDlg();

    // After the window has ended: asks the downloads still running to stop (each discards its
    // unfinished file at its next read) and waits a short while for them; a download that does
    // not leave in time (a read blocked in WinINet) ends with the process, right here.
    static void StopDownloads();

    // Message handlers, in the order of the message table.
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);

protected:
    BOOL OnInitDialog() override;
    const winfx::MessageMap* GetMessageMap() const override;
    static const winfx::MessageMap messageMap;

private:
    void FetchLauncher();
    void FetchBackground();

    HICON m_hIcon = nullptr;
};

// Body of one download thread; `job` is one of the updater's two global jobs.
void DownloadThreadProc(renovek::UpdateJob* job);
// Starts the new launcher from the client folder and closes the updater; does nothing unless the
// launcher download was written completely, or once the window has ended.
void RunLauncher();
