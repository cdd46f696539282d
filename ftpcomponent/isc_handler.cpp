// The status handlers: they store the handles an operation creates, chain its next asynchronous
// step, move download data into the ring buffer and write the operation's completions.
//
// Every handler is called inside the session (entered by internetcallback) and leaves exactly
// once. A call into the FTP layer that may complete at once and call back on this thread
// (find next, read, close) is made only after leaving, so that nested notification can enter.
#include "asyncftp/AsyncFtp.h"
#include "debugreport.h"
#include "session.h"

#include <Nimbrel.h>

// Handlers for the connection handle's 60 and 100, per operation.
const ISC_TABLE CSession::s_IscConnect = {nullptr, &CSession::OnCommandComplete};
const ISC_TABLE CSession::s_IscDirectoryGet = {nullptr, &CSession::OnCommandComplete};
const ISC_TABLE CSession::s_IscDirectorySet = {nullptr, &CSession::OnCommandComplete};
const ISC_TABLE CSession::s_IscFind = {&CSession::OnFindCreated, &CSession::OnFindStep};
const ISC_TABLE CSession::s_IscOpen = {&CSession::OnFileCreated, &CSession::OnFileOpened};
const ISC_TABLE CSession::s_IscRead = {nullptr, &CSession::OnFileOpened};

// A handle an operation created: its notifications go to `callback` from now on.
static HINTERNET AdoptHandle(HINTERNET handle, INTERNET_STATUS_CALLBACK callback)
{
    NIMBREL_ASSERT("isc_handler", handle != NULL);
    if (handle && asyncftp::SetStatusCallback(handle, callback) == INTERNET_INVALID_STATUS_CALLBACK)
        NIMBREL_REPORT("isc_handler", "InternetSetStatusCallback != INTERNET_INVALID_STATUS_CALLBACK");
    return handle;
}

// ---- connect and the directory commands ------------------------------------------------------

// H1: the connection handle exists; its notifications follow the operation's table from now on.
void CSession::OnConnectionCreated(DWORD_PTR context, HINTERNET handle)
{
    m_hConnect = AdoptHandle(handle, &CSession::CallbackConnection);
    Leave(context);
}

// H2: Connect, GetCurrentDirectory and SetCurrentDirectory end here.
void CSession::OnCommandComplete(DWORD_PTR context, DWORD error)
{
    if (error == 0) {
        WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_SUCCESS, FLAGS_CONNECTED_IDLE);
    } else {
        NIMBREL_ASSERT("isc_handler", m_hConnect);
        WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
    }
    Leave(context);
}

// ---- listing --------------------------------------------------------------------------------

WIN32_FIND_DATAA* CSession::FindEntryDestination()
{
    const NIMBREL_FIND* request = static_cast<const NIMBREL_FIND*>(m_pRequest);
    if (!request->pFindData || request->dwFound >= request->dwCapacity) return &m_FindOverflow;
    return request->pFindData + request->dwFound;
}

// H3: the find handle exists.
void CSession::OnFindCreated(DWORD_PTR context, HINTERNET handle)
{
    m_hFind = AdoptHandle(handle, &CSession::CallbackFind);
    Leave(context);
}

// H4: one listing step is complete. Every entry that arrives counts, whatever its size, and the
// count never passes the client's capacity: the listing ends when the array is full.
void CSession::OnFindStep(DWORD_PTR context, DWORD error)
{
    NIMBREL_FIND* request = static_cast<NIMBREL_FIND*>(m_pRequest);
    if (error == 0) {
        const bool stored = FindEntryDestination() != &m_FindOverflow;
        if (stored) ++request->dwFound;
        NIMBREL_ASSERT("isc_handler", m_hFind != 0);
        const HINTERNET find = m_hFind;
        if (!stored || FindEntryDestination() == &m_FindOverflow) {
            // No room for another entry: close the listing; its closing finishes the operation.
            m_hFind = nullptr;
            Leave(context);
            if (find) asyncftp::CloseHandle(find);
            return;
        }
        WIN32_FIND_DATAA* next = FindEntryDestination();
        Leave(context);
        if (find) asyncftp::FindNextFile(find, next);
        return;
    }
    if (error == ERROR_NO_MORE_FILES) {
        if (m_hFind) {
            const HINTERNET find = m_hFind;
            m_hFind = nullptr;
            Leave(context);
            asyncftp::CloseHandle(find);
            return;
        }
        WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_SUCCESS, FLAGS_IDLE);
        Leave(context);
        return;
    }
    WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
    Leave(context);
}

