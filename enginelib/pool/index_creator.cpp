// Index creator: indices 1 to capacity on a free list that hands out never-used indices first
// and then freed ones in the order they came back.
#include <stdlib.h>
#include <string.h>

#include "gevrast/pool.h"

namespace {

void free_tables(INDEX_CREATOR* ic)
{
    free(ic->pNodes);
    free(ic->ppIndexTable);
    memset(ic, 0, sizeof(*ic));
}

}  // namespace

GEVRAST_API(INDEX_CREATOR*) ICCreate(void)
{
    return static_cast<INDEX_CREATOR*>(calloc(1, sizeof(INDEX_CREATOR)));
}

GEVRAST_API(uint32_t) ICInitialize(INDEX_CREATOR* pCreator, uint32_t dwCapacity)
{
    // Initialising again starts over with the new capacity.
    free_tables(pCreator);

    // No index can be handed out from a capacity of 0; refusing leaves an empty creator whose
    // allocations fail. Tables that do not fit in 32-bit byte counts are refused the same way.
    if (dwCapacity == 0 || dwCapacity > UINT32_MAX / sizeof(INDEX_NODE)) return 0;
    INDEX_NODE* nodes = static_cast<INDEX_NODE*>(calloc(dwCapacity, sizeof(INDEX_NODE)));
    INDEX_NODE** table = static_cast<INDEX_NODE**>(calloc(dwCapacity + 1, sizeof(INDEX_NODE*)));
    if (!nodes || !table) {
        free(nodes);
        free(table);
        return 0;
    }
    for (uint32_t k = 0; k < dwCapacity; ++k) {
        nodes[k].dwIndex = k + 1;
        nodes[k].pNext = k + 1 < dwCapacity ? &nodes[k + 1] : nullptr;
    }
    pCreator->pNodes = nodes;
    pCreator->ppIndexTable = table;
    pCreator->pFreeHead = &nodes[0];
    pCreator->pFreeTail = &nodes[dwCapacity - 1];
    pCreator->dwCapacity = dwCapacity;
    return 1;
}

GEVRAST_API(uint32_t) ICAllocIndex(INDEX_CREATOR* pCreator)
{
    INDEX_NODE* node = pCreator->pFreeHead;
    if (!node) return 0;
    pCreator->pFreeHead = node->pNext;
    if (!pCreator->pFreeHead) pCreator->pFreeTail = nullptr;
    node->pNext = nullptr;
    pCreator->ppIndexTable[node->dwIndex] = node;
    pCreator->dwInUseNum++;
    return node->dwIndex;
}

GEVRAST_API(void) ICFreeIndex(INDEX_CREATOR* pCreator, uint32_t dwIndex)
{
    // Out of range, or not handed out (which includes a second free): nothing to take back.
    if (dwIndex == 0 || dwIndex > pCreator->dwCapacity) return;
    INDEX_NODE* node = pCreator->ppIndexTable[dwIndex];
    if (!node) return;
    pCreator->ppIndexTable[dwIndex] = nullptr;
    node->pNext = nullptr;
    if (pCreator->pFreeTail) pCreator->pFreeTail->pNext = node;
    else pCreator->pFreeHead = node;
    pCreator->pFreeTail = node;
    pCreator->dwInUseNum--;
}

GEVRAST_API(uint32_t) ICGetIndexNum(INDEX_CREATOR* pCreator)
{
    return pCreator->dwInUseNum;
}

GEVRAST_API(void) ICRelease(INDEX_CREATOR* pCreator)
{
    if (!pCreator) return;
    free_tables(pCreator);
    free(pCreator);
}
