#include "signalcounter.h"

bool CSignalCounter::Initialise()
{
    m_hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_hEvent) return false;
    m_lCount = 0;
    m_dwFlags = 1;
    return true;
}

void CSignalCounter::Destroy()
{
    if (m_hEvent) CloseHandle(m_hEvent);
    m_hEvent = nullptr;
    m_dwFlags = 0;
}

void CSignalCounter::Signal()
{
    if (InterlockedIncrement(&m_lCount) == 1) SetEvent(m_hEvent);
}

void CSignalCounter::Consume()
{
    if (InterlockedDecrement(&m_lCount) == 0) {
        ResetEvent(m_hEvent);
        // A Signal between the decrement and the reset would otherwise be left unsignalled.
        if (InterlockedCompareExchange(&m_lCount, 0, 0) > 0) SetEvent(m_hEvent);
    }
}

void CSignalCounter::Reset()
{
    ResetEvent(m_hEvent);
    InterlockedExchange(&m_lCount, 0);
}
