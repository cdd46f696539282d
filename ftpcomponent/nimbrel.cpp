#include "nimbrel.h"

#include "debugreport.h"
#include "module.h"
#include "tableregistry.h"

#include <cstring>
#include <new>

// ---- session table -------------------------------------------------------------------------

CSessionTable::~CSessionTable()
{
    // Sessions are the client's to close first; one left open would keep a worker thread
    // running on freed slots, so it is shut down here instead. All are asked at once, so the
    // last Release takes the time of the slowest session's end, not the sum.
    for (DWORD i = 0; m_pSlots && i < m_dwMax; ++i)
        if (m_pSlots[i].pSession) m_pSlots[i].pSession->BeginShutdown();
    for (DWORD i = 0; m_pSlots && i < m_dwMax; ++i) {
        if (m_pSlots[i].pSession) {
            m_pSlots[i].pSession->Shutdown();
            delete m_pSlots[i].pSession;
            m_pSlots[i].pSession = nullptr;
        }
    }
    // Every session is shut down: no callback enters this table any more, and once this returns
    // none is looking at it either.
    UnregisterTable(m_nNumber);
    delete[] m_pFreeIndex;
    delete[] m_pSlots;
    m_Deque.Destroy();
}

int CSessionTable::Initialize(HWND hWnd, UINT uMsg, DWORD dwMax)
{
    if (m_dwFlags & 1) return -1;
    if (dwMax == 0 || dwMax > NIMBREL_MAX_SESSIONS) return -2;
    // Sized for the whole table: every session may wait in the deque at once.
    if (!m_Deque.Initialise(dwMax)) return -3;
    m_pFreeIndex = new (std::nothrow) DWORD[dwMax];
    if (!m_pFreeIndex) {
        m_Deque.Destroy();
        return -4;
    }
    // The table's number goes into every serial, so that status callbacks find this table (-3:
    // as many tables as serials can tell apart are initialised in the process already).
    const int number = RegisterTable(this);
    if (number < 0) {
        m_Deque.Destroy();
        delete[] m_pFreeIndex;
        m_pFreeIndex = nullptr;
        return -3;
    }
    for (DWORD i = 0; i < dwMax; ++i) m_pFreeIndex[i] = i;
    m_pSlots = new (std::nothrow) SESSION_SLOT[dwMax];
    if (!m_pSlots) {
        UnregisterTable(number);
        m_Deque.Destroy();
        delete[] m_pFreeIndex;
        m_pFreeIndex = nullptr;
        return -5;
    }
    std::memset(static_cast<void*>(m_pSlots), 0, sizeof(SESSION_SLOT) * dwMax);
    const DWORD generation = FirstGenerationOfNewTable();
    for (DWORD i = 0; i < dwMax; ++i) {
        SESSION_SLOT& slot = m_pSlots[i];
        slot.lSerial = static_cast<LONG>((i & 0xFFF) | (static_cast<DWORD>(number) << TABLE_NUMBER_SHIFT) | generation);
        slot.pCounter = &slot.lCounterA;
        slot.dwToggle = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&slot.lCounterA) ^
                                           reinterpret_cast<uintptr_t>(&slot.lCounterB));
    }
    m_dwMax = dwMax;
    m_hWnd = hWnd;
    m_uMsg = uMsg;
    m_dwAllocated = 0;
    m_nNumber = number;
    m_dwFlags |= 1;
    return 0;
}

SESSION_SLOT* CSessionTable::Slot(DWORD n) const
{
    if (!(m_dwFlags & 1) || n < 1 || n > m_dwMax) return nullptr;
    return &m_pSlots[n - 1];
}

int CSessionTable::CreateSession()
{
    if (!(m_dwFlags & 1) || m_dwAllocated == m_dwMax) return 0;
    const DWORD index = m_pFreeIndex[m_dwAllocated];
    SESSION_SLOT& slot = m_pSlots[index];
    CSession* session = new (std::nothrow) CSession();
    if (!session) return 0;
    if (session->Initialise(&slot.lSerial, slot.pCounter, slot.dwToggle, &m_Deque, m_hWnd, m_uMsg) != 0) {
        delete session;
        return 0;
    }
    // An entry that the slot's previous session still owes is taken over (see nimbrel.h).
    session->Correction() = *slot.pCounter;
    slot.pSession = session;
    ++m_dwAllocated;
    return static_cast<int>(index + 1);
}

