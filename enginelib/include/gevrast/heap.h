// Best-fit heap over a caller-owned address range (VHP). The heap only keeps the books: it never
// reads or writes the memory behind the addresses it hands out, so any linear resource can be
// sub-allocated with it. The range is cut into equal chunks (the alignment span); blocks split
// and merge only within their chunk.
#pragma once

#include "gevrast/api.h"
#include "gevrast/containers.h"
#include "gevrast/pool.h"

// Block and link states.
#define VHP_BLOCK_ALLOCATED 1u
#define VHP_BLOCK_FREE 2u
#define VHP_LINK_SENTINEL 4u
#define VHP_BLOCK_MERGED 8u

// Allocation error codes written through the error-code address.
#define VHP_ERROR_NONE 0u
#define VHP_ERROR_SPAN 1u       // the span check is on and the request exceeds the alignment span
#define VHP_ERROR_NO_BLOCK 2u   // no free block is large enough (also: a request of 0 bytes)
#define VHP_ERROR_NO_RECORD 4u  // the block had to be split and no record was left for the remainder

struct HEAP_LINK;

// One per block, free or allocated; a unit of the descriptor pool.
typedef struct HEAP_BLOCK_DESC {
    uint32_t dwSize;
    uint32_t dwAddress;
    ITEM_CONTAINER* pIndexHandle;  // where the free block sits in the free-block index; null while allocated
    uint32_t dwState;              // VHP_BLOCK_ALLOCATED, VHP_BLOCK_FREE or VHP_BLOCK_MERGED (low byte)
    struct HEAP_LINK* pLink;
} HEAP_BLOCK_DESC;

// The chunk's address-ordered list: one link per block plus a head and a tail sentinel.
typedef struct HEAP_LINK {
    uint32_t dwAddress;
    HEAP_BLOCK_DESC* pDesc;  // null for sentinels
    uint32_t dwSize;
    uint32_t dwState;        // VHP_BLOCK_ALLOCATED, VHP_BLOCK_FREE or VHP_LINK_SENTINEL (low byte)
    struct HEAP_LINK* pPrev; // null for the head sentinel
    struct HEAP_LINK* pNext; // null for the tail sentinel
} HEAP_LINK;

typedef struct HEAP_CHUNK {
    HEAP_LINK* pHead;
    HEAP_LINK* pTail;
    struct HEAP_CHUNK* pNext;  // next older chunk (lower address)
} HEAP_CHUNK;

struct HEAP_ADDRESS_INDEX;

typedef struct CHeap {
    HEAP_CHUNK* pChunkList;  // newest chunk first, i.e. from the highest address down
    uint32_t dwChunkNum;
    BSAE freeIndex;          // key = block size, item = HEAP_BLOCK_DESC*; holds exactly the free blocks
    uint32_t dwUnitSize;     // at least 1 once initialised
    uint32_t dwAlignBytes;   // the chunk size
    STATIC_MEMORY_POOL* pDescPool;  // HEAP_BLOCK_DESC units
    STATIC_MEMORY_POOL* pLinkPool;  // HEAP_LINK units
    uint32_t dwBaseAddress;         // address of the first chunk
    uint32_t dwMassMemorySize;
    uint32_t dwMaxBlockNum;
    uint32_t dwUserValue;           // stored by VHPInitialize, not used
    // Finds a block's link by its address without walking the chunk lists.
    struct HEAP_ADDRESS_INDEX* pAddressIndex;
} CHeap;

#ifdef __cplusplus
GEVRAST_LAYOUT32_ASSERT(sizeof(HEAP_BLOCK_DESC) == 20, "HEAP_BLOCK_DESC is five 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(HEAP_LINK) == 24, "HEAP_LINK is six 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(HEAP_CHUNK) == 12, "HEAP_CHUNK is three 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(CHeap) == 2 * 4 + sizeof(BSAE) + 9 * 4, "CHeap: two fields, the index in place, nine fields");
#endif

GEVRAST_API(CHeap*) VHPCreateHeap(void);
// 1. A mass below the span shows the one message box and leaves the heap without chunks.
// dwMaxBlockNum is raised when it could not cover one record per chunk.
GEVRAST_API(uint32_t) VHPInitialize(CHeap* pHeap, uint32_t dwBaseAddress, uint32_t dwMassMemorySize,
                                    uint32_t dwMaxBlockNum, uint32_t dwUnitSize, uint32_t dwUnitsPerAlign,
                                    uint32_t dwUserValue);
// The block address, or 0 with the reason in *pdwErrorCode (pdwErrorCode may be null).
GEVRAST_API(uint32_t) VHPAlloc(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwSize, uint32_t bSpanCheck);
// As VHPAlloc for dwUnitNum units; the byte size is written through pdwBytes (required).
GEVRAST_API(uint32_t) VHPAllocUnit(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwUnitNum, uint32_t* pdwBytes,
                                   uint32_t bSpanCheck);
// The freed block's size before merging; 0 for an address that does not start an allocated block.
GEVRAST_API(uint32_t) VHPFree(CHeap* pHeap, uint32_t dwAddress);
GEVRAST_API(uint32_t) VHPDBGAlloc(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwSize, uint32_t bSpanCheck);
GEVRAST_API(uint32_t) VHPDBGAllocUnit(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwUnitNum, uint32_t* pdwBytes,
                                      uint32_t bSpanCheck);
GEVRAST_API(uint32_t) VHPDBGFree(CHeap* pHeap, uint32_t dwAddress);
GEVRAST_API(void) VHPHeapCheck(CHeap* pHeap);
// Lists every block of every chunk that is not wholly free, between "Begin LeakCheck" and
// "End LeakCheck", to the debugger.
GEVRAST_API(void) VHPLeakCheck(CHeap* pHeap);
GEVRAST_API(void) VHPReleaseHeap(CHeap* pHeap);
