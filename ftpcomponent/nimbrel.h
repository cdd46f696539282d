// The component object CNimbrel and its session table: slots with serials and notification
// counters, the free-index stack, the deque of sessions to announce.
#pragma once

#include <Nimbrel.h>  // the public header, not this unit's own
#include "indexdeque.h"
#include "session.h"

// Announcing completions: the counting protocol between the sessions' workers and the client.
//  - A slot has two counters; the session's publish pointer and pop pointer each name one of them
//    (the same one except while a Disconnect switches over). A counter counts completions published
//    and not yet accounted for by the client.
//  - Who increments: only the session's worker, once per published completion. When its increment
//    yields exactly 1 it pushes the slot index and posts one message. So a counter above 0 means
//    exactly one deque entry for the slot, with exactly one message, exists or is being pushed.
//  - Who decrements: only the client's thread. GetNotifiedSession pops an entry and subtracts the
//    session's correction plus 1 if it hands a completion out now; if the counter stays above 0 it
//    pushes and posts again (the next entry of the same cycle). GetResult adds 1 to the correction
//    for every completion it consumes; a completion that a pop handed out was already subtracted,
//    which is why that pop sets the correction to -1.
//  - What a pop may find: the slot's current session (hand out its ready completion, or 0 when the
//    entry only settles counts), or an empty slot whose counter is above 0 (the entry a closed
//    session still owed: it is consumed silently and the counter falls to 0).
//  - Close and reuse: the worker has stopped before the slot is touched, so the counter is still.
//    CloseSession keeps only whether an entry is still owed (counter 1 or 0) and drops the closed
//    session's correction with it. A new session in the slot takes the owed entry over as if it had
//    published and collected one completion of its own (correction = counter), so the pop of that
//    entry settles to 0 whether it comes before or after the new session's first publication.
//  - Every message therefore has one entry and every entry one pop; once everything published has
//    been collected, the counter is 0 and nothing more is posted.
struct SESSION_SLOT {
    CSession* pSession;
    volatile LONG lSerial;
    volatile LONG lCounterA;
    volatile LONG lCounterB;
    volatile LONG* pCounter;  // the counter GetNotifiedSession uses now
    DWORD dwToggle;           // &lCounterA ^ &lCounterB
    DWORD dwData;
};
static_assert(sizeof(void*) != 4 || sizeof(SESSION_SLOT) == 28, "seven 32-bit words");

class CSessionTable {
public:
    CSessionTable() = default;
    ~CSessionTable();

    int Initialize(HWND hWnd, UINT uMsg, DWORD dwMax);
    int CreateSession();
    int CloseSession(DWORD n);
    int SetSessionData(DWORD n, DWORD dwData);
    int GetSessionData(DWORD n, DWORD* pdwData);
    int GetNotifiedSession(DWORD* pdwData);
    int GetResult(DWORD n, void** ppRequest, BOOL bWait);
    int Disconnect(DWORD n);
    int StartOperation(DWORD n, void* pRequest, bool bConnect, SessionHandler start);

    // Status callbacks: the session whose slot the context names, or null.
    CSession* SessionFor(DWORD_PTR context) const;
    // Status callbacks: the serial word of the slot the context names, or null.
    volatile LONG* SerialFor(DWORD_PTR context) const;
    DWORD Max() const { return m_dwMax; }
    DWORD DequeCapacity() const { return m_Deque.Capacity(); }

private:
    SESSION_SLOT* Slot(DWORD n) const;  // null when n is outside 1..max or the table is not set up

    DWORD m_dwFlags = 0;
    DWORD* m_pFreeIndex = nullptr;
    SESSION_SLOT* m_pSlots = nullptr;
    CIndexDeque m_Deque;
    DWORD m_dwMax = 0;
    DWORD m_dwAllocated = 0;
    HWND m_hWnd = nullptr;
    UINT m_uMsg = 0;
    int m_nNumber = -1;  // in the registry of live tables while initialised (tableregistry.h)
};

class CNimbrel : public INimbrel {
public:
    CNimbrel();
    virtual ~CNimbrel();
    bool Valid() const { return m_pTable != nullptr; }
    CSessionTable* Table() const { return m_pTable; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    int STDMETHODCALLTYPE Initialize(HWND hWnd, UINT uMsg, DWORD dwMaxSession) override;
    int STDMETHODCALLTYPE CreateSession() override;
    int STDMETHODCALLTYPE CloseSession(DWORD dwSession) override;
    int STDMETHODCALLTYPE SetSessionData(DWORD dwSession, DWORD dwData) override;
    int STDMETHODCALLTYPE GetSessionData(DWORD dwSession, DWORD* pdwData) override;
    int STDMETHODCALLTYPE GetNotifiedSession(DWORD* pdwData) override;
    int STDMETHODCALLTYPE GetResult(DWORD dwSession, void** ppRequest, BOOL bWait) override;
    int STDMETHODCALLTYPE Disconnect(DWORD dwSession) override;
    int STDMETHODCALLTYPE Connect(DWORD dwSession, NIMBREL_CONNECT* pRequest) override;
    int STDMETHODCALLTYPE GetCurrentDirectory(DWORD dwSession, NIMBREL_DIRECTORY* pRequest) override;
    int STDMETHODCALLTYPE SetCurrentDirectory(DWORD dwSession, NIMBREL_DIRECTORY* pRequest) override;
    int STDMETHODCALLTYPE FindFiles(DWORD dwSession, NIMBREL_FIND* pRequest) override;
    int STDMETHODCALLTYPE Download(DWORD dwSession, NIMBREL_DOWNLOAD* pRequest) override;

private:
    CSessionTable* m_pTable;
    volatile LONG m_lRef = 0;
};