int CSessionTable::CloseSession(DWORD n)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot) return -1;
    if (!slot->pSession) return -2;
    CSession* session = slot->pSession;
    session->Shutdown();
    // The worker has ended, so nothing publishes through the slot's counters any more. The slot
    // follows the counter the session last used and keeps only whether a deque entry is owed.
    slot->pCounter = session->PopCounter();
    InterlockedExchange(slot->pCounter, *slot->pCounter > 0 ? 1 : 0);
    delete session;
    slot->pSession = nullptr;
    slot->dwData = 0;
    --m_dwAllocated;
    m_pFreeIndex[m_dwAllocated] = n - 1;  // last freed, first reused
    return 0;
}

int CSessionTable::SetSessionData(DWORD n, DWORD dwData)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot) return -1;
    if (!slot->pSession) return -2;
    slot->dwData = dwData;
    return 0;
}

int CSessionTable::GetSessionData(DWORD n, DWORD* pdwData)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot) return -1;
    if (!slot->pSession) return -2;
    if (pdwData) *pdwData = slot->dwData;
    return 0;
}

int CSessionTable::GetNotifiedSession(DWORD* pdwData)
{
    if (pdwData) *pdwData = 0;
    DWORD index = 0;
    if (!(m_dwFlags & 1) || !m_Deque.Pop(index)) {
        NIMBREL_REPORT("nimbrel", "DequeItem is NULL!");
        return 0;
    }
    SESSION_SLOT& slot = m_pSlots[index];
    CSession* session = slot.pSession;
    if (!session) {
        // The entry of a session closed before its message was handled: it settles the count.
        if (InterlockedExchange(slot.pCounter, 0) <= 0) NIMBREL_REPORT("nimbrel", "pSession is NULL!");
        return 0;
    }
    const LONG ready = session->NextCompletionReady() ? 1 : 0;
    const LONG delta = -(session->Correction() + ready);
    // More published than collected: keep the session announced with one more message.
    if (InterlockedExchangeAdd(session->PopCounter(), delta) + delta > 0) session->Announce();
    session->Correction() = -ready;
    if (!ready) return 0;
    if (pdwData) *pdwData = slot.dwData;
    return static_cast<int>(index + 1);
}

int CSessionTable::GetResult(DWORD n, void** ppRequest, BOOL bWait)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot) return -1;
    CSession* session = slot->pSession;
    if (!session) return -2;
    if (!(session->Flags() & SESSION_BUSY)) return -3;
    if (ppRequest) *ppRequest = session->CurrentRequest();
    while (!session->NextCompletionReady()) {
        // Each operation ends with a completion as long as the worker lives; once it has ended
        // (and published nothing more) the operation is over, as a failure, waiting or not.
        if (session->WorkerEnded() && !session->NextCompletionReady()) {
            session->FailWithoutWorker();
            return 0;
        }
        if (!bWait) {
            reinterpret_cast<int*>(session->CurrentRequest())[1] = NIMBREL_STATUS_PENDING;
            return 0;
        }
        Sleep(50);
    }
    session->ConsumeCompletion();
    return 0;
}

int CSessionTable::Disconnect(DWORD n)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot || !slot->pSession) return -1;
    return slot->pSession->BeginDisconnect();
}

int CSessionTable::StartOperation(DWORD n, void* pRequest, bool bConnect, SessionHandler start)
{
    SESSION_SLOT* slot = Slot(n);
    if (!slot || !slot->pSession) return -1;
    const int result = bConnect
        ? slot->pSession->StartOperation(pRequest, SESSION_INITIALISED, SESSION_BUSY | SESSION_CONNECTED,
                                         start, SESSION_BUSY | SESSION_CONNECTED, true)
        : slot->pSession->StartOperation(pRequest, SESSION_CONNECTED, SESSION_BUSY, start, SESSION_BUSY, false);
    return result == 0 ? 0 : result - 1;
}

