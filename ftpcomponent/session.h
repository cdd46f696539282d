// One FTP session of the component: its worker thread, the command and event rings that feed
// it, the completion ring that the client collects from, and the serial handshake that lets
// status callbacks touch the session safely.
#pragma once

#include "indexdeque.h"
#include "signalcounter.h"

#include "asyncftp/Deadlines.h"

#include <windows.h>
#include <wininet.h>

constexpr DWORD SESSION_INDEX_MAX = 4095;
constexpr DWORD DOWNLOAD_BUFFER_SIZE = 0x20000;
constexpr unsigned SESSION_THREAD_STACK = 128 * 1024;  // reserved for a worker; 64 KiB overflowed in pipe writes under the compatibility layer
// How long the end of a session may take: the worker finishes its current step (at worst a
// resume command whose reply runs to its deadline), then invalidates, which closes the
// connection (the closing replies' deadline, or the wait for a connection thread held in a name
// lookup). Closing, Disconnect's completion and the last Release all follow from it.
constexpr DWORD SESSION_END_BOUND_MS = asyncftp::kExchangeDeadlineMs + asyncftp::kConnectionsEndWaitMs + 5000;
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

// How the download loop writes the local file: WriteFile, or a slower or failing disk that the
// component's tests put in its place.
typedef BOOL(WINAPI* LocalFileWriter)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
extern LocalFileWriter volatile g_pfnWriteLocalFile;

class CSession;
typedef void (CSession::*SessionHandler)();
// Status callback handlers; each is called inside the session (entered with the context) and
// leaves it exactly once.
typedef void (CSession::*IscCreatedHandler)(DWORD_PTR context, HINTERNET handle);
typedef void (CSession::*IscCompleteHandler)(DWORD_PTR context, DWORD error);

// What the connection handle's notifications mean for the operation in progress.
struct ISC_TABLE {
    IscCreatedHandler pOnCreated;    // 60
    IscCompleteHandler pOnComplete;  // 100
};

// How the data of a download ended, as the download loop sees it when the done event fires.
enum TransferEnd : LONG {
    TRANSFER_RUNNING = 0,
    TRANSFER_DATA_ENDED = 1,  // the server sent every byte: the final total is the file's size
    TRANSFER_FAILED = 2,      // cut off or a failed read: the final total means nothing
};

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
    friend class SessionProbe;  // the component's tests look at download state and handles

