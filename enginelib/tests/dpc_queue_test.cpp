// Deferred call queue: capacity rules, run order, results and the call mechanism itself.
#include <gtest/gtest.h>

#include <vector>

#include "GevrastSSE.h"

namespace {

std::vector<uint32_t> g_calls;  // what the queued functions saw, in call order

uint32_t GEVRAST_CALL Record0() { g_calls.push_back(1000); return 7; }
uint32_t GEVRAST_CALL Record1(uint32_t a) { g_calls.push_back(a); return a * 10; }
uint32_t GEVRAST_CALL Sum7(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f, uint32_t g)
{
    g_calls.insert(g_calls.end(), {a, b, c, d, e, f, g});
    return a + b + c + d + e + f + g;
}
// Differences of consecutive arguments reveal any swapped or shifted argument.
int32_t GEVRAST_CALL Ordered3(int32_t a, int32_t b, int32_t c) { return (a - b) * 1000 + (b - c); }
// A caller-cleans function: the queue must leave the stack right for it too.
uint32_t __attribute__((cdecl)) CdeclPair(uint32_t a, uint32_t b) { return a * 100 + b; }

struct Queue {
    explicit Queue(uint32_t bytes) : q(DPCQCreate()) { EXPECT_EQ(DPCQInitialize(q, bytes), 1u); }
    ~Queue() { DPCQRelease(q); }
    DPC_QUEUE* q;
};

class DpcQueue : public ::testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
};

TEST_F(DpcQueue, CreateGivesZeroFilledObjectAndInitializeSizesIt)
{
    DPC_QUEUE* q = DPCQCreate();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->pBuffer, nullptr);
    EXPECT_EQ(q->dwEntryCount, 0u);
    EXPECT_EQ(DPCQInitialize(q, 100), 1u);
    EXPECT_EQ(q->dwBufferSize, 100u);
    EXPECT_EQ(q->dwMaxEntryCount, 3u);  // 100 / 32
    EXPECT_EQ(q->dwUsedBytes, 0u);
    DPCQRelease(q);
    DPCQRelease(nullptr);
}

TEST_F(DpcQueue, EntryLimitIsBufferSizeOver32EvenForCallsWithoutArguments)
{
    Queue queue(64);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 1u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 1u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(queue.q->dwEntryCount, 2u);
    EXPECT_EQ(queue.q->dwUsedBytes, 24u);
}

TEST_F(DpcQueue, RecordFillingTheBufferExactlyIsAcceptedAndTheNextRefusedUnchanged)
{
    Queue queue(40);
    uint32_t args[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Sum7), 7, args, nullptr, 0), 1u);
    EXPECT_EQ(queue.q->dwUsedBytes, 40u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(queue.q->dwEntryCount, 1u);
    EXPECT_EQ(queue.q->dwUsedBytes, 40u);
}

TEST_F(DpcQueue, RecordsAreLaidOutBackToBackWithTheirArguments)
{
    Queue queue(256);
    uint32_t result = 0;
    uint32_t one[1] = {0xA1};
    uint32_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record1), 1, one, &result, 9);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Sum7), 7, seven, nullptr, -4);

    const uint8_t* b = queue.q->pBuffer;
    const DPC_RECORD* first = reinterpret_cast<const DPC_RECORD*>(b);
    EXPECT_EQ(first->wSize, 16);
    EXPECT_EQ(first->wArgCount, 1);
    EXPECT_EQ(first->dwFunction, reinterpret_cast<uint32_t>(Record1));
    EXPECT_EQ(first->dwResult, reinterpret_cast<uint32_t>(&result));
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b + 12)[0], 0xA1u);
    const DPC_RECORD* second = reinterpret_cast<const DPC_RECORD*>(b + 16);
    EXPECT_EQ(second->wSize, 40);
    EXPECT_EQ(second->wArgCount, 7);
    EXPECT_EQ(second->dwResult, 0u);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b + 28)[6], 7u);
    EXPECT_EQ(queue.q->pSortTable[0].iKey, 9);
    EXPECT_EQ(queue.q->pSortTable[0].dwValue, reinterpret_cast<uint32_t>(b));
    EXPECT_EQ(queue.q->pSortTable[1].iKey, -4);
    EXPECT_EQ(queue.q->pSortTable[1].dwValue, reinterpret_cast<uint32_t>(b + 16));
}

