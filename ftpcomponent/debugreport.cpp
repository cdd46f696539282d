#include "debugreport.h"

#include <windows.h>

#include <cstdio>

static volatile LONG g_assertionCount = 0;

void NimbrelReportAssertion(const char* unit, int line, const char* message)
{
    InterlockedIncrement(&g_assertionCount);
    char text[512];
    std::snprintf(text, sizeof text, "%s(%d) : error : %s\n", unit, line, message);
    // Only a debugger reads this output; without one, skip the exception that carries it.
    if (IsDebuggerPresent()) OutputDebugStringA(text);
}

long NimbrelAssertionCount() { return g_assertionCount; }
