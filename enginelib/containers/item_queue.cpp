// Item queue: typed fixed-size records appended to one buffer sized for every type's maximum,
// each type keeping the addresses of its own records for reading by number.
#include <stdlib.h>
#include <string.h>

#include "gevrast/containers.h"

namespace {

constexpr uint32_t kTypeIndexBytes = sizeof(uint32_t);

void free_types(ITEM_QUEUE* queue)
{
    for (uint32_t t = 0; queue->pTypes && t < queue->dwTypeNum; ++t) free(queue->pTypes[t].ppItems);
    free(queue->pTypes);
    queue->pTypes = nullptr;
    queue->dwTypeNum = 0;
}

void reset_counts(ITEM_QUEUE* queue)
{
    queue->dwWriteOffset = queue->dwReadOffset = 0;
    queue->dwItemNum = queue->dwReadNum = 0;
    for (uint32_t t = 0; t < queue->dwTypeNum; ++t) queue->pTypes[t].dwItemNum = 0;
}

}  // namespace

GEVRAST_API(ITEM_QUEUE*) CreateItemQueue(void)
{
    return static_cast<ITEM_QUEUE*>(calloc(1, sizeof(ITEM_QUEUE)));
}

GEVRAST_API(uint32_t) BeginInitialize(ITEM_QUEUE* pQueue, uint32_t dwTypeNum)
{
    // Declaring types again starts over: the earlier types and buffer are released.
    free_types(pQueue);
    free(pQueue->pBuffer);
    memset(pQueue, 0, sizeof(*pQueue));
    if (dwTypeNum == 0) return 1;
    pQueue->pTypes = static_cast<ITEM_TYPE_DESC*>(calloc(dwTypeNum, sizeof(ITEM_TYPE_DESC)));
    if (!pQueue->pTypes) return 0;
    pQueue->dwTypeNum = dwTypeNum;
    return 1;
}

GEVRAST_API(uint32_t) SetType(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex, uint32_t dwItemSize, uint32_t dwTypeValue,
                              uint32_t dwMaxItemNum)
{
    if (dwTypeIndex >= pQueue->dwTypeNum) return 0;
    // The buffer was sized for the types as they were: a new size or maximum under it (or a count
    // reset behind records already written) would let pushes run past its end. Types change only
    // between BeginInitialize and a successful EndInitialize.
    if (pQueue->pBuffer) return 0;
    ITEM_TYPE_DESC& type = pQueue->pTypes[dwTypeIndex];
    free(type.ppItems);
    memset(&type, 0, sizeof(type));
    type.dwTypeIndex = dwTypeIndex;
    type.dwItemSize = dwItemSize;
    type.dwTypeValue = dwTypeValue;
    if (dwMaxItemNum == 0) return 1;
    type.ppItems = static_cast<uint8_t**>(calloc(dwMaxItemNum, sizeof(uint8_t*)));
    // A type whose table cannot be had takes no records at all.
    if (!type.ppItems) return 0;
    type.dwMaxItemNum = dwMaxItemNum;
    return 1;
}

GEVRAST_API(uint8_t*) EndInitialize(ITEM_QUEUE* pQueue)
{
    uint64_t total = 0;
    for (uint32_t t = 0; t < pQueue->dwTypeNum; ++t) {
        const ITEM_TYPE_DESC& type = pQueue->pTypes[t];
        total += (static_cast<uint64_t>(type.dwItemSize) + kTypeIndexBytes) * type.dwMaxItemNum;
    }
    free(pQueue->pBuffer);
    pQueue->pBuffer = nullptr;
    pQueue->dwBufferSize = 0;
    if (total > UINT32_MAX) return nullptr;  // cannot be addressed in 32 bits
    pQueue->pBuffer = static_cast<uint8_t*>(malloc(total ? static_cast<size_t>(total) : 1));
    if (pQueue->pBuffer) pQueue->dwBufferSize = static_cast<uint32_t>(total);
    reset_counts(pQueue);
    return pQueue->pBuffer;
}

GEVRAST_API(uint32_t) PushItem(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex, const void* pItem)
{
    ITEM_TYPE_DESC& type = pQueue->pTypes[dwTypeIndex];
    // Without a buffer (before EndInitialize, or after one that failed) every type is full.
    if (!pQueue->pBuffer || type.dwItemNum >= type.dwMaxItemNum) return 0;
    const uint64_t end = uint64_t(pQueue->dwWriteOffset) + kTypeIndexBytes + type.dwItemSize;
    if (end > pQueue->dwBufferSize) return 0;
    uint8_t* at = pQueue->pBuffer + pQueue->dwWriteOffset;
    memcpy(at, &dwTypeIndex, kTypeIndexBytes);
    memcpy(at + kTypeIndexBytes, pItem, type.dwItemSize);
    type.ppItems[type.dwItemNum++] = at + kTypeIndexBytes;
    pQueue->dwWriteOffset += type.dwItemSize + kTypeIndexBytes;
    pQueue->dwItemNum++;
    return 1;
}

GEVRAST_API(uint8_t*) GetItem(ITEM_QUEUE* pQueue, uint32_t* pTypeValue, uint32_t dwTypeIndex, uint32_t dwNum)
{
    const ITEM_TYPE_DESC& type = pQueue->pTypes[dwTypeIndex];
    *pTypeValue = type.dwTypeValue;
    return type.ppItems[dwNum];
}

GEVRAST_API(uint32_t) GetItemNum(ITEM_QUEUE* pQueue)
{
    return pQueue->dwItemNum;
}

GEVRAST_API(uint32_t) GetItemNumWithType(ITEM_QUEUE* pQueue, uint32_t dwTypeIndex)
{
    return pQueue->pTypes[dwTypeIndex].dwItemNum;
}

GEVRAST_API(uint8_t*) GetItemSeq(ITEM_QUEUE* pQueue, uint32_t* pTypeIndex, uint32_t* pTypeValue)
{
    if (pQueue->dwReadNum >= pQueue->dwItemNum) return nullptr;
    uint8_t* at = pQueue->pBuffer + pQueue->dwReadOffset;
    uint32_t type_index;
    memcpy(&type_index, at, kTypeIndexBytes);
    const ITEM_TYPE_DESC& type = pQueue->pTypes[type_index];
    *pTypeIndex = type_index;
    *pTypeValue = type.dwTypeValue;
    pQueue->dwReadOffset += type.dwItemSize + kTypeIndexBytes;
    pQueue->dwReadNum++;
    return at + kTypeIndexBytes;
}

GEVRAST_API(void) ResetReadPosition(ITEM_QUEUE* pQueue)
{
    pQueue->dwReadOffset = 0;
    pQueue->dwReadNum = 0;
}

GEVRAST_API(void) Clear(ITEM_QUEUE* pQueue)
{
    reset_counts(pQueue);
}

GEVRAST_API(void) ReleaseItemQueue(ITEM_QUEUE* pQueue)
{
    if (!pQueue) return;
    free_types(pQueue);
    free(pQueue->pBuffer);
    free(pQueue);
}
