// QBH and VBH hash tables.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "GevrastSSE.h"

namespace {

struct Qbh {
    Qbh(uint32_t buckets, uint32_t max) : t(QBHCreate()) { EXPECT_EQ(QBHInitialize(t, buckets, max), 1u); }
    ~Qbh() { QBHRelease(t); }
    std::vector<uint32_t> select(uint32_t key, uint32_t capacity = 64)
    {
        std::vector<uint32_t> v(capacity);
        QBH_ENTRY* last = nullptr;
        v.resize(QBHSelect(t, &last, v.data(), capacity, key));
        return v;
    }
    QBH_TABLE* t;
};

struct Vbh {
    Vbh(uint32_t buckets, uint32_t max_key, uint32_t max) : t(VBHCreate())
    {
        EXPECT_EQ(VBHInitialize(t, buckets, max_key, max), 1u);
    }
    ~Vbh() { VBHRelease(t); }
    VBH_ENTRY* insert(uint32_t value, const std::string& key)
    {
        return VBHInsert(t, value, key.data(), static_cast<uint32_t>(key.size()));
    }
    std::vector<uint32_t> select(const std::string& key, uint32_t capacity = 64)
    {
        std::vector<uint32_t> v(capacity);
        v.resize(VBHSelect(t, v.data(), capacity, key.data(), static_cast<uint32_t>(key.size())));
        return v;
    }
    VBH_TABLE* t;
};

std::vector<uint32_t> values(std::initializer_list<uint32_t> v) { return v; }

// Walks one chain checking both directions of every link; returns the keys front to back.
std::vector<uint32_t> qbh_chain(const QBH_TABLE* t, uint32_t b)
{
    std::vector<uint32_t> keys;
    void* prev = &t->pBuckets[b];
    for (QBH_ENTRY* e = t->pBuckets[b].pFirst; e; e = e->pNext) {
        EXPECT_EQ(e->pPrev, prev);
        EXPECT_EQ(e->dwKey % t->dwBucketNum, b);
        keys.push_back(e->dwKey);
        prev = e;
    }
    return keys;
}

size_t vbh_check_chains(const VBH_TABLE* t)
{
    size_t n = 0;
    for (uint32_t b = 0; b < t->dwBucketNum; ++b) {
        void* prev = &t->pBuckets[b];
        for (VBH_ENTRY* e = t->pBuckets[b].pFirst; e; e = e->pNext, ++n) {
            EXPECT_EQ(e->pPrev, prev);
            prev = e;
        }
    }
    return n;
}

std::vector<uint32_t> g_deleted;
uint32_t GEVRAST_CALLBACK record_deleted(uint32_t value)
{
    g_deleted.push_back(value);
    return 0;
}

TEST(QbhTable, KeysSharingABucketChainNewestFirstAndSelectReportsOnlyTheirOwnKey)
{
    Qbh q(16, 32);
    QBH_ENTRY* e3 = QBHInsert(q.t, 300, 3);
    QBH_ENTRY* e19 = QBHInsert(q.t, 1900, 19);
    QBH_ENTRY* e35 = QBHInsert(q.t, 3500, 35);
    ASSERT_TRUE(e3 && e19 && e35);
    EXPECT_EQ(e19->dwKey, 19u);
    EXPECT_EQ(e19->dwValue, 1900u);
    EXPECT_EQ(q.t->pBuckets[3].pFirst, e35);
    EXPECT_EQ(qbh_chain(q.t, 3), values({35, 19, 3}));

    QBH_ENTRY* out = nullptr;
    uint32_t v[4] = {};
    EXPECT_EQ(QBHSelect(q.t, &out, v, 4, 19), 1u);
    EXPECT_EQ(v[0], 1900u);
    EXPECT_EQ(out, e19);
    EXPECT_EQ(q.select(51), values({}));
    EXPECT_EQ(q.select(4), values({}));
}

TEST(QbhTable, SelectStopsAtCapacityNewestFirstAndCapacityZeroTouchesNothing)
{
    Qbh q(16, 32);
    QBH_ENTRY* first = QBHInsert(q.t, 1, 7);
    QBH_ENTRY* second = QBHInsert(q.t, 2, 7);
    QBHInsert(q.t, 3, 23);  // same bucket, other key, in between would be skipped

    QBH_ENTRY* out = nullptr;
    uint32_t v[3] = {0xAAAAAAAAu, 0xAAAAAAAAu, 0xAAAAAAAAu};
    EXPECT_EQ(QBHSelect(q.t, &out, v, 3, 7), 2u);
    EXPECT_EQ(v[0], 2u);
    EXPECT_EQ(v[1], 1u);
    EXPECT_EQ(v[2], 0xAAAAAAAAu);
    EXPECT_EQ(out, first);  // the last entry reported

    EXPECT_EQ(QBHSelect(q.t, &out, v, 1, 7), 1u);
    EXPECT_EQ(v[0], 2u);
    EXPECT_EQ(out, second);

    QBH_ENTRY* untouched = reinterpret_cast<QBH_ENTRY*>(0x1234);
    v[0] = 0xBBBBBBBBu;
    EXPECT_EQ(QBHSelect(q.t, &untouched, v, 0, 7), 0u);
    EXPECT_EQ(untouched, reinterpret_cast<QBH_ENTRY*>(0x1234));
    EXPECT_EQ(v[0], 0xBBBBBBBBu);
}

TEST(QbhTable, GetAllWalksBucketsInOrderAndDeleteAllEmptiesEveryBucket)
{
    Qbh q(4, 4);
    QBHInsert(q.t, 10, 6);  // bucket 2
    QBHInsert(q.t, 20, 1);  // bucket 1
    QBHInsert(q.t, 30, 2);  // bucket 2
    QBHInsert(q.t, 40, 4);  // bucket 0
    EXPECT_EQ(QBHInsert(q.t, 50, 5), nullptr);  // the pool is exhausted
    uint32_t v[8] = {};
    EXPECT_EQ(QBHGetAllItem(q.t, v, 8), 4u);
    EXPECT_EQ(std::vector<uint32_t>(v, v + 4), values({40, 20, 30, 10}));
    EXPECT_EQ(QBHGetAllItem(q.t, v, 3), 3u);
    EXPECT_EQ(QBHGetAllItem(q.t, v, 0), 0u);

    QBDeleteAll(q.t);
    EXPECT_EQ(QBHGetAllItem(q.t, v, 8), 0u);
    EXPECT_EQ(LALGetAllocatedNum(q.t->pEntryPool), 0u);
    for (uint32_t b = 0; b < 4; ++b) EXPECT_EQ(q.t->pBuckets[b].pFirst, nullptr);
    ASSERT_NE(QBHInsert(q.t, 50, 6), nullptr);
    EXPECT_EQ(q.select(6), values({50}));
}

TEST(QbhTable, ZeroBucketsAreRefusedAndTheTableStaysSafelyEmpty)
{
    QBH_TABLE* t = QBHCreate();
    // Never initialised: nothing to insert into, nothing to find.
    EXPECT_EQ(QBHInsert(t, 1, 1), nullptr);
    EXPECT_EQ(QBHInitialize(t, 0, 10), 0u);
    EXPECT_EQ(QBHGetMaxBucketNum(t), 0u);
    EXPECT_EQ(QBHInsert(t, 1, 1), nullptr);
    QBH_ENTRY* out = nullptr;
    uint32_t v[2] = {};
    EXPECT_EQ(QBHSelect(t, &out, v, 2, 1), 0u);
    EXPECT_EQ(QBHGetAllItem(t, v, 2), 0u);
    QBDeleteAll(t);
    // A later proper initialisation makes it usable.
    ASSERT_EQ(QBHInitialize(t, 3, 10), 1u);
    ASSERT_NE(QBHInsert(t, 1, 1), nullptr);
    EXPECT_EQ(QBHSelect(t, &out, v, 2, 1), 1u);
    // Initialising again starts over.
    ASSERT_EQ(QBHInitialize(t, 0, 10), 0u);
    EXPECT_EQ(QBHSelect(t, &out, v, 2, 1), 0u);
    QBHRelease(t);
}

TEST(QbhTable, AgreesWithAReferenceMultimapThroughMixedInsertsAndDeletes)
{
    Qbh q(37, 600);
    std::mt19937 rng(12345);
    // key -> (value, entry) newest last
    std::map<uint32_t, std::vector<std::pair<uint32_t, QBH_ENTRY*>>> ref;
    std::vector<QBH_ENTRY*> live;
    uint32_t next_value = 1;
    for (int step = 0; step < 3000; ++step) {
        if (live.size() < 500 && (live.empty() || rng() % 3 != 0)) {
            const uint32_t key = rng() % 120 * 37 + rng() % 5;  // many keys per bucket
            QBH_ENTRY* e = QBHInsert(q.t, next_value, key);
            ASSERT_NE(e, nullptr);
            ref[key].push_back({next_value++, e});
            live.push_back(e);
        } else {
            const size_t at = rng() % live.size();
            QBH_ENTRY* e = live[at];
            live[at] = live.back();
            live.pop_back();
            auto& list = ref[e->dwKey];
            list.erase(std::find_if(list.begin(), list.end(), [e](const auto& p) { return p.second == e; }));
            QBHDelete(q.t, e);
        }
    }
    size_t total = 0;
    for (uint32_t b = 0; b < 37; ++b) total += qbh_chain(q.t, b).size();
    EXPECT_EQ(total, live.size());
    EXPECT_EQ(LALGetAllocatedNum(q.t->pEntryPool), live.size());
    for (const auto& [key, list] : ref) {
        std::vector<uint32_t> expected;
        for (auto it = list.rbegin(); it != list.rend(); ++it) expected.push_back(it->first);
        ASSERT_EQ(q.select(key, 600), expected) << "key " << key;
    }
}

// With 65521 buckets every fold below it is its own bucket index.
TEST(VbhTable, TheBucketIsTheOrFoldOfByteThenWordThenDoubleWords)
{
    Vbh h(65521, 16, 64);
    struct Case {
        std::string key;
        uint32_t fold;
    } cases[] = {
        {std::string("\x61\x62", 2), 0x6261},
        {std::string("\x62\x61", 2), 0x6162},
        {std::string("\x01\x00", 2), 0x0001},
        {std::string("\x00\x01", 2), 0x0100},
        {std::string("\x07", 1), 0x07},
        {std::string("\x01\x02\x03", 3), 0x01 | 0x0302},
        {std::string("\x10\x20\x30\x40\x50", 5), 0x10 | 0x50403020},
        {std::string("\x01\x02\x03\x04\x05\x06", 6), 0x0201 | 0x06050403},
        {std::string("\x01\x02\x03\x04\x05\x06\x07", 7), 0x01 | 0x0302 | 0x07060504},
        {std::string("\x01\x00\x00\x00\x00\x00\x00\x80", 8), 0x00000001 | 0x80000000},
        {std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16),
         0x04030201 | 0x08070605 | 0x0C0B0A09 | 0x100F0E0D},
    };
    uint32_t value = 0;
    for (const Case& c : cases) {
        VBH_ENTRY* e = h.insert(++value, c.key);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->pPrev, &h.t->pBuckets[c.fold % 65521]) << "key of " << c.key.size() << " bytes, fold " << std::hex << c.fold;
        EXPECT_EQ(h.select(c.key), values({value}));
    }
}

