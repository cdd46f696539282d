// Best-fit heap (VHP). Every chunk of the range is an address-ordered list of links between two
// sentinels; free blocks are indexed by size in the embedded ordered multimap, so an allocation
// is one search there. Freeing finds the block through an address index (a balanced tree over
// block addresses) instead of walking the chunk lists; addresses of blocks are unique because no
// block is ever empty, so the index finds exactly the block the walk would.
#include <stdlib.h>
#include <string.h>

#include "debug/debug_output.h"
#include "gevrast/heap.h"

// Address index: a height-balanced search tree of the block links keyed by address, with its
// nodes taken from an array sized for the heap's maximum block count at initialisation.
struct HEAP_ADDRESS_NODE {
    uint32_t dwAddress;         // the link's address, kept here so a search touches no link
    HEAP_LINK* pLink;
    HEAP_ADDRESS_NODE* pLeft;   // lower addresses; the next free node while on the free list
    HEAP_ADDRESS_NODE* pRight;  // higher addresses
    int32_t nHeight;            // 1 for a leaf
};

struct HEAP_ADDRESS_INDEX {
    HEAP_ADDRESS_NODE* pRoot;
    HEAP_ADDRESS_NODE* pNodes;     // dwCapacity nodes
    HEAP_ADDRESS_NODE* pFreeNodes;
    uint32_t dwCapacity;
    uint32_t dwCount;
};

