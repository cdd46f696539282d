// Static memory pool, resource pool and index creator.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "GevrastSSE.h"
#include "debug_capture.h"

namespace {

struct Pool {
    Pool(uint32_t unit, uint32_t step, uint32_t max) : p(CreateStaticMemoryPool())
    {
        EXPECT_EQ(InitializeStaticMemoryPool(p, unit, step, max), 1u);
    }
    ~Pool() { ReleaseStaticMemoryPool(p); }
    STATIC_MEMORY_POOL* p;
};

uint8_t* slot_of(const STATIC_MEMORY_POOL* pool, uint32_t k)
{
    return pool->pDataRegion + k * (pool->dwUnitSize + sizeof(POOL_NODE*));
}

std::string invalid_block_message(const void* unit)
{
    char text[64];
    snprintf(text, sizeof(text), "Fail to LALFree,%08X is invalid block",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(unit) - sizeof(POOL_NODE*)));
    return text;
}

TEST(StaticMemoryPool, CreateIsZeroFilledAndInitializeCommitsTheFirstStep)
{
    STATIC_MEMORY_POOL* p = CreateStaticMemoryPool();
    ASSERT_NE(p, nullptr);
    STATIC_MEMORY_POOL zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(memcmp(p, &zero, sizeof(zero)), 0);
    // Nothing to grow into before initialisation.
    EXPECT_EQ(LALAlloc(p), nullptr);

    ASSERT_EQ(InitializeStaticMemoryPool(p, 20, 4, 10), 1u);
    EXPECT_EQ(p->dwUnitSize, 20u);
    EXPECT_EQ(p->dwGrowthStep, 4u);
    EXPECT_EQ(p->dwMaxNum, 10u);
    EXPECT_EQ(p->dwCommittedNum, 4u);
    EXPECT_EQ(p->dwAllocatedNum, 0u);
    ASSERT_NE(p->pDataRegion, nullptr);
    ASSERT_NE(p->pNodeRegion, nullptr);
    // The committed slots are chained in order, each slot's header naming its node.
    for (uint32_t k = 0; k < 4; ++k) {
        POOL_NODE* node = p->pNodeRegion + k;
        EXPECT_EQ(node->pSlot, slot_of(p, k));
        EXPECT_EQ(node->pNext, k < 3 ? node + 1 : nullptr);
        POOL_NODE* header;
        memcpy(&header, slot_of(p, k), sizeof(header));
        EXPECT_EQ(header, node);
    }
    EXPECT_EQ(p->pFreeList, p->pNodeRegion);
    ReleaseStaticMemoryPool(p);
}

TEST(StaticMemoryPool, GrowsInWholeStepsAndNeverUsesALastPartialStep)
{
    Pool pool(20, 4, 10);
    std::vector<uint8_t*> units;
    for (uint32_t i = 1; i <= 8; ++i) {
        units.push_back(static_cast<uint8_t*>(LALAlloc(pool.p)));
        ASSERT_NE(units.back(), nullptr) << "allocation " << i;
        EXPECT_EQ(pool.p->dwCommittedNum, i <= 4 ? 4u : 8u) << "allocation " << i;
    }
    EXPECT_EQ(LALAlloc(pool.p), nullptr);
    EXPECT_EQ(pool.p->dwCommittedNum, 8u);
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 8u);
    // Units sit in slot order in the one reservation: growth did not move anything.
    for (uint32_t k = 0; k < 8; ++k) EXPECT_EQ(units[k], slot_of(pool.p, k) + sizeof(POOL_NODE*));
}

TEST(StaticMemoryPool, StepZeroCommitsNothingUpFrontAndGrowsOneUnitAtATime)
{
    Pool pool(16, 0, 5);
    EXPECT_EQ(pool.p->dwCommittedNum, 0u);
    EXPECT_EQ(pool.p->dwGrowthStep, 1u);
    EXPECT_EQ(pool.p->pFreeList, nullptr);
    for (uint32_t i = 1; i <= 5; ++i) {
        ASSERT_NE(LALAlloc(pool.p), nullptr);
        EXPECT_EQ(pool.p->dwCommittedNum, i);
    }
    EXPECT_EQ(LALAlloc(pool.p), nullptr);
}

