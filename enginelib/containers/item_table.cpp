// Item table: the index creator hands out slot numbers (index - 1), and the order array keeps
// the slots in use packed at its front so they can be walked without gaps.
#include <stdlib.h>
#include <string.h>

#include "debug/debug_output.h"
#include "gevrast/containers.h"

namespace {

constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

void free_storage(ITEM_TABLE* table)
{
    free(table->pOrder);
    free(table->pSlots);
    ICRelease(table->pIndexCreator);
    memset(table, 0, sizeof(*table));
}

bool in_use(const ITEM_TABLE* table, uint32_t slot)
{
    return slot < table->dwCapacity && table->pIndexCreator->ppIndexTable[slot + 1] != nullptr;
}

}  // namespace

GEVRAST_API(ITEM_TABLE*) ITCreate(void)
{
    return static_cast<ITEM_TABLE*>(calloc(1, sizeof(ITEM_TABLE)));
}

GEVRAST_API(uint32_t) ITInitialize(ITEM_TABLE* pTable, uint32_t dwCapacity)
{
    // Sizing again starts over: the earlier items are dropped.
    free_storage(pTable);
    if (dwCapacity == 0) return 1;

    uint32_t* order = static_cast<uint32_t*>(calloc(dwCapacity, sizeof(uint32_t)));
    ITEM_SLOT* slots = static_cast<ITEM_SLOT*>(calloc(dwCapacity, sizeof(ITEM_SLOT)));
    INDEX_CREATOR* ic = ICCreate();
    if (!order || !slots || !ic || !ICInitialize(ic, dwCapacity)) {
        free(order);
        free(slots);
        ICRelease(ic);
        return 0;
    }
    pTable->pOrder = order;
    pTable->pSlots = slots;
    pTable->pIndexCreator = ic;
    pTable->dwCapacity = dwCapacity;
    return 1;
}

GEVRAST_API(uint32_t) ITAddItem(ITEM_TABLE* pTable, void* pItem)
{
    if (pTable->dwCount >= pTable->dwCapacity) return kNoSlot;
    const uint32_t slot = ICAllocIndex(pTable->pIndexCreator) - 1;
    if (slot == kNoSlot) return kNoSlot;
    pTable->pSlots[slot].pItem = pItem;
    pTable->pSlots[slot].dwPosition = pTable->dwCount;
    pTable->pOrder[pTable->dwCount++] = slot;
    return slot;
}

GEVRAST_API(uint32_t) ITDeleteItem(ITEM_TABLE* pTable, uint32_t dwItemIndex)
{
    // A slot not in use is refused like one out of range: taking it back would move another
    // item's order entry and count an item that is not there.
    if (!in_use(pTable, dwItemIndex)) {
        gevrast::debug_outputf(128, "Fail to ITDeleteItem,%u is invalid dwItemIndex", dwItemIndex);
        return 0;
    }
    ITEM_SLOT& gone = pTable->pSlots[dwItemIndex];
    const uint32_t last = pTable->dwCount - 1;
    const uint32_t moved = pTable->pOrder[last];
    pTable->pOrder[gone.dwPosition] = moved;
    pTable->pSlots[moved].dwPosition = gone.dwPosition;
    pTable->pOrder[last] = 0;
    gone.pItem = nullptr;
    gone.dwPosition = 0;
    ICFreeIndex(pTable->pIndexCreator, dwItemIndex + 1);
    pTable->dwCount--;
    return 1;
}

GEVRAST_API(void*) ITGetItem(ITEM_TABLE* pTable, uint32_t dwItemIndex)
{
    return dwItemIndex < pTable->dwCapacity ? pTable->pSlots[dwItemIndex].pItem : nullptr;
}

GEVRAST_API(uint32_t) ITGetItemNum(ITEM_TABLE* pTable)
{
    return pTable->dwCount;
}

GEVRAST_API(void*) ITGetItemSequential(ITEM_TABLE* pTable, uint32_t dwPosition)
{
    return dwPosition < pTable->dwCount ? pTable->pSlots[pTable->pOrder[dwPosition]].pItem : nullptr;
}

GEVRAST_API(void) ITRelease(ITEM_TABLE* pTable)
{
    if (!pTable) return;
    free_storage(pTable);
    free(pTable);
}