namespace {

constexpr uint32_t kDescriptorBytes = sizeof(HEAP_BLOCK_DESC);
constexpr uint32_t kLinkBytes = sizeof(HEAP_LINK);

// ---- address index --------------------------------------------------------------------------

using Node = HEAP_ADDRESS_NODE;

int32_t height(const Node* n)
{
    return n ? n->nHeight : 0;
}

uint32_t key(const Node* n)
{
    return n->dwAddress;
}

void update_height(Node* n)
{
    const int32_t l = height(n->pLeft);
    const int32_t r = height(n->pRight);
    n->nHeight = 1 + (l > r ? l : r);
}

Node* rotate_right(Node* n)
{
    Node* l = n->pLeft;
    n->pLeft = l->pRight;
    l->pRight = n;
    update_height(n);
    update_height(l);
    return l;
}

Node* rotate_left(Node* n)
{
    Node* r = n->pRight;
    n->pRight = r->pLeft;
    r->pLeft = n;
    update_height(n);
    update_height(r);
    return r;
}

// Restores the height balance at n (its subtrees are balanced and differ by at most 2).
Node* rebalance(Node* n)
{
    update_height(n);
    const int32_t balance = height(n->pLeft) - height(n->pRight);
    if (balance > 1) {
        if (height(n->pLeft->pLeft) < height(n->pLeft->pRight)) n->pLeft = rotate_left(n->pLeft);
        return rotate_right(n);
    }
    if (balance < -1) {
        if (height(n->pRight->pRight) < height(n->pRight->pLeft)) n->pRight = rotate_right(n->pRight);
        return rotate_left(n);
    }
    return n;
}

Node* insert_node(Node* n, Node* added)
{
    if (!n) return added;
    if (key(added) < key(n)) n->pLeft = insert_node(n->pLeft, added);
    else n->pRight = insert_node(n->pRight, added);
    return rebalance(n);
}

Node* detach_lowest(Node* n, Node** lowest)
{
    if (!n->pLeft) {
        *lowest = n;
        return n->pRight;
    }
    n->pLeft = detach_lowest(n->pLeft, lowest);
    return rebalance(n);
}

Node* remove_node(Node* n, uint32_t address, Node** removed)
{
    if (!n) return nullptr;
    if (address < key(n)) {
        n->pLeft = remove_node(n->pLeft, address, removed);
    } else if (address > key(n)) {
        n->pRight = remove_node(n->pRight, address, removed);
    } else {
        *removed = n;
        if (!n->pRight) return n->pLeft;
        Node* successor = nullptr;
        Node* right = detach_lowest(n->pRight, &successor);
        successor->pLeft = n->pLeft;
        successor->pRight = right;
        return rebalance(successor);
    }
    return rebalance(n);
}

HEAP_ADDRESS_INDEX* create_address_index(uint32_t max_blocks)
{
    if (max_blocks == 0) return nullptr;
    HEAP_ADDRESS_INDEX* index = static_cast<HEAP_ADDRESS_INDEX*>(calloc(1, sizeof(HEAP_ADDRESS_INDEX)));
    if (!index) return nullptr;
    index->pNodes = static_cast<Node*>(calloc(max_blocks, sizeof(Node)));
    if (!index->pNodes) {
        free(index);
        return nullptr;
    }
    index->dwCapacity = max_blocks;
    for (uint32_t i = 0; i + 1 < max_blocks; ++i) index->pNodes[i].pLeft = &index->pNodes[i + 1];
    index->pFreeNodes = index->pNodes;
    return index;
}

void release_address_index(HEAP_ADDRESS_INDEX* index)
{
    if (!index) return;
    free(index->pNodes);
    free(index);
}

void index_insert(HEAP_ADDRESS_INDEX* index, HEAP_LINK* link)
{
    // The heap has no more blocks than descriptors, and the nodes are as many as those.
    if (!index || !index->pFreeNodes) return;
    Node* node = index->pFreeNodes;
    index->pFreeNodes = node->pLeft;
    *node = Node{link->dwAddress, link, nullptr, nullptr, 1};
    index->pRoot = insert_node(index->pRoot, node);
    index->dwCount++;
}

void index_remove(HEAP_ADDRESS_INDEX* index, uint32_t address)
{
    if (!index) return;
    Node* removed = nullptr;
    index->pRoot = remove_node(index->pRoot, address, &removed);
    if (!removed) return;
    *removed = Node{0, nullptr, index->pFreeNodes, nullptr, 0};
    index->pFreeNodes = removed;
    index->dwCount--;
}

// Points the entry of address at another link (the key stays).
void index_retarget(HEAP_ADDRESS_INDEX* index, uint32_t address, HEAP_LINK* link)
{
    if (!index) return;
    for (Node* n = index->pRoot; n; n = address < n->dwAddress ? n->pLeft : n->pRight) {
        if (n->dwAddress == address) {
            n->pLink = link;
            return;
        }
    }
}

// The block link of address: through the index, or by walking the chunks when the index could
// not be allocated. Block addresses are unique, so both find the same link.
HEAP_LINK* find_block(const CHeap* heap, uint32_t address)
{
    if (const HEAP_ADDRESS_INDEX* index = heap->pAddressIndex) {
        for (const Node* n = index->pRoot; n;) {
            if (address == key(n)) return n->pLink;
            n = address < key(n) ? n->pLeft : n->pRight;
        }
        return nullptr;
    }
    for (const HEAP_CHUNK* chunk = heap->pChunkList; chunk; chunk = chunk->pNext)
        for (HEAP_LINK* link = chunk->pHead->pNext; link != chunk->pTail; link = link->pNext)
            if (link->dwAddress == address) return link;
    return nullptr;
}

// ---- records --------------------------------------------------------------------------------

// Units a pool can hand out: it commits whole growth steps only, and a step of 0 means one.
uint64_t pool_capacity(uint64_t max_num, uint64_t step)
{
    return step == 0 ? max_num : max_num / step * step;
}

// The smallest block count, from the one asked for up, whose pools hold the records of every
// chunk: one descriptor, and a block link and two sentinels.
uint32_t block_count_for(uint32_t asked, uint32_t chunks)
{
    uint64_t count = asked > chunks ? asked : chunks;
    while (count < UINT32_MAX &&
           (pool_capacity(count, count / 4) < chunks || pool_capacity(3 * count, 3 * count / 4) < 3ull * chunks))
        ++count;
    return static_cast<uint32_t>(count);
}

void index_free_block(CHeap* heap, HEAP_BLOCK_DESC* desc)
{
    desc->pIndexHandle = BSAEInsertItem(&heap->freeIndex, desc->dwSize, desc);
}

void release_books(CHeap* heap)
{
    for (HEAP_CHUNK* chunk = heap->pChunkList; chunk;) {
        HEAP_CHUNK* next = chunk->pNext;
        free(chunk);
        chunk = next;
    }
    heap->pChunkList = nullptr;
    heap->dwChunkNum = 0;
    if (heap->pDescPool) ReleaseStaticMemoryPool(heap->pDescPool);
    if (heap->pLinkPool) ReleaseStaticMemoryPool(heap->pLinkPool);
    heap->pDescPool = heap->pLinkPool = nullptr;
    // Sizing the index to nothing hands its storage back; the index itself lives in the heap.
    BSAEInitialize(&heap->freeIndex, 0);
    release_address_index(heap->pAddressIndex);
    heap->pAddressIndex = nullptr;
}

// Adds one chunk of one free block at address in front of the chunk list; false, with nothing
// taken, when a record cannot be had.
bool add_chunk(CHeap* heap, uint32_t address)
{
    // A free block the index cannot hold could never be handed out nor merged.
    if (heap->freeIndex.dwCapacity == 0) return false;
    HEAP_CHUNK* chunk = static_cast<HEAP_CHUNK*>(calloc(1, sizeof(HEAP_CHUNK)));
    HEAP_LINK* head = static_cast<HEAP_LINK*>(LALAlloc(heap->pLinkPool));
    HEAP_LINK* tail = static_cast<HEAP_LINK*>(LALAlloc(heap->pLinkPool));
    HEAP_LINK* link = static_cast<HEAP_LINK*>(LALAlloc(heap->pLinkPool));
    HEAP_BLOCK_DESC* desc = static_cast<HEAP_BLOCK_DESC*>(LALAlloc(heap->pDescPool));
    if (!chunk || !head || !tail || !link || !desc) {
        free(chunk);
        if (head) LALFree(heap->pLinkPool, head);
        if (tail) LALFree(heap->pLinkPool, tail);
        if (link) LALFree(heap->pLinkPool, link);
        if (desc) LALFree(heap->pDescPool, desc);
        return false;
    }
    const uint32_t span = heap->dwAlignBytes;
    *head = HEAP_LINK{address, nullptr, 0, VHP_LINK_SENTINEL, nullptr, link};
    *link = HEAP_LINK{address, desc, span, VHP_BLOCK_FREE, head, tail};
    *tail = HEAP_LINK{address + span, nullptr, 0, VHP_LINK_SENTINEL, link, nullptr};
    *desc = HEAP_BLOCK_DESC{span, address, nullptr, VHP_BLOCK_FREE, link};
    index_free_block(heap, desc);
    index_insert(heap->pAddressIndex, link);
    chunk->pHead = head;
    chunk->pTail = tail;
    chunk->pNext = heap->pChunkList;
    heap->pChunkList = chunk;
    heap->dwChunkNum++;
    return true;
}

void set_error(uint32_t* error, uint32_t code)
{
    if (error) *error = code;
}

// Takes the free block of neighbour, a link beside desc's, out of the books; its range joins desc,
// which starts where the neighbour started when the neighbour lies below it. The address index
// keeps one entry for the joined block: the lower address's, now naming desc's link.
void absorb(CHeap* heap, HEAP_BLOCK_DESC* desc, HEAP_LINK* neighbour, bool below)
{
    HEAP_BLOCK_DESC* merged = neighbour->pDesc;
    BSAEDeleteItem(&heap->freeIndex, merged->pIndexHandle);
    merged->pIndexHandle = nullptr;
    merged->dwState = VHP_BLOCK_MERGED;
    if (below) {
        index_remove(heap->pAddressIndex, desc->dwAddress);
        index_retarget(heap->pAddressIndex, merged->dwAddress, desc->pLink);
        desc->dwAddress = merged->dwAddress;
    } else {
        index_remove(heap->pAddressIndex, merged->dwAddress);
    }
    neighbour->pPrev->pNext = neighbour->pNext;
    neighbour->pNext->pPrev = neighbour->pPrev;
    LALFree(heap->pLinkPool, neighbour);
    desc->dwSize += merged->dwSize;
    LALFree(heap->pDescPool, merged);
}

}  // namespace

