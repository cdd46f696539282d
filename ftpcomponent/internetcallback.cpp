// The status callbacks of a session's handles: each finds its session by the context (the
// session's serial, which names its table and slot), enters it, and routes the notifications its handle can carry to the
// handlers of isc_handler.cpp.
//
// Handle chain: the internet handle has CallbackInternet; the connection handle, created by
// Connect, CallbackConnection, which follows the operation's table; a find handle
// CallbackFind; a file handle CallbackFileOpening until the remote file is open, then
// CallbackFileReading. Notifications the routine does not route are ignored before any lookup,
// so the closings of handles that an invalidation dropped cost nothing.
#include "debugreport.h"
#include "session.h"
#include "tableregistry.h"

namespace {

HINTERNET CreatedHandle(LPVOID info)
{
    return info ? reinterpret_cast<HINTERNET>(static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult) : nullptr;
}

// The request's own result flag: a read's byte count and a failure's error code share the error
// field, so only this tells them apart.
bool CompletionSucceeded(LPVOID info)
{
    return info && static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult != FALSE;
}

DWORD CompletionError(LPVOID info)
{
    return info ? static_cast<INTERNET_ASYNC_RESULT*>(info)->dwError : ERROR_INTERNET_INTERNAL_ERROR;
}

}  // namespace

CSession* CSession::EnterByContext(DWORD_PTR context)
{
    bool slotHeld = false;
    CSession* session = EnterSessionByContext(context, slotHeld);
    if (!slotHeld) {
        NIMBREL_REPORT("internetcallback", "pSession");
        NIMBREL_REPORT("internetcallback", "pSession != NULL");
    }
    return session;
}

void CALLBACK CSession::CallbackInternet(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
{
    if (status != INTERNET_STATUS_HANDLE_CREATED) return;  // its own closing needs nothing
    if (CSession* session = EnterByContext(context)) session->OnConnectionCreated(context, CreatedHandle(info));
}

void CALLBACK CSession::CallbackConnection(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
{
    if (status != INTERNET_STATUS_HANDLE_CREATED && status != INTERNET_STATUS_REQUEST_COMPLETE) return;
    CSession* session = EnterByContext(context);
    if (!session) return;
    const ISC_TABLE* table = session->m_pIscTable;
    if (status == INTERNET_STATUS_HANDLE_CREATED && table && table->pOnCreated)
        (session->*table->pOnCreated)(context, CreatedHandle(info));
    else if (status == INTERNET_STATUS_REQUEST_COMPLETE && table && table->pOnComplete)
        (session->*table->pOnComplete)(context, CompletionError(info));
    else
        session->Leave(context);  // nothing in this operation listens for it
}

void CALLBACK CSession::CallbackFind(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
{
    if (status != INTERNET_STATUS_REQUEST_COMPLETE && status != INTERNET_STATUS_HANDLE_CLOSING) return;
    CSession* session = EnterByContext(context);
    if (!session) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) session->OnFindStep(context, CompletionError(info));
    else session->OnFindClosing(context);
}

void CALLBACK CSession::CallbackFileOpening(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
{
    if (status != INTERNET_STATUS_REQUEST_COMPLETE && status != INTERNET_STATUS_HANDLE_CLOSING) return;
    CSession* session = EnterByContext(context);
    if (!session) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) session->OnFileOpened(context, CompletionError(info));
    else session->OnFileClosingBeforeRead(context);
}

void CALLBACK CSession::CallbackFileReading(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    if (status != INTERNET_STATUS_RESPONSE_RECEIVED && status != INTERNET_STATUS_REQUEST_COMPLETE &&
        status != INTERNET_STATUS_HANDLE_CLOSING)
        return;
    CSession* session = EnterByContext(context);
    if (!session) {
        if (status == INTERNET_STATUS_REQUEST_COMPLETE) NimbrelTrace("\nEnter - FAIL!!!\n");
        return;
    }
    if (status == INTERNET_STATUS_RESPONSE_RECEIVED)
        session->OnResponseReceived(context, info && length >= sizeof(DWORD) ? *static_cast<DWORD*>(info) : 0);
    else if (status == INTERNET_STATUS_REQUEST_COMPLETE)
        session->OnReadComplete(context, CompletionSucceeded(info), CompletionError(info));
    else
        session->OnFileClosingDuringRead(context);
}
