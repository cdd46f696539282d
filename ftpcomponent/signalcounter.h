// A count of queued work items with a manual-reset event that is signalled exactly while the
// count is above zero, so a thread can wait for "something queued" without a lock.
#pragma once

#include <windows.h>

class CSignalCounter {
public:
    bool Initialise();  // creates the event; false when it cannot
    void Destroy();
    void Signal();      // one more item
    void Consume();     // one item taken
    void Reset();       // drop every item
    HANDLE Event() const { return m_hEvent; }

private:
    DWORD m_dwFlags = 0;
    volatile LONG m_lCount = 0;
    HANDLE m_hEvent = nullptr;
};