TEST(VbhTable, KeysSharingABucketAreToldApartByLengthAndBytes)
{
    Vbh h(101, 8, 32);
    // All fold to 0x61: same bucket.
    const std::string a("a"), a0("a\0", 2), a000("a\0\0\0", 4), b("\0\0\0\0a\0\0\0", 8);
    for (uint32_t i = 0; i < 4; ++i) ASSERT_NE(h.insert(i + 1, std::vector<std::string>{a, a0, a000, b}[i]), nullptr);
    EXPECT_EQ(h.t->pBuckets[0x61 % 101].pFirst->dwValue, 4u);
    EXPECT_EQ(h.select(a), values({1}));
    EXPECT_EQ(h.select(a0), values({2}));
    EXPECT_EQ(h.select(a000), values({3}));
    EXPECT_EQ(h.select(b), values({4}));
    EXPECT_EQ(h.select(std::string("\0\0\0\0\0\0\0a", 8)), values({}));
}

TEST(VbhTable, KeysUpToTheMaximumAreCopiedIntoTheEntryLongerOnesRefused)
{
    Vbh h(16, 8, 8);
    char key[9] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(VBHInsert(h.t, 1, key, 9), nullptr);
    EXPECT_EQ(LALGetAllocatedNum(h.t->pEntryPool), 0u);
    VBH_ENTRY* e = VBHInsert(h.t, 2, key, 8);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->dwKeyLength, 8u);
    EXPECT_EQ(VBHGetKeyPtr(e), reinterpret_cast<uint8_t*>(e) + sizeof(VBH_ENTRY));  // 16 in the 32-bit layout
    memset(key, 'x', sizeof(key));  // the caller's memory may be reused at once
    EXPECT_EQ(memcmp(VBHGetKeyPtr(e), "12345678", 8), 0);
    EXPECT_EQ(h.select("12345678"), values({2}));
    EXPECT_EQ(VBHGetSearchHandle(h.t, "12345678", 8), e);
    EXPECT_EQ(VBHGetSearchHandle(h.t, "123456789", 9), nullptr);
}

