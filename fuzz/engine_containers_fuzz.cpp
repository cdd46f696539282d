// libFuzzer harness for the engine library's containers: the item queue, the item table, the
// ordered multimap and both hash tables, driven by call sequences taken from the input and held
// against simple reference models after every call. A disagreement traps; memory faults are the
// sanitizers' to report.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "engine_quiet.h"
#include "fuzz_input.h"

namespace {

// Item queue: declarations, buffer, pushes, reads and clears in any order.
void DriveItemQueue(FuzzInput& in)
{
    struct Type {
        uint32_t size = 0, value = 0, max = 0;
    };
    struct Record {
        uint32_t type;
        std::string bytes;
    };
    ITEM_QUEUE* q = CreateItemQueue();
    if (!q) return;
    std::vector<Type> declared;  // as the next EndInitialize will see them
    std::vector<Type> live;      // what the current buffer was sized for
    bool has_buffer = false;
    std::vector<Record> pushed;
    std::vector<uint32_t> per_type;
    size_t read = 0;
    uint8_t source[64];
    for (int step = 0; step < 200 && !in.Done(); ++step) {
        switch (in.Byte() % 8) {
        case 0: {
            const uint32_t n = in.Below(5);
            CHECK(BeginInitialize(q, n) == 1);
            declared.assign(n, Type());
            live.clear();
            has_buffer = false;
            pushed.clear();
            read = 0;
            break;
        }
        case 1: {
            const uint32_t t = in.Below(6);
            Type type{in.Below(33), in.Word(), in.Below(6)};
            const uint32_t ok = SetType(q, t, type.size, type.value, type.max);
            if (t >= declared.size() || has_buffer) {
                CHECK(ok == 0);
            } else {
                CHECK(ok == 1);
                declared[t] = type;
            }
            break;
        }
        case 2: {
            uint8_t* buffer = EndInitialize(q);
            CHECK(buffer != nullptr);
            has_buffer = true;
            live = declared;
            per_type.assign(live.size(), 0);
            pushed.clear();
            read = 0;
            break;
        }
        case 3:
        case 4: {
            if (declared.empty()) break;  // the type index is the caller's to keep in range
            const uint32_t t = in.Below(static_cast<uint32_t>(declared.size()));
            for (uint8_t& b : source) b = in.Byte();
            const uint32_t ok = PushItem(q, t, source);
            const bool room = has_buffer && per_type[t] < live[t].max;
            CHECK(ok == (room ? 1u : 0u));
            if (ok) {
                pushed.push_back({t, std::string(reinterpret_cast<char*>(source), live[t].size)});
                ++per_type[t];
            }
            break;
        }
        case 5: {
            uint32_t type = 0, value = 0;
            uint8_t* p = GetItemSeq(q, &type, &value);
            if (read >= pushed.size()) {
                CHECK(p == nullptr);
            } else {
                const Record& r = pushed[read++];
                CHECK(p && type == r.type && value == live[type].value);
                CHECK(memcmp(p, r.bytes.data(), r.bytes.size()) == 0);
            }
            break;
        }
        case 6:
            if (in.Byte() & 1) {
                ResetReadPosition(q);
            } else {
                Clear(q);
                pushed.clear();
                std::fill(per_type.begin(), per_type.end(), 0);
            }
            read = 0;
            break;
        default:
            CHECK(GetItemNum(q) == pushed.size());
            for (uint32_t t = 0; t < per_type.size() && has_buffer; ++t) {
                CHECK(GetItemNumWithType(q, t) == per_type[t]);
                for (uint32_t n = 0, seen = 0; n < pushed.size(); ++n) {
                    if (pushed[n].type != t) continue;
                    uint32_t value = 0;
                    uint8_t* p = GetItem(q, &value, t, seen++);
                    CHECK(value == live[t].value && memcmp(p, pushed[n].bytes.data(), pushed[n].bytes.size()) == 0);
                }
            }
            break;
        }
    }
    ReleaseItemQueue(q);
}

void DriveItemTable(FuzzInput& in)
{
    ITEM_TABLE* table = ITCreate();
    if (!table) return;
    const uint32_t capacity = in.Below(40);
    ITInitialize(table, capacity);
    std::map<uint32_t, uintptr_t> model;  // slot -> item
    for (int step = 0; step < 300 && !in.Done(); ++step) {
        const uint8_t op = in.Byte() % 4;
        if (op == 0 || op == 1) {
            const uintptr_t item = (in.Word() | 1);
            const uint32_t slot = ITAddItem(table, reinterpret_cast<void*>(item));
            if (model.size() >= capacity) {
                CHECK(slot == 0xFFFFFFFFu);
            } else {
                CHECK(slot < capacity && model.count(slot) == 0);
                model[slot] = item;
            }
        } else if (op == 2) {
            const uint32_t slot = in.Below(capacity + 2);
            const uint32_t ok = ITDeleteItem(table, slot);
            CHECK(ok == (model.erase(slot) ? 1u : 0u));
        } else {
            CHECK(ITGetItemNum(table) == model.size());
            std::vector<uintptr_t> walked;
            for (uint32_t i = 0; i < capacity + 1; ++i) {
                void* p = ITGetItemSequential(table, i);
                if (i >= model.size()) CHECK(p == nullptr);
                else walked.push_back(reinterpret_cast<uintptr_t>(p));
            }
            std::vector<uintptr_t> want;
            for (const auto& kv : model) {
                want.push_back(kv.second);
                CHECK(reinterpret_cast<uintptr_t>(ITGetItem(table, kv.first)) == kv.second);
            }
            std::sort(walked.begin(), walked.end());
            std::sort(want.begin(), want.end());
            CHECK(walked == want);
        }
    }
    ITRelease(table);
}

void DriveMultimap(FuzzInput& in)
{
    BSAE* map = BSAECreate();
    if (!map) return;
    const uint32_t capacity = 1 + in.Below(30);
    if (BSAEInitialize(map, capacity) != 1) {
        BSAERelease(map);
        return;
    }
    std::multimap<uint32_t, ITEM_CONTAINER*> model;  // key -> containers, oldest first
    for (int step = 0; step < 300 && !in.Done(); ++step) {
        const uint8_t op = in.Byte() % 3;
        const uint32_t key = in.Below(16) * 0x11111111u;  // few keys, spread over the whole range
        if (op == 0) {
            if (model.size() >= capacity) continue;  // the caller stays within the capacity
            const uintptr_t item = in.Word();
            ITEM_CONTAINER* c = BSAEInsertItem(map, key, reinterpret_cast<void*>(item));
            CHECK(c && c->pItem == reinterpret_cast<void*>(item) && c->dwKey == key);
            model.emplace(key, c);
        } else if (op == 1) {
            if (model.empty()) continue;
            auto it = model.begin();
            std::advance(it, in.Below(static_cast<uint32_t>(model.size())));
            CHECK(BSAEDeleteItem(map, it->second) == 1);
            model.erase(it);
        } else {
            // The newest item of the key, or of the smallest key above it.
            auto it = model.lower_bound(key);
            ITEM_CONTAINER* found = BSAESearchItemContainer(map, key);
            if (it == model.end()) {
                CHECK(found == nullptr);
            } else {
                const auto range = model.equal_range(it->first);
                CHECK(found == std::prev(range.second)->second);
                size_t chain = 0;
                for (ITEM_CONTAINER* c = found; c; c = c->pNext) ++chain;
                CHECK(chain == static_cast<size_t>(std::distance(range.first, range.second)));
            }
            CHECK(BSAEGetItemNum(map) == model.size());
        }
    }
    BSAERelease(map);
}

void DriveHashTables(FuzzInput& in)
{
    QBH_TABLE* q = QBHCreate();
    VBH_TABLE* v = VBHCreate();
    const uint32_t buckets = 1 + in.Below(9), max = in.Below(40), max_key = 1 + in.Below(12);
    const bool q_ok = q && QBHInitialize(q, buckets, max) == 1;
    const bool v_ok = v && VBHInitialize(v, buckets, max_key, max) == 1;
    // The entry pools grow by whole steps of a quarter of the maximum, so when the maximum is no
    // multiple of that step the last partial step is never used.
    const uint32_t step = max / 4;
    const uint32_t usable = step == 0 ? max : max / step * step;
    std::multimap<uint32_t, QBH_ENTRY*> qmodel;
    std::multimap<std::string, std::pair<VBH_ENTRY*, uint32_t>> vmodel;
    uint32_t values[64];
    for (int step = 0; step < 300 && !in.Done() && q_ok && v_ok; ++step) {
        const uint8_t op = in.Byte() % 6;
        const uint32_t qkey = in.Below(8);
        const std::string vkey = in.Bytes(max_key + 1);
        const uint32_t value = in.Word();
        switch (op) {
        case 0: {
            QBH_ENTRY* e = QBHInsert(q, value, qkey);
            CHECK((e != nullptr) == (qmodel.size() < usable));
            if (e) qmodel.emplace(qkey, e);
            VBH_ENTRY* ve = VBHInsert(v, value, vkey.data(), static_cast<uint32_t>(vkey.size()));
            const bool fits = !vkey.empty() && vkey.size() <= max_key && vmodel.size() < usable;
            CHECK((ve != nullptr) == fits);
            if (ve) {
                CHECK(memcmp(VBHGetKeyPtr(ve), vkey.data(), vkey.size()) == 0);
                vmodel.emplace(vkey, std::make_pair(ve, value));
            }
            break;
        }
        case 1:
            if (!qmodel.empty()) {
                auto it = qmodel.begin();
                std::advance(it, in.Below(static_cast<uint32_t>(qmodel.size())));
                CHECK(QBHDelete(q, it->second) == 1);
                qmodel.erase(it);
            }
            if (!vmodel.empty()) {
                auto it = vmodel.begin();
                std::advance(it, in.Below(static_cast<uint32_t>(vmodel.size())));
                CHECK(VBHDelete(v, it->second.first) == 1);
                vmodel.erase(it);
            }
            break;
        case 2: {
            QBH_ENTRY* last = nullptr;
            const uint32_t n = QBHSelect(q, &last, values, 64, qkey);
            CHECK(n == qmodel.count(qkey));
            const uint32_t vn = VBHSelect(v, values, 64, vkey.data(), static_cast<uint32_t>(vkey.size()));
            CHECK(vn == (vkey.empty() || vkey.size() > max_key ? 0 : vmodel.count(vkey)));
            break;
        }
        case 3: {
            if (vkey.empty() || vkey.size() > max_key) break;
            const uint32_t n = VBHDeleteWithKey(v, vkey.data(), static_cast<uint32_t>(vkey.size()), nullptr);
            CHECK(n == vmodel.erase(vkey));
            break;
        }
        case 4:
            CHECK(QBHGetAllItem(q, values, 64) == std::min<size_t>(64, qmodel.size()));
            CHECK(VBHGetAllItem(v, values, 64) == std::min<size_t>(64, vmodel.size()));
            break;
        default:
            if (in.Byte() & 1) {
                QBDeleteAll(q);
                qmodel.clear();
            } else {
                VBHDeleteAll(v);
                vmodel.clear();
            }
            break;
        }
    }
    QBHRelease(q);
    VBHRelease(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SilenceEngineReports();
    FuzzInput in(data, size);
    switch (in.Byte() % 4) {
    case 0: DriveItemQueue(in); break;
    case 1: DriveItemTable(in); break;
    case 2: DriveMultimap(in); break;
    default: DriveHashTables(in); break;
    }
    return 0;
}