TEST(StaticMemoryPool, UnitsAreZeroWhenFreshAndKeepTheirBytesWhenReusedLastFreedFirst)
{
    Pool pool(32, 2, 8);
    std::vector<uint8_t*> units;
    for (int i = 0; i < 6; ++i) {
        uint8_t* u = static_cast<uint8_t*>(LALAlloc(pool.p));
        ASSERT_NE(u, nullptr);
        for (int b = 0; b < 32; ++b) ASSERT_EQ(u[b], 0) << "unit " << i;
        memset(u, 0xA0 + i, 32);  // the whole unit, up to the next slot's header
        units.push_back(u);
    }
    // Writing a full unit must not have disturbed any other unit.
    for (int i = 0; i < 6; ++i)
        for (int b = 0; b < 32; ++b) ASSERT_EQ(units[i][b], 0xA0 + i);

    LALFree(pool.p, units[1]);
    LALFree(pool.p, units[4]);
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 4u);
    uint8_t* first = static_cast<uint8_t*>(LALAlloc(pool.p));
    uint8_t* second = static_cast<uint8_t*>(LALAlloc(pool.p));
    EXPECT_EQ(first, units[4]);
    EXPECT_EQ(second, units[1]);
    EXPECT_EQ(first[0], 0xA4);
    EXPECT_EQ(second[31], 0xA1);
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 6u);

    // Freeing null changes nothing.
    LALFree(pool.p, nullptr);
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 6u);
}

TEST(StaticMemoryPool, DoubleFreeIsReportedOnceAndIgnored)
{
    Pool pool(8, 4, 4);
    void* a = LALAlloc(pool.p);
    void* b = LALAlloc(pool.p);
    DebugCapture capture;

    // Checked free without the block check.
    LALFreeWithCheck(pool.p, a);
    EXPECT_TRUE(capture.messages().empty());
    LALFreeWithCheck(pool.p, a);
    ASSERT_EQ(capture.messages().size(), 1u);
    EXPECT_EQ(capture.messages()[0], invalid_block_message(a));
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 1u);

    // With the block check on, the plain free checks too.
    EXPECT_EQ(LALEnableBlockCheck(pool.p, 1), pool.p);
    LALFree(pool.p, b);
    LALFree(pool.p, b);
    ASSERT_EQ(capture.messages().size(), 2u);
    EXPECT_EQ(capture.messages()[1], invalid_block_message(b));
    EXPECT_EQ(LALGetAllocatedNum(pool.p), 0u);

    // The free list was not corrupted: each unit comes back exactly once.
    void* x = LALAlloc(pool.p);
    void* y = LALAlloc(pool.p);
    EXPECT_EQ(x, b);
    EXPECT_EQ(y, a);
    EXPECT_NE(LALAlloc(pool.p), a);
}

TEST(StaticMemoryPool, RangesThatCannotBeReservedAreRefusedAndThePoolStaysEmpty)
{
    STATIC_MEMORY_POOL* p = CreateStaticMemoryPool();
    EXPECT_EQ(InitializeStaticMemoryPool(p, 0xFFFFFFFFu, 1, 1), 0u);
    EXPECT_EQ(LALAlloc(p), nullptr);
    EXPECT_EQ(InitializeStaticMemoryPool(p, 1024, 1, 0x00400000u), 0u);  // 4 GiB of slots
    EXPECT_EQ(LALAlloc(p), nullptr);
    EXPECT_EQ(InitializeStaticMemoryPool(p, 16, 4, 0), 0u);  // nothing to reserve
    EXPECT_EQ(LALAlloc(p), nullptr);
    // The same object still works once given a sensible size.
    EXPECT_EQ(InitializeStaticMemoryPool(p, 16, 4, 4), 1u);
    EXPECT_NE(LALAlloc(p), nullptr);
    ReleaseStaticMemoryPool(p);
}

