// In-place quicksort of 8-byte (key, value) entries with an explicit range stack.
//
// Three choices keep every input fast and bounded while changing no defined result (entries with
// equal keys have no defined order):
// - the pivot is the median of the first, middle and last keys, moved into the last place, so
//   sorted and reversed input partition evenly;
// - both scans stop on keys equal to the pivot, so runs of equal keys split in the middle
//   instead of peeling off one entry per pass;
// - the larger part is pushed and the smaller one sorted next, so at most log2(count) ranges
//   are ever pending and the fixed stack cannot overflow.
// Short ranges are finished by insertion sort. NaN float keys compare false both ways; they end
// somewhere in the array but never send a scan outside its range.
#include "gevrast/sort.h"

namespace {

constexpr int32_t kInsertionSortMax = 16;
constexpr int kStackDepth = 40;  // > log2(2^32): the smaller part is always at most half

struct FloatAscending {
    static bool before(const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.fKey < b.fKey; }
};
struct FloatDescending {
    static bool before(const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.fKey > b.fKey; }
};
struct IntAscending {
    static bool before(const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.iKey < b.iKey; }
};
struct IntDescending {
    static bool before(const SORT_ENTRY& a, const SORT_ENTRY& b) { return a.iKey > b.iKey; }
};

inline void swap_entries(SORT_ENTRY& a, SORT_ENTRY& b)
{
    SORT_ENTRY t = a;
    a = b;
    b = t;
}

template <typename Order>
void insertion_sort(SORT_ENTRY* e, int32_t lo, int32_t hi)
{
    for (int32_t i = lo + 1; i <= hi; ++i) {
        SORT_ENTRY moving = e[i];
        int32_t j = i - 1;
        while (j >= lo && Order::before(moving, e[j])) {
            e[j + 1] = e[j];
            --j;
        }
        e[j + 1] = moving;
    }
}

// Orders e[lo], e[mid], e[hi] and moves the median into e[hi] as the pivot. e[lo] then holds a
// key that does not belong after the pivot, which stops the downward scan.
template <typename Order>
void place_median_pivot(SORT_ENTRY* e, int32_t lo, int32_t hi)
{
    int32_t mid = lo + (hi - lo) / 2;
    if (Order::before(e[mid], e[lo])) swap_entries(e[mid], e[lo]);
    if (Order::before(e[hi], e[lo])) swap_entries(e[hi], e[lo]);
    if (Order::before(e[hi], e[mid])) swap_entries(e[hi], e[mid]);
    swap_entries(e[mid], e[hi]);
}

// Returns the pivot's final place p: e[lo..p-1] do not belong after it, e[p+1..hi] not before it.
template <typename Order>
int32_t partition(SORT_ENTRY* e, int32_t lo, int32_t hi)
{
    const SORT_ENTRY pivot = e[hi];
    int32_t i = lo - 1;
    int32_t j = hi;
    for (;;) {
        while (Order::before(e[++i], pivot)) {}  // stops at hi at the latest
        while (j > lo && Order::before(pivot, e[--j])) {}
        if (i >= j) break;
        swap_entries(e[i], e[j]);
    }
    swap_entries(e[i], e[hi]);
    return i;
}

template <typename Order>
void quicksort(SORT_ENTRY* e, uint32_t count)
{
    if (count < 2) return;
    struct Range { int32_t lo, hi; };
    Range stack[kStackDepth];
    int depth = 0;
    stack[depth++] = {0, static_cast<int32_t>(count - 1)};

    while (depth > 0) {
        Range r = stack[--depth];
        while (r.hi - r.lo + 1 > kInsertionSortMax) {
            place_median_pivot<Order>(e, r.lo, r.hi);
            int32_t p = partition<Order>(e, r.lo, r.hi);
            Range left = {r.lo, p - 1};
            Range right = {p + 1, r.hi};
            if (left.hi - left.lo > right.hi - right.lo) {
                stack[depth++] = left;
                r = right;
            } else {
                stack[depth++] = right;
                r = left;
            }
        }
        insertion_sort<Order>(e, r.lo, r.hi);
    }
}

}  // namespace

GEVRAST_API(void) QSortFloatASC(SORT_ENTRY* pEntries, uint32_t dwCount) { quicksort<FloatAscending>(pEntries, dwCount); }
GEVRAST_API(void) QSortFloatDSC(SORT_ENTRY* pEntries, uint32_t dwCount) { quicksort<FloatDescending>(pEntries, dwCount); }
GEVRAST_API(void) QSortIntASC(SORT_ENTRY* pEntries, uint32_t dwCount) { quicksort<IntAscending>(pEntries, dwCount); }
GEVRAST_API(void) QSortIntDSC(SORT_ENTRY* pEntries, uint32_t dwCount) { quicksort<IntDescending>(pEntries, dwCount); }