GEVRAST_API(CHeap*) VHPCreateHeap(void)
{
    return static_cast<CHeap*>(calloc(1, sizeof(CHeap)));
}

GEVRAST_API(uint32_t) VHPInitialize(CHeap* pHeap, uint32_t dwBaseAddress, uint32_t dwMassMemorySize,
                                    uint32_t dwMaxBlockNum, uint32_t dwUnitSize, uint32_t dwUnitsPerAlign,
                                    uint32_t dwUserValue)
{
    // Initialising again starts over instead of losing the earlier books.
    release_books(pHeap);

    pHeap->dwUnitSize = dwUnitSize ? dwUnitSize : 1;
    // Address 0 means "no block" to callers, so a range at 0 starts one unit higher.
    pHeap->dwBaseAddress = dwBaseAddress ? dwBaseAddress : pHeap->dwUnitSize;
    pHeap->dwMassMemorySize = dwMassMemorySize;
    pHeap->dwAlignBytes = dwUnitsPerAlign ? dwUnitsPerAlign * pHeap->dwUnitSize : dwMassMemorySize;
    pHeap->dwUserValue = dwUserValue;

    const uint32_t span = pHeap->dwAlignBytes;
    if (dwMassMemorySize < span)
        gevrast::message_box("CHeap::Initialize, dwAlignBytes > dwMassMemorySize", "Error");
    // An empty span (an empty range with no units per span) would make chunks without end.
    const uint32_t chunks = span && dwMassMemorySize >= span ? dwMassMemorySize / span : 0;

    // Every chunk takes a descriptor and three links at once: a count too small for that is
    // raised rather than running the pools dry halfway through the range.
    const uint32_t max_blocks = block_count_for(dwMaxBlockNum, chunks);
    pHeap->dwMaxBlockNum = max_blocks;
    pHeap->pDescPool = CreateStaticMemoryPool();
    pHeap->pLinkPool = CreateStaticMemoryPool();
    if (pHeap->pDescPool) InitializeStaticMemoryPool(pHeap->pDescPool, kDescriptorBytes, max_blocks / 4, max_blocks);
    if (pHeap->pLinkPool)
        InitializeStaticMemoryPool(pHeap->pLinkPool, kLinkBytes, 3 * max_blocks / 4, 3 * max_blocks);
    BSAEInitialize(&pHeap->freeIndex, max_blocks);
    pHeap->pAddressIndex = create_address_index(max_blocks);

    if (!pHeap->pDescPool || !pHeap->pLinkPool) return 1;
    // Chunks whose records cannot be had (memory refused) are left out, from the top of the range.
    uint32_t address = pHeap->dwBaseAddress;
    for (uint32_t i = 0; i < chunks && add_chunk(pHeap, address); ++i) address += span;
    return 1;
}

