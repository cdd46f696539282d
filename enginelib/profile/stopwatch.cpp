// Stopwatch: time-stamp counter ticks between BeginAnalyze and EndAnalyze, and the number of
// EndAnalyze calls per one-second window of the millisecond tick.
#include <x86intrin.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include "gevrast/profile.h"

namespace {

uint32_t tick_ms()
{
#if defined(_WIN32)
    return GetTickCount();
#else
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

}  // namespace

GEVRAST_CDECL_API(void) BeginAnalyze(ANALYZE_RECORD* pRecord)
{
    pRecord->qwStart = __rdtsc();
}

GEVRAST_CDECL_API(uint32_t) EndAnalyze(ANALYZE_RECORD* pRecord)
{
    pRecord->qwElapsed = __rdtsc() - pRecord->qwStart;
    const uint32_t t = tick_ms();
    // Signed, so the window survives the tick count wrapping around.
    if (static_cast<int32_t>(t - pRecord->dwWindowStart) < 1000) {
        pRecord->dwCallNum++;
        return 0;
    }
    pRecord->dwWindowStart = t;
    pRecord->dwLastCallNum = pRecord->dwCallNum;
    pRecord->dwCallNum = 0;
    return 1;
}
