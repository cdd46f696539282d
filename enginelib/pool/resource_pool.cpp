// Resource pool: records of live caller resources in a static memory pool, listed newest first.
// When the record pool is full, room is made by destroying the newest resource and clearing its
// owner's handle, so the owner knows to ask again.
#include <stdlib.h>
#include <string.h>

#include "gevrast/pool.h"

namespace {

RESOURCE_RECORD* record_of(SORT_LINK* link)
{
    return static_cast<RESOURCE_RECORD*>(link->pItem);
}

}  // namespace

GEVRAST_API(RESOURCE_POOL*) CreateResourcePool(void)
{
    return static_cast<RESOURCE_POOL*>(calloc(1, sizeof(RESOURCE_POOL)));
}

GEVRAST_API(uint32_t) RCPInitialize(RESOURCE_POOL* pPool, uint32_t dwMaxNum, RCP_CREATE_PROC pfnCreate,
                                    RCP_DESTROY_PROC pfnDestroy)
{
    if (pPool->pRecordPool) {
        // Initialising again: the resources of the earlier set-up are destroyed, not leaked.
        RCPFreeAll(pPool);
        ReleaseStaticMemoryPool(pPool->pRecordPool);
    }
    pPool->pHead = pPool->pTail = nullptr;
    pPool->pfnCreate = pfnCreate;
    pPool->pfnDestroy = pfnDestroy;
    // A record pool that cannot be set up is kept as it is: its allocations fail, and so do ours.
    pPool->pRecordPool = CreateStaticMemoryPool();
    if (pPool->pRecordPool)
        InitializeStaticMemoryPool(pPool->pRecordPool, sizeof(RESOURCE_RECORD), dwMaxNum / 4 + 1, dwMaxNum);
    return 1;
}

GEVRAST_API(RESOURCE_RECORD*) RCPAlloc(RESOURCE_POOL* pPool, uint32_t* pOwnerSlot, RESOURCE_RECORD** ppRecord,
                                       uint32_t dwArg1, uint32_t dwArg2, uint32_t dwArg3, uint32_t dwArg4)
{
    if (!pPool->pRecordPool) return nullptr;
    RESOURCE_RECORD* record;
    while (!(record = static_cast<RESOURCE_RECORD*>(LALAlloc(pPool->pRecordPool)))) {
        if (!pPool->pHead) return nullptr;
        RCPFree(pPool, record_of(pPool->pHead));
    }
    record->dwResource = pPool->pfnCreate(dwArg1, dwArg2, dwArg3, dwArg4);
    record->link.pItem = record;
    LinkToSortLink(&pPool->pHead, &pPool->pTail, &record->link);
    record->pOwnerSlot = pOwnerSlot;
    if (ppRecord) *ppRecord = record;
    return record;
}

GEVRAST_API(void) RCPFree(RESOURCE_POOL* pPool, RESOURCE_RECORD* pRecord)
{
    *pRecord->pOwnerSlot = 0;
    pPool->pfnDestroy(pRecord->dwResource);
    UnLinkFromSortLink(&pPool->pHead, &pPool->pTail, &pRecord->link);
    LALFree(pPool->pRecordPool, pRecord);
}

GEVRAST_API(void) RCPFreeAll(RESOURCE_POOL* pPool)
{
    while (pPool->pHead) RCPFree(pPool, record_of(pPool->pHead));
}

GEVRAST_API(void) RCPRelease(RESOURCE_POOL* pPool)
{
    if (!pPool) return;
    RCPFreeAll(pPool);
    if (pPool->pRecordPool) ReleaseStaticMemoryPool(pPool->pRecordPool);
    memset(pPool, 0, sizeof(*pPool));
    free(pPool);
}
