#include "debugreport.h"

#include <windows.h>

#include <cstdio>

namespace {

volatile LONG g_assertionCount = 0;

void DebugOutput(const char* text)
{
    // Always sent: a passive listener (a debug-output viewer) sees it without being the process's
    // debugger, wherever the game runs.
    OutputDebugStringA(text);
}

}  // namespace

void NimbrelReportAssertion(const char* unit, int line, const char* message)
{
    InterlockedIncrement(&g_assertionCount);
    char text[512];
    std::snprintf(text, sizeof text, "%s(%d) : error : %s\n", unit, line, message);
    DebugOutput(text);
}

void NimbrelTrace(const char* text) { DebugOutput(text); }

long NimbrelAssertionCount() { return g_assertionCount; }
