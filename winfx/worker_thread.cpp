#include "worker_thread.h"

#include <errno.h>
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
    uintptr_t handle = _beginthreadex(nullptr, 0, &RunBody, owned, 0, nullptr);
    if (!handle) {
        delete owned;
        throw std::system_error(errno, std::generic_category(), "worker thread");
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

void GapAfterInternetRelease()
{
    // The compatibility layer announces itself through an export of its ntdll.
    static const bool compatibility_layer =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (compatibility_layer) ::Sleep(kThreadStartGapMs);
}

void CWorkerThread::Detach()
{
    if (m_hThread) ::CloseHandle(m_hThread);
    m_hThread = nullptr;
}

}  // namespace winfx
