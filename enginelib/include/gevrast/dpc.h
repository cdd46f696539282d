// Deferred call queue: calls (function, 32-bit arguments, optional result address) are recorded
// into one preallocated byte buffer and run later, in push order or sorted by an integer key.
#pragma once

#include "gevrast/api.h"
#include "gevrast/sort.h"

// The queue object. Fields in this order, all 32 bits.
typedef struct DPC_QUEUE {
    SORT_ENTRY* pSortTable;   // dwMaxEntryCount entries: (sort key, record address)
    uint32_t dwMaxEntryCount; // buffer size / 32
    uint32_t dwBufferSize;
    uint8_t* pBuffer;         // DPC_RECORDs back to back in push order
    uint32_t dwUsedBytes;
    uint32_t dwEntryCount;
} DPC_QUEUE;

// One queued call as stored in the buffer, followed by wArgCount 32-bit arguments.
typedef struct DPC_RECORD {
    uint16_t wSize;      // 12 + 4 * wArgCount
    uint16_t wArgCount;
    uint32_t dwFunction; // address of a stdcall function taking wArgCount 32-bit arguments
    uint32_t dwResult;   // address that receives the 32-bit result, or 0
} DPC_RECORD;

#ifdef __cplusplus
GEVRAST_LAYOUT32_ASSERT(sizeof(DPC_QUEUE) == 24, "DPC_QUEUE is six 32-bit fields");
static_assert(sizeof(DPC_RECORD) == 12, "a DPC_RECORD header is 12 bytes");
#endif

GEVRAST_API(DPC_QUEUE*) DPCQCreate(void);
GEVRAST_API(uint32_t) DPCQInitialize(DPC_QUEUE* pQueue, uint32_t dwBufferSize);
GEVRAST_API(uint32_t) DPCQPushDPC(DPC_QUEUE* pQueue, const void* pFunction, uint32_t dwArgCount,
                                  const uint32_t* pArgs, uint32_t* pResult, int32_t iSortKey);
GEVRAST_API(void) DPCQProcess(DPC_QUEUE* pQueue);
GEVRAST_API(void) DPCQProcessWithAscSort(DPC_QUEUE* pQueue);
GEVRAST_API(void) DPCQClear(DPC_QUEUE* pQueue);
GEVRAST_API(void) DPCQRelease(DPC_QUEUE* pQueue);
