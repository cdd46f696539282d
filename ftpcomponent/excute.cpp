// The start routines of the five operations and the download loop, all on the session's
// worker thread. A start routine issues one asynchronous call and returns; the handlers of
// isc_handler.cpp carry the operation on. The download loop moves data from the ring buffer
// to the local file, reports progress and decides how the download ended.
//
// Download buffer (who touches what):
//  - received total: advanced by H11 (one read in flight at a time) after the bytes are in
//    the buffer; written total: advanced here after the bytes are in the local file. Both are
//    absolute positions in the remote file; the byte at position p is at p AND 0x1FFFF.
//  - Reads never pass the buffer's end nor the space not yet written out, so the backlog
//    (received - written) stays within 0x20000. At exactly 0x20000 H11 issues no read and sets
//    the read-paused flag; this loop issues the next read as soon as it has written a piece, so
//    the buffer fills again during the pause that follows. The flag is taken with an exchange,
//    so exactly one side issues the read that resumes.
//  - The data event says "new bytes"; the data flag keeps H11 from setting it for every read.
//    The loop clears the flag only after it has found the buffer empty, and then looks at the
//    totals once more, so bytes that arrived while the flag was still set are not left waiting.
//  - The done event says the data ended (H10 after H11's end of data) or failed (H10/H11); the
//    transfer end tells which, so an empty remote file is told from a failed one.
#include "asyncftp/AsyncFtp.h"
#include "debugreport.h"
#include "session.h"

#include <Nimbrel.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

LocalFileWriter volatile g_pfnWriteLocalFile = &WriteFile;

namespace {

constexpr DWORD kReadStep = 1024;
constexpr DWORD kPauseAfterPieceMs = 50;

// The record's text fields are the client's: a field that fills all 260 bytes gets no
// terminator from us to rely on, so it is copied with one.
void CopyField(char (&out)[NIMBREL_PATH_SIZE + 1], const char* field)
{
    const size_t length = strnlen(field, NIMBREL_PATH_SIZE);
    std::memcpy(out, field, length);
    out[length] = '\0';
}

bool Pending(BOOL result)
{
    return result || GetLastError() == ERROR_IO_PENDING;
}

}  // namespace

void CSession::FailOperation()
{
    WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
}

void CSession::WriteProgressCompletion(int nStatus, DWORD dwFlagChange)
{
    COMPLETION_DATA* entry = m_pCD_in;
    entry->dwState = 1;
    entry->nStatus = nStatus;
    entry->dwFlagChange = dwFlagChange;
    m_pCD_in = entry->pNext;
    m_pCD_in->lReady = 0;
    InterlockedExchange(&m_pCD_out->lReady, 1);
    m_pCD_out = m_pCD_in;
}

HANDLE CSession::OpenLocalFile() const
{
    char path[NIMBREL_PATH_SIZE + 1];
    CopyField(path, static_cast<const NIMBREL_DOWNLOAD*>(m_pRequest)->szLocalFile);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
}

// ---- start routines -------------------------------------------------------------------------

void CSession::StartConnect()
{
    m_pIscTable = &s_IscConnect;
    const NIMBREL_CONNECT* request = static_cast<const NIMBREL_CONNECT*>(m_pRequest);
    m_hInternet = asyncftp::OpenInternet("Nimbrel Component", INTERNET_OPEN_TYPE_DIRECT, "", "", INTERNET_FLAG_ASYNC);
    if (!m_hInternet) {
        FailOperation();
        return;
    }
    if (asyncftp::SetStatusCallback(m_hInternet, &CSession::CallbackInternet) == INTERNET_INVALID_STATUS_CALLBACK) {
        asyncftp::CloseHandle(m_hInternet);
        m_hInternet = nullptr;
        FailOperation();
        return;
    }
    char host[NIMBREL_PATH_SIZE + 1], user[NIMBREL_PATH_SIZE + 1], password[NIMBREL_PATH_SIZE + 1];
    CopyField(host, request->szHost);
    CopyField(user, request->szUser);
    CopyField(password, request->szPassword);
    // The connection handle comes with 60 (H1), the outcome with 100 (H2). A call refused at
    // once sends neither, so it ends the operation here.
    const HINTERNET connection =
        asyncftp::Connect(m_hInternet, host, request->wPort, user, password, INTERNET_SERVICE_FTP,
                          request->dwPassive == 1 ? INTERNET_FLAG_PASSIVE : 0, CurrentSerial());
    if (!Pending(connection != nullptr)) FailOperation();
}

