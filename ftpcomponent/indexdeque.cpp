#include "indexdeque.h"

#include "debugreport.h"

#include <new>

namespace {

LONG64 MakeEntry(DWORD position, DWORD item)
{
    return static_cast<LONG64>((static_cast<ULONG64>(item) << 32) | position);
}
DWORD PositionOf(LONG64 entry) { return static_cast<DWORD>(static_cast<ULONG64>(entry)); }
DWORD ItemOf(LONG64 entry) { return static_cast<DWORD>(static_cast<ULONG64>(entry) >> 32); }
LONG64 AtomicRead(volatile LONG64* p) { return InterlockedCompareExchange64(p, 0, 0); }

}  // namespace

bool CIndexDeque::Initialise(DWORD entries)
{
    DWORD capacity = kMinimumCapacity;
    while (capacity < entries) capacity <<= 1;
    m_pRing = new (std::nothrow) LONG64[capacity];
    if (!m_pRing) return false;
    for (DWORD i = 0; i < capacity; ++i) m_pRing[i] = MakeEntry(i, kEmpty);
    m_dwMask = capacity - 1;
    m_dwReadPos = 0;
    m_lTail = 0;
    m_dwFlags = 1;
    return true;
}

void CIndexDeque::Destroy()
{
    delete[] m_pRing;
    m_pRing = nullptr;
    m_dwMask = 0;
    m_dwFlags = 0;
}

bool CIndexDeque::Push(DWORD item)
{
    NIMBREL_ASSERT("nimbrel", item != kEmpty);
    for (;;) {
        const DWORD tail = static_cast<DWORD>(InterlockedCompareExchange(&m_lTail, 0, 0));
        volatile LONG64* slot = &m_pRing[tail & m_dwMask];
        const LONG64 entry = AtomicRead(slot);
        const DWORD position = PositionOf(entry);
        if (position == tail && ItemOf(entry) == kEmpty) {
            // Taking the position and storing the item are one step.
            if (InterlockedCompareExchange64(slot, MakeEntry(tail, item), entry) == entry) {
                InterlockedCompareExchange(&m_lTail, static_cast<LONG>(tail + 1), static_cast<LONG>(tail));
                return true;
            }
        } else if (position == tail) {
            // Another producer stored here and has not moved the tail yet: move it for it.
            InterlockedCompareExchange(&m_lTail, static_cast<LONG>(tail + 1), static_cast<LONG>(tail));
        } else if (static_cast<LONG>(position - tail) < 0) {
            // Still the previous lap's unconsumed item: the ring is full.
            NIMBREL_REPORT("nimbrel", "the notification deque is full");
            return false;
        }
        // Otherwise the tail read was stale; read it again.
    }
}

bool CIndexDeque::Pop(DWORD& item)
{
    if (!(m_dwFlags & 1)) return false;
    volatile LONG64* slot = &m_pRing[m_dwReadPos & m_dwMask];
    const LONG64 entry = AtomicRead(slot);
    if (PositionOf(entry) != m_dwReadPos || ItemOf(entry) == kEmpty) return false;
    item = ItemOf(entry);
    InterlockedExchange64(slot, MakeEntry(m_dwReadPos + m_dwMask + 1, kEmpty));
    ++m_dwReadPos;
    return true;
}
