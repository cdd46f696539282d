// Deferred call queue: records are appended to one buffer sized at initialisation, so a push is a
// bounds check and a copy; the sort table beside the buffer lets the records run by key.
#include "gevrast/dpc.h"

#include <stdlib.h>
#include <string.h>

#include "dpc/stdcall_call.h"

namespace {

constexpr uint32_t kBytesPerEntryLimit = 32;
constexpr uint32_t kRecordHeaderBytes = sizeof(DPC_RECORD);
// The record size field is 16 bits wide: more arguments than this cannot be recorded.
constexpr uint32_t kMaxArgCount = (0xFFFFu - kRecordHeaderBytes) / 4;

const uint32_t* record_args(const DPC_RECORD* record)
{
    return reinterpret_cast<const uint32_t*>(record + 1);
}

uint32_t run_record(const DPC_RECORD* record)
{
    return gevrast_call_stdcall(reinterpret_cast<const void*>(static_cast<uintptr_t>(record->dwFunction)),
                                record_args(record), record->wArgCount);
}

void free_storage(DPC_QUEUE* queue)
{
    free(queue->pSortTable);
    free(queue->pBuffer);
    memset(queue, 0, sizeof(*queue));
}

}  // namespace

GEVRAST_API(DPC_QUEUE*) DPCQCreate(void)
{
    return static_cast<DPC_QUEUE*>(calloc(1, sizeof(DPC_QUEUE)));
}

GEVRAST_API(uint32_t) DPCQInitialize(DPC_QUEUE* pQueue, uint32_t dwBufferSize)
{
    // Initialising again resizes: the old storage is released rather than leaked.
    free_storage(pQueue);

    uint32_t max_entries = dwBufferSize / kBytesPerEntryLimit;
    uint8_t* buffer = static_cast<uint8_t*>(calloc(dwBufferSize ? dwBufferSize : 1, 1));
    SORT_ENTRY* table = static_cast<SORT_ENTRY*>(calloc(max_entries ? max_entries : 1, sizeof(SORT_ENTRY)));
    if (!buffer || !table) {
        // An unusable queue stays at size 0, where every push is refused.
        free(buffer);
        free(table);
        return 0;
    }
    pQueue->pBuffer = buffer;
    pQueue->pSortTable = table;
    pQueue->dwBufferSize = dwBufferSize;
    pQueue->dwMaxEntryCount = max_entries;
    return 1;
}

GEVRAST_API(uint32_t) DPCQPushDPC(DPC_QUEUE* pQueue, const void* pFunction, uint32_t dwArgCount,
                                  const uint32_t* pArgs, uint32_t* pResult, int32_t iSortKey)
{
    if (dwArgCount > kMaxArgCount) return 0;
    uint32_t size = kRecordHeaderBytes + 4 * dwArgCount;
    if (pQueue->dwEntryCount >= pQueue->dwMaxEntryCount) return 0;
    if (size > pQueue->dwBufferSize - pQueue->dwUsedBytes) return 0;  // exactly full is fine

    uint8_t* at = pQueue->pBuffer + pQueue->dwUsedBytes;
    DPC_RECORD header;
    header.wSize = static_cast<uint16_t>(size);
    header.wArgCount = static_cast<uint16_t>(dwArgCount);
    header.dwFunction = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pFunction));
    header.dwResult = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pResult));
    memcpy(at, &header, sizeof(header));
    if (dwArgCount) memcpy(at + sizeof(header), pArgs, 4 * dwArgCount);

    SORT_ENTRY& entry = pQueue->pSortTable[pQueue->dwEntryCount];
    entry.iKey = iSortKey;
    entry.dwValue = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at));
    pQueue->dwEntryCount++;
    pQueue->dwUsedBytes += size;
    return 1;
}

GEVRAST_API(void) DPCQProcess(DPC_QUEUE* pQueue)
{
    const uint8_t* at = pQueue->pBuffer;
    for (uint32_t i = 0; i < pQueue->dwEntryCount; ++i) {
        const DPC_RECORD* record = reinterpret_cast<const DPC_RECORD*>(at);
        uint32_t result = run_record(record);
        if (record->dwResult) *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(record->dwResult)) = result;
        at += record->wSize;
    }
}

GEVRAST_API(void) DPCQProcessWithAscSort(DPC_QUEUE* pQueue)
{
    if (pQueue->dwEntryCount == 0) return;
    QSortIntASC(pQueue->pSortTable, pQueue->dwEntryCount);
    for (uint32_t i = 0; i < pQueue->dwEntryCount; ++i) {
        const DPC_RECORD* record =
            reinterpret_cast<const DPC_RECORD*>(static_cast<uintptr_t>(pQueue->pSortTable[i].dwValue));
        run_record(record);
        // Sorted runs report completion, not the value: the result place receives 0.
        if (record->dwResult) *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(record->dwResult)) = 0;
    }
}

GEVRAST_API(void) DPCQClear(DPC_QUEUE* pQueue)
{
    pQueue->dwUsedBytes = 0;
    pQueue->dwEntryCount = 0;
}

GEVRAST_API(void) DPCQRelease(DPC_QUEUE* pQueue)
{
    if (!pQueue) return;
    free_storage(pQueue);
    free(pQueue);
}
