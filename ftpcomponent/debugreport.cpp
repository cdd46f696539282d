#include "debugreport.h"

#include <windows.h>

#include <cstdio>

namespace {

volatile LONG g_assertionCount = 0;

bool RunningUnderCompatibilityLayer()
{
    // The compatibility layer announces itself through an export of its ntdll.
    static const bool detected = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return detected;
}

void DebugOutput(const char* text)
{
    // On Windows the output always goes out: a passive listener (a debug-output viewer) sees it
    // without being the process's debugger. Under the compatibility layer, on the emulator, each
    // call raises an exception that costs far more than the report is worth, so there only an
    // attached debugger gets it.
    if (!RunningUnderCompatibilityLayer() || IsDebuggerPresent()) OutputDebugStringA(text);
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