TEST_F(DpcQueue, ProcessRunsInPushOrderAndSortedProcessRunsByAscendingKey)
{
    Queue queue(320);
    const int32_t keys[3] = {5, -1, 3};
    for (int32_t key : keys) {
        uint32_t arg = static_cast<uint32_t>(key);
        ASSERT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record1), 1, &arg, nullptr, key), 1u);
    }
    DPCQProcess(queue.q);
    EXPECT_EQ(g_calls, (std::vector<uint32_t>{5, static_cast<uint32_t>(-1), 3}));

    // Nothing is consumed: a second run repeats every call.
    g_calls.clear();
    DPCQProcess(queue.q);
    EXPECT_EQ(g_calls.size(), 3u);

    g_calls.clear();
    DPCQProcessWithAscSort(queue.q);
    EXPECT_EQ(g_calls, (std::vector<uint32_t>{static_cast<uint32_t>(-1), 3, 5}));
    EXPECT_EQ(queue.q->pSortTable[0].iKey, -1);  // the table stays sorted
    EXPECT_EQ(queue.q->pSortTable[2].iKey, 5);
}

TEST_F(DpcQueue, ProcessStoresReturnValuesAndSortedProcessStoresZero)
{
    Queue queue(320);
    uint32_t r1 = 0xDEAD, r2 = 0xDEAD, r3 = 0xDEAD;
    uint32_t arg = 4;
    int32_t ordered[3] = {30, 20, 10};
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record1), 1, &arg, &r1, 0);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, &r2, 0);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Ordered3), 3, reinterpret_cast<uint32_t*>(ordered), &r3, 0);
    DPCQProcess(queue.q);
    EXPECT_EQ(r1, 40u);
    EXPECT_EQ(r2, 7u);
    EXPECT_EQ(static_cast<int32_t>(r3), 10 * 1000 + 10);

    DPCQProcessWithAscSort(queue.q);
    EXPECT_EQ(r1, 0u);
    EXPECT_EQ(r2, 0u);
    EXPECT_EQ(r3, 0u);
}

TEST_F(DpcQueue, ManyArgumentsArriveInOrderAndCallerCleansFunctionsKeepTheStack)
{
    Queue queue(320);
    uint32_t seven[7] = {10, 20, 30, 40, 50, 60, 70};
    uint32_t pair[2] = {4, 2};
    uint32_t sum = 0, cdecl_result = 0;
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Sum7), 7, seven, &sum, 0);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(CdeclPair), 2, pair, &cdecl_result, 0);
    for (int round = 0; round < 50; ++round) DPCQProcess(queue.q);  // a stack leak would show
    EXPECT_EQ(sum, 280u);
    EXPECT_EQ(cdecl_result, 402u);
    EXPECT_EQ(std::vector<uint32_t>(g_calls.begin(), g_calls.begin() + 7),
              (std::vector<uint32_t>{10, 20, 30, 40, 50, 60, 70}));
}

TEST_F(DpcQueue, ClearEmptiesAndSortedProcessOfEmptyQueueRunsNothing)
{
    Queue queue(128);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0);
    DPCQClear(queue.q);
    EXPECT_EQ(queue.q->dwEntryCount, 0u);
    EXPECT_EQ(queue.q->dwUsedBytes, 0u);
    DPCQProcess(queue.q);
    DPCQProcessWithAscSort(queue.q);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 1u);
}

TEST_F(DpcQueue, ArgumentCountsBeyondThe16BitRecordSizeAreRefused)
{
    Queue queue(1 << 20);
    std::vector<uint32_t> args(20000, 1);
    // 12 + 4 * 16380 = 65532 still fits the size field; one more argument does not.
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 16381, args.data(), nullptr, 0), 0u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0x40000000u, args.data(), nullptr, 0), 0u);
    EXPECT_EQ(queue.q->dwEntryCount, 0u);
    EXPECT_EQ(queue.q->dwUsedBytes, 0u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 16380, args.data(), nullptr, 0), 1u);
    EXPECT_EQ(reinterpret_cast<const DPC_RECORD*>(queue.q->pBuffer)->wSize, 65532);
}

TEST_F(DpcQueue, InitializingAgainResizesAnEmptyQueue)
{
    Queue queue(64);
    DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0);
    EXPECT_EQ(DPCQInitialize(queue.q, 320), 1u);
    EXPECT_EQ(queue.q->dwMaxEntryCount, 10u);
    EXPECT_EQ(queue.q->dwEntryCount, 0u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, i), 1u);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 0u);
}

TEST_F(DpcQueue, ZeroSizedQueueRefusesEveryPush)
{
    Queue queue(0);
    EXPECT_EQ(DPCQPushDPC(queue.q, reinterpret_cast<void*>(Record0), 0, nullptr, nullptr, 0), 0u);
    DPCQProcessWithAscSort(queue.q);
}

}  // namespace
