// libFuzzer harness for the engine library's heap and fixed-size pools, driven by call sequences
// from the input and held against a model after every call: heap blocks never overlap, never
// cross a chunk, and an allocation fails for want of room only when no free run is large
// enough; pool units are distinct, writable and counted.
#include <stdint.h>
#include <string.h>

#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "GevrastSSE.h"
#include "engine_quiet.h"
#include "fuzz_input.h"

namespace {

void DriveHeap(FuzzInput& in)
{
    CHeap* heap = VHPCreateHeap();
    if (!heap) return;
    const uint32_t unit = 1 + in.Below(32), per_span = 1 + in.Below(32), chunks = 1 + in.Below(4);
    const uint32_t span = unit * per_span, max_blocks = 1 + in.Below(40);
    const uint32_t base = 0x100000 + in.Below(0x1000) * unit;
    const uint32_t mass = chunks * span + in.Below(span);
    VHPInitialize(heap, base, mass, max_blocks, unit, per_span, 0);
    std::map<uint32_t, uint32_t> used;  // address -> size
    const uint32_t end = base + chunks * span;

    // The largest free run inside one chunk, from the model.
    auto largest_free = [&]() {
        uint32_t best = 0;
        for (uint32_t c = 0; c < chunks; ++c) {
            uint32_t at = base + c * span;
            const uint32_t stop = at + span;
            for (auto it = used.lower_bound(at); it != used.end() && it->first < stop; ++it) {
                best = std::max(best, it->first - at);
                at = it->first + it->second;
            }
            best = std::max(best, stop - at);
        }
        return best;
    };

    for (int step = 0; step < 300 && !in.Done(); ++step) {
        const uint8_t op = in.Byte() % 4;
        if (op <= 1) {
            const uint32_t size = in.Below(span + span / 2 + 2);
            const bool check = in.Byte() & 1;
            uint32_t error = 0xEEEE;
            const uint32_t room = largest_free();
            const uint32_t at = VHPAlloc(heap, &error, size, check);
            if (at == 0) {
                if (check && size > span) CHECK(error == VHP_ERROR_SPAN);
                else if (error == VHP_ERROR_NO_BLOCK) CHECK(size == 0 || size > room);
                else CHECK(error == VHP_ERROR_NO_RECORD);
                continue;
            }
            CHECK(error == VHP_ERROR_NONE && size > 0 && size <= room);
            CHECK(at >= base && at + size <= end);
            CHECK((at - base) / span == (at + size - 1 - base) / span);  // inside one chunk
            auto next = used.lower_bound(at);
            if (next != used.end()) CHECK(at + size <= next->first);
            if (next != used.begin()) CHECK(std::prev(next)->first + std::prev(next)->second <= at);
            used[at] = size;
        } else if (op == 2) {
            uint32_t at;
            if (!used.empty() && (in.Byte() & 3)) {
                auto it = used.begin();
                std::advance(it, in.Below(static_cast<uint32_t>(used.size())));
                at = it->first;
            } else {
                at = base + in.Below(chunks * span + 2);
            }
            const uint32_t freed = VHPFree(heap, at);
            auto it = used.find(at);
            if (it == used.end()) {
                CHECK(freed == 0);
            } else {
                CHECK(freed == it->second);
                used.erase(it);
            }
        } else {
            VHPHeapCheck(heap);
            if (used.empty() && mass >= span) {
                // Everything free again: every chunk is whole.
                uint32_t error = 0;
                std::vector<uint32_t> whole;
                for (uint32_t c = 0; c < chunks; ++c) {
                    const uint32_t at = VHPAlloc(heap, &error, span, 1);
                    CHECK(at != 0);
                    whole.push_back(at);
                }
                CHECK(VHPAlloc(heap, &error, 1, 0) == 0 && error == VHP_ERROR_NO_BLOCK);
                for (uint32_t at : whole) CHECK(VHPFree(heap, at) == span);
            }
        }
    }
    VHPReleaseHeap(heap);
}

void DrivePool(FuzzInput& in)
{
    STATIC_MEMORY_POOL* pool = CreateStaticMemoryPool();
    if (!pool) return;
    const uint32_t unit = 1 + in.Below(64), step_units = 1 + in.Below(16), max = 1 + in.Below(100);
    if (InitializeStaticMemoryPool(pool, unit, step_units, max) != 1) {
        ReleaseStaticMemoryPool(pool);
        return;
    }
    // The pool grows by whole steps only: a last partial step below the maximum is never used.
    const uint32_t usable = step_units >= max ? max : max / step_units * step_units;
    std::set<uint8_t*> live;
    for (int step = 0; step < 400 && !in.Done(); ++step) {
        if (in.Byte() % 3 != 0) {
            uint8_t* p = static_cast<uint8_t*>(LALAlloc(pool));
            if (live.size() >= usable) {
                CHECK(p == nullptr);
                continue;
            }
            CHECK(p != nullptr && live.insert(p).second);
            memset(p, 0xA5, unit);  // the whole unit is the caller's
        } else if (!live.empty()) {
            auto it = live.begin();
            std::advance(it, in.Below(static_cast<uint32_t>(live.size())));
            LALFree(pool, *it);
            live.erase(it);
        }
        CHECK(LALGetAllocatedNum(pool) == live.size());
    }
    ReleaseStaticMemoryPool(pool);
}

void DriveIndexCreator(FuzzInput& in)
{
    INDEX_CREATOR* ic = ICCreate();
    if (!ic) return;
    const uint32_t capacity = 1 + in.Below(64);
    if (ICInitialize(ic, capacity) != 1) {
        ICRelease(ic);
        return;
    }
    std::set<uint32_t> live;
    for (int step = 0; step < 400 && !in.Done(); ++step) {
        if (in.Byte() % 3 != 0) {
            // Numbers run from 1 to the capacity; 0 says none is left.
            const uint32_t index = ICAllocIndex(ic);
            if (live.size() >= capacity) CHECK(index == 0);
            else CHECK(index >= 1 && index <= capacity && live.insert(index).second);
        } else {
            // Any number, live or not, in range or not: only a live one is taken back.
            const uint32_t index = in.Below(capacity + 2);
            ICFreeIndex(ic, index);
            live.erase(index);
        }
        CHECK(ICGetIndexNum(ic) == live.size());
    }
    ICRelease(ic);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SilenceEngineReports();
    FuzzInput in(data, size);
    switch (in.Byte() % 3) {
    case 0: DriveHeap(in); break;
    case 1: DrivePool(in); break;
    default: DriveIndexCreator(in); break;
    }
    return 0;
}
