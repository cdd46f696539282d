#include "session.h"

#include "asyncftp/AsyncFtp.h"
#include "debugreport.h"

#include <Nimbrel.h>

#include <process.h>

#include <initializer_list>

#include <new>

namespace {

struct FlagChangePair {
    DWORD dwClear;
    DWORD dwSet;
};
const FlagChangePair kFlagChanges[] = {
    {0xFFFFFFFF, SESSION_INITIALISED},  // failures and Disconnect
    {SESSION_BUSY, SESSION_CONNECTED},  // Connect succeeded
    {SESSION_BUSY, 0},                  // other operations finished
    {0, 0},                             // Download progress
};

constexpr DWORD kCallbackLeaveTimeoutMs = 30000;

volatile LONG g_lWorkerThreads = 0;

void CloseIfOpen(HANDLE& h)
{
    if (h) CloseHandle(h);
    h = nullptr;
}

}  // namespace

CSession::~CSession()
{
    if (m_dwFlags & SESSION_INITIALISED) Shutdown();
}

int CSession::Initialise(volatile LONG* pSerial, volatile LONG* pCounter, DWORD dwToggle, CIndexDeque* pDeque,
                         HWND hWnd, UINT uMsg)
{
    if (m_dwFlags & SESSION_INITIALISED) return -1;
    m_pSerial = pSerial;
    m_pPopCounter = m_pPublishCounter = pCounter;
    m_dwToggle = dwToggle;
    m_lCorrection = 0;
    m_dwSnIndex = static_cast<DWORD>(*pSerial) & 0xFFF;
    m_dwTableBits = static_cast<DWORD>(*pSerial) & 0xF000;
    m_dwGeneration = static_cast<DWORD>(*pSerial) & ~0xFFFFu;
    m_hWnd = hWnd;
    m_uMsg = uMsg;
    m_pDeque = pDeque;
    m_dwItem = m_dwSnIndex;
    m_bWorkerShutDown = false;
    m_bShutdownQueued = false;

    m_hCancel = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hData = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_hCancel || !m_hDone || !m_hData) {
        CloseIfOpen(m_hCancel);
        CloseIfOpen(m_hDone);
        CloseIfOpen(m_hData);
        return -2;
    }
    if (!m_Command.Initialise() || !m_Event.Initialise()) {
        m_Command.Destroy();
        m_Event.Destroy();
        CloseIfOpen(m_hCancel);
        CloseIfOpen(m_hDone);
        CloseIfOpen(m_hData);
        return -3;
    }
    m_pReadBuffer = new (std::nothrow) BYTE[DOWNLOAD_BUFFER_SIZE];
    if (!m_pReadBuffer) {
        m_Command.Destroy();
        m_Event.Destroy();
        CloseIfOpen(m_hCancel);
        CloseIfOpen(m_hDone);
        CloseIfOpen(m_hData);
        return -4;
    }
    for (int i = 0; i < 8; ++i) {
        m_CommandRing[i].pNext = &m_CommandRing[(i + 1) % 8];
        m_EventRing[i].pNext = &m_EventRing[(i + 1) % 8];
        m_Completions[i].pNext = &m_Completions[(i + 1) % 8];
        m_Completions[i].lReady = 0;
    }
    m_pCommandWrite = m_pCommandRead = &m_CommandRing[0];
    m_pEventWrite = m_pEventRead = &m_EventRing[0];
    m_pCD_in = m_pCD_out = m_pCD_user = &m_Completions[0];
    const int started = StartWorker();
    if (started != 0) {
        ReleaseResources();
        return started;
    }
    m_dwFlags = SESSION_INITIALISED;
    return 0;
}

namespace {

// Shared by Initialise and the worker it starts, so that a worker that runs only after Initialise
// gave up on it finds out without touching the session, which may be gone by then.
struct WorkerStart {
    enum : LONG { kStarting, kRunning, kAbandoned };
    volatile LONG lState = kStarting;
    volatile LONG lRefs = 2;
    CSession* pSession = nullptr;
    HANDLE hRunning = nullptr;

    void Release()
    {
        if (InterlockedDecrement(&lRefs) != 0) return;
        CloseHandle(hRunning);
        delete this;
    }
};

}  // namespace

