#include "worker_thread.h"

#include <process.h>

#include <memory>
#include <system_error>

namespace winfx {

namespace {

unsigned __stdcall RunBody(void* param)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
    (*body)();
    return 0;
}

}  // namespace

CWorkerThread::CWorkerThread(std::function<void()> body)
{
    auto* owned = new std::function<void()>(std::move(body));
    ::SetLastError(ERROR_SUCCESS);
    uintptr_t handle = _beginthreadex(nullptr, 0, &RunBody, owned, 0, nullptr);
    if (!handle) {
        // The system's reason when it refused the thread; the runtime's own allocation failing
        // leaves none, and that is memory too.
        DWORD error = ::GetLastError();
        delete owned;
        if (error == ERROR_SUCCESS) error = ERROR_NOT_ENOUGH_MEMORY;
        throw std::system_error(static_cast<int>(error), std::system_category(), "worker thread");
    }
    m_hThread = reinterpret_cast<HANDLE>(handle);
}

CWorkerThread::~CWorkerThread()
{
    Join();
}

void CWorkerThread::Join()
{
    if (!m_hThread) return;
    ::WaitForSingleObject(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
}

bool CWorkerThread::JoinFor(DWORD timeoutMs, bool serveSends)
{
    if (!m_hThread) return true;
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        DWORD woke = serveSends ? ::MsgWaitForMultipleObjects(1, &m_hThread, FALSE, left, QS_SENDMESSAGE)
                                : ::WaitForSingleObject(m_hThread, left);
        if (woke == WAIT_OBJECT_0) break;
        if (woke != WAIT_OBJECT_0 + 1 || left == 0) return false;
        // Peeking delivers the messages sent to this thread's windows; nothing posted is taken.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
    return true;
}

void CWorkerThread::Detach()
{
    if (m_hThread) ::CloseHandle(m_hThread);
    m_hThread = nullptr;
}

}  // namespace winfx
