// Profiling helpers: the caller's code address, and a stopwatch that measures time-stamp counter
// ticks between BeginAnalyze and EndAnalyze and counts EndAnalyze calls per second.
#pragma once

#include <stddef.h>

#include "gevrast/api.h"

// Caller-owned and zero-filled before first use. Packed to 4 so the 64-bit fields sit where a
// 32-bit compiler of either kind puts them and the record is 28 bytes everywhere.
#pragma pack(push, 4)
typedef struct ANALYZE_RECORD {
    uint64_t qwStart;        // time-stamp counter at the last BeginAnalyze
    uint64_t qwElapsed;      // ticks between the last BeginAnalyze and the last EndAnalyze
    uint32_t dwWindowStart;  // millisecond tick at which the current one-second window began
    uint32_t dwCallNum;      // EndAnalyze calls counted in the current window
    uint32_t dwLastCallNum;  // calls counted in the last complete window
} ANALYZE_RECORD;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(ANALYZE_RECORD) == 28, "ANALYZE_RECORD is two 64-bit and three 32-bit fields");
static_assert(offsetof(ANALYZE_RECORD, qwElapsed) == 8 && offsetof(ANALYZE_RECORD, dwWindowStart) == 16 &&
                  offsetof(ANALYZE_RECORD, dwLastCallNum) == 24,
              "ANALYZE_RECORD fields follow one another without gaps");
#endif

// Stores the address of the caller's instruction after the call; changes no register but esp.
GEVRAST_API(void) GetEIP(uint32_t* pAddress);

GEVRAST_CDECL_API(void) BeginAnalyze(ANALYZE_RECORD* pRecord);
// 1 when this call began a new one-second window (the finished window's count is then in
// dwLastCallNum and this call is not counted), else 0.
GEVRAST_CDECL_API(uint32_t) EndAnalyze(ANALYZE_RECORD* pRecord);
