// One FTP session of the component: its worker thread, the command and event rings that feed
// it, the completion ring that the client collects from, and the serial handshake that lets
// status callbacks touch the session safely.
#pragma once

#include "indexdeque.h"
#include "signalcounter.h"

#include <windows.h>
#include <wininet.h>

constexpr DWORD SESSION_INDEX_MAX = 4095;
constexpr DWORD DOWNLOAD_BUFFER_SIZE = 0x20000;
constexpr LONG SERIAL_IN_CALLBACK = 0x8000;
constexpr LONG SERIAL_INVALIDATED = 0x9000;

enum SessionFlags : DWORD {
    SESSION_INITIALISED = 1,
    SESSION_BUSY = 4,
    SESSION_CONNECTED = 32,
};

enum PROCESS_CODE : DWORD {
    PROCESS_START = 0,
    PROCESS_DISCONNECT = 1,
    PROCESS_SHUTDOWN = 3,
    PROCESS_CONTINUE = 4,
    PROCESS_FAILURE = 5,
    PROCESS_COMPLETION = 6,
};

enum FlagChange : DWORD {
    FLAGS_BACK_TO_INITIALISED = 0,
    FLAGS_CONNECTED_IDLE = 1,
    FLAGS_IDLE = 2,
    FLAGS_UNCHANGED = 3,
};

class CSession;
typedef void (CSession::*SessionHandler)();

struct PROCESS_ITEM {
    DWORD dwCode;
    SessionHandler pHandler;
    PROCESS_ITEM* pNext;
};

struct COMPLETION_DATA {
    DWORD dwState;  // 1 ordinary, 2 Disconnect
    volatile LONG lReady;
    int nStatus;
    DWORD dwFlagChange;
    COMPLETION_DATA* pNext;
};

class CSession {
public:
    CSession() = default;
    virtual ~CSession();
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    int Initialise(volatile LONG* pSerial, volatile LONG* pCounter, DWORD dwToggle, CIndexDeque* pDeque,
                   HWND hWnd, UINT uMsg);
    int Shutdown();
    // How long Initialise waits for the worker to run before it gives up with -5.
    void SetStartTimeout(DWORD dwMilliseconds) { m_dwStartTimeoutMs = dwMilliseconds; }

    // Client's thread (the component object's methods).
    DWORD Flags() const { return m_dwFlags; }
    // Checks the flags (required present, forbidden absent), then queues the operation.
    int StartOperation(void* pRequest, DWORD dwRequired, DWORD dwForbidden, SessionHandler handler,
                       DWORD dwSetFlags, bool bConnect);
    bool NextCompletionReady() const;
    void ConsumeCompletion();
    // The worker has ended (stopped by an invalid code or a fault): nothing will be published.
    bool WorkerEnded() const;
    // Ends the current operation as a failure when no worker is left to finish it.
    void FailWithoutWorker();
    int BeginDisconnect();  // 0, -2 neither busy nor connected, -3 already under way
    void* CurrentRequest() const { return m_pRequest; }
    volatile LONG* PopCounter() const { return m_pPopCounter; }
    LONG& Correction() { return m_lCorrection; }
    void Announce();  // pushes the slot index and posts the client's message

    // Status callbacks and the worker.
    bool Enter(DWORD_PTR context);
    void Leave(DWORD_PTR context);
    void WriteCompletion(DWORD dwCode, int nStatus, DWORD dwFlagChange);
    void QueueItem(bool bCommandRing, DWORD dwCode, SessionHandler handler);

    // Operation start routines of this build.
    void StartUnavailable();

protected:
    // Starts the worker thread (running at once); tests replace it to hold the thread back.
    virtual HANDLE BeginWorkerThread(unsigned(__stdcall* routine)(void*), void* argument);

private:
    // The read buffer, both locks and the three events, as Initialize made them.
    void ReleaseResources();
    int StartWorker();
    static unsigned __stdcall WorkerThread(void* pStart);
    void Run();
    void RunItem(const PROCESS_ITEM& item, bool& bStop);
    // Writes the current serial into the slot unless a callback is inside or an invalidation
    // runs: either of those puts the right value back itself.
    void RestoreSerial();
    void Publish();
    void Notify();
    void Invalidate();
    void WriteDisconnectCompletion();
    DWORD CurrentSerial() const { return (m_dwSnIndex & 0xFFF) + m_dwGeneration; }

    DWORD m_dwFlags = 0;
    volatile LONG* m_pSerial = nullptr;
    volatile LONG* m_pPopCounter = nullptr;
    volatile LONG* m_pPublishCounter = nullptr;
    DWORD m_dwToggle = 0;
    LONG m_lCorrection = 0;
    DWORD m_dwSnIndex = 0;
    DWORD m_dwGeneration = 0;
    HWND m_hWnd = nullptr;
    UINT m_uMsg = 0;
    CIndexDeque* m_pDeque = nullptr;
    DWORD m_dwItem = 0;

    CSignalCounter m_Command;
    CSignalCounter m_Event;
    PROCESS_ITEM m_CommandRing[8] = {};
    PROCESS_ITEM m_EventRing[8] = {};
    PROCESS_ITEM* m_pCommandWrite = nullptr;
    PROCESS_ITEM* m_pCommandRead = nullptr;
    PROCESS_ITEM* m_pEventWrite = nullptr;
    PROCESS_ITEM* m_pEventRead = nullptr;
    COMPLETION_DATA m_Completions[8] = {};
    COMPLETION_DATA* m_pCD_in = nullptr;
    COMPLETION_DATA* m_pCD_out = nullptr;
    COMPLETION_DATA* m_pCD_user = nullptr;
    volatile LONG m_lDeliveryMask = 0;
    void* m_pRequest = nullptr;

    HANDLE m_hCancel = nullptr;
    HANDLE m_hDone = nullptr;
    HANDLE m_hData = nullptr;
    HINTERNET m_hInternet = nullptr;
    HINTERNET m_hConnect = nullptr;
    HINTERNET m_hFind = nullptr;
    HINTERNET m_hFile = nullptr;
    HANDLE m_hThread = nullptr;
    bool m_bWorkerShutDown = false;  // the worker ended through PROCESS_SHUTDOWN, after invalidating
    DWORD m_dwStartTimeoutMs = 10000;
    BYTE* m_pReadBuffer = nullptr;
};
