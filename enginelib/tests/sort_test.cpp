// Sort links and the four quicksorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "GevrastSSE.h"

namespace {

std::vector<SORT_LINK*> walk_forward(SORT_LINK* head)
{
    std::vector<SORT_LINK*> order;
    for (SORT_LINK* n = head; n; n = n->pNext) order.push_back(n);
    return order;
}

std::vector<SORT_LINK*> walk_backward(SORT_LINK* tail)
{
    std::vector<SORT_LINK*> order;
    for (SORT_LINK* n = tail; n; n = n->pPrev) order.push_back(n);
    std::reverse(order.begin(), order.end());
    return order;
}

TEST(SortLink, FrontInsertionGivesReverseOrderAndAppendingKeepsOrder)
{
    int payload = 42;
    SORT_LINK a{nullptr, &payload, nullptr}, b{nullptr, &payload, nullptr}, c{nullptr, &payload, nullptr};
    SORT_LINK* head = nullptr;
    SORT_LINK* tail = nullptr;
    LinkToSortLink(&head, &tail, &a);
    LinkToSortLink(&head, &tail, &b);
    LinkToSortLink(&head, &tail, &c);
    EXPECT_EQ(walk_forward(head), (std::vector<SORT_LINK*>{&c, &b, &a}));
    EXPECT_EQ(walk_backward(tail), walk_forward(head));
    EXPECT_EQ(tail, &a);
    EXPECT_EQ(a.pItem, &payload);  // the caller's field is never touched

    SORT_LINK x{}, y{}, z{};
    SORT_LINK* h2 = nullptr;
    SORT_LINK* t2 = nullptr;
    LinkToSortLinkFIFO(&h2, &t2, &x);
    LinkToSortLinkFIFO(&h2, &t2, &y);
    LinkToSortLinkFIFO(&h2, &t2, &z);
    EXPECT_EQ(walk_forward(h2), (std::vector<SORT_LINK*>{&x, &y, &z}));
    EXPECT_EQ(walk_backward(t2), walk_forward(h2));
}

TEST(SortLink, UnlinkingHeadMiddleTailAndOnlyNodeKeepsBothDirectionsConsistent)
{
    SORT_LINK n[4] = {};
    SORT_LINK* head = nullptr;
    SORT_LINK* tail = nullptr;
    for (SORT_LINK& node : n) LinkToSortLinkFIFO(&head, &tail, &node);

    UnLinkFromSortLink(&head, &tail, &n[1]);  // middle
    EXPECT_EQ(walk_forward(head), (std::vector<SORT_LINK*>{&n[0], &n[2], &n[3]}));
    EXPECT_EQ(n[1].pPrev, nullptr);
    EXPECT_EQ(n[1].pNext, nullptr);
    UnLinkFromSortLink(&head, &tail, &n[0]);  // head
    EXPECT_EQ(head, &n[2]);
    EXPECT_EQ(n[2].pPrev, nullptr);
    UnLinkFromSortLink(&head, &tail, &n[3]);  // tail
    EXPECT_EQ(tail, &n[2]);
    EXPECT_EQ(n[2].pNext, nullptr);
    UnLinkFromSortLink(&head, &tail, &n[2]);  // only node
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);

    // The emptied list accepts nodes again.
    LinkToSortLink(&head, &tail, &n[3]);
    EXPECT_EQ(head, &n[3]);
    EXPECT_EQ(tail, &n[3]);
}

std::vector<SORT_ENTRY> int_entries(const std::vector<int32_t>& keys)
{
    std::vector<SORT_ENTRY> e(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        e[i].iKey = keys[i];
        e[i].dwValue = static_cast<uint32_t>(keys[i]) * 2654435761u;  // derived from the key
    }
    return e;
}

std::vector<SORT_ENTRY> float_entries(const std::vector<float>& keys)
{
    std::vector<SORT_ENTRY> e(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        e[i].fKey = keys[i];
        e[i].dwValue = static_cast<uint32_t>(i);
    }
    return e;
}

// Sorted by the order and still the same multiset of (key, value) pairs.
template <typename Before>
void expect_sorted_permutation(std::vector<SORT_ENTRY> before, const std::vector<SORT_ENTRY>& after, Before less)
{
    for (size_t i = 1; i < after.size(); ++i) ASSERT_FALSE(less(after[i], after[i - 1])) << "at " << i;
    auto by_bits = [](const SORT_ENTRY& a, const SORT_ENTRY& b) {
        return a.iKey != b.iKey ? a.iKey < b.iKey : a.dwValue < b.dwValue;
    };
    std::vector<SORT_ENTRY> sorted_after = after;
    std::sort(before.begin(), before.end(), by_bits);
    std::sort(sorted_after.begin(), sorted_after.end(), by_bits);
    for (size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(before[i].iKey, sorted_after[i].iKey);
        ASSERT_EQ(before[i].dwValue, sorted_after[i].dwValue);
    }
}

TEST(QuickSort, FloatDescendingKeepsValuesBesideKeys)
{
    std::vector<SORT_ENTRY> e = float_entries({1.5f, -2.0f, 7.0f, 7.0f});
    QSortFloatDSC(e.data(), 4);
    EXPECT_EQ(e[0].fKey, 7.0f);
    EXPECT_EQ(e[1].fKey, 7.0f);
    EXPECT_EQ(e[2].fKey, 1.5f);
    EXPECT_EQ(e[2].dwValue, 0u);
    EXPECT_EQ(e[3].fKey, -2.0f);
    EXPECT_EQ(e[3].dwValue, 1u);
    EXPECT_NE(e[0].dwValue, e[1].dwValue);
    EXPECT_GE(e[0].dwValue, 2u);
    EXPECT_GE(e[1].dwValue, 2u);
}

