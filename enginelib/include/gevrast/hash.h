// Chained hash tables with a fixed bucket count: QBH, keyed by an unsigned 32-bit integer, and
// VBH, keyed by a byte string copied into the entry. Both are multimaps whose entries come from a
// static memory pool, so nothing is allocated after initialisation. The address an insert
// returns is the handle for deleting exactly that entry.
#pragma once

#include <stddef.h>

#include "gevrast/api.h"
#include "gevrast/pool.h"

// One QBH entry (a unit of the table's entry pool).
typedef struct QBH_ENTRY {
    uint32_t dwKey;
    uint32_t dwValue;
    void* pPrev;              // the previous entry, or the bucket for the first entry of a chain
    struct QBH_ENTRY* pNext;  // the next (older) entry, null at the end
} QBH_ENTRY;

// A QBH bucket: only pFirst is used. It lies where an entry keeps pNext, so unlinking an entry
// writes "previous's next" the same way whether the previous is an entry or the bucket.
// The unused fields mirror the entry's, so pFirst meets pNext at any address width.
typedef struct QBH_BUCKET {
    uint32_t adwUnused[2];    // where an entry keeps its key and value
    void* pUnused;            // where an entry keeps pPrev
    QBH_ENTRY* pFirst;        // newest entry of the chain, null when empty
} QBH_BUCKET;

typedef struct QBH_TABLE {
    uint32_t dwUnused;        // always 0
    QBH_BUCKET* pBuckets;     // dwBucketNum buckets
    uint32_t dwBucketNum;     // key mod dwBucketNum picks the bucket; 0 until initialised
    STATIC_MEMORY_POOL* pEntryPool;  // 16-byte QBH_ENTRY units
} QBH_TABLE;

// The fixed part of a VBH entry; dwMaxKeyLength key bytes follow it in the same pool unit.
typedef struct VBH_ENTRY {
    uint32_t dwValue;
    void* pPrev;              // the previous entry, or the bucket for the first entry of a chain
    struct VBH_ENTRY* pNext;  // the next (older) entry, null at the end
    uint32_t dwKeyLength;     // 1 to the table's maximum; the first dwKeyLength key bytes count
} VBH_ENTRY;

// A VBH bucket: only pFirst is used, lying where an entry keeps pNext (the unused fields mirror
// the entry's, so the two meet at any address width).
typedef struct VBH_BUCKET {
    uint32_t dwUnused0;       // where an entry keeps its value
    void* pUnused;            // where an entry keeps pPrev
    VBH_ENTRY* pFirst;        // newest entry of the chain, null when empty
    uint32_t dwUnused;
} VBH_BUCKET;

typedef struct VBH_TABLE {
    uint32_t dwUnused;
    VBH_BUCKET* pBuckets;     // dwBucketNum buckets
    uint32_t dwBucketNum;     // 0 until initialised
    uint32_t dwMaxKeyLength;  // longest key accepted, in bytes
    STATIC_MEMORY_POOL* pEntryPool;  // units of dwMaxKeyLength + 16 bytes, rounded up to whole 32-bit words
} VBH_TABLE;

// Called with the value of each entry VBHDeleteWithKey removes; its result is ignored.
typedef uint32_t(GEVRAST_CALLBACK* VBH_DELETE_PROC)(uint32_t dwValue);

