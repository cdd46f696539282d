// Walks shared by both hash table families: their tables hold dwBucketNum buckets whose pFirst
// starts a pNext chain of pool units carrying dwValue, all allocated from pEntryPool.
#pragma once

#include <stdint.h>
#include <stdlib.h>

#include "gevrast/pool.h"

namespace gevrast_hash {

// Returns every entry to the pool and leaves each bucket empty.
template <typename Table>
void FreeAllEntries(Table* table)
{
    for (uint32_t b = 0; b < table->dwBucketNum; ++b) {
        auto* entry = table->pBuckets[b].pFirst;
        while (entry) {
            auto* next = entry->pNext;
            LALFree(table->pEntryPool, entry);
            entry = next;
        }
        table->pBuckets[b].pFirst = nullptr;
    }
}

// Copies values in bucket order, chain order within a bucket, stopping at capacity.
template <typename Table>
uint32_t CollectValues(const Table* table, uint32_t* values, uint32_t capacity)
{
    uint32_t count = 0;
    for (uint32_t b = 0; b < table->dwBucketNum && count < capacity; ++b)
        for (auto* entry = table->pBuckets[b].pFirst; entry && count < capacity; entry = entry->pNext)
            values[count++] = entry->dwValue;
    return count;
}

// Releases the pool and the bucket array; the table is as new and must be initialised again.
template <typename Table>
void FreeStorage(Table* table)
{
    if (table->pEntryPool) ReleaseStaticMemoryPool(table->pEntryPool);
    free(table->pBuckets);
    table->pEntryPool = nullptr;
    table->pBuckets = nullptr;
    table->dwBucketNum = 0;
}

}  // namespace gevrast_hash
