// Ordered multimap: an unbalanced binary search tree with one node per distinct key and a list of
// containers per node. Nodes and containers are recycled through two stacks filled at
// initialisation, so no operation after it allocates.
#include <stdlib.h>
#include <string.h>

#include "gevrast/containers.h"

namespace {

constexpr uint32_t kReturnedNodeKey = 0xCCCCCCCCu;  // marks a node back in its pool

void free_pools(BSAE* map)
{
    free(map->pNodePool);
    free(map->pContainerPool);
    free(map->ppFreeNodes);
    free(map->ppFreeContainers);
    memset(map, 0, sizeof(*map));
}

// Takes stack entry 0 and fills the hole with the last entry.
template <typename T>
T* take(T** stack, uint32_t& free_count)
{
    T* record = stack[0];
    stack[0] = stack[free_count - 1];
    free_count--;
    return record;
}

ITEM_CONTAINER* container_at(const BSAE* map, uint32_t i)
{
    return reinterpret_cast<ITEM_CONTAINER*>(reinterpret_cast<uint8_t*>(map->pContainerPool) +
                                             i * map->dwContainerStride);
}

// Replaces node n in the tree by its right subtree, with n's left subtree hung under the
// smallest node of that right subtree; without a right subtree the left one takes n's place.
void remove_node(BSAE* map, BSAE_NODE* n)
{
    if (!map->pRoot) return;
    BSAE_NODE* p = n->pParent;
    BSAE_NODE* r;
    if (!n->pRight) {
        r = n->pLeft;
        if (r) r->pParent = p;
    } else {
        r = n->pRight;
        BSAE_NODE* m = r;
        while (m->pLeft) m = m->pLeft;
        m->pLeft = n->pLeft;
        if (n->pLeft) n->pLeft->pParent = m;
        r->pParent = p;
    }
    if (p) {
        if (n->dwKey < p->dwKey) p->pLeft = r;
        else p->pRight = r;
    } else {
        map->pRoot = r;
    }
    n->dwKey = kReturnedNodeKey;
    n->pParent = n->pLeft = n->pRight = nullptr;
    map->ppFreeNodes[map->dwFreeNodeNum++] = n;
}

BSAE_NODE* search(const BSAE* map, uint32_t key)
{
    BSAE_NODE* candidate = nullptr;
    BSAE_NODE* n = map->pRoot;
    while (n) {
        if (key == n->dwKey) return n;
        if (key < n->dwKey) {
            candidate = n;
            n = n->pLeft;
        } else {
            n = n->pRight;
        }
    }
    return candidate;
}

}  // namespace

GEVRAST_API(BSAE*) BSAECreate(void)
{
    return static_cast<BSAE*>(calloc(1, sizeof(BSAE)));
}

namespace {

// Large zeroed blocks come from the system as untouched pages. Writing one byte of each page
// now (volatile, so the compiler cannot drop a store of the zero already there) takes the page
// faults at sizing, once, instead of during the first insertions.
void touch_pages(void* block, size_t bytes)
{
    volatile uint8_t* at = static_cast<volatile uint8_t*>(block);
    for (size_t offset = 0; offset < bytes; offset += 4096) at[offset] = 0;
}

}  // namespace

