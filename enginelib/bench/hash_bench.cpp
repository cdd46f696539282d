// QBH and VBH hash tables against std::unordered_multimap holding the same random keys: inserting
// N items into an empty table sized for them, and selecting every key once in a shuffled order.
// With 10^4 keys both tables fit in the second-level cache, so those cases show the cost of the
// walk itself; with 10^5 they also show how much memory each touches per lookup.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

namespace {

constexpr uint32_t kKeyBytes = 8;   // VBH keys: 8 random bytes, as a short name or a 64-bit id
constexpr uint32_t kCapacity = 8;   // values one select may report

struct Keys {
    explicit Keys(size_t n)
    {
        std::mt19937 rng(2026);
        ints.resize(n);
        bytes.resize(n);
        for (size_t i = 0; i < n; ++i) {
            ints[i] = rng();
            uint32_t words[2] = {static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
            bytes[i].assign(reinterpret_cast<const char*>(words), kKeyBytes);
        }
        order.resize(n);
        for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
        std::shuffle(order.begin(), order.end(), rng);
    }
    std::vector<uint32_t> ints;
    std::vector<std::string> bytes;
    std::vector<uint32_t> order;  // lookup order
};

// One key set per size, made once: every case of a size sees the same keys.
const Keys& keys(size_t n)
{
    static std::map<size_t, Keys> sets;
    auto found = sets.find(n);
    if (found == sets.end()) found = sets.emplace(n, Keys(n)).first;
    return found->second;
}

QBH_TABLE* make_qbh(uint32_t n)
{
    QBH_TABLE* t = QBHCreate();
    QBHInitialize(t, n, n);
    return t;
}

VBH_TABLE* make_vbh(uint32_t n)
{
    VBH_TABLE* t = VBHCreate();
    VBHInitialize(t, n, kKeyBytes, n);
    return t;
}

void BM_QbhInsert(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const Keys& k = keys(n);
    for (auto _ : state) {
        state.PauseTiming();
        QBH_TABLE* t = make_qbh(n);
        state.ResumeTiming();
        for (uint32_t i = 0; i < n; ++i) benchmark::DoNotOptimize(QBHInsert(t, i, k.ints[i]));
        state.PauseTiming();
        QBHRelease(t);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_QbhSelect(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const Keys& k = keys(n);
    QBH_TABLE* t = make_qbh(n);
    for (uint32_t i = 0; i < n; ++i) QBHInsert(t, i, k.ints[i]);
    uint32_t values[kCapacity];
    for (auto _ : state) {
        uint32_t found = 0;
        QBH_ENTRY* last;
        for (uint32_t i : k.order) found += QBHSelect(t, &last, values, kCapacity, k.ints[i]);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * n);
    QBHRelease(t);
}

void BM_VbhInsert(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const Keys& k = keys(n);
    for (auto _ : state) {
        state.PauseTiming();
        VBH_TABLE* t = make_vbh(n);
        state.ResumeTiming();
        for (uint32_t i = 0; i < n; ++i) benchmark::DoNotOptimize(VBHInsert(t, i, k.bytes[i].data(), kKeyBytes));
        state.PauseTiming();
        VBHRelease(t);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_VbhSelect(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const Keys& k = keys(n);
    VBH_TABLE* t = make_vbh(n);
    for (uint32_t i = 0; i < n; ++i) VBHInsert(t, i, k.bytes[i].data(), kKeyBytes);
    uint32_t values[kCapacity];
    for (auto _ : state) {
        uint32_t found = 0;
        for (uint32_t i : k.order) found += VBHSelect(t, values, kCapacity, k.bytes[i].data(), kKeyBytes);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * n);
    VBHRelease(t);
}

// The references: the same keys in std::unordered_multimap, integer or byte-string keyed.
template <typename Key>
const std::vector<Key>& key_list(const Keys& k);
template <>
const std::vector<uint32_t>& key_list<uint32_t>(const Keys& k) { return k.ints; }
template <>
const std::vector<std::string>& key_list<std::string>(const Keys& k) { return k.bytes; }

template <typename Key>
void BM_StdInsert(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const std::vector<Key>& list = key_list<Key>(keys(n));
    for (auto _ : state) {
        state.PauseTiming();
        auto* m = new std::unordered_multimap<Key, uint32_t>();
        m->reserve(n);
        state.ResumeTiming();
        for (uint32_t i = 0; i < n; ++i) m->emplace(list[i], i);
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

template <typename Key>
void BM_StdSelect(benchmark::State& state)
{
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const Keys& k = keys(n);
    const std::vector<Key>& list = key_list<Key>(k);
    std::unordered_multimap<Key, uint32_t> m;
    m.reserve(n);
    for (uint32_t i = 0; i < n; ++i) m.emplace(list[i], i);
    uint32_t values[kCapacity];
    for (auto _ : state) {
        uint32_t found = 0;
        for (uint32_t i : k.order) {
            auto range = m.equal_range(list[i]);
            uint32_t c = 0;
            for (auto it = range.first; it != range.second && c < kCapacity; ++it) values[c++] = it->second;
            found += c;
        }
        benchmark::DoNotOptimize(values);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_QbhInsert)->Name("QBHInsert/gevrast")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_StdInsert, uint32_t)->Name("QBHInsert/unordered_multimap")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QbhSelect)->Name("QBHSelect/gevrast")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_StdSelect, uint32_t)->Name("QBHSelect/unordered_multimap")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VbhInsert)->Name("VBHInsert/gevrast")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_StdInsert, std::string)->Name("VBHInsert/unordered_multimap")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VbhSelect)->Name("VBHSelect/gevrast")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_StdSelect, std::string)->Name("VBHSelect/unordered_multimap")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "gevrast", {"unordered_multimap"});
    return 0;
}