CSession* CSessionTable::SessionFor(DWORD_PTR context) const
{
    const DWORD index = static_cast<DWORD>(context) & 0xFFF;
    if (!(m_dwFlags & 1) || index >= m_dwMax) return nullptr;
    return m_pSlots[index].pSession;
}

volatile LONG* CSessionTable::SerialFor(DWORD_PTR context) const
{
    const DWORD index = static_cast<DWORD>(context) & 0xFFF;
    if (!(m_dwFlags & 1) || index >= m_dwMax) return nullptr;
    return &m_pSlots[index].lSerial;
}

// ---- component object ----------------------------------------------------------------------

CNimbrel::CNimbrel() : m_pTable(new (std::nothrow) CSessionTable())
{
    // Counted from birth, so an object destroyed before anyone held it leaves the count balanced.
    InterlockedIncrement(&g_lLiveObjects);
}

CNimbrel::~CNimbrel()
{
    delete m_pTable;
    InterlockedDecrement(&g_lLiveObjects);
}

HRESULT STDMETHODCALLTYPE CNimbrel::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INimbrel)) {
        *ppv = static_cast<INimbrel*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CNimbrel::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_lRef)); }

ULONG STDMETHODCALLTYPE CNimbrel::Release()
{
    if (InterlockedDecrement(&m_lRef) == 0) delete this;
    return 0;
}

int STDMETHODCALLTYPE CNimbrel::Initialize(HWND hWnd, UINT uMsg, DWORD dwMaxSession)
{
    return m_pTable->Initialize(hWnd, uMsg, dwMaxSession);
}
int STDMETHODCALLTYPE CNimbrel::CreateSession() { return m_pTable->CreateSession(); }
int STDMETHODCALLTYPE CNimbrel::CloseSession(DWORD n) { return m_pTable->CloseSession(n); }
int STDMETHODCALLTYPE CNimbrel::SetSessionData(DWORD n, DWORD dwData) { return m_pTable->SetSessionData(n, dwData); }
int STDMETHODCALLTYPE CNimbrel::GetSessionData(DWORD n, DWORD* pdwData) { return m_pTable->GetSessionData(n, pdwData); }
int STDMETHODCALLTYPE CNimbrel::GetNotifiedSession(DWORD* pdwData) { return m_pTable->GetNotifiedSession(pdwData); }
int STDMETHODCALLTYPE CNimbrel::GetResult(DWORD n, void** ppRequest, BOOL bWait)
{
    return m_pTable->GetResult(n, ppRequest, bWait);
}
int STDMETHODCALLTYPE CNimbrel::Disconnect(DWORD n) { return m_pTable->Disconnect(n); }
int STDMETHODCALLTYPE CNimbrel::Connect(DWORD n, NIMBREL_CONNECT* p)
{
    return m_pTable->StartOperation(n, p, true, &CSession::StartConnect);
}
int STDMETHODCALLTYPE CNimbrel::GetCurrentDirectory(DWORD n, NIMBREL_DIRECTORY* p)
{
    return m_pTable->StartOperation(n, p, false, &CSession::StartGetCurrentDirectory);
}
int STDMETHODCALLTYPE CNimbrel::SetCurrentDirectory(DWORD n, NIMBREL_DIRECTORY* p)
{
    return m_pTable->StartOperation(n, p, false, &CSession::StartSetCurrentDirectory);
}
int STDMETHODCALLTYPE CNimbrel::FindFiles(DWORD n, NIMBREL_FIND* p)
{
    return m_pTable->StartOperation(n, p, false, &CSession::StartFindFiles);
}
int STDMETHODCALLTYPE CNimbrel::Download(DWORD n, NIMBREL_DOWNLOAD* p)
{
    return m_pTable->StartOperation(n, p, false, &CSession::StartDownload);
}