#if defined(_WIN32)
TEST(StaticMemoryPool, AddressSpaceIsReservedForTheMaximumAndCommittedByStep)
{
    // 4092-byte units make each slot exactly one page.
    Pool pool(4092, 2, 16);
    auto state = [&](uint32_t slot) {
        MEMORY_BASIC_INFORMATION info;
        EXPECT_NE(VirtualQuery(slot_of(pool.p, slot), &info, sizeof(info)), 0u);
        return info.State;
    };
    EXPECT_EQ(state(0), static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(state(1), static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(state(2), static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(state(15), static_cast<DWORD>(MEM_RESERVE));
    for (int i = 0; i < 3; ++i) ASSERT_NE(LALAlloc(pool.p), nullptr);
    EXPECT_EQ(state(3), static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(state(4), static_cast<DWORD>(MEM_RESERVE));
}
#endif

// Resource pool callbacks record every call; a resource is 100 + the number of creations.
std::vector<std::vector<uint32_t>> g_created;
std::vector<uint32_t> g_destroyed;

uint32_t GEVRAST_CALLBACK CreateResource(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    g_created.push_back({a, b, c, d});
    return 100 + static_cast<uint32_t>(g_created.size());
}

uint32_t GEVRAST_CALLBACK DestroyResource(uint32_t resource)
{
    g_destroyed.push_back(resource);
    return 0xDEAD;
}

class ResourcePool : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_created.clear();
        g_destroyed.clear();
        pool = CreateResourcePool();
        ASSERT_NE(pool, nullptr);
    }
    void TearDown() override { RCPRelease(pool); }
    RESOURCE_POOL* pool = nullptr;
};

TEST_F(ResourcePool, AllocCreatesWithTheFourArgumentsAndListsNewestFirst)
{
    ASSERT_EQ(RCPInitialize(pool, 4, CreateResource, DestroyResource), 1u);
    uint32_t owner_a = 0, owner_b = 0;
    RESOURCE_RECORD* out = nullptr;
    RESOURCE_RECORD* a = RCPAlloc(pool, &owner_a, &out, 1, 2, 3, 4);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(out, a);
    RESOURCE_RECORD* b = RCPAlloc(pool, &owner_b, nullptr, 5, 6, 7, 8);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(g_created, (std::vector<std::vector<uint32_t>>{{1, 2, 3, 4}, {5, 6, 7, 8}}));
    EXPECT_EQ(a->dwResource, 101u);
    EXPECT_EQ(b->dwResource, 102u);
    EXPECT_EQ(a->pOwnerSlot, &owner_a);
    EXPECT_EQ(a->link.pItem, a);
    EXPECT_EQ(pool->pHead, &b->link);
    EXPECT_EQ(pool->pTail, &a->link);
    EXPECT_EQ(LALGetAllocatedNum(pool->pRecordPool), 2u);
    EXPECT_TRUE(g_destroyed.empty());
}

TEST_F(ResourcePool, WhenFullTheNewestResourceIsDestroyedAndItsUnitReused)
{
    ASSERT_EQ(RCPInitialize(pool, 2, CreateResource, DestroyResource), 1u);
    uint32_t owner_a = 1, owner_b = 1, owner_c = 1;
    RESOURCE_RECORD* a = RCPAlloc(pool, &owner_a, nullptr, 0, 0, 0, 0);
    RESOURCE_RECORD* b = RCPAlloc(pool, &owner_b, nullptr, 0, 0, 0, 0);
    RESOURCE_RECORD* c = RCPAlloc(pool, &owner_c, nullptr, 0, 0, 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c, b);
    EXPECT_EQ(owner_b, 0u);
    EXPECT_EQ(owner_a, 1u);
    EXPECT_EQ(owner_c, 1u);
    EXPECT_EQ(g_destroyed, (std::vector<uint32_t>{102}));
    EXPECT_EQ(c->dwResource, 103u);
    EXPECT_EQ(c->pOwnerSlot, &owner_c);
    // The list holds exactly the two live records, newest first.
    EXPECT_EQ(pool->pHead, &c->link);
    EXPECT_EQ(c->link.pNext, &a->link);
    EXPECT_EQ(a->link.pPrev, &c->link);
    EXPECT_EQ(pool->pTail, &a->link);
    EXPECT_EQ(a->link.pNext, nullptr);
}

TEST_F(ResourcePool, FreeAndFreeAllDestroyClearOwnersAndReturnUnits)
{
    ASSERT_EQ(RCPInitialize(pool, 8, CreateResource, DestroyResource), 1u);
    uint32_t owners[3] = {9, 9, 9};
    RESOURCE_RECORD* r[3];
    for (int i = 0; i < 3; ++i) r[i] = RCPAlloc(pool, &owners[i], nullptr, 0, 0, 0, 0);

    RCPFree(pool, r[1]);
    EXPECT_EQ(owners[1], 0u);
    EXPECT_EQ(g_destroyed, (std::vector<uint32_t>{102}));
    EXPECT_EQ(LALGetAllocatedNum(pool->pRecordPool), 2u);
    EXPECT_EQ(r[2]->link.pNext, &r[0]->link);
    EXPECT_EQ(r[0]->link.pPrev, &r[2]->link);

    RCPFreeAll(pool);
    EXPECT_EQ(g_destroyed, (std::vector<uint32_t>{102, 103, 101}));
    EXPECT_EQ(owners[0], 0u);
    EXPECT_EQ(owners[2], 0u);
    EXPECT_EQ(pool->pHead, nullptr);
    EXPECT_EQ(pool->pTail, nullptr);
    EXPECT_EQ(LALGetAllocatedNum(pool->pRecordPool), 0u);
    RCPFreeAll(pool);
    EXPECT_EQ(g_destroyed.size(), 3u);
}

TEST_F(ResourcePool, ReleaseDestroysWhatIsStillLive)
{
    ASSERT_EQ(RCPInitialize(pool, 3, CreateResource, DestroyResource), 1u);
    uint32_t owner = 5;
    RCPAlloc(pool, &owner, nullptr, 0, 0, 0, 0);
    RCPRelease(pool);
    pool = nullptr;
    EXPECT_EQ(g_destroyed, (std::vector<uint32_t>{101}));
    EXPECT_EQ(owner, 0u);
    RCPRelease(nullptr);
}

TEST_F(ResourcePool, AZeroMaximumRefusesEveryAllocationWithoutCreating)
{
    EXPECT_EQ(RCPInitialize(pool, 0, CreateResource, DestroyResource), 1u);
    uint32_t owner = 7;
    RESOURCE_RECORD* out = nullptr;
    EXPECT_EQ(RCPAlloc(pool, &owner, &out, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(owner, 7u);
    EXPECT_TRUE(g_created.empty());
}

struct Creator {
    explicit Creator(uint32_t capacity, uint32_t expect = 1) : ic(ICCreate())
    {
        EXPECT_EQ(ICInitialize(ic, capacity), expect);
    }
    ~Creator() { ICRelease(ic); }
    std::vector<uint32_t> take(int n)
    {
        std::vector<uint32_t> got;
        for (int i = 0; i < n; ++i) got.push_back(ICAllocIndex(ic));
        return got;
    }
    INDEX_CREATOR* ic;
};

TEST(IndexCreator, HandsOutOneToCapacityThenFreedIndicesInFreeOrder)
{
    Creator c(3);
    EXPECT_EQ(c.take(4), (std::vector<uint32_t>{1, 2, 3, 0}));
    EXPECT_EQ(ICGetIndexNum(c.ic), 3u);
    ICFreeIndex(c.ic, 2);
    ICFreeIndex(c.ic, 1);
    EXPECT_EQ(ICGetIndexNum(c.ic), 1u);
    EXPECT_EQ(c.take(3), (std::vector<uint32_t>{2, 1, 0}));
}

TEST(IndexCreator, NeverUsedIndicesComeBeforeFreedOnes)
{
    Creator c(5);
    EXPECT_EQ(c.take(2), (std::vector<uint32_t>{1, 2}));
    ICFreeIndex(c.ic, 1);
    EXPECT_EQ(c.take(5), (std::vector<uint32_t>{3, 4, 5, 1, 0}));
}

TEST(IndexCreator, IndicesNotHandedOutAreIgnoredOnFree)
{
    Creator c(3);
    EXPECT_EQ(c.take(2), (std::vector<uint32_t>{1, 2}));
    ICFreeIndex(c.ic, 0);
    ICFreeIndex(c.ic, 4);
    ICFreeIndex(c.ic, 0xFFFFFFFFu);
    ICFreeIndex(c.ic, 3);  // in range but never handed out
    EXPECT_EQ(ICGetIndexNum(c.ic), 2u);
    ICFreeIndex(c.ic, 2);
    ICFreeIndex(c.ic, 2);  // a second free must not queue the index twice
    EXPECT_EQ(ICGetIndexNum(c.ic), 1u);
    EXPECT_EQ(c.take(3), (std::vector<uint32_t>{3, 2, 0}));
}

TEST(IndexCreator, CapacityOneCyclesItsSingleIndex)
{
    Creator c(1);
    EXPECT_EQ(c.take(2), (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(c.ic->pFreeHead, nullptr);
    EXPECT_EQ(c.ic->pFreeTail, nullptr);
    ICFreeIndex(c.ic, 1);
    EXPECT_EQ(c.ic->pFreeHead, c.ic->pFreeTail);
    EXPECT_EQ(c.take(2), (std::vector<uint32_t>{1, 0}));
}

TEST(IndexCreator, ZeroAndOversizedCapacitiesAreRefusedAndLeaveAnEmptyCreator)
{
    Creator zero(0, 0);
    EXPECT_EQ(ICAllocIndex(zero.ic), 0u);
    ICFreeIndex(zero.ic, 1);
    EXPECT_EQ(ICGetIndexNum(zero.ic), 0u);

    Creator huge(0x20000000u, 0);  // its node array alone would need 4 GiB
    EXPECT_EQ(ICAllocIndex(huge.ic), 0u);

    // A refused creator can be initialised again.
    EXPECT_EQ(ICInitialize(zero.ic, 2), 1u);
    EXPECT_EQ(zero.take(3), (std::vector<uint32_t>{1, 2, 0}));
    ICRelease(nullptr);
}

}  // namespace
