// The patching threads of the main window: verification, then the downloads one file at a time,
// each on its own transfer thread. Every control update is a synchronous send to the UI thread;
// a transfer's progress goes at a human rate (paced_progress.h), not once per piece.
#include <exception>
#include <memory>
#include "worker_thread.h"

#include "body_transfer.h"
#include "content_length.h"
#include "download_session.h"
#include "internet_session.h"
#include "ql_autopatch_dlg.h"
#include "paced_progress.h"
#include "patch_text.h"

namespace {

// Moves the current bar and rewrites the download text for a piece shown.
class DialogProgress : public quenlor::BodyProgress {
public:
    DialogProgress(const winfx::CProgressCtrl& bar, const winfx::CStatic& text, const std::wstring& name, uint32_t length)
        : bar_(bar), text_(text), name_(name), length_(length) {}
    void OnPiece(uint32_t received, uint32_t missing) override
    {
        bar_.SetPos(static_cast<int>(received));
        text_.SetWindowText(quenlor::ProgressText(name_, length_, missing).c_str());
    }

private:
    const winfx::CProgressCtrl& bar_;
    const winfx::CStatic& text_;
    const std::wstring& name_;
    uint32_t length_;
};

uint32_t TickNow() { return static_cast<uint32_t>(::GetTickCount()); }

}  // namespace

std::wstring CQLAutoPatchDlg::MakeLocalPath(const std::wstring& manifestPath) const
{
    return quenlor::MakeLocalPath(m_szCurDir, manifestPath);
}

std::wstring CQLAutoPatchDlg::MakeDownloadUrl(const std::wstring& manifestPath) const
{
    return quenlor::MakeDownloadUrl(m_strUpUrl, manifestPath);
}

void CQLAutoPatchDlg::PatchThread()
{
    m_md5.CheckFiles(m_vecDownload);
    if (m_bStop) return;  // closing: the list may be partial and nothing may complete
    if (m_vecDownload.empty()) {
        m_progTotal.SetRange32(0, 1);
        m_progTotal.SetPos(1);
        m_progCurrent.SetRange32(0, 1);
        m_progCurrent.SetPos(1);
        m_stTip.SetWindowText(quenlor::kDoneText);
        CompletePatching();
        return;
    }
    m_nRemaining = static_cast<int32_t>(m_vecDownload.size());
    m_stTip.SetWindowText(quenlor::kStartingText);
    try {
        winfx::CWorkerThread([this] { DownloadThread(); }).Join();
    } catch (const std::exception&) {
        // No thread to spare (memory or handle quota exhausted): the downloads run here instead,
        // in the same order; a file whose own thread cannot start reports itself as failed.
        DownloadThread();
    }
}

void CQLAutoPatchDlg::CompletePatching()
{
    if (m_bStop) return;
    if (m_bRunClient)
        StartGame();
    else
        m_btnStart.EnableWindow(TRUE);
}

void CQLAutoPatchDlg::DownloadThread()
{
    const int32_t total = m_nRemaining;
    m_progTotal.SetRange32(0, total);
    while (!m_vecDownload.empty()) {
        if (m_bStop) return;  // the launcher is closing: nothing further, the button stays disabled
        m_stTip.SetWindowText(quenlor::RemainingText(m_nRemaining).c_str());
        DownLoadInfo info;
        info.strFilePath = MakeLocalPath(m_vecDownload.back());
        info.strUrl = MakeDownloadUrl(m_vecDownload.back());
        // Written by verification, which has ended; read-only from here on.
        auto expected = m_md5.m_mapFileMD5.find(m_vecDownload.back());
        if (expected != m_md5.m_mapFileMD5.end()) info.strMD5 = expected->second;
        m_vecDownload.pop_back();
        --m_nRemaining;
        m_progTotal.SetPos(total - m_nRemaining);  // files begun, this one included
        try {
            winfx::CWorkerThread([this, info] { DownloadFile(info); }).Join();
        } catch (const std::exception&) {
            // The system refused the transfer thread: that file failed, the next may fare better.
            m_stTip.SetWindowText(quenlor::DownloadErrorText(quenlor::FileNameOf(info.strFilePath)).c_str());
        }
    }
    // A stop during the last file empties the list too: that is no completion.
    if (m_bStop) return;
    // The overall bar already stands at its end; the current one is shown full.
    m_stTip.SetWindowText(quenlor::kDoneText);
    m_stDownload.SetWindowText(quenlor::kDoneText);
    m_progCurrent.SetRange32(0, 1);
    m_progCurrent.SetPos(1);
    CompletePatching();
}

void CQLAutoPatchDlg::DownloadFile(DownLoadInfo info)
{
    const std::wstring name = quenlor::FileNameOf(info.strFilePath);
    std::unique_ptr<winfx::CInternetSession> session;
    try {
        session = quenlor::OpenDownloadSession();
    } catch (const winfx::CInternetException&) {
        // Without WinINet no file can arrive; the player learns it like any other failed file.
        m_stTip.SetWindowText(quenlor::DownloadErrorText(name).c_str());
        return;
    }

    try {
        std::unique_ptr<winfx::CHttpFile> file = quenlor::OpenDownload(*session, info.strUrl);
        DWORD status = 0;
        file->QueryInfoStatusCode(status);
        if (status != 200) return;
        // No length announced: nothing to receive. A length that is not a 32-bit number cannot be
        // received correctly, so the file is a failed download rather than a silent skip.
        uint32_t length = 0;
        std::wstring length_text;
        if (file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length_text) && !quenlor::ParseContentLength(length_text, length)) {
            m_stTip.SetWindowText(quenlor::DownloadErrorText(name).c_str());
            return;
        }
        m_progCurrent.SetRange32(0, static_cast<int>(length));
        m_stDownload.SetWindowText(quenlor::ProgressText(name, length, length).c_str());

        quenlor::HttpBodySource source(*file);
        DialogProgress shown(m_progCurrent, m_stDownload, name, length);
        quenlor::PacedProgress progress(shown, &TickNow);
        // The transfer threads run one at a time after verification: the verification context
        // is free and hashes each body as it arrives.
        quenlor::BodyOutcome outcome;
        try {
            outcome = quenlor::ReceiveFileBody(source, length, info.strFilePath,
                                               quenlor::BodyDigest{info.strMD5, m_md5}, m_bStop, progress);
        } catch (...) {
            progress.ShowPending();  // a failed read leaves the bar where the bytes that came put it
            throw;
        }
        if (outcome != quenlor::BodyOutcome::Stopped) progress.ShowPending();
        if (outcome == quenlor::BodyOutcome::WriteFailed || outcome == quenlor::BodyOutcome::DigestMismatch)
            m_stTip.SetWindowText(quenlor::DownloadErrorText(name).c_str());
    } catch (...) {
        m_stTip.SetWindowText(quenlor::DownloadErrorText(name).c_str());
    }
}