HANDLE CSession::BeginWorkerThread(unsigned(__stdcall* routine)(void*), void* argument)
{
    // A small reservation: a process may hold 4096 sessions, each with this thread, in 2 GiB.
    // Counted from before its start to its last step (WorkerThread), so the module that holds it
    // is not unloaded under it, also when Initialise gave up on it.
    InterlockedIncrement(&g_lWorkerThreads);
    const HANDLE thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, SESSION_THREAD_STACK, routine, argument, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) InterlockedDecrement(&g_lWorkerThreads);
    return thread;
}

LONG CSession::ThreadsRunning() { return g_lWorkerThreads; }

int CSession::StartWorker()
{
    auto* start = new (std::nothrow) WorkerStart();
    if (!start) return -5;
    start->pSession = this;
    start->hRunning = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!start->hRunning) {
        delete start;
        return -5;
    }
    const HANDLE thread = BeginWorkerThread(&CSession::WorkerThread, start);
    if (!thread) {
        CloseHandle(start->hRunning);
        delete start;
        return -5;
    }
    // A session is never handed out before its thread runs, and threads start one at a time.
    WaitForSingleObject(start->hRunning, m_dwStartTimeoutMs);
    if (InterlockedCompareExchange(&start->lState, WorkerStart::kAbandoned, WorkerStart::kStarting) ==
        WorkerStart::kStarting)
    {
        // Given up: whenever the thread does run, it ends at once without touching the session.
        CloseHandle(thread);
        start->Release();
        return -5;
    }
    start->Release();
    m_hThread = thread;
    return 0;
}

void CSession::BeginShutdown()
{
    if (!(m_dwFlags & SESSION_INITIALISED) || m_bShutdownQueued) return;
    m_bShutdownQueued = true;
    QueueItem(true, PROCESS_SHUTDOWN, nullptr);
}

int CSession::Shutdown()
{
    if (!(m_dwFlags & SESSION_INITIALISED)) return -1;
    BeginShutdown();
    // The command ring, which carries the shutdown, wins over the event ring, and every step of
    // the worker has a deadline, so it ends within SESSION_END_BOUND_MS. Should it not, the wait
    // goes on after a report: freeing what a running worker uses would bring the host down.
    if (WaitForSingleObject(m_hThread, SESSION_END_BOUND_MS) != WAIT_OBJECT_0) {
        NIMBREL_REPORT("session", "the worker did not end within SESSION_END_BOUND_MS");
        WaitForSingleObject(m_hThread, INFINITE);
    }
    CloseIfOpen(m_hThread);
    // A worker that ended early (an invalid code, a fault) left its handles open; it is gone now,
    // so they are closed here.
    if (!m_bWorkerShutDown) Invalidate();
    NIMBREL_ASSERT("session", m_pReadBuffer != NULL);
    ReleaseResources();
    m_dwFlags = 0;
    return 0;
}

void CSession::ReleaseResources()
{
    delete[] m_pReadBuffer;
    m_pReadBuffer = nullptr;
    m_Command.Destroy();
    m_Event.Destroy();
    CloseIfOpen(m_hCancel);
    CloseIfOpen(m_hDone);
    CloseIfOpen(m_hData);
}

void CSession::QueueItem(bool bCommandRing, DWORD dwCode, SessionHandler handler)
{
    PROCESS_ITEM*& write = bCommandRing ? m_pCommandWrite : m_pEventWrite;
    write->dwCode = dwCode;
    write->pHandler = handler;
    write = write->pNext;
    (bCommandRing ? m_Command : m_Event).Signal();
}

int CSession::StartOperation(void* pRequest, DWORD dwRequired, DWORD dwForbidden, SessionHandler handler,
                             DWORD dwSetFlags, bool bConnect)
{
    if (!pRequest) return -1;
    if ((m_dwFlags & dwRequired) != dwRequired) return -2;
    if (m_dwFlags & dwForbidden) return -3;
    m_pRequest = pRequest;
    if (bConnect) m_lDeliveryMask = 1;
    reinterpret_cast<int*>(pRequest)[1] = 2;  // status word: pending
    // Whatever a previous operation left unread is dropped.
    m_pEventWrite = m_pEventRead;
    m_pCommandWrite = m_pCommandRead;
    m_pCD_in = m_pCD_out = m_pCD_user;
    m_pCD_user->lReady = 0;
    RestoreSerial();
    QueueItem(true, PROCESS_START, handler);
    m_dwFlags |= dwSetFlags;
    return 0;
}

