// The ordered multimap (BSAE) against std::multimap holding the same 10^5 random keys: inserting
// every key into an empty map, searching every key once in a shuffled order, and deleting every
// item in another shuffled order.
#include <stdint.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

namespace {

constexpr uint32_t kItems = 100000;

struct Keys {
    Keys()
    {
        std::mt19937 rng(99);
        keys.resize(kItems);
        for (uint32_t& k : keys) k = rng();
        search_order.resize(kItems);
        for (uint32_t i = 0; i < kItems; ++i) search_order[i] = i;
        delete_order = search_order;
        std::shuffle(search_order.begin(), search_order.end(), rng);
        std::shuffle(delete_order.begin(), delete_order.end(), rng);
    }
    std::vector<uint32_t> keys;
    std::vector<uint32_t> search_order;
    std::vector<uint32_t> delete_order;
};

const Keys& data()
{
    static const Keys k;
    return k;
}

BSAE* filled_bsae(std::vector<ITEM_CONTAINER*>* containers)
{
    BSAE* map = BSAECreate();
    BSAEInitialize(map, kItems);
    for (uint32_t i = 0; i < kItems; ++i) {
        ITEM_CONTAINER* c = BSAEInsertItem(map, data().keys[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1)));
        if (containers) containers->push_back(c);
    }
    return map;
}

void BM_InsertBsae(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        BSAE* map = BSAECreate();
        BSAEInitialize(map, kItems);
        state.ResumeTiming();
        for (uint32_t i = 0; i < kItems; ++i)
            benchmark::DoNotOptimize(BSAEInsertItem(map, data().keys[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1))));
        state.PauseTiming();
        BSAERelease(map);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_InsertStd(benchmark::State& state)
{
    for (auto _ : state) {
        std::multimap<uint32_t, void*> map;
        for (uint32_t i = 0; i < kItems; ++i)
            benchmark::DoNotOptimize(map.emplace(data().keys[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1))));
        state.PauseTiming();
        map.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_SearchBsae(benchmark::State& state)
{
    BSAE* map = filled_bsae(nullptr);
    for (auto _ : state)
        for (uint32_t i : data().search_order) benchmark::DoNotOptimize(BSAESearchItem(map, data().keys[i]));
    state.SetItemsProcessed(state.iterations() * kItems);
    BSAERelease(map);
}

void BM_SearchStd(benchmark::State& state)
{
    std::multimap<uint32_t, void*> map;
    for (uint32_t i = 0; i < kItems; ++i) map.emplace(data().keys[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1)));
    for (auto _ : state)
        for (uint32_t i : data().search_order) benchmark::DoNotOptimize(map.find(data().keys[i])->second);
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_DeleteBsae(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ITEM_CONTAINER*> containers;
        containers.reserve(kItems);
        BSAE* map = filled_bsae(&containers);
        state.ResumeTiming();
        for (uint32_t i : data().delete_order) benchmark::DoNotOptimize(BSAEDeleteItem(map, containers[i]));
        state.PauseTiming();
        BSAERelease(map);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_DeleteStd(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::multimap<uint32_t, void*> map;
        std::vector<std::multimap<uint32_t, void*>::iterator> its;
        its.reserve(kItems);
        for (uint32_t i = 0; i < kItems; ++i)
            its.push_back(map.emplace(data().keys[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1))));
        state.ResumeTiming();
        for (uint32_t i : data().delete_order) map.erase(its[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

}  // namespace

BENCHMARK(BM_InsertBsae)->Name("insert/gevrast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertStd)->Name("insert/std_multimap")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchBsae)->Name("search/gevrast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchStd)->Name("search/std_multimap")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteBsae)->Name("delete/gevrast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteStd)->Name("delete/std_multimap")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "gevrast", {"std_multimap"});
    return 0;
}
