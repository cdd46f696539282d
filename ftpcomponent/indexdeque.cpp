#include "indexdeque.h"

#include "debugreport.h"

#include <new>

bool CIndexDeque::Initialise(DWORD entries)
{
    DWORD capacity = kMinimumCapacity;
    while (capacity < entries) capacity <<= 1;
    m_pRing = new (std::nothrow) LONG[capacity];
    m_pItems = new (std::nothrow) DWORD[capacity * m_dwItemWords];
    if (!m_pRing || !m_pItems) {
        Destroy();
        return false;
    }
    for (DWORD i = 0; i < capacity; ++i) m_pRing[i] = static_cast<LONG>(kEmpty);
    m_dwMask = capacity - 1;
    m_dwReadPos = 1;
    m_lStorageCounter = 0;
    m_lRingCounter = 0;
    m_dwFlags = 1;
    return true;
}

void CIndexDeque::Destroy()
{
    delete[] m_pRing;
    delete[] m_pItems;
    m_pRing = nullptr;
    m_pItems = nullptr;
    m_dwFlags = 0;
}

void CIndexDeque::Push(DWORD item)
{
    const DWORD itemNumber = static_cast<DWORD>(InterlockedIncrement(&m_lStorageCounter)) & m_dwMask;
    m_pItems[itemNumber * m_dwItemWords] = item;
    const DWORD ringPos = static_cast<DWORD>(InterlockedIncrement(&m_lRingCounter)) & m_dwMask;
    // The capacity covers every session, so this can only fire if a session announced itself twice.
    const LONG previous = InterlockedExchange(&m_pRing[ringPos], static_cast<LONG>(itemNumber));
    NIMBREL_ASSERT("nimbrel", previous == static_cast<LONG>(kEmpty));
}

bool CIndexDeque::Pop(DWORD& item)
{
    const LONG entry = InterlockedCompareExchange(&m_pRing[m_dwReadPos], 0, 0);
    if (entry == static_cast<LONG>(kEmpty)) return false;
    InterlockedExchange(&m_pRing[m_dwReadPos], static_cast<LONG>(kEmpty));
    m_dwReadPos = (m_dwReadPos + 1) & m_dwMask;
    item = m_pItems[static_cast<DWORD>(entry) * m_dwItemWords];
    return true;
}
