// VBH: chained hash table keyed by a byte string of 1 to a fixed maximum length, copied into the
// entry right after its 16-byte fixed part. The bucket comes from an OR-fold of the key's bytes.
#include <stdlib.h>
#include <string.h>

#include "gevrast/hash.h"
#include "bucket_walk.h"

namespace {

constexpr uint32_t kEntryHeaderBytes = sizeof(VBH_ENTRY);

// The pool lays its units out back to back (each after an address-sized header), so the unit is
// rounded up to the entry's alignment (whole 32-bit words in the 32-bit layout): every entry's
// fields then stay aligned whatever the key length.
uint32_t unit_size(uint32_t max_key_length)
{
    constexpr uint32_t kAlign = alignof(VBH_ENTRY);
    return (max_key_length + kEntryHeaderBytes + kAlign - 1) & ~(kAlign - 1);
}

VBH_ENTRY*& next_of(void* prev)
{
    return *reinterpret_cast<VBH_ENTRY**>(static_cast<uint8_t*>(prev) + offsetof(VBH_ENTRY, pNext));
}

uint8_t* key_of(VBH_ENTRY* entry)
{
    return reinterpret_cast<uint8_t*>(entry) + kEntryHeaderBytes;
}

// ORs the key together a byte, a 16-bit word and then 32-bit words at a time (little-endian
// loads), so the 32-bit words stay aligned with the key's end. Keys whose bits differ only in
// which word they sit in share a bucket: the fold is cheap, not mixing.
uint32_t fold(const uint8_t* key, uint32_t len)
{
    uint32_t h = 0;
    uint32_t p = 0;
    if (len & 1) {
        h |= key[0];
        p = 1;
    }
    if ((len - p) & 2) {
        uint16_t w;
        memcpy(&w, key + p, sizeof(w));
        h |= w;
        p += 2;
    }
    for (; p < len; p += 4) {
        uint32_t w;
        memcpy(&w, key + p, sizeof(w));
        h |= w;
    }
    return h;
}

// A key the table can hold: an empty key has nothing to fold, and a table without buckets has
// nowhere to put one.
bool usable(const VBH_TABLE* table, uint32_t len)
{
    return table->dwBucketNum != 0 && len != 0 && len <= table->dwMaxKeyLength;
}

VBH_BUCKET* bucket_of(const VBH_TABLE* table, const uint8_t* key, uint32_t len)
{
    return table->pBuckets + fold(key, len) % table->dwBucketNum;
}

bool matches(VBH_ENTRY* entry, const uint8_t* key, uint32_t len)
{
    return entry->dwKeyLength == len && memcmp(key_of(entry), key, len) == 0;
}

VBH_ENTRY* first_match(const VBH_TABLE* table, const uint8_t* key, uint32_t len)
{
    for (VBH_ENTRY* e = bucket_of(table, key, len)->pFirst; e; e = e->pNext)
        if (matches(e, key, len)) return e;
    return nullptr;
}

void remove(VBH_TABLE* table, VBH_ENTRY* entry)
{
    next_of(entry->pPrev) = entry->pNext;
    if (entry->pNext) entry->pNext->pPrev = entry->pPrev;
    LALFree(table->pEntryPool, entry);
}

void free_storage(VBH_TABLE* table)
{
    gevrast_hash::FreeStorage(table);
    table->dwMaxKeyLength = 0;
}

}  // namespace

GEVRAST_API(VBH_TABLE*) VBHCreate(void)
{
    return static_cast<VBH_TABLE*>(calloc(1, sizeof(VBH_TABLE)));
}

GEVRAST_API(uint32_t) VBHInitialize(VBH_TABLE* pTable, uint32_t dwBucketNum, uint32_t dwMaxKeyLength,
                                    uint32_t dwMaxNum)
{
    // Initialising again starts over; the old entries die with the old pool.
    free_storage(pTable);
    // Without buckets there is nowhere to put a key, and with a maximum length of 0 no key fits.
    // The entry unit (key bytes + 16, see unit_size) must also fit in 32 bits.
    if (dwBucketNum == 0 || dwMaxKeyLength == 0 || dwMaxKeyLength > UINT32_MAX - kEntryHeaderBytes - 3) return 0;
    if (!gevrast_hash::AllocateStorage(pTable, dwBucketNum, unit_size(dwMaxKeyLength), dwMaxNum)) return 0;
    pTable->dwMaxKeyLength = dwMaxKeyLength;
    return 1;
}

