// CWorkerThread: one worker thread running a function object, started at construction and then
// joined or detached. Built on the C runtime's own thread start, so the runtime's per-thread
// state is set up before the body runs.
#pragma once

#include <windows.h>

#include <functional>

namespace winfx {

class CWorkerThread {
public:
    // Throws std::system_error carrying the system's error code (ERROR_NOT_ENOUGH_MEMORY and the
    // like) when the system refuses a new thread, std::bad_alloc when the body cannot be copied.
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

}  // namespace winfx