public:
    CSession() = default;
    virtual ~CSession();
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    int Initialise(volatile LONG* pSerial, volatile LONG* pCounter, DWORD dwToggle, CIndexDeque* pDeque,
                   HWND hWnd, UINT uMsg);
    // Asks the worker to stop (invalidating first) without waiting; Shutdown then waits for it.
    // Sessions that are all asked first end together, in the time of the slowest.
    void BeginShutdown();
    // Returns within SESSION_END_BOUND_MS whatever the server does (see its derivation).
    int Shutdown();
    // Worker threads started and not yet ended, whether or not their sessions still exist.
    static LONG ThreadsRunning();
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

    // Operation start routines (worker thread), the download loop among them.
    void StartConnect();
    void StartGetCurrentDirectory();
    void StartSetCurrentDirectory();
    void StartFindFiles();
    void StartDownload();
    void DownloadLoop();

    // The status callbacks installed on the session's handles. The context is the session's
    // serial; the session is found through the live table its bits 12 to 15 name (tableregistry.h),
    // in the slot its bits 0 to 11 name.
    static void CALLBACK CallbackInternet(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    static void CALLBACK CallbackFileReading(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    static void CALLBACK CallbackFileOpening(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    static void CALLBACK CallbackFind(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    static void CALLBACK CallbackConnection(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);

protected:
    // Starts the worker thread (running at once); tests replace it to hold the thread back.
    virtual HANDLE BeginWorkerThread(unsigned(__stdcall* routine)(void*), void* argument);

private:
    // Status handlers (isc_handler); called entered, each leaves once.
    void OnConnectionCreated(DWORD_PTR context, HINTERNET handle);
    void OnCommandComplete(DWORD_PTR context, DWORD error);
    void OnFindCreated(DWORD_PTR context, HINTERNET handle);
    void OnFindStep(DWORD_PTR context, DWORD error);
    void OnFindClosing(DWORD_PTR context);
    void OnFileCreated(DWORD_PTR context, HINTERNET handle);
    void OnFileOpened(DWORD_PTR context, DWORD error);
    void OnFileClosingBeforeRead(DWORD_PTR context);
    void OnResponseReceived(DWORD_PTR context, DWORD count);
    void OnFileClosingDuringRead(DWORD_PTR context);
    void OnReadComplete(DWORD_PTR context, bool succeeded, DWORD count);
    // Where the next listing entry goes: the client's array while it has room, else nowhere.
    WIN32_FIND_DATAA* FindEntryDestination();
    // The six dispatch tables; m_pIscTable points at the one of the operation in progress.
    static const ISC_TABLE s_IscConnect, s_IscDirectoryGet, s_IscDirectorySet, s_IscFind, s_IscOpen, s_IscRead;
    // The session whose serial the context is, entered; null (and nothing touched) otherwise.
    static CSession* EnterByContext(DWORD_PTR context);

    // Download helpers (excute). A read is worked out while the session may be touched and
    // issued afterwards (a handler has left by then).
    struct ReadStep {
        HINTERNET hFile;
        BYTE* pBuffer;
        DWORD dwLength;
        DWORD* pBytesRead;
    };
    // The next read: at the received position, within the buffer's end and the space not yet
    // written out. False when the buffer has no room.
    bool NextRead(ReadStep& step);
    static void IssueRead(const ReadStep& step);
    // Ends an operation that failed on the worker: status 5, and the connection is closed as an
    // invalidation closes it, so the next Connect starts from nothing.
    void FailOperation();
    void WriteProgressCompletion(int nStatus, DWORD dwFlagChange);
    HANDLE OpenLocalFile() const;

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
    DWORD CurrentSerial() const { return (m_dwSnIndex & 0xFFF) | m_dwTableBits | m_dwGeneration; }

    DWORD m_dwFlags = 0;
    volatile LONG* m_pSerial = nullptr;
    volatile LONG* m_pPopCounter = nullptr;
    volatile LONG* m_pPublishCounter = nullptr;
    DWORD m_dwToggle = 0;
    LONG m_lCorrection = 0;
    DWORD m_dwSnIndex = 0;
    DWORD m_dwTableBits = 0;  // the serial's bits 12 to 15: the number of the session's table
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
    bool m_bShutdownQueued = false;
    DWORD m_dwStartTimeoutMs = 10000;
    BYTE* m_pReadBuffer = nullptr;

    // The operation in progress as its connection-handle notifications see it.
    const ISC_TABLE* volatile m_pIscTable = nullptr;

    // Download state. Received total: H11 only; written total: the download loop only; both
    // are absolute positions in the remote file, and received - written (the backlog) never
    // exceeds DOWNLOAD_BUFFER_SIZE. The end and the final total are set by H10/H11 before the
    // done event.
    DWORD m_dwResumeOffset = 0;
    volatile DWORD m_dwReceived = 0;
    volatile DWORD m_dwWritten = 0;
    volatile DWORD m_dwFinal = 0;
    volatile LONG m_lTransferEnd = TRANSFER_RUNNING;
    volatile LONG m_lDataFlag = 0;
    volatile LONG m_lReadPaused = 0;
    DWORD m_dwLastResponse = 0;
    DWORD m_dwBytesRead = 0;  // the layer writes it when a read completes
    volatile LONG m_lReadPauses = 0;  // times reading waited for the buffer to be written out
    WIN32_FIND_DATAA m_FindOverflow = {};  // an entry the client's array has no room for
};