TEST(VbhTable, EntriesOfAnOddKeyLengthStayAlignedAndDoNotOverlap)
{
    Vbh h(7, 5, 12);
    std::vector<VBH_ENTRY*> e;
    for (int i = 0; i < 12; ++i) {
        std::string key(5, static_cast<char>('A' + i));
        e.push_back(h.insert(i, key));
        ASSERT_NE(e.back(), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(e.back()) % 4, 0u);
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(e[i]->dwValue, static_cast<uint32_t>(i));
        EXPECT_EQ(h.select(std::string(5, static_cast<char>('A' + i))), values({static_cast<uint32_t>(i)}));
    }
    EXPECT_EQ(vbh_check_chains(h.t), 12u);
}

TEST(VbhTable, DeleteWithKeyRemovesEveryCopyNewestFirstThroughTheCallback)
{
    Vbh h(5, 8, 16);
    h.insert(1, "key");
    h.insert(100, "kez");
    h.insert(2, "key");
    h.insert(200, "ke");
    h.insert(3, "key");
    EXPECT_EQ(VBHGetSearchHandle(h.t, "key", 3)->dwValue, 3u);

    g_deleted.clear();
    EXPECT_EQ(VBHDeleteWithKey(h.t, "key", 3, record_deleted), 3u);
    EXPECT_EQ(g_deleted, values({3, 2, 1}));
    EXPECT_EQ(VBHGetSearchHandle(h.t, "key", 3), nullptr);
    EXPECT_EQ(h.select("kez"), values({100}));
    EXPECT_EQ(h.select("ke"), values({200}));
    EXPECT_EQ(vbh_check_chains(h.t), 2u);
    EXPECT_EQ(LALGetAllocatedNum(h.t->pEntryPool), 2u);

    EXPECT_EQ(VBHDeleteWithKey(h.t, "key", 3, record_deleted), 0u);
    EXPECT_EQ(VBHDeleteWithKey(h.t, "ke", 2, nullptr), 1u);  // no callback
    EXPECT_EQ(g_deleted.size(), 3u);

    uint32_t v[2];
    VBHDeleteAll(h.t);
    EXPECT_EQ(VBHGetAllItem(h.t, v, 2), 0u);
    EXPECT_EQ(LALGetAllocatedNum(h.t->pEntryPool), 0u);
    ASSERT_NE(h.insert(5, "key"), nullptr);
    EXPECT_EQ(h.select("key"), values({5}));
}

