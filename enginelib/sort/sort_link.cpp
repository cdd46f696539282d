// Intrusive doubly linked list over caller-owned SORT_LINK nodes; head and tail live with the caller.
#include "gevrast/sort.h"

GEVRAST_API(void) LinkToSortLink(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink)
{
    pLink->pPrev = nullptr;
    if (!*ppHead) {
        pLink->pNext = nullptr;
        *ppHead = *ppTail = pLink;
        return;
    }
    pLink->pNext = *ppHead;
    (*ppHead)->pPrev = pLink;
    *ppHead = pLink;
}

GEVRAST_API(void) LinkToSortLinkFIFO(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink)
{
    pLink->pNext = nullptr;
    if (!*ppHead) {
        pLink->pPrev = nullptr;
        *ppHead = *ppTail = pLink;
        return;
    }
    pLink->pPrev = *ppTail;
    (*ppTail)->pNext = pLink;
    *ppTail = pLink;
}

GEVRAST_API(void) UnLinkFromSortLink(SORT_LINK** ppHead, SORT_LINK** ppTail, SORT_LINK* pLink)
{
    if (pLink->pPrev) pLink->pPrev->pNext = pLink->pNext;
    else *ppHead = pLink->pNext;
    if (pLink->pNext) pLink->pNext->pPrev = pLink->pPrev;
    else *ppTail = pLink->pPrev;
    pLink->pPrev = nullptr;
    pLink->pNext = nullptr;
}