GEVRAST_API(VBH_ENTRY*) VBHInsert(VBH_TABLE* pTable, uint32_t dwValue, const void* pKey, uint32_t dwKeyLength)
{
    if (!usable(pTable, dwKeyLength)) return nullptr;
    const uint8_t* key = static_cast<const uint8_t*>(pKey);
    VBH_BUCKET* bucket = bucket_of(pTable, key, dwKeyLength);
    VBH_ENTRY* entry = static_cast<VBH_ENTRY*>(LALAlloc(pTable->pEntryPool));
    if (!entry) return nullptr;
    entry->pPrev = bucket;
    entry->pNext = bucket->pFirst;
    if (bucket->pFirst) bucket->pFirst->pPrev = entry;
    bucket->pFirst = entry;
    entry->dwKeyLength = dwKeyLength;
    memcpy(key_of(entry), key, dwKeyLength);
    entry->dwValue = dwValue;
    return entry;
}

GEVRAST_API(uint32_t) VBHSelect(VBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity, const void* pKey,
                                uint32_t dwKeyLength)
{
    if (dwCapacity == 0 || !usable(pTable, dwKeyLength)) return 0;
    const uint8_t* key = static_cast<const uint8_t*>(pKey);
    uint32_t count = 0;
    for (VBH_ENTRY* e = bucket_of(pTable, key, dwKeyLength)->pFirst; e && count < dwCapacity; e = e->pNext)
        if (matches(e, key, dwKeyLength)) pValues[count++] = e->dwValue;
    return count;
}

GEVRAST_API(VBH_ENTRY*) VBHGetSearchHandle(VBH_TABLE* pTable, const void* pKey, uint32_t dwKeyLength)
{
    if (!usable(pTable, dwKeyLength)) return nullptr;
    return first_match(pTable, static_cast<const uint8_t*>(pKey), dwKeyLength);
}

GEVRAST_API(uint32_t) VBHDelete(VBH_TABLE* pTable, VBH_ENTRY* pEntry)
{
    remove(pTable, pEntry);
    return 1;
}

GEVRAST_API(uint32_t) VBHDeleteWithKey(VBH_TABLE* pTable, const void* pKey, uint32_t dwKeyLength,
                                       VBH_DELETE_PROC pfnCallback)
{
    if (!usable(pTable, dwKeyLength)) return 0;
    const uint8_t* key = static_cast<const uint8_t*>(pKey);
    uint32_t count = 0;
    // Each round looks again from the chain's front, so a callback that changes the table cannot
    // leave us holding an entry it already took away.
    while (VBH_ENTRY* e = first_match(pTable, key, dwKeyLength)) {
        if (pfnCallback) pfnCallback(e->dwValue);
        remove(pTable, e);
        ++count;
    }
    return count;
}

GEVRAST_API(void) VBHDeleteAll(VBH_TABLE* pTable)
{
    gevrast_hash::FreeAllEntries(pTable);
}

GEVRAST_API(uint32_t) VBHGetAllItem(VBH_TABLE* pTable, uint32_t* pValues, uint32_t dwCapacity)
{
    return gevrast_hash::CollectValues(pTable, pValues, dwCapacity);
}

GEVRAST_API(void*) VBHGetKeyPtr(VBH_ENTRY* pEntry)
{
    return key_of(pEntry);
}

GEVRAST_API(uint32_t) VBHGetMaxBucketNum(VBH_TABLE* pTable)
{
    return pTable->dwBucketNum;
}

GEVRAST_API(void) VBHRelease(VBH_TABLE* pTable)
{
    VBHDeleteAll(pTable);
    free_storage(pTable);
    free(pTable);
}