bool CSession::NextCompletionReady() const
{
    return (m_lDeliveryMask & m_pCD_user->lReady) != 0;
}

void CSession::ConsumeCompletion()
{
    ++m_lCorrection;
    const FlagChangePair& change = kFlagChanges[m_pCD_user->dwFlagChange & 3];
    m_dwFlags = (m_dwFlags & ~change.dwClear) | change.dwSet;
    if (m_pRequest) reinterpret_cast<int*>(m_pRequest)[1] = m_pCD_user->nStatus;
    m_pCD_user = m_pCD_user->pNext;
}

bool CSession::WorkerEnded() const
{
    return m_hThread == nullptr || WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0;
}

void CSession::FailWithoutWorker()
{
    if (m_pRequest) reinterpret_cast<int*>(m_pRequest)[1] = NIMBREL_STATUS_FAILURE;
    m_dwFlags = SESSION_INITIALISED;
}

void CSession::RestoreSerial()
{
    const LONG current = static_cast<LONG>(CurrentSerial());
    for (;;) {
        const LONG seen = InterlockedCompareExchange(m_pSerial, 0, 0);
        if (seen == current || seen == SERIAL_IN_CALLBACK || seen == SERIAL_INVALIDATED) return;
        if (InterlockedCompareExchange(m_pSerial, current, seen) == seen) return;
    }
}

int CSession::BeginDisconnect()
{
    if (!(m_dwFlags & (SESSION_BUSY | SESSION_CONNECTED))) return -2;
    if (m_lDeliveryMask == 2) return -3;
    m_lDeliveryMask = 2;
    const LONG old = InterlockedExchange(m_pPopCounter, 0x10000);
    // Later publications through the old counter start near 0x10000 and so never announce.
    m_pPopCounter = reinterpret_cast<volatile LONG*>(reinterpret_cast<uintptr_t>(m_pPopCounter) ^ m_dwToggle);
    const LONG carried = old > 0 ? 1 : 0;
    m_lCorrection = carried;
    InterlockedExchange(m_pPopCounter, carried);
    QueueItem(true, PROCESS_DISCONNECT, nullptr);
    m_dwFlags = SESSION_INITIALISED | SESSION_BUSY;
    return 0;
}

void CSession::Announce()
{
    m_pDeque->Push(m_dwItem);
    PostMessageA(m_hWnd, m_uMsg, 0, 0);
}

void CSession::Notify()
{
    if (InterlockedIncrement(m_pPublishCounter) == 1) Announce();
}

void CSession::Publish()
{
    InterlockedExchange(&m_pCD_out->lReady, static_cast<LONG>(m_pCD_out->dwState));
    m_pCD_out = m_pCD_out->pNext;
    Notify();
}

void CSession::WriteCompletion(DWORD dwCode, int nStatus, DWORD dwFlagChange)
{
    m_pEventWrite->dwCode = dwCode;
    m_pEventWrite->pHandler = nullptr;
    m_pEventWrite = m_pEventWrite->pNext;
    m_pCD_in->dwState = 1;
    m_pCD_in->nStatus = nStatus;
    m_pCD_in->dwFlagChange = dwFlagChange;
    m_pCD_in = m_pCD_in->pNext;
    m_pCD_in->lReady = 0;
    m_Event.Signal();
}

void CSession::WriteDisconnectCompletion()
{
    COMPLETION_DATA* entry = m_pCD_user;
    entry->dwState = 2;
    entry->nStatus = 7;
    entry->dwFlagChange = FLAGS_BACK_TO_INITIALISED;
    m_pCD_out = entry;
    entry->pNext->lReady = 0;
    m_pCD_in = entry->pNext;
    m_pPublishCounter = m_pPopCounter;
}

bool CSession::Enter(DWORD_PTR context)
{
    return InterlockedCompareExchange(m_pSerial, SERIAL_IN_CALLBACK, static_cast<LONG>(context)) ==
           static_cast<LONG>(context);
}

