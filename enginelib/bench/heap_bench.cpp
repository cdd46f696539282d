// Heap: steady alloc/free mixes with 10^3, 10^4 and 10^5 live blocks. Each round frees a random
// live block and allocates a block of random size in its place, so the live count stays put and
// the chunks stay fragmented. "VHP" finds the block to free through the heap's address index;
// "walk" is the same heap with the index taken away, so a free walks the chunk lists. The results
// column "op" is the time per operation (one free or one allocation).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

namespace {

constexpr uint32_t kUnit = 16;
constexpr uint32_t kUnitsPerSpan = 4096;  // 64 KiB chunks
constexpr uint32_t kMaxUnits = 16;        // requests of 1 to 16 units
constexpr uint32_t kScript = 4096;        // rounds of pre-drawn choices, replayed

struct Round {
    uint32_t victim;  // index into the live blocks
    uint32_t units;
};

void run_mix(benchmark::State& state, bool walk)
{
    const uint32_t live_count = static_cast<uint32_t>(state.range(0));
    // Room for four times the expected live bytes keeps allocations from failing.
    const uint32_t mass = live_count * kUnit * kMaxUnits * 2 + kUnit * kUnitsPerSpan;
    CHeap* heap = VHPCreateHeap();
    VHPInitialize(heap, 0x100000, mass, live_count * 4 + 64, kUnit, kUnitsPerSpan, 0);

    std::mt19937 rng(7);
    std::vector<uint32_t> live(live_count);
    uint32_t bytes = 0;
    for (uint32_t& address : live) address = VHPAllocUnit(heap, nullptr, 1 + rng() % kMaxUnits, &bytes, 0);
    // Free every third block so free pieces sit between the live ones.
    for (uint32_t i = 0; i < live_count; i += 3) {
        VHPFree(heap, live[i]);
        live[i] = VHPAllocUnit(heap, nullptr, 1 + rng() % kMaxUnits, &bytes, 0);
    }
    std::vector<Round> script(kScript);
    for (Round& r : script) r = {static_cast<uint32_t>(rng() % live_count), 1 + static_cast<uint32_t>(rng() % kMaxUnits)};

    HEAP_ADDRESS_INDEX* index = heap->pAddressIndex;
    if (walk) heap->pAddressIndex = nullptr;
    uint32_t k = 0;
    uint32_t failures = 0;
    for (auto _ : state) {
        const Round& r = script[k++ % kScript];
        benchmark::DoNotOptimize(VHPFree(heap, live[r.victim]));
        live[r.victim] = VHPAllocUnit(heap, nullptr, r.units, &bytes, 0);
        failures += live[r.victim] == 0;
    }
    heap->pAddressIndex = index;
    if (failures) state.SkipWithError("an allocation failed");
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["op"] = benchmark::Counter(static_cast<double>(state.iterations() * 2),
                                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    VHPReleaseHeap(heap);
}

void BM_Index(benchmark::State& state) { run_mix(state, false); }
void BM_Walk(benchmark::State& state) { run_mix(state, true); }

BENCHMARK(BM_Index)->Name("alloc_free_mix/VHP")->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_Walk)->Name("alloc_free_mix/walk")->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "VHP", {"walk"});
    return 0;
}
