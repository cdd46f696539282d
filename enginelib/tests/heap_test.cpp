// Best-fit heap: chunk cutting, best fit, splitting and merging, the failure codes, the leak
// report, and a long random run checked against a plain model of the heap's books.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "debug_capture.h"
#include "message_box_capture.h"

namespace {

constexpr uint32_t kBase = 0x10000;

struct Heap {
    Heap(uint32_t base, uint32_t mass, uint32_t max_blocks, uint32_t unit, uint32_t units_per_span)
        : h(VHPCreateHeap())
    {
        EXPECT_EQ(VHPInitialize(h, base, mass, max_blocks, unit, units_per_span, 0x1234), 1u);
    }
    ~Heap() { VHPReleaseHeap(h); }
    uint32_t alloc(uint32_t size, uint32_t check = 0, uint32_t expected_error = 0)
    {
        uint32_t error = 0xEEEE;
        const uint32_t address = VHPAlloc(h, &error, size, check);
        EXPECT_EQ(error, expected_error) << "size " << size;
        return address;
    }
    CHeap* h;
};

std::vector<uint32_t> chunk_starts(const CHeap* heap)
{
    std::vector<uint32_t> starts;
    for (const HEAP_CHUNK* c = heap->pChunkList; c; c = c->pNext) starts.push_back(c->pHead->pNext->dwAddress);
    return starts;
}

// The books agree with themselves: every chunk is covered without gaps, no two free blocks are
// neighbours, descriptors and links match, and the index holds exactly the free blocks.
void expect_consistent(const CHeap* heap)
{
    uint32_t free_blocks = 0;
    uint32_t chunks = 0;
    for (const HEAP_CHUNK* c = heap->pChunkList; c; c = c->pNext, ++chunks) {
        ASSERT_TRUE(c->pHead->dwState == VHP_LINK_SENTINEL && c->pTail->dwState == VHP_LINK_SENTINEL);
        ASSERT_TRUE(!c->pHead->pPrev && !c->pTail->pNext);
        uint32_t at = c->pHead->pNext->dwAddress;
        EXPECT_EQ((at - heap->dwBaseAddress) % heap->dwAlignBytes, 0u);
        const uint32_t end = at + heap->dwAlignBytes;
        bool previous_free = false;
        for (const HEAP_LINK* l = c->pHead->pNext; l != c->pTail; l = l->pNext) {
            ASSERT_NE(l, nullptr);
            ASSERT_EQ(l->pPrev->pNext, l);
            const HEAP_BLOCK_DESC* d = l->pDesc;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(l->dwAddress, at);
            EXPECT_TRUE(d->pLink == l && d->dwAddress == l->dwAddress && d->dwSize == l->dwSize &&
                        d->dwState == l->dwState) << "descriptor and link disagree at " << at;
            EXPECT_GT(l->dwSize, 0u);
            const bool is_free = l->dwState == VHP_BLOCK_FREE;
            EXPECT_TRUE(is_free || l->dwState == VHP_BLOCK_ALLOCATED);
            EXPECT_FALSE(is_free && previous_free) << "neighbouring free blocks at " << at;
            if (is_free) {
                ++free_blocks;
                ASSERT_NE(d->pIndexHandle, nullptr);
                EXPECT_TRUE(d->pIndexHandle->pItem == d && d->pIndexHandle->dwKey == d->dwSize);
            } else {
                EXPECT_EQ(d->pIndexHandle, nullptr);
            }
            previous_free = is_free;
            at += l->dwSize;
        }
        EXPECT_EQ(at, end);
    }
    EXPECT_EQ(chunks, heap->dwChunkNum);
    EXPECT_EQ(BSAEGetItemNum(const_cast<BSAE*>(&heap->freeIndex)), free_blocks);
}

std::vector<std::string> leak_report(CHeap* heap)
{
    DebugCapture capture;
    VHPLeakCheck(heap);
    return capture.messages();
}

std::string leak_line(uint32_t address, uint32_t size)
{
    char text[128];
    snprintf(text, sizeof(text), "heap block not freed!!! address: %08X , size : %u \n", address, size);
    return text;
}

TEST(Heap, RangeIsCutIntoWholeChunksListedFromTheTop)
{
    Heap heap(kBase, 1000, 64, 16, 16);
    EXPECT_EQ(heap.h->dwAlignBytes, 256u);
    EXPECT_EQ(heap.h->dwUnitSize, 16u);
    EXPECT_EQ(heap.h->dwChunkNum, 3u);
    EXPECT_EQ(chunk_starts(heap.h), (std::vector<uint32_t>{kBase + 512, kBase + 256, kBase}));
    EXPECT_EQ(heap.h->dwUserValue, 0x1234u);
    expect_consistent(heap.h);

    // Whole chunks come out newest first; the 232 bytes past the third chunk are never used.
    EXPECT_EQ(heap.alloc(256), kBase + 512);
    EXPECT_EQ(heap.alloc(256), kBase + 256);
    EXPECT_EQ(heap.alloc(256), kBase);
    EXPECT_EQ(heap.alloc(1, 0, VHP_ERROR_NO_BLOCK), 0u);
    expect_consistent(heap.h);
}

TEST(Heap, DefaultsKeepAddressZeroOutAndInitialisingAgainStartsOver)
{
    Heap heap(0, 512, 16, 16, 16);
    EXPECT_EQ(chunk_starts(heap.h), (std::vector<uint32_t>{16 + 256, 16}));

    Heap bytes(0, 100, 16, 0, 0);  // unit 1, one chunk of the whole range
    EXPECT_EQ(bytes.h->dwUnitSize, 1u);
    EXPECT_EQ(bytes.h->dwAlignBytes, 100u);
    EXPECT_EQ(chunk_starts(bytes.h), std::vector<uint32_t>{1});
    EXPECT_EQ(bytes.alloc(100), 1u);

    // Initialising again starts over with the new range; releasing null is accepted.
    EXPECT_EQ(VHPInitialize(bytes.h, 0x40000, 256, 8, 8, 32, 0), 1u);
    EXPECT_EQ(chunk_starts(bytes.h), std::vector<uint32_t>{0x40000});
    EXPECT_EQ(bytes.alloc(256), 0x40000u);
    VHPReleaseHeap(nullptr);
}

TEST(Heap, RangeSmallerThanSpanShowsTheOneMessageBoxAndServesNothing)
{
    MessageBoxCapture boxes;
    ASSERT_TRUE(boxes.active());
    Heap heap(kBase, 100, 16, 16, 16);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "CHeap::Initialize, dwAlignBytes > dwMassMemorySize");
    EXPECT_EQ(boxes.boxes()[0].caption, "Error");
    EXPECT_FALSE(boxes.boxes()[0].has_owner);
    EXPECT_EQ(boxes.boxes()[0].type, 0u);  // MB_OK

