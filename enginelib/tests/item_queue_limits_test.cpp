// The item queue's limits: a queue without a record buffer takes nothing, a type cannot be
// re-declared under an existing buffer, and no push runs past the buffer.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <vector>

#include "GevrastSSE.h"

namespace {

struct Queue {
    Queue() : q(CreateItemQueue()) {}
    ~Queue() { ReleaseItemQueue(q); }
    ITEM_QUEUE* q;
};

// Reads every record in push order; checks each lands right behind the one before.
std::vector<uint32_t> read_types_in_order(ITEM_QUEUE* q)
{
    std::vector<uint32_t> types;
    ResetReadPosition(q);
    uint32_t type = 0, value = 0;
    while (uint8_t* p = GetItemSeq(q, &type, &value)) {
        EXPECT_LT(type, q->dwTypeNum);
        EXPECT_LE(static_cast<uint32_t>(p - q->pBuffer), q->dwBufferSize);
        types.push_back(type);
    }
    return types;
}

TEST(ItemQueueLimits, NoPushIsTakenBeforeTheBufferIsMade)
{
    Queue queue;
    ASSERT_EQ(BeginInitialize(queue.q, 1), 1u);
    ASSERT_EQ(SetType(queue.q, 0, 4, 0x10, 4), 1u);
    const uint32_t v = 0x12345678;
    EXPECT_EQ(PushItem(queue.q, 0, &v), 0u);
    EXPECT_EQ(GetItemNum(queue.q), 0u);
    EXPECT_EQ(GetItemNumWithType(queue.q, 0), 0u);
    uint32_t type, value;
    EXPECT_EQ(GetItemSeq(queue.q, &type, &value), nullptr);

    // Once made, the same queue takes its records.
    ASSERT_NE(EndInitialize(queue.q), nullptr);
    EXPECT_EQ(PushItem(queue.q, 0, &v), 1u);
    EXPECT_EQ(GetItemNum(queue.q), 1u);
}

TEST(ItemQueueLimits, AFailedEndInitializeLeavesEveryTypeFull)
{
    Queue queue;
    ASSERT_EQ(BeginInitialize(queue.q, 2), 1u);
    // Two records of almost 4 GiB cannot be addressed: the buffer is refused.
    ASSERT_EQ(SetType(queue.q, 0, 0xFFFFFFF0u, 1, 2), 1u);
    ASSERT_EQ(SetType(queue.q, 1, 4, 2, 2), 1u);
    EXPECT_EQ(EndInitialize(queue.q), nullptr);
    const uint32_t v = 7;
    EXPECT_EQ(PushItem(queue.q, 1, &v), 0u);
    EXPECT_EQ(GetItemNum(queue.q), 0u);
    EXPECT_EQ(GetItemNumWithType(queue.q, 1), 0u);

    // The types can still be declared again while there is no buffer, and the queue recovers.
    ASSERT_EQ(SetType(queue.q, 0, 8, 1, 1), 1u);
    ASSERT_NE(EndInitialize(queue.q), nullptr);
    EXPECT_EQ(PushItem(queue.q, 1, &v), 1u);
}

TEST(ItemQueueLimits, RedeclaringATypeUnderAnExistingBufferIsRefusedAndChangesNothing)
{
    Queue queue;
    ASSERT_EQ(BeginInitialize(queue.q, 2), 1u);
    ASSERT_EQ(SetType(queue.q, 0, 4, 0xA, 2), 1u);
    ASSERT_EQ(SetType(queue.q, 1, 4, 0xB, 1), 1u);
    uint8_t* buffer = EndInitialize(queue.q);
    ASSERT_NE(buffer, nullptr);
    const uint32_t a = 1, b = 2;
    ASSERT_EQ(PushItem(queue.q, 0, &a), 1u);
    ASSERT_EQ(PushItem(queue.q, 0, &a), 1u);

    // Same size: resetting the count without the write offset would let two more pushes run
    // past the buffer. A larger size would overrun it with one.
    EXPECT_EQ(SetType(queue.q, 0, 4, 0xA, 2), 0u);
    EXPECT_EQ(SetType(queue.q, 1, 64, 0xB, 3), 0u);
    EXPECT_EQ(GetItemNumWithType(queue.q, 0), 2u);
    EXPECT_EQ(PushItem(queue.q, 0, &a), 0u);
    EXPECT_EQ(PushItem(queue.q, 1, &b), 1u);
    EXPECT_EQ(PushItem(queue.q, 1, &b), 0u);
    EXPECT_EQ(queue.q->dwWriteOffset, queue.q->dwBufferSize);
    EXPECT_EQ(read_types_in_order(queue.q), (std::vector<uint32_t>{0, 0, 1}));
    uint32_t value = 0;
    EXPECT_EQ(GetItem(queue.q, &value, 1, 0), buffer + 2 * 8 + 4);
    EXPECT_EQ(value, 0xBu);

    // BeginInitialize starts over: the types may then be declared anew.
    ASSERT_EQ(BeginInitialize(queue.q, 1), 1u);
    EXPECT_EQ(SetType(queue.q, 0, 16, 0xC, 1), 1u);
    ASSERT_NE(EndInitialize(queue.q), nullptr);
    const uint8_t rec[16] = {9};
    EXPECT_EQ(PushItem(queue.q, 0, rec), 1u);
    EXPECT_EQ(PushItem(queue.q, 0, rec), 0u);
}

TEST(ItemQueueLimits, PushesStayInsideTheBufferThroughManyCycles)
{
    Queue queue;
    ASSERT_EQ(BeginInitialize(queue.q, 3), 1u);
    ASSERT_EQ(SetType(queue.q, 0, 1, 0, 3), 1u);
    ASSERT_EQ(SetType(queue.q, 1, 5, 0, 2), 1u);
    ASSERT_EQ(SetType(queue.q, 2, 0, 0, 4), 1u);  // records of no bytes: only the type index
    ASSERT_NE(EndInitialize(queue.q), nullptr);
    const uint8_t src[5] = {1, 2, 3, 4, 5};
    for (int cycle = 0; cycle < 3; ++cycle) {
        uint32_t taken = 0;
        for (int i = 0; i < 20; ++i) taken += PushItem(queue.q, static_cast<uint32_t>((i * 7 + cycle) % 3), src);
        EXPECT_EQ(taken, 9u);
        EXPECT_EQ(queue.q->dwWriteOffset, queue.q->dwBufferSize);
        EXPECT_EQ(read_types_in_order(queue.q).size(), 9u);
        Clear(queue.q);
    }
}

}  // namespace
