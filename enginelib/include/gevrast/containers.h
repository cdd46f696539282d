// Fixed-capacity containers: the ordered multimap (BSAE), the item table (IT) and the item queue.
// Each is sized once; inserting, deleting, pushing and reading never allocate.
#pragma once

#include "gevrast/api.h"
#include "gevrast/pool.h"

struct BSAE_NODE;

// One inserted item; its address is the handle of the insertion. Items of one key form a list,
// newest first.
typedef struct ITEM_CONTAINER {
    struct BSAE_NODE* pOwner;     // the node of the item's key
    struct ITEM_CONTAINER* pPrev; // next newer item of the key, null for the newest
    struct ITEM_CONTAINER* pNext; // next older item of the key, null for the oldest
    void* pItem;                  // the caller value
    uint32_t dwKey;
} ITEM_CONTAINER;

// One distinct key present in the multimap.
typedef struct BSAE_NODE {
    uint32_t dwKey;
    struct BSAE_NODE* pParent; // null for the root
    struct BSAE_NODE* pLeft;   // smaller keys
    struct BSAE_NODE* pRight;  // larger keys
    uint32_t dwItemNum;        // at least 1 while the node is in the tree
    ITEM_CONTAINER* pHead;     // newest item of this key
} BSAE_NODE;

// Ordered multimap from unsigned keys to caller values: an unbalanced binary search tree whose
// nodes and containers come from two record pools sized at initialisation.
typedef struct BSAE {
    BSAE_NODE* pRoot;
    BSAE_NODE* pNodePool;                // dwCapacity nodes
    ITEM_CONTAINER* pContainerPool;      // dwCapacity containers
    BSAE_NODE** ppFreeNodes;             // stack of free nodes
    ITEM_CONTAINER** ppFreeContainers;   // stack of free containers
    uint32_t dwFreeNodeNum;
    uint32_t dwFreeContainerNum;
    uint32_t dwItemNum;                  // containers in use
    uint32_t dwCapacity;
    uint32_t dwContainerStride;          // bytes from one container of the pool to the next
} BSAE;

// One slot of the item table.
typedef struct ITEM_SLOT {
    void* pItem;          // 0 while the slot is free
    uint32_t dwPosition;  // where the slot is named in the order array
} ITEM_SLOT;

// Item table: stable slot numbers for caller values plus a dense order for walking them all.
typedef struct ITEM_TABLE {
    uint32_t dwCapacity;
    uint32_t* pOrder;          // entries 0 .. dwCount-1 name the slots in use
    uint32_t dwCount;
    ITEM_SLOT* pSlots;         // dwCapacity slots
    INDEX_CREATOR* pIndexCreator;  // hands out slot number + 1
} ITEM_TABLE;

typedef struct ITEM_TYPE_DESC {
    uint32_t dwTypeIndex;   // its own position in the type table
    uint32_t dwItemNum;     // pushed since the last clear
    uint32_t dwMaxItemNum;
    uint32_t dwItemSize;    // bytes per record, not counting the type index before it
    uint32_t dwTypeValue;   // caller value handed back with every record of the type
    uint8_t** ppItems;      // dwMaxItemNum record data addresses, in push order
} ITEM_TYPE_DESC;

// Item queue: an append-only log of typed fixed-size records in one buffer, read back per type
// by number or all together in push order.
typedef struct ITEM_QUEUE {
    uint32_t dwTypeNum;
    ITEM_TYPE_DESC* pTypes;
    uint8_t* pBuffer;       // records back to back: 32-bit type index, then the item bytes
    uint32_t dwBufferSize;
    uint32_t dwWriteOffset;
    uint32_t dwReadOffset;
    uint32_t dwItemNum;     // pushed since the last clear
    uint32_t dwReadNum;     // returned by GetItemSeq since the last reset
} ITEM_QUEUE;

#ifdef __cplusplus
GEVRAST_LAYOUT32_ASSERT(sizeof(ITEM_CONTAINER) == 20, "ITEM_CONTAINER is five 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(BSAE_NODE) == 24, "BSAE_NODE is six 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(BSAE) == 40, "BSAE is ten 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(ITEM_SLOT) == 8, "ITEM_SLOT is two 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(ITEM_TABLE) == 20, "ITEM_TABLE is five 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(ITEM_TYPE_DESC) == 24, "ITEM_TYPE_DESC is six 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(ITEM_QUEUE) == 32, "ITEM_QUEUE is eight 32-bit fields");
#endif

