// Static memory pool against malloc/free for units of the same size. Each round takes a batch
// of units and gives them back in a mixed order, as a frame's short-lived records would be.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

namespace {

constexpr uint32_t kBatch = 256;

// Frees every other unit, then the rest, so reuse does not simply mirror allocation order.
template <typename Free>
void free_mixed(std::vector<void*>& units, Free&& release)
{
    for (size_t i = 0; i < units.size(); i += 2) release(units[i]);
    for (size_t i = 1; i < units.size(); i += 2) release(units[i]);
}

void BM_Pool(benchmark::State& state)
{
    const uint32_t unit = static_cast<uint32_t>(state.range(0));
    STATIC_MEMORY_POOL* pool = CreateStaticMemoryPool();
    InitializeStaticMemoryPool(pool, unit, kBatch, kBatch);
    std::vector<void*> units(kBatch);
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) units[i] = LALAlloc(pool);
        benchmark::DoNotOptimize(units.data());
        free_mixed(units, [pool](void* p) { LALFree(pool, p); });
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    ReleaseStaticMemoryPool(pool);
}

void BM_Malloc(benchmark::State& state)
{
    const size_t unit = static_cast<size_t>(state.range(0));
    std::vector<void*> units(kBatch);
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) units[i] = malloc(unit);
        benchmark::DoNotOptimize(units.data());
        free_mixed(units, [](void* p) { free(p); });
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

BENCHMARK(BM_Pool)->Name("alloc_free/LAL")->Arg(20)->Arg(64)->Arg(256);
BENCHMARK(BM_Malloc)->Name("alloc_free/malloc")->Arg(20)->Arg(64)->Arg(256);

// Keeps every run's time per iteration so the ratios can be printed after the table.
}  // namespace

int main(int argc, char** argv)
{
    // A pool slower than malloc fails the run.
    return bench::RunWithRatios(argc, argv, "LAL", {"malloc"}) >= 1.0 ? 1 : 0;
}