TEST(VbhTable, EmptyKeysZeroBucketsAndZeroKeyLengthAreRefused)
{
    Vbh h(8, 4, 8);
    const char* key = "abcd";
    EXPECT_EQ(VBHInsert(h.t, 1, key, 0), nullptr);
    EXPECT_EQ(LALGetAllocatedNum(h.t->pEntryPool), 0u);
    ASSERT_NE(VBHInsert(h.t, 1, key, 1), nullptr);
    uint32_t v[2] = {};
    EXPECT_EQ(VBHSelect(h.t, v, 2, key, 0), 0u);
    EXPECT_EQ(VBHGetSearchHandle(h.t, key, 0), nullptr);
    EXPECT_EQ(VBHDeleteWithKey(h.t, key, 0, nullptr), 0u);
    EXPECT_EQ(h.select("a"), values({1}));

    VBH_TABLE* t = VBHCreate();
    EXPECT_EQ(VBHInsert(t, 1, key, 1), nullptr);  // never initialised
    EXPECT_EQ(VBHInitialize(t, 0, 4, 8), 0u);
    EXPECT_EQ(VBHInsert(t, 1, key, 1), nullptr);
    EXPECT_EQ(VBHSelect(t, v, 2, key, 1), 0u);
    EXPECT_EQ(VBHInitialize(t, 8, 0, 8), 0u);
    EXPECT_EQ(VBHInsert(t, 1, key, 1), nullptr);
    EXPECT_EQ(VBHGetSearchHandle(t, key, 1), nullptr);
    EXPECT_EQ(VBHGetAllItem(t, v, 2), 0u);
    VBHDeleteAll(t);
    VBHRelease(t);
}