#ifdef __cplusplus
GEVRAST_LAYOUT32_ASSERT(sizeof(QBH_ENTRY) == 16, "QBH_ENTRY is four 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(QBH_BUCKET) == 16, "a QBH bucket is four 32-bit fields");
static_assert(offsetof(QBH_BUCKET, pFirst) == offsetof(QBH_ENTRY, pNext), "a bucket's first lies where an entry's next does");
GEVRAST_LAYOUT32_ASSERT(sizeof(QBH_TABLE) == 16, "QBH_TABLE is four 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(VBH_ENTRY) == 16, "the fixed part of VBH_ENTRY is four 32-bit fields");
GEVRAST_LAYOUT32_ASSERT(sizeof(VBH_BUCKET) == 16, "a VBH bucket is four 32-bit fields");
static_assert(offsetof(VBH_BUCKET, pFirst) == offsetof(VBH_ENTRY, pNext), "a bucket's first lies where an entry's next does");
GEVRAST_LAYOUT32_ASSERT(sizeof(VBH_TABLE) == 20, "VBH_TABLE is five 32-bit fields");
#endif

// QBH: integer keys.
GEVRAST_API(QBH_TABLE*) QBHCreate(void);
// 1, or 0 when the buckets or the entry pool could not be set up; a bucket count of 0 is refused.
GEVRAST_API(uint32_t) QBHInitialize(QBH_TABLE* pTable, uint32_t dwBucketNum, uint32_t dwMaxNum);
// The new entry, or null when the pool is exhausted or the table has no buckets.
GEVRAST_API(QBH_ENTRY*) QBHInsert(QBH_TABLE* pTable, uint32_t dwValue, uint32_t dwKey);
// Stores up to dwCapacity values of dwKey, newest first; *ppEntry ends on the last entry stored.
GEVRAST_API(uint32_t) QBHSelect(QBH_TABLE* pTable, QBH_ENTRY** ppEntry, uint32_t* pValues, uint32_t dwCapacity,
                                uint32_t dwKey);
GEVRAST_API(uint32_t) QBHDelete(QBH_TABLE* pTable, QBH_ENTRY* pEntry);
GEVRAST_API(void) QBDeleteAll(QBH_TABLE* pTable);
// Stores up to dwCapacity values, bucket by bucket, each chain newest first.
GEVRAST_API(uint32_t) QBHGetAllItem(QBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity);
GEVRAST_API(uint32_t) QBHGetMaxBucketNum(QBH_TABLE* pTable);
GEVRAST_API(void) QBHRelease(QBH_TABLE* pTable);

// VBH: byte-string keys of 1 to the table's maximum key length.
GEVRAST_API(VBH_TABLE*) VBHCreate(void);
// 1, or 0 when the buckets or the entry pool could not be set up; a bucket count or a maximum key
// length of 0 is refused.
GEVRAST_API(uint32_t) VBHInitialize(VBH_TABLE* pTable, uint32_t dwBucketNum, uint32_t dwMaxKeyLength,
                                    uint32_t dwMaxNum);
// The new entry, or null when the key is empty or too long, the pool is exhausted or the table has
// no buckets. The key is copied: its memory may be reused at once.
GEVRAST_API(VBH_ENTRY*) VBHInsert(VBH_TABLE* pTable, uint32_t dwValue, const void* pKey, uint32_t dwKeyLength);
GEVRAST_API(uint32_t) VBHSelect(VBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity, const void* pKey,
                                uint32_t dwKeyLength);
// The newest entry with this key, or null.
GEVRAST_API(VBH_ENTRY*) VBHGetSearchHandle(VBH_TABLE* pTable, const void* pKey, uint32_t dwKeyLength);
GEVRAST_API(uint32_t) VBHDelete(VBH_TABLE* pTable, VBH_ENTRY* pEntry);
// Deletes every entry with this key, newest first, calling pfnCallback (if any) with each value
// before its entry goes; returns how many were deleted.
GEVRAST_API(uint32_t) VBHDeleteWithKey(VBH_TABLE* pTable, const void* pKey, uint32_t dwKeyLength,
                                       VBH_DELETE_PROC pfnCallback);
GEVRAST_API(void) VBHDeleteAll(VBH_TABLE* pTable);
GEVRAST_API(uint32_t) VBHGetAllItem(VBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity);
// The entry's stored key bytes (the entry address + 16).
GEVRAST_API(void*) VBHGetKeyPtr(VBH_ENTRY* pEntry);
GEVRAST_API(uint32_t) VBHGetMaxBucketNum(VBH_TABLE* pTable);
GEVRAST_API(void) VBHRelease(VBH_TABLE* pTable);