// H5: the find handle is closing.
void CSession::OnFindClosing(DWORD_PTR context)
{
    if (m_hFind) {
        // A closing the session did not start: the listing was cut short, so the operation
        // fails (and ends the connection) rather than waiting for steps that will never come.
        const HINTERNET find = m_hFind;
        m_hFind = nullptr;
        WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
        Leave(context);
        asyncftp::CloseHandle(find);
        return;
    }
    WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_SUCCESS, FLAGS_IDLE);
    Leave(context);
}

// ---- download -------------------------------------------------------------------------------

// H6: the file handle exists; until the file is open its notifications come to H7 and H8.
void CSession::OnFileCreated(DWORD_PTR context, HINTERNET handle)
{
    m_hFile = AdoptHandle(handle, &CSession::CallbackFileOpening);
    Leave(context);
}

// H7: the remote file is open (error 0), or could not be opened, which keeps the connection,
// unless the control connection itself is gone (dropped while idle, a reply broken off): then
// the failure ends the connection, as a cut transfer does, so the client connects again instead
// of taking every later file for missing.
void CSession::OnFileOpened(DWORD_PTR context, DWORD error)
{
    if (error != 0) {
        NIMBREL_ASSERT("isc_handler", m_hFile == NULL);
        if (asyncftp::ControlConnectionLost(m_hConnect))
            WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
        else
            WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_OPEN_FAILED, FLAGS_IDLE);
        Leave(context);
        return;
    }
    NIMBREL_ASSERT("isc_handler", m_hFile != NULL);
    if (m_hFile && asyncftp::SetStatusCallback(m_hFile, &CSession::CallbackFileReading) == INTERNET_INVALID_STATUS_CALLBACK)
        NIMBREL_REPORT("isc_handler", "InternetSetStatusCallback(m_hFile) != INTERNET_INVALID_STATUS_CALLBACK");
    m_pIscTable = &s_IscRead;
    QueueItem(false, PROCESS_CONTINUE, &CSession::DownloadLoop);
    Leave(context);
}

// H8: the file handle closes before reading began.
void CSession::OnFileClosingBeforeRead(DWORD_PTR context)
{
    const HINTERNET file = m_hFile;
    m_hFile = nullptr;
    Leave(context);
    if (file) asyncftp::CloseHandle(file);
}

// H9: the byte count of the read in progress; H11 of the same read checks it.
void CSession::OnResponseReceived(DWORD_PTR context, DWORD count)
{
    m_dwLastResponse = count;
    Leave(context);
}

// H10: the file handle closes while reading. Still stored means the session did not close it:
// the transfer was cut off.
void CSession::OnFileClosingDuringRead(DWORD_PTR context)
{
    if (m_hFile) {
        const HINTERNET file = m_hFile;
        m_hFile = nullptr;
        m_dwFinal = 0;
        InterlockedExchange(&m_lTransferEnd, TRANSFER_FAILED);
        SetEvent(m_hDone);
        Leave(context);
        asyncftp::CloseHandle(file);
        return;
    }
    SetEvent(m_hDone);
    Leave(context);
}

// H11: a read step is complete with `count` bytes in the ring buffer (0 at the end of the data),
// or has failed, when `count` is an error code: the result flag tells which, since an error code
// may equal the previous read's byte count.
void CSession::OnReadComplete(DWORD_PTR context, bool succeeded, DWORD count)
{
    if (succeeded && count == 0) {
        // The data has ended; the closing's H10 sets the done event.
        m_dwFinal = m_dwReceived;
        InterlockedExchange(&m_lTransferEnd, TRANSFER_DATA_ENDED);
        const HINTERNET file = m_hFile;
        m_hFile = nullptr;
        Leave(context);
        if (file) asyncftp::CloseHandle(file);
        return;
    }
    if (!succeeded || count != m_dwLastResponse) {
        m_dwFinal = 0;
        InterlockedExchange(&m_lTransferEnd, TRANSFER_FAILED);
        SetEvent(m_hDone);
        Leave(context);
        return;
    }
    m_dwReceived += count;
    if (InterlockedCompareExchange(&m_lDataFlag, 1, 0) == 0) SetEvent(m_hData);
    NIMBREL_ASSERT("isc_handler", m_dwReceived - m_dwWritten <= DOWNLOAD_BUFFER_SIZE);
    ReadStep step;
    if (!NextRead(step)) {
        // The buffer is full: the download loop resumes reading once it has written it out.
        // Flag and event are set before leaving, which is safe because this layer delivers
        // the read's notifications on one thread, after this handler has returned.
        InterlockedExchange(&m_lReadPaused, 1);
        InterlockedIncrement(&m_lReadPauses);
        SetEvent(m_hData);
        Leave(context);
        return;
    }
    Leave(context);
    IssueRead(step);
}
