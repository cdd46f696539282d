// Lock-free queue of slot indices: any thread pushes, only the client's thread pops.
// Entries are announcements of sessions with news; each session has at most one entry at a time,
// so a capacity of at least the table size means an unconsumed entry is never overwritten.
//
// Invariants (review every change against them):
//  - Each ring entry is one 64-bit word: the position it belongs to (low half) and either the
//    stored item or kEmpty (high half). An entry at position p is free while it reads {p, kEmpty}
//    and holds an item while it reads {p, item}.
//  - A producer takes a position and stores its item in one compare-and-exchange of the whole
//    entry, so there is never a position that is taken but not yet stored. Only then does the
//    shared tail move past it (by that producer or by any other that finds the entry full).
//  - Hence the stored entries always form an unbroken run starting at the read position: a pop
//    that finds its entry free knows the queue is empty at that instant, and a push that lands
//    later is found by the pop its own message causes. No entry is ever stranded behind a gap.
//  - The consumer (one thread) takes {r, item} and writes back {r + capacity, kEmpty}, freeing the
//    entry for the position one lap later. An entry still holding an older lap's item means the
//    ring is full; the push is refused and reported instead of overwriting it.
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

    // False (and reported) only when the ring is full, which the table's sizing rules out.
    bool Push(DWORD item);
    // Returns false when no entry is stored at the read position.
    bool Pop(DWORD& item);

private:
    DWORD m_dwFlags = 0;
    DWORD m_dwMask = 0;
    volatile LONG64* m_pRing = nullptr;
    DWORD m_dwReadPos = 0;          // consumer only
    volatile LONG m_lTail = 0;      // next position to fill; may lag a stored entry briefly
};
