// Ordered multimap, item table and item queue.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "debug_capture.h"

namespace {

void* item(uintptr_t v) { return reinterpret_cast<void*>(v); }

struct Map {
    explicit Map(uint32_t capacity) : m(BSAECreate()) { EXPECT_EQ(BSAEInitialize(m, capacity), 1u); }
    ~Map() { BSAERelease(m); }
    BSAE* m;
};

// Checks the search-tree order and the parent links below n; returns the number of nodes.
size_t check_subtree(const BSAE_NODE* n, const BSAE_NODE* parent, uint64_t low, uint64_t high)
{
    if (!n) return 0;
    EXPECT_EQ(n->pParent, parent);
    EXPECT_GE(n->dwKey, low);
    EXPECT_LT(n->dwKey, high);
    EXPECT_GE(n->dwItemNum, 1u);
    return 1 + check_subtree(n->pLeft, n, low, n->dwKey) + check_subtree(n->pRight, n, uint64_t(n->dwKey) + 1, high);
}

TEST(OrderedMultimap, SearchFindsTheKeyOrTheSmallestLargerOneNewestItemFirst)
{
    Map map(8);
    BSAEInsertItem(map.m, 10, item(0x100));
    ITEM_CONTAINER* first20 = BSAEInsertItem(map.m, 20, item(0x200));
    BSAEInsertItem(map.m, 30, item(0x300));
    EXPECT_EQ(BSAESearchItem(map.m, 15), item(0x200));
    EXPECT_EQ(BSAESearchItem(map.m, 0), item(0x100));
    EXPECT_EQ(BSAESearchItem(map.m, 30), item(0x300));
    EXPECT_EQ(BSAESearchItem(map.m, 31), nullptr);
    EXPECT_EQ(BSAESearchItemContainer(map.m, 31), nullptr);

    ITEM_CONTAINER* second20 = BSAEInsertItem(map.m, 20, item(0x201));
    EXPECT_EQ(BSAESearchItem(map.m, 20), item(0x201));
    ITEM_CONTAINER* head = BSAESearchItemContainer(map.m, 11);
    ASSERT_EQ(head, second20);
    EXPECT_EQ(head->pNext, first20);
    EXPECT_EQ(first20->pPrev, second20);
    EXPECT_EQ(first20->pNext, nullptr);
    EXPECT_EQ(head->dwKey, 20u);
    EXPECT_EQ(head->pOwner, first20->pOwner);
    EXPECT_EQ(head->pOwner->dwItemNum, 2u);
    EXPECT_EQ(BSAEGetItemNum(map.m), 4u);
    // One node per distinct key.
    EXPECT_EQ(map.m->dwFreeNodeNum, 8u - 3u);
    EXPECT_EQ(map.m->dwFreeContainerNum, 8u - 4u);
}

TEST(OrderedMultimap, DeletingTheLastItemOfAKeyRemovesTheKey)
{
    Map map(8);
    ITEM_CONTAINER* a = BSAEInsertItem(map.m, 20, item(1));
    ITEM_CONTAINER* b = BSAEInsertItem(map.m, 20, item(2));
    BSAEInsertItem(map.m, 40, item(3));

    // Deleting the older item keeps the key with the newer one.
    EXPECT_EQ(BSAEDeleteItem(map.m, a), 1u);
    EXPECT_EQ(BSAESearchItem(map.m, 20), item(2));
    EXPECT_EQ(b->pNext, nullptr);
    EXPECT_EQ(a->pOwner, nullptr);
    EXPECT_EQ(a->pItem, nullptr);

    BSAE_NODE* node = b->pOwner;
    EXPECT_EQ(BSAEDeleteItem(map.m, b), 1u);
    EXPECT_EQ(BSAESearchItem(map.m, 20), item(3));
    EXPECT_EQ(node->dwKey, 0xCCCCCCCCu);
    EXPECT_EQ(BSAEGetItemNum(map.m), 1u);
    EXPECT_EQ(map.m->dwFreeNodeNum, 7u);
    EXPECT_EQ(map.m->dwFreeContainerNum, 7u);
    EXPECT_EQ(check_subtree(map.m->pRoot, nullptr, 0, 1ull << 32), 1u);
}

TEST(OrderedMultimap, RemovingANodeWithTwoChildrenHangsItsLeftSubtreeUnderTheSmallestOnTheRight)
{
    Map map(16);
    std::map<uint32_t, ITEM_CONTAINER*> by_key;
    for (uint32_t k : {50u, 30u, 70u, 20u, 40u, 60u, 80u, 75u, 90u}) by_key[k] = BSAEInsertItem(map.m, k, item(k));
    BSAE_NODE* n60 = by_key[60]->pOwner;
    BSAE_NODE* n75 = by_key[75]->pOwner;

    BSAEDeleteItem(map.m, by_key[70]);
    by_key.erase(70);
    // 80 takes 70's place; 60 goes under 75, the smallest key right of 70.
    EXPECT_EQ(map.m->pRoot->pRight, by_key[80]->pOwner);
    EXPECT_EQ(n75->pLeft, n60);
    EXPECT_EQ(check_subtree(map.m->pRoot, nullptr, 0, 1ull << 32), 8u);

    // And the root itself.
    BSAEDeleteItem(map.m, by_key[50]);
    by_key.erase(50);
    EXPECT_EQ(check_subtree(map.m->pRoot, nullptr, 0, 1ull << 32), 7u);
    for (const auto& [key, c] : by_key) EXPECT_EQ(BSAESearchItem(map.m, key), item(key)) << key;
    EXPECT_EQ(BSAESearchItem(map.m, 45), item(60));
    EXPECT_EQ(BSAESearchItem(map.m, 50), item(60));
}

TEST(OrderedMultimap, AgreesWithAReferenceMultimapThroughMixedInsertsAndDeletes)
{
    constexpr uint32_t kCapacity = 64;
    Map map(kCapacity);
    std::mt19937 rng(11);
    // key -> containers of that key, newest last
    std::map<uint32_t, std::vector<ITEM_CONTAINER*>> ref;
    std::vector<ITEM_CONTAINER*> live;
    uintptr_t next_item = 1;
    for (int step = 0; step < 1500; ++step) {
        const bool insert = live.empty() || (live.size() < kCapacity && rng() % 3 != 0);
        if (insert) {
            const uint32_t key = rng() % 40 * 5;
            ITEM_CONTAINER* c = BSAEInsertItem(map.m, key, item(next_item++));
            ASSERT_NE(c, nullptr);
            ref[key].push_back(c);
            live.push_back(c);
        } else {
            const size_t at = rng() % live.size();
            ITEM_CONTAINER* c = live[at];
            live.erase(live.begin() + at);
            auto& list = ref[c->dwKey];
            list.erase(std::find(list.begin(), list.end(), c));
            if (list.empty()) ref.erase(c->dwKey);
            ASSERT_EQ(BSAEDeleteItem(map.m, c), 1u);
        }
        ASSERT_EQ(BSAEGetItemNum(map.m), live.size());
        ASSERT_EQ(check_subtree(map.m->pRoot, nullptr, 0, 1ull << 32), ref.size());
        for (uint32_t probe = 0; probe <= 200; probe += 3) {
            auto it = ref.lower_bound(probe);
            ITEM_CONTAINER* expected = it == ref.end() ? nullptr : it->second.back();
            ASSERT_EQ(BSAESearchItemContainer(map.m, probe), expected) << "step " << step << " key " << probe;
        }
    }
    EXPECT_EQ(map.m->dwFreeContainerNum + live.size(), kCapacity);
    EXPECT_EQ(map.m->dwFreeNodeNum + ref.size(), kCapacity);
}

TEST(OrderedMultimap, AnExhaustedPoolRefusesInsertionWithoutChangingTheMap)
{
    Map map(2);
    ITEM_CONTAINER* a = BSAEInsertItem(map.m, 5, item(1));
    ASSERT_NE(BSAEInsertItem(map.m, 9, item(2)), nullptr);
    EXPECT_EQ(BSAEInsertItem(map.m, 7, item(3)), nullptr);
    EXPECT_EQ(BSAEInsertItem(map.m, 5, item(4)), nullptr);
    EXPECT_EQ(BSAEGetItemNum(map.m), 2u);
    EXPECT_EQ(BSAESearchItem(map.m, 6), item(2));
    EXPECT_EQ(check_subtree(map.m->pRoot, nullptr, 0, 1ull << 32), 2u);
    // A freed record is used again.
    BSAEDeleteItem(map.m, a);
    EXPECT_NE(BSAEInsertItem(map.m, 7, item(3)), nullptr);
    EXPECT_EQ(BSAESearchItem(map.m, 6), item(3));

    Map empty(0);
    EXPECT_EQ(BSAEInsertItem(empty.m, 1, item(1)), nullptr);
    EXPECT_EQ(BSAESearchItem(empty.m, 0), nullptr);
    BSAERelease(nullptr);
}

struct Table {
    explicit Table(uint32_t capacity) : t(ITCreate()) { EXPECT_EQ(ITInitialize(t, capacity), 1u); }
    ~Table() { ITRelease(t); }
    std::vector<uintptr_t> sequence() const
    {
        std::vector<uintptr_t> items;
        for (uint32_t i = 0; i < ITGetItemNum(t); ++i)
            items.push_back(reinterpret_cast<uintptr_t>(ITGetItemSequential(t, i)));
        return items;
    }
    ITEM_TABLE* t;
};

TEST(ItemTable, SlotsAreStableAndTheLastItemFillsADeletedItemsPlaceInTheOrder)
{
    Table table(3);
    EXPECT_EQ(ITAddItem(table.t, item(0xA)), 0u);
    EXPECT_EQ(ITAddItem(table.t, item(0xB)), 1u);
    EXPECT_EQ(ITAddItem(table.t, item(0xC)), 2u);
    EXPECT_EQ(ITAddItem(table.t, item(0xD)), 0xFFFFFFFFu);

    EXPECT_EQ(ITDeleteItem(table.t, 0), 1u);
    EXPECT_EQ(ITGetItem(table.t, 0), nullptr);
    EXPECT_EQ(ITGetItem(table.t, 2), item(0xC));
    EXPECT_EQ(ITGetItemNum(table.t), 2u);
    EXPECT_EQ(table.sequence(), (std::vector<uintptr_t>{0xC, 0xB}));
    EXPECT_EQ(ITGetItemSequential(table.t, 2), nullptr);

    // The freed slot number is the only one left.
    EXPECT_EQ(ITAddItem(table.t, item(0xE)), 0u);
    EXPECT_EQ(table.sequence(), (std::vector<uintptr_t>{0xC, 0xB, 0xE}));
    EXPECT_EQ(ITGetItem(table.t, 3), nullptr);
}

TEST(ItemTable, DeletingASlotNotInUseIsReportedAndRefused)
{
    Table table(3);
    ITAddItem(table.t, item(1));
    ITAddItem(table.t, item(2));
    DebugCapture capture;
    EXPECT_EQ(ITDeleteItem(table.t, 3), 0u);
    EXPECT_EQ(ITDeleteItem(table.t, 2), 0u);  // inside the capacity, never handed out
    EXPECT_EQ(ITDeleteItem(table.t, 0), 1u);
    EXPECT_EQ(ITDeleteItem(table.t, 0), 0u);  // already deleted
    EXPECT_EQ(capture.messages(), (std::vector<std::string>{"Fail to ITDeleteItem,3 is invalid dwItemIndex",
                                                            "Fail to ITDeleteItem,2 is invalid dwItemIndex",
                                                            "Fail to ITDeleteItem,0 is invalid dwItemIndex"}));
    EXPECT_EQ(ITGetItemNum(table.t), 1u);
    EXPECT_EQ(table.sequence(), (std::vector<uintptr_t>{2}));
}

TEST(ItemTable, SequentialWalkSeesEveryLiveItemOnceThroughChurn)
{
    Table table(32);
    std::mt19937 rng(5);
    std::map<uint32_t, uintptr_t> live;  // slot -> item
    uintptr_t next = 1;
    for (int step = 0; step < 600; ++step) {
        if (live.size() < 32 && (live.empty() || rng() % 2)) {
            const uint32_t slot = ITAddItem(table.t, item(next));
            ASSERT_LT(slot, 32u);
            ASSERT_EQ(live.count(slot), 0u);
            live[slot] = next++;
        } else {
            auto it = std::next(live.begin(), static_cast<long>(rng() % live.size()));
            ASSERT_EQ(ITDeleteItem(table.t, it->first), 1u);
            live.erase(it);
        }
        std::vector<uintptr_t> seq = table.sequence();
        std::multiset<uintptr_t> seen(seq.begin(), seq.end()), expected;
        for (const auto& [slot, v] : live) {
            expected.insert(v);
            ASSERT_EQ(ITGetItem(table.t, slot), item(v));
        }
        ASSERT_EQ(seen, expected) << "step " << step;
    }
}

TEST(ItemTable, CapacityZeroLeavesAnEmptyTable)
{
    Table table(0);
    EXPECT_EQ(ITAddItem(table.t, item(1)), 0xFFFFFFFFu);
    EXPECT_EQ(ITGetItem(table.t, 0), nullptr);
    EXPECT_EQ(ITGetItemSequential(table.t, 0), nullptr);
    DebugCapture capture;
    EXPECT_EQ(ITDeleteItem(table.t, 0), 0u);
    EXPECT_EQ(capture.messages().size(), 1u);
    ITRelease(nullptr);
}

struct Rec8 {
    uint32_t a, b;
};

class ItemQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        q = CreateItemQueue();
        ASSERT_NE(q, nullptr);
        ASSERT_EQ(BeginInitialize(q, 2), 1u);
        ASSERT_EQ(SetType(q, 0, sizeof(Rec8), 0xAAAA, 2), 1u);  // type A
        ASSERT_EQ(SetType(q, 1, 3, 0xBBBB, 3), 1u);             // type B: odd-sized records
        EXPECT_EQ(SetType(q, 2, 4, 0, 1), 0u);
        buffer = EndInitialize(q);
        ASSERT_NE(buffer, nullptr);
    }
    void TearDown() override { ReleaseItemQueue(q); }
    ITEM_QUEUE* q = nullptr;
    uint8_t* buffer = nullptr;
};