    EXPECT_EQ(heap.h->dwChunkNum, 0u);
    EXPECT_EQ(heap.alloc(1, 0, VHP_ERROR_NO_BLOCK), 0u);
    EXPECT_EQ(heap.alloc(16, 1, VHP_ERROR_NO_BLOCK), 0u);
    EXPECT_EQ(VHPFree(heap.h, kBase), 0u);
    EXPECT_EQ(leak_report(heap.h), (std::vector<std::string>{"Begin LeakCheck\n", "End LeakCheck\n"}));

    // An empty range with no span given has no chunks either, and no box: the span is empty too.
    Heap empty(kBase, 0, 16, 16, 0);
    EXPECT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(empty.h->dwChunkNum, 0u);
}

TEST(Heap, FailedAllocationsReportTheirReasonAndChangeNothing)
{
    Heap heap(kBase, 512, 64, 16, 16);
    EXPECT_EQ(heap.alloc(300, 1, VHP_ERROR_SPAN), 0u);
    EXPECT_EQ(heap.alloc(300, 0, VHP_ERROR_NO_BLOCK), 0u);  // no block is larger than a chunk
    EXPECT_EQ(heap.alloc(256, 1), kBase + 256);             // exactly the span passes the check
    EXPECT_EQ(VHPAlloc(heap.h, nullptr, 300, 1), 0u);       // no error-code address
    const uint32_t free_before = BSAEGetItemNum(&heap.h->freeIndex);
    // A request of 0 bytes is refused: an empty block would share its address with its neighbour.
    EXPECT_EQ(heap.alloc(0, 0, VHP_ERROR_NO_BLOCK), 0u);
    uint32_t bytes = 7;
    uint32_t error = 0xEEEE;
    EXPECT_EQ(VHPAllocUnit(heap.h, &error, 0, &bytes, 0), 0u);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(error, VHP_ERROR_NO_BLOCK);
    // A unit count whose byte size does not fit in 32 bits never wraps into a small block.
    EXPECT_EQ(VHPAllocUnit(heap.h, &error, 0x10000001u, &bytes, 0), 0u);
    EXPECT_EQ(error, VHP_ERROR_NO_BLOCK);
    EXPECT_EQ(VHPAllocUnit(heap.h, &error, 0x10000001u, &bytes, 1), 0u);
    EXPECT_EQ(error, VHP_ERROR_SPAN);
    EXPECT_EQ(BSAEGetItemNum(&heap.h->freeIndex), free_before);
    expect_consistent(heap.h);

    EXPECT_EQ(VHPDBGAllocUnit(heap.h, &error, 3, &bytes, 1), kBase);
    EXPECT_EQ(bytes, 48u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(VHPDBGAlloc(heap.h, &error, 8, 0), kBase + 48);
    EXPECT_EQ(VHPDBGFree(heap.h, kBase), 48u);
}

TEST(Heap, FreeMergesFreeNeighboursWithinTheChunkOnlyAndRefusesNonBlocks)
{
    Heap heap(kBase, 512, 64, 4, 64);  // two chunks of 256
    const uint32_t a = heap.alloc(100);
    const uint32_t b = heap.alloc(100);
    const uint32_t c = heap.alloc(56);
    EXPECT_EQ(a, kBase + 256);
    EXPECT_EQ(c, kBase + 456);

    EXPECT_EQ(VHPFree(heap.h, a), 100u);
    EXPECT_EQ(VHPFree(heap.h, c), 56u);
    // Addresses that start no allocated block change nothing: freed already, inside a block, a
    // wholly free chunk, the top sentinel, 0.
    for (uint32_t address : {a, c, b + 4, kBase, kBase + 512, 0u}) EXPECT_EQ(VHPFree(heap.h, address), 0u);
    expect_consistent(heap.h);
    EXPECT_EQ(VHPFree(heap.h, b), 100u);  // the size before merging
    const HEAP_LINK* whole = heap.h->pChunkList->pHead->pNext;
    EXPECT_EQ(whole->dwAddress, a);
    EXPECT_EQ(whole->dwSize, 256u);
    EXPECT_EQ(whole->pNext, heap.h->pChunkList->pTail);
    expect_consistent(heap.h);
    EXPECT_EQ(leak_report(heap.h), (std::vector<std::string>{"Begin LeakCheck\n", "End LeakCheck\n"}));

    // The top of the lower chunk and the bottom of the upper one are neighbours in the range but
    // never merge.
    const uint32_t upper = heap.alloc(256);
    const uint32_t lower_head = heap.alloc(200);
    const uint32_t lower_top = heap.alloc(56);
    EXPECT_EQ(lower_top + 56, upper);
    EXPECT_EQ(VHPFree(heap.h, lower_top), 56u);
    EXPECT_EQ(VHPFree(heap.h, upper), 256u);
    EXPECT_EQ(heap.h->pChunkList->pHead->pNext->dwSize, 256u);
    EXPECT_EQ(heap.h->pChunkList->pNext->pTail->pPrev->dwSize, 56u);
    EXPECT_EQ(VHPFree(heap.h, lower_head), 200u);
    expect_consistent(heap.h);
}

TEST(Heap, ThousandsOfBlocksAreFoundAndFreedInAnyOrder)
{
    constexpr uint32_t kBlocks = 2048;
    Heap heap(kBase, 4 * 1024, kBlocks, 1, 1024);
    std::vector<uint32_t> blocks;
    for (uint32_t i = 0; i < kBlocks; ++i) blocks.push_back(heap.alloc(i % 2 ? 3 : 1));
    EXPECT_EQ(heap.alloc(1, 0, VHP_ERROR_NO_BLOCK), 0u);  // 1024 pairs of 1 and 3 bytes fill 4 KiB
    std::mt19937 rng(11);
    std::shuffle(blocks.begin(), blocks.end(), rng);
    for (uint32_t address : blocks) {
        const uint32_t offset = (address - kBase) % 1024;
        ASSERT_EQ(VHPFree(heap.h, address), offset % 4 == 0 ? 1u : 3u) << address;
        ASSERT_EQ(VHPFree(heap.h, address), 0u) << address;  // freed once only
    }
    expect_consistent(heap.h);
    EXPECT_EQ(BSAEGetItemNum(&heap.h->freeIndex), 4u);
    EXPECT_EQ(leak_report(heap.h), (std::vector<std::string>{"Begin LeakCheck\n", "End LeakCheck\n"}));
}

TEST(Heap, RecordShortageRefusesSplitsButNeverChunks)
{
    Heap heap(kBase, 512, 2, 16, 16);  // two chunks, two descriptors
    const uint32_t free_before = BSAEGetItemNum(&heap.h->freeIndex);
    EXPECT_EQ(heap.alloc(100, 0, VHP_ERROR_NO_RECORD), 0u);
    EXPECT_EQ(BSAEGetItemNum(&heap.h->freeIndex), free_before);
    expect_consistent(heap.h);
    // The failed request left the newest chunk where it was: it is still the first choice.
    EXPECT_EQ(heap.alloc(256), kBase + 256);
    EXPECT_EQ(heap.alloc(256), kBase);
    EXPECT_EQ(VHPFree(heap.h, kBase + 256), 256u);
    EXPECT_EQ(heap.alloc(255, 0, VHP_ERROR_NO_RECORD), 0u);

    // A block count below the chunk count is raised so every chunk gets its records.
    for (uint32_t asked : {0u, 1u, 3u, 9u}) {
        Heap few(kBase, 9 * 256, asked, 16, 16);
        EXPECT_EQ(few.h->dwChunkNum, 9u) << asked;
        EXPECT_GE(few.h->dwMaxBlockNum, 9u);
        expect_consistent(few.h);
        for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(few.alloc(256), kBase + (8 - i) * 256) << asked;
        EXPECT_EQ(few.alloc(256, 0, VHP_ERROR_NO_BLOCK), 0u);
    }
    // A count that covers the chunks is kept as given.
    Heap roomy(kBase, 4 * 256, 40, 16, 16);
    EXPECT_EQ(roomy.h->dwMaxBlockNum, 40u);
}

TEST(Heap, LeakCheckListsEveryPieceOfChunksInUseNewestChunkFirst)
{
    Heap heap(kBase, 768, 64, 16, 16);
    const uint32_t top = heap.alloc(256);
    const uint32_t a = heap.alloc(32);
    const uint32_t b = heap.alloc(64);
    EXPECT_EQ(top, kBase + 512);
    EXPECT_EQ(a, kBase + 256);
    EXPECT_EQ(VHPFree(heap.h, a), 32u);
    VHPHeapCheck(heap.h);  // does nothing, reports nothing

    // The whole top chunk in use has the span's size and goes unreported; the middle chunk shows
    // its free piece, its block and its free rest; the bottom chunk is wholly free.
    EXPECT_EQ(leak_report(heap.h), (std::vector<std::string>{
                                       "Begin LeakCheck\n",
                                       leak_line(kBase + 256, 32),
                                       leak_line(b, 64),
                                       leak_line(kBase + 352, 160),
                                       "End LeakCheck\n",
                                   }));
}

// ---- the heap against a plain model --------------------------------------------------------

// The heap as described plainly: per chunk an address-ordered vector of blocks; best fit by
// scanning every free block; the most recently indexed of a size wins; freeing walks the chunks.
class Model {
public:
    Model(uint32_t base, uint32_t chunks, uint32_t span, uint32_t descriptors)
        : span_(span), descriptors_left_(descriptors - chunks)
    {
        for (uint32_t i = 0; i < chunks; ++i) chunks_.insert(chunks_.begin(), {{base + i * span, span, true, clock_++}});
    }

    uint32_t alloc(uint32_t size, uint32_t check, uint32_t* error)
    {
        if (check && size > span_) return *error = 1, 0;
        Block* best = nullptr;
        for (auto& chunk : chunks_)
            for (Block& b : chunk)
                if (b.free && b.size >= size && size &&
                    (!best || b.size < best->size || (b.size == best->size && b.stamp > best->stamp)))
                    best = &b;
        if (!best) return *error = 2, 0;
        if (best->size > size && descriptors_left_ == 0) return *error = 4, 0;
        *error = 0;
        const uint32_t address = best->address;
        for (auto& chunk : chunks_)
            for (size_t i = 0; i < chunk.size(); ++i)
                if (&chunk[i] == best) {
                    const Block rest{address + size, best->size - size, true, clock_++};
                    chunk[i].size = size;
                    chunk[i].free = false;
                    if (rest.size) {
                        --descriptors_left_;
                        chunk.insert(chunk.begin() + i + 1, rest);
                    }
                    return address;
                }
        return 0;
    }

    uint32_t free_block(uint32_t address)
    {
        for (auto& chunk : chunks_)
            for (size_t i = 0; i < chunk.size(); ++i) {
                if (chunk[i].address != address) continue;
                if (chunk[i].free) return 0;
                const uint32_t size = chunk[i].size;
                if (i + 1 < chunk.size() && chunk[i + 1].free) {
                    chunk[i].size += chunk[i + 1].size;
                    chunk.erase(chunk.begin() + i + 1);
                    ++descriptors_left_;
                }
                if (i > 0 && chunk[i - 1].free) {
                    chunk[i - 1].size += chunk[i].size;
                    chunk.erase(chunk.begin() + i);
                    ++descriptors_left_;
                    --i;
                }
                chunk[i].free = true;
                chunk[i].stamp = clock_++;
                return size;
            }
        return 0;
    }

    std::vector<std::string> leak_report() const
    {
        std::vector<std::string> lines{"Begin LeakCheck\n"};
        for (const auto& chunk : chunks_)
            for (const Block& b : chunk)
                if (b.size != span_) lines.push_back(leak_line(b.address, b.size));
        lines.push_back("End LeakCheck\n");
        return lines;
    }

private:
    struct Block {
        uint32_t address;
        uint32_t size;
        bool free;
        uint64_t stamp;  // when it was last indexed as free
    };
    std::vector<std::vector<Block>> chunks_;  // newest (highest) chunk first
    uint32_t span_;
    uint64_t clock_ = 0;
    uint32_t descriptors_left_;
};

void run_against_model(uint32_t chunks, uint32_t span, uint32_t max_blocks, uint32_t steps, unsigned seed)
{
    Heap heap(kBase, chunks * span + span / 2, max_blocks, 1, span);
    Model model(kBase, chunks, span, max_blocks);
    std::mt19937 rng(seed);
    std::vector<uint32_t> live;
    std::vector<uint32_t> dead;
    for (uint32_t step = 0; step < steps; ++step) {
        const uint32_t pick = rng() % 100;
        if (pick < 55 || live.empty()) {
            const uint32_t size = pick < 5 ? span + 1 + rng() % 8 : (pick % 3 ? 1 + rng() % (span / 8) : 1 + rng() % span);
            const uint32_t check = rng() % 2;
            uint32_t error = 0xEEEE;
            uint32_t expected_error = 0xDDDD;
            const uint32_t address = VHPAlloc(heap.h, &error, size, check);
            ASSERT_EQ(address, model.alloc(size, check, &expected_error)) << "step " << step << " size " << size;
            ASSERT_EQ(error, expected_error) << "step " << step;
            if (address) live.push_back(address);
        } else if (pick < 95 || dead.empty()) {
            const size_t i = rng() % live.size();
            const uint32_t address = live[i];
            live[i] = live.back();
            live.pop_back();
            ASSERT_EQ(VHPFree(heap.h, address), model.free_block(address)) << "step " << step;
            dead.push_back(address);
        } else {
            // An address freed before, or one byte into a block: usually not a block start.
            const uint32_t address = dead[rng() % dead.size()] + rng() % 2;
            ASSERT_EQ(VHPFree(heap.h, address), model.free_block(address)) << "step " << step;
            if (std::find(live.begin(), live.end(), address) != live.end())
                live.erase(std::find(live.begin(), live.end(), address));
        }
        if (step % 256 == 0) {
            expect_consistent(heap.h);
            ASSERT_EQ(leak_report(heap.h), model.leak_report()) << "step " << step;
        }
    }
    expect_consistent(heap.h);
    EXPECT_EQ(leak_report(heap.h), model.leak_report());
    for (uint32_t address : live) EXPECT_EQ(VHPFree(heap.h, address), model.free_block(address));
    EXPECT_EQ(leak_report(heap.h), (std::vector<std::string>{"Begin LeakCheck\n", "End LeakCheck\n"}));
}

TEST(HeapModel, RandomAllocationsAndFreesMatchThePlainModel)
{
    run_against_model(4, 1024, 400, 3000, 1);
    run_against_model(3, 256, 400, 3000, 2);
}

TEST(HeapModel, RandomRunWithFewDescriptorsMatchesThePlainModel)
{
    // 24 descriptors for four chunks: splits are often refused for want of a record.
    run_against_model(4, 512, 24, 3000, 3);
}

}  // namespace
