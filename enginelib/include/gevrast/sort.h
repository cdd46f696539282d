// Sort links (an intrusive doubly linked list whose head and tail the caller keeps) and the
// four in-place quicksorts of (key, value) pairs.
#pragma once

#include "gevrast/api.h"

// One element of the quicksorts: the key (float or signed integer, by sort) and a value the
// sorts carry along with the key but never read.
typedef struct SORT_ENTRY {
    union {
        float fKey;
        int32_t iKey;
    };
    uint32_t dwValue;
} SORT_ENTRY;

// A caller's list node. pItem belongs to the caller; the list operations never touch it.
typedef struct SORT_LINK {
    struct SORT_LINK* pPrev;
    void* pItem;
    struct SORT_LINK* pNext;
} SORT_LINK;

#ifdef __cplusplus
static_assert(sizeof(SORT_ENTRY) == 8, "SORT_ENTRY is two 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(SORT_LINK) == 12, "SORT_LINK is three 32-bit fields");
#endif

// Insert at the front of the list.
GEVRAST_API(void) LinkToSortLink(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink);
// Append at the back of the list.
GEVRAST_API(void) LinkToSortLinkFIFO(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink);
// Remove a node; its links are cleared.
GEVRAST_API(void) UnLinkFromSortLink(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink);

// Entries with equal keys end up in no particular order.
GEVRAST_API(void) QSortFloatASC(SORT_ENTRY* pEntries, uint32_t dwCount);
GEVRAST_API(void) QSortFloatDSC(SORT_ENTRY* pEntries, uint32_t dwCount);
GEVRAST_API(void) QSortIntASC(SORT_ENTRY* pEntries, uint32_t dwCount);
GEVRAST_API(void) QSortIntDSC(SORT_ENTRY* pEntries, uint32_t dwCount);