TEST_F(ItemQueue, RecordsReadBackInPushOrderAndPerType)
{
    EXPECT_EQ(q->dwBufferSize, (8u + 4u) * 2u + (3u + 4u) * 3u);
    const Rec8 a1{1, 2}, a2{3, 4};
    const uint8_t b1[3] = {7, 8, 9};
    ASSERT_EQ(PushItem(q, 0, &a1), 1u);
    ASSERT_EQ(PushItem(q, 1, b1), 1u);
    ASSERT_EQ(PushItem(q, 0, &a2), 1u);
    EXPECT_EQ(GetItemNum(q), 3u);
    EXPECT_EQ(GetItemNumWithType(q, 0), 2u);
    EXPECT_EQ(GetItemNumWithType(q, 1), 1u);

    // Back to back without padding: type index, then the bytes.
    uint32_t stored_type;
    memcpy(&stored_type, buffer + 12, 4);
    EXPECT_EQ(stored_type, 1u);
    EXPECT_EQ(memcmp(buffer + 16, b1, 3), 0);

    for (int pass = 0; pass < 2; ++pass) {
        uint32_t type = 99, value = 0;
        uint8_t* p = GetItemSeq(q, &type, &value);
        ASSERT_EQ(p, buffer + 4);
        EXPECT_EQ(type, 0u);
        EXPECT_EQ(value, 0xAAAAu);
        EXPECT_EQ(memcmp(p, &a1, sizeof(a1)), 0);
        p = GetItemSeq(q, &type, &value);
        ASSERT_EQ(p, buffer + 16);
        EXPECT_EQ(type, 1u);
        EXPECT_EQ(value, 0xBBBBu);
        p = GetItemSeq(q, &type, &value);
        ASSERT_EQ(p, buffer + 23);
        EXPECT_EQ(type, 0u);
        EXPECT_EQ(memcmp(p, &a2, sizeof(a2)), 0);
        EXPECT_EQ(GetItemSeq(q, &type, &value), nullptr);
        ResetReadPosition(q);
    }

    uint32_t value = 0;
    EXPECT_EQ(GetItem(q, &value, 0, 1), buffer + 23);
    EXPECT_EQ(value, 0xAAAAu);
    EXPECT_EQ(GetItem(q, &value, 1, 0), buffer + 16);
    EXPECT_EQ(value, 0xBBBBu);
}

TEST_F(ItemQueue, AFullTypeRefusesAndClearStartsANewCycle)
{
    const Rec8 a{5, 6};
    const uint8_t b[3] = {1, 2, 3};
    for (int cycle = 0; cycle < 2; ++cycle) {
        EXPECT_EQ(PushItem(q, 0, &a), 1u);
        EXPECT_EQ(PushItem(q, 0, &a), 1u);
        EXPECT_EQ(PushItem(q, 0, &a), 0u);
        EXPECT_EQ(GetItemNum(q), 2u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(PushItem(q, 1, b), 1u);
        EXPECT_EQ(PushItem(q, 1, b), 0u);
        EXPECT_EQ(GetItemNum(q), 5u);
        EXPECT_EQ(q->dwWriteOffset, q->dwBufferSize);
        uint32_t type, value;
        int read = 0;
        while (GetItemSeq(q, &type, &value)) ++read;
        EXPECT_EQ(read, 5);
        Clear(q);
        EXPECT_EQ(GetItemNum(q), 0u);
        EXPECT_EQ(GetItemNumWithType(q, 0), 0u);
        EXPECT_EQ(GetItemSeq(q, &type, &value), nullptr);
    }
    ReleaseItemQueue(nullptr);
}

}  // namespace