void CSession::StartGetCurrentDirectory()
{
    m_pIscTable = &s_IscDirectoryGet;
    NIMBREL_DIRECTORY* request = static_cast<NIMBREL_DIRECTORY*>(m_pRequest);
    NIMBREL_ASSERT("excute", m_hConnect);
    request->dwLength = NIMBREL_PATH_SIZE;
    if (!Pending(asyncftp::GetCurrentDirectory(m_hConnect, request->szPath, reinterpret_cast<DWORD*>(&request->dwLength)))) FailOperation();
}

void CSession::StartSetCurrentDirectory()
{
    m_pIscTable = &s_IscDirectorySet;
    NIMBREL_DIRECTORY* request = static_cast<NIMBREL_DIRECTORY*>(m_pRequest);
    NIMBREL_ASSERT("excute", m_hConnect);
    // The byte after the path field (the length word's first) ends a path that fills the field.
    reinterpret_cast<char*>(request)[offsetof(NIMBREL_DIRECTORY, dwLength)] = '\0';
    if (!Pending(asyncftp::SetCurrentDirectory(m_hConnect, request->szPath))) FailOperation();
}

void CSession::StartFindFiles()
{
    m_pIscTable = &s_IscFind;
    NIMBREL_FIND* request = static_cast<NIMBREL_FIND*>(m_pRequest);
    request->dwFound = 0;
    NIMBREL_ASSERT("excute", m_hConnect);
    const HINTERNET find = asyncftp::FindFirstFile(m_hConnect, request->pszPattern, FindEntryDestination(),
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE, CurrentSerial());
    if (!Pending(find != nullptr)) FailOperation();
}

void CSession::StartDownload()
{
    m_pIscTable = &s_IscOpen;
    NIMBREL_DOWNLOAD* request = static_cast<NIMBREL_DOWNLOAD*>(m_pRequest);
    request->dwBytesWritten = 0;
    m_dwResumeOffset = 0;
    m_dwReceived = 0;
    m_dwWritten = 0;
    m_dwFinal = 0;
    m_dwLastResponse = 0;
    InterlockedExchange(&m_lTransferEnd, TRANSFER_RUNNING);
    InterlockedExchange(&m_lDataFlag, 0);
    InterlockedExchange(&m_lReadPaused, 0);

    // A name that would carry a second command to the server is never sent: the file cannot be
    // opened by it, the connection stays as it is, and the local file is left untouched.
    char remote[NIMBREL_PATH_SIZE + 1];
    CopyField(remote, request->szRemoteFile);
    if (std::strpbrk(remote, "\r\n")) {
        WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_OPEN_FAILED, FLAGS_IDLE);
        return;
    }

    if (request->dwResume) {
        const HANDLE local = OpenLocalFile();
        if (local == INVALID_HANDLE_VALUE) {
            FailOperation();
            return;
        }
        const DWORD size = GetFileSize(local, nullptr);
        if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            CloseHandle(local);
            FailOperation();
            return;
        }
        // Whole kilobytes only: a partial last kilobyte is fetched again.
        if (size >= 1024) {
            const DWORD offset = size & ~(kReadStep - 1);
            char command[32];
            std::snprintf(command, sizeof command, "REST %lu\n", static_cast<unsigned long>(offset));
            NimbrelTrace(command);
            NIMBREL_ASSERT("excute", m_hConnect);
            const BOOL bR = asyncftp::Command(m_hConnect, FALSE, FTP_TRANSFER_TYPE_BINARY, command, 0, nullptr);
            if (bR == TRUE) {
                m_dwResumeOffset = offset;
                m_dwReceived = offset;
                m_dwWritten = offset;
            } else {
                // Refused: the server sends from byte 0, so the file is written from byte 0 too.
                NIMBREL_REPORT("excute", "bR == TRUE");
            }
        }
        CloseHandle(local);
    } else {
        char path[NIMBREL_PATH_SIZE + 1];
        CopyField(path, request->szLocalFile);
        DeleteFileA(path);  // a missing file is no error
    }
    request->dwBytesWritten = m_dwWritten;

    NIMBREL_ASSERT("excute", m_hConnect);
    const HINTERNET file = asyncftp::OpenFile(m_hConnect, remote, GENERIC_READ,
                                              INTERNET_FLAG_RELOAD | FTP_TRANSFER_TYPE_BINARY, CurrentSerial());
    if (!Pending(file != nullptr)) FailOperation();
}

// ---- reading into the ring buffer -----------------------------------------------------------

