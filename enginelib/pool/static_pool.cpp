// Static memory pool: one reservation for the data slots and one for their nodes, committed a
// growth step at a time. Allocation and free are a few pointer moves; the operating system is
// asked for memory only when a step is committed, and nothing is given back before release.
#include <stdlib.h>
#include <string.h>

#include "debug/debug_output.h"
#include "gevrast/pool.h"
#include "pool/address_space.h"

namespace {

constexpr uint32_t kSlotHeaderBytes = sizeof(POOL_NODE*);

uint32_t slot_bytes(const STATIC_MEMORY_POOL* pool)
{
    return pool->dwUnitSize + kSlotHeaderBytes;
}

// Commits slots and nodes [first, first + count) and links them into a free chain of their own.
bool commit_units(STATIC_MEMORY_POOL* pool, uint32_t first, uint32_t count)
{
    const uint32_t slot = slot_bytes(pool);
    if (!gevrast::commit_address_space(pool->pDataRegion, first * slot, count * slot) ||
        !gevrast::commit_address_space(pool->pNodeRegion, first * sizeof(POOL_NODE), count * sizeof(POOL_NODE)))
        return false;
    for (uint32_t k = first; k < first + count; ++k) {
        POOL_NODE* node = pool->pNodeRegion + k;
        uint8_t* at = pool->pDataRegion + k * slot;
        node->pSlot = at;
        node->pNext = k + 1 < first + count ? node + 1 : nullptr;
        memcpy(at, &node, sizeof(node));
    }
    pool->dwCommittedNum += count;
    pool->pFreeList = pool->pNodeRegion + first;
    return true;
}

void release_regions(STATIC_MEMORY_POOL* pool)
{
    gevrast::release_address_space(pool->pDataRegion, pool->dwMaxNum * slot_bytes(pool));
    gevrast::release_address_space(pool->pNodeRegion, pool->dwMaxNum * sizeof(POOL_NODE));
    pool->pDataRegion = nullptr;
    pool->pNodeRegion = nullptr;
}

// A slot whose node is on the free list is already free: finding one means a double free.
bool report_if_free(const STATIC_MEMORY_POOL* pool, const uint8_t* unit)
{
    const uint8_t* slot = unit - kSlotHeaderBytes;
    for (const POOL_NODE* node = pool->pFreeList; node; node = node->pNext) {
        if (node->pSlot == slot) {
            gevrast::debug_outputf(128, "Fail to LALFree,%08X is invalid block",
                                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(slot)));
            return true;
        }
    }
    return false;
}

void push_free(STATIC_MEMORY_POOL* pool, uint8_t* unit)
{
    POOL_NODE* node;
    memcpy(&node, unit - kSlotHeaderBytes, sizeof(node));
    node->pNext = pool->pFreeList;
    pool->pFreeList = node;
    pool->dwAllocatedNum--;
}

}  // namespace

GEVRAST_API(STATIC_MEMORY_POOL*) CreateStaticMemoryPool(void)
{
    return static_cast<STATIC_MEMORY_POOL*>(calloc(1, sizeof(STATIC_MEMORY_POOL)));
}

GEVRAST_API(uint32_t) InitializeStaticMemoryPool(STATIC_MEMORY_POOL* pPool, uint32_t dwUnitSize,
                                                 uint32_t dwGrowthStep, uint32_t dwMaxNum)
{
    // Initialising again starts over: the earlier reservation would otherwise be lost.
    release_regions(pPool);
    const uint32_t check = pPool->bBlockCheck;
    memset(pPool, 0, sizeof(*pPool));
    pPool->bBlockCheck = check;

    pPool->dwGrowthStep = dwGrowthStep ? dwGrowthStep : 1;
    pPool->dwUnitSize = dwUnitSize;
    pPool->dwMaxNum = dwMaxNum;

    // A reservation larger than the 32-bit address space cannot be had.
    const uint64_t data_bytes = static_cast<uint64_t>(dwMaxNum) * (static_cast<uint64_t>(dwUnitSize) + kSlotHeaderBytes);
    const uint64_t node_bytes = static_cast<uint64_t>(dwMaxNum) * sizeof(POOL_NODE);
    if (data_bytes > UINT32_MAX || node_bytes > UINT32_MAX || dwUnitSize > UINT32_MAX - kSlotHeaderBytes) {
        pPool->dwMaxNum = 0;
        return 0;
    }
    pPool->pDataRegion = static_cast<uint8_t*>(gevrast::reserve_address_space(static_cast<uint32_t>(data_bytes)));
    pPool->pNodeRegion = static_cast<POOL_NODE*>(gevrast::reserve_address_space(static_cast<uint32_t>(node_bytes)));
    if (!pPool->pDataRegion || !pPool->pNodeRegion) {
        release_regions(pPool);
        pPool->dwMaxNum = 0;  // nothing reserved: every allocation is refused
        return 0;
    }

    // A step of 0 means the pool grows one unit at a time and commits nothing up front.
    if (dwGrowthStep == 0) return 1;
    const uint32_t first = dwGrowthStep < dwMaxNum ? dwGrowthStep : dwMaxNum;
    return commit_units(pPool, 0, first) ? 1 : 0;
}

GEVRAST_API(void*) LALAlloc(STATIC_MEMORY_POOL* pPool)
{
    while (!pPool->pFreeList) {
        // Only whole steps are committed: a last partial step below the maximum is never used.
        // A pool never initialised has a step of 0 and nothing to grow into.
        if (pPool->dwGrowthStep == 0 || pPool->dwGrowthStep > pPool->dwMaxNum - pPool->dwCommittedNum)
            return nullptr;
        if (!commit_units(pPool, pPool->dwCommittedNum, pPool->dwGrowthStep)) return nullptr;
    }
    POOL_NODE* node = pPool->pFreeList;
    pPool->pFreeList = node->pNext;
    pPool->dwAllocatedNum++;
    return node->pSlot + kSlotHeaderBytes;
}

GEVRAST_API(void) LALFree(STATIC_MEMORY_POOL* pPool, void* pUnit)
{
    if (pPool->bBlockCheck && pUnit && report_if_free(pPool, static_cast<uint8_t*>(pUnit))) return;
    if (pUnit) push_free(pPool, static_cast<uint8_t*>(pUnit));
}

GEVRAST_API(void) LALFreeWithCheck(STATIC_MEMORY_POOL* pPool, void* pUnit)
{
    if (pUnit && report_if_free(pPool, static_cast<uint8_t*>(pUnit))) return;
    if (pUnit) push_free(pPool, static_cast<uint8_t*>(pUnit));
}

GEVRAST_API(STATIC_MEMORY_POOL*) LALEnableBlockCheck(STATIC_MEMORY_POOL* pPool, uint32_t bEnable)
{
    pPool->bBlockCheck = bEnable;
    return pPool;
}

GEVRAST_API(uint32_t) LALGetAllocatedNum(STATIC_MEMORY_POOL* pPool)
{
    return pPool->dwAllocatedNum;
}

GEVRAST_API(void) ReleaseStaticMemoryPool(STATIC_MEMORY_POOL* pPool)
{
    release_regions(pPool);
    free(pPool);
}