GEVRAST_API(uint32_t) VHPAlloc(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwSize, uint32_t bSpanCheck)
{
    if (bSpanCheck && dwSize > pHeap->dwAlignBytes) {
        set_error(pdwErrorCode, VHP_ERROR_SPAN);
        return 0;
    }
    // An empty block would share its address with the block after it, and a free could not tell
    // the two apart: such requests are refused.
    ITEM_CONTAINER* found = dwSize ? BSAESearchItemContainer(&pHeap->freeIndex, dwSize) : nullptr;
    if (!found) {
        set_error(pdwErrorCode, VHP_ERROR_NO_BLOCK);
        return 0;
    }
    HEAP_BLOCK_DESC* desc = static_cast<HEAP_BLOCK_DESC*>(found->pItem);
    HEAP_LINK* link = desc->pLink;

    // The remainder's records are taken first, so a refused split leaves the heap as it was.
    HEAP_BLOCK_DESC* rest = nullptr;
    HEAP_LINK* rest_link = nullptr;
    if (desc->dwSize > dwSize) {
        rest = static_cast<HEAP_BLOCK_DESC*>(LALAlloc(pHeap->pDescPool));
        rest_link = rest ? static_cast<HEAP_LINK*>(LALAlloc(pHeap->pLinkPool)) : nullptr;
        if (!rest_link) {
            if (rest) LALFree(pHeap->pDescPool, rest);
            set_error(pdwErrorCode, VHP_ERROR_NO_RECORD);
            return 0;
        }
    }

    BSAEDeleteItem(&pHeap->freeIndex, found);
    desc->pIndexHandle = nullptr;
    if (rest) {
        const uint32_t rest_address = desc->dwAddress + dwSize;
        const uint32_t rest_size = desc->dwSize - dwSize;
        *rest = HEAP_BLOCK_DESC{rest_size, rest_address, nullptr, VHP_BLOCK_FREE, rest_link};
        *rest_link = HEAP_LINK{rest_address, rest, rest_size, VHP_BLOCK_FREE, link, link->pNext};
        link->pNext->pPrev = rest_link;
        link->pNext = rest_link;
        index_free_block(pHeap, rest);
        index_insert(pHeap->pAddressIndex, rest_link);
    }
    desc->dwSize = link->dwSize = dwSize;
    desc->dwState = link->dwState = VHP_BLOCK_ALLOCATED;
    set_error(pdwErrorCode, VHP_ERROR_NONE);
    return desc->dwAddress;
}

