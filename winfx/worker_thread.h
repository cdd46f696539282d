// CWorkerThread: one worker thread running a function object, started at construction and then
// joined or detached. Built on the C runtime's own thread start, so the runtime's per-thread
// state is set up before the body runs.
#pragma once

#include <windows.h>

#include <functional>

namespace winfx {

class CWorkerThread {
public:
    // Throws std::system_error when the system refuses a new thread.
    explicit CWorkerThread(std::function<void()> body);
    ~CWorkerThread();  // a thread neither joined nor detached is joined here
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    void Join();
    void Detach();
    // Waits at most timeoutMs for the thread to end (then it counts as joined); true when it has
    // ended. With serveSends the waiting thread keeps answering messages other threads send to
    // its windows, so a worker blocked in a synchronous send to the dialog can still finish.
    bool JoinFor(DWORD timeoutMs, bool serveSends = false);

private:
    HANDLE m_hThread = nullptr;
};

// Called between releasing a WinINet connection and starting a thread of ours. Releasing lets
// WinINet start its connection-pool thread; under the Windows compatibility layer two thread
// starts at the same instant have been seen to bring the process down, so there this waits
// kThreadStartGapMs. On Windows itself it returns at once.
constexpr DWORD kThreadStartGapMs = 300;
void GapAfterInternetRelease();

}  // namespace winfx
