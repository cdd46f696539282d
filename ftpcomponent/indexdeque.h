// Lock-free queue of slot indices: any thread pushes, only the client's thread pops.
// Entries are announcements of sessions with news; each session has at most one entry at a time,
// so a capacity of at least the table size means an unconsumed entry is never overwritten.
#pragma once

#include <windows.h>

class CIndexDeque {
public:
    static constexpr DWORD kEmpty = 0xABABABAB;
    static constexpr DWORD kMinimumCapacity = 256;

    // Capacity: at least `entries`, rounded up to a power of two, never below 256.
    bool Initialise(DWORD entries);
    void Destroy();
    bool Initialised() const { return (m_dwFlags & 1) != 0; }
    DWORD Capacity() const { return m_dwMask + 1; }

    void Push(DWORD item);
    // Returns false when no entry is ready (also for an entry pushed but not yet stored).
    bool Pop(DWORD& item);

private:
    DWORD m_dwFlags = 0;
    DWORD m_dwMask = 0;
    DWORD m_dwItemWords = 1;
    volatile LONG* m_pRing = nullptr;
    DWORD* m_pItems = nullptr;
    DWORD m_dwReadPos = 1;
    volatile LONG m_lStorageCounter = 0;
    volatile LONG m_lRingCounter = 0;
};
