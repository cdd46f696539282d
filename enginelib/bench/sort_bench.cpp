// Quicksorts against std::sort on the same 8-byte entries: random, sorted and reversed keys.
#include <algorithm>
#include <random>
#include <vector>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

namespace {

enum Shape { kRandom, kSorted, kReversed };

std::vector<SORT_ENTRY> make_entries(Shape shape, int64_t n, bool float_keys)
{
    std::mt19937 rng(7);
    std::vector<SORT_ENTRY> e(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        int32_t k = shape == kRandom ? static_cast<int32_t>(rng()) : shape == kSorted ? static_cast<int32_t>(i)
                                                                                        : static_cast<int32_t>(n - i);
        if (float_keys) e[i].fKey = static_cast<float>(k);
        else e[i].iKey = k;
        e[i].dwValue = static_cast<uint32_t>(i);
    }
    return e;
}

template <bool FloatKeys, bool Ours>
void BM_Sort(benchmark::State& state, Shape shape)
{
    const std::vector<SORT_ENTRY> input = make_entries(shape, state.range(0), FloatKeys);
    std::vector<SORT_ENTRY> work(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        work = input;
        state.ResumeTiming();
        if constexpr (Ours) {
            if constexpr (FloatKeys) QSortFloatASC(work.data(), static_cast<uint32_t>(work.size()));
            else QSortIntASC(work.data(), static_cast<uint32_t>(work.size()));
        } else if constexpr (FloatKeys) {
            std::sort(work.begin(), work.end(), [](const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.fKey < b.fKey; });
        } else {
            std::sort(work.begin(), work.end(), [](const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.iKey < b.iKey; });
        }
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char** argv)
{
    const struct { const char* name; Shape shape; } shapes[] = {
        {"random", kRandom}, {"sorted", kSorted}, {"reversed", kReversed}};
    for (const auto& s : shapes) {
        const std::string base = s.name;
        const Shape shape = s.shape;
        auto add = [&](const std::string& name, void (*fn)(benchmark::State&, Shape)) {
            benchmark::RegisterBenchmark(name.c_str(), fn, shape)
                ->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
        };
        add("int/" + base + "/gevrast", BM_Sort<false, true>);
        add("int/" + base + "/std_sort", BM_Sort<false, false>);
        add("float/" + base + "/gevrast", BM_Sort<true, true>);
        add("float/" + base + "/std_sort", BM_Sort<true, false>);
    }
    bench::RunWithRatios(argc, argv, "gevrast", {"std_sort"});
    return 0;
}
