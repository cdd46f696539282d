// libFuzzer harness for the engine's deferred call queue: pushes of fuzzer-chosen argument blocks
// (any count, any contents, a result place or none, any key), runs in push order and sorted by
// key, clears and resizes, against a model of what each run must call with which arguments.
// The queue keeps 32-bit function addresses and calls through i386 code, so this harness is
// built 32-bit only.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "GevrastSSE.h"
#include "fuzz_input.h"

namespace {

// Each queued call in a batch gets its own function, so a run tells which record it called
// even when equal keys leave the sorted order open.
constexpr int kCallees = 64;
constexpr int kResultPlaces = 8;
constexpr uint32_t kMaxArgCount = (0xFFFFu - 12) / 4;  // a record's size field is 16 bits

struct Expected {
    std::vector<uint32_t> args;
    int resultPlace = -1;  // -1: no result address
    int32_t key = 0;
};

Expected g_expected[kCallees];
std::vector<int> g_called;  // callee numbers in call order
uint32_t g_run = 0;          // which run this is: callees return a value that changes per run
uint32_t g_results[kResultPlaces];

uint32_t ReturnValue(int callee) { return (static_cast<uint32_t>(callee) + 1) * 0x9E3779B1u ^ g_run; }

void Seen(int callee, const uint32_t* args)
{
    const Expected& e = g_expected[callee];
    CHECK(e.args.empty() || memcmp(args, e.args.data(), 4 * e.args.size()) == 0);
    g_called.push_back(callee);
}

// A caller-cleans function that takes whatever arguments its record holds: they sit right above
// the return address, and the count comes from the model. Not instrumented: the argument block
// is the queue's own stack copy, not an object the sanitizer knows.
template <int Callee>
__attribute__((noinline, no_sanitize("address"))) uint32_t AnyArguments()
{
    const uint32_t* args = reinterpret_cast<const uint32_t*>(static_cast<const char*>(__builtin_frame_address(0)) + 8);
    Seen(Callee, args);
    return ReturnValue(Callee);
}

// A callee-pops function of exactly three arguments, as a game's queued calls are.
template <int Callee>
__attribute__((noinline)) uint32_t GEVRAST_CALL ThreeArguments(uint32_t a, uint32_t b, uint32_t c)
{
    const uint32_t args[3] = {a, b, c};
    Seen(Callee, args);
    return ReturnValue(Callee);
}

template <int... N>
std::pair<const void*, const void*> CalleeFrom(int n, std::integer_sequence<int, N...>)
{
    static const void* const any[] = {reinterpret_cast<const void*>(&AnyArguments<N>)...};
    static const void* const three[] = {reinterpret_cast<const void*>(&ThreeArguments<N>)...};
    return {any[n], three[n]};
}
// The callee for the n-th call of a batch: (any arguments, exactly three).
std::pair<const void*, const void*> Callee(int n) { return CalleeFrom(n, std::make_integer_sequence<int, kCallees>()); }

struct Model {
    uint32_t size = 0;
    uint32_t used = 0;
    std::vector<int> batch;  // callee numbers of the queued records, in push order
};

uint32_t PickArgCount(FuzzInput& in)
{
    const uint8_t kind = in.Byte();
    if (kind < 200) return kind % 41;
    if (kind < 250) return in.Below(2000);
    return kMaxArgCount - 8 + in.Below(16);  // around the largest count a record can hold
}

uint32_t PickBufferSize(FuzzInput& in)
{
    const uint8_t kind = in.Byte();
    if (kind < 220) return in.Below(2200);
    return 65536 + in.Below(8192);  // room for the largest record, and a little more
}

void CheckHeader(const DPC_QUEUE* q, const Model& m)
{
    CHECK(q->dwBufferSize == m.size && q->dwMaxEntryCount == m.size / 32);
    CHECK(q->dwUsedBytes == m.used && q->dwEntryCount == m.batch.size());
}

void Push(FuzzInput& in, DPC_QUEUE* q, Model& m)
{
    const bool three = in.Byte() & 1;
    const uint32_t count = three ? 3 : PickArgCount(in);
    const uint32_t seed = in.Word();
    std::vector<uint32_t> args(count);
    for (uint32_t i = 0; i < count; ++i) args[i] = i < 16 ? in.Word() : seed ^ (i * 0x9E3779B1u);
    const int place = static_cast<int>(in.Below(kResultPlaces + 1)) - 1;
    const int32_t key = in.Byte() < 192 ? static_cast<int32_t>(in.Below(8)) - 4 : static_cast<int32_t>(in.Word());

    const uint64_t recordBytes = 12 + 4ull * count;
    const bool fits = count <= kMaxArgCount && m.batch.size() < m.size / 32 && recordBytes <= m.size - m.used;
    // The harness has one function per queued call; a batch that would need more is not pushed.
    if (fits && m.batch.size() == kCallees) return;
    const int callee = static_cast<int>(m.batch.size());
    const void* function = three ? Callee(callee).second : Callee(callee).first;
    const uint32_t taken = DPCQPushDPC(q, function, count, args.data(), place < 0 ? nullptr : &g_results[place], key);
    CHECK(taken == (fits ? 1u : 0u));
    if (taken) {
        g_expected[callee].args = args;
        g_expected[callee].resultPlace = place;
        g_expected[callee].key = key;
        m.batch.push_back(callee);
        m.used += static_cast<uint32_t>(recordBytes);
    }
    // The queue holds its own copy: the caller's block may change at once.
    std::fill(args.begin(), args.end(), 0xDEADBEEFu);
}

void RunInPushOrder(DPC_QUEUE* q, const Model& m)
{
    ++g_run;
    g_called.clear();
    for (int i = 0; i < kResultPlaces; ++i) g_results[i] = 0xA5A5A5A5u + i;
    DPCQProcess(q);
    CHECK(g_called == m.batch);
    uint32_t want[kResultPlaces];
    for (int i = 0; i < kResultPlaces; ++i) want[i] = 0xA5A5A5A5u + i;
    for (int callee : m.batch)
        if (g_expected[callee].resultPlace >= 0) want[g_expected[callee].resultPlace] = ReturnValue(callee);
    CHECK(memcmp(want, g_results, sizeof want) == 0);
}

void RunByKey(DPC_QUEUE* q, const Model& m)
{
    ++g_run;
    g_called.clear();
    for (int i = 0; i < kResultPlaces; ++i) g_results[i] = 0xA5A5A5A5u + i;
    DPCQProcessWithAscSort(q);
    // Every queued call once, keys ascending; equal keys in any order.
    std::vector<int> once = g_called;
    std::sort(once.begin(), once.end());
    CHECK(once == m.batch);
    for (size_t i = 1; i < g_called.size(); ++i) CHECK(g_expected[g_called[i - 1]].key <= g_expected[g_called[i]].key);
    // A sorted run reports completion: every result place named receives 0.
    for (int i = 0; i < kResultPlaces; ++i) {
        bool named = false;
        for (int callee : m.batch) named |= g_expected[callee].resultPlace == i;
        CHECK(g_results[i] == (named ? 0u : 0xA5A5A5A5u + i));
    }
}

}  // namespace

// Run through the i386 emulator, the sanitizer shares the 4 GiB address space with it: a small
// quarantine for the freed argument blocks and buffers keeps the sanitizer's heap out of the
// emulator's mappings.
extern "C" const char* __asan_default_options() { return "detect_leaks=0:quarantine_size_mb=32"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    DPC_QUEUE* q = DPCQCreate();
    if (!q) return 0;
    Model m;
    m.size = PickBufferSize(in);
    CHECK(DPCQInitialize(q, m.size) == 1);
    for (int step = 0; step < 400 && !in.Done(); ++step) {
        switch (in.Below(8)) {
        case 0:
        case 1:
        case 2:
        case 3: Push(in, q, m); break;
        case 4: RunInPushOrder(q, m); break;
        case 5: RunByKey(q, m); break;
        case 6:
            DPCQClear(q);
            m.used = 0;
            m.batch.clear();
            break;
        case 7:
            // Initialising again sizes the queue afresh, empty.
            m = Model();
            m.size = PickBufferSize(in);
            CHECK(DPCQInitialize(q, m.size) == 1);
            break;
        }
        CheckHeader(q, m);
    }
    DPCQRelease(q);
    return 0;
}