TEST(VbhTable, AgreesWithAReferenceMultimapThroughMixedInsertsAndDeletes)
{
    Vbh h(53, 12, 400);
    std::mt19937 rng(777);
    std::map<std::string, std::vector<uint32_t>> ref;  // newest last
    uint32_t next_value = 1;
    // Short keys from a small alphabet: many equal keys, many shared buckets.
    auto random_key = [&rng] {
        std::string k(1 + rng() % 12, 'a');
        for (char& c : k) c = static_cast<char>("ab\x01"[rng() % 3]);
        return k;
    };
    for (int step = 0; step < 2000; ++step) {
        const std::string key = random_key();
        if (rng() % 4 != 0) {
            if (!h.insert(next_value, key)) {
                ASSERT_EQ(LALGetAllocatedNum(h.t->pEntryPool), 400u);
                continue;
            }
            ref[key].push_back(next_value++);
        } else if (rng() % 2) {
            VBH_ENTRY* e = VBHGetSearchHandle(h.t, key.data(), static_cast<uint32_t>(key.size()));
            ASSERT_EQ(e != nullptr, !ref[key].empty());
            if (!e) continue;
            EXPECT_EQ(e->dwValue, ref[key].back());
            VBHDelete(h.t, e);
            ref[key].pop_back();
        } else {
            EXPECT_EQ(VBHDeleteWithKey(h.t, key.data(), static_cast<uint32_t>(key.size()), nullptr), ref[key].size());
            ref[key].clear();
        }
    }
    size_t total = 0;
    for (const auto& [key, list] : ref) {
        total += list.size();
        ASSERT_EQ(h.select(key, 400), std::vector<uint32_t>(list.rbegin(), list.rend()));
    }
    EXPECT_EQ(vbh_check_chains(h.t), total);
}

}  // namespace