bool CSession::NextRead(ReadStep& step)
{
    const DWORD received = m_dwReceived;
    const DWORD backlog = received - m_dwWritten;
    const DWORD position = received & (DOWNLOAD_BUFFER_SIZE - 1);
    const DWORD room = std::min(DOWNLOAD_BUFFER_SIZE - position, DOWNLOAD_BUFFER_SIZE - backlog);
    if (backlog >= DOWNLOAD_BUFFER_SIZE || room == 0) return false;
    step.hFile = m_hFile;
    step.pBuffer = m_pReadBuffer + position;
    step.dwLength = std::min(kReadStep, room);
    step.pBytesRead = &m_dwBytesRead;
    return step.hFile != nullptr;
}

void CSession::IssueRead(const ReadStep& step)
{
    // The outcome comes as 41 and 100 (H9, H11); a handle already closed sends nothing more
    // than the closing that ends the transfer.
    asyncftp::ReadFile(step.hFile, step.pBuffer, step.dwLength, step.pBytesRead);
}

// ---- the download loop ----------------------------------------------------------------------

void CSession::DownloadLoop()
{
    NIMBREL_DOWNLOAD* request = static_cast<NIMBREL_DOWNLOAD*>(m_pRequest);
    NIMBREL_ASSERT("excute", m_hFile != NULL);
    const HANDLE local = OpenLocalFile();
    if (local == INVALID_HANDLE_VALUE) {
        NIMBREL_REPORT("excute", "hFile == INVALID_HANDLE_VALUE");
        FailOperation();
        return;
    }
    if (m_dwResumeOffset != 0 &&
        SetFilePointer(local, static_cast<LONG>(m_dwResumeOffset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        NIMBREL_REPORT("excute", "INVALID_SET_FILE_POINTER");
        CloseHandle(local);
        FailOperation();
        return;
    }

    ResetEvent(m_hDone);
    ResetEvent(m_hData);
    ReadStep step;
    if (NextRead(step)) IssueRead(step);

    // Each wait ends: a Disconnect or shutdown signals the command counter, and the FTP layer
    // bounds every socket wait, so a dead server ends the transfer through the done event.
    const HANDLE waits[3] = {m_Command.Event(), m_hDone, m_hData};
    const auto pauseInterrupted = [this] {
        return WaitForSingleObject(m_Command.Event(), kPauseAfterPieceMs) == WAIT_OBJECT_0;
    };
    for (;;) {
        const DWORD which = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            if (m_lTransferEnd != TRANSFER_DATA_ENDED) {
                FailOperation();
                break;
            }
            if (m_dwFinal == m_dwWritten) {
                // A resumed or overwritten file ends where the remote file ends.
                SetEndOfFile(local);
                WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_SUCCESS, FLAGS_IDLE);
                break;
            }
        } else if (which != WAIT_OBJECT_0 + 2) {
            break;  // a command is queued (or the wait failed): the worker takes over
        }

        const DWORD written = m_dwWritten;
        const DWORD backlog = m_dwReceived - written;
        if (backlog != 0) {
            // One piece, never wrapping around the buffer's end.
            const DWORD start = written & (DOWNLOAD_BUFFER_SIZE - 1);
            const DWORD length = std::min({backlog, DOWNLOAD_BUFFER_SIZE, DOWNLOAD_BUFFER_SIZE - start});
            DWORD done = 0;
            const BOOL ok = g_pfnWriteLocalFile(local, m_pReadBuffer + start, length, &done, nullptr) && done == length;
            m_dwWritten = written + done;
            if (!ok) {
                Invalidate();
                m_Event.Reset();
                WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_WRITE_FAILED, FLAGS_BACK_TO_INITIALISED);
                break;
            }
            // Room again: reading that paused at a full buffer goes on while this piece's pause
            // runs, so the next piece is ready when it ends.
            if (InterlockedExchange(&m_lReadPaused, 0) == 1 && NextRead(step)) IssueRead(step);
            // Progress only while the client keeps up: one report waits uncollected at most.
            if (m_pCD_user == m_pCD_in) {
                NIMBREL_ASSERT("excute", m_pCD_in == m_pCD_out);
                request->dwBytesWritten = m_dwWritten;
                WriteProgressCompletion(NIMBREL_STATUS_PROGRESS, FLAGS_UNCHANGED);
                Notify();
            }
            if (pauseInterrupted()) break;
            continue;
        }

        ResetEvent(m_hData);
        if (InterlockedExchange(&m_lReadPaused, 0) == 1) {
            if (NextRead(step)) IssueRead(step);
            continue;
        }
        if (pauseInterrupted()) break;
        InterlockedExchange(&m_lDataFlag, 0);
        if (m_dwReceived != m_dwWritten) SetEvent(m_hData);
    }
    ResetEvent(m_hDone);
    ResetEvent(m_hData);
    request->dwBytesWritten = m_dwWritten;
    CloseHandle(local);
}
