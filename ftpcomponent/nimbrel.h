// The component object CNimbrel and its session table: slots with serials and notification
// counters, the free-index stack, the deque of sessions to announce.
#pragma once

#include <Nimbrel.h>  // the public header, not this unit's own
#include "indexdeque.h"
#include "session.h"

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
