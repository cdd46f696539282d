// Walks shared by both hash table families: their tables hold dwBucketNum buckets whose pFirst
// starts a pNext chain of pool units carrying dwValue, all allocated from pEntryPool.
#pragma once

#include <stdint.h>
#include <stdlib.h>

#include <type_traits>

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

// Makes the bucket array (all chains empty) and an entry pool of unitSize-byte units for up to
// maxNum entries. False, the table left empty, when memory or the pool cannot be had; calloc also
// refuses a bucket count whose byte size does not fit.
template <typename Table>
bool AllocateStorage(Table* table, uint32_t bucketNum, uint32_t unitSize, uint32_t maxNum)
{
    using Bucket = typename std::remove_pointer<decltype(table->pBuckets)>::type;
    Bucket* buckets = static_cast<Bucket*>(calloc(bucketNum, sizeof(Bucket)));
    STATIC_MEMORY_POOL* pool = CreateStaticMemoryPool();
    if (!buckets || !pool) {
        free(buckets);
        if (pool) ReleaseStaticMemoryPool(pool);
        return false;
    }
    table->pBuckets = buckets;
    table->dwBucketNum = bucketNum;
    table->pEntryPool = pool;
    return InitializeStaticMemoryPool(pool, unitSize, maxNum / 4, maxNum) != 0;
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
