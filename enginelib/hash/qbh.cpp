// QBH: chained hash table keyed by an unsigned 32-bit integer (bucket = key mod bucket count).
// Chains are doubly linked, newest first; a chain's first entry points back at its bucket, whose
// pFirst lies where an entry keeps pNext, so unlinking never needs to know which one it has.
#include <stdlib.h>
#include <string.h>

#include "gevrast/hash.h"
#include "bucket_walk.h"

namespace {

// The "next" field of whatever precedes an entry: another entry, or the bucket's pFirst.
QBH_ENTRY*& next_of(void* prev)
{
    return *reinterpret_cast<QBH_ENTRY**>(static_cast<uint8_t*>(prev) + offsetof(QBH_ENTRY, pNext));
}

QBH_BUCKET* bucket_of(const QBH_TABLE* table, uint32_t key)
{
    return table->pBuckets + key % table->dwBucketNum;
}

void unlink(QBH_ENTRY* entry)
{
    next_of(entry->pPrev) = entry->pNext;
    if (entry->pNext) entry->pNext->pPrev = entry->pPrev;
}

void free_storage(QBH_TABLE* table)
{
    gevrast_hash::FreeStorage(table);
}

}  // namespace

GEVRAST_API(QBH_TABLE*) QBHCreate(void)
{
    return static_cast<QBH_TABLE*>(calloc(1, sizeof(QBH_TABLE)));
}

GEVRAST_API(uint32_t) QBHInitialize(QBH_TABLE* pTable, uint32_t dwBucketNum, uint32_t dwMaxNum)
{
    // Initialising again starts over; the old entries die with the old pool.
    free_storage(pTable);
    // No buckets means no bucket to put a key in: refuse rather than divide by zero later.
    if (dwBucketNum == 0) return 0;
    return gevrast_hash::AllocateStorage(pTable, dwBucketNum, sizeof(QBH_ENTRY), dwMaxNum) ? 1 : 0;
}

GEVRAST_API(QBH_ENTRY*) QBHInsert(QBH_TABLE* pTable, uint32_t dwValue, uint32_t dwKey)
{
    if (pTable->dwBucketNum == 0) return nullptr;
    QBH_ENTRY* entry = static_cast<QBH_ENTRY*>(LALAlloc(pTable->pEntryPool));
    if (!entry) return nullptr;
    QBH_BUCKET* bucket = bucket_of(pTable, dwKey);
    entry->dwKey = dwKey;
    entry->dwValue = dwValue;
    entry->pPrev = bucket;
    entry->pNext = bucket->pFirst;
    if (bucket->pFirst) bucket->pFirst->pPrev = entry;
    bucket->pFirst = entry;
    return entry;
}

GEVRAST_API(uint32_t) QBHSelect(QBH_TABLE* pTable, QBH_ENTRY** ppEntry, uint32_t* pValues, uint32_t dwCapacity,
                                uint32_t dwKey)
{
    if (dwCapacity == 0 || pTable->dwBucketNum == 0) return 0;
    uint32_t count = 0;
    for (QBH_ENTRY* e = bucket_of(pTable, dwKey)->pFirst; e && count < dwCapacity; e = e->pNext) {
        if (e->dwKey != dwKey) continue;
        if (ppEntry) *ppEntry = e;
        pValues[count++] = e->dwValue;
    }
    return count;
}

GEVRAST_API(uint32_t) QBHDelete(QBH_TABLE* pTable, QBH_ENTRY* pEntry)
{
    unlink(pEntry);
    LALFree(pTable->pEntryPool, pEntry);
    return 1;
}

GEVRAST_API(void) QBDeleteAll(QBH_TABLE* pTable)
{
    gevrast_hash::FreeAllEntries(pTable);
}

GEVRAST_API(uint32_t) QBHGetAllItem(QBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity)
{
    return gevrast_hash::CollectValues(pTable, pValues, dwCapacity);
}

GEVRAST_API(uint32_t) QBHGetMaxBucketNum(QBH_TABLE* pTable)
{
    return pTable->dwBucketNum;
}

GEVRAST_API(void) QBHRelease(QBH_TABLE* pTable)
{
    QBDeleteAll(pTable);
    free_storage(pTable);
    free(pTable);
}
