// GetEIP and the stopwatch.
#include <gtest/gtest.h>

#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include "GevrastSSE.h"

#if GEVRAST_X86_32
extern "C" void get_eip_probe(uint32_t* out, uint32_t* result);
#endif

namespace {

#if GEVRAST_X86_32
TEST(GetEip, StoresTheAddressAfterItsCallAndChangesNoRegister)
{
    uint32_t out = 0;
    uint32_t r[10];
    memset(r, 0, sizeof(r));
    get_eip_probe(&out, r);
    EXPECT_EQ(out, r[9]);
    const uint32_t sentinels[7] = {0x11111111, 0x22222222, 0x33333333, 0x44444444,
                                   0x55555555, 0x66666666, 0x77777777};
    const char* names[7] = {"eax", "ecx", "edx", "ebx", "esi", "edi", "ebp"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(r[i], sentinels[i]) << names[i];
    const uint32_t kArithmeticFlags = 0x8D5;  // CF PF AF ZF SF OF
    EXPECT_EQ(r[7] & kArithmeticFlags, r[8] & kArithmeticFlags);
    EXPECT_EQ(r[8] & 0x81, 0x81u);  // the probe really set carry and sign
}
#endif

uint32_t now_ms()
{
#if defined(_WIN32)
    return GetTickCount();
#else
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

TEST(Stopwatch, ElapsedIsTheFull64BitCounterDifference)
{
    ANALYZE_RECORD rec;
    memset(&rec, 0, sizeof(rec));
    BeginAnalyze(&rec);
    const uint64_t start = rec.qwStart;
    EXPECT_NE(start, 0u);
    EndAnalyze(&rec);
    EXPECT_EQ(rec.qwStart, start);
    // A start just below a 32-bit boundary: the difference must carry into the high word.
    rec.qwStart = start - 0xFFFFFFF0ull;
    EndAnalyze(&rec);
    EXPECT_GE(rec.qwElapsed, 0xFFFFFFF0ull);
    EXPECT_LT(rec.qwElapsed, 0xFFFFFFF0ull + (1ull << 40));  // and not wrap around 64 bits
}

// Moving dwWindowStart stands in for waiting: no test here sleeps.
TEST(Stopwatch, EndAnalyzeOpensANewWindowOnceASecondHasPassed)
{
    ANALYZE_RECORD rec;
    memset(&rec, 0, sizeof(rec));
    rec.dwWindowStart = now_ms() - 5000;
    rec.dwCallNum = 9;
    ASSERT_EQ(EndAnalyze(&rec), 1u);
    EXPECT_EQ(rec.dwLastCallNum, 9u);
    EXPECT_EQ(rec.dwCallNum, 0u);  // the call that opens a window is not counted
    const uint32_t opened = rec.dwWindowStart;
    EXPECT_LE(now_ms() - opened, 1000u);

    // Within the window every call counts and none reports.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(EndAnalyze(&rec), 0u);
    EXPECT_EQ(rec.dwCallNum, 3u);
    EXPECT_EQ(rec.dwWindowStart, opened);

    rec.dwWindowStart -= 2000;  // a second and more has gone by
    EXPECT_EQ(EndAnalyze(&rec), 1u);
    EXPECT_EQ(rec.dwLastCallNum, 3u);
    EXPECT_EQ(rec.dwCallNum, 0u);

    // A window start ahead of the tick (the tick wrapped meanwhile) is still the current window.
    rec.dwWindowStart = now_ms() + 0x10000000u;
    EXPECT_EQ(EndAnalyze(&rec), 0u);
    EXPECT_EQ(rec.dwCallNum, 1u);
}

}  // namespace