void CSession::Leave(DWORD_PTR context)
{
    if (InterlockedCompareExchange(m_pSerial, static_cast<LONG>(context), SERIAL_IN_CALLBACK) == SERIAL_INVALIDATED)
        SetEvent(m_hCancel);
}

void CSession::Invalidate()
{
    // A callback inside the session finishes before its handles go away.
    // Handlers leave before any call that could block, so the wait is short; the bound only keeps a
    // faulty handler from hanging the worker (its handles are then unknown to the layer anyway).
    if (InterlockedExchange(m_pSerial, SERIAL_INVALIDATED) == SERIAL_IN_CALLBACK &&
        WaitForSingleObject(m_hCancel, kCallbackLeaveTimeoutMs) != WAIT_OBJECT_0)
        NIMBREL_REPORT("session", "a status callback did not leave the session");
    for (HINTERNET* h : {&m_hFile, &m_hFind, &m_hConnect, &m_hInternet}) {
        if (*h) asyncftp::CloseHandle(*h);
        *h = nullptr;
    }
    m_dwGeneration += 0x20000;
    NIMBREL_ASSERT("session", m_dwSnIndex <= SESSION_INDEX_MAX);
    InterlockedExchange(m_pSerial, static_cast<LONG>(CurrentSerial()));
}

unsigned __stdcall CSession::WorkerThread(void* pStart)
{
    auto* start = static_cast<WorkerStart*>(pStart);
    if (InterlockedCompareExchange(&start->lState, WorkerStart::kRunning, WorkerStart::kStarting) !=
        WorkerStart::kStarting)
    {
        start->Release();  // Initialise gave up on this thread; the session is not ours to touch
        InterlockedDecrement(&g_lWorkerThreads);
        return 0;
    }
    CSession* session = start->pSession;
    SetEvent(start->hRunning);
    start->Release();
    // Nothing may leave this thread into the host process; a session whose worker has ended is
    // seen by GetResult and fails its operation there.
    try {
        session->Run();
    } catch (...) {
        NIMBREL_REPORT("session", "the worker thread ended by an exception");
    }
    // The last thing the thread does in this module (what remains is the return).
    InterlockedDecrement(&g_lWorkerThreads);
    return 31;
}

void CSession::Run()
{
    const HANDLE waits[2] = {m_Command.Event(), m_Event.Event()};
    for (bool stop = false; !stop;) {
        // The command ring is listed first, so it wins when both are signalled.
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        PROCESS_ITEM* item;
        if (which == WAIT_OBJECT_0) {
            item = m_pCommandRead;
            m_pCommandRead = item->pNext;
            m_Command.Consume();
        } else if (which == WAIT_OBJECT_0 + 1) {
            item = m_pEventRead;
            m_pEventRead = item->pNext;
            m_Event.Consume();
        } else {
            return;
        }
        try {
            RunItem(*item, stop);
        } catch (...) {
            // An operation routine failed outside its own error paths (out of memory): the
            // operation ends as a failure that closes the connection, as any other would.
            NIMBREL_REPORT("session", "an operation ended by an exception");
            if (item->dwCode == PROCESS_START || item->dwCode == PROCESS_CONTINUE)
                WriteCompletion(PROCESS_FAILURE, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
        }
    }
}

void CSession::RunItem(const PROCESS_ITEM& item, bool& bStop)
{
    switch (item.dwCode) {
    case PROCESS_START:
        if (item.pHandler) (this->*item.pHandler)();
        break;
    case PROCESS_DISCONNECT:
        Invalidate();
        m_Event.Reset();
        WriteDisconnectCompletion();
        Publish();
        break;
    case PROCESS_SHUTDOWN:
        Invalidate();
        m_Event.Reset();
        m_bWorkerShutDown = true;
        bStop = true;
        break;
    case PROCESS_CONTINUE:
        RestoreSerial();
        if (item.pHandler) (this->*item.pHandler)();
        break;
    case PROCESS_FAILURE:
        Invalidate();
        m_Event.Reset();
        Publish();
        break;
    case PROCESS_COMPLETION:
        Publish();
        break;
    default:
        NIMBREL_REPORT("session", "Invalid PROCESS_CODE in WorkerThread.");
        bStop = true;
        break;
    }
}
