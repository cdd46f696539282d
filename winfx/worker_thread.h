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

private:
    HANDLE m_hThread = nullptr;
};

}  // namespace winfx