GEVRAST_API(uint32_t) VHPAllocUnit(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwUnitNum, uint32_t* pdwBytes,
                                   uint32_t bSpanCheck)
{
    const uint64_t bytes = static_cast<uint64_t>(dwUnitNum) * pHeap->dwUnitSize;
    if (bytes > UINT32_MAX) {
        // A wrapped byte count would hand out a block smaller than asked for.
        *pdwBytes = UINT32_MAX;
        set_error(pdwErrorCode, bSpanCheck ? VHP_ERROR_SPAN : VHP_ERROR_NO_BLOCK);
        return 0;
    }
    *pdwBytes = static_cast<uint32_t>(bytes);
    return VHPAlloc(pHeap, pdwErrorCode, *pdwBytes, bSpanCheck);
}

GEVRAST_API(uint32_t) VHPFree(CHeap* pHeap, uint32_t dwAddress)
{
    HEAP_LINK* link = find_block(pHeap, dwAddress);
    if (!link || link->dwState != VHP_BLOCK_ALLOCATED) return 0;
    HEAP_BLOCK_DESC* desc = link->pDesc;
    const uint32_t freed = desc->dwSize;

    // Sentinels are never free, so merging stops at the chunk's ends.
    if (link->pPrev->dwState == VHP_BLOCK_FREE) absorb(pHeap, desc, link->pPrev, true);
    if (link->pNext->dwState == VHP_BLOCK_FREE) absorb(pHeap, desc, link->pNext, false);

    desc->dwState = link->dwState = VHP_BLOCK_FREE;
    link->dwSize = desc->dwSize;
    link->dwAddress = desc->dwAddress;
    index_free_block(pHeap, desc);
    return freed;
}

GEVRAST_API(uint32_t) VHPDBGAlloc(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwSize, uint32_t bSpanCheck)
{
    return VHPAlloc(pHeap, pdwErrorCode, dwSize, bSpanCheck);
}

GEVRAST_API(uint32_t) VHPDBGAllocUnit(CHeap* pHeap, uint32_t* pdwErrorCode, uint32_t dwUnitNum, uint32_t* pdwBytes,
                                      uint32_t bSpanCheck)
{
    return VHPAllocUnit(pHeap, pdwErrorCode, dwUnitNum, pdwBytes, bSpanCheck);
}

GEVRAST_API(uint32_t) VHPDBGFree(CHeap* pHeap, uint32_t dwAddress)
{
    return VHPFree(pHeap, dwAddress);
}

GEVRAST_API(void) VHPHeapCheck(CHeap*)
{
}

GEVRAST_API(void) VHPLeakCheck(CHeap* pHeap)
{
    gevrast::debug_output("Begin LeakCheck\n");
    for (const HEAP_CHUNK* chunk = pHeap->pChunkList; chunk; chunk = chunk->pNext) {
        for (const HEAP_LINK* link = chunk->pHead; link; link = link->pNext) {
            const HEAP_BLOCK_DESC* desc = link->pDesc;
            if (!desc || desc->dwSize == pHeap->dwAlignBytes) continue;
            // The address is printed as a 32-bit pointer is: eight upper-case hex digits.
            gevrast::debug_outputf(512, "heap block not freed!!! address: %08X , size : %u \n",
                                   static_cast<unsigned>(desc->dwAddress), static_cast<unsigned>(desc->dwSize));
        }
    }
    gevrast::debug_output("End LeakCheck\n");
}

GEVRAST_API(void) VHPReleaseHeap(CHeap* pHeap)
{
    if (!pHeap) return;
    release_books(pHeap);
    free(pHeap);
}