GEVRAST_API(uint32_t) BSAEInitialize(BSAE* pMap, uint32_t dwCapacity)
{
    // Sizing again starts over: the earlier items are dropped with their pools.
    free_pools(pMap);
    pMap->dwContainerStride = sizeof(ITEM_CONTAINER);
    if (dwCapacity == 0) return 1;

    // calloc refuses a count times size that does not fit, so an oversized capacity fails here.
    BSAE_NODE* nodes = static_cast<BSAE_NODE*>(calloc(dwCapacity, sizeof(BSAE_NODE)));
    ITEM_CONTAINER* containers = static_cast<ITEM_CONTAINER*>(calloc(dwCapacity, sizeof(ITEM_CONTAINER)));
    BSAE_NODE** free_nodes = static_cast<BSAE_NODE**>(calloc(dwCapacity, sizeof(BSAE_NODE*)));
    ITEM_CONTAINER** free_containers = static_cast<ITEM_CONTAINER**>(calloc(dwCapacity, sizeof(ITEM_CONTAINER*)));
    if (!nodes || !containers || !free_nodes || !free_containers) {
        free(nodes);
        free(containers);
        free(free_nodes);
        free(free_containers);
        return 0;
    }
    touch_pages(nodes, sizeof(BSAE_NODE) * dwCapacity);
    touch_pages(containers, sizeof(ITEM_CONTAINER) * dwCapacity);
    pMap->pNodePool = nodes;
    pMap->pContainerPool = containers;
    pMap->ppFreeNodes = free_nodes;
    pMap->ppFreeContainers = free_containers;
    pMap->dwCapacity = dwCapacity;
    for (uint32_t i = 0; i < dwCapacity; ++i) {
        free_nodes[i] = &nodes[i];
        free_containers[i] = container_at(pMap, i);
    }
    pMap->dwFreeNodeNum = dwCapacity;
    pMap->dwFreeContainerNum = dwCapacity;
    return 1;
}

GEVRAST_API(ITEM_CONTAINER*) BSAEInsertItem(BSAE* pMap, uint32_t dwKey, void* pItem)
{
    // Both records are checked before either is taken, so a refused insertion changes nothing.
    if (pMap->dwFreeContainerNum == 0) return nullptr;

    BSAE_NODE* parent = nullptr;
    BSAE_NODE** place = &pMap->pRoot;
    while (*place && (*place)->dwKey != dwKey) {
        parent = *place;
        place = dwKey < parent->dwKey ? &parent->pLeft : &parent->pRight;
    }
    BSAE_NODE* node = *place;
    if (!node) {
        if (pMap->dwFreeNodeNum == 0) return nullptr;
        node = take(pMap->ppFreeNodes, pMap->dwFreeNodeNum);
        node->pParent = parent;
        node->pLeft = node->pRight = nullptr;
        node->dwItemNum = 0;
        node->pHead = nullptr;
        *place = node;
    }
    node->dwKey = dwKey;

    ITEM_CONTAINER* c = take(pMap->ppFreeContainers, pMap->dwFreeContainerNum);
    c->pPrev = nullptr;
    c->pNext = node->pHead;
    c->pItem = pItem;
    c->dwKey = dwKey;
    c->pOwner = node;
    if (node->pHead) node->pHead->pPrev = c;
    node->pHead = c;
    node->dwItemNum++;
    pMap->dwItemNum++;
    return c;
}

GEVRAST_API(uint32_t) BSAEDeleteItem(BSAE* pMap, ITEM_CONTAINER* pContainer)
{
    BSAE_NODE* node = pContainer->pOwner;
    if (pContainer->pPrev) pContainer->pPrev->pNext = pContainer->pNext;
    else node->pHead = pContainer->pNext;
    if (pContainer->pNext) pContainer->pNext->pPrev = pContainer->pPrev;

    pContainer->pOwner = nullptr;
    pContainer->pItem = nullptr;
    pContainer->pPrev = pContainer->pNext = nullptr;
    pMap->ppFreeContainers[pMap->dwFreeContainerNum++] = pContainer;

    if (--node->dwItemNum == 0) remove_node(pMap, node);
    pMap->dwItemNum--;
    return 1;
}

GEVRAST_API(void*) BSAESearchItem(BSAE* pMap, uint32_t dwKey)
{
    BSAE_NODE* node = search(pMap, dwKey);
    return node ? node->pHead->pItem : nullptr;
}

GEVRAST_API(ITEM_CONTAINER*) BSAESearchItemContainer(BSAE* pMap, uint32_t dwKey)
{
    BSAE_NODE* node = search(pMap, dwKey);
    return node ? node->pHead : nullptr;
}

GEVRAST_API(uint32_t) BSAEGetItemNum(BSAE* pMap)
{
    return pMap->dwItemNum;
}

GEVRAST_API(void) BSAERelease(BSAE* pMap)
{
    if (!pMap) return;
    free_pools(pMap);
    free(pMap);
}