// Ordered multimap.
GEVRAST_API(BSAE*) BSAECreate(void);
// 1; 0 when the pools cannot be allocated (every insertion then fails).
GEVRAST_API(uint32_t) BSAEInitialize(BSAE* pMap, uint32_t dwCapacity);
// The new item's container, or null when no node or container is left.
GEVRAST_API(ITEM_CONTAINER*) BSAEInsertItem(BSAE* pMap, uint32_t dwKey, void* pItem);
GEVRAST_API(uint32_t) BSAEDeleteItem(BSAE* pMap, ITEM_CONTAINER* pContainer);
// The newest item of the key, or of the smallest larger key; 0 when there is none.
GEVRAST_API(void*) BSAESearchItem(BSAE* pMap, uint32_t dwKey);
GEVRAST_API(ITEM_CONTAINER*) BSAESearchItemContainer(BSAE* pMap, uint32_t dwKey);
GEVRAST_API(uint32_t) BSAEGetItemNum(BSAE* pMap);
GEVRAST_API(void) BSAERelease(BSAE* pMap);

// Item table.
GEVRAST_API(ITEM_TABLE*) ITCreate(void);
// 1. A capacity of 0 leaves the table empty; 0 when storage for the capacity cannot be had.
GEVRAST_API(uint32_t) ITInitialize(ITEM_TABLE* pTable, uint32_t dwCapacity);
// The slot number (0-based), or 0xFFFFFFFF when the table is full.
GEVRAST_API(uint32_t) ITAddItem(ITEM_TABLE* pTable, void* pItem);
// 1, or 0 (reported to the debugger) for a slot number that is not in use. The last item in the
// sequential order takes the deleted item's place there.
GEVRAST_API(uint32_t) ITDeleteItem(ITEM_TABLE* pTable, uint32_t dwItemIndex);
GEVRAST_API(void*) ITGetItem(ITEM_TABLE* pTable, uint32_t dwItemIndex);
GEVRAST_API(uint32_t) ITGetItemNum(ITEM_TABLE* pTable);
GEVRAST_API(void*) ITGetItemSequential(ITEM_TABLE* pTable, uint32_t dwPosition);
GEVRAST_API(void) ITRelease(ITEM_TABLE* pTable);

// Item queue. Declare the types between BeginInitialize and EndInitialize, then push and read in
// cycles ended by Clear.
GEVRAST_API(ITEM_QUEUE*) CreateItemQueue(void);
GEVRAST_API(uint32_t) BeginInitialize(ITEM_QUEUE* pQueue, uint32_t dwTypeNum);
// 1, or 0 for a type index not declared by BeginInitialize, a table that cannot be allocated, or
// once EndInitialize has made the buffer (types change only before it; BeginInitialize starts over).
GEVRAST_API(uint32_t) SetType(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex, uint32_t dwItemSize, uint32_t dwTypeValue,
                              uint32_t dwMaxItemNum);
// The record buffer, or null when it cannot be allocated.
GEVRAST_API(uint8_t*) EndInitialize(ITEM_QUEUE* pQueue);
// 1, or 0 when the type already holds its maximum or there is no buffer (before EndInitialize or
// after one that failed).
GEVRAST_API(uint32_t) PushItem(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex, const void* pItem);
// The data of the n-th record of a type; the type's value is written through pTypeValue.
GEVRAST_API(uint8_t*) GetItem(ITEM_QUEUE* pQueue, uint32_t* pTypeValue, uint32_t dwTypeIndex, uint32_t dwNum);
GEVRAST_API(uint32_t) GetItemNum(ITEM_QUEUE* pQueue);
GEVRAST_API(uint32_t) GetItemNumWithType(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex);
// The next record's data in push order, or null when all have been read.
GEVRAST_API(uint8_t*) GetItemSeq(ITEM_QUEUE* pQueue, uint32_t* pTypeIndex, uint32_t* pTypeValue);
GEVRAST_API(void) ResetReadPosition(ITEM_QUEUE* pQueue);
GEVRAST_API(void) Clear(ITEM_QUEUE* pQueue);
GEVRAST_API(void) ReleaseItemQueue(ITEM_QUEUE* pQueue);