TEST(QuickSort, CountsOfZeroAndOneLeaveTheArrayUntouched)
{
    std::vector<SORT_ENTRY> e = int_entries({9, 3});
    QSortIntASC(e.data(), 0);
    QSortFloatDSC(e.data(), 0);
    EXPECT_EQ(e[0].iKey, 9);
    QSortIntASC(e.data() + 1, 1);
    QSortIntASC(e.data(), 1);
    EXPECT_EQ(e[0].iKey, 9);
    EXPECT_EQ(e[1].iKey, 3);
}

TEST(QuickSort, IntegerKeysCompareSignedInBothDirections)
{
    std::vector<int32_t> keys = {0, -1, INT32_MAX, INT32_MIN, 5, -5, 1, INT32_MIN, INT32_MAX};
    auto asc = int_entries(keys);
    QSortIntASC(asc.data(), static_cast<uint32_t>(asc.size()));
    expect_sorted_permutation(int_entries(keys), asc, [](auto& a, auto& b) { return a.iKey < b.iKey; });
    EXPECT_EQ(asc.front().iKey, INT32_MIN);

    auto dsc = int_entries(keys);
    QSortIntDSC(dsc.data(), static_cast<uint32_t>(dsc.size()));
    expect_sorted_permutation(int_entries(keys), dsc, [](auto& a, auto& b) { return a.iKey > b.iKey; });
    EXPECT_EQ(dsc.front().iKey, INT32_MAX);
}

TEST(QuickSort, FloatKeysCompareAsFloatsNotAsBits)
{
    std::vector<float> keys = {-0.5f, 2.0f, -3.0f, 0.0f, -0.0f, 1e30f, -1e30f,
                               std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    auto asc = float_entries(keys);
    QSortFloatASC(asc.data(), static_cast<uint32_t>(asc.size()));
    expect_sorted_permutation(float_entries(keys), asc, [](auto& a, auto& b) { return a.fKey < b.fKey; });
    EXPECT_EQ(asc.front().fKey, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(asc[1].fKey, -1e30f);
}

// Every shape that breaks naive quicksorts, at sizes around the insertion-sort cut-off and large.
TEST(QuickSort, AllInputShapesSortCorrectly)
{
    std::mt19937 rng(1234);
    for (uint32_t n : {2u, 3u, 15u, 16u, 17u, 33u, 1000u, 100000u}) {
        std::vector<std::vector<int32_t>> shapes(6, std::vector<int32_t>(n));
        for (uint32_t i = 0; i < n; ++i) {
            shapes[0][i] = static_cast<int32_t>(rng());              // random
            shapes[1][i] = static_cast<int32_t>(i);                  // sorted
            shapes[2][i] = static_cast<int32_t>(n - i);              // reversed
            shapes[3][i] = 7;                                        // all equal
            shapes[4][i] = static_cast<int32_t>(rng() % 3);          // few distinct
            shapes[5][i] = static_cast<int32_t>(i < n / 2 ? i : n - i);  // organ pipe
        }
        for (const auto& keys : shapes) {
            auto asc = int_entries(keys);
            QSortIntASC(asc.data(), n);
            expect_sorted_permutation(int_entries(keys), asc, [](auto& a, auto& b) { return a.iKey < b.iKey; });
            auto dsc = int_entries(keys);
            QSortIntDSC(dsc.data(), n);
            expect_sorted_permutation(int_entries(keys), dsc, [](auto& a, auto& b) { return a.iKey > b.iKey; });

            std::vector<float> fkeys(keys.begin(), keys.end());
            auto fasc = float_entries(fkeys);
            QSortFloatASC(fasc.data(), n);
            expect_sorted_permutation(float_entries(fkeys), fasc, [](auto& a, auto& b) { return a.fKey < b.fKey; });
            auto fdsc = float_entries(fkeys);
            QSortFloatDSC(fdsc.data(), n);
            expect_sorted_permutation(float_entries(fkeys), fdsc, [](auto& a, auto& b) { return a.fKey > b.fKey; });
        }
    }
}

TEST(QuickSort, NanKeysStayInsideTheArrayAndOtherEntriesAreKept)
{
    std::mt19937 rng(99);
    std::vector<float> keys(5000);
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = (i % 7 == 0) ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(rng() % 1000);
    // Guard entries around the array catch a scan that leaves it.
    std::vector<SORT_ENTRY> padded(keys.size() + 2);
    padded.front().dwValue = 0xFEEDu;
    padded.back().dwValue = 0xBEEFu;
    auto e = float_entries(keys);
    std::copy(e.begin(), e.end(), padded.begin() + 1);
    QSortFloatASC(padded.data() + 1, static_cast<uint32_t>(keys.size()));
    EXPECT_EQ(padded.front().dwValue, 0xFEEDu);
    EXPECT_EQ(padded.back().dwValue, 0xBEEFu);
    std::vector<uint32_t> values;
    for (size_t i = 1; i + 1 < padded.size(); ++i) values.push_back(padded[i].dwValue);
    std::sort(values.begin(), values.end());
    for (uint32_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], i);
}

}  // namespace
