// Static memory pool against malloc/free for units of the same size. Each round takes a batch
// of units and gives them back in a mixed order, as a frame's short-lived records would be.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "GevrastSSE.h"

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
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    // Ratio of "alloc_free/LAL/<size>" to "alloc_free/malloc/<size>"; below 1 means the pool wins.
    int PrintRatios() const
    {
        std::map<int, double> ratios;  // by unit size, smallest first
        const std::string prefix = "alloc_free/LAL/";
        for (const auto& [name, time] : times_) {
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string size = name.substr(prefix.size());
            auto ref = times_.find("alloc_free/malloc/" + size);
            if (ref != times_.end() && ref->second > 0) ratios[atoi(size.c_str())] = time / ref->second;
        }
        int slower = 0;
        printf("\nLALAlloc+LALFree time / malloc+free time (same unit size, same run):\n");
        for (const auto& [size, ratio] : ratios) {
            printf("  unit %4d bytes: %.3f (%.1fx faster)%s\n", size, ratio, 1.0 / ratio,
                   ratio < 1.0 ? "" : "  <-- pool NOT faster");
            if (ratio >= 1.0) ++slower;
        }
        return slower;
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // A pool slower than malloc fails the run.
    return reporter.PrintRatios() ? 1 : 0;
}
