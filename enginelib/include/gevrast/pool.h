// Fixed-size pools: the static memory pool (LAL), the resource pool (RCP) and the index creator
// (IC). None of them touches the general allocator after initialisation.
#pragma once

#include "gevrast/api.h"
#include "gevrast/sort.h"

// Caller callbacks of the resource pool are caller-cleans functions.
#if defined(_WIN32)
#define GEVRAST_CALLBACK __cdecl
#elif GEVRAST_X86_32
#define GEVRAST_CALLBACK __attribute__((cdecl))
#else
#define GEVRAST_CALLBACK
#endif

// One per slot of a static memory pool; node k belongs to slot k.
typedef struct POOL_NODE {
    uint8_t* pSlot;          // the slot: a 4-byte header holding this node's address, then the unit
    struct POOL_NODE* pNext; // next free node
} POOL_NODE;

// A static memory pool: address space for dwMaxNum units is reserved at initialisation and
// committed dwGrowthStep units at a time, so units never move.
typedef struct STATIC_MEMORY_POOL {
    POOL_NODE* pFreeList;    // first free committed node, null when none
    uint32_t dwCommittedNum; // units whose memory is committed
    uint32_t dwGrowthStep;   // at least 1 once initialised
    uint32_t dwUnitSize;
    uint32_t dwMaxNum;
    uint32_t dwAllocatedNum; // handed out and not freed
    uint8_t* pDataRegion;    // dwMaxNum slots of (dwUnitSize + 4) bytes
    POOL_NODE* pNodeRegion;  // dwMaxNum nodes
    uint32_t bBlockCheck;    // non-zero: every free first looks for a double free
} STATIC_MEMORY_POOL;

// Creates a caller resource from the four values given to RCPAlloc.
typedef uint32_t(GEVRAST_CALLBACK* RCP_CREATE_PROC)(uint32_t, uint32_t, uint32_t, uint32_t);
// Destroys a resource made by the create callback; its result is ignored.
typedef uint32_t(GEVRAST_CALLBACK* RCP_DESTROY_PROC)(uint32_t);

// One live resource; a unit of the resource pool's record pool.
typedef struct RESOURCE_RECORD {
    uint32_t* pOwnerSlot; // the owner's handle variable, cleared when the resource is destroyed
    SORT_LINK link;       // pItem is the record itself
    uint32_t dwResource;  // what the create callback returned
} RESOURCE_RECORD;

// A bounded set of caller resources; pHead is the most recently allocated record's link.
typedef struct RESOURCE_POOL {
    SORT_LINK* pHead;
    SORT_LINK* pTail;
    STATIC_MEMORY_POOL* pRecordPool; // RESOURCE_RECORD units
    RCP_CREATE_PROC pfnCreate;
    RCP_DESTROY_PROC pfnDestroy;
} RESOURCE_POOL;

typedef struct INDEX_NODE {
    uint32_t dwIndex; // 1 to capacity
    struct INDEX_NODE* pNext;
} INDEX_NODE;

// Hands out the indices 1 to dwCapacity; freed indices come back after all never-used ones.
typedef struct INDEX_CREATOR {
    INDEX_NODE* pNodes;        // dwCapacity nodes
    INDEX_NODE* pFreeHead;
    INDEX_NODE** ppIndexTable; // dwCapacity + 1 entries: the node of each index handed out; entry 0 unused
    uint32_t dwInUseNum;
    uint32_t dwCapacity;
    INDEX_NODE* pFreeTail;
} INDEX_CREATOR;

#ifdef __cplusplus
GEVRAST_LAYOUT32_ASSERT(sizeof(POOL_NODE) == 8, "POOL_NODE is two 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(STATIC_MEMORY_POOL) == 36, "STATIC_MEMORY_POOL is nine 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(RESOURCE_RECORD) == 20, "RESOURCE_RECORD is five 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(RESOURCE_POOL) == 20, "RESOURCE_POOL is five 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(INDEX_NODE) == 8, "INDEX_NODE is two 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(INDEX_CREATOR) == 24, "INDEX_CREATOR is six 32-bit fields");
#endif

// Static memory pool.
GEVRAST_API(STATIC_MEMORY_POOL*) CreateStaticMemoryPool(void);
// 1, or 0 when the address space could not be reserved or the first step committed.
GEVRAST_API(uint32_t) InitializeStaticMemoryPool(STATIC_MEMORY_POOL* pPool, uint32_t dwUnitSize,
                                                 uint32_t dwGrowthStep, uint32_t dwMaxNum);
// A unit of dwUnitSize bytes, or null at the maximum. Fresh units are zero; reused ones are not.
GEVRAST_API(void*) LALAlloc(STATIC_MEMORY_POOL* pPool);
GEVRAST_API(void) LALFree(STATIC_MEMORY_POOL* pPool, void* pUnit);
// As LALFree, but a unit that is already free is reported to the debugger and left alone.
GEVRAST_API(void) LALFreeWithCheck(STATIC_MEMORY_POOL* pPool, void* pUnit);
GEVRAST_API(STATIC_MEMORY_POOL*) LALEnableBlockCheck(STATIC_MEMORY_POOL* pPool, uint32_t bEnable);
GEVRAST_API(uint32_t) LALGetAllocatedNum(STATIC_MEMORY_POOL* pPool);
GEVRAST_API(void) ReleaseStaticMemoryPool(STATIC_MEMORY_POOL* pPool);

// Resource pool.
GEVRAST_API(RESOURCE_POOL*) CreateResourcePool(void);
GEVRAST_API(uint32_t) RCPInitialize(RESOURCE_POOL* pPool, uint32_t dwMaxNum, RCP_CREATE_PROC pfnCreate,
                                    RCP_DESTROY_PROC pfnDestroy);
// When the pool is full, the most recently allocated live resource is destroyed to make room.
GEVRAST_API(RESOURCE_RECORD*) RCPAlloc(RESOURCE_POOL* pPool, uint32_t* pOwnerSlot, RESOURCE_RECORD** ppRecord,
                                       uint32_t dwArg1, uint32_t dwArg2, uint32_t dwArg3, uint32_t dwArg4);
GEVRAST_API(void) RCPFree(RESOURCE_POOL* pPool, RESOURCE_RECORD* pRecord);
GEVRAST_API(void) RCPFreeAll(RESOURCE_POOL* pPool);
GEVRAST_API(void) RCPRelease(RESOURCE_POOL* pPool);

// Index creator.
GEVRAST_API(INDEX_CREATOR*) ICCreate(void);
// 1; 0 for a capacity of 0 or one whose tables cannot be allocated (every allocation then fails).
GEVRAST_API(uint32_t) ICInitialize(INDEX_CREATOR* pCreator, uint32_t dwCapacity);
GEVRAST_API(uint32_t) ICAllocIndex(INDEX_CREATOR* pCreator);
GEVRAST_API(void) ICFreeIndex(INDEX_CREATOR* pCreator, uint32_t dwIndex);
GEVRAST_API(uint32_t) ICGetIndexNum(INDEX_CREATOR* pCreator);
GEVRAST_API(void) ICRelease(INDEX_CREATOR* pCreator);
